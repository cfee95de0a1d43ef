#pragma once

// A voice engine with ICE on loopback and its own virtual devices, signed in
// to the dev server as `member` through a signalling bridge.

#include "SignalingBridge.h"
#include "support/DevServer.h"
#include "voice/GstVoicePeerConnectionFactory.h"

#include <QTest>

class SignedInVoiceClient
{
public:
    SignedInVoiceClient(DevServer& server, const QByteArray& microphone, const QByteArray& speaker,
                        const QString& member = QStringLiteral("luna"))
        : client(loopbackFactory())
        , channel(&client, server.url(), server.sessionFor(member).value("cookie").toString().toUtf8())
    {
        client.setMicrophoneDeviceId(microphone);
        client.setSpeakerDeviceId(speaker);
    }

    static std::shared_ptr<GstVoicePeerConnectionFactory> loopbackFactory()
    {
        auto factory = std::make_shared<GstVoicePeerConnectionFactory>();
        factory->setLoopbackOnly(true);
        return factory;
    }
    bool waitUntilReady() { return QTest::qWaitFor([&] { return channel.ready; }, 10000); }

    VoiceChatManager client;
    SignalingBridge channel;
};
