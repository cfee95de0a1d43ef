#pragma once

#include <QByteArray>
#include <QJsonObject>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QPointer>
#include <QString>
#include <QUrl>

#include <utility>

class QNetworkAccessManager;

// How one request to the community server is dressed.
struct RequestOptions
{
    bool acceptJson = false;       // Accept: application/json
    int timeoutMs = 0;             // transfer timeout; 0 sets none
    QByteArray csrfToken;          // X-CSRFToken, when not empty
    QString refererPath;           // Referer: base URL + this path, when not null
    bool followRedirects = true;
    // Replies with a longer body are aborted as they arrive (a transport error for the handler).
    qint64 maxBodyBytes = kMaxJsonBodyBytes;

    // Far more than any JSON reply of the server: a few screens of lists.
    static constexpr qint64 kMaxJsonBodyBytes = 4 * 1024 * 1024;
    // The routes that answer a whole list (chat history, ideas, members, leaderboard):
    // room for the largest list the pages keep (100,000 chat messages is about 19 MB).
    static constexpr qint64 kMaxListBodyBytes = 32 * 1024 * 1024;
};

// A finished reply, read once: transport state, HTTP status, body and envelope.
struct ServerReply
{
    QNetworkReply::NetworkError error = QNetworkReply::NoError;
    QString errorString;
    int httpStatus = 0;
    QByteArray body;
    bool isJsonObject = false;
    QJsonObject json;

    static ServerReply read(QNetworkReply* reply);

    bool hasError() const { return error != QNetworkReply::NoError; }
    // "success" read as a boolean, false when missing or the body is no object.
    bool succeeded() const;
    // "error" read as a string, or the fallback when missing or empty.
    QString errorText(const QString& fallback) const;
};

namespace ServerApi {

QNetworkRequest request(const QUrl& url, const RequestOptions& options = {});
// Compact UTF-8 JSON, as every request body is sent.
QByteArray compactJson(const QJsonObject& body);

QNetworkReply* get(QNetworkAccessManager& network, const QUrl& url, const RequestOptions& options = {});
QNetworkReply* postJson(QNetworkAccessManager& network, const QUrl& url, const QJsonObject& body,
                        const RequestOptions& options = {});
QNetworkReply* postEmpty(QNetworkAccessManager& network, const QUrl& url, const RequestOptions& options = {});

// Calls handler(const ServerReply&) once the reply finishes, unless the guard
// (the widget the handler updates) is gone by then. The reply is always released.
template <typename Handler>
void onFinished(QNetworkReply* reply, QObject* guard, Handler handler)
{
    QObject::connect(reply, &QNetworkReply::finished, reply,
                     [reply, watched = QPointer<QObject>(guard), handler = std::move(handler)]() mutable {
                         reply->deleteLater();
                         if (!watched)
                             return;
                         handler(ServerReply::read(reply));
                     });
}

}  // namespace ServerApi
