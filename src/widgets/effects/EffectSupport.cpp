#include "widgets/effects/EffectSupport.h"

#include <QLayout>
#include <QWidget>

#include <algorithm>

namespace effects {

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

} // namespace effects
