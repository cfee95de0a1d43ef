#pragma once

#include <QAbstractListModel>
#include <QHash>
#include <QJsonObject>
#include <QList>

#include <functional>

// A list of JSON rows that a new server reply updates by difference: each row
// has a key (made by `KeyOf`; repeated keys are told apart by their occurrence);
// rows whose key and data stay are left alone, vanished rows are removed, new
// ones inserted, and the order follows the reply. Persistent indexes of kept
// rows survive an update. At most maxRows() rows are kept: the rest of a reply
// is dropped on purpose.
class KeyedListModel : public QAbstractListModel
{
    Q_OBJECT

public:
    using KeyOf = std::function<QString(const QJsonObject& row)>;
    enum Role { KeyRole = Qt::UserRole + 1, RowRole };

    explicit KeyedListModel(KeyOf keyOf, int maxRows, QObject* parent = nullptr);

    void setRows(const QList<QJsonObject>& rows);
    void clear() { setRows({}); }

    int rowCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;

    const QJsonObject& rowAt(int row) const { return m_rows.at(row).data; }
    const QString& keyAt(int row) const { return m_rows.at(row).key; }
    // The row of that key, or -1.
    int rowOfKey(const QString& key) const { return m_rowByKey.value(key, -1); }
    int maxRows() const { return m_maxRows; }

signals:
    // Emitted once after every setRows(), after the finer model signals.
    void rowsUpdated();

private:
    struct Entry
    {
        QString key;
        QJsonObject data;
    };

    QList<Entry> keyed(const QList<QJsonObject>& rows) const;
    void removeVanished(const QHash<QString, int>& wanted);
    void reorderKept(const QList<Entry>& wanted);
    void insertAndUpdate(const QList<Entry>& wanted);
    void indexKeys();

    KeyOf m_keyOf;
    int m_maxRows;
    QList<Entry> m_rows;
    QHash<QString, int> m_rowByKey;
};
