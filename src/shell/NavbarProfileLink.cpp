#include "shell/NavbarProfileLink.h"

#include "widgets/effects/EffectSupport.h"
#include "widgets/effects/HoverProgress.h"

#include <QHBoxLayout>

namespace {
constexpr int kDurationMs = 200;
constexpr qreal kRadius = 18.0;
} // namespace

NavbarProfileLink::NavbarProfileLink(QWidget* parent)
    : QPushButton(parent)
    , m_layout(new QHBoxLayout(this))
    , m_progress(new HoverProgress(kDurationMs, this, [this](qreal p) { apply(p); }))
{
    setObjectName(QStringLiteral("navbarProfileLink"));
    setFlat(true);
    setCursor(Qt::PointingHandCursor);
    apply(0.0);
}

qreal NavbarProfileLink::progress() const
{
    return m_progress->value();
}

QSize NavbarProfileLink::sizeHint() const
{
    return m_layout->sizeHint();
}

QSize NavbarProfileLink::minimumSizeHint() const
{
    return m_layout->minimumSize();
}

void NavbarProfileLink::enterEvent(QEnterEvent* event)
{
    m_progress->enter();
    QPushButton::enterEvent(event);
}

void NavbarProfileLink::leaveEvent(QEvent* event)
{
    m_progress->leave();
    QPushButton::leaveEvent(event);
}

void NavbarProfileLink::apply(qreal p)
{
    const int lift = qRound(2.0 * p);
    m_layout->setContentsMargins(12, 7 - lift, 12, 9 + lift);
    update();
}

void NavbarProfileLink::paintEvent(QPaintEvent*)
{
    const qreal p = m_progress->value();
    effects::paintHoverWash(this, QRectF(0.0, 2.0 - 2.0 * p, width(), height() - 2.0), p, kRadius);
}
