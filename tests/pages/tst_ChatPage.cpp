#include "pages/ChatPage.h"
#include "pages/ProfileMessageFrame.h"
#include "realtime/ChatOnlinePanel.h"
#include "realtime/SignedInClient.h"

#include <QApplication>
#include <QJsonArray>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScrollArea>
#include <QScrollBar>
#include <QSignalSpy>
#include <QStackedWidget>
#include <QVBoxLayout>
#include <QtTest>

namespace {

const QString kMessagesPath = QStringLiteral("/api/desktop/chat/messages");

// One signed-in window's worth of chat: a page stack holding the chat page, a Chat
// button wired the way the window wires it, and the incoming "receive_message"
// turned into a programmatic refresh.
struct ChatWindow
{
    ChatWindow(DevServer& server, const QString& userName)
        : client(server, userName)
        , page(new ChatPage(&client.network, client.channel.get()))
        , spy(page, &ChatPage::historyReplyHandled)
    {
        stack.addWidget(new QWidget);
        stack.addWidget(page);
        page->setOwnUserName(userName);
        page->setChatButton(&chatButton);
        QObject::connect(&chatButton, &QPushButton::clicked, page->onlinePanel(), &ChatOnlinePanel::reload);
        QObject::connect(&chatButton, &QPushButton::clicked, page, &ChatPage::activateChatPage);
        QObject::connect(client.channel.get(), &RealtimeChannel::eventReceived, page,
                         [this](const QString& name) {
                             if (name == QLatin1String("receive_message"))
                                 refresh(true);
                         });
        stack.resize(1100, 760);
        stack.show();
    }

    void refresh(bool automatic)
    {
        chatButton.setProperty("automaticChatRefresh", automatic);
        chatButton.click();
        chatButton.setProperty("automaticChatRefresh", false);
    }

    // Clicks Chat and waits for the reply; true when it rebuilt the rows.
    bool open(bool automatic = false)
    {
        const int before = spy.count();
        refresh(automatic);
        if (!QTest::qWaitFor([&] { return spy.count() > before; }, 8000))
            return false;
        return spy.last().value(0).toBool();
    }

    QList<ProfileMessageFrame*> rows() const
    {
        QList<ProfileMessageFrame*> result;
        QLayout* layout = page->messagesContainer()->layout();
        for (int i = 1; i < layout->count(); ++i)
            result << qobject_cast<ProfileMessageFrame*>(layout->itemAt(i)->widget());
        return result;
    }

    Qt::Alignment rowAlignment(int index) const
    {
        return page->messagesContainer()->layout()->itemAt(index + 1)->alignment();
    }

    QScrollBar* scrollBar() const { return page->messageScrollArea()->verticalScrollBar(); }

    // Waits for the scroll step after a rendering.
    void settle() const { QTest::qWait(ChatPage::kScrollDelayMs + 150); }

    SignedInClient client;
    QStackedWidget stack;
    QPushButton chatButton;
    ChatPage* page;
    QSignalSpy spy;
};

QByteArray historyBody(bool success, const QJsonArray& messages)
{
    return QJsonDocument(QJsonObject{{"success", success}, {"messages", messages}}).toJson(QJsonDocument::Compact);
}

QLabel* label(QWidget* row, const QString& objectName)
{
    return row->findChild<QLabel*>(objectName);
}

QLabel* bubble(QWidget* row)
{
    if (QLabel* own = label(row, QStringLiteral("chatOwnBubble")))
        return own;
    return label(row, QStringLiteral("chatOtherBubble"));
}

}  // namespace

