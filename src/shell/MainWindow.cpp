#include "shell/MainWindow.h"

#include "app/LogCategories.h"
#include "pages/profile/AvatarSelectionPage.h"
#include "pages/chat/ChatPage.h"
#include "pages/games/GamesPage.h"
#include "pages/ideas/IdeasPage.h"
#include "pages/login/LoginPage.h"
#include "pages/members/MembersPage.h"
#include "pages/profile/ProfilePage.h"
#include "pages/profile/PublicProfilePage.h"
#include "online/ChatOnlinePanel.h"
#include "online/GamesOnlinePanel.h"
#include "online/IdeasOnlinePanel.h"
#include "realtime/RealtimeChannel.h"
#include "session/AvatarSource.h"
#include "session/CredentialStore.h"
#include "session/CredentialWorker.h"
#include "session/PersistentCookieJar.h"
#include "session/ServerApi.h"
#include "session/ServerEndpoints.h"
#include "shell/AppStyle.h"
#include "shell/HomeContent.h"
#include "shell/NavigationBar.h"
#include "shell/UnreadMessages.h"
#include "voice/AudioDeviceSelector.h"
#include "voice/AudioSettingsPanel.h"
#include "voice/VoiceChatManager.h"
#include "voice/VoiceMemberControls.h"
#include "voice/VoiceMemberRowControl.h"
#include "voice/VoiceToolbar.h"
#include "widgets/avatar/CircularAvatar.h"

#include <QDateTime>
#include <QLabel>
#include <QMenuBar>
#include <QNetworkAccessManager>
#include <QNetworkCookie>
#include <QPushButton>
#include <QShortcut>
#include <QStackedWidget>
#include <QStatusBar>
#include <QTimer>
#include <QVBoxLayout>
#include <QtDebug>

#include <utility>

namespace {
constexpr int kChatRefreshIntervalMs = 60000;
constexpr int kProfileButtonAvatarSize = 42;
constexpr int kLogoutTimeoutMs = 10000;
constexpr int kPresenceRefreshDelayMs = 150;
}

MainWindow::MainWindow(QWidget* parent)
    : QMainWindow(parent)
    , m_credentials(new CredentialWorker(CredentialStore::createPlatformStore(), this))
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
    connectProfileNavigation();
    connectRealtime();
    connectConnectionState();
    connectVoiceControls();
    startChatRefreshTimer();
    trackUnreadMessages();
    m_outerStack->addWidget(m_signedInShell);
    sendSessionCheck();
    connect(m_profilePage->logoutButton(), &QPushButton::clicked, this, &MainWindow::logOut);

    AppStyle::applyPalette(this);
    setStyleSheet(AppStyle::styleSheet());
}

MainWindow::~MainWindow()
{
    // Closing in the middle of a call: the room hears of it while the
    // real-time channel is still there (the pages and the engine go after).
    m_voice->leaveVoice();
}

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

    m_loginPage = new LoginPage(m_network, m_credentials, m_outerStack);
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

    buildInnerPages();
    return shell;
}

