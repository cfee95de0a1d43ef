#pragma once

// A member signed in to the dev server for widget tests: a network access manager
// whose cookie jar holds a fresh session, and a real-time channel using that jar.

#include "realtime/RealtimeChannel.h"
#include "session/ServerApi.h"
#include "session/ServerEndpoints.h"
#include "support/DevServer.h"

#include <QJsonDocument>
#include <QNetworkAccessManager>
#include <QNetworkCookie>
#include <QNetworkCookieJar>
#include <QtTest>

#include <memory>

// Puts a fresh session of the member into the manager's cookie jar; returns its anti-forgery token.
inline QString signInNetwork(DevServer& server, QNetworkAccessManager& network, const QString& userName)
{
    const QJsonObject session = server.sessionFor(userName);
    auto* jar = new QNetworkCookieJar(&network);
    for (QNetworkCookie cookie : QNetworkCookie::parseCookies(session.value("cookie").toString().toUtf8())) {
        cookie.setDomain(server.url().host());
        cookie.setPath(QStringLiteral("/"));
        jar->insertCookie(cookie);
    }
    network.setCookieJar(jar);
    return session.value("csrf_token").toString();
}

class SignedInClient
{
public:
    SignedInClient(DevServer& server, const QString& userName)
    {
        signInNetwork(server, network, userName);
        channel = std::make_unique<RealtimeChannel>(network.cookieJar());
    }

    QNetworkAccessManager network;
    std::unique_ptr<RealtimeChannel> channel;
};

// The next request for the path (of that method, or any) gets this JSON body with that status.
inline void cannedReply(DevServer& server, const QString& path, const QJsonValue& body, int status = 200,
                        const QString& method = {})
{
    const QJsonDocument document = body.isArray() ? QJsonDocument(body.toArray()) : QJsonDocument(body.toObject());
    QJsonObject rule{{"mode", "status"}, {"status", status}, {"content_type", "application/json"},
                     {"body", QString::fromUtf8(document.toJson(QJsonDocument::Compact))}};
    if (!method.isEmpty())
        rule.insert("method", method);
    server.failNext(path, rule);
}
inline void cannedReply(DevServer& server, const QString& path, const QJsonObject& body, int status = 200,
                        const QString& method = {})
{
    cannedReply(server, path, QJsonValue(body), status, method);  // what braced replies convert to
}
