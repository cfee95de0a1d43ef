#include "voice/VoiceChatManager.h"
#include "voice/VoiceChatManager_p.h"

#include "app/LogCategories.h"
#include "voice/GstVoicePeerConnectionFactory.h"
#include "voice/VoiceAudioTrack.h"
#include "voice/VoiceDataChannel.h"
#include "voice/VoiceMicrophone.h"
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

#include <utility>

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

QString stringField(const QJsonObject& object, const char* key)
{
    const QJsonValue value = object.value(QLatin1String(key));
    return value.isString() ? value.toString() : QString();
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
    d->inputDeviceFor = [](const QByteArray& id) {
        return deviceWithId(id, QMediaDevices::audioInputs(), QMediaDevices::defaultAudioInput());
    };
    qCDebug(lcVoice) << "Codec audio disponibile:" << opus_get_version_string();

    d->audioThread.setObjectName(QStringLiteral("voice-audio"));
    d->audioThread.start(QThread::TimeCriticalPriority);

    d->microphone = new VoiceMicrophone(&d->audioThread, this);
    connect(d->microphone, &VoiceMicrophone::speakingChanged, this, &VoiceChatManager::setLocalSpeaking);
    connect(d->microphone, &VoiceMicrophone::levelChanged, this, &VoiceChatManager::microphoneLevelChanged);
    d->output = std::make_unique<VoiceRoomOutput>(&d->audioThread);
    connect(d->output.get(), &VoiceRoomOutput::failed, this, &VoiceChatManager::voiceError);
    // What the member hears is the echo canceller's far-end reference.
    d->output->setPlayedAudioTap([capture = d->microphone->capture()](const qint16* samples, int frames,
                                                                        int channels) {
        capture->addPlayedAudio(samples, frames, channels);
    });
}

VoiceChatManager::~VoiceChatManager()
{
    leaveVoice();
    // The output stops feeding the capture before either goes away on their thread.
    d->output->setPlayedAudioTap({});
    d->output.reset();
    delete std::exchange(d->microphone, nullptr);
    QObject finisher;
    finisher.moveToThread(&d->audioThread);
    QMetaObject::invokeMethod(
        &finisher, [] { QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete); },
        Qt::BlockingQueuedConnection);
    d->audioThread.quit();
    d->audioThread.wait();
    d.reset();
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

// The microphone opens on the audio thread; the join completes in finishJoin.
void VoiceChatManager::joinVoice()
{
    if (d->inVoice || d->joining)
        return;
    d->joining = true;
    d->microphone->open(d->inputDeviceFor(d->microphoneDeviceId),
                        [this](const QString& failure, const QString&) { finishJoin(failure); });
}

void VoiceChatManager::finishJoin(const QString& failure)
{
    d->joining = false;
    if (!failure.isEmpty()) {
        emit voiceError(failure);
        emit voiceStatusChanged(QStringLiteral("error"));
        return;
    }
    d->inVoice = true;
    d->muted = false;
    emit voiceStatusChanged(QStringLiteral("connected"));
    emit muteChanged(false);
    emit signalingEventRequested(QStringLiteral("voice_join"), QJsonObject());
    qCDebug(lcVoice) << "Microfono attivato:" << d->inputDeviceFor(d->microphoneDeviceId).description();
    updateTransmitting();
}

