#include "voice/VoicePeerConnection.h"

#include "voice/VoiceAudioTrack.h"
#include "voice/VoiceDataChannel.h"

const char* const VoicePeerConfiguration::DefaultStunUrl = "stun:stun.l.google.com:19302";

VoicePeerConfiguration VoicePeerConfiguration::forVoiceRoom()
{
    VoicePeerConfiguration configuration;
    configuration.stunUrl = qEnvironmentVariableIsSet("MOONLODGE_STUN_URL")
        ? qEnvironmentVariable("MOONLODGE_STUN_URL").trimmed()
        : QString::fromLatin1(DefaultStunUrl);
    configuration.disableAutoNegotiation = true;
    return configuration;
}

VoicePeerConnection::~VoicePeerConnection() = default;

void VoicePeerConnection::onStateChange(StateCallback callback)
{
    std::lock_guard<std::recursive_mutex> lock(m_mutex);
    m_state = std::move(callback);
}

void VoicePeerConnection::onLocalDescription(DescriptionCallback callback)
{
    std::lock_guard<std::recursive_mutex> lock(m_mutex);
    m_description = std::move(callback);
}

void VoicePeerConnection::onLocalCandidate(CandidateCallback callback)
{
    std::lock_guard<std::recursive_mutex> lock(m_mutex);
    m_candidate = std::move(callback);
}

void VoicePeerConnection::onDataChannel(DataChannelCallback callback)
{
    std::lock_guard<std::recursive_mutex> lock(m_mutex);
    m_dataChannel = std::move(callback);
}

void VoicePeerConnection::onFailure(FailureCallback callback)
{
    std::lock_guard<std::recursive_mutex> lock(m_mutex);
    m_failure = std::move(callback);
}

void VoicePeerConnection::onStats(StatsCallback callback)
{
    std::lock_guard<std::recursive_mutex> lock(m_mutex);
    m_stats = std::move(callback);
}

void VoicePeerConnection::resetCallbacks()
{
    std::lock_guard<std::recursive_mutex> lock(m_mutex);
    m_state = nullptr;
    m_description = nullptr;
    m_candidate = nullptr;
    m_dataChannel = nullptr;
    m_failure = nullptr;
    m_stats = nullptr;
}

void VoicePeerConnection::notifyStateChange(State state)
{
    std::lock_guard<std::recursive_mutex> lock(m_mutex);
    if (m_state)
        m_state(state);
}

void VoicePeerConnection::notifyLocalDescription(const QString& type, const QString& sdp)
{
    std::lock_guard<std::recursive_mutex> lock(m_mutex);
    if (m_description)
        m_description(type, sdp);
}

void VoicePeerConnection::notifyLocalCandidate(const QString& candidate, const QString& mid)
{
    std::lock_guard<std::recursive_mutex> lock(m_mutex);
    if (m_candidate)
        m_candidate(candidate, mid);
}

void VoicePeerConnection::notifyDataChannel(std::shared_ptr<VoiceDataChannel> channel)
{
    std::lock_guard<std::recursive_mutex> lock(m_mutex);
    if (m_dataChannel)
        m_dataChannel(std::move(channel));
}

void VoicePeerConnection::notifyFailure(const QString& message)
{
    std::lock_guard<std::recursive_mutex> lock(m_mutex);
    if (m_failure)
        m_failure(message);
}

void VoicePeerConnection::notifyStats(const GstStructure* stats, quint64 rtcpReports)
{
    std::lock_guard<std::recursive_mutex> lock(m_mutex);
    if (m_stats)
        m_stats(stats, rtcpReports);
}
