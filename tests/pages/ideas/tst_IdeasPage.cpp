#include "pages/PagesTestSupport.h"

#include "pages/ideas/IdeaCard.h"
#include "pages/ideas/IdeasPage.h"
#include "pages/ideas/OwnIdeaGlow.h"
#include "session/AvatarCache.h"
#include "session/ServerEndpoints.h"
#include "widgets/KeyedListModel.h"
#include "widgets/WindowedRows.h"

#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScrollArea>
#include <QScrollBar>

using namespace PagesTest;

namespace {

const QString kIdeasPath = QStringLiteral("/api/desktop/ideas");

struct Warning
{
    QString title;
    QString text;
};

}  // namespace

class TestIdeasPage : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { QVERIFY(m_server.start()); }

    void init()
    {
        QVERIFY(m_server.reset());
        m_host = std::make_unique<PageStack>(m_server, QStringLiteral("luna"), QSize(1000, 700));
        m_token = m_host->token;
        m_page = new IdeasPage(m_host->network.get(), &m_host->stack);
        m_host->stack.addWidget(m_page);
        m_warnings.clear();
        m_page->setWarningHook([this](QWidget*, const QString& title, const QString& text) {
            m_warnings.append({title, text});
        });
        AvatarCache::instance()->clear();
        m_server.clearRequests();
    }

    void cleanup() { m_host.reset(); }

    void openingFromTheProfileHighlightsOwnIdeasOnly()
    {
        m_page->setOpenFromProfile(true);
        m_page->openIdeasPage();
        QCOMPARE(m_host->stack.currentWidget(), m_page);
        QVERIFY(!m_page->openFromProfile() && m_page->highlightMode());
        QCOMPARE(feedTexts(), QStringList{QStringLiteral("Loading ideas...")});

        QTRY_COMPARE_WITH_TIMEOUT(rowCount(), 12, 5000);
        QCOMPARE(m_page->countLabel()->text(), QStringLiteral("12 IDEAS"));
        QVERIFY(feedTexts().isEmpty());
        QCOMPARE(m_page->csrfToken(), m_token);
        QCOMPARE(header(m_server.lastRequest("/api/desktop/ideas"), "Accept"), QStringLiteral("application/json"));

        // luna's own ideas glow and carry the badge and the Delete button.
        QList<IdeaCard*> own;
        for (IdeaCard* card : cards()) {
            const bool mine = authorOf(card) == QLatin1String("luna");
            QCOMPARE(card->isHighlighted(), mine);
            QCOMPARE(qobject_cast<OwnIdeaGlow*>(card->parentWidget()) != nullptr, mine);
            QCOMPARE(card->findChild<QLabel*>("profileIdeaBadge") != nullptr, mine);
            QCOMPARE(card->findChild<QPushButton*>("desktopIdeaDelete") != nullptr, mine);
            if (mine)
                own.append(card);
        }
        QVERIFY(!own.isEmpty());

        // The view lands 20 pixels above the first own card (a card sized to its content).
        QScrollBar* bar = m_page->scrollArea()->verticalScrollBar();
        const int y = own.first()->mapTo(m_page->scrollArea()->widget(), QPoint(0, 0)).y();
        QVERIFY(y > 100);
        QTRY_COMPARE_WITH_TIMEOUT(bar->value(), std::min(y - 20, bar->maximum()), 8000);
        QVERIFY(cards().last()->height() < 320);

        // Through another navigation button and back: no highlight, no scroll, Delete stays.
        // Only the two own cards change; every other card keeps its widget.
        bar->setValue(0);
        QTest::qWait(100);
        const QList<QPointer<IdeaCard>> before = guarded(cards());
        const int ownBefore = int(std::count_if(before.begin(), before.end(), [](IdeaCard* c) { return c->isHighlighted(); }));
        m_page->clearProfileIntent();
        m_page->openIdeasPage();
        QCOMPARE(bar->value(), 0);
        QTRY_VERIFY_WITH_TIMEOUT(m_page->findChildren<OwnIdeaGlow*>().isEmpty(), 5000);
        QTest::qWait(250);
        int kept = 0;
        for (const QPointer<IdeaCard>& card : before)
            kept += card && cards().contains(card.data());
        QCOMPARE(kept, before.size() - ownBefore);
        QCOMPARE(bar->value(), 0);
        QCOMPARE(m_page->findChildren<OwnIdeaGlow*>().size(), 0);
        QCOMPARE(m_page->findChildren<QLabel*>("profileIdeaBadge").size(), 0);
        QVERIFY(!m_page->findChildren<QPushButton*>("desktopIdeaDelete").isEmpty());
    }

    void feedShowsServerTextsAsPlainTextAndResolvesAvatars()
    {
        const QJsonArray ideas{
            QJsonObject{{"id", 7}, {"author", "<b>Zoë Star</b>"}, {"profile_image", "sakura.png"},
                        {"title", "<i>title</i>"}, {"content", "<a href='x'>body</a>"}, {"like_count", 3},
                        {"liked_by_me", true}},
            QJsonObject{{"id", 8}, {"author", "nova"}, {"profile_image", "comet.png"}, {"title", "t"}, {"content", "c"}},
            QJsonObject{{"id", 9}, {"author", "x"}, {"profile_image", "../logout"}, {"title", "t"}, {"content", "c"}},
            QJsonObject{{"id", 10}, {"author", "y"}, {"profile_image", ""}, {"title", "t"}, {"content", "c"}},
            QJsonObject{{"id", 11}, {"author", "z"}, {"profile_image", "nobody.png"}, {"title", "t"}, {"content", "c"}}};
        cannedReply(m_server, kIdeasPath, {{"success", true}, {"csrf_token", "tok"}, {"ideas", ideas}});
        m_page->openIdeasPage();
        QTRY_COMPARE_WITH_TIMEOUT(cards().size(), 5, 5000);

        IdeaCard* first = cards().first();
        QCOMPARE(first->findChild<QLabel*>("desktopIdeaAuthor")->text(), QStringLiteral("<b>Zoë Star</b>"));
        for (QLabel* label : first->findChildren<QLabel*>())
            QCOMPARE(label->textFormat(), Qt::PlainText);
        QCOMPARE(first->findChild<QLabel*>("desktopIdeaTitle")->text(), QStringLiteral("<i>title</i>"));
        QCOMPARE(first->findChild<QPushButton*>("desktopIdeaAction")->text(), QStringLiteral("♥  3"));

        // Built-in avatar drawn at once; a server-only one downloaded; others keep the placeholder.
        auto avatarOf = [](QWidget* card) { return card->findChild<QLabel*>("desktopIdeaAuthorAvatar"); };
        QVERIFY(!avatarOf(cards().at(0))->pixmap().isNull());
        QCOMPARE(avatarOf(cards().at(0))->pixmap().size(), QSize(38, 38));
        QTRY_VERIFY_WITH_TIMEOUT(!avatarOf(cards().at(1))->pixmap().isNull(), 5000);
        QTest::qWait(200);
        for (int i : {2, 3, 4}) {
            QCOMPARE(avatarOf(cards().at(i))->text(), QStringLiteral("👤"));
            QVERIFY(avatarOf(cards().at(i))->pixmap().isNull());
        }
        QStringList paths;
        for (const QJsonValue& request : m_server.requests())
            paths << request.toObject().value("raw_path").toString();
        QVERIFY(paths.contains(QStringLiteral("/static/avatars/comet.png")));
        QVERIFY(paths.contains(QStringLiteral("/static/avatars/nobody.png")));
        QVERIFY(!paths.contains(QStringLiteral("/static/avatars/sakura.png")));
        QVERIFY(paths.contains(QStringLiteral("/static/avatars/..%2Flogout")));
        QVERIFY(!paths.contains(QStringLiteral("/logout")));

        // Failures and the empty list each leave one centred line in the feed.
        m_server.failNext("/api/desktop/ideas", {{"mode", "status"}, {"status", 500}});
        m_page->openIdeasPage();
        QTRY_COMPARE_WITH_TIMEOUT(feedTexts(), QStringList{QStringLiteral("Injected failure")}, 5000);
        m_server.failNext("/api/desktop/ideas", {{"mode", "invalid_json"}});
        m_page->openIdeasPage();
        QTRY_COMPARE_WITH_TIMEOUT(feedTexts(), QStringList{QStringLiteral("Unable to load ideas.")}, 5000);
        cannedReply(m_server, kIdeasPath, {{"success", true}, {"ideas", QJsonArray()}});
        m_page->openIdeasPage();
        QTRY_COMPARE_WITH_TIMEOUT(
            feedTexts(),
            QStringList{QStringLiteral("No ideas here yet.\nShare your first idea and start building your space.")},
            5000);
        QCOMPARE(m_page->countLabel()->text(), QStringLiteral("0 IDEAS"));
        QCOMPARE(m_page->csrfToken(), QString());
    }

    void publishChecksFieldsTokenAndShowsTheServerErrorText()
    {
        // Nothing to send: blank fields, then no token before the first list.
        m_page->titleField()->setText(QStringLiteral("   "));
        m_page->textField()->setPlainText(QStringLiteral("text"));
        m_page->publishButton()->click();
        m_page->titleField()->setText(QStringLiteral("A title"));
        m_page->publishButton()->click();
        QCOMPARE(m_warnings.size(), 2);
        QCOMPARE(m_warnings.at(0).title, QStringLiteral("MoonLodge"));
        QCOMPARE(m_warnings.at(0).text, QStringLiteral("Please enter both a title and your idea."));
        QCOMPARE(m_warnings.at(1).text, QStringLiteral("Please reopen Ideas and try again."));
        QVERIFY(m_server.lastRequest("/ideas/create").isEmpty());

        openAndWait(12);

        // A 5000-character HTML error page: its first 2000 characters, fields kept.
        QString html = QStringLiteral("<html>");
        while (html.size() < 5000)
            html += QStringLiteral("<p>broken</p>");
        html = html.left(5000);
        m_server.failNext("/ideas/create",
                          {{"mode", "status"}, {"status", 502}, {"body", html}, {"content_type", "text/html"}});
        m_warnings.clear();
        m_page->publishButton()->click();
        QCOMPARE(m_page->publishButton()->isEnabled(), false);
        QCOMPARE(m_page->publishButton()->text(), QStringLiteral("Publishing..."));
        QTRY_COMPARE_WITH_TIMEOUT(m_warnings.size(), 1, 5000);
        QCOMPARE(m_warnings.at(0).text, html.left(2000));
        QCOMPARE(m_page->publishButton()->isEnabled(), true);
        QCOMPARE(m_page->publishButton()->text(), QStringLiteral("Publish Idea"));
        QCOMPARE(m_page->titleField()->text(), QStringLiteral("A title"));

        // A dropped connection (the network layer tries twice): the transport error text.
        m_server.failNext("/ideas/create", {{"mode", "drop"}, {"count", 2}});
        m_warnings.clear();
        m_page->publishButton()->click();
        QTRY_COMPARE_WITH_TIMEOUT(m_warnings.size(), 1, 5000);
        QVERIFY(!m_warnings.at(0).text.isEmpty());
        QVERIFY(m_warnings.at(0).text != QStringLiteral("The server returned an unexpected response."));

        // The server refuses a wrong token with its own message.
        m_page->setCsrfToken(QStringLiteral("not-the-token"));
        m_warnings.clear();
        m_page->publishButton()->click();
        QTRY_COMPARE_WITH_TIMEOUT(m_warnings.size(), 1, 5000);
        QCOMPARE(m_warnings.at(0).text, QStringLiteral("The CSRF token is invalid."));
        QCOMPARE(header(m_server.lastRequest("/ideas/create"), "X-CSRFToken"), QStringLiteral("not-the-token"));

        // A good publish from a profile visit: token and Referer reach the server, the
        // fields clear and the feed reloads with the highlight kept.
        QSignalSpy published(m_page, &IdeasPage::ideaPublished);
        m_page->setOpenFromProfile(true);
        openAndWait(12);
        m_page->titleField()->setText(QStringLiteral("  Lantern  "));
        m_page->textField()->setPlainText(QStringLiteral(" Light\nthem all "));
        m_warnings.clear();
        m_page->publishButton()->click();
        QTRY_COMPARE_WITH_TIMEOUT(published.count(), 1, 5000);
        QVERIFY(m_warnings.isEmpty());
        QCOMPARE(m_page->titleField()->text(), QString());
        QCOMPARE(m_page->textField()->toPlainText(), QString());
        const QJsonObject sent = m_server.lastRequest("/ideas/create");
        QCOMPARE(header(sent, "X-CSRFToken"), m_token);
        QCOMPARE(header(sent, "Referer"), ServerEndpoints::baseUrl() + QStringLiteral("/ideas"));
        QCOMPARE(header(sent, "Content-Type"), QStringLiteral("application/json"));
        QCOMPARE(header(sent, "Accept"), QStringLiteral("application/json"));
        QCOMPARE(sent.value("body").toString(), QStringLiteral(R"({"content":"Light\nthem all","title":"Lantern"})"));
        QTRY_COMPARE_WITH_TIMEOUT(rowCount(), 13, 5000);
        QVERIFY(m_page->highlightMode());
        QVERIFY(cards().first()->isHighlighted());
        QCOMPARE(m_page->countLabel()->text(), QStringLiteral("13 IDEAS"));
    }

    void likeShowsTheServerCountAndIsGuarded()
    {
        openAndWait(12);
        QPointer<QPushButton> like = cards().first()->likeButton();
        const QString likePath = QStringLiteral("/ideas/%1/like").arg(m_page->ideasModel()->rowAt(0).value("id").toInt());
        const QString before = like->text();

        // The count shown is whatever the server says, not a local +1.
        cannedReply(m_server, "/ideas/*", {{"success", true}, {"liked", true}, {"like_count", 42}});
        like->click();
        QCOMPARE(like->isEnabled(), false);
        like->click();  // ignored while the first request is out
        QTRY_VERIFY_WITH_TIMEOUT(like->isEnabled(), 5000);
        QCOMPARE(like->text(), QStringLiteral("♥  42"));
        QCOMPARE(like->property("liked").toBool(), true);
        const QJsonArray likeRequests = requestsFor(m_server, likePath, QStringLiteral("POST"));
        QCOMPARE(likeRequests.size(), 1);
        QCOMPARE(header(likeRequests.first().toObject(), "X-CSRFToken"), m_token);
        QCOMPARE(header(likeRequests.first().toObject(), "Referer"), ServerEndpoints::baseUrl() + QStringLiteral("/ideas"));

        // The real toggle: the server's own count comes back.
        like->click();
        QTRY_VERIFY_WITH_TIMEOUT(like->isEnabled() && like->text() != QStringLiteral("♥  42"), 5000);
        QCOMPARE(like->property("liked").toBool(), !before.startsWith(QStringLiteral("♥")));

        // Failures: titled "Ideas", server text or the fallback; the text stays.
        const QString shown = like->text();
        m_warnings.clear();
        m_server.failNext("/ideas/*", {{"mode", "status"}, {"status", 500}});
        like->click();
        QTRY_COMPARE_WITH_TIMEOUT(m_warnings.size(), 1, 5000);
        m_server.failNext("/ideas/*", {{"mode", "invalid_json"}});
        like->click();
        QTRY_COMPARE_WITH_TIMEOUT(m_warnings.size(), 2, 5000);
        QCOMPARE(m_warnings.at(0).title, QStringLiteral("Ideas"));
        QCOMPARE(m_warnings.at(0).text, QStringLiteral("Injected failure"));
        QCOMPARE(m_warnings.at(1).text, QStringLiteral("Unable to update like."));
        QCOMPARE(like->text(), shown);
        QVERIFY(like->isEnabled());

        // A reply that arrives after its card was rebuilt (the idea changed) touches nothing.
        m_server.failNext("/ideas/*", {{"mode", "delay"}, {"delay_ms", 600}});
        like->click();
        m_warnings.clear();
        QJsonArray edited;
        for (int row = 0; row < rowCount(); ++row) {
            QJsonObject idea = m_page->ideasModel()->rowAt(row);
            idea.remove("_highlighted");
            if (row == 0)
                idea.insert("title", "edited");
            edited.append(idea);
        }
        cannedReply(m_server, kIdeasPath, {{"success", true}, {"csrf_token", m_token}, {"ideas", edited}});
        m_page->openIdeasPage();
        QTRY_VERIFY_WITH_TIMEOUT(like.isNull(), 5000);
        const QString rebuiltText = cards().first()->likeButton()->text();
        QTest::qWait(800);
        QCOMPARE(cards().first()->likeButton()->text(), rebuiltText);
        QVERIFY(m_warnings.isEmpty());
    }

    void aLikeFailureBoxSurvivesARebuildOfTheFeed()
    {
        // The box's parent must outlive the card: rebuild the feed while the box is "open".
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

    void largeFeedsBuildOnlyVisibleCardsAndDownloadEachAvatarOnce()
    {
        // 3,000 ideas by six authors sharing one downloaded avatar; a 100 KB text is capped.
        QJsonArray ideas;
        for (int i = 0; i < 3000; ++i)
            ideas.append(QJsonObject{{"id", i + 1}, {"author", QStringLiteral("a%1").arg(i % 6)},
                                     {"profile_image", "comet.png"}, {"title", QStringLiteral("t%1").arg(i)},
                                     {"content", i == 0 ? QString(100000, QLatin1Char('w')) : QStringLiteral("c")}});
        const QJsonObject reply{{"success", true}, {"csrf_token", "tok"}, {"ideas", ideas}};
        cannedReply(m_server, kIdeasPath, reply);
        m_page->openIdeasPage();
        QTRY_COMPARE_WITH_TIMEOUT(rowCount(), 3000, 10000);
        QVERIFY(m_page->cardsView()->builtCount() < 40);
        QVERIFY(cards().first()->findChild<QLabel*>("desktopIdeaText")->text().size() <= 4000);
        QVERIFY(cards().first()->height() < 2000);
        QTRY_VERIFY_WITH_TIMEOUT(!cards().last()->findChild<QLabel*>("desktopIdeaAuthorAvatar")->pixmap().isNull(), 5000);

        // Scrolling to the end builds the cards there and drops the first ones.
        QPointer<IdeaCard> top = cards().first();
        QScrollBar* bar = m_page->scrollArea()->verticalScrollBar();
        QTRY_VERIFY_WITH_TIMEOUT(bar->maximum() > 500000, 5000);
        bar->setValue(bar->maximum());
        QTRY_VERIFY_WITH_TIMEOUT(top.isNull(), 5000);
        QTRY_COMPARE_WITH_TIMEOUT(authorOf(cards().last()), QStringLiteral("a%1").arg(2999 % 6), 5000);

        // Back at the top, the same reply again: nothing changes, nothing is downloaded again.
        bar->setValue(0);
        QTRY_VERIFY_WITH_TIMEOUT(authorOf(cards().first()) == QStringLiteral("a0"), 5000);
        QSignalSpy inserted(m_page->ideasModel(), &QAbstractItemModel::rowsInserted);
        QSignalSpy changed(m_page->ideasModel(), &QAbstractItemModel::dataChanged);
        cannedReply(m_server, kIdeasPath, reply);
        m_page->openIdeasPage();
        QTRY_VERIFY_WITH_TIMEOUT(m_server.lastRequest("/api/desktop/ideas").contains("path"), 5000);
        QTest::qWait(500);
        QVERIFY(inserted.isEmpty() && changed.isEmpty());
        QCOMPARE(countRaw(m_server, "/static/avatars/comet.png"), 1);
    }

private:
    int rowCount() const { return m_page->ideasModel()->rowCount(); }

    // The cards built at the moment (those in and near the view).
    QList<IdeaCard*> cards() const { return inOrder<IdeaCard>(m_page->feed()); }

    QStringList feedTexts() const
    {
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        QStringList texts;
        for (QLabel* label : m_page->feed()->findChildren<QLabel*>("ideasFeedMessage", Qt::FindDirectChildrenOnly))
            if (!label->isHidden())
                texts << label->text();
        return texts;
    }

    static QString authorOf(QWidget* card) { return card->findChild<QLabel*>("desktopIdeaAuthor")->text(); }

    void openAndWait(int count)
    {
        m_page->countLabel()->clear();
        m_page->openIdeasPage();
        QTRY_COMPARE_WITH_TIMEOUT(m_page->countLabel()->text(), QStringLiteral("%1 IDEAS").arg(count), 5000);
        QTRY_COMPARE_WITH_TIMEOUT(rowCount(), count, 5000);
        QTRY_VERIFY_WITH_TIMEOUT(!cards().isEmpty(), 5000);
    }

    DevServer m_server;
    QString m_token;
    std::unique_ptr<PageStack> m_host;
    IdeasPage* m_page = nullptr;
    QList<Warning> m_warnings;
};

QTEST_MAIN(TestIdeasPage)
#include "tst_IdeasPage.moc"
