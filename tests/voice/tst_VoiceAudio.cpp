// The voice engine's capture, output mix and speaking logic over the fake
// WebRTC layer, the output mixer on its own, and RTP parsing.

#include "FakeVoicePeerConnection.h"
#include "TestAudio.h"
#include "VoiceEngineProbe.h"
#include "voice/VoiceOutputMixer.h"
#include "voice/VoicePlayoutDevice.h"
#include "voice/VoiceRtpPacket.h"

#include <QJsonObject>
#include <QSignalSpy>
#include <QtTest>

#include <opus.h>

#include <mutex>

namespace {

QByteArray pcmOf(int bytes, qint16 value)
{
    QByteArray pcm(bytes, Qt::Uninitialized);
    std::fill_n(reinterpret_cast<qint16*>(pcm.data()), bytes / 2, value);
    return pcm;
}

QByteArray rtp(const QByteArray& payload, quint16 sequence = 0x0101, int payloadType = 111, int csrcs = 0,
               int extensionWords = -1, int padding = -1)
{
    QByteArray packet(1, char(0x80 | (extensionWords >= 0 ? 0x10 : 0) | (padding >= 0 ? 0x20 : 0) | csrcs));
    packet.append(char(payloadType)).append(char(sequence >> 8)).append(char(sequence & 0xff));
    packet.append(QByteArray(8, '\x01')).append(QByteArray(4 * csrcs, '\x02'));
    if (extensionWords >= 0)
        packet.append("\xbe\xde\x00", 3).append(char(extensionWords)).append(QByteArray(4 * extensionWords, '\x03'));
    packet.append(payload);
    if (padding >= 0)
        packet.append(QByteArray(std::max(0, padding - 1), '\0')).append(char(padding));
    return packet;
}

// One second of a tone as 50 Opus packets (a whole number of periods: it loops seamlessly).
QList<QByteArray> tonePackets(double frequency, int amplitude = 8000)
{
    int error = 0;
    OpusEncoder* encoder = opus_encoder_create(48000, 1, OPUS_APPLICATION_VOIP, &error);
    QList<QByteArray> packets;
    qint16 pcm[960];
    unsigned char out[4000];
    for (int frame = 0; frame < 50; ++frame) {
        for (int i = 0; i < 960; ++i)
            pcm[i] = qint16(amplitude * std::sin(2 * M_PI * frequency * (frame * 960 + i) / 48000));
        packets.append(QByteArray(reinterpret_cast<const char*>(out), opus_encode(encoder, pcm, 960, out, sizeof out)));
    }
    opus_encoder_destroy(encoder);
    return packets;
}

// A remote member sending a tone: the next packet of it, numbered on.
struct Talker
{
    QList<QByteArray> packets;
    quint16 sequence = 100;
    QByteArray next(int payloadType = 111)
    {
        const quint16 at = sequence++;
        return rtp(packets.at(at % 50), at, payloadType);
    }
};

QAudioFormat stereo(QAudioFormat::SampleFormat sampleFormat)
{
    QAudioFormat format;
    format.setSampleRate(48000);
    format.setChannelCount(2);
    format.setSampleFormat(sampleFormat);
    return format;
}

} // namespace

class TestVoiceAudio : public QObject
{
    Q_OBJECT

    std::shared_ptr<FakeVoicePeerConnectionFactory> factory;
    std::unique_ptr<VoiceChatManager> manager;
    QStringList log;
    std::unique_ptr<QObject> context;
    std::mutex playedMutex;
    std::vector<qint16> played; // the left channel of what the engine played, from its tap

