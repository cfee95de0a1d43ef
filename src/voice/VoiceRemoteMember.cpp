#include "voice/VoiceRemoteMember.h"

#include "app/LogCategories.h"
#include "voice/LinkQuality.h"
#include "voice/VoiceAudioTrack.h"
#include "voice/VoiceDataChannel.h"
#include "voice/VoiceOutputMixer.h"
#include "voice/VoicePeerConnection.h"
#include "voice/VoicePlayoutDevice.h"

#include <QDebug>
#include <QElapsedTimer>
#include <QHash>
#include <QTimer>

namespace {

constexpr int SampleRate = 48000;
constexpr int OpusPayloadType = 111;

quint32 ssrcForSid(const QString& sid)
{
    const quint32 ssrc = quint32(qHash(sid, 0) & 0xffffffffu);
    return ssrc == 0 ? 1 : ssrc;
}

VoiceAudioMediaLine audioMediaLine(const QString& sid)
{
    VoiceAudioMediaLine media;
    media.mid = QStringLiteral("0");
    media.payloadType = OpusPayloadType;
    media.clockRate = SampleRate;
    media.ssrc = ssrcForSid(sid);
    media.cname = QStringLiteral("moonlodge-audio");
    media.msid = QStringLiteral("moonlodge-stream");
    media.trackId = QStringLiteral("moonlodge-audio");
    media.fmtp = QStringLiteral("minptime=10;maxaveragebitrate=96000;stereo=1;sprop-stereo=1;useinbandfec=1");
    return media;
}

} // namespace

VoiceRemoteMember::VoiceRemoteMember(const QString& sid, std::shared_ptr<VoicePeerConnection> connection)
    : m_sid(sid)
    , m_connection(std::move(connection))
    , m_linkQuality(std::make_unique<LinkQuality>())
    , m_statsTimer(new QTimer(this))
{
    relayConnectionCallbacks();
    // Replies come on the library's thread; nothing here waits for them.
    m_statsClock.start();
    m_statsTimer->setInterval(StatsIntervalMs);
    connect(m_statsTimer, &QTimer::timeout, this, [this] { m_connection->requestStats(); });
}

VoiceRemoteMember::~VoiceRemoteMember()
{
    releaseOutput();
    if (m_connection)
        m_connection->close();
}

void VoiceRemoteMember::relayConnectionCallbacks()
{
    const QString sid = m_sid;
    m_connection->onStateChange([this, sid](VoicePeerConnection::State state) {
        qCDebug(lcVoice) << "Stato WebRTC con" << sid << ":" << int(state);
        const bool connected = state == VoicePeerConnection::State::Connected;
        QMetaObject::invokeMethod(m_statsTimer, connected ? qOverload<>(&QTimer::start) : &QTimer::stop);
        emit connectionStateChanged(int(state));
    });
    m_connection->onLocalDescription([this, sid](const QString& type, const QString& sdp) {
        if (type != QLatin1String("offer") && type != QLatin1String("answer"))
            return;
        const QJsonObject description{{QStringLiteral("type"), type}, {QStringLiteral("sdp"), sdp}};
        emit signalingMessage(QLatin1String("voice_") + type,
                              QJsonObject{{QStringLiteral("targetSid"), sid}, {type, description}});
        qCDebug(lcVoice) << "Descrizione WebRTC locale:" << type << "destinatario:" << sid;
    });
    m_connection->onLocalCandidate([this, sid](const QString& candidate, const QString& mid) {
        const QJsonObject candidateObject{{QStringLiteral("candidate"), candidate}, {QStringLiteral("sdpMid"), mid}};
        emit signalingMessage(QStringLiteral("voice_ice_candidate"),
                              QJsonObject{{QStringLiteral("targetSid"), sid}, {QStringLiteral("candidate"), candidateObject}});
        qCDebug(lcVoice) << "Candidato ICE inviato a:" << sid;
    });
    m_connection->onFailure([this](const QString& message) { emit connectionFailed(message); });
    m_connection->onStats([this](const GstStructure* stats, quint64 rtcpReports) {
        const LinkQuality::Reading reading = m_linkQuality->update(stats, rtcpReports, m_statsClock.elapsed());
        emit linkQualityChanged(reading.bars, reading.toolTip());
    });
    m_connection->onDataChannel([this](std::shared_ptr<VoiceDataChannel> channel) {
        // Taken on this member's thread; dropped with the member if it goes first.
        if (channel)
            QMetaObject::invokeMethod(this, [this, channel] { setDataChannel(channel); }, Qt::QueuedConnection);
    });
}

