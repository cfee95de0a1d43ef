#include "shell/HomeHoverLift.h"

#include "widgets/effects/EffectSupport.h"
#include "widgets/effects/HoverProgress.h"

#include <QPushButton>

#include <algorithm>

namespace {
constexpr int kDurationMs = 160;
}

HomeHoverLift::HomeHoverLift(QPushButton* button, int lift, QWidget* parent)
    : QWidget(parent)
    , m_button(button)
    , m_lift(lift)
    , m_progress(new HoverProgress(kDurationMs, this, [this](qreal) { placeButton(); }))
{
    setObjectName(QStringLiteral("homeHoverLiftContainer"));
    setAttribute(Qt::WA_TranslucentBackground);
    effects::takePlaceOf(this, button);
    button->setParent(this);
    button->show();

    setSizePolicy(button->sizePolicy());
    setMinimumHeight(button->minimumHeight() + lift);
    setMinimumWidth(button->minimumWidth());
    placeButton();
}

qreal HomeHoverLift::progress() const
{
    return m_progress->value();
}

QSize HomeHoverLift::sizeHint() const
{
    return m_button ? m_button->sizeHint() + QSize(0, m_lift) : QWidget::sizeHint();
}

QSize HomeHoverLift::minimumSizeHint() const
{
    return m_button ? m_button->minimumSizeHint() + QSize(0, m_lift) : QWidget::minimumSizeHint();
}

void HomeHoverLift::enterEvent(QEnterEvent* event)
{
    m_progress->enter();
    QWidget::enterEvent(event);
}

void HomeHoverLift::leaveEvent(QEvent* event)
{
    m_progress->leave();
    QWidget::leaveEvent(event);
}

void HomeHoverLift::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    placeButton();
}

void HomeHoverLift::placeButton()
{
    if (!m_button)
        return;
    const int y = qRound((1.0 - m_progress->value()) * m_lift);
    m_button->setGeometry(0, y, width(), std::max(height() - m_lift, 0));
}
