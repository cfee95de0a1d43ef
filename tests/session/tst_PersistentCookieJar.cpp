#include "session/AppSettings.h"
#include "session/PersistentCookieJar.h"

#include <QNetworkCookie>
#include <QSettings>
#include <QtTest>

namespace {

const QUrl kServer(QStringLiteral("http://127.0.0.1:8765/api/desktop/login"));

QStringList storedEntries()
{
    QSettings settings(AppSettings::kOrganization, AppSettings::kApplication);
    return settings.value(AppSettings::kSessionCookies).toStringList();
}

void storeEntries(const QStringList& entries)
{
    QSettings settings(AppSettings::kOrganization, AppSettings::kApplication);
    settings.setValue(AppSettings::kSessionCookies, entries);
}

QList<QByteArray> rawForms(const QList<QNetworkCookie>& cookies)
{
    QList<QByteArray> forms;
    for (const QNetworkCookie& cookie : cookies)
        forms << cookie.toRawForm(QNetworkCookie::Full);
    return forms;
}

}  // namespace

class TestPersistentCookieJar : public QObject
{
    Q_OBJECT

private slots:
    void init()
    {
        QSettings(AppSettings::kOrganization, AppSettings::kApplication).clear();
    }

    void restartKeepsSessionAndPersistentCookiesWithAttributes()
    {
        const auto cookies = QNetworkCookie::parseCookies(
            "session=abc123; Path=/; HttpOnly\n"
            "theme=violet; Expires=Wed, 01 Jan 2031 10:00:00 GMT; Path=/api; Secure");
        QCOMPARE(cookies.size(), 2);

        QList<QByteArray> firstRun;
        {
            PersistentCookieJar jar;
            jar.loadCookies();
            QVERIFY(jar.setCookiesFromUrl(cookies, kServer));
            firstRun = rawForms(jar.allCookies());
        }
        QCOMPARE(storedEntries().size(), 2);

        PersistentCookieJar nextRun;
        nextRun.loadCookies();
        QCOMPARE(rawForms(nextRun.allCookies()), firstRun);
        const QNetworkCookie session = nextRun.allCookies().value(0);
        QVERIFY(session.isSessionCookie());
        QVERIFY(session.isHttpOnly());
        QCOMPARE(session.domain(), QStringLiteral("127.0.0.1"));
        const QNetworkCookie theme = nextRun.allCookies().value(1);
        QVERIFY(theme.isSecure());
        QCOMPARE(theme.path(), QStringLiteral("/api"));
        QCOMPARE(theme.expirationDate().date(), QDate(2031, 1, 1));
    }

    void rejectedCookiesLeaveTheStoreAlone()
    {
        storeEntries({QStringLiteral("sentinel")});
        PersistentCookieJar jar;
        const auto foreign = QNetworkCookie::parseCookies("tracker=1; Domain=elsewhere.example; Path=/");
        QVERIFY(!jar.setCookiesFromUrl(foreign, kServer));
        QCOMPARE(storedEntries(), QStringList{QStringLiteral("sentinel")});
    }

    // A Set-Cookie that only deletes changes the jar without "accepting" anything:
    // the store must follow, or the revoked cookie comes back at the next start.
    void aDeletingSetCookieReachesTheStore()
    {
        {
            PersistentCookieJar jar;
            QVERIFY(jar.setCookiesFromUrl(QNetworkCookie::parseCookies("session=abc; Path=/\ntheme=violet; Path=/"),
                                          kServer));
            jar.setCookiesFromUrl(
                QNetworkCookie::parseCookies("session=; Path=/; Expires=Thu, 01 Jan 1970 00:00:00 GMT"), kServer);
        }
        PersistentCookieJar nextRun;
        nextRun.loadCookies();
        QCOMPARE(nextRun.allCookies().size(), 1);
        QCOMPARE(nextRun.allCookies().first().name(), QByteArray("theme"));
    }

    void invalidEntriesAreSkipped()
    {
        const QString valid = QString::fromLatin1(QByteArray("session=ok; Path=/; Domain=127.0.0.1").toBase64());
        const QString noCookie = QString::fromLatin1(QByteArray("").toBase64());
        storeEntries({QStringLiteral("not*base64!"), valid, noCookie});

        PersistentCookieJar jar;
        jar.loadCookies();
        QCOMPARE(jar.allCookies().size(), 1);
        QCOMPARE(jar.allCookies().first().value(), QByteArray("ok"));
    }

    void emptiedJarStoresAnEmptyList()
    {
        PersistentCookieJar jar;
        QVERIFY(jar.setCookiesFromUrl(QNetworkCookie::parseCookies("session=abc; Path=/"), kServer));
        jar.setAllCookies({});
        jar.saveCookies();
        QVERIFY(storedEntries().isEmpty());

        PersistentCookieJar nextRun;
        nextRun.loadCookies();
        QVERIFY(nextRun.cookiesForUrl(kServer).isEmpty());
    }
};

QTEST_GUILESS_MAIN(TestPersistentCookieJar)
#include "tst_PersistentCookieJar.moc"
