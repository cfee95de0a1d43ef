#include "session/ServerEndpoints.h"

#include <QtTest>

class TestServerEndpoints : public QObject
{
    Q_OBJECT

private slots:
    void baseUrlComesFromTheEnvironmentWithoutTrailingSlash()
    {
        qputenv("MOONLODGE_BASE_URL", "https://lodge.example:8443/ ");
        QCOMPARE(ServerEndpoints::url(QStringLiteral("/api/desktop/profile")).toString(),
                 QStringLiteral("https://lodge.example:8443/api/desktop/profile"));
        QCOMPARE(ServerEndpoints::realtimeUrl().toString(),
                 QStringLiteral("wss://lodge.example:8443/socket.io/?EIO=4&transport=websocket"));
        qputenv("MOONLODGE_BASE_URL", "http://127.0.0.1:9000");
        QCOMPARE(ServerEndpoints::realtimeUrl().toString(),
                 QStringLiteral("ws://127.0.0.1:9000/socket.io/?EIO=4&transport=websocket"));
        ServerEndpoints::setBaseUrlOverride(QStringLiteral("https://lodge.example"));  // --server wins
        QCOMPARE(ServerEndpoints::baseUrl(), QStringLiteral("https://lodge.example"));
        ServerEndpoints::setBaseUrlOverride(QString());
        QCOMPARE(ServerEndpoints::baseUrl(), QStringLiteral("http://127.0.0.1:9000"));
        qunsetenv("MOONLODGE_BASE_URL");
        QCOMPARE(ServerEndpoints::baseUrl(), QStringLiteral(MOONLODGE_TEST_DEFAULT_BASE_URL));
    }

    // Server-provided names stay inside one path segment of their own route.
    void serverValuesStayInsideOnePathSegment_data()
    {
        qputenv("MOONLODGE_BASE_URL", "http://127.0.0.1:8765");
        QTest::addColumn<QUrl>("url");
        QTest::addColumn<QByteArray>("encoded");
        QTest::newRow("plain") << ServerEndpoints::avatarUrl("cat.png") << QByteArray("/static/avatars/cat.png");
        QTest::newRow("traversal") << ServerEndpoints::avatarUrl("../logout") << QByteArray("/static/avatars/..%2Flogout");
        QTest::newRow("query") << ServerEndpoints::avatarUrl("a.png?x=1#y") << QByteArray("/static/avatars/a.png%3Fx%3D1%23y");
        QTest::newRow("user name") << ServerEndpoints::userProfileUrl("Zoë Star/2")
                                   << QByteArray("/api/desktop/users/Zo%C3%AB%20Star%2F2");
        QTest::newRow("idea") << ServerEndpoints::ideaLikeUrl(42) << QByteArray("/ideas/42/like");
    }

    void serverValuesStayInsideOnePathSegment()
    {
        QFETCH(QUrl, url);
        QFETCH(QByteArray, encoded);
        QCOMPARE(url.toEncoded(QUrl::FullyEncoded), "http://127.0.0.1:8765" + encoded);
        QVERIFY(!url.hasQuery() && !url.hasFragment());
    }

    void dotSegmentsGiveNoUrl()
    {
        for (const QString& value : {QString(), QStringLiteral("."), QStringLiteral("..")})
            QVERIFY(!ServerEndpoints::avatarUrl(value).isValid() && !ServerEndpoints::userProfileUrl(value).isValid());
        QVERIFY(ServerEndpoints::avatarUrl(QStringLiteral("...png")).isValid());
    }
};

QTEST_GUILESS_MAIN(TestServerEndpoints)
#include "tst_ServerEndpoints.moc"
