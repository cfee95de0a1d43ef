#include "voice/GstVoicePeerConnection.h"

#include "app/LogCategories.h"
#include "voice/GstVoiceAudioTrack.h"
#include "voice/GstVoiceDataChannel.h"

#include <QCoreApplication>
#include <QDebug>
#include <QThreadPool>

// glib's headers use "signals" as a name, which Qt defines as a keyword.
#undef signals
#include <gst/app/gstappsink.h>
#include <gst/app/gstappsrc.h>
#include <gst/gst.h>
#include <gst/sdp/sdp.h>
#include <gst/webrtc/webrtc.h>
#include <nice/agent.h>

#include <utility>

namespace {

constexpr guint JitterBufferLatencyMs = 20;
// Remote candidates kept while no remote description is set.
constexpr int MaxPendingRemoteCandidates = 64;

bool hasProperty(gpointer object, const char* name)
{
    return g_object_class_find_property(G_OBJECT_GET_CLASS(object), name) != nullptr;
}

// The failure a promise reply carries (empty when there is none).
QString replyError(GstPromise* promise)
{
    if (gst_promise_wait(promise) != GST_PROMISE_RESULT_REPLIED)
        return QStringLiteral("WebRTC operation interrupted");
    const GstStructure* reply = gst_promise_get_reply(promise);
    if (reply && gst_structure_has_field(reply, "error")) {
        GError* error = nullptr;
        gst_structure_get(reply, "error", G_TYPE_ERROR, &error, nullptr);
        const QString text = error ? QString::fromUtf8(error->message) : QStringLiteral("WebRTC operation failed");
        if (error)
            g_error_free(error);
        return text;
    }
    return {};
}

QStringList midsOf(const GstSDPMessage* sdp)
{
    QStringList mids;
    for (guint i = 0; i < gst_sdp_message_medias_len(sdp); ++i) {
        const gchar* mid = gst_sdp_media_get_attribute_val(gst_sdp_message_get_media(sdp, i), "mid");
        mids << QString::fromUtf8(mid ? mid : "");
    }
    return mids;
}

using TrackHandle = std::weak_ptr<GstVoiceAudioTrack>;
using ConnectionHandle = std::weak_ptr<GstVoicePeerConnection>;

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

// "candidate:foundation component transport priority address port typ type ..."
bool isWellFormedCandidate(const QString& candidate)
{
    const QStringList parts = candidate.mid(10).split(QLatin1Char(' '), Qt::SkipEmptyParts);
    bool component = false;
    bool port = false;
    if (parts.size() >= 8) {
        parts.at(1).toUInt(&component);
        parts.at(5).toUInt(&port);
    }
    return component && port && parts.at(6) == QLatin1String("typ");
}

// A promise whose reply comes back to a member function of the connection, if
// the connection is still there and open by then.
struct PendingReply
{
    ConnectionHandle connection;
    bool offer = false;
    GstWebRTCSessionDescription* description = nullptr;
    ~PendingReply()
    {
        if (description)
            gst_webrtc_session_description_free(description);
    }
};

template <typename Handler>
GstPromise* promiseFor(PendingReply* pending)
{
    return gst_promise_new_with_change_func(
        [](GstPromise* promise, gpointer data) {
            auto* reply = static_cast<PendingReply*>(data);
            if (const std::shared_ptr<GstVoicePeerConnection> connection = reply->connection.lock())
                Handler::run(*connection, promise, *reply);
        },
        pending, [](gpointer data) { delete static_cast<PendingReply*>(data); });
}

void unifyBundleIceCredentials(GstSDPMessage* sdp)
{
    const guint count = gst_sdp_message_medias_len(sdp);
    if (count < 2)
        return;
    const gchar* ufrag = nullptr;
    const gchar* pwd = nullptr;
    for (guint i = 0; i < count && !ufrag; ++i) {
        const GstSDPMedia* media = gst_sdp_message_get_media(sdp, i);
        ufrag = gst_sdp_media_get_attribute_val(media, "ice-ufrag");
        pwd = gst_sdp_media_get_attribute_val(media, "ice-pwd");
    }
    if (!ufrag || !pwd)
        return;
    const QByteArray firstUfrag(ufrag);
    const QByteArray firstPwd(pwd);
    for (guint i = 0; i < count; ++i) {
        GstSDPMedia* media = const_cast<GstSDPMedia*>(gst_sdp_message_get_media(sdp, i));
        for (guint a = 0; a < gst_sdp_media_attributes_len(media); ++a) {
            const GstSDPAttribute* attribute = gst_sdp_media_get_attribute(media, a);
            const QByteArray key(attribute->key);
            if (key != "ice-ufrag" && key != "ice-pwd")
                continue;
            GstSDPAttribute replacement;
            gst_sdp_attribute_set(&replacement, attribute->key,
                                  key == "ice-ufrag" ? firstUfrag.constData() : firstPwd.constData());
            gst_sdp_media_replace_attribute(media, a, &replacement);
        }
    }
}

int opusPayloadTypeOf(const GstSDPMessage* sdp)
{
    for (guint i = 0; i < gst_sdp_message_medias_len(sdp); ++i) {
        const GstSDPMedia* media = gst_sdp_message_get_media(sdp, i);
        if (qstrcmp(gst_sdp_media_get_media(media), "audio") != 0)
            continue;
        for (guint a = 0; a < gst_sdp_media_attributes_len(media); ++a) {
            const GstSDPAttribute* attribute = gst_sdp_media_get_attribute(media, a);
            if (qstrcmp(attribute->key, "rtpmap") != 0 || !attribute->value)
                continue;
            const QString value = QString::fromUtf8(attribute->value);
            const qsizetype space = value.indexOf(QLatin1Char(' '));
            if (space > 0 && value.mid(space + 1).startsWith(QLatin1String("opus/48000"), Qt::CaseInsensitive))
                return value.left(space).toInt();
        }
        return -1;
    }
    return -1;
}

GstSDPMessage* parseSdp(const QString& sdpText)
{
    GstSDPMessage* sdp = nullptr;
    gst_sdp_message_new(&sdp);
    const QByteArray text = sdpText.toUtf8();
    if (gst_sdp_message_parse_buffer(reinterpret_cast<const guint8*>(text.constData()), guint(text.size()), sdp)
            != GST_SDP_OK
        || gst_sdp_message_medias_len(sdp) == 0) {
        gst_sdp_message_free(sdp);
        return nullptr;
    }
    return sdp;
}

} // namespace

