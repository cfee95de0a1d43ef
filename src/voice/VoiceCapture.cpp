#include "voice/VoiceCapture.h"

#include "app/LogCategories.h"
#include "voice/VoiceAudioTrack.h"

#include <QAudioSource>
#include <QDebug>

namespace {

constexpr int SampleRate = 48000;
constexpr int FrameSamples = 960;             // 20 ms
constexpr int FrameBytes = FrameSamples * 2;  // mono, 16-bit
constexpr int ChunkBytes = FrameBytes / 2;    // 10 ms
constexpr int SpeakingThreshold = 449;        // mean absolute sample value must exceed it
constexpr int SpeakingHoldMs = 250;
constexpr quint64 FrameMicroseconds = 20000;

QAudioFormat captureFormat()
{
    QAudioFormat format;
    format.setSampleRate(SampleRate);
    format.setChannelCount(1);
    format.setSampleFormat(QAudioFormat::Int16);
    return format;
}

bool isCaptureFormat(const QAudioFormat& format)
{
    return format.sampleRate() == SampleRate && format.channelCount() == 1
        && format.sampleFormat() == QAudioFormat::Int16;
}

// Mean absolute value of 16-bit samples, |-32768| counting as 32768.
qint64 meanLevel(const qint16* samples, qint64 count)
{
    qint64 sum = 0;
    for (qint64 i = 0; i < count; ++i) {
        const int value = samples[i];
        sum += value < 0 ? -value : value;
    }
    return sum / count;
}

const QString UnsupportedFormat = QStringLiteral("The selected microphone does not support 48 kHz mono 16-bit audio.");

} // namespace

VoiceCapture::VoiceCapture(QObject* parent)
    : QObject(parent)
    , m_speakingHold(this) // moves along with the capture to its thread
{
    m_speakingHold.setSingleShot(true);
    m_speakingHold.setInterval(SpeakingHoldMs);
    connect(&m_speakingHold, &QTimer::timeout, this, [this] { setSpeaking(false); });
}

VoiceCapture::~VoiceCapture()
{
    m_io = nullptr;
    if (m_source)
        m_source->stop();
    destroyEncoder();
}

QString VoiceCapture::open(const QAudioDevice& device)
{
    if (device.isNull())
        return QStringLiteral("No microphone was found.");
    QAudioFormat format = captureFormat();
    if (!device.isFormatSupported(format)) {
        format = device.preferredFormat();
        qCWarning(lcVoice) << "Formato 48 kHz mono non supportato." << "Uso:" << format.sampleRate() << "Hz,"
                   << format.channelCount() << "canali.";
    }
    if (!isCaptureFormat(format))
        return UnsupportedFormat;

    destroyEncoder();
    int error = OPUS_OK;
    m_encoder = opus_encoder_create(SampleRate, 1, OPUS_APPLICATION_VOIP, &error);
    if (!m_encoder || error != OPUS_OK) {
        destroyEncoder();
        return QStringLiteral("Opus encoder error: %1").arg(QString::fromUtf8(opus_strerror(error)));
    }
    opus_encoder_ctl(m_encoder, OPUS_SET_BITRATE(32000));
    opus_encoder_ctl(m_encoder, OPUS_SET_INBAND_FEC(1));
    m_sentMicroseconds = 0;
    m_encodedFrames = 0;
    m_muted = false;

    const QString failure = startSource(device, format);
    if (!failure.isEmpty())
        destroyEncoder();
    return failure;
}

QString VoiceCapture::restart(const QAudioDevice& device)
{
    if (device.isNull())
        return QStringLiteral("No microphone was found.");
    if (!device.isFormatSupported(captureFormat()))
        return UnsupportedFormat;
    const QString failure = startSource(device, captureFormat());
    if (failure.isEmpty())
        qCDebug(lcVoice) << "Acquisizione avviata dal microfono:" << device.description();
    return failure;
}

