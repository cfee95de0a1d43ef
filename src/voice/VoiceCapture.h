#pragma once

#include "voice/AudioProcessing.h"

#include <QAudioDevice>
#include <QAudioFormat>
#include <QByteArray>
#include <QList>
#include <QObject>
#include <QString>
#include <QTimer>

#include <atomic>
#include <memory>
#include <mutex>
#include <vector>

#include <opus.h>

class QAudioSource;
class QIODevice;
class VoiceAudioTrack;

// The member's microphone: capture at 48 kHz mono 16-bit in 10 ms chunks,
// echo cancellation, noise suppression and automatic gain on every 10 ms
// frame (against what the member hears, given through addPlayedAudio), the
// level meter and the own speaking detector (on with a frame louder than the
// threshold, off 250 ms after the last one), then 20 ms Opus frames from one
// encoder and one media clock, each packet sent on every open track.
// Muted, it captures silence and neither measures nor sends; with the sending
// gate closed (push-to-talk without the key) it measures but does not send,
// keeping the last 10 ms so that opening the gate sends with the next chunk.
// Opened for monitoring only (no encoder) it measures and nothing more.
// It lives on the voice engine's audio thread: the device is read, processed
// and encoded there, and only speaking and level changes leave it (queued).
class VoiceCapture : public QObject
{
    Q_OBJECT

public:
    using Tracks = QList<std::shared_ptr<VoiceAudioTrack>>;
    static constexpr int DefaultSpeakingThreshold = 449;

    explicit VoiceCapture(QObject* parent = nullptr);
    ~VoiceCapture() override;

    // For a join: a new encoder and media clock, then the capture (the
    // device's preferred format is tried when it refuses the capture format).
    // The error message, or an empty string.
    QString open(const QAudioDevice& device);
    // The capture alone on another device, keeping encoder and media clock.
    QString restart(const QAudioDevice& device);
    // The capture for the level meter only: no encoder, nothing sent.
    QString monitor(const QAudioDevice& device);
    void stop();
    // Stops and destroys the encoder.
    void close();

    void setMuted(bool muted);
    // Closed, nothing is sent and the member is not shown speaking.
    void setSending(bool sending);
    void setSpeakingThreshold(int threshold) { m_threshold = threshold; }
    void setAudioProcessing(bool echoCancellation, bool noiseSuppression, bool automaticGain);
    // Where each encoded packet goes: the open ones of these tracks.
    void setTracks(const Tracks& tracks) { m_tracks = tracks; }

    // What the member hears, as it is played: interleaved 16-bit at 48 kHz,
    // the echo canceller's far-end reference. Any thread; never blocks for
    // long. At most half a second waits for the capture: older audio goes.
    void addPlayedAudio(const qint16* samples, int frames, int channels);

    // One chunk of captured PCM (what the device delivers goes here).
    void process(const QByteArray& pcm);

signals:
    // The answer to a request of the GUI thread's VoiceMicrophone.
    void finished(int request, const QString& failure, const QString& restoreFailure);
    void speakingChanged(bool speaking);
    // The loudest 10 ms frame of the last 50 ms, after processing, as mean
    // absolute sample value (the threshold's unit).
    void levelChanged(int level);

private:
    friend class VoiceEngineProbe; // lets the engine's tests feed the capture themselves

    QString startCapture(const QAudioDevice& device);
    void releaseSource();
    QString startSource(const QAudioDevice& device, const QAudioFormat& format);
    void readDevice();
    void processFrame(AudioProcessing::Frame& frame);
    void analyzePlayedAudio();
    void discardPlayedAudio();
    void setSpeaking(bool speaking);
    void encodeFrames();
    void destroyEncoder();

    Tracks m_tracks;
    std::unique_ptr<QAudioSource> m_source;
    QIODevice* m_io = nullptr;
    OpusEncoder* m_encoder = nullptr;
    std::unique_ptr<AudioProcessing> m_processing;
    QByteArray m_unprocessed; // less than one 10 ms frame
    QByteArray m_pending;     // processed, less than one 20 ms frame
    quint64 m_sentMicroseconds = 0;
    quint64 m_encodedFrames = 0;
    bool m_muted = false;
    bool m_sending = true;
    bool m_speaking = false;
    int m_threshold = DefaultSpeakingThreshold;
    int m_levelFrames = 0;
    int m_loudestLevel = 0;
    QTimer m_speakingHold;
    unsigned char m_packet[4000] = {};

    // The far-end reference, mono, filled from the output's thread.
    std::mutex m_playedMutex;
    std::vector<qint16> m_played;
    std::atomic<bool> m_echoCancellation{true};
};
