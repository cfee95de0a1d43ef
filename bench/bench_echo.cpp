// Echo cancellation, first through the client's own path: far-end speech
// played on a speaker whose monitor is fed back into the microphone (a
// PulseAudio loopback, bench/run.sh sets it up), the output's tap handing the
// capture what is played, and what the client sends compared with what its
// microphone heard: echo return loss enhancement once converged, the time to
// get there, and the CPU of the engine's audio thread with processing on and
// off. Then the canceller alone on a synthetic echo path (60 ms delay, -6 dB,
// two reflections), per 10 ms frame.

#include "BenchVoiceClient.h"
#include "EchoScene.h"
#include "TestAudio.h"
#include "VoiceEngineProbe.h"

#include <QAudioSink>
#include <QDir>
#include <QElapsedTimer>
#include <QGuiApplication>
#include <QJsonObject>
#include <QTest>
#include <QTimer>

#include <algorithm>
#include <cmath>
#include <functional>
#include <cstdio>
#include <mutex>
#include <numeric>
#include <unistd.h>

namespace {

constexpr int Seconds = 20;
constexpr int FramesPerSecond = 100;
constexpr int BlockFrames = 20; // ERLE is measured over 200 ms blocks.
constexpr double GoalDb = 20.0;

// The canceller over a far end whose echo comes back 60 ms late at `echoGain`,
// the member talking over it from `talkFromSeconds` on (never if negative): the
// echo reduction (ERLE) per 200 ms block, the time per frame, and the share of
// the member's voice that was sent while they talked.
struct Run {
    std::vector<double> blockErleDb;
    double microsecondsPerFrame = 0.0;
    double voiceSentDb = 0.0;
};

Run run(bool echoCancellation, bool others, int hintMs, double echoGain = 0.5, int seconds = Seconds, int talkFromSeconds = -1)
{
    AudioProcessing apm;
    apm.setEchoCancellation(echoCancellation);
    apm.setNoiseSuppression(others);
    apm.setAutomaticGain(others);
    apm.setStreamDelayMs(hintMs);
    EchoScene scene(60, echoGain), member(0, 0.0, 7);
    AudioProcessing::Frame render{}, capture{}, voice{}, unused{};
    Run result;
    double echoEnergy = 0.0, outEnergy = 0.0, voiceEnergy = 0.0, voiceSentEnergy = 0.0;
    qint64 nanoseconds = 0;
    QElapsedTimer timer;
    for (int frame = 1; frame <= seconds * FramesPerSecond; ++frame) {
        scene.next(render, capture);
        const bool talking = talkFromSeconds >= 0 && frame > talkFromSeconds * FramesPerSecond;
        if (talking) {
            member.next(voice, unused);
            for (int i = 0; i < AudioProcessing::FrameSamples; ++i)
                capture[i] = qint16(std::clamp(capture[i] + voice[i], -32768, 32767));
            voiceEnergy += frameEnergy(voice);
        }
        echoEnergy += frameEnergy(capture);
        timer.start();
        apm.analyzeRender(render);
        apm.processCapture(capture);
        nanoseconds += timer.nsecsElapsed();
        outEnergy += frameEnergy(capture);
        voiceSentEnergy += talking ? frameEnergy(capture) : 0.0;
        if (frame % BlockFrames == 0) {
            result.blockErleDb.push_back(10.0 * std::log10(echoEnergy / std::max(outEnergy, 1.0)));
            echoEnergy = outEnergy = 0.0;
        }
    }
    result.microsecondsPerFrame = nanoseconds / 1000.0 / (seconds * FramesPerSecond);
    result.voiceSentDb = 10.0 * std::log10(voiceSentEnergy / std::max(voiceEnergy, 1.0));
    return result;
}

// The start, in seconds, of the first block after which every block stays at
// or above level, or -1.
double convergedAfterSeconds(const std::vector<double>& blocks, double level, double blockSeconds)
{
    const auto below = std::find_if(blocks.rbegin(), blocks.rend(), [level](double db) { return db < level; });
    const std::size_t start = std::size_t(blocks.rend() - below);
    return start < blocks.size() ? double(start) * blockSeconds : -1.0;
}

double meanOfLast(const std::vector<double>& blocks, std::size_t count)
{
    return std::accumulate(blocks.end() - std::ptrdiff_t(count), blocks.end(), 0.0) / double(count);
}

// Prints when the blocks reach the goal, or else settle within 3 dB of their final mean.
void printConvergence(const std::vector<double>& blocks, double converged, double blockSeconds, bool sayNever)
{
    const double reached = convergedAfterSeconds(blocks, GoalDb, blockSeconds);
    if (reached >= 0)
        std::printf("stays >= %.0f dB after %.1f s, ", GoalDb, reached);
    else
        std::printf("%swithin 3 dB of final after %.1f s, ", sayNever ? "never stays >= 20 dB, " : "",
                    convergedAfterSeconds(blocks, converged - 3.0, blockSeconds));
}

const char* setting(bool others) { return others ? "all on (default)" : "echo canceller alone"; }

void report(bool others, int hintMs)
{
    const Run on = run(true, others, hintMs);
    const double converged = meanOfLast(on.blockErleDb, 25);
    std::printf("%s, delay hint %3d ms (true 60): ERLE after convergence %.1f dB (goal >= %.0f), ", setting(others), hintMs,
                converged, GoalDb);
    printConvergence(on.blockErleDb, converged, double(BlockFrames) / FramesPerSecond, true);
    std::printf("%.1f us per 10 ms frame (%.2f %% of a core)\n", on.microsecondsPerFrame,
                on.microsecondsPerFrame / 100.0);
}

} // namespace

