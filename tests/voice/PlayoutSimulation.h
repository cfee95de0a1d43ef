#pragma once

// A playout buffer fed a sender's 20 ms packets as a network pattern delivers them and
// read on an output clock of its own, as a member's playout is; for its test and benchmark.

#include "voice/VoicePlayoutBuffer.h"

#include <QRandomGenerator>

#include <algorithm>
#include <vector>

struct PlayoutPattern
{
    int seconds = 10;
    int burst = 1;            // packets that arrive together
    double loss = 0;          // share of packets lost
    double reorder = 0;       // share of packets overtaken by the next one
    int jitterMs = 0;         // extra random delay, uniform from 0
    double drift = 0;         // output clock faster (>0) or slower (<0) than the sender's, as a ratio
    int stallEveryMs = 0;     // the receiving side stalls this often ...
    int stallMs = 0;          // ... for this long, then catches up
};

struct PlayoutOutcome
{
    int minDelayMs = 1 << 30;
    int maxDelayMs = 0;
    double meanDelayFirstMs = 0;  // over the second after the start target
    double meanDelayLastMs = 0;   // over the last second but the final 200 ms
    quint64 concealed = 0;
    quint64 fec = 0;
    quint64 dropped = 0;
};

inline PlayoutOutcome simulatePlayout(const PlayoutPattern& pattern, quint32 seed = 7)
{
    QRandomGenerator random(seed);
    struct Arrival { double at; quint16 sequence; };
    std::vector<Arrival> arrivals;
    const int packets = pattern.seconds * 50;
    for (int i = 0; i < packets; ++i) {
        if (random.generateDouble() < pattern.loss)
            continue;
        double at = double((i / pattern.burst) * pattern.burst + pattern.burst - 1) * 20.0 + 2.0;
        at += random.bounded(pattern.jitterMs + 1);
        if (random.generateDouble() < pattern.reorder)
            at += 21.0;
        if (pattern.stallEveryMs > 0 && int(at) % pattern.stallEveryMs < pattern.stallMs)
            at += pattern.stallMs - int(at) % pattern.stallEveryMs;
        arrivals.push_back({at, quint16(1000 + i)});
    }
    std::stable_sort(arrivals.begin(), arrivals.end(), [](const Arrival& a, const Arrival& b) { return a.at < b.at; });

    VoicePlayoutBuffer buffer;
    PlayoutOutcome outcome;
    size_t nextArrival = 0;
    const double step = 20.0 / (1.0 + pattern.drift);
    const int pops = int(double(packets) * 20.0 / step);
    const double end = double(packets) * 20.0 - 200.0;
    const double settled = VoicePlayoutBuffer::JitterWindow * 20.0 + 1000.0; // the start target is over
    for (int k = 0; k < pops; ++k) {
        const double now = 10.0 + double(k) * step;
        while (nextArrival < arrivals.size() && arrivals[nextArrival].at <= now) {
            buffer.push(arrivals[nextArrival].sequence, QByteArray(1, char(arrivals[nextArrival].sequence)),
                        qint64(arrivals[nextArrival].at));
            ++nextArrival;
        }
        buffer.pop();
        if (now > settled && now < end) {
            outcome.minDelayMs = std::min(outcome.minDelayMs, buffer.delayMs());
            outcome.maxDelayMs = std::max(outcome.maxDelayMs, buffer.delayMs());
        }
        if (now < settled + 1000.0)
            outcome.meanDelayFirstMs = buffer.averageDelayMs();
        if (now < end)
            outcome.meanDelayLastMs = buffer.averageDelayMs();
    }
    outcome.concealed = buffer.concealedFrames();
    outcome.fec = buffer.fecFrames();
    outcome.dropped = buffer.droppedFrames();
    return outcome;
}
