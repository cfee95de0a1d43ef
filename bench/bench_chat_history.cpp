// Chat history cost against the dev server: for each history size, the time from
// the history reply to the first paint of the message list, the longest stall of
// the event loop and the growth of the resident memory; then one incoming message
// with 5,000 messages shown, and a flood of 200 "receive_message" events in 2 s.
// Usage: bench_chat_history [SIZE...]   (default 30 1000 5000 20000 50000)
// Run it through bench/chat_history.sh (loopback-only network, no display).
#include "pages/chat/ChatPage.h"
#include "support/SignedInClient.h"

#include <QAbstractScrollArea>
#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QNetworkReply>
#include <QPushButton>
#include <QSignalSpy>
#include <QStackedWidget>
#include <QTimer>

#include <malloc.h>

#include <cstdio>
#include <functional>

namespace {

const QString kMessagesPath = QStringLiteral("/api/desktop/chat/messages");
constexpr int kSettleMs = 1000;

double rssMegabytes()
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return 0;
    for (const QByteArray& line : status.readAll().split('\n'))
        if (line.startsWith("VmRSS:"))
            return line.mid(6).trimmed().split(' ').value(0).toDouble() / 1024.0;
    return 0;
}

void runFor(int milliseconds)
{
    QEventLoop loop;
    QTimer::singleShot(milliseconds, &loop, &QEventLoop::quit);
    loop.exec();
}

bool runUntil(const std::function<bool()>& done, int timeoutMs)
{
    QElapsedTimer clock;
    clock.start();
    while (!done() && clock.elapsed() < timeoutMs)
        runFor(2);
    return done();
}

// The longest time the event loop did not turn, seen by a 2 ms timer.
class StallMeter : public QObject
{
public:
    StallMeter()
    {
        m_timer.setTimerType(Qt::PreciseTimer);
        m_timer.setInterval(2);
        connect(&m_timer, &QTimer::timeout, this, [this] {
            m_longest = qMax(m_longest, m_sinceTick.restart() - 2);
        });
        m_timer.start();
        m_sinceTick.start();
    }
    void reset()
    {
        m_longest = 0;
        m_sinceTick.restart();
    }
    qint64 longest() const { return qMax(m_longest, m_sinceTick.elapsed() - 2); }

private:
    QTimer m_timer;
    QElapsedTimer m_sinceTick;
    qint64 m_longest = 0;
};

// One chat page at 1200 x 750 signed in as luna, wired as the main window wires it.
struct ChatWindow
{
    explicit ChatWindow(DevServer& server)
        : client(server, QStringLiteral("luna"))
        , page(new ChatPage(&client.network, client.channel.get()))
        , shown(page, SIGNAL(historyShown()))
    {
        stack.addWidget(page);
        page->setOwnUserName(client.userName);
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
        viewport()->installEventFilter(&paintWatcher);
        paintWatcher.onPaint = [this] {
            if (!awaitingPaint)
                return;
            awaitingPaint = false;
            // The paint pass is over when the event loop next turns.
            QTimer::singleShot(0, page, [this] { paintedAt = clock.elapsed(); });
        };
        stack.resize(1200, 750);
        stack.show();
        clock.start();
    }

    QWidget* viewport() const
    {
        for (const char* name : {"chatScrollArea", "chatMessageList"})
            if (auto* area = page->findChild<QAbstractScrollArea*>(QLatin1String(name)))
                return area->viewport();
        qFatal("no message list");
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
    // Pages that show a history in steps tell when all of it is in.
    QSignalSpy shown;
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

// After the first paint: reply -> every message in, in ms (the same as painted
// for pages that show the history at once).
qint64 awaitComplete(ChatWindow& window, int shownBefore, qint64 painted)
{
    if (!window.shown.isValid())
        return painted;
    runUntil([&] { return window.shown.count() > shownBefore; }, 600000);
    return window.clock.elapsed() - window.replyAt;
}

void historySizes(DevServer& server, const QList<int>& sizes)
{
    std::printf("%-8s %18s %19s %16s %14s\n", "messages", "reply->painted ms", "reply->complete ms",
                "longest stall ms", "RSS growth MB");
    for (int size : sizes) {
        server.control("POST", QStringLiteral("/__test__/chat"), {{"count", size}});
        malloc_trim(0);
        StallMeter stall;
        auto window = std::make_unique<ChatWindow>(server);
        runFor(500);
        const double rssBefore = rssMegabytes();
        stall.reset();
        window->page->reloadHistory(false);
        const qint64 painted = awaitPainted(*window, 0, 600000);
        const qint64 complete = awaitComplete(*window, 0, painted);
        runFor(kSettleMs);
        std::printf("%-8d %18lld %19lld %16lld %14.1f\n", size, static_cast<long long>(painted),
                    static_cast<long long>(complete), static_cast<long long>(stall.longest()),
                    rssMegabytes() - rssBefore);
        std::fflush(stdout);
        window.reset();
        runFor(200);
    }
}

void oneIncomingMessage(DevServer& server)
{
    server.control("POST", QStringLiteral("/__test__/chat"), {{"count", 5000}});
    ChatWindow window(server);
    window.page->reloadHistory(false);
    awaitPainted(window, 0, 600000);
    window.client.connectChannel();
    runFor(kSettleMs);

    StallMeter stall;
    const int before = window.rendered_;
    window.client.channel->sendIfReady(QStringLiteral("send_message"), QJsonObject{{"text", "one more"}});
    const qint64 painted = awaitPainted(window, before, 600000);
    runFor(kSettleMs);
    std::printf("one incoming message, 5000 shown: reply->painted %lld ms, longest stall %lld ms\n",
                static_cast<long long>(painted), static_cast<long long>(stall.longest()));
    std::fflush(stdout);
}

void flood(DevServer& server)
{
    constexpr int kEvents = 200;
    constexpr int kSpreadMs = 2000;
    server.control("POST", QStringLiteral("/__test__/chat"), {{"count", 30}});
    ChatWindow window(server);
    window.page->reloadHistory(false);
    awaitPainted(window, 0, 60000);
    window.client.connectChannel();
    runFor(kSettleMs);
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
    const qsizetype requests = [&] {
        qsizetype count = 0;
        for (const QJsonValue& request : server.requests())
            count += request.toObject().value("path").toString() == kMessagesPath;
        return count;
    }();
    std::printf("flood of %d receive_message in %d ms: %lld history requests, %d renderings, longest stall %lld ms"
                " (%lld ms in all)\n",
                kEvents, kSpreadMs, static_cast<long long>(requests), window.rendered_ - 1,
                static_cast<long long>(longest), static_cast<long long>(clock.elapsed()));
    std::fflush(stdout);
}

}  // namespace

int main(int argc, char* argv[])
{
    Q_INIT_RESOURCE(resources);
    QApplication application(argc, argv);
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
