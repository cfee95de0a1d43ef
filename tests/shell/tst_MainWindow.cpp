#include "pages/profile/PublicProfilePage.h"
#include "support/DevServerSuite.h"
#include "support/SignedInClient.h"
#include "support/SignedInWindow.h"
#include "widgets/DisplayText.h"

#include <QElapsedTimer>
#include <QGraphicsProxyWidget>
#include <QGraphicsView>
#include <QJsonArray>
#include <QJsonDocument>
#include <QLabel>
#include <QStatusBar>
#include <QWebSocket>

using namespace shelltest;

namespace {

QStringList storedCookies()
{
    return QSettings(AppSettings::kOrganization, AppSettings::kApplication)
        .value(AppSettings::kSessionCookies)
        .toStringList();
}

// The widget of that name under root, also inside graphics scenes (the profile card lives in one).
template <typename T = QLabel>
T* find(QWidget* root, const QString& objectName)
{
    if (T* found = root->findChild<T*>(objectName))
        return found;
    for (QGraphicsView* view : root->findChildren<QGraphicsView*>())
        for (QGraphicsItem* item : view->items())
            if (auto* proxy = dynamic_cast<QGraphicsProxyWidget*>(item); proxy && proxy->widget())
                if (T* found = proxy->widget()->objectName() == objectName ? qobject_cast<T*>(proxy->widget())
                                                                           : find<T>(proxy->widget(), objectName))
                    return found;
    return nullptr;
}

template <typename T = QLabel>
T* widget(MainWindow& window, const char* objectName)
{
    T* found = find<T>(&window, QString::fromLatin1(objectName));
    if (!found)
        qFatal("no widget %s", objectName);
    return found;
}

QString text(MainWindow& window, const char* objectName) { return widget(window, objectName)->text(); }

QImage profileButtonPicture(MainWindow& window) { return widget<QPushButton>(window, "profileButton")->icon().pixmap(42, 42).toImage(); }

}  // namespace

class TestMainWindow : public DevServerSuite
{
    Q_OBJECT

private slots:
    void init()
    {
        clearSettings();
        QVERIFY(m_server.reset());
    }

    void loginNavigationAndLogout()
    {
        MainWindow window;
        window.show();
        QCOMPARE(window.windowTitle(), QStringLiteral("MoonLodge"));
        QCOMPARE(outerPage(window), QStringLiteral("loginPage"));
        QVERIFY(!window.statusBar()->isVisible());
        QCOMPARE(text(window, "homeUsernameLabel"), QStringLiteral("PLAYER"));
        QVERIFY(logIn(window, QStringLiteral("luna")));
        QCOMPARE(text(window, "navbarUsernameLabel"), QStringLiteral("luna"));
        for (const auto& [button, page] : QList<QPair<QString, QString>>{
                 {"Chat", "chatPage"}, {"Ideas", "ideasPage"}, {"Games", "gamesPage"}, {"Members", "membersPage"},
                 {"Home", "homeScrollArea"}}) {
            navButton(window, button)->click();
            QCOMPARE(innerPage(window), page);
        }
        widget<QPushButton>(window, "navbarProfileLink")->click();  // acts like the profile button
        QCOMPARE(innerPage(window), QStringLiteral("profilePage"));
        navButton(window, "Home")->click();
        auto* profileButton = widget<QPushButton>(window, "profileButton");
        QTRY_VERIFY(!profileButton->icon().isNull());  // downloaded from the server
        QVERIFY(!storedCookies().isEmpty());
        {
            MainWindow nextStart;  // the stored session signs in by itself
            QTRY_COMPARE(outerPage(nextStart), QStringLiteral("homePage"));
            QCOMPARE(text(nextStart, "homeUsernameLabel"), QStringLiteral("luna"));
            QVERIFY(!widget<QPushButton>(nextStart, "profileButton")->icon().isNull());  // a built-in avatar
        }

        profileButton->click();
        QTRY_COMPARE(text(window, "profileUsernameLabel"), QStringLiteral("luna"));
        QTest::keyClick(window.findChild<QWidget*>("profilePage"), Qt::Key_Escape);
        QCOMPARE(innerPage(window), QStringLiteral("homeScrollArea"));

        profileButton->click();
        widget<QPushButton>(window, "logoutButton")->click();
        QTRY_COMPARE(outerPage(window), QStringLiteral("loginPage"));
        QVERIFY(storedCookies().isEmpty());
        QVERIFY(widget<QPushButton>(window, "logoutButton")->isEnabled());
        QVERIFY(logIn(window, QStringLiteral("luna")));
        QCOMPARE(innerPage(window), QStringLiteral("profilePage"));  // as before the logout
    }

