#pragma once

// The private block of VoiceChatManager, shared with the engine's tests.

#include "voice/VoiceChatManager.h"

#include <QAudioDevice>
#include <QAudioFormat>
#include <QAudioSource>
#include <QByteArray>
#include <QHash>
#include <QIODevice>
#include <QPointer>
#include <QSet>
#include <QString>
#include <QThread>
#include <QTimer>

#include <opus.h>

#include <functional>
#include <memory>

class VoiceAudioTrack;
class VoiceMemberOutput;
class VoicePlayoutDevice;
class VoiceDataChannel;
class VoicePeerConnection;
class VoicePeerConnectionFactory;

struct VoiceChatManager::Private
{
    static constexpr int EncodeBufferBytes = 4000;

    QSet<QString> negotiatedSids;
    QByteArray microphoneDeviceId;
    QByteArray speakerDeviceId;
    // The input device for an id: the device with that id, else the default.
    std::function<QAudioDevice(const QByteArray&)> inputDeviceFor;
    bool inVoice = false;
    bool muted = false;
    bool localSpeaking = false;
    // In voice, but no microphone could be opened after a device change.
    bool microphoneLost = false;
    QTimer* speakingHoldTimer = nullptr;
    std::unique_ptr<QAudioSource> audioSource;
    QIODevice* microphoneIo = nullptr;
    QAudioFormat microphoneFormat;
    OpusEncoder* encoder = nullptr;
    // Per member: decoder and playout buffer (from the connection on), and the
    // audio output pulling from them (living on audioThread).
    QHash<QString, std::shared_ptr<VoicePlayoutDevice>> playouts;
    QHash<QString, VoiceMemberOutput*> outputs;
    QHash<QString, std::shared_ptr<VoiceAudioTrack>> receiveTracks;
    QByteArray pendingPcm;
    quint64 sentMicroseconds = 0;
    quint64 encodedFrames = 0;
    QHash<QString, std::shared_ptr<VoicePeerConnection>> peerConnections;
    QHash<QString, std::shared_ptr<VoiceDataChannel>> dataChannels;
    QHash<QString, std::shared_ptr<VoiceAudioTrack>> sendTracks;
    QHash<QString, QString> usernamesBySid;
    QSet<QString> mutedUsernames;
    QSet<QString> speakingSids;

    // Where the peer connections come from, and the fixed encode and decode buffers.
    std::shared_ptr<VoicePeerConnectionFactory> connectionFactory;
    unsigned char encodedPacket[EncodeBufferBytes] = {};
    // Where the remote members' audio is decoded and played.
    QThread audioThread;
};
