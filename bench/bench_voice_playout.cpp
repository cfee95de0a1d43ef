// The playout buffer fed with arrival patterns over ten minutes of audio:
// the delay it keeps, and the frames it concealed, rebuilt from FEC and dropped.

#include "PlayoutSimulation.h"

#include <cstdio>

int main()
{
    struct Row { const char* name; PlayoutPattern pattern; };
    PlayoutPattern steady;
    steady.seconds = 600;
    const auto with = [&](auto change) { PlayoutPattern p = steady; change(p); return p; };
    const Row rows[] = {
        {"steady", steady},
        {"jitter 0-15 ms", with([](PlayoutPattern& p) { p.jitterMs = 15; })},
        {"bursts of 5 frames", with([](PlayoutPattern& p) { p.burst = 5; })},
        {"5 % loss", with([](PlayoutPattern& p) { p.loss = 0.05; })},
        {"5 % reordered", with([](PlayoutPattern& p) { p.reorder = 0.05; })},
        {"output clock +0.1 %", with([](PlayoutPattern& p) { p.drift = 0.001; p.jitterMs = 3; })},
        {"output clock -0.1 %", with([](PlayoutPattern& p) { p.drift = -0.001; p.jitterMs = 3; })},
        {"all of them", with([](PlayoutPattern& p) { p.burst = 5; p.loss = 0.05; p.reorder = 0.05; p.drift = 0.001; })},
        {"300 ms stall every 2 s", with([](PlayoutPattern& p) { p.stallEveryMs = 2000; p.stallMs = 300; })},
    };
    std::printf("%-24s %8s %8s %10s %10s %9s %6s %8s\n", "pattern (10 min)", "min ms", "max ms", "mean@4s",
                "mean@end", "conceal", "fec", "dropped");
    for (const Row& row : rows) {
        const PlayoutOutcome o = simulatePlayout(row.pattern);
        std::printf("%-24s %8d %8d %10.1f %10.1f %9llu %6llu %8llu\n", row.name, o.minDelayMs, o.maxDelayMs,
                    o.meanDelayFirstMs, o.meanDelayLastMs, (unsigned long long)o.concealed,
                    (unsigned long long)o.fec, (unsigned long long)o.dropped);
    }
    std::printf("(target band %d-%d ms; one frame of slack above it)\n", VoicePlayoutBuffer::MinTargetMs,
                VoicePlayoutBuffer::MaxTargetMs);
    return 0;
}
