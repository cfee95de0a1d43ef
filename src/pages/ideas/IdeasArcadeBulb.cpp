#include "pages/ideas/IdeasArcadeBulb.h"

#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QRadialGradient>

#include <cmath>

namespace {

const QColor kGlass(0xf6, 0xd3, 0x65);
const QColor kPink(0xf4, 0x72, 0xff);
const QColor kViolet(0x6f, 0x42, 0xc1);
const QColor kLilac(0xc0, 0x84, 0xfc);

QPixmap renderBulb(qreal ratio)
{
    QPixmap picture = AnchoredArcadeArt::blankPicture(QSize(IdeasArcadeBulb::kWidth, IdeasArcadeBulb::kHeight), ratio);
    QPainter painter(&picture);
    painter.setRenderHint(QPainter::Antialiasing);
    const QPointF centre(40, 40);

    // Outer light: warm in the middle, pink at the edge.
    QRadialGradient light(centre, 40);
    light.setColorAt(0.0, QColor(246, 211, 101, 150));
    light.setColorAt(0.45, QColor(246, 211, 101, 60));
    light.setColorAt(0.75, QColor(244, 114, 255, 40));
    light.setColorAt(1.0, QColor(244, 114, 255, 0));
    painter.setPen(Qt::NoPen);
    painter.setBrush(light);
    painter.drawEllipse(centre, 40, 40);

    // Short rays in pixel steps.
    painter.setPen(QPen(kGlass, 3, Qt::SolidLine, Qt::SquareCap));
    for (int i = 0; i < 8; ++i) {
        if (i == 2)
            continue;  // the stem points down
        const double angle = i * 3.14159265358979 / 4;
        const QPointF direction(std::cos(angle), -std::sin(angle));
        painter.drawLine(centre + direction * 29, centre + direction * 35);
    }

    // Glass: a round bulb narrowing into the neck, outlined in lilac.
    QPainterPath glass;
    glass.addEllipse(QPointF(40, 38), 20, 20);
    QPainterPath neck;
    neck.addRoundedRect(QRectF(31, 46, 18, 20), 4, 4);
    glass = glass.united(neck);
    QRadialGradient fill(QPointF(34, 32), 26);
    fill.setColorAt(0.0, QColor(0xff, 0xf6, 0xd0));
    fill.setColorAt(0.5, kGlass);
    fill.setColorAt(1.0, QColor(0xf0, 0xa8, 0x4a));
    painter.setPen(QPen(kLilac, 3));
    painter.setBrush(fill);
    painter.drawPath(glass);
    // Filament, a tiny pink zigzag, and a pixel highlight.
    painter.setPen(QPen(kPink, 2, Qt::SolidLine, Qt::SquareCap, Qt::MiterJoin));
    painter.setBrush(Qt::NoBrush);
    QPainterPath filament;
    filament.moveTo(33, 48);
    filament.lineTo(33, 40);
    filament.lineTo(37, 36);
    filament.lineTo(40, 40);
    filament.lineTo(43, 36);
    filament.lineTo(47, 40);
    filament.lineTo(47, 48);
    painter.drawPath(filament);
    painter.setPen(Qt::NoPen);
    painter.setBrush(QColor(255, 255, 255, 220));
    painter.drawRect(QRectF(29, 27, 4, 4));
    painter.drawRect(QRectF(33, 23, 4, 4));

    // Screw base in violet bands, then the contact.
    for (int i = 0; i < 3; ++i) {
        painter.setPen(QPen(QColor(0x2b, 0x17, 0x4f), 1.5));
        painter.setBrush(i % 2 == 0 ? kViolet : kLilac);
        painter.drawRoundedRect(QRectF(30, 66 + i * 6, 20, 6), 2, 2);
    }
    painter.setBrush(kViolet);
    painter.drawRoundedRect(QRectF(35, 84, 10, 5), 2, 2);
    // A soft pink sparkle at the side.
    painter.setBrush(kPink);
    painter.drawRect(QRectF(64, 16, 3, 9));
    painter.drawRect(QRectF(61, 19, 9, 3));
    return picture;
}

}  // namespace

IdeasArcadeBulb::IdeasArcadeBulb(QWidget* anchor, QWidget* parent)
    : AnchoredArcadeArt(anchor, parent, QStringLiteral("ideasArcadeBulb"), QSize(kWidth, kHeight), kOffset)
{
}

QPixmap IdeasArcadeBulb::renderPicture(qreal ratio) const
{
    return renderBulb(ratio);
}
