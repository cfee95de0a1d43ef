#pragma once

#include "voice/VoiceCapture.h"

#include <QAudioDevice>
#include <QHash>
#include <QObject>
#include <QString>

#include <functional>

class QThread;

// The microphone as the GUI thread drives it. The capture lives on the audio
// thread and every request goes there without waiting: opening a device
// answers later, on this thread, through the callback given with it (the
// answers still due are dropped when the call ends). Outside a call the
// microphone can be opened for the level meter alone.
class VoiceMicrophone : public QObject
{
    Q_OBJECT

public:
    // failure: the device asked for could not be opened (empty: it works);
    // restoreFailure: neither could the previous one (a device change only).
    using Done = std::function<void(const QString& failure, const QString& restoreFailure)>;

    // The capture is moved to audioThread; it is deleted there after this.
    explicit VoiceMicrophone(QThread* audioThread, QObject* parent = nullptr);
    ~VoiceMicrophone() override;

    // Thread-safe entry for the output's far-end reference (VoiceCapture::addPlayedAudio).
    VoiceCapture* capture() const { return m_capture; }

    // For a join: a new encoder, then the device.
    void open(const QAudioDevice& device, Done done);
    // During a call: another device, or the previous one again when it fails.
    void switchDevice(const QAudioDevice& device, const QAudioDevice& previous, Done done);
    // The end of the call: the capture stops, or goes back to the meter.
    void close();
    // In a call, with a working device.
    bool isCapturing() const { return m_capturing; }

    // Outside a call, the device opened for the meter only (nothing is sent).
    void setMonitoring(bool monitoring, const QAudioDevice& device);
    void setMuted(bool muted);
    void setSending(bool sending);
    void setSpeakingThreshold(int threshold);
    void setAudioProcessing(bool echoCancellation, bool noiseSuppression, bool automaticGain);
    void setTracks(const VoiceCapture::Tracks& tracks);

signals:
    void speakingChanged(bool speaking);
    void levelChanged(int level);

private:
    using Work = std::function<std::pair<QString, QString>(VoiceCapture*)>;
    void request(Work work, Done done);
    void post(std::function<void(VoiceCapture*)> work);
    void startMonitoring();
    void finish(int request, const QString& failure, const QString& restoreFailure);

    VoiceCapture* m_capture;
    QHash<int, Done> m_pending;
    int m_lastRequest = 0;
    bool m_inCall = false;
    bool m_capturing = false;
    bool m_monitoring = false;
    QAudioDevice m_monitoredDevice;
};