    void join()
    {
        manager->setMicrophoneDeviceId("vmic");
        manager->joinVoice();
        QVERIFY(log.contains("status:connected"));
        VoiceEngineProbe::detachMicrophone(*manager);
        log.clear();
    }
    std::shared_ptr<FakeVoicePeerConnection> peer(const QString& sid, const QString& username)
    {
        manager->handleSignalingEvent("voice_user_joined", QJsonObject{{"sid", sid}, {"username", username}});
        return factory->openFor(sid);
    }
    // The members' packets at the real pace; the engine mixes and plays them on its audio thread.
    static void talk(const QList<QPair<FakeVoicePeerConnection*, Talker*>>& talkers, int frames, int payloadType = 111)
    {
        for (int i = 0; i < frames; ++i) {
            for (const auto& [connection, talker] : talkers)
                connection->track->notifyMessage(talker->next(payloadType));
            QTest::qWait(20);
        }
    }
    // What was played while the members talked for `frames` more frames, after the first `skipMs`.
    std::vector<qint16> playedWhile(const QList<QPair<FakeVoicePeerConnection*, Talker*>>& talkers, int frames, int skipMs)
    {
        std::unique_lock<std::mutex> lock(playedMutex);
        played.clear();
        lock.unlock();
        talk(talkers, frames);
        lock.lock();
        return std::vector<qint16>(played.begin() + std::min(played.size(), size_t(skipMs) * 48), played.end());
    }
    // Whether the microphone captures: only then does a mute toggle take.
    bool capturing()
    {
        const bool before = manager->isMuted();
        manager->toggleMute();
        const bool toggled = manager->isMuted() != before;
        if (toggled)
            manager->toggleMute();
        return toggled;
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
        manager->setPlayedAudioTap([this](const qint16* block, int frames, int channels) {
            std::lock_guard<std::mutex> lock(playedMutex);
            for (int i = 0; i < frames; ++i)
                played.push_back(block[i * channels]);
        });
        log.clear();
        context = std::make_unique<QObject>();
        VoiceChatManager* engine = manager.get();
        connect(engine, &VoiceChatManager::localUserSpeakingChanged, context.get(), [this](bool on) { log << QString("speaking:%1").arg(on); });
        connect(engine, &VoiceChatManager::muteChanged, context.get(), [this](bool on) { log << QString("mute:%1").arg(on); });
        connect(engine, &VoiceChatManager::voiceStatusChanged, context.get(), [this](const QString& s) { log << "status:" + s; });
        connect(engine, &VoiceChatManager::remoteUserSpeakingChanged, context.get(),
                [this](const QString& user, bool on) { log << QString("remote:%1:%2").arg(user).arg(on); });
    }

    void cleanup()
    {
        context.reset();
        manager.reset();
        factory.reset();
    }

