#include "pages/chat/ChatArcadeCouch.h"

#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QRadialGradient>
#include <QTimer>

#include <cmath>

namespace {

const QColor kFabricLight(0x5b, 0x21, 0xb6);
const QColor kFabric(0x32, 0x14, 0x5e);
const QColor kFabricSide(0x4c, 0x1d, 0x76);
const QColor kFabricDark(0x21, 0x0d, 0x3b);
const QColor kOutline(0x17, 0x0a, 0x2d);
const QColor kCushion(0x7c, 0x3a, 0xed);
const QColor kCushionLight(0xa7, 0x8b, 0xfa);
const QColor kCushionShine(0xc0, 0x84, 0xfc);
const QColor kCyan(0x67, 0xe8, 0xf9);
const QColor kPink(0xf4, 0x72, 0xff);

QPixmap canvas(qreal ratio)
{
    return AnchoredArcadeArt::blankPicture(QSize(ChatArcadeCouch::kWidth, ChatArcadeCouch::kHeight), ratio);
}

void block(QPainter& painter, const QRectF& rect, const QBrush& fill, double radius = 4)
{
    painter.setPen(QPen(kOutline, 3, Qt::SolidLine, Qt::SquareCap, Qt::MiterJoin));
    painter.setBrush(fill);
    painter.drawRoundedRect(rect, radius, radius);
}

}  // namespace

ChatArcadeCouch::ChatArcadeCouch(QWidget* card)
    : AnchoredArcadeArt(card, card ? card->parentWidget() : nullptr, QStringLiteral("chatArcadeCouch"),
                        QSize(kWidth, kHeight), kOffset)
{
    m_timer = new QTimer(this);
    m_timer->setObjectName(QStringLiteral("chatArcadeCouchTimer"));
    m_timer->setInterval(kFrameIntervalMs);
    connect(m_timer, &QTimer::timeout, this, &ChatArcadeCouch::tick);
    m_timer->start();
}

void ChatArcadeCouch::tick()
{
    m_phase += kPhaseStep;
    update();
}

const QPixmap& ChatArcadeCouch::glow()
{
    const qreal ratio = devicePixelRatioF();
    if (!m_glow.isNull() && qFuzzyCompare(m_glow.devicePixelRatioF(), ratio))
        return m_glow;
    m_glow = canvas(ratio);
    // The breathing light under and behind the couch.
    QPainter painter(&m_glow);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(Qt::NoPen);
    QRadialGradient floor(QPointF(84, 76), 84);
    floor.setColorAt(0.0, QColor(244, 114, 255, 120));
    floor.setColorAt(0.5, QColor(124, 58, 237, 50));
    floor.setColorAt(1.0, QColor(124, 58, 237, 0));
    painter.setBrush(floor);
    painter.drawEllipse(QPointF(84, 76), 84, 12);
    QRadialGradient back(QPointF(84, 40), 80);
    back.setColorAt(0.0, QColor(192, 132, 252, 70));
    back.setColorAt(1.0, QColor(192, 132, 252, 0));
    painter.setBrush(back);
    painter.drawEllipse(QPointF(84, 42), 82, 34);
    return m_glow;
}

QPixmap ChatArcadeCouch::renderPicture(qreal ratio) const
{
    QPixmap couch = canvas(ratio);
    QPainter painter(&couch);
    painter.setRenderHint(QPainter::Antialiasing);

    // Legs.
    painter.setPen(Qt::NoPen);
    painter.setBrush(kOutline);
    for (double x : {22.0, 138.0})
        painter.drawRect(QRectF(x, 70, 8, 10));
    painter.setBrush(kCyan);
    painter.drawRect(QRectF(22, 78, 8, 2));
    painter.drawRect(QRectF(138, 78, 8, 2));

    // Backrest in two tufted halves.
    QLinearGradient backFill(0, 14, 0, 50);
    backFill.setColorAt(0.0, kFabricLight);
    backFill.setColorAt(1.0, kFabric);
    block(painter, QRectF(20, 14, 128, 40), backFill, 8);
    painter.setPen(QPen(kOutline, 2));
    painter.drawLine(QPointF(84, 18), QPointF(84, 50));
    // Pixel shine along the top.
    painter.setPen(Qt::NoPen);
    painter.setBrush(QColor(0xa7, 0x8b, 0xfa, 150));
    painter.drawRect(QRectF(28, 18, 24, 3));
    painter.drawRect(QRectF(92, 18, 12, 3));

    // Seat base and cushions.
    QLinearGradient baseFill(0, 50, 0, 72);
    baseFill.setColorAt(0.0, kFabricSide);
    baseFill.setColorAt(1.0, kFabricDark);
    block(painter, QRectF(14, 52, 140, 20), baseFill, 4);
    for (double x : {30.0, 86.0}) {
        QLinearGradient cushion(0, 42, 0, 58);
        cushion.setColorAt(0.0, kCushionLight);
        cushion.setColorAt(1.0, kCushion);
        block(painter, QRectF(x, 42, 52, 16), cushion, 5);
        painter.setPen(Qt::NoPen);
        painter.setBrush(kCushionShine);
        painter.drawRect(QRectF(x + 6, 45, 16, 3));
    }

    // Armrests.
    for (double x : {4.0, 136.0}) {
        QLinearGradient arm(x, 0, x + 28, 0);
        arm.setColorAt(0.0, kFabricSide);
        arm.setColorAt(1.0, kFabric);
        block(painter, QRectF(x, 34, 28, 38), arm, 7);
        painter.setPen(Qt::NoPen);
        painter.setBrush(kCushionShine);
        painter.drawRect(QRectF(x + 6, 38, 14, 3));
    }

    // Stitched marks on the backrest: a cyan plus and a pink cross.
    painter.setPen(QPen(kCyan, 3, Qt::SolidLine, Qt::SquareCap));
    painter.drawLine(QPointF(52, 26), QPointF(52, 38));
    painter.drawLine(QPointF(46, 32), QPointF(58, 32));
    painter.setPen(QPen(kPink, 3, Qt::SolidLine, Qt::SquareCap));
    painter.drawLine(QPointF(111, 27), QPointF(121, 37));
    painter.drawLine(QPointF(121, 27), QPointF(111, 37));
    return couch;
}

void ChatArcadeCouch::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.setOpacity(0.55 + 0.45 * std::sin(m_phase));
    painter.drawPixmap(0, 0, glow());
    painter.setOpacity(1.0);
    painter.drawPixmap(0, 0, picture());
}
