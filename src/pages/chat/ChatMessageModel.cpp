#include "pages/chat/ChatMessageModel.h"

#include <QHash>
#include <QJsonObject>
#include <QSet>

#include <cmath>

namespace {

// Identity of a message without an "id": its fields, hashed so that long texts
// are not copied into keys (a collision only turns into an in-place update).
QString contentKey(const QString& sender, const QString& createdAt, const QString& text)
{
    return QStringLiteral("m%1:%2:%3:%4")
        .arg(qHash(sender), 0, 36)
        .arg(qHash(createdAt), 0, 36)
        .arg(qHash(text), 0, 36)
        .arg(text.size());
}

QString idKey(const QJsonValue& id)
{
    if (id.isString())
        return QStringLiteral("s") + id.toString();
    if (id.isDouble()) {
        const double number = id.toDouble();
        const bool integral = std::abs(number) < 9.0e15 && number == std::floor(number);
        return QStringLiteral("n") + (integral ? QString::number(qint64(number)) : QString::number(number, 'g', 17));
    }
    return {};
}

}  // namespace

ChatMessageModel::ChatMessageModel(QObject* parent)
    : QAbstractListModel(parent)
{
}

QString ChatMessageModel::welcomeText()
{
    return QStringLiteral("WELCOME TO THE MOONLODGE CHAT! 💜");
}

ChatHistory ChatMessageModel::messagesFromJson(const QJsonArray& messages)
{
    ChatHistory history;
    readMessages(history, messages, firstKeptMessage(messages), messages.size());
    return history;
}

qsizetype ChatMessageModel::firstKeptMessage(const QJsonArray& messages)
{
    return qMax<qsizetype>(0, messages.size() - kMaxMessages);
}

void ChatMessageModel::readMessages(ChatHistory& history, const QJsonArray& messages, qsizetype from, qsizetype to)
{
    for (qsizetype i = from; i < to; ++i) {
        const QJsonObject object = messages.at(i).toObject();
        ChatMessage message;
        message.sender = object.value(QLatin1String("sender")).toString();
        message.text = object.value(QLatin1String("text")).toString();
        message.createdAt = object.value(QLatin1String("created_at")).toString();
        QString key = idKey(object.value(QLatin1String("id")));
        if (key.isEmpty())
            key = contentKey(message.sender, message.createdAt, message.text);
        // Repeated keys (repeated messages, or ids a server sent twice) count by occurrence.
        const int seen = history.occurrences[key]++;
        message.key = seen == 0 ? key : key + QLatin1Char('#') + QString::number(seen);
        history.keys.insert(message.key);
        history.messages.append(std::move(message));
    }
}

bool ChatMessageModel::applyStep(const ChatHistory& history, int insertBudget)
{
    const QSet<QString>& targetKeys = history.keys;
    const QList<ChatMessage>& target = history.messages;

    // Vanished rows, bottom up, one removal per contiguous range.
    for (int last = int(m_messages.size()) - 1; last >= 0;) {
        if (targetKeys.contains(m_messages.at(last).key)) {
            --last;
            continue;
        }
        int first = last;
        while (first > 0 && !targetKeys.contains(m_messages.at(first - 1).key))
            --first;
        beginRemoveRows({}, first + 1, last + 1);
        for (int i = first; i <= last; ++i)
            m_keys.remove(m_messages.at(i).key);
        m_messages.remove(first, last - first + 1);
        endRemoveRows();
        last = first - 1;
    }

    bool complete = true;
    bool contentChanged = false;
    int moves = 0;
    int position = 0;  // rows before it already follow the target's order
    for (int i = 0; i < target.size(); ++i) {
        const ChatMessage& wanted = target.at(i);
        if (position < m_messages.size() && m_messages.at(position).key == wanted.key) {
            contentChanged |= updateContent(position++, wanted);
            continue;
        }
        if (!m_keys.contains(wanted.key)) {
            int last = i;
            while (last + 1 < target.size() && !m_keys.contains(target.at(last + 1).key))
                ++last;
            const int runLength = last - i + 1;
            const int count = qMin(runLength, insertBudget);
            complete = complete && count == runLength;
            if (count > 0) {
                beginInsertRows({}, position + 1, position + count);
                m_messages.insert(position, count, ChatMessage());
                for (int k = last - count + 1; k <= last; ++k) {
                    ChatMessage& row = m_messages[position++];
                    row = target.at(k);
                    row.serial = m_nextSerial++;
                    m_keys.insert(row.key);
                }
                endInsertRows();
                insertBudget -= count;
            }
            i = last;
            continue;
        }
        if (++moves > kMaxMoves) {
            replaceAll(history);
            return true;
        }
        int from = position + 1;
        while (m_messages.at(from).key != wanted.key)
            ++from;
        beginMoveRows({}, from + 1, from + 1, {}, position + 1);
        m_messages.move(from, position);
        endMoveRows();
        contentChanged |= updateContent(position++, wanted);
    }
    if (contentChanged) {
        // Changed rows may change height: a layout change makes views measure them again.
        emit layoutAboutToBeChanged();
        emit layoutChanged();
    }
    return complete;
}

