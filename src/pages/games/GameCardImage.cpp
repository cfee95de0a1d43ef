#include "pages/games/GameCardImage.h"

#include <QPainter>
#include <QPainterPath>

GameCardImage::GameCardImage(QWidget* parent)
    : QLabel(parent)
{
}

void GameCardImage::setImage(const QPixmap& image)
{
    m_image = image;
    update();
}

QPixmap GameCardImage::image() const
{
    return m_image.isNull() ? pixmap() : m_image;
}

void GameCardImage::paintEvent(QPaintEvent*)
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
    const qreal zoom = 1.0 + 0.08 * m_zoomProgress;
    const QSizeF fitted = QSizeF(shown.size()).scaled(QSizeF(size()), Qt::KeepAspectRatio) * zoom;
    const QRectF target((width() - fitted.width()) / 2.0, (height() - fitted.height()) / 2.0,
                        fitted.width(), fitted.height());
    painter.drawPixmap(target, shown, QRectF(shown.rect()));
}

void GameCardImage::setZoomProgress(qreal progress)
{
    m_zoomProgress = progress;
    update();
}
