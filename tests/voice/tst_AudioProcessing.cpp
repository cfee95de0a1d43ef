#include "EchoScene.h"

#include <QTest>

#include <cmath>

// What the microphone would send, with each processing switch, when it hears
// only the echo of the far end, or only the member.
class tst_AudioProcessing : public QObject
{
    Q_OBJECT

private slots:
    void reduction_data();
    void reduction();
};

void tst_AudioProcessing::reduction_data()
{
    QTest::addColumn<bool>("echoCancellation");
    QTest::addColumn<bool>("noiseSuppression");
    QTest::addColumn<bool>("automaticGain");
    QTest::addColumn<bool>("memberTalks");
    QTest::addColumn<double>("minDb");
    QTest::addColumn<double>("maxDb");

    QTest::newRow("echo only, all on (default)") << true << true << true << false << 20.0 << 200.0;
    QTest::newRow("echo only, echo cancellation alone") << true << false << false << false << 20.0 << 200.0;
    QTest::newRow("echo only, all off: sent as captured") << false << false << false << false << 0.0 << 0.0;
    QTest::newRow("echo only, no echo cancellation") << false << true << true << false << -10.0 << 12.0;
    QTest::newRow("member alone, echo cancellation keeps the voice") << true << false << false << true << -3.0 << 3.0;
}

// Six seconds of a far-end talker; the last two are measured, after the
// canceller has converged.
void tst_AudioProcessing::reduction()
{
    QFETCH(bool, echoCancellation);
    QFETCH(bool, noiseSuppression);
    QFETCH(bool, automaticGain);
    QFETCH(bool, memberTalks);
    QFETCH(double, minDb);
    QFETCH(double, maxDb);

    AudioProcessing processing;
    QVERIFY(processing.isValid());
    processing.setEchoCancellation(echoCancellation);
    processing.setNoiseSuppression(noiseSuppression);
    processing.setAutomaticGain(automaticGain);
    processing.setStreamDelayMs(60);

    EchoScene scene(60, 0.5);
    AudioProcessing::Frame render{};
    AudioProcessing::Frame capture{};
    double before = 0.0;
    double after = 0.0;
    for (int frame = 0; frame < 600; ++frame) {
        scene.next(render, capture);
        if (memberTalks) {
            // The member talks into the microphone while nothing is played.
            AudioProcessing::Frame member{};
            scene.next(member, render);
            capture = member;
            render.fill(0);
        }
        if (frame >= 400)
            before += frameEnergy(capture);
        processing.analyzeRender(render);
        QVERIFY(processing.processCapture(capture));
        if (frame >= 400)
            after += frameEnergy(capture);
    }
    const double reductionDb = 10.0 * std::log10(before / std::max(after, 1.0));
    QVERIFY2(reductionDb >= minDb && reductionDb <= maxDb, qPrintable(QString::number(reductionDb, 'f', 1) + " dB"));
}

QTEST_GUILESS_MAIN(tst_AudioProcessing)
#include "tst_AudioProcessing.moc"
