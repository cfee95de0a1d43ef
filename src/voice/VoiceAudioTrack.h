#pragma once

#include <QByteArray>
#include <QString>

#include <functional>
#include <mutex>

// The audio media line of a voice peer connection, as a track: Opus frames go
// out through sendFrame (the track packetizes them into RTP), and what the peer
// sends arrives as raw RTP packets (onMessage).
// Callbacks run on the WebRTC library's threads.
class VoiceAudioTrack
{
public:
    using Callback = std::function<void()>;
    using DataCallback = std::function<void(const QByteArray& data)>;

    virtual ~VoiceAudioTrack();

    virtual QString mid() const = 0;
    // The RTP payload type Opus uses on this track once negotiated.
    virtual int payloadType() const = 0;
    virtual bool isOpen() const = 0;
    // Sends one Opus packet whose first sample is at `seconds` of the media clock.
    // False with the reason in error when the packet cannot be sent.
    virtual bool sendFrame(const QByteArray& opusPacket, double seconds, QString* error) = 0;

    void onOpen(Callback callback);
    void onClosed(Callback callback);
    void onMessage(DataCallback callback);
    // After this returns no callback of this track runs any more.
    void resetCallbacks();

protected:
    void notifyOpen();
    void notifyClosed();
    void notifyMessage(const QByteArray& rtpPacket);

private:
    std::recursive_mutex m_mutex;
    Callback m_open;
    Callback m_closed;
    DataCallback m_message;
};
