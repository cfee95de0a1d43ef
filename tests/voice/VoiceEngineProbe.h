#pragma once

// White-box access to the voice engine for its tests.

#include "voice/VoiceChatManager.h"
#include "voice/VoiceChatManager_p.h"
#include "voice/VoiceCapture.h"
#include "voice/VoiceMicrophone.h"

#include <QAudioDevice>
#include <QCoreApplication>
#include <QIODevice>
#include <QMediaDevices>

#include <algorithm>

class VoiceEngineProbe
{
public:
    static int memberCount(const VoiceChatManager& manager) { return int(manager.d->members.size()); }
    // The longest playout delay among the members, -1 when there is nobody.
    static int longestPlayoutDelayMs(const VoiceChatManager& manager)
    {
        int longest = -1;
        for (const auto& [sid, member] : manager.d->members)
            longest = std::max(longest, member->playoutDelayMs());
        return longest;
    }

    // Tests feed the capture themselves (the device is ignored); what a chunk
    // made the capture report has reached the engine when feedMicrophone returns.
    static void detachMicrophone(VoiceChatManager& manager)
    {
        VoiceCapture* capture = manager.d->microphone->capture();
        QMetaObject::invokeMethod(
            capture,
            [capture] {
                if (capture->m_io)
                    QObject::disconnect(capture->m_io, &QIODevice::readyRead, capture, nullptr);
            },
            Qt::BlockingQueuedConnection);
    }
    static VoiceCapture* capture(VoiceChatManager& manager) { return manager.d->microphone->capture(); }
    // Replaces the echo canceller's reference with the test's own reader of what is played.
    // Where the engine looks microphones up, so a test can make one fail to open.
    static void setInputDeviceLookup(VoiceChatManager& manager,
                                     std::function<QAudioDevice(const QByteArray&)> lookup)
    {
        manager.d->inputDeviceFor = std::move(lookup);
    }
    static std::function<QAudioDevice(const QByteArray&)> inputDeviceLookup(VoiceChatManager& manager)
    {
        return manager.d->inputDeviceFor;
    }
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

// The virtual devices of the test PulseAudio (scripts/lib/run-suite.sh).
inline bool hasTestAudioDevices()
{
    bool microphone = false;
    bool speaker = false;
    for (const QAudioDevice& device : QMediaDevices::audioInputs())
        microphone = microphone || device.id() == "vmic";
    for (const QAudioDevice& device : QMediaDevices::audioOutputs())
        speaker = speaker || device.id() == "vspk";
    return microphone && speaker;
}

#define REQUIRE_TEST_AUDIO_DEVICES()                                                                                 \
    do {                                                                                                             \
        if (qEnvironmentVariableIsEmpty("PULSE_SERVER"))                                                             \
            QSKIP("needs the test PulseAudio with its virtual devices (scripts/test starts it)");                   \
        QVERIFY2(hasTestAudioDevices(), "the test PulseAudio lacks its virtual devices vmic/vspk");                 \
    } while (false)
