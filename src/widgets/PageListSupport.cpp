#include "widgets/PageListSupport.h"

#include <QCoreApplication>
#include <QLabel>
#include <QLayout>
#include <QPainter>
#include <QPainterPath>
#include <QScrollArea>
#include <QScrollBar>
#include <QWidget>

#include <algorithm>

namespace pagelist {

void clearLayout(QLayout* layout)
{
    if (!layout)
        return;
    while (QLayoutItem* item = layout->takeAt(0)) {
        // Hidden at once: a deferred delete can wait past the next paint.
        if (QWidget* widget = item->widget()) {
            widget->hide();
            widget->deleteLater();
        }
        delete item;
    }
}

void scrollToItem(QScrollArea* scrollArea, QWidget* item)
{
    if (!scrollArea || !item)
        return;
    QWidget* content = scrollArea->widget();
    if (!content || !content->isAncestorOf(item))
        return;
    // Pending layout requests first, so the scroll range is current.
    QCoreApplication::sendPostedEvents(nullptr, QEvent::LayoutRequest);
    for (QWidget* widget = item; widget; widget = widget->parentWidget()) {
        if (QLayout* layout = widget->layout())
            layout->activate();
        if (widget == content)
            break;
    }
    const int y = item->mapTo(content, QPoint(0, 0)).y();
    scrollArea->verticalScrollBar()->setValue(std::max(y - 20, 0));
}

void scrollToOffset(QScrollArea* scrollArea, QWidget* item, int y)
{
    if (!scrollArea || !item || !scrollArea->widget() || !scrollArea->widget()->isAncestorOf(item))
        return;
    QCoreApplication::sendPostedEvents(nullptr, QEvent::LayoutRequest);
    if (QLayout* layout = scrollArea->widget()->layout())
        layout->activate();
    const int top = item->mapTo(scrollArea->widget(), QPoint(0, y)).y();
    scrollArea->verticalScrollBar()->setValue(std::max(top - 20, 0));
}

QString capped(const QString& text, int maxChars)
{
    if (text.size() <= maxChars)
        return text;
    qsizetype cut = maxChars - 1;
    if (cut > 0 && text.at(cut).isLowSurrogate())
        --cut;  // never half a character
    return text.left(cut) + QChar(0x2026);
}

void setFullTextTip(QLabel* label, const QString& fullText)
{
    if (fullText.size() > kMaxNameChars)
        label->setToolTip(QStringLiteral("<span>%1</span>").arg(capped(fullText, kMaxTipChars).toHtmlEscaped()));
}

}  // namespace pagelist
