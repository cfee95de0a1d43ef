#pragma once

#include <QJsonObject>
#include <QMainWindow>

#include <memory>

class QNetworkAccessManager;
class QStackedWidget;
class PersistentCookieJar;
class CredentialStore;
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
    void connectNavigation();
    void startChatRefreshTimer();
    void sendSessionCheck();
    void showSignedIn(const QJsonObject& user);
    void onLoginSucceeded(const QJsonObject& user);
    void showProfileButtonAvatarFromServer(const QString& fileName);
    void enableEscapeToHome();
    void logOut();

    QNetworkAccessManager* m_network = nullptr;
    PersistentCookieJar* m_cookieJar = nullptr;
    std::unique_ptr<CredentialStore> m_credentials;

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
};
