#include "online/OnlineMemberHover.h"

#include "widgets/effects/EffectSupport.h"
#include "widgets/effects/HoverProgress.h"

#include <QEvent>
#include <QLayout>

namespace {
constexpr int kDurationMs = 200;
constexpr int kSlide = 6;
constexpr qreal kRadius = 18.0;
} // namespace

OnlineMemberHover::OnlineMemberHover(QWidget* row)
    : QWidget(row)
    , m_row(row)
    , m_progress(new HoverProgress(kDurationMs, this, [this](qreal v) { apply(v); }))
{
    setAttribute(Qt::WA_TransparentForMouseEvents);
    setAttribute(Qt::WA_TranslucentBackground);
    if (row->layout())
        m_baseMargins = row->layout()->contentsMargins();
    setGeometry(row->rect());
    lower();
    show();
    row->installEventFilter(this);
    apply(0.0);
}

qreal OnlineMemberHover::level() const
{
    return m_progress->value();
}

bool OnlineMemberHover::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == m_row) {
        switch (event->type()) {
        case QEvent::Resize:
            setGeometry(m_row->rect());
            break;
        case QEvent::Enter:
            m_progress->enter();
            break;
        case QEvent::Leave:
            m_progress->leave();
            break;
        default:
            break;
        }
    }
    return QWidget::eventFilter(watched, event);
}

void OnlineMemberHover::apply(qreal v)
{
    if (m_row && m_row->layout()) {
        const int s = qRound(kSlide * v);
        m_row->layout()->setContentsMargins(m_baseMargins.left() + s, m_baseMargins.top(),
                                            m_baseMargins.right() + kSlide - s,
                                            m_baseMargins.bottom());
    }
    update();
}

void OnlineMemberHover::paintEvent(QPaintEvent*)
{
    const qreal v = m_progress->value();
    effects::paintHoverWash(this, QRectF(kSlide * v, 0.0, width() - kSlide, height()), v, kRadius);
}
