// Mouth-to-ear latency between two voice engines on loopback: 1 kHz bursts
// written into one client's FIFO microphone, detected on the other client's
// speaker monitor. Both ends are timed with the same clock; the figure
// includes PulseAudio's capture of the FIFO and of the monitor, Opus both
// ways, WebRTC on loopback and the 40 ms jitter buffer, and the output buffer.

#include "SignalingBridge.h"
#include "TestAudio.h"
#include "support/DevServer.h"
#include "voice/GstVoicePeerConnectionFactory.h"

#include <QCoreApplication>
#include <QGuiApplication>
#include <QTest>

#include <algorithm>
#include <cstdio>

namespace {

QElapsedTimer benchClock;

// Writes silence with 100 ms bursts of 1 kHz, as time passes (no lead).
class BurstFeeder
{
public:
    explicit BurstFeeder(const QString& microphone)
    {
        const QByteArray path = qgetenv("MOONLODGE_TEST_AUDIO_DIR") + "/" + microphone.toUtf8() + ".fifo";
        fd = ::open(path.constData(), O_WRONLY | O_NONBLOCK);
        startNs = benchClock.nsecsElapsed();
        QObject::connect(&timer, &QTimer::timeout, &timer, [this] { pump(); });
        timer.setTimerType(Qt::PreciseTimer);
        timer.start(2);
    }
    ~BurstFeeder() { ::close(fd); }
    // Starts a burst at the next written sample; returns its time in ms on benchClock.
    double burst()
    {
        burstStart = written;
        return double(startNs) / 1e6 + double(written) * 1000.0 / 48000.0;
    }
    int fd = -1;

private:
    void pump()
    {
        const qint64 due = (benchClock.nsecsElapsed() - startNs) * 48 / 1000000;
        std::vector<qint16> samples;
        while (written < due) {
            const qint64 inBurst = written - burstStart;
            const bool on = burstStart >= 0 && inBurst < 4800;
            samples.push_back(on ? qint16(12000 * std::sin(2 * M_PI * 1000.0 * double(inBurst) / 48000.0)) : 0);
            ++written;
        }
        if (!samples.empty()) {
            const ssize_t ignored = ::write(fd, samples.data(), samples.size() * sizeof(qint16));
            Q_UNUSED(ignored);
        }
    }
    QTimer timer;
    qint64 startNs = 0;
    qint64 written = 0;
    qint64 burstStart = -1;
};

// Records a source and keeps, for every sample, the time it was captured.
class TimedRecorder
{
public:
    explicit TimedRecorder(const QByteArray& id)
    {
        QAudioFormat format;
        format.setSampleRate(48000);
        format.setChannelCount(1);
        format.setSampleFormat(QAudioFormat::Int16);
        source = std::make_unique<QAudioSource>(testAudioInput(id), format);
        source->setBufferSize(960);
        io = source->start();
        QObject::connect(io, &QIODevice::readyRead, io, [this] {
            char chunk[8192];
            for (;;) {
                const qint64 count = io->read(chunk, sizeof chunk);
                if (count <= 0)
                    break;
                const double now = double(benchClock.nsecsElapsed()) / 1e6;
                const auto* values = reinterpret_cast<const qint16*>(chunk);
                const qint64 n = count / 2;
                for (qint64 i = 0; i < n; ++i) {
                    samples.push_back(values[i]);
                    times.push_back(now - double(n - 1 - i) * 1000.0 / 48000.0);
                }
            }
        });
    }
    // Time of the first loud sample captured after `after` ms, or -1.
    double onsetAfter(double after) const
    {
        for (size_t i = 0; i < samples.size(); ++i)
            if (times[i] > after && std::abs(int(samples[i])) > 3000)
                return times[i];
        return -1;
    }
    std::unique_ptr<QAudioSource> source;
    QIODevice* io = nullptr;
    std::vector<qint16> samples;
    std::vector<double> times;
};

double percentile(std::vector<double> values, double p)
{
    std::sort(values.begin(), values.end());
    const double rank = p * double(values.size() - 1);
    const size_t low = size_t(rank);
    const size_t high = std::min(low + 1, values.size() - 1);
    return values[low] + (values[high] - values[low]) * (rank - double(low));
}

} // namespace

int main(int argc, char** argv)
{
    QGuiApplication app(argc, argv);
    benchClock.start();
    DevServer server;
    if (!server.start())
        return 1;

    auto factory = std::make_shared<GstVoicePeerConnectionFactory>();
    factory->setLoopbackOnly(true);
    VoiceChatManager speaker(factory);
    VoiceChatManager listener(factory);
    speaker.setMicrophoneDeviceId("vmic_a");
    speaker.setSpeakerDeviceId("vspk_a");
    listener.setMicrophoneDeviceId("vmic_b");
    listener.setSpeakerDeviceId("vspk_b");
    SignalingBridge speakerChannel(&speaker, server.url(), server.sessionFor("luna").value("cookie").toString().toUtf8());
    SignalingBridge listenerChannel(&listener, server.url(), server.sessionFor("orion").value("cookie").toString().toUtf8());
    if (!QTest::qWaitFor([&] { return speakerChannel.isReady() && listenerChannel.isReady(); }, 10000))
        return 2;

    BurstFeeder feeder("vmic_a");
    ToneFeeder quietListener("vmic_b", 440.0, 0);
    TimedRecorder recorder("vspk_b_rec");
    speaker.joinVoice();
    QTest::qWait(300);
    listener.joinVoice();
    // Connected once a burst comes through.
    bool connected = false;
    for (int tries = 0; tries < 30 && !connected; ++tries) {
        feeder.burst();
        connected = QTest::qWaitFor([&] { return listener.isRemoteUserSpeaking("luna"); }, 500);
    }
    if (!connected) {
        std::fprintf(stderr, "the engines did not connect\n");
        return 3;
    }
    QTest::qWait(1500);

    std::vector<double> latencies;
    for (int i = 0; i < 25; ++i) {
        const double sent = feeder.burst();
        QTest::qWait(600);
        const double heard = recorder.onsetAfter(sent);
        if (heard > 0 && heard - sent < 580)
            latencies.push_back(heard - sent);
    }
    speaker.leaveVoice();
    listener.leaveVoice();

    if (latencies.empty()) {
        std::printf("mouth-to-ear latency: no burst detected\n");
        return 4;
    }
    std::printf("mouth-to-ear latency over %zu bursts: median %.1f ms, 95th percentile %.1f ms (min %.1f, max %.1f)\n",
                latencies.size(), percentile(latencies, 0.5), percentile(latencies, 0.95),
                *std::min_element(latencies.begin(), latencies.end()),
                *std::max_element(latencies.begin(), latencies.end()));
    return 0;
}
