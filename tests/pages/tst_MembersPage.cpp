#include "PagesTestSupport.h"

#include "pages/MembersPage.h"
#include "pages/PublicProfilePage.h"
#include "widgets/CircularProfileAvatar.h"

#include <QGridLayout>
#include <QLabel>
#include <QPushButton>
#include <QSignalSpy>
#include <QTextDocument>
#include <QVBoxLayout>

using namespace PagesTest;

namespace {

const QString kMembersPath = QStringLiteral("/api/desktop/members");

QJsonObject member(const QString& name, const QJsonValue& online = QJsonValue(QJsonValue::Undefined), const QString& image = {})
{
    QJsonObject record{{"username", name}, {"status", "Away"}, {"profile_image", image}, {"voice_active", false}};
    if (!online.isUndefined())
        record.insert("online", online);
    return record;
}

QString cardName(QLayoutItem* item)
{
    const QLabel* name = item && item->widget() ? item->widget()->findChild<QLabel*>(QStringLiteral("membersUserName"))
                                                : nullptr;
    return name ? name->text() : QString();
}

QStringList onlineNames(QVBoxLayout* list)
{
    QStringList names;
    for (int i = 0; i < list->count(); ++i)
        names << cardName(list->itemAt(i));
    return names;
}

QString renderedText(const QLabel* label)
{
    QTextDocument document;
    document.setHtml(label->text());
    return document.toPlainText();
}

}  // namespace

