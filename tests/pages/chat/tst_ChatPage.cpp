#include "pages/chat/ChatMessageDelegate.h"
#include "pages/chat/ChatMessageModel.h"
#include "pages/chat/ChatMessageView.h"
#include "pages/chat/ChatPage.h"
#include "pages/PagesTestSupport.h"
#include "online/ChatOnlinePanel.h"
#include "support/DevServerSuite.h"
#include "support/SignedInClient.h"

#include <QApplication>
#include <QClipboard>
#include <QJsonArray>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QSignalSpy>
#include <QStackedWidget>
#include <QtTest>

#include <memory>

namespace {

const QString kMessagesPath = QStringLiteral("/api/desktop/chat/messages");

// One signed-in window's worth of chat: a page stack holding the chat page, visits
// that refresh the online members first, and each incoming message turned into
// an automatic refresh.
struct ChatWindow
{
    ChatWindow(DevServer& server, const QString& userName)
        : client(server, userName)
        , page(new ChatPage(&client.network, client.channel.get()))
        , spy(page, &ChatPage::historyReplyHandled)
        , shown(page, &ChatPage::historyShown)
    {
        stack.addWidget(new QWidget);
        stack.addWidget(page);
        page->setOwnUserName(userName);
        QObject::connect(client.channel.get(), &RealtimeChannel::chatMessageReceived, page, [this] { refresh(true); });
        stack.resize(1100, 760);
        stack.show();
    }

    void refresh(bool automatic)
    {
        page->onlinePanel()->reload();
        page->reloadHistory(automatic);
    }

    // Clicks Chat and waits for the reply and its rows; true when it updated the rows.
    bool open(bool automatic = false)
    {
        const qsizetype before = spy.count(), shownBefore = shown.count();
        refresh(automatic);
        return QTest::qWaitFor([&] { return spy.count() > before; }, 8000) && spy.last().value(0).toBool()
               && QTest::qWaitFor([&] { return shown.count() > shownBefore; }, 8000);
    }

    ChatMessageModel* model() const { return page->messageModel(); }
    QScrollBar* scrollBar() const { return page->messageView()->verticalScrollBar(); }
    // Waits for the scroll step after a rendering.
    void settle() const { QTest::qWait(ChatPage::kScrollDelayMs + 150); }

    SignedInClient client;
    QStackedWidget stack;
    ChatPage* page;
    QSignalSpy spy;
    QSignalSpy shown;
};

QJsonObject message(const QString& id, const QString& sender, const QString& text = QString())
{
    return {{"id", id}, {"sender", sender}, {"text", text.isNull() ? QStringLiteral("text of ") + id : text},
            {"created_at", "2025-03-04T09:07:55"}};
}

// Messages "a", "b", ... by ids given as one character each.
ChatHistory messages(const QString& ids)
{
    QJsonArray array;
    for (QChar id : ids)
        array.append(message(id, QStringLiteral("kai")));
    return ChatMessageModel::messagesFromJson(array);
}

QString rowKeys(const ChatMessageModel& model)
{
    QString keys;
    for (int row = 1; row < model.rowCount(); ++row)
        keys += model.message(row)->key.right(1);
    return keys;
}

}  // namespace

class TestChatPage : public DevServerSuite
{
    Q_OBJECT

private slots:
    void historyShowsTheRowsAndFailuresKeepThem()
    {
        ChatWindow window(m_server, QStringLiteral("luna"));
        cannedReply(m_server, kMessagesPath,
                    {{"success", true}, {"messages", QJsonArray{message("1", "<i>Zoë</i>"), message("2", "luna")}}});
        QVERIFY(window.open());
        QCOMPARE(window.stack.currentWidget(), window.page);
        QTRY_VERIFY_WITH_TIMEOUT(window.client.channel->isReady(), 8000);  // opening the chat opens the channel
        ChatMessageModel* model = window.model();
        QCOMPARE(model->rowCount(), 3);
        QVERIFY(model->index(0, 0).data(ChatMessageModel::WelcomeRole).toBool());
        const QPersistentModelIndex first = model->index(1, 0);
        QCOMPARE(QVariantList({first.data(ChatMessageModel::SenderRole), first.data(), first.data(ChatMessageModel::TimeRole),
                               first.data(ChatMessageModel::OwnRole), model->index(2, 0).data(ChatMessageModel::OwnRole)}),
                 QVariantList({"<i>Zoë</i>", "text of 1", "09:07", false, true}));

        QTest::ignoreMessage(QtWarningMsg, QRegularExpression("^Caricamento chat: "));
        for (const char* mode : {"status", "invalid_json"}) {
            m_server.failNext(kMessagesPath, {{"mode", mode}});
            QVERIFY(!window.open());
        }
        QVERIFY(first.isValid());

        cannedReply(m_server, kMessagesPath, {{"success", true}, {"messages", QJsonArray()}});
        QVERIFY(window.open());
        QCOMPARE(model->rowCount(), 1);  // the welcome alone
    }

