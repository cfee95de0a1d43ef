#include "pages/ideas/IdeasPage.h"
#include "pages/ideas/ProfileIdeaFrame.h"
#include "session/ServerEndpoints.h"
#include "support/DevServer.h"
#include "session/AvatarCache.h"
#include "widgets/KeyedListModel.h"
#include "pages/ideas/ProfileIdeaGlow.h"
#include "widgets/WindowedRows.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QLabel>
#include <QLineEdit>
#include <QNetworkAccessManager>
#include <QNetworkCookie>
#include <QNetworkCookieJar>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScrollArea>
#include <QScrollBar>
#include <QStackedWidget>
#include <QtTest>

#include <algorithm>
#include <memory>

namespace {

struct Warning
{
    QString title;
    QString text;
};

QString header(const QJsonObject& request, const QString& name)
{
    const QJsonObject headers = request.value(QLatin1String("headers")).toObject();
    for (auto it = headers.begin(); it != headers.end(); ++it)
        if (it.key().compare(name, Qt::CaseInsensitive) == 0)
            return it.value().toString();
    return {};
}

// A reply the server sends instead of its own for the next request to a path.
QJsonObject cannedReply(const QJsonObject& body)
{
    return {{"mode", "status"}, {"status", 200}, {"content_type", "application/json"},
            {"body", QString::fromUtf8(QJsonDocument(body).toJson(QJsonDocument::Compact))}};
}

}  // namespace

namespace PagesTestAvatars {
// How many requests the server received for that raw path.
inline int count(DevServer& server, const QString& rawPath)
{
    int n = 0;
    for (const QJsonValue& request : server.requests())
        n += request.toObject().value("raw_path").toString() == rawPath;
    return n;
}
}  // namespace PagesTestAvatars

