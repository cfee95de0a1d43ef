#include "voice/VoicePlayoutDevice.h"

#include "app/LogCategories.h"
#include "voice/VoiceRtpPacket.h"

#include <QDebug>

#include <opus.h>

#include <algorithm>
#include <cstring>

namespace {

constexpr int FrameSamples = 960;                 // 20 ms per channel
constexpr int MaxDecodedSamplesPerChannel = 5760; // 120 ms, the longest Opus frame

} // namespace

std::shared_ptr<VoicePlayoutDevice> VoicePlayoutDevice::create(QString* error)
{
    int code = OPUS_OK;
    OpusDecoder* decoder = opus_decoder_create(48000, Channels, &code);
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
    , m_pcm(size_t(MaxDecodedSamplesPerChannel) * Channels)
{
    m_clock.start();
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

int VoicePlayoutDevice::delayMs() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_buffer.averageDelayMs();
}

void VoicePlayoutDevice::read(qint16* out, int frames)
{
    while (frames > 0) {
        if (m_pcmOffset >= m_pcmFrames)
            decodeNextFrame();
        const int count = std::min(frames, m_pcmFrames - m_pcmOffset);
        std::memcpy(out, m_pcm.data() + size_t(m_pcmOffset) * Channels, size_t(count) * Channels * sizeof(qint16));
        out += count * Channels;
        m_pcmOffset += count;
        frames -= count;
    }
}

void VoicePlayoutDevice::decodeNextFrame()
{
    VoicePlayoutBuffer::Frame frame;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        frame = m_buffer.pop();
    }

    int samples = FrameSamples;
    const auto* opus = reinterpret_cast<const unsigned char*>(frame.opus.constData());
    switch (frame.source) {
    case VoicePlayoutBuffer::Source::Silence:
        samples = 0;
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
    if (samples < 0)
        qCWarning(lcVoice) << "Errore decodifica Opus:" << opus_strerror(samples);
    if (samples <= 0) {
        samples = FrameSamples;
        std::fill(m_pcm.begin(), m_pcm.begin() + FrameSamples * Channels, qint16(0));
    } else if (frame.source == VoicePlayoutBuffer::Source::Packet || frame.source == VoicePlayoutBuffer::Source::Fec) {
        const int count = samples * Channels;
        qint64 sum = 0;
        for (int i = 0; i < count; ++i)
            sum += qAbs(int(m_pcm[size_t(i)]));
        m_loud = m_loud || sum / count > SpeakingThreshold;
    }
    m_pcmFrames = samples;
    m_pcmOffset = 0;
}