struct GstVoicePeerConnection::Replies
{
    struct Created
    {
        static void run(GstVoicePeerConnection& connection, GstPromise* promise, PendingReply& reply)
        {
            connection.localDescriptionCreated(promise, reply.offer);
        }
    };
    struct Set
    {
        static void run(GstVoicePeerConnection& connection, GstPromise* promise, PendingReply& reply)
        {
            connection.localDescriptionSet(promise, std::exchange(reply.description, nullptr), reply.offer);
        }
    };
    struct Checked
    {
        static void run(GstVoicePeerConnection& connection, GstPromise* promise, PendingReply&)
        {
            const QString failure = replyError(promise);
            if (!failure.isEmpty() && !connection.m_closed)
                connection.notifyFailure(failure);
        }
    };
    struct Stats
    {
        static void run(GstVoicePeerConnection& connection, GstPromise* promise, PendingReply&)
        {
            if (!connection.m_closed && gst_promise_wait(promise) == GST_PROMISE_RESULT_REPLIED)
                connection.notifyStats(gst_promise_get_reply(promise), connection.m_rtcpReports);
        }
    };
};

std::shared_ptr<GstVoicePeerConnection> GstVoicePeerConnection::create(const VoicePeerConfiguration& configuration,
                                                                       bool loopbackOnly, QString* error)
{
    std::shared_ptr<GstVoicePeerConnection> connection(new GstVoicePeerConnection);
    if (!connection->setUp(configuration, loopbackOnly, error))
        return nullptr;
    return connection;
}

