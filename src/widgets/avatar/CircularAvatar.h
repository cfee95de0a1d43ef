#pragma once

#include <QPixmap>

// A size x size pixmap showing source cropped to the inscribed circle: the source
// is scaled to cover the square (aspect ratio kept, smooth), centred, and drawn
// through an elliptic clip; everything outside the circle stays transparent.
QPixmap circularAvatar(const QPixmap& source, int size);
