// Large lists: the ideas feed, the members directory, the leaderboard and a
// presence flood, each against a canned loopback HTTP server running on its own
// thread (so serving costs the window nothing). Prints one line per case:
//   <case> <N> reply->painted <ms> stall <ms> rss <MB> requests <n> avatars <n>
// reply->painted runs from the moment the server has written the list reply to
// the end of the first synchronous repaint after the page shows it; the stall is
// the longest time the event loop did not turn beyond a 2 ms timer's interval.
// Usage: bench_lists [CASE N]...   cases: ideas members leaderboard presence
// Without arguments every size of the report is run, one process per case.
#include "pages/games/GamesPage.h"
#include "pages/ideas/IdeasPage.h"
#include "pages/members/MembersPage.h"
#include "online/ChatOnlinePanel.h"
#include "online/GamesOnlinePanel.h"
#include "BenchHarness.h"

#include <QApplication>
#include <QAtomicInt>
#include <QBuffer>
#include <QElapsedTimer>
#include <QHBoxLayout>
#include <QImage>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLabel>
#include <QNetworkAccessManager>
#include <QProcess>
#include <QTcpServer>
#include <QTcpSocket>
#include <QThread>
#include <QTimer>

#include <cstdio>
#include <functional>
#include <memory>

namespace {

using namespace bench;

QElapsedTimer g_clock;
QAtomicInteger<qint64> g_listSentAt{0};
QAtomicInt g_requests{0};
QAtomicInt g_avatarRequests{0};

QByteArray avatarPng()
{
    QImage image(96, 96, QImage::Format_ARGB32);
    image.fill(QColor(120, 80, 200));
    QBuffer buffer;
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "PNG");
    return buffer.data();
}

// Answers every request at once from the canned bodies; one thread of its own.
class CannedServer : public QObject
{
public:
    QHash<QByteArray, QByteArray> bodies;  // path -> JSON body
    QByteArray avatar = avatarPng();

    quint16 start()
    {
        m_server = new QTcpServer(this);
        m_server->listen(QHostAddress::LocalHost, 0);
        connect(m_server, &QTcpServer::newConnection, this, [this] {
            while (QTcpSocket* socket = m_server->nextPendingConnection())
                connect(socket, &QTcpSocket::readyRead, socket, [this, socket] { serve(socket); });
        });
        return m_server->serverPort();
    }

private:
    void serve(QTcpSocket* socket)
    {
        QByteArray& pending = m_pending[socket];
        pending += socket->readAll();
        for (qsizetype end; (end = pending.indexOf("\r\n\r\n")) >= 0;) {
            const QByteArray path = pending.left(end).split(' ').value(1).split('?').first();
            pending.remove(0, end + 4);
            g_requests.fetchAndAddRelaxed(1);
            const bool isAvatar = path.startsWith("/static/avatars/");
            g_avatarRequests.fetchAndAddRelaxed(isAvatar);
            const QByteArray body = isAvatar ? avatar : bodies.value(path, "{}");
            const QByteArray type = isAvatar ? "image/png" : "application/json";
            socket->write("HTTP/1.1 200 OK\r\nContent-Type: " + type + "\r\nContent-Length: "
                          + QByteArray::number(body.size()) + "\r\n\r\n" + body);
            socket->flush();
            if (!isAvatar && bodies.contains(path))
                g_listSentAt.storeRelaxed(g_clock.nsecsElapsed());
        }
    }

    QTcpServer* m_server = nullptr;
    QHash<QTcpSocket*, QByteArray> m_pending;
};

QByteArray compact(const QJsonObject& object) { return QJsonDocument(object).toJson(QJsonDocument::Compact); }
QString avatarName(int i) { return QStringLiteral("member%1.png").arg(i % 40); }

QByteArray ideasBody(int count)
{
    QJsonArray ideas;
    for (int i = 0; i < count; ++i)
        ideas.append(QJsonObject{{"id", i + 1}, {"author", QStringLiteral("member%1").arg(i % 500)},
                                 {"profile_image", avatarName(i)}, {"title", QStringLiteral("Idea number %1").arg(i)},
                                 {"content", QStringLiteral("A short idea about the lodge, number %1.").arg(i)},
                                 {"liked_by_me", i % 3 == 0}, {"like_count", i % 17}, {"can_delete", i % 50 == 0}});
    return compact({{"success", true}, {"csrf_token", "token"}, {"ideas", ideas}});
}

QJsonArray memberArray(int count, bool everyoneOnline)
{
    QJsonArray members;
    for (int i = 0; i < count; ++i)
        members.append(QJsonObject{{"username", QStringLiteral("member%1").arg(i)}, {"profile_image", avatarName(i)},
                                   {"status", i % 4 == 0 ? "away" : "Online"},
                                   {"online", everyoneOnline || i % 5 == 0}, {"voice_active", false}});
    return members;
}

QByteArray leaderboardBody(int count)
{
    QJsonArray rows;
    for (int i = 0; i < count; ++i)
        rows.append(QJsonObject{{"username", QStringLiteral("member%1").arg(i)}, {"profile_image", avatarName(i)},
                                {"best_score", count - i}});
    return compact({{"success", true}, {"username", "member7"}, {"leaderboard", rows}});
}

