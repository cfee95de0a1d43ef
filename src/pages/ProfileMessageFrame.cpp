#include "pages/ProfileMessageFrame.h"

#include <QEasingCurve>
#include <QLayout>
#include <QPainter>
#include <QStyle>
#include <QStyleOption>
#include <QVariantAnimation>

namespace {
constexpr int kPulseMs = 3600;
const QColor kPink(0xff, 0x14, 0x93);
}  // namespace

ProfileMessageFrame::ProfileMessageFrame(QWidget* parent)
    : QWidget(parent)
{
}

void ProfileMessageFrame::enableHighlight()
{
    if (layout())
        layout()->setContentsMargins(14, 14, 14, 14);
    setMaximumWidth(QWIDGETSIZE_MAX);
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    m_highlighted = true;

    if (m_pulse)
        return;
    m_pulse = new QVariantAnimation(this);
    m_pulse->setDuration(kPulseMs);
    m_pulse->setStartValue(0.0);
    m_pulse->setKeyValueAt(0.5, 1.0);
    m_pulse->setEndValue(0.0);
    m_pulse->setLoopCount(-1);
    m_pulse->setEasingCurve(QEasingCurve::InOutSine);
    connect(m_pulse, &QVariantAnimation::valueChanged, this, [this](const QVariant& value) {
        m_glowLevel = value.toDouble();
        update();
    });
    m_pulse->start();
}

void ProfileMessageFrame::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    QStyleOption option;
    option.initFrom(this);
    style()->drawPrimitive(QStyle::PE_Widget, &option, &painter, this);
    if (!m_highlighted)
        return;

    painter.setRenderHint(QPainter::Antialiasing, true);
    painter.setBrush(Qt::NoBrush);
    const QRectF inner(10.5, 10.5, width() - 21.0, height() - 21.0);
    for (int i = 9; i >= 1; --i) {
        QColor color = kPink;
        color.setAlpha(int((m_glowLevel * 35.0 + 65.0) * (10 - i) / 9.0));
        painter.setPen(QPen(color, 1, Qt::SolidLine, Qt::SquareCap, Qt::BevelJoin));
        painter.drawRect(inner.adjusted(-i, -i, i, i));
    }
    painter.setPen(QPen(kPink, 1));
    painter.drawRect(inner);
}
