#include "voice/VoiceChatManager.h"
#include "voice/VoiceChatManager_p.h"

#include "app/LogCategories.h"
#include "voice/GstVoicePeerConnectionFactory.h"
#include "voice/VoiceAudioTrack.h"
#include "voice/VoiceCapture.h"
#include "voice/VoiceDataChannel.h"
#include "voice/VoiceRoomOutput.h"
#include "voice/VoicePeerConnection.h"
#include "voice/VoicePeerConnectionFactory.h"
#include "voice/VoiceRemoteMember.h"

#include <QAudioDevice>
#include <QCoreApplication>
#include <QDebug>
#include <QJsonArray>
#include <QMediaDevices>
#include <QTimer>

#include <opus.h>

#include <functional>
#include <utility>

const char* const VoiceChatManager::DefaultStunUrl = "stun:stun.l.google.com:19302";

namespace {

constexpr int EmergencyOfferDelayMs = 1500;
constexpr int DisconnectGraceMs = 5000;

const QString DataChannelLabel = QStringLiteral("moonlodge-voice-test");

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

QString stringField(const QJsonObject& object, const char* key)
{
    const QJsonValue value = object.value(QLatin1String(key));
    return value.isString() ? value.toString() : QString();
}

// Runs work on the capture's thread and waits for it. The audio thread never
// waits on the GUI thread, and what runs there is short (opening a device).
QString inCapture(VoiceCapture* capture, const std::function<QString(VoiceCapture*)>& work)
{
    QString result;
    QMetaObject::invokeMethod(capture, [&] { result = work(capture); }, Qt::BlockingQueuedConnection);
    return result;
}

// Runs work on the capture's thread without waiting.
void postToCapture(VoiceCapture* capture, std::function<void(VoiceCapture*)> work)
{
    QMetaObject::invokeMethod(capture, [capture, work = std::move(work)] { work(capture); }, Qt::QueuedConnection);
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
    qCDebug(lcVoice) << "Codec audio disponibile:" << opus_get_version_string();

    d->audioThread.setObjectName(QStringLiteral("voice-audio"));
    d->audioThread.start(QThread::TimeCriticalPriority);

    d->capture = new VoiceCapture;
    d->capture->moveToThread(&d->audioThread);
    connect(d->capture, &VoiceCapture::speakingChanged, this, &VoiceChatManager::setLocalSpeaking);
    d->output = std::make_unique<VoiceRoomOutput>(&d->audioThread);
    connect(d->output.get(), &VoiceRoomOutput::failed, this, &VoiceChatManager::voiceError);
}

VoiceChatManager::~VoiceChatManager()
{
    leaveVoice();
    // The capture and the output go away on their own thread before it ends.
    d->capture->deleteLater();
    d->output.reset();
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
    return d->localSpeaking;
}

bool VoiceChatManager::isRemoteUserMuted(const QString& username) const
{
    return d->output->isMuted(username);
}

bool VoiceChatManager::isRemoteUserSpeaking(const QString& username) const
{
    for (const auto& [sid, member] : d->members) {
        if (member->username() == username && member->isSpeaking())
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
    qCDebug(lcVoice) << "Microfono attivato:" << d->inputDeviceFor(d->microphoneDeviceId).description();
}

void VoiceChatManager::leaveVoice()
{
    if (!d->inVoice)
        return;

    emit signalingEventRequested(QStringLiteral("voice_leave"), QJsonObject());

    inCapture(d->capture, [](VoiceCapture* capture) {
        capture->close();
        capture->setTracks({});
        return QString();
    });
    d->capturing = false;
    setLocalSpeaking(false);

    // The members are taken out first: work arriving while they close finds nobody.
    for (const auto& [sid, member] : std::exchange(d->members, {})) {
        if (member->isSpeaking() && !member->username().isEmpty())
            emit remoteUserSpeakingChanged(member->username(), false);
    }
    d->output->clearMutes();

    d->inVoice = false;
    d->muted = false;
    d->microphoneLost = false;
    emit voiceStatusChanged(QStringLiteral("disconnected"));
    emit muteChanged(false);
    qCDebug(lcVoice) << "Microfono e connessioni vocali disattivati.";
}

// ---------------------------------------------------------------------------
// Signalling

void VoiceChatManager::handleSignalingEvent(const QString& eventName, const QJsonValue& data)
{
    qCDebug(lcVoice) << "Evento vocale ricevuto:" << eventName << data;

    if (eventName == QLatin1String("voice_account_status")) {
        if (data.isObject())
            qCDebug(lcVoice) << "Stato account vocale ricevuto:" << data.toObject();
        return;
    }
    if (!d->inVoice) {
        qCDebug(lcVoice) << "Evento WebRTC ignorato: il desktop non è nella voce.";
        return;
    }

    if (eventName == QLatin1String("voice_existing_users")) {
        const QJsonArray users = data.toArray();
        for (const QJsonValue& element : users) {
            const QJsonObject user = element.toObject();
            const QString sid = stringField(user, "sid");
            if (!sid.isEmpty())
                createPeerConnection(sid, stringField(user, "username"), true);
        }
        return;
    }

    if (!data.isObject())
        return;
    const QJsonObject object = data.toObject();

    if (eventName == QLatin1String("voice_user_joined")) {
        const QString sid = stringField(object, "sid");
        if (sid.isEmpty())
            return;
        createPeerConnection(sid, stringField(object, "username"), false);
        QTimer::singleShot(EmergencyOfferDelayMs, this, [this, sid] { sendEmergencyOffer(sid); });
    } else if (eventName == QLatin1String("voice_offer") || eventName == QLatin1String("voice_answer")) {
        applyRemoteDescription(eventName, object);
    } else if (eventName == QLatin1String("voice_ice_candidate")) {
        applyRemoteCandidate(object);
    } else if (eventName == QLatin1String("voice_user_left")) {
        removePeerConnection(stringField(object, "sid"));
    }
}

void VoiceChatManager::applyRemoteDescription(const QString& eventName, const QJsonObject& object)
{
    const bool isOffer = eventName == QLatin1String("voice_offer");
    const QString fromSid = stringField(object, "fromSid");
    const QJsonObject description = object.value(QLatin1String(isOffer ? "offer" : "answer")).toObject();
    const QString sdp = stringField(description, "sdp");
    const QJsonValue typeValue = description.value(QLatin1String("type"));
    const QString type = typeValue.isString() ? typeValue.toString() : QLatin1String(isOffer ? "offer" : "answer");
    if (fromSid.isEmpty() || sdp.isEmpty())
        return;

    VoiceRemoteMember* member = isOffer ? createPeerConnection(fromSid, QString(), false) : d->member(fromSid);
    if (!member)
        return;
    member->setNegotiated(true);
    const std::shared_ptr<VoicePeerConnection> connection = member->connection();
    QString failure;
    if (!connection->setRemoteDescription(sdp, type, &failure)
        || (isOffer && !connection->setLocalDescription(VoicePeerConnection::DescriptionType::Answer, &failure))) {
        reportSignalingFailure(failure);
        return;
    }
    if (isOffer)
        qCDebug(lcVoice) << "Offerta WebRTC applicata da:" << fromSid;
    else
        qCDebug(lcVoice) << "Risposta WebRTC applicata da:" << fromSid;
}

void VoiceChatManager::applyRemoteCandidate(const QJsonObject& object)
{
    const QString fromSid = stringField(object, "fromSid");
    const QJsonObject candidateObject = object.value(QLatin1String("candidate")).toObject();
    const QString candidate = stringField(candidateObject, "candidate");
    const QString mid = stringField(candidateObject, "sdpMid");
    if (fromSid.isEmpty() || candidate.isEmpty())
        return;
    const VoiceRemoteMember* member = d->member(fromSid);
    if (!member) {
        qCWarning(lcVoice) << "Candidato ICE ricevuto prima della PeerConnection:" << fromSid;
        return;
    }
    QString failure;
    if (!member->connection()->addRemoteCandidate(candidate, mid, &failure)) {
        reportSignalingFailure(failure);
        return;
    }
    qCDebug(lcVoice) << "Candidato ICE applicato da:" << fromSid;
}

void VoiceChatManager::reportSignalingFailure(const QString& failure)
{
    qCWarning(lcVoice) << "Errore durante la segnalazione WebRTC:" << failure;
    emit voiceError(failure);
}

void VoiceChatManager::sendEmergencyOffer(const QString& sid)
{
    VoiceRemoteMember* member = d->member(sid);
    if (!d->inVoice || !member || member->isNegotiated())
        return;
    member->setNegotiated(true);
    qCDebug(lcVoice) << "Nessuna offerta ricevuta da" << sid << "- il desktop crea un'offerta di emergenza.";
    QString failure;
    if (!member->connection()->setLocalDescription(VoicePeerConnection::DescriptionType::Offer, &failure)) {
        member->setNegotiated(false);
        qCWarning(lcVoice) << "Creazione offerta WebRTC di emergenza fallita:" << failure;
    }
}

// ---------------------------------------------------------------------------
// Peer connections

VoiceRemoteMember* VoiceChatManager::createPeerConnection(const QString& sid, const QString& username, bool offerer)
{
    if (VoiceRemoteMember* existing = d->member(sid)) {
        if (!username.isEmpty())
            existing->setUsername(username);
        return existing;
    }
    if (d->members.size() >= MaxPeers) {
        qCWarning(lcVoice) << "Troppe connessioni vocali, connessione rifiutata per:" << sid;
        return nullptr;
    }

    QString failure;
    auto fail = [this, &failure] {
        qCWarning(lcVoice) << "Errore creazione PeerConnection:" << failure;
        emit voiceError(failure);
        return nullptr;
    };

    VoicePeerConfiguration configuration;
    configuration.stunUrl = stunServerUrl();
    configuration.disableAutoNegotiation = true;
    const std::shared_ptr<VoicePeerConnection> connection = d->connectionFactory->create(configuration, &failure);
    if (!connection)
        return fail();

    auto member = std::make_unique<VoiceRemoteMember>(sid, connection);
    member->setUsername(username);
    connectMember(member.get());
    failure = member->addAudio();
    if (!member->track())
        return fail();
    if (!failure.isEmpty())
        emit voiceError(failure);

    VoiceRemoteMember* added = member.get();
    d->members.emplace(sid, std::move(member));
    d->output->attach(added);
    updateCaptureTracks();

    if (offerer) {
        const std::shared_ptr<VoiceDataChannel> channel = connection->createDataChannel(DataChannelLabel, &failure);
        if (!channel)
            return fail();
        added->setDataChannel(channel);
        if (!connection->setLocalDescription(VoicePeerConnection::DescriptionType::Unspecified, &failure))
            return fail();
    }

    qCDebug(lcVoice) << "PeerConnection creata per:" << sid;
    return added;
}

void VoiceChatManager::connectMember(VoiceRemoteMember* member)
{
    const QString sid = member->sid();
    const std::weak_ptr<VoicePeerConnection> connection = member->connection();
    connect(member, &VoiceRemoteMember::signalingMessage, this, &VoiceChatManager::signalingEventRequested);
    // Queued even from this thread: the reply may remove the member.
    connect(
        member, &VoiceRemoteMember::connectionStateChanged, this,
        [this, sid, connection](int state) { handlePeerStateChange(sid, connection, state); }, Qt::QueuedConnection);
    connect(member, &VoiceRemoteMember::connectionFailed, this, &VoiceChatManager::reportSignalingFailure,
            Qt::QueuedConnection);
    connect(member, &VoiceRemoteMember::linkQualityChanged, member, [this, member](int bars, const QString& toolTip) {
        if (!member->username().isEmpty())
            emit memberLinkQualityChanged(member->username(), bars, toolTip);
    });
    connect(member, &VoiceRemoteMember::speakingChanged, this,
            [this, member](bool speaking) { setRemoteSpeaking(member, speaking); });
}

void VoiceChatManager::handlePeerStateChange(const QString& sid,
                                             const std::weak_ptr<VoicePeerConnection>& connection, int state)
{
    // A late report of a connection that has already been replaced concerns nobody.
    const VoiceRemoteMember* member = d->member(sid);
    if (!member || member->connection() != connection.lock())
        return;

    switch (VoicePeerConnection::State(state)) {
    case VoicePeerConnection::State::Connected:
        qCDebug(lcVoice) << "Connessione WebRTC attiva con:" << sid;
        break;
    case VoicePeerConnection::State::Failed:
    case VoicePeerConnection::State::Closed:
        removePeerConnection(sid);
        break;
    case VoicePeerConnection::State::Disconnected:
        qCWarning(lcVoice) << "Connessione WebRTC temporaneamente interrotta con:" << sid;
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
        qCDebug(lcVoice) << "Connessione WebRTC ripristinata con:" << sid;
        break;
    case VoicePeerConnection::State::Disconnected:
    case VoicePeerConnection::State::Failed:
    case VoicePeerConnection::State::Closed:
        qCWarning(lcVoice) << "Rimozione connessione WebRTC non recuperata:" << sid;
        if (const VoiceRemoteMember* member = d->member(sid); member && member->connection() == peer)
            removePeerConnection(sid);
        break;
    default:
        break;
    }
}

void VoiceChatManager::removePeerConnection(const QString& sid)
{
    const auto it = d->members.find(sid);
    if (it == d->members.end())
        return;
    const std::unique_ptr<VoiceRemoteMember> member = std::move(it->second);
    d->members.erase(it);
    updateCaptureTracks();
    if (member->isSpeaking() && !member->username().isEmpty())
        emit remoteUserSpeakingChanged(member->username(), false);
    qCDebug(lcVoice) << "PeerConnection rimossa per:" << sid;
}

// ---------------------------------------------------------------------------
// Microphone

bool VoiceChatManager::openMicrophoneForJoin()
{
    const QAudioDevice device = d->inputDeviceFor(d->microphoneDeviceId);
    const QString failure = inCapture(d->capture, [device](VoiceCapture* capture) { return capture->open(device); });
    d->capturing = failure.isEmpty();
    if (d->capturing)
        return true;
    emit voiceError(failure);
    emit voiceStatusChanged(QStringLiteral("error"));
    return false;
}

bool VoiceChatManager::startMicrophone()
{
    const QAudioDevice device = d->inputDeviceFor(d->microphoneDeviceId);
    const QString failure = inCapture(d->capture, [device](VoiceCapture* capture) { return capture->restart(device); });
    d->capturing = failure.isEmpty();
    if (d->capturing)
        return true;
    emit voiceError(failure);
    return false;
}

void VoiceChatManager::stopMicrophone()
{
    inCapture(d->capture, [](VoiceCapture* capture) {
        capture->stop();
        return QString();
    });
    d->capturing = false;
    setLocalSpeaking(false);
}

// What the capture reports may be overtaken by a stop or a mute here: a
// late "speaking" then concerns nobody, and the capture's own "silent" follows it.
void VoiceChatManager::setLocalSpeaking(bool speaking)
{
    if ((speaking && (!d->capturing || d->muted)) || speaking == d->localSpeaking)
        return;
    d->localSpeaking = speaking;
    emit localUserSpeakingChanged(speaking);
}

void VoiceChatManager::updateCaptureTracks()
{
    VoiceCapture::Tracks tracks;
    for (const auto& [sid, member] : d->members)
        tracks.append(member->track());
    postToCapture(d->capture, [tracks](VoiceCapture* capture) { capture->setTracks(tracks); });
}

void VoiceChatManager::toggleMute()
{
    if (!d->inVoice || !d->capturing)
        return;
    const bool muted = d->muted = !d->muted;
    if (muted)
        setLocalSpeaking(false);
    postToCapture(d->capture, [muted](VoiceCapture* capture) { capture->setMuted(muted); });
    emit muteChanged(d->muted);
    emit voiceStatusChanged(d->muted ? QStringLiteral("muted") : QStringLiteral("connected"));
}

void VoiceChatManager::setMicrophoneDeviceId(const QByteArray& id)
{
    if (id == d->microphoneDeviceId)
        return;
    const QByteArray previous = d->microphoneDeviceId;
    d->microphoneDeviceId = id;
    qCDebug(lcVoice) << "Nuovo microfono selezionato:" << id;
    if (!d->inVoice)
        return;

    stopMicrophone();
    if (startMicrophone()) {
        qCDebug(lcVoice) << "Microfono cambiato durante la conversazione.";
        if (std::exchange(d->microphoneLost, false))
            emit voiceStatusChanged(d->muted ? QStringLiteral("muted") : QStringLiteral("connected"));
        return;
    }
    qCWarning(lcVoice) << "Cambio del microfono fallito." << "Ripristino del dispositivo precedente.";
    d->microphoneDeviceId = previous;
    if (!startMicrophone()) {
        d->microphoneLost = true;
        emit voiceStatusChanged(QStringLiteral("error"));
        qCWarning(lcVoice) << "Impossibile ripristinare il microfono precedente.";
    }
}

// ---------------------------------------------------------------------------
// Remote playback

void VoiceChatManager::setRemoteSpeaking(VoiceRemoteMember* member, bool speaking)
{
    if (!member->username().isEmpty())
        emit remoteUserSpeakingChanged(member->username(), speaking);
}

bool VoiceChatManager::toggleRemoteUserMute(const QString& username)
{
    if (username.isEmpty())
        return false;
    const bool muted = d->output->toggleMute(username);
    emit remoteUserMuteChanged(username, muted);
    return muted;
}

void VoiceChatManager::setSpeakerDeviceId(const QByteArray& id)
{
    if (id == d->output->speakerDeviceId())
        return;
    d->output->setSpeakerDeviceId(id);
    qCDebug(lcVoice) << "Nuova uscita audio selezionata:" << id;
    if (!d->inVoice)
        return;
    qCDebug(lcVoice) << "Applicazione immediata della nuova uscita audio.";
    if (d->output->hasMembers())
        d->output->restart();
    else
        qCDebug(lcVoice) << "Nuova uscita audio salvata." << "Nessun utente remoto collegato.";
}

void VoiceChatManager::setMemberVolume(const QString& username, int percent)
{
    if (!username.isEmpty())
        d->output->setVolume(username, percent);
}

int VoiceChatManager::memberVolume(const QString& username) const
{
    return d->output->volume(username);
}

void VoiceChatManager::playTestTone()
{
    d->output->playTestTone();
}

void VoiceChatManager::setPlayedAudioTap(std::function<void(const qint16*, int, int)> tap)
{
    d->output->setPlayedAudioTap(std::move(tap));
}
