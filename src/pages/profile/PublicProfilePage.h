#pragma once

#include <QScrollArea>

class QLabel;
class QNetworkAccessManager;
class QPushButton;
class CircularProfileAvatar;
class ProfileArcadeBackground;
struct ServerReply;

// A member's public profile: avatar, name, status, description, statistics and
// the date they joined, read only. Every open counts as a new request; replies
// of earlier opens are ignored.
class PublicProfilePage : public QScrollArea
{
    Q_OBJECT

public:
    explicit PublicProfilePage(QNetworkAccessManager* network, QWidget* parent = nullptr);

    // Shows the page (through showRequested) and loads that member's profile.
    // This is the open-public-profile action shared by every page that lists members.
    void openProfile(const QString& userName);

    int currentRequestId() const { return m_requestId; }

    CircularProfileAvatar* avatar() const { return m_avatar; }
    QLabel* nameLabel() const { return m_nameLabel; }
    QLabel* statusLabel() const { return m_statusLabel; }
    QLabel* descriptionLabel() const { return m_descriptionLabel; }
    QLabel* memberSinceLabel() const { return m_memberSinceLabel; }
    QLabel* infoLabel() const { return m_infoLabel; }
    QLabel* messageCount() const { return m_messageCount; }
    QLabel* ideaCount() const { return m_ideaCount; }
    QLabel* bestScore() const { return m_bestScore; }
    QPushButton* backButton() const { return m_backButton; }

signals:
    // The page wants to be the current page of the content stack.
    void showRequested();
    // "← Back to Members" was clicked.
    void backToMembersRequested();

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    QWidget* buildCard(QWidget* parent);
    QWidget* buildStatistics(QWidget* parent);
    void resetPage(const QString& userName);
    void applyReply(int requestId, const ServerReply& reply);
    void applyAvatar(int requestId, const QString& fileName);

    QNetworkAccessManager* m_network;
    int m_requestId = 0;
    // The page's backdrop, behind the transparent viewport and covering the page.
    ProfileArcadeBackground* m_background = nullptr;
    CircularProfileAvatar* m_avatar = nullptr;
    QLabel* m_nameLabel = nullptr;
    QLabel* m_statusLabel = nullptr;
    QLabel* m_descriptionLabel = nullptr;
    QLabel* m_memberSinceLabel = nullptr;
    QLabel* m_infoLabel = nullptr;
    QLabel* m_messageCount = nullptr;
    QLabel* m_ideaCount = nullptr;
    QLabel* m_bestScore = nullptr;
    QPushButton* m_backButton = nullptr;
};