// Far-end speech written to the speaker in real time, 30 ms ahead, each
// block handed to the capture as it is written, as the mixer's tap would.
class FarEnd
{
public:
    FarEnd(QIODevice* speaker, VoiceCapture* capture) : m_speaker(speaker), m_capture(capture)
    {
        m_clock.start();
        m_timer.setTimerType(Qt::PreciseTimer);
        QObject::connect(&m_timer, &QTimer::timeout, &m_timer, [this] { pump(); });
        m_timer.start(5);
    }

private:
    void pump()
    {
        AudioProcessing::Frame render{}, unused{};
        while (m_speaker && m_written < (m_clock.elapsed() + 30) * 48) {
            m_scene.next(render, unused);
            m_speaker->write(reinterpret_cast<const char*>(render.data()), qint64(render.size() * 2));
            m_capture->addPlayedAudio(render.data(), int(render.size()), 1);
            m_written += qint64(render.size());
        }
    }

    QIODevice* m_speaker;
    VoiceCapture* m_capture;
    EchoScene m_scene{0, 0.0, 21};
    QElapsedTimer m_clock;
    QTimer m_timer;
    qint64 m_written = 0;
};

// The peer's track: every packet sent, kept as it is handed over on the audio thread.
class RecordingTrack : public FakeVoiceAudioTrack
{
public:
    bool sendFrame(const QByteArray& packet, double seconds, QString* error) override
    {
        std::lock_guard<std::mutex> lock(mutex);
        return FakeVoiceAudioTrack::sendFrame(packet, seconds, error);
    }
    std::mutex mutex;
};

// CPU seconds of this process's thread with the given name.
double threadCpuSeconds(const QByteArray& name)
{
    for (const QString& task : QDir(QStringLiteral("/proc/self/task")).entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
        QFile comm(QStringLiteral("/proc/self/task/%1/comm").arg(task));
        QFile stat(QStringLiteral("/proc/self/task/%1/stat").arg(task));
        if (!comm.open(QIODevice::ReadOnly) || comm.readAll().trimmed() != name || !stat.open(QIODevice::ReadOnly))
            continue;
        const QList<QByteArray> fields = stat.readAll().split(')').last().trimmed().split(' ');
        return (fields.value(11).toDouble() + fields.value(12).toDouble()) / double(sysconf(_SC_CLK_TCK));
    }
    return 0.0;
}

