#pragma once

// The private block of VoiceChatManager, shared with the engine's tests.

#include "voice/VoiceChatManager.h"
#include "voice/VoiceRemoteMember.h"
#include "voice/VoiceRoomOutput.h"

#include <QAudioDevice>
#include <QByteArray>
#include <QString>
#include <QThread>

#include <functional>
#include <map>
#include <memory>

class VoiceMicrophone;
class VoicePeerConnectionFactory;

struct VoiceChatManager::Private
{
    QByteArray microphoneDeviceId;
    // The input device for an id: the device with that id, else the default.
    std::function<QAudioDevice(const QByteArray&)> inputDeviceFor;
    bool inVoice = false;
    // The microphone is being opened for a join.
    bool joining = false;
    bool muted = false;
    // Microphone, processing, speaking detector and encoder, on audioThread; sends on every member's track.
    VoiceMicrophone* microphone = nullptr;
    bool monitoring = false;
    bool pushToTalk = false;
    bool pushToTalkPressed = false;
    bool transmitting = false;
    bool localSpeaking = false;
    // In voice, but no microphone could be opened after a device change.
    bool microphoneLost = false;
    // The other members in voice, by sid.
    std::map<QString, std::unique_ptr<VoiceRemoteMember>> members;
    // The mix of everything heard, the speaker, local mutes and volumes.
    std::unique_ptr<VoiceRoomOutput> output;

    // Where the peer connections come from.
    std::shared_ptr<VoicePeerConnectionFactory> connectionFactory;
    // Where the microphone is encoded and the remote members' audio decoded, mixed and played.
    QThread audioThread;

    VoiceRemoteMember* member(const QString& sid) const
    {
        const auto it = members.find(sid);
        return it == members.end() ? nullptr : it->second.get();
    }
};
