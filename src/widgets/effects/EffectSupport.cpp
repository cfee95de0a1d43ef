#include "widgets/effects/EffectSupport.h"

#include <QGraphicsDropShadowEffect>
#include <QLayout>
#include <QPainter>
#include <QWidget>

#include <algorithm>

namespace effects {

QGraphicsDropShadowEffect* addGlow(QWidget* widget, qreal blurRadius, const QColor& color)
{
    auto* shadow = new QGraphicsDropShadowEffect(widget);
    shadow->setBlurRadius(blurRadius);
    shadow->setOffset(0, 0);
    shadow->setColor(color);
    widget->setGraphicsEffect(shadow);
    return shadow;
}

void takePlaceOf(QWidget* wrapper, QWidget* widget)
{
    QWidget* oldParent = widget->parentWidget();
    if (oldParent && oldParent->layout()) {
        if (QLayoutItem* old = oldParent->layout()->replaceWidget(widget, wrapper)) {
            delete old;
            return;
        }
    }
    if (!wrapper->parentWidget() && oldParent)
        wrapper->setParent(oldParent);
}

int naturalHeight(const QWidget* widget)
{
    return std::max({widget->sizeHint().height(), widget->minimumSizeHint().height(),
                     widget->minimumHeight()});
}

void paintHoverWash(QWidget* widget, const QRectF& rect, qreal progress, qreal radius)
{
    const int alpha = qRound(26.0 * progress);
    if (alpha <= 0)
        return;
    QPainter painter(widget);
    painter.setRenderHint(QPainter::Antialiasing, true);
    painter.setPen(Qt::NoPen);
    painter.setBrush(QColor(167, 139, 250, alpha));
    painter.drawRoundedRect(rect, radius, radius);
}

} // namespace effects