QString VoiceCapture::startSource(const QAudioDevice& device, const QAudioFormat& format)
{
    m_io = nullptr;
    m_source = std::make_unique<QAudioSource>(device, format);
    m_source->setBufferSize(ChunkBytes);
    m_source->setVolume(m_muted ? 0.0 : 1.0);
    QIODevice* io = m_source->start();
    if (!io) {
        m_source.reset();
        return QStringLiteral("The microphone could not be started.");
    }
    m_io = io;
    connect(io, &QIODevice::readyRead, this, &VoiceCapture::readDevice);
    m_pending.clear();
    return {};
}

void VoiceCapture::stop()
{
    m_speakingHold.stop();
    setSpeaking(false);
    m_io = nullptr;
    if (m_source) {
        m_source->stop();
        m_source.reset();
    }
    m_pending.clear();
    qCDebug(lcVoice) << "Acquisizione del microfono arrestata.";
}

void VoiceCapture::close()
{
    stop();
    destroyEncoder();
}

void VoiceCapture::destroyEncoder()
{
    if (m_encoder)
        opus_encoder_destroy(m_encoder);
    m_encoder = nullptr;
}

void VoiceCapture::setMuted(bool muted)
{
    m_muted = muted;
    if (muted) {
        m_speakingHold.stop();
        setSpeaking(false);
    }
    if (m_source)
        m_source->setVolume(muted ? 0.0 : 1.0);
}

void VoiceCapture::setSpeaking(bool speaking)
{
    if (m_speaking == speaking)
        return;
    m_speaking = speaking;
    emit speakingChanged(speaking);
}

void VoiceCapture::readDevice()
{
    // readyRead may come with nothing available, and what is available may
    // grow while reading: read until the device has nothing more.
    QByteArray pcm;
    char chunk[8192];
    while (m_io) {
        const qint64 count = m_io->read(chunk, sizeof chunk);
        if (count <= 0)
            break;
        pcm.append(chunk, count);
    }
    process(pcm);
}

void VoiceCapture::process(const QByteArray& pcm)
{
    if (m_muted)
        return;
    const qint64 samples = pcm.size() / 2;
    if (samples > 0 && meanLevel(reinterpret_cast<const qint16*>(pcm.constData()), samples) > SpeakingThreshold) {
        setSpeaking(true);
        m_speakingHold.start();
    }
    if (m_tracks.isEmpty()) {
        m_pending.clear(); // nothing is kept while alone
        return;
    }
    if (!m_encoder)
        return;
    m_pending.append(pcm);
    encodeFrames();
}

void VoiceCapture::encodeFrames()
{
    qsizetype offset = 0;
    while (m_pending.size() - offset >= FrameBytes) {
        const auto* frame = reinterpret_cast<const opus_int16*>(m_pending.constData() + offset);
        offset += FrameBytes;
        const int encoded = opus_encode(m_encoder, frame, FrameSamples, m_packet, int(sizeof m_packet));
        if (encoded < 0) {
            qCWarning(lcVoice) << "Errore codifica Opus:" << opus_strerror(encoded);
            continue;
        }
        const QByteArray packet(reinterpret_cast<const char*>(m_packet), encoded);
        const double seconds = double(m_sentMicroseconds) / 1000000.0;
        for (const std::shared_ptr<VoiceAudioTrack>& track : m_tracks) {
            if (!track || !track->isOpen())
                continue;
            QString failure;
            if (!track->sendFrame(packet, seconds, &failure))
                qCWarning(lcVoice) << "Invio audio WebRTC fallito:" << failure;
        }
        m_sentMicroseconds += FrameMicroseconds;
        ++m_encodedFrames;
        if (m_encodedFrames % 100 == 0)
            qCDebug(lcVoice) << "Frame Opus codificati:" << m_encodedFrames << "- tracce audio:" << m_tracks.size();
    }
    m_pending.remove(0, offset);
}
