#include "online/MemberAvatar.h"

#include "widgets/avatar/CircularAvatar.h"

#include <QFile>
#include <QPainter>
#include <QPainterPath>
#include <QRadialGradient>

namespace {

constexpr int kSize = 54;

QPixmap transparentCanvas()
{
    QPixmap canvas(kSize, kSize);
    canvas.fill(Qt::transparent);
    return canvas;
}

}  // namespace

QPixmap renderMemberAvatar(const QPixmap& picture)
{
    QPixmap canvas = transparentCanvas();
    QPainter painter(&canvas);
    painter.setRenderHint(QPainter::Antialiasing, true);
    painter.setRenderHint(QPainter::SmoothPixmapTransform, true);
    painter.setPen(Qt::NoPen);

    QRadialGradient glow(QPointF(27, 27), 27);
    glow.setColorAt(0.67, QColor(167, 139, 250, 180));
    glow.setColorAt(0.78, QColor(167, 139, 250, 130));
    glow.setColorAt(0.9, QColor(124, 58, 237, 55));
    glow.setColorAt(1.0, QColor(124, 58, 237, 0));
    painter.setBrush(glow);
    painter.drawEllipse(QRectF(0, 0, 54, 54));

    painter.setBrush(QColor(QStringLiteral("#2b1b49")));
    painter.drawEllipse(QRectF(7, 7, 40, 40));

    drawCircularPicture(painter, picture, QRectF(9, 9, 36, 36));

    painter.setBrush(Qt::NoBrush);
    painter.setPen(QPen(QColor(QStringLiteral("#a78bfa")), 1.5));
    painter.drawEllipse(QRectF(9.75, 9.75, 34.5, 34.5));
    return canvas;
}

QPixmap renderGamesMemberAvatar(const QPixmap& picture)
{
    QPixmap canvas = transparentCanvas();
    QPainter painter(&canvas);
    painter.setRenderHint(QPainter::Antialiasing, true);
    painter.setRenderHint(QPainter::SmoothPixmapTransform, true);
    painter.setPen(Qt::NoPen);

    QRadialGradient glow(QPointF(27, 27), 27);
    glow.setColorAt(0.0, QColor(167, 139, 250, 0));
    glow.setColorAt(0.65, QColor(167, 139, 250, 0));
    glow.setColorAt(0.74, QColor(167, 139, 250, 170));
    glow.setColorAt(0.84, QColor(167, 139, 250, 85));
    glow.setColorAt(1.0, QColor(167, 139, 250, 0));
    painter.setBrush(glow);
    painter.drawEllipse(QRectF(0, 0, 54, 54));

    drawCircularPicture(painter, picture, QRectF(8, 8, 38, 38));

    painter.setBrush(Qt::NoBrush);
    painter.setPen(QPen(QColor(196, 181, 253, 220), 1.5));
    painter.drawEllipse(QRectF(7, 7, 40, 40));
    return canvas;
}
