#pragma once

#include <QAudioDevice>
#include <QAudioFormat>
#include <QByteArray>
#include <QList>
#include <QObject>
#include <QString>
#include <QTimer>

#include <memory>

#include <opus.h>

class QAudioSource;
class QIODevice;
class VoiceAudioTrack;

// The member's microphone: capture at 48 kHz mono 16-bit in 10 ms chunks, the
// own speaking detector (on with a loud chunk, off 250 ms after the last one),
// 20 ms Opus frames from one encoder and one media clock, each packet sent on
// every open track. Muted, it captures silence and neither measures nor sends.
// It lives on the voice engine's audio thread: the device is read, measured
// and encoded there, and only speaking changes leave it (queued).
class VoiceCapture : public QObject
{
    Q_OBJECT

public:
    using Tracks = QList<std::shared_ptr<VoiceAudioTrack>>;

    explicit VoiceCapture(QObject* parent = nullptr);
    ~VoiceCapture() override;

    // For a join: a new encoder and media clock, then the capture (the
    // device's preferred format is tried when it refuses the capture format).
    // The error message, or an empty string.
    QString open(const QAudioDevice& device);
    // The capture alone on another device, keeping encoder and media clock.
    QString restart(const QAudioDevice& device);
    void stop();
    // Stops and destroys the encoder.
    void close();

    void setMuted(bool muted);
    // Where each encoded packet goes: the open ones of these tracks.
    void setTracks(const Tracks& tracks) { m_tracks = tracks; }

    // One chunk of captured PCM (what the device delivers goes here).
    void process(const QByteArray& pcm);

signals:
    void speakingChanged(bool speaking);

private:
    friend class VoiceEngineProbe; // lets the engine's tests feed the capture themselves

    QString startSource(const QAudioDevice& device, const QAudioFormat& format);
    void readDevice();
    void setSpeaking(bool speaking);
    void encodeFrames();
    void destroyEncoder();

    Tracks m_tracks;
    std::unique_ptr<QAudioSource> m_source;
    QIODevice* m_io = nullptr;
    OpusEncoder* m_encoder = nullptr;
    QByteArray m_pending;
    quint64 m_sentMicroseconds = 0;
    quint64 m_encodedFrames = 0;
    bool m_muted = false;
    bool m_speaking = false;
    QTimer m_speakingHold;
    unsigned char m_packet[4000] = {};
};
