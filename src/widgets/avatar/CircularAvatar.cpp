#include "widgets/avatar/CircularAvatar.h"

#include <QPainter>
#include <QPainterPath>

namespace {

QPixmap transparentSquare(int size)
{
    QPixmap result(size, size);
    result.fill(Qt::transparent);
    return result;
}

}  // namespace

void drawCircularPicture(QPainter& painter, const QPixmap& picture, const QRectF& circle)
{
    if (picture.isNull())
        return;
    QPainterPath clip;
    clip.addEllipse(circle);
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing, true);
    painter.setRenderHint(QPainter::SmoothPixmapTransform, true);
    painter.setClipPath(clip, Qt::IntersectClip);
    const QPixmap scaled =
        picture.scaled(circle.size().toSize(), Qt::KeepAspectRatioByExpanding, Qt::SmoothTransformation);
    painter.drawPixmap(QPointF(circle.center().x() - scaled.width() / 2.0, circle.center().y() - scaled.height() / 2.0),
                       scaled);
    painter.restore();
}

QPixmap circularAvatar(const QPixmap& source, int size)
{
    if (size <= 0)
        return {};
    QPixmap result = transparentSquare(size);
    QPainter painter(&result);
    drawCircularPicture(painter, source, QRectF(0, 0, size, size));
    return result;
}

QPixmap ringedAvatar(const QPixmap& source, int size, const QColor& ringColor, int pictureInset)
{
    QPixmap result = transparentSquare(size);
    QPainter painter(&result);
    const int inner = size - 2 * pictureInset;
    drawCircularPicture(painter, source, QRectF(pictureInset, pictureInset, inner, inner));
    painter.setRenderHint(QPainter::Antialiasing, true);
    painter.setPen(QPen(ringColor, 2));
    painter.setBrush(Qt::NoBrush);
    painter.drawEllipse(QRectF(1, 1, size - 2, size - 2));
    return result;
}
