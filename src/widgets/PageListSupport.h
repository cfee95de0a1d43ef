#pragma once

#include <QPixmap>

class QLabel;
class QLayout;
class QString;
class QScrollArea;
class QWidget;

// Helpers shared by the pages whose lists are rebuilt from every reply.
namespace pagelist {

// Takes every item out of the layout from index 0 on, schedules its widget for
// deletion (deferred) and deletes the item.
void clearLayout(QLayout* layout);

// Brings item to the top of the scroll area's view, 20 pixels above its top edge
// (never above 0). The layouts from the item up to the content widget are
// activated first so that the geometry is current.
void scrollToItem(QScrollArea* scrollArea, QWidget* item);

// Shows the item's offset y (in `item`'s coordinates) at the top of the scroll
// area's view, 20 pixels above it (never above 0).
void scrollToOffset(QScrollArea* scrollArea, QWidget* item, int y);

// Server texts are shown up to a cap, so that none costs more than a screenful
// to lay out: names to kMaxNameChars, longer texts to what their page allows.
inline constexpr int kMaxNameChars = 64;
inline constexpr int kMaxTipChars = 512;
QString capped(const QString& text, int maxChars);
// The full text (itself capped) as tool tip, when the label shows less of it.
void setFullTextTip(QLabel* label, const QString& fullText);


}  // namespace pagelist
