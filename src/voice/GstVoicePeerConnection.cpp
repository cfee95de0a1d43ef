#include "voice/GstVoicePeerConnection.h"

#include "app/LogCategories.h"
#include "voice/GstVoiceAudioTrack.h"
#include "voice/GstVoiceDataChannel.h"
#include "voice/GstVoicePipeline.h"
#include "voice/GstVoiceWorker.h"

#include <QDebug>

// glib's headers use "signals" as a name, which Qt defines as a keyword.
#undef signals
#include <gst/gst.h>
#include <gst/sdp/sdp.h>
#include <gst/webrtc/webrtc.h>

#include "voice/GstVoiceSdp.h"

#include <utility>

namespace {

// Remote candidates kept while no remote description is set.
constexpr int MaxPendingRemoteCandidates = 64;

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

using ConnectionHandle = std::weak_ptr<GstVoicePeerConnection>;

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
                                                                       bool loopbackOnly)
{
    std::shared_ptr<GstVoicePeerConnection> connection(new GstVoicePeerConnection);
    GstVoiceWorker::post([connection, configuration, loopbackOnly] {
        if (!connection->m_closed)
            connection->m_setUpFailure = connection->setUp(configuration, loopbackOnly);
    });
    return connection;
}

void GstVoicePeerConnection::onWorker(std::function<void(GstVoicePeerConnection&)> work)
{
    GstVoiceWorker::post([connection = shared_from_this(), work = std::move(work)] {
        if (connection->m_closed)
            return;
        if (!connection->m_setUpFailure.isEmpty()) {
            // Told once, to the callbacks registered by now; the connection has failed.
            if (!std::exchange(connection->m_setUpFailureReported, true)) {
                connection->notifyFailure(connection->m_setUpFailure);
                connection->m_state = int(State::Failed);
                connection->notifyStateChange(State::Failed);
            }
            return;
        }
        work(*connection);
    });
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

// The worker's: the pipeline with webrtcbin, its signals, playing.
QString GstVoicePeerConnection::setUp(const VoicePeerConfiguration& configuration, bool loopbackOnly)
{
    const QString failure = GstVoicePipeline::create(configuration, loopbackOnly, &m_pipeline, &m_webrtc);
    if (!failure.isEmpty())
        return failure;
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

    if (gst_element_set_state(m_pipeline, GST_STATE_PLAYING) == GST_STATE_CHANGE_FAILURE)
        return QStringLiteral("The WebRTC pipeline could not be started");
    return {};
}

GstVoicePeerConnection::~GstVoicePeerConnection()
{
    close();
    // No task holds the connection any more: what is left of it goes on the worker.
    GstVoiceWorker::post([pipeline = m_pipeline, webrtc = m_webrtc, handlers = m_signalHandlers, track = m_track,
                          channels = m_channels] {
        release(pipeline, webrtc, handlers, track, channels);
        if (webrtc)
            gst_object_unref(webrtc);
    });
}

std::shared_ptr<VoiceAudioTrack> GstVoicePeerConnection::addTrack(const VoiceAudioMediaLine& media, QString* error)
{
    if (m_closed || m_track) {
        if (error)
            *error = m_closed ? QStringLiteral("Connection is closed") : QStringLiteral("The audio line exists already");
        return nullptr;
    }
    m_track = std::make_shared<GstVoiceAudioTrack>(media);
    onWorker([](GstVoicePeerConnection& connection) {
        const QString failure =
            GstVoicePipeline::addAudioLine(connection.m_pipeline, connection.m_webrtc, *connection.m_track);
        if (!failure.isEmpty())
            connection.notifyFailure(failure);
    });
    return m_track;
}

std::shared_ptr<VoiceDataChannel> GstVoicePeerConnection::createDataChannel(const QString& label, QString* error)
{
    if (m_closed) {
        if (error)
            *error = QStringLiteral("Connection is closed");
        return nullptr;
    }
    auto wrapper = std::make_shared<GstVoiceDataChannel>(label);
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_channels.push_back(wrapper);
    }
    onWorker([wrapper, label](GstVoicePeerConnection& connection) {
        GstWebRTCDataChannel* channel = nullptr;
        g_signal_emit_by_name(connection.m_webrtc, "create-data-channel", label.toUtf8().constData(), nullptr,
                              &channel);
        if (channel)
            wrapper->attach(channel);
        else
            connection.notifyFailure(QStringLiteral("The data channel could not be created"));
    });
    return wrapper;
}

