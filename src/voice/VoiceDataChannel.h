#pragma once

#include <QString>

#include <functional>
#include <mutex>

// One WebRTC data channel of a voice peer connection. The voice room carries no
// application data on it: only its opening and closing are observed.
// Callbacks run on the WebRTC library's threads.
class VoiceDataChannel
{
public:
    using Callback = std::function<void()>;

    virtual ~VoiceDataChannel();

    virtual QString label() const = 0;
    virtual bool isOpen() const = 0;

    void onOpen(Callback callback);
    void onClosed(Callback callback);
    // After this returns no callback of this channel runs any more.
    void resetCallbacks();

protected:
    void notifyOpen();
    void notifyClosed();

private:
    std::recursive_mutex m_mutex;
    Callback m_open;
    Callback m_closed;
};
