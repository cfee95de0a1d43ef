#include "pages/ideas/IdeasPage.h"

#include "widgets/PageListSupport.h"
#include "pages/ideas/IdeaCard.h"
#include "pages/ideas/IdeasArcadeBulb.h"
#include "pages/ideas/OwnIdeaGlow.h"
#include "session/AvatarSource.h"
#include "session/ServerApi.h"
#include "session/ServerEndpoints.h"
#include "widgets/DisplayText.h"
#include "widgets/KeyedListModel.h"
#include "widgets/PlainMessageBox.h"
#include "widgets/WindowedRows.h"
#include "widgets/avatar/CircularAvatar.h"
#include "widgets/effects/ButtonLiftHover.h"
#include "widgets/effects/EffectSupport.h"
#include "widgets/effects/RgbParticles.h"

#include <QFrame>
#include <QHBoxLayout>
#include <QJsonArray>
#include <QJsonObject>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScrollArea>
#include <QScrollBar>
#include <QStackedWidget>
#include <QTimer>
#include <QVBoxLayout>

namespace {

constexpr int kMaxIdeas = 50000;
const QString kHighlightedKey = QStringLiteral("_highlighted");

// An idea is known by its number; one without a number by what it says.
QString ideaKey(const QJsonObject& idea)
{
    const qint64 id = idea.value(QLatin1String("id")).toInteger(0);
    if (id != 0)
        return QString::number(id);
    return idea.value(QLatin1String("author")).toString() + QLatin1Char('\x1f')
           + idea.value(QLatin1String("title")).toString() + QLatin1Char('\x1f')
           + idea.value(QLatin1String("content")).toString();
}
constexpr int kPublishTimeoutMs = 15000;
constexpr int kScrollDelayMs = 100;
constexpr int kMaxErrorBodyChars = 2000;
const QString kIdeasReferer = QStringLiteral("/ideas");
const QString kPublishText = QStringLiteral("Publish Idea");

const QString kPageStyle = QStringLiteral(
    "QWidget#ideasContent, QWidget#ideasFeed, QWidget#myIdeasHeader { background: transparent; }"
    "QLabel#ideasTitle { color: #d8b4fe; font-size: 34px; font-weight: bold; }"
    "QLabel#ideasSubtitle { color: #c4b5fd; font-size: 15px; }"
    "QFrame#ideasCreateCard { background-color: rgba(23, 17, 35, 235); border: 1px solid #2b174f;"
    " border-radius: 18px; }"
    "QLabel#ideasCreateSymbol, QLabel#myIdeasSymbol { color: #ff72c6; font-size: 18px; }"
    "QLabel#ideasCreateHeader, QLabel#myIdeasTitle { color: #ddd6fe; font-size: 18px; font-weight: bold; }"
    "QLineEdit#ideasTitleInput { background-color: rgba(14, 9, 27, 230); color: #ffffff;"
    " border: 1px solid rgba(167, 139, 250, 90); padding: 8px 14px; }"
    "QPlainTextEdit#ideasTextInput { background-color: rgba(14, 9, 27, 230); color: #ffffff;"
    " border: 1px solid rgba(167, 139, 250, 90); border-radius: 14px; padding: 8px; }"
    "QPlainTextEdit#ideasTextInput:focus { border-color: #ff2ca8; }"
    "QPushButton#ideasPublishButton { color: #ffffff; font-weight: bold;"
    " background: qlineargradient(x1:0, y1:0, x2:0, y2:1, stop:0 #7b2cff, stop:1 #5b21b6);"
    " border: 2px solid rgba(167, 139, 250, 166); border-radius: 8px; }"
    "QPushButton#ideasPublishButton:disabled { color: #c4b5fd; background: #3b2a5e; }"
    "QFrame#myIdeasCountPill { background-color: rgba(124, 58, 237, 46); border: 1px solid rgba(167, 139, 250, 89);"
    " border-radius: 11px; }"
    "QLabel#myIdeasCountText { color: #c4b5fd; font-size: 10px; font-weight: bold; letter-spacing: 1px; }"
    "QLabel#ideasFeedMessage { color: #c4b5fd; font-size: 14px; padding: 24px; }");

// The message for a failed publish: the server's "error", else the start of the
// raw body, else the transport error, else a generic text.
QString publishErrorText(const ServerReply& reply)
{
    const QString serverError = reply.json.value(QLatin1String("error")).toString();
    if (!serverError.isEmpty())
        return serverError;
    const QString body = QString::fromUtf8(reply.body).trimmed().left(kMaxErrorBodyChars);
    if (!body.isEmpty())
        return body;
    if (reply.hasError())
        return reply.errorString;
    return QStringLiteral("The server returned an unexpected response.");
}

}  // namespace

