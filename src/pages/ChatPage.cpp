#include "pages/ChatPage.h"

#include "pages/ChatBubbleLabel.h"
#include "pages/ChatLedPositioner.h"
#include "pages/OnlineMembersHeightSync.h"
#include "pages/ProfileMessageFrame.h"
#include "realtime/ChatOnlinePanel.h"
#include "realtime/RealtimeChannel.h"
#include "session/ServerApi.h"
#include "session/ServerEndpoints.h"
#include "widgets/ChatArcadeCouch.h"
#include "widgets/ChatRgbParticles.h"
#include "widgets/EditButtonHover.h"

#include <QAbstractButton>
#include <QCoreApplication>
#include <QFont>
#include <QGraphicsDropShadowEffect>
#include <QJsonArray>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScrollArea>
#include <QScrollBar>
#include <QStackedWidget>
#include <QTimer>
#include <QVBoxLayout>
#include <QWebSocket>
#include <QtDebug>

namespace {

constexpr char kAutomaticRefresh[] = "automaticChatRefresh";
constexpr char kOpenFromProfile[] = "openMessagesFromProfile";
constexpr char kHighlight[] = "highlightMyMessages";
constexpr int kHighlightScrollMargin = 20;
constexpr int kOnlinePanelMinimumHeight = 180;

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

const QString kOwnBubbleStyle = QStringLiteral(
    "QLabel { background: qlineargradient(x1:0, y1:0, x2:1, y2:1, stop:0 #6f42c1, stop:1 #8b5cf6);"
    " color: white; border: 1px solid rgba(196, 181, 253, 115); border-radius: 15px;"
    " border-bottom-right-radius: 4px; padding: 12px 16px; font-size: 15px; }");
const QString kOtherBubbleStyle = QStringLiteral(
    "QLabel { background: qlineargradient(x1:0, y1:0, x2:1, y2:1, stop:0 rgba(48, 38, 63, 242),"
    " stop:1 rgba(35, 27, 48, 242)); color: white; border: 1px solid rgba(167, 139, 250, 46);"
    " border-radius: 15px; border-bottom-left-radius: 4px; padding: 12px 16px; font-size: 15px; }");

QGraphicsDropShadowEffect* glow(QWidget* owner, qreal blurRadius, const QColor& color)
{
    auto* effect = new QGraphicsDropShadowEffect(owner);
    effect->setBlurRadius(blurRadius);
    effect->setOffset(0, 0);
    effect->setColor(color);
    return effect;
}

void setLetterSpacing(QLabel* label, qreal spacing)
{
    QFont font = label->font();
    font.setLetterSpacing(QFont::AbsoluteSpacing, spacing);
    label->setFont(font);
}

// A label for text that came from the server: never interpreted as markup.
QLabel* plainLabel(const QString& text, QWidget* parent, const QString& objectName)
{
    auto* label = new QLabel(parent);
    label->setObjectName(objectName);
    label->setTextFormat(Qt::PlainText);
    label->setText(text);
    return label;
}

}  // namespace

ChatPage::ChatPage(QNetworkAccessManager* network, RealtimeChannel* channel, QWidget* parent)
    : QWidget(parent)
    , m_network(network)
    , m_channel(channel)
{
    buildLayout();
}

