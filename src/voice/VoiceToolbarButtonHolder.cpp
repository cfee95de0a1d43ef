#include "voice/VoiceToolbarButtonHolder.h"

#include <QEasingCurve>
#include <QEvent>
#include <QGraphicsDropShadowEffect>
#include <QHBoxLayout>
#include <QPushButton>
#include <QVariantAnimation>

VoiceToolbarButtonHolder::VoiceToolbarButtonHolder(QPushButton* button, const QColor& glowColor, QWidget* parent)
    : QWidget(parent)
    , m_button(button)
    , m_glowColor(glowColor)
{
    setFixedSize(32, 34);
    setAttribute(Qt::WA_TranslucentBackground);
    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(0, 2, 0, 2);
    layout->setSpacing(0);
    button->setParent(this);
    layout->addWidget(button, 0, Qt::AlignCenter);

    m_glow = new QGraphicsDropShadowEffect(button);
    m_glow->setOffset(0, 0);
    m_glow->setBlurRadius(20);
    button->setGraphicsEffect(m_glow);

    m_animation = new QVariantAnimation(this);
    m_animation->setDuration(200);
    m_animation->setEasingCurve(QEasingCurve::OutCubic);
    connect(m_animation, &QVariantAnimation::valueChanged, this,
            [this](const QVariant& value) { applyProgress(value.toReal()); });

    applyProgress(0.0);
    button->installEventFilter(this);
}

bool VoiceToolbarButtonHolder::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == m_button) {
        if (event->type() == QEvent::Enter)
            animateTo(1.0);
        else if (event->type() == QEvent::Leave)
            animateTo(0.0);
    }
    return QWidget::eventFilter(watched, event);
}

void VoiceToolbarButtonHolder::animateTo(qreal target)
{
    m_animation->stop();
    m_animation->setStartValue(m_progress);
    m_animation->setEndValue(target);
    m_animation->start();
}

void VoiceToolbarButtonHolder::applyProgress(qreal progress)
{
    m_progress = progress;
    QColor color = m_glowColor;
    color.setAlphaF(float(qBound(0.0, progress, 1.0)) * 0.85f);
    m_glow->setColor(color);
    m_glow->setEnabled(progress > 0.001);
}
