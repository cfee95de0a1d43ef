#include "pages/games/GamesPage.h"
#include "session/AvatarCache.h"
#include "widgets/KeyedListModel.h"
#include "widgets/WindowedRows.h"
#include "session/ServerEndpoints.h"
#include "support/DevServer.h"
#include "pages/games/NebuliteZoomImage.h"
#include "pages/games/ProfileScoreGlow.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QLabel>
#include <QNetworkAccessManager>
#include <QNetworkCookie>
#include <QNetworkCookieJar>
#include <QPushButton>
#include <QScrollArea>
#include <QScrollBar>
#include <QStackedWidget>
#include <QTimer>
#include <QtTest>

#include <algorithm>
#include <memory>

namespace {

const QString kLeaderboardPath = QStringLiteral("/api/desktop/games/leaderboard");

QJsonObject cannedReply(const QJsonObject& body)
{
    return {{"mode", "status"}, {"status", 200}, {"content_type", "application/json"},
            {"body", QString::fromUtf8(QJsonDocument(body).toJson(QJsonDocument::Compact))}};
}

QString childText(QWidget* row, const char* name)
{
    QLabel* label = row->findChild<QLabel*>(QString::fromLatin1(name));
    return label ? label->text() : QString();
}

}  // namespace

class TestGamesPage : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { QVERIFY(m_server.start()); }

    void init()
    {
        QVERIFY(m_server.reset());
        const QJsonObject session = m_server.sessionFor(QStringLiteral("luna"));
        m_network = std::make_unique<QNetworkAccessManager>();
        auto* jar = new QNetworkCookieJar(m_network.get());
        QNetworkCookie cookie = QNetworkCookie::parseCookies(session.value("cookie").toString().toUtf8()).value(0);
        cookie.setDomain(m_server.url().host());
        cookie.setPath(QStringLiteral("/"));
        jar->insertCookie(cookie);
        m_network->setCookieJar(jar);

        m_stack = std::make_unique<QStackedWidget>();
        m_stack->resize(1000, 520);
        m_otherPage = new QWidget(m_stack.get());
        m_stack->addWidget(m_otherPage);
        m_page = new GamesPage(m_network.get(), m_stack.get());
        m_stack->addWidget(m_page);
        m_stack->setCurrentWidget(m_otherPage);
        m_stack->show();
        AvatarCache::instance()->clear();
    }

    void cleanup()
    {
        m_stack.reset();
        m_network.reset();
    }

    void gameCardShowsTheImageAndOpensTheDownloadPage()
    {
        QList<QUrl> opened;
        m_page->setUrlOpener([&opened](const QUrl& url) { opened.append(url); });
        QTRY_VERIFY_WITH_TIMEOUT(!m_page->gameImage()->image().isNull(), 5000);
        const QSize imageSize = m_page->gameImage()->image().size();
        QVERIFY(imageSize.width() <= 540 && imageSize.height() <= 200);
        QVERIFY(imageSize.width() == 540 || imageSize.height() == 200);

        m_page->playButton()->click();
        QCOMPARE(opened, QList<QUrl>{QUrl(ServerEndpoints::baseUrl() + QStringLiteral("/download/nebulite"))});
        QVERIFY(m_page->refreshTimer()->isActive());
    }

    void fromTheProfileTheOwnRowGlowsAndIsScrolledToOnce()
    {
        m_page->setProperty("openNebuliteFromProfile", true);
        m_page->openGamesPage();
        QCOMPARE(m_stack->currentWidget(), m_page);
        QCOMPARE(m_page->property("openNebuliteFromProfile").toBool(), false);
        QCOMPARE(m_page->property("highlightMyScore").toBool(), true);
        QTRY_COMPARE_WITH_TIMEOUT(rows().size(), 7, 5000);
        QVERIFY(m_page->statusLabel()->isHidden());

        // Medals for the first three, numbers after; scores as sent.
        QStringList places, names, scores;
        for (QWidget* row : rows()) {
            places << childText(row, "gamesLeaderboardPlace");
            names << childText(row, "gamesLeaderboardName");
            scores << childText(row, "gamesLeaderboardScore");
        }
        QCOMPARE(places, (QStringList{"🥇", "🥈", "🥉", "4", "5", "6", "7"}));
        QCOMPARE(names.at(0), QStringLiteral("Zoë Star"));
        QCOMPARE(scores.at(0), QStringLiteral("24780"));

        QWidget* own = rows().at(names.indexOf("luna"));
        QVERIFY(own->styleSheet().contains(QStringLiteral("border: 1px solid #ff1493")));
        QCOMPARE(childText(own, "nebuliteYouBadge"), QStringLiteral("YOU"));
        QVERIFY(qobject_cast<ProfileScoreGlow*>(own->parentWidget())->isGlowing());
        QCOMPARE(m_page->findChildren<QLabel*>("nebuliteYouBadge").size(), 1);
        QWidget* other = rows().at(0);
        QVERIFY(other->styleSheet().contains(QStringLiteral("border: 1px solid rgba(167, 139, 250, 26)")));
        QVERIFY(!qobject_cast<ProfileScoreGlow*>(other->parentWidget())->isGlowing());
        QTRY_VERIFY_WITH_TIMEOUT(!rows().at(0)->findChild<QLabel*>("gamesLeaderboardAvatar")->pixmap().isNull(), 5000);

        QScrollBar* bar = m_page->scrollArea()->verticalScrollBar();
        QTRY_VERIFY_WITH_TIMEOUT(bar->value() > 0, 8000);
        const int y = own->mapTo(m_page->scrollArea()->widget(), QPoint()).y();
        QCOMPARE(bar->value(), std::min(y - 20, bar->maximum()));

        // The 15-second refresh with unchanged data rebuilds nothing and does not scroll again.
        bar->setValue(0);
        const QList<QPointer<QWidget>> before = guarded(rows());
        m_server.clearRequests();
        m_page->refreshTick();
        QTRY_COMPARE_WITH_TIMEOUT(leaderboardRequests(), 1, 5000);
        QTRY_VERIFY_WITH_TIMEOUT(!m_page->leaderboardInFlight(), 5000);
        QTest::qWait(250);
        QCOMPARE(guarded(rows()), before);
        QVERIFY(!before.contains(nullptr));
        QCOMPARE(bar->value(), 0);

        // A new score rebuilds the rows, still highlighted, without scrolling.
        m_server.control("POST", "/__test__/score", {{"username", "stella"}, {"score", 30000}});
        m_page->refreshTick();
        QTRY_COMPARE_WITH_TIMEOUT(childText(rows().at(0), "gamesLeaderboardName"), QStringLiteral("stella"), 5000);
        QVERIFY(before.first().isNull());
        QCOMPARE(m_page->findChildren<QLabel*>("nebuliteYouBadge").size(), 1);
        QTest::qWait(250);
        QCOMPARE(bar->value(), 0);

        // Through the bar: violet border, no badge, no scroll.
        m_page->clearProfileIntent();
        m_page->openGamesPage();
        QTRY_COMPARE_WITH_TIMEOUT(m_page->findChildren<QLabel*>("nebuliteYouBadge").size(), 0, 5000);
        own = nullptr;
        for (QWidget* row : rows())
            if (childText(row, "gamesLeaderboardName") == QLatin1String("luna"))
                own = row;
        QVERIFY(own);
        QVERIFY(own->styleSheet().contains(QStringLiteral("border: 1px solid rgba(167, 139, 250, 89)")));
        QVERIFY(own->styleSheet().contains(QStringLiteral("rgba(124, 58, 237, 26)")));
        QVERIFY(!qobject_cast<ProfileScoreGlow*>(own->parentWidget())->isGlowing());
        QTest::qWait(250);
        QCOMPARE(bar->value(), 0);
    }

    void rowsFollowTheReplyWhateverItsValues()
    {
        const QJsonArray board{
            QJsonObject{{"username", ""}, {"profile_image", ""}, {"best_score", 1}},
            QJsonObject{{"username", "<b>bold</b>"}, {"profile_image", "comet.png"}, {"best_score", "98765"}},
            QJsonObject{{"username", "third"}, {"profile_image", "../logout"}, {"best_score", "lots"}},
            QJsonObject{{"username", "fourth"}, {"best_score", 5000000000LL}},
            QJsonObject{{"username", "fifth"}, {"best_score", 2}}};
        m_page->setProperty("openNebuliteFromProfile", true);
        m_server.failNext(kLeaderboardPath, cannedReply({{"success", true}, {"username", ""}, {"leaderboard", board}}));
        m_page->openGamesPage();
        QTRY_COMPARE_WITH_TIMEOUT(rows().size(), 5, 5000);

        QStringList places, scores;
        for (QWidget* row : rows()) {
            places << childText(row, "gamesLeaderboardPlace");
            scores << childText(row, "gamesLeaderboardScore");
            for (QLabel* label : row->findChildren<QLabel*>())
                QCOMPARE(label->textFormat(), Qt::PlainText);
        }
        QCOMPARE(places, (QStringList{"🥇", "🥈", "🥉", "4", "5"}));
        QCOMPARE(scores, (QStringList{"1", "98765", "0", "5000000000", "2"}));
        QCOMPARE(childText(rows().at(1), "gamesLeaderboardName"), QStringLiteral("<b>bold</b>"));
        // Empty names on both sides are not the member.
        QCOMPARE(m_page->findChildren<QLabel*>("nebuliteYouBadge").size(), 0);
        QVERIFY(rows().at(0)->styleSheet().contains(QStringLiteral("rgba(255, 255, 255, 6)")));
        // The server-only avatar is downloaded; the bad name never reaches another route.
        QTRY_VERIFY_WITH_TIMEOUT(!rows().at(1)->findChild<QLabel*>("gamesLeaderboardAvatar")->pixmap().isNull(), 5000);
        QCOMPARE(childText(rows().at(2), "gamesLeaderboardAvatar"), QStringLiteral("👤"));
        QVERIFY(m_server.lastRequest("/logout").isEmpty());

        // An empty board: no rows and "No scores yet.".
        m_server.failNext(kLeaderboardPath, cannedReply({{"success", true}, {"username", "luna"}, {"leaderboard", QJsonArray()}}));
        m_page->openGamesPage();
        QTRY_COMPARE_WITH_TIMEOUT(rows().size(), 0, 5000);
        QCOMPARE(m_page->statusLabel()->text(), QStringLiteral("No scores yet."));
        QVERIFY(m_page->statusLabel()->isVisible());
    }

    void aLongBoardBuildsOnlyTheRowsInViewAndSharesAvatars()
    {
        QJsonArray board;
        for (int i = 0; i < 5000; ++i)
            board.append(QJsonObject{{"username", i == 1 ? QString(100000, QLatin1Char('n')) : QStringLiteral("p%1").arg(i)},
                                     {"profile_image", "comet.png"}, {"best_score", 5000 - i}});
        m_server.failNext(kLeaderboardPath, cannedReply({{"success", true}, {"username", "p3"}, {"leaderboard", board}}));
        m_page->openGamesPage();
        QTRY_COMPARE_WITH_TIMEOUT(m_page->leaderboardModel()->rowCount(), 5000, 20000);
        QVERIFY(m_page->leaderboardRows()->builtCount() < 80);
        QVERIFY(childText(rows().at(1), "gamesLeaderboardName").size() <= 64);

        QTRY_COMPARE(requestsFor(QStringLiteral("/static/avatars/comet.png")), 1);
    }

    void loadsDoNotOverlapAndFailuresKeepTheRows()
    {
        // In the background (another page shown) a load still runs; any number of
        // triggers meanwhile lead to exactly one more load after it.
        m_server.clearRequests();
        m_page->reloadLeaderboard();
        QVERIFY(m_page->leaderboardInFlight());
        for (int i = 0; i < 50; ++i)
            m_page->reloadLeaderboard();
        QTRY_COMPARE_WITH_TIMEOUT(rows().size(), 7, 5000);
        QTRY_COMPARE_WITH_TIMEOUT(leaderboardRequests(), 2, 5000);
        QTRY_VERIFY_WITH_TIMEOUT(!m_page->leaderboardInFlight(), 5000);
        QTest::qWait(700);
        QCOMPARE(leaderboardRequests(), 2);

        // The timer's tick does nothing while the page is hidden.
        m_server.clearRequests();
        m_page->refreshTick();
        QVERIFY(!m_page->leaderboardInFlight());
        QTest::qWait(100);
        QCOMPARE(leaderboardRequests(), 0);

        const QList<QPointer<QWidget>> before = guarded(rows());
        for (const QJsonObject& failure : {QJsonObject{{"mode", "status"}, {"status", 500}},
                                           QJsonObject{{"mode", "invalid_json"}},
                                           cannedReply({{"success", false}}),
                                           cannedReply({{"success", true}, {"leaderboard", "nope"}})}) {
            m_page->statusLabel()->hide();
            m_server.failNext(kLeaderboardPath, failure);
            m_page->reloadLeaderboard();
            QTRY_VERIFY_WITH_TIMEOUT(!m_page->statusLabel()->isHidden(), 5000);
            QTRY_VERIFY_WITH_TIMEOUT(!m_page->leaderboardInFlight(), 5000);
            QCOMPARE(m_page->statusLabel()->text(), QStringLiteral("Unable to update leaderboard."));
            QTest::qWait(20);
            QCOMPARE(guarded(rows()), before);
        }

        // The next good reply matches what is shown: the status line goes, the rows stay.
        m_page->reloadLeaderboard();
        QTRY_VERIFY_WITH_TIMEOUT(m_page->statusLabel()->isHidden(), 5000);
        QTRY_VERIFY_WITH_TIMEOUT(!m_page->leaderboardInFlight(), 5000);
        QCOMPARE(guarded(rows()), before);
    }

