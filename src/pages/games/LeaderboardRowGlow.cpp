#include "pages/games/LeaderboardRowGlow.h"

#include "widgets/effects/EffectSupport.h"
#include "widgets/effects/HoverProgress.h"

#include <QPainter>
#include <QVBoxLayout>

namespace {
constexpr int kDurationMs = 180;
constexpr int kSlide = 4;
constexpr int kGlowExtraHeight = 40;
const QColor kPink(0xff, 0x14, 0x93);
} // namespace

LeaderboardRowGlow::LeaderboardRowGlow(QWidget* row, bool glowing, QWidget* parent)
    : QWidget(parent)
    , m_row(row)
    , m_layout(nullptr)
    , m_glowing(glowing)
{
    setObjectName(QStringLiteral("profileScoreGlow"));
    setAttribute(Qt::WA_TranslucentBackground);
    const int rowHeight = effects::naturalHeight(row);
    effects::takePlaceOf(this, row);
    m_layout = new QVBoxLayout(this);
    m_layout->setSpacing(0);
    m_layout->addWidget(row);
    if (glowing) {
        m_layout->setContentsMargins(12, 12, 12, 12);
        setFixedHeight(rowHeight + kGlowExtraHeight);
        m_progress = new HoverProgress(kDurationMs, this, [this](qreal p) { apply(p); });
    } else {
        m_layout->setContentsMargins(12, 0, 12, 0);
        setFixedHeight(rowHeight);
    }
}

qreal LeaderboardRowGlow::progress() const
{
    return m_progress ? m_progress->value() : 0.0;
}

void LeaderboardRowGlow::enterEvent(QEnterEvent* event)
{
    if (m_progress)
        m_progress->enter();
    QWidget::enterEvent(event);
}

void LeaderboardRowGlow::leaveEvent(QEvent* event)
{
    if (m_progress)
        m_progress->leave();
    QWidget::leaveEvent(event);
}

void LeaderboardRowGlow::apply(qreal p)
{
    const int slide = qRound(kSlide * p);
    m_layout->setContentsMargins(12 + slide, 12, 12 - slide, 12);
    update();
}

void LeaderboardRowGlow::paintEvent(QPaintEvent*)
{
    if (!m_glowing || !m_row)
        return;
    const qreal p = progress();
    QPainter painter(this);
    effects::paintGlowRings(painter, m_row->geometry(), 7, 13.0, kPink,
                            [p](int i) { return int((40.0 * p + 85.0) * (8 - i) / 7.0); });
}
