#include "voice/GstVoiceDataChannel.h"

// glib's headers use "signals" as a name, which Qt defines as a keyword.
#undef signals
#include <gst/gst.h>
#include <gst/webrtc/webrtc.h>

GstVoiceDataChannel::GstVoiceDataChannel(const QString& label)
    : m_label(label)
{
}

void GstVoiceDataChannel::attach(GstWebRTCDataChannel* channel)
{
    m_channel = channel;
    GstWebRTCDataChannelState state = GST_WEBRTC_DATA_CHANNEL_STATE_CONNECTING;
    g_object_get(m_channel, "ready-state", &state, nullptr);
    m_open = state == GST_WEBRTC_DATA_CHANNEL_STATE_OPEN;

    g_signal_connect(m_channel, "on-open", G_CALLBACK(&GstVoiceDataChannel::handleOpen), this);
    g_signal_connect(m_channel, "on-close", G_CALLBACK(&GstVoiceDataChannel::handleClose), this);
}

GstVoiceDataChannel::~GstVoiceDataChannel()
{
    release();
}

QString GstVoiceDataChannel::label() const
{
    return m_label;
}

bool GstVoiceDataChannel::isOpen() const
{
    return m_open;
}

void GstVoiceDataChannel::release()
{
    resetCallbacks();
    if (!m_channel)
        return;
    g_signal_handlers_disconnect_by_data(m_channel, this);
    gst_object_unref(m_channel);
    m_channel = nullptr;
    m_open = false;
}

void GstVoiceDataChannel::handleOpen(GstWebRTCDataChannel*, void* self)
{
    auto* channel = static_cast<GstVoiceDataChannel*>(self);
    channel->m_open = true;
    channel->notifyOpen();
}

void GstVoiceDataChannel::handleClose(GstWebRTCDataChannel*, void* self)
{
    auto* channel = static_cast<GstVoiceDataChannel*>(self);
    channel->m_open = false;
    channel->notifyClosed();
}