    // The server never answers the logout: the session ends within ten seconds all
    // the same, nothing reopens the channel meanwhile, and a late picture of the
    // member who left never reaches the next one's button.
    void logoutHandsNothingToTheNextMember()
    {
        MainWindow window;
        window.show();
        m_server.failNext(QStringLiteral("/static/avatars/cat.png"), {{"mode", "delay"}, {"delay_ms", 15000}});
        QElapsedTimer sinceLogin;
        sinceLogin.start();
        QVERIFY(logInToChat(window, QStringLiteral("luna")));
        QWebSocket* socket = window.findChild<RealtimeChannel*>()->socket();

        m_server.failNext(QStringLiteral("/logout"), {{"mode", "delay"}, {"delay_ms", 20000}});
        QElapsedTimer clock;
        clock.start();
        widget<QPushButton>(window, "profileButton")->click();
        widget<QPushButton>(window, "logoutButton")->click();
        QVERIFY(!widget<QPushButton>(window, "logoutButton")->isEnabled());
        navButton(window, "Chat")->click();
        QTest::qWait(300);
        QCOMPARE(socket->state(), QAbstractSocket::UnconnectedState);
        QTRY_COMPARE_WITH_TIMEOUT(outerPage(window), QStringLiteral("loginPage"), 12000);
        QVERIFY(clock.elapsed() >= 9000);
        QVERIFY(storedCookies().isEmpty());
        QCOMPARE(socket->state(), QAbstractSocket::UnconnectedState);
        QTRY_VERIFY(m_server.control("GET", QStringLiteral("/__test__/sockets")).value("sockets").toArray().isEmpty());

        QVERIFY(logIn(window, QStringLiteral("orion")));
        QTRY_VERIFY(!widget<QPushButton>(window, "profileButton")->icon().isNull());
        const QImage orionsPicture = profileButtonPicture(window);
        QVERIFY(sinceLogin.elapsed() < 14000);
        QTest::qWait(16000 - sinceLogin.elapsed());  // luna's picture arrives now, and is dropped
        QCOMPARE(profileButtonPicture(window), orionsPicture);
    }

    // The server goes away and comes back: the bar says so and the channel
    // returns by itself. A refused upgrade is given up at once and tried again.
    void theChannelComesBackByItself()
    {
        MainWindow window;
        window.show();
        m_server.failNext(QStringLiteral("/socket.io/"), {{"mode", "status"}, {"status", 403}});
        QElapsedTimer clock;
        clock.start();
        QVERIFY(logInToChat(window, QStringLiteral("luna")));
        QVERIFY2(clock.elapsed() < 5000, qPrintable(QString::number(clock.elapsed())));
        QCOMPARE(text(window, "navbarStatusLabel"), QStringLiteral("Online"));

        m_server.stop();
        QTRY_COMPARE(text(window, "navbarStatusLabel"), QStringLiteral("Reconnecting…"));
        const QString tip = widget(window, "navbarStatusLabel")->toolTip();
        QVERIFY2(tip.startsWith("Next attempt at") || tip == "Trying to reconnect now", qPrintable(tip));
        QVERIFY(m_server.restart());
        QTRY_VERIFY_WITH_TIMEOUT(window.findChild<RealtimeChannel*>()->isReady(), 8000);
        QCOMPARE(text(window, "navbarStatusLabel"), QStringLiteral("Online"));
    }

