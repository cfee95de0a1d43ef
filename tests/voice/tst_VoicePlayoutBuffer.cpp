#include "PlayoutSimulation.h"

#include <QTest>

class VoicePlayoutBufferTest : public QObject
{
    Q_OBJECT

private slots:
    void arrivalPatterns_data()
    {
        QTest::addColumn<int>("burst");
        QTest::addColumn<double>("loss");
        QTest::addColumn<double>("reorder");
        QTest::addColumn<int>("jitterMs");
        QTest::addColumn<double>("drift");
        QTest::addColumn<int>("stallEveryMs");
        QTest::addColumn<int>("maxDelayMs");
        QTest::addColumn<int>("maxConcealed");   // of 1,500 frames
        QTest::addColumn<int>("minRepaired");    // concealed + FEC

        QTest::newRow("steady") << 1 << 0.0 << 0.0 << 0 << 0.0 << 0 << 40 << 0 << 0;
        QTest::newRow("jitter 15 ms") << 1 << 0.0 << 0.0 << 15 << 0.0 << 0 << 60 << 10 << 0;
        QTest::newRow("bursts of 5") << 5 << 0.0 << 0.0 << 0 << 0.0 << 0 << 100 << 10 << 0;
        QTest::newRow("5 % loss") << 1 << 0.05 << 0.0 << 0 << 0.0 << 0 << 60 << 100 << 40;
        QTest::newRow("reordering") << 1 << 0.0 << 0.05 << 0 << 0.0 << 0 << 60 << 60 << 0;
        QTest::newRow("output 0.1 % fast") << 1 << 0.0 << 0.0 << 3 << 0.001 << 0 << 60 << 10 << 0;
        QTest::newRow("output 0.1 % slow") << 1 << 0.0 << 0.0 << 3 << -0.001 << 0 << 60 << 10 << 0;
        QTest::newRow("300 ms stall every 2 s") << 1 << 0.0 << 0.0 << 0 << 0.0 << 2000 << 380 << 200 << 0;
    }

    // Whatever arrives, the delay stays bounded and does not grow over time;
    // losses are repaired, and repair stays rare when nothing is lost.
    void arrivalPatterns()
    {
        QFETCH(int, burst);
        QFETCH(double, loss);
        QFETCH(double, reorder);
        QFETCH(int, jitterMs);
        QFETCH(double, drift);
        QFETCH(int, stallEveryMs);
        QFETCH(int, maxDelayMs);
        QFETCH(int, maxConcealed);
        QFETCH(int, minRepaired);

        PlayoutPattern pattern;
        pattern.seconds = 30;
        pattern.burst = burst;
        pattern.loss = loss;
        pattern.reorder = reorder;
        pattern.jitterMs = jitterMs;
        pattern.drift = drift;
        pattern.stallEveryMs = stallEveryMs;
        pattern.stallMs = stallEveryMs ? 300 : 0;
        const PlayoutOutcome outcome = simulatePlayout(pattern);

        QVERIFY2(outcome.maxDelayMs <= maxDelayMs, qPrintable(QString::number(outcome.maxDelayMs)));
        QVERIFY2(outcome.meanDelayLastMs <= outcome.meanDelayFirstMs + 20.0,
                 qPrintable(QStringLiteral("%1 -> %2").arg(outcome.meanDelayFirstMs).arg(outcome.meanDelayLastMs)));
        QVERIFY2(outcome.concealed <= quint64(maxConcealed), qPrintable(QString::number(outcome.concealed)));
        QVERIFY(outcome.concealed + outcome.fec >= quint64(minRepaired));
    }

    // A missing frame whose successor is there is rebuilt from that packet's FEC.
    void holeRepairedFromNextPacket()
    {
        VoicePlayoutBuffer buffer;
        buffer.push(10, "a", 0);
        QCOMPARE(buffer.pop().source, VoicePlayoutBuffer::Source::Packet);
        buffer.push(12, "c", 40);
        const VoicePlayoutBuffer::Frame repaired = buffer.pop();
        QCOMPARE(repaired.source, VoicePlayoutBuffer::Source::Fec);
        QCOMPARE(repaired.opus, QByteArray("c"));
        QCOMPARE(buffer.pop().opus, QByteArray("c"));
    }

    // A talker who stops is concealed briefly, then silent; talking again
    // (sequence numbers simply going on) restarts playback.
    void pauseAndResume()
    {
        VoicePlayoutBuffer buffer;
        buffer.push(65534, "a", 0);
        buffer.push(65535, "b", 20);
        QCOMPARE(buffer.pop().opus, QByteArray("a"));
        QCOMPARE(buffer.pop().opus, QByteArray("b"));
        for (int i = 0; i < VoicePlayoutBuffer::MaxConcealedRun; ++i)
            QCOMPARE(buffer.pop().source, VoicePlayoutBuffer::Source::Concealed);
        QCOMPARE(buffer.pop().source, VoicePlayoutBuffer::Source::Silence);
        QCOMPARE(buffer.pop().source, VoicePlayoutBuffer::Source::Silence);
        buffer.push(0, "c", 5000); // across the sequence wrap
        QCOMPARE(buffer.pop().opus, QByteArray("c"));
    }
};

QTEST_APPLESS_MAIN(VoicePlayoutBufferTest)
#include "tst_VoicePlayoutBuffer.moc"
