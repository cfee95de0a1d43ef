#include "pages/games/GamesPage.h"

#include "widgets/PageListSupport.h"
#include "pages/games/GameCardHoverEffect.h"
#include "pages/games/GameCardImage.h"
#include "pages/games/GamesArcadeGamepad.h"
#include "pages/games/GamesPinkDivider.h"
#include "pages/games/LeaderboardRowGlow.h"
#include "pages/games/PlayButtonHost.h"
#include "pages/games/WidgetDropShadow.h"
#include "realtime/ReloadCoalescer.h"
#include "session/AvatarSource.h"
#include "session/ServerApi.h"
#include "session/ServerEndpoints.h"
#include "widgets/DisplayText.h"
#include "widgets/KeyedListModel.h"
#include "widgets/WindowedRows.h"
#include "widgets/avatar/CircularAvatar.h"
#include "widgets/effects/EffectSupport.h"
#include "widgets/effects/RgbParticles.h"

#include <QDesktopServices>
#include <QFrame>
#include <QGraphicsDropShadowEffect>
#include <QHBoxLayout>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLabel>
#include <QPushButton>
#include <QScrollArea>
#include <QStackedWidget>
#include <QTimer>
#include <QUrl>
#include <QVBoxLayout>

namespace {


constexpr int kLeaderboardTimeoutMs = 10000;
constexpr int kAvatarTimeoutMs = 10000;
constexpr int kAvatarSize = 44;
constexpr int kScrollDelayMs = 100;
constexpr int kMaxRows = 100000;
constexpr int kMinReloadIntervalMs = 500;
const QString kPlaceKey = QStringLiteral("_place");
const QString kMeKey = QStringLiteral("_me");
const QString kHighlightedKey = QStringLiteral("_highlighted");

QString scoreKey(const QJsonObject& entry)
{
    return entry.value(QLatin1String("username")).toString();
}
const QString kUnableToUpdate = QStringLiteral("Unable to update leaderboard.");
const QString kNoScores = QStringLiteral("No scores yet.");

const QString kPageStyle = QStringLiteral(
    "QWidget#gamesContent, QWidget#gamesMain, QWidget#gamesPinkDivider { background: transparent; }"
    "QLabel#gamesTitle { color: #d8b4fe; font-size: 34px; font-weight: bold; }"
    "QLabel#gamesSubtitle { color: #c4b5fd; font-size: 15px; }"
    "QFrame#nebuliteCard, QFrame#gamesLeaderboard { background-color: rgba(23, 17, 35, 235);"
    " border: 1px solid #2b174f; border-radius: 18px; }"
    "QLabel#nebuliteTitle { color: #f0abfc; font-size: 24px; font-weight: bold; background: transparent; }"
    "QLabel#nebuliteTag { color: #c4b5fd; background-color: rgba(124, 58, 237, 46);"
    " border: 1px solid rgba(167, 139, 250, 89); border-radius: 8px; padding: 3px 10px;"
    " font-size: 10px; font-weight: bold; letter-spacing: 1px; }"
    "QLabel#nebuliteDescription { color: #ddd6fe; font-size: 14px; background: transparent; }"
    "QPushButton#nebulitePlayButton { color: #ffffff; font-weight: bold; font-size: 14px; letter-spacing: 2px;"
    " background: qlineargradient(x1:0, y1:0, x2:1, y2:0, stop:0 #7b2cff, stop:1 #ff2ca8);"
    " border: none; border-radius: 10px; }"
    "QWidget#gamesLeaderboardHeader { background: transparent; }"
    "QLabel#gamesLeaderboardTitle { color: #ddd6fe; font-size: 18px; font-weight: bold; background: transparent; }"
    "QLabel#gamesLeaderboardPill { color: #f0abfc; background-color: rgba(255, 44, 168, 30);"
    " border: 1px solid rgba(255, 114, 198, 120); border-radius: 15px; padding: 0px 14px; font-weight: bold; }"
    "QFrame#gamesLeaderboardSeparator { background-color: rgba(167, 139, 250, 40); border: none; }"
    "QWidget#gamesLeaderboardRows { background: transparent; }"
    "QLabel#gamesLeaderboardStatus { color: #c4b5fd; font-size: 13px; background: transparent; padding: 10px; }");

const QString kYouBadgeStyle = QStringLiteral(
    "color: #ff1493; background-color: rgba(255, 20, 147, 20); border: 1px solid #ff1493;"
    " border-radius: 4px; padding: 2px 6px; font-size: 10px; font-weight: 800;");

}  // namespace