IdeasPage::IdeasPage(QNetworkAccessManager* network, QWidget* parent)
    : QWidget(parent)
    , m_network(network)
{
    setObjectName(QStringLiteral("ideasPage"));
    m_warningHook = [](QWidget* owner, const QString& title, const QString& text) {
        PlainMessageBox::warning(owner, title, text);
    };
    buildPage();
}

void IdeasPage::buildPage()
{
    auto* pageLayout = new QVBoxLayout(this);
    pageLayout->setContentsMargins(0, 0, 0, 0);
    pageLayout->setSpacing(0);

    m_scrollArea = new QScrollArea(this);
    m_scrollArea->setObjectName(QStringLiteral("ideasScrollArea"));
    m_scrollArea->setWidgetResizable(true);
    m_scrollArea->setFrameShape(QFrame::NoFrame);
    m_scrollArea->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    m_scrollArea->setStyleSheet(QStringLiteral("QScrollArea#ideasScrollArea { background: transparent; }"));
    m_scrollArea->viewport()->setAutoFillBackground(false);
    pageLayout->addWidget(m_scrollArea);

    auto* content = new QWidget;
    content->setObjectName(QStringLiteral("ideasContent"));
    content->setStyleSheet(kPageStyle);
    auto* layout = new QVBoxLayout(content);
    layout->setContentsMargins(40, 36, 40, 40);
    layout->setSpacing(18);

    auto* title = DisplayText::plainLabel(QStringLiteral("MoonLodge Ideas"), QStringLiteral("ideasTitle"), content);
    title->setAlignment(Qt::AlignCenter);
    auto* subtitle = DisplayText::plainLabel(QStringLiteral("Share your ideas with everyone! 💜"), QStringLiteral("ideasSubtitle"),
                                content);
    subtitle->setAlignment(Qt::AlignCenter);
    layout->addWidget(title);
    layout->addWidget(subtitle);

    // Top row: the creation card, and the online panel once it is handed over.
    m_topRow = new QHBoxLayout;
    m_topRow->setSpacing(28);
    m_createCard = buildCreateCard(content);
    m_topRow->addWidget(m_createCard, 1, Qt::AlignTop);
    layout->addLayout(m_topRow);

    layout->addWidget(buildFeedHeader(content));

    m_feed = new QWidget(content);
    m_feed->setObjectName(QStringLiteral("ideasFeed"));
    m_feedLayout = new QVBoxLayout(m_feed);
    m_feedLayout->setContentsMargins(0, 0, 0, 0);
    m_feedLayout->setSpacing(14);
    m_feedMessage = DisplayText::plainLabel(QString(), QStringLiteral("ideasFeedMessage"), m_feed);
    m_feedMessage->setAlignment(Qt::AlignCenter);
    m_feedMessage->setWordWrap(true);
    m_feedMessage->hide();
    m_feedLayout->addWidget(m_feedMessage);
    m_ideas = new KeyedListModel(ideaKey, kMaxIdeas, this);
    m_cards = new WindowedRows(
        m_ideas, [this](const QJsonObject& idea, QWidget* parent) { return buildIdeaRow(idea, parent); },
        [this](const QJsonObject& idea, int width) { return ideaHeight(idea, width); }, m_feed);
    m_cards->setObjectName(QStringLiteral("ideasCards"));
    m_cards->setSpacing(0, 14);
    m_feedLayout->addWidget(m_cards);
    layout->addWidget(m_feed);
    layout->addStretch(1);

    m_scrollArea->setWidget(content);
    new IdeasArcadeBulb(m_createCard, content);
    new RgbParticles(this);
}

