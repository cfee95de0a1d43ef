// The voice engine's capture, encoding, playback and speaking logic over the
// fake WebRTC layer, the playout device's formats, and RTP parsing.

#include "FakeVoicePeerConnection.h"
#include "TestAudio.h"
#include "VoiceEngineProbe.h"
#include "voice/VoiceCapture.h"
#include "voice/VoicePlayoutDevice.h"
#include "voice/VoiceRtpPacket.h"

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
               int extensionWords = 0, int padding = -1, quint16 sequence = 0x0101)
{
    QByteArray packet;
    packet.append(char(0x80 | (extension ? 0x10 : 0) | (padding >= 0 ? 0x20 : 0) | csrcCount));
    packet.append(char(payloadType));
    packet.append(char(sequence >> 8));
    packet.append(char(sequence & 0xff));
    packet.append(QByteArray(8, '\x01'));
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

    void join()
    {
        manager->setMicrophoneDeviceId("vmic");
        manager->setAudioProcessing(false, false, false); // the test signals reach the detector as they are
        manager->joinVoice();
        QTRY_VERIFY(log.contains("status:connected"));
        VoiceEngineProbe::detachMicrophone(*manager);
        log.clear();
    }
    std::shared_ptr<FakeVoicePeerConnection> connectionOf(const QString& sid) { return factory->openFor(sid); }
    // Whether the microphone captures: only then does a mute toggle take.
    bool capturing()
    {
        const bool before = manager->isMuted();
        manager->toggleMute();
        if (manager->isMuted() == before)
            return false;
        manager->toggleMute();
        return true;
    }
    std::shared_ptr<FakeVoicePeerConnection> peer(const QString& sid, const QString& username)
    {
        manager->handleSignalingEvent("voice_user_joined", QJsonObject{{"sid", sid}, {"username", username}});
        return connectionOf(sid);
    }

    // The peer's packets, as RTP on the member's track at the real pace; they
    // are played (and measured) on the engine's audio thread.
    void talk(FakeVoicePeerConnection& connection, PacketMaker& maker, int amplitude, int frames, int payloadType = 111)
    {
        for (int i = 0; i < frames; ++i) {
            connection.track->notifyMessage(rtp(maker.packet(amplitude), payloadType, 0, false, 0, -1, sequence++));
            QTest::qWait(20);
        }
    }
    quint16 sequence = 100;

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
        // 1080 bytes wait for the rest of the frame.
        VoiceEngineProbe::feedMicrophone(*manager, constantPcm(839, 0));
        QCOMPARE(connection->track->sent.size(), 1);
        VoiceEngineProbe::feedMicrophone(*manager, constantPcm(1, 0));
        QCOMPARE(connection->track->sent.size(), 2);
        QCOMPARE(connection->track->sent.last().second, 0.02);
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
        // Nothing was kept: a short chunk once someone is there makes no frame.
        auto connection = peer("s1", "orion");
        connection->track->open = true;
        VoiceEngineProbe::feedMicrophone(*manager, constantPcm(1000, 5000));
        QVERIFY(connection->track->sent.isEmpty());
    }

    void mutingWhileSpeakingEndsSpeakingFirst()
    {
        join();
        VoiceEngineProbe::feedMicrophone(*manager, constantPcm(1920, 5000));
        manager->toggleMute();
        QCOMPARE(log, (QStringList{"speaking:1", "speaking:0", "mute:1", "status:muted"}));
        QVERIFY(manager->isMuted());
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

        QTRY_COMPARE(errors.size(), 1);
        QCOMPARE(errors.first().first().toString(), QString("No microphone was found."));
        QVERIFY2(log.filter("status:").isEmpty(), qPrintable(log.join(' ')));
        QVERIFY(capturing());
    }

    // When the previous microphone cannot be opened either: "error", still in
    // voice without capture, until another device is chosen.
    void failedMicrophoneChangeWithoutFallbackEndsInError()
    {
        join();
        const auto realLookup = VoiceEngineProbe::inputDeviceLookup(*manager);
        VoiceEngineProbe::setInputDeviceLookup(*manager, [](const QByteArray&) { return QAudioDevice(); });
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression("Cambio del microfono fallito"));
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression("Impossibile ripristinare il microfono precedente"));
        manager->setMicrophoneDeviceId("broken");

        QTRY_COMPARE(log.filter("status:"), QStringList{"status:error"});
        QVERIFY(!capturing());
        QVERIFY(!log.contains("status:disconnected"));

        // A device that works again brings the status back.
        VoiceEngineProbe::setInputDeviceLookup(*manager, [realLookup](const QByteArray&) { return realLookup("vmic"); });
        manager->setMicrophoneDeviceId("working");
        QTRY_COMPARE(log.filter("status:"), (QStringList{"status:error", "status:connected"}));
        QVERIFY(capturing());
    }

    void toggleMuteOutsideVoiceDoesNothing()
    {
        manager->toggleMute();
        QVERIFY(log.isEmpty());
        QVERIFY(!manager->isMuted());
    }

    void remoteSpeakingHolds350msAfterTheLastLoudFrame()
    {
        join();
        auto orion = peer("s1", "orion");
        PacketMaker maker;
        talk(*orion, maker, 8000, 5);
        QTRY_COMPARE(log, QStringList{"remote:orion:1"});
        QVERIFY(manager->isRemoteUserSpeaking("orion"));
        QElapsedTimer clock;
        clock.start();
        QTRY_VERIFY_WITH_TIMEOUT(!manager->isRemoteUserSpeaking("orion"), 1500);
        QVERIFY(clock.elapsed() >= 300);
        QCOMPARE(log, (QStringList{"remote:orion:1", "remote:orion:0"}));

        // Quiet packets, other payload types and members without a name never start it.
        auto nova = peer("s2", "nova");
        PacketMaker quiet;
        talk(*nova, quiet, 0, 10);
        talk(*nova, maker, 8000, 10, 0);
        manager->handleSignalingEvent("voice_offer",
                                      QJsonObject{{"fromSid", "s5"}, {"offer", QJsonObject{{"type", "offer"}, {"sdp", "v=0"}}}});
        talk(*connectionOf("s5"), maker, 8000, 10);
        QTest::qWait(200);
        QCOMPARE(log.size(), 2);
    }

    void mutedMemberIsSilentButStillSpeaks()
    {
        manager->setSpeakerDeviceId("vspk_a");
        SpeakerRecorder speaker("vspk_a_rec");
        join();
        auto orion = peer("s1", "orion");
        QTest::ignoreMessage(QtDebugMsg, QRegularExpression("Mute individuale: .*orion.* attivato - connessione trovata: true"));
        QVERIFY(manager->toggleRemoteUserMute("orion"));
        PacketMaker maker;
        speaker.samples.clear();
        talk(*orion, maker, 8000, 25);
        QVERIFY(manager->isRemoteUserSpeaking("orion"));
        QVERIFY(rmsOf(speaker.samples.data(), speaker.samples.size()) < 50);

        // Reconnecting and a new speaker keep the mute.
        manager->handleSignalingEvent("voice_user_left", QJsonObject{{"sid", "s1"}});
        orion = peer("s1", "orion");
        manager->setSpeakerDeviceId("vspk_b");
        manager->setSpeakerDeviceId("vspk_a");
        talk(*orion, maker, 8000, 25);
        speaker.samples.clear();
        talk(*orion, maker, 8000, 25);
        QVERIFY(rmsOf(speaker.samples.data(), speaker.samples.size()) < 50);

        QVERIFY(!manager->toggleRemoteUserMute("orion"));
        talk(*orion, maker, 8000, 10);
        speaker.samples.clear();
        talk(*orion, maker, 8000, 25);
        QVERIFY(rmsOf(speaker.samples.data(), speaker.samples.size()) > 1000);
    }

    // A speaker change replaces the output that measured the member: a member
    // who falls silent meanwhile is not left shown speaking.
    void speakerChangeEndsTheSpeakingItMeasured()
    {
        join();
        auto orion = peer("s1", "orion");
        PacketMaker maker;
        talk(*orion, maker, 8000, 5);
        QTRY_VERIFY(manager->isRemoteUserSpeaking("orion"));
        manager->setSpeakerDeviceId("vspk_b");
        QVERIFY(!manager->isRemoteUserSpeaking("orion"));
        QCOMPARE(log, (QStringList{"remote:orion:1", "remote:orion:0"}));
        QTest::qWait(500);
        QCOMPARE(log.size(), 2);
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

    void speakerChangeWhileAloneOnlyStoresIt()
    {
        join();
        manager->setSpeakerDeviceId("");
        QTest::ignoreMessage(QtDebugMsg, QRegularExpression("Nessun utente remoto collegato"));
        manager->setSpeakerDeviceId("vspk_a");
    }

    // The same packet read as 16-bit and as float output; a corrupt packet reads as silence.
    void playoutDeviceFormats()
    {
        PacketMaker maker;
        const QByteArray packet = rtp(maker.packet(8000), 111, 0, false, 0, -1, 7);
        const auto ints = VoicePlayoutDevice::create(nullptr);
        const auto floats = VoicePlayoutDevice::create(nullptr);
        floats->setSampleFormat(QAudioFormat::Float);
        ints->receiveRtp(packet, 111);
        floats->receiveRtp(packet, 111);
        const QByteArray intBytes = ints->read(960 * 2 * 2);
        const QByteArray floatBytes = floats->read(960 * 2 * 4);
        QCOMPARE(intBytes.size(), 960 * 2 * 2);
        QCOMPARE(floatBytes.size(), 960 * 2 * 4);
        const auto* intSamples = reinterpret_cast<const qint16*>(intBytes.constData());
        const auto* floatSamples = reinterpret_cast<const float*>(floatBytes.constData());
        for (int i = 0; i < 960 * 2; ++i)
            QCOMPARE(floatSamples[i], float(intSamples[i]) / 32768.0f);
        QVERIFY(rmsOf(intSamples, 960 * 2) > 100);

        const auto corrupt = VoicePlayoutDevice::create(nullptr);
        corrupt->receiveRtp(rtp(QByteArray("\xff\xff\xff", 3), 111, 0, false, 0, -1, 9), 111);
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression("Errore decodifica Opus:"));
        const QByteArray silence = corrupt->read(960 * 2 * 2);
        QCOMPARE(silence, QByteArray(960 * 2 * 2, '\0'));
    }

    void rtpPacketCases_data()
    {
        const QByteArray opus("\x78\x01\x02", 3);
        QTest::addColumn<QByteArray>("packet");
        QTest::addColumn<QByteArray>("payload"); // empty: dropped
        QByteArray version1 = rtp(opus);
        version1[0] = char(0x40);
        QByteArray marker = rtp(opus);
        marker[1] = char(0x80 | 111);
        QByteArray shortCsrc = rtp(QByteArray(), 111, 3);
        shortCsrc.chop(1);
        QByteArray tooMuch = rtp(opus, 111, 0, false, 0, 2);
        tooMuch[tooMuch.size() - 1] = char(9);
        QByteArray zeroPad = rtp(opus, 111, 0, false, 0, 2);
        zeroPad[zeroPad.size() - 1] = char(0);
        QTest::newRow("plain") << rtp(opus) << opus;
        QTest::newRow("no payload") << rtp(QByteArray()) << QByteArray();
        QTest::newRow("payload type 0") << rtp(opus, 0) << QByteArray();
        QTest::newRow("too short") << rtp(opus).left(11) << QByteArray();
        QTest::newRow("version 1") << version1 << QByteArray();
        QTest::newRow("marker") << marker << opus;
        QTest::newRow("CSRCs") << rtp(opus, 111, 2) << opus;
        QTest::newRow("CSRCs cut") << shortCsrc << QByteArray();
        QTest::newRow("extension") << rtp(opus, 111, 1, true, 2) << opus;
        QTest::newRow("extension header cut") << rtp(QByteArray("\x01\x02", 2), 111, 0, true, 0).left(14) << QByteArray();
        QTest::newRow("extension cut") << rtp(opus, 111, 0, true, 5).left(12 + 4 + 19) << QByteArray();
        QTest::newRow("padding 2") << rtp(opus, 111, 0, false, 0, 2) << opus;
        QTest::newRow("padding 3") << rtp(opus, 111, 0, false, 0, 3) << opus;
        QTest::newRow("only padding") << rtp(QByteArray(), 111, 0, false, 0, 3) << QByteArray();
        QTest::newRow("padding beyond payload") << tooMuch << QByteArray();
        QTest::newRow("padding 0") << zeroPad << QByteArray();
    }

    void rtpPacketCases()
    {
        QFETCH(QByteArray, packet);
        QFETCH(QByteArray, payload);
        VoiceRtpPacket parsed;
        const bool ok = parsed.parse(packet.constData(), packet.size(), 111);
        QCOMPARE(ok, !payload.isEmpty());
        if (ok) {
            QCOMPARE(QByteArray(parsed.payload, parsed.payloadSize), payload);
            QCOMPARE(parsed.sequence, quint16(0x0101));
            // Written back, the packet parses to the same payload.
            QByteArray written(VoiceRtpPacket::HeaderBytes + parsed.payloadSize, Qt::Uninitialized);
            parsed.write(reinterpret_cast<unsigned char*>(written.data()));
            VoiceRtpPacket again;
            QVERIFY(again.parse(written.constData(), written.size(), 111));
            QCOMPARE(QByteArray(again.payload, again.payloadSize), payload);
        }
    }

    void leavingEndsRemoteSpeaking()
    {
        join();
        auto orion = peer("s1", "orion");
        PacketMaker maker;
        talk(*orion, maker, 8000, 5);
        QTRY_VERIFY(manager->isRemoteUserSpeaking("orion"));
        manager->leaveVoice();
        QVERIFY(log.contains("remote:orion:0"));
        QVERIFY(!manager->isRemoteUserSpeaking("orion"));
    }
};

QTEST_MAIN(TestVoiceAudio)
#include "tst_VoiceAudio.moc"