    // Whether automatic refreshes keep the highlight is checked end to end with the window.
    void fromTheProfileOwnRowsPulseAndTheFirstIsScrolledTo()
    {
        ChatWindow window(m_server, QStringLiteral("nova"));
        window.page->setOpenMessagesFromProfile(true);
        QVERIFY(window.open());
        ChatMessageModel* model = window.model();
        int own = 0;
        for (int row = 1; row < model->rowCount(); ++row) {
            const QModelIndex index = model->index(row, 0);
            QCOMPARE(index.data(ChatMessageModel::HighlightedRole), index.data(ChatMessageModel::OwnRole));
            own += index.data(ChatMessageModel::OwnRole).toBool();
        }
        QCOMPARE(own, 4);
        window.settle();
        // The first own message sits 20 px below the top (rows start with a 6 px gap).
        ChatMessageView* view = window.page->messageView();
        const int top = view->visualRect(model->index(model->firstHighlightedRow(), 0)).top() + 6;
        QVERIFY(window.scrollBar()->value() > 0);
        QVERIFY(top == 20 || window.scrollBar()->value() == window.scrollBar()->maximum());
        const double glow = view->messageDelegate()->glowLevel();
        QTRY_VERIFY_WITH_TIMEOUT(view->messageDelegate()->glowLevel() != glow, 5000);

        QVERIFY(window.open());  // the member's own visit ends it
        QCOMPARE(model->firstHighlightedRow(), -1);
        window.settle();
        QCOMPARE(window.scrollBar()->value(), window.scrollBar()->maximum());
    }

    // Reloads asked for while a history request is in flight make one more request after it.
    void reloadsDuringARequestCoalesce()
    {
        ChatWindow window(m_server, QStringLiteral("luna"));
        QVERIFY(window.open());
        QTest::qWait(ChatPage::kMinReloadIntervalMs);
        m_server.clearRequests();
        m_server.failNext(kMessagesPath, {{"mode", "delay"}, {"delay_ms", 500}});
        const int handled = window.spy.count();
        window.stack.setCurrentIndex(0);
        window.refresh(false);
        for (int i = 0; i < 20; ++i)
            window.refresh(true);
        QCOMPARE(window.stack.currentWidget(), window.page);  // automatic refreshes bring the page forward too
        QTRY_COMPARE_WITH_TIMEOUT(window.spy.count(), handled + 2, 8000);
        QTest::qWait(300);
        QCOMPARE(window.spy.count(), handled + 2);
        QCOMPARE(m_server.requestCount(kMessagesPath), 2);
    }

    void reloadUpdatesOnlyWhatChanged_data()
    {
        QTest::addColumn<QString>("before");
        QTest::addColumn<QString>("after");
        QTest::addColumn<QList<int>>("updates");  // insertions, removals, moves
        QTest::newRow("identical") << "abcde" << "abcde" << QList<int>{0, 0, 0};
        QTest::newRow("oldest gone, two new") << "abcde" << "cdefg" << QList<int>{1, 1, 0};
        QTest::newRow("removed in the middle") << "abcde" << "ae" << QList<int>{0, 1, 0};
        QTest::newRow("inserted in two places") << "ace" << "abcde" << QList<int>{2, 0, 0};
        QTest::newRow("reordered") << "abcde" << "aebcd" << QList<int>{0, 0, 1};
    }

