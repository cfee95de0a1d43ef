// Chat history cost against the dev server: for each history size, the time from
// the history reply to the first paint of the message list, the longest stall of
// the event loop and the growth of the resident memory; then one incoming message
// with 5,000 messages shown, and a flood of 200 "receive_message" events in 2 s.
// Usage: bench_chat_history [SIZE...]   (default 30 1000 5000 20000 50000)
// Run it through bench/chat_history.sh (loopback-only network, no display).
#include "pages/chat/ChatPage.h"
#include "support/SignedInClient.h"
#include "BenchHarness.h"

#include <QAbstractScrollArea>
#include <QApplication>
#include <QElapsedTimer>
#include <QNetworkReply>
#include <QSignalSpy>
#include <QStackedWidget>
#include <QTimer>

#include <malloc.h>

#include <cstdio>
#include <functional>

namespace {

using namespace bench;

const QString kMessagesPath = QStringLiteral("/api/desktop/chat/messages");
constexpr int kSettleMs = 1000;

// One chat page at 1200 x 750 signed in as luna, wired as the main window wires it.
struct ChatWindow
{
    explicit ChatWindow(DevServer& server)
        : client(server, QStringLiteral("luna"))
        , page(new ChatPage(&client.network, client.channel.get()))
        , shown(page, &ChatPage::historyShown)
    {
        stack.addWidget(page);
        page->setOwnUserName(QStringLiteral("luna"));
        QObject::connect(client.channel.get(), &RealtimeChannel::chatMessageReceived, page,
                         [this] { page->reloadHistory(true); });
        QObject::connect(page, &ChatPage::historyReplyHandled, page, [this](bool rendered) {
            if (rendered) {
                ++rendered_;
                awaitingPaint = true;
            }
        });
        QObject::connect(&client.network, &QNetworkAccessManager::finished, page, [this](QNetworkReply* reply) {
            if (reply->url().path() == kMessagesPath)
                replyAt = clock.elapsed();
        });
        page->findChild<QAbstractScrollArea*>("chatMessageList")->viewport()->installEventFilter(&paintWatcher);
        paintWatcher.onPaint = [this] {
            if (std::exchange(awaitingPaint, false))  // the paint pass is over when the event loop next turns
                QTimer::singleShot(0, page, [this] { paintedAt = clock.elapsed(); });
        };
        stack.resize(1200, 750);
        stack.show();
        clock.start();
    }

    struct PaintWatcher : QObject
    {
        std::function<void()> onPaint;
        bool eventFilter(QObject* watched, QEvent* event) override
        {
            if (event->type() == QEvent::Paint && onPaint)
                onPaint();
            return QObject::eventFilter(watched, event);
        }
    };

