#include "online/OnlineMembersHeightSync.h"

#include <QEvent>
#include <QWidget>
#include <QtGlobal>

OnlineMembersHeightSync::OnlineMembersHeightSync(QWidget* messageArea, QWidget* panel)
    : QObject(messageArea)
    , m_area(messageArea)
    , m_panel(panel)
{
    messageArea->installEventFilter(this);
    sync();
}

bool OnlineMembersHeightSync::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == m_area && (event->type() == QEvent::Show || event->type() == QEvent::Resize))
        sync();
    return QObject::eventFilter(watched, event);
}

void OnlineMembersHeightSync::sync()
{
    if (!m_area || !m_panel)
        return;
    m_panel->setFixedHeight(qBound(kMinimumHeight, m_area->height(), kMaximumHeight));
}
