#pragma once

#include <QObject>
#include <QPointer>
#include <QString>

#include <functional>

class QAbstractButton;
class QJsonValue;
class QWidget;
class DesktopNotifications;
class LauncherBadge;

// The chat messages of others that arrive while the window is in the
// background: counted in the window title and on the launcher badge, each
// announced by a desktop notification (sender and first line, unless turned
// off in the settings), and cleared once the chat is seen in the active window.
class UnreadMessages : public QObject
{
    Q_OBJECT

public:
    using UserNameSource = std::function<QString()>;

    UnreadMessages(QWidget* window, QWidget* chatPage, UserNameSource ownUserName, QObject* parent = nullptr);

    // A "receive_message" event with its message object.
    void messageReceived(const QJsonValue& data);

    bool notificationsEnabled() const;
    void setNotificationsEnabled(bool enabled);
    // Keeps a checkable button in step with the setting, both ways.
    void attachToggle(QAbstractButton* toggle);

    // Notification texts are cut to these many characters.
    static constexpr int kMaxSenderLength = 64;
    static constexpr int kMaxLineLength = 200;

signals:
    void countChanged(int count);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    bool chatSeen() const;
    void setCount(int count);

    QPointer<QWidget> m_window;
    QPointer<QWidget> m_chatPage;
    UserNameSource m_ownUserName;
    QString m_baseTitle;
    int m_count = 0;
    DesktopNotifications* m_notifications;
    LauncherBadge* m_badge;
};