QString GstVoicePeerConnection::webrtcbinStunServer(const QString& stunUrl)
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

void GstVoicePeerConnection::connectSignal(const char* name, GCallback handler)
{
    // Each handler holds only a weak reference: a connection being released
    // is never kept alive, nor used, by a signal already on its way.
    m_signalHandlers.push_back(g_signal_connect_data(
        m_webrtc, name, handler, new ConnectionHandle(weak_from_this()),
        [](gpointer data, GClosure*) { delete static_cast<ConnectionHandle*>(data); }, GConnectFlags(0)));
}

std::shared_ptr<GstVoicePeerConnection> GstVoicePeerConnection::fromHandle(void* handle)
{
    std::shared_ptr<GstVoicePeerConnection> connection = static_cast<ConnectionHandle*>(handle)->lock();
    return connection && !connection->m_closed ? connection : nullptr;
}

bool GstVoicePeerConnection::setUp(const VoicePeerConfiguration& configuration, bool loopbackOnly, QString* error)
{
    auto fail = [error](const QString& text) {
        if (error)
            *error = text;
        return false;
    };

    m_pipeline = gst_pipeline_new(nullptr);
    m_webrtc = gst_element_factory_make("webrtcbin", nullptr);
    if (!m_pipeline || !m_webrtc) {
        if (m_webrtc)
            gst_object_unref(m_webrtc);
        m_webrtc = nullptr;
        return fail(QStringLiteral("GStreamer webrtcbin is not available"));
    }
    gst_bin_add(GST_BIN(m_pipeline), GST_ELEMENT(gst_object_ref(m_webrtc)));

    g_object_set(m_webrtc, "bundle-policy", GST_WEBRTC_BUNDLE_POLICY_MAX_BUNDLE, "latency", JitterBufferLatencyMs,
                 nullptr);
    const QString stun = webrtcbinStunServer(configuration.stunUrl);
    if (!stun.isEmpty())
        g_object_set(m_webrtc, "stun-server", stun.toUtf8().constData(), nullptr);

    // libnice: no UPnP discovery on the local network, no ICE over TCP, and
    // connectivity checks as keep-alives so a vanished peer is noticed.
    GObject* ice = nullptr;
    g_object_get(m_webrtc, "ice-agent", &ice, nullptr);
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
            return fail(QStringLiteral("The ICE agent cannot be restricted to loopback"));
        }
        g_object_unref(ice);
    }

    connectSignal("on-ice-candidate", G_CALLBACK(&GstVoicePeerConnection::handleIceCandidate));
    connectSignal("notify::connection-state", G_CALLBACK(&GstVoicePeerConnection::handleConnectionState));
    connectSignal("on-data-channel", G_CALLBACK(&GstVoicePeerConnection::handleDataChannel));
    connectSignal("pad-added", G_CALLBACK(&GstVoicePeerConnection::handlePadAdded));
    // RTCP from the peer, counted for the link quality (the handler outlives nothing: see fromHandle).
    if (GstElement* rtpbin = gst_bin_get_by_name(GST_BIN(m_webrtc), "rtpbin")) {
        g_signal_connect_data(rtpbin, "on-ssrc-active", G_CALLBACK(&GstVoicePeerConnection::handleRtcpReport),
                              new ConnectionHandle(weak_from_this()),
                              [](gpointer data, GClosure*) { delete static_cast<ConnectionHandle*>(data); },
                              GConnectFlags(0));
        gst_object_unref(rtpbin);
    }

    GstBus* bus = gst_element_get_bus(m_pipeline);
    gst_bus_set_sync_handler(bus, reinterpret_cast<GstBusSyncHandler>(&GstVoicePeerConnection::handleBusMessage),
                             nullptr, nullptr);
    gst_object_unref(bus);

    if (gst_element_set_state(m_pipeline, GST_STATE_PLAYING) == GST_STATE_CHANGE_FAILURE)
        return fail(QStringLiteral("The WebRTC pipeline could not be started"));
    return true;
}

