#include "voice/VoiceOutputMixer.h"

#include "app/LogCategories.h"
#include "voice/VoicePlayoutDevice.h"

#include <QAudioSink>
#include <QDebug>
#include <QTimer>

#include <algorithm>
#include <cmath>

namespace {

constexpr double ToneFrequency = 660.0;
constexpr double ToneAmplitude = 3000.0; // about -20 dBFS: soft
constexpr int ToneFadeFrames = VoiceOutputMixer::SampleRate / 100;

QAudioFormat stereoFormat(QAudioFormat::SampleFormat sampleFormat)
{
    QAudioFormat format;
    format.setSampleRate(VoiceOutputMixer::SampleRate);
    format.setChannelCount(VoiceOutputMixer::Channels);
    format.setSampleFormat(sampleFormat);
    return format;
}

} // namespace

VoiceOutputMixer::VoiceOutputMixer(QObject* parent)
    : QIODevice(parent)
    , m_sum(size_t(BlockFrames) * Channels)
    , m_block(size_t(BlockFrames) * Channels)
    , m_inputBlock(size_t(BlockFrames) * Channels)
{
    // Unbuffered: a buffered device would read ahead (16 KB, 85 ms) and play it late.
    open(QIODevice::ReadOnly | QIODevice::Unbuffered);
}

VoiceOutputMixer::~VoiceOutputMixer()
{
    // Destroying a sink processes pending events: none of them may start another.
    m_device = QAudioDevice();
    m_inputs.clear();
    stopSink();
}

QAudioFormat VoiceOutputMixer::formatFor(const QAudioDevice& device, QString* error)
{
    if (device.isNull()) {
        *error = QStringLiteral("No audio output device was found.");
        return {};
    }
    const QAudioFormat preferred = stereoFormat(QAudioFormat::Int16);
    if (device.isFormatSupported(preferred))
        return preferred;
    const QAudioFormat fallback = stereoFormat(QAudioFormat::Float);
    if (device.isFormatSupported(fallback)) {
        qCDebug(lcVoice) << "Uscita audio Float utilizzata per:" << device.description();
        return fallback;
    }
    *error = QStringLiteral("The selected speaker does not support a compatible 48 kHz stereo format.");
    return {};
}

void VoiceOutputMixer::setOutput(const QAudioDevice& device, const QAudioFormat& format)
{
    if (device == m_device && format == m_format)
        return;
    m_device = device;
    m_format = format;
    if (m_sink) {
        stopSink();
        updateSink();
    }
}

void VoiceOutputMixer::addInput(const std::shared_ptr<VoicePlayoutDevice>& playout)
{
    Input input;
    input.playout = playout;
    input.speakingHold = new QTimer(this);
    input.speakingHold->setSingleShot(true);
    input.speakingHold->setInterval(SpeakingHoldMs);
    const quintptr id = quintptr(playout.get());
    connect(input.speakingHold, &QTimer::timeout, this, [this, id] {
        for (Input& each : m_inputs) {
            if (quintptr(each.playout.get()) == id && std::exchange(each.speaking, false))
                emit speakingChanged(id, false);
        }
    });
    m_inputs.push_back(std::move(input));
    updateSink();
}

void VoiceOutputMixer::removeInput(const VoicePlayoutDevice* playout)
{
    const auto it = std::find_if(m_inputs.begin(), m_inputs.end(),
                                 [playout](const Input& input) { return input.playout.get() == playout; });
    if (it == m_inputs.end())
        return;
    delete it->speakingHold;
    m_inputs.erase(it);
    updateSink();
}

void VoiceOutputMixer::playTone()
{
    m_toneFramesLeft = SampleRate * ToneMs / 1000;
    m_tonePhase = 0.0;
    updateSink();
}

// The sink runs while there is something to play: members or the tone.
void VoiceOutputMixer::updateSink()
{
    const bool wanted = !m_inputs.empty() || m_toneFramesLeft > 0;
    if (wanted && !m_sink)
        startSink();
    else if (!wanted && m_sink)
        stopSink();
}

