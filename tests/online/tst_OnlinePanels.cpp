#include "online/StatusColor.h"
#include "online/ChatOnlinePanel.h"
#include "online/GamesOnlinePanel.h"
#include "online/IdeasOnlinePanel.h"
#include "support/SignedInClient.h"
#include "session/AvatarCache.h"
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

QByteArray compact(const QJsonValue& value)
{
    return value.isArray() ? QJsonDocument(value.toArray()).toJson(QJsonDocument::Compact)
                           : QJsonDocument(value.toObject()).toJson(QJsonDocument::Compact);
}

// The row widgets of the panel, in order.
QList<QWidget*> rows(const OnlinePanel& panel)
{
    QList<QWidget*> result;
    for (int row = 0; row < panel.membersModel()->rowCount(); ++row)
        result << panel.rowsView()->widgetForRow(row);
    return result;
}

void showPanel(OnlinePanel& panel)
{
    panel.resize(260, 600);
    panel.show();
}

QString childText(QWidget* row, const QString& objectName)
{
    QLabel* label = row->findChild<QLabel*>(objectName);
    return label ? label->text() : QStringLiteral("<missing>");
}

bool reloadAndWait(OnlinePanel& panel)
{
    QSignalSpy handled(&panel, &OnlinePanel::replyHandled);
    panel.reload();
    return handled.wait(8000);
}

// Records the voice-control insertions and hands back a marker button.
struct VoiceControls
{
    OnlinePanel::VoiceControlFactory factory()
    {
        return [this](const QString& userName, QWidget* parent) -> QWidget* {
            requested << userName;
            auto* button = new QPushButton(QStringLiteral("🎧"), parent);
            button->setObjectName(QStringLiteral("voiceMarker"));
            return button;
        };
    }
    QStringList requested;
};

int requestsFor(DevServer& server, const QString& pathPrefix)
{
    int count = 0;
    for (const QJsonValue& entry : server.requests())
        count += entry.toObject().value("path").toString().startsWith(pathPrefix);
    return count;
}

}  // namespace

