// The voice engine's signalling and connection handling, over the fake WebRTC layer.

#include "FakeVoicePeerConnection.h"
#include "VoiceEngineProbe.h"
#include "voice/VoiceCapture.h"

#include <QJsonArray>
#include <QJsonObject>
#include <QSignalSpy>
#include <QtTest>

namespace {

QJsonObject user(const QString& sid, const QString& username)
{
    return QJsonObject{{"sid", sid}, {"username", username}};
}

QJsonObject offerFrom(const QString& sid, const QString& sdp = "v=0 remote offer")
{
    return QJsonObject{{"fromSid", sid}, {"offer", QJsonObject{{"type", "offer"}, {"sdp", sdp}}}};
}

QJsonObject answerFrom(const QString& sid, const QString& sdp = "v=0 remote answer")
{
    return QJsonObject{{"fromSid", sid}, {"answer", QJsonObject{{"type", "answer"}, {"sdp", sdp}}}};
}

QJsonObject candidateFrom(const QString& sid, const QString& candidate = "candidate:1 1 UDP 1 127.0.0.1 5000 typ host")
{
    return QJsonObject{{"fromSid", sid}, {"candidate", QJsonObject{{"candidate", candidate}, {"sdpMid", "0"}}}};
}

// Every signal of the engine, in order, as text.
class Recorder
{
public:
    explicit Recorder(VoiceChatManager* manager)
    {
        QObject::connect(manager, &VoiceChatManager::signalingEventRequested, &context,
                         [this](const QString& name, const QJsonObject& data) {
                             events.append({name, data});
                             log << "event:" + name;
                         });
        QObject::connect(manager, &VoiceChatManager::voiceStatusChanged, &context,
                         [this](const QString& status) { log << "status:" + status; });
        QObject::connect(manager, &VoiceChatManager::muteChanged, &context,
                         [this](bool muted) { log << QString("mute:%1").arg(muted); });
        QObject::connect(manager, &VoiceChatManager::localUserSpeakingChanged, &context,
                         [this](bool speaking) { log << QString("speaking:%1").arg(speaking); });
        QObject::connect(manager, &VoiceChatManager::remoteUserSpeakingChanged, &context,
                         [this](const QString& name, bool speaking) { log << QString("remote:%1:%2").arg(name).arg(speaking); });
        QObject::connect(manager, &VoiceChatManager::voiceError, &context,
                         [this](const QString& message) { log << "error:" + message; });
    }
    QStringList names(const QString& event) const
    {
        QStringList result;
        for (const auto& e : events)
            if (e.first == event)
                result << e.second.value("targetSid").toString();
        return result;
    }

    QObject context;
    QList<QPair<QString, QJsonObject>> events;
    QStringList log;
};

} // namespace

class TestVoiceSignaling : public QObject
{
    Q_OBJECT

private:
    std::shared_ptr<FakeVoicePeerConnectionFactory> factory;
    std::unique_ptr<VoiceChatManager> manager;
    std::unique_ptr<Recorder> recorder;

