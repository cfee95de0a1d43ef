#pragma once

// White-box access to the voice engine for its tests.

#include "TestAudio.h"
#include "voice/VoiceChatManager.h"
#include "voice/VoiceChatManager_p.h"
#include "voice/VoiceCapture.h"
#include "voice/VoiceMicrophone.h"

#include <QAudioDevice>
#include <QCoreApplication>
#include <QIODevice>
#include <QSignalSpy>
#include <QTest>

#include <algorithm>

// Joins voice; false if the engine is not "connected" within 5 s.
inline bool joinedVoice(VoiceChatManager& manager)
{
    QSignalSpy status(&manager, &VoiceChatManager::voiceStatusChanged);
    manager.joinVoice();
    return QTest::qWaitFor([&] { return !status.isEmpty(); }, 5000) && status.last().first() == QStringLiteral("connected");
}

class VoiceEngineProbe
{
public:
    // The longest playout delay among the members, -1 when there is nobody.
    static int longestPlayoutDelayMs(const VoiceChatManager& manager)
    {
        int longest = -1;
        for (const auto& [sid, member] : manager.d->members)
            longest = std::max(longest, member->playoutDelayMs());
        return longest;
    }

    // Joins voice on "vmic" and leaves the capture to the test to feed (the
    // device is ignored): what a chunk made the capture report has reached the
    // engine when feedMicrophone returns. False if not "connected" within 5 s.
    static bool joinFedByTest(VoiceChatManager& manager)
    {
        manager.setMicrophoneDeviceId("vmic");
        if (!joinedVoice(manager))
            return false;
        VoiceCapture* capture = manager.d->microphone->capture();
        const auto detach = [capture] {
            if (capture->m_io)
                QObject::disconnect(capture->m_io, &QIODevice::readyRead, capture, nullptr);
        };
        QMetaObject::invokeMethod(capture, detach, Qt::BlockingQueuedConnection);
        return true;
    }
    static VoiceCapture* capture(VoiceChatManager& manager) { return manager.d->microphone->capture(); }
    // Where the engine looks microphones up, so a test can make one fail to open.
    static void setInputDeviceLookup(VoiceChatManager& manager,
                                     std::function<QAudioDevice(const QByteArray&)> lookup)
    {
        manager.d->inputDeviceFor = std::move(lookup);
    }
    // Every block the engine plays, as it is played.
    static void setPlayedAudioTap(VoiceChatManager& manager,
                                  std::function<void(const qint16* samples, int frames, int channels)> tap)
    {
        manager.d->output->setPlayedAudioTap(std::move(tap));
    }
    static void feedMicrophone(VoiceChatManager& manager, const QByteArray& pcm)
    {
        VoiceCapture* capture = manager.d->microphone->capture();
        QMetaObject::invokeMethod(capture, [capture, pcm] { capture->process(pcm); }, Qt::BlockingQueuedConnection);
        QCoreApplication::sendPostedEvents(manager.d->microphone, QEvent::MetaCall);
    }
};
