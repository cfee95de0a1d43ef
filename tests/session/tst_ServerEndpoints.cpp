#include "session/ServerEndpoints.h"

#include <QtTest>

class TestServerEndpoints : public QObject
{
    Q_OBJECT

private slots:
    void baseUrlComesFromTheCommandLineOrTheEnvironment()
    {
        qputenv("MOONLODGE_BASE_URL", "https://lodge.example:8443/ ");
        QCOMPARE(ServerEndpoints::realtimeUrl().toString(),
                 QStringLiteral("wss://lodge.example:8443/socket.io/?EIO=4&transport=websocket"));
        ServerEndpoints::setBaseUrlOverride(QStringLiteral("http://127.0.0.1:9000"));  // --server wins
        QCOMPARE(ServerEndpoints::realtimeUrl().toString(),
                 QStringLiteral("ws://127.0.0.1:9000/socket.io/?EIO=4&transport=websocket"));
        ServerEndpoints::setBaseUrlOverride(QString());
        qunsetenv("MOONLODGE_BASE_URL");
        QCOMPARE(ServerEndpoints::baseUrl(), QStringLiteral(MOONLODGE_TEST_DEFAULT_BASE_URL));
    }

    // Server-provided names stay inside one path segment of their own route; dot segments give no URL.
    void serverValuesStayInsideOnePathSegment_data()
    {
        qputenv("MOONLODGE_BASE_URL", "http://127.0.0.1:8765");
        QTest::addColumn<QUrl>("url");
        QTest::addColumn<QByteArray>("encoded");
        QTest::newRow("traversal") << ServerEndpoints::avatarUrl("../logout") << QByteArray("/static/avatars/..%2Flogout");
        QTest::newRow("query") << ServerEndpoints::avatarUrl("a.png?x=1#y") << QByteArray("/static/avatars/a.png%3Fx%3D1%23y");
        QTest::newRow("user name") << ServerEndpoints::userProfileUrl("Zoë Star/2")
                                   << QByteArray("/api/desktop/users/Zo%C3%AB%20Star%2F2");
        QTest::newRow("dots in a name") << ServerEndpoints::avatarUrl("...png") << QByteArray("/static/avatars/...png");
        for (const char* dots : {"", ".", ".."}) {
            QTest::addRow("avatar '%s'", dots) << ServerEndpoints::avatarUrl(dots) << QByteArray();
            QTest::addRow("user '%s'", dots) << ServerEndpoints::userProfileUrl(dots) << QByteArray();
        }
    }

    void serverValuesStayInsideOnePathSegment()
    {
        QFETCH(QUrl, url);
        QFETCH(QByteArray, encoded);
        QCOMPARE(url.isValid(), !encoded.isEmpty());
        if (url.isValid())
            QCOMPARE(url.toEncoded(QUrl::FullyEncoded), "http://127.0.0.1:8765" + encoded);
    }
};

QTEST_GUILESS_MAIN(TestServerEndpoints)
#include "tst_ServerEndpoints.moc"
