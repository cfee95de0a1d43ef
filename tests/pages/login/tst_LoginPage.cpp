#include "pages/login/LoginPage.h"
#include "session/CredentialWorker.h"
#include "support/DevServerSuite.h"
#include "support/FakeCredentialStore.h"
#include "support/MessageBoxCatcher.h"

#include <QCheckBox>
#include <QJsonDocument>
#include <QLineEdit>
#include <QNetworkAccessManager>
#include <QPushButton>
#include <QElapsedTimer>
#include <QSignalSpy>
#include <QTimer>
#include <QtTest>

namespace {

const QString kTarget = QStringLiteral("MoonLodgeDesktop/Login");

QByteArray blob(const QString& userName, const QString& password)
{
    return QJsonDocument(QJsonObject{{"username", userName}, {"password", password}}).toJson(QJsonDocument::Compact);
}

// One login page on its own network access manager, with handles on its widgets
// and the message boxes it shows.
struct LoginFixture
{
    explicit LoginFixture(FakeCredentialStore& store)
        : credentials(borrowed(store))
        , page(&network, &credentials)
        , userName(page.findChild<QLineEdit*>("loginUsernameField"))
        , password(page.findChild<QLineEdit*>("loginPasswordField"))
        , remember(page.findChild<QCheckBox*>("loginRememberBox"))
        , button(page.findChild<QPushButton*>("loginButton"))
        , succeeded(&page, &LoginPage::loginSucceeded)
    {
        page.show();
    }

    // Waits until every store call asked for so far has answered (they run in order).
    bool settle()
    {
        bool answered = false;
        credentials.read(kTarget, &page, [&answered](CredentialStore::Result, QByteArray) { answered = true; });
        return QTest::qWaitFor([&answered] { return answered; });
    }

    void submit(const QString& name, const QString& secret)
    {
        userName->setText(name);
        password->setText(secret);
        button->click();
    }

    QNetworkAccessManager network;
    CredentialWorker credentials;
    LoginPage page;
    QLineEdit* userName;
    QLineEdit* password;
    QCheckBox* remember;
    QPushButton* button;
    QSignalSpy succeeded;
    MessageBoxCatcher boxes;
};

}  // namespace

class TestLoginPage : public DevServerSuite
{
    Q_OBJECT

private slots:
    void init()
    {
        QVERIFY(m_server.reset());
        m_server.clearRequests();
        m_store = std::make_unique<FakeCredentialStore>();
    }

    void rememberedLoginFillsTheFormOnlyWhenReadable_data()
    {
        QTest::addColumn<QByteArray>("stored");
        QTest::addColumn<bool>("filled");
        QTest::newRow("name and password") << blob("luna", " moon ") << true;
        QTest::newRow("not json") << QByteArray("garbage") << false;
        QTest::newRow("no password") << blob("luna", "") << false;
    }

    void rememberedLoginFillsTheFormOnlyWhenReadable()
    {
        QFETCH(QByteArray, stored);
        QFETCH(bool, filled);
        m_store->insert(kTarget, stored);
        LoginFixture login(*m_store);
        QVERIFY(login.settle());
        QCOMPARE(login.userName->text() + login.password->text(), filled ? QStringLiteral("luna moon ") : QString());
        QCOMPARE(login.remember->isChecked(), filled);
    }

    void blankFieldsSendNothing()
    {
        LoginFixture login(*m_store);
        login.submit("   ", "moonlodge");
        QTRY_COMPARE(login.boxes.shown(), QStringList{"Missing information: Please enter both username and password."});
        login.submit("luna", "");
        QTRY_COMPARE(login.boxes.boxes().size(), 2);
        QTest::qWait(100);
        QVERIFY(m_server.requests().isEmpty());
    }

    void successfulLoginTrimsTheNameAndRemembersIt()
    {
        LoginFixture login(*m_store);
        login.remember->setChecked(true);
        login.submit("  luna ", "moonlodge");
        QCOMPARE(login.button->text(), QStringLiteral("CONNECTING..."));
        QVERIFY(!login.button->isEnabled());
        QTRY_COMPARE(login.succeeded.count(), 1);
        QVERIFY(login.password->text().isEmpty());
        QCOMPARE(sentLogin().value("username").toString(), QStringLiteral("luna"));
        QVERIFY(login.settle());
        QCOMPARE(m_store->secret(kTarget), blob("luna", "moonlodge"));
    }

