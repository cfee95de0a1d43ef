#include "widgets/MicLevelMeter.h"

#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>

#include <algorithm>
#include <cmath>

namespace {

constexpr double FloorDb = -60.0;
constexpr double FullScale = 32768.0;
constexpr double KeyStepDb = 1.0;
constexpr qreal Margin = 6.0; // room for the handle at both ends

double decibels(int level)
{
    return 20.0 * std::log10(std::max(level, 1) / FullScale);
}

} // namespace

MicLevelMeter::MicLevelMeter(QWidget* parent)
    : QWidget(parent)
{
    setObjectName(QStringLiteral("voiceLevelMeter"));
    setCursor(Qt::SizeHorCursor);
    setFocusPolicy(Qt::StrongFocus);
    setMinimumSize(120, 22);
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    updateToolTip();
}

double MicLevelMeter::positionOf(int level)
{
    return std::clamp((decibels(level) - FloorDb) / -FloorDb, 0.0, 1.0);
}

int MicLevelMeter::levelAt(double position)
{
    const double db = FloorDb + std::clamp(position, 0.0, 1.0) * -FloorDb;
    return std::clamp(int(std::lround(FullScale * std::pow(10.0, db / 20.0))), 1, 32767);
}

void MicLevelMeter::setLevel(int level)
{
    level = std::clamp(level, 0, 32768);
    if (level == m_level)
        return;
    // Repaint only when the bar's end moves or it crosses the threshold.
    const bool visible = pixelOf(level) != pixelOf(m_level) || (level > m_threshold) != (m_level > m_threshold);
    m_level = level;
    if (visible)
        update();
}

void MicLevelMeter::setThreshold(int threshold)
{
    threshold = std::clamp(threshold, 1, 32767);
    if (threshold == m_threshold)
        return;
    m_threshold = threshold;
    updateToolTip();
    update();
    emit thresholdChanged(threshold);
}

QSize MicLevelMeter::sizeHint() const
{
    return {240, 22};
}

QRectF MicLevelMeter::barRect() const
{
    return QRectF(Margin, 4.0, width() - 2 * Margin, height() - 8.0);
}

int MicLevelMeter::pixelOf(int level) const
{
    const QRectF bar = barRect();
    return int(std::lround(bar.left() + positionOf(level) * bar.width()));
}

void MicLevelMeter::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing, true);
    const QRectF bar = barRect();
    const bool speaking = m_level > m_threshold;

    QPainterPath track;
    track.addRoundedRect(bar, 5.0, 5.0);
    painter.fillPath(track, QColor(QStringLiteral("#24192f")));

    const qreal end = pixelOf(m_level);
    if (end > bar.left()) {
        QLinearGradient fill(bar.topLeft(), bar.topRight());
        fill.setColorAt(0.0, QColor(QStringLiteral("#6d4fa0")));
        fill.setColorAt(1.0, QColor(QStringLiteral("#a78bfa")));
        painter.save();
        painter.setClipRect(QRectF(bar.left(), bar.top(), end - bar.left(), bar.height()));
        painter.fillPath(track, fill);
        if (speaking) {
            // The part above the threshold lights up as the speaking indicator does.
            const qreal mark = pixelOf(m_threshold);
            painter.setClipRect(QRectF(mark, bar.top(), end - mark, bar.height()));
            painter.fillPath(track, QColor(QStringLiteral("#22c55e")));
        }
        painter.restore();
    }
    painter.setPen(QPen(QColor(hasFocus() ? QStringLiteral("#a78bfa") : QStringLiteral("#6d4fa0")), 1.0));
    painter.drawPath(track);

    // The threshold: a line across the bar with a small handle above and below.
    const qreal x = pixelOf(m_threshold) + 0.5;
    const QColor handle(QStringLiteral("#ffd166"));
    painter.setPen(QPen(handle, 2.0, Qt::SolidLine, Qt::RoundCap));
    painter.drawLine(QPointF(x, bar.top() - 1.0), QPointF(x, bar.bottom() + 1.0));
    painter.setPen(Qt::NoPen);
    painter.setBrush(handle);
    painter.drawPolygon(QPolygonF({QPointF(x - 4.0, 0.0), QPointF(x + 4.0, 0.0), QPointF(x, 4.5)}));
    painter.drawPolygon(QPolygonF({QPointF(x - 4.0, height()), QPointF(x + 4.0, height()), QPointF(x, height() - 4.5)}));
}

void MicLevelMeter::dragTo(double x)
{
    const QRectF bar = barRect();
    setThreshold(levelAt((x - bar.left()) / bar.width()));
}

void MicLevelMeter::mousePressEvent(QMouseEvent* event)
{
    if (event->button() == Qt::LeftButton)
        dragTo(event->position().x());
}

void MicLevelMeter::mouseMoveEvent(QMouseEvent* event)
{
    if (event->buttons() & Qt::LeftButton)
        dragTo(event->position().x());
}

void MicLevelMeter::keyPressEvent(QKeyEvent* event)
{
    const double step = event->key() == Qt::Key_Right ? KeyStepDb : event->key() == Qt::Key_Left ? -KeyStepDb : 0.0;
    if (step == 0.0) {
        QWidget::keyPressEvent(event);
        return;
    }
    const int next = int(std::lround(m_threshold * std::pow(10.0, step / 20.0)));
    // Always move by at least one, even at the quiet end of the scale.
    setThreshold(next == m_threshold ? m_threshold + (step > 0 ? 1 : -1) : next);
}

void MicLevelMeter::updateToolTip()
{
    setToolTip(QStringLiteral("Speaking threshold: %1 (drag to change)").arg(m_threshold));
}
