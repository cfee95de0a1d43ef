#include "pages/chat/ChatPage.h"

#include "app/LogCategories.h"
#include "online/ChatOnlinePanel.h"
#include "online/OnlineMembersHeightSync.h"
#include "pages/chat/ChatArcadeCouch.h"
#include "pages/chat/ChatLedPositioner.h"
#include "pages/chat/ChatMessageView.h"
#include "realtime/RealtimeChannel.h"
#include "realtime/RealtimeEvents.h"
#include "realtime/ReloadCoalescer.h"
#include "session/ServerApi.h"
#include "session/ServerEndpoints.h"
#include "widgets/effects/ButtonLiftHover.h"
#include "widgets/effects/EffectSupport.h"
#include "widgets/effects/RgbParticles.h"

#include <QFont>
#include <QGraphicsDropShadowEffect>
#include <QJsonArray>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QStackedWidget>
#include <QTimer>
#include <QVBoxLayout>
#include <QWebSocket>
#include <QtDebug>

namespace {

constexpr int kHighlightScrollMargin = 20;
constexpr int kOnlinePanelMinimumHeight = 180;

// Spacing of the page and the card; short windows use the compact set, so that
// the message list keeps the room.
struct Spacing
{
    int page;
    int card;
    int cardBottom;
};
constexpr Spacing kSpacing{10, 12, 20};
constexpr Spacing kCompactSpacing{4, 4, 12};
constexpr int kCompactBelowHeight = 600;

// Holds the online panel beside the messages without letting the panel's fixed
// height (which follows the message area) become the row's minimum height; the
// row can then shrink with the window and the panel follows the message area.
class OnlinePanelHolder : public QWidget
{
public:
    OnlinePanelHolder(QWidget* panel, QWidget* parent)
        : QWidget(parent)
        , m_panel(panel)
    {
        setObjectName(QStringLiteral("chatOnlinePanelHolder"));
        setAttribute(Qt::WA_TranslucentBackground);
        panel->setParent(this);
        panel->move(0, 0);
        setFixedWidth(qMax(panel->width(), panel->minimumWidth()));
        setMinimumHeight(kOnlinePanelMinimumHeight);
        setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Ignored);
    }

protected:
    void resizeEvent(QResizeEvent* event) override
    {
        QWidget::resizeEvent(event);
        m_panel->move(0, 0);
    }

private:
    QWidget* m_panel;
};

}  // namespace

ChatPage::ChatPage(QNetworkAccessManager* network, RealtimeChannel* channel, QWidget* parent)
    : QWidget(parent)
    , m_network(network)
    , m_channel(channel)
    , m_reloads(new ReloadCoalescer([this] { sendHistoryRequest(); }, kMinReloadIntervalMs, this))
{
    buildLayout();
}

void ChatPage::buildLayout()
{
    setObjectName(QStringLiteral("chatPage"));
    setAttribute(Qt::WA_StyledBackground, true);
    setStyleSheet(QStringLiteral("QWidget#chatPage { background-color: #0f0b18; }"));

    auto* pageLayout = new QVBoxLayout(this);
    m_pageLayout = pageLayout;
    // The top margin leaves room for the couch sitting on the card's edge.
    pageLayout->setContentsMargins(32, 64, 32, 6);
    pageLayout->setSpacing(kSpacing.page);
    QWidget* card = buildCard();
    pageLayout->addWidget(card, 1);
    new RgbParticles(this);
    new ChatArcadeCouch(card);

    m_voiceToolbarSlot = new QVBoxLayout;
    m_voiceToolbarSlot->setContentsMargins(0, 0, 0, 0);
    m_voiceToolbarSlot->setSpacing(0);
    pageLayout->addLayout(m_voiceToolbarSlot);

    connect(m_sendButton, &QPushButton::clicked, this, &ChatPage::sendChatMessage);
    connect(m_input, &QLineEdit::returnPressed, this, &ChatPage::sendChatMessage);
}

