#include "session/AppSettings.h"
#include "pages/profile/PublicProfilePage.h"
#include "realtime/RealtimeChannel.h"
#include "shell/MainWindow.h"
#include "widgets/DisplayText.h"
#include "shell/ResponsiveFeaturesWidget.h"
#include "support/DevServer.h"
#include "support/WidgetLookup.h"

#include <QElapsedTimer>
#include <QGridLayout>
#include <QJsonArray>
#include <QJsonDocument>
#include <QLineEdit>
#include <QLabel>
#include <QPushButton>
#include <QSettings>
#include <QSignalSpy>
#include <QStackedWidget>
#include <QStatusBar>
#include <QWebSocket>
#include <QtTest>

namespace {

QStackedWidget* outerStack(MainWindow& window)
{
    return qobject_cast<QStackedWidget*>(window.findChild<QWidget*>("loginPage")->parentWidget());
}

QStackedWidget* innerStack(MainWindow& window)
{
    return qobject_cast<QStackedWidget*>(window.findChild<QWidget*>("profilePage")->parentWidget());
}

QPushButton* navButton(MainWindow& window, const QString& text)
{
    for (QPushButton* button : window.findChildren<QPushButton*>("navButton"))
        if (button->text() == text)
            return button;
    return nullptr;
}

QStringList storedCookies()
{
    return QSettings(AppSettings::kOrganization, AppSettings::kApplication)
        .value(AppSettings::kSessionCookies)
        .toStringList();
}

void logIn(MainWindow& window, const QString& userName)
{
    window.findChild<QLineEdit*>("loginUsernameField")->setText(userName);
    window.findChild<QLineEdit*>("loginPasswordField")->setText(QStringLiteral("moonlodge"));
    window.findChild<QPushButton*>("loginButton")->click();
    QTRY_COMPARE(outerStack(window)->currentWidget()->objectName(), QStringLiteral("homePage"));
}

QLabel* label(MainWindow& window, const char* objectName)
{
    QLabel* found = findWidget<QLabel>(&window, QString::fromLatin1(objectName));
    if (!found)
        qFatal("no label %s", objectName);
    return found;
}

QString labelText(MainWindow& window, const char* objectName)
{
    return label(window, objectName)->text();
}

QPushButton* button(MainWindow& window, const char* objectName)
{
    QPushButton* found = findWidget<QPushButton>(&window, QString::fromLatin1(objectName));
    if (!found)
        qFatal("no button %s", objectName);
    return found;
}

// The next reply of the route is this canned JSON object.
void cannedReply(DevServer& server, const QString& path, const QJsonObject& body)
{
    server.failNext(path, {{"mode", "status"}, {"status", 200}, {"content_type", "application/json"},
                           {"body", QString::fromUtf8(QJsonDocument(body).toJson(QJsonDocument::Compact))}});
}

QImage profileButtonPicture(MainWindow& window)
{
    return window.findChild<QPushButton*>("profileButton")->icon().pixmap(42, 42).toImage();
}

QPoint gridPosition(QGridLayout* grid, int index)
{
    int row = 0, column = 0, rowSpan = 0, columnSpan = 0;
    grid->getItemPosition(index, &row, &column, &rowSpan, &columnSpan);
    return {column, row};
}

}  // namespace

class TestMainWindow : public QObject
{
    Q_OBJECT

private slots:
    void init()
    {
        QSettings(AppSettings::kOrganization, AppSettings::kApplication).clear();
        qputenv("MOONLODGE_BASE_URL", "http://127.0.0.1:9");  // nothing listens: the session check fails
    }

