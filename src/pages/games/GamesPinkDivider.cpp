#include "pages/games/GamesPinkDivider.h"

#include <QPainter>

namespace {

const QColor kPink(0xff, 0x14, 0x93);

// Wide and faint first, then narrower and brighter: the tube and its glow.
struct Pass
{
    double width;
    int alpha;
};
constexpr Pass kPasses[] = {{12.0, 40}, {6.0, 110}, {2.0, 255}};
constexpr double kEndSquare = 8.0;

}  // namespace

GamesPinkDivider::GamesPinkDivider(QWidget* parent)
    : QWidget(parent)
{
    setAttribute(Qt::WA_TransparentForMouseEvents);
    setAttribute(Qt::WA_TranslucentBackground);
    setFixedHeight(kHeight);
}

void GamesPinkDivider::paintEvent(QPaintEvent*)
{
    const qreal ratio = devicePixelRatioF();
    if (m_picture.size() != size() * ratio || !qFuzzyCompare(m_picture.devicePixelRatioF(), ratio)) {
        m_picture = QPixmap(size() * ratio);
        m_picture.setDevicePixelRatio(ratio);
        m_picture.fill(Qt::transparent);
        QPainter painter(&m_picture);
        painter.setRenderHint(QPainter::Antialiasing);
        const double y = height() / 2.0;
        const QPointF left(width() * 0.05, y);
        const QPointF right(width() * 0.95, y);
        for (const Pass& pass : kPasses) {
            QColor colour = kPink;
            colour.setAlpha(pass.alpha);
            painter.setPen(QPen(colour, pass.width, Qt::SolidLine, Qt::RoundCap));
            painter.drawLine(left, right);
        }
        painter.setPen(Qt::NoPen);
        painter.setBrush(kPink);
        const QPointF half(kEndSquare / 2, kEndSquare / 2);
        painter.drawRect(QRectF(left - half, QSizeF(kEndSquare, kEndSquare)));
        painter.drawRect(QRectF(right - half, QSizeF(kEndSquare, kEndSquare)));
    }
    QPainter painter(this);
    painter.drawPixmap(0, 0, m_picture);
}
