#include "shell/MainWindow.h"

#include "pages/AvatarSelectionPage.h"
#include "pages/ChatPage.h"
#include "pages/GamesPage.h"
#include "pages/IdeasPage.h"
#include "pages/LoginPage.h"
#include "pages/MembersPage.h"
#include "pages/ProfilePage.h"
#include "pages/PublicProfilePage.h"
#include "session/CredentialStore.h"
#include "session/PersistentCookieJar.h"
#include "session/ServerApi.h"
#include "session/ServerEndpoints.h"
#include "shell/AppStyle.h"
#include "shell/HomeContent.h"
#include "shell/NavigationBar.h"
#include "widgets/CircularAvatar.h"

#include <QMenuBar>
#include <QNetworkAccessManager>
#include <QNetworkCookie>
#include <QPushButton>
#include <QShortcut>
#include <QStackedWidget>
#include <QStatusBar>
#include <QTimer>
#include <QVBoxLayout>

namespace {
constexpr int kChatRefreshIntervalMs = 60000;
constexpr int kProfileButtonAvatarSize = 42;
constexpr int kLogoutTimeoutMs = 10000;
}

MainWindow::MainWindow(QWidget* parent)
    : QMainWindow(parent)
    , m_credentials(CredentialStore::createPlatformStore())
{
    m_network = new QNetworkAccessManager(this);
    setUpBaseWindow();

    m_cookieJar = new PersistentCookieJar(m_network);
    m_cookieJar->loadCookies();
    m_network->setCookieJar(m_cookieJar);

    setWindowTitle(QStringLiteral("MoonLodge"));
    resize(1200, 750);
    setMinimumSize(900, 600);

    buildPageStacks();
    connectNavigation();
    startChatRefreshTimer();
    m_outerStack->addWidget(m_signedInShell);
    sendSessionCheck();
    connect(m_profilePage->logoutButton(), &QPushButton::clicked, this, &MainWindow::logOut);

    AppStyle::applyPalette(this);
    setStyleSheet(AppStyle::styleSheet());
}

MainWindow::~MainWindow() = default;

void MainWindow::setUpBaseWindow()
{
    resize(800, 600);
    auto* central = new QWidget(this);
    central->setObjectName(QStringLiteral("centralwidget"));
    setCentralWidget(central);
    auto* menu = new QMenuBar(this);
    menu->setObjectName(QStringLiteral("menubar"));
    menu->setGeometry(0, 0, 800, 21);
    setMenuBar(menu);
    auto* status = new QStatusBar(this);
    status->setObjectName(QStringLiteral("statusbar"));
    setStatusBar(status);
    setWindowTitle(QStringLiteral("MainWindow"));
    statusBar()->hide();
}

void MainWindow::buildPageStacks()
{
    auto* central = new QWidget(this);
    auto* centralLayout = new QVBoxLayout(central);
    centralLayout->setContentsMargins(0, 0, 0, 0);
    centralLayout->setAlignment(Qt::Alignment());
    m_outerStack = new QStackedWidget(central);
    centralLayout->addWidget(m_outerStack);
    setCentralWidget(central);

    m_loginPage = new LoginPage(m_network, m_credentials.get(), m_outerStack);
    m_outerStack->addWidget(m_loginPage);
    m_outerStack->setCurrentWidget(m_loginPage);

    m_signedInShell = buildSignedInShell();
}

QWidget* MainWindow::buildSignedInShell()
{
    auto* shell = new QWidget(m_outerStack);
    shell->setObjectName(QStringLiteral("homePage"));
    auto* layout = new QVBoxLayout(shell);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);

    m_navigationBar = new NavigationBar(shell);
    layout->addWidget(m_navigationBar);

    m_innerStack = new QStackedWidget(shell);
    layout->addWidget(m_innerStack, 1);

    m_homeContent = new HomeContent(m_innerStack);
    m_innerStack->addWidget(m_homeContent);
    m_innerStack->setCurrentWidget(m_homeContent);

    m_avatarSelectionPage = new AvatarSelectionPage(m_innerStack);
    m_profilePage = new ProfilePage(m_network, m_innerStack);
    m_chatPage = new ChatPage(m_innerStack);
    m_ideasPage = new IdeasPage(m_innerStack);
    m_gamesPage = new GamesPage(m_innerStack);
    m_membersPage = new MembersPage(m_innerStack);
    m_publicProfilePage = new PublicProfilePage(m_innerStack);
    for (QWidget* page : {static_cast<QWidget*>(m_avatarSelectionPage), static_cast<QWidget*>(m_profilePage),
                          static_cast<QWidget*>(m_chatPage), static_cast<QWidget*>(m_ideasPage),
                          static_cast<QWidget*>(m_gamesPage), static_cast<QWidget*>(m_membersPage),
                          static_cast<QWidget*>(m_publicProfilePage)})
        m_innerStack->addWidget(page);
    return shell;
}