    void startsOnTheLoginPageWithPagesInNavigationOrder()
    {
        MainWindow window;
        window.show();
        QCOMPARE(window.windowTitle(), QStringLiteral("MoonLodge"));
        QCOMPARE(window.minimumSize(), QSize(900, 600));
        QCOMPARE(outerStack(window)->currentWidget()->objectName(), QStringLiteral("loginPage"));
        QCOMPARE(outerStack(window)->widget(1)->objectName(), QStringLiteral("homePage"));

        const QStringList expected{"homeScrollArea", "avatarSelectionPage", "profilePage", "chatPage",
                                   "ideasPage",      "gamesPage",           "membersPage", "publicProfilePage"};
        QStackedWidget* inner = innerStack(window);
        QStringList actual;
        for (int index = 0; index < inner->count(); ++index)
            actual << inner->widget(index)->objectName();
        QCOMPARE(actual, expected);
        QCOMPARE(inner->currentIndex(), 0);

        QVERIFY(!window.statusBar()->isVisible());
        QCOMPARE(window.findChild<QLabel*>("navbarUsernameLabel")->text(), QStringLiteral("Profile"));
        QCOMPARE(window.findChild<QLabel*>("navbarStatusLabel")->text(), QStringLiteral("Online"));
        QCOMPARE(window.findChild<QLabel*>("homeUsernameLabel")->text(), QStringLiteral("PLAYER"));
    }

    void navigationButtonsSwitchTheInnerPage()
    {
        MainWindow window;
        window.show();
        QStackedWidget* inner = innerStack(window);
        const QList<QPair<QString, QString>> routes{
            {"Chat", "chatPage"}, {"Ideas", "ideasPage"}, {"Games", "gamesPage"},
            {"Members", "membersPage"}, {"Home", "homeScrollArea"}};
        for (const auto& [text, page] : routes) {
            navButton(window, text)->click();
            QCOMPARE(inner->currentWidget()->objectName(), page);
        }
    }

    void profileLinkActsLikeTheProfileButton()
    {
        MainWindow window;
        window.show();
        auto* profileButton = window.findChild<QPushButton*>("profileButton");
        QSignalSpy clicks(profileButton, &QPushButton::clicked);
        window.findChild<QPushButton*>("navbarProfileLink")->click();
        QCOMPARE(clicks.count(), 1);
        QCOMPARE(innerStack(window)->currentWidget()->objectName(), QStringLiteral("profilePage"));
    }

    void featureGridHasFourColumnsFrom950Pixels()
    {
        ResponsiveFeaturesWidget grid;
        for (int index = 0; index < 4; ++index)
            grid.addFeatureCard(new QWidget);
        auto* layout = qobject_cast<QGridLayout*>(grid.layout());
        grid.show();

        grid.resize(949, 400);
        QTRY_COMPARE(grid.columnCount(), 2);
        QCOMPARE(gridPosition(layout, 3), QPoint(1, 1));
        QLayoutItem* narrowItem = layout->itemAt(0);
        grid.resize(700, 400);
        QTest::qWait(0);
        QCOMPARE(layout->itemAt(0), narrowItem);  // same range: the grid was not rebuilt

        grid.resize(950, 400);
        QTRY_COMPARE(grid.columnCount(), 4);
        for (int index = 0; index < 4; ++index)
            QCOMPARE(gridPosition(layout, index), QPoint(index, 0));
        QLayoutItem* wideItem = layout->itemAt(0);
        grid.resize(1400, 400);
        QTest::qWait(0);
        QCOMPARE(layout->itemAt(0), wideItem);
    }

    void validStoredSessionOpensTheSignedInPage()
    {
        DevServer server;
        QVERIFY(server.start());
        const QByteArray cookie = server.sessionFor(QStringLiteral("luna")).value("cookie").toString().toLatin1();
        QNetworkCookie stored = QNetworkCookie::parseCookies(cookie).value(0);
        stored.setDomain(server.url().host());
        stored.setPath(QStringLiteral("/"));
        QSettings(AppSettings::kOrganization, AppSettings::kApplication)
            .setValue(AppSettings::kSessionCookies,
                      QStringList{QString::fromLatin1(stored.toRawForm(QNetworkCookie::Full).toBase64())});

        MainWindow window;
        window.show();
        QCOMPARE(outerStack(window)->currentWidget()->objectName(), QStringLiteral("loginPage"));
        QTRY_COMPARE(outerStack(window)->currentWidget()->objectName(), QStringLiteral("homePage"));
        QCOMPARE(window.findChild<QLabel*>("navbarUsernameLabel")->text(), QStringLiteral("luna"));
        QCOMPARE(window.findChild<QLabel*>("homeUsernameLabel")->text(), QStringLiteral("luna"));
        auto* profileButton = window.findChild<QPushButton*>("profileButton");
        QVERIFY(!profileButton->icon().isNull());  // luna's avatar is a built-in one
        QVERIFY(profileButton->text().isEmpty());
    }

