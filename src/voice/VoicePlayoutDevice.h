#pragma once

#include "voice/VoicePlayoutBuffer.h"

#include <QAudioFormat>
#include <QElapsedTimer>
#include <QIODevice>

#include <atomic>
#include <functional>
#include <memory>
#include <mutex>
#include <vector>

struct OpusDecoder;

// What one remote member says, as the PCM an audio output pulls: RTP packets
// go into a playout buffer from whatever thread receives them, and each read
// takes frames out of it and decodes them (Opus at 48 kHz stereo; concealment
// and FEC for missing frames) in the output's format, 16-bit or float.
class VoicePlayoutDevice : public QIODevice
{
    Q_OBJECT

public:
    // Null with the libopus error in `error` when no decoder can be made.
    static std::shared_ptr<VoicePlayoutDevice> create(QString* error);
    ~VoicePlayoutDevice() override;

    // Any thread.
    void receiveRtp(const QByteArray& packet, int payloadType);
    void setMuted(bool muted);
    void setSampleFormat(QAudioFormat::SampleFormat format);
    int delayMs() const;

    // Runs on the reading thread for every decoded frame louder than `threshold`.
    void onLoudFrame(std::function<void()> callback);

    bool isSequential() const override { return true; }
    qint64 bytesAvailable() const override;

protected:
    qint64 readData(char* data, qint64 maxSize) override;
    qint64 writeData(const char*, qint64) override { return -1; }

private:
    explicit VoicePlayoutDevice(OpusDecoder* decoder);
    void decodeNextFrame();

    OpusDecoder* m_decoder = nullptr;
    mutable std::mutex m_mutex; // guards the buffer, the format and the callback
    VoicePlayoutBuffer m_buffer;
    QAudioFormat::SampleFormat m_format = QAudioFormat::Int16;
    std::function<void()> m_loudFrame;
    std::atomic<bool> m_muted{false};
    QElapsedTimer m_clock;

    // The decoded frame being read, in the output's format.
    std::vector<qint16> m_pcm;
    QByteArray m_staged;
    qsizetype m_stagedOffset = 0;
};
