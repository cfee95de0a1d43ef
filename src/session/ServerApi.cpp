#include "session/ServerApi.h"

#include "app/LogCategories.h"
#include "session/ServerEndpoints.h"

#include <QJsonDocument>
#include <QNetworkAccessManager>
#include <QtDebug>

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

// Aborts the reply once its body (announced or received) passes the limit,
// so a hostile answer costs no more than the limit.
QNetworkReply* limitBody(QNetworkReply* reply, qint64 maxBytes)
{
    auto abortIfLarger = [reply, maxBytes](qint64 bytes) {
        if (bytes <= maxBytes || !reply->isRunning())
            return;
        qCWarning(lcSession).noquote() << "Risposta troppo grande, interrotta:" << reply->url().toString() << bytes;
        reply->abort();
    };
    QObject::connect(reply, &QNetworkReply::metaDataChanged, reply, [reply, abortIfLarger] {
        abortIfLarger(reply->header(QNetworkRequest::ContentLengthHeader).toLongLong());
    });
    QObject::connect(reply, &QNetworkReply::downloadProgress, reply,
                     [abortIfLarger](qint64 received, qint64) { abortIfLarger(received); });
    return reply;
}
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
    return limitBody(network.get(request(url, options)), options.maxBodyBytes);
}

QNetworkReply* postJson(QNetworkAccessManager& network, const QUrl& url, const QJsonObject& body,
                        const RequestOptions& options)
{
    QNetworkRequest jsonRequest = request(url, options);
    jsonRequest.setHeader(QNetworkRequest::ContentTypeHeader, QByteArray(kJsonMime));
    return limitBody(network.post(jsonRequest, compactJson(body)), options.maxBodyBytes);
}

QNetworkReply* postEmpty(QNetworkAccessManager& network, const QUrl& url, const RequestOptions& options)
{
    return limitBody(network.post(request(url, options), QByteArray()), options.maxBodyBytes);
}

}  // namespace ServerApi
