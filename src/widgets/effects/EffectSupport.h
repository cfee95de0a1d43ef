#pragma once

// Small helpers shared by the hover and glow widgets.

#include <QColor>
#include <QPainter>
#include <QRect>
#include <QRectF>

class QGraphicsDropShadowEffect;
class QWidget;

namespace effects {

// Puts wrapper where widget sits in its parent's layout (if it sits in one) and
// otherwise gives wrapper the widget's parent. The widget itself is left to the
// caller to re-parent into the wrapper.
void takePlaceOf(QWidget* wrapper, QWidget* widget);

// The height a wrapper reserves for widget: the larger of its size hint, its
// minimum size hint and its explicit minimum height.
int naturalHeight(const QWidget* widget);

// Gives widget a still glow: a drop shadow of the colour, without offset.
QGraphicsDropShadowEffect* addGlow(QWidget* widget, qreal blurRadius, const QColor& color);

// Strokes `count` one-pixel rounded rectangles around rect, from the outermost
// (i = count, grown by count pixels) inwards to i = 1, half-pixel aligned, each
// with corner radius i + radiusBase and the colour with alpha alphaFor(i).
template <typename AlphaFor>
void paintGlowRings(QPainter& painter, const QRect& rect, int count, qreal radiusBase,
                    QColor color, AlphaFor alphaFor)
{
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing, true);
    painter.setBrush(Qt::NoBrush);
    QPen pen(color, 1.0);
    for (int i = count; i >= 1; --i) {
        color.setAlpha(qBound(0, int(alphaFor(i)), 255));
        pen.setColor(color);
        painter.setPen(pen);
        const QRectF ring(rect.x() - i + 0.5, rect.y() - i + 0.5,
                          rect.width() - 1 + 2 * i, rect.height() - 1 + 2 * i);
        painter.drawRoundedRect(ring, i + radiusBase, i + radiusBase);
    }
    painter.restore();
}

// The faint violet wash behind a hovered row or link: a rounded rectangle whose
// alpha follows the hover progress (0 to 1); nothing at all when not hovered.
void paintHoverWash(QWidget* widget, const QRectF& rect, qreal progress, qreal radius);

} // namespace effects
