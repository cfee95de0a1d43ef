#include "session/AppSettings.h"
#include "realtime/RealtimeChannel.h"
#include "support/SignedInClient.h"
#include "shell/MainWindow.h"
#include "support/DevServer.h"

#include <QJsonArray>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSettings>
#include <QStackedWidget>
#include <QWebSocket>
#include <QtTest>

namespace {

QPushButton* navButton(MainWindow& window, const QString& text)
{
    for (QPushButton* button : window.findChildren<QPushButton*>("navButton"))
        if (button->text() == text)
            return button;
    return nullptr;
}

QString currentInnerPage(MainWindow& window)
{
    auto* inner = qobject_cast<QStackedWidget*>(window.findChild<QWidget*>("chatPage")->parentWidget());
    return inner->currentWidget()->objectName();
}

int requestsTo(DevServer& server, const QString& path)
{
    int count = 0;
    for (const QJsonValue& request : server.requests())
        count += request.toObject().value("path").toString() == path;
    return count;
}

}  // namespace

// Incoming real-time events reach the pages through the window's receivers.
class TestRealtimeWiring : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        QSettings(AppSettings::kOrganization, AppSettings::kApplication).clear();
        QVERIFY(m_server.start());
        m_window = std::make_unique<MainWindow>();
        m_window->show();
        m_window->findChild<QLineEdit*>("loginUsernameField")->setText("luna");
        m_window->findChild<QLineEdit*>("loginPasswordField")->setText("moonlodge");
        m_window->findChild<QPushButton*>("loginButton")->click();
        QTRY_VERIFY(navButton(*m_window, "Chat")->isVisible());

        navButton(*m_window, "Chat")->click();
        QWebSocket* socket = m_window->findChild<QWebSocket*>("realtimeSocket");
        QTRY_VERIFY(socket->property("socketIoReady").toBool());
    }

    void newMessageBringsTheChatForward()
    {
        navButton(*m_window, "Ideas")->click();
        QCOMPARE(currentInnerPage(*m_window), QStringLiteral("ideasPage"));
        m_server.clearRequests();
        m_server.control("POST", "/__test__/emit",
                         {{"event", "receive_message"}, {"data", QJsonObject{{"text", "hi"}}}, {"username", "luna"}});
        QTRY_COMPARE(currentInnerPage(*m_window), QStringLiteral("chatPage"));
        QTRY_VERIFY(requestsTo(m_server, "/api/desktop/chat/messages") == 1);
        QCOMPARE(navButton(*m_window, "Chat")->property("automaticChatRefresh").toBool(), false);
    }

    void presenceEventsReloadThePanels()
    {
        m_server.clearRequests();
        m_server.control("POST", "/__test__/emit",
                         {{"event", "voice_user_joined"}, {"data", QJsonObject{{"sid", "x"}, {"username", "orion"}}},
                          {"username", "luna"}});
        QTRY_COMPARE(requestsTo(m_server, "/api/online-members"), 1);  // games panel, at once
        QTRY_COMPARE(requestsTo(m_server, "/api/desktop/presence"), 1);  // chat panel, 150 ms later
    }

    void leaderboardChangesDuringALoadLeadToOneMoreLoad()
    {
        m_server.failNext("/api/desktop/games/leaderboard", {{"mode", "delay"}, {"delay_ms", 600}});
        m_server.clearRequests();
        for (int event = 0; event < 5; ++event)
            m_server.control("POST", "/__test__/emit", {{"event", "nebulite_leaderboard_changed"}, {"username", "luna"}});
        QTRY_COMPARE_WITH_TIMEOUT(requestsTo(m_server, "/api/desktop/games/leaderboard"), 2, 5000);
        QTest::qWait(1000);
        QCOMPARE(requestsTo(m_server, "/api/desktop/games/leaderboard"), 2);
        QCOMPARE(currentInnerPage(*m_window), QStringLiteral("chatPage"));  // reloaded in the background
    }

    // The server ends the namespace and keeps the transport open ("41"): the
    // channel drops it, a message typed then is kept, and goes out once back.
    void aNamespaceDisconnectLosesNoMessage()
    {
        auto* channel = m_window->findChild<RealtimeChannel*>();
        navButton(*m_window, "Chat")->click();
        QTRY_VERIFY(channel->isReady());
        m_server.control("POST", "/__test__/sockets/namespace-disconnect", {{"username", "luna"}});
        QTRY_VERIFY(!channel->isReady());

        auto* input = m_window->findChild<QLineEdit*>("chatMessageInput");
        const QString text = QStringLiteral("said after the namespace ended");
        input->setText(text);
        m_window->findChild<QPushButton*>("chatSendButton")->click();
        QCOMPARE(input->text(), text);
        QTRY_VERIFY_WITH_TIMEOUT(channel->isReady(), 8000);
        m_window->findChild<QPushButton*>("chatSendButton")->click();
        QVERIFY(input->text().isEmpty());

        SignedInClient reader(m_server, QStringLiteral("orion"));
        QTRY_VERIFY_WITH_TIMEOUT(reader.fetch("/api/desktop/chat/messages").object().value("messages").toArray()
                                     .last().toObject().value("text").toString() == text,
                                 5000);
    }

    // The server drops the connection of a member in voice: the window leaves
    // the room locally, says so, and joins again, still muted, once the channel is back.
    void aMemberInVoiceRejoinsAfterTheChannelDrops()
    {
        auto inVoiceSids = [this] {
            QStringList sids;
            for (const QJsonValue& socket : m_server.control("GET", "/__test__/sockets").value("sockets").toArray())
                if (socket.toObject().value("voice").toBool())
                    sids << socket.toObject().value("sid").toString();
            return sids;
        };
        m_window->findChild<QPushButton*>("voiceJoinButton")->click();
        QTRY_COMPARE_WITH_TIMEOUT(inVoiceSids().size(), 1, 8000);
        const QString before = inVoiceSids().first();
        auto* dot = m_window->findChild<QLabel*>("voiceStatusDot");
        m_window->findChild<QPushButton*>("voiceMuteButton")->click();
        QCOMPARE(dot->toolTip(), QStringLiteral("Muted"));

        bool sawReconnecting = false;
        connect(m_window->findChild<RealtimeChannel*>(), &RealtimeChannel::connectionStateChanged, this,
                [&sawReconnecting, dot] { sawReconnecting |= dot->toolTip() == QStringLiteral("Reconnecting…"); });
        m_server.control("POST", "/__test__/sockets/close", {{"username", "luna"}});
        QTRY_VERIFY_WITH_TIMEOUT(inVoiceSids().size() == 1 && inVoiceSids().first() != before, 10000);
        QVERIFY(sawReconnecting);
        QTRY_COMPARE(dot->toolTip(), QStringLiteral("Muted"));  // as the member left it
        m_window->findChild<QPushButton*>("voiceLeaveButton")->click();
        QTRY_VERIFY(inVoiceSids().isEmpty());
    }

    void cleanupTestCase() { m_window.reset(); }

private:
    DevServer m_server;
    std::unique_ptr<MainWindow> m_window;
};

QTEST_MAIN(TestRealtimeWiring)
#include "tst_RealtimeWiring.moc"
