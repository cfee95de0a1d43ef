#pragma once

// Tones into the test PulseAudio's FIFO microphones, recordings of its speakers,
// levels and the power of a tone, for the voice tests and benchmarks.

#include <QAudioDevice>
#include <QAudioFormat>
#include <QAudioSource>
#include <QElapsedTimer>
#include <QIODevice>
#include <QMediaDevices>
#include <QObject>
#include <QTimer>

#include <algorithm>
#include <cmath>
#include <fcntl.h>
#include <memory>
#include <unistd.h>
#include <vector>

inline QAudioDevice findAudioDevice(const QList<QAudioDevice>& devices, const QByteArray& id)
{
    const auto found = std::find_if(devices.begin(), devices.end(), [&id](const QAudioDevice& d) { return d.id() == id; });
    return found == devices.end() ? QAudioDevice() : *found;
}
inline QAudioDevice testAudioInput(const QByteArray& id) { return findAudioDevice(QMediaDevices::audioInputs(), id); }
inline QAudioDevice audioOutput(const QByteArray& id) { return findAudioDevice(QMediaDevices::audioOutputs(), id); }

inline QAudioFormat monoFormat()
{
    QAudioFormat format;
    format.setSampleRate(48000);
    format.setChannelCount(1);
    format.setSampleFormat(QAudioFormat::Int16);
    return format;
}

// The virtual devices of the test PulseAudio (scripts/lib/run-suite.sh).
#define REQUIRE_TEST_AUDIO_DEVICES()                                                                                 \
    do {                                                                                                             \
        if (qEnvironmentVariableIsEmpty("PULSE_SERVER"))                                                             \
            QSKIP("needs the test PulseAudio with its virtual devices (scripts/test starts it)");                   \
        QVERIFY2(!testAudioInput("vmic").isNull() && !audioOutput("vspk").isNull(),                                  \
                 "the test PulseAudio lacks its virtual devices vmic/vspk");                                         \
    } while (false)

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
        for (; m_written < due; ++m_written)
            samples.push_back(qint16(m_amplitude * std::sin(2.0 * M_PI * m_frequency * double(m_written) / 48000.0)));
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
    qint64 m_written = 0;
};

// Records a source (such as a speaker's monitor) as 48 kHz mono 16-bit samples.
class SpeakerRecorder
{
public:
    explicit SpeakerRecorder(const QByteArray& sourceId)
    {
        m_source = std::make_unique<QAudioSource>(testAudioInput(sourceId), monoFormat());
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
