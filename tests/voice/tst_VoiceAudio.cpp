// The voice engine's capture, encoding, playback and speaking logic, and the
// RTP parsing of receive path A, over the fake WebRTC layer.

#include "FakeVoicePeerConnection.h"
#include "VoiceEngineProbe.h"

#include <QBuffer>
#include <QElapsedTimer>
#include <QJsonArray>
#include <QJsonObject>
#include <QSignalSpy>
#include <QtTest>

#include <opus.h>

#include <cmath>

namespace {

QByteArray constantPcm(int bytes, qint16 value)
{
    QByteArray pcm(bytes, Qt::Uninitialized);
    auto* samples = reinterpret_cast<qint16*>(pcm.data());
    for (int i = 0; i < bytes / 2; ++i)
        samples[i] = (i % 2) ? value : qint16(value == -32768 ? -32768 : value); // same magnitude everywhere
    return pcm;
}

// Opus packets of a 440 Hz tone (loud) or of silence, from an encoder of our own.
class PacketMaker
{
public:
    PacketMaker()
    {
        int error = 0;
        encoder = opus_encoder_create(48000, 1, OPUS_APPLICATION_VOIP, &error);
    }
    ~PacketMaker() { opus_encoder_destroy(encoder); }
    QByteArray packet(int amplitude)
    {
        qint16 pcm[960];
        for (int i = 0; i < 960; ++i) {
            phase += 2 * M_PI * 440 / 48000;
            pcm[i] = qint16(amplitude * std::sin(phase));
        }
        unsigned char out[4000];
        const int size = opus_encode(encoder, pcm, 960, out, sizeof out);
        return QByteArray(reinterpret_cast<const char*>(out), size);
    }
    OpusEncoder* encoder = nullptr;
    double phase = 0;
};

QByteArray rtp(const QByteArray& payload, int payloadType = 111, int csrcCount = 0, bool extension = false,
               int extensionWords = 0, int padding = -1)
{
    QByteArray packet;
    packet.append(char(0x80 | (extension ? 0x10 : 0) | (padding >= 0 ? 0x20 : 0) | csrcCount));
    packet.append(char(payloadType));
    packet.append(QByteArray(10, '\x01'));
    packet.append(QByteArray(4 * csrcCount, '\x02'));
    if (extension) {
        packet.append("\xbe\xde", 2);
        packet.append(char(extensionWords >> 8));
        packet.append(char(extensionWords & 0xff));
        packet.append(QByteArray(4 * extensionWords, '\x03'));
    }
    packet.append(payload);
    if (padding > 0) {
        packet.append(QByteArray(padding - 1, '\0'));
        packet.append(char(padding));
    } else if (padding == 0) {
        packet.append('\0');
    }
    return packet;
}

} // namespace

class TestVoiceAudio : public QObject
{
    Q_OBJECT

private:
    std::shared_ptr<FakeVoicePeerConnectionFactory> factory;
    std::unique_ptr<VoiceChatManager> manager;
    QStringList log;
    QObject* context = nullptr;

    auto& d() { return VoiceEngineProbe::d(*manager); }
    void join()
    {
        manager->setMicrophoneDeviceId("vmic");
        manager->joinVoice();
        QVERIFY(d().inVoice);
        VoiceEngineProbe::detachMicrophone(*manager);
        log.clear();
    }
    std::shared_ptr<FakeVoicePeerConnection> peer(const QString& sid, const QString& username)
    {
        manager->handleSignalingEvent("voice_user_joined", QJsonObject{{"sid", sid}, {"username", username}});
        return std::static_pointer_cast<FakeVoicePeerConnection>(d().peerConnections.value(sid));
    }

private slots:
    void initTestCase()
    {
        qputenv("MOONLODGE_STUN_URL", "");
        REQUIRE_TEST_AUDIO_DEVICES();
    }

