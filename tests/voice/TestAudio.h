#pragma once

// Tones into the test PulseAudio's FIFO microphones, recordings of its speakers,
// and frequency estimates, for the voice tests and benchmarks.

#include <QAudioDevice>
#include <QAudioFormat>
#include <QAudioSource>
#include <QElapsedTimer>
#include <QIODevice>
#include <QMediaDevices>
#include <QObject>
#include <QTimer>

#include <cmath>
#include <fcntl.h>
#include <memory>
#include <unistd.h>
#include <vector>

inline QAudioDevice testAudioInput(const QByteArray& id)
{
    for (const QAudioDevice& device : QMediaDevices::audioInputs())
        if (device.id() == id)
            return device;
    return {};
}

// Writes a sine tone (or silence, with amplitude 0) into a FIFO microphone in
// real time, `leadMs` ahead (more lead: a busy test thread leaves no gaps).
class ToneFeeder
{
public:
    explicit ToneFeeder(const QString& microphone, double frequency = 440.0, int amplitude = 8000, int leadMs = 40)
        : m_frequency(frequency), m_amplitude(amplitude), m_leadMs(leadMs)
    {
        const QByteArray path = qgetenv("MOONLODGE_TEST_AUDIO_DIR") + "/" + microphone.toUtf8() + ".fifo";
        m_fd = ::open(path.constData(), O_WRONLY | O_NONBLOCK);
        m_clock.start();
        QObject::connect(&m_timer, &QTimer::timeout, &m_timer, [this] { pump(); });
        m_timer.start(5);
    }
    ~ToneFeeder()
    {
        if (m_fd >= 0)
            ::close(m_fd);
    }
    bool isOpen() const { return m_fd >= 0; }

private:
    void pump()
    {
        const qint64 due = (m_clock.nsecsElapsed() / 1000 + m_leadMs * 1000) * 48 / 1000;
        std::vector<qint16> samples;
        while (m_written < due) {
            m_phase += 2.0 * M_PI * m_frequency / 48000.0;
            if (m_phase > 2.0 * M_PI)
                m_phase -= 2.0 * M_PI;
            samples.push_back(qint16(m_amplitude * std::sin(m_phase)));
            ++m_written;
        }
        if (m_fd >= 0 && !samples.empty()) {
            const ssize_t ignored = ::write(m_fd, samples.data(), samples.size() * sizeof(qint16));
            Q_UNUSED(ignored);
        }
    }

    QTimer m_timer;
    QElapsedTimer m_clock;
    int m_fd = -1;
    double m_frequency;
    int m_amplitude;
    int m_leadMs;
    double m_phase = 0;
    qint64 m_written = 0;
};

// Records a source (such as a speaker's monitor) as 48 kHz mono 16-bit samples.
class SpeakerRecorder
{
public:
    explicit SpeakerRecorder(const QByteArray& sourceId)
    {
        QAudioFormat format;
        format.setSampleRate(48000);
        format.setChannelCount(1);
        format.setSampleFormat(QAudioFormat::Int16);
        m_source = std::make_unique<QAudioSource>(testAudioInput(sourceId), format);
        m_source->setBufferSize(1920);
        m_io = m_source->start();
        if (m_io) {
            QObject::connect(m_io, &QIODevice::readyRead, m_io, [this] {
                char chunk[8192];
                for (;;) {
                    const qint64 count = m_io->read(chunk, sizeof chunk);
                    if (count <= 0)
                        break;
                    const auto* values = reinterpret_cast<const qint16*>(chunk);
                    samples.insert(samples.end(), values, values + count / 2);
                }
            });
        }
    }
    bool isOpen() const { return m_io != nullptr; }

    std::vector<qint16> samples;

private:
    std::unique_ptr<QAudioSource> m_source;
    QIODevice* m_io = nullptr;
};

inline double rmsOf(const qint16* samples, size_t count)
{
    double sum = 0;
    for (size_t i = 0; i < count; ++i)
        sum += double(samples[i]) * samples[i];
    return count ? std::sqrt(sum / double(count)) : 0.0;
}

// Frequency from the rising zero crossings (after a small hysteresis).
inline double frequencyOf(const qint16* samples, size_t count)
{
    if (count < 480)
        return 0;
    int crossings = 0;
    size_t first = 0, last = 0;
    bool low = samples[0] < 0;
    for (size_t i = 1; i < count; ++i) {
        if (low && samples[i] > 200) {
            low = false;
            if (crossings == 0)
                first = i;
            last = i;
            ++crossings;
        } else if (!low && samples[i] < -200) {
            low = true;
        }
    }
    if (crossings < 2)
        return 0;
    return double(crossings - 1) * 48000.0 / double(last - first);
}

// Power of one frequency in the samples (Goertzel), normalised by the sample count.
inline double tonePower(const qint16* samples, size_t count, double frequency)
{
    const double coefficient = 2.0 * std::cos(2.0 * M_PI * frequency / 48000.0);
    double previous = 0, beforePrevious = 0;
    for (size_t i = 0; i < count; ++i) {
        const double current = samples[i] + coefficient * previous - beforePrevious;
        beforePrevious = previous;
        previous = current;
    }
    const double power = previous * previous + beforePrevious * beforePrevious - coefficient * previous * beforePrevious;
    return power / double(count) / double(count);
}
