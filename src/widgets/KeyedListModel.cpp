#include "widgets/KeyedListModel.h"

#include <algorithm>

KeyedListModel::KeyedListModel(KeyOf keyOf, int maxRows, QObject* parent)
    : QAbstractListModel(parent)
    , m_keyOf(std::move(keyOf))
    , m_maxRows(maxRows)
{
}

int KeyedListModel::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : int(m_rows.size());
}

QVariant KeyedListModel::data(const QModelIndex& index, int role) const
{
    if (!index.isValid() || index.row() >= m_rows.size())
        return {};
    const Entry& entry = m_rows.at(index.row());
    if (role == Qt::DisplayRole || role == KeyRole)
        return entry.key;
    if (role == RowRole)
        return entry.data;
    return {};
}

QList<KeyedListModel::Entry> KeyedListModel::keyed(const QList<QJsonObject>& rows) const
{
    QList<Entry> result;
    const qsizetype count = std::min<qsizetype>(rows.size(), m_maxRows);
    result.reserve(count);
    QHash<QString, int> occurrences;
    for (qsizetype i = 0; i < count; ++i) {
        const QString base = m_keyOf(rows.at(i));
        const int seen = occurrences[base]++;
        result.append({seen == 0 ? base : base + QLatin1Char('\x1f') + QString::number(seen), rows.at(i)});
    }
    return result;
}

void KeyedListModel::setRows(const QList<QJsonObject>& rows)
{
    const QList<Entry> wanted = keyed(rows);
    QHash<QString, int> wantedRows;
    wantedRows.reserve(wanted.size());
    for (int i = 0; i < wanted.size(); ++i)
        wantedRows.insert(wanted.at(i).key, i);

    removeVanished(wantedRows);
    reorderKept(wanted);
    insertAndUpdate(wanted);
    indexKeys();
    emit rowsUpdated();
}

void KeyedListModel::removeVanished(const QHash<QString, int>& wanted)
{
    // From the end, one contiguous run at a time.
    int row = int(m_rows.size()) - 1;
    while (row >= 0) {
        if (wanted.contains(m_rows.at(row).key)) {
            --row;
            continue;
        }
        int first = row;
        while (first > 0 && !wanted.contains(m_rows.at(first - 1).key))
            --first;
        beginRemoveRows({}, first, row);
        m_rows.remove(first, row - first + 1);
        endRemoveRows();
        row = first - 1;
    }
}

void KeyedListModel::reorderKept(const QList<Entry>& wanted)
{
    // The kept rows in the reply's order; when that differs, one layout change moves them.
    QHash<QString, int> current;
    current.reserve(m_rows.size());
    for (int i = 0; i < m_rows.size(); ++i)
        current.insert(m_rows.at(i).key, i);
    QList<int> order;
    order.reserve(m_rows.size());
    for (const Entry& entry : wanted) {
        const auto found = current.constFind(entry.key);
        if (found != current.cend())
            order.append(found.value());
    }
    if (std::is_sorted(order.cbegin(), order.cend()))
        return;

    emit layoutAboutToBeChanged();
    QList<Entry> reordered;
    reordered.reserve(order.size());
    QList<int> newRowOf(order.size());
    for (int to = 0; to < order.size(); ++to) {
        reordered.append(m_rows.at(order.at(to)));
        newRowOf[order.at(to)] = to;
    }
    m_rows = std::move(reordered);
    const QModelIndexList before = persistentIndexList();
    QModelIndexList after;
    after.reserve(before.size());
    for (const QModelIndex& index : before)
        after.append(this->index(newRowOf.at(index.row())));
    changePersistentIndexList(before, after);
    emit layoutChanged();
}

void KeyedListModel::insertAndUpdate(const QList<Entry>& wanted)
{
    // The kept rows are now in reply order: walk both lists, inserting runs of new rows.
    int row = 0;
    int next = 0;
    while (next < wanted.size()) {
        if (row < m_rows.size() && m_rows.at(row).key == wanted.at(next).key) {
            if (!(m_rows.at(row).data == wanted.at(next).data)) {
                m_rows[row].data = wanted.at(next).data;
                const QModelIndex changed = index(row);
                emit dataChanged(changed, changed);
            }
            ++row;
            ++next;
            continue;
        }
        int end = next;
        while (end < wanted.size() && (row >= m_rows.size() || m_rows.at(row).key != wanted.at(end).key))
            ++end;
        beginInsertRows({}, row, row + (end - next) - 1);
        m_rows.insert(row, end - next, Entry{});
        for (int i = next; i < end; ++i)
            m_rows[row + (i - next)] = wanted.at(i);
        endInsertRows();
        row += end - next;
        next = end;
    }
}

void KeyedListModel::indexKeys()
{
    m_rowByKey.clear();
    m_rowByKey.reserve(m_rows.size());
    for (int i = 0; i < m_rows.size(); ++i)
        m_rowByKey.insert(m_rows.at(i).key, i);
}

