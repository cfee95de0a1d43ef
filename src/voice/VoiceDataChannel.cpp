#include "voice/VoiceDataChannel.h"

VoiceDataChannel::~VoiceDataChannel() = default;

void VoiceDataChannel::onOpen(Callback callback)
{
    std::lock_guard<std::recursive_mutex> lock(m_mutex);
    m_open = std::move(callback);
}

void VoiceDataChannel::onClosed(Callback callback)
{
    std::lock_guard<std::recursive_mutex> lock(m_mutex);
    m_closed = std::move(callback);
}

void VoiceDataChannel::resetCallbacks()
{
    std::lock_guard<std::recursive_mutex> lock(m_mutex);
    m_open = nullptr;
    m_closed = nullptr;
}

void VoiceDataChannel::notifyOpen()
{
    std::lock_guard<std::recursive_mutex> lock(m_mutex);
    if (m_open)
        m_open();
}

void VoiceDataChannel::notifyClosed()
{
    std::lock_guard<std::recursive_mutex> lock(m_mutex);
    if (m_closed)
        m_closed();
}
