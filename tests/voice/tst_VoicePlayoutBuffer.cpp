#include "PlayoutSimulation.h"

#include <QTest>

Q_DECLARE_METATYPE(PlayoutPattern)

class VoicePlayoutBufferTest : public QObject
{
    Q_OBJECT

private slots:
    void arrivalPatterns_data()
    {
        QTest::addColumn<PlayoutPattern>("pattern"); // seconds, burst, loss, reorder, jitter ms, drift, stall every ms, stall ms
        QTest::addColumn<int>("maxDelayMs");
        QTest::addColumn<int>("maxConcealed"); // of 1,500 frames
        QTest::addColumn<int>("minRepaired");  // concealed + FEC
        QTest::newRow("steady") << PlayoutPattern{30, 1, 0, 0, 0, 0, 0, 0} << 40 << 0 << 0;
        QTest::newRow("jitter 15 ms") << PlayoutPattern{30, 1, 0, 0, 15, 0, 0, 0} << 60 << 10 << 0;
        QTest::newRow("bursts of 5") << PlayoutPattern{30, 5, 0, 0, 0, 0, 0, 0} << 100 << 10 << 0;
        QTest::newRow("5 % loss") << PlayoutPattern{30, 1, 0.05, 0, 0, 0, 0, 0} << 60 << 100 << 40;
        QTest::newRow("reordering") << PlayoutPattern{30, 1, 0, 0.05, 0, 0, 0, 0} << 60 << 60 << 0;
        QTest::newRow("output 0.1 % fast") << PlayoutPattern{30, 1, 0, 0, 3, 0.001, 0, 0} << 60 << 10 << 0;
        QTest::newRow("output 0.1 % slow") << PlayoutPattern{30, 1, 0, 0, 3, -0.001, 0, 0} << 60 << 10 << 0;
        QTest::newRow("300 ms stall every 2 s") << PlayoutPattern{30, 1, 0, 0, 0, 0, 2000, 300} << 380 << 200 << 0;
    }

    // Whatever arrives, the delay stays bounded and does not grow over time;
    // losses are repaired, and repair stays rare when nothing is lost.
    void arrivalPatterns()
    {
        QFETCH(PlayoutPattern, pattern);
        QFETCH(int, maxDelayMs);
        QFETCH(int, maxConcealed);
        QFETCH(int, minRepaired);
        const PlayoutOutcome outcome = simulatePlayout(pattern);
        QVERIFY2(outcome.maxDelayMs <= maxDelayMs, qPrintable(QString::number(outcome.maxDelayMs)));
        QVERIFY2(outcome.meanDelayLastMs <= outcome.meanDelayFirstMs + 20.0,
                 qPrintable(QStringLiteral("%1 -> %2").arg(outcome.meanDelayFirstMs).arg(outcome.meanDelayLastMs)));
        QVERIFY2(outcome.concealed <= quint64(maxConcealed), qPrintable(QString::number(outcome.concealed)));
        QVERIFY(outcome.concealed + outcome.fec >= quint64(minRepaired));
    }

    // A hole whose successor is there is rebuilt from its FEC; a talker who
    // stops is concealed briefly, then silent, and restarts across the wrap.
    void repairPauseAndResume()
    {
        VoicePlayoutBuffer buffer;
        for (quint16 sequence = 65531; sequence != 65534; ++sequence) // the start target: three frames
            buffer.push(sequence, "a", 0);
        for (int i = 0; i < 3; ++i)
            QCOMPARE(buffer.pop().source, VoicePlayoutBuffer::Source::Packet);
        buffer.push(65535, "c", 60);
        const VoicePlayoutBuffer::Frame repaired = buffer.pop();
        QCOMPARE(repaired.source, VoicePlayoutBuffer::Source::Fec);
        QCOMPARE(repaired.opus, QByteArray("c"));
        QCOMPARE(buffer.pop().opus, QByteArray("c"));
        for (int i = 0; i < VoicePlayoutBuffer::MaxConcealedRun; ++i)
            QCOMPARE(buffer.pop().source, VoicePlayoutBuffer::Source::Concealed);
        QCOMPARE(buffer.pop().source, VoicePlayoutBuffer::Source::Silence);
        for (quint16 sequence = 0; sequence < 3; ++sequence)
            buffer.push(sequence, "d", 5000);
        QCOMPARE(buffer.pop().opus, QByteArray("d"));
    }
};

QTEST_APPLESS_MAIN(VoicePlayoutBufferTest)
#include "tst_VoicePlayoutBuffer.moc"
