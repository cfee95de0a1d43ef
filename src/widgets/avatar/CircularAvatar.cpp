#include "widgets/avatar/CircularAvatar.h"

#include <QPainter>
#include <QPainterPath>

QPixmap circularAvatar(const QPixmap& source, int size)
{
    if (size <= 0)
        return {};
    QPixmap result(size, size);
    result.fill(Qt::transparent);
    if (source.isNull())
        return result;

    const QPixmap scaled = source.scaled(size, size, Qt::KeepAspectRatioByExpanding,
                                         Qt::SmoothTransformation);
    QPainter painter(&result);
    painter.setRenderHint(QPainter::Antialiasing, true);
    painter.setRenderHint(QPainter::SmoothPixmapTransform, true);
    QPainterPath circle;
    circle.addEllipse(0, 0, size, size);
    painter.setClipPath(circle);
    painter.drawPixmap((size - scaled.width()) / 2, (size - scaled.height()) / 2, scaled);
    return result;
}
