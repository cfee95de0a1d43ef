#pragma once

#include <QElapsedTimer>
#include <QJsonObject>
#include <QObject>
#include <QString>

#include <memory>

class QTimer;
class LinkQuality;
class VoiceAudioTrack;
class VoiceDataChannel;
class VoiceOutputMixer;
class VoicePeerConnection;
class VoicePlayoutDevice;

// Another member of the voice room, as the engine sees them: the peer
// connection with its send-and-receive audio track and data channel, the
// playout device their RTP goes into (straight from the library's thread),
// which the engine's output mixer reads on the audio thread, their gain in
// that mix, their user name, speaking state and link quality. Lives on the
// GUI thread; destroying it closes the connection (no callback of the library
// runs after that) and takes it out of the mix. What the library reports comes out as signals
// emitted on the library's thread: connect with a queued connection where the
// receiver may remove the member in reply.
class VoiceRemoteMember : public QObject
{
    Q_OBJECT

public:
    static constexpr int StatsIntervalMs = 2000;

    VoiceRemoteMember(const QString& sid, std::shared_ptr<VoicePeerConnection> connection);
    ~VoiceRemoteMember() override;

    // Adds the audio track and the playout device behind it. An error text
    // when something failed; without a track (track() null) the member is unusable.
    QString addAudio();
    // Puts what they say into `mixer`'s output (which outlives the member).
    void startOutput(VoiceOutputMixer* mixer);
    // Takes them out of the mix; their speaking state ends with it.
    void stopOutput();
    bool hasOutput() const { return m_mixer != nullptr; }

    void setDataChannel(std::shared_ptr<VoiceDataChannel> channel);
    bool hasDataChannel() const { return m_dataChannel != nullptr; }

    const QString& sid() const { return m_sid; }
    const QString& username() const { return m_username; }
    void setUsername(const QString& username) { m_username = username; }
    // Whether an offer or answer has gone either way.
    bool isNegotiated() const { return m_negotiated; }
    void setNegotiated(bool negotiated) { m_negotiated = negotiated; }
    // Muted (locally) wins over the volume, 0 to 200 %.
    void setMuted(bool muted);
    void setVolume(int percent);
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
    // Every StatsIntervalMs while connected; bars 0 with a connection problem.
    void linkQualityChanged(int bars, const QString& toolTip);

private:
    void relayConnectionCallbacks();
    void releaseOutput();
    void setSpeaking(bool speaking);
    void updateGain();

    const QString m_sid;
    QString m_username;
    bool m_negotiated = false;
    bool m_muted = false;
    int m_volume = 100;
    bool m_speaking = false;
    std::shared_ptr<VoicePeerConnection> m_connection;
    std::shared_ptr<VoiceAudioTrack> m_track;
    std::shared_ptr<VoiceDataChannel> m_dataChannel;
    std::shared_ptr<VoicePlayoutDevice> m_playout;
    VoiceOutputMixer* m_mixer = nullptr;
    // Only touched by the statistics replies, on the library's thread.
    std::unique_ptr<LinkQuality> m_linkQuality;
    QTimer* m_statsTimer = nullptr;
    QElapsedTimer m_statsClock;
};
