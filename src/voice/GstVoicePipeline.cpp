#include "voice/GstVoicePipeline.h"

#include "app/LogCategories.h"
#include "voice/GstVoiceAudioTrack.h"

#include <QDebug>

// glib's headers use "signals" as a name, which Qt defines as a keyword.
#undef signals
#include <gst/app/gstappsink.h>
#include <gst/app/gstappsrc.h>
#include <gst/gst.h>
#include <gst/webrtc/webrtc.h>
#include <nice/agent.h>

namespace {

constexpr guint JitterBufferLatencyMs = 20;

using TrackHandle = std::weak_ptr<GstVoiceAudioTrack>;

bool hasProperty(gpointer object, const char* name)
{
    return g_object_class_find_property(G_OBJECT_GET_CLASS(object), name) != nullptr;
}

GstFlowReturn pullRtp(GstAppSink* sink, gpointer data)
{
    GstSample* sample = gst_app_sink_pull_sample(sink);
    if (!sample)
        return GST_FLOW_OK;
    const std::shared_ptr<GstVoiceAudioTrack> track = static_cast<TrackHandle*>(data)->lock();
    GstBuffer* buffer = gst_sample_get_buffer(sample);
    GstMapInfo map;
    if (track && buffer && gst_buffer_map(buffer, &map, GST_MAP_READ)) {
        const QByteArray packet(reinterpret_cast<const char*>(map.data), qsizetype(map.size));
        gst_buffer_unmap(buffer, &map);
        track->deliverRtp(packet);
    }
    gst_sample_unref(sample);
    return GST_FLOW_OK;
}

GstBusSyncReply logBusMessage(GstBus*, GstMessage* message, gpointer)
{
    if (GST_MESSAGE_TYPE(message) == GST_MESSAGE_ERROR || GST_MESSAGE_TYPE(message) == GST_MESSAGE_WARNING) {
        GError* error = nullptr;
        gchar* debug = nullptr;
        if (GST_MESSAGE_TYPE(message) == GST_MESSAGE_ERROR)
            gst_message_parse_error(message, &error, &debug);
        else
            gst_message_parse_warning(message, &error, &debug);
        qCWarning(lcVoice) << "Errore GStreamer WebRTC:" << (error ? error->message : "") << (debug ? debug : "");
        if (error)
            g_error_free(error);
        g_free(debug);
    }
    gst_message_unref(message);
    return GST_BUS_DROP;
}

} // namespace

QString GstVoicePipeline::webrtcbinStunServer(const QString& stunUrl)
{
    QString url = stunUrl.trimmed();
    if (url.isEmpty())
        return {};
    if (url.startsWith(QLatin1String("stun://")))
        return url;
    if (url.startsWith(QLatin1String("stun:")))
        url = url.mid(5);
    if (!url.contains(QLatin1Char(':')))
        url += QLatin1String(":3478");
    return QStringLiteral("stun://") + url;
}

QString GstVoicePipeline::initialise()
{
    static const QString failure = [] {
        GError* error = nullptr;
        if (!gst_init_check(nullptr, nullptr, &error)) {
            const QString message = error ? QString::fromUtf8(error->message) : QStringLiteral("GStreamer is not available");
            if (error)
                g_error_free(error);
            return message;
        }
        for (const char* element : {"webrtcbin", "appsrc", "appsink"}) {
            GstElementFactory* factory = gst_element_factory_find(element);
            if (!factory)
                return QStringLiteral("GStreamer %1 is not available").arg(QLatin1String(element));
            gst_object_unref(factory);
        }
        return QString();
    }();
    return failure;
}

QString GstVoicePipeline::create(const VoicePeerConfiguration& configuration, bool loopbackOnly, GstElement** pipeline,
                                 GstElement** webrtc)
{
    if (const QString failure = initialise(); !failure.isEmpty())
        return failure;
    *pipeline = gst_pipeline_new(nullptr);
    *webrtc = gst_element_factory_make("webrtcbin", nullptr);
    if (!*webrtc)
        return QStringLiteral("GStreamer webrtcbin could not be loaded");
    gst_bin_add(GST_BIN(*pipeline), GST_ELEMENT(gst_object_ref(*webrtc)));
    GstBus* bus = gst_element_get_bus(*pipeline);
    gst_bus_set_sync_handler(bus, &logBusMessage, nullptr, nullptr);
    gst_object_unref(bus);

    g_object_set(*webrtc, "bundle-policy", GST_WEBRTC_BUNDLE_POLICY_MAX_BUNDLE, "latency", JitterBufferLatencyMs,
                 nullptr);
    const QString stun = webrtcbinStunServer(configuration.stunUrl);
    if (!stun.isEmpty())
        g_object_set(*webrtc, "stun-server", stun.toUtf8().constData(), nullptr);

    // libnice: no UPnP discovery on the local network, no ICE over TCP, and
    // connectivity checks as keep-alives so a vanished peer is noticed.
    GObject* ice = nullptr;
    g_object_get(*webrtc, "ice-agent", &ice, nullptr);
    if (ice) {
        if (hasProperty(ice, "ice-tcp"))
            g_object_set(ice, "ice-tcp", FALSE, nullptr);
        NiceAgent* agent = nullptr;
        if (hasProperty(ice, "agent"))
            g_object_get(ice, "agent", &agent, nullptr);
        if (agent) {
            g_object_set(agent, "upnp", FALSE, "ice-tcp", FALSE, nullptr);
            if (hasProperty(agent, "keepalive-conncheck"))
                g_object_set(agent, "keepalive-conncheck", TRUE, nullptr);
            if (loopbackOnly) {
                NiceAddress address;
                nice_address_init(&address);
                nice_address_set_from_string(&address, "127.0.0.1");
                nice_agent_add_local_address(agent, &address);
            }
            g_object_unref(agent);
        } else if (loopbackOnly) {
            g_object_unref(ice);
            return QStringLiteral("The ICE agent cannot be restricted to loopback");
        }
        g_object_unref(ice);
    }

    return {};
}