// Shows the page, asks it to load, and reports once `shown` says it holds the reply.
void measurePage(QWidget& window, QWidget* page, const char* name, int count, const std::function<void()>& load,
                 const std::function<bool()>& shown)
{
    window.layout()->addWidget(page);
    window.show();
    runFor(300);
    StallMeter stall;
    load();
    double painted = -1;
    if (runUntil(shown, 600000)) {  // reply -> end of the first synchronous repaint showing it
        QCoreApplication::sendPostedEvents(nullptr, QEvent::LayoutRequest);
        window.repaint();
        painted = (g_clock.nsecsElapsed() - g_listSentAt.loadRelaxed()) / 1e6;
    }
    runFor(2000);
    std::printf("%s %d reply->painted %.0f ms stall %lld ms rss %.0f MB requests %d avatars %d\n", name, count,
                painted, static_cast<long long>(stall.longest()), rssMb(), g_requests.loadRelaxed(),
                g_avatarRequests.loadRelaxed());
}

int runCase(const QString& name, int count, CannedServer& server)
{
    QNetworkAccessManager network;
    QWidget window;
    window.resize(1200, 750);
    auto* layout = new QHBoxLayout(&window);
    layout->setContentsMargins(0, 0, 0, 0);

    if (name == QLatin1String("ideas")) {
        server.bodies.insert("/api/desktop/ideas", ideasBody(count));
        auto* page = new IdeasPage(&network, &window);
        measurePage(window, page, "ideas", count, [page] { page->openIdeasPage(); },
                    [page, count] { return page->countLabel()->text() == QStringLiteral("%1 IDEAS").arg(count); });
    } else if (name == QLatin1String("members")) {
        server.bodies.insert("/api/desktop/members",
                             compact({{"success", true}, {"members", memberArray(count, false)}}));
        auto* page = new MembersPage(&network, [](const QString&) {}, &window);
        measurePage(window, page, "members", count, [page] { page->loadMembers(); },
                    [page, count] { return page->countBadge()->text() == QStringLiteral("%1 MEMBERS").arg(count); });
    } else if (name == QLatin1String("leaderboard")) {
        server.bodies.insert("/api/desktop/games/leaderboard", leaderboardBody(count));
        auto* page = new GamesPage(&network, &window);
        measurePage(window, page, "leaderboard", count, [page] { page->reloadLeaderboard(); },
                    [page] { return !page->leaderboardInFlight(); });
    } else if (name == QLatin1String("presence")) {
        // 50 members online, each with a downloaded avatar; `count` events spread over 30 s,
        // handled the way the window handles a presence event.
        const QJsonArray online = memberArray(50, true);
        server.bodies.insert("/api/desktop/presence",
                             compact({{"success", true}, {"online_count", 50}, {"members", online}}));
        server.bodies.insert("/api/online-members", QJsonDocument(online).toJson(QJsonDocument::Compact));
        auto* chatPanel = new ChatOnlinePanel(&network, &window);
        auto* gamesPanel = new GamesOnlinePanel(&network, &window);
        layout->addWidget(chatPanel);
        layout->addWidget(gamesPanel);
        window.show();
        runFor(300);
        const double before = rssMb();
        StallMeter stall;
        QElapsedTimer flood;
        flood.start();
        int sent = 0;
        QTimer pump;
        pump.setInterval(10);
        QObject::connect(&pump, &QTimer::timeout, [&] {
            const int due = std::min<qint64>(count, count * flood.elapsed() / 30000);
            for (; sent < due; ++sent) {
                QTimer::singleShot(150, chatPanel, [chatPanel] { chatPanel->reload(); });
                gamesPanel->reload();
            }
            if (sent >= count)
                pump.stop();
        });
        pump.start();
        runUntil([&] { return sent >= count; }, 600000);
        const double floodSeconds = flood.elapsed() / 1000.0;
        const int requests = g_requests.loadRelaxed();
        runFor(30000);
        std::printf("presence %d events in %.1f s requests %d (%.1f/s) avatars %d stall %lld ms rss before %.0f MB "
                    "after 30 s calm %.0f MB\n",
                    count, floodSeconds, requests, requests / floodSeconds, g_avatarRequests.loadRelaxed(),
                    static_cast<long long>(stall.longest()), before, rssMb());
    } else {
        std::fprintf(stderr, "unknown case %s\n", qPrintable(name));
        return 2;
    }
    return 0;
}

}  // namespace

int main(int argc, char* argv[])
{
    Q_INIT_RESOURCE(resources);
    QApplication application(argc, argv);
    std::setvbuf(stdout, nullptr, _IOLBF, 0);  // each line out as soon as it is measured
    const QStringList arguments = application.arguments().mid(1);
    if (arguments.size() < 2) {
        // Every case in a process of its own, so that each RSS is its own.
        const QList<QPair<QString, int>> cases{{"ideas", 2000},   {"ideas", 10000},       {"members", 5000},
                                               {"members", 20000}, {"leaderboard", 20000}, {"presence", 30000}};
        for (const auto& [name, count] : cases)
            QProcess::execute(application.applicationFilePath(), {name, QString::number(count)});
        return 0;
    }

    g_clock.start();
    QThread serverThread;
    CannedServer server;
    server.moveToThread(&serverThread);
    serverThread.start();
    quint16 port = 0;
    QMetaObject::invokeMethod(&server, [&] { port = server.start(); }, Qt::BlockingQueuedConnection);
    qputenv("MOONLODGE_BASE_URL", QByteArray("http://127.0.0.1:") + QByteArray::number(port));

    const int result = runCase(arguments.at(0), arguments.at(1).toInt(), server);
    QMetaObject::invokeMethod(&server, [&] { qDeleteAll(server.children()); }, Qt::BlockingQueuedConnection);
    serverThread.quit();
    serverThread.wait();
    return result;
}
