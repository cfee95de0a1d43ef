#pragma once

#include <QAbstractListModel>
#include <QHash>
#include <QJsonArray>
#include <QList>
#include <QSet>
#include <QString>

// One chat message as the history reply gives it. `key` identifies the message
// across reloads; `serial` changes whenever the row's content does, so caches of
// its text layout can be keyed by it.
struct ChatMessage
{
    QString key;
    QString sender;
    QString text;
    QString createdAt;
    quint64 serial = 0;
};
Q_DECLARE_TYPEINFO(ChatMessage, Q_RELOCATABLE_TYPE);

// The messages of one history reply, with the set of their keys and how often
// each key was met while reading.
struct ChatHistory
{
    QList<ChatMessage> messages;
    QSet<QString> keys;
    QHash<QString, int> occurrences;
};

// The chat as a list: row 0 is the welcome line, then the messages in the order
// of the last history reply. A reload moves the rows toward the new history by
// difference: unchanged rows stay as they are, vanished ones are removed, new ones
// inserted, moved ones moved, so views keep their layout and position.
class ChatMessageModel : public QAbstractListModel
{
    Q_OBJECT

public:
    enum Role {
        SenderRole = Qt::UserRole + 1,
        TimeRole,
        OwnRole,
        HighlightedRole,
        WelcomeRole,
    };

    // The newest messages kept from one reply; older ones are dropped.
    static constexpr int kMaxMessages = 100000;
    // More out-of-order rows than this in one reply rebuild the list instead.
    static constexpr int kMaxMoves = 200;

    explicit ChatMessageModel(QObject* parent = nullptr);

    // Messages of a history reply, identified by their "id" or, without one, by
    // (sender, created_at, text) and how often that triple occurred before.
    static ChatHistory messagesFromJson(const QJsonArray& messages);
    // The same in parts: messages [from, to) of the reply appended to `history`,
    // starting at firstKeptMessage.
    static qsizetype firstKeptMessage(const QJsonArray& messages);
    static void readMessages(ChatHistory& history, const QJsonArray& messages, qsizetype from, qsizetype to);

    // Brings the rows closer to `target`, inserting at most `insertBudget` new rows
    // (those nearest the bottom first); true once the rows match the target.
    bool applyStep(const ChatHistory& target, int insertBudget);

    void setOwnUserName(const QString& userName);
    void setHighlight(bool highlight);
    bool highlight() const { return m_highlight; }

    // The message of a row, or nullptr for the welcome line and rows out of range.
    const ChatMessage* message(int row) const;
    bool isOwn(const ChatMessage& message) const;
    bool isHighlighted(int row) const;
    // The first highlighted row, or -1.
    int firstHighlightedRow() const;
    int messageCount() const { return int(m_messages.size()); }

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;

    static QString welcomeText();

private:
    void replaceAll(const ChatHistory& target);
    // Takes the message's content into the row; false when it was the same.
    bool updateContent(int position, const ChatMessage& message);
    void ownRowsChanged();

    QList<ChatMessage> m_messages;
    QSet<QString> m_keys;
    QString m_ownUserName;
    bool m_highlight = false;
    quint64 m_nextSerial = 1;
};
