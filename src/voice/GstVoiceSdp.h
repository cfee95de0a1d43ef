#pragma once

// Include after undefining Qt's "signals", as for every GStreamer header.
#include <gst/sdp/sdp.h>

#include <QString>
#include <QStringList>

// Session descriptions and candidates as webrtcbin and the voice room's
// peers write them.
class GstVoiceSdp
{
public:
    // Null when the text is no description with at least one media line; free with gst_sdp_message_free.
    static GstSDPMessage* parse(const QString& text);
    // The mid of every media line, in order ("" where a line has none).
    static QStringList mids(const GstSDPMessage* sdp);
    // The payload type Opus has on the first audio line, or -1.
    static int opusPayloadType(const GstSDPMessage* sdp);
    // Gives every media line the first line's ICE credentials: webrtcbin
    // refuses a BUNDLE group whose lines have credentials of their own.
    static void unifyBundleIceCredentials(GstSDPMessage* sdp);
    // "candidate:foundation component transport priority address port typ type ...",
    // with or without its "a=" and "candidate:" prefixes; empty when malformed.
    static QString normalizedCandidate(const QString& text);
};
