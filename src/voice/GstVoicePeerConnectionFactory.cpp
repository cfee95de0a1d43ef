#include "voice/GstVoicePeerConnectionFactory.h"

#include "voice/GstVoicePeerConnection.h"
#include "voice/GstVoicePipeline.h"
#include "voice/GstVoiceWorker.h"

GstVoicePeerConnectionFactory::GstVoicePeerConnectionFactory()
{
    m_loopbackOnly = qEnvironmentVariable("MOONLODGE_ICE_LOOPBACK_ONLY") == QLatin1String("1");
    // GStreamer starts up in the background now, not on the first join.
    GstVoiceWorker::post([] { GstVoicePipeline::initialise(); });
}

void GstVoicePeerConnectionFactory::setLoopbackOnly(bool loopbackOnly)
{
    m_loopbackOnly = loopbackOnly;
}

bool GstVoicePeerConnectionFactory::isLoopbackOnly() const
{
    return m_loopbackOnly;
}

std::shared_ptr<VoicePeerConnection> GstVoicePeerConnectionFactory::create(const VoicePeerConfiguration& configuration,
                                                                           QString*)
{
    return GstVoicePeerConnection::create(configuration, m_loopbackOnly);
}