QWidget* ChatPage::buildCard()
{
    auto* card = new QFrame(this);
    card->setObjectName(QStringLiteral("chatCard"));
    card->setStyleSheet(QStringLiteral(
        "QFrame#chatCard { background-color: rgba(25, 15, 50, 230); border: 1px solid rgba(167, 139, 250, 120);"
        " border-radius: 28px; }"));
    auto* cardLayout = new QVBoxLayout(card);
    m_cardLayout = cardLayout;
    cardLayout->setContentsMargins(28, 42, 28, kSpacing.cardBottom);
    cardLayout->setSpacing(kSpacing.card);

    // Title with its glowing strip above it.
    auto* title = new QLabel(QStringLiteral("MoonLodge Chat"), card);
    title->setObjectName(QStringLiteral("chatTitle"));
    title->setAlignment(Qt::AlignCenter);
    QFont titleFont(QStringLiteral("Times New Roman"));
    titleFont.setPixelSize(32);
    titleFont.setBold(true);
    title->setFont(titleFont);
    title->setStyleSheet(QStringLiteral("color: #c8a2ff; background: transparent; border: none;"));
    cardLayout->addWidget(title);

    auto* led = new QFrame(card);
    led->setObjectName(QStringLiteral("chatTitleLed"));
    led->setFixedSize(140, 5);
    led->setStyleSheet(QStringLiteral(
        "QFrame#chatTitleLed { border: none; border-radius: 2px; background: qlineargradient(x1:0, y1:0, x2:1, y2:0,"
        " stop:0 #7b2cff, stop:0.5 #ff2ca8, stop:1 #7b2cff); }"));
    effects::addGlow(led, 18, QColor(0xff, 0x2c, 0xa8, 200));
    new ChatLedPositioner(title, led);

    auto* separator = new QFrame(card);
    separator->setObjectName(QStringLiteral("chatSeparator"));
    separator->setFixedHeight(1);
    separator->setStyleSheet(QStringLiteral("QFrame#chatSeparator { background-color: #a78bfa; border: none; }"));
    cardLayout->addWidget(separator);

    auto* note = new QLabel(QStringLiteral("💜 The chat will be deleted after 24 hours."), card);
    note->setObjectName(QStringLiteral("chatRetentionNote"));
    note->setAlignment(Qt::AlignCenter);
    note->setStyleSheet(QStringLiteral("color: #9f91b5; font-size: 12px; background: transparent; border: none;"));
    cardLayout->addWidget(note);

    // Messages beside the online members.
    auto* body = new QHBoxLayout;
    body->setSpacing(16);

    auto* chatMain = new QFrame(card);
    chatMain->setObjectName(QStringLiteral("chatMain"));
    chatMain->setStyleSheet(QStringLiteral("QFrame#chatMain { background: transparent; border: none; }"));
    auto* mainLayout = new QVBoxLayout(chatMain);
    mainLayout->setContentsMargins(0, 0, 0, 0);
    mainLayout->setSpacing(12);

    m_model = new ChatMessageModel(this);
    m_view = new ChatMessageView(m_model, chatMain);
    m_view->setObjectName(QStringLiteral("chatMessageList"));
    m_view->setMinimumHeight(80);
    m_view->setMaximumHeight(500);
    m_view->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
    m_view->setStyleSheet(QStringLiteral(
        "QListView#chatMessageList { background-color: rgba(12, 8, 24, 235); border: none; border-radius: 20px; }"
        "QScrollBar:vertical { background: transparent; width: 8px; margin: 14px 2px 14px 0px; }"
        "QScrollBar::handle:vertical { background: rgba(167, 139, 250, 120); border-radius: 3px; min-height: 30px; }"
        "QScrollBar::add-line:vertical, QScrollBar::sub-line:vertical { height: 0px; }"
        "QScrollBar::add-page:vertical, QScrollBar::sub-page:vertical { background: transparent; }"));
    m_view->viewport()->setAutoFillBackground(false);
    mainLayout->addWidget(m_view, 1);

    m_onlinePanel = new ChatOnlinePanel(m_network, card);
    new OnlineMembersHeightSync(m_view, m_onlinePanel);

    body->addWidget(chatMain, 1);
    body->addWidget(new OnlinePanelHolder(m_onlinePanel, card), 0);
    cardLayout->addLayout(body, 1);

    // Input row.
    auto* inputRow = new QHBoxLayout;
    inputRow->setSpacing(12);
    m_input = new QLineEdit(card);
    m_input->setObjectName(QStringLiteral("chatMessageInput"));
    m_input->setPlaceholderText(QStringLiteral("Write a message..."));
    m_input->setMinimumHeight(46);

    auto* sendSlot = new QWidget(card);
    sendSlot->setObjectName(QStringLiteral("sendButtonSlot"));
    sendSlot->setStyleSheet(QStringLiteral("QWidget#sendButtonSlot { background: transparent; }"));
    auto* slotLayout = new QVBoxLayout(sendSlot);
    slotLayout->setContentsMargins(0, 0, 0, 0);
    slotLayout->setSpacing(0);
    m_sendButton = new QPushButton(QStringLiteral("Send"), sendSlot);
    m_sendButton->setObjectName(QStringLiteral("chatSendButton"));
    m_sendButton->setCursor(Qt::PointingHandCursor);
    m_sendButton->setStyleSheet(QStringLiteral(
        "QPushButton#chatSendButton { color: white; background: qlineargradient(x1:0, y1:0, x2:1, y2:1,"
        " stop:0 #7b2cff, stop:1 #ff2ca8); border: none; border-radius: 18px; font-size: 15px; font-weight: bold; }"
        "QPushButton#chatSendButton:pressed { background: #ff2ca8; }"));
    slotLayout->addWidget(m_sendButton, 0, Qt::AlignTop);
    sendSlot->setFixedHeight(46 + 4);
    new ButtonLiftHover(m_sendButton, QSize(110, 46), QColor(QStringLiteral("#a78bfa")), true, false, slotLayout);

    inputRow->addWidget(m_input, 1);
    inputRow->addWidget(sendSlot, 0, Qt::AlignVCenter);
    cardLayout->addLayout(inputRow);
    m_sendNotice = new QLabel(QStringLiteral("Not connected: your message was kept. Reconnecting…"), card);
    m_sendNotice->setObjectName(QStringLiteral("chatSendNotice"));
    m_sendNotice->setStyleSheet(QStringLiteral("QLabel#chatSendNotice { color: #ffb4c8; font-size: 12px; }"));
    m_sendNotice->hide();
    cardLayout->addWidget(m_sendNotice);
    if (m_channel)
        connect(m_channel, &RealtimeChannel::connectionStateChanged, m_sendNotice, [this] {
            if (m_channel->isReady())
                m_sendNotice->hide();
        });
    return card;
}