GstVoicePeerConnection::~GstVoicePeerConnection()
{
    close();
    if (m_webrtc)
        gst_object_unref(m_webrtc);
}

std::shared_ptr<VoiceAudioTrack> GstVoicePeerConnection::addTrack(const VoiceAudioMediaLine& media, QString* error)
{
    if (m_closed || m_track) {
        if (error)
            *error = m_closed ? QStringLiteral("Connection is closed") : QStringLiteral("The audio line exists already");
        return nullptr;
    }

    GstElement* appsrc = gst_element_factory_make("appsrc", nullptr);
    if (!appsrc) {
        if (error)
            *error = QStringLiteral("GStreamer appsrc is not available");
        return nullptr;
    }
    GstCaps* sendCaps = GstVoiceAudioTrack::rtpCaps(media, true);
    g_object_set(appsrc, "caps", sendCaps, "is-live", TRUE, "format", GST_FORMAT_TIME, "do-timestamp", TRUE, nullptr);
    gst_caps_unref(sendCaps);
    // At most 100 ms waiting to be sent: older packets give way to newer ones.
    gst_app_src_set_max_bytes(GST_APP_SRC(appsrc), 0);
    gst_app_src_set_max_buffers(GST_APP_SRC(appsrc), 5);
    gst_app_src_set_leaky_type(GST_APP_SRC(appsrc), GST_APP_LEAKY_TYPE_DOWNSTREAM);
    gst_bin_add(GST_BIN(m_pipeline), appsrc);

    GstPad* sinkPad = gst_element_request_pad_simple(m_webrtc, "sink_%u");
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
        if (error)
            *error = QStringLiteral("The audio line could not be added");
        return nullptr;
    }

    GstCaps* preferences = GstVoiceAudioTrack::rtpCaps(media, false);
    g_object_set(transceiver, "direction", GST_WEBRTC_RTP_TRANSCEIVER_DIRECTION_SENDRECV, "codec-preferences",
                 preferences, nullptr);
    gst_caps_unref(preferences);
    gst_element_sync_state_with_parent(appsrc);

    gst_object_ref(appsrc);
    m_track = std::make_shared<GstVoiceAudioTrack>(media, appsrc, transceiver);
    return m_track;
}

std::shared_ptr<VoiceDataChannel> GstVoicePeerConnection::createDataChannel(const QString& label, QString* error)
{
    GstWebRTCDataChannel* channel = nullptr;
    if (!m_closed)
        g_signal_emit_by_name(m_webrtc, "create-data-channel", label.toUtf8().constData(), nullptr, &channel);
    if (!channel) {
        if (error)
            *error = QStringLiteral("The data channel could not be created");
        return nullptr;
    }
    auto wrapper = std::make_shared<GstVoiceDataChannel>(channel);
    std::lock_guard<std::mutex> lock(m_mutex);
    m_channels.push_back(wrapper);
    return wrapper;
}

bool GstVoicePeerConnection::setLocalDescription(DescriptionType type, QString* error)
{
    if (m_closed) {
        if (error)
            *error = QStringLiteral("Connection is closed");
        return false;
    }
    if (type == DescriptionType::Unspecified) {
        GstWebRTCSignalingState signaling = GST_WEBRTC_SIGNALING_STATE_STABLE;
        g_object_get(m_webrtc, "signaling-state", &signaling, nullptr);
        type = signaling == GST_WEBRTC_SIGNALING_STATE_HAVE_REMOTE_OFFER ? DescriptionType::Answer
                                                                         : DescriptionType::Offer;
    }
    const bool offer = type == DescriptionType::Offer;
    GstPromise* promise = promiseFor<Replies::Created>(new PendingReply{weak_from_this(), offer});
    g_signal_emit_by_name(m_webrtc, offer ? "create-offer" : "create-answer", nullptr, promise);
    gst_promise_unref(promise);
    return true;
}

