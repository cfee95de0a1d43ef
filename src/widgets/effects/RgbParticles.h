#pragma once

#include <QElapsedTimer>
#include <QPixmap>
#include <QPointF>
#include <QRect>
#include <QSizeF>
#include <QWidget>

class QTimer;

// Slowly drifting coloured particles behind the chat, ideas, games and members
// pages. The layer covers its parent (following its shows and resizes), stays
// below its siblings and lets the mouse through. A 50 ms timer repaints it while
// it is visible; positions are a function of the time since construction.
class RgbParticles : public QWidget
{
    Q_OBJECT

public:
    static constexpr int kParticleCount = 18;
    static constexpr int kWaypointCount = 5;
    static constexpr int kFrameIntervalMs = 50;

    explicit RgbParticles(QWidget* parent);

    // Base position of particle i, in percent of the layer's width and height.
    static QPointF basePercent(int index);
    // Drift period of particle i in seconds (the half period is half of it).
    static double periodSeconds(int index);
    // Offset in pixels from the base position of particle i after `seconds`.
    static QPointF driftOffset(int index, double seconds);
    // Centre of particle i after `seconds` in a layer of the given size.
    static QPointF particlePosition(int index, double seconds, const QSizeF& size);
    // The shared pulse, cos(t * pi / 3).
    static double pulse(double seconds);

    QTimer* frameTimer() const { return m_timer; }
    double elapsedSeconds() const;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void paintEvent(QPaintEvent* event) override;

private:
    void coverParent();
    void tick();
    void prepareSprites(qreal ratio);

    QTimer* m_timer = nullptr;
    QElapsedTimer m_clock;
    // Full-strength halo and core sprites per colour, drawn with an opacity each frame.
    QPixmap m_halo[3];
    QPixmap m_core[3];
    qreal m_spriteRatio = 0.0;
    // Where each particle was last drawn: a frame repaints only the old and new spots.
    QRect m_drawn[kParticleCount];
    QSize m_drawnSize;
};