QString GstVoicePipeline::addAudioLine(GstElement* pipeline, GstElement* webrtc, GstVoiceAudioTrack& track)
{
    const VoiceAudioMediaLine media = track.media();
    GstElement* appsrc = gst_element_factory_make("appsrc", nullptr);
    if (!appsrc)
        return QStringLiteral("GStreamer appsrc is not available");
    GstCaps* sendCaps = GstVoiceAudioTrack::rtpCaps(media, true);
    g_object_set(appsrc, "caps", sendCaps, "is-live", TRUE, "format", GST_FORMAT_TIME, "do-timestamp", TRUE, nullptr);
    gst_caps_unref(sendCaps);
    // At most 100 ms waiting to be sent: older packets give way to newer ones.
    gst_app_src_set_max_bytes(GST_APP_SRC(appsrc), 0);
    gst_app_src_set_max_buffers(GST_APP_SRC(appsrc), 5);
    gst_app_src_set_leaky_type(GST_APP_SRC(appsrc), GST_APP_LEAKY_TYPE_DOWNSTREAM);
    gst_bin_add(GST_BIN(pipeline), appsrc);

    GstPad* sinkPad = gst_element_request_pad_simple(webrtc, "sink_%u");
    GstPad* sourcePad = gst_element_get_static_pad(appsrc, "src");
    const bool linked = sinkPad && sourcePad && gst_pad_link(sourcePad, sinkPad) == GST_PAD_LINK_OK;
    GstWebRTCRTPTransceiver* transceiver = nullptr;
    if (sinkPad)
        g_object_get(sinkPad, "transceiver", &transceiver, nullptr);
    if (sourcePad)
        gst_object_unref(sourcePad);
    if (sinkPad)
        gst_object_unref(sinkPad);
    if (!linked || !transceiver) {
        if (transceiver)
            gst_object_unref(transceiver);
        return QStringLiteral("The audio line could not be added");
    }

    GstCaps* preferences = GstVoiceAudioTrack::rtpCaps(media, false);
    g_object_set(transceiver, "direction", GST_WEBRTC_RTP_TRANSCEIVER_DIRECTION_SENDRECV, "codec-preferences",
                 preferences, nullptr);
    gst_caps_unref(preferences);
    gst_element_sync_state_with_parent(appsrc);
    track.attach(GST_ELEMENT(gst_object_ref(appsrc)), transceiver);
    return {};
}

void GstVoicePipeline::receiveAudio(GstElement* webrtc, GstPad* pad, const std::shared_ptr<GstVoiceAudioTrack>& track)
{
    if (GST_PAD_DIRECTION(pad) != GST_PAD_SRC)
        return;
    GstElement* pipeline = GST_ELEMENT(gst_element_get_parent(webrtc));
    if (!pipeline)
        return;

    GstElement* sink = gst_element_factory_make("appsink", nullptr);
    if (sink) {
        g_object_set(sink, "sync", FALSE, "async", FALSE, "emit-signals", FALSE, "max-buffers", 50u, "drop", TRUE,
                     nullptr);
        GstAppSinkCallbacks callbacks = {};
        callbacks.new_sample = &pullRtp;
        gst_app_sink_set_callbacks(GST_APP_SINK(sink), &callbacks, new TrackHandle(track),
                                   [](gpointer data) { delete static_cast<TrackHandle*>(data); });
        gst_bin_add(GST_BIN(pipeline), sink);
        gst_element_sync_state_with_parent(sink);
        GstPad* sinkPad = gst_element_get_static_pad(sink, "sink");
        if (gst_pad_link(pad, sinkPad) != GST_PAD_LINK_OK)
            qCWarning(lcVoice) << "Collegamento dell'audio WebRTC ricevuto fallito.";
        gst_object_unref(sinkPad);
    }
    gst_object_unref(pipeline);
}

