#pragma once

#include "widgets/backdrops/BackdropCovers.h"

#include <QPixmap>
#include <QPointF>
#include <QSize>
#include <QWidget>

class QPainter;
class QTimer;

// The neon backdrop of the home page: a dark room with an ambient light, a cyan
// grid, nine pulsing neon outlines, scan lines and drifting glowing squares.
// It covers its parent and stays below its siblings. One 33 ms timer, created
// once, repaints it while it is visible; the shapes follow a clock shared by every
// instance and started on the first paint.
class HomeNeonBackground : public QWidget
{
    Q_OBJECT

public:
    static constexpr int kFrameIntervalMs = 33;
    static constexpr int kShapeCount = 9;

    explicit HomeNeonBackground(QWidget* parent = nullptr);

    QTimer* frameTimer() const { return m_timer; }

    // Opaque cards over the backdrop: frames repaint only around them.
    void setOpaqueCovers(BackdropCovers::Provider covers, int cornerRadius);

    // Seconds on the shared clock (0 until the first paint of any instance).
    static double clockSeconds();
    // The neon stroke rule's opacity for pulse period T and start delay D at time t.
    static double neonOpacity(double t, double period, double delay);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void paintEvent(QPaintEvent* event) override;

private:
    void coverParent();
    void tick();
    void prepareStatic(const QSize& size, qreal ratio);
    void prepareSprites(qreal ratio);
    void paintScanLines(QPainter& painter) const;

    QTimer* m_timer = nullptr;
    BackdropCovers m_covers;
    // Fill, ambient light and grid for the current size.
    QPixmap m_base;
    QSize m_baseSize;
    qreal m_baseRatio = 0.0;
    // Each neon shape rendered once (strokes and fill) around its own centre.
    QPixmap m_shapes[kShapeCount];
    QPointF m_shapeCentres[kShapeCount];
    // Glow and square sprites per palette colour.
    QPixmap m_squareGlow[5];
    QPixmap m_square[5];
    qreal m_spriteRatio = 0.0;
};
