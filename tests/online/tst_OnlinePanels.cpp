#include "online/ChatOnlinePanel.h"
#include "online/GamesOnlinePanel.h"
#include "online/IdeasOnlinePanel.h"
#include "session/AvatarCache.h"
#include "support/DevServerSuite.h"
#include "support/SignedInClient.h"
#include "support/SignedInWindow.h"
#include "widgets/KeyedListModel.h"
#include "widgets/WindowedRows.h"

#include <QBoxLayout>
#include <QJsonArray>
#include <QLabel>
#include <QPushButton>
#include <QSignalSpy>
#include <QtTest>

namespace {

const QString kPresencePath = QStringLiteral("/api/desktop/presence");
const QString kOnlineMembersPath = QStringLiteral("/api/online-members");

QList<QWidget*> rows(const OnlinePanel& panel)
{
    QList<QWidget*> result;
    for (int row = 0; row < panel.membersModel()->rowCount(); ++row)
        result << panel.rowsView()->widgetForRow(row);
    return result;
}

QStringList texts(const OnlinePanel& panel, const QString& objectName)
{
    QStringList result;
    for (QWidget* row : rows(panel))
        result << row->findChild<QLabel*>(objectName)->text();
    return result;
}

bool reloadAndWait(OnlinePanel& panel)
{
    QSignalSpy handled(&panel, &OnlinePanel::replyHandled);
    panel.reload();
    return handled.wait(8000);
}

// A panel of each kind, shown, recording the profiles it opens and the voice
// controls it asks for (a marker button each).
struct Panel
{
    Panel(const QString& kind, QNetworkAccessManager* network)
        : path(kind == "chat" ? kPresencePath : kOnlineMembersPath)
        , prefix(kind == "chat" ? QStringLiteral("onlineMember") : kind + QStringLiteral("Member"))
    {
        panel.reset(kind == "chat"    ? static_cast<OnlinePanel*>(new ChatOnlinePanel(network))
                    : kind == "ideas" ? static_cast<OnlinePanel*>(new IdeasOnlinePanel(network))
                                      : new GamesOnlinePanel(network));
        panel->setOpenProfile([this](const QString& userName) { opened << userName; });
        panel->setVoiceControlFactory([this](const QString& userName, QWidget* parent) -> QWidget* {
            voice << userName;
            auto* button = new QPushButton(QStringLiteral("🎧"), parent);
            button->setObjectName(QStringLiteral("voiceMarker"));
            return button;
        });
        panel->resize(260, 600);
        panel->show();
    }

    const QString path;
    const QString prefix;  // of the row widgets' object names
    std::unique_ptr<OnlinePanel> panel;
    QStringList opened;
    QStringList voice;
};

const QJsonObject kPresence{
    {"success", true},
    {"online_count", 3},
    {"members", QJsonArray{QJsonObject{{"username", "<b>ann</b>"}, {"online", true}, {"profile_image", ""}},
                           QJsonObject{{"username", "bo"}, {"online", true}, {"profile_image", "cat.png"},
                                       {"status", "<img src=file:///etc/passwd>"}, {"voice_active", true}},
                           QJsonObject{{"username", "cy"}, {"online", false}, {"profile_image", "fox.png"}},
                           QJsonObject{{"username", "dee"}, {"profile_image", "frog.png"}}}}};

}  // namespace

class TestOnlinePanels : public DevServerSuite
{
    Q_OBJECT

private slots:
    void init()
    {
        QVERIFY(m_server.reset());
        AvatarCache::instance()->clear();
        m_luna = std::make_unique<SignedInClient>(m_server, QStringLiteral("luna"));
    }

