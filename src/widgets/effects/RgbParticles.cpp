#include "widgets/effects/RgbParticles.h"

#include <QEvent>
#include <QPainter>
#include <QRadialGradient>
#include <QTimer>

#include <cmath>

namespace {

constexpr double kPi = 3.14159265358979323846;

constexpr QPointF kBase[RgbParticles::kParticleCount] = {
    {4, 15},  {12, 42}, {7, 73},  {20, 25}, {25, 83}, {35, 12}, {40, 68}, {48, 30}, {53, 88},
    {61, 17}, {67, 76}, {74, 34}, {79, 90}, {86, 14}, {91, 48}, {95, 78}, {30, 52}, {82, 61},
};

constexpr QPointF kWaypoints[RgbParticles::kWaypointCount] = {
    {0, 0}, {20, -25}, {-15, -50}, {25, -30}, {-10, -70},
};

const QColor kColours[3] = {QColor(0xa7, 0x8b, 0xfa), QColor(0xf4, 0x72, 0xff), QColor(0x67, 0xe8, 0xf9)};

constexpr int kHaloSize = 16;
constexpr int kCoreSize = 3;
// Sprites are drawn at full strength; the frame's alphas become opacities.
constexpr double kHaloSpriteAlpha = 255.0;
constexpr double kCoreSpriteAlpha = 255.0;

QPixmap ellipseSprite(int size, qreal ratio, const QColor& colour, bool radial)
{
    const int device = int(std::ceil(size * ratio));
    QPixmap sprite(device, device);
    sprite.setDevicePixelRatio(ratio);
    sprite.fill(Qt::transparent);
    QPainter painter(&sprite);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(Qt::NoPen);
    const QRectF box(0, 0, size, size);
    if (radial) {
        QRadialGradient gradient(box.center(), size / 2.0);
        QColor centre = colour;
        centre.setAlpha(int(kHaloSpriteAlpha));
        QColor rim = colour;
        rim.setAlpha(0);
        gradient.setColorAt(0.0, centre);
        gradient.setColorAt(1.0, rim);
        painter.setBrush(gradient);
    } else {
        QColor solid = colour;
        solid.setAlpha(int(kCoreSpriteAlpha));
        painter.setBrush(solid);
    }
    painter.drawEllipse(box);
    return sprite;
}

}  // namespace

RgbParticles::RgbParticles(QWidget* parent)
    : QWidget(parent)
{
    setObjectName(QStringLiteral("chatRgbParticles"));
    setAttribute(Qt::WA_TransparentForMouseEvents);
    setAttribute(Qt::WA_TranslucentBackground);
    setAttribute(Qt::WA_NoSystemBackground);
    setFocusPolicy(Qt::NoFocus);
    m_clock.start();

    m_timer = new QTimer(this);
    m_timer->setObjectName(QStringLiteral("chatRgbParticlesTimer"));
    m_timer->setInterval(kFrameIntervalMs);
    connect(m_timer, &QTimer::timeout, this, &RgbParticles::tick);
    m_timer->start();

    if (parent) {
        parent->installEventFilter(this);
        coverParent();
    }
}

QPointF RgbParticles::basePercent(int index)
{
    return kBase[qBound(0, index, kParticleCount - 1)];
}

double RgbParticles::periodSeconds(int index)
{
    switch (index % 5) {
    case 0: return 24.0;
    case 1: return 32.0;
    case 2: return 40.0;
    case 3: return 28.0;
    default: return 36.0;
    }
}

QPointF RgbParticles::driftOffset(int index, double seconds)
{
    const double period = periodSeconds(index);
    const double half = period / 2.0;
    const double r = std::fmod(std::max(0.0, seconds), period);
    const double u = r <= half ? r / half : (period - r) / half;
    const double s = 4.0 * u;
    const int k = std::min(int(std::floor(s)), 3);
    const double f = s - k;
    const double e = f * f * (3.0 - 2.0 * f);
    return kWaypoints[k] * (1.0 - e) + kWaypoints[k + 1] * e;
}

QPointF RgbParticles::particlePosition(int index, double seconds, const QSizeF& size)
{
    const QPointF base = basePercent(index);
    return QPointF(base.x() * size.width() / 100.0, base.y() * size.height() / 100.0) + driftOffset(index, seconds);
}

double RgbParticles::pulse(double seconds)
{
    return std::cos(seconds * kPi / 3.0);
}

double RgbParticles::elapsedSeconds() const
{
    return m_clock.elapsed() / 1000.0;
}

bool RgbParticles::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == parentWidget() && (event->type() == QEvent::Resize || event->type() == QEvent::Show))
        coverParent();
    return QWidget::eventFilter(watched, event);
}

void RgbParticles::coverParent()
{
    if (QWidget* parent = parentWidget())
        setGeometry(parent->rect());
    lower();
}

void RgbParticles::tick()
{
    if (!isVisible())
        return;
    // After a resize everything moved: repaint the whole layer once.
    if (m_drawnSize != size()) {
        update();
        return;
    }
    const double t = elapsedSeconds();
    for (int i = 0; i < kParticleCount; ++i) {
        const QPointF centre = particlePosition(i, t, QSizeF(size()));
        const QRect spot = QRectF(centre.x() - kHaloSize / 2.0 - 1, centre.y() - kHaloSize / 2.0 - 1, kHaloSize + 2,
                                  kHaloSize + 2).toAlignedRect();
        update(spot.united(m_drawn[i]));
    }
}

void RgbParticles::prepareSprites(qreal ratio)
{
    if (qFuzzyCompare(ratio, m_spriteRatio))
        return;
    m_spriteRatio = ratio;
    for (int colour = 0; colour < 3; ++colour) {
        m_halo[colour] = ellipseSprite(kHaloSize, ratio, kColours[colour], true);
        m_core[colour] = ellipseSprite(kCoreSize, ratio, kColours[colour], false);
    }
}

void RgbParticles::paintEvent(QPaintEvent*)
{
    prepareSprites(devicePixelRatioF());
    const double t = elapsedSeconds();
    const double c = pulse(t);
    const double haloAlpha = int((0.5 + (0.5 - 0.5 * c)) * 25);
    const double coreAlpha = int((0.5 - 0.5 * c) * 110 + 40);
    const QSizeF area = size();

    QPainter painter(this);
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    m_drawnSize = size();
    for (int i = 0; i < kParticleCount; ++i) {
        const QPointF centre = particlePosition(i, t, area);
        m_drawn[i] = QRectF(centre.x() - kHaloSize / 2.0 - 1, centre.y() - kHaloSize / 2.0 - 1, kHaloSize + 2,
                            kHaloSize + 2).toAlignedRect();
        const int colour = i % 3;
        painter.setOpacity(haloAlpha / kHaloSpriteAlpha);
        painter.drawPixmap(centre - QPointF(kHaloSize / 2.0, kHaloSize / 2.0), m_halo[colour]);
        painter.setOpacity(coreAlpha / kCoreSpriteAlpha);
        painter.drawPixmap(centre - QPointF(kCoreSize / 2.0, kCoreSize / 2.0), m_core[colour]);
    }
}
