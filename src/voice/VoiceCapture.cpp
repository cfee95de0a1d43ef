#include "voice/VoiceCapture.h"

#include "app/LogCategories.h"
#include "voice/AudioProcessing.h"
#include "voice/VoiceAudioTrack.h"

#include <QAudioSource>
#include <QDebug>

#include <algorithm>
#include <cstring>

namespace {

constexpr int SampleRate = 48000;
constexpr int FrameSamples = 960;             // 20 ms
constexpr int FrameBytes = FrameSamples * 2;  // mono, 16-bit
constexpr int ChunkBytes = FrameBytes / 2;    // 10 ms, also the processing frame
constexpr int SpeakingHoldMs = 250;
constexpr quint64 FrameMicroseconds = 20000;
constexpr int LevelFrames = 5;                // one level report per 50 ms
constexpr std::size_t MaxPlayedSamples = SampleRate / 2;
// From a sample played to its echo in the capture, beyond the capture's own
// buffer: the output's buffer and the sound server's (the canceller refines it).
constexpr int PlaybackLatencyMs = 40;

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
    , m_processing(std::make_unique<AudioProcessing>())
    , m_speakingHold(this) // moves along with the capture to its thread
{
    m_speakingHold.setSingleShot(true);
    m_speakingHold.setInterval(SpeakingHoldMs);
    connect(&m_speakingHold, &QTimer::timeout, this, [this] { setSpeaking(false); });
}

VoiceCapture::~VoiceCapture()
{
    releaseSource();
    destroyEncoder();
}

// Destroying a source runs an event loop of its own, which may deliver any
// event of this thread, the deletion of this capture included: it goes from
// the event loop, never from inside one of these functions.
void VoiceCapture::releaseSource()
{
    m_io = nullptr;
    if (!m_source)
        return;
    m_source->stop();
    m_source.release()->deleteLater();
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
    const QString failure = startCapture(device);
    if (failure.isEmpty())
        qCDebug(lcVoice) << "Acquisizione avviata dal microfono:" << device.description();
    return failure;
}

QString VoiceCapture::monitor(const QAudioDevice& device)
{
    destroyEncoder();
    m_muted = false;
    return startCapture(device);
}

QString VoiceCapture::startCapture(const QAudioDevice& device)
{
    if (device.isNull())
        return QStringLiteral("No microphone was found.");
    if (!device.isFormatSupported(captureFormat()))
        return UnsupportedFormat;
    return startSource(device, captureFormat());
}

QString VoiceCapture::startSource(const QAudioDevice& device, const QAudioFormat& format)
{
    releaseSource();
    m_source = std::make_unique<QAudioSource>(device, format);
    m_source->setBufferSize(ChunkBytes);
    m_source->setVolume(m_muted ? 0.0 : 1.0);
    QIODevice* io = m_source->start();
    if (!io) {
        releaseSource();
        return QStringLiteral("The microphone could not be started.");
    }
    m_io = io;
    connect(io, &QIODevice::readyRead, this, &VoiceCapture::readDevice);
    m_unprocessed.clear();
    m_pending.clear();
    discardPlayedAudio();
    m_processing->setStreamDelayMs(PlaybackLatencyMs + int(format.durationForBytes(m_source->bufferSize()) / 1000));
    return {};
}

void VoiceCapture::stop()
{
    m_speakingHold.stop();
    setSpeaking(false);
    releaseSource();
    m_unprocessed.clear();
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

void VoiceCapture::setSending(bool sending)
{
    m_sending = sending;
    if (!sending) {
        m_speakingHold.stop();
        setSpeaking(false);
    }
}

void VoiceCapture::setAudioProcessing(bool echoCancellation, bool noiseSuppression, bool automaticGain)
{
    m_processing->setEchoCancellation(echoCancellation);
    m_processing->setNoiseSuppression(noiseSuppression);
    m_processing->setAutomaticGain(automaticGain);
    m_echoCancellation = echoCancellation;
    discardPlayedAudio();
}

void VoiceCapture::discardPlayedAudio()
{
    std::lock_guard<std::mutex> lock(m_playedMutex);
    m_played.clear();
}

void VoiceCapture::addPlayedAudio(const qint16* samples, int frames, int channels)
{
    if (!m_echoCancellation || frames <= 0 || channels <= 0)
        return;
    std::lock_guard<std::mutex> lock(m_playedMutex);
    for (int i = 0; i < frames; ++i) {
        int sum = 0;
        for (int channel = 0; channel < channels; ++channel)
            sum += samples[i * channels + channel];
        m_played.push_back(qint16(sum / channels));
    }
    if (m_played.size() > MaxPlayedSamples)
        m_played.erase(m_played.begin(), m_played.end() - MaxPlayedSamples);
}

// Every whole 10 ms of played audio goes to the canceller before the capture frame it may echo in.
void VoiceCapture::analyzePlayedAudio()
{
    std::vector<qint16> played;
    {
        std::lock_guard<std::mutex> lock(m_playedMutex);
        const std::size_t whole = m_played.size() - m_played.size() % AudioProcessing::FrameSamples;
        played.assign(m_played.begin(), m_played.begin() + whole);
        m_played.erase(m_played.begin(), m_played.begin() + whole);
    }
    AudioProcessing::Frame frame;
    for (std::size_t offset = 0; offset < played.size(); offset += frame.size()) {
        std::copy_n(played.begin() + offset, frame.size(), frame.begin());
        m_processing->analyzeRender(frame);
    }
}

void VoiceCapture::process(const QByteArray& pcm)
{
    if (m_muted) {
        discardPlayedAudio(); // the canceller resumes with what is played from now on
        return;
    }
    m_unprocessed.append(pcm);
    qsizetype offset = 0;
    AudioProcessing::Frame frame;
    for (; m_unprocessed.size() - offset >= ChunkBytes; offset += ChunkBytes) {
        std::memcpy(frame.data(), m_unprocessed.constData() + offset, ChunkBytes);
        processFrame(frame);
    }
    m_unprocessed.remove(0, offset);
}

void VoiceCapture::processFrame(AudioProcessing::Frame& frame)
{
    analyzePlayedAudio();
    m_processing->processCapture(frame);
    const int level = int(meanLevel(frame.data(), qint64(frame.size())));
    m_loudestLevel = std::max(m_loudestLevel, level);
    if (++m_levelFrames == LevelFrames) {
        emit levelChanged(std::exchange(m_loudestLevel, 0));
        m_levelFrames = 0;
    }
    if (!m_encoder)
        return;
    if (!m_sending) {
        // Only the last 10 ms are kept: opening the gate sends with the next chunk.
        m_pending.truncate(0);
        m_pending.append(reinterpret_cast<const char*>(frame.data()), ChunkBytes);
        return;
    }
    if (level > m_threshold) {
        setSpeaking(true);
        m_speakingHold.start();
    }
    if (m_tracks.isEmpty()) {
        m_pending.clear(); // nothing is kept while alone
        return;
    }
    m_pending.append(reinterpret_cast<const char*>(frame.data()), ChunkBytes);
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
