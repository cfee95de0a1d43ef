#include "pages/profile/ProfileStatClick.h"

#include <QLabel>
#include <QMouseEvent>

ProfileStatClick::ProfileStatClick(QWidget* card, std::function<void()> action)
    : QObject(card)
    , m_card(card)
    , m_action(std::move(action))
{
    card->setCursor(Qt::PointingHandCursor);
    for (QLabel* label : card->findChildren<QLabel*>())
        label->setAttribute(Qt::WA_TransparentForMouseEvents);
    card->installEventFilter(this);
}

bool ProfileStatClick::eventFilter(QObject* watched, QEvent* event)
{
    if (watched != m_card
        || (event->type() != QEvent::MouseButtonPress && event->type() != QEvent::MouseButtonRelease))
        return QObject::eventFilter(watched, event);
    auto* mouse = static_cast<QMouseEvent*>(event);
    if (mouse->button() != Qt::LeftButton)
        return QObject::eventFilter(watched, event);

    event->accept();
    if (event->type() == QEvent::MouseButtonPress) {
        m_pressed = true;
        return true;
    }
    const QPoint position = mouse->position().toPoint();
    const bool inside = QRect(0, 0, m_card->width(), m_card->height()).contains(position);
    const bool click = m_pressed && inside;
    m_pressed = false;
    if (click && m_action)
        m_action();
    return true;
}