void ChatPage::buildLayout()
{
    setObjectName(QStringLiteral("chatPage"));
    setAttribute(Qt::WA_StyledBackground, true);
    setStyleSheet(QStringLiteral("QWidget#chatPage { background-color: #0f0b18; }"));

    auto* pageLayout = new QVBoxLayout(this);
    // The top margin leaves room for the couch sitting on the card's edge.
    pageLayout->setContentsMargins(32, 64, 32, 6);
    pageLayout->setSpacing(10);
    QWidget* card = buildCard();
    pageLayout->addWidget(card, 1);
    new ChatRgbParticles(this);
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
    cardLayout->setContentsMargins(28, 42, 28, 20);
    cardLayout->setSpacing(12);

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
    led->setGraphicsEffect(glow(led, 18, QColor(0xff, 0x2c, 0xa8, 200)));
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

    m_scrollArea = new QScrollArea(chatMain);
    m_scrollArea->setObjectName(QStringLiteral("chatScrollArea"));
    m_scrollArea->setWidgetResizable(true);
    m_scrollArea->setFrameShape(QFrame::NoFrame);
    m_scrollArea->setMinimumHeight(80);
    m_scrollArea->setMaximumHeight(500);
    m_scrollArea->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
    m_scrollArea->setStyleSheet(QStringLiteral(
        "QScrollArea#chatScrollArea { background-color: rgba(12, 8, 24, 235); border: none; border-radius: 20px; }"
        "QScrollBar:vertical { background: transparent; width: 8px; margin: 14px 2px 14px 0px; }"
        "QScrollBar::handle:vertical { background: rgba(167, 139, 250, 120); border-radius: 3px; min-height: 30px; }"
        "QScrollBar::add-line:vertical, QScrollBar::sub-line:vertical { height: 0px; }"
        "QScrollBar::add-page:vertical, QScrollBar::sub-page:vertical { background: transparent; }"));

    m_messages = new QWidget;
    m_messages->setObjectName(QStringLiteral("chatMessagesContainer"));
    m_messages->setStyleSheet(QStringLiteral("QWidget#chatMessagesContainer { background: transparent; }"));
    m_messages->setProperty(kOpenFromProfile, false);
    m_messages->setProperty(kHighlight, false);
    m_messagesLayout = new QVBoxLayout(m_messages);
    m_messagesLayout->setContentsMargins(9, 20, 9, 9);
    m_messagesLayout->setAlignment(Qt::AlignTop);

    auto* welcome = new QLabel(QStringLiteral("WELCOME TO THE MOONLODGE CHAT! 💜"), m_messages);
    welcome->setObjectName(QStringLiteral("chatWelcomeLabel"));
    welcome->setAlignment(Qt::AlignCenter);
    welcome->setStyleSheet(QStringLiteral(
        "color: #c4b5fd; background: transparent; border: none; font-size: 13px; font-weight: 800;"));
    m_messagesLayout->addWidget(welcome);

    m_scrollArea->setWidget(m_messages);
    m_scrollArea->viewport()->setAutoFillBackground(false);
    mainLayout->addWidget(m_scrollArea, 1);

    m_onlinePanel = new ChatOnlinePanel(m_network, card);
    new OnlineMembersHeightSync(m_scrollArea, m_onlinePanel);

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
    new EditButtonHover(m_sendButton, QSize(110, 46), QColor(QStringLiteral("#a78bfa")), true, false, slotLayout);

    inputRow->addWidget(m_input, 1);
    inputRow->addWidget(sendSlot, 0, Qt::AlignVCenter);
    cardLayout->addLayout(inputRow);
    m_sendNotice = plainLabel(QStringLiteral("Not connected: your message was kept. Reconnecting…"), card,
                              QStringLiteral("chatSendNotice"));
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

void ChatPage::setOwnUserName(const QString& userName)
{
    m_ownUserName = userName;
}

void ChatPage::setChatButton(QAbstractButton* button)
{
    m_chatButton = button;
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
    m_messages->setProperty(kOpenFromProfile, open);
}

void ChatPage::clearProfileFlags()
{
    m_messages->setProperty(kHighlight, false);
    m_messages->setProperty(kOpenFromProfile, false);
}

bool ChatPage::highlightMode() const
{
    return m_messages->property(kHighlight).toBool();
}

void ChatPage::activateChatPage()
{
    const bool automatic = m_chatButton && m_chatButton->property(kAutomaticRefresh).toBool();
    if (!automatic) {
        m_messages->setProperty(kHighlight, m_messages->property(kOpenFromProfile).toBool());
        m_messages->setProperty(kOpenFromProfile, false);
    }

    if (auto* stack = qobject_cast<QStackedWidget*>(parentWidget()))
        stack->setCurrentWidget(this);

    if (m_channel)
        m_channel->openIfUnconnected();

    if (!m_network)
        return;
    QNetworkReply* reply = ServerApi::get(*m_network, ServerEndpoints::url(ServerEndpoints::kChatMessages));
    ServerApi::onFinished(reply, this, [this](const ServerReply& result) {
        emit historyReplyHandled(renderChatHistory(result));
    });
}

bool ChatPage::renderChatHistory(const ServerReply& reply)
{
    if (reply.hasError()) {
        qWarning().noquote() << "Caricamento chat:" << reply.errorString;
        return false;
    }
    if (!reply.isJsonObject || !reply.succeeded())
        return false;

    while (m_messagesLayout->count() > 1) {
        QLayoutItem* item = m_messagesLayout->takeAt(1);
        if (QWidget* widget = item->widget())
            widget->deleteLater();
        delete item;
    }

    const QJsonArray messages = reply.json.value(QLatin1String("messages")).toArray();
    const bool highlight = highlightMode();
    QPointer<ProfileMessageFrame> firstHighlighted;
    for (const QJsonValue& value : messages)
        buildMessageRow(value.toObject(), highlight, firstHighlighted);

    QTimer::singleShot(kScrollDelayMs, m_scrollArea,
                       [this, highlight, firstHighlighted] { scrollAfterRendering(highlight, firstHighlighted); });
    return true;
}

ProfileMessageFrame* ChatPage::buildMessageRow(const QJsonObject& message, bool highlight,
                                               QPointer<ProfileMessageFrame>& firstHighlighted)
{
    const QString sender = message.value(QLatin1String("sender")).toString();
    const QString text = message.value(QLatin1String("text")).toString();
    const QString createdAt = message.value(QLatin1String("created_at")).toString();
    const bool own = !m_ownUserName.isEmpty() && sender == m_ownUserName;

    auto* row = new ProfileMessageFrame(m_messages);
    row->setObjectName(QStringLiteral("chatMessageRow"));
    row->setProperty("ownMessage", own);
    row->setStyleSheet(QStringLiteral("background-color: transparent;border: none;"));
    auto* rowLayout = new QVBoxLayout(row);
    rowLayout->setContentsMargins(0, 5, 0, 5);
    rowLayout->setSpacing(3);
    row->setMaximumWidth(320);
    row->setSizePolicy(QSizePolicy::Maximum, QSizePolicy::Minimum);

    QLabel* senderLabel = plainLabel(sender.toUpper(), row, QStringLiteral("chatMessageSender"));
    senderLabel->setStyleSheet(QStringLiteral(
        "color: #c4b5fd;background-color: transparent;border: none;font-size: 11px;font-weight: 800;padding: 0;"));
    setLetterSpacing(senderLabel, 1.0);
    senderLabel->setGraphicsEffect(glow(senderLabel, 6, QColor(167, 139, 250, 90)));

    auto* textLabel = new ChatBubbleLabel(text, row);
    textLabel->setObjectName(own ? QStringLiteral("chatOwnBubble") : QStringLiteral("chatOtherBubble"));
    textLabel->setTextInteractionFlags(Qt::TextSelectableByMouse);
    textLabel->setMaximumWidth(280);
    textLabel->setMinimumWidth(40);
    textLabel->setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Minimum);
    textLabel->setStyleSheet(own ? kOwnBubbleStyle : kOtherBubbleStyle);
    if (own)
        textLabel->setGraphicsEffect(glow(textLabel, 10, QColor(111, 66, 193, 77)));

    const bool highlighted = own && highlight;
    if (highlighted) {
        if (!firstHighlighted)
            firstHighlighted = row;
        row->enableHighlight();
    }

    QLabel* timeLabel = plainLabel(createdAt.mid(11, 5), row, QStringLiteral("chatMessageTime"));
    timeLabel->setStyleSheet(QStringLiteral(
        "color: rgba(142, 133, 155, 166);background-color: transparent;border: none;font-size: 9px;padding: 0;"));
    setLetterSpacing(timeLabel, 0.5);

    if (own) {
        rowLayout->addWidget(senderLabel, 0, Qt::AlignRight);
        if (highlighted) {
            auto* badge = new QLabel(QStringLiteral("YOUR MESSAGE"), row);
            badge->setObjectName(QStringLiteral("chatYourMessageBadge"));
            badge->setStyleSheet(QStringLiteral(
                "QLabel { color: #ff1493; background: rgba(255, 20, 147, 20); border: 1px solid #ff1493;"
                " border-radius: 4px; padding: 3px 7px; font-size: 10px; font-weight: 800;}"));
            setLetterSpacing(badge, 1.0);
            badge->setSizePolicy(QSizePolicy::Maximum, QSizePolicy::Fixed);
            badge->setGraphicsEffect(glow(badge, 18, QColor(0xff, 0x14, 0x93)));
            rowLayout->addWidget(badge, 0, Qt::AlignRight);
        }
        rowLayout->addWidget(textLabel, 0, Qt::AlignRight);
        rowLayout->addWidget(timeLabel, 0, Qt::AlignRight);
        if (highlighted)
            m_messagesLayout->addWidget(row);
        else
            m_messagesLayout->addWidget(row, 0, Qt::AlignRight);
    } else {
        rowLayout->addWidget(senderLabel, 0, Qt::AlignLeft);
        rowLayout->addWidget(textLabel, 0, Qt::AlignLeft);
        rowLayout->addWidget(timeLabel, 0, Qt::AlignLeft);
        m_messagesLayout->addWidget(row, 0, Qt::AlignLeft);
    }
    return row;
}