void MainWindow::buildInnerPages()
{
    m_avatarSelectionPage = new AvatarSelectionPage(m_innerStack);
    m_profilePage = new ProfilePage(m_network, m_innerStack);

    m_channel = new RealtimeChannel(m_cookieJar, this);
    m_chatPage = new ChatPage(m_network, m_channel, m_innerStack);
    m_voice = new VoiceChatManager(this);
    auto* voiceToolbar = new VoiceToolbar(m_voice);
    m_voiceToolbar = voiceToolbar;
    m_chatPage->setVoiceToolbar(voiceToolbar);
    auto* audioDevices = new AudioDeviceSelector(m_voice, voiceToolbar->audioSettingsPanel(), this);
    connect(voiceToolbar, &VoiceToolbar::audioSettingsAboutToShow, audioDevices,
            &AudioDeviceSelector::refillDeviceLists);
    audioDevices->restoreSavedDevices();
    connectAudioSettings(voiceToolbar);

    m_ideasPage = new IdeasPage(m_network, m_innerStack);
    m_ideasPanel = new IdeasOnlinePanel(m_network);
    m_ideasPage->setOnlinePanel(m_ideasPanel);

    m_gamesPage = new GamesPage(m_network, m_innerStack);
    m_gamesPanel = new GamesOnlinePanel(m_network);
    m_gamesPage->setOnlinePanel(m_gamesPanel);

    auto openProfile = [this](const QString& userName) { openPublicProfile(userName); };
    m_membersPage = new MembersPage(m_network, openProfile, m_innerStack);
    m_publicProfilePage = new PublicProfilePage(m_network, m_innerStack);
    for (OnlinePanel* panel : {static_cast<OnlinePanel*>(m_chatPage->onlinePanel()),
                               static_cast<OnlinePanel*>(m_ideasPanel), static_cast<OnlinePanel*>(m_gamesPanel)})
        panel->setOpenProfile(openProfile);

    for (QWidget* page : {static_cast<QWidget*>(m_avatarSelectionPage), static_cast<QWidget*>(m_profilePage),
                          static_cast<QWidget*>(m_chatPage), static_cast<QWidget*>(m_ideasPage),
                          static_cast<QWidget*>(m_gamesPage), static_cast<QWidget*>(m_membersPage),
                          static_cast<QWidget*>(m_publicProfilePage)})
        m_innerStack->addWidget(page);
}

void MainWindow::connectNavigation()
{
    NavigationBar* bar = m_navigationBar;
    connect(m_loginPage, &LoginPage::loginSucceeded, this, &MainWindow::onLoginSucceeded);
    connect(bar->profileLink(), &QPushButton::clicked, bar->profileButton(), &QPushButton::click);
    connect(bar->homeButton(), &QPushButton::clicked, this, [this] { m_innerStack->setCurrentWidget(m_homeContent); });
    connect(bar->profileButton(), &QPushButton::clicked, this, [this] {
        m_innerStack->setCurrentWidget(m_profilePage);
        m_profilePage->loadOwnProfile();
    });

    connect(bar->chatButton(), &QPushButton::clicked, this, [this] { showChat(false); });
    connect(bar->ideasButton(), &QPushButton::clicked, this, &MainWindow::showIdeas);
    connect(bar->gamesButton(), &QPushButton::clicked, this, &MainWindow::showGames);
    connect(bar->membersButton(), &QPushButton::clicked, this, [this] {
        m_membersPage->loadMembers();
        m_innerStack->setCurrentWidget(m_membersPage);
    });
    for (QPushButton* button : {bar->homeButton(), bar->membersButton(), bar->profileButton()})
        connect(button, &QPushButton::clicked, this, [this] { leavePagesOtherThan(nullptr); });
    // A published idea reloads the feed and the online members as a visit of the page does.
    connect(m_ideasPage, &IdeasPage::ideaPublished, this, [this] {
        m_ideasPanel->reload();
        leavePagesOtherThan(m_ideasPage);
    });
}

void MainWindow::showChat(bool automatic)
{
    // The online members first, then the history.
    m_chatPage->onlinePanel()->reload();
    m_chatPage->reloadHistory(automatic);
    leavePagesOtherThan(m_chatPage);
}

void MainWindow::showIdeas()
{
    m_ideasPage->openIdeasPage();
    m_ideasPanel->reload();
    leavePagesOtherThan(m_ideasPage);
}

void MainWindow::showGames()
{
    m_gamesPage->openGamesPage();
    m_gamesPanel->reload();
    leavePagesOtherThan(m_gamesPage);
}

void MainWindow::leavePagesOtherThan(QWidget* page)
{
    if (page != m_chatPage)
        m_chatPage->clearProfileFlags();
    if (page != m_ideasPage)
        m_ideasPage->clearProfileIntent();
    if (page != m_gamesPage)
        m_gamesPage->clearProfileIntent();
}

