#pragma once

#include <QColor>
#include <QDateTime>
#include <QFrame>
#include <QJsonObject>

class QLabel;
class QPushButton;
class QGraphicsDropShadowEffect;

// The signed-in page's top bar: logo, the five navigation buttons, the profile
// button and the profile link with the member's name and status.
class NavigationBar : public QFrame
{
    Q_OBJECT

public:
    explicit NavigationBar(QWidget* parent = nullptr);

    QPushButton* homeButton() const { return m_homeButton; }
    QPushButton* chatButton() const { return m_chatButton; }
    QPushButton* ideasButton() const { return m_ideasButton; }
    QPushButton* gamesButton() const { return m_gamesButton; }
    QPushButton* membersButton() const { return m_membersButton; }
    QPushButton* profileButton() const { return m_profileButton; }
    QPushButton* profileLink() const { return m_profileLink; }
    // The bell that turns desktop notifications on (checked) and off.
    QPushButton* notificationsButton() const { return m_notificationsButton; }

    // Shows the user object's name, status text and status colour.
    void applyUser(const QJsonObject& user);

    // While the real-time channel is lost the status reads "Reconnecting…" in
    // grey, with the next attempt in its tool tip (none: trying now); then the
    // member's own status comes back.
    void showReconnecting(bool reconnecting, const QDateTime& nextAttempt = {});

    // The profile button shows the round picture or, without one, the name's initial.
    void setProfilePicture(const QPixmap& circularPicture, const QString& userName);

    QString userName() const;
    QString statusText() const;

private:
    QWidget* buildLogo();
    QPushButton* addNavigationButton(const QString& text);
    QPushButton* buildProfileLink();
    void showStatus(const QString& text, QColor colour);
    QPushButton* buildNotificationsButton();

    QPushButton* m_homeButton = nullptr;
    QPushButton* m_chatButton = nullptr;
    QPushButton* m_ideasButton = nullptr;
    QPushButton* m_gamesButton = nullptr;
    QPushButton* m_membersButton = nullptr;
    QPushButton* m_profileButton = nullptr;
    QPushButton* m_profileLink = nullptr;
    QPushButton* m_notificationsButton = nullptr;
    QLabel* m_nameLabel = nullptr;
    QLabel* m_statusDot = nullptr;
    QLabel* m_statusLabel = nullptr;
    QGraphicsDropShadowEffect* m_statusGlow = nullptr;
    QString m_memberStatus;
    bool m_reconnecting = false;
};
