#include "voice/VoiceChatManager.h"
#include "voice/VoiceChatManager_p.h"

#include "voice/GstVoicePeerConnectionFactory.h"
#include "voice/VoiceAudioTrack.h"
#include "voice/VoiceDataChannel.h"
#include "voice/VoicePeerConnection.h"
#include "voice/VoicePeerConnectionFactory.h"

#include <QAudioDevice>
#include <QAudioFormat>
#include <QAudioSink>
#include <QAudioSource>
#include <QDebug>
#include <QHash>
#include <QJsonArray>
#include <QMediaDevices>
#include <QPointer>
#include <QSet>
#include <QTimer>

#include <opus.h>

#include <algorithm>
#include <utility>
#include <vector>

const char* const VoiceChatManager::DefaultStunUrl = "stun:stun.l.google.com:19302";

namespace {

constexpr int SampleRate = 48000;
constexpr int FrameSamples = 960;                  // 20 ms
constexpr int FrameBytes = FrameSamples * 2;       // mono, 16-bit
constexpr int EncodeBufferBytes = 4000;
constexpr int MaxDecodedSamplesPerChannel = 5760;  // 120 ms, the longest Opus frame
constexpr int SpeakingThreshold = 449;             // mean absolute sample value must exceed it
constexpr int LocalSpeakingHoldMs = 250;
constexpr int RemoteSpeakingHoldMs = 350;
constexpr int EmergencyOfferDelayMs = 1500;
constexpr int DisconnectGraceMs = 5000;
constexpr quint64 FrameMicroseconds = 20000;
// Capture in 20 ms chunks; play with about 40 ms of output buffer.
constexpr int CaptureBufferBytes = FrameBytes;
constexpr int PlaybackBufferBytes = 7680;

const QString AudioMid = QStringLiteral("0");
const QString AudioCname = QStringLiteral("moonlodge-audio");
const QString AudioMsid = QStringLiteral("moonlodge-stream");
const QString AudioTrackId = QStringLiteral("moonlodge-audio");
const QString OpusFmtp = QStringLiteral("minptime=10;maxaveragebitrate=96000;stereo=1;sprop-stereo=1;useinbandfec=1");
const QString DataChannelLabel = QStringLiteral("moonlodge-voice-test");
constexpr int OpusPayloadType = 111;

QAudioFormat captureFormat()
{
    QAudioFormat format;
    format.setSampleRate(SampleRate);
    format.setChannelCount(1);
    format.setSampleFormat(QAudioFormat::Int16);
    return format;
}

QAudioFormat playbackFormat(QAudioFormat::SampleFormat sampleFormat)
{
    QAudioFormat format;
    format.setSampleRate(SampleRate);
    format.setChannelCount(2);
    format.setSampleFormat(sampleFormat);
    return format;
}

// The device with the id, or the default one when the id is empty or unknown.
QAudioDevice deviceWithId(const QByteArray& id, const QList<QAudioDevice>& devices, const QAudioDevice& fallback)
{
    if (!id.isEmpty()) {
        for (const QAudioDevice& device : devices)
            if (device.id() == id)
                return device;
    }
    return fallback;
}

QAudioDevice chooseInputDevice(const QByteArray& id)
{
    return deviceWithId(id, QMediaDevices::audioInputs(), QMediaDevices::defaultAudioInput());
}

QAudioDevice chooseOutputDevice(const QByteArray& id)
{
    return deviceWithId(id, QMediaDevices::audioOutputs(), QMediaDevices::defaultAudioOutput());
}

// Mean absolute value of 16-bit samples, |-32768| counting as 32768.
qint64 meanLevel(const qint16* samples, qint64 count)
{
    if (count <= 0)
        return 0;
    qint64 sum = 0;
    for (qint64 i = 0; i < count; ++i) {
        const int value = samples[i];
        sum += value < 0 ? -value : value;
    }
    return sum / count;
}

quint32 ssrcForSid(const QString& sid)
{
    const quint32 ssrc = quint32(qHash(sid, 0) & 0xffffffffu);
    return ssrc == 0 ? 1 : ssrc;
}

QString stringField(const QJsonObject& object, const char* key)
{
    const QJsonValue value = object.value(QLatin1String(key));
    return value.isString() ? value.toString() : QString();
}

// Runs work on the manager's (GUI) thread, unless the manager is gone by then.
template <typename Work>
void postToManager(const QPointer<VoiceChatManager>& manager, Work work)
{
    VoiceChatManager* target = manager.data();
    if (!target)
        return;
    QMetaObject::invokeMethod(
        target, [manager, work = std::move(work)]() mutable {
            if (manager)
                work(manager.data());
        },
        Qt::QueuedConnection);
}

} // namespace

// ---------------------------------------------------------------------------
// Construction and the voice state

VoiceChatManager::VoiceChatManager(QObject* parent)
    : VoiceChatManager(nullptr, parent)
{
}

