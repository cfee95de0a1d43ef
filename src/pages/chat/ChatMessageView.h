#pragma once

#include <QListView>
#include <QPersistentModelIndex>

class ChatMessageDelegate;
class ChatMessageModel;
class QVariantAnimation;

// The chat's message list. It keeps its place while the model changes: at the
// bottom it follows new rows, anywhere else the row at the top stays where it
// is. Highlighted rows pulse; "Copy text" in the context menu and Ctrl+C copy
// whole message texts.
class ChatMessageView : public QListView
{
    Q_OBJECT

public:
    explicit ChatMessageView(ChatMessageModel* model, QWidget* parent = nullptr);

    static constexpr int kPulseMs = 3600;

    ChatMessageDelegate* messageDelegate() const { return m_delegate; }
    bool isAtBottom() const;
    // Scrolls so that the row's message starts `margin` pixels below the top.
    void scrollToRowTop(int row, int margin);
    void scrollToEnd();
    void setPulsing(bool pulsing);
    // The texts of the selected messages, top to bottom, one per line.
    QString selectedText() const;

public slots:
    void doItemsLayout() override;

protected:
    void contextMenuEvent(QContextMenuEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;

private:
    void rememberPosition();
    void repaintHighlightedRows();

    ChatMessageModel* m_model;
    ChatMessageDelegate* m_delegate;
    QVariantAnimation* m_pulse;
    bool m_pulsing = false;
    bool m_positionRemembered = false;
    bool m_followBottom = false;
    QPersistentModelIndex m_anchor;
    int m_anchorTop = 0;
};
