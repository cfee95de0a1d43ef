#include "pages/PagesTestSupport.h"

#include "pages/ideas/IdeaCard.h"
#include "pages/ideas/IdeasPage.h"
#include "pages/ideas/OwnIdeaGlow.h"
#include "session/AvatarCache.h"
#include "session/ServerEndpoints.h"
#include "support/DevServerSuite.h"
#include "widgets/KeyedListModel.h"
#include "widgets/WindowedRows.h"

#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScrollArea>
#include <QScrollBar>

using namespace PagesTest;

const QString kIdeasPath = QStringLiteral("/api/desktop/ideas");

class TestIdeasPage : public DevServerSuite
{
    Q_OBJECT

private slots:
    void init()
    {
        QVERIFY(m_server.reset());
        m_host = std::make_unique<PageStack>(m_server, QStringLiteral("luna"), QSize(1000, 700));
        m_page = new IdeasPage(m_host->network.get(), &m_host->stack);
        m_host->stack.addWidget(m_page);
        m_warnings.clear();
        m_page->setWarningHook([this](QWidget*, const QString& title, const QString& text) {
            m_warnings << title + QStringLiteral(": ") + text;
        });
    }

    void cleanup() { m_host.reset(); }

    void openingFromTheProfileHighlightsOwnIdeasOnly()
    {
        m_page->setOpenFromProfile(true);
        m_page->openIdeasPage();
        QCOMPARE(feedTexts(), QStringList{QStringLiteral("Loading ideas...")});
        QTRY_COMPARE_WITH_TIMEOUT(rowCount(), 12, 5000);
        QVERIFY(feedTexts().isEmpty());

        // luna's own ideas glow and carry the badge and the Delete button.
        QList<IdeaCard*> own;
        for (IdeaCard* card : cards()) {
            const bool mine = authorOf(card) == QLatin1String("luna");
            QCOMPARE(card->isHighlighted(), mine);
            QCOMPARE(card->findChild<QLabel*>("profileIdeaBadge") != nullptr, mine);
            QCOMPARE(card->findChild<QPushButton*>("desktopIdeaDelete") != nullptr, mine);
            if (mine)
                own.append(card);
        }
        QVERIFY(!own.isEmpty());
        // The view lands 20 pixels above the first own card.
        QScrollBar* bar = m_page->scrollArea()->verticalScrollBar();
        // The card may move while the rows around it are built: its place is read afresh.
        const auto landing = [&] {
            return std::min(own.first()->mapTo(m_page->scrollArea()->widget(), QPoint(0, 0)).y() - 20, bar->maximum());
        };
        QTRY_COMPARE_WITH_TIMEOUT(bar->value(), landing(), 8000);

        // Through another navigation button: no highlight, no scroll; only the own cards change.
        bar->setValue(0);
        QTest::qWait(100);  // the cards near the top get built
        const QList<QPointer<IdeaCard>> before = guarded(cards());
        const auto ownBefore = std::count_if(before.begin(), before.end(), [](IdeaCard* c) { return c->isHighlighted(); });
        m_page->clearProfileIntent();
        m_page->openIdeasPage();
        QTRY_VERIFY_WITH_TIMEOUT(m_page->findChildren<OwnIdeaGlow*>().isEmpty(), 5000);
        QTest::qWait(250);
        int kept = 0;
        for (const QPointer<IdeaCard>& card : before)
            kept += card && cards().contains(card.data());
        QCOMPARE(kept, before.size() - ownBefore);
        QCOMPARE(bar->value(), 0);
        QCOMPARE(m_page->findChildren<QLabel*>("profileIdeaBadge").size(), 0);
        QVERIFY(!m_page->findChildren<QPushButton*>("desktopIdeaDelete").isEmpty());
    }

