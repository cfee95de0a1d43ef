#include "voice/VoiceMemberOutput.h"

#include "voice/VoicePlayoutDevice.h"

#include <QAudioSink>

namespace {

constexpr int SpeakingHoldMs = 350;

} // namespace

VoiceMemberOutput::VoiceMemberOutput(std::shared_ptr<VoicePlayoutDevice> playout, const QAudioDevice& device,
                                     const QAudioFormat& format)
    : m_playout(std::move(playout))
    , m_device(device)
    , m_format(format)
{
}

VoiceMemberOutput::~VoiceMemberOutput()
{
    m_playout->onLoudFrame(nullptr);
    if (m_sink)
        m_sink->stop();
}

void VoiceMemberOutput::start()
{
    m_speakingTimer = new QTimer(this);
    m_speakingTimer->setSingleShot(true);
    m_speakingTimer->setInterval(SpeakingHoldMs);
    connect(m_speakingTimer, &QTimer::timeout, this, [this] {
        m_speaking = false;
        emit speakingChanged(false);
    });
    // Called from the sink's reads, which run on this thread.
    m_playout->setSampleFormat(m_format.sampleFormat());
    m_playout->onLoudFrame([this] { noteLoudFrame(); });

    m_sink = new QAudioSink(m_device, m_format, this);
    m_sink->setBufferSize(m_format.bytesForDuration(BufferMs * 1000));
    m_sink->start(m_playout.get());
    if (m_sink->error() != QAudio::NoError) {
        m_playout->onLoudFrame(nullptr);
        emit failed(QStringLiteral("The audio output could not be started."));
    }
}

void VoiceMemberOutput::noteLoudFrame()
{
    if (!m_speaking) {
        m_speaking = true;
        emit speakingChanged(true);
    }
    m_speakingTimer->start();
}