void ChatPage::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    const Spacing& spacing = height() < kCompactBelowHeight ? kCompactSpacing : kSpacing;
    if (m_cardLayout->spacing() == spacing.card)
        return;
    m_pageLayout->setSpacing(spacing.page);
    m_cardLayout->setSpacing(spacing.card);
    const QMargins margins = m_cardLayout->contentsMargins();
    m_cardLayout->setContentsMargins(margins.left(), margins.top(), margins.right(), spacing.cardBottom);
}

void ChatPage::setOwnUserName(const QString& userName)
{
    m_ownUserName = userName;
    m_model->setOwnUserName(userName);
}

void ChatPage::setVoiceToolbar(QWidget* toolbar)
{
    if (m_voiceToolbar == toolbar)
        return;
    if (m_voiceToolbar) {
        m_voiceToolbarSlot->removeWidget(m_voiceToolbar);
        m_voiceToolbar->deleteLater();
    }
    m_voiceToolbar = toolbar;
    if (toolbar) {
        toolbar->setParent(this);
        m_voiceToolbarSlot->addWidget(toolbar);
        toolbar->show();
    }
}

void ChatPage::setOpenMessagesFromProfile(bool open)
{
    m_openFromProfile = open;
}

void ChatPage::clearProfileFlags()
{
    m_highlightMine = false;
    m_openFromProfile = false;
}

