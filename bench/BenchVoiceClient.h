#pragma once

// What the voice benchmarks share: luna's voice engine with ICE on loopback,
// signed in to the dev server through a signalling bridge, and the aiortc
// voice bots that talk to her.

#include "SignalingBridge.h"
#include "support/DevServer.h"
#include "voice/GstVoicePeerConnectionFactory.h"

#include <QProcess>
#include <QTest>

#include <memory>

class BenchVoiceClient
{
public:
    BenchVoiceClient(DevServer& server, const QByteArray& microphone, const QByteArray& speaker)
        : client(loopbackFactory())
        , channel(&client, server.url(), server.sessionFor("luna").value("cookie").toString().toUtf8())
    {
        client.setMicrophoneDeviceId(microphone);
        client.setSpeakerDeviceId(speaker);
    }

    bool waitUntilReady() { return QTest::qWaitFor([&] { return channel.isReady(); }, 10000); }

    VoiceChatManager client;
    SignalingBridge channel;

private:
    static std::shared_ptr<GstVoicePeerConnectionFactory> loopbackFactory()
    {
        auto factory = std::make_shared<GstVoicePeerConnectionFactory>();
        factory->setLoopbackOnly(true);
        return factory;
    }
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
