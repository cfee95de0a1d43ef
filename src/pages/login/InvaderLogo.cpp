#include "pages/login/InvaderLogo.h"

#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>

namespace {

const char* const kBitmap[InvaderLogo::kRows] = {
    "00100000100", "00010001000", "00111111100", "01101110110",
    "11111111111", "10111111101", "10100000101", "00011011000",
};

constexpr int kCell = 4;
constexpr int kLeft = 4;
constexpr int kTop = 8;
constexpr int kShadowOffset = 3;

}  // namespace

bool InvaderLogo::filled(int row, int column)
{
    if (row < 0 || row >= kRows || column < 0 || column >= kColumns)
        return false;
    return kBitmap[row][column] == '1';
}

QImage InvaderLogo::render()
{
    QImage image(kSize, kSize, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainterPath cells;
    for (int r = 0; r < kRows; ++r)
        for (int c = 0; c < kColumns; ++c)
            if (filled(r, c))
                cells.addRect(kLeft + kCell * c, kTop + kCell * r, kCell, kCell);
    cells = cells.simplified();

    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(Qt::NoPen);
    painter.setBrush(QColor(0x50, 0x30, 0x6f));
    painter.drawPath(cells.translated(kShadowOffset, kShadowOffset));
    const QRectF bounds = cells.boundingRect();
    QLinearGradient body(bounds.topLeft(), bounds.bottomLeft());
    body.setColorAt(0.0, QColor(0xe4, 0xc5, 0xff));
    body.setColorAt(0.45, QColor(0xb5, 0x8a, 0xe3));
    body.setColorAt(1.0, QColor(0x80, 0x55, 0xaf));
    painter.setBrush(body);
    painter.drawPath(cells);
    return image;
}

const QPixmap& InvaderLogo::pixmap()
{
    static const QPixmap logo = QPixmap::fromImage(render());
    return logo;
}