VoiceChatManager::VoiceChatManager(std::shared_ptr<VoicePeerConnectionFactory> factory, QObject* parent)
    : QObject(parent)
    , d(std::make_unique<Private>())
{
    d->connectionFactory = factory ? std::move(factory) : std::make_shared<GstVoicePeerConnectionFactory>();
    d->inputDeviceFor = chooseInputDevice;
    qDebug() << "Codec audio disponibile:" << opus_get_version_string();

    d->speakingHoldTimer = new QTimer(this);
    d->speakingHoldTimer->setSingleShot(true);
    d->speakingHoldTimer->setInterval(LocalSpeakingHoldMs);
    connect(d->speakingHoldTimer, &QTimer::timeout, this, [this] {
        if (d->localSpeaking) {
            d->localSpeaking = false;
            emit localUserSpeakingChanged(false);
        }
    });
}

VoiceChatManager::~VoiceChatManager()
{
    leaveVoice();
    d.reset();
}

QString VoiceChatManager::stunServerUrl()
{
    if (qEnvironmentVariableIsSet("MOONLODGE_STUN_URL"))
        return qEnvironmentVariable("MOONLODGE_STUN_URL").trimmed();
    return QString::fromLatin1(DefaultStunUrl);
}

bool VoiceChatManager::isMuted() const
{
    return d->muted;
}

bool VoiceChatManager::isLocalUserSpeaking() const
{
    return d->localSpeaking && !d->muted;
}

bool VoiceChatManager::isRemoteUserMuted(const QString& username) const
{
    return d->mutedUsernames.contains(username);
}

bool VoiceChatManager::isRemoteUserSpeaking(const QString& username) const
{
    for (auto it = d->usernamesBySid.cbegin(); it != d->usernamesBySid.cend(); ++it) {
        if (it.value() == username && d->speakingSids.contains(it.key()))
            return true;
    }
    return false;
}

void VoiceChatManager::joinVoice()
{
    if (d->inVoice)
        return;
    if (!openMicrophoneForJoin())
        return;

    d->inVoice = true;
    d->muted = false;
    emit voiceStatusChanged(QStringLiteral("connected"));
    emit muteChanged(false);
    emit signalingEventRequested(QStringLiteral("voice_join"), QJsonObject());
    qDebug() << "Microfono attivato:" << d->inputDeviceFor(d->microphoneDeviceId).description();
}

void VoiceChatManager::leaveVoice()
{
    if (!d->inVoice)
        return;

    emit signalingEventRequested(QStringLiteral("voice_leave"), QJsonObject());

    stopMicrophone();
    if (d->encoder) {
        opus_encoder_destroy(d->encoder);
        d->encoder = nullptr;
    }
    d->pendingPcm.clear();

    // Qt's audio outputs may run the event loop while they stop and go away,
    // so everything is first taken out of the private block: work arriving
    // meanwhile finds no connection, decoder or output and does nothing.
    const auto connections = std::exchange(d->peerConnections, {});
    const auto sinks = std::exchange(d->outputSinks, {});
    const auto decoders = std::exchange(d->decoders, {});
    for (const auto& connection : connections) {
        if (connection)
            connection->close();
    }
    for (const auto& sink : sinks) {
        if (sink)
            sink->stop();
    }
    for (OpusDecoder* decoder : decoders)
        opus_decoder_destroy(decoder);

    d->outputDevices.clear();
    d->outputFormats.clear();
    d->outputSinks.clear();
    d->decoders.clear();
    d->receiveTracks.clear();
    d->sendTracks.clear();
    d->dataChannels.clear();
    d->peerConnections.clear();

    for (const QString& sid : std::as_const(d->speakingSids))
        emit remoteUserSpeakingChanged(d->usernamesBySid.value(sid), false);
    for (QTimer* timer : std::as_const(d->remoteSpeakingTimers)) {
        timer->stop();
        timer->deleteLater();
    }
    d->remoteSpeakingTimers.clear();
    d->speakingSids.clear();
    d->usernamesBySid.clear();
    d->mutedUsernames.clear();
    d->negotiatedSids.clear();

    d->inVoice = false;
    d->muted = false;
    emit voiceStatusChanged(QStringLiteral("disconnected"));
    emit muteChanged(false);
    qDebug() << "Microfono e connessioni vocali disattivati.";
}

// ---------------------------------------------------------------------------
// Signalling

