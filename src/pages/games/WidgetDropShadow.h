#pragma once

#include <QColor>
#include <QPixmap>
#include <QPointF>
#include <QPointer>
#include <QWidget>

class QTimer;

// A drop shadow painted by a sibling under its target, for a large, mostly
// still widget over an animated backdrop. A QGraphicsDropShadowEffect renders
// its whole source and blurs it on every paint, even when only a few pixels
// behind it changed; this one blurs the target's shape once per target size,
// and the target paints itself as any widget, a region at a time.
// Same look as Qt's drop shadow: offset (8, 8), colour (63, 63, 63, 180).
class WidgetDropShadow : public QWidget
{
    Q_OBJECT

public:
    static constexpr qint64 kMaxShadowPixels = 8 * 1024 * 1024;

    // Lives beside target, in target's parent (which target must have).
    WidgetDropShadow(QWidget* target, qreal blurRadius);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void paintEvent(QPaintEvent* event) override;

private:
    void follow();
    void renderShadow();
    int reach() const;

    QPointer<QWidget> m_target;
    qreal m_blurRadius;
    QPointF m_offset{8.0, 8.0};
    QColor m_color{63, 63, 63, 180};
    QPixmap m_shadow;
    QSize m_shadowTargetSize;
    QTimer* m_renderTimer = nullptr;
};
