// Many join/leave cycles with members coming and going, for the sanitizer
// build (bench/asan.sh) as much as for the ordinary suite.

#include "FakeVoicePeerConnection.h"
#include "VoiceEngineProbe.h"
#include "voice/GstVoicePeerConnectionFactory.h"

#include <QJsonArray>
#include <QJsonObject>
#include <QtTest>

#include <opus.h>

namespace {

QByteArray opusPacket(OpusEncoder* encoder, int amplitude)
{
    qint16 pcm[960];
    for (int i = 0; i < 960; ++i)
        pcm[i] = qint16((i % 40 < 20) ? amplitude : -amplitude);
    unsigned char out[4000];
    const int size = opus_encode(encoder, pcm, 960, out, sizeof out);
    return QByteArray(reinterpret_cast<const char*>(out), size);
}

QByteArray rtpOf(const QByteArray& payload)
{
    QByteArray packet("\x80\x6f\x00\x01\x00\x00\x03\xc0\x12\x34\x56\x78", 12);
    return packet + payload;
}

} // namespace

class TestVoiceStress : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        qputenv("MOONLODGE_STUN_URL", "");
        REQUIRE_TEST_AUDIO_DEVICES();
    }

    void hundredJoinLeaveCyclesWithPeersComingAndGoing()
    {
        auto factory = std::make_shared<FakeVoicePeerConnectionFactory>();
        auto manager = std::make_unique<VoiceChatManager>(factory);
        manager->setMicrophoneDeviceId("vmic");
        int error = 0;
        OpusEncoder* encoder = opus_encoder_create(48000, 1, OPUS_APPLICATION_VOIP, &error);
        const QByteArray loud = opusPacket(encoder, 6000);
        QByteArray pcm(3000, '\x10');

        for (int cycle = 0; cycle < 100; ++cycle) {
            QSignalSpy status(manager.get(), &VoiceChatManager::voiceStatusChanged);
            manager->joinVoice();
            QTRY_VERIFY(!status.isEmpty());
            QCOMPARE(status.first().first().toString(), QString("connected"));
            VoiceEngineProbe::detachMicrophone(*manager);
            QJsonArray existing;
            for (int i = 0; i < 3; ++i)
                existing.append(QJsonObject{{"sid", QString("e%1-%2").arg(cycle).arg(i)}, {"username", QString("m%1").arg(i)}});
            manager->handleSignalingEvent("voice_existing_users", existing);
            const QString newcomer = QString("n%1").arg(cycle);
            manager->handleSignalingEvent("voice_user_joined", QJsonObject{{"sid", newcomer}, {"username", "late"}});
            manager->handleSignalingEvent("voice_offer", QJsonObject{{"fromSid", newcomer},
                                                                     {"offer", QJsonObject{{"type", "offer"}, {"sdp", "v=0"}}}});
            for (const auto& connection : factory->created) {
                if (connection->track)
                    connection->track->open = true;
            }
            factory->last()->track->notifyMessage(rtpOf(loud));
            factory->last()->notifyLocalCandidate("candidate:1 1 UDP 1 127.0.0.1 9 typ host", "0");
            factory->last()->notifyDataChannel(std::make_shared<FakeVoiceDataChannel>("moonlodge-voice-test"));
            VoiceEngineProbe::feedMicrophone(*manager, pcm);
            manager->toggleRemoteUserMute("m1");
            if (cycle % 3 == 0)
                manager->toggleMute();
            if (cycle % 10 == 0)
                manager->setSpeakerDeviceId(cycle % 20 ? "vspk_a" : "vspk");
            factory->created.at(factory->created.size() - 2)->reportState(VoicePeerConnection::State::Failed);
            manager->handleSignalingEvent("voice_user_left", QJsonObject{{"sid", QString("e%1-1").arg(cycle)}});
            QCoreApplication::processEvents();
            manager->leaveVoice();
            QCoreApplication::processEvents();
            for (const auto& connection : factory->created)
                QCOMPARE(connection->closeCount, 1);
            factory->created.clear();
        }
        opus_encoder_destroy(encoder);
        manager.reset();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }

    // A hostile server announcing member after member: the mesh stays small.
    void joinFloodIsBounded()
    {
        auto factory = std::make_shared<FakeVoicePeerConnectionFactory>();
        VoiceChatManager manager(factory);
        manager.setMicrophoneDeviceId("vmic");
        QSignalSpy status(&manager, &VoiceChatManager::voiceStatusChanged);
        manager.joinVoice();
        QTRY_VERIFY(!status.isEmpty());
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression("Troppe connessioni vocali"));
        for (int i = 0; i < 200; ++i)
            manager.handleSignalingEvent("voice_user_joined", QJsonObject{{"sid", QString("f%1").arg(i)}, {"username", "f"}});
        const int connections = int(factory->created.size());
        QVERIFY(connections >= 8 && connections < 200);
        for (const auto& connection : factory->created)
            QCOMPARE(connection->closeCount, 0);
        manager.leaveVoice();
    }

    void webrtcConnectionsComeAndGo()
    {
        // Real webrtcbin connections made and torn down, offers included (no peer answers).
        auto factory = std::make_shared<GstVoicePeerConnectionFactory>();
        factory->setLoopbackOnly(true);
        VoiceChatManager manager(factory);
        manager.setMicrophoneDeviceId("vmic");
        for (int cycle = 0; cycle < 5; ++cycle) {
            QSignalSpy status(&manager, &VoiceChatManager::voiceStatusChanged);
            manager.joinVoice();
            QTRY_VERIFY(!status.isEmpty());
            manager.handleSignalingEvent("voice_existing_users",
                                         QJsonArray{QJsonObject{{"sid", "a"}, {"username", "x"}},
                                                    QJsonObject{{"sid", "b"}, {"username", "y"}}});
            manager.handleSignalingEvent("voice_user_joined", QJsonObject{{"sid", "c"}, {"username", "z"}});
            QCOMPARE(VoiceEngineProbe::memberCount(manager), 3);
            QTest::qWait(20);
            manager.handleSignalingEvent("voice_user_left", QJsonObject{{"sid", "a"}});
            manager.leaveVoice();
        }
    }
};

QTEST_MAIN(TestVoiceStress)
#include "tst_VoiceStress.moc"
