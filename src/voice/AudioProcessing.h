#pragma once

#include <QtGlobal>

#include <array>
#include <memory>

namespace webrtc {
class AudioProcessing;
}

// Echo cancellation, noise suppression and automatic gain for the microphone,
// over the WebRTC audio processing library. It works on 10 ms frames of 48 kHz
// mono 16-bit audio: every frame the member hears goes to analyzeRender (the
// far-end reference), every captured frame through processCapture, in place.
// All three are on by default. Not a QObject: it lives on the audio thread
// beside the capture and playout, and every call comes from that thread.
class AudioProcessing
{
public:
    static constexpr int SampleRate = 48000;
    static constexpr int FrameSamples = SampleRate / 100;
    using Frame = std::array<qint16, FrameSamples>;

    AudioProcessing();
    ~AudioProcessing();
    AudioProcessing(const AudioProcessing&) = delete;
    AudioProcessing& operator=(const AudioProcessing&) = delete;

    // False when the library could not be set up; processCapture then leaves
    // frames untouched.
    bool isValid() const { return m_apm != nullptr; }

    void setEchoCancellation(bool enabled);
    void setNoiseSuppression(bool enabled);
    void setAutomaticGain(bool enabled);
    bool echoCancellation() const { return m_echoCancellation; }
    bool noiseSuppression() const { return m_noiseSuppression; }
    bool automaticGain() const { return m_automaticGain; }

    // How long after analyzeRender sees a frame its echo reaches processCapture:
    // output latency plus input latency. A hint only; the canceller also
    // estimates the delay itself.
    void setStreamDelayMs(int delayMs);
    int streamDelayMs() const { return m_streamDelayMs; }

    void analyzeRender(const Frame& frame);
    // Returns false when the library refused the frame (left as it was).
    bool processCapture(Frame& frame);

private:
    std::unique_ptr<webrtc::AudioProcessing> m_apm;
    bool m_echoCancellation = true;
    bool m_noiseSuppression = true;
    bool m_automaticGain = true;
    int m_streamDelayMs = 0;
};
