// Echo cancellation on a synthetic echo path (60 ms delay, -6 dB, two
// reflections): echo return loss enhancement once converged, the time it takes
// to get there, and the capture CPU per 10 ms frame with processing on and off.

#include "EchoScene.h"

#include <QElapsedTimer>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <vector>

namespace {

constexpr int Seconds = 20;
constexpr int FramesPerSecond = 100;
constexpr int BlockFrames = 20; // ERLE is measured over 200 ms blocks.
constexpr double GoalDb = 20.0;

struct Run {
    std::vector<double> blockErleDb;
    double microsecondsPerFrame = 0.0;
};

Run run(bool echoCancellation, bool others, int hintMs)
{
    AudioProcessing apm;
    apm.setEchoCancellation(echoCancellation);
    apm.setNoiseSuppression(others);
    apm.setAutomaticGain(others);
    apm.setStreamDelayMs(hintMs);
    EchoScene scene(60, 0.5);
    AudioProcessing::Frame render{};
    AudioProcessing::Frame capture{};
    Run result;
    double echoEnergy = 0.0;
    double outEnergy = 0.0;
    qint64 nanoseconds = 0;
    QElapsedTimer timer;
    for (int frame = 1; frame <= Seconds * FramesPerSecond; ++frame) {
        scene.next(render, capture);
        echoEnergy += frameEnergy(capture);
        timer.start();
        apm.analyzeRender(render);
        apm.processCapture(capture);
        nanoseconds += timer.nsecsElapsed();
        outEnergy += frameEnergy(capture);
        if (frame % BlockFrames == 0) {
            result.blockErleDb.push_back(10.0 * std::log10(echoEnergy / std::max(outEnergy, 1.0)));
            echoEnergy = outEnergy = 0.0;
        }
    }
    result.microsecondsPerFrame = nanoseconds / 1000.0 / (Seconds * FramesPerSecond);
    return result;
}

// The start of the first block after which every block stays at or above level.
double convergedAfterSeconds(const std::vector<double>& blocks, double level)
{
    for (std::size_t start = 0; start < blocks.size(); ++start) {
        bool stays = true;
        for (std::size_t i = start; i < blocks.size() && stays; ++i)
            stays = blocks[i] >= level;
        if (stays)
            return double(start * BlockFrames) / FramesPerSecond;
    }
    return -1.0;
}

double meanOfLast(const std::vector<double>& blocks, std::size_t count)
{
    double sum = 0.0;
    for (std::size_t i = blocks.size() - count; i < blocks.size(); ++i)
        sum += blocks[i];
    return sum / count;
}

void report(const char* name, bool others, int hintMs)
{
    const Run on = run(true, others, hintMs);
    const double converged = meanOfLast(on.blockErleDb, 25);
    const double reached = convergedAfterSeconds(on.blockErleDb, GoalDb);
    std::printf("%s, delay hint %3d ms (true 60): ERLE after convergence %.1f dB (goal >= %.0f), ", name, hintMs,
                converged, GoalDb);
    if (reached >= 0)
        std::printf("stays >= %.0f dB after %.1f s, ", GoalDb, reached);
    else
        std::printf("never stays >= %.0f dB, within 3 dB of final after %.1f s, ", GoalDb,
                    convergedAfterSeconds(on.blockErleDb, converged - 3.0));
    std::printf("%.1f us per 10 ms frame (%.2f %% of a core)\n", on.microsecondsPerFrame,
                on.microsecondsPerFrame / 100.0);
}

// The member talks while the far end does, with a milder echo (-20 dB): how
// much of the member's voice gets through once the canceller has converged.
void reportDoubleTalk(bool others)
{
    AudioProcessing apm;
    apm.setNoiseSuppression(others);
    apm.setAutomaticGain(others);
    apm.setStreamDelayMs(60);
    EchoScene farEnd(60, 0.1);
    EchoScene member(0, 0.0, 7);
    AudioProcessing::Frame render{};
    AudioProcessing::Frame capture{};
    AudioProcessing::Frame voice{};
    AudioProcessing::Frame unused{};
    double voiceEnergy = 0.0;
    double outEnergy = 0.0;
    for (int frame = 0; frame < 10 * FramesPerSecond; ++frame) {
        farEnd.next(render, capture);
        const bool talking = frame >= 6 * FramesPerSecond;
        if (talking) {
            member.next(voice, unused);
            for (int i = 0; i < AudioProcessing::FrameSamples; ++i)
                capture[i] = qint16(std::clamp(capture[i] + voice[i], -32768, 32767));
            voiceEnergy += frameEnergy(voice);
        }
        apm.analyzeRender(render);
        apm.processCapture(capture);
        if (talking)
            outEnergy += frameEnergy(capture);
    }
    std::printf("double talk, %s: %.1f dB of the member's voice sent (0 = all of it)\n",
                others ? "all on (default)" : "echo canceller alone", 10.0 * std::log10(outEnergy / voiceEnergy));
}

} // namespace

int main()
{
    const Run off = run(false, false, 60);
    std::printf("processing off (frames pass untouched): ERLE %.1f dB, %.1f us per 10 ms frame\n",
                meanOfLast(off.blockErleDb, 25), off.microsecondsPerFrame);
    for (int hintMs : {60, 0, 150})
        report("all on (default)", true, hintMs);
    for (int hintMs : {60, 0, 150})
        report("echo canceller alone", false, hintMs);
    reportDoubleTalk(true);
    reportDoubleTalk(false);
    return 0;
}
