#pragma once

#include <QLabel>
#include <QPixmap>

// The game card's picture: a dark rounded frame (radius 12) with the image fitted
// inside and zoomed by up to 8 % following the "nebuliteZoom" property (0..1).
// The image comes from setImage(), or from the label's own pixmap when none is set.
class NebuliteZoomImage : public QLabel
{
    Q_OBJECT

public:
    explicit NebuliteZoomImage(QWidget* parent = nullptr);

    void setImage(const QPixmap& image);
    QPixmap image() const;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QPixmap m_image;
};
