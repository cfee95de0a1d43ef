#include "voice/VoicePlayoutDevice.h"

#include "app/LogCategories.h"
#include "voice/VoiceRtpPacket.h"

#include <QDebug>

#include <opus.h>

#include <cstring>

namespace {

constexpr int FrameSamples = 960;                 // 20 ms per channel
constexpr int MaxDecodedSamplesPerChannel = 5760; // 120 ms, the longest Opus frame
constexpr int SpeakingThreshold = 449;

} // namespace

std::shared_ptr<VoicePlayoutDevice> VoicePlayoutDevice::create(QString* error)
{
    int code = OPUS_OK;
    OpusDecoder* decoder = opus_decoder_create(48000, 2, &code);
    if (!decoder || code != OPUS_OK) {
        if (decoder)
            opus_decoder_destroy(decoder);
        if (error)
            *error = QStringLiteral("Opus decoder error: %1").arg(QString::fromUtf8(opus_strerror(code)));
        return nullptr;
    }
    return std::shared_ptr<VoicePlayoutDevice>(new VoicePlayoutDevice(decoder));
}

VoicePlayoutDevice::VoicePlayoutDevice(OpusDecoder* decoder)
    : m_decoder(decoder)
    , m_pcm(size_t(MaxDecodedSamplesPerChannel) * 2)
{
    m_clock.start();
    open(QIODevice::ReadOnly);
}

VoicePlayoutDevice::~VoicePlayoutDevice()
{
    opus_decoder_destroy(m_decoder);
}

void VoicePlayoutDevice::receiveRtp(const QByteArray& packet, int payloadType)
{
    VoiceRtpPacket rtp;
    if (!rtp.parse(packet.constData(), packet.size(), payloadType))
        return;
    const QByteArray opus(rtp.payload, rtp.payloadSize);
    std::lock_guard<std::mutex> lock(m_mutex);
    m_buffer.push(rtp.sequence, opus, m_clock.elapsed());
}

void VoicePlayoutDevice::setMuted(bool muted)
{
    m_muted = muted;
}

void VoicePlayoutDevice::setSampleFormat(QAudioFormat::SampleFormat format)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_format = format;
}

int VoicePlayoutDevice::delayMs() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_buffer.delayMs();
}

void VoicePlayoutDevice::onLoudFrame(std::function<void()> callback)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_loudFrame = std::move(callback);
}

qint64 VoicePlayoutDevice::bytesAvailable() const
{
    // Always something to play: silence when nothing has arrived.
    return QIODevice::bytesAvailable() + 16384;
}

qint64 VoicePlayoutDevice::readData(char* data, qint64 maxSize)
{
    qint64 written = 0;
    while (written < maxSize) {
        if (m_stagedOffset >= m_staged.size())
            decodeNextFrame();
        const qint64 count = qMin(maxSize - written, qint64(m_staged.size() - m_stagedOffset));
        std::memcpy(data + written, m_staged.constData() + m_stagedOffset, size_t(count));
        m_stagedOffset += count;
        written += count;
    }
    return written;
}

void VoicePlayoutDevice::decodeNextFrame()
{
    VoicePlayoutBuffer::Frame frame;
    QAudioFormat::SampleFormat format;
    std::function<void()> loudFrame;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        frame = m_buffer.pop();
        format = m_format;
        loudFrame = m_loudFrame;
    }

    int samples = FrameSamples;
    const auto* opus = reinterpret_cast<const unsigned char*>(frame.opus.constData());
    switch (frame.source) {
    case VoicePlayoutBuffer::Source::Silence:
        std::fill(m_pcm.begin(), m_pcm.begin() + FrameSamples * 2, qint16(0));
        break;
    case VoicePlayoutBuffer::Source::Packet:
        samples = opus_decode(m_decoder, opus, opus_int32(frame.opus.size()), m_pcm.data(),
                              MaxDecodedSamplesPerChannel, 0);
        break;
    case VoicePlayoutBuffer::Source::Fec:
        samples = opus_decode(m_decoder, opus, opus_int32(frame.opus.size()), m_pcm.data(), FrameSamples, 1);
        break;
    case VoicePlayoutBuffer::Source::Concealed:
        samples = opus_decode(m_decoder, nullptr, 0, m_pcm.data(), FrameSamples, 0);
        break;
    }
    if (samples < 0) {
        qCWarning(lcVoice) << "Errore decodifica Opus:" << opus_strerror(samples);
        samples = FrameSamples;
        std::fill(m_pcm.begin(), m_pcm.begin() + FrameSamples * 2, qint16(0));
    }

    const int count = samples * 2;
    if (loudFrame && count > 0
        && (frame.source == VoicePlayoutBuffer::Source::Packet || frame.source == VoicePlayoutBuffer::Source::Fec)) {
        qint64 sum = 0;
        for (int i = 0; i < count; ++i)
            sum += qAbs(int(m_pcm[size_t(i)]));
        if (sum / count > SpeakingThreshold)
            loudFrame();
    }
    if (m_muted)
        std::fill(m_pcm.begin(), m_pcm.begin() + count, qint16(0));

    m_stagedOffset = 0;
    if (format == QAudioFormat::Float) {
        m_staged.resize(qsizetype(count) * qsizetype(sizeof(float)));
        auto* out = reinterpret_cast<float*>(m_staged.data());
        constexpr float scale = 1.0f / 32768.0f;
        for (int i = 0; i < count; ++i)
            out[i] = float(m_pcm[size_t(i)]) * scale;
    } else {
        m_staged.resize(qsizetype(count) * qsizetype(sizeof(qint16)));
        std::memcpy(m_staged.data(), m_pcm.data(), size_t(m_staged.size()));
    }
}
