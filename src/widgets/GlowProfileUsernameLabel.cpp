#include "widgets/GlowProfileUsernameLabel.h"

#include "widgets/DisplayText.h"

#include <QFontMetricsF>
#include <QPainter>
#include <QPainterPath>

GlowProfileUsernameLabel::GlowProfileUsernameLabel(QWidget* parent)
    : QLabel(parent)
{
}

GlowProfileUsernameLabel::GlowProfileUsernameLabel(const QString& text, QWidget* parent)
    : QLabel(text, parent)
{
}

QPixmap GlowProfileUsernameLabel::renderText() const
{
    const qreal ratio = devicePixelRatioF();
    QPixmap picture(size() * ratio);
    picture.setDevicePixelRatio(ratio);
    picture.fill(Qt::transparent);
    // Only what fits is outlined: the strokes cost per glyph.
    const QFontMetricsF metrics(font());
    const QRectF area = contentsRect();
    const QString current =
        metrics.elidedText(DisplayText::capped(text(), DisplayText::kToolTipLength), Qt::ElideRight, area.width());
    if (current.isEmpty())
        return picture;

    const qreal x = area.left() + (area.width() - metrics.horizontalAdvance(current)) / 2.0;
    const qreal baseline = area.top() + (area.height() + metrics.ascent() - metrics.descent()) / 2.0;
    QPainterPath path;
    path.addText(QPointF(x, baseline), font(), current);

    QPainter painter(&picture);
    painter.setRenderHint(QPainter::Antialiasing, true);
    painter.setBrush(Qt::NoBrush);
    painter.setPen(QPen(QColor(124, 58, 237, 35), 12.0, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    painter.drawPath(path);
    painter.setPen(QPen(QColor(124, 58, 237, 90), 5.0, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    painter.drawPath(path);
    painter.fillPath(path, QColor(0xd8, 0xb4, 0xfe));
    return picture;
}

void GlowProfileUsernameLabel::paintEvent(QPaintEvent*)
{
    const qreal ratio = devicePixelRatioF();
    if (m_picture.isNull() || text() != m_pictureText || font() != m_pictureFont || size() != m_pictureSize
        || !qFuzzyCompare(ratio, m_pictureRatio)) {
        m_pictureText = text();
        m_pictureFont = font();
        m_pictureSize = size();
        m_pictureRatio = ratio;
        m_picture = renderText();
    }
    QPainter painter(this);
    painter.drawPixmap(0, 0, m_picture);
}
