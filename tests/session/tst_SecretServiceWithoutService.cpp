#include "pages/login/LoginPage.h"
#include "session/CredentialWorker.h"
#include "session/SecretServiceCredentialStore.h"
#include "support/DevServer.h"
#include "support/MessageBoxCatcher.h"

#include <QCheckBox>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QNetworkAccessManager>
#include <QPushButton>
#include <QtTest>

// With no Secret Service reachable every call fails at once: the window never waits for it.
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

    void loginStillWorksAndSaysTheLoginWasNotRemembered()
    {
        DevServer server;
        QVERIFY(server.start());
        CredentialWorker credentials(std::make_shared<SecretServiceCredentialStore>());
        QNetworkAccessManager network;
        LoginPage page(&network, &credentials);
        page.show();
        auto* remember = page.findChild<QCheckBox*>("loginRememberBox");
        QVERIFY(!remember->isChecked());  // nothing was remembered
        MessageBoxCatcher boxes;
        QSignalSpy succeeded(&page, &LoginPage::loginSucceeded);
        remember->setChecked(true);
        page.findChild<QLineEdit*>("loginUsernameField")->setText("luna");
        page.findChild<QLineEdit*>("loginPasswordField")->setText("moonlodge");
        page.findChild<QPushButton*>("loginButton")->click();
        QTRY_COMPARE(succeeded.count(), 1);
        QTRY_COMPARE(boxes.titles(), QStringList{"MoonLodge"});
        QCOMPARE(boxes.boxes().first().text, QStringLiteral("Login successful, but the credentials could not be saved."));
    }
};

QTEST_MAIN(TestSecretServiceWithoutService)
#include "tst_SecretServiceWithoutService.moc"
