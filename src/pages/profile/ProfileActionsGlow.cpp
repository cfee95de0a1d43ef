#include "pages/profile/ProfileActionsGlow.h"

#include "widgets/effects/HoverProgress.h"

#include <QEvent>
#include <QImage>
#include <QPainter>
#include <QPushButton>

#include <algorithm>
#include <cmath>

namespace {
constexpr int kDurationMs = 200;
constexpr int kPadX = 20;
constexpr int kPadY = 18;
constexpr double kCornerRadius = 8.0;
constexpr double kPeakAlpha = 50.0;
constexpr double kFalloff = 72.0; // alpha = peak * exp(-d^2 / falloff)
const QColor kEditGlow(0xa7, 0x8b, 0xfa);
const QColor kLogoutGlow(0xff, 0x50, 0x5f);
} // namespace

ProfileActionsGlow::ProfileActionsGlow(QWidget* parent)
    : QWidget(parent)
{
    setAttribute(Qt::WA_TranslucentBackground);
}

void ProfileActionsGlow::addGlowButton(QPushButton* button, int index)
{
    if (!button || index < 0 || index >= int(m_slots.size()))
        return;
    GlowSlot& slot = m_slots[std::size_t(index)];
    if (slot.button)
        slot.button->removeEventFilter(this);
    slot.button = button;
    slot.color = index == 0 ? kEditGlow : kLogoutGlow;
    if (!slot.progress) {
        slot.progress = new HoverProgress(kDurationMs, this, [this, index](qreal) {
            update(haloRect(m_slots[std::size_t(index)]));
        });
    }
    button->installEventFilter(this);
}

qreal ProfileActionsGlow::progress(int index) const
{
    if (index < 0 || index >= int(m_slots.size()) || !m_slots[std::size_t(index)].progress)
        return 0.0;
    return m_slots[std::size_t(index)].progress->value();
}

bool ProfileActionsGlow::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() == QEvent::Enter || event->type() == QEvent::Leave) {
        for (GlowSlot& slot : m_slots) {
            if (slot.button == watched && slot.progress) {
                if (event->type() == QEvent::Enter)
                    slot.progress->enter();
                else
                    slot.progress->leave();
            }
        }
    }
    return QWidget::eventFilter(watched, event);
}

QRect ProfileActionsGlow::haloRect(const GlowSlot& slot) const
{
    if (!slot.button)
        return {};
    const QRect buttonRect(slot.button->mapTo(this, QPoint(0, 0)), slot.button->size());
    return buttonRect.adjusted(-kPadX, -kPadY, kPadX, kPadY);
}

QImage ProfileActionsGlow::renderHalo(const QSize& buttonSize, const QColor& color)
{
    const int width = buttonSize.width() + 2 * kPadX;
    const int height = buttonSize.height() + 2 * kPadY;
    QImage image(width, height, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);

    // Signed distance to the button's rounded rectangle, in button coordinates.
    const double halfW = buttonSize.width() / 2.0;
    const double halfH = buttonSize.height() / 2.0;
    const double radius = std::min({kCornerRadius, halfW, halfH});
    const double innerW = halfW - radius;
    const double innerH = halfH - radius;
    const int red = color.red();
    const int green = color.green();
    const int blue = color.blue();

    for (int y = 0; y < height; ++y) {
        auto* line = reinterpret_cast<QRgb*>(image.scanLine(y));
        const double qy = std::abs(y + 0.5 - kPadY - halfH) - innerH;
        for (int x = 0; x < width; ++x) {
            const double qx = std::abs(x + 0.5 - kPadX - halfW) - innerW;
            const double outside = std::hypot(std::max(qx, 0.0), std::max(qy, 0.0));
            const double d = outside + std::min(std::max(qx, qy), 0.0) - radius;
            if (d <= 0.0)
                continue;
            const int alpha = int(std::lround(kPeakAlpha * std::exp(-d * d / kFalloff)));
            if (alpha > 0)
                line[x] = qPremultiply(qRgba(red, green, blue, alpha));
        }
    }
    return image;
}

void ProfileActionsGlow::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    for (const GlowSlot& slot : m_slots) {
        if (!slot.button || !slot.progress || !slot.button->isVisible())
            continue;
        const qreal p = slot.progress->value();
        if (p <= 0.0)
            continue;
        painter.setOpacity(std::min<qreal>(p, 1.0));
        painter.drawImage(haloRect(slot).topLeft(), renderHalo(slot.button->size(), slot.color));
    }
}
