#include "voice/VoiceAudioTrack.h"

VoiceAudioTrack::~VoiceAudioTrack() = default;

void VoiceAudioTrack::onOpen(Callback callback)
{
    std::lock_guard<std::recursive_mutex> lock(m_mutex);
    m_open = std::move(callback);
}

void VoiceAudioTrack::onClosed(Callback callback)
{
    std::lock_guard<std::recursive_mutex> lock(m_mutex);
    m_closed = std::move(callback);
}

void VoiceAudioTrack::onMessage(DataCallback callback)
{
    std::lock_guard<std::recursive_mutex> lock(m_mutex);
    m_message = std::move(callback);
}

void VoiceAudioTrack::resetCallbacks()
{
    std::lock_guard<std::recursive_mutex> lock(m_mutex);
    m_open = nullptr;
    m_closed = nullptr;
    m_message = nullptr;
}

void VoiceAudioTrack::notifyOpen()
{
    std::lock_guard<std::recursive_mutex> lock(m_mutex);
    if (m_open)
        m_open();
}

void VoiceAudioTrack::notifyClosed()
{
    std::lock_guard<std::recursive_mutex> lock(m_mutex);
    if (m_closed)
        m_closed();
}

void VoiceAudioTrack::notifyMessage(const QByteArray& rtpPacket)
{
    std::lock_guard<std::recursive_mutex> lock(m_mutex);
    if (m_message)
        m_message(rtpPacket);
}
