#include "pages/PagesTestSupport.h"

#include "pages/members/MembersPage.h"
#include "pages/profile/PublicProfilePage.h"
#include "session/AvatarCache.h"
#include "support/DevServerSuite.h"
#include "widgets/avatar/CircularProfileAvatar.h"
#include "widgets/KeyedListModel.h"
#include "widgets/WindowedRows.h"

#include <QLabel>
#include <QPushButton>
#include <QTextDocument>

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

QString cardName(const QWidget* card)
{
    const QLabel* name = card ? card->findChild<QLabel*>(QStringLiteral("membersUserName")) : nullptr;
    return name ? name->text() : QString();
}

// The names on the cards of a list, in order (all of them are in view in these tests).
QStringList names(WindowedRows* list)
{
    QStringList result;
    for (int row = 0; row < list->model()->rowCount(); ++row)
        result << cardName(list->widgetForRow(row));
    return result;
}

QString renderedText(const QLabel* label)
{
    QTextDocument document;
    document.setHtml(label->text());
    return document.toPlainText();
}

}  // namespace

class TestMembersPage : public DevServerSuite
{
    Q_OBJECT

private slots:
    void init()
    {
        QVERIFY(m_server.reset());
        m_host = std::make_unique<PageStack>(m_server, QStringLiteral("luna"), QSize(1200, 750));
        m_opened.clear();
        m_page = new MembersPage(m_host->network.get(), [this](const QString& name) { m_opened << name; });
        m_host->stack.addWidget(m_page);
        m_host->stack.setCurrentWidget(m_page);
    }

    void cleanup() { m_host.reset(); }

    void quickSecondLoadIsDroppedAndAnUnchangedDirectoryKeepsItsCards()
    {
        m_page->loadMembers();
        QCOMPARE(m_page->statusLabel()->text(), QStringLiteral("Loading members..."));
        m_page->loadMembers();
        QTRY_VERIFY(!m_page->isLoading());
        QCOMPARE(m_server.requestCount(kMembersPath), 1);
        // Nobody has a live socket right after a reset: all nine in the grid, none online.
        QCOMPARE(m_page->countBadge()->text(), QStringLiteral("9 MEMBERS"));
        QCOMPARE(m_page->onlineCountBadge()->text(), QStringLiteral("0"));
        auto* noneOnline = m_page->findChild<QLabel*>(QStringLiteral("membersNoneOnline"));
        QVERIFY(!noneOnline->isHidden() && noneOnline->text() == QLatin1String("No members online."));

        // Downloaded avatars replace the placeholder; a member without one keeps it.
        QLabel* lunaAvatar = avatarOf(QStringLiteral("luna"));
        QTRY_VERIFY(!lunaAvatar->pixmap().isNull());
        QCOMPARE(avatarOf(QStringLiteral("drifter"))->text(), QStringLiteral("👤"));

        // Another visit is a new request; the unchanged directory keeps every card and avatar.
        QPointer<QWidget> lunaCard = lunaAvatar->parentWidget();
        const int avatarRequests = m_server.requests().size() - 1;
        m_page->loadMembers();
        QTRY_VERIFY(!m_page->isLoading());
        QTest::qWait(100);
        QVERIFY(!lunaCard.isNull());
        QCOMPARE(m_server.requests().size() - 2, avatarRequests);
    }

    void everyMemberGetsACardAndOnlyOnlineOnesReachThePanel()
    {
        const QJsonArray members{member("a", true, "fox.png"), member("b", false), member("c"),
                                 member("d", true), member("<b>e</b>", true), member("f"), member("g", "yes")};
        load(members);
        WindowedRows* grid = m_page->membersGrid();
        QCOMPARE(names(grid), (QStringList{"a", "b", "c", "d", "<b>e</b>", "f", "g"}));
        // "online" false, missing or not a boolean keeps a member out of the panel.
        QCOMPARE(names(m_page->onlineList()), (QStringList{"a", "d", "<b>e</b>"}));
        QCOMPARE(m_page->onlineCountBadge()->text(), QStringLiteral("3"));
        QCOMPARE(grid->widgetForRow(4)->findChild<QLabel*>("membersUserName")->textFormat(), Qt::PlainText);
    }

    void emptyListAndFailuresShowTheirTexts()
    {
        load({member("solo")});
        // Failures keep the previous cards.
        m_server.failNext(kMembersPath, {{"mode", "invalid_json"}});
        m_page->loadMembers();
        QTRY_VERIFY(!m_page->isLoading());
        QCOMPARE(m_page->statusLabel()->text(), QStringLiteral("Unable to load members. Reopen Members to retry."));
        QCOMPARE(names(m_page->membersGrid()), QStringList{"solo"});
        load({});
        QCOMPARE(m_page->countBadge()->text(), QStringLiteral("0 MEMBERS"));
        QCOMPARE(m_page->membersGrid()->builtCount(), 0);
        QCOMPARE(m_page->statusLabel()->text(), QStringLiteral("No members yet."));
    }

