#include "app/AppSettings.h"
#include "shell/MainWindow.h"
#include "shell/ResponsiveFeaturesWidget.h"
#include "support/DevServer.h"

#include <QGridLayout>
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
};

QTEST_MAIN(TestMainWindow)
#include "tst_MainWindow.moc"
