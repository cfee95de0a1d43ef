#pragma once

#include "voice/VoicePeerConnection.h"

#include <QList>
#include <QPair>
#include <QString>
#include <QStringList>

#include <atomic>
#include <functional>
#include <memory>
#include <mutex>
#include <vector>

typedef struct _GstElement GstElement;
typedef struct _GstPad GstPad;
typedef struct _GstPromise GstPromise;
typedef struct _GParamSpec GParamSpec;
typedef struct _GstWebRTCDataChannel GstWebRTCDataChannel;
typedef struct _GstWebRTCSessionDescription GstWebRTCSessionDescription;

class GstVoiceAudioTrack;
class GstVoiceDataChannel;

// A voice peer connection carried by GStreamer's webrtcbin in a pipeline of its
// own: bundle-policy max-bundle, a 20 ms jitter buffer, UPnP and ICE-TCP off,
// explicit negotiation only. Nothing here waits for GStreamer, nor even
// touches it on the caller's thread: what can be checked at once (descriptions
// and candidates as text) is checked there, and everything else (building the
// pipeline, the audio line and data channel, negotiation, teardown) runs in
// order on the GstVoiceWorker thread; descriptions are completed from
// webrtcbin's promise replies. Candidates, state changes, data channels, RTP
// and failures arrive on GStreamer's threads. Local candidates are held back
// until the local description has been reported, so signalling sees them in
// order; remote candidates wait (a bounded number) for the remote description.
class GstVoicePeerConnection : public VoicePeerConnection,
                               public std::enable_shared_from_this<GstVoicePeerConnection>
{
public:
    // loopbackOnly: ICE uses 127.0.0.1 and nothing else (for tests).
    // GStreamer's own failures (not installed, elements missing) come as a
    // failed connection, like any other failure to build the pipeline.
    static std::shared_ptr<GstVoicePeerConnection> create(const VoicePeerConfiguration& configuration,
                                                          bool loopbackOnly);
    ~GstVoicePeerConnection() override;

    std::shared_ptr<VoiceAudioTrack> addTrack(const VoiceAudioMediaLine& media, QString* error) override;
    std::shared_ptr<VoiceDataChannel> createDataChannel(const QString& label, QString* error) override;
    bool setLocalDescription(DescriptionType type, QString* error) override;
    bool setRemoteDescription(const QString& sdp, const QString& type, QString* error) override;
    bool addRemoteCandidate(const QString& candidate, const QString& mid, QString* error) override;
    State state() const override;
    void requestStats() override;
    void close() override;

private:
    struct Replies;

    GstVoicePeerConnection() = default;
    // Runs work on the worker thread, unless the connection is closed or its pipeline failed by then.
    void onWorker(std::function<void(GstVoicePeerConnection&)> work);
    QString setUp(const VoicePeerConfiguration& configuration, bool loopbackOnly);
    void connectSignal(const char* name, void (*handler)());
    void tearDown();
    static void release(GstElement* pipeline, GstElement* webrtc, const std::vector<unsigned long>& handlers,
                        const std::shared_ptr<GstVoiceAudioTrack>& track,
                        const std::vector<std::shared_ptr<GstVoiceDataChannel>>& channels);
    // The connection a signal handler was registered for, unless it is gone or closed.
    static std::shared_ptr<GstVoicePeerConnection> fromHandle(void* handle);
    void queueRemoteCandidate(const QString& candidate, const QString& mid);
    void localDescriptionCreated(GstPromise* promise, bool offer);
    void localDescriptionSet(GstPromise* promise, GstWebRTCSessionDescription* description, bool offer);
    void flushLocalCandidates();

    static void handleRtcpReport(GstElement* rtpbin, unsigned session, unsigned ssrc, void* self);
    static void handleIceCandidate(GstElement* webrtc, unsigned mlineIndex, char* candidate, void* self);
    static void handleConnectionState(GstElement* webrtc, GParamSpec* property, void* self);
    static void handleDataChannel(GstElement* webrtc, GstWebRTCDataChannel* channel, void* self);
    static void handlePadAdded(GstElement* webrtc, GstPad* pad, void* self);

    // The worker's: the GStreamer objects and why they could not be built.
    GstElement* m_pipeline = nullptr;
    GstElement* m_webrtc = nullptr;
    std::vector<unsigned long> m_signalHandlers;
    QString m_setUpFailure;
    bool m_setUpFailureReported = false;

    // Set by addTrack before the worker builds it, fixed afterwards.
    std::shared_ptr<GstVoiceAudioTrack> m_track;

    std::mutex m_mutex; // guards what follows
    std::vector<std::shared_ptr<GstVoiceDataChannel>> m_channels;
    QStringList m_localMids;
    QStringList m_remoteMids;
    bool m_localDescriptionReported = false;
    bool m_remoteDescriptionSet = false;
    QList<QPair<unsigned, QString>> m_heldLocalCandidates;
    QList<QPair<QString, QString>> m_pendingRemoteCandidates;

    std::atomic<int> m_state{int(State::New)};
    std::atomic<bool> m_closed{false};
    std::atomic<quint64> m_rtcpReports{0};
};
