#pragma once

// What the voice benchmarks share: luna's voice engine with ICE on loopback,
// signed in to the dev server through a signalling bridge, the aiortc voice
// bots that talk to her, an engine joined against a fake peer, and the small
// figures (percentiles, load average, audio devices) they print or need.

#include "FakeVoicePeerConnection.h"
#include "SignalingBridge.h"
#include "support/DevServer.h"
#include "voice/GstVoicePeerConnectionFactory.h"

#include <QAudioDevice>
#include <QAudioFormat>
#include <QMediaDevices>
#include <QProcess>
#include <QTest>

#include <algorithm>
#include <cstdlib>
#include <memory>
#include <vector>

inline std::shared_ptr<GstVoicePeerConnectionFactory> loopbackFactory()
{
    auto factory = std::make_shared<GstVoicePeerConnectionFactory>();
    factory->setLoopbackOnly(true);
    return factory;
}

class BenchVoiceClient
{
public:
    BenchVoiceClient(DevServer& server, const QByteArray& microphone, const QByteArray& speaker,
                     const QString& member = QStringLiteral("luna"))
        : client(loopbackFactory())
        , channel(&client, server.url(), server.sessionFor(member).value("cookie").toString().toUtf8())
    {
        client.setMicrophoneDeviceId(microphone);
        client.setSpeakerDeviceId(speaker);
    }

    bool waitUntilReady() { return QTest::qWaitFor([&] { return channel.isReady(); }, 10000); }

    VoiceChatManager client;
    SignalingBridge channel;
};

// Starts a bot for `member` that plays a steady tone to luna for `seconds`.
inline void startVoiceBot(QProcess& bot, DevServer& server, const QString& member, int toneHz, int seconds)
{
    bot.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    bot.setStandardOutputFile(QProcess::nullDevice());
    bot.start("/usr/bin/python3",
              {QStringLiteral(MOONLODGE_SOURCE_DIR) + "/tests/voice/aiortc_voice_bot.py", "--server",
               server.url().toString(), "--cookie", server.sessionFor(member).value("cookie").toString(), "--tone",
               QString::number(toneHz), "--seconds", QString::number(seconds), "--talk-to", "luna"});
}

inline void stopVoiceBot(QProcess& bot)
{
    bot.terminate();
    bot.waitForFinished(3000);
}

// Joins voice with no server behind the engine; false if it is not "connected" within 5 s.
inline bool joinWithoutServer(VoiceChatManager& client)
{
    auto connected = std::make_shared<bool>(false);
    QObject::connect(&client, &VoiceChatManager::voiceStatusChanged, &client,
                     [connected](const QString& status) { *connected = status == QLatin1String("connected"); });
    client.joinVoice();
    return QTest::qWaitFor([&] { return *connected; }, 5000);
}

// A fake peer whose one audio track is a `Track`; `last` is the latest connection made.
template <class Track>
class SingleTrackFactory : public VoicePeerConnectionFactory
{
public:
    class Connection : public FakeVoicePeerConnection
    {
    public:
        std::shared_ptr<VoiceAudioTrack> addTrack(const VoiceAudioMediaLine& line, QString*) override
        {
            media = line;
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

inline QAudioFormat monoFormat()
{
    QAudioFormat format;
    format.setSampleRate(48000);
    format.setChannelCount(1);
    format.setSampleFormat(QAudioFormat::Int16);
    return format;
}

inline QAudioDevice audioOutput(const QByteArray& id)
{
    for (const QAudioDevice& device : QMediaDevices::audioOutputs())
        if (device.id() == id)
            return device;
    return {};
}

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
