// Push-to-talk outside the window, through the client's whole path: a key
// press reaching a private X server (XTEST, as a keyboard would), the key's
// held() on the GUI thread, the engine's gate, the capture on the audio thread
// (a live microphone delivering 10 ms chunks), the encoder, and the first
// packet handed to the peer's track. 50 presses.

#include "BenchVoiceClient.h"
#include "support/VirtualKeyboardDisplay.h"
#include "voice/VoiceChatManager.h"
#include "voice/PushToTalkKey.h"

#include <QElapsedTimer>
#include <QGuiApplication>
#include <QJsonObject>
#include <QTest>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <vector>

namespace {

QElapsedTimer pressClock;
std::atomic<qint64> firstPacketNs{-1};

// A peer's track that notes when the first packet after a press is sent.
class TimedTrack : public FakeVoiceAudioTrack
{
public:
    bool sendFrame(const QByteArray&, double, QString*) override
    {
        qint64 expected = -1;
        firstPacketNs.compare_exchange_strong(expected, pressClock.nsecsElapsed());
        return true;
    }
};

void printFigures(const char* what, const std::vector<double>& milliseconds)
{
    if (!milliseconds.empty())
        std::printf("%s: %zu presses, median %.1f ms, p95 %.1f ms, max %.1f ms\n", what, milliseconds.size(),
                    percentile(milliseconds, 0.5), percentile(milliseconds, 0.95), percentile(milliseconds, 1.0));
}

} // namespace

int main(int argc, char** argv)
{
    VirtualKeyboardDisplay display;
    if (!display.start())
        return 1;
    qputenv("QT_QPA_PLATFORM", "xcb");
    QGuiApplication app(argc, argv);
    const uint8_t f8 = display.keyCode(0xffc5);
    PushToTalkKey key;
    key.setKey(Qt::Key_F8, f8);
    if (!key.isGlobal())
        return 1;

    VoiceChatManager client(std::make_shared<SingleTrackFactory<TimedTrack>>());
    client.setMicrophoneDeviceId("vmic"); // a live source of silence, read in 10 ms chunks
    client.setPushToTalkEnabled(true);
    std::vector<double> heldMs;
    QObject::connect(&key, &PushToTalkKey::held, &client, [&] {
        heldMs.push_back(pressClock.nsecsElapsed() / 1e6);
        client.setPushToTalkPressed(true);
    });
    QObject::connect(&key, &PushToTalkKey::released, &client, [&] { client.setPushToTalkPressed(false); });
    if (!joinedVoice(client))
        return 2;
    client.handleSignalingEvent("voice_user_joined", QJsonObject{{"sid", "s1"}, {"username", "orion"}});
    QTest::qWait(1000);

    std::vector<double> packetMs;
    for (int press = 0; press < 50; ++press) {
        firstPacketNs = -1;
        pressClock.start();
        display.press(f8);
        if (QTest::qWaitFor([] { return firstPacketNs >= 0; }, 2000))
            packetMs.push_back(firstPacketNs / 1e6);
        display.release(f8);
        QTest::qWait(150 + press % 7 * 3); // presses fall anywhere in the capture's 10 ms
    }
    client.leaveVoice();

    printFigures("push-to-talk key press -> held() on the GUI thread", heldMs);
    printFigures("push-to-talk key press -> first packet sent (goal <= 30 ms)", packetMs);
    std::printf("push-to-talk: load average %.2f\n", loadAverage());
    return 0;
}
