#pragma once

#include <QPixmap>
#include <QPushButton>

// A push button whose text is a single colour emoji ("🎙", "🔊", "🎧"...).
//
// Qt 6.4 draws colour emoji through a shared glyph cache that, once the window
// has shown enough other text, sometimes hands back an empty glyph for a new
// emoji: the button then shows a blank face. This button draws the emoji from
// the emoji font's own bitmap instead, which does not go through that cache.
// Text that is not a single colour emoji is drawn as usual.
class EmojiPushButton : public QPushButton
{
    Q_OBJECT

public:
    explicit EmojiPushButton(const QString& text, QWidget* parent = nullptr);

    // The colour picture of `text` at `pixelSize` logical pixels, or a null
    // pixmap when the text is not one emoji of the colour emoji font.
    static QPixmap emojiPixmap(const QString& text, int pixelSize, qreal devicePixelRatio);

protected:
    void paintEvent(QPaintEvent* event) override;
};