void MainWindow::connectProfileNavigation()
{
    NavigationBar* bar = m_navigationBar;
    connect(m_profilePage, &ProfilePage::profileLoaded, m_navigationBar, &NavigationBar::applyUser);
    connect(m_profilePage, &ProfilePage::openOwnMessagesRequested, this, [this] {
        m_chatPage->setOpenMessagesFromProfile(true);
        showChat(false);
    });
    connect(m_profilePage, &ProfilePage::openOwnIdeasRequested, this, [this] {
        m_ideasPage->setOpenFromProfile(true);
        showIdeas();
    });
    connect(m_profilePage, &ProfilePage::openOwnScoreRequested, this, [this] {
        m_gamesPage->setOpenFromProfile(true);
        showGames();
    });
    connect(m_profilePage, &ProfilePage::avatarSelectionRequested, this,
            [this] { m_innerStack->setCurrentWidget(m_avatarSelectionPage); });
    connect(m_avatarSelectionPage, &AvatarSelectionPage::avatarChosen, this,
            [this](const QString&, const QPixmap& picture) {
                m_profilePage->showChosenAvatar(picture);
                m_innerStack->setCurrentWidget(m_profilePage);
            });
    connect(m_avatarSelectionPage, &AvatarSelectionPage::returnToProfileRequested, this,
            [this] { m_innerStack->setCurrentWidget(m_profilePage); });
    connect(m_publicProfilePage, &PublicProfilePage::showRequested, this,
            [this] { m_innerStack->setCurrentWidget(m_publicProfilePage); });
    connect(m_publicProfilePage, &PublicProfilePage::backToMembersRequested, bar->membersButton(),
            &QPushButton::click);
}

void MainWindow::connectRealtime()
{
    connect(m_channel, &RealtimeChannel::leaderboardChanged, m_gamesPage, &GamesPage::reloadLeaderboard);
    connect(m_channel, &RealtimeChannel::presenceChanged, this, &MainWindow::refreshPresence);
    connect(m_channel, &RealtimeChannel::voiceSignalReceived, m_voice, &VoiceChatManager::handleSignalingEvent);
    connect(m_channel, &RealtimeChannel::chatMessageReceived, this, &MainWindow::refreshOnIncomingMessage);
    connect(m_voice, &VoiceChatManager::signalingEventRequested, m_channel, &RealtimeChannel::emitRealtimeEvent);
}

void MainWindow::refreshPresence()
{
    m_gamesPanel->reload();
    QTimer::singleShot(kPresenceRefreshDelayMs, this, [this] { m_chatPage->onlinePanel()->reload(); });
}

void MainWindow::refreshOnIncomingMessage(const QJsonValue& message)
{
    qCDebug(lcRealtime) << "Nuovo messaggio ricevuto in tempo reale.";
    m_unreadMessages->messageReceived(message);
    showChat(true);  // the chat comes forward whatever page was shown
}

void MainWindow::connectConnectionState()
{
    connect(m_channel, &RealtimeChannel::connectionStateChanged, this, &MainWindow::showConnectionState);
    connect(m_voice, &VoiceChatManager::voiceStatusChanged, this, [this](const QString& status) {
        m_inVoice = status == QLatin1String("connected") || status == QLatin1String("muted");
        m_voiceMuted = status == QLatin1String("muted");
        if (m_inVoice)
            m_rejoinVoice = false;  // joined again, by the member or by the rejoin
        // A rejoin ends muted as the member left it, once the join has finished.
        const bool joinEnded = status == QLatin1String("connected") || status == QLatin1String("error");
        if (joinEnded && std::exchange(m_rejoinMuted, false) && status == QLatin1String("connected"))
            QMetaObject::invokeMethod(m_voice, &VoiceChatManager::toggleMute, Qt::QueuedConnection);
    });
}

