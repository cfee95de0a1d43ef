#include "session/SecretServiceCredentialStore.h"

#include <QElapsedTimer>
#include <QtTest>

// With no Secret Service reachable every call fails at once: the window never waits for it
// (the login page says the login was not remembered: its own suite checks that).
class TestSecretServiceWithoutService : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        // Before libsecret's first call, which keeps the bus it reached.
        qputenv("DBUS_SESSION_BUS_ADDRESS", "unix:path=/nonexistent/moonlodge-bus");
    }

    void everyCallFailsQuickly()
    {
        SecretServiceCredentialStore store;
        const QString target = QStringLiteral("MoonLodgeDesktop/Login");
        QElapsedTimer clock;
        clock.start();
        QByteArray secret;
        QCOMPARE(store.read(target, secret), CredentialStore::Result::Failed);
        QCOMPARE(store.write(target, QStringLiteral("luna"), R"({"password":"x","username":"luna"})"),
                 CredentialStore::Result::Failed);
        QCOMPARE(store.remove(target), CredentialStore::Result::Failed);
        QVERIFY(secret.isEmpty());
        QVERIFY2(clock.elapsed() < 3000, qPrintable(QString::number(clock.elapsed())));
    }
};

QTEST_GUILESS_MAIN(TestSecretServiceWithoutService)
#include "tst_SecretServiceWithoutService.moc"
