#include "session/ServerApi.h"
#include "session/ServerEndpoints.h"
#include "support/DevServerSuite.h"

#include <QNetworkAccessManager>
#include <QtTest>

#include <optional>

namespace {

// Waits for the handled reply of a request sent through the client's helpers.
std::optional<ServerReply> wait(QNetworkReply* reply)
{
    std::optional<ServerReply> result;
    QObject guard;
    ServerApi::onFinished(reply, &guard, [&result](const ServerReply& finished) { result = finished; });
    (void)QTest::qWaitFor([&result] { return result.has_value(); }, 10000);  // an empty result says it timed out
    return result;
}

}  // namespace

// What every page relies on: failures of any kind end in an error reply, and a
// reply whose receiver is gone is released unhandled. (Headers, tokens and bodies
// are checked by the page suites on the requests they send; their long lists are
// replies well over 300 KB that must arrive whole.)
class TestServerApi : public DevServerSuite
{
    Q_OBJECT

private slots:
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
    QNetworkAccessManager m_network;
};

QTEST_GUILESS_MAIN(TestServerApi)
#include "tst_ServerApi.moc"
