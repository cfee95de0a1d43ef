#pragma once

#include "realtime/RealtimeChannel.h"

#include <QJsonObject>
#include <QJsonValue>
#include <QMainWindow>

class QNetworkAccessManager;
class QStackedWidget;
class PersistentCookieJar;
class CredentialWorker;
class VoiceChatManager;
class VoiceMemberControls;
class VoiceToolbar;
class NavigationBar;
class HomeContent;
class LoginPage;
class AvatarSelectionPage;
class ProfilePage;
class ChatPage;
class IdeasPage;
class GamesPage;
class MembersPage;
class PublicProfilePage;
class IdeasOnlinePanel;
class GamesOnlinePanel;
class UnreadMessages;

// The one window of the client. It builds every page and shared object and
// makes the connections between pages; the pages own their own behaviour.
class MainWindow : public QMainWindow
{
    Q_OBJECT

public:
    explicit MainWindow(QWidget* parent = nullptr);
    ~MainWindow() override;

private:
    void setUpBaseWindow();
    void buildPageStacks();
    QWidget* buildSignedInShell();
    void buildInnerPages();

    void connectNavigation();
    void connectProfileNavigation();
    void connectRealtime();
    void connectConnectionState();
    void showConnectionState(RealtimeChannel::ConnectionState state);
    void leaveVoiceUntilReconnected();
    void connectVoiceControls();
    void connectAudioSettings(VoiceToolbar* voiceToolbar);
    void startChatRefreshTimer();
    void trackUnreadMessages();
    void sendSessionCheck();

    void showSignedIn(const QJsonObject& user);
    void onLoginSucceeded(const QJsonObject& user);
    void rememberOwnUserName(const QString& userName);
    void showProfileButtonAvatarFromServer(const QString& fileName);
    void enableEscapeToHome();
    void startSession();
    void logOut();

    void openPublicProfile(const QString& userName);
    // What the navigation buttons do; leaving a page drops the intent it was opened with.
    // automatic: the periodic refresh or an incoming message, not the member.
    void showChat(bool automatic);
    void showIdeas();
    void showGames();
    void leavePagesOtherThan(QWidget* page);
    void refreshOnIncomingMessage(const QJsonValue& message);
    void refreshPresence();

    QNetworkAccessManager* m_network = nullptr;
    PersistentCookieJar* m_cookieJar = nullptr;
    CredentialWorker* m_credentials = nullptr;
    RealtimeChannel* m_channel = nullptr;
    VoiceChatManager* m_voice = nullptr;
    VoiceMemberControls* m_voiceControls = nullptr;
    VoiceToolbar* m_voiceToolbar = nullptr;
    // Each sign-in and logout starts a new one: late replies of an earlier one are dropped.
    quint64 m_sessionGeneration = 0;
    bool m_loggingOut = false;
    bool m_inVoice = false;
    bool m_voiceMuted = false;
    bool m_rejoinVoice = false;
    bool m_rejoinMuted = false;

    QStackedWidget* m_outerStack = nullptr;
    QStackedWidget* m_innerStack = nullptr;
    NavigationBar* m_navigationBar = nullptr;
    HomeContent* m_homeContent = nullptr;
    QWidget* m_signedInShell = nullptr;

    LoginPage* m_loginPage = nullptr;
    AvatarSelectionPage* m_avatarSelectionPage = nullptr;
    ProfilePage* m_profilePage = nullptr;
    ChatPage* m_chatPage = nullptr;
    IdeasPage* m_ideasPage = nullptr;
    GamesPage* m_gamesPage = nullptr;
    MembersPage* m_membersPage = nullptr;
    PublicProfilePage* m_publicProfilePage = nullptr;
    IdeasOnlinePanel* m_ideasPanel = nullptr;
    GamesOnlinePanel* m_gamesPanel = nullptr;
    UnreadMessages* m_unreadMessages = nullptr;
};
