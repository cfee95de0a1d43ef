#include "realtime/RealtimeChannel.h"

#include <QJsonDocument>
#include <QNetworkCookie>
#include <QNetworkCookieJar>
#include <QSignalSpy>
#include <QWebSocket>
#include <QWebSocketServer>
#include <QtTest>

namespace {

// A channel and a scripted Socket.IO server on loopback that records every
// frame the client sends and lets the test push frames back.
struct Session : QObject
{
    Session()
    {
        server.listen(QHostAddress::LocalHost, 0);
        connect(&server, &QWebSocketServer::newConnection, this, [this] {
            peer = server.nextPendingConnection();
            handshake = peer->request();
            origin = peer->origin();
            ++connections;
            connect(peer, &QWebSocket::textMessageReceived, this, [this](const QString& frame) { received << frame; });
        });
        qputenv("MOONLODGE_BASE_URL", baseUrl().toLatin1());
        channel = std::make_unique<RealtimeChannel>(&jar);
    }

    QString baseUrl() const { return QStringLiteral("http://127.0.0.1:%1").arg(server.serverPort()); }
    void send(const QString& frame) { peer->sendTextMessage(frame); }
    QAbstractSocket::SocketState state() const { return channel->socket()->state(); }

    bool open()
    {
        channel->openIfUnconnected();
        return QTest::qWaitFor([this] { return peer && state() == QAbstractSocket::ConnectedState; });
    }

    // The server's open packet, the client's "40", the acknowledgement.
    bool acknowledge()
    {
        send(QStringLiteral(R"(0{"sid":"abc","upgrades":[],"pingInterval":25000,"pingTimeout":20000})"));
        if (!QTest::qWaitFor([this] { return received.contains("40"); }))
            return false;
        send(QStringLiteral(R"(40{"sid":"ns"})"));
        return QTest::qWaitFor([this] { return channel->isReady(); });
    }

    QWebSocketServer server{QStringLiteral("scripted"), QWebSocketServer::NonSecureMode};
    QWebSocket* peer = nullptr;
    QNetworkRequest handshake;
    QString origin;
    int connections = 0;
    QStringList received;
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
        session.jar.setCookiesFromUrl(QNetworkCookie::parseCookies("session=s1\ntheme=violet"), QUrl(session.baseUrl()));
        QVERIFY(session.open());
        const QUrl url = session.handshake.url();
        QCOMPARE(url.path() + '?' + url.query(), QStringLiteral("/socket.io/?EIO=4&transport=websocket"));
        QCOMPARE(session.origin, session.baseUrl());
        QCOMPARE(session.handshake.rawHeader("Cookie"), QByteArray("session=s1; theme=violet"));
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
        QVERIFY(session.open());
        QVERIFY(session.acknowledge());
        if (ending == "close")
            session.peer->close();
        else if (ending == "abort")
            session.channel->abort();
        else if (ending == "huge")
            session.send(QStringLiteral("42[\"huge\",\"") + QString(RealtimeChannel::kMaxFrameSize, 'x') + "\"]");
        else
            session.send(ending);
        QTRY_COMPARE(session.state(), QAbstractSocket::UnconnectedState);
        QVERIFY(!session.channel->isReady());
        QVERIFY(!session.channel->sendIfReady("send_message", {{"text", "kept"}}));  // reopens at once
        QTRY_COMPARE(session.connections, 2);

        session.received.clear();
        QTRY_COMPARE(session.state(), QAbstractSocket::ConnectedState);
        QVERIFY(!session.channel->isReady());  // connected again, not yet acknowledged
        session.channel->emitRealtimeEvent("voice_join", {});  // deferred
        QTest::qWait(50);
        QVERIFY(session.received.isEmpty());
        QVERIFY(session.acknowledge());
        QTRY_COMPARE(session.received, (QStringList{"40", R"(42["voice_join"])"}));
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
        QVERIFY(session.open());
        QVERIFY(session.acknowledge());