    // 20 ms frames from any chunking, sent on open tracks only; a failing track is
    // skipped. Speaking starts above 449 and a mute ends it first.
    void captureSendsAndSpeaks()
    {
        join();
        auto closed = peer("s1", "orion");
        auto failing = peer("s2", "nova");
        auto open = peer("s3", "kai");
        failing->track->open = open->track->open = true;
        failing->track->sendFailure = "broken pipe";
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression("Invio audio WebRTC fallito: .*broken pipe"));
        VoiceEngineProbe::feedMicrophone(*manager, pcmOf(3000, 0));
        VoiceEngineProbe::feedMicrophone(*manager, pcmOf(839, 0)); // 1080 bytes wait for the rest
        QCOMPARE(open->track->sent.size(), 1);
        VoiceEngineProbe::feedMicrophone(*manager, pcmOf(1, 0));
        QCOMPARE(open->track->sent.size(), 2);
        QCOMPARE(open->track->sent.last().second, 0.02);
        QCOMPARE(closed->track->sent.size(), 0);
        VoiceEngineProbe::feedMicrophone(*manager, pcmOf(1920, -449));
        QVERIFY(log.isEmpty());
        VoiceEngineProbe::feedMicrophone(*manager, pcmOf(1920, -450));
        QCOMPARE(log, QStringList{"speaking:1"});
        manager->toggleMute();
        QCOMPARE(log, (QStringList{"speaking:1", "speaking:0", "mute:1", "status:muted"}));
        VoiceEngineProbe::feedMicrophone(*manager, pcmOf(1920, 5000));
        QCOMPARE(log.size(), 4);
    }

    // A microphone that cannot be opened mid-call: back to the previous one;
    // when that fails too, "error" until a working device is chosen.
    void failedMicrophoneChange()
    {
        join();
        const auto realLookup = VoiceEngineProbe::inputDeviceLookup(*manager);
        const auto previousWorks = std::make_shared<bool>(true);
        VoiceEngineProbe::setInputDeviceLookup(*manager, [realLookup, previousWorks](const QByteArray& id) {
            return id == "broken" || !*previousWorks ? QAudioDevice() : realLookup("vmic");
        });
        QSignalSpy errors(manager.get(), &VoiceChatManager::voiceError);
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression("Cambio del microfono fallito.*Ripristino del dispositivo precedente"));
        manager->setMicrophoneDeviceId("broken");
        QCOMPARE(errors.first().first().toString(), QString("No microphone was found."));
        QVERIFY(log.filter("status:").isEmpty());
        QVERIFY(capturing());

        log.clear();
        *previousWorks = false;
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression("Cambio del microfono fallito"));
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression("Impossibile ripristinare il microfono precedente"));
        manager->setMicrophoneDeviceId("broken");
        QCOMPARE(log.filter("status:"), QStringList{"status:error"});
        QVERIFY(!capturing());
        *previousWorks = true;
        manager->setMicrophoneDeviceId("working");
        QCOMPARE(log.filter("status:"), (QStringList{"status:error", "status:connected"}));
        QVERIFY(capturing());
    }

    // The mixer on its own: the sum with saturation, the tap, gains (0 silencing
    // the very next block), float output, and a corrupt packet playing as silence.
    void mixerMixes()
    {
        VoiceOutputMixer mixer;
        mixer.setOutput(QAudioDevice(), stereo(QAudioFormat::Int16));
        std::vector<qint16> tapped;
        mixer.setPlayedAudioTap([&](const qint16* block, int frames, int) { tapped.insert(tapped.end(), block, block + 2 * frames); });
        Talker low{tonePackets(440.0, 20000)}, high{tonePackets(660.0, 20000)};
        const auto a = VoicePlayoutDevice::create(nullptr);
        const auto b = VoicePlayoutDevice::create(nullptr);
        mixer.addInput(a);
        mixer.addInput(b);
        // What the output pulls, 20 ms at a time, as packets keep arriving three frames ahead.
        const auto mix = [&](int ms) {
            std::vector<qint16> out;
            for (int done = 0; done < ms; done += 20) {
                do {
                    a->receiveRtp(low.next(), 111);
                    b->receiveRtp(high.next(), 111);
                } while (low.sequence < 103);
                const QByteArray bytes = mixer.read(20 * 48 * 4);
                out.insert(out.end(), reinterpret_cast<const qint16*>(bytes.constData()),
                           reinterpret_cast<const qint16*>(bytes.constData() + bytes.size()));
            }
            return out;
        };
        // Interleaved stereo: a tone shows at half its frequency.
        const auto power = [](const std::vector<qint16>& pcm, double frequency) { return tonePower(pcm.data(), pcm.size(), frequency / 2); };
        const std::vector<qint16> both = mix(200);
        QCOMPARE(tapped, both);
        QVERIFY(power(both, 440.0) > 1e6 && power(both, 660.0) > 1e6);
        QVERIFY(std::count(both.begin(), both.end(), qint16(32767)) > 0);  // 40,000 peaks clip ...
        QVERIFY(std::count(both.begin(), both.end(), qint16(-32768)) > 0); // ... instead of wrapping

        a->setGain(0.0f);
        b->setGain(0.5f);
        const std::vector<qint16> half = mix(100);
        QVERIFY(power(half, 440.0) < power(half, 660.0) / 100);
        b->setGain(1.0f);
        const std::vector<qint16> full = mix(100);
        const double ratio = rmsOf(half.data(), half.size()) / rmsOf(full.data(), full.size());
        QVERIFY2(std::abs(ratio - 0.5) < 0.05, qPrintable(QString::number(ratio)));

        mixer.setOutput(QAudioDevice(), stereo(QAudioFormat::Float));
        const QByteArray floats = mixer.read(10 * 48 * 8);
        for (int i = 0; i < 480 * 2; ++i)
            QCOMPARE(reinterpret_cast<const float*>(floats.constData())[i], float(tapped[tapped.size() - 960 + size_t(i)]) / 32768.0f);

        const auto corrupt = VoicePlayoutDevice::create(nullptr);
        corrupt->receiveRtp(rtp(QByteArray("\xff\xff\xff", 3), 9), 111);
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression("Errore decodifica Opus:"));
        std::vector<qint16> pcm(960 * 2, 1);
        corrupt->read(pcm.data(), 960);
        QCOMPARE(std::count(pcm.begin(), pcm.end(), qint16(0)), 960 * 2);
    }

    // Two members are heard together; a volume of 50 % halves what a member is
    // heard at, through their reconnect and a speaker change; a mute silences
    // from the next block on, and the member's speaking is still reported.
    void volumeMixAndMute()
    {
        join();
        auto orion = peer("s1", "orion");
        auto nova = peer("s2", "nova");
        Talker orionVoice{tonePackets(440.0)}, novaVoice{tonePackets(660.0)};
        talk({{orion.get(), &orionVoice}, {nova.get(), &novaVoice}}, 5);
        const std::vector<qint16> both = playedWhile({{orion.get(), &orionVoice}, {nova.get(), &novaVoice}}, 15, 0);
        QVERIFY(tonePower(both.data(), both.size(), 440.0) > 1e5 && tonePower(both.data(), both.size(), 660.0) > 1e5);

        // The median level of 20 ms windows: a gap (the machine stalling us) does not count.
        const auto level = [&] {
            talk({{orion.get(), &orionVoice}}, 5);
            const std::vector<qint16> heard = playedWhile({{orion.get(), &orionVoice}}, 25, 100);
            std::vector<double> windows;
            for (size_t at = 0; at + 960 <= heard.size(); at += 960)
                windows.push_back(rmsOf(heard.data() + at, 960));
            std::nth_element(windows.begin(), windows.begin() + windows.size() / 2, windows.end());
            return windows.empty() ? 0.0 : windows[windows.size() / 2];
        };
        const double full = level();
        QVERIFY2(full > 2000, qPrintable(QString::number(full)));
        manager->setMemberVolume("orion", 50);
        QCOMPARE(manager->memberVolume("orion"), 50);
        QCOMPARE(manager->memberVolume("nova"), 100);
        const auto heardAtHalf = [&](const QString& when) {
            const double ratio = level() / full;
            QVERIFY2(std::abs(ratio - 0.5) < 0.07, qPrintable(QStringLiteral("%1: %2").arg(when).arg(ratio)));
        };
        heardAtHalf("set");
        manager->handleSignalingEvent("voice_user_left", QJsonObject{{"sid", "s1"}});
        orion = peer("s1", "orion");
        heardAtHalf("after a reconnect");
        SpeakerRecorder speakerB("vspk_b_rec");
        manager->setSpeakerDeviceId("vspk_b");
        heardAtHalf("after a speaker change");
        QVERIFY(rmsOf(speakerB.samples.data(), speakerB.samples.size()) > 500);

        QTest::ignoreMessage(QtDebugMsg, QRegularExpression("Mute individuale: .*orion.* attivato - connessione trovata: true"));
        QVERIFY(manager->toggleRemoteUserMute("orion"));
        const std::vector<qint16> muted = playedWhile({{orion.get(), &orionVoice}}, 10, 20);
        QVERIFY(rmsOf(muted.data(), muted.size()) < 1.0);
        QVERIFY(manager->isRemoteUserSpeaking("orion"));
    }

    void testToneOutsideVoice()
    {
        manager->setSpeakerDeviceId("vspk_a");
        SpeakerRecorder speaker("vspk_a_rec");
        manager->playTestTone();
        const auto playedFrames = [this] {
            std::lock_guard<std::mutex> lock(playedMutex);
            return played.size();
        };
        QTRY_VERIFY_WITH_TIMEOUT(playedFrames() >= 48 * 600, 3000);
        QTest::qWait(300);
        std::lock_guard<std::mutex> lock(playedMutex);
        const double level = rmsOf(played.data(), 48 * 600);
        QVERIFY2(level > 1000 && level < 4000, qPrintable(QString::number(level)));
        QVERIFY(std::abs(frequencyOf(played.data(), 48 * 600) - 660.0) < 10.0);
        QVERIFY(rmsOf(speaker.samples.data(), speaker.samples.size()) > 500);
    }

    void remoteSpeakingHolds350msAfterTheLastLoudFrame()
    {
        join();
        auto orion = peer("s1", "orion");
        Talker loud{tonePackets(440.0)}, quiet{tonePackets(440.0, 0)};
        talk({{orion.get(), &loud}}, 5);
        QTRY_COMPARE(log, QStringList{"remote:orion:1"});
        QElapsedTimer clock;
        clock.start();
        QTRY_VERIFY_WITH_TIMEOUT(!manager->isRemoteUserSpeaking("orion"), 1500);
        QVERIFY(clock.elapsed() >= 300);
        QCOMPARE(log, (QStringList{"remote:orion:1", "remote:orion:0"}));

        // Quiet packets, other payload types and members without a name never start it.
        auto nova = peer("s2", "nova");
        talk({{nova.get(), &quiet}}, 10);
        talk({{nova.get(), &loud}}, 10, 0);
        manager->handleSignalingEvent("voice_offer", QJsonObject{{"fromSid", "s5"}, {"offer", QJsonObject{{"type", "offer"}, {"sdp", "v=0"}}}});
        talk({{factory->openFor("s5").get(), &loud}}, 10);
        QTest::qWait(200);
        QCOMPARE(log.size(), 2);

        talk({{orion.get(), &loud}}, 5);
        QTRY_VERIFY(manager->isRemoteUserSpeaking("orion"));
        manager->leaveVoice();
        QVERIFY(log.contains("remote:orion:0") && !manager->isRemoteUserSpeaking("orion"));
    }

    void muteAndSpeakerWithoutMembers()
    {
        QSignalSpy mutes(manager.get(), &VoiceChatManager::remoteUserMuteChanged);
        QTest::ignoreMessage(QtDebugMsg, QRegularExpression("Mute individuale: .*kai.* attivato - connessione trovata: false"));
        QVERIFY(manager->toggleRemoteUserMute("kai"));
        QVERIFY(manager->isRemoteUserMuted("kai"));
        QVERIFY(!manager->toggleRemoteUserMute(""));
        QCOMPARE(mutes.size(), 1);
        join();
        QTest::ignoreMessage(QtDebugMsg, QRegularExpression("Nessun utente remoto collegato"));
        manager->setSpeakerDeviceId("vspk_a");
    }

    void rtpPacketCases_data()
    {
        const QByteArray opus("\x78\x01\x02", 3);
        QTest::addColumn<QByteArray>("packet");
        QTest::addColumn<QByteArray>("payload"); // empty: dropped
        QByteArray version1 = rtp(opus), marker = rtp(opus), tooMuch = rtp(opus, 0x0101, 111, 0, -1, 2);
        version1[0] = char(0x40);
        marker[1] = char(0x80 | 111);
        tooMuch[tooMuch.size() - 1] = char(9);
        QTest::newRow("plain") << rtp(opus) << opus;
        QTest::newRow("no payload") << rtp(QByteArray()) << QByteArray();
        QTest::newRow("payload type 0") << rtp(opus, 0x0101, 0) << QByteArray();
        QTest::newRow("too short") << rtp(opus).left(11) << QByteArray();
        QTest::newRow("version 1") << version1 << QByteArray();
        QTest::newRow("marker") << marker << opus;
        QTest::newRow("CSRCs") << rtp(opus, 0x0101, 111, 2) << opus;
        QTest::newRow("CSRCs cut") << rtp(QByteArray(), 0x0101, 111, 3).chopped(1) << QByteArray();
        QTest::newRow("extension") << rtp(opus, 0x0101, 111, 1, 2) << opus;
        QTest::newRow("extension header cut") << rtp("\x01\x02", 0x0101, 111, 0, 0).left(14) << QByteArray();
        QTest::newRow("extension cut") << rtp(opus, 0x0101, 111, 0, 5).left(12 + 4 + 19) << QByteArray();
        QTest::newRow("padding 3") << rtp(opus, 0x0101, 111, 0, -1, 3) << opus;
        QTest::newRow("only padding") << rtp(QByteArray(), 0x0101, 111, 0, -1, 3) << QByteArray();
        QTest::newRow("padding beyond payload") << tooMuch << QByteArray();
        QTest::newRow("padding 0") << rtp(opus, 0x0101, 111, 0, -1, 0) << QByteArray();
    }

    void rtpPacketCases()
    {
        QFETCH(QByteArray, packet);
        QFETCH(QByteArray, payload);
        VoiceRtpPacket parsed;
        QCOMPARE(parsed.parse(packet.constData(), packet.size(), 111), !payload.isEmpty());
        if (payload.isEmpty())
            return;
        QCOMPARE(QByteArray(parsed.payload, parsed.payloadSize), payload);
        QCOMPARE(parsed.sequence, quint16(0x0101));
        QByteArray written(VoiceRtpPacket::HeaderBytes + parsed.payloadSize, Qt::Uninitialized);
        parsed.write(reinterpret_cast<unsigned char*>(written.data()));
        VoiceRtpPacket again; // written back, the packet parses to the same payload
        QVERIFY(again.parse(written.constData(), written.size(), 111));
        QCOMPARE(QByteArray(again.payload, again.payloadSize), payload);
    }
};

QTEST_MAIN(TestVoiceAudio)
#include "tst_VoiceAudio.moc"
