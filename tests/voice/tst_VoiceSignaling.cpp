// The voice engine's signalling and connection handling, over the fake WebRTC layer.

#include "FakeVoicePeerConnection.h"
#include "VoiceEngineProbe.h"

#include <QJsonArray>
#include <QJsonObject>
#include <QtTest>

namespace {

QJsonObject user(const QString& sid, const QString& username) { return {{"sid", sid}, {"username", username}}; }
QJsonObject described(const QString& sid, const QString& type, const QString& sdp = "v=0 remote")
{
    return {{"fromSid", sid}, {type, QJsonObject{{"type", type}, {"sdp", sdp}}}};
}
QJsonObject candidateFrom(const QString& sid, const QString& candidate = "candidate:1 1 UDP 1 127.0.0.1 5000 typ host")
{
    return {{"fromSid", sid}, {"candidate", QJsonObject{{"candidate", candidate}, {"sdpMid", "0"}}}};
}

} // namespace

class TestVoiceSignaling : public QObject
{
    Q_OBJECT

private:
    std::shared_ptr<FakeVoicePeerConnectionFactory> factory;
    std::unique_ptr<VoiceChatManager> manager;
    QStringList log; // what the engine signalled, in order; events as "event:name>target"

    void event(const QString& name, const QJsonValue& data) { manager->handleSignalingEvent(name, data); }
    QStringList sent(const QString& name) const { return log.filter(QRegularExpression("^event:" + name + ">")); }

private slots:
    void initTestCase() { REQUIRE_TEST_AUDIO_DEVICES(); }
    void init()
    {
        factory = std::make_shared<FakeVoicePeerConnectionFactory>();
        manager = std::make_unique<VoiceChatManager>(factory);
        log.clear();
        VoiceChatManager* m = manager.get();
        connect(m, &VoiceChatManager::signalingEventRequested, m, [this](const QString& name, const QJsonObject& data) {
            log << "event:" + name + (data.contains("targetSid") ? ">" + data.value("targetSid").toString() : QString());
        });
        connect(m, &VoiceChatManager::voiceStatusChanged, m, [this](const QString& s) { log << "status:" + s; });
        connect(m, &VoiceChatManager::muteChanged, m, [this](bool muted) { log << QString("mute:%1").arg(muted); });
        connect(m, &VoiceChatManager::voiceError, m, [this](const QString& text) { log << "error:" + text; });
    }
    void cleanup() { manager.reset(); }

    // Offers go to every member already in voice; what a hostile server sends is ignored.
    void joinOfferToMembersIgnoreMalformed()
    {
        QTest::ignoreMessage(QtDebugMsg, QRegularExpression("Evento WebRTC ignorato"));
        event("voice_user_joined", user("s1", "orion")); // not in voice yet
        QVERIFY(VoiceEngineProbe::joinFedByTest(*manager));
        manager->joinVoice();
        QCOMPARE(log, (QStringList{"status:connected", "mute:0", "event:voice_join"}));
        QVERIFY(factory->created.isEmpty());

        event("voice_existing_users", QJsonArray{user("s1", "orion"), QJsonObject{{"sid", "s2"}}, 42, user("", "x")});
        for (const QString sid : {"s1", "s2"})
            QCOMPARE(factory->openFor(sid)->localDescriptions, QStringList{"offer"});
        QCOMPARE(sent("voice_offer"), (QStringList{"event:voice_offer>s1", "event:voice_offer>s2"}));

        const QJsonValue malformed[][2] = {
            {"voice_existing_users", user("s9", "x")},     {"voice_user_joined", QJsonArray{user("s9", "a")}},
            {"voice_user_joined", QJsonObject{{"sid", 5}}}, {"voice_offer", QJsonObject{{"fromSid", "s9"}, {"offer", "v=0"}}},
            {"voice_offer", described("", "offer")},       {"voice_offer", described("s9", "offer", "")},
            {"voice_answer", QJsonValue("text")},          {"voice_ice_candidate", candidateFrom("s9", "")},
            {"voice_user_left", QJsonObject{}},            {"voice_something_else", user("s9", "x")},
            {"voice_answer", described("s9", "answer")},   {"voice_ice_candidate", candidateFrom("s9")}, // no connection yet
        };
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression("Candidato ICE ricevuto prima della PeerConnection: .*s9"));
        const qsizetype logged = log.size();
        for (const auto& [name, data] : malformed)
            event(name.toString(), data);
        QCOMPARE(factory->created.size(), 2);
        QCOMPARE(log.size(), logged);
    }

    // A newcomer is answered; without their offer within 1.5 s this side offers, once.
    void emergencyOfferOnlyWithoutTheirs()
    {
        QVERIFY(VoiceEngineProbe::joinFedByTest(*manager));
        event("voice_user_joined", user("s1", "orion"));
        event("voice_user_joined", user("s2", "nova"));
        event("voice_offer", described("s2", "offer"));
        QVERIFY(factory->openFor("s1")->localDescriptions.isEmpty());
        QTest::qWait(1700);
        QCOMPARE(sent("voice_offer"), QStringList{"event:voice_offer>s1"});
        QCOMPARE(factory->openFor("s1")->localDescriptions, QStringList{"offer"});
        QCOMPARE(factory->openFor("s2")->localDescriptions, QStringList{"answer"});
    }

    // A failing library is reported and never ends the call.
    void libraryFailures()
    {
        QVERIFY(VoiceEngineProbe::joinFedByTest(*manager));
        event("voice_user_joined", user("s2", "nova"));
        factory->openFor("s2")->remoteFailure = "bad sdp";
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression("Errore durante la segnalazione WebRTC: .*bad sdp"));
        event("voice_offer", described("s2", "offer"));
        factory->createFailure = "no webrtc";
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression("Errore creazione PeerConnection: .*no webrtc"));
        event("voice_user_joined", user("s4", "mira"));
        QCOMPARE(log.filter("error:"), (QStringList{"error:bad sdp", "error:no webrtc"}));
        QVERIFY(!log.contains("status:disconnected"));
    }

    void leaveForgetsMutesAndDestructionLeaves()
    {
        QVERIFY(VoiceEngineProbe::joinFedByTest(*manager));
        event("voice_existing_users", QJsonArray{user("s1", "orion")});
        QVERIFY(manager->toggleRemoteUserMute("orion"));
        log.clear();
        manager->leaveVoice();
        manager->leaveVoice();
        QCOMPARE(log, (QStringList{"event:voice_leave", "status:disconnected", "mute:0"}));
        QVERIFY(!manager->isRemoteUserMuted("orion"));

        QVERIFY(VoiceEngineProbe::joinFedByTest(*manager));
        log.clear();
        manager.reset();
        QCOMPARE(log.filter("event:"), QStringList{"event:voice_leave"});
    }
};

QTEST_MAIN(TestVoiceSignaling)
#include "tst_VoiceSignaling.moc"
