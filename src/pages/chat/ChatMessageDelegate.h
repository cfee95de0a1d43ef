#pragma once

#include <QCache>
#include <QFont>
#include <QHash>
#include <QStyledItemDelegate>

class ChatMessageModel;
class QTextLayout;
struct ChatMessage;

// Paints the chat rows of a ChatMessageModel: the welcome line, then each message
// as its sender in capitals, the text in a bubble (own messages right-aligned in
// violet, others left-aligned in grey) and its time; in highlight mode own rows
// span the width, carry the "YOUR MESSAGE" badge and a pink frame that pulses with
// the glow level. Text is always plain; long texts are cut at kMaxShownChars.
// Bubble sizes and text layouts are measured once per row and width and cached.
class ChatMessageDelegate : public QStyledItemDelegate
{
    Q_OBJECT

public:
    explicit ChatMessageDelegate(const ChatMessageModel* model, QObject* parent = nullptr);
    ~ChatMessageDelegate() override;

    static constexpr int kMaxShownChars = 4000;
    static constexpr int kCachedLayouts = 300;

    void setGlowLevel(double level) { m_glowLevel = level; }
    double glowLevel() const { return m_glowLevel; }

    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override;
    void paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const override;

    // The text as laid out: at most kMaxShownChars characters, then an ellipsis.
    static QString shownText(const QString& text);

private:
    struct RowGeometry
    {
        QRect frame;
        QRect sender;
        QRect badge;
        QRect bubble;
        QRect time;
        int bottom = 0;
    };

    RowGeometry rowGeometry(const QRect& item, const ChatMessage& message, bool own, bool highlighted,
                            int availableWidth) const;
    // Width of a row's content, and of the text inside its bubble.
    static int rowContentWidth(int availableWidth, bool highlighted);
    static int textWidth(int availableWidth, bool highlighted);
    QSize bubbleSize(const ChatMessage& message, int innerWidth) const;
    QTextLayout* textLayout(const ChatMessage& message, int innerWidth) const;
    int availableWidth(const QStyleOptionViewItem& option) const;
    QString senderText(const ChatMessage& message, int width) const;

    void paintWelcome(QPainter* painter, const QRect& item) const;
    void paintHighlightFrame(QPainter* painter, const QRect& frame) const;
    void paintBadge(QPainter* painter, const QRect& badge) const;
    void paintBubble(QPainter* painter, const QRect& bubble, bool own, bool selected) const;

    const ChatMessageModel* m_model;
    QFont m_senderFont;
    QFont m_textFont;
    QFont m_timeFont;
    QFont m_badgeFont;
    QFont m_welcomeFont;
    int m_senderHeight;
    int m_timeHeight;
    int m_welcomeHeight;
    QSize m_badgeSize;
    double m_glowLevel = 0.0;
    // Keyed by the row's serial and the text width.
    mutable QHash<quint64, QSize> m_bubbleSizes;
    mutable QCache<quint64, QTextLayout> m_layouts;
};