void VoiceChatManager::handleSignalingEvent(const QString& eventName, const QJsonValue& data)
{
    qDebug() << "Evento vocale ricevuto:" << eventName << data;

    if (eventName == QLatin1String("voice_account_status")) {
        if (data.isObject())
            qDebug() << "Stato account vocale ricevuto:" << data.toObject();
        return;
    }
    if (!d->inVoice) {
        qDebug() << "Evento WebRTC ignorato: il desktop non è nella voce.";
        return;
    }

    if (eventName == QLatin1String("voice_existing_users")) {
        if (!data.isArray())
            return;
        const QJsonArray users = data.toArray();
        for (const QJsonValue& element : users) {
            if (!element.isObject())
                continue;
            const QJsonObject user = element.toObject();
            const QString sid = stringField(user, "sid");
            if (sid.isEmpty())
                continue;
            const QString username = stringField(user, "username");
            if (!username.isEmpty())
                d->usernamesBySid.insert(sid, username);
            createPeerConnection(sid, true);
        }
        return;
    }

    if (!data.isObject())
        return;
    const QJsonObject object = data.toObject();
    QString failure;

    if (eventName == QLatin1String("voice_user_joined")) {
        const QString sid = stringField(object, "sid");
        const QString username = stringField(object, "username");
        if (sid.isEmpty())
            return;
        if (!username.isEmpty())
            d->usernamesBySid.insert(sid, username);
        createPeerConnection(sid, false);
        QTimer::singleShot(EmergencyOfferDelayMs, this, [this, sid] { sendEmergencyOffer(sid); });
    } else if (eventName == QLatin1String("voice_offer")) {
        const QString fromSid = stringField(object, "fromSid");
        const QJsonObject offer = object.value(QLatin1String("offer")).toObject();
        const QString sdp = stringField(offer, "sdp");
        const QJsonValue typeValue = offer.value(QLatin1String("type"));
        const QString type = typeValue.isString() ? typeValue.toString() : QStringLiteral("offer");
        if (fromSid.isEmpty() || sdp.isEmpty())
            return;
        d->negotiatedSids.insert(fromSid);
        createPeerConnection(fromSid, false);
        const std::shared_ptr<VoicePeerConnection> connection = d->peerConnections.value(fromSid);
        if (!connection)
            return;
        if (!connection->setRemoteDescription(sdp, type, &failure)
            || !connection->setLocalDescription(VoicePeerConnection::DescriptionType::Answer, &failure)) {
            qWarning() << "Errore durante la segnalazione WebRTC:" << failure;
            emit voiceError(failure);
            return;
        }
        qDebug() << "Offerta WebRTC applicata da:" << fromSid;
    } else if (eventName == QLatin1String("voice_answer")) {
        const QString fromSid = stringField(object, "fromSid");
        const QJsonObject answer = object.value(QLatin1String("answer")).toObject();
        const QString sdp = stringField(answer, "sdp");
        const QJsonValue typeValue = answer.value(QLatin1String("type"));
        const QString type = typeValue.isString() ? typeValue.toString() : QStringLiteral("answer");
        if (fromSid.isEmpty() || sdp.isEmpty())
            return;
        d->negotiatedSids.insert(fromSid);
        const std::shared_ptr<VoicePeerConnection> connection = d->peerConnections.value(fromSid);
        if (!connection)
            return;
        if (!connection->setRemoteDescription(sdp, type, &failure)) {
            qWarning() << "Errore durante la segnalazione WebRTC:" << failure;
            emit voiceError(failure);
            return;
        }
        qDebug() << "Risposta WebRTC applicata da:" << fromSid;
    } else if (eventName == QLatin1String("voice_ice_candidate")) {
        const QString fromSid = stringField(object, "fromSid");
        const QJsonObject candidateObject = object.value(QLatin1String("candidate")).toObject();
        const QString candidate = stringField(candidateObject, "candidate");
        const QString mid = stringField(candidateObject, "sdpMid");
        if (fromSid.isEmpty() || candidate.isEmpty())
            return;
        const std::shared_ptr<VoicePeerConnection> connection = d->peerConnections.value(fromSid);
        if (!connection) {
            qWarning() << "Candidato ICE ricevuto prima della PeerConnection:" << fromSid;
            return;
        }
        if (!connection->addRemoteCandidate(candidate, mid, &failure)) {
            qWarning() << "Errore durante la segnalazione WebRTC:" << failure;
            emit voiceError(failure);
            return;
        }
        qDebug() << "Candidato ICE applicato da:" << fromSid;
    } else if (eventName == QLatin1String("voice_user_left")) {
        removePeerConnection(stringField(object, "sid"));
    }
}

void VoiceChatManager::sendEmergencyOffer(const QString& sid)
{
    if (!d->inVoice || d->negotiatedSids.contains(sid))
        return;
    const std::shared_ptr<VoicePeerConnection> connection = d->peerConnections.value(sid);
    if (!connection)
        return;
    d->negotiatedSids.insert(sid);
    qDebug() << "Nessuna offerta ricevuta da" << sid << "- il desktop crea un'offerta di emergenza.";
    QString failure;
    if (!connection->setLocalDescription(VoicePeerConnection::DescriptionType::Offer, &failure)) {
        d->negotiatedSids.remove(sid);
        qWarning() << "Creazione offerta WebRTC di emergenza fallita:" << failure;
    }
}

// ---------------------------------------------------------------------------
// Peer connections

