#include "session/ServerApi.h"
#include "session/ServerEndpoints.h"
#include "support/DevServer.h"

#include <QJsonDocument>
#include <QNetworkAccessManager>
#include <QNetworkCookie>
#include <QNetworkCookieJar>
#include <QtTest>

#include <optional>

namespace {

// Sends through the client's request helpers and waits for the handled reply.
class Client
{
public:
    std::optional<ServerReply> wait(QNetworkReply* reply, int timeoutMs = 10000)
    {
        std::optional<ServerReply> result;
        QObject guard;
        ServerApi::onFinished(reply, &guard, [&result](const ServerReply& finished) { result = finished; });
        QDeadlineTimer deadline(timeoutMs);
        while (!result && !deadline.hasExpired())
            QTest::qWait(5);
        return result;
    }

    QNetworkAccessManager network;
};

QString header(const QJsonObject& request, const QString& name)
{
    const QJsonObject headers = request.value(QLatin1String("headers")).toObject();
    for (auto it = headers.begin(); it != headers.end(); ++it)
        if (it.key().compare(name, Qt::CaseInsensitive) == 0)
            return it.value().toString();
    return {};
}

}  // namespace

class TestServerApi : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { QVERIFY(m_server.start()); }
    void init() { QVERIFY(m_server.reset()); }

    void loginSendsCompactJsonAndKeepsTheCookie()
    {
        Client client;
        const QJsonObject body{{QStringLiteral("username"), QStringLiteral("luna")},
                               {QStringLiteral("password"), QStringLiteral("moonlodge")}};
        const auto reply = client.wait(
            ServerApi::postJson(client.network, ServerEndpoints::url(ServerEndpoints::kLogin), body));
        QVERIFY(reply);
        QVERIFY(!reply->hasError());
        QVERIFY(reply->succeeded());
        QCOMPARE(reply->json.value("user").toObject().value("username").toString(), QStringLiteral("luna"));

        const QJsonObject seen = m_server.lastRequest(QStringLiteral("/api/desktop/login"));
        QCOMPARE(seen.value("method").toString(), QStringLiteral("POST"));
        QCOMPARE(header(seen, "Content-Type"), QStringLiteral("application/json"));
        QCOMPARE(seen.value("body").toString(), QStringLiteral(R"({"password":"moonlodge","username":"luna"})"));

        // The session cookie rides on the next request without anyone setting it.
        RequestOptions acceptJson;
        acceptJson.acceptJson = true;
        const auto profile = client.wait(
            ServerApi::get(client.network, ServerEndpoints::url(ServerEndpoints::kProfile), acceptJson));
        QVERIFY(profile && profile->succeeded());
        const QJsonObject profileSeen = m_server.lastRequest(QStringLiteral("/api/desktop/profile"));
        QCOMPARE(header(profileSeen, "Accept"), QStringLiteral("application/json"));
        QVERIFY(header(profileSeen, "Cookie").startsWith(QStringLiteral("session=")));
    }

    void stateChangingRequestsCarryTokenAndReferer()
    {
        Client client;
        const QJsonObject session = m_server.sessionFor(QStringLiteral("luna"));
        const QByteArray cookie = session.value("cookie").toString().toLatin1();
        client.network.setCookieJar(new QNetworkCookieJar);
        client.network.cookieJar()->setCookiesFromUrl(QNetworkCookie::parseCookies(cookie),
                                                      ServerEndpoints::url(QStringLiteral("/")));

        RequestOptions options;
        options.csrfToken = session.value("csrf_token").toString().toLatin1();
        options.refererPath = QStringLiteral("/");
        const QJsonObject body{{QStringLiteral("description"), QStringLiteral("Hello \"moon\" ✨")},
                               {QStringLiteral("status"), QStringLiteral("Away")}};
        const auto saved = client.wait(ServerApi::postJson(
            client.network, ServerEndpoints::url(ServerEndpoints::kProfile), body, options));
        QVERIFY(saved && saved->succeeded());

        const QJsonObject seen = m_server.lastRequest(QStringLiteral("/api/desktop/profile"));
        QCOMPARE(header(seen, "X-CSRFToken"), QString::fromLatin1(options.csrfToken));
        QCOMPARE(header(seen, "Referer"), m_server.url().toString() + QStringLiteral("/"));
        QCOMPARE(QJsonDocument::fromJson(seen.value("body").toString().toUtf8()).object(), body);

        // Without the token the server refuses, and the envelope says why.
        const auto refused = client.wait(ServerApi::postJson(
            client.network, ServerEndpoints::url(ServerEndpoints::kProfile), body, RequestOptions{}));
        QVERIFY(refused);
        QVERIFY(!refused->succeeded());
        QCOMPARE(refused->httpStatus, 400);
        QVERIFY(!refused->errorText(QStringLiteral("fallback")).isEmpty());
    }

    void logoutDoesNotFollowTheRedirect()
    {
        Client client;
        RequestOptions options;
        options.followRedirects = false;
        options.timeoutMs = 10000;
        m_server.clearRequests();
        const auto reply = client.wait(
            ServerApi::get(client.network, ServerEndpoints::url(ServerEndpoints::kLogout), options));
        QVERIFY(reply);
        QCOMPARE(reply->httpStatus, 302);
        QCOMPARE(m_server.requests().size(), 1);
    }

    void replyWithoutSuccessIsAFailure_data()
    {
        QTest::addColumn<QJsonObject>("failure");
        QTest::newRow("no success key") << QJsonObject{{"mode", "status"}, {"status", 200}, {"body", R"({"user":{}})"}};
        QTest::newRow("success not boolean")
            << QJsonObject{{"mode", "status"}, {"status", 200}, {"body", R"({"success":"yes"})"}};
        QTest::newRow("invalid json") << QJsonObject{{"mode", "invalid_json"}};
        QTest::newRow("server error") << QJsonObject{{"mode", "status"}, {"status", 500}};
    }

    void replyWithoutSuccessIsAFailure()
    {
        QFETCH(QJsonObject, failure);
        m_server.failNext(QStringLiteral("/api/desktop/members"), failure);
        Client client;
        const auto reply =
            client.wait(ServerApi::get(client.network, ServerEndpoints::url(ServerEndpoints::kMembers)));
        QVERIFY(reply);
        QVERIFY(!reply->succeeded());
        QCOMPARE(reply->errorText(QStringLiteral("Unable to load members.")).isEmpty(), false);
    }

    void transferTimeoutAbortsASlowReply()
    {
        m_server.failNext(QStringLiteral("/api/desktop/games/leaderboard"),
                          {{"mode", "delay"}, {"delay_ms", 3000}});
        Client client;
        RequestOptions options;
        options.timeoutMs = 300;
        QElapsedTimer clock;
        clock.start();
        const auto reply = client.wait(
            ServerApi::get(client.network, ServerEndpoints::url(ServerEndpoints::kLeaderboard), options));
        QVERIFY(reply);
        QVERIFY(reply->hasError());
        QVERIFY(clock.elapsed() < 2500);
    }

    void oversizedRepliesAreAbortedAtTheLimit()
    {
        const qint64 size = RequestOptions::kMaxJsonBodyBytes + 1024 * 1024;
        m_server.failNext(QStringLiteral("/api/desktop/members"), {{"mode", "oversize"}, {"size", size}});
        Client client;
        const auto reply = client.wait(ServerApi::get(client.network, ServerEndpoints::url(ServerEndpoints::kMembers)));
        QVERIFY(reply);
        QCOMPARE(reply->error, QNetworkReply::OperationCanceledError);
        QVERIFY(reply->body.size() <= RequestOptions::kMaxJsonBodyBytes);

        m_server.failNext(QStringLiteral("/api/desktop/members"), {{"mode", "oversize"}, {"size", 300000}});
        const auto fitting = client.wait(ServerApi::get(client.network, ServerEndpoints::url(ServerEndpoints::kMembers)));
        QVERIFY(fitting && !fitting->hasError());
        QCOMPARE(fitting->body.size(), 300000);
    }

    void aGoneGuardSkipsTheHandlerAndReleasesTheReply()
    {
        m_server.failNext(QStringLiteral("/api/desktop/members"), {{"mode", "delay"}, {"delay_ms", 300}});
        QNetworkAccessManager network;
        QPointer<QNetworkReply> reply = ServerApi::get(network, ServerEndpoints::url(ServerEndpoints::kMembers));
        bool handled = false;
        {
            QObject guard;
            ServerApi::onFinished(reply.data(), &guard, [&handled](const ServerReply&) { handled = true; });
        }
        QTRY_VERIFY_WITH_TIMEOUT(reply.isNull(), 5000);
        QVERIFY(!handled);
    }

    void serverFileNamesReachOnlyTheirOwnRoute()
    {
        Client client;
        m_server.clearRequests();
        const auto reply = client.wait(
            ServerApi::get(client.network, ServerEndpoints::avatarUrl(QStringLiteral("../logout"))));
        QVERIFY(reply);
        QCOMPARE(reply->httpStatus, 404);
        const QJsonArray seen = m_server.requests();
        QCOMPARE(seen.size(), 1);
        QCOMPARE(seen.first().toObject().value("raw_path").toString(), QStringLiteral("/static/avatars/..%2Flogout"));

        const auto profile = client.wait(
            ServerApi::get(client.network, ServerEndpoints::userProfileUrl(QStringLiteral("Zoë Star"))));
        QVERIFY(profile);
        QCOMPARE(m_server.requests().last().toObject().value("raw_path").toString(),
                 QStringLiteral("/api/desktop/users/Zo%C3%AB%20Star"));
    }

private:
    DevServer m_server;
};

QTEST_GUILESS_MAIN(TestServerApi)
#include "tst_ServerApi.moc"