    void loginShowsTheMemberAndLogoutForgetsTheSession()
    {
        DevServer server;
        QVERIFY(server.start());
        MainWindow window;
        window.show();
        logIn(window, QStringLiteral("luna"));
        QCOMPARE(labelText(window, "navbarUsernameLabel"), QStringLiteral("luna"));
        QCOMPARE(labelText(window, "homeUsernameLabel"), QStringLiteral("luna"));
        QCOMPARE(innerStack(window)->currentWidget()->objectName(), QStringLiteral("homeScrollArea"));
        auto* profileButton = window.findChild<QPushButton*>("profileButton");
        QTRY_VERIFY(!profileButton->icon().isNull());  // downloaded from the server
        QVERIFY(!storedCookies().isEmpty());
        QVERIFY(window.findChild<QLineEdit*>("loginPasswordField")->text().isEmpty());

        profileButton->click();
        QTRY_COMPARE(labelText(window, "profileUsernameLabel"), QStringLiteral("luna"));
        QTest::keyClick(window.findChild<QWidget*>("profilePage"), Qt::Key_Escape);
        QCOMPARE(innerStack(window)->currentWidget()->objectName(), QStringLiteral("homeScrollArea"));

        profileButton->click();
        button(window, "logoutButton")->click();
        QTRY_COMPARE(outerStack(window)->currentWidget()->objectName(), QStringLiteral("loginPage"));
        QVERIFY(storedCookies().isEmpty());
        QVERIFY(button(window, "logoutButton")->isEnabled());
        QCOMPARE(window.findChild<QPushButton*>("loginButton")->text(), QStringLiteral("ENTER MOONLODGE ✦"));

        // Logging in again returns to the page shown before the logout.
        logIn(window, QStringLiteral("luna"));
        QCOMPARE(innerStack(window)->currentWidget()->objectName(), QStringLiteral("profilePage"));
    }

    void logoutReturnsWithinTenSecondsWhenTheServerIsSilent()
    {
        DevServer server;
        QVERIFY(server.start());
        MainWindow window;
        window.show();
        logIn(window, QStringLiteral("luna"));
        server.failNext(QStringLiteral("/logout"), {{"mode", "delay"}, {"delay_ms", 20000}});
        QElapsedTimer clock;
        clock.start();
        button(window, "logoutButton")->click();
        QVERIFY(!button(window, "logoutButton")->isEnabled());
        QTRY_COMPARE_WITH_TIMEOUT(outerStack(window)->currentWidget()->objectName(), QStringLiteral("loginPage"),
                                  12000);
        QVERIFY(clock.elapsed() >= 9000);
        QVERIFY(storedCookies().isEmpty());
    }

    void ownProfileShowsOfflineWhileTheBarKeepsTheStatus()
    {
        DevServer server;
        QVERIFY(server.start());
        MainWindow window;
        window.show();
        logIn(window, QStringLiteral("pixel"));  // "Busy", and not connected to the real-time channel
        QCOMPARE(labelText(window, "navbarStatusLabel"), QStringLiteral("Busy"));
        window.findChild<QPushButton*>("profileButton")->click();
        QCOMPARE(labelText(window, "profileUsernameLabel"), QStringLiteral("Loading profile..."));
        QTRY_COMPARE(labelText(window, "profileStatusLabel"), QStringLiteral("Offline"));
        QCOMPARE(labelText(window, "navbarStatusLabel"), QStringLiteral("Busy"));
        QVERIFY(label(window, "profileStatusLabel")->styleSheet().contains("#81798d"));
    }

