#include "session/ServerApi.h"

#include "session/ServerEndpoints.h"

#include <QJsonDocument>
#include <QNetworkAccessManager>

ServerReply ServerReply::read(QNetworkReply* reply)
{
    ServerReply result;
    result.error = reply->error();
    result.errorString = reply->errorString();
    result.httpStatus = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
    result.body = reply->readAll();

    QJsonParseError parseError;
    const QJsonDocument document = QJsonDocument::fromJson(result.body, &parseError);
    result.isJsonObject = parseError.error == QJsonParseError::NoError && document.isObject();
    if (result.isJsonObject)
        result.json = document.object();
    return result;
}

bool ServerReply::succeeded() const
{
    return json.value(QLatin1String("success")).toBool(false);
}

QString ServerReply::errorText(const QString& fallback) const
{
    const QString text = json.value(QLatin1String("error")).toString();
    return text.isEmpty() ? fallback : text;
}

namespace ServerApi {

namespace {
constexpr char kJsonMime[] = "application/json";
}

QNetworkRequest request(const QUrl& url, const RequestOptions& options)
{
    QNetworkRequest request(url);
    if (options.acceptJson)
        request.setRawHeader("Accept", kJsonMime);
    if (options.timeoutMs > 0)
        request.setTransferTimeout(options.timeoutMs);
    if (!options.csrfToken.isEmpty())
        request.setRawHeader("X-CSRFToken", options.csrfToken);
    if (!options.refererPath.isNull())
        request.setRawHeader("Referer", (ServerEndpoints::baseUrl() + options.refererPath).toUtf8());
    if (!options.followRedirects)
        request.setAttribute(QNetworkRequest::RedirectPolicyAttribute, QNetworkRequest::ManualRedirectPolicy);
    return request;
}

QByteArray compactJson(const QJsonObject& body)
{
    return QJsonDocument(body).toJson(QJsonDocument::Compact);
}

QNetworkReply* get(QNetworkAccessManager& network, const QUrl& url, const RequestOptions& options)
{
    return network.get(request(url, options));
}

QNetworkReply* postJson(QNetworkAccessManager& network, const QUrl& url, const QJsonObject& body,
                        const RequestOptions& options)
{
    QNetworkRequest jsonRequest = request(url, options);
    jsonRequest.setHeader(QNetworkRequest::ContentTypeHeader, QByteArray(kJsonMime));
    return network.post(jsonRequest, compactJson(body));
}

QNetworkReply* postEmpty(QNetworkAccessManager& network, const QUrl& url, const RequestOptions& options)
{
    return network.post(request(url, options), QByteArray());
}

}  // namespace ServerApi
