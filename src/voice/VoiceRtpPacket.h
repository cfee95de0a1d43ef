#pragma once

#include <QByteArray>
#include <QtGlobal>

// One RTP packet of the voice room's audio: the fixed header the engine
// writes, and the checks it applies to what peers send.
struct VoiceRtpPacket
{
    static constexpr int HeaderBytes = 12;

    int payloadType = 111;
    bool marker = false;
    quint16 sequence = 0;
    quint32 timestamp = 0;
    quint32 ssrc = 0;
    // Borrowed from the parsed buffer; valid as long as it is.
    const char* payload = nullptr;
    int payloadSize = 0;

    // Parses a packet of the given payload type (version 2, CSRCs, header
    // extension and padding honoured). False for anything else, and for an
    // empty payload.
    bool parse(const char* data, qsizetype size, int expectedPayloadType);
    // Writes the 12-byte header followed by the payload into `out`, which has
    // room for HeaderBytes + payloadSize bytes.
    void write(unsigned char* out) const;
};
