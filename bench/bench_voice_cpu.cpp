// CPU of one client (this process: voice engine with capture, Opus encode,
// WebRTC, decode and playback) with 1, 3 and 7 remote members talking. The
// remote members are aiortc voice bots that connect to this client only; the
// figure is this process's user+system CPU time over 10 s as a share of one core.

#include "BenchVoiceClient.h"

#include <QGuiApplication>
#include <QTest>

#include <cstdio>
#include <ctime>

// This process's user+system CPU time, all threads.
double cpuSeconds() { return double(std::clock()) / CLOCKS_PER_SEC; }

int main(int argc, char** argv)
{
    QGuiApplication app(argc, argv);
    DevServer server;
    if (!server.start())
        return 1;

    SignedInVoiceClient luna(server, "vmic_a", "vspk_a");
    if (!luna.waitUntilReady())
        return 2;
    VoiceChatManager& client = luna.client;
    ToneFeeder tone("vmic_a", 440.0, 8000);
    client.joinVoice();

    const QStringList members{"nova", "kai", "orion", "pixel", "stella", "mira", "drifter"};
    std::vector<std::unique_ptr<VoiceBot>> bots;
    for (int count : {1, 3, 7}) {
        while (int(bots.size()) < count)
            bots.push_back(std::make_unique<VoiceBot>(server, members.at(int(bots.size())), 500 + 60 * int(bots.size()), 120));
        const auto talking = [&](const QString& member) { return client.isRemoteUserSpeaking(member); };
        if (!QTest::qWaitFor([&] { return std::all_of(members.begin(), members.begin() + count, talking); }, 30000)) {
            std::printf("%d remote members: not all of them connected\n", count);
            continue;
        }
        QTest::qWait(2000);
        const double cpuBefore = cpuSeconds();
        QElapsedTimer wall;
        wall.start();
        QTest::qWait(10000);
        const double share = (cpuSeconds() - cpuBefore) / (double(wall.elapsed()) / 1000.0);
        std::printf("CPU of one client with %d remote member%s talking: %.1f%% of one core\n", count,
                    count == 1 ? "" : "s", share * 100.0);
        std::fflush(stdout);
    }
    client.leaveVoice();
    return 0;
}