void VoiceChatManager::createPeerConnection(const QString& sid, bool offerer)
{
    if (sid.isEmpty() || d->peerConnections.contains(sid))
        return;

    QString failure;
    auto fail = [this, &failure] {
        qWarning() << "Errore creazione PeerConnection:" << failure;
        emit voiceError(failure);
    };

    VoicePeerConfiguration configuration;
    configuration.stunUrl = stunServerUrl();
    configuration.disableAutoNegotiation = true;

    const std::shared_ptr<VoicePeerConnection> connection = d->connectionFactory->create(configuration, &failure);
    if (!connection) {
        fail();
        return;
    }

    const QPointer<VoiceChatManager> self(this);
    const std::weak_ptr<VoicePeerConnection> weakConnection = connection;

    connection->onStateChange([self, sid, weakConnection](VoicePeerConnection::State state) {
        qDebug() << "Stato WebRTC con" << sid << ":" << int(state);
        postToManager(self, [sid, weakConnection, state](VoiceChatManager* manager) {
            manager->handlePeerStateChange(sid, weakConnection, int(state));
        });
    });

    connection->onLocalDescription([self, sid](const QString& type, const QString& sdp) {
        const QJsonObject description{{QStringLiteral("type"), type}, {QStringLiteral("sdp"), sdp}};
        if (VoiceChatManager* manager = self.data()) {
            if (type == QLatin1String("offer")) {
                emit manager->signalingEventRequested(
                    QStringLiteral("voice_offer"),
                    QJsonObject{{QStringLiteral("targetSid"), sid}, {QStringLiteral("offer"), description}});
            } else if (type == QLatin1String("answer")) {
                emit manager->signalingEventRequested(
                    QStringLiteral("voice_answer"),
                    QJsonObject{{QStringLiteral("targetSid"), sid}, {QStringLiteral("answer"), description}});
            } else {
                return;
            }
        }
        qDebug() << "Descrizione WebRTC locale:" << type << "destinatario:" << sid;
    });

    connection->onLocalCandidate([self, sid](const QString& candidate, const QString& mid) {
        const QJsonObject candidateObject{{QStringLiteral("candidate"), candidate}, {QStringLiteral("sdpMid"), mid}};
        if (VoiceChatManager* manager = self.data()) {
            emit manager->signalingEventRequested(
                QStringLiteral("voice_ice_candidate"),
                QJsonObject{{QStringLiteral("targetSid"), sid}, {QStringLiteral("candidate"), candidateObject}});
        }
        qDebug() << "Candidato ICE inviato a:" << sid;
    });

    connection->onDataChannel([self, sid](std::shared_ptr<VoiceDataChannel> channel) {
        if (!channel)
            return;
        postToManager(self, [sid, channel](VoiceChatManager* manager) {
            manager->d->dataChannels.insert(sid, channel);
            channel->onOpen([sid] { qDebug() << "DataChannel WebRTC aperto con:" << sid; });
            channel->onClosed([sid] { qDebug() << "DataChannel WebRTC chiuso con:" << sid; });
        });
    });

    connection->onTrack([self, sid](std::shared_ptr<VoiceAudioTrack> track) {
        if (!self || !track || track->mediaType() != QLatin1String("audio"))
            return;
        qDebug() << "Traccia audio remota ricevuta da:" << sid;
        postToManager(self, [sid, track](VoiceChatManager* manager) {
            manager->d->receiveTracks.insert(sid, track);
            manager->initializeRemoteAudio(sid);
        });
        track->onFrame([self, sid](const QByteArray& frame) {
            if (frame.isEmpty())
                return;
            postToManager(self, [sid, frame](VoiceChatManager* manager) { manager->playRemoteOpusFrame(sid, frame); });
        });
    });

    VoiceAudioMediaLine media;
    media.mid = AudioMid;
    media.payloadType = OpusPayloadType;
    media.clockRate = SampleRate;
    media.ssrc = ssrcForSid(sid);
    media.cname = AudioCname;
    media.msid = AudioMsid;
    media.trackId = AudioTrackId;
    media.fmtp = OpusFmtp;
    const std::shared_ptr<VoiceAudioTrack> track = connection->addTrack(media, &failure);
    if (!track) {
        fail();
        return;
    }

    // Receive path A: every binary message on the send-and-receive track is an RTP packet from the peer.
    const std::weak_ptr<VoiceAudioTrack> weakTrack = track;
    track->onMessage([self, sid, weakTrack](const QByteArray& packet) {
        if (!self)
            return;
        const std::shared_ptr<VoiceAudioTrack> receiving = weakTrack.lock();
        const int payloadType = receiving ? receiving->payloadType() : OpusPayloadType;
        const QByteArray opus = opusPayloadFromRtp(packet, payloadType);
        if (opus.isEmpty())
            return;
        postToManager(self, [sid, opus](VoiceChatManager* manager) { manager->playRemoteOpusFrame(sid, opus); });
    });
    track->onOpen([sid] { qDebug() << "Traccia audio WebRTC aperta con:" << sid; });
    track->onClosed([sid] { qDebug() << "Traccia audio WebRTC chiusa con:" << sid; });

    d->sendTracks.insert(sid, track);
    d->receiveTracks.insert(sid, track);
    initializeRemoteAudio(sid);
    d->peerConnections.insert(sid, connection);

    if (offerer) {
        const std::shared_ptr<VoiceDataChannel> channel = connection->createDataChannel(DataChannelLabel, &failure);
        if (!channel) {
            fail();
            return;
        }
        d->dataChannels.insert(sid, channel);
        channel->onOpen([sid] { qDebug() << "DataChannel WebRTC aperto con:" << sid; });
        channel->onClosed([sid] { qDebug() << "DataChannel WebRTC chiuso con:" << sid; });
        if (!connection->setLocalDescription(VoicePeerConnection::DescriptionType::Unspecified, &failure)) {
            fail();
            return;
        }
    }

    qDebug() << "PeerConnection creata per:" << sid;
}

