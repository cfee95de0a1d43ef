#include "realtime/RealtimeChannel.h"

#include <QNetworkCookie>
#include <QNetworkCookieJar>
#include <QSignalSpy>
#include <QWebSocket>
#include <QWebSocketServer>
#include <QtTest>

namespace {

// A scripted Socket.IO server on loopback: it records every frame the client
// sends and lets the test push frames back.
class ScriptedServer : public QObject
{
public:
    ScriptedServer()
        : server(QStringLiteral("scripted"), QWebSocketServer::NonSecureMode)
    {
        server.listen(QHostAddress::LocalHost, 0);
        connect(&server, &QWebSocketServer::newConnection, this, [this] {
            peer = server.nextPendingConnection();
            handshake = peer->request();
            origin = peer->origin();
            ++connections;
            connect(peer, &QWebSocket::textMessageReceived, this, [this](const QString& frame) { received << frame; });
        });
    }

    QString baseUrl() const { return QStringLiteral("http://127.0.0.1:%1").arg(server.serverPort()); }
    void send(const QString& frame) { peer->sendTextMessage(frame); }

    QWebSocketServer server;
    QWebSocket* peer = nullptr;
    QNetworkRequest handshake;
    QString origin;
    int connections = 0;
    QStringList received;
};

// Channel and server, connected up to the server's open packet.
struct Session
{
    Session()
    {
        qputenv("MOONLODGE_BASE_URL", server.baseUrl().toLatin1());
        channel = std::make_unique<RealtimeChannel>(&jar);
    }

    bool connect()
    {
        channel->openIfUnconnected();
        return QTest::qWaitFor([this] { return server.peer && channel->socket()->state() == QAbstractSocket::ConnectedState; });
    }

    bool acknowledge()
    {
        server.send(QStringLiteral(R"(0{"sid":"abc","upgrades":[],"pingInterval":25000,"pingTimeout":20000})"));
        if (!QTest::qWaitFor([this] { return server.received.contains("40"); }))
            return false;
        server.send(QStringLiteral(R"(40{"sid":"ns"})"));
        return QTest::qWaitFor([this] { return channel->isReady(); });
    }

    ScriptedServer server;
    QNetworkCookieJar jar;
    std::unique_ptr<RealtimeChannel> channel;
};

}  // namespace

class TestRealtimeChannel : public QObject
{
    Q_OBJECT

private slots:
    void handshakeCarriesOriginAndJarCookies()
    {
        Session session;
        session.jar.setCookiesFromUrl(QNetworkCookie::parseCookies("session=s1\ntheme=violet"),
                                      QUrl(session.server.baseUrl()));
        QVERIFY(session.connect());
        const QUrl url = session.server.handshake.url();
        QCOMPARE(url.path(), QStringLiteral("/socket.io/"));
        QCOMPARE(url.query(), QStringLiteral("EIO=4&transport=websocket"));
        QCOMPARE(session.server.origin, session.server.baseUrl());
        QCOMPARE(session.server.handshake.rawHeader("Cookie"), QByteArray("session=s1; theme=violet"));
    }

    void noCookiesMeansNoCookieHeader()
    {
        Session session;
        QVERIFY(session.connect());
        QVERIFY(!session.server.handshake.hasRawHeader("Cookie"));
    }

    void pingsOpenPacketsAndAcknowledgements()
    {
        Session session;
        QVERIFY(session.connect());
        session.server.send("2");  // before the acknowledgement: answered all the same
        session.server.send("2probe");  // not a ping
        session.server.send(R"(0{"sid":"a"})");
        QTRY_COMPARE(session.server.received, (QStringList{"3", "40"}));
        QVERIFY(!session.channel->isReady());

        session.server.send("40");
        QTRY_VERIFY(session.channel->isReady());
        session.server.send(R"(44{"message":"x"})");
        session.server.send("2");
        QTRY_COMPARE(session.server.received.size(), 3);
        QVERIFY(session.channel->isReady());
        QCOMPARE(session.server.received.last(), QStringLiteral("3"));
    }

    // However the connection ends, readiness ends with it, nothing is sent
    // into the gap, and a join asked for meanwhile goes out after the next "40".
    void readinessEndsWithTheConnection_data()
    {
        QTest::addColumn<QString>("ending");
        QTest::newRow("namespace disconnect, transport kept open") << "41";
        QTest::newRow("server closes") << "close";
        QTest::newRow("frame over the size limit") << "huge";
    }