    void reloadUpdatesOnlyWhatChanged()
    {
        QFETCH(QString, before);
        QFETCH(QString, after);
        ChatMessageModel model;
        QVERIFY(model.applyStep(messages(before), 1000));
        QList<QPersistentModelIndex> kept;
        for (int row = 1; row < model.rowCount(); ++row)
            kept << QPersistentModelIndex(model.index(row, 0));

        QSignalSpy inserted(&model, &QAbstractItemModel::rowsInserted);
        QSignalSpy removed(&model, &QAbstractItemModel::rowsRemoved);
        QSignalSpy moved(&model, &QAbstractItemModel::rowsMoved);
        QSignalSpy changed(&model, &QAbstractItemModel::dataChanged);
        QSignalSpy reset(&model, &QAbstractItemModel::modelReset);
        QVERIFY(model.applyStep(messages(after), 1000));

        QCOMPARE(rowKeys(model), after);
        QTEST((QList<int>{int(inserted.size()), int(removed.size()), int(moved.size())}), "updates");
        QCOMPARE(changed.size() + reset.size(), 0);
        // Every message that stayed keeps its row object, wherever it is now.
        for (int i = 0; i < before.size(); ++i)
            QCOMPARE(kept.at(i).isValid() ? model.message(kept.at(i).row())->key.right(1) : QString(),
                     after.contains(before.at(i)) ? QString(before.at(i)) : QString());
    }

    // Fault seen: a 100 KB message froze the window for seconds.
    void longTextIsCutWhenShownAndCopiedWhole()
    {
        ChatPage page(nullptr, nullptr);
        const std::unique_ptr<ChatMessageView> view = detachedView(page, QSize(600, 400));
        const QString huge = QStringLiteral("x").repeated(100 * 1024);
        page.messageModel()->applyStep(ChatMessageModel::messagesFromJson({message("1", "kai", huge)}), 10);
        QVERIFY(QTest::qWaitForWindowExposed(view.get()));
        const int height = view->visualRect(page.messageModel()->index(1, 0)).height();
        QVERIFY2(height > 100 && height < 4000, qPrintable(QString::number(height)));

        view->selectionModel()->select(page.messageModel()->index(1, 0), QItemSelectionModel::Select);
        QTest::keySequence(view.get(), QKeySequence::Copy);
        QCOMPARE(QGuiApplication::clipboard()->text(), huge);
    }

    void viewFollowsTheBottomOrKeepsItsPlace()
    {
        ChatPage page(nullptr, nullptr);
        const std::unique_ptr<ChatMessageView> view = detachedView(page, QSize(500, 300));
        QScrollBar* bar = view->verticalScrollBar();
        ChatMessageModel* model = page.messageModel();
        QJsonArray history;
        for (int i = 0; i < 60; ++i)
            history.append(message(QString::number(i), "kai"));
        const auto show = [&] { model->applyStep(ChatMessageModel::messagesFromJson(history), 1000); };
        show();
        QVERIFY(QTest::qWaitForWindowExposed(view.get()));
        view->scrollToEnd();

        // At the bottom it follows a new message.
        const int maximum = bar->maximum();
        history.append(message("new", "kai"));
        show();
        QTRY_VERIFY(bar->maximum() > maximum);
        QCOMPARE(bar->value(), bar->maximum());

        // Scrolled up, the row at the top stays where it is when rows come and go above and below.
        bar->setValue(bar->maximum() / 2);
        const QPersistentModelIndex top = view->indexAt(QPoint(10, 0));
        const int topY = view->visualRect(top).top();
        history.removeFirst();
        history.removeFirst();
        history.append(message("newer", "kai"));
        show();
        QTRY_COMPARE(view->visualRect(top).top(), topY);
        QVERIFY(bar->value() < bar->maximum());
    }

private:
    // The page's message view on its own, shown.
    static std::unique_ptr<ChatMessageView> detachedView(ChatPage& page, const QSize& size)
    {
        std::unique_ptr<ChatMessageView> view(page.messageView());
        view->setParent(nullptr);
        view->resize(size);
        view->show();
        return view;
    }
};

QTEST_MAIN(TestChatPage)
#include "tst_ChatPage.moc"