void MainWindow::showConnectionState(RealtimeChannel::ConnectionState state)
{
    const bool lost = state == RealtimeChannel::ConnectionState::Reconnecting;
    const qint64 nextAttempt = m_channel->nextAttemptAtMs();
    m_navigationBar->showReconnecting(lost,
                                      nextAttempt < 0 ? QDateTime() : QDateTime::fromMSecsSinceEpoch(nextAttempt));
    if (lost && m_inVoice)
        leaveVoiceUntilReconnected();
    if (state != RealtimeChannel::ConnectionState::Ready || !std::exchange(m_rejoinVoice, false))
        return;
    m_voice->joinVoice();
}

void MainWindow::leaveVoiceUntilReconnected()
{
    // The server dropped this member from the room with the connection: leave
    // locally (outside the socket's own signal) and join again once it is back.
    m_inVoice = false;
    m_rejoinVoice = true;
    m_rejoinMuted = m_voiceMuted;
    QMetaObject::invokeMethod(
        this,
        [this] {
            if (!m_rejoinVoice)
                return;
            m_voice->leaveVoice();
            m_voiceToolbar->statusDot()->setToolTip(QStringLiteral("Reconnecting…"));
        },
        Qt::QueuedConnection);
}

void MainWindow::connectVoiceControls()
{
    // The own row is recognised by the signed-in name on the home page.
    m_voiceControls = new VoiceMemberControls(m_voice, [this] { return m_homeContent->userName(); }, this);
    VoiceMemberControls* controls = m_voiceControls;
    m_chatPage->onlinePanel()->setVoiceControlFactory(
        [controls](const QString& userName, QWidget* parent) { return controls->chatPanelControl(userName, parent); });
    auto memberControl = [controls](const QString& userName, QWidget* parent) -> QWidget* {
        return controls->voiceMemberControl(userName, parent);
    };
    m_ideasPanel->setVoiceControlFactory(memberControl);
    m_membersPage->setVoiceControlFactory(memberControl);
    m_gamesPanel->setVoiceControlFactory(
        [controls](const QString& userName, QWidget* parent) { return controls->gamesPanelControl(userName, parent); });
    connect(controls, &VoiceMemberControls::memberVolumeChanged, m_voice, &VoiceChatManager::setMemberVolume);
    connect(m_voice, &VoiceChatManager::memberLinkQualityChanged, controls, &VoiceMemberControls::setLinkQuality);
}

// The audio settings panel drives the engine's processing, speaking threshold,
// push to talk and test tone; the engine feeds back the level and whether the
// member is transmitting. The remembered choices reach the engine at once.
void MainWindow::connectAudioSettings(VoiceToolbar* voiceToolbar)
{
    AudioSettingsPanel* panel = voiceToolbar->audioSettingsPanel();
    connect(panel, &AudioSettingsPanel::audioProcessingChanged, m_voice, &VoiceChatManager::setAudioProcessing);
    connect(panel, &AudioSettingsPanel::speakingThresholdChanged, m_voice, &VoiceChatManager::setSpeakingThreshold);
    connect(panel, &AudioSettingsPanel::pushToTalkEnabledChanged, m_voice, &VoiceChatManager::setPushToTalkEnabled);
    connect(panel, &AudioSettingsPanel::pushToTalkPressedChanged, m_voice, &VoiceChatManager::setPushToTalkPressed);
    connect(panel, &AudioSettingsPanel::microphoneMonitoringChanged, m_voice,
            &VoiceChatManager::setMicrophoneMonitoring);
    connect(m_voice, &VoiceChatManager::microphoneLevelChanged, panel, &AudioSettingsPanel::setMicrophoneLevel);
    connect(panel, &AudioSettingsPanel::testToneRequested, m_voice, &VoiceChatManager::playTestTone);
    connect(m_voice, &VoiceChatManager::transmittingChanged, voiceToolbar, &VoiceToolbar::setTransmitting);
    panel->publishSettings();
}

