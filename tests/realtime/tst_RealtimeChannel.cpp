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
        QObject::connect(channel->socket(), &QWebSocket::textMessageReceived, channel.get(),
                         &RealtimeChannel::handleRealtimeFrame);
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
        session.server.send("41");  // a namespace disconnect leaves the flag alone
        session.server.send(R"(44{"message":"x"})");
        session.server.send("2");
        QTRY_COMPARE(session.server.received.size(), 3);
        QVERIFY(session.channel->isReady());
        QCOMPARE(session.server.received.last(), QStringLiteral("3"));
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
        session.server.send(QStringLiteral("42[\"huge\",\"") + QString(RealtimeChannel::kMaxFrameSize, 'x') + "\"]");
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
