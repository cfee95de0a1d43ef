#pragma once

#include <QGraphicsEffect>
#include <QPointer>

class QWidget;
class GameCardImage;
class HoverProgress;

// Hover effect of the Nebulite game card: the card lifts by 4 px inside soft
// violet rings, gets a crisp lilac edge, and its image ("nebuliteImage") zooms in
// with the same progress. Installs itself on the card.
class GameCardHoverEffect : public QGraphicsEffect
{
    Q_OBJECT

public:
    explicit GameCardHoverEffect(QWidget* card);

    qreal progress() const;
    QRectF boundingRectFor(const QRectF& sourceRect) const override;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void draw(QPainter* painter) override;

private:
    void apply(qreal p);

    QPointer<QWidget> m_card;
    QPointer<GameCardImage> m_image;
    HoverProgress* m_progress;
};