// webrtcbin's thread: the description exists, now make it the local one.
void GstVoicePeerConnection::localDescriptionCreated(GstPromise* promise, bool offer)
{
    const QString failure = replyError(promise);
    GstWebRTCSessionDescription* description = nullptr;
    if (failure.isEmpty()) {
        gst_structure_get(gst_promise_get_reply(promise), offer ? "offer" : "answer",
                          GST_TYPE_WEBRTC_SESSION_DESCRIPTION, &description, nullptr);
    }
    if (!description) {
        if (!m_closed)
            notifyFailure(failure.isEmpty() ? QStringLiteral("No description was made") : failure);
        return;
    }
    GstPromise* next = promiseFor<Replies::Set>(new PendingReply{weak_from_this(), offer, description});
    g_signal_emit_by_name(m_webrtc, "set-local-description", description, next);
    gst_promise_unref(next);
}

// webrtcbin's thread: the local description is in place; report it, then the candidates held back.
void GstVoicePeerConnection::localDescriptionSet(GstPromise* promise, GstWebRTCSessionDescription* description,
                                                 bool offer)
{
    const QString failure = replyError(promise);
    if (!failure.isEmpty() || m_closed) {
        gst_webrtc_session_description_free(description);
        if (!m_closed)
            notifyFailure(failure);
        return;
    }

    gchar* text = gst_sdp_message_as_text(description->sdp);
    const QString sdp = QString::fromUtf8(text);
    g_free(text);
    const QStringList mids = midsOf(description->sdp);
    for (guint i = 0; i < gst_sdp_message_medias_len(description->sdp); ++i) {
        const GstSDPMedia* media = gst_sdp_message_get_media(description->sdp, i);
        if (gst_sdp_media_get_port(media) == 0 && qstrcmp(gst_sdp_media_get_media(media), "audio") == 0)
            qCWarning(lcVoice) << "Linea audio WebRTC rifiutata nella descrizione locale:" << sdp;
    }
    gst_webrtc_session_description_free(description);

    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_localMids = mids;
    }
    if (m_track && !mids.isEmpty())
        m_track->setMid(mids.first());
    notifyLocalDescription(offer ? QStringLiteral("offer") : QStringLiteral("answer"), sdp);
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_localDescriptionReported = true;
    }
    flushLocalCandidates();
}

bool GstVoicePeerConnection::setRemoteDescription(const QString& sdpText, const QString& type, QString* error)
{
    auto fail = [error](const QString& text) {
        if (error)
            *error = text;
        return false;
    };
    if (m_closed)
        return fail(QStringLiteral("Connection is closed"));

    GstWebRTCSDPType sdpType;
    if (type == QLatin1String("offer"))
        sdpType = GST_WEBRTC_SDP_TYPE_OFFER;
    else if (type == QLatin1String("answer"))
        sdpType = GST_WEBRTC_SDP_TYPE_ANSWER;
    else if (type == QLatin1String("pranswer"))
        sdpType = GST_WEBRTC_SDP_TYPE_PRANSWER;
    else
        return fail(QStringLiteral("Unknown description type: %1").arg(type));

    GstSDPMessage* sdp = parseSdp(sdpText);
    if (!sdp)
        return fail(QStringLiteral("Invalid session description"));

    if (sdpType == GST_WEBRTC_SDP_TYPE_OFFER) {
        unifyBundleIceCredentials(sdp);
        // Answer with the payload type the offer gives Opus.
        const int payloadType = opusPayloadTypeOf(sdp);
        if (payloadType >= 0 && m_track)
            m_track->setPayloadType(payloadType);
    }
    const QStringList mids = midsOf(sdp);

    GstWebRTCSessionDescription* description = gst_webrtc_session_description_new(sdpType, sdp);
    GstPromise* promise = promiseFor<Replies::Checked>(new PendingReply{weak_from_this()});
    g_signal_emit_by_name(m_webrtc, "set-remote-description", description, promise);
    gst_promise_unref(promise);
    gst_webrtc_session_description_free(description);

    // webrtcbin applies its operations in order: candidates given from now on
    // reach it after the description.
    QList<QPair<QString, QString>> pending;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_remoteMids = mids;
        m_remoteDescriptionSet = true;
        pending.swap(m_pendingRemoteCandidates);
    }
    for (const auto& candidate : std::as_const(pending))
        applyRemoteCandidate(candidate.first, candidate.second);
    return true;
}

