#pragma once

#include <QByteArray>
#include <QString>

#include <functional>
#include <memory>
#include <mutex>

class VoiceAudioTrack;
class VoiceDataChannel;
typedef struct _GstStructure GstStructure;

// How a voice peer connection is set up.
struct VoicePeerConfiguration
{
    // The public STUN server used unless MOONLODGE_STUN_URL says otherwise.
    static const char* const DefaultStunUrl;
    // The voice room's: explicit negotiation, and the STUN server of
    // MOONLODGE_STUN_URL when it is set (empty: none), DefaultStunUrl otherwise.
    static VoicePeerConfiguration forVoiceRoom();

    // One STUN server as a "stun:host[:port]" URL; empty means no STUN server.
    QString stunUrl;
    // Descriptions are only made by explicit setLocalDescription calls.
    bool disableAutoNegotiation = true;
};

// The single send-and-receive audio media line of a voice connection.
struct VoiceAudioMediaLine
{
    QString mid = QStringLiteral("0");
    int payloadType = 111;
    int clockRate = 48000;
    quint32 ssrc = 1;
    QString cname;
    QString msid;
    QString trackId;
    // Opus format parameters, "key=value;key=value".
    QString fmtp;
};

// One WebRTC peer connection of the voice room: the operations the voice engine
// uses, whatever library carries them. Operations are called on the GUI thread
// and never wait for the library: what they can check at once they report
// through their result and an error text, and what fails later through
// onFailure. Callbacks come from the library's own threads (or, for some
// implementations, from inside the operation that caused them).
class VoicePeerConnection
{
public:
    // Numbered as the voice engine logs them.
    enum class State { New = 0, Connecting = 1, Connected = 2, Disconnected = 3, Failed = 4, Closed = 5 };
    enum class DescriptionType { Unspecified, Offer, Answer };

    using StateCallback = std::function<void(State state)>;
    using DescriptionCallback = std::function<void(const QString& type, const QString& sdp)>;
    using CandidateCallback = std::function<void(const QString& candidate, const QString& mid)>;
    using DataChannelCallback = std::function<void(std::shared_ptr<VoiceDataChannel> channel)>;
    using FailureCallback = std::function<void(const QString& message)>;
    // A "get-stats" reply as webrtcbin makes it, and how many RTCP reports
    // from the peer have arrived so far.
    using StatsCallback = std::function<void(const GstStructure* stats, quint64 rtcpReports)>;

    virtual ~VoicePeerConnection();

    void onStateChange(StateCallback callback);
    void onLocalDescription(DescriptionCallback callback);
    void onLocalCandidate(CandidateCallback callback);
    void onDataChannel(DataChannelCallback callback);
    // Operations that complete later report their failures here.
    void onFailure(FailureCallback callback);
    void onStats(StatsCallback callback);
    // After this returns no callback of this connection runs any more.
    void resetCallbacks();

    // Adds the audio media line; the result is the local track (null on failure).
    virtual std::shared_ptr<VoiceAudioTrack> addTrack(const VoiceAudioMediaLine& media, QString* error) = 0;
    // A reliable, ordered, in-band negotiated channel without protocol.
    virtual std::shared_ptr<VoiceDataChannel> createDataChannel(const QString& label, QString* error) = 0;
    // Unspecified makes an offer, or an answer when a remote offer is applied.
    virtual bool setLocalDescription(DescriptionType type, QString* error) = 0;
    virtual bool setRemoteDescription(const QString& sdp, const QString& type, QString* error) = 0;
    virtual bool addRemoteCandidate(const QString& candidate, const QString& mid, QString* error) = 0;
    virtual State state() const = 0;
    // Asks for the connection's statistics: they arrive later through onStats,
    // or never from an implementation that keeps none (the default).
    virtual void requestStats() {}
    // Ends the connection. No callback runs once this returns.
    virtual void close() = 0;

protected:
    void notifyStateChange(State state);
    void notifyLocalDescription(const QString& type, const QString& sdp);
    void notifyLocalCandidate(const QString& candidate, const QString& mid);
    void notifyDataChannel(std::shared_ptr<VoiceDataChannel> channel);
    void notifyFailure(const QString& message);
    void notifyStats(const GstStructure* stats, quint64 rtcpReports);

private:
    std::recursive_mutex m_mutex;
    StateCallback m_state;
    DescriptionCallback m_description;
    CandidateCallback m_candidate;
    DataChannelCallback m_dataChannel;
    FailureCallback m_failure;
    StatsCallback m_stats;
};
