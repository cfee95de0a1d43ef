#include "pages/profile/ProfileStatHover.h"

#include "widgets/effects/EffectSupport.h"
#include "widgets/effects/HoverProgress.h"

#include <QPainter>
#include <QVBoxLayout>

namespace {
constexpr int kDurationMs = 180;
constexpr int kLift = 4;
const QColor kRestBorder(0x3e, 0x31, 0x57);
const QColor kHoverBorder(0xa7, 0x8b, 0xfa);
} // namespace

ProfileStatHover::ProfileStatHover(QWidget* card, QWidget* parent)
    : QWidget(parent)
    , m_card(card)
    , m_layout(nullptr)
    , m_progress(new HoverProgress(kDurationMs, this, [this](qreal p) { apply(p); }))
{
    setObjectName(QStringLiteral("profileStatHover"));
    setAttribute(Qt::WA_TranslucentBackground);
    const int cardHeight = std::max(card->sizeHint().height(), card->minimumSizeHint().height());
    effects::takePlaceOf(this, card);
    m_layout = new QVBoxLayout(this);
    m_layout->setContentsMargins(8, 12, 8, 12);
    m_layout->setSpacing(0);
    m_layout->addWidget(card);
    setFixedHeight(std::max(cardHeight, card->minimumHeight()) + 24);
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
}

qreal ProfileStatHover::progress() const
{
    return m_progress->value();
}

QColor ProfileStatHover::borderColor(qreal p)
{
    const auto mix = [p](int from, int to) { return qRound(from + (to - from) * p); };
    return QColor(mix(kRestBorder.red(), kHoverBorder.red()),
                  mix(kRestBorder.green(), kHoverBorder.green()),
                  mix(kRestBorder.blue(), kHoverBorder.blue()));
}

void ProfileStatHover::enterEvent(QEnterEvent* event)
{
    m_progress->enter();
    QWidget::enterEvent(event);
}

void ProfileStatHover::leaveEvent(QEvent* event)
{
    m_progress->leave();
    QWidget::leaveEvent(event);
}

void ProfileStatHover::apply(qreal p)
{
    const int lift = qRound(kLift * p);
    m_layout->setContentsMargins(8, 12 - lift, 8, 12 + lift);
    m_layout->activate();

    // Re-styling is costly: only when the colour actually changes.
    const QString name = borderColor(p).name(QColor::HexRgb);
    if (m_card && name != m_borderName) {
        m_borderName = name;
        m_card->setStyleSheet(
            QStringLiteral("QFrame#profileStatCard { border: 1px solid %1;}").arg(name));
    }
    update();
}

void ProfileStatHover::paintEvent(QPaintEvent*)
{
    const qreal p = m_progress->value();
    if (p <= 0.0 || !m_card)
        return;
    QPainter painter(this);
    effects::paintGlowRings(painter, m_card->geometry(), 7, 12.0, kHoverBorder,
                            [p](int i) { return qRound(p * 90.0 * (8 - i) / 7.0); });
}