bool GstVoicePeerConnection::addRemoteCandidate(const QString& candidateText, const QString& mid, QString* error)
{
    auto fail = [error](const QString& text) {
        if (error)
            *error = text;
        return false;
    };
    if (m_closed)
        return fail(QStringLiteral("Connection is closed"));
    QString candidate = candidateText.trimmed();
    if (candidate.startsWith(QLatin1String("a=")))
        candidate = candidate.mid(2);
    if (candidate.isEmpty())
        return true; // end of candidates
    if (!candidate.startsWith(QLatin1String("candidate:")))
        candidate.prepend(QLatin1String("candidate:"));
    if (!isWellFormedCandidate(candidate))
        return fail(QStringLiteral("Invalid ICE candidate: %1").arg(candidateText));

    {
        std::lock_guard<std::mutex> lock(m_mutex);
        if (!m_remoteDescriptionSet) {
            if (m_pendingRemoteCandidates.size() >= MaxPendingRemoteCandidates)
                return fail(QStringLiteral("Too many ICE candidates before the remote description"));
            m_pendingRemoteCandidates.append({candidate, mid});
            return true;
        }
    }
    applyRemoteCandidate(candidate, mid);
    return true;
}

void GstVoicePeerConnection::applyRemoteCandidate(const QString& candidate, const QString& mid)
{
    int index = 0;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        index = qMax(0, int(m_remoteMids.indexOf(mid)));
    }
    g_signal_emit_by_name(m_webrtc, "add-ice-candidate", guint(index), candidate.toUtf8().constData());
}

void GstVoicePeerConnection::flushLocalCandidates()
{
    QList<QPair<unsigned, QString>> held;
    QStringList mids;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        held.swap(m_heldLocalCandidates);
        mids = m_localMids;
    }
    for (const auto& candidate : std::as_const(held)) {
        const QString mid = int(candidate.first) < mids.size() ? mids.at(int(candidate.first))
                                                               : mids.value(0);
        notifyLocalCandidate(candidate.second, mid);
    }
}

VoicePeerConnection::State GstVoicePeerConnection::state() const
{
    return State(m_state.load());
}

void GstVoicePeerConnection::requestStats()
{
    if (m_closed)
        return;
    GstPromise* promise = promiseFor<Replies::Stats>(new PendingReply{weak_from_this()});
    g_signal_emit_by_name(m_webrtc, "get-stats", nullptr, promise);
    gst_promise_unref(promise);
}

void GstVoicePeerConnection::close()
{
    if (m_closed.exchange(true))
        return;
    // Callbacks running now finish first; none starts afterwards.
    resetCallbacks();
    if (m_track)
        m_track->resetCallbacks();
    std::vector<std::shared_ptr<GstVoiceDataChannel>> channels;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        channels.swap(m_channels);
    }
    for (const auto& channel : channels)
        channel->release();
    if (m_track)
        m_track->release();
    for (const unsigned long handler : m_signalHandlers)
        g_signal_handler_disconnect(m_webrtc, handler);
    m_signalHandlers.clear();
    m_state = int(State::Closed);

    // Stopping a pipeline waits for its threads: never here, where the caller
    // may be the GUI thread or one of those threads.
    GstElement* pipeline = std::exchange(m_pipeline, nullptr);
    if (!pipeline)
        return;
    auto teardown = [pipeline] {
        gst_element_set_state(pipeline, GST_STATE_NULL);
        gst_object_unref(pipeline);
    };
    if (QCoreApplication::instance())
        QThreadPool::globalInstance()->start(teardown);
    else
        teardown();
}

// --- GStreamer callbacks (GStreamer's threads) --------------------------------

void GstVoicePeerConnection::handleRtcpReport(GstElement*, unsigned, unsigned, void* handle)
{
    if (const std::shared_ptr<GstVoicePeerConnection> connection = fromHandle(handle))
        ++connection->m_rtcpReports;
}

