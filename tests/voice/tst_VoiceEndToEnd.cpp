// Two voice engines with their own virtual devices talk through the dev server
// over GStreamer WebRTC on loopback.

#include "SignedInVoiceClient.h"
#include "VoiceEngineProbe.h"

#include <QSignalSpy>
#include <QtTest>

class TestVoiceEndToEnd : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        qputenv("MOONLODGE_STUN_URL", "");
        REQUIRE_TEST_AUDIO_DEVICES();
        QVERIFY2(!testAudioInput("vmic_a").isNull() && !testAudioInput("vspk_b_rec").isNull(), "no vmic_a or vspk_b_rec");
        QVERIFY(server.start());
    }

    void toneReachesTheOtherSpeaker()
    {
        SignedInVoiceClient lunaSide(server, "vmic_a", "vspk_a"), orionSide(server, "vmic_b", "vspk_b", "orion");
        VoiceChatManager &luna = lunaSide.client, &orion = orionSide.client;
        luna.setAudioProcessing(false, false, false); // to the noise suppressor a steady tone is noise
        QVERIFY(lunaSide.waitUntilReady() && orionSide.waitUntilReady());

        ToneFeeder tone("vmic_a", 440.0, 8000, 300);
        SpeakerRecorder orionSpeaker("vspk_b_rec");
        QVERIFY(tone.isOpen() && orionSpeaker.isOpen());

        QSignalSpy orionHears(&orion, &VoiceChatManager::remoteUserSpeakingChanged);
        QList<int> lunaBars; // the link quality orion sees for luna, every 2 s
        connect(&orion, &VoiceChatManager::memberLinkQualityChanged, &orion,
                [&lunaBars](const QString& user, int bars) { lunaBars << (user == "luna" ? bars : -1); });
        luna.joinVoice();
        QTRY_VERIFY_WITH_TIMEOUT(lunaSide.channel.received.contains("voice_existing_users"), 5000);
        QSignalSpy orionStatus(&orion, &VoiceChatManager::voiceStatusChanged);
        orion.joinVoice();
        QTRY_VERIFY(!orionStatus.isEmpty());
        QCOMPARE(orionStatus.first().first().toString(), QString("connected"));

        // orion offers to luna; luna's tone makes luna speak on orion's side.
        QTRY_VERIFY_WITH_TIMEOUT(orion.isRemoteUserSpeaking("luna"), 15000);
        QCOMPARE(orionHears.first(), (QVariantList{"luna", true}));

        // What orion's speaker plays is luna's 440 Hz tone.
        const size_t start = orionSpeaker.samples.size();
        QTRY_VERIFY_WITH_TIMEOUT(orionSpeaker.samples.size() >= start + 48000, 5000);
        const qint16* heard = orionSpeaker.samples.data() + start + 9600;
        const double level = rmsOf(heard, 38400), at440 = tonePower(heard, 38400, 440), at550 = tonePower(heard, 38400, 550);
        qInfo() << "orion's speaker: rms" << level << "power at 440 Hz" << at440 << "at 550 Hz" << at550;
        QVERIFY2(level > 1000 && at440 > 100 * at550, qPrintable(QString::number(level)));

        // Talking on for 20 s adds no lasting delay on orion's side (each figure a one-second average).
        const int early = VoiceEngineProbe::longestPlayoutDelayMs(orion);
        QTest::qWait(18000);
        const int late = VoiceEngineProbe::longestPlayoutDelayMs(orion);
        qInfo() << "orion's playout delay:" << early << "ms at 2 s," << late << "ms at 20 s; luna's link:" << lunaBars;
        QVERIFY2(late <= early + 20, qPrintable(QString("%1 -> %2").arg(early).arg(late)));
        QVERIFY(lunaBars.size() >= 8 && lunaBars.last() >= 3);

        // Mute: orion stops hearing luna, yet luna's link shows no problem: her RTCP still arrives.
        luna.toggleMute();
        QTRY_VERIFY_WITH_TIMEOUT(!orion.isRemoteUserSpeaking("luna"), 3000);
        lunaBars.clear();
        QTest::qWait(10000);
        QVERIFY(!orion.isRemoteUserSpeaking("luna"));
        QVERIFY2(lunaBars.size() >= 4 && !lunaBars.contains(0), qPrintable(QDebug::toString(lunaBars)));

        // Leave: orion's connection to luna goes.
        QVERIFY(VoiceEngineProbe::longestPlayoutDelayMs(orion) >= 0);
        luna.leaveVoice();
        QTRY_COMPARE_WITH_TIMEOUT(VoiceEngineProbe::longestPlayoutDelayMs(orion), -1, 5000);
        orion.leaveVoice();
    }

private:
    DevServer server;
};

QTEST_MAIN(TestVoiceEndToEnd)
#include "tst_VoiceEndToEnd.moc"