class TestIdeasPage : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { QVERIFY(m_server.start()); }

    void init()
    {
        QVERIFY(m_server.reset());
        const QJsonObject session = m_server.sessionFor(QStringLiteral("luna"));
        const QString cookieText = session.value("cookie").toString();
        m_token = session.value("csrf_token").toString();
        QVERIFY(!cookieText.isEmpty());

        m_network = std::make_unique<QNetworkAccessManager>();
        auto* jar = new QNetworkCookieJar(m_network.get());
        QNetworkCookie cookie = QNetworkCookie::parseCookies(cookieText.toUtf8()).value(0);
        cookie.setDomain(m_server.url().host());
        cookie.setPath(QStringLiteral("/"));
        jar->insertCookie(cookie);
        m_network->setCookieJar(jar);

        m_stack = std::make_unique<QStackedWidget>();
        m_stack->resize(1000, 700);
        m_otherPage = new QWidget(m_stack.get());
        m_stack->addWidget(m_otherPage);
        m_page = new IdeasPage(m_network.get(), m_stack.get());
        m_stack->addWidget(m_page);
        m_stack->setCurrentWidget(m_otherPage);
        m_warnings.clear();
        m_page->setWarningHook([this](QWidget*, const QString& title, const QString& text) {
            m_warnings.append({title, text});
        });
        m_stack->show();
        AvatarCache::instance()->clear();
        m_server.clearRequests();
    }

    void cleanup()
    {
        m_stack.reset();
        m_network.reset();
    }

    void openingFromTheProfileHighlightsOwnIdeasOnly()
    {
        m_page->setProperty("openIdeasFromProfile", true);
        m_page->openIdeasPage();
        QCOMPARE(m_stack->currentWidget(), m_page);
        QCOMPARE(m_page->property("openIdeasFromProfile").toBool(), false);
        QCOMPARE(m_page->property("highlightMyIdeas").toBool(), true);
        QCOMPARE(feedTexts(), QStringList{QStringLiteral("Loading ideas...")});

        QTRY_COMPARE_WITH_TIMEOUT(rowCount(), 12, 5000);
        QCOMPARE(m_page->countLabel()->text(), QStringLiteral("12 IDEAS"));
        QVERIFY(feedTexts().isEmpty());
        QCOMPARE(m_page->property("ideasCsrfToken").toString(), m_token);
        QCOMPARE(header(m_server.lastRequest("/api/desktop/ideas"), "Accept"), QStringLiteral("application/json"));

        // luna wrote two of the ideas: both glow, carry the badge and the Delete button.
        int highlightedRows = 0;
        for (int row = 0; row < rowCount(); ++row)
            highlightedRows += m_page->ideasModel()->rowAt(row).value("_highlighted").toBool();
        QCOMPARE(highlightedRows, 2);
        QList<ProfileIdeaFrame*> own;
        for (ProfileIdeaFrame* card : cards()) {
            const bool mine = authorOf(card) == QLatin1String("luna");
            QCOMPARE(card->property("profileIdeaHighlight").toBool(), mine);
            QCOMPARE(qobject_cast<ProfileIdeaGlow*>(card->parentWidget()) != nullptr, mine);
            QCOMPARE(card->findChild<QLabel*>("profileIdeaBadge") != nullptr, mine);
            QCOMPARE(card->findChild<QPushButton*>("desktopIdeaDelete") != nullptr, mine);
            QCOMPARE(card->findChildren<QWidget*>("ideaActionSlot").size(), mine ? 4 : 3);
            if (mine)
                own.append(card);
        }
        QVERIFY(!own.isEmpty());
        QVERIFY(own.first()->styleSheet().contains(QStringLiteral("border-color: #ff1493")));

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
        QList<QPointer<ProfileIdeaFrame>> before;
        int ownBefore = 0;
        for (ProfileIdeaFrame* card : cards()) {
            before.append(card);
            ownBefore += card->property("profileIdeaHighlight").toBool();
        }
        m_page->clearProfileIntent();
        m_page->openIdeasPage();
        QCOMPARE(bar->value(), 0);
        QTRY_VERIFY_WITH_TIMEOUT(m_page->findChildren<ProfileIdeaGlow*>().isEmpty(), 5000);
        QTest::qWait(250);
        int kept = 0;
        for (const QPointer<ProfileIdeaFrame>& card : before)
            kept += card && cards().contains(card.data());
        QCOMPARE(kept, before.size() - ownBefore);
        QCOMPARE(bar->value(), 0);
        QCOMPARE(m_page->findChildren<ProfileIdeaGlow*>().size(), 0);
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
        m_server.failNext("/api/desktop/ideas",
                          cannedReply({{"success", true}, {"csrf_token", "tok"}, {"ideas", ideas}}));
        m_page->openIdeasPage();
        QTRY_COMPARE_WITH_TIMEOUT(cards().size(), 5, 5000);

        ProfileIdeaFrame* first = cards().first();
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
        m_server.failNext("/api/desktop/ideas", cannedReply({{"success", true}, {"ideas", QJsonArray()}}));
        m_page->openIdeasPage();
        QTRY_COMPARE_WITH_TIMEOUT(
            feedTexts(),
            QStringList{QStringLiteral("No ideas here yet.\nShare your first idea and start building your space.")},
            5000);
        QCOMPARE(m_page->countLabel()->text(), QStringLiteral("0 IDEAS"));
        QCOMPARE(m_page->property("ideasCsrfToken").toString(), QString());
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
        m_page->setProperty("ideasCsrfToken", QStringLiteral("not-the-token"));
        m_warnings.clear();
        m_page->publishButton()->click();
        QTRY_COMPARE_WITH_TIMEOUT(m_warnings.size(), 1, 5000);
        QCOMPARE(m_warnings.at(0).text, QStringLiteral("The CSRF token is invalid."));
        QCOMPARE(header(m_server.lastRequest("/ideas/create"), "X-CSRFToken"), QStringLiteral("not-the-token"));

        // A good publish from a profile visit: token and Referer reach the server, the
        // fields clear and the feed reloads with the highlight kept.
        QSignalSpy published(m_page, &IdeasPage::ideaPublished);
        m_page->setProperty("openIdeasFromProfile", true);
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
        QCOMPARE(m_page->property("highlightMyIdeas").toBool(), true);
        QCOMPARE(cards().first()->property("profileIdeaHighlight").toBool(), true);
        QCOMPARE(m_page->countLabel()->text(), QStringLiteral("13 IDEAS"));
    }

    void likeShowsTheServerCountAndIsGuarded()
    {
        openAndWait(12);
        ProfileIdeaFrame* card = cards().first();
        QPointer<QPushButton> like = card->findChild<QPushButton*>("desktopIdeaAction");
        QVERIFY(like && like->property("ideaLike").toBool());
        const QString before = like->text();

        // The count shown is whatever the server says, not a local +1.
        m_server.failNext("/ideas/*", cannedReply({{"success", true}, {"liked", true}, {"like_count", 42}}));
        like->click();
        QCOMPARE(like->isEnabled(), false);
        like->click();  // ignored while the first request is out
        QTRY_VERIFY_WITH_TIMEOUT(like->isEnabled(), 5000);
        QCOMPARE(like->text(), QStringLiteral("♥  42"));
        QCOMPARE(like->property("liked").toBool(), true);
        int likeRequests = 0;
        QJsonObject likeRequest;
        for (const QJsonValue& value : m_server.requests()) {
            if (value.toObject().value("path").toString().endsWith(QLatin1String("/like"))) {
                ++likeRequests;
                likeRequest = value.toObject();
            }
        }
        QCOMPARE(likeRequests, 1);
        QCOMPARE(header(likeRequest, "X-CSRFToken"), m_token);
        QCOMPARE(header(likeRequest, "Referer"), ServerEndpoints::baseUrl() + QStringLiteral("/ideas"));
        QVERIFY(QRegularExpression(QStringLiteral("^/ideas/\\d+/like$")).match(likeRequest.value("path").toString()).hasMatch());

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
        m_server.failNext("/api/desktop/ideas", cannedReply({{"success", true}, {"csrf_token", m_token}, {"ideas", edited}}));
        m_page->openIdeasPage();
        QTRY_VERIFY_WITH_TIMEOUT(like.isNull(), 5000);
        const QString rebuiltText = cards().first()->findChild<QPushButton*>("desktopIdeaAction")->text();
        QTest::qWait(800);
        QCOMPARE(cards().first()->findChild<QPushButton*>("desktopIdeaAction")->text(), rebuiltText);
        QVERIFY(m_warnings.isEmpty());
    }

    void aLikeFailureBoxSurvivesARebuildOfTheFeed()
    {
        // The box's parent must outlive the card: rebuild the feed while the box is "open".
        openAndWait(12);
        QPointer<QPushButton> like = cards().first()->findChild<QPushButton*>("desktopIdeaAction");
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
        m_server.failNext("/api/desktop/ideas", cannedReply(reply));
        m_page->openIdeasPage();
        QTRY_COMPARE_WITH_TIMEOUT(rowCount(), 3000, 10000);
        QVERIFY(m_page->cardsView()->builtCount() < 40);
        QVERIFY(cards().first()->findChild<QLabel*>("desktopIdeaText")->text().size() <= 4000);
        QVERIFY(cards().first()->height() < 2000);
        QTRY_VERIFY_WITH_TIMEOUT(!cards().last()->findChild<QLabel*>("desktopIdeaAuthorAvatar")->pixmap().isNull(), 5000);

        // Scrolling to the end builds the cards there and drops the first ones.
        QPointer<ProfileIdeaFrame> top = cards().first();
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
        m_server.failNext("/api/desktop/ideas", cannedReply(reply));
        m_page->openIdeasPage();
        QTRY_VERIFY_WITH_TIMEOUT(m_server.lastRequest("/api/desktop/ideas").contains("path"), 5000);
        QTest::qWait(500);
        QVERIFY(inserted.isEmpty() && changed.isEmpty());
        QCOMPARE(PagesTestAvatars::count(m_server, "/static/avatars/comet.png"), 1);
    }

private:
    int rowCount() const { return m_page->ideasModel()->rowCount(); }

    // The cards built at the moment (those in and near the view).
    QList<ProfileIdeaFrame*> cards() const
    {
        // Cards of a replaced feed are only scheduled for deletion: let them go first.
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        QList<ProfileIdeaFrame*> result;
        for (ProfileIdeaFrame* card : m_page->feed()->findChildren<ProfileIdeaFrame*>())
            result.append(card);
        // Feed order, top to bottom.
        std::sort(result.begin(), result.end(), [this](QWidget* a, QWidget* b) {
            return a->mapTo(m_page->feed(), QPoint()).y() < b->mapTo(m_page->feed(), QPoint()).y();
        });
        return result;
    }

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
    std::unique_ptr<QNetworkAccessManager> m_network;
    std::unique_ptr<QStackedWidget> m_stack;
    QWidget* m_otherPage = nullptr;
    IdeasPage* m_page = nullptr;
    QList<Warning> m_warnings;
};

QTEST_MAIN(TestIdeasPage)
#include "tst_IdeasPage.moc"
