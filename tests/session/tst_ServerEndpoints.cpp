#include "session/ServerEndpoints.h"

#include <QtTest>

class TestServerEndpoints : public QObject
{
    Q_OBJECT

private slots:
    void baseUrlComesFromTheEnvironmentWithoutTrailingSlash()
    {
        qputenv("MOONLODGE_BASE_URL", "https://lodge.example:8443/ ");
        QCOMPARE(ServerEndpoints::baseUrl(), QStringLiteral("https://lodge.example:8443"));
        QCOMPARE(ServerEndpoints::url(QStringLiteral("/api/desktop/profile")).toString(),
                 QStringLiteral("https://lodge.example:8443/api/desktop/profile"));
        QCOMPARE(ServerEndpoints::realtimeUrl().toString(),
                 QStringLiteral("wss://lodge.example:8443/socket.io/?EIO=4&transport=websocket"));

        qputenv("MOONLODGE_BASE_URL", "http://127.0.0.1:9000");
        QCOMPARE(ServerEndpoints::realtimeUrl().toString(),
                 QStringLiteral("ws://127.0.0.1:9000/socket.io/?EIO=4&transport=websocket"));

        qunsetenv("MOONLODGE_BASE_URL");
        QCOMPARE(ServerEndpoints::baseUrl(), QStringLiteral(MOONLODGE_TEST_DEFAULT_BASE_URL));
    }

    void serverValuesStayInsideOnePathSegment_data()
    {
        QTest::addColumn<QString>("value");
        QTest::addColumn<QByteArray>("encodedPath");
        QTest::newRow("plain") << "cat.png" << QByteArray("/static/avatars/cat.png");
        QTest::newRow("traversal") << "../logout" << QByteArray("/static/avatars/..%2Flogout");
        QTest::newRow("query") << "a.png?x=1#y" << QByteArray("/static/avatars/a.png%3Fx%3D1%23y");
    }

    void serverValuesStayInsideOnePathSegment()
    {
        QFETCH(QString, value);
        QFETCH(QByteArray, encodedPath);
        qputenv("MOONLODGE_BASE_URL", "http://127.0.0.1:8765");
        const QUrl url = ServerEndpoints::avatarUrl(value);
        QCOMPARE(url.toEncoded(QUrl::FullyEncoded), "http://127.0.0.1:8765" + encodedPath);
        QCOMPARE(url.host(), QStringLiteral("127.0.0.1"));
        QVERIFY(!url.hasQuery());
        QVERIFY(!url.hasFragment());
    }

    void dotSegmentsGiveNoUrl()
    {
        for (const QString& value : {QString(), QStringLiteral("."), QStringLiteral("..")}) {
            QVERIFY(!ServerEndpoints::avatarUrl(value).isValid());
            QVERIFY(!ServerEndpoints::userProfileUrl(value).isValid());
        }
        QVERIFY(ServerEndpoints::avatarUrl(QStringLiteral("...png")).isValid());
    }

    void userNamesArePercentEncoded()
    {
        qputenv("MOONLODGE_BASE_URL", "http://127.0.0.1:8765");
        QCOMPARE(ServerEndpoints::userProfileUrl(QStringLiteral("Zoë Star/2")).toEncoded(),
                 QByteArray("http://127.0.0.1:8765/api/desktop/users/Zo%C3%AB%20Star%2F2"));
        QCOMPARE(ServerEndpoints::ideaLikeUrl(42).path(), QStringLiteral("/ideas/42/like"));
    }
};

QTEST_GUILESS_MAIN(TestServerEndpoints)
#include "tst_ServerEndpoints.moc"