    void joined()
    {
        manager->setMicrophoneDeviceId("vmic");
        manager->joinVoice();
        QVERIFY(recorder->log.contains("status:connected"));
        VoiceEngineProbe::detachMicrophone(*manager);
    }
    std::shared_ptr<FakeVoicePeerConnection> connectionOf(const QString& sid) { return factory->openFor(sid); }

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
        recorder = std::make_unique<Recorder>(manager.get());
    }

    void cleanup()
    {
        recorder.reset();
        manager.reset();
        factory.reset();
    }

    void joinSignalsInOrderAndSendsJoin()
    {
        joined();
        QCOMPARE(recorder->log, (QStringList{"status:connected", "mute:0", "event:voice_join"}));
        QVERIFY(recorder->events.first().second.isEmpty());
        QVERIFY(factory->created.isEmpty());
        // A second join does nothing.
        manager->joinVoice();
        QCOMPARE(recorder->log.size(), 3);
    }

    void eventsOutsideVoiceOnlyLog()
    {
        QTest::ignoreMessage(QtDebugMsg, QRegularExpression("Evento WebRTC ignorato"));
        manager->handleSignalingEvent("voice_user_joined", user("s1", "orion"));
        manager->handleSignalingEvent("voice_account_status", QJsonObject{{"in_voice", true}});
        QVERIFY(factory->created.isEmpty());
        QVERIFY(recorder->log.isEmpty());
    }

    void existingUsersAreOffered()
    {
        joined();
        QJsonArray users{user("s1", "orion"), QJsonObject{{"sid", "s2"}}, 42, user("", "ghost"), user("s3", "nova")};
        manager->handleSignalingEvent("voice_existing_users", users);
        QCOMPARE(factory->created.size(), 3);
        for (const QString sid : {"s1", "s2", "s3"}) {
            auto connection = connectionOf(sid);
            QVERIFY(connection);
            QCOMPARE(connection->localDescriptions, QStringList{"offer"});
            QVERIFY(connection->channel);
            QCOMPARE(connection->channel->label(), QString("moonlodge-voice-test"));
            QCOMPARE(connection->media.payloadType, 111);
            QCOMPARE(connection->media.mid, QString("0"));
            QCOMPARE(connection->configuration.stunUrl, QString());
            QVERIFY(connection->media.ssrc != 0);
        }
        const quint32 expectedSsrc = quint32(qHash(QString("s1"), 0) & 0xffffffffu);
        QCOMPARE(connectionOf("s1")->media.ssrc, expectedSsrc == 0 ? 1u : expectedSsrc);
        QCOMPARE(recorder->names("voice_offer"), (QStringList{"s1", "s2", "s3"}));
        const QJsonObject offer = recorder->events[1].second.value("offer").toObject();
        QCOMPARE(offer.value("type").toString(), QString("offer"));
        QCOMPARE(offer.value("sdp").toString(), QString("v=0 fake offer"));

        // Not an array: nothing.
        manager->handleSignalingEvent("voice_existing_users", user("s9", "x"));
        QCOMPARE(factory->created.size(), 3);
    }

    void userJoinedIsAnsweredAndEmergencyOfferFires()
    {
        joined();
        manager->handleSignalingEvent("voice_user_joined", user("s1", "orion"));
        auto connection = connectionOf("s1");
        QVERIFY(connection);
        QVERIFY(!connection->channel);
        QVERIFY(connection->localDescriptions.isEmpty());
        QTest::ignoreMessage(QtDebugMsg, QRegularExpression("Nessuna offerta ricevuta da .*s1"));
        QTRY_COMPARE_WITH_TIMEOUT(connection->localDescriptions, QStringList{"offer"}, 3000);
        QCOMPARE(recorder->names("voice_offer"), QStringList{"s1"});
    }

    void emergencyOfferSkippedAfterOffer()
    {
        joined();
        manager->handleSignalingEvent("voice_user_joined", user("s1", "orion"));
        manager->handleSignalingEvent("voice_offer", offerFrom("s1"));
        auto connection = connectionOf("s1");
        QCOMPARE(connection->remoteDescriptions.size(), 1);
        QCOMPARE(connection->remoteDescriptions.first().second, QString("offer"));
        QCOMPARE(connection->localDescriptions, QStringList{"answer"});
        QCOMPARE(recorder->names("voice_answer"), QStringList{"s1"});
        QTest::qWait(1700);
        QCOMPARE(connection->localDescriptions, QStringList{"answer"});
    }

    void emergencyOfferSkippedAfterLeaveOrUserLeft()
    {
        joined();
        manager->handleSignalingEvent("voice_user_joined", user("s1", "orion"));
        manager->handleSignalingEvent("voice_user_joined", user("s2", "nova"));
        auto first = connectionOf("s1");
        auto second = connectionOf("s2");
        manager->handleSignalingEvent("voice_user_left", QJsonObject{{"sid", "s2"}});
        QCOMPARE(second->closeCount, 1);
        QTest::qWait(700);
        manager->leaveVoice();
        QCOMPARE(first->closeCount, 1);
        QTest::qWait(1000);
        QVERIFY(first->localDescriptions.isEmpty());
        QVERIFY(second->localDescriptions.isEmpty());
        QVERIFY(recorder->names("voice_offer").isEmpty());
    }

    void offerBeforeUserJoinedCreatesAnswerer()
    {
        joined();
        manager->handleSignalingEvent("voice_offer", QJsonObject{{"fromSid", "s7"}, {"offer", QJsonObject{{"sdp", "v=0 x"}}}});
        auto connection = connectionOf("s7");
        QVERIFY(connection);
        QVERIFY(!connection->channel);
        QCOMPARE(connection->remoteDescriptions.first(), (QPair<QString, QString>("v=0 x", "offer")));
        QCOMPARE(connection->localDescriptions, QStringList{"answer"});
        const QJsonObject answer = recorder->events.last().second;
        QCOMPARE(recorder->events.last().first, QString("voice_answer"));
        QCOMPARE(answer.value("targetSid").toString(), QString("s7"));
        QCOMPARE(answer.value("answer").toObject().value("type").toString(), QString("answer"));
    }

    void answerAppliesOnlyToExistingConnection()
    {
        joined();
        manager->handleSignalingEvent("voice_answer", answerFrom("s1"));
        QVERIFY(factory->created.isEmpty());
        manager->handleSignalingEvent("voice_existing_users", QJsonArray{user("s1", "orion")});
        manager->handleSignalingEvent("voice_answer", answerFrom("s1"));
        QCOMPARE(connectionOf("s1")->remoteDescriptions.first(), (QPair<QString, QString>("v=0 remote answer", "answer")));
    }

    void candidateBeforeConnectionIsDroppedThenApplied()
    {
        joined();
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression("Candidato ICE ricevuto prima della PeerConnection: .*s1"));
        manager->handleSignalingEvent("voice_ice_candidate", candidateFrom("s1"));
        manager->handleSignalingEvent("voice_user_joined", user("s1", "orion"));
        auto connection = connectionOf("s1");
        QVERIFY(connection->remoteCandidates.isEmpty());
        manager->handleSignalingEvent("voice_ice_candidate", candidateFrom("s1"));
        QCOMPARE(connection->remoteCandidates.size(), 1);
        QCOMPARE(connection->remoteCandidates.first().second, QString("0"));
    }

    void malformedEventsAreIgnored()
    {
        joined();
        manager->handleSignalingEvent("voice_user_joined", QJsonArray{user("s1", "a")});
        manager->handleSignalingEvent("voice_user_joined", QJsonObject{{"sid", 5}});
        manager->handleSignalingEvent("voice_offer", QJsonObject{{"fromSid", "s1"}, {"offer", "v=0"}});
        manager->handleSignalingEvent("voice_offer", offerFrom("", "v=0"));
        manager->handleSignalingEvent("voice_offer", offerFrom("s1", ""));
        manager->handleSignalingEvent("voice_answer", QJsonValue("text"));
        manager->handleSignalingEvent("voice_ice_candidate", candidateFrom("s1", ""));
        manager->handleSignalingEvent("voice_ice_candidate", QJsonValue());
        manager->handleSignalingEvent("voice_user_left", QJsonObject{});
        manager->handleSignalingEvent("voice_something_else", QJsonObject{{"sid", "s1"}});
        QVERIFY(factory->created.isEmpty());
        QCOMPARE(recorder->log.size(), 3); // only the join
    }

    void libraryFailureBecomesVoiceError()
    {
        joined();
        manager->handleSignalingEvent("voice_user_joined", user("s1", "orion"));
        connectionOf("s1")->remoteFailure = "bad sdp";
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression("Errore durante la segnalazione WebRTC: .*bad sdp"));
        manager->handleSignalingEvent("voice_offer", offerFrom("s1"));
        QVERIFY(recorder->log.contains("error:bad sdp"));
        QVERIFY(!recorder->log.contains("status:disconnected"));
        QVERIFY(connectionOf("s1")->localDescriptions.isEmpty());

        factory->createFailure = "no webrtc";
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression("Errore creazione PeerConnection: .*no webrtc"));
        manager->handleSignalingEvent("voice_user_joined", user("s2", "nova"));
        QVERIFY(recorder->log.contains("error:no webrtc"));
        QVERIFY(!connectionOf("s2"));
    }

    void emergencyOfferFailureOnlyWarns()
    {
        joined();
        manager->handleSignalingEvent("voice_user_joined", user("s1", "orion"));
        connectionOf("s1")->localFailure = "cannot offer";
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression("Creazione offerta WebRTC di emergenza fallita: .*cannot offer"));
        QTest::qWait(1700);
        QVERIFY(recorder->log.filter("error").isEmpty());
    }

    void localCandidatesAndDataChannelsFromLibrary()
    {
        joined();
        manager->handleSignalingEvent("voice_user_joined", user("s1", "orion"));
        auto connection = connectionOf("s1");
        connection->notifyLocalCandidate("candidate:9 1 UDP 5 127.0.0.1 9 typ host", "audio0");
        const auto& last = recorder->events.last();
        QCOMPARE(last.first, QString("voice_ice_candidate"));
        QCOMPARE(last.second.value("targetSid").toString(), QString("s1"));
        QCOMPARE(last.second.value("candidate").toObject().value("sdpMid").toString(), QString("audio0"));

        auto channel = std::make_shared<FakeVoiceDataChannel>("moonlodge-voice-test");
        // Handed to the GUI thread first; the answering side's channel comes already open.
        QTest::ignoreMessage(QtDebugMsg, QRegularExpression("DataChannel WebRTC aperto con: .*s1"));
        channel->open = true;
        connection->notifyDataChannel(channel);
        QTest::qWait(50);
    }

    void failedConnectionIsRemovedAndCanReturn()
    {
        joined();
        manager->handleSignalingEvent("voice_existing_users", QJsonArray{user("s1", "orion")});
        auto first = connectionOf("s1");
        first->reportState(VoicePeerConnection::State::Failed);
        QTRY_COMPARE(first->closeCount, 1);
        QVERIFY(!connectionOf("s1"));
        manager->handleSignalingEvent("voice_offer", offerFrom("s1"));
        QVERIFY(connectionOf("s1") && connectionOf("s1") != first);
    }

    void disconnectionGracePeriod()
    {
        joined();
        manager->handleSignalingEvent("voice_existing_users", QJsonArray{user("s1", "orion"), user("s2", "nova")});
        auto back = connectionOf("s1");
        auto lost = connectionOf("s2");
        back->reportState(VoicePeerConnection::State::Connected);
        back->reportState(VoicePeerConnection::State::Disconnected);
        lost->reportState(VoicePeerConnection::State::Disconnected);
        QTest::qWait(1000);
        back->reportState(VoicePeerConnection::State::Connected);
        QTest::ignoreMessage(QtDebugMsg, QRegularExpression("Connessione WebRTC ripristinata con: .*s1"));
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression("Rimozione connessione WebRTC non recuperata: .*s2"));
        QTRY_COMPARE_WITH_TIMEOUT(lost->closeCount, 1, 6000);
        QCOMPARE(back->closeCount, 0);
    }

    void leaveOrderAndForgetsMutes()
    {
        joined();
        manager->handleSignalingEvent("voice_existing_users", QJsonArray{user("s1", "orion")});
        QVERIFY(manager->toggleRemoteUserMute("orion"));
        QVERIFY(manager->isRemoteUserMuted("orion"));
        recorder->log.clear();
        manager->leaveVoice();
        QCOMPARE(recorder->log, (QStringList{"event:voice_leave", "status:disconnected", "mute:0"}));
        QVERIFY(!manager->isRemoteUserMuted("orion"));
        QCOMPARE(factory->last()->closeCount, 1);
        // Leaving again does nothing.
        manager->leaveVoice();
        QCOMPARE(recorder->log.size(), 3);
    }

    void destructorStillSendsLeave()
    {
        joined();
        QStringList sent;
        QObject context;
        connect(manager.get(), &VoiceChatManager::signalingEventRequested, &context,
                [&sent](const QString& name) { sent << name; });
        manager.reset();
        QCOMPARE(sent, QStringList{"voice_leave"});
    }

    void stunUrlFollowsEnvironment()
    {
        QCOMPARE(VoiceChatManager::stunServerUrl(), QString());
        qunsetenv("MOONLODGE_STUN_URL");
        QVERIFY(VoiceChatManager::stunServerUrl().startsWith("stun:"));
        qputenv("MOONLODGE_STUN_URL", "stun:127.0.0.1:3478");
        QCOMPARE(VoiceChatManager::stunServerUrl(), QString("stun:127.0.0.1:3478"));
        qputenv("MOONLODGE_STUN_URL", "");
    }
};

QTEST_MAIN(TestVoiceSignaling)
#include "tst_VoiceSignaling.moc"
