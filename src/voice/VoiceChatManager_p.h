#pragma once

// The private block of VoiceChatManager, shared with the engine's tests.

#include "voice/VoiceChatManager.h"

#include <QAudioDevice>
#include <QByteArray>
#include <QHash>
#include <QSet>
#include <QString>
#include <QThread>

#include <functional>
#include <memory>

class VoiceAudioTrack;
class VoiceCapture;
class VoiceMemberOutput;
class VoicePlayoutDevice;
class VoiceDataChannel;
class VoicePeerConnection;
class VoicePeerConnectionFactory;

struct VoiceChatManager::Private
{
    QSet<QString> negotiatedSids;
    QByteArray microphoneDeviceId;
    QByteArray speakerDeviceId;
    // The input device for an id: the device with that id, else the default.
    std::function<QAudioDevice(const QByteArray&)> inputDeviceFor;
    bool inVoice = false;
    bool muted = false;
    // Microphone, speaking detector and encoder; sends on sendTracks.
    VoiceCapture* capture = nullptr;
    // In voice, but no microphone could be opened after a device change.
    bool microphoneLost = false;
    // Per member: decoder and playout buffer (from the connection on), and the
    // audio output pulling from them (living on audioThread).
    QHash<QString, std::shared_ptr<VoicePlayoutDevice>> playouts;
    QHash<QString, VoiceMemberOutput*> outputs;
    QHash<QString, std::shared_ptr<VoiceAudioTrack>> receiveTracks;
    QHash<QString, std::shared_ptr<VoicePeerConnection>> peerConnections;
    QHash<QString, std::shared_ptr<VoiceDataChannel>> dataChannels;
    QHash<QString, std::shared_ptr<VoiceAudioTrack>> sendTracks;
    QHash<QString, QString> usernamesBySid;
    QSet<QString> mutedUsernames;
    QSet<QString> speakingSids;

    // Where the peer connections come from.
    std::shared_ptr<VoicePeerConnectionFactory> connectionFactory;
    // Where the remote members' audio is decoded and played.
    QThread audioThread;
};