    // pixel is "Busy" and not connected: the bar keeps the status, the profile says Offline.
    void ownProfileShowsOfflineMarkupLiterallyAndFailures()
    {
        MainWindow window;
        window.show();
        QVERIFY(logIn(window, QStringLiteral("pixel")));
        widget<QPushButton>(window, "profileButton")->click();
        QCOMPARE(text(window, "profileUsernameLabel"), QStringLiteral("Loading profile..."));
        QTRY_COMPARE(text(window, "profileStatusLabel"), QStringLiteral("Offline"));
        QCOMPARE(text(window, "navbarStatusLabel"), QStringLiteral("Busy"));

        const QString hostile = QStringLiteral("<b>x</b><img src=x>");
        const QJsonObject user{{"username", "pixel"}, {"status", hostile}, {"description", hostile},
                               {"email", hostile},    {"member_since", hostile}, {"profile_image", "cat.png"}};
        cannedReply(m_server, "/api/desktop/profile", {{"success", true}, {"user", user}});
        widget<QPushButton>(window, "profileButton")->click();
        QTRY_COMPARE(text(window, "profileStatusLabel"), hostile);
        for (const char* name : {"profileStatusLabel", "profileDescriptionLabel", "profileDetailLabel",
                                 "profileMemberSinceLabel", "navbarStatusLabel"}) {
            QVERIFY2(text(window, name).contains(hostile), name);
            QCOMPARE(widget(window, name)->textFormat(), Qt::PlainText);
        }
        for (const auto& [failure, title, detail] : QList<std::tuple<QJsonObject, QString, QString>>{
                 {{{"mode", "status"}, {"status", 200}, {"body", R"({"success":false})"}}, "Unable to load profile",
                  "Unknown server error."},
                 {{{"mode", "invalid_json"}}, "Invalid server response", "The profile data could not be read."}}) {
            m_server.failNext(QStringLiteral("/api/desktop/profile"), failure);
            widget<QPushButton>(window, "profileButton")->click();
            QTRY_COMPARE(text(window, "profileUsernameLabel"), title);
            QCOMPARE(text(window, "profileDescriptionLabel"), detail);
        }
    }

    // A hostile server's 100 KB strings: every view shows at most a screenful
    // of them, quickly, and the full name only in a capped tool tip.
    void longServerStringsStayBounded()
    {
        MainWindow window;
        window.show();
        const QString huge(100 * 1024, QChar(u'W'));
        const QJsonObject user{{"username", huge}, {"status", huge}, {"description", huge}, {"email", huge},
                               {"member_since", huge}, {"profile_image", "cat.png"}};
        cannedReply(m_server, "/api/desktop/login", {{"success", true}, {"user", user}});
        QVERIFY(logIn(window, QStringLiteral("luna")));
        QVERIFY(widget(window, "homeUsernameLabel")->sizeHint().width() < window.width());

        QElapsedTimer clock;
        clock.start();
        cannedReply(m_server, "/api/desktop/profile", {{"success", true}, {"user", user}});
        widget<QPushButton>(window, "profileButton")->click();
        QTRY_VERIFY(text(window, "profileUsernameLabel").startsWith("WWW"));
        window.grab();
        cannedReply(m_server, "/api/desktop/users/luna", {{"success", true}, {"user", user}});
        window.findChild<PublicProfilePage*>()->openProfile(QStringLiteral("luna"));
        QTRY_VERIFY(text(window, "publicProfileName").startsWith("WWW"));
        window.grab();
        QVERIFY2(clock.elapsed() < 3000, qPrintable(QString::number(clock.elapsed())));
        for (QLabel* shown : window.findChildren<QLabel*>()) {
            QVERIFY2(shown->text().size() <= DisplayText::kLongTextLength + 64, qPrintable(shown->objectName()));
            QVERIFY2(shown->toolTip().size() <= DisplayText::kToolTipLength, qPrintable(shown->objectName()));
        }
        QCOMPARE(text(window, "profileUsernameLabel").size(), DisplayText::kNameLength);
    }
};

QTEST_MAIN(TestMainWindow)
#include "tst_MainWindow.moc"
