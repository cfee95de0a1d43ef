#pragma once

#include <QJsonObject>
#include <QList>
#include <QWidget>

#include "pages/profile/ProfileArcadeBackground.h"

class QFrame;
class QLabel;
class QNetworkAccessManager;
class QPushButton;
class CircularProfileAvatar;
struct ServerReply;

// The member's own profile: the card with avatar, name, status, description,
// details, statistics and the Edit and Logout actions, on the arcade-room backdrop.
class ProfilePage : public ProfileArcadeBackground
{
    Q_OBJECT

public:
    explicit ProfilePage(QNetworkAccessManager* network, QWidget* parent = nullptr);

    // Asks the server for the own profile; every call sends a new request and
    // replies are applied as they arrive.
    void loadOwnProfile();

    QPushButton* editProfileButton() const { return m_editButton; }
    QPushButton* logoutButton() const { return m_logoutButton; }
    CircularProfileAvatar* avatar() const { return m_avatar; }
    // The statistics cards, left to right: messages, ideas, Nebulite best.
    QList<QFrame*> statisticsCards() const { return m_statCards; }

    // Runs the Edit Profile dialog modally (connected to "✏️ Edit Profile"). A
    // successful save reloads the own profile.
    void openEditProfileDialog();

    // Shows a chosen built-in avatar on the round avatar (the server is not told).
    void showChosenAvatar(const QPixmap& picture);

signals:
    // A profile reply was applied; `user` is its user object.
    void profileLoaded(const QJsonObject& user);

    // The statistics cards were clicked: open chat, ideas or games with the
    // member's own items highlighted.
    void openOwnMessagesRequested();
    void openOwnIdeasRequested();
    void openOwnScoreRequested();

    // The round avatar, or "Change avatar" in the edit dialog, was clicked.
    void avatarSelectionRequested();

private:
    QWidget* buildCard();
    QWidget* buildDetails(QWidget* parent);
    QWidget* buildStatusBadge(QWidget* parent);
    QWidget* buildStatistics(QWidget* parent);
    QWidget* buildActions(QWidget* parent);

    void applyReply(const ServerReply& reply);
    void showFailure(const QString& title, const QString& detail);
    void applyUser(const QJsonObject& user);
    void applyAvatar(const QString& fileName);
    void applyStatus(const QString& status);

    QNetworkAccessManager* m_network;
    CircularProfileAvatar* m_avatar = nullptr;
    QLabel* m_userNameLabel = nullptr;
    QLabel* m_statusDot = nullptr;
    QLabel* m_statusLabel = nullptr;
    QLabel* m_descriptionLabel = nullptr;
    QLabel* m_memberSinceLabel = nullptr;
    QLabel* m_emailLabel = nullptr;
    QLabel* m_messageCount = nullptr;
    QLabel* m_ideaCount = nullptr;
    QLabel* m_bestScore = nullptr;
    QPushButton* m_editButton = nullptr;
    QPushButton* m_logoutButton = nullptr;
    QList<QFrame*> m_statCards;
};
