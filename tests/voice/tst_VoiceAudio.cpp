// The engine's output mix (fake WebRTC), the output mixer alone, RTP parsing.

#include "FakeVoicePeerConnection.h"
#include "TestAudio.h"
#include "VoiceEngineProbe.h"
#include "voice/VoiceOutputMixer.h"
#include "voice/VoicePlayoutDevice.h"
#include "voice/VoiceRtpPacket.h"

#include <QJsonArray>
#include <QJsonObject>
#include <QtTest>

#include <opus.h>

#include <mutex>

namespace {

QByteArray rtp(const QByteArray& payload, quint16 sequence, int payloadType = 111)
{
    QByteArray packet("\x80", 1);
    packet.append(char(payloadType)).append(char(sequence >> 8)).append(char(sequence & 0xff));
    return packet.append(QByteArray(8, '\x01')).append(payload);
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
    QByteArray next() { ++sequence; return rtp(packets.at(sequence % 50), sequence); }
};

} // namespace

class TestVoiceAudio : public QObject
{
    Q_OBJECT

    std::shared_ptr<FakeVoicePeerConnectionFactory> factory;
    std::unique_ptr<VoiceChatManager> manager;
    std::mutex playedMutex;
    std::vector<qint16> played; // the left channel of what the engine played, from its tap

    std::shared_ptr<FakeVoicePeerConnection> peer(const QString& sid, const QString& username)
    {
        manager->handleSignalingEvent("voice_user_joined", QJsonObject{{"sid", sid}, {"username", username}});
        return factory->openFor(sid);
    }
    // The members' packets at the real pace; the engine mixes and plays them on its audio thread.
    static void talk(const QList<QPair<FakeVoicePeerConnection*, Talker*>>& talkers, int frames)
    {
        for (int i = 0; i < frames; ++i) {
            for (const auto& [connection, talker] : talkers)
                connection->track->notifyMessage(talker->next());
            QTest::qWait(20);
        }
    }
    // What was played while the members talked for `frames` more frames, after the first `skipMs`.
    std::vector<qint16> playedWhile(const QList<QPair<FakeVoicePeerConnection*, Talker*>>& talkers, int frames, int skipMs)
    {
        takePlayed();
        talk(talkers, frames);
        const std::vector<qint16> heard = takePlayed();
        return std::vector<qint16>(heard.begin() + std::min(heard.size(), size_t(skipMs) * 48), heard.end());
    }
    std::vector<qint16> takePlayed()
    {
        std::lock_guard<std::mutex> lock(playedMutex);
        return std::exchange(played, {});
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
        manager->setAudioProcessing(false, false, false); // the test signals reach the detector as they are
        VoiceEngineProbe::setPlayedAudioTap(*manager, [this](const qint16* block, int frames, int channels) {
            std::lock_guard<std::mutex> lock(playedMutex);
            for (int i = 0; i < frames; ++i)
                played.push_back(block[i * channels]);
        });
    }

    void cleanup() { manager.reset(); }

    // The mixer alone: the sum with saturation, and the tap (gains: volumeMixAndMute).
    void mixerMixes()
    {
        VoiceOutputMixer mixer;
        QAudioFormat format = monoFormat();
        format.setChannelCount(2);
        mixer.setOutput(QAudioDevice(), format);
        std::vector<qint16> tapped;
        mixer.setPlayedAudioTap([&](const qint16* block, int frames, int) { tapped.insert(tapped.end(), block, block + 2 * frames); });
        Talker low{tonePackets(440.0, 20000)}, high{tonePackets(660.0, 20000)};
        const auto a = VoicePlayoutDevice::create(nullptr), b = VoicePlayoutDevice::create(nullptr);
        mixer.addInput(a);
        mixer.addInput(b);
        // What the output pulls, 20 ms at a time, as packets keep arriving three frames ahead.
        std::vector<qint16> both;
        for (int done = 0; done < 200; done += 20) {
            do {
                a->receiveRtp(low.next(), 111);
                b->receiveRtp(high.next(), 111);
            } while (low.sequence < 103);
            const QByteArray bytes = mixer.read(20 * 48 * 4);
            const auto* pulled = reinterpret_cast<const qint16*>(bytes.constData());
            both.insert(both.end(), pulled, pulled + bytes.size() / 2);
        }
        QCOMPARE(tapped, both);
        // Interleaved stereo: a tone shows at half its frequency.
        QVERIFY(tonePower(both.data(), both.size(), 220.0) > 1e6 && tonePower(both.data(), both.size(), 330.0) > 1e6);
        QVERIFY(std::count(both.begin(), both.end(), qint16(32767)) > 0);  // 40,000 peaks clip ...
        QVERIFY(std::count(both.begin(), both.end(), qint16(-32768)) > 0); // ... instead of wrapping
    }