private:
    int requestsFor(const QString& path)
    {
        const QJsonArray all = m_server.requests();
        return int(std::count_if(all.begin(), all.end(), [&](const QJsonValue& request) {
            return request.toObject().value("path").toString() == path;
        }));
    }

    int leaderboardRequests()
    {
        const QJsonArray all = m_server.requests();
        return int(std::count_if(all.begin(), all.end(), [](const QJsonValue& request) {
            return request.toObject().value("path").toString() == kLeaderboardPath;
        }));
    }

    QList<QWidget*> rows() const
    {
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        QList<QWidget*> result;
        for (QWidget* row : m_page->leaderboardRows()->findChildren<QWidget*>("gamesLeaderboardRow"))
            result.append(row);
        std::sort(result.begin(), result.end(), [this](QWidget* a, QWidget* b) {
            return a->mapTo(m_page->leaderboardRows(), QPoint()).y() < b->mapTo(m_page->leaderboardRows(), QPoint()).y();
        });
        return result;
    }

    static QList<QPointer<QWidget>> guarded(const QList<QWidget*>& widgets)
    {
        QList<QPointer<QWidget>> result;
        for (QWidget* widget : widgets)
            result.append(widget);
        return result;
    }

    DevServer m_server;
    std::unique_ptr<QNetworkAccessManager> m_network;
    std::unique_ptr<QStackedWidget> m_stack;
    QWidget* m_otherPage = nullptr;
    GamesPage* m_page = nullptr;
};

QTEST_MAIN(TestGamesPage)
#include "tst_GamesPage.moc"
