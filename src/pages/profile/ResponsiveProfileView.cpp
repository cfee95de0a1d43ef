#include "pages/profile/ResponsiveProfileView.h"

#include <QGraphicsProxyWidget>
#include <QGraphicsScene>

#include <algorithm>

ResponsiveProfileView::ResponsiveProfileView(QWidget* card, QWidget* parent)
    : QGraphicsView(parent)
{
    auto* scene = new QGraphicsScene(this);
    setScene(scene);
    setFrameShape(QFrame::NoFrame);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setAlignment(Qt::AlignCenter);
    setRenderHints(QPainter::Antialiasing | QPainter::SmoothPixmapTransform
                   | QPainter::TextAntialiasing);
    setBackgroundBrush(Qt::NoBrush);
    setStyleSheet(QStringLiteral("QGraphicsView { background: transparent; border: none; }"));
    viewport()->setAutoFillBackground(false);

    if (card) {
        m_proxy = scene->addWidget(card);
        // The backdrop behind animates every frame; keep the card's picture
        // instead of rendering its widgets again under each frame.
        m_proxy->setCacheMode(QGraphicsItem::DeviceCoordinateCache);
        connect(m_proxy, &QGraphicsWidget::geometryChanged, this, &ResponsiveProfileView::fitCard);
    }
}

void ResponsiveProfileView::fitCard()
{
    resetTransform();
    if (!scene())
        return;
    const QRectF items = scene()->itemsBoundingRect();
    if (items.isEmpty())
        return;
    setSceneRect(items);
    const QSize port = viewport()->size();
    const qreal factor = std::min({port.width() / items.width(), port.height() / items.height(), 1.0});
    if (factor > 0.0)
        scale(factor, factor);
    centerOn(items.center());
}

QRect ResponsiveProfileView::cardRect() const
{
    if (!m_proxy)
        return {};
    // Inside by a pixel: the scaled edge is antialiased against the backdrop.
    const QRect inViewport = mapFromScene(m_proxy->sceneBoundingRect()).boundingRect().adjusted(1, 1, -1, -1);
    return inViewport.translated(viewport()->pos());
}

void ResponsiveProfileView::resizeEvent(QResizeEvent* event)
{
    QGraphicsView::resizeEvent(event);
    fitCard();
}