    void readinessEndsWithTheConnection()
    {
        QFETCH(QString, ending);
        Session session;
        QSignalSpy events(session.channel.get(), &RealtimeChannel::eventReceived);
        QVERIFY(session.connect());
        QVERIFY(session.acknowledge());
        if (ending == "close")
            session.server.peer->close();
        else if (ending == "huge")
            session.server.send(QStringLiteral("42[\"huge\",\"") + QString(RealtimeChannel::kMaxFrameSize, 'x') + "\"]");
        else
            session.server.send(ending);
        QTRY_COMPARE(session.channel->socket()->state(), QAbstractSocket::UnconnectedState);
        QVERIFY(!session.channel->isReady());
        QCOMPARE(session.channel->socket()->property("socketIoReady").toBool(), false);
        QVERIFY(!session.channel->sendIfReady("send_message", {{"text", "kept"}}));  // reopens at once
        QTRY_COMPARE(session.server.connections, 2);

        session.server.received.clear();
        QTRY_COMPARE(session.channel->socket()->state(), QAbstractSocket::ConnectedState);
        session.channel->emitRealtimeEvent("voice_join", {});  // connected, not acknowledged: deferred
        QTest::qWait(50);
        QVERIFY(session.server.received.isEmpty());
        QVERIFY(session.acknowledge());
        QTRY_COMPARE(session.server.received, (QStringList{"40", R"(42["voice_join"])"}));
        QVERIFY(events.isEmpty());
    }

    void aSignedOutChannelOpensNothing()
    {
        Session session;
        session.channel->setSessionActive(true);
        QVERIFY(session.connect());
        session.channel->setSessionActive(false);
        QCOMPARE(session.channel->socket()->state(), QAbstractSocket::UnconnectedState);
        QCOMPARE(session.channel->connectionState(), RealtimeChannel::ConnectionState::Idle);
        session.channel->openIfUnconnected();
        session.channel->emitRealtimeEvent("voice_join", {});
        QVERIFY(!session.channel->sendIfReady("send_message", {{"text", "x"}}));
        QTest::qWait(1500);  // no reconnection either
        QCOMPARE(session.server.connections, 1);
    }

    void reconnectWaitsDoubleWithJitterUpToThirtySeconds_data()
    {
        QTest::addColumn<double>("random");
        QTest::addColumn<QList<int>>("delays");
        QTest::newRow("no jitter") << 0.0 << QList<int>{1000, 2000, 4000, 8000, 16000, 30000, 30000};
        QTest::newRow("most jitter") << 0.5 << QList<int>{900, 1800, 3600, 7200, 14400, 27000, 27000};
    }

    void reconnectWaitsDoubleWithJitterUpToThirtySeconds()
    {
        QFETCH(double, random);
        QFETCH(QList<int>, delays);
        ReconnectBackoff backoff([random] { return random; });
        QList<int> taken;
        for (int i = 0; i < delays.size(); ++i)
            taken << backoff.nextDelayMs();
        QCOMPARE(taken, delays);
        backoff.reset();
        QCOMPARE(backoff.nextDelayMs(), delays.first());
    }

    // The schedule read on a fake clock: quick losses keep growing the wait,
    // a connection that held starts again from one second.
    void reconnectScheduleFollowsTheClock()
    {
        Session session;
        qint64 now = 1'000'000;
        session.channel->setReconnectTiming(ReconnectBackoff([] { return 0.0; }), [&now] { return now; });
        session.channel->setSessionActive(true);
        QSignalSpy states(session.channel.get(), &RealtimeChannel::connectionStateChanged);
        QVERIFY(session.connect());
        QVERIFY(session.acknowledge());

        auto loseAndReadWait = [&session, &now] {
            session.server.peer->close();
            if (!QTest::qWaitFor([&session] { return session.channel->nextAttemptAtMs() >= 0; }))
                return qint64(-1);
            return session.channel->nextAttemptAtMs() - now;
        };
        QCOMPARE(loseAndReadWait(), qint64(1000));
        QCOMPARE(session.channel->connectionState(), RealtimeChannel::ConnectionState::Reconnecting);
        QTRY_COMPARE_WITH_TIMEOUT(session.server.connections, 2, 3000);  // by itself after the wait
        QVERIFY(session.acknowledge());
        QCOMPARE(session.channel->connectionState(), RealtimeChannel::ConnectionState::Ready);
        QCOMPARE(session.channel->nextAttemptAtMs(), qint64(-1));

        QCOMPARE(loseAndReadWait(), qint64(2000));  // it did not hold
        session.channel->openIfUnconnected();        // a member's action does not wait
        QTRY_COMPARE(session.server.connections, 3);
        QVERIFY(session.acknowledge());
        now += RealtimeChannel::kStableConnectionMs;
        QCOMPARE(loseAndReadWait(), qint64(1000));

        QVERIFY(states.size() >= 5);
        QCOMPARE(states.last().first().value<RealtimeChannel::ConnectionState>(),
                 RealtimeChannel::ConnectionState::Reconnecting);
    }

