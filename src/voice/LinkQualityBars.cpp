#include "voice/LinkQualityBars.h"

#include <QPainter>
#include <QTextDocument>

#include <algorithm>

namespace {

constexpr int MaxBars = 4;
constexpr int BarWidth = 3;
constexpr int BarGap = 2;
constexpr int Height = 14;
const QString ProblemText = QStringLiteral("Connection problem");

QColor barColour(int bars)
{
    if (bars <= 1)
        return QColor(QStringLiteral("#ff5c77"));
    if (bars == 2)
        return QColor(QStringLiteral("#ffd166"));
    return QColor(QStringLiteral("#7cff9a"));
}

QFont problemFont(QFont font)
{
    font.setPixelSize(10);
    font.setBold(true);
    return font;
}

} // namespace

LinkQualityBars::LinkQualityBars(QWidget* parent)
    : QWidget(parent)
{
    setObjectName(QStringLiteral("voiceLinkQuality"));
    setAttribute(Qt::WA_TranslucentBackground);
    hide();
}

void LinkQualityBars::setQuality(int bars, const QString& toolTip)
{
    bars = std::clamp(bars, 0, MaxBars);
    // Plain text whatever it holds.
    setToolTip(Qt::convertFromPlainText(toolTip, Qt::WhiteSpaceNormal));
    if (bars == m_bars)
        return;
    const bool resized = (bars == 0) != (m_bars == 0) || m_bars < 0;
    m_bars = bars;
    if (resized) {
        // The words may be cut short in a narrow row; the bars never are.
        setSizePolicy(bars == 0 ? QSizePolicy::Preferred : QSizePolicy::Fixed, QSizePolicy::Fixed);
        updateGeometry();
    }
    show();
    update();
}

QSize LinkQualityBars::sizeHint() const
{
    if (m_bars == 0)
        return {QFontMetrics(problemFont(font())).horizontalAdvance(ProblemText) + 4, Height};
    return {MaxBars * BarWidth + (MaxBars - 1) * BarGap + 2, Height};
}

QSize LinkQualityBars::minimumSizeHint() const
{
    return m_bars == 0 ? QSize(QFontMetrics(problemFont(font())).horizontalAdvance(QStringLiteral("Conn…")), Height)
                       : sizeHint();
}

void LinkQualityBars::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    if (m_bars == 0) {
        const QFont font = problemFont(this->font());
        painter.setFont(font);
        painter.setPen(barColour(0));
        painter.drawText(rect(), Qt::AlignVCenter | Qt::AlignLeft,
                         QFontMetrics(font).elidedText(ProblemText, Qt::ElideRight, width()));
        return;
    }
    painter.setRenderHint(QPainter::Antialiasing, true);
    painter.setPen(Qt::NoPen);
    const qreal bottom = height() - 2.0;
    for (int i = 0; i < MaxBars; ++i) {
        const qreal barHeight = 4.0 + i * (bottom - 5.0) / (MaxBars - 1);
        const QRectF bar(1.0 + i * (BarWidth + BarGap), bottom - barHeight, BarWidth, barHeight);
        painter.setBrush(i < m_bars ? barColour(m_bars) : QColor(QStringLiteral("#4a3a5c")));
        painter.drawRoundedRect(bar, 1.0, 1.0);
    }
}