class TestChatPage : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { QVERIFY(m_server.start()); }
    void init() { QVERIFY(m_server.reset()); }

    void historyMarksOwnMessagesAndScrollsToTheBottom()
    {
        ChatWindow window(m_server, QStringLiteral("luna"));
        QVERIFY(window.open());
        QCOMPARE(window.stack.currentWidget(), window.page);
        // Opening the chat opens the real-time channel as well.
        QTRY_VERIFY_WITH_TIMEOUT(window.client.channel->isReady(), 8000);

        const QJsonArray messages =
            window.client.fetch(kMessagesPath).object().value(QLatin1String("messages")).toArray();
        const QList<ProfileMessageFrame*> rows = window.rows();
        QCOMPARE(rows.size(), messages.size());
        int own = 0;
        for (int i = 0; i < rows.size(); ++i) {
            const QJsonObject message = messages.at(i).toObject();
            const QString sender = message.value("sender").toString();
            const bool expectOwn = sender == QLatin1String("luna");
            own += expectOwn;
            QCOMPARE(label(rows[i], "chatMessageSender")->text(), sender.toUpper());
            QCOMPARE(bubble(rows[i])->text(), message.value("text").toString());
            QCOMPARE(label(rows[i], "chatMessageTime")->text(), message.value("created_at").toString().mid(11, 5));
            QCOMPARE(rows[i]->property("ownMessage").toBool(), expectOwn);
            QCOMPARE(bubble(rows[i])->objectName(),
                     expectOwn ? QStringLiteral("chatOwnBubble") : QStringLiteral("chatOtherBubble"));
            QCOMPARE(window.rowAlignment(i), expectOwn ? Qt::AlignRight : Qt::AlignLeft);
            QVERIFY(!rows[i]->isHighlighted());
        }
        QVERIFY(own > 0);
        QVERIFY(window.page->findChildren<QLabel*>("chatYourMessageBadge").isEmpty());
        window.settle();
        // Every bubble is tall enough for its wrapped text at the width it really got.
        for (ProfileMessageFrame* row : rows)
            QVERIFY(bubble(row)->height() >= bubble(row)->QLabel::heightForWidth(bubble(row)->width()));
        QVERIFY(window.scrollBar()->maximum() > 0);
        QCOMPARE(window.scrollBar()->value(), window.scrollBar()->maximum());

        // Letter case matters, and without a user name nothing is own.
        for (const QString& name : {QStringLiteral("LUNA"), QString()}) {
            window.page->setOwnUserName(name);
            QVERIFY(window.open());
            for (ProfileMessageFrame* row : window.rows())
                QVERIFY(!row->property("ownMessage").toBool());
        }
    }

    void highlightFromTheProfileSurvivesOnlyAutomaticRefreshes()
    {
        ChatWindow window(m_server, QStringLiteral("nova"));
        window.page->setOpenMessagesFromProfile(true);
        QVERIFY(window.open());
        QVERIFY(window.page->highlightMode());
        QVERIFY(!window.page->messagesContainer()->property("openMessagesFromProfile").toBool());

        auto checkHighlighted = [&window] {
            const QList<ProfileMessageFrame*> rows = window.rows();
            ProfileMessageFrame* first = nullptr;
            int own = 0;
            for (int i = 0; i < rows.size(); ++i) {
                const bool isOwn = rows[i]->property("ownMessage").toBool();
                QCOMPARE(rows[i]->isHighlighted(), isOwn);
                QCOMPARE(label(rows[i], "chatYourMessageBadge") != nullptr, isOwn);
                if (isOwn) {
                    QCOMPARE(window.rowAlignment(i), Qt::Alignment());
                    if (!first)
                        first = rows[i];
                    ++own;
                }
            }
            QCOMPARE(own, 4);
            window.settle();
            const int top = first->mapTo(window.page->messagesContainer(), QPoint(0, 0)).y();
            QVERIFY(top > 20);
            QVERIFY(window.scrollBar()->value() > 0);
            QVERIFY(top - window.scrollBar()->value() == 20
                    || window.scrollBar()->value() == window.scrollBar()->maximum());
        };
        checkHighlighted();
        if (QTest::currentTestFailed())
            return;

        // The pulse runs on every highlighted row.
        ProfileMessageFrame* pulsing = window.rows().constFirst();
        for (ProfileMessageFrame* row : window.rows())
            if (row->isHighlighted()) {
                pulsing = row;
                break;
            }
        const double before = pulsing->glowLevel();
        QTRY_VERIFY_WITH_TIMEOUT(pulsing->glowLevel() != before, 5000);

        QVERIFY(window.open(true));
        QVERIFY(window.page->highlightMode());
        checkHighlighted();
        if (QTest::currentTestFailed())
            return;

        QVERIFY(window.open());
        QVERIFY(!window.page->highlightMode());
        QVERIFY(window.page->findChildren<QLabel*>("chatYourMessageBadge").isEmpty());
        window.settle();
        QCOMPARE(window.scrollBar()->value(), window.scrollBar()->maximum());
    }

    void sentTextReachesTheOtherClientAsPlainText()
    {
        ChatWindow luna(m_server, QStringLiteral("luna"));
        ChatWindow orion(m_server, QStringLiteral("orion"));
        QVERIFY(luna.open());
        QVERIFY(orion.open());
        QTRY_VERIFY_WITH_TIMEOUT(luna.client.channel->isReady() && orion.client.channel->isReady(), 8000);
        const int storedBefore =
            luna.client.fetch(kMessagesPath).object().value(QLatin1String("messages")).toArray().size();

        // Only spaces: nothing goes out and the field keeps them.
        QLineEdit* input = luna.page->messageInput();
        input->setText(QStringLiteral("   "));
        QTest::keyClick(input, Qt::Key_Return);
        QCOMPARE(input->text(), QStringLiteral("   "));

        const QString hostile = QStringLiteral("<b>hi</b> <img src=file:///etc/passwd>");
        input->setText(QStringLiteral("  ") + hostile + QStringLiteral("  "));
        const int orionRendered = orion.spy.count();
        luna.page->sendButton()->click();
        QCOMPARE(input->text(), QString());

        // The server stored exactly one trimmed message and broadcast it.
        QTRY_COMPARE_WITH_TIMEOUT(orion.client.eventFrames("receive_message").size(), 1, 8000);
        QVERIFY(orion.client.eventFrames("receive_message").constFirst().contains("\"sender\":\"luna\""));
        const QJsonArray stored = luna.client.fetch(kMessagesPath).object().value(QLatin1String("messages")).toArray();
        QCOMPARE(stored.size(), storedBefore + 1);
        QCOMPARE(stored.last().toObject().value("text").toString(), hostile);

        // The other client's chat reloads by itself and shows the text literally.
        QTRY_VERIFY_WITH_TIMEOUT(orion.spy.count() > orionRendered && orion.spy.last().value(0).toBool(), 8000);
        QTRY_COMPARE_WITH_TIMEOUT(orion.rows().size(), storedBefore + 1, 8000);
        ProfileMessageFrame* last = orion.rows().constLast();
        QCOMPARE(bubble(last)->text(), hostile);
        QCOMPARE(bubble(last)->textFormat(), Qt::PlainText);
        QCOMPARE(label(last, "chatMessageSender")->text(), QStringLiteral("LUNA"));
        QVERIFY(!last->property("ownMessage").toBool());
        QTRY_VERIFY_WITH_TIMEOUT(luna.rows().size() == storedBefore + 1
                                     && luna.rows().constLast()->property("ownMessage").toBool(),
                                 8000);
    }

    void sendingWhileDisconnectedKeepsTheTextAndReconnects()
    {
        ChatWindow window(m_server, QStringLiteral("luna"));
        QCOMPARE(window.client.channel->socket()->state(), QAbstractSocket::UnconnectedState);
        window.page->messageInput()->setText(QStringLiteral("still here"));
        QTest::ignoreMessage(QtWarningMsg, "Impossibile inviare: WebSocket non connesso.");
        QTest::keyClick(window.page->messageInput(), Qt::Key_Return);
        QCOMPARE(window.page->messageInput()->text(), QStringLiteral("still here"));
        QVERIFY(window.page->findChild<QLabel*>("chatSendNotice")->isVisibleTo(window.page));
        QCOMPARE(QApplication::activeModalWidget(), nullptr);
        QTRY_VERIFY(window.client.channel->isReady());  // the send tried at once

        QTest::keyClick(window.page->messageInput(), Qt::Key_Return);
        QCOMPARE(window.page->messageInput()->text(), QString());
        QVERIFY(!window.page->findChild<QLabel*>("chatSendNotice")->isVisibleTo(window.page));
    }

    void scriptedRepliesRenderLiterallyOrLeaveTheRows()
    {
        ChatWindow window(m_server, QStringLiteral("luna"));
        const QJsonArray scripted{
            QJsonObject{{"sender", "<i>Zoë</i>"}, {"text", "<img src=file:///etc/passwd>"},
                        {"created_at", "2025-03-04T09:07:55"}},
            QJsonObject{{"sender", "luna"}, {"text", "<b>hi</b>"}, {"created_at", ""}},
            QJsonObject{{"sender", "kai"}, {"text", "<a href='http://x'>x</a>"}, {"created_at", "short"}}};
        scriptReply(m_server, kMessagesPath, historyBody(true, scripted));
        QVERIFY(window.open());
        QList<ProfileMessageFrame*> rows = window.rows();
        QCOMPARE(rows.size(), 3);
        QCOMPARE(label(rows[0], "chatMessageSender")->text(), QStringLiteral("<I>ZOË</I>"));
        QCOMPARE(bubble(rows[0])->text(), QStringLiteral("<img src=file:///etc/passwd>"));
        QCOMPARE(label(rows[0], "chatMessageTime")->text(), QStringLiteral("09:07"));
        QCOMPARE(bubble(rows[1])->text(), QStringLiteral("<b>hi</b>"));
        QVERIFY(rows[1]->property("ownMessage").toBool());
        QCOMPARE(label(rows[1], "chatMessageTime")->text(), QString());
        QCOMPARE(label(rows[2], "chatMessageTime")->text(), QString());
        for (ProfileMessageFrame* row : rows)
            for (QLabel* text : row->findChildren<QLabel*>())
                QCOMPARE(text->textFormat(), Qt::PlainText);
        QVERIFY(!window.page->grab().isNull());

        // Failures of every kind leave these rows in place.
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression("^Caricamento chat: "));
        failReply(m_server, kMessagesPath);
        QVERIFY(!window.open());
        scriptReply(m_server, kMessagesPath, historyBody(false, {}));
        QVERIFY(!window.open());
        failReply(m_server, kMessagesPath, {{"mode", "invalid_json"}});
        QVERIFY(!window.open());
        QCOMPARE(window.rows(), rows);

        // An empty history leaves only the welcome label.
        scriptReply(m_server, kMessagesPath, historyBody(true, {}));
        QVERIFY(window.open());
        window.settle();
        QTRY_COMPARE(window.page->messagesContainer()->findChildren<ProfileMessageFrame*>().size(), 0);
        QLayout* layout = window.page->messagesContainer()->layout();
        QCOMPARE(layout->count(), 1);
        QCOMPARE(layout->itemAt(0)->widget()->objectName(), QStringLiteral("chatWelcomeLabel"));
        QCOMPARE(window.scrollBar()->value(), window.scrollBar()->maximum());
    }

    void layoutPiecesFollowTheMessageArea()
    {
        ChatWindow window(m_server, QStringLiteral("luna"));
        QVERIFY(QTest::qWaitForWindowExposed(&window.stack));
        window.stack.setCurrentWidget(window.page);
        QScrollArea* area = window.page->messageScrollArea();
        for (const QSize size : {QSize(1100, 760), QSize(1000, 420), QSize(1300, 1100)}) {
            window.stack.resize(size);
            QTRY_COMPARE(window.page->onlinePanel()->height(), qBound(180, area->height(), 500));
        }
        QWidget* title = window.page->findChild<QWidget*>("chatTitle");
        QWidget* led = window.page->findChild<QWidget*>("chatTitleLed");
        QCOMPARE(led->geometry().center().x(), title->geometry().center().x());
        QCOMPARE(led->y(), title->y() - 32);

        QWidget* toolbar = new QWidget;
        toolbar->setObjectName("desktopVoiceToolbar");
        window.page->setVoiceToolbar(toolbar);
        QCOMPARE(toolbar->parentWidget(), window.page);
        QTRY_VERIFY(toolbar->isVisible());
        QVERIFY(toolbar->y() >= window.page->findChild<QWidget*>("chatCard")->geometry().bottom());
    }

private:
    DevServer m_server;
};

QTEST_MAIN(TestChatPage)
#include "tst_ChatPage.moc"