    void eventsGoOutAsCompactArrays()
    {
        Session session;
        QVERIFY(session.connect());
        QVERIFY(session.acknowledge());
        session.server.received.clear();
        session.channel->emitRealtimeEvent("voice_join", {});
        session.channel->emitRealtimeEvent("voice_offer", {{"targetSid", "b"}, {"sdp", "v=0\r\n"}});
        QTRY_COMPARE(session.server.received.size(), 2);
        QCOMPARE(session.server.received.at(0), QStringLiteral(R"(42["voice_join"])"));
        QCOMPARE(session.server.received.at(1), QStringLiteral(R"(42["voice_offer",{"sdp":"v=0\r\n","targetSid":"b"}])"));
        QCOMPARE(session.channel->socket()->property("pendingVoiceJoin").toBool(), false);
    }

    void voiceJoinWaitsForTheAcknowledgementAndGoesOutOnce()
    {
        Session session;
        session.channel->emitRealtimeEvent("voice_join", {});  // opens the channel itself
        QVERIFY(session.channel->socket()->property("pendingVoiceJoin").toBool());
        session.channel->emitRealtimeEvent("voice_join", {});  // connecting: only the flag
        QTRY_VERIFY(session.server.peer);
        QCOMPARE(session.server.connections, 1);

        QVERIFY(session.acknowledge());
        QTRY_COMPARE(session.server.received, (QStringList{"40", R"(42["voice_join"])"}));
        QVERIFY(!session.channel->socket()->property("pendingVoiceJoin").toBool());
        session.server.send("40");
        QTest::qWait(100);
        QCOMPARE(session.server.received.size(), 2);
    }

    void leaveCancelsAPendingJoin()
    {
        Session session;
        QVERIFY(session.connect());
        session.channel->emitRealtimeEvent("voice_join", {});
        QTest::ignoreMessage(QtWarningMsg, "Evento vocale non inviato: voice_leave - Socket.IO non pronto.");
        session.channel->emitRealtimeEvent("voice_leave", {});
        QTest::ignoreMessage(QtWarningMsg, "Evento vocale non inviato: voice_answer - Socket.IO non pronto.");
        session.channel->emitRealtimeEvent("voice_answer", {{"sdp", "x"}});
        QVERIFY(session.acknowledge());
        QTest::qWait(100);
        QCOMPARE(session.server.received, QStringList{"40"});
    }

    void incomingEventsAreParsedOrIgnored()
    {
        Session session;
        QSignalSpy events(session.channel.get(), &RealtimeChannel::eventReceived);
        QVERIFY(session.connect());
        QVERIFY(session.acknowledge());
        session.server.send(R"(42["voice_user_left",{"sid":"x"},"extra"])");
        session.server.send(R"(42["voice_existing_users"])");
        session.server.send(R"(42[7])");
        for (const char* ignored : {R"(42{"a":1})", "42[]", R"(421["x"])", R"(42/chat,["x"])", "42[[[[", "43[]"})
            session.server.send(QString::fromLatin1(ignored));
        session.server.send(QStringLiteral("42") + QString(5000, '[') + QString(5000, ']'));
        session.server.send(R"(42["last"])");

        QTRY_COMPARE(events.size(), 4);
        QCOMPARE(events.at(0).at(0).toString(), QStringLiteral("voice_user_left"));
        QCOMPARE(events.at(0).at(1).value<QJsonValue>().toObject().value("sid").toString(), QStringLiteral("x"));
        QCOMPARE(events.at(1).at(1).value<QJsonValue>(), QJsonValue(QJsonValue::Null));
        QCOMPARE(events.at(2).at(0).toString(), QString());
        QCOMPARE(events.at(3).at(0).toString(), QStringLiteral("last"));
    }

    void abortForgetsTheAcknowledgement()
    {
        Session session;
        QVERIFY(session.connect());
        QVERIFY(session.acknowledge());
        session.channel->abort();
        QVERIFY(!session.channel->isReady());
        QCOMPARE(session.channel->socket()->property("socketIoReady").toBool(), false);
        QCOMPARE(session.channel->socket()->state(), QAbstractSocket::UnconnectedState);
    }
};

QTEST_MAIN(TestRealtimeChannel)
#include "tst_RealtimeChannel.moc"
