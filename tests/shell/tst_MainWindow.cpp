#include "app/AppSettings.h"
#include "shell/MainWindow.h"
#include "shell/ResponsiveFeaturesWidget.h"
#include "support/DevServer.h"
#include "support/WidgetLookup.h"

#include <QGridLayout>
#include <QJsonDocument>
#include <QLineEdit>
#include <QLabel>
#include <QPushButton>
#include <QSettings>
#include <QSignalSpy>
#include <QStackedWidget>
#include <QStatusBar>
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
        const QString hostile = QStringLiteral("<b>x</b><img src=file:///etc/passwd>");
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
