// Interoperation with an independent WebRTC implementation: voice bots built
// on aiortc join the room before and after the client, so the client both
// offers and answers; audio flows both ways and is told apart by frequency.

#include "SignedInVoiceClient.h"
#include "VoiceBot.h"
#include "VoiceEngineProbe.h"

#include <QtTest>

class TestVoiceInterop : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        qputenv("MOONLODGE_STUN_URL", "");
        REQUIRE_TEST_AUDIO_DEVICES();
        if (QProcess::execute("/usr/bin/python3", {"-c", "import aiortc, numpy, socketio"}) != 0)
            QFAIL("python3-aiortc, python3-numpy and python3-socketio are needed (scripts/bootstrap installs them)");
        QVERIFY(server.start());
    }

    void botsBeforeAndAfterTheClient()
    {
        VoiceBot early(server, "nova", 660);
        QTRY_VERIFY_WITH_TIMEOUT(!early.sid().isEmpty(), 15000);

        SignedInVoiceClient client(server, "vmic_c", "vspk_c");
        VoiceChatManager& luna = client.client;
        const SignalingBridge& channel = client.channel;
        QVERIFY(client.waitUntilReady());
        ToneFeeder tone("vmic_c", 440.0, 8000);
        SpeakerRecorder speaker("vspk_c_rec");
        QVERIFY(tone.isOpen() && speaker.isOpen());

        // The client joins after nova: the client offers to her bot.
        luna.joinVoice();
        QTRY_VERIFY_WITH_TIMEOUT(luna.isRemoteUserSpeaking("nova"), 15000);
        QTRY_VERIFY_WITH_TIMEOUT(std::abs(early.heardFrom(channel.sid) - 440.0) < 15.0, 15000);

        // kai's bot joins after the client: the bot offers, the client answers (Opus as payload type 96).
        VoiceBot late(server, "kai", 880);
        QTRY_VERIFY_WITH_TIMEOUT(luna.isRemoteUserSpeaking("kai"), 20000);
        QTRY_VERIFY_WITH_TIMEOUT(std::abs(late.heardFrom(channel.sid) - 440.0) < 15.0, 15000);

        // The client's speaker plays both bots: within a few seconds (a new output
        // starts cold on a loaded machine), the last half second holds both tones.
        const auto bothHeard = [&] {
            if (speaker.samples.size() < 24000)
                return false;
            const qint16* heard = speaker.samples.data() + speaker.samples.size() - 24000;
            const double elsewhere = 100 * tonePower(heard, 24000, 550);
            return tonePower(heard, 24000, 660) > elsewhere && tonePower(heard, 24000, 880) > elsewhere;
        };
        QTRY_VERIFY_WITH_TIMEOUT(bothHeard(), 10000);
    }

private:
    DevServer server;
};

QTEST_MAIN(TestVoiceInterop)
#include "tst_VoiceInterop.moc"
