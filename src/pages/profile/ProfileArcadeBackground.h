#pragma once

#include "widgets/backdrops/BackdropCovers.h"

#include <QElapsedTimer>
#include <QPixmap>
#include <QRectF>
#include <QSize>
#include <QWidget>

class QTimer;

// The arcade-room backdrop of the own and the public profile pages: a violet
// wall over a lit floor, three arcade cabinets whose marquees flicker now and
// then, a vertical PLAY sign and twinkling sparkles. A 33 ms timer started at
// construction repaints it; the motion follows the time since construction.
class ProfileArcadeBackground : public QWidget
{
    Q_OBJECT

public:
    static constexpr int kFrameIntervalMs = 33;
    static constexpr int kCabinetCount = 3;

    explicit ProfileArcadeBackground(QWidget* parent = nullptr);

    QTimer* frameTimer() const { return m_timer; }

    // Opaque cards over the backdrop: frames repaint only around them.
    void setOpaqueCovers(BackdropCovers::Provider covers, int cornerRadius);
    double elapsedSeconds() const;

    // Opacity of the marquees at time t: short dips twice every four seconds.
    static double marqueeOpacity(double seconds);

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    void prepare(const QSize& size, qreal ratio);

    void nextFrame();

    QTimer* m_timer = nullptr;
    BackdropCovers m_covers;
    QElapsedTimer m_clock;
    // The room without the marquees, for the current size.
    QPixmap m_room;
    QPixmap m_marquees[kCabinetCount];
    QRectF m_marqueeRects[kCabinetCount];
    QPixmap m_sparkle;
    QSize m_size;
    qreal m_ratio = 0.0;
};
