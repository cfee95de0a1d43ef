#pragma once

#include <QJsonObject>
#include <QWidget>

#include <functional>

class QFrame;
class QGridLayout;
class QHBoxLayout;
class QLabel;
class QNetworkAccessManager;
class QVBoxLayout;
struct ServerReply;

// The members directory: every member as a card in a three-column grid, and the
// members who are online repeated as compact cards in a side panel. Clicking a
// card opens that member's public profile through the shared callback.
class MembersPage : public QWidget
{
    Q_OBJECT

public:
    using OpenProfile = std::function<void(const QString&)>;

    MembersPage(QNetworkAccessManager* network, OpenProfile openProfile, QWidget* parent = nullptr);

    // Reloads the directory, unless a load is already in flight (then nothing happens).
    void loadMembers();

    // Builds the voice button shown on the cards of members in the voice room.
    using VoiceControlFactory = std::function<QWidget*(const QString& userName, QWidget* parent)>;
    void setVoiceControlFactory(VoiceControlFactory factory) { m_voiceControlFactory = std::move(factory); }
    bool isLoading() const { return m_loading; }

    QLabel* statusLabel() const { return m_statusLabel; }
    QLabel* countBadge() const { return m_countBadge; }
    QLabel* onlineCountBadge() const { return m_onlineCountBadge; }
    QGridLayout* membersGrid() const { return m_grid; }
    QVBoxLayout* onlineList() const { return m_onlineList; }

private:
    QWidget* buildDirectory();
    QWidget* buildOnlinePanel();
    void applyReply(const ServerReply& reply);
    QFrame* buildMemberCard(const QJsonObject& member, QWidget* parent, bool compact);
    void loadCardAvatar(QLabel* avatarLabel, const QString& fileName);
    // Where the voice-room indicator of a member in voice will go; the voice
    // controls do not exist yet, so this adds nothing for now.
    void addVoiceRoomIndicator(QHBoxLayout* statusRow, const QString& userName);

    QNetworkAccessManager* m_network;
    OpenProfile m_openProfile;
    bool m_loading = false;
    VoiceControlFactory m_voiceControlFactory;
    QLabel* m_statusLabel = nullptr;
    QLabel* m_countBadge = nullptr;
    QLabel* m_onlineCountBadge = nullptr;
    QGridLayout* m_grid = nullptr;
    QVBoxLayout* m_onlineList = nullptr;
};