void VoiceOutputMixer::startSink()
{
    if (m_device.isNull() || !m_format.isValid())
        return;
    // Without a parent: Qt's sink gives its parent to the platform's sink too,
    // which then must not outlive or be deleted apart from it.
    m_sink = new QAudioSink(m_device, m_format);
    m_sink->setBufferSize(m_format.bytesForDuration(BufferMs * 1000));
    m_sink->start(this);
    if (m_sink->error() != QAudio::NoError) {
        stopSink();
        emit failed(QStringLiteral("The audio output could not be started."));
    }
}

// Qt's PulseAudio sink processes pending events while it is destroyed: this
// may run again inside, but finds no sink to stop.
void VoiceOutputMixer::stopSink()
{
    QAudioSink* sink = std::exchange(m_sink, nullptr);
    if (!sink)
        return;
    sink->stop();
    delete sink;
}

qint64 VoiceOutputMixer::bytesAvailable() const
{
    // Always something to play: silence when nobody talks.
    return QIODevice::bytesAvailable() + 16384;
}

qint64 VoiceOutputMixer::readData(char* data, qint64 maxSize)
{
    const int sampleBytes = m_format.bytesPerSample();
    const qint64 frameBytes = qint64(sampleBytes) * Channels;
    if (frameBytes <= 0)
        return 0;
    qint64 frames = maxSize / frameBytes;
    qint64 written = 0;
    while (frames > 0) {
        const int count = int(std::min<qint64>(frames, BlockFrames));
        mixBlock(count);
        const int samples = count * Channels;
        if (m_format.sampleFormat() == QAudioFormat::Float) {
            auto* out = reinterpret_cast<float*>(data + written);
            for (int i = 0; i < samples; ++i)
                out[i] = float(m_block[size_t(i)]) * (1.0f / 32768.0f);
        } else {
            std::copy_n(m_block.data(), samples, reinterpret_cast<qint16*>(data + written));
        }
        written += count * frameBytes;
        frames -= count;
    }
    if (m_inputs.empty() && m_toneFramesLeft <= 0)
        QMetaObject::invokeMethod(this, &VoiceOutputMixer::updateSink, Qt::QueuedConnection);
    return written;
}

void VoiceOutputMixer::mixBlock(int frames)
{
    const int samples = frames * Channels;
    std::fill_n(m_sum.begin(), samples, 0);
    for (Input& input : m_inputs) {
        // Read even when silenced: decoding, the delay bound and the speaking state go on.
        input.playout->read(m_inputBlock.data(), frames);
        if (input.playout->takeLoudFrame())
            noteLoudFrame(input);
        const float gain = input.playout->gain();
        if (gain <= 0.0f)
            continue;
        if (gain == 1.0f) {
            for (int i = 0; i < samples; ++i)
                m_sum[size_t(i)] += m_inputBlock[size_t(i)];
        } else {
            for (int i = 0; i < samples; ++i)
                m_sum[size_t(i)] += qint32(std::lround(float(m_inputBlock[size_t(i)]) * gain));
        }
    }
    if (m_toneFramesLeft > 0)
        mixTone(frames);
    for (int i = 0; i < samples; ++i)
        m_block[size_t(i)] = qint16(std::clamp<qint32>(m_sum[size_t(i)], -32768, 32767));
    if (m_tap)
        m_tap(m_block.data(), frames, Channels);
}

void VoiceOutputMixer::mixTone(int frames)
{
    const int total = SampleRate * ToneMs / 1000;
    const int count = std::min(frames, m_toneFramesLeft);
    for (int i = 0; i < count; ++i) {
        const int left = m_toneFramesLeft - i;
        const int played = total - left;
        const double fade = std::min({1.0, double(played) / ToneFadeFrames, double(left) / ToneFadeFrames});
        const auto value = qint32(ToneAmplitude * fade * std::sin(m_tonePhase));
        m_tonePhase += 2.0 * M_PI * ToneFrequency / SampleRate;
        m_sum[size_t(i) * Channels] += value;
        m_sum[size_t(i) * Channels + 1] += value;
    }
    m_toneFramesLeft -= count;
}

void VoiceOutputMixer::noteLoudFrame(Input& input)
{
    if (!std::exchange(input.speaking, true))
        emit speakingChanged(quintptr(input.playout.get()), true);
    input.speakingHold->start();
}
