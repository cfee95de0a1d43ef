#include "pages/profile/ProfileCardWidget.h"

#include <QPainter>

namespace {
constexpr qreal kRadius = ProfileCardWidget::kCornerRadius;

struct EdgeStroke
{
    qreal width;
    QColor color;
    qreal inset;
};
} // namespace

ProfileCardWidget::ProfileCardWidget(QWidget* parent)
    : QFrame(parent)
{
    setAttribute(Qt::WA_TranslucentBackground);
}

void ProfileCardWidget::paintEvent(QPaintEvent*)
{
    static const EdgeStroke strokes[] = {
        {16.0, QColor(124, 58, 237, 18), 8.0},
        {10.0, QColor(124, 58, 237, 38), 5.0},
        {5.0, QColor(124, 58, 237, 90), 2.5},
        {2.0, QColor(0x7c, 0x3a, 0xed), 1.0},
    };

    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing, true);
    const QRectF area = QRectF(rect());

    painter.setPen(Qt::NoPen);
    painter.setBrush(QColor(18, 15, 30, 245));
    painter.drawRoundedRect(area.adjusted(0.5, 0.5, -0.5, -0.5), kRadius, kRadius);

    painter.setBrush(Qt::NoBrush);
    for (const EdgeStroke& stroke : strokes) {
        painter.setPen(QPen(stroke.color, stroke.width));
        painter.drawRoundedRect(area.adjusted(stroke.inset, stroke.inset, -stroke.inset, -stroke.inset),
                                kRadius, kRadius);
    }
}
