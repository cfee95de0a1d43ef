// Playback through GUI stalls: an aiortc voice bot talks (a steady tone) to
// this client while the client's GUI thread is blocked for 300 ms every 2 s
// for 30 s. Prints the longest gap in what the client's speaker played, and
// the member's playout delay after 2 s and after 30 s.

#include "BenchVoiceClient.h"
#include "VoiceEngineProbe.h"

#include <QGuiApplication>
#include <QTest>
#include <QThread>

#include <cstdio>

namespace {

// The longest run of 1 ms windows whose level is under the floor, in ms.
int longestGapMs(const std::vector<qint16>& samples, size_t from)
{
    int longest = 0, current = 0;
    for (size_t window = from; window + 48 <= samples.size(); window += 48) {
        current = rmsOf(samples.data() + window, 48) < 500 ? current + 1 : 0;
        longest = std::max(longest, current);
    }
    return longest;
}

} // namespace

int main(int argc, char** argv)
{
    QGuiApplication app(argc, argv);
    DevServer server;
    if (!server.start())
        return 1;

    SignedInVoiceClient luna(server, "vmic", "vspk_a");
    if (!luna.waitUntilReady())
        return 2;
    VoiceChatManager& client = luna.client;
    // The recording has a thread of its own, so the stalls do not touch it.
    QThread recording;
    recording.start();
    QObject recordingContext;
    recordingContext.moveToThread(&recording);
    std::unique_ptr<SpeakerRecorder> speaker;
    const auto onRecordingThread = [&](auto work) {
        QMetaObject::invokeMethod(&recordingContext, work, Qt::BlockingQueuedConnection);
    };
    onRecordingThread([&] { speaker = std::make_unique<SpeakerRecorder>("vspk_a_rec"); });
    client.joinVoice();

    VoiceBot bot(server, "nova", 500);
    if (!QTest::qWaitFor([&] { return client.isRemoteUserSpeaking("nova"); }, 30000)) {
        std::printf("GUI stall: the bot did not connect\n");
        return 3;
    }
    // The largest of ten readings 20 ms apart.
    const auto delayMs = [&] {
        int longest = 0;
        for (int i = 0; i < 10; ++i, QTest::qWait(20))
            longest = std::max(longest, VoiceEngineProbe::longestPlayoutDelayMs(client));
        return longest;
    };
    QTest::qWait(2000);
    const int delayAt2s = delayMs();
    size_t start = 0;
    onRecordingThread([&] { start = speaker->samples.size(); });

    // 300 ms of a frozen GUI thread every 2 s, for 30 s.
    QTimer stall;
    QObject::connect(&stall, &QTimer::timeout, &stall, [] { QThread::msleep(300); });
    stall.start(2000);
    QTest::qWait(30000);
    stall.stop();
    const int delayAt30s = delayMs();
    QTest::qWait(500);

    std::vector<qint16> played;
    onRecordingThread([&] {
        played = speaker->samples;
        speaker.reset();
    });
    recording.quit();
    recording.wait();
    std::printf("GUI stall (300 ms every 2 s for 30 s): longest gap in the played tone %d ms; "
                "playout delay %d ms after 2 s, %d ms after 30 s\n",
                longestGapMs(played, start), delayAt2s, delayAt30s);
    client.leaveVoice();
    return 0;
}
