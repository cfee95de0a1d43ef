#pragma once

#include <QObject>
#include <QString>

#include <optional>

class QDBusPendingCallWatcher;

// Desktop notifications through the freedesktop notification service on the
// session bus. Nothing waits: every call is asynchronous, one at a time, and
// only the newest notification waits behind it. Without a bus or a service
// nothing is shown. The client keeps one notification on screen and replaces it.
class DesktopNotifications : public QObject
{
    Q_OBJECT

public:
    explicit DesktopNotifications(QObject* parent = nullptr);

    // Shows a notification; title and body are plain text.
    void show(const QString& title, const QString& body);

private:
    enum class BodyMarkup { Unknown, Plain, Markup };
    struct Notification {
        QString title;
        QString body;
    };

    void askCapabilities();
    void sendNotify(const Notification& notification);
    void onCapabilities(QDBusPendingCallWatcher* watcher);
    void onNotified(QDBusPendingCallWatcher* watcher);
    void sendWaiting();

    BodyMarkup m_bodyMarkup = BodyMarkup::Unknown;
    bool m_callInFlight = false;
    std::optional<Notification> m_waiting;
    uint m_shownId = 0;
};