    void failuresShowTheirBox_data()
    {
        QTest::addColumn<QJsonObject>("failure");
        QTest::addColumn<QString>("title");
        QTest::addColumn<QString>("text");
        QTest::newRow("wrong password: spaces sent as typed") << QJsonObject() << "Login failed" << "";
        QTest::newRow("server error, shown literally")
            << QJsonObject{{"mode", "status"}, {"status", 401}, {"content_type", "application/json"},
                           {"body", R"({"success":false,"error":"<img src=x> <b>no</b>"})"}}
            << "Login failed" << "<img src=x> <b>no</b>";
        QTest::newRow("html page") << QJsonObject{{"mode", "status"}, {"status", 502}, {"body", "<html>bad gateway</html>"}}
                                   << "Connection error" << "The server returned an invalid response.\nHTTP status: 502\n";
        QTest::newRow("dropped") << QJsonObject{{"mode", "drop"}, {"count", 2}}  // Qt retries once
                                 << "Connection error" << "The server returned an invalid response.\nHTTP status: 0\n";
    }

    void failuresShowTheirBox()
    {
        QFETCH(QJsonObject, failure);
        QFETCH(QString, title);
        QFETCH(QString, text);
        if (!failure.isEmpty())
            m_server.failNext("/api/desktop/login", failure);
        LoginFixture login(*m_store);
        login.remember->setChecked(true);
        login.submit("luna", " moonlodge ");
        QTRY_COMPARE(login.boxes.boxes().size(), 1);
        QVERIFY(login.boxes.shown().first().startsWith(title + QStringLiteral(": ") + text));
        QVERIFY(login.boxes.boxes().first().plainText);
        QCOMPARE(login.boxes.boxes().first().critical, title == QLatin1String("Connection error"));
        QVERIFY(login.button->isEnabled());
        QCOMPARE(login.password->text(), QStringLiteral(" moonlodge "));  // kept for another try
        QCOMPARE(login.succeeded.count(), 0);
        QVERIFY(m_store->isEmpty());
        if (failure.isEmpty())
            QCOMPARE(sentLogin().value("password").toString(), QStringLiteral(" moonlodge "));
    }

    void uncheckingForgetsTheLogin()
    {
        m_store->insert(kTarget, blob("luna", "moonlodge"));
        LoginFixture login(*m_store);
        QVERIFY(login.settle());
        login.remember->setChecked(false);
        QVERIFY(login.settle());
        QVERIFY(m_store->isEmpty());
        QVERIFY(login.boxes.boxes().isEmpty());

        // A removal that fails says so and leaves the box checked.
        login.remember->setChecked(true);
        m_store->failRemovals = true;
        login.remember->setChecked(false);
        QTRY_COMPARE(login.boxes.shown(), QStringList{"MoonLodge: Unable to remove the saved credentials."});
        QVERIFY(login.remember->isChecked());
    }

    // Fault seen: a keyring that did not answer held the window.
    void aKeyringThatDoesNotAnswerNeverHoldsThePage()
    {
        m_store->insert(kTarget, blob("luna", "moonlodge"));
        m_store->hang();
        QElapsedTimer clock;
        clock.start();
        auto login = std::make_unique<LoginFixture>(*m_store);
        login->remember->setChecked(true);
        login->remember->setChecked(false);  // a removal waits behind the hanging read
        bool ticked = false;
        QTimer::singleShot(20, [&ticked] { ticked = true; });
        QTRY_VERIFY(ticked);  // the event loop runs meanwhile
        QVERIFY2(clock.elapsed() < 1000, qPrintable(QString::number(clock.elapsed())));

        // What the member typed while the store was silent stays.
        login->userName->setText("orion");
        m_store->release();
        QVERIFY(login->settle());
        QCOMPARE(login->userName->text(), QStringLiteral("orion"));
        QVERIFY(login->password->text().isEmpty());

        // Closing while a call hangs ends it at once.
        m_store->hang();
        login->remember->setChecked(true);
        login->remember->setChecked(false);
        clock.restart();
        login.reset();
        QVERIFY2(clock.elapsed() < 1000, qPrintable(QString::number(clock.elapsed())));
    }

private:
    QJsonObject sentLogin()
    {
        return QJsonDocument::fromJson(m_server.lastRequest("/api/desktop/login").value("body").toString().toUtf8()).object();
    }

    std::unique_ptr<FakeCredentialStore> m_store;
};

QTEST_MAIN(TestLoginPage)
#include "tst_LoginPage.moc"
