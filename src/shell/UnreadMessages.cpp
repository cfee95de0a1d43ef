#include "shell/UnreadMessages.h"

#include "session/AppSettings.h"
#include "shell/DesktopNotifications.h"
#include "shell/LauncherBadge.h"

#include <QAbstractButton>
#include <QEvent>
#include <QJsonObject>
#include <QJsonValue>
#include <QSettings>
#include <QWidget>

namespace {

QString shortened(QString text, int maxLength)
{
    if (text.size() > maxLength)
        text = text.left(maxLength - 1) + QChar(0x2026);
    return text;
}

QString firstLine(const QString& text)
{
    const QString trimmed = text.trimmed();
    return trimmed.left(trimmed.indexOf(QLatin1Char('\n'))).trimmed();
}

}  // namespace

UnreadMessages::UnreadMessages(QWidget* window, QWidget* chatPage, UserNameSource ownUserName, QObject* parent)
    : QObject(parent)
    , m_window(window)
    , m_chatPage(chatPage)
    , m_ownUserName(std::move(ownUserName))
    , m_baseTitle(window->windowTitle())
    , m_notifications(new DesktopNotifications(this))
    , m_badge(new LauncherBadge(this))
{
    window->installEventFilter(this);
    chatPage->installEventFilter(this);
    connect(this, &UnreadMessages::countChanged, m_badge, &LauncherBadge::setCount);
}

void UnreadMessages::messageReceived(const QJsonValue& data)
{
    const QJsonObject message = data.toObject();
    const QString sender = message.value(QLatin1String("sender")).toString();
    if (!m_window || m_window->isActiveWindow() || sender == m_ownUserName())
        return;
    setCount(m_count + 1);
    if (notificationsEnabled())
        m_notifications->show(shortened(sender.isEmpty() ? QStringLiteral("MoonLodge") : sender, kMaxSenderLength),
                              shortened(firstLine(message.value(QLatin1String("text")).toString()), kMaxLineLength));
}

bool UnreadMessages::notificationsEnabled() const
{
    return QSettings(AppSettings::kOrganization, AppSettings::kApplication)
        .value(AppSettings::kDesktopNotifications, true)
        .toBool();
}

void UnreadMessages::setNotificationsEnabled(bool enabled)
{
    QSettings(AppSettings::kOrganization, AppSettings::kApplication)
        .setValue(AppSettings::kDesktopNotifications, enabled);
}

void UnreadMessages::attachToggle(QAbstractButton* toggle)
{
    toggle->setCheckable(true);
    toggle->setChecked(notificationsEnabled());
    connect(toggle, &QAbstractButton::toggled, this, &UnreadMessages::setNotificationsEnabled);
}

bool UnreadMessages::eventFilter(QObject* watched, QEvent* event)
{
    const QEvent::Type type = event->type();
    const bool mayBeSeen = (watched == m_window && type == QEvent::ActivationChange)
                           || (watched == m_chatPage && type == QEvent::Show);
    if (mayBeSeen && m_count > 0 && chatSeen())
        setCount(0);
    return QObject::eventFilter(watched, event);
}

bool UnreadMessages::chatSeen() const
{
    return m_window && m_chatPage && m_window->isActiveWindow() && !m_window->isMinimized()
           && m_chatPage->isVisible();
}

void UnreadMessages::setCount(int count)
{
    m_count = count;
    if (m_window)
        m_window->setWindowTitle(count > 0 ? QStringLiteral("(%1) %2").arg(count).arg(m_baseTitle) : m_baseTitle);
    emit countChanged(count);
}
