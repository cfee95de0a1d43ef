#pragma once

#include "voice/VoicePlayoutBuffer.h"

#include <QElapsedTimer>
#include <QString>

#include <atomic>
#include <memory>
#include <mutex>
#include <utility>
#include <vector>

struct OpusDecoder;

// What one remote member says, as 48 kHz stereo 16-bit PCM for the output
// mixer: RTP packets go into a playout buffer from whatever thread receives
// them, and each read takes 20 ms frames out of it and decodes them (Opus
// concealment and FEC for missing frames). Reads run on the mixer's thread.
class VoicePlayoutDevice
{
public:
    static constexpr int Channels = 2;
    static constexpr int SpeakingThreshold = 449;

    // Null with the libopus error in `error` when no decoder can be made.
    static std::shared_ptr<VoicePlayoutDevice> create(QString* error);
    ~VoicePlayoutDevice();
    VoicePlayoutDevice(const VoicePlayoutDevice&) = delete;
    VoicePlayoutDevice& operator=(const VoicePlayoutDevice&) = delete;

    // Any thread.
    void receiveRtp(const QByteArray& packet, int payloadType);
    // What the mixer multiplies the member's audio by: 0 silences from the next block on.
    void setGain(float gain) { m_gain = gain; }
    float gain() const { return m_gain; }
    // The audio waiting to be played, averaged over the last second.
    int delayMs() const;

    // The mixer's thread: `frames` stereo frames, interleaved.
    void read(qint16* out, int frames);
    // Whether a frame louder than the speaking threshold was decoded since the last call.
    bool takeLoudFrame() { return std::exchange(m_loud, false); }

private:
    explicit VoicePlayoutDevice(OpusDecoder* decoder);
    void decodeNextFrame();

    OpusDecoder* m_decoder = nullptr;
    mutable std::mutex m_mutex; // guards the buffer
    VoicePlayoutBuffer m_buffer;
    std::atomic<float> m_gain{1.0f};
    QElapsedTimer m_clock;

    // The decoded frame being read.
    std::vector<qint16> m_pcm;
    int m_pcmFrames = 0;
    int m_pcmOffset = 0;
    bool m_loud = false;
};
