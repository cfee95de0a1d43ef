#include "pages/chat/ChatPage.h"
#include "pages/profile/ProfilePage.h"
#include "support/SignedInClient.h"
#include "support/SignedInWindow.h"

#include <QJsonArray>
#include <QLabel>

using namespace shelltest;

// Incoming real-time events reach the pages through the window.
class TestRealtimeWiring : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        clearSettings();
        QVERIFY(m_server.start());
        m_window = std::make_unique<MainWindow>();
        m_window->show();
        QVERIFY(logInToChat(*m_window, QStringLiteral("luna")));
    }

    void aNewMessageBringsTheChatForward()
    {
        navButton(*m_window, "Ideas")->click();
        m_server.clearRequests();
        pushEvent(m_server, "luna", "receive_message", {{"text", "hi"}});
        QTRY_COMPARE(innerPage(*m_window), QStringLiteral("chatPage"));
        QTRY_COMPARE(requestsTo(m_server, "/api/desktop/chat/messages"), 1);
    }

    // Opened from the profile, the chat highlights the member's own messages; an
    // incoming message's refresh keeps that, the member's next visit or page ends it.
    void automaticRefreshesKeepTheHighlight()
    {
        auto* chat = m_window->findChild<ChatPage*>();
        auto* profile = m_window->findChild<ProfilePage*>();
        for (const QString& leave : {QStringLiteral("Chat"), QStringLiteral("Games")}) {
            QSignalSpy reloaded(chat, &ChatPage::historyReplyHandled);
            emit profile->openOwnMessagesRequested();
            QCOMPARE(innerPage(*m_window), QStringLiteral("chatPage"));
            QVERIFY(chat->highlightMode());
            QVERIFY(reloaded.wait(8000));
            pushEvent(m_server, "luna", "receive_message", {{"text", "again"}});
            QVERIFY(reloaded.wait(8000));
            QVERIFY(chat->highlightMode());
            navButton(*m_window, leave)->click();
            QVERIFY(!chat->highlightMode());
        }
    }

    void presenceEventsReloadTheGamesAndChatPanels()
    {
        m_server.clearRequests();
        pushEvent(m_server, "luna", "voice_user_joined", {{"sid", "x"}, {"username", "orion"}});
        QTRY_COMPARE(requestsTo(m_server, "/api/online-members"), 1);
        QTRY_COMPARE(requestsTo(m_server, "/api/desktop/presence"), 1);
    }

    void leaderboardChangesDuringALoadLeadToOneMoreLoad()
    {
        navButton(*m_window, "Ideas")->click();
        m_server.failNext("/api/desktop/games/leaderboard", {{"mode", "delay"}, {"delay_ms", 600}});
        m_server.clearRequests();
        for (int event = 0; event < 5; ++event)
            pushEvent(m_server, "luna", "nebulite_leaderboard_changed");
        QTRY_COMPARE_WITH_TIMEOUT(requestsTo(m_server, "/api/desktop/games/leaderboard"), 2, 5000);
        QTest::qWait(1000);
        QCOMPARE(requestsTo(m_server, "/api/desktop/games/leaderboard"), 2);
        QCOMPARE(innerPage(*m_window), QStringLiteral("ideasPage"));  // reloaded in the background
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
