#pragma once

#include "pages/chat/ChatMessageModel.h"

#include <QJsonArray>
#include <QJsonObject>
#include <QPointer>
#include <QWidget>

class ChatMessageView;
class ChatOnlinePanel;
class QLabel;
class QLineEdit;
class QNetworkAccessManager;
class QPushButton;
class QVBoxLayout;
class RealtimeChannel;
class ReloadCoalescer;
struct ServerReply;

// The community chat: the whole history reloaded from the server on every
// activation and applied to the message list by difference, the online-member
// panel beside it, an input row that posts through the real-time channel, and a
// slot for the voice toolbar under the chat card. History reloads go through a
// ReloadCoalescer: one request at a time, at most one every kMinReloadIntervalMs.
//
class ChatPage : public QWidget
{
    Q_OBJECT

public:
    ChatPage(QNetworkAccessManager* network, RealtimeChannel* channel, QWidget* parent = nullptr);

    // The signed-in member's user name; their messages are the ones whose sender
    // equals it exactly. Empty (the default) means no message is own.
    void setOwnUserName(const QString& userName);
    QString ownUserName() const { return m_ownUserName; }

    // Places the voice toolbar under the chat card (replacing any earlier one).
    void setVoiceToolbar(QWidget* toolbar);

    ChatOnlinePanel* onlinePanel() const { return m_onlinePanel; }
    ChatMessageView* messageView() const { return m_view; }
    ChatMessageModel* messageModel() const { return m_model; }
    QLineEdit* messageInput() const { return m_input; }
    QPushButton* sendButton() const { return m_sendButton; }

    // Entry from the profile's messages statistic: the next real activation
    // highlights the member's own messages.
    void setOpenMessagesFromProfile(bool open);
    // What every other navigation button does: drop the profile intent and the highlight.
    void clearProfileFlags();
    bool openMessagesFromProfile() const { return m_openFromProfile; }
    bool highlightMode() const { return m_highlightMine; }

    static constexpr int kScrollDelayMs = 100;
    // New rows measured and inserted per turn of the event loop: at least
    // kRowsPerStep, or the rows shown divided by kStepsPerList.
    static constexpr int kRowsPerStep = 150;
    static constexpr int kStepsPerList = 25;
    // Messages of a reply read per turn of the event loop.
    static constexpr int kMessagesReadPerStep = 1000;
    static constexpr int kHistoryTimeoutMs = 30000;
    static constexpr int kMinReloadIntervalMs = 500;

public slots:
    // A visit of the page (automatic: the periodic refresh or a message that arrived):
    // consumes the profile intent (visits by the member only), shows the page, opens
    // the channel if it is Unconnected and reloads the history.
    void reloadHistory(bool automatic);
    // Send button and Return: posts the trimmed text as one "send_message" event.
    void sendChatMessage();

protected:
    void resizeEvent(QResizeEvent* event) override;

signals:
    // A history reply has been handled; rendered tells whether it updated the rows.
    void historyReplyHandled(bool rendered);
    // The rows match the last history reply.
    void historyShown();

private:
    void buildLayout();
    QWidget* buildCard();
    void requestHistory();
    void sendHistoryRequest();
    // Starts moving the rows to a history reply; false when the reply leaves them as they are.
    bool renderChatHistory(const ServerReply& reply);
    void applyHistoryStep();
    void scrollAfterRendering(bool highlight);

    QNetworkAccessManager* m_network = nullptr;
    QVBoxLayout* m_pageLayout = nullptr;
    QVBoxLayout* m_cardLayout = nullptr;
    RealtimeChannel* m_channel = nullptr;
    QString m_ownUserName;

    ChatOnlinePanel* m_onlinePanel = nullptr;
    ChatMessageModel* m_model = nullptr;
    ChatMessageView* m_view = nullptr;
    // The reply being read, the history being applied, and whether more steps are due.
    QJsonArray m_reply;
    qsizetype m_readPosition = 0;
    ChatHistory m_history;
    bool m_applying = false;
    ReloadCoalescer* m_reloads = nullptr;
    // A visit by the member shows the newest messages once the history is shown.
    bool m_scrollToBottomQueued = false;
    QLineEdit* m_input = nullptr;
    QPushButton* m_sendButton = nullptr;
    QLabel* m_sendNotice = nullptr;  // under the input while a message waits for the connection
    QVBoxLayout* m_voiceToolbarSlot = nullptr;
    QPointer<QWidget> m_voiceToolbar;
    bool m_openFromProfile = false;  // the next real activation highlights own messages
    bool m_highlightMine = false;
};
