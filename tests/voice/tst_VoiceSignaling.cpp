// The voice engine's signalling and connection handling, over the fake WebRTC layer.

#include "FakeVoicePeerConnection.h"
#include "VoiceEngineProbe.h"

#include <QJsonArray>
#include <QJsonObject>
#include <QtTest>

namespace {

QJsonObject user(const QString& sid, const QString& username)
{
    return QJsonObject{{"sid", sid}, {"username", username}};
}

QJsonObject described(const QString& sid, const QString& type, const QString& sdp = "v=0 remote")
{
    return QJsonObject{{"fromSid", sid}, {type, QJsonObject{{"type", type}, {"sdp", sdp}}}};
}

QJsonObject candidateFrom(const QString& sid, const QString& candidate = "candidate:1 1 UDP 1 127.0.0.1 5000 typ host")
{
    return QJsonObject{{"fromSid", sid}, {"candidate", QJsonObject{{"candidate", candidate}, {"sdpMid", "0"}}}};
}

} // namespace

class TestVoiceSignaling : public QObject
{
    Q_OBJECT

private:
    std::shared_ptr<FakeVoicePeerConnectionFactory> factory;
    std::unique_ptr<VoiceChatManager> manager;
    std::unique_ptr<QObject> context;
    QList<QPair<QString, QJsonObject>> sent;
    QStringList log; // what the engine signalled, in order

    void joined()
    {
        manager->setMicrophoneDeviceId("vmic");
        manager->joinVoice();
        QTRY_VERIFY(log.contains("status:connected"));
        VoiceEngineProbe::detachMicrophone(*manager);
    }
    void event(const QString& name, const QJsonValue& data) { manager->handleSignalingEvent(name, data); }
    std::shared_ptr<FakeVoicePeerConnection> connectionOf(const QString& sid) { return factory->openFor(sid); }
    QStringList targets(const QString& name) const
    {
        QStringList result;
        for (const auto& [event, data] : sent)
            result << (event == name ? data.value("targetSid").toString() : QString());
        result.removeAll(QString());
        return result;
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
        context = std::make_unique<QObject>();
        sent.clear();
        log.clear();
        connect(manager.get(), &VoiceChatManager::signalingEventRequested, context.get(),
                [this](const QString& name, const QJsonObject& data) { sent.append({name, data}); log << "event:" + name; });
        connect(manager.get(), &VoiceChatManager::voiceStatusChanged, context.get(), [this](const QString& s) { log << "status:" + s; });
        connect(manager.get(), &VoiceChatManager::muteChanged, context.get(), [this](bool m) { log << QString("mute:%1").arg(m); });
        connect(manager.get(), &VoiceChatManager::voiceError, context.get(), [this](const QString& m) { log << "error:" + m; });
    }

    void cleanup() { context.reset(); manager.reset(); }

    void joinOfferToMembersIgnoreMalformed()
    {
        QTest::ignoreMessage(QtDebugMsg, QRegularExpression("Evento WebRTC ignorato"));
        event("voice_user_joined", user("s1", "orion")); // not in voice yet
        joined();
        manager->joinVoice();
        QCOMPARE(log, (QStringList{"status:connected", "mute:0", "event:voice_join"}));
        QVERIFY(factory->created.isEmpty());

        event("voice_existing_users", QJsonArray{user("s1", "orion"), QJsonObject{{"sid", "s2"}}, 42, user("", "x")});
        for (const QString sid : {"s1", "s2"}) {
            QCOMPARE(connectionOf(sid)->localDescriptions, QStringList{"offer"});
            QCOMPARE(connectionOf(sid)->channel->label(), QString("moonlodge-voice-test"));
            QCOMPARE(connectionOf(sid)->configuration.stunUrl, QString());
        }
        QCOMPARE(targets("voice_offer"), (QStringList{"s1", "s2"}));
        QCOMPARE(sent[1].second.value("offer").toObject().value("sdp").toString(), QString("v=0 fake offer"));

        const QJsonValue malformed[][2] = {
            {"voice_existing_users", user("s9", "x")},     {"voice_user_joined", QJsonArray{user("s9", "a")}},
            {"voice_user_joined", QJsonObject{{"sid", 5}}}, {"voice_offer", QJsonObject{{"fromSid", "s9"}, {"offer", "v=0"}}},
            {"voice_offer", described("", "offer")},       {"voice_offer", described("s9", "offer", "")},
            {"voice_answer", QJsonValue("text")},          {"voice_ice_candidate", candidateFrom("s9", "")},
            {"voice_user_left", QJsonObject{}},            {"voice_something_else", user("s9", "x")},
        };
        const qsizetype logged = log.size();
        for (const auto& [name, data] : malformed)
            event(name.toString(), data);
        QCOMPARE(factory->created.size(), 2);
        QCOMPARE(log.size(), logged);
    }

    // A newcomer is answered; without their offer within 1.5 s this side offers, once.
    void emergencyOffer_data()
    {
        QTest::addColumn<QString>("then");
        QTest::addColumn<bool>("offered");
        QTest::newRow("no offer comes") << "" << true;
        QTest::newRow("their offer comes") << "offer" << false;
        QTest::newRow("they leave") << "left" << false;
        QTest::newRow("we leave") << "leave" << false;
    }
    void emergencyOffer()
    {
        QFETCH(QString, then);
        QFETCH(bool, offered);
        joined();
        event("voice_user_joined", user("s1", "orion"));
        auto connection = connectionOf("s1");
        QVERIFY(!connection->channel && connection->localDescriptions.isEmpty());
        if (then == "offer")
            event("voice_offer", described("s1", "offer"));
        else if (then == "left")
            event("voice_user_left", QJsonObject{{"sid", "s1"}});
        else if (then == "leave")
            manager->leaveVoice();
        QTest::qWait(1700);
        QCOMPARE(targets("voice_offer").size(), offered ? 1 : 0);
        QCOMPARE(connection->localDescriptions.contains("offer"), offered);
    }

