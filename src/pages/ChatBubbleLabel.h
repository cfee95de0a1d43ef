#pragma once

#include <QFont>
#include <QLabel>

// The word-wrapped text bubble of a chat message. It is as wide as its text on
// one line, up to its maximum width, and wraps beyond that. Its height for a
// given width is measured at the width it will really get (never more than its
// preferred width), so an aligned bubble in a wider row is never cut short.
class ChatBubbleLabel : public QLabel
{
    Q_OBJECT

public:
    explicit ChatBubbleLabel(const QString& text, QWidget* parent = nullptr);

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;
    int heightForWidth(int width) const override;

private:
    int preferredWidth() const;

    // The preferred width, measured once per font and width limits.
    mutable int m_cachedWidth = -1;
    mutable QFont m_cachedFont;
    mutable int m_cachedMinimum = -1;
    mutable int m_cachedMaximum = -1;
};
