#include "widgets/effects/HoverProgress.h"

#include <QVariantAnimation>

HoverProgress::HoverProgress(int durationMs, QObject* parent, StepFunction step)
    : QObject(parent)
    , m_animation(new QVariantAnimation(this))
    , m_step(std::move(step))
{
    m_animation->setDuration(durationMs);
    m_animation->setEasingCurve(QEasingCurve::OutCubic);
    connect(m_animation, &QVariantAnimation::valueChanged, this, [this](const QVariant& value) {
        // Re-keying a stopped animation re-evaluates it at its stale time and reports
        // values of neither run; those are not progress.
        if (m_rekeying)
            return;
        m_value = value.toReal();
        if (m_step)
            m_step(m_value);
    });
}

bool HoverProgress::isRunning() const
{
    return m_animation->state() == QAbstractAnimation::Running;
}

void HoverProgress::animateTo(qreal target)
{
    if (isRunning()) {
        if (qFuzzyCompare(m_animation->endValue().toReal() + 1.0, target + 1.0))
            return;
        m_animation->stop();
    } else if (qFuzzyCompare(m_value + 1.0, target + 1.0)) {
        return;
    }
    m_rekeying = true;
    m_animation->setStartValue(m_value);
    m_animation->setEndValue(target);
    m_rekeying = false;
    m_animation->start();
}

void HoverProgress::resetTo(qreal value)
{
    m_animation->stop();
    m_value = value;
    if (m_step)
        m_step(m_value);
}
