#include "voice/VoiceChatManager.h"
#include "voice/VoiceChatManager_p.h"

#include "voice/GstVoicePeerConnectionFactory.h"
#include "voice/VoiceAudioTrack.h"
#include "voice/VoiceCapture.h"
#include "voice/VoiceDataChannel.h"
#include "voice/VoiceMemberOutput.h"
#include "voice/VoicePeerConnection.h"
#include "voice/VoicePeerConnectionFactory.h"
#include "voice/VoicePlayoutDevice.h"

#include <QAudioDevice>
#include <QAudioFormat>
#include <QCoreApplication>
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
constexpr int EmergencyOfferDelayMs = 1500;
constexpr int DisconnectGraceMs = 5000;

const QString AudioMid = QStringLiteral("0");
const QString AudioCname = QStringLiteral("moonlodge-audio");
const QString AudioMsid = QStringLiteral("moonlodge-stream");
const QString AudioTrackId = QStringLiteral("moonlodge-audio");
const QString OpusFmtp = QStringLiteral("minptime=10;maxaveragebitrate=96000;stereo=1;sprop-stereo=1;useinbandfec=1");
const QString DataChannelLabel = QStringLiteral("moonlodge-voice-test");
constexpr int OpusPayloadType = 111;

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

    d->audioThread.setObjectName(QStringLiteral("voice-audio"));
    d->audioThread.start(QThread::TimeCriticalPriority);

    d->capture = new VoiceCapture(d->sendTracks, this);
    connect(d->capture, &VoiceCapture::speakingChanged, this, &VoiceChatManager::localUserSpeakingChanged);
}