void reportClientPath(bool processing)
{
    constexpr size_t Block = 24000; // 500 ms
    auto factory = std::make_shared<SingleTrackFactory<RecordingTrack>>();
    VoiceChatManager client(factory);
    client.setMicrophoneDeviceId("vmic_echo");
    client.setAudioProcessing(processing, processing, processing);
    if (!joinedVoice(client)) {
        std::printf("echo, client path: no microphone vmic_echo\n");
        return;
    }
    client.handleSignalingEvent("voice_user_joined", QJsonObject{{"sid", "s1"}, {"username", "orion"}});
    SpeakerRecorder microphone("vmic_echo");
    QAudioSink sink(audioOutput("vspk_c"), monoFormat());
    sink.setBufferSize(monoFormat().bytesForDuration(30000));
    FarEnd farEnd(sink.start(), VoiceEngineProbe::capture(client));
    QTest::qWait(300);
    const auto sentSoFar = [&] {
        std::lock_guard<std::mutex> lock(factory->last->track->mutex);
        return factory->last->track->decodedSent();
    };
    const size_t heardFrom = microphone.samples.size();
    const size_t sentFrom = sentSoFar().size();
    const double cpuBefore = threadCpuSeconds("voice-audio");
    QElapsedTimer wall;
    wall.start();
    QTest::qWait(Seconds * 1000);
    const double cpuShare = (threadCpuSeconds("voice-audio") - cpuBefore) / (wall.elapsed() / 1000.0);
    sink.stop();
    const std::vector<qint16> sent = sentSoFar();
    client.leaveVoice();

    std::vector<double> blocks;
    for (size_t i = 0; heardFrom + (i + 1) * Block <= microphone.samples.size() && sentFrom + (i + 1) * Block <= sent.size(); ++i) {
        const double heard = rmsOf(microphone.samples.data() + heardFrom + i * Block, Block);
        const double out = rmsOf(sent.data() + sentFrom + i * Block, Block);
        blocks.push_back(20.0 * std::log10(std::max(heard, 0.01) / std::max(out, 0.01)));
    }
    if (blocks.size() < 10) {
        std::printf("echo, client path: too little audio (%zu blocks)\n", blocks.size());
        return;
    }
    const double converged = meanOfLast(blocks, 10);
    std::printf("echo, client path (speaker monitor looped into the microphone), processing %s: ERLE after "
                "convergence %.1f dB (goal >= %.0f), ",
                processing ? "on" : "off", converged, GoalDb);
    if (processing)
        printConvergence(blocks, converged, 0.5, false);
    std::printf("audio thread CPU %.2f %% of a core\n", cpuShare * 100.0);
}

int main(int argc, char** argv)
{
    if (!qEnvironmentVariableIsEmpty("PULSE_SERVER")) {
        QGuiApplication app(argc, argv);
        reportClientPath(true);
        reportClientPath(false);
    }
    std::printf("echo: load average %.2f\n", loadAverage());

    const Run off = run(false, false, 60);
    std::printf("processing off (frames pass untouched): ERLE %.1f dB, %.1f us per 10 ms frame\n",
                meanOfLast(off.blockErleDb, 25), off.microsecondsPerFrame);
    for (bool others : {true, false})
        for (int hintMs : {60, 0, 150})
            report(others, hintMs);
    // The member talks while the far end does, with a milder echo (-20 dB): how
    // much of the member's voice gets through once the canceller has converged.
    for (bool others : {true, false})
        std::printf("double talk, %s: %.1f dB of the member's voice sent (0 = all of it)\n", setting(others),
                    run(true, others, 60, 0.1, 10, 6).voiceSentDb);
    return 0;
}