    void init()
    {
        factory = std::make_shared<FakeVoicePeerConnectionFactory>();
        manager = std::make_unique<VoiceChatManager>(factory);
        log.clear();
        context = new QObject;
        connect(manager.get(), &VoiceChatManager::localUserSpeakingChanged, context,
                [this](bool on) { log << QString("speaking:%1").arg(on); });
        connect(manager.get(), &VoiceChatManager::muteChanged, context, [this](bool on) { log << QString("mute:%1").arg(on); });
        connect(manager.get(), &VoiceChatManager::voiceStatusChanged, context, [this](const QString& s) { log << "status:" + s; });
        connect(manager.get(), &VoiceChatManager::remoteUserSpeakingChanged, context,
                [this](const QString& user, bool on) { log << QString("remote:%1:%2").arg(user).arg(on); });
        connect(manager.get(), &VoiceChatManager::remoteUserMuteChanged, context,
                [this](const QString& user, bool on) { log << QString("remotemute:%1:%2").arg(user).arg(on); });
    }

    void cleanup()
    {
        delete context;
        manager.reset();
        factory.reset();
    }

    void chunkOf3000BytesGivesOneFrame()
    {
        join();
        auto connection = peer("s1", "orion");
        connection->track->open = true;
        VoiceEngineProbe::feedMicrophone(*manager, constantPcm(3000, 0));
        QCOMPARE(connection->track->sent.size(), 1);
        QCOMPARE(connection->track->sent.first().second, 0.0);
        QCOMPARE(d().pendingPcm.size(), 1080);
        QCOMPARE(d().encodedFrames, quint64(1));
        VoiceEngineProbe::feedMicrophone(*manager, constantPcm(840, 0));
        QCOMPARE(connection->track->sent.size(), 2);
        QCOMPARE(connection->track->sent.last().second, 0.02);
        QCOMPARE(d().pendingPcm.size(), 0);
        QCOMPARE(d().sentMicroseconds, quint64(40000));
    }

