#pragma once

#include <QString>

class QLabel;
class QWidget;

// Bounds what a server string may cost on screen: names are shortened to a
// display length (the full name, itself capped, goes to the tool tip), long
// texts are cut at a cap with an ellipsis.
class DisplayText
{
public:
    static constexpr int kNameLength = 32;
    static constexpr int kToolTipLength = 256;
    static constexpr int kStatusLength = 24;
    static constexpr int kLongTextLength = 2000;

    // The text cut to at most `maxLength` characters, the last being "…" when cut.
    static QString capped(const QString& text, int maxLength);
    // Shows a name in the label: shortened, with the longer form in its tool tip.
    static void setName(QLabel* label, const QString& name, int maxLength = kNameLength);
    // Shows a long text in the label, cut at kLongTextLength.
    static void setLongText(QLabel* label, const QString& text);
    // A label that shows its text as plain text, named for the style sheets.
    static QLabel* plainLabel(const QString& text, const QString& objectName, QWidget* parent);
};
