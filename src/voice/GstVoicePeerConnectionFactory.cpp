#include "voice/GstVoicePeerConnectionFactory.h"

#include "voice/GstVoicePeerConnection.h"

// glib's headers use "signals" as a name, which Qt defines as a keyword.
#undef signals
#include <gst/gst.h>

#include <mutex>

GstVoicePeerConnectionFactory::GstVoicePeerConnectionFactory()
{
    m_loopbackOnly = qEnvironmentVariable("MOONLODGE_ICE_LOOPBACK_ONLY") == QLatin1String("1");
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
                                                                           QString* error)
{
    static std::once_flag initialised;
    static bool available = false;
    static QString initialisationError;
    std::call_once(initialised, [] {
        GError* failure = nullptr;
        available = gst_init_check(nullptr, nullptr, &failure);
        if (!available)
            initialisationError = failure ? QString::fromUtf8(failure->message) : QStringLiteral("GStreamer is not available");
        if (failure)
            g_error_free(failure);
    });
    if (!available) {
        if (error)
            *error = initialisationError;
        return nullptr;
    }
    return GstVoicePeerConnection::create(configuration, m_loopbackOnly, error);
}