void GstVoicePeerConnection::handleIceCandidate(GstElement*, unsigned mlineIndex, char* candidate, void* handle)
{
    const std::shared_ptr<GstVoicePeerConnection> connection = fromHandle(handle);
    if (!connection || !candidate)
        return;
    QString text = QString::fromUtf8(candidate);
    if (text.startsWith(QLatin1String("a=")))
        text = text.mid(2);
    QString mid;
    {
        std::lock_guard<std::mutex> lock(connection->m_mutex);
        if (!connection->m_localDescriptionReported) {
            connection->m_heldLocalCandidates.append({mlineIndex, text});
            return;
        }
        mid = int(mlineIndex) < connection->m_localMids.size() ? connection->m_localMids.at(int(mlineIndex))
                                                               : connection->m_localMids.value(0);
    }
    connection->notifyLocalCandidate(text, mid);
}

void GstVoicePeerConnection::handleConnectionState(GstElement* webrtc, GParamSpec*, void* handle)
{
    const std::shared_ptr<GstVoicePeerConnection> connection = fromHandle(handle);
    if (!connection)
        return;
    GstWebRTCPeerConnectionState gstState = GST_WEBRTC_PEER_CONNECTION_STATE_NEW;
    g_object_get(webrtc, "connection-state", &gstState, nullptr);
    State state = State::New;
    switch (gstState) {
    case GST_WEBRTC_PEER_CONNECTION_STATE_NEW: state = State::New; break;
    case GST_WEBRTC_PEER_CONNECTION_STATE_CONNECTING: state = State::Connecting; break;
    case GST_WEBRTC_PEER_CONNECTION_STATE_CONNECTED: state = State::Connected; break;
    case GST_WEBRTC_PEER_CONNECTION_STATE_DISCONNECTED: state = State::Disconnected; break;
    case GST_WEBRTC_PEER_CONNECTION_STATE_FAILED: state = State::Failed; break;
    case GST_WEBRTC_PEER_CONNECTION_STATE_CLOSED: state = State::Closed; break;
    }
    if (connection->m_state.exchange(int(state)) == int(state))
        return;
    if (connection->m_track) {
        if (state == State::Connected)
            connection->m_track->setOpen(true);
        else if (state == State::Failed || state == State::Closed)
            connection->m_track->setOpen(false);
    }
    connection->notifyStateChange(state);
}

void GstVoicePeerConnection::handleDataChannel(GstElement*, GstWebRTCDataChannel* channel, void* handle)
{
    const std::shared_ptr<GstVoicePeerConnection> connection = fromHandle(handle);
    if (!connection || !channel)
        return;
    gst_object_ref(channel);
    auto wrapper = std::make_shared<GstVoiceDataChannel>(channel);
    {
        std::lock_guard<std::mutex> lock(connection->m_mutex);
        connection->m_channels.push_back(wrapper);
    }
    connection->notifyDataChannel(wrapper);
}

void GstVoicePeerConnection::handlePadAdded(GstElement*, GstPad* pad, void* handle)
{
    const std::shared_ptr<GstVoicePeerConnection> connection = fromHandle(handle);
    if (!connection || GST_PAD_DIRECTION(pad) != GST_PAD_SRC || !connection->m_track)
        return;
    GstElement* pipeline = GST_ELEMENT(gst_element_get_parent(connection->m_webrtc));
    if (!pipeline)
        return;

    GstElement* sink = gst_element_factory_make("appsink", nullptr);
    if (sink) {
        g_object_set(sink, "sync", FALSE, "async", FALSE, "emit-signals", FALSE, "max-buffers", 50u, "drop", TRUE,
                     nullptr);
        GstAppSinkCallbacks callbacks = {};
        callbacks.new_sample = &pullRtp;
        gst_app_sink_set_callbacks(GST_APP_SINK(sink), &callbacks, new TrackHandle(connection->m_track),
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

int GstVoicePeerConnection::handleBusMessage(GstBus*, GstMessage* message, void*)
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