GamesPage::GamesPage(QNetworkAccessManager* network, QWidget* parent)
    : QWidget(parent)
    , m_network(network)
    , m_urlOpener([](const QUrl& url) { QDesktopServices::openUrl(url); })
    , m_leaderboardReloads(new ReloadCoalescer([this] { loadLeaderboard(); }, kMinReloadIntervalMs, this))
{
    setObjectName(QStringLiteral("gamesPage"));
    buildPage();
    loadGameImage();

    // Runs for the life of the page; each tick acts only while the page is visible.
    m_refreshTimer = new QTimer(this);
    m_refreshTimer->setObjectName(QStringLiteral("gamesLeaderboardTimer"));
    m_refreshTimer->setInterval(kRefreshIntervalMs);
    connect(m_refreshTimer, &QTimer::timeout, this, &GamesPage::refreshTick);
    m_refreshTimer->start();
}

void GamesPage::buildPage()
{
    auto* pageLayout = new QVBoxLayout(this);
    pageLayout->setContentsMargins(24, 24, 24, 24);

    m_scrollArea = new QScrollArea(this);
    m_scrollArea->setObjectName(QStringLiteral("gamesScrollArea"));
    m_scrollArea->setWidgetResizable(true);
    m_scrollArea->setFrameShape(QFrame::NoFrame);
    m_scrollArea->setAlignment(Qt::AlignHCenter | Qt::AlignTop);
    m_scrollArea->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    m_scrollArea->setStyleSheet(QStringLiteral("QScrollArea#gamesScrollArea { background: transparent; }"));
    m_scrollArea->viewport()->setAutoFillBackground(false);
    pageLayout->addWidget(m_scrollArea);

    auto* content = new QWidget;
    content->setObjectName(QStringLiteral("gamesContent"));
    // 900 wide where there is room; narrower windows squeeze the main column, never scroll sideways.
    content->setMaximumWidth(900);
    content->setStyleSheet(kPageStyle);
    auto* layout = new QVBoxLayout(content);
    layout->setContentsMargins(20, 75, 20, 45);
    layout->setSpacing(14);

    auto* title = DisplayText::plainLabel(QStringLiteral("MoonLodge Games"), QStringLiteral("gamesTitle"), content);
    title->setAlignment(Qt::AlignCenter);
    auto* subtitle = DisplayText::plainLabel(QStringLiteral("Play together, share your games, discover new worlds 💜"),
                                QStringLiteral("gamesSubtitle"), content);
    subtitle->setAlignment(Qt::AlignCenter);
    layout->addWidget(title);
    layout->addWidget(subtitle);
    layout->addSpacing(20);

    m_columns = new QHBoxLayout;
    m_columns->setSpacing(28);
    auto* main = new QWidget(content);
    main->setObjectName(QStringLiteral("gamesMain"));
    auto* mainLayout = new QVBoxLayout(main);
    mainLayout->setContentsMargins(0, 0, 0, 0);
    mainLayout->setSpacing(0);
    mainLayout->addWidget(buildGameCard(main));
    m_divider = new GamesPinkDivider(main);
    m_divider->setObjectName(QStringLiteral("gamesPinkDivider"));
    mainLayout->addWidget(m_divider);
    mainLayout->addWidget(buildLeaderboard(main));
    m_columns->addWidget(main, 1, Qt::AlignTop);
    layout->addLayout(m_columns);
    layout->addStretch(1);

    m_scrollArea->setWidget(content);
    new WidgetDropShadow(content, 35);
    new GamesArcadeGamepad(m_gameCard, content);
    new RgbParticles(this);
}

