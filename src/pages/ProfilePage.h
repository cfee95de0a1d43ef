#pragma once

#include <QJsonObject>
#include <QWidget>

class QLabel;
class QNetworkAccessManager;
class QPushButton;
class CircularProfileAvatar;
struct ServerReply;

// The member's own profile: the card with avatar, name, status, description,
// details, statistics and the Edit and Logout actions.
class ProfilePage : public QWidget
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

signals:
    // A profile reply was applied; `user` is its user object.
    void profileLoaded(const QJsonObject& user);

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
};
