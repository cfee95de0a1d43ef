#pragma once

#include <QLabel>
#include <QPixmap>

// The game card's picture: a dark rounded frame (radius 12) with the image fitted
// inside and zoomed by up to 8 % following the hover progress (0..1).
// The image comes from setImage(), or from the label's own pixmap when none is set.
class GameCardImage : public QLabel
{
    Q_OBJECT

public:
    explicit GameCardImage(QWidget* parent = nullptr);

    void setImage(const QPixmap& image);
    QPixmap image() const;
    // Hover progress of the card, 0 (rest) to 1 (fully zoomed).
    void setZoomProgress(qreal progress);
    qreal zoomProgress() const { return m_zoomProgress; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QPixmap m_image;
    qreal m_zoomProgress = 0.0;
};
