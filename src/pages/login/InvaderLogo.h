#pragma once

#include <QImage>
#include <QPixmap>

// The login page's pixel invader: an 8 x 11 bitmap in 4-pixel cells on a
// transparent 52 x 52 image, a dark shadow three pixels down and right under a
// lilac body gradient. Drawn once and shared.
class InvaderLogo
{
public:
    static constexpr int kSize = 52;
    static constexpr int kRows = 8;
    static constexpr int kColumns = 11;

    // Row r, column c of the bitmap is filled.
    static bool filled(int row, int column);
    // Renders the image (kSize x kSize, premultiplied ARGB).
    static QImage render();
    // The image, rendered on first use.
    static const QPixmap& pixmap();
};
