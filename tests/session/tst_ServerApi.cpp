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

// Waits for the handled reply of a request sent through the client's helpers.
std::optional<ServerReply> wait(QNetworkReply* reply)
{
    std::optional<ServerReply> result;
    QObject guard;
    ServerApi::onFinished(reply, &guard, [&result](const ServerReply& finished) { result = finished; });
    QTest::qWaitFor([&result] { return result.has_value(); }, 10000);
    return result;
}

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

    void loginSendsCompactJsonAndTheCookieRidesOnTheNextRequest()
    {
        const QJsonObject body{{"username", "luna"}, {"password", "moonlodge"}};
        const auto reply = wait(ServerApi::postJson(m_network, ServerEndpoints::url(ServerEndpoints::kLogin), body));
        QVERIFY(reply && reply->succeeded());
        QCOMPARE(reply->json.value("user").toObject().value("username").toString(), QStringLiteral("luna"));
        const QJsonObject seen = m_server.lastRequest(QStringLiteral("/api/desktop/login"));
        QCOMPARE(header(seen, "Content-Type"), QStringLiteral("application/json"));
        QCOMPARE(seen.value("body").toString(), QStringLiteral(R"({"password":"moonlodge","username":"luna"})"));

        RequestOptions acceptJson;
        acceptJson.acceptJson = true;
        QVERIFY(wait(ServerApi::get(m_network, ServerEndpoints::url(ServerEndpoints::kProfile), acceptJson))->succeeded());
        const QJsonObject profile = m_server.lastRequest(QStringLiteral("/api/desktop/profile"));
        QCOMPARE(header(profile, "Accept"), QStringLiteral("application/json"));
        QVERIFY(header(profile, "Cookie").startsWith(QStringLiteral("session=")));
    }

    // Without the token the server refuses, and the envelope says why.
    void stateChangingRequestsCarryTokenAndReferer()
    {
        const QJsonObject session = m_server.sessionFor(QStringLiteral("luna"));
        m_network.cookieJar()->setCookiesFromUrl(QNetworkCookie::parseCookies(session.value("cookie").toString().toLatin1()),
                                                 ServerEndpoints::url(QStringLiteral("/")));
        RequestOptions options;
        options.csrfToken = session.value("csrf_token").toString().toLatin1();
        options.refererPath = QStringLiteral("/");
        const QJsonObject body{{"description", "Hello \"moon\" ✨"}, {"status", "Away"}};
        const QUrl url = ServerEndpoints::url(ServerEndpoints::kProfile);
        QVERIFY(wait(ServerApi::postJson(m_network, url, body, options))->succeeded());
        const QJsonObject seen = m_server.lastRequest(QStringLiteral("/api/desktop/profile"));
        QCOMPARE(header(seen, "X-CSRFToken"), QString::fromLatin1(options.csrfToken));
        QCOMPARE(header(seen, "Referer"), m_server.url().toString() + QStringLiteral("/"));
        QCOMPARE(QJsonDocument::fromJson(seen.value("body").toString().toUtf8()).object(), body);

        const auto refused = wait(ServerApi::postJson(m_network, url, body, RequestOptions{}));
        QVERIFY(refused && !refused->succeeded());
        QCOMPARE(refused->httpStatus, 400);
        QVERIFY(!refused->errorText(QStringLiteral("fallback")).isEmpty());
    }

    void logoutDoesNotFollowTheRedirect()
    {
        RequestOptions options;
        options.followRedirects = false;
        m_server.clearRequests();
        QCOMPARE(wait(ServerApi::get(m_network, ServerEndpoints::url(ServerEndpoints::kLogout), options))->httpStatus, 302);
        QCOMPARE(m_server.requests().size(), 1);
    }

    void failuresOfEveryKind_data()
    {
        QTest::addColumn<QJsonObject>("failure");
        QTest::addColumn<int>("timeoutMs");
        QTest::newRow("no success key") << QJsonObject{{"mode", "status"}, {"status", 200}, {"body", R"({"user":{}})"}} << 0;
        QTest::newRow("success not boolean")
            << QJsonObject{{"mode", "status"}, {"status", 200}, {"body", R"({"success":"yes"})"}} << 0;
        QTest::newRow("invalid json") << QJsonObject{{"mode", "invalid_json"}} << 0;
        QTest::newRow("server error") << QJsonObject{{"mode", "status"}, {"status", 500}} << 0;
        QTest::newRow("slower than the timeout") << QJsonObject{{"mode", "delay"}, {"delay_ms", 3000}} << 300;
        QTest::newRow("over the size limit")
            << QJsonObject{{"mode", "oversize"}, {"size", RequestOptions::kMaxJsonBodyBytes + 1024 * 1024}} << 0;
    }

    void failuresOfEveryKind()
    {
        QFETCH(QJsonObject, failure);
        QFETCH(int, timeoutMs);
        m_server.failNext(QStringLiteral("/api/desktop/members"), failure);
        RequestOptions options;
        options.timeoutMs = timeoutMs;
        QElapsedTimer clock;
        clock.start();
        const auto reply = wait(ServerApi::get(m_network, ServerEndpoints::url(ServerEndpoints::kMembers), options));
        QVERIFY(reply && !reply->succeeded());
        QVERIFY(!reply->errorText(QStringLiteral("Unable to load members.")).isEmpty());
        QVERIFY(clock.elapsed() < 2500);
        QVERIFY(reply->body.size() <= RequestOptions::kMaxJsonBodyBytes);
    }

    void aReplyUnderTheLimitArrivesWhole()
    {
        m_server.failNext(QStringLiteral("/api/desktop/members"), {{"mode", "oversize"}, {"size", 300000}});
        const auto fitting = wait(ServerApi::get(m_network, ServerEndpoints::url(ServerEndpoints::kMembers)));
        QVERIFY(fitting && !fitting->hasError());
        QCOMPARE(fitting->body.size(), 300000);
    }

    void aGoneGuardSkipsTheHandlerAndReleasesTheReply()
    {
        m_server.failNext(QStringLiteral("/api/desktop/members"), {{"mode", "delay"}, {"delay_ms", 300}});
        QPointer<QNetworkReply> reply = ServerApi::get(m_network, ServerEndpoints::url(ServerEndpoints::kMembers));
        bool handled = false;
        {
            QObject guard;
            ServerApi::onFinished(reply.data(), &guard, [&handled](const ServerReply&) { handled = true; });
        }
        QTRY_VERIFY_WITH_TIMEOUT(reply.isNull(), 5000);
        QVERIFY(!handled);
    }

private:
    DevServer m_server;
    QNetworkAccessManager m_network;
};

QTEST_GUILESS_MAIN(TestServerApi)
#include "tst_ServerApi.moc"
