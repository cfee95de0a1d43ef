#include "voice/GstVoiceAudioTrack.h"

#include "voice/VoiceRtpPacket.h"

#include <QRandomGenerator>
#include <QStringList>

// glib's headers use "signals" as a name, which Qt defines as a keyword.
#undef signals
#include <gst/app/gstappsrc.h>
#include <gst/gst.h>
#include <gst/webrtc/webrtc.h>

#include <cmath>

GstVoiceAudioTrack::GstVoiceAudioTrack(const VoiceAudioMediaLine& media)
    : m_media(media)
    , m_payloadType(media.payloadType)
{
    m_sequence = quint16(QRandomGenerator::global()->generate());
    m_timestampBase = QRandomGenerator::global()->generate();
}

void GstVoiceAudioTrack::attach(GstElement* appsrc, GstWebRTCRTPTransceiver* transceiver)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_appsrc = appsrc;
    m_transceiver = transceiver;
}

VoiceAudioMediaLine GstVoiceAudioTrack::media() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_media;
}

GstVoiceAudioTrack::~GstVoiceAudioTrack()
{
    release();
}

GstCaps* GstVoiceAudioTrack::rtpCaps(const VoiceAudioMediaLine& media, bool withSsrc)
{
    GstStructure* structure = gst_structure_new("application/x-rtp",
                                                "media", G_TYPE_STRING, "audio",
                                                "encoding-name", G_TYPE_STRING, "OPUS",
                                                "clock-rate", G_TYPE_INT, media.clockRate,
                                                "encoding-params", G_TYPE_STRING, "2",
                                                "payload", G_TYPE_INT, media.payloadType,
                                                nullptr);
    if (withSsrc)
        gst_structure_set(structure, "ssrc", G_TYPE_UINT, guint(media.ssrc), nullptr);
    const QStringList parameters = media.fmtp.split(QLatin1Char(';'), Qt::SkipEmptyParts);
    for (const QString& parameter : parameters) {
        const qsizetype equals = parameter.indexOf(QLatin1Char('='));
        if (equals <= 0)
            continue;
        const QByteArray key = parameter.left(equals).trimmed().toUtf8();
        const QByteArray value = parameter.mid(equals + 1).trimmed().toUtf8();
        gst_structure_set(structure, key.constData(), G_TYPE_STRING, value.constData(), nullptr);
    }
    GstCaps* caps = gst_caps_new_empty();
    gst_caps_append_structure(caps, structure);
    return caps;
}

QString GstVoiceAudioTrack::mid() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_media.mid;
}

int GstVoiceAudioTrack::payloadType() const
{
    return m_payloadType;
}

bool GstVoiceAudioTrack::isOpen() const
{
    return m_open;
}

void GstVoiceAudioTrack::setMid(const QString& mid)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_media.mid = mid;
}

void GstVoiceAudioTrack::setPayloadType(int payloadType)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    if (payloadType == m_payloadType || !m_appsrc)
        return;
    m_payloadType = payloadType;
    m_media.payloadType = payloadType;
    // The codec preference first: webrtcbin refuses sink caps that do not match it.
    GstCaps* preferences = rtpCaps(m_media, false);
    g_object_set(m_transceiver, "codec-preferences", preferences, nullptr);
    gst_caps_unref(preferences);
    GstCaps* sendCaps = rtpCaps(m_media, true);
    g_object_set(m_appsrc, "caps", sendCaps, nullptr);

    // webrtcbin answers with the caps its sink pad last received, which appsrc
    // passes on only later, from its own thread: hand them to the pad now.
    GstPad* source = gst_element_get_static_pad(m_appsrc, "src");
    GstPad* sink = source ? gst_pad_get_peer(source) : nullptr;
    if (sink) {
        gst_pad_send_event(sink, gst_event_new_caps(sendCaps));
        gst_object_unref(sink);
    }
    if (source)
        gst_object_unref(source);
    gst_caps_unref(sendCaps);
}

void GstVoiceAudioTrack::setOpen(bool open)
{
    if (m_open.exchange(open) == open)
        return;
    if (open)
        notifyOpen();
    else
        notifyClosed();
}

void GstVoiceAudioTrack::deliverRtp(const QByteArray& packet)
{
    notifyMessage(packet);
}

bool GstVoiceAudioTrack::sendFrame(const QByteArray& opusPacket, double seconds, QString* error)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    if (!m_appsrc || !m_open) {
        if (error)
            *error = QStringLiteral("Track is closed");
        return false;
    }

    VoiceRtpPacket rtp;
    rtp.payloadType = m_payloadType;
    rtp.marker = m_firstPacket;
    rtp.sequence = m_sequence;
    rtp.timestamp = m_timestampBase + quint32(std::llround(seconds * m_media.clockRate));
    rtp.ssrc = m_media.ssrc;
    rtp.payload = opusPacket.constData();
    rtp.payloadSize = int(opusPacket.size());
    GstBuffer* buffer = gst_buffer_new_allocate(nullptr, gsize(VoiceRtpPacket::HeaderBytes + rtp.payloadSize), nullptr);
    GstMapInfo map;
    gst_buffer_map(buffer, &map, GST_MAP_WRITE);
    rtp.write(map.data);
    gst_buffer_unmap(buffer, &map);

    const GstFlowReturn flow = gst_app_src_push_buffer(GST_APP_SRC(m_appsrc), buffer);
    if (flow != GST_FLOW_OK) {
        if (error)
            *error = QString::fromUtf8(gst_flow_get_name(flow));
        return false;
    }
    ++m_sequence;
    m_firstPacket = false;
    return true;
}

void GstVoiceAudioTrack::release()
{
    resetCallbacks();
    std::lock_guard<std::mutex> lock(m_mutex);
    m_open = false;
    if (m_appsrc) {
        gst_object_unref(m_appsrc);
        m_appsrc = nullptr;
    }
    if (m_transceiver) {
        gst_object_unref(m_transceiver);
        m_transceiver = nullptr;
    }
}