void MainWindow::openPublicProfile(const QString& userName)
{
    m_publicProfilePage->openProfile(userName);
}

void MainWindow::startChatRefreshTimer()
{
    auto* timer = new QTimer(this);
    timer->setInterval(kChatRefreshIntervalMs);
    connect(timer, &QTimer::timeout, this, [this] {
        if (m_innerStack->currentWidget() == m_chatPage)
            showChat(true);
    });
    timer->start();
}

void MainWindow::trackUnreadMessages()
{
    m_unreadMessages = new UnreadMessages(this, m_chatPage, [this] { return m_homeContent->userName(); }, this);
    m_unreadMessages->attachToggle(m_navigationBar->notificationsButton());
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

void MainWindow::startSession()
{
    ++m_sessionGeneration;
    m_channel->setSessionActive(true);
}

void MainWindow::showSignedIn(const QJsonObject& user)
{
    if (m_loggingOut)
        return;  // a session check answering during a logout
    startSession();
    const QString userName = user.value(QLatin1String("username")).toString();
    m_navigationBar->applyUser(user);
    rememberOwnUserName(userName);

    const QPixmap picture = AvatarSource::builtInAvatar(user.value(QLatin1String("profile_image")).toString());
    m_navigationBar->setProfilePicture(
        picture.isNull() ? QPixmap() : circularAvatar(picture, kProfileButtonAvatarSize), userName);

    m_innerStack->setCurrentWidget(m_homeContent);
    m_outerStack->setCurrentWidget(m_signedInShell);
}

void MainWindow::onLoginSucceeded(const QJsonObject& user)
{
    startSession();
    enableEscapeToHome();
    m_navigationBar->applyUser(user);
    const QString userName = user.value(QLatin1String("username")).toString();
    m_navigationBar->setProfilePicture(QPixmap(), userName);
    const QString image = user.value(QLatin1String("profile_image")).toString();
    if (!image.isEmpty())
        showProfileButtonAvatarFromServer(image);
    rememberOwnUserName(userName);
    m_outerStack->setCurrentWidget(m_signedInShell);
}

void MainWindow::rememberOwnUserName(const QString& userName)
{
    m_homeContent->setUserName(userName);
    m_chatPage->setOwnUserName(userName);
    m_ideasPage->setOwnUserName(userName);
}

void MainWindow::showProfileButtonAvatarFromServer(const QString& fileName)
{
    AvatarSource::resolve(*m_network, fileName, AvatarSource::Lookup::DownloadOnly, m_navigationBar,
                          [this, generation = m_sessionGeneration](const QPixmap& picture) {
                              if (generation != m_sessionGeneration)
                                  return;  // the picture of an earlier sign-in
                              m_navigationBar->setProfilePicture(circularAvatar(picture, kProfileButtonAvatarSize),
                                                                 QString());
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
    m_loggingOut = true;
    ++m_sessionGeneration;

    RequestOptions options;
    options.followRedirects = false;
    options.timeoutMs = kLogoutTimeoutMs;
    QNetworkReply* reply = ServerApi::get(*m_network, ServerEndpoints::url(ServerEndpoints::kLogout), options);
    m_rejoinVoice = false;
    m_voice->leaveVoice();
    m_channel->setSessionActive(false);
    // Whatever the server says, or if it never answers, the session ends here.
    ServerApi::onFinished(reply, this, [this, logoutButton](const ServerReply&) {
        m_cookieJar->setAllCookies({});
        m_cookieJar->saveCookies();
        m_voice->leaveVoice();
        m_channel->setSessionActive(false);  // nothing opened meanwhile survives
        m_loggingOut = false;
        logoutButton->setEnabled(true);
        m_outerStack->setCurrentWidget(m_loginPage);
        m_loginPage->prepareForNextLogin();
    });
}