QWidget* GamesPage::buildGameCard(QWidget* parent)
{
    auto* card = new QFrame(parent);
    card->setObjectName(QStringLiteral("nebuliteCard"));
    m_gameCard = card;
    auto* layout = new QVBoxLayout(card);
    layout->setContentsMargins(22, 22, 22, 18);
    layout->setSpacing(12);

    m_image = new GameCardImage(card);
    m_image->setObjectName(QStringLiteral("nebuliteImage"));
    m_image->setFixedHeight(200);
    m_image->setAlignment(Qt::AlignCenter);
    m_image->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Fixed);
    layout->addWidget(m_image);

    layout->addWidget(DisplayText::plainLabel(QStringLiteral("Nebulite 💜"), QStringLiteral("nebuliteTitle"), card));

    auto* tags = new QHBoxLayout;
    tags->setSpacing(8);
    tags->addWidget(DisplayText::plainLabel(QStringLiteral("PIXEL ART"), QStringLiteral("nebuliteTag"), card));
    tags->addWidget(DisplayText::plainLabel(QStringLiteral("ARCADE"), QStringLiteral("nebuliteTag"), card));
    tags->addStretch(1);
    layout->addLayout(tags);

    auto* description = DisplayText::plainLabel(
        QStringLiteral("A fast-paced pixel art game where you must survive as long as possible."),
        QStringLiteral("nebuliteDescription"), card);
    description->setWordWrap(true);
    layout->addWidget(description);

    m_playButton = new QPushButton(QStringLiteral("PLAY NEBULITE"), card);
    m_playButton->setObjectName(QStringLiteral("nebulitePlayButton"));
    m_playButton->setCursor(Qt::PointingHandCursor);
    m_playButton->setFixedHeight(38);
    layout->addWidget(m_playButton);
    new PlayButtonHost(m_playButton);  // takes the button's place in the card
    connect(m_playButton, &QPushButton::clicked, this, [this] {
        if (m_urlOpener)
            m_urlOpener(ServerEndpoints::url(QString::fromLatin1(ServerEndpoints::kNebuliteDownload)));
    });

    new GameCardHoverEffect(card);
    return card;
}

QWidget* GamesPage::buildLeaderboard(QWidget* parent)
{
    auto* frame = new QFrame(parent);
    frame->setObjectName(QStringLiteral("gamesLeaderboard"));
    auto* layout = new QVBoxLayout(frame);
    layout->setContentsMargins(22, 22, 22, 22);
    layout->setSpacing(14);

    auto* header = new QWidget(frame);
    header->setObjectName(QStringLiteral("gamesLeaderboardHeader"));
    auto* headerLayout = new QHBoxLayout(header);
    headerLayout->setContentsMargins(0, 0, 0, 0);
    headerLayout->addWidget(DisplayText::plainLabel(QStringLiteral("🏆 Leaderboard"), QStringLiteral("gamesLeaderboardTitle"), header));
    headerLayout->addStretch(1);
    auto* pill = DisplayText::plainLabel(QStringLiteral("Nebulite"), QStringLiteral("gamesLeaderboardPill"), header);
    pill->setFixedHeight(30);
    pill->setAlignment(Qt::AlignCenter);
    headerLayout->addWidget(pill);
    layout->addWidget(header);

    auto* separator = new QFrame(frame);
    separator->setObjectName(QStringLiteral("gamesLeaderboardSeparator"));
    separator->setFixedHeight(1);
    layout->addWidget(separator);

    m_scores = new KeyedListModel(scoreKey, kMaxRows, this);
    m_rowsContainer = new WindowedRows(
        m_scores, [this](const QJsonObject& entry, QWidget* parent) { return buildScoreRow(entry, parent); },
        [this](const QJsonObject& entry, int) { return rowHeight(entry.value(kHighlightedKey).toBool()); }, frame);
    m_rowsContainer->setObjectName(QStringLiteral("gamesLeaderboardRows"));
    m_rowsContainer->setSpacing(0, 9);
    layout->addWidget(m_rowsContainer);

    m_statusLabel = DisplayText::plainLabel(QStringLiteral("Classifica da collegare al server"),
                               QStringLiteral("gamesLeaderboardStatus"), frame);
    m_statusLabel->setAlignment(Qt::AlignCenter);
    m_statusLabel->setWordWrap(true);
    layout->addWidget(m_statusLabel);
    return frame;
}

void GamesPage::setOnlinePanel(QWidget* panel)
{
    if (m_onlinePanel == panel)
        return;
    if (m_onlinePanel) {
        m_columns->removeWidget(m_onlinePanel);
        m_onlinePanel->hide();
    }
    m_onlinePanel = panel;
    if (panel) {
        m_columns->addWidget(panel, 0, Qt::AlignTop);
        panel->show();
    }
}

void GamesPage::setUrlOpener(UrlOpener opener)
{
    m_urlOpener = std::move(opener);
}

void GamesPage::loadGameImage()
{
    QNetworkReply* reply =
        ServerApi::get(*m_network, ServerEndpoints::url(QString::fromLatin1(ServerEndpoints::kNebuliteImage)));
    ServerApi::onFinished(reply, m_image, [this](const ServerReply& result) {
        QPixmap picture;
        if (result.hasError() || !picture.loadFromData(result.body))
            return;  // the image area stays dark
        m_image->setImage(picture.scaled(540, 200, Qt::KeepAspectRatio, Qt::SmoothTransformation));
    });
}

void GamesPage::clearProfileIntent()
{
    m_openFromProfile = false;
    m_highlightMine = false;
    m_focusMine = false;
}