    void feedShowsServerTextsAsPlainTextAndResolvesAvatars()
    {
        auto idea = [](int id, const QString& image) {
            return QJsonObject{{"id", id}, {"author", "<b>Zoë</b>"}, {"profile_image", image},
                               {"title", "<i>title</i>"}, {"content", "<a href='x'>body</a>"}, {"like_count", 3},
                               {"liked_by_me", true}};
        };
        const QJsonArray ideas{idea(7, "sakura.png"), idea(8, "comet.png"), idea(9, "../logout"), idea(10, "")};
        cannedReply(m_server, kIdeasPath, {{"success", true}, {"csrf_token", "tok"}, {"ideas", ideas}});
        m_page->openIdeasPage();
        QTRY_COMPARE_WITH_TIMEOUT(cards().size(), 4, 5000);
        IdeaCard* first = cards().first();
        QCOMPARE(authorOf(first), QStringLiteral("<b>Zoë</b>"));
        for (QLabel* label : first->findChildren<QLabel*>())
            QCOMPARE(label->textFormat(), Qt::PlainText);
        QCOMPARE(first->findChild<QPushButton*>("desktopIdeaAction")->text(), QStringLiteral("♥  3"));

        // Built-in avatar drawn at once; a server-only one downloaded; others keep the placeholder.
        auto avatarOf = [this](int i) { return cards().at(i)->findChild<QLabel*>("desktopIdeaAuthorAvatar"); };
        QVERIFY(!avatarOf(0)->pixmap().isNull());
        QTRY_VERIFY_WITH_TIMEOUT(!avatarOf(1)->pixmap().isNull(), 5000);
        QCOMPARE(avatarOf(3)->text(), QStringLiteral("👤"));
        QTRY_COMPARE(m_server.requestCount("/static/avatars/..%2Flogout"), 1);
        QCOMPARE(m_server.requestCount("/static/avatars/sakura.png"), 0);
        QCOMPARE(m_server.requestCount("/logout"), 0);

        // Failures and the empty list each leave one line in the feed.
        m_server.failNext(kIdeasPath, {{"mode", "invalid_json"}});
        m_page->openIdeasPage();
        QTRY_COMPARE_WITH_TIMEOUT(feedTexts(), QStringList{QStringLiteral("Unable to load ideas.")}, 5000);
        cannedReply(m_server, kIdeasPath, {{"success", true}, {"ideas", QJsonArray()}});
        m_page->openIdeasPage();
        QTRY_COMPARE_WITH_TIMEOUT(m_page->countLabel()->text(), QStringLiteral("0 IDEAS"), 5000);
        QVERIFY(feedTexts().value(0).startsWith(QStringLiteral("No ideas here yet.")));
    }

    void publishChecksFieldsAndTokenAndShowsTheServerError()
    {
        publish("   ", "text");
        publish("A title", "text");  // no token before the first list
        QCOMPARE(m_warnings, (QStringList{"MoonLodge: Please enter both a title and your idea.",
                                          "MoonLodge: Please reopen Ideas and try again."}));
        QVERIFY(m_server.lastRequest("/ideas/create").isEmpty());

        // A wrong token: the server's own message, the fields kept, the button back.
        openAndWait(12);
        m_page->setCsrfToken(QStringLiteral("not-the-token"));
        m_warnings.clear();
        m_page->publishButton()->click();
        QCOMPARE(m_page->publishButton()->text(), QStringLiteral("Publishing..."));
        QTRY_COMPARE_WITH_TIMEOUT(m_warnings, QStringList{"MoonLodge: The CSRF token is invalid."}, 5000);
        QVERIFY(m_page->publishButton()->isEnabled());
        QCOMPARE(m_page->titleField()->text(), QStringLiteral("A title"));

        // A good publish from a profile visit: trimmed fields sent, cleared, the feed reloads highlighted.
        QSignalSpy published(m_page, &IdeasPage::ideaPublished);
        m_page->setOpenFromProfile(true);
        openAndWait(12);
        m_warnings.clear();
        publish("  Lantern  ", " Light\nthem all ");
        QTRY_COMPARE_WITH_TIMEOUT(published.count(), 1, 5000);
        QVERIFY(m_warnings.isEmpty());
        QCOMPARE(m_page->titleField()->text() + m_page->textField()->toPlainText(), QString());
        const QJsonObject sent = m_server.lastRequest("/ideas/create");
        QCOMPARE(header(sent, "X-CSRFToken"), m_host->token);
        QCOMPARE(header(sent, "Referer"), ServerEndpoints::baseUrl() + QStringLiteral("/ideas"));
        QCOMPARE(sent.value("body").toString(), QStringLiteral(R"({"content":"Light\nthem all","title":"Lantern"})"));
        QTRY_COMPARE_WITH_TIMEOUT(rowCount(), 13, 5000);
        QVERIFY(cards().first()->isHighlighted());
    }

    void likeShowsTheServerCountAndIsGuarded()
    {
        openAndWait(12);
        QPointer<QPushButton> like = cards().first()->likeButton();
        const QString likePath = QStringLiteral("/ideas/%1/like").arg(m_page->ideasModel()->rowAt(0).value("id").toInt());

        // The count shown is whatever the server says; a second click while out is ignored.
        cannedReply(m_server, "/ideas/*", {{"success", true}, {"liked", true}, {"like_count", 42}});
        like->click();
        like->click();
        QTRY_VERIFY_WITH_TIMEOUT(like->isEnabled(), 5000);
        QCOMPARE(like->text(), QStringLiteral("♥  42"));
        QCOMPARE(m_server.requestCount(likePath, QStringLiteral("POST")), 1);

        // Failures: the server text or the fallback; the count stays.
        m_server.failNext("/ideas/*", {{"mode", "status"}, {"status", 500}});
        like->click();
        QTRY_COMPARE_WITH_TIMEOUT(m_warnings.size(), 1, 5000);
        m_server.failNext("/ideas/*", {{"mode", "invalid_json"}});
        like->click();
        QTRY_COMPARE_WITH_TIMEOUT(m_warnings, (QStringList{"Ideas: Injected failure", "Ideas: Unable to update like."}), 5000);
        QCOMPARE(like->text(), QStringLiteral("♥  42"));
    }