    void closedTracksMissFramesAndFailuresAreSkipped()
    {
        join();
        auto closed = peer("s1", "orion");
        auto failing = peer("s2", "nova");
        auto open = peer("s3", "kai");
        failing->track->open = true;
        failing->track->sendFailure = "broken pipe";
        open->track->open = true;
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression("Invio audio WebRTC fallito: .*broken pipe"));
        VoiceEngineProbe::feedMicrophone(*manager, constantPcm(1920, 100));
        QCOMPARE(closed->track->sent.size(), 0);
        QCOMPARE(open->track->sent.size(), 1);
        QCOMPARE(d().encodedFrames, quint64(1));
    }

    void speakingThresholdIs449()
    {
        join();
        VoiceEngineProbe::feedMicrophone(*manager, constantPcm(1920, 449));
        VoiceEngineProbe::feedMicrophone(*manager, constantPcm(1920, -449));
        QVERIFY(log.isEmpty());
        QVERIFY(!manager->isLocalUserSpeaking());
        QElapsedTimer clock;
        clock.start();
        VoiceEngineProbe::feedMicrophone(*manager, constantPcm(1920, -450));
        QCOMPARE(log, QStringList{"speaking:1"});
        QVERIFY(manager->isLocalUserSpeaking());
        QTRY_COMPARE_WITH_TIMEOUT(log, (QStringList{"speaking:1", "speaking:0"}), 1000);
        QVERIFY(clock.elapsed() >= 240);
    }

    void aloneNothingIsBufferedOrEncoded()
    {
        join();
        VoiceEngineProbe::feedMicrophone(*manager, constantPcm(3000, 5000));
        QCOMPARE(log, QStringList{"speaking:1"});
        QVERIFY(d().pendingPcm.isEmpty());
        QCOMPARE(d().encodedFrames, quint64(0));
    }

    void mutingWhileSpeakingEndsSpeakingFirst()
    {
        join();
        VoiceEngineProbe::feedMicrophone(*manager, constantPcm(1920, 5000));
        manager->toggleMute();
        QCOMPARE(log, (QStringList{"speaking:1", "speaking:0", "mute:1", "status:muted"}));
        QVERIFY(manager->isMuted());
        QCOMPARE(d().audioSource->volume(), 0.0);
        log.clear();
        VoiceEngineProbe::feedMicrophone(*manager, constantPcm(1920, 5000));
        QVERIFY(log.isEmpty());
        manager->toggleMute();
        QCOMPARE(log, (QStringList{"mute:0", "status:connected"}));
        QVERIFY(!manager->isLocalUserSpeaking());
        VoiceEngineProbe::feedMicrophone(*manager, constantPcm(1920, 5000));
        QCOMPARE(log.last(), QString("speaking:1"));
    }

    // A microphone that cannot be opened mid-call: back to the previous one, the
    // status untouched, the call going on.
    void failedMicrophoneChangeReturnsToThePreviousDevice()
    {
        join();
        const auto realLookup = VoiceEngineProbe::inputDeviceLookup(*manager);
        VoiceEngineProbe::setInputDeviceLookup(*manager, [realLookup](const QByteArray& id) {
            return id == "broken" ? QAudioDevice() : realLookup(id);
        });
        QSignalSpy errors(manager.get(), &VoiceChatManager::voiceError);
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression("Cambio del microfono fallito.*Ripristino del dispositivo precedente"));
        manager->setMicrophoneDeviceId("broken");

        QCOMPARE(errors.size(), 1);
        QCOMPARE(errors.first().first().toString(), QString("No microphone was found."));
        QCOMPARE(d().microphoneDeviceId, QByteArray("vmic"));
        QVERIFY(d().audioSource);
        QVERIFY(d().microphoneIo);
        QCOMPARE(d().audioSource->state() == QAudio::StoppedState, false);
        QVERIFY(d().inVoice);
        QVERIFY2(log.filter("status:").isEmpty(), qPrintable(log.join(' ')));
    }

    // When the previous microphone cannot be opened either: "error", still in
    // voice without capture, until another device is chosen.
    void failedMicrophoneChangeWithoutFallbackEndsInError()
    {
        join();
        VoiceEngineProbe::setInputDeviceLookup(*manager, [](const QByteArray&) { return QAudioDevice(); });
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression("Cambio del microfono fallito"));
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression("Impossibile ripristinare il microfono precedente"));
        manager->setMicrophoneDeviceId("broken");

        QCOMPARE(log.filter("status:"), QStringList{"status:error"});
        QVERIFY(d().inVoice);
        QVERIFY(!d().audioSource);
        QCOMPARE(d().microphoneDeviceId, QByteArray("vmic"));
    }

    void toggleMuteOutsideVoiceDoesNothing()
    {
        manager->toggleMute();
        QVERIFY(log.isEmpty());
        QVERIFY(!manager->isMuted());
    }

    void remoteSpeakingHolds350ms()
    {
        join();
        peer("s1", "orion");
        PacketMaker maker;
        QElapsedTimer clock;
        clock.start();
        VoiceEngineProbe::playOpus(*manager, "s1", maker.packet(8000));
        QCOMPARE(log, QStringList{"remote:orion:1"});
        QVERIFY(manager->isRemoteUserSpeaking("orion"));
        QTest::qWait(300);
        const qint64 second = clock.elapsed();
        VoiceEngineProbe::playOpus(*manager, "s1", maker.packet(8000));
        QTest::qWait(200);
        QVERIFY(manager->isRemoteUserSpeaking("orion"));
        QTRY_VERIFY_WITH_TIMEOUT(!manager->isRemoteUserSpeaking("orion"), 1000);
        QVERIFY(clock.elapsed() - second >= 340);
        QCOMPARE(log, (QStringList{"remote:orion:1", "remote:orion:0"}));
        // Quiet packets never start it.
        peer("s2", "nova");
        PacketMaker quiet;
        for (int i = 0; i < 5; ++i)
            VoiceEngineProbe::playOpus(*manager, "s2", quiet.packet(0));
        QCOMPARE(log.size(), 2);
    }

    void unknownUsernameNeverSpeaks()
    {
        join();
        manager->handleSignalingEvent("voice_offer",
                                      QJsonObject{{"fromSid", "s5"}, {"offer", QJsonObject{{"type", "offer"}, {"sdp", "v=0"}}}});
        QVERIFY(d().decoders.contains("s5"));
        PacketMaker maker;
        VoiceEngineProbe::playOpus(*manager, "s5", maker.packet(8000));
        QVERIFY(log.isEmpty());
        QVERIFY(d().speakingSids.isEmpty());
    }

    void corruptPacketIsSkipped()
    {
        join();
        peer("s1", "orion");
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression("Errore decodifica Opus:"));
        VoiceEngineProbe::playOpus(*manager, "s1", QByteArray("\xff\xff\xff", 3));
        QVERIFY(log.isEmpty());
    }

    void muteToggledWithoutConnection()
    {
        QTest::ignoreMessage(QtDebugMsg, QRegularExpression("Mute individuale: .*kai.* attivato - connessione trovata: false"));
        QCOMPARE(manager->toggleRemoteUserMute("kai"), true);
        QCOMPARE(log, QStringList{"remotemute:kai:1"});
        QVERIFY(manager->isRemoteUserMuted("kai"));
        QCOMPARE(manager->toggleRemoteUserMute(""), false);
        QCOMPARE(log.size(), 1);
    }

    void mutedMemberStaysSilentAfterSpeakerChangeAndReconnect()
    {
        join();
        peer("s1", "orion");
        QTest::ignoreMessage(QtDebugMsg, QRegularExpression("Mute individuale: .*orion.* attivato - connessione trovata: true"));
        QVERIFY(manager->toggleRemoteUserMute("orion"));
        QCOMPARE(d().outputSinks.value("s1")->volume(), 0.0);

        const auto before = d().outputSinks.value("s1");
        manager->setSpeakerDeviceId("vspk_a");
        QVERIFY(d().outputSinks.value("s1") != before);
        QCOMPARE(d().outputSinks.value("s1")->volume(), 0.0);

        manager->handleSignalingEvent("voice_user_left", QJsonObject{{"sid", "s1"}});
        QVERIFY(!d().outputSinks.contains("s1"));
        peer("s1", "orion");
        QCOMPARE(d().outputSinks.value("s1")->volume(), 0.0);
        QVERIFY(manager->isRemoteUserMuted("orion"));

        // Muted members are still decoded and still reported as speaking.
        PacketMaker maker;
        VoiceEngineProbe::playOpus(*manager, "s1", maker.packet(8000));
        QVERIFY(manager->isRemoteUserSpeaking("orion"));

        QVERIFY(!manager->toggleRemoteUserMute("orion"));
        QCOMPARE(d().outputSinks.value("s1")->volume(), 1.0);
    }

    void speakerChangeWhileAloneOnlyStoresIt()
    {
        join();
        manager->setSpeakerDeviceId("");
        QTest::ignoreMessage(QtDebugMsg, QRegularExpression("Nessun utente remoto collegato"));
        manager->setSpeakerDeviceId("vspk_a");
        QCOMPARE(d().speakerDeviceId, QByteArray("vspk_a"));
    }

    void floatOnlySpeakerPlaysThroughFloatPath()
    {
        join();
        peer("s1", "orion");
        peer("s2", "nova");
        QAudioFormat floatFormat;
        floatFormat.setSampleRate(48000);
        floatFormat.setChannelCount(2);
        floatFormat.setSampleFormat(QAudioFormat::Float);
        QBuffer floatOut;
        QBuffer intOut;
        floatOut.open(QIODevice::WriteOnly);
        intOut.open(QIODevice::WriteOnly);
        d().outputFormats["s1"] = floatFormat;
        d().outputDevices["s1"] = &floatOut;
        d().outputDevices["s2"] = &intOut;

        PacketMaker maker;
        const QByteArray packet = maker.packet(8000);
        VoiceEngineProbe::playOpus(*manager, "s1", packet);
        VoiceEngineProbe::playOpus(*manager, "s2", packet);
        QCOMPARE(intOut.data().size(), 960 * 2 * 2);
        QCOMPARE(floatOut.data().size(), 960 * 2 * 4);
        const auto* ints = reinterpret_cast<const qint16*>(intOut.data().constData());
        const auto* floats = reinterpret_cast<const float*>(floatOut.data().constData());
        for (int i = 0; i < 960 * 2; ++i)
            QCOMPARE(floats[i], float(ints[i]) / 32768.0f);

        d().outputFormats.remove("s2");
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression("Impossibile riprodurre l'audio di: .*s2"));
        VoiceEngineProbe::playOpus(*manager, "s2", packet);
    }

    void receivePathAPacketCases()
    {
        const QByteArray opus("\x78\x01\x02", 3);
        QCOMPARE(VoiceEngineProbe::opusFromRtp(rtp(opus)), opus);
        QVERIFY(VoiceEngineProbe::opusFromRtp(rtp(QByteArray())).isEmpty());           // 12 bytes, no payload
        QVERIFY(VoiceEngineProbe::opusFromRtp(rtp(opus, 0)).isEmpty());                // payload type 0
        QVERIFY(VoiceEngineProbe::opusFromRtp(rtp(opus).left(11)).isEmpty());          // too short
        QByteArray version1 = rtp(opus);
        version1[0] = char(0x40);
        QVERIFY(VoiceEngineProbe::opusFromRtp(version1).isEmpty());
        QByteArray marker = rtp(opus);
        marker[1] = char(0x80 | 111);
        QCOMPARE(VoiceEngineProbe::opusFromRtp(marker), opus);                         // marker bit ignored
        QCOMPARE(VoiceEngineProbe::opusFromRtp(rtp(opus, 111, 2)), opus);              // CSRCs skipped
        QByteArray shortCsrc = rtp(QByteArray(), 111, 3);
        shortCsrc.chop(1);
        QVERIFY(VoiceEngineProbe::opusFromRtp(shortCsrc).isEmpty());
        QCOMPARE(VoiceEngineProbe::opusFromRtp(rtp(opus, 111, 1, true, 2)), opus);    // extension skipped
        QVERIFY(VoiceEngineProbe::opusFromRtp(rtp(QByteArray("\x01\x02", 2), 111, 0, true, 0).left(14)).isEmpty());
        QVERIFY(VoiceEngineProbe::opusFromRtp(rtp(opus, 111, 0, true, 5)).size() == 0 ||
                VoiceEngineProbe::opusFromRtp(rtp(opus, 111, 0, true, 5)) == opus);
        QVERIFY(VoiceEngineProbe::opusFromRtp(rtp(opus, 111, 0, true, 5).left(12 + 4 + 19)).isEmpty());
        QCOMPARE(VoiceEngineProbe::opusFromRtp(rtp(opus, 111, 0, false, 0, 2)), opus); // valid padding
        QCOMPARE(VoiceEngineProbe::opusFromRtp(rtp(opus, 111, 0, false, 0, 3)), opus);
        QVERIFY(VoiceEngineProbe::opusFromRtp(rtp(QByteArray(), 111, 0, false, 0, 3)).isEmpty()); // only padding
        QByteArray tooMuch = rtp(opus, 111, 0, false, 0, 2);
        tooMuch[tooMuch.size() - 1] = char(9);                                          // exceeds the payload
        QVERIFY(VoiceEngineProbe::opusFromRtp(tooMuch).isEmpty());
        QByteArray zeroPad = rtp(opus, 111, 0, false, 0, 2);
        zeroPad[zeroPad.size() - 1] = char(0);
        QVERIFY(VoiceEngineProbe::opusFromRtp(zeroPad).isEmpty());
    }

    void receivePathAPlaysThroughTheTrack()
    {
        join();
        auto connection = peer("s1", "orion");
        PacketMaker maker;
        connection->track->notifyMessage(rtp(maker.packet(8000), 0));
        connection->track->notifyMessage(rtp(QByteArray()));
        QTest::qWait(20);
        QVERIFY(log.isEmpty());
        connection->track->notifyMessage(rtp(maker.packet(8000)));
        QVERIFY(log.isEmpty()); // played on the GUI thread's next turn
        QTRY_COMPARE(log, QStringList{"remote:orion:1"});
    }

    void receivePathBTracks()
    {
        join();
        auto connection = peer("s1", "orion");
        auto video = std::make_shared<FakeVoiceAudioTrack>();
        video->type = "video";
        connection->notifyTrack(video);
        auto remote = std::make_shared<FakeVoiceAudioTrack>();
        connection->notifyTrack(remote);
        QTRY_VERIFY(d().receiveTracks.value("s1") == remote);
        QVERIFY(d().sendTracks.value("s1") == connection->track);
        PacketMaker maker;
        remote->notifyFrame(maker.packet(8000));
        QTRY_COMPARE(log, QStringList{"remote:orion:1"});
    }

    void leavingEndsRemoteSpeaking()
    {
        join();
        peer("s1", "orion");
        PacketMaker maker;
        VoiceEngineProbe::playOpus(*manager, "s1", maker.packet(8000));
        manager->leaveVoice();
        QVERIFY(log.contains("remote:orion:0"));
        QVERIFY(d().remoteSpeakingTimers.isEmpty());
    }
};

QTEST_MAIN(TestVoiceAudio)
#include "tst_VoiceAudio.moc"