    SignedInClient client;
    QStackedWidget stack;
    ChatPage* page;
    QSignalSpy shown;  // the whole history is in
    PaintWatcher paintWatcher;
    QElapsedTimer clock;
    int rendered_ = 0;
    bool awaitingPaint = false;
    qint64 replyAt = -1;
    qint64 paintedAt = -1;
};

// Waits for the next rendering and its paint; reply -> painted in ms, or -1.
qint64 awaitPainted(ChatWindow& window, int renderedBefore, int timeoutMs)
{
    window.paintedAt = -1;
    if (!runUntil([&] { return window.rendered_ > renderedBefore && window.paintedAt >= 0; }, timeoutMs))
        return -1;
    return window.paintedAt - window.replyAt;
}

// A chat showing `count` messages, its channel connected.
std::unique_ptr<ChatWindow> connectedChat(DevServer& server, int count)
{
    server.control("POST", QStringLiteral("/__test__/chat"), {{"count", count}});
    auto window = std::make_unique<ChatWindow>(server);
    window->page->reloadHistory(false);
    awaitPainted(*window, 0, 600000);
    window->client.channel->openIfUnconnected();
    runUntil([&] { return window->client.channel->isReady(); }, 8000);
    runFor(kSettleMs);
    return window;
}

void historySizes(DevServer& server, const QList<int>& sizes)
{
    std::printf("%-8s %18s %19s %16s %14s\n", "messages", "reply->painted ms", "reply->complete ms",
                "longest stall ms", "RSS growth MB");
    for (int size : sizes) {
        server.control("POST", QStringLiteral("/__test__/chat"), {{"count", size}});
        malloc_trim(0);
        auto window = std::make_unique<ChatWindow>(server);
        runFor(500);
        const double rssBefore = rssMb();
        StallMeter stall;
        window->page->reloadHistory(false);
        const qint64 painted = awaitPainted(*window, 0, 600000);
        runUntil([&] { return window->shown.count() > 0; }, 600000);
        const qint64 complete = window->clock.elapsed() - window->replyAt;
        runFor(kSettleMs);
        std::printf("%-8d %18lld %19lld %16lld %14.1f\n", size, static_cast<long long>(painted),
                    static_cast<long long>(complete), static_cast<long long>(stall.longest()),
                    rssMb() - rssBefore);
        window.reset();
        runFor(200);
    }
}

void oneIncomingMessage(DevServer& server)
{
    const auto chat = connectedChat(server, 5000);
    ChatWindow& window = *chat;
    StallMeter stall;
    const int before = window.rendered_;
    window.client.channel->sendIfReady(QStringLiteral("send_message"), QJsonObject{{"text", "one more"}});
    const qint64 painted = awaitPainted(window, before, 600000);
    runFor(kSettleMs);
    std::printf("one incoming message, 5000 shown: reply->painted %lld ms, longest stall %lld ms\n",
                static_cast<long long>(painted), static_cast<long long>(stall.longest()));
}

void flood(DevServer& server)
{
    constexpr int kEvents = 200;
    constexpr int kSpreadMs = 2000;
    const auto chat = connectedChat(server, 30);
    ChatWindow& window = *chat;
    server.clearRequests();

    QNetworkAccessManager control;
    QNetworkRequest emitRequest(server.url().resolved(QUrl(QStringLiteral("/__test__/emit"))));
    emitRequest.setHeader(QNetworkRequest::ContentTypeHeader, QByteArrayLiteral("application/json"));
    const QByteArray payload =
        R"({"event":"receive_message","username":"luna","data":{"sender":"kai","text":"flood","created_at":""}})";
    int sent = 0;
    QTimer emitter;
    emitter.setTimerType(Qt::PreciseTimer);
    emitter.setInterval(kSpreadMs / kEvents);
    QObject::connect(&emitter, &QTimer::timeout, &control, [&] {
        if (sent++ >= kEvents) {
            emitter.stop();
            return;
        }
        QNetworkReply* reply = control.post(emitRequest, payload);
        QObject::connect(reply, &QNetworkReply::finished, reply, &QObject::deleteLater);
    });

    StallMeter stall;
    QElapsedTimer clock;
    clock.start();
    emitter.start();
    // Until the flood is over and the chat has been quiet for two seconds.
    int lastRendered = window.rendered_;
    QElapsedTimer quiet;
    quiet.start();
    while (emitter.isActive() || quiet.elapsed() < 2000) {
        runFor(20);
        if (window.rendered_ != lastRendered) {
            lastRendered = window.rendered_;
            quiet.restart();
        }
    }
    const qint64 longest = stall.longest();
    const int requests = server.requestCount(kMessagesPath);
    std::printf("flood of %d receive_message in %d ms: %d history requests, %d renderings, longest stall %lld ms"
                " (%lld ms in all)\n",
                kEvents, kSpreadMs, requests, window.rendered_ - 1,
                static_cast<long long>(longest), static_cast<long long>(clock.elapsed()));
}

}  // namespace

int main(int argc, char* argv[])
{
    Q_INIT_RESOURCE(resources);
    QApplication application(argc, argv);
    std::setvbuf(stdout, nullptr, _IOLBF, 0);  // each line out as soon as it is measured
    QList<int> sizes;
    for (const QString& argument : application.arguments().mid(1))
        if (argument.toInt() > 0)
            sizes << argument.toInt();
    if (sizes.isEmpty())
        sizes = {30, 1000, 5000, 20000, 50000};

    DevServer server;
    if (!server.start())
        return 1;
    historySizes(server, sizes);
    if (!qEnvironmentVariableIsSet("MOONLODGE_BENCH_SIZES_ONLY")) {
        oneIncomingMessage(server);
        flood(server);
    }
    return 0;
}