VoiceChatManager::~VoiceChatManager()
{
    leaveVoice();
    // The outputs left go away on their own thread before it ends.
    QObject finisher;
    finisher.moveToThread(&d->audioThread);
    QMetaObject::invokeMethod(
        &finisher, [] { QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete); },
        Qt::BlockingQueuedConnection);
    d->audioThread.quit();
    d->audioThread.wait();
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
    return d->capture->isSpeaking() && !d->muted;
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

    d->capture->close();

    // Qt's audio outputs may run the event loop while they stop and go away,
    // so everything is first taken out of the private block: work arriving
    // meanwhile finds no connection, decoder or output and does nothing.
    const auto connections = std::exchange(d->peerConnections, {});
    for (const auto& connection : connections) {
        if (connection)
            connection->close();
    }
    for (VoiceMemberOutput* output : std::as_const(d->outputs))
        output->deleteLater();
    d->outputs.clear();
    d->playouts.clear();
    d->receiveTracks.clear();
    d->sendTracks.clear();
    d->dataChannels.clear();
    d->peerConnections.clear();

    for (const QString& sid : std::as_const(d->speakingSids))
        emit remoteUserSpeakingChanged(d->usernamesBySid.value(sid), false);
    d->speakingSids.clear();
    d->usernamesBySid.clear();
    d->mutedUsernames.clear();
    d->negotiatedSids.clear();

    d->inVoice = false;
    d->muted = false;
    d->microphoneLost = false;
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
    if (d->peerConnections.size() >= MaxPeers) {
        qWarning() << "Troppe connessioni vocali, connessione rifiutata per:" << sid;
        return;
    }

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

    connection->onFailure([self](const QString& message) {
        postToManager(self, [message](VoiceChatManager* manager) {
            qWarning() << "Errore durante la segnalazione WebRTC:" << message;
            emit manager->voiceError(message);
        });
    });

    connection->onDataChannel([self, sid](std::shared_ptr<VoiceDataChannel> channel) {
        if (!channel)
            return;
        postToManager(self, [sid, channel](VoiceChatManager* manager) {
            if (!manager->d->peerConnections.contains(sid))
                return;
            manager->d->dataChannels.insert(sid, channel);
            channel->onOpen([sid] { qDebug() << "DataChannel WebRTC aperto con:" << sid; });
            channel->onClosed([sid] { qDebug() << "DataChannel WebRTC chiuso con:" << sid; });
            // The answering side receives the channel already open.
            if (channel->isOpen())
                qDebug() << "DataChannel WebRTC aperto con:" << sid;
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

    // What the peer sends arrives as RTP on the send-and-receive track and
    // goes straight into the member's playout buffer, on the library's thread.
    const std::shared_ptr<VoicePlayoutDevice> playout = VoicePlayoutDevice::create(&failure);
    if (!playout)
        emit voiceError(failure);
    const std::weak_ptr<VoicePlayoutDevice> weakPlayout = playout;
    const std::weak_ptr<VoiceAudioTrack> weakTrack = track;
    track->onMessage([weakPlayout, weakTrack](const QByteArray& packet) {
        const std::shared_ptr<VoicePlayoutDevice> receiver = weakPlayout.lock();
        const std::shared_ptr<VoiceAudioTrack> receiving = weakTrack.lock();
        if (receiver && receiving)
            receiver->receiveRtp(packet, receiving->payloadType());
    });
    track->onOpen([sid] { qDebug() << "Traccia audio WebRTC aperta con:" << sid; });
    track->onClosed([sid] { qDebug() << "Traccia audio WebRTC chiusa con:" << sid; });

    d->sendTracks.insert(sid, track);
    d->receiveTracks.insert(sid, track);
    if (playout)
        d->playouts.insert(sid, playout);
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

    d->usernamesBySid.remove(sid);
    removeRemoteAudio(sid);
    d->playouts.remove(sid);

    d->sendTracks.remove(sid);
    d->receiveTracks.remove(sid);
    d->dataChannels.remove(sid);

    const std::shared_ptr<VoicePeerConnection> connection = d->peerConnections.take(sid);

    if (connection) {
        connection->close();
        qDebug() << "PeerConnection rimossa per:" << sid;
    }
}

// ---------------------------------------------------------------------------
// Microphone

bool VoiceChatManager::openMicrophoneForJoin()
{
    const QString failure = d->capture->open(d->inputDeviceFor(d->microphoneDeviceId));
    if (failure.isEmpty())
        return true;
    emit voiceError(failure);
    emit voiceStatusChanged(QStringLiteral("error"));
    return false;
}

bool VoiceChatManager::startMicrophone()
{
    const QString failure = d->capture->restart(d->inputDeviceFor(d->microphoneDeviceId));
    if (failure.isEmpty())
        return true;
    emit voiceError(failure);
    return false;
}

void VoiceChatManager::stopMicrophone()
{
    d->capture->stop();
}

void VoiceChatManager::toggleMute()
{
    if (!d->inVoice || !d->capture->isCapturing())
        return;
    d->muted = !d->muted;
    d->capture->setMuted(d->muted);
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
        if (std::exchange(d->microphoneLost, false))
            emit voiceStatusChanged(d->muted ? QStringLiteral("muted") : QStringLiteral("connected"));
        return;
    }
    qWarning() << "Cambio del microfono fallito." << "Ripristino del dispositivo precedente.";
    d->microphoneDeviceId = previous;
    if (!startMicrophone()) {
        d->microphoneLost = true;
        emit voiceStatusChanged(QStringLiteral("error"));
        qWarning() << "Impossibile ripristinare il microfono precedente.";
    }
}

// ---------------------------------------------------------------------------
// Remote playback

void VoiceChatManager::initializeRemoteAudio(const QString& sid)
{
    const std::shared_ptr<VoicePlayoutDevice> playout = d->playouts.value(sid);
    if (!playout || d->outputs.contains(sid))
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

    playout->setMuted(d->mutedUsernames.contains(d->usernamesBySid.value(sid)));
    auto* output = new VoiceMemberOutput(playout, device, format);
    output->moveToThread(&d->audioThread);
    connect(output, &VoiceMemberOutput::speakingChanged, this,
            [this, sid, output](bool speaking) {
                if (d->outputs.value(sid) == output)
                    setRemoteSpeaking(sid, speaking);
            });
    connect(output, &VoiceMemberOutput::failed, this, &VoiceChatManager::voiceError);
    QMetaObject::invokeMethod(output, &VoiceMemberOutput::start, Qt::QueuedConnection);
    d->outputs.insert(sid, output);
    qDebug() << "Riproduzione audio preparata per:" << sid << "-" << device.description();
}

void VoiceChatManager::removeRemoteAudio(const QString& sid)
{
    if (VoiceMemberOutput* output = d->outputs.take(sid))
        output->deleteLater();
}

void VoiceChatManager::setRemoteSpeaking(const QString& sid, bool speaking)
{
    const QString username = d->usernamesBySid.value(sid);
    if (speaking) {
        if (!username.isEmpty() && !d->speakingSids.contains(sid)) {
            d->speakingSids.insert(sid);
            emit remoteUserSpeakingChanged(username, true);
        }
    } else if (d->speakingSids.remove(sid) && !username.isEmpty()) {
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
        if (const std::shared_ptr<VoicePlayoutDevice> playout = d->playouts.value(it.key())) {
            playout->setMuted(muted);
            applied = applied || d->outputs.contains(it.key());
        }
    }
    qDebug() << "Mute individuale:" << username << (muted ? "attivato" : "disattivato")
             << "- connessione trovata:" << (applied ? "true" : "false");
    emit remoteUserMuteChanged(username, muted);
    return muted;
}

void VoiceChatManager::restartRemoteAudioOutputs()
{
    const QList<QString> sids = d->playouts.keys();
    if (sids.isEmpty()) {
        qDebug() << "Nuova uscita audio salvata." << "Nessun utente remoto collegato.";
        return;
    }
    for (const QString& sid : sids)
        removeRemoteAudio(sid);
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