void ChatMessageModel::replaceAll(const ChatHistory& target)
{
    beginResetModel();
    m_messages = target.messages;
    m_keys = target.keys;
    for (ChatMessage& message : m_messages)
        message.serial = m_nextSerial++;
    endResetModel();
}

bool ChatMessageModel::updateContent(int position, const ChatMessage& message)
{
    ChatMessage& row = m_messages[position];
    if (row.sender == message.sender && row.text == message.text && row.createdAt == message.createdAt)
        return false;
    row.sender = message.sender;
    row.text = message.text;
    row.createdAt = message.createdAt;
    row.serial = m_nextSerial++;
    return true;
}

void ChatMessageModel::setOwnUserName(const QString& userName)
{
    if (userName == m_ownUserName)
        return;
    m_ownUserName = userName;
    ownRowsChanged();
}

void ChatMessageModel::setHighlight(bool highlight)
{
    if (highlight == m_highlight)
        return;
    m_highlight = highlight;
    ownRowsChanged();
}

void ChatMessageModel::ownRowsChanged()
{
    // Own rows change alignment and, highlighted, their size.
    emit layoutAboutToBeChanged();
    emit layoutChanged();
}

const ChatMessage* ChatMessageModel::message(int row) const
{
    return row >= 1 && row <= m_messages.size() ? &m_messages.at(row - 1) : nullptr;
}

bool ChatMessageModel::isOwn(const ChatMessage& message) const
{
    return !m_ownUserName.isEmpty() && message.sender == m_ownUserName;
}

bool ChatMessageModel::isHighlighted(int row) const
{
    const ChatMessage* entry = message(row);
    return m_highlight && entry && isOwn(*entry);
}

int ChatMessageModel::firstHighlightedRow() const
{
    if (!m_highlight)
        return -1;
    for (int i = 0; i < m_messages.size(); ++i)
        if (isOwn(m_messages.at(i)))
            return i + 1;
    return -1;
}

int ChatMessageModel::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : int(m_messages.size()) + 1;
}

QVariant ChatMessageModel::data(const QModelIndex& index, int role) const
{
    if (!index.isValid() || index.row() >= rowCount())
        return {};
    if (index.row() == 0) {
        if (role == Qt::DisplayRole)
            return welcomeText();
        return role == WelcomeRole ? QVariant(true) : QVariant();
    }
    const ChatMessage& entry = m_messages.at(index.row() - 1);
    switch (role) {
    case Qt::DisplayRole:
        return entry.text;
    case SenderRole:
        return entry.sender;
    case TimeRole:
        return entry.createdAt.mid(11, 5);
    case OwnRole:
        return isOwn(entry);
    case HighlightedRole:
        return isHighlighted(index.row());
    case WelcomeRole:
        return false;
    default:
        return {};
    }
}

Qt::ItemFlags ChatMessageModel::flags(const QModelIndex& index) const
{
    if (!index.isValid())
        return Qt::NoItemFlags;
    return index.row() == 0 ? Qt::ItemIsEnabled : Qt::ItemIsEnabled | Qt::ItemIsSelectable;
}
