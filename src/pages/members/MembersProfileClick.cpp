#include "pages/members/MembersProfileClick.h"

#include <QMouseEvent>
#include <QWidget>

MembersProfileClick::MembersProfileClick(const QString& userName, OpenProfile openProfile, QObject* parent)
    : QObject(parent)
    , m_userName(userName)
    , m_openProfile(std::move(openProfile))
{
}

bool MembersProfileClick::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() != QEvent::MouseButtonPress && event->type() != QEvent::MouseButtonRelease)
        return QObject::eventFilter(watched, event);
    auto* mouse = static_cast<QMouseEvent*>(event);
    if (mouse->button() != Qt::LeftButton)
        return QObject::eventFilter(watched, event);

    if (event->type() == QEvent::MouseButtonPress) {
        m_pressed = true;
        return false;
    }

    auto* widget = qobject_cast<QWidget*>(watched);
    const bool inside = widget && widget->rect().contains(mouse->position().toPoint());
    if (m_pressed && inside) {
        m_pressed = false;
        event->accept();
        if (m_openProfile)
            m_openProfile(m_userName);
        return true;
    }
    m_pressed = false;
    return false;
}
