#include "pages/games/NebuliteZoomImage.h"

#include <QPainter>
#include <QPainterPath>

NebuliteZoomImage::NebuliteZoomImage(QWidget* parent)
    : QLabel(parent)
{
}

void NebuliteZoomImage::setImage(const QPixmap& image)
{
    m_image = image;
    update();
}

QPixmap NebuliteZoomImage::image() const
{
    return m_image.isNull() ? pixmap() : m_image;
}

void NebuliteZoomImage::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing, true);
    painter.setRenderHint(QPainter::SmoothPixmapTransform, true);

    QPainterPath frame;
    frame.addRoundedRect(QRectF(rect()), 12.0, 12.0);
    painter.fillPath(frame, QColor(0x0f, 0x0b, 0x18));
    painter.setClipPath(frame);

    const QPixmap shown = image();
    if (shown.isNull())
        return;
    const qreal zoom = 1.0 + 0.08 * property("nebuliteZoom").toReal();
    const QSizeF fitted = QSizeF(shown.size()).scaled(QSizeF(size()), Qt::KeepAspectRatio) * zoom;
    const QRectF target((width() - fitted.width()) / 2.0, (height() - fitted.height()) / 2.0,
                        fitted.width(), fitted.height());
    painter.drawPixmap(target, shown, QRectF(shown.rect()));
}
