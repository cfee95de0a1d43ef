#pragma once

#include <QPixmap>
#include <QString>

// Avatar drawings of the online-member rows, 54 x 54 on a transparent ground.

// Chat and ideas panels: a violet glow, a dark disc, the picture (if any) in a
// 36 px circle and a thin lavender ring.
QPixmap renderMemberAvatar(const QPixmap& picture);

// Games panel: a softer ring-shaped glow, the picture in a 38 px circle and a
// pale ring. Only drawn when there is a picture.
QPixmap renderGamesMemberAvatar(const QPixmap& picture);