void VoiceChatManager::leaveVoice()
{
    if (!d->inVoice) {
        if (std::exchange(d->joining, false))
            d->microphone->close(); // a join still opening the microphone: nothing else to undo
        return;
    }

    emit signalingEventRequested(QStringLiteral("voice_leave"), QJsonObject());

    d->microphone->close();
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
    updateTransmitting();
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

    const std::shared_ptr<VoicePeerConnection> connection =
        d->connectionFactory->create(VoicePeerConfiguration::forVoiceRoom(), &failure);
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

// What the capture reports may be overtaken by a stop, a mute or a released
// key here: a late "speaking" then concerns nobody, and "silent" follows it.
void VoiceChatManager::setLocalSpeaking(bool speaking)
{
    if ((speaking && !d->transmitting) || speaking == d->localSpeaking)
        return;
    d->localSpeaking = speaking;
    emit localUserSpeakingChanged(speaking);
}

void VoiceChatManager::updateCaptureTracks()
{
    VoiceCapture::Tracks tracks;
    for (const auto& [sid, member] : d->members)
        tracks.append(member->track());
    d->microphone->setTracks(tracks);
}

void VoiceChatManager::updateTransmitting()
{
    const bool keyAllows = !d->pushToTalk || d->pushToTalkPressed;
    d->microphone->setSending(keyAllows);
    const bool transmitting = d->inVoice && d->microphone->isCapturing() && !d->muted && keyAllows;
    if (transmitting == d->transmitting)
        return;
    d->transmitting = transmitting;
    if (!transmitting)
        setLocalSpeaking(false);
    emit transmittingChanged(transmitting);
}

void VoiceChatManager::toggleMute()
{
    if (!d->inVoice || !d->microphone->isCapturing())
        return;
    const bool muted = d->muted = !d->muted;
    if (muted)
        setLocalSpeaking(false);
    d->microphone->setMuted(muted);
    emit muteChanged(d->muted);
    emit voiceStatusChanged(d->muted ? QStringLiteral("muted") : QStringLiteral("connected"));
    updateTransmitting();
}

void VoiceChatManager::setPushToTalkEnabled(bool enabled)
{
    d->pushToTalk = enabled;
    updateTransmitting();
}

void VoiceChatManager::setPushToTalkPressed(bool pressed)
{
    d->pushToTalkPressed = pressed;
    updateTransmitting();
}

void VoiceChatManager::setSpeakingThreshold(int threshold)
{
    d->microphone->setSpeakingThreshold(threshold);
}

void VoiceChatManager::setAudioProcessing(bool echoCancellation, bool noiseSuppression, bool automaticGain)
{
    d->microphone->setAudioProcessing(echoCancellation, noiseSuppression, automaticGain);
}

void VoiceChatManager::setMicrophoneMonitoring(bool monitoring)
{
    d->monitoring = monitoring;
    d->microphone->setMonitoring(monitoring, d->inputDeviceFor(d->microphoneDeviceId));
}

void VoiceChatManager::setMicrophoneDeviceId(const QByteArray& id)
{
    if (id == d->microphoneDeviceId)
        return;
    const QByteArray previous = std::exchange(d->microphoneDeviceId, id);
    qCDebug(lcVoice) << "Nuovo microfono selezionato:" << id;
    if (!d->inVoice) {
        if (d->monitoring)
            d->microphone->setMonitoring(true, d->inputDeviceFor(id));
        return;
    }
    d->microphone->switchDevice(d->inputDeviceFor(id), d->inputDeviceFor(previous),
                                [this, previous](const QString& failure, const QString& restoreFailure) {
                                    finishMicrophoneChange(previous, failure, restoreFailure);
                                });
    updateTransmitting();
}

void VoiceChatManager::finishMicrophoneChange(const QByteArray& previous, const QString& failure,
                                              const QString& restoreFailure)
{
    if (failure.isEmpty()) {
        qCDebug(lcVoice) << "Microfono cambiato durante la conversazione.";
        if (std::exchange(d->microphoneLost, false))
            emit voiceStatusChanged(d->muted ? QStringLiteral("muted") : QStringLiteral("connected"));
    } else {
        emit voiceError(failure);
        qCWarning(lcVoice) << "Cambio del microfono fallito." << "Ripristino del dispositivo precedente.";
        d->microphoneDeviceId = previous;
        if (!restoreFailure.isEmpty()) {
            emit voiceError(restoreFailure);
            d->microphoneLost = true;
            emit voiceStatusChanged(QStringLiteral("error"));
            qCWarning(lcVoice) << "Impossibile ripristinare il microfono precedente.";
        }
    }
    updateTransmitting();
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

