#include "widgets/KeyedListModel.h"

#include <QSignalSpy>
#include <QtTest>

namespace {

// "a b:2 c" -> rows keyed a, b, c; b's data carries the version 2.
QList<QJsonObject> rowsFrom(const QString& layout)
{
    QList<QJsonObject> rows;
    for (const QString& item : layout.split(QLatin1Char(' '), Qt::SkipEmptyParts)) {
        const QStringList parts = item.split(QLatin1Char(':'));
        rows.append({{"name", parts.at(0)}, {"version", parts.value(1, QStringLiteral("1")).toInt()}});
    }
    return rows;
}

QString keysOf(const KeyedListModel& model)
{
    QStringList keys;
    for (int row = 0; row < model.rowCount(); ++row)
        keys << model.rowAt(row).value("name").toString();
    return keys.join(QLatin1Char(' '));
}

}  // namespace

class TestKeyedListModel : public QObject
{
    Q_OBJECT

private slots:
    void updatesByDifference_data()
    {
        QTest::addColumn<QString>("before");
        QTest::addColumn<QString>("after");
        QTest::addColumn<QList<int>>("updates");  // insertions, removals, changes, reorderings
        QTest::newRow("identical") << "a b c" << "a b c" << QList<int>{0, 0, 0, 0};
        QTest::newRow("prepended and inserted") << "a b c" << "z a y b c" << QList<int>{2, 0, 0, 0};
        QTest::newRow("removed runs") << "a b c d e" << "a d" << QList<int>{0, 2, 0, 0};
        QTest::newRow("everything at once") << "a b c d" << "e d:3 b f" << QList<int>{2, 2, 1, 1};
        QTest::newRow("emptied") << "a b" << "" << QList<int>{0, 1, 0, 0};
        QTest::newRow("repeated keys") << "a a b" << "a a a b" << QList<int>{1, 0, 0, 0};
    }

    void updatesByDifference()
    {
        QFETCH(QString, before);
        QFETCH(QString, after);
        KeyedListModel model([](const QJsonObject& row) { return row.value("name").toString(); }, 100);
        model.setRows(rowsFrom(before));
        const QString afterKeys = QString(after).remove(QRegularExpression(":\\d"));

        // Every kept row's persistent index follows it.
        QList<QPair<QPersistentModelIndex, QString>> kept;
        for (int row = 0; row < model.rowCount(); ++row) {
            const QString name = model.rowAt(row).value("name").toString();
            if (afterKeys.split(QLatin1Char(' ')).contains(name))
                kept.append({QPersistentModelIndex(model.index(row)), name});
        }

        QSignalSpy inserted(&model, &QAbstractItemModel::rowsInserted);
        QSignalSpy removed(&model, &QAbstractItemModel::rowsRemoved);
        QSignalSpy changed(&model, &QAbstractItemModel::dataChanged);
        QSignalSpy reordered(&model, &QAbstractItemModel::layoutChanged);
        QSignalSpy reset(&model, &QAbstractItemModel::modelReset);
        model.setRows(rowsFrom(after));

        QCOMPARE(keysOf(model), afterKeys);
        QTEST((QList<int>{int(inserted.count()), int(removed.count()), int(changed.count()), int(!reordered.isEmpty())}),
              "updates");
        QCOMPARE(reset.count(), 0);
        for (const auto& [index, name] : kept)
            QCOMPARE(index.isValid() ? model.rowAt(index.row()).value("name").toString() : QString(), name);
    }

    void keepsAtMostItsBound()
    {
        KeyedListModel model([](const QJsonObject& row) { return row.value("name").toString(); }, 3);
        model.setRows(rowsFrom("a b c d e"));
        QCOMPARE(keysOf(model), QStringLiteral("a b c"));
    }
};

QTEST_MAIN(TestKeyedListModel)
#include "tst_KeyedListModel.moc"