void ChatPage::scrollAfterRendering(bool highlight, QPointer<ProfileMessageFrame> firstHighlighted)
{
    if (!m_scrollArea->isVisible() || highlightMode() != highlight)
        return;
    // Let pending layout requests resize the rows and the container first, so the
    // scroll range is current (other widgets' timers may run before them).
    QCoreApplication::sendPostedEvents(nullptr, QEvent::LayoutRequest);
    QScrollBar* bar = m_scrollArea->verticalScrollBar();
    if (highlight && firstHighlighted) {
        // Bring every layout between the row and the container up to date first.
        for (QWidget* w = firstHighlighted; w; w = w->parentWidget()) {
            if (w->layout())
                w->layout()->activate();
            if (w == m_messages)
                break;
        }
        const int top = firstHighlighted->mapTo(m_messages, QPoint(0, 0)).y();
        bar->setValue(qMax(0, top - kHighlightScrollMargin));
        return;
    }
    bar->setValue(bar->maximum());
}

void ChatPage::sendChatMessage()
{
    const QString text = m_input->text().trimmed();
    if (text.isEmpty())
        return;
    const bool sent = m_channel && m_channel->sendIfReady(QStringLiteral("send_message"),
                                                          QJsonObject{{QStringLiteral("text"), text}});
    m_sendNotice->setVisible(!sent);
    if (sent) {
        m_input->clear();
        return;
    }
    qWarning() << "Impossibile inviare:" << "WebSocket non connesso.";
}
