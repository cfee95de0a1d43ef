#pragma once

#include <QAudioDevice>
#include <QAudioFormat>
#include <QObject>
#include <QTimer>

#include <memory>

class QAudioSink;
class VoicePlayoutDevice;

// The audio output of one remote member, on the voice engine's audio thread:
// a QAudioSink pulling from the member's playout device, and the member's
// speaking state (on with the first loud frame played, off 350 ms after the
// last one). Create it on the GUI thread, move it to the audio thread, then
// call start there; delete it with deleteLater.
class VoiceMemberOutput : public QObject
{
    Q_OBJECT

public:
    VoiceMemberOutput(std::shared_ptr<VoicePlayoutDevice> playout, const QAudioDevice& device,
                      const QAudioFormat& format);
    ~VoiceMemberOutput() override;

    // The sink's buffer, the same duration whatever the sample format.
    static constexpr int BufferMs = 30;

public slots:
    void start();

signals:
    void speakingChanged(bool speaking);
    void failed(const QString& message);

private:
    void noteLoudFrame();

    std::shared_ptr<VoicePlayoutDevice> m_playout;
    QAudioDevice m_device;
    QAudioFormat m_format;
    QAudioSink* m_sink = nullptr;
    QTimer* m_speakingTimer = nullptr;
    bool m_speaking = false;
};