    void rowsShowTheMembersAndOpenTheirProfiles_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<QJsonValue>("reply");
        QTest::addColumn<QString>("counter");
        QTest::addColumn<QStringList>("names");
        QTest::addColumn<QStringList>("statuses");
        QTest::addColumn<int>("placeholderRow");  // no picture: the placeholder stays (-1: none)
        QTest::addColumn<int>("downloads");
        // Only members marked online; the counter is the server's.
        QTest::newRow("chat") << "chat" << QJsonValue(kPresence) << "3" << QStringList{"<b>ann</b>", "bo"}
                              << QStringList{"Online", "<img src=file:///etc/passwd>"} << 0 << 1;
        QTest::newRow("ideas") << "ideas"
                               << QJsonValue(QJsonArray{QJsonObject{{"username", "<i>x</i>"}, {"status", "Away"},
                                                                    {"profile_image", "comet.png"}},
                                                        QJsonObject{{"username", "bo"}, {"voice_active", true}}})
                               << "2" << QStringList{"<i>x</i>", "bo"} << QStringList{"Away", "Online"} << -1 << 0;
        // A status of spaces is "Online", "online": false is "Offline"; built-in pictures need no download.
        QTest::newRow("games") << "games"
                               << QJsonValue(QJsonArray{
                                      QJsonObject{{"username", "a"}, {"status", "   "}, {"profile_image", "cat.png"}},
                                      QJsonObject{{"username", "bo"}, {"status", "Busy"}, {"online", false},
                                                  {"profile_image", "fox.png"}, {"voice_active", true}},
                                      QJsonObject{{"username", "c"}, {"status", " Away "}, {"profile_image", "comet.png"}},
                                      QJsonObject{{"username", "d"}, {"status", "Gaming"}, {"profile_image", ""}}})
                               << "4" << QStringList{"a", "bo", "c", "d"}
                               << QStringList{"Online", "Offline", "Away", "Gaming"} << 3 << 1;
    }

    void rowsShowTheMembersAndOpenTheirProfiles()
    {
        QFETCH(QString, kind);
        QFETCH(QJsonValue, reply);
        QFETCH(int, placeholderRow);
        Panel shown(kind, &m_luna->network);
        const QString& prefix = shown.prefix;
        cannedReply(m_server, shown.path, reply);
        m_server.clearRequests();
        QVERIFY(reloadAndWait(*shown.panel));

        QTEST(shown.panel->counterLabel()->text(), "counter");
        QTEST(texts(*shown.panel, prefix + "Name"), "names");
        QTEST(texts(*shown.panel, prefix + "Status"), "statuses");
        QCOMPARE(shown.voice, QStringList{"bo"});
        const QList<QWidget*> all = rows(*shown.panel);
        for (QWidget* row : all) {
            for (QLabel* label : row->findChildren<QLabel*>())
                QCOMPARE(label->textFormat(), Qt::PlainText);
            if (all.indexOf(row) != placeholderRow)
                QTRY_VERIFY_WITH_TIMEOUT(!row->findChild<QLabel*>(prefix + "Avatar")->pixmap().isNull(), 8000);
        }
        if (placeholderRow >= 0)
            QCOMPARE(all[placeholderRow]->findChild<QLabel*>(prefix + "Avatar")->text(), QStringLiteral("👤"));
        QTEST(m_server.requestCount("/static/avatars/*"), "downloads");

        // The voice control sits after the status text and keeps its own clicks;
        // the name and the avatar open the profile.
        QWidget* bo = all[1];
        auto* control = bo->findChild<QPushButton*>("voiceMarker");
        QCOMPARE(qobject_cast<QBoxLayout*>(bo->findChild<QWidget*>(prefix + "StatusRow")->layout())->indexOf(control), 2);
        QTest::mouseClick(control, Qt::LeftButton);
        QVERIFY(shown.opened.isEmpty());
        QTest::mouseClick(bo->findChild<QLabel*>(prefix + "Name"), Qt::LeftButton);
        QTest::mouseClick(bo->findChild<QLabel*>(prefix + "Avatar"), Qt::LeftButton);
        QCOMPARE(shown.opened, (QStringList{"bo", "bo"}));
    }

    // The chat panel keeps its rows on failures (and says why in the log); ideas
    // says "Unavailable"; games keeps its rows. The counter stays in every case.
    void failuresKeepTheCounter_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<QJsonValue>("reply");  // null: a network error
        QTest::addColumn<QString>("warning");
        QTest::newRow("chat, error") << "chat" << QJsonValue() << "^Errore Online Members: ";
        QTest::newRow("chat, refused") << "chat" << QJsonValue(QJsonObject{{"success", false}})
                                       << R"(^Risposta presenza utenti non valida: \{"success":false\}$)";
        QTest::newRow("ideas") << "ideas" << QJsonValue() << QString();
        QTest::newRow("games") << "games" << QJsonValue(QJsonObject()) << QString();
    }

    void failuresKeepTheCounter()
    {
        QFETCH(QString, kind);
        QFETCH(QJsonValue, reply);
        QFETCH(QString, warning);
        Panel shown(kind, &m_luna->network);
        cannedReply(m_server, shown.path, kind == "chat" ? QJsonValue(kPresence) : QJsonArray{QJsonObject{{"username", "bo"}}});
        QVERIFY(reloadAndWait(*shown.panel));
        const QList<QWidget*> before = rows(*shown.panel);
        const QString counter = shown.panel->counterLabel()->text();
        if (!warning.isEmpty())
            QTest::ignoreMessage(QtWarningMsg, QRegularExpression(warning));
        reply.isNull() ? m_server.failNext(shown.path, {{"mode", "status"}}) : cannedReply(m_server, shown.path, reply);
        QVERIFY(reloadAndWait(*shown.panel));
        const bool unavailable = kind == "ideas";
        QCOMPARE(rows(*shown.panel), unavailable ? QList<QWidget*>() : before);
        QCOMPARE(shown.panel->counterLabel()->text(), counter);
        QCOMPARE(shown.panel->messageLabel() ? shown.panel->messageLabel()->text() : QString(),
                 unavailable ? QStringLiteral("Unavailable") : QString());
    }

    // A flood of presence events while a request is out leads to exactly one more
    // request, and a member whose row data did not change keeps the row and its state.
    void reloadsAreCoalescedAndUnchangedRowsStay()
    {
        Panel shown("chat", &m_luna->network);
        cannedReply(m_server, kPresencePath, kPresence);
        QVERIFY(reloadAndWait(*shown.panel));
        const QList<QWidget*> before = rows(*shown.panel);
        QPointer<QPushButton> control = before[1]->findChild<QPushButton*>("voiceMarker");
        control->setProperty("speaking", true);  // what the voice controls show on the row

        QTest::qWait(600);  // past the minimum interval, so that the first reload starts at once
        QJsonArray members = kPresence.value("members").toArray();
        members.replace(0, QJsonObject{{"username", "<b>ann</b>"}, {"online", true}, {"status", "Away"}});
        QJsonObject changed = kPresence;
        changed.insert("members", members);
        cannedReply(m_server, kPresencePath, changed);
        cannedReply(m_server, kPresencePath, changed);
        m_server.clearRequests();
        QSignalSpy handled(shown.panel.get(), &OnlinePanel::replyHandled);
        for (int i = 0; i < 200; ++i)
            shown.panel->reload();
        QTRY_COMPARE_WITH_TIMEOUT(handled.count(), 2, 8000);
        QTest::qWait(700);
        QCOMPARE(m_server.requestCount(kPresencePath), 2);
        QCOMPARE(m_server.requestCount("/static/avatars/*"), 0);

        QCOMPARE(texts(*shown.panel, "onlineMemberStatus").first(), QStringLiteral("Away"));
        QCOMPARE(rows(*shown.panel).at(1), before[1]);
        QVERIFY(control && control->property("speaking").toBool());
        QCOMPARE(shown.voice, QStringList{"bo"});
    }

private:
    std::unique_ptr<SignedInClient> m_luna;
};

QTEST_MAIN(TestOnlinePanels)
#include "tst_OnlinePanels.moc"
