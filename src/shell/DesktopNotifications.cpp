#include "shell/DesktopNotifications.h"

#include "session/AppSettings.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QVariantMap>

namespace {
constexpr char kService[] = "org.freedesktop.Notifications";
constexpr char kPath[] = "/org/freedesktop/Notifications";
constexpr char kInterface[] = "org.freedesktop.Notifications";
constexpr int kCallTimeoutMs = 5000;

QDBusMessage notificationsCall(const char* method)
{
    return QDBusMessage::createMethodCall(QLatin1String(kService), QLatin1String(kPath),
                                          QLatin1String(kInterface), QLatin1String(method));
}
}  // namespace

DesktopNotifications::DesktopNotifications(QObject* parent)
    : QObject(parent)
{
}

void DesktopNotifications::show(const QString& title, const QString& body)
{
    m_waiting = Notification{title, body};
    if (!m_callInFlight)
        sendWaiting();
}

void DesktopNotifications::sendWaiting()
{
    if (!m_waiting)
        return;
    if (!QDBusConnection::sessionBus().isConnected()) {
        m_waiting.reset();
        return;
    }
    if (m_bodyMarkup == BodyMarkup::Unknown) {
        askCapabilities();
        return;
    }
    const Notification notification = *m_waiting;
    m_waiting.reset();
    sendNotify(notification);
}

// Servers that understand markup in the body get it escaped; the others show it as it is.
void DesktopNotifications::askCapabilities()
{
    m_callInFlight = true;
    auto* watcher = new QDBusPendingCallWatcher(
        QDBusConnection::sessionBus().asyncCall(notificationsCall("GetCapabilities"), kCallTimeoutMs), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this, &DesktopNotifications::onCapabilities);
}

void DesktopNotifications::onCapabilities(QDBusPendingCallWatcher* watcher)
{
    watcher->deleteLater();
    m_callInFlight = false;
    const QDBusPendingReply<QStringList> reply = *watcher;
    if (reply.isError()) {
        // No notification service: this one is dropped; the next one asks again.
        m_waiting.reset();
        return;
    }
    m_bodyMarkup = reply.value().contains(QLatin1String("body-markup")) ? BodyMarkup::Markup : BodyMarkup::Plain;
    sendWaiting();
}

void DesktopNotifications::sendNotify(const Notification& notification)
{
    const QString id = QString::fromLatin1(AppSettings::kDesktopId);
    const QVariantMap hints{{QStringLiteral("desktop-entry"), id},
                            {QStringLiteral("category"), QStringLiteral("im.received")}};
    QDBusMessage call = notificationsCall("Notify");
    call << QStringLiteral("MoonLodge") << m_shownId << id << notification.title
         << (m_bodyMarkup == BodyMarkup::Markup ? notification.body.toHtmlEscaped() : notification.body)
         << QStringList() << hints << -1;
    m_callInFlight = true;
    auto* watcher = new QDBusPendingCallWatcher(QDBusConnection::sessionBus().asyncCall(call, kCallTimeoutMs), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this, &DesktopNotifications::onNotified);
}

void DesktopNotifications::onNotified(QDBusPendingCallWatcher* watcher)
{
    watcher->deleteLater();
    m_callInFlight = false;
    const QDBusPendingReply<uint> reply = *watcher;
    if (reply.isError()) {
        // The service went away or changed: ask again before the next one.
        m_bodyMarkup = BodyMarkup::Unknown;
        m_shownId = 0;
    } else {
        m_shownId = reply.value();
    }
    sendWaiting();
}
