#pragma once

#include "voice/VoicePeerConnection.h"

#include <QString>

#include <memory>

// Makes the peer connections of the voice engine.
class VoicePeerConnectionFactory
{
public:
    virtual ~VoicePeerConnectionFactory();
    // Null with the reason in error when the connection cannot be made.
    virtual std::shared_ptr<VoicePeerConnection> create(const VoicePeerConfiguration& configuration,
                                                        QString* error) = 0;
};
