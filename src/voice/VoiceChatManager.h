#pragma once

#include <QByteArray>
#include <QJsonObject>
#include <QJsonValue>
#include <QObject>
#include <QString>

#include <functional>
#include <memory>

class VoicePeerConnection;
class VoicePeerConnectionFactory;
class VoiceRemoteMember;

// The voice engine: a full-mesh WebRTC audio conference among the members in
// the voice room. One peer connection per remote member (keyed by the sid the
// real-time channel gives them), the microphone Opus-encoded once and sent on
// every connection, and every remote stream decoded and mixed into one output. Signalling travels as "voice_*" events over the real-time channel:
// the engine asks for outgoing ones with signalingEventRequested and is fed
// the incoming ones through handleSignalingEvent.
//
// The engine's state lives on the GUI thread; the WebRTC library's callbacks
// hand their work over with queued invocations guarded by a weak pointer.
// Audio never passes through the GUI thread: the microphone is read and
// encoded on the engine's audio thread and sent from there, RTP goes from the
// library straight into each member's playout buffer, and the output mixer, on
// the audio thread, decodes, mixes and plays it; only speaking changes, link
// quality and errors come back, queued.
class VoiceChatManager : public QObject
{
    Q_OBJECT

public:
    // Uses the GStreamer WebRTC peer connections.
    explicit VoiceChatManager(QObject* parent = nullptr);
    // Uses the given peer connections (null: the GStreamer ones).
    explicit VoiceChatManager(std::shared_ptr<VoicePeerConnectionFactory> factory, QObject* parent = nullptr);
    ~VoiceChatManager() override;

    bool isMuted() const;
    bool isLocalUserSpeaking() const;
    bool isRemoteUserMuted(const QString& username) const;
    bool isRemoteUserSpeaking(const QString& username) const;
    // 0 to 200 %, 100 unless set.
    int memberVolume(const QString& username) const;

public slots:
    void joinVoice();
    void leaveVoice();
    void toggleMute();
    bool toggleRemoteUserMute(const QString& username);
    void setMicrophoneDeviceId(const QByteArray& id);
    void setSpeakerDeviceId(const QByteArray& id);
    // Kept by user name: applies to the member now and whenever they reconnect.
    void setMemberVolume(const QString& username, int percent);
    // A short, soft tone on the chosen speaker, in voice or not.
    void playTestTone();
    void handleSignalingEvent(const QString& eventName, const QJsonValue& data);

    // Echo cancellation, noise suppression and automatic gain of the
    // microphone, all on by default.
    void setAudioProcessing(bool echoCancellation, bool noiseSuppression, bool automaticGain);
    // Push-to-talk: while enabled, the microphone is sent only while the key is pressed.
    void setPushToTalkEnabled(bool enabled);
    void setPushToTalkPressed(bool pressed);
    // The mean absolute sample value above which the member is speaking (449 by default).
    void setSpeakingThreshold(int threshold);
    // Outside the voice room, the microphone opened for microphoneLevelChanged only.
    void setMicrophoneMonitoring(bool monitoring);

signals:
    void signalingEventRequested(const QString& eventName, const QJsonObject& data);
    void voiceStatusChanged(const QString& status);
    void muteChanged(bool muted);
    void localUserSpeakingChanged(bool speaking);
    void remoteUserMuteChanged(const QString& username, bool muted);
    void remoteUserSpeakingChanged(const QString& username, bool speaking);
    void voiceError(const QString& message);
    // True while the microphone is actually sent: in voice, capturing, not
    // muted, and voice activity or the push-to-talk key held.
    void transmittingChanged(bool transmitting);
    // The microphone's level after processing, in the threshold's unit, up
    // to 20 times a second while the microphone is open.
    void microphoneLevelChanged(int level);
    // Every 2 s per connected member: 1 to 4 bars, or 0 with "Connection problem".
    void memberLinkQualityChanged(const QString& username, int bars, const QString& toolTip);

private:
    struct Private;
    friend class VoiceEngineProbe; // white-box access for the engine's tests

    // Peer connections.
    VoiceRemoteMember* createPeerConnection(const QString& sid, const QString& username, bool offerer);
    void connectMember(VoiceRemoteMember* member);
    void removePeerConnection(const QString& sid);
    void applyRemoteDescription(const QString& eventName, const QJsonObject& object);
    void applyRemoteCandidate(const QJsonObject& object);
    void reportSignalingFailure(const QString& failure);
    void sendEmergencyOffer(const QString& sid);
    void handlePeerStateChange(const QString& sid, const std::weak_ptr<VoicePeerConnection>& connection,
                               int state);
    void checkDisconnectedPeer(const QString& sid,
                               const std::weak_ptr<VoicePeerConnection>& connection);
    static constexpr int MaxPeers = 16; // a small mesh: more connections are refused

    // Microphone.
    void finishJoin(const QString& failure);
    void finishMicrophoneChange(const QByteArray& previous, const QString& failure, const QString& restoreFailure);
    void updateCaptureTracks();
    void updateTransmitting();
    void setLocalSpeaking(bool speaking);

    // Remote playback.
    void setRemoteSpeaking(VoiceRemoteMember* member, bool speaking);

    std::unique_ptr<Private> d;
};
