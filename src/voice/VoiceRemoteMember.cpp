#include "voice/VoiceRemoteMember.h"

#include "app/LogCategories.h"
#include "voice/VoiceAudioTrack.h"
#include "voice/VoiceDataChannel.h"
#include "voice/VoiceMemberOutput.h"
#include "voice/VoicePeerConnection.h"
#include "voice/VoicePlayoutDevice.h"

#include <QAudioFormat>
#include <QDebug>
#include <QHash>
#include <QThread>

namespace {

constexpr int SampleRate = 48000;
constexpr int OpusPayloadType = 111;

QAudioFormat playbackFormat(QAudioFormat::SampleFormat sampleFormat)
{
    QAudioFormat format;
    format.setSampleRate(SampleRate);
    format.setChannelCount(2);
    format.setSampleFormat(sampleFormat);
    return format;
}

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
{
    relayConnectionCallbacks();
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

QString VoiceRemoteMember::startOutput(const QAudioDevice& device, QThread* audioThread)
{
    if (!m_playout || m_output)
        return {};
    if (device.isNull())
        return QStringLiteral("No audio output device was found.");

    QAudioFormat format = playbackFormat(QAudioFormat::Int16);
    if (!device.isFormatSupported(format)) {
        format = playbackFormat(QAudioFormat::Float);
        if (!device.isFormatSupported(format))
            return QStringLiteral("The selected speaker does not support a compatible 48 kHz stereo format.");
        qCDebug(lcVoice) << "Uscita audio Float utilizzata per:" << device.description();
    }

    m_playout->setMuted(m_muted);
    auto* output = new VoiceMemberOutput(m_playout, device, format);
    output->moveToThread(audioThread);
    connect(output, &VoiceMemberOutput::speakingChanged, this,
            [this, output](bool speaking) { setSpeaking(output, speaking); });
    connect(output, &VoiceMemberOutput::failed, this, &VoiceRemoteMember::outputFailed);
    QMetaObject::invokeMethod(output, &VoiceMemberOutput::start, Qt::QueuedConnection);
    m_output = output;
    qCDebug(lcVoice) << "Riproduzione audio preparata per:" << m_sid << "-" << device.description();
    return {};
}

void VoiceRemoteMember::stopOutput()
{
    releaseOutput();
    setSpeaking(nullptr, false);
}

void VoiceRemoteMember::releaseOutput()
{
    if (m_output)
        std::exchange(m_output, nullptr)->deleteLater();
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
    if (m_playout)
        m_playout->setMuted(muted);
}

int VoiceRemoteMember::playoutDelayMs() const
{
    return m_playout ? m_playout->delayMs() : -1;
}

void VoiceRemoteMember::setSpeaking(VoiceMemberOutput* output, bool speaking)
{
    // A replaced output's late reports concern nobody.
    if (output != m_output || speaking == m_speaking)
        return;
    m_speaking = speaking;
    emit speakingChanged(speaking);
}