bool GstVoicePeerConnection::setLocalDescription(DescriptionType type, QString* error)
{
    if (m_closed) {
        if (error)
            *error = QStringLiteral("Connection is closed");
        return false;
    }
    onWorker([type](GstVoicePeerConnection& connection) {
        bool offer = type == DescriptionType::Offer;
        if (type == DescriptionType::Unspecified) {
            GstWebRTCSignalingState signaling = GST_WEBRTC_SIGNALING_STATE_STABLE;
            g_object_get(connection.m_webrtc, "signaling-state", &signaling, nullptr);
            offer = signaling != GST_WEBRTC_SIGNALING_STATE_HAVE_REMOTE_OFFER;
        }
        GstPromise* promise = promiseFor<Replies::Created>(new PendingReply{connection.weak_from_this(), offer});
        g_signal_emit_by_name(connection.m_webrtc, offer ? "create-offer" : "create-answer", nullptr, promise);
        gst_promise_unref(promise);
    });
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
    if (!description || m_closed) {
        if (description)
            gst_webrtc_session_description_free(description);
        else if (!m_closed)
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
    const QStringList mids = GstVoiceSdp::mids(description->sdp);
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

    GstSDPMessage* sdp = GstVoiceSdp::parse(sdpText);
    if (!sdp)
        return fail(QStringLiteral("Invalid session description"));
    int payloadType = -1;
    if (sdpType == GST_WEBRTC_SDP_TYPE_OFFER) {
        GstVoiceSdp::unifyBundleIceCredentials(sdp);
        payloadType = GstVoiceSdp::opusPayloadType(sdp); // answered with the offer's
    }
    auto description = std::shared_ptr<GstWebRTCSessionDescription>(gst_webrtc_session_description_new(sdpType, sdp),
                                                                    gst_webrtc_session_description_free);

    // Candidates given from now on are queued on the worker after the description.
    QList<QPair<QString, QString>> pending;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_remoteMids = GstVoiceSdp::mids(sdp);
        m_remoteDescriptionSet = true;
        pending.swap(m_pendingRemoteCandidates);
    }
    onWorker([description, payloadType](GstVoicePeerConnection& connection) {
        if (payloadType >= 0 && connection.m_track)
            connection.m_track->setPayloadType(payloadType);
        GstPromise* promise = promiseFor<Replies::Checked>(new PendingReply{connection.weak_from_this()});
        g_signal_emit_by_name(connection.m_webrtc, "set-remote-description", description.get(), promise);
        gst_promise_unref(promise);
    });
    for (const auto& candidate : std::as_const(pending))
        queueRemoteCandidate(candidate.first, candidate.second);
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
    const QString trimmed = candidateText.trimmed();
    if (trimmed.isEmpty() || trimmed == QLatin1String("a="))
        return true; // end of candidates
    const QString candidate = GstVoiceSdp::normalizedCandidate(trimmed);
    if (candidate.isEmpty())
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
    queueRemoteCandidate(candidate, mid);
    return true;
}

void GstVoicePeerConnection::queueRemoteCandidate(const QString& candidate, const QString& mid)
{
    int index = 0;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        index = qMax(0, int(m_remoteMids.indexOf(mid)));
    }
    onWorker([index, text = candidate.toUtf8()](GstVoicePeerConnection& connection) {
        g_signal_emit_by_name(connection.m_webrtc, "add-ice-candidate", guint(index), text.constData());
    });
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
    onWorker([](GstVoicePeerConnection& connection) {
        GstPromise* promise = promiseFor<Replies::Stats>(new PendingReply{connection.weak_from_this()});
        g_signal_emit_by_name(connection.m_webrtc, "get-stats", nullptr, promise);
        gst_promise_unref(promise);
    });
}

void GstVoicePeerConnection::close()
{
    if (m_closed.exchange(true))
        return;
    // Callbacks running now finish first; none starts afterwards.
    resetCallbacks();
    if (m_track)
        m_track->resetCallbacks();
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        for (const auto& channel : m_channels)
            channel->resetCallbacks();
    }
    m_state = int(State::Closed);
    // Stopping a pipeline waits for its threads: never here, where the caller
    // may be the GUI thread or one of those threads. (From the destructor the
    // destructor hands the pipeline over.)
    if (const std::shared_ptr<GstVoicePeerConnection> self = weak_from_this().lock())
        GstVoiceWorker::post([self] { self->tearDown(); });
}

// The worker's. webrtcbin itself stays until the destructor: a promise reply
// on its way may still use it.
void GstVoicePeerConnection::tearDown()
{
    std::vector<std::shared_ptr<GstVoiceDataChannel>> channels;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        channels.swap(m_channels);
    }
    release(std::exchange(m_pipeline, nullptr), m_webrtc, std::exchange(m_signalHandlers, {}), m_track, channels);
}

void GstVoicePeerConnection::release(GstElement* pipeline, GstElement* webrtc, const std::vector<unsigned long>& handlers,
                                     const std::shared_ptr<GstVoiceAudioTrack>& track,
                                     const std::vector<std::shared_ptr<GstVoiceDataChannel>>& channels)
{
    for (const auto& channel : channels)
        channel->release();
    if (track)
        track->release();
    for (const unsigned long handler : handlers)
        g_signal_handler_disconnect(webrtc, handler);
    if (pipeline) {
        gst_element_set_state(pipeline, GST_STATE_NULL);
        gst_object_unref(pipeline);
    }
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

void GstVoicePeerConnection::handlePadAdded(GstElement* webrtc, GstPad* pad, void* handle)
{
    const std::shared_ptr<GstVoicePeerConnection> connection = fromHandle(handle);
    if (connection && connection->m_track)
        GstVoicePipeline::receiveAudio(webrtc, pad, connection->m_track);
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
    gchar* label = nullptr;
    g_object_get(channel, "label", &label, nullptr);
    auto wrapper = std::make_shared<GstVoiceDataChannel>(QString::fromUtf8(label));
    g_free(label);
    wrapper->attach(static_cast<GstWebRTCDataChannel*>(gst_object_ref(channel)));
    {
        std::lock_guard<std::mutex> lock(connection->m_mutex);
        connection->m_channels.push_back(wrapper);
    }
    connection->notifyDataChannel(wrapper);
}

