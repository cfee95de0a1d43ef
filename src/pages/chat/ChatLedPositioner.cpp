#include "pages/chat/ChatLedPositioner.h"

#include <QEvent>
#include <QWidget>

ChatLedPositioner::ChatLedPositioner(QWidget* title, QWidget* led)
    : QObject(title)
    , m_title(title)
    , m_led(led)
{
    title->installEventFilter(this);
    place();
}

bool ChatLedPositioner::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == m_title
        && (event->type() == QEvent::Move || event->type() == QEvent::Resize || event->type() == QEvent::Show))
        place();
    return QObject::eventFilter(watched, event);
}

void ChatLedPositioner::place()
{
    if (!m_title || !m_led)
        return;
    QWidget* host = m_led->parentWidget();
    const QPoint titleTopLeft = host && host != m_title->parentWidget() && host->isAncestorOf(m_title)
                                    ? m_title->mapTo(host, QPoint(0, 0))
                                    : m_title->pos();
    m_led->move(titleTopLeft.x() + (m_title->width() - m_led->width()) / 2, titleTopLeft.y() - kGapAboveTitle);
    m_led->raise();
}
