#pragma once

#include <QJsonObject>
#include <QWidget>

#include <functional>

class QFrame;
class KeyedListModel;
class WindowedRows;
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
    // The directory (three columns) and the online panel's list.
    WindowedRows* membersGrid() const { return m_grid; }
    WindowedRows* onlineList() const { return m_onlineList; }
    KeyedListModel* membersModel() const { return m_members; }
    KeyedListModel* onlineModel() const { return m_online; }

private:
    QWidget* buildDirectory();
    QWidget* buildOnlinePanel();
    void applyReply(const ServerReply& reply);
    int cardHeight(bool compact);
    QFrame* buildMemberCard(const QJsonObject& member, QWidget* parent, bool compact);
    void loadCardAvatar(QLabel* avatarLabel, const QString& fileName);
    // The voice button of a member in the voice room, after the status text.
    void addVoiceRoomIndicator(QHBoxLayout* statusRow, QWidget* parent, const QString& userName);

    QNetworkAccessManager* m_network;
    OpenProfile m_openProfile;
    bool m_loading = false;
    VoiceControlFactory m_voiceControlFactory;
    QLabel* m_statusLabel = nullptr;
    QLabel* m_countBadge = nullptr;
    QLabel* m_onlineCountBadge = nullptr;
    KeyedListModel* m_members = nullptr;
    KeyedListModel* m_online = nullptr;
    WindowedRows* m_grid = nullptr;
    WindowedRows* m_onlineList = nullptr;
    QLabel* m_noneOnline = nullptr;
    int m_fullHeight = 0;
    int m_compactHeight = 0;
};
