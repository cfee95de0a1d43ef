#include "pages/ChatBubbleLabel.h"

#include <QFontMetrics>

ChatBubbleLabel::ChatBubbleLabel(const QString& text, QWidget* parent)
    : QLabel(parent)
{
    setTextFormat(Qt::PlainText);
    setText(text);
    setWordWrap(true);
}

int ChatBubbleLabel::preferredWidth() const
{
    ensurePolished();
    if (m_cachedWidth >= 0 && m_cachedFont == font() && m_cachedMinimum == minimumWidth()
        && m_cachedMaximum == maximumWidth())
        return m_cachedWidth;

    // Start from the text's one-line width plus the box around it, then widen in
    // small steps until no line wraps any more, or the maximum width is reached.
    constexpr int kUnbounded = 100000;
    constexpr int kStep = 2;
    const QMargins margins = contentsMargins();
    const int textWidth =
        fontMetrics().boundingRect(QRect(0, 0, kUnbounded, kUnbounded), Qt::TextExpandTabs, text()).width();
    const int unwrappedHeight = QLabel::heightForWidth(kUnbounded);
    int width = qBound(minimumWidth(), textWidth + margins.left() + margins.right() + 2 * margin(), maximumWidth());
    while (width < maximumWidth() && QLabel::heightForWidth(width) > unwrappedHeight)
        width = qMin(maximumWidth(), width + kStep);

    m_cachedWidth = width;
    m_cachedFont = font();
    m_cachedMinimum = minimumWidth();
    m_cachedMaximum = maximumWidth();
    return width;
}

QSize ChatBubbleLabel::sizeHint() const
{
    const int width = preferredWidth();
    return QSize(width, QLabel::heightForWidth(width));
}

QSize ChatBubbleLabel::minimumSizeHint() const
{
    return QSize(minimumWidth(), QLabel::minimumSizeHint().height());
}

int ChatBubbleLabel::heightForWidth(int width) const
{
    return QLabel::heightForWidth(qMin(width, preferredWidth()));
}
