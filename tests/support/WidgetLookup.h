#pragma once

#include <QGraphicsProxyWidget>
#include <QGraphicsScene>
#include <QGraphicsView>
#include <QWidget>

// findChild that also looks inside graphics scenes: cards shown through a
// graphics view live in the scene, outside the window's widget tree.
template <typename T>
T* findWidget(QWidget* root, const QString& objectName)
{
    if (T* found = root->findChild<T*>(objectName))
        return found;
    for (QGraphicsView* view : root->findChildren<QGraphicsView*>()) {
        if (!view->scene())
            continue;
        for (QGraphicsItem* item : view->scene()->items()) {
            auto* proxy = dynamic_cast<QGraphicsProxyWidget*>(item);
            if (!proxy || !proxy->widget())
                continue;
            if (proxy->widget()->objectName() == objectName)
                if (T* widget = qobject_cast<T*>(proxy->widget()))
                    return widget;
            if (T* found = proxy->widget()->findChild<T*>(objectName))
                return found;
        }
    }
    return nullptr;
}
