#pragma once

#include <QJsonObject>
#include <QPointer>
#include <QWidget>

class ChatOnlinePanel;
class ProfileMessageFrame;
class QAbstractButton;
class QLabel;
class QLineEdit;
class QNetworkAccessManager;
class QPushButton;
class QScrollArea;
class QVBoxLayout;
class RealtimeChannel;
struct ServerReply;

// The community chat: the whole history reloaded from the server on every
// activation and rebuilt from scratch, the online-member panel beside it, an
// input row that posts through the real-time channel, and a slot for the voice
// toolbar under the chat card.
//
// Flags (dynamic properties): "automaticChatRefresh" on the navigation bar's Chat
// button (true only during a programmatic click); "openMessagesFromProfile" and
// "highlightMyMessages" on the messages container.
class ChatPage : public QWidget
{
    Q_OBJECT

public:
    ChatPage(QNetworkAccessManager* network, RealtimeChannel* channel, QWidget* parent = nullptr);

    // The signed-in member's user name; their messages are the ones whose sender
    // equals it exactly. Empty (the default) means no message is own.
    void setOwnUserName(const QString& userName);
    QString ownUserName() const { return m_ownUserName; }

    // The navigation bar's Chat button, whose "automaticChatRefresh" flag tells a
    // programmatic refresh from a real navigation.
    void setChatButton(QAbstractButton* button);

    // Places the voice toolbar under the chat card (replacing any earlier one).
    void setVoiceToolbar(QWidget* toolbar);

    ChatOnlinePanel* onlinePanel() const { return m_onlinePanel; }
    QWidget* messagesContainer() const { return m_messages; }
    QScrollArea* messageScrollArea() const { return m_scrollArea; }
    QLineEdit* messageInput() const { return m_input; }
    QPushButton* sendButton() const { return m_sendButton; }

    // Entry from the profile's messages statistic: the next real activation
    // highlights the member's own messages.
    void setOpenMessagesFromProfile(bool open);
    // What every other navigation button does: drop the profile intent and the highlight.
    void clearProfileFlags();
    bool highlightMode() const;

    static constexpr int kScrollDelayMs = 100;

public slots:
    // Chat button clicked: consumes the profile intent (real clicks only), shows the
    // page, opens the channel if it is Unconnected and reloads the history.
    void activateChatPage();
    // Send button and Return: posts the trimmed text as one "send_message" event.
    void sendChatMessage();

signals:
    // A history reply has been handled; rendered tells whether it rebuilt the rows.
    void historyReplyHandled(bool rendered);

private:
    void buildLayout();
    QWidget* buildCard();
    // Rebuilds the rows from a history reply; false when the reply left them as they were.
    bool renderChatHistory(const ServerReply& reply);
    ProfileMessageFrame* buildMessageRow(const QJsonObject& message, bool highlight,
                                         QPointer<ProfileMessageFrame>& firstHighlighted);
    void scrollAfterRendering(bool highlight, QPointer<ProfileMessageFrame> firstHighlighted);

    QNetworkAccessManager* m_network = nullptr;
    RealtimeChannel* m_channel = nullptr;
    QPointer<QAbstractButton> m_chatButton;
    QString m_ownUserName;

    ChatOnlinePanel* m_onlinePanel = nullptr;
    QScrollArea* m_scrollArea = nullptr;
    QWidget* m_messages = nullptr;
    QVBoxLayout* m_messagesLayout = nullptr;
    QLineEdit* m_input = nullptr;
    QPushButton* m_sendButton = nullptr;
    QLabel* m_sendNotice = nullptr;  // under the input while a message waits for the connection
    QVBoxLayout* m_voiceToolbarSlot = nullptr;
    QPointer<QWidget> m_voiceToolbar;
};
