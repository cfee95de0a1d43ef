#include "voice/DesktopVoiceControlsFrame.h"

#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>

DesktopVoiceControlsFrame::DesktopVoiceControlsFrame(QWidget* parent)
    : QFrame(parent)
{
    setObjectName(QStringLiteral("desktopVoiceControlsFrame"));
    setStyleSheet(QStringLiteral("background: transparent; border: none;"));
}

void DesktopVoiceControlsFrame::paintEvent(QPaintEvent* event)
{
    QFrame::paintEvent(event);

    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing, true);
    const QRectF outline = QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5);
    constexpr qreal radius = 9.0;

    QPainterPath path;
    path.addRoundedRect(outline, radius, radius);
    painter.fillPath(path, QColor(28, 20, 43, 110));
    painter.setPen(QPen(QColor(QStringLiteral("#4a3266")), 1.0));
    painter.drawPath(path);

    // The accent: a short gradient line inside the top edge, fading at both ends.
    QLinearGradient accent(outline.left() + radius, 0, outline.right() - radius, 0);
    accent.setColorAt(0.0, QColor(139, 92, 246, 0));
    accent.setColorAt(0.3, QColor(167, 139, 250, 200));
    accent.setColorAt(0.7, QColor(244, 114, 182, 200));
    accent.setColorAt(1.0, QColor(244, 114, 182, 0));
    painter.setPen(QPen(QBrush(accent), 1.2));
    painter.drawLine(QPointF(outline.left() + radius, outline.top() + 1.0),
                     QPointF(outline.right() - radius, outline.top() + 1.0));
}
