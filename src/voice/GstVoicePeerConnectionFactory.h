#pragma once

#include "voice/VoicePeerConnectionFactory.h"

#include <atomic>

// Makes webrtcbin peer connections (GStreamer is initialised on its worker thread).
class GstVoicePeerConnectionFactory : public VoicePeerConnectionFactory
{
public:
    // Loopback-only ICE starts as MOONLODGE_ICE_LOOPBACK_ONLY says ("1": on);
    // it is meant for tests and benchmarks inside a network namespace that
    // has nothing but loopback.
    GstVoicePeerConnectionFactory();

    // ICE gathers 127.0.0.1 and nothing else.
    void setLoopbackOnly(bool loopbackOnly);
    bool isLoopbackOnly() const;

    std::shared_ptr<VoicePeerConnection> create(const VoicePeerConfiguration& configuration, QString* error) override;

private:
    std::atomic<bool> m_loopbackOnly{false};
};
