#pragma once

#include <QFrame>

class QHBoxLayout;
class QJsonObject;
class QLabel;
class QPushButton;

// One idea of the feed ("desktopIdeaCard"): the author row (with the "YOUR IDEA"
// badge on a highlighted card), the title, the text and the row of actions. Every
// server text is shown as plain text, capped.
class IdeaCard : public QFrame
{
    Q_OBJECT

public:
    static constexpr int kAvatarSize = 38;
    static constexpr int kMaxTitleChars = 300;
    static constexpr int kMaxTextChars = 4000;

    IdeaCard(const QJsonObject& idea, bool highlighted, QWidget* parent = nullptr);

    bool isHighlighted() const { return m_highlighted; }
    QPushButton* likeButton() const { return m_likeButton; }
    QLabel* avatarLabel() const { return m_avatar; }

    // Shows the like state the server answered.
    static void showLike(QPushButton* likeButton, bool liked, int count);

private:
    QWidget* buildAuthorRow(const QJsonObject& idea);
    QWidget* buildActions(const QJsonObject& idea);
    void addActionButton(QPushButton* button, const QSize& size, const QColor& glowColor, QHBoxLayout* actionsRow);

    bool m_highlighted;
    QLabel* m_avatar = nullptr;
    QPushButton* m_likeButton = nullptr;
};
