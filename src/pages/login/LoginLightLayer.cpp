#include "pages/login/LoginLightLayer.h"

#include <QEvent>
#include <QPainter>
#include <QRadialGradient>
#include <QTimer>

#include <cmath>

namespace {

const QColor kLight(0x8b, 0x5c, 0xf6);
constexpr double kBarRadius = 260;
constexpr int kBarAlpha = 100;
const QPointF kBarOffset(0, 24);
constexpr double kButtonRadius = 135;
constexpr int kButtonAlpha = 22;
constexpr int kButtonHoverAlpha = 35;
const QPointF kButtonOffset(0, 14);

QPixmap lightPool(double radius, int alpha, qreal ratio)
{
    const int side = int(std::ceil(2 * radius));
    QPixmap pool(QSize(side, side) * ratio);
    pool.setDevicePixelRatio(ratio);
    pool.fill(Qt::transparent);
    QPainter painter(&pool);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(Qt::NoPen);
    QRadialGradient gradient(QPointF(radius, radius), radius);
    QColor colour = kLight;
    colour.setAlpha(alpha);
    gradient.setColorAt(0.0, colour);
    colour.setAlpha(alpha / 2);
    gradient.setColorAt(0.45, colour);
    colour.setAlpha(0);
    gradient.setColorAt(1.0, colour);
    painter.setBrush(gradient);
    painter.drawEllipse(QPointF(radius, radius), radius, radius);
    return pool;
}

}  // namespace

LoginLightLayer::LoginLightLayer(QWidget* bar, QWidget* button, QWidget* parent)
    : QWidget(parent)
    , m_bar(bar)
    , m_button(button)
{
    setObjectName(QStringLiteral("loginLightLayer"));
    setAttribute(Qt::WA_TransparentForMouseEvents);
    setAttribute(Qt::WA_TranslucentBackground);
    setAttribute(Qt::WA_NoSystemBackground);
    setFocusPolicy(Qt::NoFocus);

    m_timer = new QTimer(this);
    m_timer->setObjectName(QStringLiteral("loginLightTimer"));
    m_timer->setInterval(kFrameIntervalMs);
    connect(m_timer, &QTimer::timeout, this, &LoginLightLayer::tick);
    m_timer->start();

    if (parent) {
        parent->installEventFilter(this);
        coverParent();
    }
}

bool LoginLightLayer::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == parentWidget() && event->type() == QEvent::Resize)
        coverParent();
    return QWidget::eventFilter(watched, event);
}

void LoginLightLayer::coverParent()
{
    if (QWidget* parent = parentWidget())
        setGeometry(0, 0, parent->width(), parent->height());
    lower();
}

bool LoginLightLayer::Lights::operator==(const Lights& other) const
{
    return bar == other.bar && barCentre == other.barCentre && button == other.button
        && buttonCentre == other.buttonCentre && hover == other.hover;
}

LoginLightLayer::Lights LoginLightLayer::currentLights() const
{
    auto centreOf = [this](QWidget* target) {
        const QPointF half(target->width() / 2.0, target->height() / 2.0);
        return QPointF(target->mapTo(window(), QPoint(0, 0))) - QPointF(mapTo(window(), QPoint(0, 0))) + half;
    };
    Lights lights;
    lights.bar = m_bar && m_bar->isVisible();
    if (lights.bar)
        lights.barCentre = centreOf(m_bar);
    lights.button = m_button && m_button->isVisible();
    if (lights.button) {
        lights.buttonCentre = centreOf(m_button);
        lights.hover = m_button->underMouse();
    }
    return lights;
}

// The picture only changes with the lights: an unchanged frame is not repainted.
void LoginLightLayer::tick()
{
    if (isVisible() && !(currentLights() == m_painted))
        update();
}

void LoginLightLayer::prepare(qreal ratio)
{
    if (qFuzzyCompare(ratio, m_ratio))
        return;
    m_ratio = ratio;
    m_barLight = lightPool(kBarRadius, kBarAlpha, ratio);
    m_buttonLight = lightPool(kButtonRadius, kButtonAlpha, ratio);
    m_buttonLightHover = lightPool(kButtonRadius, kButtonHoverAlpha, ratio);
}

void LoginLightLayer::paintEvent(QPaintEvent*)
{
    prepare(devicePixelRatioF());
    m_painted = currentLights();
    QPainter painter(this);
    if (m_painted.bar)
        painter.drawPixmap(m_painted.barCentre + kBarOffset - QPointF(kBarRadius, kBarRadius), m_barLight);
    if (m_painted.button) {
        const QPixmap& light = m_painted.hover ? m_buttonLightHover : m_buttonLight;
        painter.drawPixmap(m_painted.buttonCentre + kButtonOffset - QPointF(kButtonRadius, kButtonRadius), light);
    }
}
