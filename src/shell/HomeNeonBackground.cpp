#include "shell/HomeNeonBackground.h"

#include <QElapsedTimer>
#include <QEvent>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QRadialGradient>
#include <QTimer>

#include <cmath>

namespace {

constexpr double kPi = 3.14159265358979323846;

const QColor kRoom(0x0f, 0x0b, 0x18);
const QColor kCyan(0x00, 0xf5, 0xff);
const QColor kMagenta(0xff, 0x00, 0xd4);
const QColor kGreen(0x39, 0xff, 0x14);
const QColor kOrange(0xff, 0x6a, 0x00);
const QColor kYellow(0xff, 0xf0, 0x00);
const QColor kPalette[5] = {kCyan, kMagenta, kGreen, kOrange, kYellow};

constexpr int kGridStep = 60;
constexpr int kGlowMargin = 50;  // half the widest neon stroke plus a little room

// How a shape sits and moves: anchor as a fraction of the widget, drift vector
// walked forwards and back over the drift period, and its own pulse timing.
struct ShapeMotion
{
    QColor colour;
    double driftPeriod;
    double pulsePeriod;
    double delay;
    double anchorX;
    double anchorY;
    double driftX;
    double driftY;
};

const ShapeMotion kMotion[HomeNeonBackground::kShapeCount] = {
    {kCyan, 18, 2.5, 0.8, 0.10, 0.20, 60, 30},
    {kMagenta, 22, 3.0, 1.5, 0.88, 0.18, -40, 50},
    {kGreen, 16, 2.2, 1.2, 0.80, 0.78, -70, -20},
    {kOrange, 20, 2.8, 2.1, 0.16, 0.74, 50, -40},
    {kYellow, 24, 3.5, 2.6, 0.50, 0.10, 90, 10},
    {kCyan, 28, 3.0, 1.0, 0.95, 0.50, -30, -60},
    {kGreen, 26, 2.7, 2.3, 0.04, 0.48, 20, 70},
    {kOrange, 30, 3.2, 1.7, 0.38, 0.92, 80, -15},
    {kMagenta, 32, 3.5, 2.8, 0.64, 0.58, -60, -45},
};

// Small glowing squares: base position (fractions), size, wander amplitudes and
// rates, and a constant drift that wraps around the widget.
struct Spark
{
    double x;
    double y;
    double size;
    double amplitude;
    double rate;
    double phase;
    double driftX;
    double driftY;
};

const Spark kSparks[] = {
    {0.06, 0.12, 8, 26, 0.35, 0.0, 6, 3},    {0.22, 0.34, 6, 18, 0.50, 1.1, -4, 5},
    {0.31, 0.08, 10, 30, 0.27, 2.3, 3, 7},   {0.44, 0.62, 7, 22, 0.41, 0.7, -6, -3},
    {0.57, 0.28, 9, 24, 0.33, 3.0, 5, -4},   {0.69, 0.86, 6, 16, 0.58, 1.9, -3, -6},
    {0.76, 0.40, 8, 28, 0.30, 4.2, 7, 2},    {0.91, 0.70, 10, 20, 0.45, 2.7, -5, 4},
    {0.13, 0.90, 7, 24, 0.38, 5.1, 4, -5},   {0.84, 0.06, 6, 18, 0.52, 0.4, -7, 6},
    {0.37, 0.46, 8, 26, 0.29, 3.6, 6, 5},    {0.97, 0.30, 7, 22, 0.47, 1.4, -4, -7},
};

QPainterPath shapePath(int index)
{
    QPainterPath path;
    switch (index) {
    case 0:  // a ring: an ellipse with its core cut out
        path.addEllipse(QPointF(0, 0), 58, 50);
        path.addEllipse(QPointF(0, 0), 40, 33);
        break;
    case 1:  // a triangle
        path.moveTo(0, -62);
        path.lineTo(56, 36);
        path.lineTo(-56, 36);
        path.closeSubpath();
        break;
    case 2:  // a frame-like rectangle
        path.addRect(QRectF(-64, -40, 128, 80));
        path.addRect(QRectF(-50, -26, 100, 52));
        break;
    case 3: {  // a pixel heart
        static const char* const rows[] = {"0110110", "1111111", "1111111", "0111110", "0011100", "0001000"};
        const double cell = 14;
        for (int r = 0; r < 6; ++r)
            for (int c = 0; c < 7; ++c)
                if (rows[r][c] == '1')
                    path.addRect(QRectF((c - 3.5) * cell, (r - 3) * cell, cell, cell));
        path = path.simplified();
        break;
    }
    case 4:  // a lightning bolt
        path.moveTo(12, -64);
        path.lineTo(-34, 6);
        path.lineTo(-4, 6);
        path.lineTo(-16, 64);
        path.lineTo(34, -10);
        path.lineTo(4, -10);
        path.closeSubpath();
        break;
    case 5:  // a diamond with a diamond window
        path.moveTo(0, -56);
        path.lineTo(46, 0);
        path.lineTo(0, 56);
        path.lineTo(-46, 0);
        path.closeSubpath();
        path.moveTo(0, -26);
        path.lineTo(21, 0);
        path.lineTo(0, 26);
        path.lineTo(-21, 0);
        path.closeSubpath();
        break;
    case 6: {  // a five-pointed star
        for (int i = 0; i < 10; ++i) {
            const double radius = (i % 2 == 0) ? 54 : 23;
            const double angle = -kPi / 2 + i * kPi / 5;
            const QPointF point(radius * std::cos(angle), radius * std::sin(angle));
            if (i == 0)
                path.moveTo(point);
            else
                path.lineTo(point);
        }
        path.closeSubpath();
        break;
    }
    case 7:  // a plus, like a pad's cross
        path.addRect(QRectF(-16, -50, 32, 100));
        path.addRect(QRectF(-50, -16, 100, 32));
        path = path.simplified();
        break;
    default: {  // a crescent moon
        QPainterPath disc;
        disc.addEllipse(QPointF(0, 0), 56, 56);
        QPainterPath bite;
        bite.addEllipse(QPointF(26, -16), 48, 48);
        path = disc.subtracted(bite);
        break;
    }
    }
    return path;
}

// The neon stroke rule at full opacity: twelve widening soft strokes, then a
// radial fill; the frame's opacity is applied when the picture is drawn.
QPixmap renderShape(const QPainterPath& path, const QColor& colour, qreal ratio, QPointF& centre)
{
    const QRectF bounds = path.boundingRect().adjusted(-kGlowMargin, -kGlowMargin, kGlowMargin, kGlowMargin);
    const QSize logical(int(std::ceil(bounds.width())), int(std::ceil(bounds.height())));
    QPixmap picture(logical * ratio);
    picture.setDevicePixelRatio(ratio);
    picture.fill(Qt::transparent);
    centre = -bounds.topLeft();

    QPainter painter(&picture);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.translate(centre);
    painter.setBrush(Qt::NoBrush);
    for (int k = 12; k >= 1; --k) {
        QColor stroke = colour;
        stroke.setAlpha(13 - k);
        painter.setPen(QPen(stroke, 8.0 * k, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
        painter.drawPath(path);
    }
    const QRectF box = path.boundingRect();
    QRadialGradient fill(box.center(), 0.75 * std::max(box.width(), box.height()));
    QColor stop = colour;
    stop.setAlpha(125);
    fill.setColorAt(0.0, stop);
    stop.setAlpha(85);
    fill.setColorAt(0.5, stop);
    stop.setAlpha(40);
    fill.setColorAt(1.0, stop);
    painter.setPen(Qt::NoPen);
    painter.setBrush(fill);
    painter.drawPath(path);
    // A thin bright core line so the outline reads as a tube.
    QColor core = colour.lighter(140);
    core.setAlpha(200);
    painter.setBrush(Qt::NoBrush);
    painter.setPen(QPen(core, 2.0, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    painter.drawPath(path);
    return picture;
}

// t modulo the period, run forwards then back, eased: 0 → 1 → 0.
double pingPong(double t, double period)
{
    const double half = period / 2.0;
    const double r = std::fmod(t, period);
    const double u = r <= half ? r / half : (period - r) / half;
    return u * u * (3.0 - 2.0 * u);
}

double wrap(double value, double size)
{
    if (size <= 0)
        return 0;
    const double wrapped = std::fmod(value, size);
    return wrapped < 0 ? wrapped + size : wrapped;
}

QElapsedTimer& sharedClock()
{
    static QElapsedTimer clock;
    return clock;
}

}  // namespace

HomeNeonBackground::HomeNeonBackground(QWidget* parent)
    : QWidget(parent)
{
    setObjectName(QStringLiteral("homeNeonBackground"));
    setAttribute(Qt::WA_TransparentForMouseEvents);
    setAttribute(Qt::WA_OpaquePaintEvent);
    setFocusPolicy(Qt::NoFocus);

    m_timer = new QTimer(this);
    m_timer->setObjectName(QStringLiteral("homeNeonTimer"));
    m_timer->setInterval(kFrameIntervalMs);
    connect(m_timer, &QTimer::timeout, this, &HomeNeonBackground::tick);
    m_timer->start();

    if (parent) {
        parent->installEventFilter(this);
        coverParent();
    }
}

double HomeNeonBackground::clockSeconds()
{
    const QElapsedTimer& clock = sharedClock();
    return clock.isValid() ? clock.elapsed() / 1000.0 : 0.0;
}

double HomeNeonBackground::neonOpacity(double t, double period, double delay)
{
    if (t < delay || period <= 0)
        return 0.6;
    return 0.35 + 0.5 * (0.5 - 0.5 * std::cos(2 * kPi * (t - delay) / (2.5 * period)));
}

bool HomeNeonBackground::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == parentWidget() && (event->type() == QEvent::Resize || event->type() == QEvent::Show))
        coverParent();
    return QWidget::eventFilter(watched, event);
}

void HomeNeonBackground::coverParent()
{
    if (QWidget* parent = parentWidget())
        setGeometry(parent->rect());
    lower();
}

void HomeNeonBackground::setOpaqueCovers(BackdropCovers::Provider covers, int cornerRadius)
{
    m_covers.set(std::move(covers), cornerRadius);
}

void HomeNeonBackground::tick()
{
    if (isVisible())
        update(m_covers.exposedRegion(rect()));
}

void HomeNeonBackground::prepareStatic(const QSize& size, qreal ratio)
{
    if (size == m_baseSize && qFuzzyCompare(ratio, m_baseRatio) && !m_base.isNull())
        return;
    m_baseSize = size;
    m_baseRatio = ratio;
    m_base = QPixmap(size * ratio);
    m_base.setDevicePixelRatio(ratio);
    m_base.fill(kRoom);

    QPainter painter(&m_base);
    painter.setRenderHint(QPainter::Antialiasing);
    const double w = size.width();
    const double h = size.height();

    // Ambient light: a wide violet glow high in the room.
    QRadialGradient ambient(QPointF(w * 0.5, h * 0.32), std::max(w, h) * 0.62);
    ambient.setColorAt(0.0, QColor(123, 44, 255, 70));
    ambient.setColorAt(0.55, QColor(255, 0, 212, 18));
    ambient.setColorAt(1.0, QColor(15, 11, 24, 0));
    painter.setPen(Qt::NoPen);
    painter.setBrush(ambient);
    painter.drawEllipse(QPointF(w * 0.5, h * 0.32), w * 0.75, h * 0.7);

    // The grid: brighter towards the floor, row by row.
    painter.setRenderHint(QPainter::Antialiasing, false);
    for (int y = 0; y < size.height(); y += kGridStep) {
        QColor line = kCyan;
        line.setAlpha(8 + int(26.0 * y / std::max(1.0, h)));
        painter.setPen(QPen(line, 1));
        painter.drawLine(0, y, size.width(), y);
        for (int x = 0; x < size.width(); x += kGridStep)
            painter.drawLine(x, y, x, std::min(y + kGridStep, size.height()));
    }
}

void HomeNeonBackground::prepareSprites(qreal ratio)
{
    if (qFuzzyCompare(ratio, m_spriteRatio))
        return;
    m_spriteRatio = ratio;
    for (int i = 0; i < kShapeCount; ++i)
        m_shapes[i] = renderShape(shapePath(i), kMotion[i].colour, ratio, m_shapeCentres[i]);
    for (int c = 0; c < 5; ++c) {
        QPixmap glow(QSize(48, 48) * ratio);
        glow.setDevicePixelRatio(ratio);
        glow.fill(Qt::transparent);
        {
            QPainter painter(&glow);
            painter.setRenderHint(QPainter::Antialiasing);
            QRadialGradient gradient(QPointF(24, 24), 24);
            QColor colour = kPalette[c];
            colour.setAlpha(90);
            gradient.setColorAt(0.0, colour);
            colour.setAlpha(30);
            gradient.setColorAt(0.4, colour);
            colour.setAlpha(0);
            gradient.setColorAt(1.0, colour);
            painter.setPen(Qt::NoPen);
            painter.setBrush(gradient);
            painter.drawEllipse(QRectF(0, 0, 48, 48));
        }
        m_squareGlow[c] = glow;

        QPixmap square(QSize(20, 20) * ratio);
        square.setDevicePixelRatio(ratio);
        square.fill(Qt::transparent);
        {
            QPainter painter(&square);
            painter.setRenderHint(QPainter::Antialiasing);
            painter.setPen(QPen(kPalette[c].lighter(150), 1.5));
            QColor body = kPalette[c];
            body.setAlpha(210);
            painter.setBrush(body);
            painter.drawRoundedRect(QRectF(1, 1, 18, 18), 5, 5);
        }
        m_square[c] = square;
    }
}

// One-pixel rows of faint white every third line. Solid row fills blend far
// faster than a window-sized fill with a tiled, mostly transparent brush.
void HomeNeonBackground::paintScanLines(QPainter& painter) const
{
    const QColor line(255, 255, 255, 8);
    for (int y = 0; y < height(); y += 3)
        painter.fillRect(QRect(0, y, width(), 1), line);
}

void HomeNeonBackground::paintEvent(QPaintEvent*)
{
    QElapsedTimer& clock = sharedClock();
    if (!clock.isValid())
        clock.start();
    const double t = clockSeconds();
    const qreal ratio = devicePixelRatioF();
    prepareStatic(size(), ratio);
    prepareSprites(ratio);

    const double w = width();
    const double h = height();
    QPainter painter(this);
    painter.drawPixmap(0, 0, m_base);
    painter.setRenderHint(QPainter::SmoothPixmapTransform);

    auto drawShape = [&](int i) {
        const ShapeMotion& motion = kMotion[i];
        const double drift = pingPong(t, motion.driftPeriod);
        QPointF centre(motion.anchorX * w + motion.driftX * drift, motion.anchorY * h + motion.driftY * drift);
        double angle = 0.0;
        double scale = 1.0;
        switch (i) {
        case 0:  // moved by a translation
            centre += QPointF(18 * std::cos(t * 0.7), 10 * std::cos(t * 0.9 + 1.0));
            break;
        case 1:  // turned by a rotation
            angle = 24 * std::cos(t * 0.45);
            break;
        case 5:  // resized by a scaling
            scale = 1.0 + 0.12 * std::cos(t * 0.8);
            break;
        default:
            centre += QPointF(6 * std::cos(t * 0.5 + i), 6 * std::cos(t * 0.6 + 2 * i));
            angle = 5 * std::cos(t * 0.3 + i);
            break;
        }
        painter.setOpacity(neonOpacity(t, motion.pulsePeriod, motion.delay));
        painter.setTransform(QTransform::fromTranslate(centre.x(), centre.y()).rotate(angle).scale(scale, scale));
        painter.drawPixmap(-m_shapeCentres[i], m_shapes[i]);
    };

    for (int i = 0; i < 8; ++i)
        drawShape(i);
    painter.resetTransform();
    painter.setOpacity(1.0);
    paintScanLines(painter);
    drawShape(8);
    painter.resetTransform();
    painter.setOpacity(1.0);

    int index = 0;
    for (const Spark& spark : kSparks) {
        const int colour = index++ % 5;
        const double x = wrap(spark.x * w + spark.amplitude * std::sin(t * spark.rate + spark.phase) + spark.driftX * t, w);
        const double y = wrap(spark.y * h + spark.amplitude * std::cos(t * spark.rate * 0.8 + spark.phase) + spark.driftY * t, h);
        const double glow = spark.size * 3.0;
        painter.drawPixmap(QRectF(x - glow, y - glow, 2 * glow, 2 * glow), m_squareGlow[colour],
                           QRectF(m_squareGlow[colour].rect()));
        painter.drawPixmap(QRectF(x - spark.size / 2, y - spark.size / 2, spark.size, spark.size), m_square[colour],
                           QRectF(m_square[colour].rect()));
    }
}
