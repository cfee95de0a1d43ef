#include "pages/PagesTestSupport.h"

#include "pages/games/GameCardImage.h"
#include "pages/games/GamesPage.h"
#include "pages/games/LeaderboardRowGlow.h"
#include "session/AvatarCache.h"
#include "session/ServerEndpoints.h"
#include "support/DevServerSuite.h"
#include "widgets/KeyedListModel.h"
#include "widgets/WindowedRows.h"

#include <QLabel>
#include <QPushButton>
#include <QScrollArea>
#include <QScrollBar>
#include <QTimer>

using namespace PagesTest;

namespace {

const QString kLeaderboardPath = QStringLiteral("/api/desktop/games/leaderboard");

QString childText(QWidget* row, const char* name)
{
    QLabel* label = row->findChild<QLabel*>(QString::fromLatin1(name));
    return label ? label->text() : QString();
}

}  // namespace

class TestGamesPage : public DevServerSuite
{
    Q_OBJECT

private slots:
    void init()
    {
        QVERIFY(m_server.reset());
        m_host = std::make_unique<PageStack>(m_server, QStringLiteral("luna"), QSize(1000, 520));
        m_page = new GamesPage(m_host->network.get(), &m_host->stack);
        m_host->stack.addWidget(m_page);
    }

    void cleanup() { m_host.reset(); }

    void gameCardShowsTheImageAndOpensTheDownloadPage()
    {
        QList<QUrl> opened;
        m_page->setUrlOpener([&opened](const QUrl& url) { opened.append(url); });
        QTRY_VERIFY_WITH_TIMEOUT(!m_page->gameImage()->image().isNull(), 5000);
        m_page->playButton()->click();
        QCOMPARE(opened, QList<QUrl>{QUrl(ServerEndpoints::baseUrl() + QStringLiteral("/download/nebulite"))});
    }

    void fromTheProfileTheOwnRowGlowsAndIsScrolledToOnce()
    {
        m_page->setOpenFromProfile(true);
        m_page->openGamesPage();
        QCOMPARE(m_host->stack.currentWidget(), m_page);
        QTRY_COMPARE_WITH_TIMEOUT(rows().size(), 7, 5000);
        QCOMPARE(texts("gamesLeaderboardPlace"), (QStringList{"🥇", "🥈", "🥉", "4", "5", "6", "7"}));
        QWidget* own = rows().at(texts("gamesLeaderboardName").indexOf("luna"));
        QCOMPARE(childText(own, "nebuliteYouBadge"), QStringLiteral("YOU"));
        QCOMPARE(badges(), 1);
        QVERIFY(glowing(own) && !glowing(rows().at(0)));
        QScrollBar* bar = m_page->scrollArea()->verticalScrollBar();
        QTRY_VERIFY_WITH_TIMEOUT(bar->value() > 0, 8000);
        QCOMPARE(bar->value(), std::min(own->mapTo(m_page->scrollArea()->widget(), QPoint()).y() - 20, bar->maximum()));

        // A new score: new rows, still highlighted, no scroll.
        bar->setValue(0);
        m_server.control("POST", "/__test__/score", {{"username", "stella"}, {"score", 30000}});
        m_page->refreshTick();
        QTRY_COMPARE_WITH_TIMEOUT(childText(rows().at(0), "gamesLeaderboardName"), QStringLiteral("stella"), 5000);
        QCOMPARE(badges(), 1);
        QCOMPARE(bar->value(), 0);

        // Through the bar: no glow, no badge.
        m_page->clearProfileIntent();
        m_page->openGamesPage();
        QTRY_COMPARE_WITH_TIMEOUT(badges(), 0, 5000);
        for (QWidget* row : rows())
            QVERIFY(!glowing(row));
    }

