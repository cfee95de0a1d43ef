#pragma once

#include "voice/VoiceAudioTrack.h"
#include "voice/VoicePeerConnection.h"

#include <atomic>
#include <mutex>

typedef struct _GstElement GstElement;
typedef struct _GstCaps GstCaps;
typedef struct _GstWebRTCRTPTransceiver GstWebRTCRTPTransceiver;

// The send-and-receive audio line of a webrtcbin connection. Sending: Opus
// packets are put into RTP here (payload type, SSRC, sequence numbers and the
// 48 kHz timestamp) and pushed through an appsrc into webrtcbin's sink pad.
// Receiving: webrtcbin's output RTP packets are handed to onMessage. The
// track exists at once; its GStreamer side is attached when the connection's
// worker has built it.
class GstVoiceAudioTrack : public VoiceAudioTrack
{
public:
    explicit GstVoiceAudioTrack(const VoiceAudioMediaLine& media);
    ~GstVoiceAudioTrack() override;

    // appsrc and transceiver: one reference each, taken over.
    void attach(GstElement* appsrc, GstWebRTCRTPTransceiver* transceiver);
    VoiceAudioMediaLine media() const;

    // The caps of the RTP the track sends, which are also the codec preference of its transceiver.
    static GstCaps* rtpCaps(const VoiceAudioMediaLine& media, bool withSsrc);

    QString mid() const override;
    int payloadType() const override;
    bool isOpen() const override;
    bool sendFrame(const QByteArray& opusPacket, double seconds, QString* error) override;

    // Follows the payload type a remote offer gives Opus.
    void setPayloadType(int payloadType);
    void setMid(const QString& mid);
    void setOpen(bool open);
    void deliverRtp(const QByteArray& packet);
    void release();

private:
    mutable std::mutex m_mutex;
    VoiceAudioMediaLine m_media;
    GstElement* m_appsrc = nullptr;
    GstWebRTCRTPTransceiver* m_transceiver = nullptr;
    std::atomic<int> m_payloadType;
    std::atomic<bool> m_open{false};
    quint16 m_sequence = 0;
    quint32 m_timestampBase = 0;
    bool m_firstPacket = true;
};