    void offersAnswersAndCandidates()
    {
        joined();
        // An offer before anything else creates the answering connection.
        event("voice_offer", QJsonObject{{"fromSid", "s7"}, {"offer", QJsonObject{{"sdp", "v=0 x"}}}});
        QCOMPARE(connectionOf("s7")->remoteDescriptions.first(), (QPair<QString, QString>("v=0 x", "offer")));
        QCOMPARE(connectionOf("s7")->localDescriptions, QStringList{"answer"});
        QCOMPARE(targets("voice_answer"), QStringList{"s7"});

        // An answer applies to an existing connection only.
        event("voice_answer", described("s1", "answer"));
        QVERIFY(!connectionOf("s1"));
        event("voice_existing_users", QJsonArray{user("s1", "orion")});
        event("voice_answer", described("s1", "answer"));
        QCOMPARE(connectionOf("s1")->remoteDescriptions.first().second, QString("answer"));

        // A candidate before the connection is dropped; after it, applied.
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression("Candidato ICE ricevuto prima della PeerConnection: .*s2"));
        event("voice_ice_candidate", candidateFrom("s2"));
        event("voice_user_joined", user("s2", "nova"));
        event("voice_ice_candidate", candidateFrom("s2"));
        QCOMPARE(connectionOf("s2")->remoteCandidates.size(), 1);

        // What the library gathers goes out, and the answering side's channel arrives already open.
        connectionOf("s2")->notifyLocalCandidate("candidate:9 1 UDP 5 127.0.0.1 9 typ host", "audio0");
        QCOMPARE(sent.last().second.value("candidate").toObject().value("sdpMid").toString(), QString("audio0"));
        auto channel = std::make_shared<FakeVoiceDataChannel>("moonlodge-voice-test");
        channel->open = true;
        QTest::ignoreMessage(QtDebugMsg, QRegularExpression("DataChannel WebRTC aperto con: .*s2"));
        connectionOf("s2")->notifyDataChannel(channel);
        QTest::qWait(50);
    }

    void libraryFailures()
    {
        joined();
        event("voice_user_joined", user("s1", "orion"));
        connectionOf("s1")->remoteFailure = "bad sdp";
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression("Errore durante la segnalazione WebRTC: .*bad sdp"));
        event("voice_offer", described("s1", "offer"));
        QVERIFY(connectionOf("s1")->localDescriptions.isEmpty());
        // Reported later by the library, the same way.
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression("Errore durante la segnalazione WebRTC: .*late failure"));
        connectionOf("s1")->notifyFailure("late failure");
        QTRY_VERIFY(log.contains("error:late failure"));

        factory->createFailure = "no webrtc";
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression("Errore creazione PeerConnection: .*no webrtc"));
        event("voice_user_joined", user("s2", "nova"));
        QVERIFY(!connectionOf("s2"));

        // A failed emergency offer only warns.
        factory->createFailure.clear();
        event("voice_user_joined", user("s3", "kai"));
        connectionOf("s3")->localFailure = "cannot offer";
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression("Creazione offerta WebRTC di emergenza fallita: .*cannot offer"));
        QTest::qWait(1700);
        QCOMPARE(log.filter("error:"), (QStringList{"error:bad sdp", "error:late failure", "error:no webrtc"}));
        QVERIFY(!log.contains("status:disconnected"));
    }

    void connectionStates()
    {
        joined();
        event("voice_existing_users", QJsonArray{user("s1", "orion"), user("s2", "nova"), user("s3", "kai")});
        auto failed = connectionOf("s1");
        auto back = connectionOf("s2");
        auto lost = connectionOf("s3");
        failed->reportState(VoicePeerConnection::State::Failed);
        QTRY_COMPARE(failed->closeCount, 1);
        event("voice_offer", described("s1", "offer"));
        QVERIFY(connectionOf("s1") && connectionOf("s1") != failed);

        back->reportState(VoicePeerConnection::State::Disconnected);
        lost->reportState(VoicePeerConnection::State::Disconnected);
        QTest::qWait(1000);
        back->reportState(VoicePeerConnection::State::Connected);
        QTest::ignoreMessage(QtDebugMsg, QRegularExpression("Connessione WebRTC ripristinata con: .*s2"));
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression("Rimozione connessione WebRTC non recuperata: .*s3"));
        QTRY_COMPARE_WITH_TIMEOUT(lost->closeCount, 1, 6000);
        QCOMPARE(back->closeCount, 0);
    }

    void leaveForgetsMutesAndDestructionLeaves()
    {
        joined();
        event("voice_existing_users", QJsonArray{user("s1", "orion")});
        QVERIFY(manager->toggleRemoteUserMute("orion"));
        log.clear();
        manager->leaveVoice();
        manager->leaveVoice();
        QCOMPARE(log, (QStringList{"event:voice_leave", "status:disconnected", "mute:0"}));
        QVERIFY(!manager->isRemoteUserMuted("orion"));
        QCOMPARE(factory->last()->closeCount, 1);

        joined();
        log.clear();
        manager.reset();
        QCOMPARE(log.filter("event:"), QStringList{"event:voice_leave"});
    }
};

QTEST_MAIN(TestVoiceSignaling)
#include "tst_VoiceSignaling.moc"