void GamesPage::openGamesPage()
{
    m_highlightMine = m_openFromProfile;
    m_focusMine = m_openFromProfile;
    m_openFromProfile = false;
    reloadLeaderboard();
    if (auto* stack = qobject_cast<QStackedWidget*>(parentWidget()))
        stack->setCurrentWidget(this);
}

void GamesPage::refreshTick()
{
    if (isVisible())
        reloadLeaderboard();
}

void GamesPage::reloadLeaderboard()
{
    m_leaderboardReloads->request();
}

bool GamesPage::leaderboardInFlight() const
{
    return m_leaderboardReloads->inFlight();
}

void GamesPage::loadLeaderboard()
{
    RequestOptions options;
    options.timeoutMs = kLeaderboardTimeoutMs;
    options.maxBodyBytes = RequestOptions::kMaxListBodyBytes;
    QNetworkReply* reply = ServerApi::get(*m_network, ServerEndpoints::url(ServerEndpoints::kLeaderboard), options);
    ServerApi::onFinished(reply, this, [this](const ServerReply& result) {
        renderLeaderboardReply(result);
        m_leaderboardReloads->finished();
    });
}

void GamesPage::showStatus(const QString& text, bool visible)
{
    m_statusLabel->setText(text);
    m_statusLabel->setVisible(visible);
}

void GamesPage::renderLeaderboardReply(const ServerReply& reply)
{
    const QJsonValue board = reply.json.value(QLatin1String("leaderboard"));
    if (reply.hasError() || !reply.isJsonObject || !reply.succeeded() || !board.isArray()) {
        showStatus(kUnableToUpdate, true);
        return;
    }
    const QJsonArray entries = board.toArray();

    const QByteArray fingerprint = QJsonDocument(reply.json).toJson(QJsonDocument::Compact);
    const bool highlight = m_highlightMine;
    if (fingerprint == m_leaderboardFingerprint && highlight == m_rowsHighlighted && !m_focusMine) {
        // Unchanged: keep the rows (and the hover state of the own row).
        if (entries.isEmpty())
            showStatus(kNoScores, true);
        else
            m_statusLabel->setVisible(false);
        return;
    }

    m_leaderboardFingerprint = fingerprint;
    m_rowsHighlighted = highlight;
    showStatus(kNoScores, entries.isEmpty());

    // Place, own and highlight are part of a row's data: a row keeps its widget
    // while none of what it shows changes.
    const QString me = reply.json.value(QLatin1String("username")).toString();
    QList<QJsonObject> rows;
    rows.reserve(std::min<qsizetype>(entries.size(), kMaxRows));
    QString focusKey;
    for (qsizetype i = 0; i < entries.size() && i < kMaxRows; ++i) {
        QJsonObject entry = entries.at(i).toObject();
        const QString name = entry.value(QLatin1String("username")).toString();
        const bool isMe = !name.isEmpty() && name == me;
        const bool highlighted = highlight && isMe;
        entry.insert(kPlaceKey, int(i));
        entry.insert(kMeKey, isMe);
        entry.insert(kHighlightedKey, highlighted);
        if (highlighted && focusKey.isNull())
            focusKey = scoreKey(entry);
        rows.append(entry);
    }
    m_scores->setRows(rows);

    if (!focusKey.isNull() && m_focusMine) {
        m_focusMine = false;
        QTimer::singleShot(kScrollDelayMs, this, [this, focusKey] { scrollToOwnRow(focusKey); });
    }
}

QWidget* GamesPage::buildScoreRow(const QJsonObject& entry, QWidget* parent)
{
    const bool highlighted = entry.value(kHighlightedKey).toBool();
    QWidget* row = buildRow(entry, entry.value(kPlaceKey).toInt(), entry.value(kMeKey).toBool(), highlighted);
    return new LeaderboardRowGlow(row, highlighted, parent);
}

int GamesPage::rowHeight(bool highlighted)
{
    // Names stay on one line, so a probe row of each kind gives every height.
    int& height = highlighted ? m_highlightedRowHeight : m_rowHeight;
    if (height == 0) {
        const QJsonObject probe{{QStringLiteral("username"), QStringLiteral("x")}};
        QWidget* wrapper = new LeaderboardRowGlow(buildRow(probe, 3, highlighted, highlighted), highlighted, this);
        height = wrapper->height();
        delete wrapper;
    }
    return height;
}