    // Fault seen: a like's failure box was deleted inside its own exec() when the feed was rebuilt.
    void aLikeFailureBoxSurvivesARebuildOfTheFeed()
    {
        openAndWait(12);
        QPointer<QPushButton> like = cards().first()->likeButton();
        bool parentSurvived = false;
        m_page->setWarningHook([&](QWidget* parent, const QString&, const QString&) {
            QPointer<QWidget> guarded(parent);
            m_page->ideasModel()->clear();
            QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
            parentSurvived = !guarded.isNull();
        });
        m_server.failNext("/ideas/*", {{"mode", "status"}, {"status", 500}});
        like->click();
        QTRY_VERIFY_WITH_TIMEOUT(like.isNull(), 5000);
        QVERIFY(parentSurvived);
    }

    // Fault seen: long feeds and 100 KB texts froze the window.
    void largeFeedsBuildOnlyVisibleCardsAndDownloadEachAvatarOnce()
    {
        QJsonArray ideas;
        for (int i = 0; i < 3000; ++i)
            ideas.append(QJsonObject{{"id", i + 1}, {"author", QStringLiteral("a%1").arg(i % 6)},
                                     {"profile_image", "comet.png"}, {"title", QStringLiteral("t%1").arg(i)},
                                     {"content", i == 0 ? QString(100000, QLatin1Char('w')) : QStringLiteral("c")}});
        cannedReply(m_server, kIdeasPath, {{"success", true}, {"csrf_token", "tok"}, {"ideas", ideas}});
        m_page->openIdeasPage();
        QTRY_COMPARE_WITH_TIMEOUT(rowCount(), 3000, 10000);
        QVERIFY(m_page->cardsView()->builtCount() < 40);
        QVERIFY(cards().first()->findChild<QLabel*>("desktopIdeaText")->text().size() <= 4000);

        // Scrolling to the end builds the cards there and drops the first ones.
        QPointer<IdeaCard> top = cards().first();
        QScrollBar* bar = m_page->scrollArea()->verticalScrollBar();
        QTRY_VERIFY_WITH_TIMEOUT(bar->maximum() > 500000, 5000);
        bar->setValue(bar->maximum());
        QTRY_VERIFY_WITH_TIMEOUT(top.isNull(), 5000);
        QTRY_COMPARE_WITH_TIMEOUT(authorOf(cards().last()), QStringLiteral("a%1").arg(2999 % 6), 5000);
        QTRY_VERIFY(!cards().last()->findChild<QLabel*>("desktopIdeaAuthorAvatar")->pixmap().isNull());
        QCOMPARE(m_server.requestCount("/static/avatars/comet.png"), 1);  // one download for all six authors
    }

private:
    int rowCount() const { return m_page->ideasModel()->rowCount(); }
    void publish(const QString& title, const QString& text)
    {
        m_page->titleField()->setText(title);
        m_page->textField()->setPlainText(text);
        m_page->publishButton()->click();
    }
    // The cards built at the moment (those in and near the view).
    QList<IdeaCard*> cards() const { return inOrder<IdeaCard>(m_page->feed()); }
    static QString authorOf(QWidget* card) { return card->findChild<QLabel*>("desktopIdeaAuthor")->text(); }

    QStringList feedTexts() const
    {
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        QStringList texts;
        for (QLabel* label : m_page->feed()->findChildren<QLabel*>("ideasFeedMessage", Qt::FindDirectChildrenOnly))
            if (!label->isHidden())
                texts << label->text();
        return texts;
    }

    void openAndWait(int count)
    {
        m_page->countLabel()->clear();
        m_page->openIdeasPage();
        QTRY_COMPARE_WITH_TIMEOUT(m_page->countLabel()->text(), QStringLiteral("%1 IDEAS").arg(count), 5000);
        QTRY_VERIFY_WITH_TIMEOUT(!cards().isEmpty(), 5000);
    }

    std::unique_ptr<PageStack> m_host;
    IdeasPage* m_page = nullptr;
    QStringList m_warnings;  // "title: text"
};

QTEST_MAIN(TestIdeasPage)
#include "tst_IdeasPage.moc"
