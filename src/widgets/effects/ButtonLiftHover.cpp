#include "widgets/effects/ButtonLiftHover.h"

#include "widgets/effects/HoverProgress.h"

#include <QEvent>
#include <QGraphicsDropShadowEffect>
#include <QLayout>
#include <QPushButton>

#include <cmath>

namespace {
constexpr int kDurationMs = 200;
constexpr int kMaxLift = 4;
constexpr int kGrowWidth = 8;
constexpr int kGrowHeight = 4;
constexpr qreal kShadowBlur = 20.0;
constexpr qreal kFullGlowAlpha = 170.0;
} // namespace

ButtonLiftHover::ButtonLiftHover(QPushButton* button, const QSize& baseSize,
                                 const QColor& glowColor, bool glows, bool grows,
                                 QLayout* slotLayout)
    : QObject(button)
    , m_button(button)
    , m_baseSize(baseSize)
    , m_glowColor(glowColor)
    , m_glows(glows)
    , m_grows(grows)
    , m_slotLayout(slotLayout)
    , m_progress(new HoverProgress(kDurationMs, this, [this](qreal p) { apply(p); }))
{
    button->setFixedSize(baseSize);
    if (glows) {
        m_shadow = new QGraphicsDropShadowEffect(button);
        m_shadow->setOffset(0, 0);
        m_shadow->setBlurRadius(kShadowBlur);
        QColor transparent = glowColor;
        transparent.setAlpha(0);
        m_shadow->setColor(transparent);
        button->setGraphicsEffect(m_shadow);
    }
    button->installEventFilter(this);
}

qreal ButtonLiftHover::progress() const
{
    return m_progress->value();
}

bool ButtonLiftHover::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == m_button) {
        if (!m_button->isEnabled()) {
            resetNow();
        } else if (event->type() == QEvent::Enter) {
            m_progress->enter();
        } else if (event->type() == QEvent::Leave) {
            m_progress->leave();
        }
    }
    return QObject::eventFilter(watched, event);
}

void ButtonLiftHover::resetNow()
{
    // Stops any run and applies p = 0, so a later hover starts from rest.
    if (m_progress->isRunning() || m_progress->value() != 0.0)
        m_progress->resetTo(0.0);
}

void ButtonLiftHover::apply(qreal p)
{
    if (!m_button)
        return;
    if (!m_button->isEnabled())
        p = 0.0;
    if (m_slotLayout)
        m_slotLayout->setContentsMargins(0, 0, 0, qRound(kMaxLift * p));
    if (m_grows) {
        m_button->setFixedSize(m_baseSize.width() + qRound(kGrowWidth * p),
                               m_baseSize.height() + qRound(kGrowHeight * p));
    }
    if (m_glows && m_shadow) {
        QColor color = m_glowColor;
        color.setAlpha(qRound(m_glowColor.alphaF() * kFullGlowAlpha * p));
        m_shadow->setColor(color);
    }
}
