#include "session/AppSettings.h"
#include "session/PersistentCookieJar.h"

#include <QNetworkCookie>
#include <QSettings>
#include <QtTest>

namespace {

const QUrl kServer(QStringLiteral("http://127.0.0.1:8765/api/desktop/login"));

// The cookies a jar created now (as at the next start) holds.
QList<QNetworkCookie> nextRun()
{
    PersistentCookieJar jar;
    jar.loadCookies();
    return jar.allCookies();
}

}  // namespace

class TestPersistentCookieJar : public QObject
{
    Q_OBJECT

private slots:
    void init() { QSettings(AppSettings::kOrganization, AppSettings::kApplication).clear(); }

    // A Set-Cookie that only deletes changes the jar without "accepting" anything:
    // the store must follow, or the revoked cookie comes back at the next start.
    void restartKeepsWhatTheJarHoldsWithItsAttributes()
    {
        {
            PersistentCookieJar jar;
            QVERIFY(jar.setCookiesFromUrl(
                QNetworkCookie::parseCookies("session=abc123; Path=/; HttpOnly\nrevoked=1; Path=/\n"
                                             "theme=violet; Expires=Wed, 01 Jan 2031 10:00:00 GMT; Path=/api; Secure"),
                kServer));
            jar.setCookiesFromUrl(
                QNetworkCookie::parseCookies("revoked=; Path=/; Expires=Thu, 01 Jan 1970 00:00:00 GMT"), kServer);
        }
        const QList<QNetworkCookie> cookies = nextRun();
        QCOMPARE(cookies.size(), 2);
        QVERIFY(cookies[0].isSessionCookie() && cookies[0].isHttpOnly());  // kept across the restart all the same
        QCOMPARE(cookies[0].domain(), QStringLiteral("127.0.0.1"));
        QCOMPARE(cookies[1].path(), QStringLiteral("/api"));

        PersistentCookieJar jar;  // logout: an emptied jar stores an empty list
        jar.loadCookies();
        jar.setAllCookies({});
        jar.saveCookies();
        QVERIFY(nextRun().isEmpty());
    }
};

QTEST_GUILESS_MAIN(TestPersistentCookieJar)
#include "tst_PersistentCookieJar.moc"
