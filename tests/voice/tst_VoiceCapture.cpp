// The microphone path of the voice engine over the fake WebRTC layer: echo
// cancellation and the other processing, the push-to-talk gate and Mute, the
// speaking threshold and the level meter.

#include "EchoScene.h"
#include "FakeVoicePeerConnection.h"
#include "VoiceEngineProbe.h"

#include <QJsonObject>
#include <QSignalSpy>
#include <QtTest>

#include <numeric>

namespace {

// A square wave of the given amplitude, frames of 10 ms.
QByteArray constantPcm(int frames10ms, qint16 value)
{
    QByteArray pcm(frames10ms * 960, Qt::Uninitialized);
    for (int i = 0; i < pcm.size() / 2; ++i)
        reinterpret_cast<qint16*>(pcm.data())[i] = i % 2 ? value : qint16(-value);
    return pcm;
}

} // namespace

class TestVoiceCapture : public QObject
{
    Q_OBJECT

private:
    std::shared_ptr<FakeVoicePeerConnectionFactory> factory;
    std::unique_ptr<VoiceChatManager> manager;
    std::shared_ptr<FakeVoiceAudioTrack> track;

    // In voice with one member whose track is open; the test feeds the microphone.
    void joinWithPeer(bool processing)
    {
        manager->setAudioProcessing(processing, processing, processing);
        QVERIFY(VoiceEngineProbe::joinFedByTest(*manager));
        manager->handleSignalingEvent("voice_user_joined", QJsonObject{{"sid", "s1"}, {"username", "orion"}});
        track = factory->openFor("s1")->track;
        track->open = true;
    }

private slots:
    void initTestCase() { REQUIRE_TEST_AUDIO_DEVICES(); }
    void init()
    {
        factory = std::make_shared<FakeVoicePeerConnectionFactory>();
        manager = std::make_unique<VoiceChatManager>(factory);
    }
    void cleanup() { track.reset(); manager.reset(); }

    // Six seconds in which the microphone hears only the echo of what is
    // played; the last two are compared with what was captured.
    void echoOnlyInput_data()
    {
        QTest::addColumn<bool>("processing");
        QTest::addColumn<double>("minDb");
        QTest::addColumn<double>("maxDb");
        QTest::newRow("processing on (default)") << true << 15.0 << 200.0;
        QTest::newRow("processing off: sent as heard") << false << -3.0 << 3.0;
    }
    void echoOnlyInput()
    {
        QFETCH(bool, processing);
        QFETCH(double, minDb);
        QFETCH(double, maxDb);
        joinWithPeer(processing);
        VoiceCapture* capture = VoiceEngineProbe::capture(*manager);
        EchoScene scene(60, 0.5);
        AudioProcessing::Frame render{}, heard{};
        double heardEnergy = 0;
        for (int frame = 0; frame < 600; ++frame) {
            scene.next(render, heard);
            capture->addPlayedAudio(render.data(), int(render.size()), 1);
            VoiceEngineProbe::feedMicrophone(*manager, QByteArray(reinterpret_cast<const char*>(heard.data()), 960));
            if (frame >= 400)
                heardEnergy += frameEnergy(heard);
        }
        QCOMPARE(track->sent.size(), 300);
        const std::vector<qint16> sent = track->decodedSent();
        const double sentEnergy = std::inner_product(sent.begin() + 200 * 960, sent.end(), sent.begin() + 200 * 960, 0.0);
        const double reductionDb = 10.0 * std::log10(heardEnergy / std::max(sentEnergy, 1.0));
        QVERIFY2(reductionDb >= minDb && reductionDb <= maxDb, qPrintable(QString::number(reductionDb, 'f', 1) + " dB"));
    }

    // What is sent, whether the member shows as transmitting and speaking, and the meter.
    void gateThresholdAndLevel_data()
    {
        QTest::addColumn<QString>("mode"); // v voice activity, k key up, K key held; m: muted
        QTest::addColumn<int>("threshold");
        QTest::addColumn<int>("level");
        QTest::addColumn<bool>("sends");
        QTest::addColumn<bool>("speaks");
        QTest::newRow("threshold 1000: 1001 speaks") << "v" << 1000 << 1001 << true << true;
        QTest::newRow("threshold 1000: 999 does not") << "v" << 1000 << 999 << true << false;
        QTest::newRow("push-to-talk, key up") << "k" << 0 << 5000 << false << false;
        QTest::newRow("push-to-talk, key held") << "K" << 0 << 5000 << true << true;
        QTest::newRow("key held but muted") << "Km" << 0 << 5000 << false << false;
        QTest::newRow("voice activity, muted") << "vm" << 0 << 5000 << false << false;
    }
    void gateThresholdAndLevel()
    {
        QFETCH(QString, mode);
        QFETCH(int, threshold);
        QFETCH(int, level);
        QFETCH(bool, sends);
        QFETCH(bool, speaks);
        const bool keyHeld = mode.startsWith('K'), muted = mode.endsWith('m');
        QSignalSpy transmitting(manager.get(), &VoiceChatManager::transmittingChanged);
        manager->setSpeakingThreshold(threshold);
        joinWithPeer(false);
        manager->setPushToTalkEnabled(!mode.startsWith('v'));
        manager->setPushToTalkPressed(keyHeld);
        if (muted)
            manager->toggleMute();
        // The real device's chunks before it was detached may already have
        // reported a level: only what the fed chunks report counts.
        QSignalSpy levels(manager.get(), &VoiceChatManager::microphoneLevelChanged);
        VoiceEngineProbe::feedMicrophone(*manager, constantPcm(5, qint16(level)));
        QCOMPARE(track->sent.size(), sends ? 2 : 0);
        QCOMPARE(manager->isLocalUserSpeaking(), speaks);
        QCOMPARE(transmitting.last().first().toBool(), sends);
        if (muted) {
            QCOMPARE(levels.size(), 0);
        } else { // a report per 50 ms, key or not: the loudest frame
            QTRY_VERIFY(!levels.isEmpty());
            QCOMPARE(levels.last().first().toInt(), level);
        }
    }
};

QTEST_MAIN(TestVoiceCapture)
#include "tst_VoiceCapture.moc"