QWidget* GamesPage::buildRow(const QJsonObject& entry, int position, bool isMe, bool highlighted)
{
    // Built without a parent: the score wrapper adopts it.
    auto* row = new QFrame;
    row->setObjectName(QStringLiteral("gamesLeaderboardRow"));
    row->setMinimumHeight(58);
    const QString background = isMe ? QStringLiteral("rgba(124, 58, 237, 26)") : QStringLiteral("rgba(255, 255, 255, 6)");
    const QString border = highlighted ? QStringLiteral("#ff1493")
                           : isMe      ? QStringLiteral("rgba(167, 139, 250, 89)")
                                       : QStringLiteral("rgba(167, 139, 250, 26)");
    row->setStyleSheet(
        QStringLiteral("QFrame#gamesLeaderboardRow { background-color: %1; border: 1px solid %2; border-radius: 13px;}"
                       "QLabel { background: transparent; border: none; }")
            .arg(background, border));
    auto* layout = new QHBoxLayout(row);
    layout->setContentsMargins(14, 8, 14, 8);
    layout->setSpacing(12);

    static const QString medals[] = {QStringLiteral("🥇"), QStringLiteral("🥈"), QStringLiteral("🥉")};
    const bool medal = position < 3;
    auto* place = DisplayText::plainLabel(medal ? medals[position] : QString::number(position + 1),
                             QStringLiteral("gamesLeaderboardPlace"), row);
    place->setFixedWidth(42);
    place->setAlignment(Qt::AlignCenter);
    place->setStyleSheet(medal ? QStringLiteral("color: #a78bfa; font-size: 21px;")
                               : QStringLiteral("color: #a78bfa; font-size: 14px;font-weight: bold;"));
    layout->addWidget(place);

    auto* avatar = DisplayText::plainLabel(QStringLiteral("👤"), QStringLiteral("gamesLeaderboardAvatar"), row);
    avatar->setFixedSize(kAvatarSize, kAvatarSize);
    avatar->setAlignment(Qt::AlignCenter);
    layout->addWidget(avatar);
    showRowAvatar(avatar, entry.value(QLatin1String("profile_image")).toString());

    const QString userName = entry.value(QLatin1String("username")).toString();
    auto* name = DisplayText::plainLabel(pagelist::capped(userName, pagelist::kMaxNameChars), QStringLiteral("gamesLeaderboardName"), row);
    pagelist::setFullTextTip(name, userName);
    name->setMinimumWidth(0);
    name->setStyleSheet(QStringLiteral("color: #eeeafb;font-size: 15px;font-weight: bold;"));
    layout->addWidget(name, 1);

    if (highlighted) {
        auto* badge = DisplayText::plainLabel(QStringLiteral("YOU"), QStringLiteral("nebuliteYouBadge"), row);
        badge->setStyleSheet(kYouBadgeStyle);
        QFont badgeFont = badge->font();
        badgeFont.setLetterSpacing(QFont::AbsoluteSpacing, 1.0);
        badge->setFont(badgeFont);
        effects::addGlow(badge, 18, QColor(QStringLiteral("#ff1493")));
        layout->addWidget(badge, 0, Qt::AlignVCenter);
    }

    const qint64 score = entry.value(QLatin1String("best_score")).toVariant().toLongLong();
    auto* scoreLabel = DisplayText::plainLabel(QString::number(score), QStringLiteral("gamesLeaderboardScore"), row);
    scoreLabel->setMinimumWidth(70);
    scoreLabel->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    scoreLabel->setStyleSheet(QStringLiteral("color: #f0abfc;font-size: 16px;font-weight: bold;"));
    layout->addWidget(scoreLabel);
    return row;
}

void GamesPage::showRowAvatar(QLabel* avatarLabel, const QString& fileName)
{
    AvatarSource::resolve(*m_network, fileName, AvatarSource::Lookup::BuiltInFirst, avatarLabel,
                          [avatarLabel](const QPixmap& picture) {
                              avatarLabel->setText(QString());
                              avatarLabel->setPixmap(
                                  ringedAvatar(picture, kAvatarSize, QColor(167, 139, 250, 77)));
                          },
                          kAvatarTimeoutMs);
}

void GamesPage::scrollToOwnRow(const QString& key)
{
    const int row = m_scores->rowOfKey(key);
    if (row < 0 || !isVisible() || !m_highlightMine)
        return;
    // The row itself sits inside its glow wrapper; a wrapper not built yet is found by its offset.
    QWidget* wrapper = m_rowsContainer->widgetForRow(row);
    if (QWidget* built = wrapper ? wrapper->findChild<QWidget*>(QStringLiteral("gamesLeaderboardRow")) : nullptr)
        pagelist::scrollToItem(m_scrollArea, built);
    else
        pagelist::scrollToOffset(m_scrollArea, m_rowsContainer, m_rowsContainer->rowTop(row));
}
