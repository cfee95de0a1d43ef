#pragma once

#include <QJsonArray>
#include <QJsonObject>
#include <QProcess>
#include <QStringList>
#include <QTemporaryDir>
#include <QUrl>

// The real dev community server on a free loopback port, with its test-control
// surface on, for integration tests. Starting it points the client's base URL
// (MOONLODGE_BASE_URL) at it.
class DevServer
{
public:
    DevServer() = default;
    ~DevServer();

    // Starts the server and waits until it listens; false (with a warning) when it cannot.
    bool start(const QStringList& extraArguments = {});
    void stop();
    // Stops and starts again on the same port and data: sessions survive, sockets do not.
    bool restart();

    QUrl url() const { return m_url; }

    // One synchronous call of the test-control surface; returns the JSON reply.
    QJsonObject control(const QByteArray& method, const QString& path, const QJsonObject& body = {});

    bool reset() { return control("POST", "/__test__/reset").value("success").toBool(); }
    // Every request the server received since the last reset or clear, oldest first.
    QJsonArray requests() { return control("GET", "/__test__/requests").value("requests").toArray(); }
    void clearRequests() { control("DELETE", "/__test__/requests"); }
    // The last request received for that path, or an empty object.
    QJsonObject lastRequest(const QString& path);
    // Requests received for the path, decoded or raw (a trailing * matches a prefix), by any or that method.
    int requestCount(const QString& path, const QString& method = {});
    // The next `count` requests for the path fail in that mode ("status", "invalid_json", "delay", "drop").
    void failNext(const QString& path, const QJsonObject& failure);
    // A logged-in session for the member: {"cookie", "csrf_token"}.
    QJsonObject sessionFor(const QString& userName) { return control("POST", "/__test__/session", {{"username", userName}}); }

private:
    QProcess m_process;
    QTemporaryDir m_dataDir;
    QUrl m_url;
};
