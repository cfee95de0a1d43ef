#include "voice/AudioProcessing.h"

#include "app/LogCategories.h"

#include <webrtc/modules/audio_processing/include/audio_processing.h>
#include <webrtc/modules/interface/module_common_types.h>

#include <QDebug>

#include <algorithm>

namespace {

void fillFrame(webrtc::AudioFrame& target, const AudioProcessing::Frame& samples)
{
    target.UpdateFrame(0, 0, samples.data(), AudioProcessing::FrameSamples, AudioProcessing::SampleRate,
                       webrtc::AudioFrame::kNormalSpeech, webrtc::AudioFrame::kVadUnknown, 1);
}

} // namespace

AudioProcessing::AudioProcessing()
{
    // The canceller finds the echo delay itself and covers long echo paths:
    // the delay hint from the audio devices is only approximate.
    webrtc::Config config;
    config.Set<webrtc::DelayAgnostic>(new webrtc::DelayAgnostic(true));
    config.Set<webrtc::ExtendedFilter>(new webrtc::ExtendedFilter(true));
    config.Set<webrtc::ExperimentalAgc>(new webrtc::ExperimentalAgc(false));
    m_apm.reset(webrtc::AudioProcessing::Create(config));
    if (!m_apm) {
        qCWarning(lcVoice) << "Elaborazione audio non disponibile.";
        return;
    }
    m_apm->Initialize(SampleRate, SampleRate, SampleRate, webrtc::AudioProcessing::kMono,
                      webrtc::AudioProcessing::kMono, webrtc::AudioProcessing::kMono);
    m_apm->echo_cancellation()->set_suppression_level(webrtc::EchoCancellation::kModerateSuppression);
    m_apm->echo_cancellation()->enable_drift_compensation(false);
    m_apm->noise_suppression()->set_level(webrtc::NoiseSuppression::kHigh);
    m_apm->gain_control()->set_mode(webrtc::GainControl::kAdaptiveDigital);
    m_apm->gain_control()->set_target_level_dbfs(3);
    m_apm->gain_control()->set_compression_gain_db(9);
    m_apm->gain_control()->enable_limiter(true);
    setEchoCancellation(m_echoCancellation);
    setNoiseSuppression(m_noiseSuppression);
    setAutomaticGain(m_automaticGain);
}

AudioProcessing::~AudioProcessing() = default;

void AudioProcessing::setEchoCancellation(bool enabled)
{
    m_echoCancellation = enabled;
    if (m_apm)
        m_apm->echo_cancellation()->Enable(enabled);
}

void AudioProcessing::setNoiseSuppression(bool enabled)
{
    m_noiseSuppression = enabled;
    if (m_apm) {
        m_apm->noise_suppression()->Enable(enabled);
        m_apm->high_pass_filter()->Enable(enabled);
    }
}

void AudioProcessing::setAutomaticGain(bool enabled)
{
    m_automaticGain = enabled;
    if (m_apm)
        m_apm->gain_control()->Enable(enabled);
}

void AudioProcessing::setStreamDelayMs(int delayMs)
{
    // The library accepts 0 to 500 ms.
    m_streamDelayMs = std::clamp(delayMs, 0, 500);
}

void AudioProcessing::analyzeRender(const Frame& frame)
{
    if (!m_apm || !m_echoCancellation)
        return;
    webrtc::AudioFrame render;
    fillFrame(render, frame);
    m_apm->AnalyzeReverseStream(&render);
}

bool AudioProcessing::processCapture(Frame& frame)
{
    if (!m_apm)
        return false;
    if (!m_echoCancellation && !m_noiseSuppression && !m_automaticGain)
        return true;
    webrtc::AudioFrame capture;
    fillFrame(capture, frame);
    if (m_echoCancellation)
        m_apm->set_stream_delay_ms(m_streamDelayMs);
    if (m_apm->ProcessStream(&capture) != webrtc::AudioProcessing::kNoError)
        return false;
    std::copy_n(capture.data_, FrameSamples, frame.begin());
    return true;
}