QWidget* IdeasPage::buildCreateCard(QWidget* parent)
{
    auto* card = new QFrame(parent);
    card->setObjectName(QStringLiteral("ideasCreateCard"));
    auto* layout = new QVBoxLayout(card);
    layout->setContentsMargins(22, 20, 22, 20);
    layout->setSpacing(14);

    auto* header = new QHBoxLayout;
    header->setSpacing(8);
    header->addWidget(DisplayText::plainLabel(QStringLiteral("✦"), QStringLiteral("ideasCreateSymbol"), card));
    header->addWidget(DisplayText::plainLabel(QStringLiteral("Share an Idea"), QStringLiteral("ideasCreateHeader"), card));
    header->addStretch(1);
    layout->addLayout(header);

    m_titleField = new QLineEdit(card);
    m_titleField->setObjectName(QStringLiteral("ideasTitleInput"));
    m_titleField->setPlaceholderText(QStringLiteral("Idea title..."));
    layout->addWidget(m_titleField);

    m_textField = new QPlainTextEdit(card);
    m_textField->setObjectName(QStringLiteral("ideasTextInput"));
    m_textField->setPlaceholderText(QStringLiteral("Write your idea here..."));
    m_textField->setMinimumHeight(120);
    layout->addWidget(m_textField);

    // The button sits in a slot of its own so that the press effect can lift it.
    auto* slot = new QWidget(card);
    slot->setObjectName(QStringLiteral("ideasPublishSlot"));
    slot->setFixedSize(126 + 16, 40 + 20);
    auto* slotLayout = new QVBoxLayout(slot);
    slotLayout->setContentsMargins(0, 0, 0, 0);
    slotLayout->setAlignment(Qt::AlignCenter);
    m_publishButton = new QPushButton(kPublishText, slot);
    m_publishButton->setObjectName(QStringLiteral("ideasPublishButton"));
    m_publishButton->setCursor(Qt::PointingHandCursor);
    slotLayout->addWidget(m_publishButton, 0, Qt::AlignCenter);
    new ButtonLiftHover(m_publishButton, QSize(126, 40), QColor(QStringLiteral("#a78bfa")), true, false, slotLayout);
    connect(m_publishButton, &QPushButton::clicked, this, &IdeasPage::publishIdea);

    auto* buttonRow = new QHBoxLayout;
    buttonRow->addStretch(1);
    buttonRow->addWidget(slot);
    layout->addLayout(buttonRow);
    return card;
}

QWidget* IdeasPage::buildFeedHeader(QWidget* parent)
{
    auto* header = new QWidget(parent);
    header->setObjectName(QStringLiteral("myIdeasHeader"));
    auto* layout = new QHBoxLayout(header);
    layout->setContentsMargins(0, 10, 0, 0);
    layout->setSpacing(8);
    layout->addWidget(DisplayText::plainLabel(QStringLiteral("✦"), QStringLiteral("myIdeasSymbol"), header));
    layout->addWidget(DisplayText::plainLabel(QStringLiteral("My Ideas"), QStringLiteral("myIdeasTitle"), header));

    auto* pill = new QFrame(header);
    pill->setObjectName(QStringLiteral("myIdeasCountPill"));
    auto* pillLayout = new QHBoxLayout(pill);
    pillLayout->setContentsMargins(10, 3, 10, 3);
    m_countLabel = DisplayText::plainLabel(QStringLiteral("0 IDEAS"), QStringLiteral("myIdeasCountText"), pill);
    pillLayout->addWidget(m_countLabel);
    layout->addWidget(pill, 0, Qt::AlignVCenter);
    layout->addStretch(1);
    return header;
}

void IdeasPage::setOnlinePanel(QWidget* panel)
{
    if (m_onlinePanel == panel)
        return;
    if (m_onlinePanel) {
        m_topRow->removeWidget(m_onlinePanel);
        m_onlinePanel->hide();
    }
    m_onlinePanel = panel;
    if (panel) {
        m_topRow->addWidget(panel, 0, Qt::AlignTop);
        panel->show();
    }
}

void IdeasPage::setOwnUserName(const QString& userName)
{
    m_ownUserName = userName;
}

void IdeasPage::setWarningHook(WarningHook hook)
{
    m_warningHook = std::move(hook);
}

void IdeasPage::warn(QWidget* parent, const QString& title, const QString& text)
{
    if (m_warningHook)
        m_warningHook(parent, title, text);
}

void IdeasPage::clearProfileIntent()
{
    m_highlightMine = false;
    m_openFromProfile = false;
}

void IdeasPage::openIdeasPage()
{
    m_highlightMine = m_openFromProfile;
    m_openFromProfile = false;

    if (auto* stack = qobject_cast<QStackedWidget*>(parentWidget()))
        stack->setCurrentWidget(this);
    m_scrollArea->verticalScrollBar()->setValue(0);

    // The cards stay until the reply says what changed.
    if (m_ideas->rowCount() == 0)
        showFeedMessage(QStringLiteral("Loading ideas..."));

    RequestOptions options;
    options.acceptJson = true;
    options.maxBodyBytes = RequestOptions::kMaxListBodyBytes;
    QNetworkReply* reply = ServerApi::get(*m_network, ServerEndpoints::url(ServerEndpoints::kIdeas), options);
    ServerApi::onFinished(reply, this, [this](const ServerReply& result) { renderIdeasReply(result); });
}

void IdeasPage::showFeedMessage(const QString& text)
{
    m_feedMessage->setText(text);
    m_feedMessage->setVisible(!text.isEmpty());
}

