#include "online/OnlineProfileClick.h"

#include <QAbstractButton>
#include <QMouseEvent>
#include <QWidget>

namespace {

bool isInsideButton(const QWidget* widget, const QWidget* row)
{
    for (const QWidget* w = widget; w && w != row; w = w->parentWidget())
        if (qobject_cast<const QAbstractButton*>(w))
            return true;
    return false;
}

}  // namespace

OnlineProfileClick::OnlineProfileClick(QWidget* row, const QString& userName,
                                       std::shared_ptr<OpenProfile> openProfile)
    : QObject(row)
    , m_row(row)
    , m_userName(userName)
    , m_openProfile(std::move(openProfile))
{
}

OnlineProfileClick* OnlineProfileClick::install(QWidget* row, const QString& userName,
                                                std::shared_ptr<OpenProfile> openProfile)
{
    auto* filter = new OnlineProfileClick(row, userName, std::move(openProfile));
    row->installEventFilter(filter);
    row->setCursor(Qt::PointingHandCursor);
    const auto descendants = row->findChildren<QWidget*>();
    for (QWidget* child : descendants) {
        if (isInsideButton(child, row))
            continue;
        child->installEventFilter(filter);
        child->setCursor(Qt::PointingHandCursor);
    }
    return filter;
}

bool OnlineProfileClick::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() != QEvent::MouseButtonPress && event->type() != QEvent::MouseButtonRelease)
        return QObject::eventFilter(watched, event);
    auto* mouse = static_cast<QMouseEvent*>(event);
    if (mouse->button() != Qt::LeftButton)
        return QObject::eventFilter(watched, event);

    if (event->type() == QEvent::MouseButtonPress) {
        m_pressed = true;
        return true;
    }

    auto* widget = qobject_cast<QWidget*>(watched);
    const bool wasPressed = m_pressed;
    m_pressed = false;
    if (!wasPressed || !widget || !m_row)
        return true;
    const QPoint inRow = widget == m_row ? mouse->position().toPoint()
                                         : widget->mapTo(m_row.data(), mouse->position().toPoint());
    if (m_row->rect().contains(inRow) && m_openProfile && *m_openProfile) {
        // Copy first: opening a profile may rebuild the panel and delete this row.
        const OpenProfile open = *m_openProfile;
        const QString userName = m_userName;
        open(userName);
    }
    return true;
}
