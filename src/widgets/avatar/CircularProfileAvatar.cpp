#include "widgets/avatar/CircularProfileAvatar.h"

#include "app/LogCategories.h"

#include <QDebug>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>
#include <QRadialGradient>
#include <QTimer>

#include <algorithm>

namespace {
constexpr int kSide = 195;
constexpr int kTickMs = 16;
constexpr qreal kZoomStep = 0.004;
constexpr qreal kHoverZoom = 1.05;
constexpr qreal kCentre = 97.5;
constexpr qreal kPictureOrigin = 25.5;
constexpr int kPictureSide = 144;
const QColor kViolet(0xa7, 0x8b, 0xfa);
const QColor kDeepViolet(0x7c, 0x3a, 0xed);

QColor withAlpha(QColor color, int alpha)
{
    color.setAlpha(qBound(0, alpha, 255));
    return color;
}
} // namespace

CircularProfileAvatar::CircularProfileAvatar(QWidget* parent)
    : QWidget(parent)
    , m_timer(new QTimer(this))
{
    setFixedSize(kSide, kSide);
    setAttribute(Qt::WA_TranslucentBackground);
    setCursor(Qt::PointingHandCursor);
    m_timer->setInterval(kTickMs);
    connect(m_timer, &QTimer::timeout, this, &CircularProfileAvatar::tick);
}

void CircularProfileAvatar::setPixmap(const QPixmap& pixmap)
{
    m_pixmap = pixmap;
    m_scaled = pixmap.isNull()
        ? QPixmap()
        : pixmap.scaled(kPictureSide, kPictureSide, Qt::KeepAspectRatioByExpanding,
                        Qt::SmoothTransformation);
    update();
}

void CircularProfileAvatar::setClickCallback(std::function<void()> callback)
{
    m_clickCallback = std::move(callback);
}

bool CircularProfileAvatar::isZoomAnimating() const
{
    return m_timer->isActive();
}

QRectF CircularProfileAvatar::clickArea()
{
    return QRectF(22.5, 22.5, 150.0, 150.0);
}

void CircularProfileAvatar::enterEvent(QEnterEvent* event)
{
    m_hovered = true;
    qCDebug(lcWidgets) << "AVATAR: mouse entrato";
    m_timer->start();
    QWidget::enterEvent(event);
}

void CircularProfileAvatar::leaveEvent(QEvent* event)
{
    m_hovered = false;
    m_timer->start();
    QWidget::leaveEvent(event);
}

void CircularProfileAvatar::tick()
{
    const qreal target = m_hovered ? kHoverZoom : 1.0;
    if (m_zoom < target)
        m_zoom = std::min(m_zoom + kZoomStep, target);
    else if (m_zoom > target)
        m_zoom = std::max(m_zoom - kZoomStep, target);
    update();
    if (m_zoom == target)
        m_timer->stop();
}

void CircularProfileAvatar::mousePressEvent(QMouseEvent* event)
{
    if (event->button() == Qt::LeftButton && clickArea().contains(event->position())) {
        event->accept();
        return;
    }
    event->ignore();
}

void CircularProfileAvatar::mouseReleaseEvent(QMouseEvent* event)
{
    if (event->button() == Qt::LeftButton && clickArea().contains(event->position())) {
        event->accept();
        if (m_clickCallback)
            m_clickCallback();
        return;
    }
    event->ignore();
}

void CircularProfileAvatar::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing, true);
    painter.setRenderHint(QPainter::SmoothPixmapTransform, true);
    painter.setPen(Qt::NoPen);

    const qreal h = std::clamp((m_zoom - 1.0) / 0.05, 0.0, 1.0);
    const QPointF centre(kCentre, kCentre);

    // Outer glow, not scaled.
    QRadialGradient glow(centre, 97.0);
    glow.setColorAt(0.72, withAlpha(kViolet, 210 + int(30 * h)));
    glow.setColorAt(0.78, withAlpha(kViolet, 165 + int(55 * h)));
    glow.setColorAt(0.87, withAlpha(kViolet, 85 + int(50 * h)));
    glow.setColorAt(0.95, withAlpha(kDeepViolet, 42 + int(30 * h)));
    glow.setColorAt(1.0, withAlpha(kDeepViolet, 0));
    painter.setBrush(glow);
    painter.drawEllipse(QRectF(0.5, 0.5, 194.0, 194.0));

    // Everything else zooms about the centre.
    painter.translate(centre);
    painter.scale(m_zoom, m_zoom);
    painter.translate(-centre);

    painter.setBrush(QColor(0x0e, 0x0b, 0x15));
    painter.drawEllipse(QRectF(22.5, 22.5, 150.0, 150.0));

    const QRectF pictureRect(kPictureOrigin, kPictureOrigin, kPictureSide, kPictureSide);
    QPainterPath clip;
    clip.addEllipse(pictureRect);
    painter.save();
    painter.setClipPath(clip);
    if (!m_scaled.isNull()) {
        painter.translate(kCentre, kCentre - 5.0 * h);
        painter.scale(1.0 + 0.03 * h, 1.0 + 0.03 * h);
        painter.translate(-centre);
        painter.drawPixmap(QPointF(kPictureOrigin + (kPictureSide - m_scaled.width()) / 2.0,
                                   kPictureOrigin + (kPictureSide - m_scaled.height()) / 2.0),
                           m_scaled);
    } else {
        QLinearGradient fill(pictureRect.topLeft(), pictureRect.bottomRight());
        fill.setColorAt(0.0, QColor(0x6f, 0x42, 0xc1));
        fill.setColorAt(1.0, kViolet);
        painter.fillRect(pictureRect, fill);
        QFont font(QStringLiteral("Segoe UI Emoji"));
        font.setPixelSize(62);
        painter.setFont(font);
        painter.setPen(Qt::white);
        painter.drawText(pictureRect, Qt::AlignCenter, QStringLiteral("\U0001F464"));
    }
    painter.restore();

    painter.setBrush(Qt::NoBrush);
    painter.setPen(QPen(kViolet, 3.0));
    painter.drawEllipse(QRectF(24.0, 24.0, 147.0, 147.0));
}
