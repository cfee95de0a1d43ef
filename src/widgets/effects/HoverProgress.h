#pragma once

#include <QObject>

#include <functional>

class QVariantAnimation;

// The hover progress shared by the interactive effects: a value p in 0..1 that
// eases (OutCubic) towards 1 on enter and towards 0 on leave. Every run starts
// from the value the previous run reached, so a quick in-and-out never jumps.
// Each animation step stores p and hands it to the owner's step function.
class HoverProgress : public QObject
{
    Q_OBJECT

public:
    using StepFunction = std::function<void(qreal)>;

    HoverProgress(int durationMs, QObject* parent, StepFunction step);

    qreal value() const { return m_value; }
    bool isRunning() const;

    // Animates from the current value to target (no-op if already there or heading there).
    void animateTo(qreal target);
    void enter() { animateTo(1.0); }
    void leave() { animateTo(0.0); }

    // Stops any run and applies value at once, without animation.
    void resetTo(qreal value);

private:
    QVariantAnimation* m_animation;
    StepFunction m_step;
    qreal m_value = 0.0;
    bool m_rekeying = false;
};
