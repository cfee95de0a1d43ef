#include "pages/games/GamesArcadeGamepad.h"

#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QRadialGradient>

namespace {

const QColor kBodyDark(0x1d, 0x0b, 0x37);
const QColor kBody(0x32, 0x14, 0x5e);
const QColor kShadow(0x17, 0x0a, 0x2d);
const QColor kOutline(0xa7, 0x8b, 0xfa);
const QColor kInner(0x8b, 0x5c, 0xf6);
const QColor kButtonA(0xc0, 0x84, 0xfc);
const QColor kButtonB(0xf0, 0xab, 0xfc);

QPixmap renderGamepad(qreal ratio)
{
    QPixmap picture = AnchoredArcadeArt::blankPicture(QSize(GamesArcadeGamepad::kWidth, GamesArcadeGamepad::kHeight), ratio);
    QPainter painter(&picture);
    painter.setRenderHint(QPainter::Antialiasing);

    // Body: a wide bar with two round grips.
    QPainterPath body;
    body.addRoundedRect(QRectF(22, 30, 136, 50), 24, 24);
    QPainterPath leftGrip;
    leftGrip.addEllipse(QRectF(14, 38, 58, 64));
    QPainterPath rightGrip;
    rightGrip.addEllipse(QRectF(108, 38, 58, 64));
    body = body.united(leftGrip).united(rightGrip);

    // Soft violet halo, stroked wide and faint.
    painter.setBrush(Qt::NoBrush);
    for (int k = 5; k >= 1; --k) {
        QColor halo = kInner;
        halo.setAlpha(10 + 8 * (5 - k));
        painter.setPen(QPen(halo, 4.0 * k, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
        painter.drawPath(body);
    }
    // Drop shadow, body and outline.
    painter.setPen(Qt::NoPen);
    painter.setBrush(kShadow);
    painter.drawPath(body.translated(0, 5));
    QLinearGradient fill(0, 30, 0, 102);
    fill.setColorAt(0.0, kBody);
    fill.setColorAt(1.0, kBodyDark);
    painter.setBrush(fill);
    painter.setPen(QPen(kOutline, 3, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    painter.drawPath(body);
    painter.setPen(QPen(kInner, 1.5));
    painter.setBrush(Qt::NoBrush);
    painter.drawRoundedRect(QRectF(30, 36, 120, 36), 18, 18);

    // Pixel shine on the top edge.
    painter.setPen(Qt::NoPen);
    painter.setBrush(QColor(0xdd, 0xd6, 0xfe, 170));
    painter.drawRect(QRectF(44, 34, 18, 3));
    painter.drawRect(QRectF(66, 34, 6, 3));

    // D-pad.
    painter.setBrush(kShadow);
    painter.setPen(QPen(kInner, 1.5));
    QPainterPath cross;
    cross.addRect(QRectF(36, 55, 30, 10));
    cross.addRect(QRectF(46, 45, 10, 30));
    painter.drawPath(cross.simplified());
    painter.setPen(Qt::NoPen);
    painter.setBrush(kOutline);
    painter.drawRect(QRectF(49, 48, 4, 4));

    // Face buttons in a diamond.
    const struct { QPointF centre; QColor colour; } buttons[] = {
        {{132, 49}, kButtonA}, {{146, 61}, kButtonB}, {{132, 73}, kButtonA}, {{118, 61}, kButtonB},
    };
    for (const auto& button : buttons) {
        QRadialGradient glow(button.centre, 11);
        QColor light = button.colour;
        light.setAlpha(110);
        glow.setColorAt(0.0, light);
        light.setAlpha(0);
        glow.setColorAt(1.0, light);
        painter.setPen(Qt::NoPen);
        painter.setBrush(glow);
        painter.drawEllipse(button.centre, 11, 11);
        painter.setPen(QPen(kShadow, 1.5));
        painter.setBrush(button.colour);
        painter.drawEllipse(button.centre, 5.5, 5.5);
        painter.setPen(Qt::NoPen);
        painter.setBrush(QColor(255, 255, 255, 200));
        painter.drawRect(QRectF(button.centre.x() - 3, button.centre.y() - 3, 2, 2));
    }

    // Select and start.
    painter.setBrush(kInner);
    painter.drawRoundedRect(QRectF(78, 60, 10, 4), 2, 2);
    painter.drawRoundedRect(QRectF(92, 60, 10, 4), 2, 2);

    // Cable curling up out of the top, ending in a pink pixel.
    painter.setBrush(Qt::NoBrush);
    painter.setPen(QPen(kOutline, 3, Qt::SolidLine, Qt::RoundCap));
    QPainterPath cable;
    cable.moveTo(90, 30);
    cable.cubicTo(90, 16, 112, 20, 116, 8);
    painter.drawPath(cable);
    painter.setPen(Qt::NoPen);
    painter.setBrush(kButtonB);
    painter.drawRect(QRectF(113, 2, 7, 7));
    return picture;
}

}  // namespace

GamesArcadeGamepad::GamesArcadeGamepad(QWidget* anchor, QWidget* parent)
    : AnchoredArcadeArt(anchor, parent, QStringLiteral("gamesArcadeGamepad"), QSize(kWidth, kHeight), kOffset)
{
}

QPixmap GamesArcadeGamepad::renderPicture(qreal ratio) const
{
    return renderGamepad(ratio);
}