void VoiceChatManager::handlePeerStateChange(const QString& sid,
                                             const std::weak_ptr<VoicePeerConnection>& connection, int state)
{
    // A late report of a connection that has already been replaced concerns nobody.
    const std::shared_ptr<VoicePeerConnection> current = d->peerConnections.value(sid);
    if (!current || current != connection.lock())
        return;

    switch (VoicePeerConnection::State(state)) {
    case VoicePeerConnection::State::Connected:
        qDebug() << "Connessione WebRTC attiva con:" << sid;
        break;
    case VoicePeerConnection::State::Failed:
    case VoicePeerConnection::State::Closed:
        removePeerConnection(sid);
        break;
    case VoicePeerConnection::State::Disconnected:
        qWarning() << "Connessione WebRTC temporaneamente interrotta con:" << sid;
        QTimer::singleShot(DisconnectGraceMs, this, [this, sid, connection] { checkDisconnectedPeer(sid, connection); });
        break;
    case VoicePeerConnection::State::New:
    case VoicePeerConnection::State::Connecting:
        break;
    }
}

void VoiceChatManager::checkDisconnectedPeer(const QString& sid, const std::weak_ptr<VoicePeerConnection>& connection)
{
    const std::shared_ptr<VoicePeerConnection> peer = connection.lock();
    if (!peer)
        return;
    switch (peer->state()) {
    case VoicePeerConnection::State::Connected:
        qDebug() << "Connessione WebRTC ripristinata con:" << sid;
        break;
    case VoicePeerConnection::State::Disconnected:
    case VoicePeerConnection::State::Failed:
    case VoicePeerConnection::State::Closed:
        qWarning() << "Rimozione connessione WebRTC non recuperata:" << sid;
        if (d->peerConnections.value(sid) == peer)
            removePeerConnection(sid);
        break;
    default:
        break;
    }
}

void VoiceChatManager::removePeerConnection(const QString& sid)
{
    d->negotiatedSids.remove(sid);

    if (d->speakingSids.remove(sid)) {
        const QString username = d->usernamesBySid.value(sid);
        if (!username.isEmpty())
            emit remoteUserSpeakingChanged(username, false);
    }

    if (QTimer* timer = d->remoteSpeakingTimers.take(sid)) {
        timer->stop();
        timer->deleteLater();
    }

    d->usernamesBySid.remove(sid);
    d->outputDevices.remove(sid);
    d->outputFormats.remove(sid);

    if (OpusDecoder* decoder = d->decoders.take(sid))
        opus_decoder_destroy(decoder);

    d->sendTracks.remove(sid);
    d->receiveTracks.remove(sid);
    d->dataChannels.remove(sid);

    const std::shared_ptr<VoicePeerConnection> connection = d->peerConnections.take(sid);
    if (const std::shared_ptr<QAudioSink> sink = d->outputSinks.take(sid))
        sink->stop();

    if (connection) {
        connection->close();
        qDebug() << "PeerConnection rimossa per:" << sid;
    }
}

QByteArray VoiceChatManager::opusPayloadFromRtp(const QByteArray& packet, int payloadType)
{
    const qsizetype length = packet.size();
    if (length < 12)
        return {};
    const auto* bytes = reinterpret_cast<const unsigned char*>(packet.constData());
    if ((bytes[0] >> 6) != 2 || (bytes[1] & 0x7f) != payloadType)
        return {};

    qsizetype headerLength = 12 + 4 * (bytes[0] & 0x0f);
    if (length < headerLength)
        return {};
    if (bytes[0] & 0x10) {
        if (length - headerLength < 4)
            return {};
        const int words = (bytes[headerLength + 2] << 8) | bytes[headerLength + 3];
        headerLength += 4 + 4 * words;
        if (length < headerLength)
            return {};
    }

    qsizetype payloadLength = length - headerLength;
    if (bytes[0] & 0x20) {
        const int padding = payloadLength > 0 ? bytes[length - 1] : 0;
        if (padding < 1 || padding > payloadLength)
            return {};
        payloadLength -= padding;
    }
    if (payloadLength <= 0)
        return {};
    return QByteArray(packet.constData() + headerLength, payloadLength);
}

// ---------------------------------------------------------------------------
// Microphone

