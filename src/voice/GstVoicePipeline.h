#pragma once

#include "voice/VoicePeerConnection.h"

#include <QString>

#include <memory>

typedef struct _GstElement GstElement;
typedef struct _GstPad GstPad;

class GstVoiceAudioTrack;

// How a voice connection's webrtcbin pipeline is put together: webrtcbin
// with bundle-policy max-bundle, a 20 ms jitter buffer, UPnP and ICE-TCP off,
// the Opus line sent from an appsrc and received into an appsink.
class GstVoicePipeline
{
public:
    // Initialises GStreamer once (it may take seconds: the plugin registry is
    // scanned) and checks the elements the pipelines need. Empty, or why voice
    // cannot work. The worker's: call it on the GstVoiceWorker thread only.
    static QString initialise();
    // A new pipeline holding a configured webrtcbin (one reference each, for
    // the caller, also on failure when not null). Empty, or why it failed.
    // loopbackOnly: ICE uses 127.0.0.1 and nothing else (for tests).
    static QString create(const VoicePeerConfiguration& configuration, bool loopbackOnly, GstElement** pipeline,
                          GstElement** webrtc);
    // appsrc -> a requested sink pad of webrtcbin whose transceiver sends and
    // receives Opus as the track says; the track is attached to them.
    static QString addAudioLine(GstElement* pipeline, GstElement* webrtc, GstVoiceAudioTrack& track);
    // A source pad webrtcbin added: its RTP goes to the track, from an appsink.
    static void receiveAudio(GstElement* webrtc, GstPad* pad, const std::shared_ptr<GstVoiceAudioTrack>& track);

    // "stun:host:port" as webrtcbin wants it ("stun://host:port"); empty stays empty.
    static QString webrtcbinStunServer(const QString& stunUrl);
};
