#include "widgets/MicLevelMeter.h"

#include <QSignalSpy>
#include <QTest>

// Bar from x = 6 to x = 234 on a 240 px meter: -60 dBFS to full scale.
class tst_MicLevelMeter : public QObject
{
    Q_OBJECT

private slots:
    void init()
    {
        m_meter = std::make_unique<MicLevelMeter>();
        m_meter->resize(240, 22);
        m_meter->show();
        QVERIFY(QTest::qWaitForWindowExposed(m_meter.get()));
    }

    // The threshold follows a drag along the bar and the arrow keys (one decibel
    // a step, and at least one unit at the quiet end).
    void thresholdMoves_data()
    {
        QTest::addColumn<int>("start");
        QTest::addColumn<int>("pressX");  // -1: the key in releaseX instead
        QTest::addColumn<int>("releaseX");
        QTest::addColumn<int>("minThreshold");
        QTest::addColumn<int>("maxThreshold");
        QTest::newRow("right end, past the bar") << 449 << 236 << 236 << 32767 << 32767;
        QTest::newRow("from the mark to the middle (-30 dBFS)") << 449 << 92 << 120 << 1000 << 1060;
        QTest::newRow("left key at the quiet end") << 5 << -1 << int(Qt::Key_Left) << 4 << 4;
    }

    void thresholdMoves()
    {
        QFETCH(int, start);
        QFETCH(int, pressX);
        QFETCH(int, releaseX);
        QFETCH(int, minThreshold);
        QFETCH(int, maxThreshold);
        m_meter->setThreshold(start);
        QSignalSpy changed(m_meter.get(), &MicLevelMeter::thresholdChanged);
        if (pressX < 0) {
            QTest::keyClick(m_meter.get(), Qt::Key(releaseX));
        } else {
            QTest::mousePress(m_meter.get(), Qt::LeftButton, {}, QPoint(pressX, 11));
            QTest::mouseMove(m_meter.get(), QPoint(releaseX, 11));
            QTest::mouseRelease(m_meter.get(), Qt::LeftButton, {}, QPoint(releaseX, 11));
        }
        const int threshold = m_meter->threshold();
        QVERIFY2(threshold >= minThreshold && threshold <= maxThreshold, qPrintable(QString::number(threshold)));
        QCOMPARE(changed.last().at(0).toInt(), threshold);
    }

private:
    std::unique_ptr<MicLevelMeter> m_meter;
};

QTEST_MAIN(tst_MicLevelMeter)
#include "tst_MicLevelMeter.moc"
