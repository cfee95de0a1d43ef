#pragma once

#include <QAudioDevice>
#include <QAudioFormat>
#include <QIODevice>
#include <QString>

#include <functional>
#include <memory>
#include <vector>

class QAudioSink;
class QTimer;
class VoicePlayoutDevice;

// Everything the member hears, on one output: a single pull-mode QAudioSink on
// the chosen speaker reads this device, and every read mixes the remote
// members' playouts (each times its gain, summed with saturation) and the
// test tone, in blocks of at most 10 ms. It also keeps each member's speaking
// state (on with the first loud frame played, off 350 ms after the last) and
// hands every block it plays to the played-audio tap (the echo canceller's
// far-end reference). Lives on the voice engine's audio thread: create it
// there or move it there, and call everything but formatFor there.
class VoiceOutputMixer : public QIODevice
{
    Q_OBJECT

public:
    using PlayedAudioTap = std::function<void(const qint16* samples, int frames, int channels)>;

    static constexpr int SampleRate = 48000;
    static constexpr int Channels = 2;
    static constexpr int BlockFrames = SampleRate / 100;
    // The sink's buffer, the same duration whatever the sample format.
    static constexpr int BufferMs = 30;
    static constexpr int SpeakingHoldMs = 350;
    static constexpr int ToneMs = 600;

    explicit VoiceOutputMixer(QObject* parent = nullptr);
    ~VoiceOutputMixer() override;

    // The format to play on `device`: 16-bit stereo, or float stereo when the
    // device only takes that. Invalid with the reason in `error` otherwise.
    // Any thread.
    static QAudioFormat formatFor(const QAudioDevice& device, QString* error);

    // Where to play; a running output moves there at once (a new sink).
    void setOutput(const QAudioDevice& device, const QAudioFormat& format);
    void addInput(const std::shared_ptr<VoicePlayoutDevice>& playout);
    void removeInput(const VoicePlayoutDevice* playout);
    // A short, soft tone, mixed with whatever else plays.
    void playTone();
    void setPlayedAudioTap(PlayedAudioTap tap) { m_tap = std::move(tap); }

    bool isSequential() const override { return true; }
    qint64 bytesAvailable() const override;

signals:
    // `input` is the playout device the state belongs to (its address, as an identity).
    void speakingChanged(quintptr input, bool speaking);
    void failed(const QString& message);

protected:
    qint64 readData(char* data, qint64 maxSize) override;
    qint64 writeData(const char*, qint64) override { return -1; }

private:
    struct Input
    {
        std::shared_ptr<VoicePlayoutDevice> playout;
        QTimer* speakingHold = nullptr;
        bool speaking = false;
    };

    void updateSink();
    void startSink();
    void stopSink();
    void mixBlock(int frames);
    void mixTone(int frames);
    void noteLoudFrame(Input& input);

    QAudioDevice m_device;
    QAudioFormat m_format;
    QAudioSink* m_sink = nullptr;
    std::vector<Input> m_inputs;
    PlayedAudioTap m_tap;
    int m_toneFramesLeft = 0;
    double m_tonePhase = 0.0;

    std::vector<qint32> m_sum;
    std::vector<qint16> m_block;
    std::vector<qint16> m_inputBlock;
};