    void serverMarkupShowsLiterally()
    {
        DevServer server;
        QVERIFY(server.start());
        MainWindow window;
        window.show();
        logIn(window, QStringLiteral("luna"));
        const QString hostile = QStringLiteral("<b>x</b><img src=x>");
        QJsonObject user{{"username", "luna"}, {"status", hostile}, {"description", hostile}, {"email", hostile},
                         {"member_since", hostile}, {"profile_image", "cat.png"}};
        server.failNext(QStringLiteral("/api/desktop/profile"),
                        {{"mode", "status"}, {"status", 200}, {"content_type", "application/json"},
                         {"body", QString::fromUtf8(QJsonDocument(QJsonObject{{"success", true}, {"user", user}})
                                                        .toJson(QJsonDocument::Compact))}});
        button(window, "profileButton")->click();
        QTRY_COMPARE(labelText(window, "profileStatusLabel"), hostile);
        for (const char* name : {"profileStatusLabel", "profileDescriptionLabel", "profileDetailLabel",
                                 "profileMemberSinceLabel", "navbarStatusLabel"}) {
            QVERIFY2(label(window, name)->text().contains(hostile), name);
            QCOMPARE(label(window, name)->textFormat(), Qt::PlainText);
        }
    }

    // A hostile server's 100 KB strings: every view shows at most a screenful
    // of them, quickly, and the full name only in a capped tool tip.
    void longServerStringsStayBounded()
    {
        DevServer server;
        QVERIFY(server.start());
        MainWindow window;
        window.show();
        const QString huge(100 * 1024, QChar(u'W'));
        const QJsonObject user{{"username", huge}, {"status", huge}, {"description", huge}, {"email", huge},
                               {"member_since", huge}, {"profile_image", "cat.png"}};
        cannedReply(server, "/api/desktop/login", {{"success", true}, {"user", user}});
        logIn(window, QStringLiteral("luna"));
        QVERIFY(label(window, "homeUsernameLabel")->sizeHint().width() < window.width());

        QElapsedTimer clock;
        clock.start();
        cannedReply(server, "/api/desktop/profile", {{"success", true}, {"user", user}});
        button(window, "profileButton")->click();
        QTRY_VERIFY(labelText(window, "profileUsernameLabel").startsWith("WWW"));
        window.grab();
        cannedReply(server, "/api/desktop/users/luna", {{"success", true}, {"user", user}});
        window.findChild<PublicProfilePage*>()->openProfile(QStringLiteral("luna"));
        QTRY_VERIFY(labelText(window, "publicProfileName").startsWith("WWW"));
        window.grab();
        QVERIFY2(clock.elapsed() < 3000, qPrintable(QString::number(clock.elapsed())));

        for (QLabel* shown : window.findChildren<QLabel*>()) {
            QVERIFY2(shown->text().size() <= DisplayText::kLongTextLength + 64, qPrintable(shown->objectName()));
            QVERIFY2(shown->toolTip().size() <= DisplayText::kToolTipLength, qPrintable(shown->objectName()));
        }
        QCOMPARE(labelText(window, "profileUsernameLabel").size(), DisplayText::kNameLength);
        QCOMPARE(label(window, "profileUsernameLabel")->toolTip().size(), DisplayText::kToolTipLength);
    }

    // Logging out while the server is slow: nothing reopens the channel meanwhile,
    // and a picture of the member who left never reaches the next one's button.
    void logoutHandsNothingToTheNextMember()
    {
        DevServer server;
        QVERIFY(server.start());
        MainWindow window;
        window.show();
        server.failNext(QStringLiteral("/static/avatars/cat.png"), {{"mode", "delay"}, {"delay_ms", 2500}});
        logIn(window, QStringLiteral("luna"));
        auto* channel = window.findChild<RealtimeChannel*>();
        navButton(window, "Chat")->click();
        QTRY_VERIFY(channel->isReady());

        server.failNext(QStringLiteral("/logout"), {{"mode", "delay"}, {"delay_ms", 1000}});
        button(window, "profileButton")->click();
        button(window, "logoutButton")->click();
        navButton(window, "Chat")->click();
        QTest::qWait(300);
        QCOMPARE(channel->socket()->state(), QAbstractSocket::UnconnectedState);
        QTRY_COMPARE(outerStack(window)->currentWidget()->objectName(), QStringLiteral("loginPage"));
        QCOMPARE(channel->socket()->state(), QAbstractSocket::UnconnectedState);
        QTRY_VERIFY(server.control("GET", QStringLiteral("/__test__/sockets")).value("sockets").toArray().isEmpty());

        logIn(window, QStringLiteral("orion"));
        QTRY_VERIFY(!window.findChild<QPushButton*>("profileButton")->icon().isNull());
        const QImage orionsPicture = profileButtonPicture(window);
        QTest::qWait(2500);  // luna's picture arrives now, and is dropped
        QCOMPARE(profileButtonPicture(window), orionsPicture);
    }

