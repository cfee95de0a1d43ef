#pragma once

// A WebRTC layer without network for the voice engine's tests: it records
// every operation and lets the test fire the callbacks a library would.

#include "voice/VoiceAudioTrack.h"
#include "voice/VoiceDataChannel.h"
#include "voice/VoicePeerConnection.h"
#include "voice/VoicePeerConnectionFactory.h"

#include <QList>
#include <QPair>
#include <QStringList>

#include <algorithm>
#include <memory>
#include <vector>

#include <opus.h>

// Whether an operation fails as staged: a non-empty failure goes to error.
inline bool failsAs(const QString& failure, QString* error)
{
    return !failure.isEmpty() && (*error = failure, true);
}

class FakeVoiceAudioTrack : public VoiceAudioTrack
{
public:
    QString mid() const override { return QStringLiteral("0"); }
    int payloadType() const override { return 111; }
    bool isOpen() const override { return open; }
    bool sendFrame(const QByteArray& packet, double seconds, QString*) override
    {
        sent.append({packet, seconds});
        return true;
    }

    // What was sent, decoded back to 48 kHz mono samples.
    std::vector<qint16> decodedSent() const
    {
        int error = 0;
        OpusDecoder* decoder = opus_decoder_create(48000, 1, &error);
        std::vector<qint16> decoded;
        qint16 pcm[960];
        for (const auto& [packet, seconds] : sent) {
            const int samples = opus_decode(decoder, reinterpret_cast<const uchar*>(packet.constData()), int(packet.size()), pcm, 960, 0);
            decoded.insert(decoded.end(), pcm, pcm + std::max(samples, 0));
        }
        opus_decoder_destroy(decoder);
        return decoded;
    }

    using VoiceAudioTrack::notifyMessage;

    bool open = false;
    QList<QPair<QByteArray, double>> sent;
};

class FakeVoiceDataChannel : public VoiceDataChannel
{
public:
    explicit FakeVoiceDataChannel(const QString& name) : name(name) {}
    QString label() const override { return name; }
    bool isOpen() const override { return false; }
    QString name;
};

class FakeVoicePeerConnection : public VoicePeerConnection
{
public:
    std::shared_ptr<VoiceAudioTrack> addTrack(const VoiceAudioMediaLine& line, QString*) override
    {
        media = line;
        return track = std::make_shared<FakeVoiceAudioTrack>();
    }
    std::shared_ptr<VoiceDataChannel> createDataChannel(const QString& label, QString*) override
    {
        return std::make_shared<FakeVoiceDataChannel>(label);
    }
    bool setLocalDescription(DescriptionType type, QString*) override
    {
        const bool answer = type == DescriptionType::Answer || (type == DescriptionType::Unspecified && remoteOfferApplied);
        const QString name = answer ? QStringLiteral("answer") : QStringLiteral("offer");
        localDescriptions << name;
        notifyLocalDescription(name, QStringLiteral("v=0 fake ") + name);
        return true;
    }
    bool setRemoteDescription(const QString&, const QString& type, QString* error) override
    {
        if (failsAs(remoteFailure, error))
            return false;
        remoteOfferApplied = type == QLatin1String("offer");
        return true;
    }
    bool addRemoteCandidate(const QString&, const QString&, QString*) override { return true; }
    State state() const override { return current; }
    void close() override
    {
        ++closeCount;
        resetCallbacks();
        current = State::Closed;
    }

    VoiceAudioMediaLine media;
    std::shared_ptr<FakeVoiceAudioTrack> track;
    QStringList localDescriptions;
    bool remoteOfferApplied = false;
    int closeCount = 0;
    State current = State::New;
    QString remoteFailure;
};

class FakeVoicePeerConnectionFactory : public VoicePeerConnectionFactory
{
public:
    std::shared_ptr<VoicePeerConnection> create(const VoicePeerConfiguration&, QString* error) override
    {
        if (failsAs(createFailure, error))
            return nullptr;
        created.append(std::make_shared<FakeVoicePeerConnection>());
        return created.last();
    }

    // The open connection to a member, told apart by the SSRC the engine derives from the sid.
    std::shared_ptr<FakeVoicePeerConnection> openFor(const QString& sid) const
    {
        const quint32 hashed = quint32(qHash(sid, 0) & 0xffffffffu);
        for (auto it = created.crbegin(); it != created.crend(); ++it)
            if ((*it)->closeCount == 0 && (*it)->track && (*it)->media.ssrc == (hashed ? hashed : 1))
                return *it;
        return nullptr;
    }

    QList<std::shared_ptr<FakeVoicePeerConnection>> created;
    QString createFailure;
};
