#pragma once

// Helpers shared by the page tests: a logged-in network access manager, canned
// server replies through the dev server's failure injection, a look at the
// requests the server received, a stack of pages, and the built rows in order.

#include "support/SignedInClient.h"

#include <QApplication>
#include <QJsonDocument>
#include <QNetworkAccessManager>
#include <QNetworkCookie>
#include <QNetworkCookieJar>
#include <QPointer>
#include <QStackedWidget>
#include <QTimer>
#include <QtTest>

#include <algorithm>
#include <memory>

namespace PagesTest {

// The next request for the path gets this JSON object with status 200 (or the given one).
inline void cannedReply(DevServer& server, const QString& path, const QJsonObject& reply, int status = 200,
                        const QString& method = QString())
{
    QJsonObject failure{{"mode", "status"},
                        {"status", status},
                        {"body", QString::fromUtf8(QJsonDocument(reply).toJson(QJsonDocument::Compact))},
                        {"content_type", "application/json"}};
    if (!method.isEmpty())
        failure.insert("method", method);
    server.failNext(path, failure);
}

inline QJsonArray requestsFor(DevServer& server, const QString& path, const QString& method = QStringLiteral("GET"))
{
    QJsonArray matching;
    for (const QJsonValue& value : server.requests()) {
        const QJsonObject request = value.toObject();
        if (request.value("path").toString() == path && request.value("method").toString() == method)
            matching.append(request);
    }
    return matching;
}

inline QString header(const QJsonObject& request, const QString& name)
{
    const QJsonObject headers = request.value("headers").toObject();
    for (auto it = headers.begin(); it != headers.end(); ++it)
        if (it.key().compare(name, Qt::CaseInsensitive) == 0)
            return it.value().toString();
    return {};
}

// How many requests the server received for that raw path (query included).
inline int countRaw(DevServer& server, const QString& rawPath)
{
    int n = 0;
    for (const QJsonValue& request : server.requests())
        n += request.toObject().value("raw_path").toString() == rawPath;
    return n;
}

// A stack of pages as the window has it: another page in front, and a network
// access manager signed in as the member for the page under test.
struct PageStack
{
    PageStack(DevServer& server, const QString& userName, const QSize& size)
        : network(std::make_unique<QNetworkAccessManager>())
        , token(signInNetwork(server, *network, userName))
    {
        stack.resize(size);
        stack.addWidget(other);
        stack.show();
    }

    std::unique_ptr<QNetworkAccessManager> network;
    QString token;
    QStackedWidget stack;
    QWidget* other = new QWidget(&stack);
};

// The children of container with that name, top to bottom; those of a replaced
// list (only scheduled for deletion) are let go first.
template <typename T>
QList<T*> inOrder(QWidget* container, const QString& name = QString())
{
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    QList<T*> found = container->findChildren<T*>(name);
    std::sort(found.begin(), found.end(), [container](QWidget* a, QWidget* b) {
        return a->mapTo(container, QPoint()).y() < b->mapTo(container, QPoint()).y();
    });
    return found;
}

template <typename T>
QList<QPointer<T>> guarded(const QList<T*>& widgets)
{
    return QList<QPointer<T>>(widgets.begin(), widgets.end());
}

}  // namespace PagesTest