QString VoiceRemoteMember::addAudio()
{
    QString failure;
    m_track = m_connection->addTrack(audioMediaLine(m_sid), &failure);
    if (!m_track)
        return failure;

    // What the peer sends arrives as RTP on the send-and-receive track and
    // goes straight into the playout device, on the library's thread.
    m_playout = VoicePlayoutDevice::create(&failure);
    const std::weak_ptr<VoicePlayoutDevice> weakPlayout = m_playout;
    const std::weak_ptr<VoiceAudioTrack> weakTrack = m_track;
    m_track->onMessage([weakPlayout, weakTrack](const QByteArray& packet) {
        const std::shared_ptr<VoicePlayoutDevice> receiver = weakPlayout.lock();
        const std::shared_ptr<VoiceAudioTrack> receiving = weakTrack.lock();
        if (receiver && receiving)
            receiver->receiveRtp(packet, receiving->payloadType());
    });
    const QString sid = m_sid;
    m_track->onOpen([sid] { qCDebug(lcVoice) << "Traccia audio WebRTC aperta con:" << sid; });
    m_track->onClosed([sid] { qCDebug(lcVoice) << "Traccia audio WebRTC chiusa con:" << sid; });
    return m_playout ? QString() : failure;
}

void VoiceRemoteMember::startOutput(VoiceOutputMixer* mixer)
{
    if (!m_playout || m_mixer)
        return;
    m_mixer = mixer;
    updateGain();
    const quintptr input = quintptr(m_playout.get());
    connect(mixer, &VoiceOutputMixer::speakingChanged, this, [this, input](quintptr changed, bool speaking) {
        // A report that overtook our leaving the mix concerns nobody.
        if (changed == input && m_mixer)
            setSpeaking(speaking);
    });
    QMetaObject::invokeMethod(mixer, [mixer, playout = m_playout] { mixer->addInput(playout); });
}

void VoiceRemoteMember::stopOutput()
{
    releaseOutput();
    setSpeaking(false);
}

void VoiceRemoteMember::releaseOutput()
{
    VoiceOutputMixer* mixer = std::exchange(m_mixer, nullptr);
    if (!mixer)
        return;
    disconnect(mixer, nullptr, this, nullptr);
    QMetaObject::invokeMethod(mixer, [mixer, playout = m_playout] { mixer->removeInput(playout.get()); });
}

void VoiceRemoteMember::setDataChannel(std::shared_ptr<VoiceDataChannel> channel)
{
    m_dataChannel = std::move(channel);
    const QString sid = m_sid;
    m_dataChannel->onOpen([sid] { qCDebug(lcVoice) << "DataChannel WebRTC aperto con:" << sid; });
    m_dataChannel->onClosed([sid] { qCDebug(lcVoice) << "DataChannel WebRTC chiuso con:" << sid; });
    // The answering side receives the channel already open.
    if (m_dataChannel->isOpen())
        qCDebug(lcVoice) << "DataChannel WebRTC aperto con:" << sid;
}

void VoiceRemoteMember::setMuted(bool muted)
{
    m_muted = muted;
    updateGain();
}

void VoiceRemoteMember::setVolume(int percent)
{
    m_volume = percent;
    updateGain();
}

void VoiceRemoteMember::updateGain()
{
    if (m_playout)
        m_playout->setGain(m_muted ? 0.0f : float(m_volume) / 100.0f);
}

int VoiceRemoteMember::playoutDelayMs() const
{
    return m_playout ? m_playout->delayMs() : -1;
}

void VoiceRemoteMember::setSpeaking(bool speaking)
{
    if (speaking == m_speaking)
        return;
    m_speaking = speaking;
    emit speakingChanged(speaking);
}
