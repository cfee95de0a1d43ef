// Mouth-to-ear latency between two voice engines on loopback: 1 kHz bursts
// played into a low-latency virtual microphone (the monitor of a null sink
// fed with 5 ms buffers), detected on the other client's speaker monitor.
// Both ends are timed with the same clock. The same run measures the harness
// alone (bursts played straight into the speaker and recorded from its
// monitor) and a plain GStreamer Opus/RTP pipeline between the same devices.

#include "BenchVoiceClient.h"
#include "TestAudio.h"
#include "VoiceEngineProbe.h"

#include <QAudioSink>
#include <QGuiApplication>

#undef signals
#include <gst/gst.h>

#include <algorithm>
#include <cstdio>

namespace {

QElapsedTimer benchClock;

// Plays silence with 100 ms bursts of 1 kHz into an output, as time passes,
// with about 5 ms of buffering.
class BurstFeeder
{
public:
    explicit BurstFeeder(const QByteArray& outputId)
        : sink(std::make_unique<QAudioSink>(audioOutput(outputId), monoFormat()))
    {
        sink->setBufferSize(480);
        io = sink->start();
        startNs = benchClock.nsecsElapsed();
        QObject::connect(&timer, &QTimer::timeout, &timer, [this] { pump(); });
        timer.setTimerType(Qt::PreciseTimer);
        timer.start(2);
    }
    // Starts a burst at the next written sample; returns its time in ms on benchClock.
    double burst()
    {
        burstStart = written;
        return double(startNs) / 1e6 + double(written) * 1000.0 / 48000.0;
    }

private:
    void pump()
    {
        const qint64 due = (benchClock.nsecsElapsed() - startNs) * 48 / 1000000;
        // Behind after a stall of this thread: what is overdue is skipped, not
        // written late, or it would wait in the output's buffer and delay every
        // burst after it.
        written = std::max(written, due - MaxLagSamples);
        std::vector<qint16> samples;
        while (written < due) {
            const qint64 inBurst = written - burstStart;
            const bool on = burstStart >= 0 && inBurst < 4800;
            samples.push_back(on ? qint16(12000 * std::sin(2 * M_PI * 1000.0 * double(inBurst) / 48000.0)) : 0);
            ++written;
        }
        if (io && !samples.empty())
            io->write(reinterpret_cast<const char*>(samples.data()), qint64(samples.size() * sizeof(qint16)));
    }
    static constexpr qint64 MaxLagSamples = 240;
    std::unique_ptr<QAudioSink> sink;
    QIODevice* io = nullptr;
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
        : source(std::make_unique<QAudioSource>(testAudioInput(id), monoFormat()))
    {
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

// Latencies in ms, one a detected burst.
using Figures = std::vector<double>;
double median(const Figures& figures) { return percentile(figures, 0.5); }

// Bursts from the feeder, onsets on the recorder.
Figures measure(BurstFeeder& feeder, TimedRecorder& recorder, int bursts)
{
    Figures figures;
    for (int i = 0; i < bursts; ++i) {
        const double sent = feeder.burst();
        // Far apart: a burst heard later than the spacing would pass for the next one's.
        QTest::qWait(1000);
        const double heard = recorder.onsetAfter(sent);
        if (heard > 0 && heard - sent < 980)
            figures.push_back(heard - sent);
    }
    return figures;
}

// The plain pipeline: pulsesrc, opusenc 20 ms, rtpopuspay, UDP on loopback,
// rtpjitterbuffer 20 ms, opusdec, pulsesink 20 ms.
class PlainPipeline
{
public:
    PlainPipeline(const char* microphone, const char* speaker)
    {
        gst_init(nullptr, nullptr);
        const QByteArray receive = QByteArray("udpsrc address=127.0.0.1 port=47000 caps=\"application/x-rtp,media=audio,"
                                              "encoding-name=OPUS,clock-rate=48000,payload=96\" ! rtpjitterbuffer latency=20"
                                              " ! rtpopusdepay ! opusdec ! audioconvert ! pulsesink device=")
            + speaker + " buffer-time=20000 latency-time=10000 sync=false";
        const QByteArray send = QByteArray("pulsesrc device=") + microphone
            + " buffer-time=20000 latency-time=10000 ! audio/x-raw,rate=48000,channels=1 ! opusenc frame-size=20"
              " ! rtpopuspay pt=96 ! udpsink host=127.0.0.1 port=47000 sync=false";
        receiver = gst_parse_launch(receive.constData(), nullptr);
        sender = gst_parse_launch(send.constData(), nullptr);
        setState(GST_STATE_PLAYING);
    }
    ~PlainPipeline()
    {
        setState(GST_STATE_NULL);
        for (GstElement* pipeline : {sender, receiver})
            if (pipeline)
                gst_object_unref(pipeline);
    }
    bool isRunning() const { return sender && receiver; }

private:
    void setState(GstState state)
    {
        for (GstElement* pipeline : {receiver, sender})
            if (pipeline)
                gst_element_set_state(pipeline, state);
    }
    GstElement* sender = nullptr;
    GstElement* receiver = nullptr;
};

void print(const char* name, const Figures& figures, double harness)
{
    if (figures.empty()) {
        std::printf("%-28s no burst detected\n", name);
        return;
    }
    const double p95 = percentile(figures, 0.95);
    std::printf("%-28s %3zu bursts  median %6.1f ms  p95 %6.1f ms  (net of harness: median %6.1f, p95 %6.1f)\n",
                name, figures.size(), median(figures), p95, median(figures) - harness, p95 - harness);
}

} // namespace

int main(int argc, char** argv)
{
    QGuiApplication app(argc, argv);
    benchClock.start();
    DevServer server;
    if (!server.start())
        return 1;
    constexpr int Bursts = 50;

    // The harness alone: bursts played into the listener's speaker, recorded from its monitor.
    TimedRecorder recorder("vspk_b_rec");
    QTest::qWait(2000); // a cold null sink stalls at first
    const Figures harness = [&] {
        BurstFeeder direct("vspk_b");
        QTest::qWait(500);
        return measure(direct, recorder, 20);
    }();
    const double harnessMedian = harness.empty() ? 0 : median(harness);

    Figures client;
    {
        SignedInVoiceClient luna(server, "vmic_low_a", "vspk_a");
        SignedInVoiceClient orion(server, "vmic_b", "vspk_b", QStringLiteral("orion"));
        if (!luna.waitUntilReady() || !orion.waitUntilReady())
            return 2;
        VoiceChatManager& speaker = luna.client;
        VoiceChatManager& listener = orion.client;

        BurstFeeder feeder("vmic_feed_a");
        ToneFeeder quietListener("vmic_b", 440.0, 0);
        // Noise suppression learns a tone that comes back every second as
        // noise and fades its onsets, which would pass for delay here.
        speaker.setAudioProcessing(false, false, false);
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
        client = measure(feeder, recorder, Bursts);
        std::printf("listener's playout buffer after the bursts: %d ms\n",
                    VoiceEngineProbe::longestPlayoutDelayMs(listener));
        speaker.leaveVoice();
        listener.leaveVoice();
    }

    const Figures plain = [&] {
        PlainPipeline pipeline("vmic_low_a", "vspk_b");
        BurstFeeder feeder("vmic_feed_a");
        QTest::qWait(1500);
        return pipeline.isRunning() ? measure(feeder, recorder, Bursts) : Figures();
    }();

    std::printf("mouth-to-ear latency, same run:\n");
    print("harness alone", harness, 0);
    print("client to client", client, harnessMedian);
    print("plain GStreamer pipeline", plain, harnessMedian);
    if (!client.empty() && !plain.empty())
        std::printf("client / plain pipeline (medians): %.2f\n", median(client) / median(plain));
    return client.empty() ? 4 : 0;
}