bool VoiceChatManager::openMicrophoneForJoin()
{
    auto fail = [this](const QString& message) {
        emit voiceError(message);
        emit voiceStatusChanged(QStringLiteral("error"));
        return false;
    };

    const QAudioDevice device = d->inputDeviceFor(d->microphoneDeviceId);
    if (device.isNull())
        return fail(QStringLiteral("No microphone was found."));

    QAudioFormat format = captureFormat();
    if (!device.isFormatSupported(format)) {
        format = device.preferredFormat();
        qWarning() << "Formato 48 kHz mono non supportato." << "Uso:" << format.sampleRate() << "Hz,"
                   << format.channelCount() << "canali.";
    }
    if (format.sampleRate() != SampleRate || format.channelCount() != 1
        || format.sampleFormat() != QAudioFormat::Int16) {
        return fail(QStringLiteral("The selected microphone does not support 48 kHz mono 16-bit audio."));
    }

    d->microphoneFormat = format;
    if (d->encoder) {
        opus_encoder_destroy(d->encoder);
        d->encoder = nullptr;
    }
    int error = OPUS_OK;
    d->encoder = opus_encoder_create(SampleRate, 1, OPUS_APPLICATION_VOIP, &error);
    if (!d->encoder || error != OPUS_OK) {
        if (d->encoder) {
            opus_encoder_destroy(d->encoder);
            d->encoder = nullptr;
        }
        return fail(QStringLiteral("Opus encoder error: %1").arg(QString::fromUtf8(opus_strerror(error))));
    }
    opus_encoder_ctl(d->encoder, OPUS_SET_BITRATE(32000));
    opus_encoder_ctl(d->encoder, OPUS_SET_INBAND_FEC(1));

    d->pendingPcm.clear();
    d->sentMicroseconds = 0;
    d->encodedFrames = 0;

    d->microphoneIo = nullptr;
    d->audioSource = std::make_unique<QAudioSource>(device, format);
    d->audioSource->setBufferSize(CaptureBufferBytes);
    QIODevice* io = d->audioSource->start();
    if (!io) {
        d->audioSource.reset();
        opus_encoder_destroy(d->encoder);
        d->encoder = nullptr;
        return fail(QStringLiteral("The microphone could not be started."));
    }
    d->microphoneIo = io;
    connect(io, &QIODevice::readyRead, this, &VoiceChatManager::processMicrophoneAudio);
    return true;
}

bool VoiceChatManager::startMicrophone()
{
    const QAudioDevice device = d->inputDeviceFor(d->microphoneDeviceId);
    if (device.isNull()) {
        emit voiceError(QStringLiteral("No microphone was found."));
        return false;
    }
    const QAudioFormat format = captureFormat();
    if (!device.isFormatSupported(format)) {
        emit voiceError(QStringLiteral("The selected microphone does not support 48 kHz mono 16-bit audio."));
        return false;
    }

    d->microphoneFormat = format;
    d->microphoneIo = nullptr;
    d->audioSource = std::make_unique<QAudioSource>(device, format);
    d->audioSource->setBufferSize(CaptureBufferBytes);
    d->audioSource->setVolume(d->muted ? 0.0 : 1.0);
    QIODevice* io = d->audioSource->start();
    if (!io) {
        d->audioSource.reset();
        emit voiceError(QStringLiteral("The microphone could not be started."));
        return false;
    }
    d->microphoneIo = io;
    connect(io, &QIODevice::readyRead, this, &VoiceChatManager::processMicrophoneAudio);
    d->pendingPcm.clear();
    qDebug() << "Acquisizione avviata dal microfono:" << device.description();
    return true;
}

void VoiceChatManager::stopMicrophone()
{
    d->speakingHoldTimer->stop();
    if (d->localSpeaking) {
        d->localSpeaking = false;
        emit localUserSpeakingChanged(false);
    }
    d->microphoneIo = nullptr;
    if (d->audioSource) {
        d->audioSource->stop();
        d->audioSource.reset();
    }
    d->pendingPcm.clear();
    qDebug() << "Acquisizione del microfono arrestata.";
}

void VoiceChatManager::processMicrophoneAudio()
{
    if (!d->microphoneIo)
        return;
    // readyRead may come with nothing available, and what is available may
    // grow while reading: read until the device has nothing more.
    QByteArray pcm;
    char chunk[8192];
    for (;;) {
        const qint64 count = d->microphoneIo->read(chunk, sizeof chunk);
        if (count <= 0)
            break;
        pcm.append(chunk, count);
    }
    processCapturedPcm(pcm);
}

