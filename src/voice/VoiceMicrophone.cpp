#include "voice/VoiceMicrophone.h"

#include "app/LogCategories.h"

#include <QDebug>
#include <QThread>

#include <utility>

VoiceMicrophone::VoiceMicrophone(QThread* audioThread, QObject* parent)
    : QObject(parent)
    , m_capture(new VoiceCapture)
{
    m_capture->moveToThread(audioThread);
    connect(m_capture, &VoiceCapture::finished, this, &VoiceMicrophone::finish);
    connect(m_capture, &VoiceCapture::speakingChanged, this, &VoiceMicrophone::speakingChanged);
    connect(m_capture, &VoiceCapture::levelChanged, this, &VoiceMicrophone::levelChanged);
}

VoiceMicrophone::~VoiceMicrophone()
{
    m_capture->deleteLater();
}

void VoiceMicrophone::post(std::function<void(VoiceCapture*)> work)
{
    VoiceCapture* capture = m_capture;
    QMetaObject::invokeMethod(capture, [capture, work = std::move(work)] { work(capture); }, Qt::QueuedConnection);
}

void VoiceMicrophone::request(Work work, Done done)
{
    const int id = ++m_lastRequest;
    m_pending.insert(id, std::move(done));
    post([id, work = std::move(work)](VoiceCapture* capture) {
        const auto [failure, restoreFailure] = work(capture);
        emit capture->finished(id, failure, restoreFailure);
    });
}

void VoiceMicrophone::finish(int request, const QString& failure, const QString& restoreFailure)
{
    const Done done = m_pending.take(request);
    if (done) // otherwise the call it was for has ended
        done(failure, restoreFailure);
}

void VoiceMicrophone::open(const QAudioDevice& device, Done done)
{
    m_inCall = true;
    request([device](VoiceCapture* capture) { return std::pair(capture->open(device), QString()); },
            [this, done = std::move(done)](const QString& failure, const QString& restoreFailure) {
                m_capturing = failure.isEmpty();
                done(failure, restoreFailure);
            });
}

void VoiceMicrophone::switchDevice(const QAudioDevice& device, const QAudioDevice& previous, Done done)
{
    m_capturing = false;
    request(
        [device, previous](VoiceCapture* capture) {
            capture->stop();
            const QString failure = capture->restart(device);
            return std::pair(failure, failure.isEmpty() ? QString() : capture->restart(previous));
        },
        [this, done = std::move(done)](const QString& failure, const QString& restoreFailure) {
            m_capturing = failure.isEmpty() || restoreFailure.isEmpty();
            done(failure, restoreFailure);
        });
}

void VoiceMicrophone::close()
{
    m_inCall = false;
    m_capturing = false;
    m_pending.clear();
    post([](VoiceCapture* capture) {
        capture->close();
        capture->setTracks({});
    });
    if (m_monitoring)
        startMonitoring();
}

void VoiceMicrophone::setMonitoring(bool monitoring, const QAudioDevice& device)
{
    const bool wasMonitoring = std::exchange(m_monitoring, monitoring);
    m_monitoredDevice = device;
    if (m_inCall)
        return;
    if (monitoring)
        startMonitoring();
    else if (wasMonitoring)
        post([](VoiceCapture* capture) { capture->stop(); });
}

void VoiceMicrophone::startMonitoring()
{
    post([device = m_monitoredDevice](VoiceCapture* capture) {
        const QString failure = capture->monitor(device);
        if (!failure.isEmpty())
            qCWarning(lcVoice) << "Livello del microfono non disponibile:" << failure;
    });
}

void VoiceMicrophone::setMuted(bool muted)
{
    post([muted](VoiceCapture* capture) { capture->setMuted(muted); });
}

void VoiceMicrophone::setSending(bool sending)
{
    post([sending](VoiceCapture* capture) { capture->setSending(sending); });
}

void VoiceMicrophone::setSpeakingThreshold(int threshold)
{
    post([threshold](VoiceCapture* capture) { capture->setSpeakingThreshold(threshold); });
}

void VoiceMicrophone::setAudioProcessing(bool echoCancellation, bool noiseSuppression, bool automaticGain)
{
    post([=](VoiceCapture* capture) {
        capture->setAudioProcessing(echoCancellation, noiseSuppression, automaticGain);
    });
}

void VoiceMicrophone::setTracks(const VoiceCapture::Tracks& tracks)
{
    post([tracks](VoiceCapture* capture) { capture->setTracks(tracks); });
}