void MainWindow::connectNavigation()
{
    NavigationBar* bar = m_navigationBar;
    auto showPage = [this](QWidget* page) { return [this, page] { m_innerStack->setCurrentWidget(page); }; };

    connect(m_loginPage, &LoginPage::loginSucceeded, this, &MainWindow::onLoginSucceeded);
    connect(bar->profileLink(), &QPushButton::clicked, bar->profileButton(), &QPushButton::click);
    connect(bar->homeButton(), &QPushButton::clicked, this, showPage(m_homeContent));
    connect(bar->profileButton(), &QPushButton::clicked, this, [this] {
        m_innerStack->setCurrentWidget(m_profilePage);
        m_profilePage->loadOwnProfile();
    });
    connect(m_profilePage, &ProfilePage::profileLoaded, m_navigationBar, &NavigationBar::applyUser);
    connect(bar->chatButton(), &QPushButton::clicked, this, showPage(m_chatPage));
    connect(bar->ideasButton(), &QPushButton::clicked, this, showPage(m_ideasPage));
    connect(bar->gamesButton(), &QPushButton::clicked, this, showPage(m_gamesPage));
    connect(bar->membersButton(), &QPushButton::clicked, this, showPage(m_membersPage));
}

void MainWindow::startChatRefreshTimer()
{
    auto* timer = new QTimer(this);
    timer->setInterval(kChatRefreshIntervalMs);
    connect(timer, &QTimer::timeout, this, [this] {
        if (m_innerStack->currentWidget() != m_chatPage)
            return;
        m_chatPage->setProperty("automaticChatRefresh", true);
        m_navigationBar->chatButton()->click();
    });
    timer->start();
}

void MainWindow::sendSessionCheck()
{
    RequestOptions options;
    options.acceptJson = true;
    QNetworkReply* reply = ServerApi::get(*m_network, ServerEndpoints::url(ServerEndpoints::kProfile), options);
    ServerApi::onFinished(reply, this, [this](const ServerReply& result) {
        // An expired or missing session simply leaves the login page showing.
        if (result.hasError() || !result.isJsonObject || !result.succeeded())
            return;
        showSignedIn(result.json.value(QLatin1String("user")).toObject());
    });
}

void MainWindow::showSignedIn(const QJsonObject& user)
{
    const QString userName = user.value(QLatin1String("username")).toString();
    m_navigationBar->applyUser(user);
    m_homeContent->setUserName(userName);

    const QString image = user.value(QLatin1String("profile_image")).toString();
    QPixmap picture;
    if (!image.isEmpty())
        picture.load(QStringLiteral(":/avatar/") + image);
    m_navigationBar->setProfilePicture(
        picture.isNull() ? QPixmap() : circularAvatar(picture, kProfileButtonAvatarSize), userName);

    m_innerStack->setCurrentWidget(m_homeContent);
    m_outerStack->setCurrentWidget(m_signedInShell);
}

void MainWindow::onLoginSucceeded(const QJsonObject& user)
{
    enableEscapeToHome();
    m_navigationBar->applyUser(user);
    const QString userName = user.value(QLatin1String("username")).toString();
    m_navigationBar->setProfilePicture(QPixmap(), userName);
    const QString image = user.value(QLatin1String("profile_image")).toString();
    if (!image.isEmpty())
        showProfileButtonAvatarFromServer(image);
    m_homeContent->setUserName(userName);
    m_outerStack->setCurrentWidget(m_signedInShell);
}

void MainWindow::showProfileButtonAvatarFromServer(const QString& fileName)
{
    QNetworkReply* reply = ServerApi::get(*m_network, ServerEndpoints::avatarUrl(fileName));
    ServerApi::onFinished(reply, m_navigationBar, [this](const ServerReply& result) {
        QPixmap picture;
        if (result.hasError() || !picture.loadFromData(result.body))
            return;
        m_navigationBar->setProfilePicture(circularAvatar(picture, kProfileButtonAvatarSize), QString());
    });
}

void MainWindow::enableEscapeToHome()
{
    if (m_signedInShell->findChild<QShortcut*>(QStringLiteral("escapeToHome")))
        return;
    auto* shortcut = new QShortcut(QKeySequence(Qt::Key_Escape), m_signedInShell);
    shortcut->setObjectName(QStringLiteral("escapeToHome"));
    shortcut->setContext(Qt::WidgetWithChildrenShortcut);
    connect(shortcut, &QShortcut::activated, this, [this] { m_innerStack->setCurrentWidget(m_homeContent); });
}

void MainWindow::logOut()
{
    QPushButton* logoutButton = m_profilePage->logoutButton();
    logoutButton->setEnabled(false);

    RequestOptions options;
    options.followRedirects = false;
    options.timeoutMs = kLogoutTimeoutMs;
    QNetworkReply* reply = ServerApi::get(*m_network, ServerEndpoints::url(ServerEndpoints::kLogout), options);
    // Whatever the server says, or if it never answers, the session ends here.
    ServerApi::onFinished(reply, this, [this, logoutButton](const ServerReply&) {
        m_cookieJar->setAllCookies({});
        m_cookieJar->saveCookies();
        logoutButton->setEnabled(true);
        m_outerStack->setCurrentWidget(m_loginPage);
        m_loginPage->prepareForNextLogin();
    });
}
