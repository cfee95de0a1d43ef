#include "widgets/ToggleSwitch.h"

#include <QPainter>

namespace {

constexpr int TrackWidth = 30;
constexpr int TrackHeight = 16;
constexpr int LabelGap = 8;

} // namespace

ToggleSwitch::ToggleSwitch(const QString& text, QWidget* parent)
    : QAbstractButton(parent)
{
    setText(text);
    setCheckable(true);
    setCursor(Qt::PointingHandCursor);
    setFocusPolicy(Qt::StrongFocus);
    setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Fixed);
}

QSize ToggleSwitch::sizeHint() const
{
    return {TrackWidth + LabelGap + fontMetrics().horizontalAdvance(text()) + 2,
            qMax(TrackHeight + 4, fontMetrics().height() + 2)};
}

void ToggleSwitch::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing, true);
    const QRectF track(0.5, (height() - TrackHeight) / 2.0, TrackWidth, TrackHeight);
    const bool on = isChecked();
    painter.setPen(QPen(QColor(hasFocus() ? QStringLiteral("#c4b5fd") : on ? QStringLiteral("#a78bfa")
                                                                            : QStringLiteral("#4a3a5c")),
                        1.0));
    painter.setBrush(QColor(on ? QStringLiteral("#7b2cff") : QStringLiteral("#24192f")));
    painter.drawRoundedRect(track, TrackHeight / 2.0, TrackHeight / 2.0);

    const qreal knob = TrackHeight - 4.0;
    const qreal x = on ? track.right() - knob - 2.0 : track.left() + 2.0;
    painter.setPen(Qt::NoPen);
    painter.setBrush(QColor(on ? QStringLiteral("#f5f0ff") : QStringLiteral("#8d7fa3")));
    painter.drawEllipse(QRectF(x, track.top() + 2.0, knob, knob));

    painter.setPen(QColor(isEnabled() ? QStringLiteral("#ddd6fe") : QStringLiteral("#6f6278")));
    painter.drawText(QRect(TrackWidth + LabelGap, 0, width() - TrackWidth - LabelGap, height()),
                     Qt::AlignVCenter | Qt::AlignLeft, text());
}