class TestMembersPage : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { QVERIFY(m_server.start()); }

    void init()
    {
        QVERIFY(m_server.reset());
        m_network = std::make_unique<QNetworkAccessManager>();
        logIn(m_server, *m_network, QStringLiteral("luna"));
        m_opened.clear();
        m_page = std::make_unique<MembersPage>(m_network.get(), [this](const QString& name) { m_opened << name; });
        m_server.clearRequests();
    }

    void cleanup()
    {
        m_page.reset();
        m_network.reset();
    }

    void quickSecondLoadIsDroppedAndDemoDirectoryShows()
    {
        m_page->loadMembers();
        QVERIFY(m_page->isLoading());
        QCOMPARE(m_page->statusLabel()->text(), QStringLiteral("Loading members..."));
        m_page->loadMembers();
        QTRY_VERIFY(!m_page->isLoading());
        QCOMPARE(requestsFor(m_server, kMembersPath).size(), 1);

        // Nobody has a live socket right after a reset: all nine in the grid, none online.
        QCOMPARE(m_page->countBadge()->text(), QStringLiteral("9 MEMBERS"));
        QCOMPARE(m_page->membersGrid()->count(), 9);
        QCOMPARE(m_page->onlineCountBadge()->text(), QStringLiteral("0"));
        QCOMPARE(m_page->onlineList()->count(), 1);
        auto* none = qobject_cast<QLabel*>(m_page->onlineList()->itemAt(0)->widget());
        QVERIFY(none);
        QCOMPARE(none->text(), QStringLiteral("No members online."));
        QVERIFY(m_page->statusLabel()->isHidden());

        // Downloaded avatars replace the placeholder; a member without one keeps it.
        QLabel* lunaAvatar = nullptr;
        QLabel* drifterAvatar = nullptr;
        for (int i = 0; i < m_page->membersGrid()->count(); ++i) {
            QWidget* card = m_page->membersGrid()->itemAt(i)->widget();
            auto* avatar = card->findChild<QLabel*>(QStringLiteral("membersUserAvatar"));
            if (cardName(m_page->membersGrid()->itemAt(i)) == QLatin1String("luna"))
                lunaAvatar = avatar;
            if (cardName(m_page->membersGrid()->itemAt(i)) == QLatin1String("drifter"))
                drifterAvatar = avatar;
        }
        QVERIFY(lunaAvatar && drifterAvatar);
        QTRY_VERIFY(!lunaAvatar->pixmap().isNull());
        QCOMPARE(lunaAvatar->pixmap().size(), QSize(54, 54));
        QCOMPARE(drifterAvatar->text(), QStringLiteral("👤"));

        // Another visit is a new request.
        m_page->loadMembers();
        QTRY_VERIFY(!m_page->isLoading());
        QCOMPARE(requestsFor(m_server, kMembersPath).size(), 2);
    }

    void sevenMembersFillThreeRowsAndOnlyOnlineOnesReachThePanel()
    {
        const QJsonArray members{member("a", true, "fox.png"), member("b", false), member("c"),
                                 member("d", true), member("<b>e</b>", true), member("f"), member("g", "yes")};
        cannedReply(m_server, kMembersPath, {{"success", true}, {"members", members}});
        m_page->loadMembers();
        QTRY_VERIFY(!m_page->isLoading());

        QGridLayout* grid = m_page->membersGrid();
        QCOMPARE(grid->count(), 7);
        const QStringList expected{"a", "b", "c", "d", "<b>e</b>", "f"};
        for (int i = 0; i < expected.size(); ++i)
            QCOMPARE(cardName(grid->itemAtPosition(i / 3, i % 3)), expected.at(i));
        QCOMPARE(cardName(grid->itemAtPosition(2, 0)), QStringLiteral("g"));
        QVERIFY(!grid->itemAtPosition(2, 1));
        QVERIFY(!grid->itemAtPosition(2, 2));
        QCOMPARE(m_page->countBadge()->text(), QStringLiteral("7 MEMBERS"));

        // "online" false, missing or not a boolean keeps a member out of the panel.
        QCOMPARE(onlineNames(m_page->onlineList()), (QStringList{"a", "d", "<b>e</b>"}));
        QCOMPARE(m_page->onlineCountBadge()->text(), QStringLiteral("3"));
        QWidget* compact = m_page->onlineList()->itemAt(0)->widget();
        QCOMPARE(compact->findChild<QLabel*>(QStringLiteral("membersUserAvatar"))->size(), QSize(42, 42));
        // Server strings are plain text.
        QCOMPARE(grid->itemAtPosition(1, 1)->widget()->findChild<QLabel*>("membersUserName")->textFormat(),
                 Qt::PlainText);
        QTRY_VERIFY(!compact->findChild<QLabel*>(QStringLiteral("membersUserAvatar"))->pixmap().isNull());
    }

    void emptyListAndFailuresShowTheirTexts()
    {
        cannedReply(m_server, kMembersPath, {{"success", true}, {"members", QJsonArray{member("solo")}}});
        m_page->loadMembers();
        QTRY_VERIFY(!m_page->isLoading());
        QCOMPARE(m_page->membersGrid()->count(), 1);

        // Failures of every kind keep the previous cards.
        const QString failureText = QStringLiteral("Unable to load members. Reopen Members to retry.");
        const QList<QJsonObject> failures{
            {{"mode", "status"}, {"status", 500}},
            {{"mode", "invalid_json"}},
        };
        for (const QJsonObject& failure : failures) {
            m_server.failNext(kMembersPath, failure);
            m_page->loadMembers();
            QTRY_VERIFY(!m_page->isLoading());
            QCOMPARE(m_page->statusLabel()->text(), failureText);
            QVERIFY(!m_page->statusLabel()->isHidden());
            QCOMPARE(m_page->membersGrid()->count(), 1);
        }
        for (const QJsonObject& reply : {QJsonObject{{"success", false}, {"members", QJsonArray()}},
                                         QJsonObject{{"success", true}, {"members", "none"}}}) {
            cannedReply(m_server, kMembersPath, reply);
            m_page->loadMembers();
            QTRY_VERIFY(!m_page->isLoading());
            QCOMPARE(m_page->statusLabel()->text(), failureText);
            QCOMPARE(m_page->membersGrid()->count(), 1);
        }

        cannedReply(m_server, kMembersPath, {{"success", true}, {"members", QJsonArray()}});
        m_page->loadMembers();
        QTRY_VERIFY(!m_page->isLoading());
        QCOMPARE(m_page->countBadge()->text(), QStringLiteral("0 MEMBERS"));
        QCOMPARE(m_page->membersGrid()->count(), 0);
        QCOMPARE(m_page->onlineList()->count(), 1);
        QCOMPARE(qobject_cast<QLabel*>(m_page->onlineList()->itemAt(0)->widget())->text(),
                 QStringLiteral("No members online."));
        QCOMPARE(m_page->statusLabel()->text(), QStringLiteral("No members yet."));
        QVERIFY(!m_page->statusLabel()->isHidden());
    }

    void cardsOpenTheProfileOnlyOnAReleaseInside()
    {
        const QJsonArray members{member("Zoë Star", true, "my cat.png")};
        cannedReply(m_server, kMembersPath, {{"success", true}, {"members", members}});
        m_page->loadMembers();
        QTRY_VERIFY(!m_page->isLoading());
        QWidget* card = m_page->membersGrid()->itemAt(0)->widget();
        QWidget* compact = m_page->onlineList()->itemAt(0)->widget();
        card->resize(300, 90);
        compact->resize(200, 84);

        const QPoint inside(20, 20);
        QTest::mousePress(card, Qt::LeftButton, {}, inside);
        QTest::mouseRelease(card, Qt::LeftButton, {}, QPoint(card->width() + 15, 20));
        QTest::mouseRelease(card, Qt::LeftButton, {}, inside);  // release without a press
        QTest::mousePress(card, Qt::RightButton, {}, inside);
        QTest::mouseRelease(card, Qt::RightButton, {}, inside);
        QVERIFY(m_opened.isEmpty());

        QTest::mouseClick(card, Qt::LeftButton, {}, inside);
        QTest::mouseClick(compact, Qt::LeftButton, {}, inside);
        QCOMPARE(m_opened, (QStringList{"Zoë Star", "Zoë Star"}));

        // Children leave every press to the card.
        for (QWidget* child : card->findChildren<QWidget*>())
            QVERIFY(child->testAttribute(Qt::WA_TransparentForMouseEvents));

        // The avatar file name travels as one percent-encoded path segment.
        QTRY_COMPARE(requestsFor(m_server, QStringLiteral("/static/avatars/my cat.png")).size(), 2);
        QCOMPARE(requestsFor(m_server, QStringLiteral("/static/avatars/my cat.png"))
                     .at(0).toObject().value("raw_path").toString(),
                 QStringLiteral("/static/avatars/my%20cat.png"));
    }

    void laterOpenWinsOverALateReply()
    {
        PublicProfilePage page(m_network.get());
        QSignalSpy shown(&page, &PublicProfilePage::showRequested);
        QSignalSpy finished(m_network.get(), &QNetworkAccessManager::finished);
        delayNext(m_server, QStringLiteral("/api/desktop/users/luna"), 700);
        page.openProfile(QStringLiteral("luna"));
        QCOMPARE(page.nameLabel()->text(), QStringLiteral("luna"));
        QCOMPARE(page.infoLabel()->text(), QStringLiteral("Loading profile..."));
        QCOMPARE(page.messageCount()->text(), QStringLiteral("—"));
        page.openProfile(QStringLiteral("Zoë Star"));
        QCOMPARE(shown.count(), 2);
        QCOMPARE(page.property("profileRequestId").toInt(), 2);

        QTRY_COMPARE(page.infoLabel()->text(), QString());
        QCOMPARE(page.nameLabel()->text(), QStringLiteral("Zoë Star"));
        const QString zoeDescription = page.descriptionLabel()->text();
        // luna's late reply (and anything it would fetch) changes nothing.
        QTRY_COMPARE_WITH_TIMEOUT(finished.count(), 2, 3000);
        QTest::qWait(50);
        QCOMPARE(page.nameLabel()->text(), QStringLiteral("Zoë Star"));
        QCOMPARE(page.descriptionLabel()->text(), zoeDescription);
        // Nobody has a live socket here, so the server reports her offline.
        QCOMPARE(renderedText(page.statusLabel()), QStringLiteral("● Offline"));

        const QJsonObject zoe = requestsFor(m_server, QStringLiteral("/api/desktop/users/Zoë Star")).at(0).toObject();
        QCOMPARE(zoe.value("raw_path").toString(), QStringLiteral("/api/desktop/users/Zo%C3%AB%20Star"));
        QCOMPARE(header(zoe, "Accept"), QStringLiteral("application/json"));
    }

    void avatarsResolveBuiltInFirstThenDownload()
    {
        PublicProfilePage page(m_network.get());
        page.openProfile(QStringLiteral("orion"));  // fox.png is built in
        QTRY_COMPARE(page.infoLabel()->text(), QString());
        QPixmap fox(QStringLiteral(":/avatar/fox.png"));
        QCOMPARE(page.avatar()->pixmap().toImage(), fox.toImage());

        page.openProfile(QStringLiteral("nova"));  // comet.png exists only on the server
        QVERIFY(page.avatar()->pixmap().isNull());
        QTRY_VERIFY(!page.avatar()->pixmap().isNull());
        QCOMPARE(requestsFor(m_server, QStringLiteral("/static/avatars/comet.png")).size(), 1);
        QCOMPARE(requestsFor(m_server, QStringLiteral("/static/avatars/fox.png")).size(), 0);

        // An avatar download that lands after another open is dropped.
        QSignalSpy finished(m_network.get(), &QNetworkAccessManager::finished);
        delayNext(m_server, QStringLiteral("/static/avatars/comet.png"), 500);
        page.openProfile(QStringLiteral("nova"));
        QTRY_COMPARE(page.infoLabel()->text(), QString());
        page.openProfile(QStringLiteral("drifter"));  // no avatar at all
        QTRY_COMPARE(page.infoLabel()->text(), QString());
        QTRY_COMPARE_WITH_TIMEOUT(finished.count(), 3, 3000);  // two profiles and the late avatar
        QTest::qWait(50);
        QVERIFY(page.avatar()->pixmap().isNull());
    }

    void hostileValuesShowLiterallyAndFailuresKeepTheName()
    {
        PublicProfilePage page(m_network.get());
        const QJsonObject user{{"username", "<u>n</u>"},
                               {"status", "<b>x</b>"},
                               {"description", "<img src=\"http://127.0.0.1:9/x.png\">"},
                               {"member_since", "<img src=x>&amp;"},
                               {"message_count", 4},
                               {"idea_count", 2},
                               {"nebulite_best_score", 1200}};
        cannedReply(m_server, QStringLiteral("/api/desktop/users/mira"), {{"success", true}, {"user", user}});
        page.openProfile(QStringLiteral("mira"));
        QTRY_COMPARE(page.infoLabel()->text(), QString());
        QCOMPARE(page.nameLabel()->text(), QStringLiteral("<u>n</u>"));
        QCOMPARE(page.nameLabel()->textFormat(), Qt::PlainText);
        QCOMPARE(page.descriptionLabel()->textFormat(), Qt::PlainText);
        QCOMPARE(page.descriptionLabel()->text(), user.value("description").toString());
        QCOMPARE(renderedText(page.statusLabel()), QStringLiteral("● <b>x</b>"));
        QVERIFY(renderedText(page.memberSinceLabel()).endsWith(QStringLiteral("<img src=x>&amp;")));
        QCOMPARE(page.messageCount()->text(), QStringLiteral("4"));
        QCOMPARE(page.bestScore()->text(), QStringLiteral("1200"));

        // "online" false wins over the status; an empty description gets its default.
        cannedReply(m_server, QStringLiteral("/api/desktop/users/mira"),
                    {{"success", true}, {"user", QJsonObject{{"username", "mira"}, {"status", "Busy"}, {"online", false}}}});
        page.openProfile(QStringLiteral("mira"));
        QTRY_COMPARE(page.infoLabel()->text(), QString());
        QCOMPARE(renderedText(page.statusLabel()), QStringLiteral("● Offline"));
        QVERIFY(page.statusLabel()->text().contains(QStringLiteral("#81798d")));
        QCOMPARE(page.descriptionLabel()->text(), QStringLiteral("Nessuna descrizione ancora..."));

        page.openProfile(QStringLiteral("nobody"));
        QTRY_COMPARE(page.infoLabel()->text(), QStringLiteral("User not found."));
        QCOMPARE(page.nameLabel()->text(), QStringLiteral("nobody"));
        QCOMPARE(page.ideaCount()->text(), QStringLiteral("—"));

        m_server.failNext(QStringLiteral("/api/desktop/users/kai"),
                          {{"status", 502}, {"body", "bad gateway"}, {"content_type", "text/plain"}});
        page.openProfile(QStringLiteral("kai"));
        QTRY_COMPARE(page.infoLabel()->text(), QStringLiteral("Unable to load profile."));

        QSignalSpy back(&page, &PublicProfilePage::backToMembersRequested);
        page.backButton()->click();
        QCOMPARE(back.count(), 1);
    }

private:
    DevServer m_server;
    std::unique_ptr<QNetworkAccessManager> m_network;
    std::unique_ptr<MembersPage> m_page;
    QStringList m_opened;
};

QTEST_MAIN(TestMembersPage)
#include "tst_MembersPage.moc"
