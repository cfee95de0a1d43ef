#include "widgets/MicLevelMeter.h"

#include <QSignalSpy>
#include <QTest>

// Bar from x = 6 to x = 234 on a 240 px meter: -60 dBFS to full scale.
class tst_MicLevelMeter : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void dragging_data();
    void dragging();
    void arrowKeys_data();
    void arrowKeys();
    void speakingPartIsGreen_data();
    void speakingPartIsGreen();

private:
    std::unique_ptr<MicLevelMeter> m_meter;
};

void tst_MicLevelMeter::init()
{
    m_meter = std::make_unique<MicLevelMeter>();
    m_meter->resize(240, 22);
    m_meter->show();
    QVERIFY(QTest::qWaitForWindowExposed(m_meter.get()));
}

void tst_MicLevelMeter::dragging_data()
{
    QTest::addColumn<int>("pressX");
    QTest::addColumn<int>("releaseX");
    QTest::addColumn<int>("minThreshold");
    QTest::addColumn<int>("maxThreshold");

    // -60 dBFS is a mean level of 33; full scale is capped below 32768.
    QTest::newRow("left end") << 6 << 6 << 33 << 33;
    QTest::newRow("right end, past the bar") << 236 << 236 << 32767 << 32767;
    QTest::newRow("on the default mark") << 92 << 92 << 430 << 470;
    QTest::newRow("dragged from the mark to the middle (-30 dBFS)") << 92 << 120 << 1000 << 1060;
}

void tst_MicLevelMeter::dragging()
{
    QFETCH(int, pressX);
    QFETCH(int, releaseX);
    QSignalSpy changed(m_meter.get(), &MicLevelMeter::thresholdChanged);
    QTest::mousePress(m_meter.get(), Qt::LeftButton, {}, QPoint(pressX, 11));
    QTest::mouseMove(m_meter.get(), QPoint(releaseX, 11));
    QTest::mouseRelease(m_meter.get(), Qt::LeftButton, {}, QPoint(releaseX, 11));

    QFETCH(int, minThreshold);
    QFETCH(int, maxThreshold);
    QVERIFY2(m_meter->threshold() >= minThreshold && m_meter->threshold() <= maxThreshold,
             qPrintable(QString::number(m_meter->threshold())));
    if (m_meter->threshold() != MicLevelMeter::DefaultThreshold)
        QCOMPARE(changed.last().at(0).toInt(), m_meter->threshold());
}

void tst_MicLevelMeter::arrowKeys_data()
{
    QTest::addColumn<int>("key");
    QTest::addColumn<int>("from");
    QTest::addColumn<int>("to");

    QTest::newRow("right: one decibel up") << int(Qt::Key_Right) << 449 << 504;
    QTest::newRow("left at the quiet end still moves") << int(Qt::Key_Left) << 5 << 4;
}

void tst_MicLevelMeter::arrowKeys()
{
    QFETCH(int, key);
    QFETCH(int, from);
    m_meter->setThreshold(from);
    QTest::keyClick(m_meter.get(), Qt::Key(key));
    QTEST(m_meter->threshold(), "to");
}

void tst_MicLevelMeter::speakingPartIsGreen_data()
{
    QTest::addColumn<int>("level");
    QTest::addColumn<bool>("green");

    QTest::newRow("above the threshold") << 3000 << true;
    QTest::newRow("at the threshold: not speaking") << 449 << false;
    QTest::newRow("below the threshold") << 300 << false;
}

void tst_MicLevelMeter::speakingPartIsGreen()
{
    QFETCH(int, level);
    m_meter->setLevel(level);
    const QImage image = m_meter->grab().toImage();
    // Just right of the threshold mark (x = 92), in the middle of the bar.
    const QColor pixel = image.pixelColor(100 * image.width() / 240, image.height() / 2);
    const bool green = pixel.green() > 150 && pixel.red() < 100;
    QTEST(green, "green");
}

QTEST_MAIN(tst_MicLevelMeter)
#include "tst_MicLevelMeter.moc"
