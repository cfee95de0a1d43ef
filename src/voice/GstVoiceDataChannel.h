#pragma once

#include "voice/VoiceDataChannel.h"

#include <atomic>

typedef struct _GstWebRTCDataChannel GstWebRTCDataChannel;

// A data channel of webrtcbin. Holds a reference to the GStreamer channel
// until release(). A channel this side creates exists at once and gets its
// GStreamer channel when the connection's worker has made it.
class GstVoiceDataChannel : public VoiceDataChannel
{
public:
    explicit GstVoiceDataChannel(const QString& label);
    ~GstVoiceDataChannel() override;

    // Takes over one reference to channel.
    void attach(GstWebRTCDataChannel* channel);

    QString label() const override;
    bool isOpen() const override;

    // Stops the callbacks and drops the GStreamer channel; called when the connection closes.
    void release();

private:
    static void handleOpen(GstWebRTCDataChannel* channel, void* self);
    static void handleClose(GstWebRTCDataChannel* channel, void* self);

    GstWebRTCDataChannel* m_channel = nullptr;
    QString m_label;
    std::atomic<bool> m_open{false};
};