void VoiceChatManager::processCapturedPcm(const QByteArray& pcm)
{
    if (d->muted)
        return;

    const qint64 samples = pcm.size() / 2;
    if (samples > 0) {
        const qint64 level = meanLevel(reinterpret_cast<const qint16*>(pcm.constData()), samples);
        if (level > SpeakingThreshold) {
            if (!d->localSpeaking) {
                d->localSpeaking = true;
                emit localUserSpeakingChanged(true);
            }
            d->speakingHoldTimer->start();
        }
    }

    if (d->sendTracks.isEmpty()) {
        d->pendingPcm.clear();
        return;
    }
    if (!d->encoder)
        return;

    d->pendingPcm.append(pcm);
    qsizetype offset = 0;
    while (d->pendingPcm.size() - offset >= FrameBytes) {
        const auto* frame = reinterpret_cast<const opus_int16*>(d->pendingPcm.constData() + offset);
        offset += FrameBytes;
        const int encoded = opus_encode(d->encoder, frame, FrameSamples, d->encodedPacket, EncodeBufferBytes);
        if (encoded < 0) {
            qWarning() << "Errore codifica Opus:" << opus_strerror(encoded);
            continue;
        }
        const QByteArray packet(reinterpret_cast<const char*>(d->encodedPacket), encoded);
        const double seconds = double(d->sentMicroseconds) / 1000000.0;
        for (auto it = d->sendTracks.cbegin(); it != d->sendTracks.cend(); ++it) {
            const std::shared_ptr<VoiceAudioTrack>& track = it.value();
            if (!track || !track->isOpen())
                continue;
            QString failure;
            if (!track->sendFrame(packet, seconds, &failure))
                qWarning() << "Invio audio WebRTC fallito:" << failure;
        }
        d->sentMicroseconds += FrameMicroseconds;
        ++d->encodedFrames;
        if (d->encodedFrames % 100 == 0)
            qDebug() << "Frame Opus codificati:" << d->encodedFrames << "- tracce audio:" << d->sendTracks.size();
    }
    d->pendingPcm.remove(0, offset);
}

void VoiceChatManager::toggleMute()
{
    if (!d->inVoice || !d->audioSource)
        return;
    d->muted = !d->muted;
    if (d->muted) {
        d->speakingHoldTimer->stop();
        if (d->localSpeaking) {
            d->localSpeaking = false;
            emit localUserSpeakingChanged(false);
        }
        d->audioSource->setVolume(0.0);
    } else {
        d->audioSource->setVolume(1.0);
    }
    emit muteChanged(d->muted);
    emit voiceStatusChanged(d->muted ? QStringLiteral("muted") : QStringLiteral("connected"));
}

void VoiceChatManager::setMicrophoneDeviceId(const QByteArray& id)
{
    if (id == d->microphoneDeviceId)
        return;
    const QByteArray previous = d->microphoneDeviceId;
    d->microphoneDeviceId = id;
    qDebug() << "Nuovo microfono selezionato:" << id;
    if (!d->inVoice)
        return;

    stopMicrophone();
    if (startMicrophone()) {
        qDebug() << "Microfono cambiato durante la conversazione.";
        return;
    }
    qWarning() << "Cambio del microfono fallito." << "Ripristino del dispositivo precedente.";
    d->microphoneDeviceId = previous;
    if (!startMicrophone()) {
        emit voiceStatusChanged(QStringLiteral("error"));
        qWarning() << "Impossibile ripristinare il microfono precedente.";
    }
}

// ---------------------------------------------------------------------------
// Remote playback

void VoiceChatManager::initializeRemoteAudio(const QString& sid)
{
    if (d->decoders.contains(sid))
        return;

    const QAudioDevice device = chooseOutputDevice(d->speakerDeviceId);
    if (device.isNull()) {
        emit voiceError(QStringLiteral("No audio output device was found."));
        return;
    }

    QAudioFormat format = playbackFormat(QAudioFormat::Int16);
    if (!device.isFormatSupported(format)) {
        const QAudioFormat fallback = playbackFormat(QAudioFormat::Float);
        if (!device.isFormatSupported(fallback)) {
            emit voiceError(QStringLiteral("The selected speaker does not support a compatible 48 kHz stereo format."));
            return;
        }
        format = fallback;
        qDebug() << "Uscita audio Float utilizzata per:" << device.description();
    }

    int error = OPUS_OK;
    OpusDecoder* decoder = opus_decoder_create(SampleRate, 2, &error);
    if (!decoder || error != OPUS_OK) {
        if (decoder)
            opus_decoder_destroy(decoder);
        emit voiceError(QStringLiteral("Opus decoder error: %1").arg(QString::fromUtf8(opus_strerror(error))));
        return;
    }

    const auto sink = std::make_shared<QAudioSink>(device, format);
    sink->setBufferSize(PlaybackBufferBytes);
    QIODevice* io = sink->start();
    if (!io) {
        opus_decoder_destroy(decoder);
        emit voiceError(QStringLiteral("The audio output could not be started."));
        return;
    }
    if (d->mutedUsernames.contains(d->usernamesBySid.value(sid)))
        sink->setVolume(0.0);

    d->decoders.insert(sid, decoder);
    d->outputSinks.insert(sid, sink);
    d->outputDevices.insert(sid, QPointer<QIODevice>(io));
    d->outputFormats.insert(sid, format);
    qDebug() << "Riproduzione audio preparata per:" << sid << "-" << device.description();
}

