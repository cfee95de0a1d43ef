#include "voice/VoicePeerConnectionFactory.h"

VoicePeerConnectionFactory::~VoicePeerConnectionFactory() = default;
