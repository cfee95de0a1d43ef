#include "pages/login/LoginFieldGlow.h"

#include "widgets/effects/HoverProgress.h"

#include <QEvent>
#include <QGraphicsDropShadowEffect>
#include <QWidget>

namespace {
constexpr int kDurationMs = 180;
}

LoginFieldGlow::LoginFieldGlow(QWidget* field)
    : QObject(field)
    , m_field(field)
    , m_shadow(new QGraphicsDropShadowEffect(field))
    , m_progress(new HoverProgress(kDurationMs, this, [this](qreal p) {
        if (m_shadow)
            m_shadow->setColor(QColor(167, 139, 250, qRound(220.0 * p)));
    }))
{
    m_shadow->setOffset(0, 0);
    m_shadow->setBlurRadius(20.0);
    m_shadow->setColor(QColor(167, 139, 250, 0));
    field->setGraphicsEffect(m_shadow);
    field->installEventFilter(this);
}

qreal LoginFieldGlow::progress() const
{
    return m_progress->value();
}

bool LoginFieldGlow::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == m_field) {
        if (event->type() == QEvent::FocusIn)
            m_progress->enter();
        else if (event->type() == QEvent::FocusOut)
            m_progress->leave();
    }
    return QObject::eventFilter(watched, event);
}