void VoiceChatManager::playRemoteOpusFrame(const QString& sid, const QByteArray& opus)
{
    OpusDecoder* decoder = d->decoders.value(sid);
    if (!decoder || opus.isEmpty())
        return;

    std::fill(d->decodedPcm.begin(), d->decodedPcm.end(), opus_int16(0));
    const int decoded = opus_decode(decoder, reinterpret_cast<const unsigned char*>(opus.constData()),
                                    opus_int32(opus.size()), d->decodedPcm.data(), MaxDecodedSamplesPerChannel, 0);
    if (decoded < 0) {
        qWarning() << "Errore decodifica Opus:" << opus_strerror(decoded);
        return;
    }

    const qint64 samples = qint64(decoded) * 2;
    const qint64 level = decoded > 0 ? meanLevel(d->decodedPcm.data(), samples) : 0;
    const QString username = d->usernamesBySid.value(sid);

    if (decoded > 0 && level > SpeakingThreshold && !username.isEmpty()) {
        if (!d->speakingSids.contains(sid)) {
            d->speakingSids.insert(sid);
            emit remoteUserSpeakingChanged(username, true);
        }
        QTimer* timer = d->remoteSpeakingTimers.value(sid);
        if (!timer) {
            timer = new QTimer(this);
            timer->setSingleShot(true);
            d->remoteSpeakingTimers.insert(sid, timer);
            connect(timer, &QTimer::timeout, this, [this, sid] { endRemoteSpeaking(sid); });
        }
        timer->start(RemoteSpeakingHoldMs);
    }

    QIODevice* io = d->outputDevices.value(sid).data();
    if (!io || !io->isOpen())
        return;

    const auto formatIt = d->outputFormats.constFind(sid);
    const QAudioFormat::SampleFormat sampleFormat =
        formatIt == d->outputFormats.cend() ? QAudioFormat::Unknown : formatIt->sampleFormat();
    if (sampleFormat == QAudioFormat::Int16) {
        io->write(reinterpret_cast<const char*>(d->decodedPcm.data()), samples * qint64(sizeof(opus_int16)));
    } else if (sampleFormat == QAudioFormat::Float) {
        QByteArray converted(int(samples * qint64(sizeof(float))), Qt::Uninitialized);
        auto* out = reinterpret_cast<float*>(converted.data());
        constexpr float scale = 1.0f / 32768.0f;
        for (qint64 i = 0; i < samples; ++i)
            out[i] = float(d->decodedPcm[size_t(i)]) * scale;
        io->write(converted);
    } else {
        qWarning() << "Impossibile riprodurre l'audio di:" << sid;
    }
}

void VoiceChatManager::endRemoteSpeaking(const QString& sid)
{
    if (d->speakingSids.remove(sid)) {
        const QString username = d->usernamesBySid.value(sid);
        if (!username.isEmpty())
            emit remoteUserSpeakingChanged(username, false);
    }
}

bool VoiceChatManager::toggleRemoteUserMute(const QString& username)
{
    if (username.isEmpty())
        return false;
    bool muted;
    if (d->mutedUsernames.remove(username)) {
        muted = false;
    } else {
        d->mutedUsernames.insert(username);
        muted = true;
    }

    bool applied = false;
    for (auto it = d->usernamesBySid.cbegin(); it != d->usernamesBySid.cend(); ++it) {
        if (it.value() != username)
            continue;
        if (const std::shared_ptr<QAudioSink> sink = d->outputSinks.value(it.key())) {
            sink->setVolume(muted ? 0.0 : 1.0);
            applied = true;
        }
    }
    qDebug() << "Mute individuale:" << username << (muted ? "attivato" : "disattivato")
             << "- connessione trovata:" << (applied ? "true" : "false");
    emit remoteUserMuteChanged(username, muted);
    return muted;
}

void VoiceChatManager::restartRemoteAudioOutputs()
{
    const QList<QString> sids = d->decoders.keys();
    if (sids.isEmpty()) {
        qDebug() << "Nuova uscita audio salvata." << "Nessun utente remoto collegato.";
        return;
    }
    // Taken out first: stopping and releasing an output may run the event loop.
    const auto sinks = std::exchange(d->outputSinks, {});
    const auto decoders = std::exchange(d->decoders, {});
    d->outputDevices.clear();
    d->outputFormats.clear();
    for (const auto& sink : sinks) {
        if (sink)
            sink->stop();
    }
    for (OpusDecoder* decoder : decoders)
        opus_decoder_destroy(decoder);
    for (const QString& sid : sids)
        initializeRemoteAudio(sid);
    qDebug() << "Uscite audio remote riavviate:" << sids.size();
}

void VoiceChatManager::setSpeakerDeviceId(const QByteArray& id)
{
    if (id == d->speakerDeviceId)
        return;
    d->speakerDeviceId = id;
    qDebug() << "Nuova uscita audio selezionata:" << id;
    if (d->inVoice) {
        qDebug() << "Applicazione immediata della nuova uscita audio.";
        restartRemoteAudioOutputs();
    }
}
