#pragma once

#include <QPixmap>

class QColor;
class QPainter;
class QRectF;

// The one way round avatars are drawn: picture scaled to cover `circle` (aspect
// ratio kept, smooth), centred on it and clipped to it. The painter's state is
// left as it was.
void drawCircularPicture(QPainter& painter, const QPixmap& picture, const QRectF& circle);

// A size x size pixmap showing source cropped to the inscribed circle; everything
// outside the circle stays transparent.
QPixmap circularAvatar(const QPixmap& source, int size);

// A round avatar with a thin ring: the picture covers the circle inset by
// pictureInset pixels, and a 2-pixel ring of ringColor is stroked one pixel
// inside the edge.
QPixmap ringedAvatar(const QPixmap& source, int size, const QColor& ringColor, int pictureInset = 2);
