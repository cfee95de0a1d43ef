#pragma once

// What the voice benchmarks share: luna's voice engine with ICE on loopback,
// signed in to the dev server, the aiortc voice bots that talk to her, a fake
// peer, and the small figures (percentiles, load average) they print.

#include "FakeVoicePeerConnection.h"
#include "SignedInVoiceClient.h"
#include "TestAudio.h"
#include "VoiceBot.h"
#include "VoiceEngineProbe.h"

#include <QTest>

#include <algorithm>
#include <cstdlib>
#include <memory>
#include <vector>

// A fake peer whose one audio track is a `Track`; `last` is the latest connection made.
template <class Track>
class SingleTrackFactory : public VoicePeerConnectionFactory
{
public:
    class Connection : public FakeVoicePeerConnection
    {
    public:
        std::shared_ptr<VoiceAudioTrack> addTrack(const VoiceAudioMediaLine&, QString*) override
        {
            track = std::make_shared<Track>();
            track->open = true;
            return track;
        }
        std::shared_ptr<Track> track;
    };
    std::shared_ptr<VoicePeerConnection> create(const VoicePeerConfiguration&, QString*) override
    {
        last = std::make_shared<Connection>();
        return last;
    }
    std::shared_ptr<Connection> last;
};

inline double loadAverage()
{
    double load[3] = {};
    getloadavg(load, 3);
    return load[0];
}

// Linear interpolation between the closest ranks.
inline double percentile(std::vector<double> values, double p)
{
    std::sort(values.begin(), values.end());
    const double rank = p * double(values.size() - 1);
    const size_t low = size_t(rank);
    const size_t high = std::min(low + 1, values.size() - 1);
    return values[low] + (values[high] - values[low]) * (rank - double(low));
}