    // Fault seen: the member card's voice button could never be clicked (the card took every press).
    void cardsOpenTheProfileOnlyOnAReleaseInsideAndLeaveTheVoiceButtonItsClicks()
    {
        QJsonObject inVoice = member("Zoë Star", true, "my cat.png");
        inVoice.insert("voice_active", true);
        int voiceClicks = 0;
        m_page->setVoiceControlFactory([&](const QString&, QWidget* parent) {
            auto* button = new QPushButton(QStringLiteral("🎧"), parent);
            button->setObjectName(QStringLiteral("voiceTestButton"));
            connect(button, &QPushButton::clicked, [&] { ++voiceClicks; });
            return button;
        });
        load({inVoice});
        QWidget* card = m_page->membersGrid()->widgetForRow(0);
        const QPoint inside(20, 20);
        QTest::mousePress(card, Qt::LeftButton, {}, inside);
        QTest::mouseRelease(card, Qt::LeftButton, {}, QPoint(card->width() + 15, 20));
        QTest::mouseRelease(card, Qt::LeftButton, {}, inside);  // release without a press
        QTest::mouseClick(card, Qt::RightButton, {}, inside);
        QVERIFY(m_opened.isEmpty());
        QTest::mouseClick(card, Qt::LeftButton, {}, inside);
        QTest::mouseClick(m_page->onlineList()->widgetForRow(0), Qt::LeftButton, {}, inside);
        QCOMPARE(m_opened, (QStringList{"Zoë Star", "Zoë Star"}));

        auto* voice = card->findChild<QPushButton*>(QStringLiteral("voiceTestButton"));
        QTest::mouseClick(voice, Qt::LeftButton, {}, voice->rect().center());
        QCOMPARE(voiceClicks, 1);
        QCOMPARE(m_opened.size(), 2);
        // The avatar file name travels as one percent-encoded path segment, once for both cards.
        QTRY_COMPARE(m_server.requestCount(QStringLiteral("/static/avatars/my%20cat.png")), 1);
    }

    void profileShowsHostileValuesLiterallyAndFailuresKeepTheName()
    {
        PublicProfilePage page(m_host->network.get());
        const QJsonObject user{{"username", "<u>n</u>"}, {"status", "<b>x</b>"},
                               {"description", "<img src=\"http://127.0.0.1:9/x.png\">"},
                               {"member_since", "<img src=x>&amp;"}, {"message_count", 4}, {"nebulite_best_score", 1200}};
        cannedReply(m_server, QStringLiteral("/api/desktop/users/mira"), {{"success", true}, {"user", user}});
        page.openProfile(QStringLiteral("mira"));
        QTRY_COMPARE(page.infoLabel()->text(), QString());
        QCOMPARE(page.nameLabel()->text(), QStringLiteral("<u>n</u>"));
        QCOMPARE(page.nameLabel()->textFormat(), Qt::PlainText);
        QCOMPARE(page.descriptionLabel()->textFormat(), Qt::PlainText);
        QCOMPARE(renderedText(page.statusLabel()), QStringLiteral("● <b>x</b>"));
        QVERIFY(renderedText(page.memberSinceLabel()).endsWith(QStringLiteral("<img src=x>&amp;")));

        page.openProfile(QStringLiteral("nobody"));
        QTRY_COMPARE(page.infoLabel()->text(), QStringLiteral("User not found."));
        QCOMPARE(page.nameLabel()->text(), QStringLiteral("nobody"));
        QCOMPARE(page.ideaCount()->text(), QStringLiteral("—"));
    }

    // Fault seen: 100 KB names and thousands of members froze the window.
    void manyMembersBuildOnlyTheCardsInView()
    {
        QJsonArray members;  // the dev server takes canned replies up to 1 MB
        for (int i = 0; i < 5000; ++i)
            members.append(member(i == 5 ? QString(100000, QLatin1Char('n')) : QStringLiteral("m%1").arg(i), true,
                                  "comet.png"));
        load(members);
        QCOMPARE(m_page->onlineCountBadge()->text(), QStringLiteral("5000"));
        QVERIFY(m_page->membersGrid()->builtCount() < 120);
        QVERIFY(m_page->onlineList()->builtCount() <= m_page->onlineModel()->maxRows());
        QVERIFY(cardName(m_page->membersGrid()->widgetForRow(5)).size() <= 64);
        QTRY_COMPARE(m_server.requestCount(QStringLiteral("/static/avatars/comet.png")), 1);
    }

private:
    // The members page shows this directory.
    void load(const QJsonArray& members)
    {
        cannedReply(m_server, kMembersPath, {{"success", true}, {"members", members}});
        m_page->loadMembers();
        QTRY_VERIFY_WITH_TIMEOUT(!m_page->isLoading(), 20000);
    }

    QLabel* avatarOf(const QString& name) const
    {
        QWidget* card = m_page->membersGrid()->widgetForRow(names(m_page->membersGrid()).indexOf(name));
        return card->findChild<QLabel*>(QStringLiteral("membersUserAvatar"));
    }

    std::unique_ptr<PageStack> m_host;
    MembersPage* m_page = nullptr;
    QStringList m_opened;
};

QTEST_MAIN(TestMembersPage)
#include "tst_MembersPage.moc"
