#include "voice/VoiceRtpPacket.h"

#include <cstring>

bool VoiceRtpPacket::parse(const char* data, qsizetype size, int expectedPayloadType)
{
    if (size < HeaderBytes)
        return false;
    const auto* bytes = reinterpret_cast<const unsigned char*>(data);
    if ((bytes[0] >> 6) != 2 || (bytes[1] & 0x7f) != expectedPayloadType)
        return false;

    qsizetype headerLength = HeaderBytes + 4 * (bytes[0] & 0x0f);
    if (size < headerLength)
        return false;
    if (bytes[0] & 0x10) {
        if (size - headerLength < 4)
            return false;
        const int words = (bytes[headerLength + 2] << 8) | bytes[headerLength + 3];
        headerLength += 4 + 4 * words;
        if (size < headerLength)
            return false;
    }

    qsizetype length = size - headerLength;
    if (bytes[0] & 0x20) {
        const int padding = length > 0 ? bytes[size - 1] : 0;
        if (padding < 1 || padding > length)
            return false;
        length -= padding;
    }
    if (length <= 0)
        return false;

    payloadType = expectedPayloadType;
    marker = (bytes[1] & 0x80) != 0;
    sequence = quint16((bytes[2] << 8) | bytes[3]);
    timestamp = (quint32(bytes[4]) << 24) | (quint32(bytes[5]) << 16) | (quint32(bytes[6]) << 8) | bytes[7];
    ssrc = (quint32(bytes[8]) << 24) | (quint32(bytes[9]) << 16) | (quint32(bytes[10]) << 8) | bytes[11];
    payload = data + headerLength;
    payloadSize = int(length);
    return true;
}

void VoiceRtpPacket::write(unsigned char* out) const
{
    out[0] = 0x80;
    out[1] = (marker ? 0x80 : 0x00) | (payloadType & 0x7f);
    out[2] = sequence >> 8;
    out[3] = sequence & 0xff;
    out[4] = timestamp >> 24;
    out[5] = timestamp >> 16;
    out[6] = timestamp >> 8;
    out[7] = timestamp;
    out[8] = ssrc >> 24;
    out[9] = ssrc >> 16;
    out[10] = ssrc >> 8;
    out[11] = ssrc;
    if (payloadSize > 0)
        std::memcpy(out + HeaderBytes, payload, size_t(payloadSize));
}