    // The server goes away and comes back: the bar says so, a message typed
    // meanwhile is kept, and the channel returns by itself. A refused upgrade
    // is given up at once and tried again.
    void theChannelComesBackByItself()
    {
        DevServer server;
        QVERIFY(server.start());
        MainWindow window;
        window.show();
        logIn(window, QStringLiteral("luna"));
        auto* channel = window.findChild<RealtimeChannel*>();
        server.failNext(QStringLiteral("/socket.io/"), {{"mode", "status"}, {"status", 403}});
        QElapsedTimer clock;
        clock.start();
        navButton(window, "Chat")->click();
        QTRY_VERIFY_WITH_TIMEOUT(channel->isReady(), 5000);
        QVERIFY2(clock.elapsed() < 4000, qPrintable(QString::number(clock.elapsed())));
        QCOMPARE(labelText(window, "navbarStatusLabel"), QStringLiteral("Online"));

        server.stop();
        QTRY_COMPARE(labelText(window, "navbarStatusLabel"), QStringLiteral("Reconnecting…"));
        QVERIFY(label(window, "navbarStatusLabel")->toolTip().startsWith("Next attempt at")
                || label(window, "navbarStatusLabel")->toolTip() == "Trying to reconnect now");
        auto* input = window.findChild<QLineEdit*>("chatMessageInput");
        input->setText(QStringLiteral("still here"));
        window.findChild<QPushButton*>("chatSendButton")->click();
        QCOMPARE(input->text(), QStringLiteral("still here"));
        QVERIFY(label(window, "chatSendNotice")->isVisible());

        QVERIFY(server.restart());
        QTRY_VERIFY_WITH_TIMEOUT(channel->isReady(), 8000);
        QCOMPARE(labelText(window, "navbarStatusLabel"), QStringLiteral("Online"));
        QVERIFY(!label(window, "chatSendNotice")->isVisible());
        window.findChild<QPushButton*>("chatSendButton")->click();
        QVERIFY(input->text().isEmpty());
        QVERIFY(!label(window, "chatSendNotice")->isVisible());
    }

    void ownProfileFailuresShowInThePage_data()
    {
        QTest::addColumn<QJsonObject>("failure");
        QTest::addColumn<QString>("title");
        QTest::addColumn<QString>("detail");
        QTest::newRow("refused") << QJsonObject{{"mode", "status"}, {"status", 200}, {"body", R"({"success":false})"}}
                                 << "Unable to load profile" << "Unknown server error.";
        QTest::newRow("not json") << QJsonObject{{"mode", "invalid_json"}} << "Invalid server response"
                                  << "The profile data could not be read.";
    }

    void ownProfileFailuresShowInThePage()
    {
        QFETCH(QJsonObject, failure);
        QFETCH(QString, title);
        QFETCH(QString, detail);
        DevServer server;
        QVERIFY(server.start());
        MainWindow window;
        window.show();
        logIn(window, QStringLiteral("luna"));
        server.failNext(QStringLiteral("/api/desktop/profile"), failure);
        window.findChild<QPushButton*>("profileButton")->click();
        QTRY_COMPARE(labelText(window, "profileUsernameLabel"), title);
        QCOMPARE(labelText(window, "profileDescriptionLabel"), detail);
    }
};

QTEST_MAIN(TestMainWindow)
#include "tst_MainWindow.moc"