void IdeasPage::renderIdeasReply(const ServerReply& reply)
{
    if (reply.hasError() || !reply.isJsonObject || !reply.succeeded()) {
        m_ideas->clear();
        showFeedMessage(reply.errorText(QStringLiteral("Unable to load ideas.")));
        return;
    }

    const QJsonArray ideas = reply.json.value(QLatin1String("ideas")).toArray();
    m_countLabel->setText(QStringLiteral("%1 IDEAS").arg(ideas.size()));
    m_likes.clear();
    m_csrfToken = reply.json.value(QLatin1String("csrf_token")).toString();

    if (ideas.isEmpty()) {
        m_ideas->clear();
        showFeedMessage(QStringLiteral("No ideas here yet.\nShare your first idea and start building your space."));
        return;
    }
    showFeedMessage(QString());

    // What a card shows is all in its row, the highlight included, so that an
    // unchanged idea keeps its card.
    const bool highlightMine = m_highlightMine;
    QList<QJsonObject> rows;
    rows.reserve(std::min<qsizetype>(ideas.size(), kMaxIdeas));
    QString firstHighlighted;
    for (qsizetype i = 0; i < ideas.size() && i < kMaxIdeas; ++i) {
        QJsonObject idea = ideas.at(i).toObject();
        const bool highlighted = highlightMine && idea.value(QLatin1String("can_delete")).toBool(false);
        idea.insert(kHighlightedKey, highlighted);
        if (highlighted && firstHighlighted.isNull())
            firstHighlighted = ideaKey(idea);
        rows.append(idea);
    }
    m_ideas->setRows(rows);
    if (!firstHighlighted.isNull())
        QTimer::singleShot(kScrollDelayMs, this, [this, firstHighlighted] { scrollToOwnItem(firstHighlighted); });
}

QWidget* IdeasPage::buildIdeaRow(const QJsonObject& row, QWidget* parent)
{
    QJsonObject idea = row;
    const auto like = m_likes.constFind(ideaKey(idea));
    if (like != m_likes.cend()) {
        idea.insert(QStringLiteral("liked_by_me"), like->first);
        idea.insert(QStringLiteral("like_count"), like->second);
    }
    const bool highlighted = idea.value(kHighlightedKey).toBool();
    auto* card = new IdeaCard(idea, highlighted, parent);
    showIdeaAvatar(card->avatarLabel(), idea.value(QLatin1String("profile_image")).toString());

    const int ideaId = idea.value(QLatin1String("id")).toInt(0);
    const QString key = ideaKey(idea);
    QPointer<QPushButton> guarded(card->likeButton());
    connect(card->likeButton(), &QPushButton::clicked, this, [this, ideaId, key, guarded] {
        toggleIdeaLike(ideaId, key, m_csrfToken, guarded);
    });
    if (!highlighted)
        return card;
    return new OwnIdeaGlow(card, parent);
}

int IdeasPage::ideaHeight(const QJsonObject& idea, int width)
{
    // A hidden probe card gives the fixed part and the fonts; only the two wrapped texts vary.
    const bool highlighted = idea.value(kHighlightedKey).toBool();
    const int cardWidth = highlighted ? width - 24 : width;
    if (!m_probe) {
        m_probe = new IdeaCard(QJsonObject{{QStringLiteral("title"), QStringLiteral("x")},
                                           {QStringLiteral("content"), QStringLiteral("x")}},
                               false, this);
        m_probe->hide();
        m_probe->ensurePolished();
        m_probeBase.clear();
    }
    const QFont titleFont = m_probe->findChild<QLabel*>(QStringLiteral("desktopIdeaTitle"))->font();
    const QFont textFont = m_probe->findChild<QLabel*>(QStringLiteral("desktopIdeaText"))->font();
    const int titleWidth = cardWidth - 36;
    const int textWidth = titleWidth - 64;
    auto wrapped = [](const QFont& font, int available, const QString& text) {
        return QFontMetrics(font)
            .boundingRect(QRect(0, 0, std::max(available, 1), 1 << 20), Qt::TextWordWrap, text)
            .height();
    };
    auto base = m_probeBase.constFind(cardWidth);
    if (base == m_probeBase.cend()) {
        const int fixed = m_probe->heightForWidth(cardWidth) - wrapped(titleFont, titleWidth, QStringLiteral("x"))
                          - wrapped(textFont, textWidth, QStringLiteral("x"));
        base = m_probeBase.insert(cardWidth, fixed);
    }
    const QString title = pagelist::capped(idea.value(QLatin1String("title")).toString(), IdeaCard::kMaxTitleChars);
    const QString text = pagelist::capped(idea.value(QLatin1String("content")).toString(), IdeaCard::kMaxTextChars);
    return base.value() + wrapped(titleFont, titleWidth, title) + wrapped(textFont, textWidth, text)
           + (highlighted ? 24 : 0);
}

