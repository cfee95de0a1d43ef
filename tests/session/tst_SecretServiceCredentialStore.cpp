#include "session/SecretServiceCredentialStore.h"

#include <QElapsedTimer>
#include <QtTest>

// Runs against the session bus's Secret Service: the test script starts an
// unlocked throwaway keyring.
class TestSecretServiceCredentialStore : public QObject
{
    Q_OBJECT

private slots:
    void roundTripThroughTheKeyring()
    {
        if (qEnvironmentVariableIsEmpty("DBUS_SESSION_BUS_ADDRESS"))
            QSKIP("no session bus: run through scripts/test");
        SecretServiceCredentialStore store;
        // Its own target: other suites read the real one from the same keyring.
        const QString target = QStringLiteral("MoonLodgeDesktop/StoreTest");
        store.remove(target);

        QByteArray secret;
        QCOMPARE(store.read(target, secret), CredentialStore::Result::NotFound);
        QCOMPARE(store.remove(target), CredentialStore::Result::NotFound);

        // A first secret, then one that replaces it.
        for (const auto& [account, stored] : {std::pair<QString, QByteArray>{"Zoë Star", R"({"password":" pässword ","username":"Zoë Star"})"},
                                              std::pair<QString, QByteArray>{"luna", R"({"password":"two","username":"luna"})"}}) {
            QCOMPARE(store.write(target, account, stored), CredentialStore::Result::Ok);
            QCOMPARE(store.read(target, secret), CredentialStore::Result::Ok);
            QCOMPARE(secret, stored);
        }

        QCOMPARE(store.remove(target), CredentialStore::Result::Ok);
        QCOMPARE(store.read(target, secret), CredentialStore::Result::NotFound);
    }
};

QTEST_GUILESS_MAIN(TestSecretServiceCredentialStore)
#include "tst_SecretServiceCredentialStore.moc"
