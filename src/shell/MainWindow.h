#pragma once

#include <QJsonObject>
#include <QJsonValue>
#include <QMainWindow>

#include <memory>

class QNetworkAccessManager;
class QStackedWidget;
class PersistentCookieJar;
class CredentialStore;
class RealtimeChannel;
class VoiceChatManager;
class VoiceMemberControls;
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
    void connectVoiceControls();
    void startChatRefreshTimer();
    void trackUnreadMessages();
    void sendSessionCheck();

    void showSignedIn(const QJsonObject& user);
    void onLoginSucceeded(const QJsonObject& user);
    void rememberOwnUserName(const QString& userName);
    void showProfileButtonAvatarFromServer(const QString& fileName);
    void enableEscapeToHome();
    void logOut();

    void openPublicProfile(const QString& userName);
    void clickChatButtonAutomatically();
    void dispatchRealtimeEvent(const QString& eventName, const QJsonValue& data);

    QNetworkAccessManager* m_network = nullptr;
    PersistentCookieJar* m_cookieJar = nullptr;
    std::unique_ptr<CredentialStore> m_credentials;
    RealtimeChannel* m_channel = nullptr;
    VoiceChatManager* m_voice = nullptr;
    std::unique_ptr<VoiceMemberControls> m_voiceControls;

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
