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
        QTest::addColumn<int>("inserted");
        QTest::addColumn<int>("removed");
        QTest::addColumn<int>("changed");
        QTest::addColumn<bool>("reordered");

        QTest::newRow("identical") << "a b c" << "a b c" << 0 << 0 << 0 << false;
        QTest::newRow("appended") << "a b c" << "a b c d" << 1 << 0 << 0 << false;
        QTest::newRow("prepended and inserted") << "a b c" << "z a y b c" << 2 << 0 << 0 << false;
        QTest::newRow("removed runs") << "a b c d e" << "a d" << 0 << 2 << 0 << false;
        QTest::newRow("one changed") << "a b c" << "a b:2 c" << 0 << 0 << 1 << false;
        QTest::newRow("reordered") << "a b c d" << "d b a c" << 0 << 0 << 0 << true;
        QTest::newRow("everything at once") << "a b c d" << "e d:3 b f" << 2 << 2 << 1 << true;
        QTest::newRow("emptied") << "a b" << "" << 0 << 1 << 0 << false;
        QTest::newRow("repeated keys") << "a a b" << "a a a b" << 1 << 0 << 0 << false;
    }

    void updatesByDifference()
    {
        QFETCH(QString, before);
        QFETCH(QString, after);
        QFETCH(int, inserted);
        QFETCH(int, removed);
        QFETCH(int, changed);
        QFETCH(bool, reordered);
        const int expectedInserted = inserted, expectedRemoved = removed, expectedChanged = changed;
        const bool expectedReordered = reordered;
        KeyedListModel model([](const QJsonObject& row) { return row.value("name").toString(); }, 100);
        model.setRows(rowsFrom(before));

        // Every kept row's persistent index follows it.
        QList<QPersistentModelIndex> kept;
        QStringList keptNames;
        for (int row = 0; row < model.rowCount(); ++row) {
            const QString name = model.rowAt(row).value("name").toString();
            if (after.split(QLatin1Char(' ')).contains(name) || after.contains(name + QLatin1Char(':'))) {
                kept << QPersistentModelIndex(model.index(row));
                keptNames << name;
            }
        }

        QSignalSpy insertedSpy(&model, &QAbstractItemModel::rowsInserted);
        QSignalSpy removedSpy(&model, &QAbstractItemModel::rowsRemoved);
        QSignalSpy changedSpy(&model, &QAbstractItemModel::dataChanged);
        QSignalSpy reorderedSpy(&model, &QAbstractItemModel::layoutChanged);
        QSignalSpy reset(&model, &QAbstractItemModel::modelReset);
        model.setRows(rowsFrom(after));

        QCOMPARE(keysOf(model), QString(after).remove(QRegularExpression(":\\d")));
        QCOMPARE(insertedSpy.count(), expectedInserted);
        QCOMPARE(removedSpy.count(), expectedRemoved);
        QCOMPARE(changedSpy.count(), expectedChanged);
        QCOMPARE(!reorderedSpy.isEmpty(), expectedReordered);
        QCOMPARE(reset.count(), 0);
        for (int i = 0; i < kept.size(); ++i) {
            QVERIFY(kept.at(i).isValid());
            QCOMPARE(model.rowAt(kept.at(i).row()).value("name").toString(), keptNames.at(i));
            QCOMPARE(model.rowOfKey(model.keyAt(kept.at(i).row())), kept.at(i).row());
        }
    }

    void keepsAtMostItsBound()
    {
        KeyedListModel model([](const QJsonObject& row) { return row.value("name").toString(); }, 3);
        model.setRows(rowsFrom("a b c d e"));
        QCOMPARE(keysOf(model), QStringLiteral("a b c"));
        QCOMPARE(model.rowOfKey(QStringLiteral("d")), -1);
    }
};

QTEST_MAIN(TestKeyedListModel)
#include "tst_KeyedListModel.moc"
