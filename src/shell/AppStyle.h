#pragma once

#include <QString>

class QWidget;

namespace AppStyle {

// The window-wide style sheet: dark violet cards, neon accents, "Times New Roman".
QString styleSheet();
// Window background, text colour and font of the whole window.
void applyPalette(QWidget* window);

}  // namespace AppStyle
