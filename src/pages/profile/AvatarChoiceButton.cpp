#include "pages/profile/AvatarChoiceButton.h"

#include "widgets/effects/HoverProgress.h"

#include <QPainter>
#include <QPropertyAnimation>

namespace {
constexpr int kDurationMs = 250;
constexpr int kRestIcon = 100;
constexpr int kHoverIcon = 108;
constexpr qreal kZoomGain = 0.05;
constexpr qreal kCircle = 122.0;
constexpr int kNaturalSide = 132; // room for the circle at full zoom
} // namespace

AvatarChoiceButton::AvatarChoiceButton(QWidget* parent)
    : AvatarChoiceButton(QIcon(), parent)
{
}

AvatarChoiceButton::AvatarChoiceButton(const QIcon& icon, QWidget* parent)
    : QPushButton(icon, QString(), parent)
    , m_iconAnimation(new QPropertyAnimation(this, "iconSize", this))
    , m_zoomProgress(new HoverProgress(kDurationMs, this, [this](qreal) { update(); }))
{
    setIconSize(QSize(kRestIcon, kRestIcon));
    setCursor(Qt::PointingHandCursor);
    m_iconAnimation->setDuration(kDurationMs);
    m_iconAnimation->setEasingCurve(QEasingCurve::OutCubic);
}

qreal AvatarChoiceButton::zoom() const
{
    return 1.0 + kZoomGain * m_zoomProgress->value();
}

QSize AvatarChoiceButton::sizeHint() const
{
    return QPushButton::sizeHint().expandedTo(QSize(kNaturalSide, kNaturalSide));
}

QSize AvatarChoiceButton::minimumSizeHint() const
{
    return QSize(kNaturalSide, kNaturalSide);
}

void AvatarChoiceButton::animateIconTo(const QSize& size)
{
    m_iconAnimation->stop();
    m_iconAnimation->setStartValue(iconSize());
    m_iconAnimation->setEndValue(size);
    m_iconAnimation->start();
}

void AvatarChoiceButton::enterEvent(QEnterEvent* event)
{
    m_hovered = true;
    animateIconTo(QSize(kHoverIcon, kHoverIcon));
    m_zoomProgress->enter();
    update();
    QPushButton::enterEvent(event);
}

void AvatarChoiceButton::leaveEvent(QEvent* event)
{
    m_hovered = false;
    animateIconTo(QSize(kRestIcon, kRestIcon));
    m_zoomProgress->leave();
    update();
    QPushButton::leaveEvent(event);
}

void AvatarChoiceButton::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing, true);
    painter.setRenderHint(QPainter::SmoothPixmapTransform, true);

    const QPointF centre = QRectF(rect()).center();
    const qreal scale = zoom();
    painter.translate(centre);
    painter.scale(scale, scale);
    painter.translate(-centre);

    painter.setBrush(QColor(0x6f, 0x42, 0xc1, m_hovered ? 64 : 31));
    painter.setPen(QPen(m_hovered ? QColor(0xa7, 0x8b, 0xfa) : QColor(167, 139, 250, 64), 3.0));
    painter.drawEllipse(centre, kCircle / 2.0, kCircle / 2.0);

    if (!icon().isNull()) {
        const QSize size = iconSize();
        const QRect iconRect(qRound(centre.x() - size.width() / 2.0),
                             qRound(centre.y() - size.height() / 2.0), size.width(),
                             size.height());
        icon().paint(&painter, iconRect, Qt::AlignCenter,
                     isEnabled() ? QIcon::Normal : QIcon::Disabled);
    }
}
