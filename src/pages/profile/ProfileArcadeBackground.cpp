#include "pages/profile/ProfileArcadeBackground.h"

#include <QFont>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QRadialGradient>
#include <QTimer>

#include <cmath>

namespace {

constexpr double kPi = 3.14159265358979323846;

struct CabinetStyle
{
    const char* word;
    QColor frame;
    QColor accent;
};

const CabinetStyle kCabinets[ProfileArcadeBackground::kCabinetCount] = {
    {"MOON", QColor(0xc0, 0x84, 0xfc), QColor(0xf4, 0x72, 0xff)},
    {"PLAY", QColor(0xf0, 0xab, 0xfc), QColor(0xd9, 0x46, 0xef)},
    {"ML", QColor(0xc0, 0x84, 0xfc), QColor(0xf4, 0x72, 0xff)},
};

// Sparkles: position as fractions of the widget, size, period and phase.
struct Sparkle
{
    double x;
    double y;
    double size;
    double period;
    double phase;
};

const Sparkle kSparkles[] = {
    {0.08, 0.09, 9, 3.2, 0.0},  {0.27, 0.16, 6, 2.6, 0.9},  {0.46, 0.05, 8, 3.8, 1.7},
    {0.63, 0.12, 7, 2.9, 2.4},  {0.82, 0.07, 10, 3.5, 0.5}, {0.95, 0.22, 6, 2.4, 1.3},
    {0.04, 0.38, 7, 3.1, 2.9},  {0.93, 0.44, 8, 2.7, 0.2},  {0.36, 0.30, 5, 2.2, 1.1},
    {0.71, 0.33, 6, 3.6, 3.3},  {0.18, 0.88, 7, 2.8, 0.7},  {0.58, 0.93, 6, 3.3, 2.0},
    {0.86, 0.90, 8, 2.5, 1.5},
};

const QColor kMarqueeBack(0x21, 0x16, 0x37);
const QColor kMarqueeText(0x12, 0x09, 0x1f);

QColor withAlpha(QColor colour, int alpha)
{
    colour.setAlpha(alpha);
    return colour;
}

// Cabinet rectangles for a widget size: two on the left, one on the right.
void cabinetRects(const QSizeF& size, QRectF rects[ProfileArcadeBackground::kCabinetCount])
{
    const double w = size.width();
    const double h = size.height();
    const double floorY = h * 0.8;
    const double cabH = std::min(h * 0.62, 430.0);
    const double cabW = cabH * 0.46;
    const double bottom = floorY + h * 0.045;
    const double margin = w * 0.035;
    rects[0] = QRectF(margin, bottom - cabH, cabW, cabH);
    rects[1] = QRectF(w - margin - cabW, bottom - cabH, cabW, cabH);
    rects[2] = QRectF(margin + cabW + w * 0.018, bottom - cabH * 0.94, cabW * 0.94, cabH * 0.94);
}

QRectF marqueeRect(const QRectF& cabinet)
{
    const double inset = cabinet.width() * 0.08;
    return QRectF(cabinet.left() + inset, cabinet.top() + cabinet.height() * 0.03, cabinet.width() - 2 * inset,
                  cabinet.height() * 0.13);
}

void drawCabinetBody(QPainter& painter, const QRectF& cab, const CabinetStyle& style)
{
    const double w = cab.width();
    const double h = cab.height();
    painter.save();
    painter.translate(cab.topLeft());

    // Silhouette: a tall box with a slanted control deck.
    QPainterPath body;
    body.moveTo(0, 0);
    body.lineTo(w, 0);
    body.lineTo(w, h * 0.52);
    body.lineTo(w * 1.04, h * 0.6);
    body.lineTo(w * 1.04, h * 0.66);
    body.lineTo(w, h * 0.67);
    body.lineTo(w, h);
    body.lineTo(0, h);
    body.lineTo(0, h * 0.67);
    body.lineTo(-w * 0.04, h * 0.66);
    body.lineTo(-w * 0.04, h * 0.6);
    body.lineTo(0, h * 0.52);
    body.closeSubpath();
    QLinearGradient fill(0, 0, 0, h);
    fill.setColorAt(0.0, QColor(0x16, 0x10, 0x28));
    fill.setColorAt(1.0, QColor(0x09, 0x07, 0x11));
    painter.setBrush(fill);
    painter.setPen(QPen(withAlpha(style.frame, 90), 2));
    painter.drawPath(body);

    // Side trims.
    painter.setPen(QPen(withAlpha(style.accent, 70), 1.5));
    painter.drawLine(QPointF(w * 0.04, h * 0.18), QPointF(w * 0.04, h * 0.5));
    painter.drawLine(QPointF(w * 0.96, h * 0.18), QPointF(w * 0.96, h * 0.5));

    // Screen in its bezel, with a faint pixel game on it.
    const QRectF bezel(w * 0.1, h * 0.19, w * 0.8, h * 0.31);
    painter.setPen(QPen(withAlpha(style.frame, 110), 1.5));
    painter.setBrush(QColor(0x0b, 0x08, 0x16));
    painter.drawRoundedRect(bezel, 6, 6);
    const QRectF screen = bezel.adjusted(w * 0.06, w * 0.06, -w * 0.06, -w * 0.06);
    QLinearGradient glass(screen.topLeft(), screen.bottomLeft());
    glass.setColorAt(0.0, QColor(0x1a, 0x12, 0x3a));
    glass.setColorAt(1.0, QColor(0x07, 0x06, 0x12));
    painter.setPen(Qt::NoPen);
    painter.setBrush(glass);
    painter.drawRect(screen);
    static const char* const invader[] = {"00100000100", "00010001000", "00111111100", "01101110110",
                                          "11111111111", "10111111101", "10100000101", "00011011000"};
    const double cell = std::max(1.5, screen.width() / 22.0);
    const QPointF origin(screen.center().x() - 5.5 * cell, screen.top() + screen.height() * 0.22);
    painter.setBrush(withAlpha(QColor(0x67, 0xe8, 0xf9), 150));
    for (int r = 0; r < 8; ++r)
        for (int c = 0; c < 11; ++c)
            if (invader[r][c] == '1')
                painter.drawRect(QRectF(origin.x() + c * cell, origin.y() + r * cell, cell, cell));
    painter.setBrush(withAlpha(style.accent, 170));
    painter.drawRect(QRectF(screen.center().x() - cell * 1.5, screen.bottom() - cell * 3, cell * 3, cell * 1.5));
    painter.setPen(QPen(QColor(255, 255, 255, 12), 1));
    for (double y = screen.top() + 1; y < screen.bottom(); y += 3)
        painter.drawLine(QPointF(screen.left(), y), QPointF(screen.right(), y));

    // Control deck: joystick and two buttons.
    painter.setPen(QPen(withAlpha(style.frame, 80), 1));
    painter.setBrush(QColor(0x1d, 0x14, 0x33));
    painter.drawRect(QRectF(-w * 0.04, h * 0.6, w * 1.08, h * 0.06));
    painter.setPen(QPen(QColor(0x2b, 0x17, 0x4f), 3, Qt::SolidLine, Qt::RoundCap));
    painter.drawLine(QPointF(w * 0.26, h * 0.6), QPointF(w * 0.26, h * 0.555));
    painter.setPen(Qt::NoPen);
    painter.setBrush(style.accent);
    painter.drawEllipse(QPointF(w * 0.26, h * 0.55), w * 0.05, w * 0.05);
    painter.setBrush(QColor(0x67, 0xe8, 0xf9));
    painter.drawEllipse(QPointF(w * 0.62, h * 0.625), w * 0.045, w * 0.03);
    painter.setBrush(style.frame);
    painter.drawEllipse(QPointF(w * 0.78, h * 0.625), w * 0.045, w * 0.03);

    // Lower body: coin door with two lit slots, and outline panels.
    painter.setBrush(Qt::NoBrush);
    painter.setPen(QPen(withAlpha(style.frame, 60), 1.5));
    painter.drawRect(QRectF(w * 0.1, h * 0.71, w * 0.8, h * 0.25));
    const QRectF door(w * 0.32, h * 0.75, w * 0.36, h * 0.13);
    painter.setBrush(QColor(0x0d, 0x0a, 0x1a));
    painter.drawRoundedRect(door, 3, 3);
    painter.setPen(Qt::NoPen);
    painter.setBrush(withAlpha(style.accent, 200));
    painter.drawRect(QRectF(door.left() + door.width() * 0.2, door.top() + door.height() * 0.25, door.width() * 0.18,
                            door.height() * 0.4));
    painter.drawRect(QRectF(door.left() + door.width() * 0.62, door.top() + door.height() * 0.25,
                            door.width() * 0.18, door.height() * 0.4));
    painter.setPen(QPen(withAlpha(style.frame, 50), 1));
    painter.drawLine(QPointF(w * 0.1, h * 0.93), QPointF(w * 0.9, h * 0.93));
    painter.restore();
}

QPixmap renderMarquee(const QSizeF& size, qreal ratio, const CabinetStyle& style)
{
    const int margin = 14;
    const QSize logical(int(std::ceil(size.width())) + 2 * margin, int(std::ceil(size.height())) + 2 * margin);
    QPixmap picture(logical * ratio);
    picture.setDevicePixelRatio(ratio);
    picture.fill(Qt::transparent);
    QPainter painter(&picture);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setRenderHint(QPainter::TextAntialiasing);
    const QRectF frame(margin, margin, size.width(), size.height());
    // Halo of the lit marquee.
    for (int k = 5; k >= 1; --k) {
        painter.setPen(QPen(withAlpha(style.accent, 14 + 6 * (5 - k)), 2.0 * k + 2));
        painter.setBrush(Qt::NoBrush);
        painter.drawRoundedRect(frame, 6, 6);
    }
    painter.setPen(QPen(style.frame, 2));
    painter.setBrush(kMarqueeBack);
    painter.drawRoundedRect(frame, 6, 6);
    const QRectF panel = frame.adjusted(6, 5, -6, -5);
    QLinearGradient light(panel.topLeft(), panel.bottomLeft());
    light.setColorAt(0.0, style.frame.lighter(115));
    light.setColorAt(1.0, style.accent);
    painter.setPen(Qt::NoPen);
    painter.setBrush(light);
    painter.drawRoundedRect(panel, 3, 3);
    // Accent studs at both ends.
    painter.setBrush(style.accent);
    painter.drawEllipse(QPointF(frame.left() + 3.5, frame.center().y()), 2.2, 2.2);
    painter.drawEllipse(QPointF(frame.right() - 3.5, frame.center().y()), 2.2, 2.2);

    QFont font(QStringLiteral("Times New Roman"));
    font.setBold(true);
    font.setPixelSize(std::max(8, int(panel.height() * 0.72)));
    font.setLetterSpacing(QFont::AbsoluteSpacing, panel.height() * 0.08);
    painter.setFont(font);
    painter.setPen(kMarqueeText);
    painter.drawText(panel, Qt::AlignCenter, QString::fromLatin1(style.word));
    return picture;
}

void drawPlaySign(QPainter& painter, const QRectF& sign)
{
    // Outer tube in pink, letters in cyan with a cyan light around them.
    painter.setBrush(QColor(0x0b, 0x07, 0x16));
    for (int k = 4; k >= 1; --k) {
        painter.setPen(QPen(withAlpha(QColor(0xf4, 0x72, 0xb6), 16 + 10 * (4 - k)), 2.5 * k + 1.5));
        painter.drawRoundedRect(sign, 10, 10);
    }
    painter.setPen(QPen(QColor(0xf4, 0x72, 0xb6), 2));
    painter.drawRoundedRect(sign, 10, 10);

    QFont font(QStringLiteral("Times New Roman"));
    font.setBold(true);
    font.setPixelSize(int(sign.width() * 0.62));
    QPainterPath letters;
    const QString text = QStringLiteral("P\nL\nA\nY");
    const QStringList lines = text.split(QLatin1Char('\n'));
    const double step = sign.height() / (lines.size() + 0.4);
    QFontMetricsF metrics(font);
    for (int i = 0; i < lines.size(); ++i) {
        const double x = sign.center().x() - metrics.horizontalAdvance(lines.at(i)) / 2;
        const double y = sign.top() + step * (i + 0.7) + metrics.ascent() / 2.4;
        letters.addText(QPointF(x, y), font, lines.at(i));
    }
    painter.setBrush(Qt::NoBrush);
    for (int k = 4; k >= 1; --k) {
        painter.setPen(QPen(withAlpha(QColor(0x22, 0xd3, 0xee), 18 + 12 * (4 - k)), 2.5 * k + 1,
                            Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
        painter.drawPath(letters);
    }
    painter.setPen(Qt::NoPen);
    painter.setBrush(QColor(0x67, 0xe8, 0xf9));
    painter.drawPath(letters);
}

}  // namespace

ProfileArcadeBackground::ProfileArcadeBackground(QWidget* parent)
    : QWidget(parent)
{
    setAttribute(Qt::WA_StyledBackground, false);
    m_clock.start();
    m_timer = new QTimer(this);
    m_timer->setObjectName(QStringLiteral("profileArcadeTimer"));
    m_timer->setInterval(kFrameIntervalMs);
    connect(m_timer, &QTimer::timeout, this, &ProfileArcadeBackground::nextFrame);
    m_timer->start();
}

void ProfileArcadeBackground::setOpaqueCovers(BackdropCovers::Provider covers, int cornerRadius)
{
    m_covers.set(std::move(covers), cornerRadius);
}

void ProfileArcadeBackground::nextFrame()
{
    update(m_covers.exposedRegion(rect()));
}

double ProfileArcadeBackground::elapsedSeconds() const
{
    return m_clock.elapsed() / 1000.0;
}

double ProfileArcadeBackground::marqueeOpacity(double seconds)
{
    const double m = std::fmod(seconds, 4.0);
    if (m >= 3.6 && m < 3.68)
        return 0.55;
    if (m >= 3.76 && m < 3.84)
        return 0.7;
    return 1.0;
}

void ProfileArcadeBackground::prepare(const QSize& size, qreal ratio)
{
    if (size == m_size && qFuzzyCompare(ratio, m_ratio) && !m_room.isNull())
        return;
    m_size = size;
    m_ratio = ratio;
    const double w = size.width();
    const double h = size.height();

    m_room = QPixmap(size * ratio);
    m_room.setDevicePixelRatio(ratio);
    QPainter painter(&m_room);
    painter.setRenderHint(QPainter::Antialiasing);

    // Wall and its glow.
    QLinearGradient wall(0, 0, 0, h);
    wall.setColorAt(0.0, QColor(0x07, 0x07, 0x13));
    wall.setColorAt(0.5, QColor(0x09, 0x09, 0x1a));
    wall.setColorAt(1.0, QColor(0x10, 0x0b, 0x26));
    painter.fillRect(QRectF(0, 0, w, h), wall);
    QRadialGradient glow(QPointF(w * 0.5, h * 0.42), std::max(w, h) * 0.5);
    glow.setColorAt(0.0, QColor(124, 58, 237, 60));
    glow.setColorAt(0.6, QColor(124, 58, 237, 18));
    glow.setColorAt(1.0, QColor(124, 58, 237, 0));
    painter.setPen(Qt::NoPen);
    painter.setBrush(glow);
    painter.drawEllipse(QPointF(w * 0.5, h * 0.42), w * 0.6, h * 0.5);

    // Floor band with its perspective lights.
    const double floorY = h * 0.8;
    painter.fillRect(QRectF(0, floorY, w, h - floorY), QColor(0x08, 0x07, 0x14));
    painter.setPen(QPen(withAlpha(QColor(0xdd, 0xd6, 0xfe), 26), 1));
    const double vanishX = w * 0.5;
    for (int i = -10; i <= 10; ++i) {
        const double x = vanishX + i * w * 0.11;
        painter.drawLine(QPointF(vanishX + i * w * 0.02, floorY), QPointF(x, h));
    }
    for (int i = 1; i <= 5; ++i) {
        const double y = floorY + (h - floorY) * (i * i) / 30.0;
        painter.setPen(QPen(withAlpha(QColor(0xc4, 0xb5, 0xfd), 14 + 6 * i), 1));
        painter.drawLine(QPointF(0, y), QPointF(w, y));
    }
    // Floor edge: a dark skirting and a bright seam.
    painter.fillRect(QRectF(0, floorY - 6, w, 6), QColor(0x08, 0x06, 0x0e));
    painter.fillRect(QRectF(0, floorY, w, 2), QColor(0x05, 0x04, 0x09));
    painter.setPen(QPen(withAlpha(QColor(0xc4, 0xb5, 0xfd), 110), 1));
    painter.drawLine(QPointF(0, floorY + 2.5), QPointF(w, floorY + 2.5));

    // Cabinets, with a pool of light under each.
    QRectF cabinets[kCabinetCount];
    cabinetRects(QSizeF(size), cabinets);
    for (int i = 0; i < kCabinetCount; ++i) {
        const QRectF& cab = cabinets[i];
        QRadialGradient pool(QPointF(cab.center().x(), cab.bottom()), cab.width() * 0.9);
        pool.setColorAt(0.0, withAlpha(kCabinets[i].accent, 60));
        pool.setColorAt(1.0, withAlpha(kCabinets[i].accent, 0));
        painter.setPen(Qt::NoPen);
        painter.setBrush(pool);
        painter.drawEllipse(QPointF(cab.center().x(), cab.bottom()), cab.width() * 0.9, cab.width() * 0.22);
    }
    // The third cabinet stands behind the first.
    drawCabinetBody(painter, cabinets[2], kCabinets[2]);
    drawCabinetBody(painter, cabinets[0], kCabinets[0]);
    drawCabinetBody(painter, cabinets[1], kCabinets[1]);

    // The vertical PLAY sign hangs on the wall left of the right cabinet.
    const double signW = std::max(34.0, cabinets[1].width() * 0.3);
    const QRectF sign(cabinets[1].left() - signW - w * 0.03, h * 0.14, signW, signW * 4.3);
    drawPlaySign(painter, sign);
    painter.end();

    for (int i = 0; i < kCabinetCount; ++i) {
        m_marqueeRects[i] = marqueeRect(cabinets[i]);
        m_marquees[i] = renderMarquee(m_marqueeRects[i].size(), ratio, kCabinets[i]);
    }

    // A four-pointed sparkle, drawn once and turned per frame.
    m_sparkle = QPixmap(QSize(24, 24) * ratio);
    m_sparkle.setDevicePixelRatio(ratio);
    m_sparkle.fill(Qt::transparent);
    QPainter star(&m_sparkle);
    star.setRenderHint(QPainter::Antialiasing);
    QRadialGradient halo(QPointF(12, 12), 12);
    halo.setColorAt(0.0, QColor(255, 255, 255, 120));
    halo.setColorAt(1.0, QColor(255, 255, 255, 0));
    star.setPen(Qt::NoPen);
    star.setBrush(halo);
    star.drawEllipse(QRectF(0, 0, 24, 24));
    QPainterPath points;
    points.moveTo(12, 0);
    points.quadTo(13, 11, 24, 12);
    points.quadTo(13, 13, 12, 24);
    points.quadTo(11, 13, 0, 12);
    points.quadTo(11, 11, 12, 0);
    star.setBrush(QColor(0xff, 0xff, 0xff));
    star.drawPath(points);
}

void ProfileArcadeBackground::paintEvent(QPaintEvent*)
{
    prepare(size(), devicePixelRatioF());
    const double t = elapsedSeconds();
    QPainter painter(this);
    painter.drawPixmap(0, 0, m_room);

    painter.setOpacity(marqueeOpacity(t));
    for (int i = 0; i < kCabinetCount; ++i)
        painter.drawPixmap(m_marqueeRects[i].topLeft() - QPointF(14, 14), m_marquees[i]);

    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    const double w = width();
    const double h = height();
    for (const Sparkle& sparkle : kSparkles) {
        const double phase = std::fmod(t + sparkle.phase, sparkle.period) / sparkle.period;
        const double opacity = 0.5 - 0.5 * std::cos(2 * kPi * phase);
        const double scale = sparkle.size / 24.0 * (0.6 + 0.4 * opacity);
        painter.setOpacity(opacity * 0.85);
        painter.setTransform(
            QTransform::fromTranslate(sparkle.x * w, sparkle.y * h).rotate(phase * 90.0).scale(scale, scale));
        painter.drawPixmap(QPointF(-12, -12), m_sparkle);
    }
}
