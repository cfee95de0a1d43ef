#pragma once

// Helpers shared by the page tests: a header of a request the server received,
// a stack of pages signed in as a member, and the built rows in order.

#include "session/AvatarCache.h"
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

inline QString header(const QJsonObject& request, const QString& name)
{
    const QJsonObject headers = request.value("headers").toObject();
    for (auto it = headers.begin(); it != headers.end(); ++it)
        if (it.key().compare(name, Qt::CaseInsensitive) == 0)
            return it.value().toString();
    return {};
}

// A stack of pages as the window has it: another page in front, and a network
// access manager signed in as the member for the page under test. No avatar is
// cached yet and the server's request log starts empty.
struct PageStack
{
    PageStack(DevServer& server, const QString& userName, const QSize& size)
        : network(std::make_unique<QNetworkAccessManager>())
        , token(signInNetwork(server, *network, userName))
    {
        AvatarCache::instance()->clear();
        server.clearRequests();
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
QList<QPointer<T>> guarded(const QList<T*>& widgets) { return {widgets.begin(), widgets.end()}; }

}  // namespace PagesTest