    // A volume of 50 % halves what a member is heard at, through their reconnect and a speaker
    // change; a mute silences from the next block on, and their speaking is still reported.
    void volumeMixAndMute()
    {
        QVERIFY(VoiceEngineProbe::joinFedByTest(*manager));
        auto orion = peer("s1", "orion");
        Talker orionVoice{tonePackets(440.0)};

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

    // Hostile packets: header fields, CSRCs, extension and padding honoured, nothing read beyond the end.
    void rtpPacketCases_data()
    {
        QTest::addColumn<QByteArray>("packet");
        QTest::addColumn<QByteArray>("payload"); // empty: dropped
        const QByteArray plain = rtp("\x78\x01\x02", 0x0101), opus = plain.mid(12);
        const auto withFlags = [&](char flags, const QByteArray& middle, const QByteArray& tail) {
            return QByteArray(1, char(0x80 | flags)) + plain.mid(1, 11) + middle + opus + tail;
        };
        QTest::newRow("plain") << plain << opus;
        QTest::newRow("payload type 0") << rtp(opus, 0x0101, 0) << QByteArray();
        QTest::newRow("too short") << plain.left(11) << QByteArray();
        QTest::newRow("CSRCs") << withFlags(2, QByteArray(8, '\x02'), {}) << opus;
        QTest::newRow("CSRCs cut") << withFlags(3, QByteArray(8, '\x02'), {}).left(22) << QByteArray();
        QTest::newRow("extension") << withFlags(0x10, QByteArray("\xbe\xde\x00\x01\x03\x03\x03\x03", 8), {}) << opus;
        QTest::newRow("extension cut") << withFlags(0x10, QByteArray("\xbe\xde\x00\x05", 4), {}) << QByteArray();
        QTest::newRow("padding 3") << withFlags(0x20, {}, QByteArray("\0\0\x03", 3)) << opus;
        QTest::newRow("padding beyond payload") << withFlags(0x20, {}, QByteArray("\0\x09", 2)) << QByteArray();
    }

    void rtpPacketCases()
    {
        QFETCH(QByteArray, packet);
        QFETCH(QByteArray, payload);
        VoiceRtpPacket parsed;
        QCOMPARE(parsed.parse(packet.constData(), packet.size(), 111), !payload.isEmpty());
        if (!payload.isEmpty())
            QCOMPARE(QByteArray(parsed.payload, parsed.payloadSize), payload);
    }
    // A microphone change that fails with no working previous device: "error",
    // still in voice (Leave stays usable), until a device that works brings
    // "connected" back.
    void failedMicrophoneChangeWithoutFallback()
    {
        QVERIFY(VoiceEngineProbe::joinFedByTest(*manager));
        QSignalSpy status(manager.get(), &VoiceChatManager::voiceStatusChanged);
        const auto statuses = [&status] {
            QStringList texts;
            for (const QList<QVariant>& arguments : status)
                texts << arguments.first().toString();
            return texts;
        };
        VoiceEngineProbe::setInputDeviceLookup(*manager, [](const QByteArray&) { return QAudioDevice(); });
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression("Cambio del microfono fallito"));
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression("Impossibile ripristinare il microfono precedente"));
        manager->setMicrophoneDeviceId("broken");
        QTRY_COMPARE(statuses(), QStringList{"error"});

        VoiceEngineProbe::setInputDeviceLookup(*manager, [](const QByteArray&) { return testAudioInput("vmic"); });
        manager->setMicrophoneDeviceId("working");
        QTRY_COMPARE(statuses(), (QStringList{"error", "connected"}));
    }

    // Joins, offers, failures, mutes, volume and speaker changes and leaves in
    // quick succession: every connection closes once and nothing crashes
    // (this found teardown faults under the sanitizers).
    void joinLeaveChurn()
    {
        Talker loud{tonePackets(440.0)};
        for (int cycle = 0; cycle < 50; ++cycle) {
            QVERIFY(VoiceEngineProbe::joinFedByTest(*manager));
            const auto member = [cycle](int i) {
                return QJsonObject{{"sid", QString("e%1-%2").arg(cycle).arg(i)}, {"username", QString("m%1").arg(i)}};
            };
            manager->handleSignalingEvent("voice_existing_users", QJsonArray{member(0), member(1), member(2)});
            const auto late = peer(QString("n%1").arg(cycle), "late");
            late->track->notifyMessage(loud.next());
            manager->toggleRemoteUserMute("m1");
            manager->setMemberVolume("m2", cycle * 4);
            if (cycle % 7 == 0)
                manager->playTestTone();
            if (cycle % 10 == 0)
                manager->setSpeakerDeviceId(cycle % 20 ? "vspk_a" : "vspk");
            manager->handleSignalingEvent("voice_user_left", QJsonObject{{"sid", QString("e%1-1").arg(cycle)}});
            QCoreApplication::processEvents();
            manager->leaveVoice();
            for (const auto& connection : factory->created)
                QCOMPARE(connection->closeCount, 1);
            factory->created.clear();
        }
    }
};

QTEST_MAIN(TestVoiceAudio)
#include "tst_VoiceAudio.moc"
