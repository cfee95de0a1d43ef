#include "pages/games/GameCardHoverEffect.h"

#include "pages/games/GameCardImage.h"
#include "widgets/effects/HoverProgress.h"

#include <QEvent>
#include <QLabel>
#include <QPainter>
#include <QWidget>

namespace {
constexpr int kDurationMs = 180;
constexpr qreal kMargin = 24.0;
constexpr qreal kLift = 4.0;
constexpr qreal kRadius = 18.0;
const QColor kRingColor(0xa7, 0x8b, 0xfa);
const QColor kEdgeColor(0xc4, 0xb5, 0xfd);
} // namespace

GameCardHoverEffect::GameCardHoverEffect(QWidget* card)
    : QGraphicsEffect(card)
    , m_card(card)
    , m_progress(new HoverProgress(kDurationMs, this, [this](qreal p) { apply(p); }))
{
    card->setAttribute(Qt::WA_Hover, true);
    card->installEventFilter(this);
    card->setGraphicsEffect(this);
}

qreal GameCardHoverEffect::progress() const
{
    return m_progress->value();
}

QRectF GameCardHoverEffect::boundingRectFor(const QRectF& sourceRect) const
{
    return sourceRect.adjusted(-kMargin, -kMargin, kMargin, kMargin);
}

bool GameCardHoverEffect::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == m_card) {
        if (event->type() == QEvent::HoverEnter)
            m_progress->enter();
        else if (event->type() == QEvent::HoverLeave)
            m_progress->leave();
    }
    return QGraphicsEffect::eventFilter(watched, event);
}

void GameCardHoverEffect::apply(qreal p)
{
    if (!m_image && m_card)
        m_image = m_card->findChild<GameCardImage*>(QStringLiteral("nebuliteImage"));
    if (m_image)
        m_image->setZoomProgress(p);
    update();
}

void GameCardHoverEffect::draw(QPainter* painter)
{
    QPoint offset;
    const QPixmap source = sourcePixmap(Qt::LogicalCoordinates, &offset);
    if (source.isNull())
        return;
    const qreal p = m_progress->value();
    const QRectF edge = sourceBoundingRect(Qt::LogicalCoordinates).adjusted(1, 1, -1, -1);

    painter->save();
    painter->setRenderHint(QPainter::Antialiasing, true);
    painter->translate(0, -kLift * p);
    if (p > 0.0) {
        static const qreal widths[] = {15.0, 12.0, 9.0, 6.0, 3.0};
        painter->setBrush(Qt::NoBrush);
        QColor ring = kRingColor;
        for (int i = 0; i < 5; ++i) {
            ring.setAlpha(qBound(0, int(i < 4 ? 14.0 * p : 150.0 * p), 255));
            painter->setPen(QPen(ring, widths[i]));
            painter->drawRoundedRect(edge, kRadius, kRadius);
        }
    }
    painter->drawPixmap(offset, source);
    if (p > 0.0) {
        QColor edgeColor = kEdgeColor;
        edgeColor.setAlpha(qBound(0, int(190.0 * p), 255));
        painter->setBrush(Qt::NoBrush);
        painter->setPen(QPen(edgeColor, 1.5));
        painter->drawRoundedRect(edge, kRadius, kRadius);
    }
    painter->restore();
}
