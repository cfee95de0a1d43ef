#pragma once

#include <QAudioDevice>
#include <QJsonObject>
#include <QObject>
#include <QString>

#include <memory>

class QThread;
class VoiceAudioTrack;
class VoiceDataChannel;
class VoiceMemberOutput;
class VoicePeerConnection;
class VoicePlayoutDevice;

// Another member of the voice room, as the engine sees them: the peer
// connection with its send-and-receive audio track and data channel, the
// playout device their RTP goes into (straight from the library's thread), the
// audio output pulling from it on the engine's audio thread, and their user
// name and speaking state. Lives on the GUI thread; destroying it closes the
// connection (no callback of the library runs after that) and lets the output
// go away on its own thread. What the library reports comes out as signals
// emitted on the library's thread: connect with a queued connection where the
// receiver may remove the member in reply.
class VoiceRemoteMember : public QObject
{
    Q_OBJECT

public:
    VoiceRemoteMember(const QString& sid, std::shared_ptr<VoicePeerConnection> connection);
    ~VoiceRemoteMember() override;

    // Adds the audio track and the playout device behind it. An error text
    // when something failed; without a track (track() null) the member is unusable.
    QString addAudio();
    // Opens the output on `device` and runs it on `audioThread`; an error text on failure.
    QString startOutput(const QAudioDevice& device, QThread* audioThread);
    // Their speaking state ends with the output that measured it.
    void stopOutput();
    bool hasOutput() const { return m_output != nullptr; }

    void setDataChannel(std::shared_ptr<VoiceDataChannel> channel);
    bool hasDataChannel() const { return m_dataChannel != nullptr; }

    const QString& sid() const { return m_sid; }
    const QString& username() const { return m_username; }
    void setUsername(const QString& username) { m_username = username; }
    // Whether an offer or answer has gone either way.
    bool isNegotiated() const { return m_negotiated; }
    void setNegotiated(bool negotiated) { m_negotiated = negotiated; }
    void setMuted(bool muted);
    bool isSpeaking() const { return m_speaking; }
    // How much of what they said waits to be played; -1 without a playout device.
    int playoutDelayMs() const;

    const std::shared_ptr<VoicePeerConnection>& connection() const { return m_connection; }
    const std::shared_ptr<VoiceAudioTrack>& track() const { return m_track; }

signals:
    // An outgoing "voice_*" event: a local description or candidate for the member.
    void signalingMessage(const QString& eventName, const QJsonObject& data);
    void connectionStateChanged(int state);
    void connectionFailed(const QString& message);
    void speakingChanged(bool speaking);
    void outputFailed(const QString& message);

private:
    void relayConnectionCallbacks();
    void releaseOutput();
    void setSpeaking(VoiceMemberOutput* output, bool speaking);

    const QString m_sid;
    QString m_username;
    bool m_negotiated = false;
    bool m_muted = false;
    bool m_speaking = false;
    std::shared_ptr<VoicePeerConnection> m_connection;
    std::shared_ptr<VoiceAudioTrack> m_track;
    std::shared_ptr<VoiceDataChannel> m_dataChannel;
    std::shared_ptr<VoicePlayoutDevice> m_playout;
    VoiceMemberOutput* m_output = nullptr;
};