void IdeasPage::showIdeaAvatar(QLabel* avatarLabel, const QString& fileName)
{
    AvatarSource::resolve(*m_network, fileName, AvatarSource::Lookup::BuiltInFirst, avatarLabel,
                          [avatarLabel](const QPixmap& picture) {
                              avatarLabel->setText(QString());
                              avatarLabel->setPixmap(
                                  ringedAvatar(picture, IdeaCard::kAvatarSize, QColor(167, 139, 250, 180)));
                          });
}

void IdeasPage::scrollToOwnItem(const QString& key)
{
    const int row = m_ideas->rowOfKey(key);
    if (row < 0 || !isVisible() || !m_highlightMine)
        return;
    // The card itself sits inside its glow; a card not built yet is found by its offset.
    QWidget* glow = m_cards->widgetForRow(row);
    if (QWidget* card = glow ? glow->findChild<IdeaCard*>() : nullptr)
        pagelist::scrollToItem(m_scrollArea, card);
    else
        pagelist::scrollToOffset(m_scrollArea, m_cards, m_cards->rowTop(row));
}

void IdeasPage::publishIdea()
{
    const QString title = m_titleField->text().trimmed();
    const QString text = m_textField->toPlainText().trimmed();
    if (title.isEmpty() || text.isEmpty()) {
        warn(this, QStringLiteral("MoonLodge"), QStringLiteral("Please enter both a title and your idea."));
        return;
    }
    const QString token = m_csrfToken;
    if (token.isEmpty()) {
        warn(this, QStringLiteral("MoonLodge"), QStringLiteral("Please reopen Ideas and try again."));
        return;
    }

    RequestOptions options;
    options.acceptJson = true;
    options.csrfToken = token.toUtf8();
    options.refererPath = kIdeasReferer;
    options.timeoutMs = kPublishTimeoutMs;
    const QJsonObject body{{QStringLiteral("title"), title}, {QStringLiteral("content"), text}};
    QNetworkReply* reply =
        ServerApi::postJson(*m_network, ServerEndpoints::url(ServerEndpoints::kIdeaCreate), body, options);

    m_publishButton->setEnabled(false);
    m_publishButton->setText(QStringLiteral("Publishing..."));
    ServerApi::onFinished(reply, this, [this](const ServerReply& result) { handlePublishReply(result); });
}

void IdeasPage::handlePublishReply(const ServerReply& reply)
{
    m_publishButton->setEnabled(true);
    m_publishButton->setText(kPublishText);

    if (reply.hasError() || !reply.isJsonObject || !reply.succeeded()) {
        warn(this, QStringLiteral("MoonLodge"), publishErrorText(reply));
        return;
    }

    m_titleField->clear();
    m_textField->clear();
    if (!isVisible())
        return;
    reloadIdeas();
    emit ideaPublished();
}

void IdeasPage::reloadIdeas()
{
    m_openFromProfile = m_highlightMine;
    openIdeasPage();
}

void IdeasPage::toggleIdeaLike(int ideaId, const QString& key, const QString& token,
                               QPointer<QPushButton> likeButton)
{
    if (!likeButton || token.isEmpty())
        return;
    likeButton->setEnabled(false);

    RequestOptions options;
    options.csrfToken = token.toUtf8();
    options.refererPath = kIdeasReferer;
    QNetworkReply* reply = ServerApi::postEmpty(*m_network, ServerEndpoints::ideaLikeUrl(ideaId), options);
    // The button is the guard: a reply for a card that was rebuilt meanwhile is dropped.
    ServerApi::onFinished(reply, likeButton.data(), [this, key, likeButton](const ServerReply& result) {
        if (!likeButton)
            return;
        likeButton->setEnabled(true);
        if (result.hasError() || !result.isJsonObject || !result.succeeded()) {
            // Owned by the window: a rebuild of the feed while the box is open cannot take it along.
            warn(window(), QStringLiteral("Ideas"), result.errorText(QStringLiteral("Unable to update like.")));
            return;
        }
        const bool liked = result.json.value(QLatin1String("liked")).toBool(false);
        const int count = result.json.value(QLatin1String("like_count")).toInt(0);
        IdeaCard::showLike(likeButton, liked, count);
        // Kept until the next list reply, so that a card built again after scrolling shows it too.
        m_likes.insert(key, {liked, count});
    });
}