    void rowsShowTheReplyLiterallyWhateverItsValues()
    {
        const QJsonArray board{
            QJsonObject{{"username", ""}, {"profile_image", ""}, {"best_score", 1}},
            QJsonObject{{"username", "<b>bold</b>"}, {"profile_image", "comet.png"}, {"best_score", "98765"}},
            QJsonObject{{"username", "third"}, {"profile_image", "../logout"}, {"best_score", "lots"}},
            QJsonObject{{"username", "fourth"}, {"best_score", 5000000000LL}}};
        m_page->setOpenFromProfile(true);
        cannedReply(m_server, kLeaderboardPath, {{"success", true}, {"username", ""}, {"leaderboard", board}});
        m_page->openGamesPage();
        QTRY_COMPARE_WITH_TIMEOUT(rows().size(), 4, 5000);
        for (QWidget* row : rows())
            for (QLabel* label : row->findChildren<QLabel*>())
                QCOMPARE(label->textFormat(), Qt::PlainText);
        QCOMPARE(texts("gamesLeaderboardScore"), (QStringList{"1", "98765", "0", "5000000000"}));
        QCOMPARE(childText(rows().at(1), "gamesLeaderboardName"), QStringLiteral("<b>bold</b>"));
        QCOMPARE(badges(), 0);  // empty names on both sides are not the member
        // The server-only avatar is downloaded; the bad name never reaches another route.
        QTRY_VERIFY_WITH_TIMEOUT(!rows().at(1)->findChild<QLabel*>("gamesLeaderboardAvatar")->pixmap().isNull(), 5000);
        QVERIFY(m_server.lastRequest("/logout").isEmpty());

        cannedReply(m_server, kLeaderboardPath, {{"success", true}, {"username", "luna"}, {"leaderboard", QJsonArray()}});
        m_page->openGamesPage();
        QTRY_COMPARE_WITH_TIMEOUT(rows().size(), 0, 5000);
        QCOMPARE(m_page->statusLabel()->text(), QStringLiteral("No scores yet."));
    }

    // Fault seen: long boards and 100 KB names froze the window.
    void aLongBoardBuildsOnlyTheRowsInViewAndSharesAvatars()
    {
        QJsonArray board;
        for (int i = 0; i < 5000; ++i)
            board.append(QJsonObject{{"username", i == 1 ? QString(100000, QLatin1Char('n')) : QStringLiteral("p%1").arg(i)},
                                     {"profile_image", "comet.png"}, {"best_score", 5000 - i}});
        cannedReply(m_server, kLeaderboardPath, {{"success", true}, {"username", "p3"}, {"leaderboard", board}});
        m_page->openGamesPage();
        QTRY_COMPARE_WITH_TIMEOUT(m_page->leaderboardModel()->rowCount(), 5000, 20000);
        QVERIFY(m_page->leaderboardRows()->builtCount() < 80);
        QVERIFY(childText(rows().at(1), "gamesLeaderboardName").size() <= 64);
        QTRY_COMPARE(m_server.requestCount(QStringLiteral("/static/avatars/comet.png")), 1);
    }

    void failuresKeepTheRows()
    {
        m_page->reloadLeaderboard();
        QTRY_COMPARE_WITH_TIMEOUT(rows().size(), 7, 5000);
        QTRY_VERIFY_WITH_TIMEOUT(!m_page->leaderboardInFlight(), 5000);
        const QList<QPointer<QWidget>> before = guarded(rows());
        m_server.failNext(kLeaderboardPath, {{"mode", "invalid_json"}});
        m_page->reloadLeaderboard();
        QTRY_VERIFY_WITH_TIMEOUT(!m_page->statusLabel()->isHidden() && !m_page->leaderboardInFlight(), 5000);
        QCOMPARE(m_page->statusLabel()->text(), QStringLiteral("Unable to update leaderboard."));
        QCOMPARE(guarded(rows()), before);
        // The next good reply matches what is shown: the status line goes, the rows stay.
        m_page->reloadLeaderboard();
        QTRY_VERIFY_WITH_TIMEOUT(m_page->statusLabel()->isHidden() && !m_page->leaderboardInFlight(), 5000);
        QCOMPARE(guarded(rows()), before);
    }

private:
    QList<QWidget*> rows() const { return inOrder<QWidget>(m_page->leaderboardRows(), "gamesLeaderboardRow"); }
    QStringList texts(const char* name) const
    {
        QStringList result;
        for (QWidget* row : rows())
            result << childText(row, name);
        return result;
    }
    int badges() const { return int(m_page->findChildren<QLabel*>("nebuliteYouBadge").size()); }
    static bool glowing(QWidget* row) { return qobject_cast<LeaderboardRowGlow*>(row->parentWidget())->isGlowing(); }

    std::unique_ptr<PageStack> m_host;
    GamesPage* m_page = nullptr;
};

QTEST_MAIN(TestGamesPage)
#include "tst_GamesPage.moc"
