#include "widgets/GlowProfileUsernameLabel.h"

#include <QFontMetricsF>
#include <QPainter>

GlowProfileUsernameLabel::GlowProfileUsernameLabel(QWidget* parent)
    : QLabel(parent)
{
}

GlowProfileUsernameLabel::GlowProfileUsernameLabel(const QString& text, QWidget* parent)
    : QLabel(text, parent)
{
}

const QPainterPath& GlowProfileUsernameLabel::textPath()
{
    const QString current = text();
    if (current != m_pathText || font() != m_pathFont || size() != m_pathSize) {
        m_pathText = current;
        m_pathFont = font();
        m_pathSize = size();
        m_path = QPainterPath();
        if (!current.isEmpty()) {
            const QFontMetricsF metrics(m_pathFont);
            const QRectF area = contentsRect();
            const qreal x = area.left() + (area.width() - metrics.horizontalAdvance(current)) / 2.0;
            const qreal baseline =
                area.top() + (area.height() + metrics.ascent() - metrics.descent()) / 2.0;
            m_path.addText(QPointF(x, baseline), m_pathFont, current);
        }
    }
    return m_path;
}

void GlowProfileUsernameLabel::paintEvent(QPaintEvent*)
{
    const QPainterPath& path = textPath();
    if (path.isEmpty())
        return;
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing, true);
    painter.setBrush(Qt::NoBrush);
    painter.setPen(QPen(QColor(124, 58, 237, 35), 12.0, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    painter.drawPath(path);
    painter.setPen(QPen(QColor(124, 58, 237, 90), 5.0, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    painter.drawPath(path);
    painter.fillPath(path, QColor(0xd8, 0xb4, 0xfe));
}
