#pragma once

// The private block of VoiceChatManager, shared with the engine's tests.

#include "voice/VoiceChatManager.h"

#include <QAudioDevice>
#include <QAudioFormat>
#include <QAudioSink>
#include <QAudioSource>
#include <QByteArray>
#include <QHash>
#include <QIODevice>
#include <QPointer>
#include <QSet>
#include <QString>
#include <QTimer>

#include <opus.h>

#include <functional>
#include <memory>
#include <vector>

class VoiceAudioTrack;
class VoiceDataChannel;
class VoicePeerConnection;
class VoicePeerConnectionFactory;

struct VoiceChatManager::Private
{
    static constexpr int EncodeBufferBytes = 4000;
    static constexpr int DecodeBufferSamples = 5760 * 2; // 120 ms of stereo

    QSet<QString> negotiatedSids;
    QByteArray microphoneDeviceId;
    QByteArray speakerDeviceId;
    // The input device for an id: the device with that id, else the default.
    std::function<QAudioDevice(const QByteArray&)> inputDeviceFor;
    bool inVoice = false;
    bool muted = false;
    bool localSpeaking = false;
    QTimer* speakingHoldTimer = nullptr;
    std::unique_ptr<QAudioSource> audioSource;
    QIODevice* microphoneIo = nullptr;
    QAudioFormat microphoneFormat;
    OpusEncoder* encoder = nullptr;
    QHash<QString, OpusDecoder*> decoders;
    QHash<QString, std::shared_ptr<VoiceAudioTrack>> receiveTracks;
    QHash<QString, std::shared_ptr<QAudioSink>> outputSinks;
    QHash<QString, QPointer<QIODevice>> outputDevices;
    QHash<QString, QAudioFormat> outputFormats;
    QByteArray pendingPcm;
    quint64 sentMicroseconds = 0;
    quint64 encodedFrames = 0;
    QHash<QString, std::shared_ptr<VoicePeerConnection>> peerConnections;
    QHash<QString, std::shared_ptr<VoiceDataChannel>> dataChannels;
    QHash<QString, std::shared_ptr<VoiceAudioTrack>> sendTracks;
    QHash<QString, QString> usernamesBySid;
    QSet<QString> mutedUsernames;
    QSet<QString> speakingSids;
    QHash<QString, QTimer*> remoteSpeakingTimers;

    // Where the peer connections come from, and the fixed encode and decode buffers.
    std::shared_ptr<VoicePeerConnectionFactory> connectionFactory;
    unsigned char encodedPacket[EncodeBufferBytes] = {};
    std::vector<opus_int16> decodedPcm = std::vector<opus_int16>(DecodeBufferSamples);
};
