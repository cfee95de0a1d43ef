#include "pages/games/PlayButtonHost.h"

#include "widgets/effects/EffectSupport.h"
#include "widgets/effects/HoverProgress.h"

#include <QEvent>
#include <QGraphicsDropShadowEffect>
#include <QPushButton>

namespace {
constexpr int kDurationMs = 150;
constexpr int kHostHeight = 54;
constexpr int kButtonHeight = 38;
} // namespace

PlayButtonHost::PlayButtonHost(QPushButton* button, QWidget* parent)
    : QWidget(parent)
    , m_button(button)
    , m_shadow(new QGraphicsDropShadowEffect(button))
    , m_progress(new HoverProgress(kDurationMs, this, [this](qreal p) { apply(p); }))
{
    setAttribute(Qt::WA_TranslucentBackground);
    setFixedHeight(kHostHeight);
    effects::takePlaceOf(this, button);
    button->setParent(this);
    button->show();
    m_shadow->setOffset(0, 0);
    button->setGraphicsEffect(m_shadow);
    button->installEventFilter(this);
    apply(0.0);
}

qreal PlayButtonHost::progress() const
{
    return m_progress->value();
}

QSize PlayButtonHost::sizeHint() const
{
    return QSize(m_button ? m_button->sizeHint().width() : 0, kHostHeight);
}

QSize PlayButtonHost::minimumSizeHint() const
{
    return QSize(m_button ? m_button->minimumSizeHint().width() : 0, kHostHeight);
}

bool PlayButtonHost::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == m_button) {
        if (event->type() == QEvent::Enter)
            m_progress->enter();
        else if (event->type() == QEvent::Leave)
            m_progress->leave();
    }
    return QWidget::eventFilter(watched, event);
}

void PlayButtonHost::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    apply(m_progress->value());
}

void PlayButtonHost::apply(qreal p)
{
    if (m_button)
        m_button->setGeometry(0, qRound(10.0 - 3.0 * p), width(), kButtonHeight);
    if (m_shadow) {
        m_shadow->setBlurRadius(10.0 + 8.0 * p);
        m_shadow->setColor(QColor(0x8b, 0x5c, 0xf6, qRound(80.0 + 100.0 * p)));
    }
}