        auto loseAndReadWait = [&session, &now] {
            session.peer->close();
            if (!QTest::qWaitFor([&session] { return session.channel->nextAttemptAtMs() >= 0; }))
                return qint64(-1);
            return session.channel->nextAttemptAtMs() - now;
        };
        QCOMPARE(loseAndReadWait(), qint64(1000));
        QCOMPARE(session.channel->connectionState(), RealtimeChannel::ConnectionState::Reconnecting);
        QTRY_COMPARE_WITH_TIMEOUT(session.connections, 2, 3000);  // by itself after the wait
        QVERIFY(session.acknowledge());
        QCOMPARE(session.channel->connectionState(), RealtimeChannel::ConnectionState::Ready);
        QCOMPARE(session.channel->nextAttemptAtMs(), qint64(-1));

        QCOMPARE(loseAndReadWait(), qint64(2000));  // it did not hold
        session.channel->openIfUnconnected();        // a member's action does not wait
        QTRY_COMPARE(session.connections, 3);
        QVERIFY(session.acknowledge());
        now += RealtimeChannel::kStableConnectionMs;
        QCOMPARE(loseAndReadWait(), qint64(1000));
        QCOMPARE(states.last().first().value<RealtimeChannel::ConnectionState>(),
                 RealtimeChannel::ConnectionState::Reconnecting);
    }

    // A join waits for the acknowledgement, once however often asked for; leaving
    // cancels it; other events are dropped while not ready; events are compact arrays.
    void eventsGoOutAsCompactArraysAndAJoinWaitsForTheAcknowledgementOnce_data()
    {
        QTest::addColumn<bool>("leave");
        QTest::newRow("join") << false;
        QTest::newRow("join, then leave") << true;
    }

    void eventsGoOutAsCompactArraysAndAJoinWaitsForTheAcknowledgementOnce()
    {
        QFETCH(bool, leave);
        Session session;
        session.channel->emitRealtimeEvent("voice_join", {});  // opens the channel itself
        session.channel->emitRealtimeEvent("voice_join", {});  // connecting: only the flag
        QTest::ignoreMessage(QtWarningMsg, "Evento vocale non inviato: voice_answer - Socket.IO non pronto.");
        session.channel->emitRealtimeEvent("voice_answer", {{"sdp", "x"}});
        if (leave) {
            QTest::ignoreMessage(QtWarningMsg, "Evento vocale non inviato: voice_leave - Socket.IO non pronto.");
            session.channel->emitRealtimeEvent("voice_leave", {});
        }
        QTRY_VERIFY(session.peer);
        QVERIFY(session.acknowledge());
        session.send("40");
        session.channel->emitRealtimeEvent("voice_offer", {{"targetSid", "b"}, {"sdp", "v=0\r\n"}});
        const QString offer = QStringLiteral(R"(42["voice_offer",{"sdp":"v=0\r\n","targetSid":"b"}])");
        QTRY_COMPARE(session.received, leave ? QStringList({"40", offer}) : QStringList({"40", R"(42["voice_join"])", offer}));
        QCOMPARE(session.connections, 1);
    }

    // Pings are answered; each frame is read once and handed on by kind, in one
    // order; what does not parse as an event array is dropped.
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
        QVERIFY(session.open());
        session.send("2");  // before the acknowledgement: answered all the same
        session.send("2probe");  // not a ping
        QVERIFY(session.acknowledge());
        session.send(R"(44{"message":"x"})");  // an error packet once ready changes nothing
        session.send(R"(42["voice_user_left",{"sid":"x"},"extra"])");
        session.send(R"(42["voice_existing_users"])");
        session.send(R"(42["receive_message",{"text":"hi"}])");
        session.send(R"(42["nebulite_leaderboard_changed"])");
        session.send(R"(42["online_members_changed"])");
        session.send(R"(42[7])");
        for (const char* ignored : {R"(42{"a":1})", "42[]", R"(421["x"])", R"(42/chat,["x"])", "42[[[[", "43[]"})
            session.send(QString::fromLatin1(ignored));
        session.send(QStringLiteral("42") + QString(5000, '[') + QString(5000, ']'));
        session.send(R"(42["voice_last"])");

        const QStringList expected{"presence", R"(voice voice_user_left {"sid":"x"})", "voice voice_existing_users {}",
                                   "chat hi", "leaderboard", "presence", "voice voice_last {}"};
        QTRY_COMPARE(seen, expected);
        QCOMPARE(session.received, (QStringList{"3", "40"}));
        QVERIFY(session.channel->isReady());
    }
};

QTEST_MAIN(TestRealtimeChannel)
#include "tst_RealtimeChannel.moc"