void ChatPage::reloadHistory(bool automatic)
{
    if (!automatic) {
        m_highlightMine = m_openFromProfile;
        m_openFromProfile = false;
    }

    if (auto* stack = qobject_cast<QStackedWidget*>(parentWidget()))
        stack->setCurrentWidget(this);

    if (m_channel)
        m_channel->openIfUnconnected();

    if (!automatic)
        m_scrollToBottomQueued = true;
    requestHistory();
}

void ChatPage::requestHistory()
{
    if (m_network)
        m_reloads->request();
}

void ChatPage::sendHistoryRequest()
{
    RequestOptions options;
    options.timeoutMs = kHistoryTimeoutMs;
    options.maxBodyBytes = RequestOptions::kMaxListBodyBytes;
    QNetworkReply* reply = ServerApi::get(*m_network, ServerEndpoints::url(ServerEndpoints::kChatMessages), options);
    ServerApi::onFinished(reply, this, [this](const ServerReply& result) {
        emit historyReplyHandled(renderChatHistory(result));
        m_reloads->finished();
    });
}

bool ChatPage::renderChatHistory(const ServerReply& reply)
{
    if (reply.hasError()) {
        qCWarning(lcPages).noquote() << "Caricamento chat:" << reply.errorString;
        return false;
    }
    if (!reply.isJsonObject || !reply.succeeded())
        return false;

    m_reply = reply.json.value(QLatin1String("messages")).toArray();
    m_readPosition = ChatMessageModel::firstKeptMessage(m_reply);
    m_history = {};
    m_model->setHighlight(highlightMode());
    // The messages are read and applied in steps on the next turns of the event
    // loop; a step already due picks up the newer reply.
    if (!m_applying)
        QTimer::singleShot(0, this, &ChatPage::applyHistoryStep);
    m_applying = true;
    return true;
}

void ChatPage::applyHistoryStep()
{
    if (!m_applying)
        return;
    if (m_readPosition < m_reply.size()) {
        const qsizetype end = qMin(m_reply.size(), m_readPosition + kMessagesReadPerStep);
        ChatMessageModel::readMessages(m_history, m_reply, m_readPosition, end);
        m_readPosition = end;
        QTimer::singleShot(0, this, &ChatPage::applyHistoryStep);
        return;
    }
    m_reply = {};
    // Every step lays out all rows again: long lists take bigger steps.
    const int budget = qMax(kRowsPerStep, m_model->messageCount() / kStepsPerList);
    if (!m_model->applyStep(m_history, budget)) {
        QTimer::singleShot(0, this, &ChatPage::applyHistoryStep);
        return;
    }
    m_applying = false;
    m_history = {};
    const bool highlight = m_model->highlight();
    m_view->setPulsing(m_model->firstHighlightedRow() >= 0);
    QTimer::singleShot(kScrollDelayMs, m_view, [this, highlight] { scrollAfterRendering(highlight); });
    emit historyShown();
}

void ChatPage::scrollAfterRendering(bool highlight)
{
    if (!m_view->isVisible() || highlightMode() != highlight)
        return;
    const int firstHighlighted = highlight ? m_model->firstHighlightedRow() : -1;
    if (firstHighlighted >= 0)
        m_view->scrollToRowTop(firstHighlighted, kHighlightScrollMargin);
    else if (highlight || m_scrollToBottomQueued)
        m_view->scrollToEnd();
    m_scrollToBottomQueued = false;
}

void ChatPage::sendChatMessage()
{
    const QString text = m_input->text().trimmed();
    if (text.isEmpty())
        return;
    const bool sent = m_channel && m_channel->sendIfReady(QString(RealtimeEvents::kSendMessage),
                                                          QJsonObject{{QStringLiteral("text"), text}});
    m_sendNotice->setVisible(!sent);
    if (sent) {
        m_input->clear();
        return;
    }
    qCWarning(lcPages) << "Impossibile inviare:" << "WebSocket non connesso.";
}