class TestOnlinePanels : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { QVERIFY(m_server.start()); }
    void init()
    {
        QVERIFY(m_server.reset());
        AvatarCache::instance()->clear();
    }

    void chatPanelShowsTheMembersOnlineNowAndOpensTheirProfiles()
    {
        SignedInClient luna(m_server, QStringLiteral("luna"));
        SignedInClient orion(m_server, QStringLiteral("orion"));
        QVERIFY(luna.connectChannel());
        QVERIFY(orion.connectChannel());
        // Orion joins the voice room, so the server marks him voice_active.
        orion.channel->emitRealtimeEvent(QStringLiteral("voice_join"), {});
        QTRY_VERIFY_WITH_TIMEOUT(!orion.eventFrames("voice_existing_users").isEmpty(), 8000);

        ChatOnlinePanel panel(&luna.network);
        VoiceControls voice;
        panel.setVoiceControlFactory(voice.factory());
        QStringList opened;
        panel.setOpenProfile([&opened](const QString& userName) { opened << userName; });
        panel.resize(230, 400);
        panel.show();
        QVERIFY(reloadAndWait(panel));

        const QJsonObject presence = luna.fetch(kPresencePath).object();
        QCOMPARE(panel.counterLabel()->text(), QString::number(presence.value("online_count").toInt()));
        QCOMPARE(panel.counterLabel()->text(), QStringLiteral("2"));
        const QList<QWidget*> shown = rows(panel);
        QCOMPARE(shown.size(), 2);
        QStringList names;
        for (QWidget* row : shown)
            names << childText(row, "onlineMemberName");
        names.sort();
        QCOMPARE(names, (QStringList{"luna", "orion"}));
        QCOMPARE(voice.requested, QStringList{"orion"});

        // Avatars arrive from the server and replace the placeholder.
        for (QWidget* row : shown)
            QTRY_VERIFY_WITH_TIMEOUT(!row->findChild<QLabel*>("onlineMemberAvatar")->pixmap().isNull(), 8000);

        QWidget* orionRow = shown[0]->findChild<QPushButton*>("voiceMarker") ? shown[0] : shown[1];
        QPushButton* control = orionRow->findChild<QPushButton*>("voiceMarker");
        QVERIFY(control);
        // The control sits in the status line right after the status text.
        auto* statusLayout = qobject_cast<QBoxLayout*>(orionRow->findChild<QWidget*>("onlineMemberStatusRow")->layout());
        QCOMPARE(statusLayout->indexOf(control), 2);

        // A click on the control does not open the profile; on the name or avatar it does.
        QTest::mouseClick(control, Qt::LeftButton);
        QVERIFY(opened.isEmpty());
        QTest::mouseClick(orionRow->findChild<QLabel*>("onlineMemberName"), Qt::LeftButton);
        QTest::mouseClick(orionRow->findChild<QLabel*>("onlineMemberAvatar"), Qt::LeftButton);
        QCOMPARE(opened, (QStringList{"orion", "orion"}));

        // Pressing inside and releasing outside the row opens nothing.
        QLabel* name = orionRow->findChild<QLabel*>("onlineMemberName");
        QTest::mousePress(name, Qt::LeftButton, {}, QPoint(2, 2));
        QTest::mouseRelease(name, Qt::LeftButton, {}, name->mapFrom(orionRow, QPoint(-40, orionRow->height() + 40)));
        QCOMPARE(opened.size(), 2);
    }

    void chatPanelReadsScriptedPresenceAndKeepsRowsOnFailure()
    {
        SignedInClient luna(m_server, QStringLiteral("luna"));
        ChatOnlinePanel panel(&luna.network);
        showPanel(panel);
        VoiceControls voice;
        panel.setVoiceControlFactory(voice.factory());

        const QJsonObject presence{
            {"success", true},
            {"online_count", 3},
            {"members",
             QJsonArray{QJsonObject{{"username", "<b>ann</b>"}, {"online", true}, {"profile_image", ""}},
                        QJsonObject{{"username", "bo"},
                                    {"online", true},
                                    {"profile_image", "cat.png"},
                                    {"status", "<img src=file:///etc/passwd>"},
                                    {"voice_active", true}},
                        QJsonObject{{"username", "cy"}, {"online", false}, {"profile_image", "fox.png"}},
                        QJsonObject{{"username", "dee"}, {"profile_image", "frog.png"}}}}};
        scriptReply(m_server, kPresencePath, compact(presence));
        m_server.clearRequests();
        QVERIFY(reloadAndWait(panel));

        QCOMPARE(panel.counterLabel()->text(), QStringLiteral("3"));
        QList<QWidget*> shown = rows(panel);
        QCOMPARE(shown.size(), 2);
        QCOMPARE(childText(shown[0], "onlineMemberName"), QStringLiteral("<b>ann</b>"));
        QCOMPARE(childText(shown[0], "onlineMemberStatus"), QStringLiteral("Online"));
        QVERIFY(shown[0]->findChild<QWidget*>("onlineMemberStatusDot")->styleSheet().contains(
            moonLodgeStatusColor("Online").name()));
        QCOMPARE(shown[0]->findChild<QLabel*>("onlineMemberAvatar")->text(), QStringLiteral("👤"));
        QCOMPARE(childText(shown[1], "onlineMemberStatus"), QStringLiteral("<img src=file:///etc/passwd>"));
        for (QWidget* row : shown)
            for (QLabel* label : row->findChildren<QLabel*>())
                QCOMPARE(label->textFormat(), Qt::PlainText);
        QCOMPARE(voice.requested, QStringList{"bo"});
        // Only the one online member with a picture is downloaded, through its own route.
        QTRY_VERIFY_WITH_TIMEOUT(!shown[1]->findChild<QLabel*>("onlineMemberAvatar")->pixmap().isNull(), 8000);
        QCOMPARE(requestsFor(m_server, "/static/avatars/"), 1);
        QCOMPARE(m_server.lastRequest("/static/avatars/cat.png").value("method").toString(), QStringLiteral("GET"));

        // Failed or invalid replies only log; the rows stay.
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression("^Errore Online Members: "));
        failReply(m_server, kPresencePath);
        QVERIFY(reloadAndWait(panel));
        QTest::ignoreMessage(QtWarningMsg, "Risposta presenza utenti non valida: {\"success\":false}");
        scriptReply(m_server, kPresencePath, R"({"success":false})");
        QVERIFY(reloadAndWait(panel));
        QCOMPARE(rows(panel), shown);
        QCOMPARE(panel.counterLabel()->text(), QStringLiteral("3"));

        // The same members again, but bo left voice: ann keeps her row (and bo's avatar is
        // not downloaded again); bo's row is made anew, without the control.
        QJsonArray changed = presence.value("members").toArray();
        QJsonObject bo = changed.at(1).toObject();
        bo.insert("voice_active", false);
        changed.replace(1, bo);
        QJsonObject second = presence;
        second.insert("members", changed);
        scriptReply(m_server, kPresencePath, compact(second));
        QVERIFY(reloadAndWait(panel));
        QTest::qWait(50);
        const QList<QWidget*> after = rows(panel);
        QCOMPARE(after.size(), 2);
        QCOMPARE(after[0], shown[0]);
        QVERIFY(after[1] != shown[1]);
        QVERIFY(!after[1]->findChild<QPushButton*>("voiceMarker"));
        QVERIFY(!after[1]->findChild<QLabel*>("onlineMemberAvatar")->pixmap().isNull());
        QCOMPARE(requestsFor(m_server, "/static/avatars/"), 1);
    }

    void chatPanelReloadsAreCoalescedAndUnchangedRowsKeepTheirState()
    {
        SignedInClient luna(m_server, QStringLiteral("luna"));
        ChatOnlinePanel panel(&luna.network);
        showPanel(panel);
        VoiceControls voice;
        panel.setVoiceControlFactory(voice.factory());
        const QJsonObject presence{
            {"success", true},
            {"online_count", 1},
            {"members", QJsonArray{QJsonObject{{"username", "bo"}, {"online", true}, {"voice_active", true}}}}};
        scriptReply(m_server, kPresencePath, compact(presence));
        QVERIFY(reloadAndWait(panel));
        QPointer<QPushButton> control = rows(panel).at(0)->findChild<QPushButton*>("voiceMarker");
        QVERIFY(control);
        control->setProperty("speaking", true);  // what the voice controls show on the row

        // A flood of presence events while a request is out: exactly one more request.
        QTest::qWait(600);  // past the minimum interval, so that the first reload starts at once
        m_server.clearRequests();
        scriptReply(m_server, kPresencePath, compact(presence));
        scriptReply(m_server, kPresencePath, compact(presence));
        QSignalSpy handled(&panel, &OnlinePanel::replyHandled);
        for (int i = 0; i < 200; ++i)
            panel.reload();
        QTRY_COMPARE_WITH_TIMEOUT(handled.count(), 2, 8000);
        QTest::qWait(700);
        QCOMPARE(handled.count(), 2);
        QCOMPARE(requestsFor(m_server, kPresencePath), 2);

        // Both replies named the same member unchanged: the row, its control and its state stayed.
        QVERIFY(control);
        QCOMPARE(rows(panel).at(0)->findChild<QPushButton*>("voiceMarker"), control.data());
        QVERIFY(control->property("speaking").toBool());
        QCOMPARE(voice.requested, QStringList{"bo"});
    }

    void ideasPanelListsOnlineMembersOrSaysUnavailable()
    {
        SignedInClient luna(m_server, QStringLiteral("luna"));
        SignedInClient zoe(m_server, QStringLiteral("Zoë Star"));
        QVERIFY(luna.connectChannel());
        QVERIFY(zoe.connectChannel());

        IdeasOnlinePanel panel(&luna.network);
        showPanel(panel);
        VoiceControls voice;
        panel.setVoiceControlFactory(voice.factory());
        QStringList opened;
        panel.setOpenProfile([&opened](const QString& userName) { opened << userName; });
        QVERIFY(reloadAndWait(panel));

        const QJsonArray online = luna.fetch(kOnlineMembersPath).array();
        QCOMPARE(panel.counterLabel()->text(), QString::number(online.size()));
        QList<QWidget*> shown = rows(panel);
        QCOMPARE(shown.size(), online.size());
        for (int i = 0; i < shown.size(); ++i) {
            const QJsonObject member = online.at(i).toObject();
            QCOMPARE(childText(shown[i], "ideasMemberName"), member.value("username").toString());
            QCOMPARE(childText(shown[i], "ideasMemberStatus"), member.value("status").toString());
            QVERIFY(!shown[i]->findChild<QLabel*>("ideasMemberAvatar")->pixmap().isNull());
        }
        QVERIFY(voice.requested.isEmpty());
        QTest::mouseClick(shown[0]->findChild<QLabel*>("ideasMemberName"), Qt::LeftButton);
        QCOMPARE(opened, QStringList{online.at(0).toObject().value("username").toString()});

        // Scripted: a member in voice and one without a status.
        scriptReply(m_server, kOnlineMembersPath,
                    compact(QJsonArray{QJsonObject{{"username", "<i>x</i>"}, {"voice_active", true}}}));
        QVERIFY(reloadAndWait(panel));
        QCOMPARE(panel.counterLabel()->text(), QStringLiteral("1"));
        shown = rows(panel);
        QCOMPARE(childText(shown[0], "ideasMemberName"), QStringLiteral("<i>x</i>"));
        QCOMPARE(shown[0]->findChild<QLabel*>("ideasMemberName")->textFormat(), Qt::PlainText);
        QCOMPARE(childText(shown[0], "ideasMemberStatus"), QStringLiteral("Online"));
        QCOMPARE(voice.requested, QStringList{"<i>x</i>"});

        // A failure empties the list and says so; the counter keeps its value.
        failReply(m_server, kOnlineMembersPath);
        QVERIFY(reloadAndWait(panel));
        QVERIFY(rows(panel).isEmpty());
        QVERIFY(panel.messageLabel() && !panel.messageLabel()->isHidden());
        QCOMPARE(panel.messageLabel()->text(), QStringLiteral("Unavailable"));
        QCOMPARE(panel.counterLabel()->text(), QStringLiteral("1"));
    }

    void gamesPanelSendsOneRequestAtATimeAndKeepsRowsOnFailure()
    {
        SignedInClient luna(m_server, QStringLiteral("luna"));
        GamesOnlinePanel panel(&luna.network);
        showPanel(panel);
        VoiceControls voice;
        panel.setVoiceControlFactory(voice.factory());

        const QJsonArray members{
            QJsonObject{{"username", "a"}, {"status", "   "}, {"profile_image", "cat.png"}},
            QJsonObject{{"username", "b"}, {"status", "Busy"}, {"online", false}, {"voice_active", true}},
            QJsonObject{{"username", "c"}, {"status", " Away "}, {"profile_image", "comet.png"}},
            QJsonObject{{"username", "d"}, {"status", "Gaming"}, {"profile_image", ""}}};
        scriptReply(m_server, kOnlineMembersPath, compact(members));
        scriptReply(m_server, kOnlineMembersPath, compact(members));
        m_server.clearRequests();

        // Triggers while one request is out lead to one more request, not one each.
        QSignalSpy handled(&panel, &OnlinePanel::replyHandled);
        panel.reload();
        QVERIFY(panel.isLoading());
        panel.reload();
        QVERIFY(panel.reloadForEvent(QStringLiteral("online_members_changed")));
        QVERIFY(!panel.reloadForEvent(QStringLiteral("receive_message")));
        QTRY_COMPARE_WITH_TIMEOUT(handled.count(), 2, 8000);
        QTest::qWait(700);
        QCOMPARE(handled.count(), 2);
        QVERIFY(!panel.isLoading());
        QCOMPARE(requestsFor(m_server, kOnlineMembersPath), 2);

        QCOMPARE(panel.counterLabel()->text(), QStringLiteral("4"));
        const QList<QWidget*> shown = rows(panel);
        QCOMPARE(shown.size(), 4);
        QStringList statuses;
        for (QWidget* row : shown)
            statuses << childText(row, "gamesMemberStatus");
        QCOMPARE(statuses, (QStringList{"Online", "Offline", "Away", "Gaming"}));
        QCOMPARE(voice.requested, QStringList{"b"});
        // Built-in picture at once, server-only picture downloaded, no picture keeps the placeholder.
        QVERIFY(!shown[0]->findChild<QLabel*>("gamesMemberAvatar")->pixmap().isNull());
        QTRY_VERIFY_WITH_TIMEOUT(!shown[2]->findChild<QLabel*>("gamesMemberAvatar")->pixmap().isNull(), 8000);
        QCOMPARE(shown[3]->findChild<QLabel*>("gamesMemberAvatar")->text(), QStringLiteral("👤"));
        QCOMPARE(requestsFor(m_server, "/static/avatars/"), 1);

        // A failure leaves everything as it was and frees the guard for the next try.
        failReply(m_server, kOnlineMembersPath);
        QVERIFY(reloadAndWait(panel));
        QVERIFY(!panel.isLoading());
        QCOMPARE(rows(panel), shown);
        QCOMPARE(panel.counterLabel()->text(), QStringLiteral("4"));
        QVERIFY(reloadAndWait(panel));
        QCOMPARE(panel.counterLabel()->text(), QStringLiteral("0"));
        QCOMPARE(requestsFor(m_server, kOnlineMembersPath), 4);

        // A request that stalls ends with its timeout and frees the panel for the next trigger.
        failReply(m_server, kOnlineMembersPath, {{"mode", "delay"}, {"delay_ms", 12000}});
        panel.reload();
        QTRY_VERIFY_WITH_TIMEOUT(panel.isLoading(), 2000);
        QTRY_VERIFY_WITH_TIMEOUT(!panel.isLoading(), 14000);
    }

private:
    DevServer m_server;
};

QTEST_MAIN(TestOnlinePanels)
#include "tst_OnlinePanels.moc"
