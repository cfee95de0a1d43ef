#include "realtime/RealtimeChannel.h"

#include <QJsonDocument>
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
    void handshakeCarriesOriginAndJarCookies_data()
    {
        QTest::addColumn<QByteArray>("cookies");
        QTest::addColumn<QByteArray>("header");
        QTest::newRow("two cookies") << QByteArray("session=s1\ntheme=violet") << QByteArray("session=s1; theme=violet");
        QTest::newRow("none: no header at all") << QByteArray() << QByteArray();
    }

    void handshakeCarriesOriginAndJarCookies()
    {
        QFETCH(QByteArray, cookies);
        QFETCH(QByteArray, header);
        Session session;
        session.jar.setCookiesFromUrl(QNetworkCookie::parseCookies(cookies), QUrl(session.server.baseUrl()));
        QVERIFY(session.connect());
        const QUrl url = session.server.handshake.url();
        QCOMPARE(url.path() + '?' + url.query(), QStringLiteral("/socket.io/?EIO=4&transport=websocket"));
        QCOMPARE(session.server.origin, session.server.baseUrl());
        QCOMPARE(session.server.handshake.hasRawHeader("Cookie"), !header.isEmpty());
        QCOMPARE(session.server.handshake.rawHeader("Cookie"), header);
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
        QTRY_COMPARE(session.server.received, (QStringList{"3", "40", "3"}));
        QVERIFY(session.channel->isReady());
    }

    // However the connection ends, readiness ends with it, nothing is sent
    // into the gap, and a join asked for meanwhile goes out after the next "40".
    void readinessEndsWithTheConnection_data()
    {
        QTest::addColumn<QString>("ending");
        QTest::newRow("namespace disconnect, transport kept open") << "41";
        QTest::newRow("server closes") << "close";
        QTest::newRow("frame over the size limit") << "huge";
        QTest::newRow("aborted") << "abort";
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
        else if (ending == "abort")
            session.channel->abort();
        else if (ending == "huge")
            session.server.send(QStringLiteral("42[\"huge\",\"") + QString(RealtimeChannel::kMaxFrameSize, 'x') + "\"]");
        else
            session.server.send(ending);
        QTRY_COMPARE(session.channel->socket()->state(), QAbstractSocket::UnconnectedState);
        QVERIFY(!session.channel->isReady());
        QVERIFY(!session.channel->sendIfReady("send_message", {{"text", "kept"}}));  // reopens at once
        QTRY_COMPARE(session.server.connections, 2);

        session.server.received.clear();
        QTRY_COMPARE(session.channel->socket()->state(), QAbstractSocket::ConnectedState);
        QVERIFY(!session.channel->isReady());  // connected again, not yet acknowledged
        session.channel->emitRealtimeEvent("voice_join", {});  // deferred
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

    void reconnectWaitsDoubleWithJitterUpToThirtySeconds()
    {
        for (const auto& [random, delays] : QList<QPair<double, QList<int>>>{
                 {0.0, {1000, 2000, 4000, 8000, 16000, 30000, 30000}},
                 {0.5, {900, 1800, 3600, 7200, 14400, 27000, 27000}}}) {
            ReconnectBackoff backoff([random = random] { return random; });
            QList<int> taken;
            for (int i = 0; i < delays.size(); ++i)
                taken << backoff.nextDelayMs();
            QCOMPARE(taken, delays);
            backoff.reset();
            QCOMPARE(backoff.nextDelayMs(), delays.first());
        }
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
        QCOMPARE(states.last().first().value<RealtimeChannel::ConnectionState>(),
                 RealtimeChannel::ConnectionState::Reconnecting);
    }

    void eventsGoOutAsCompactArraysAndAJoinWaitsForTheAcknowledgementOnce()
    {
        Session session;
        session.channel->emitRealtimeEvent("voice_join", {});  // opens the channel itself
        QVERIFY(session.channel->voiceJoinPending());
        session.channel->emitRealtimeEvent("voice_join", {});  // connecting: only the flag
        QTRY_VERIFY(session.server.peer);
        QVERIFY(session.acknowledge());
        QTRY_COMPARE(session.server.received, (QStringList{"40", R"(42["voice_join"])"}));
        QVERIFY(!session.channel->voiceJoinPending());
        session.server.send("40");
        session.channel->emitRealtimeEvent("voice_offer", {{"targetSid", "b"}, {"sdp", "v=0\r\n"}});
        QTRY_COMPARE(session.server.received.size(), 3);
        QCOMPARE(session.server.received.last(), QStringLiteral(R"(42["voice_offer",{"sdp":"v=0\r\n","targetSid":"b"}])"));
        QCOMPARE(session.server.connections, 1);
    }

    void leaveCancelsAPendingJoin()
    {
        Session session;
        QVERIFY(session.connect());
        session.channel->emitRealtimeEvent("voice_join", {});
        QTest::ignoreMessage(QtWarningMsg, "Evento vocale non inviato: voice_leave - Socket.IO non pronto.");
        session.channel->emitRealtimeEvent("voice_leave", {});
        QVERIFY(!session.channel->voiceJoinPending());
        QTest::ignoreMessage(QtWarningMsg, "Evento vocale non inviato: voice_answer - Socket.IO non pronto.");
        session.channel->emitRealtimeEvent("voice_answer", {{"sdp", "x"}});
        QVERIFY(session.acknowledge());
        QTest::qWait(100);
        QCOMPARE(session.server.received, QStringList{"40"});
    }

    // Each frame is read once and handed on by kind, in one order; what does not
    // parse as an event array is dropped.
    void incomingEventsAreReadOnceAndHandedOnByKind()
    {
        Session session;
        QStringList seen;
        RealtimeChannel* channel = session.channel.get();
        connect(channel, &RealtimeChannel::leaderboardChanged, this, [&seen] { seen << "leaderboard"; });
        connect(channel, &RealtimeChannel::presenceChanged, this, [&seen] { seen << "presence"; });
        connect(channel, &RealtimeChannel::voiceSignalReceived, this, [&seen](const QString& name, const QJsonValue& data) {
            seen << "voice " + name + ' ' + QString::fromUtf8(QJsonDocument(data.toObject()).toJson(QJsonDocument::Compact));
        });
        connect(channel, &RealtimeChannel::chatMessageReceived, this, [&seen](const QJsonValue& message) {
            seen << "chat " + message.toObject().value("text").toString();
        });
        connect(channel, &RealtimeChannel::eventReceived, this, [&seen](const QString& name, const QJsonValue& data) {
            seen << "event " + name + (data.isNull() ? " null" : "");
        });
        QVERIFY(session.connect());
        QVERIFY(session.acknowledge());
        session.server.send(R"(42["voice_user_left",{"sid":"x"},"extra"])");
        session.server.send(R"(42["voice_existing_users"])");
        session.server.send(R"(42["receive_message",{"text":"hi"}])");
        session.server.send(R"(42["nebulite_leaderboard_changed"])");
        session.server.send(R"(42["online_members_changed"])");
        session.server.send(R"(42[7])");
        for (const char* ignored : {R"(42{"a":1})", "42[]", R"(421["x"])", R"(42/chat,["x"])", "42[[[[", "43[]"})
            session.server.send(QString::fromLatin1(ignored));
        session.server.send(QStringLiteral("42") + QString(5000, '[') + QString(5000, ']'));
        session.server.send(R"(42["last"])");

        const QStringList expected{"presence", R"(voice voice_user_left {"sid":"x"})", "event voice_user_left",
                                   "voice voice_existing_users {}", "event voice_existing_users null",
                                   "chat hi", "event receive_message",
                                   "leaderboard", "event nebulite_leaderboard_changed null",
                                   "presence", "event online_members_changed null",
                                   "event  null", "event last null"};
        QTRY_COMPARE(seen, expected);
    }
};

QTEST_MAIN(TestRealtimeChannel)
#include "tst_RealtimeChannel.moc"
