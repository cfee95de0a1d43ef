#include "voice/VoiceRoomOutput.h"

#include "app/LogCategories.h"
#include "voice/VoiceOutputMixer.h"
#include "voice/VoiceRemoteMember.h"

#include <QAudioDevice>
#include <QDebug>
#include <QMediaDevices>
#include <QThread>

#include <algorithm>

#include <pthread.h>
#include <sched.h>

namespace {

// The device with the id, or the default one when the id is empty or unknown.
QAudioDevice chooseOutputDevice(const QByteArray& id)
{
    if (!id.isEmpty()) {
        for (const QAudioDevice& device : QMediaDevices::audioOutputs())
            if (device.id() == id)
                return device;
    }
    return QMediaDevices::defaultAudioOutput();
}

} // namespace

VoiceRoomOutput::VoiceRoomOutput(QThread* audioThread, QObject* parent)
    : QObject(parent)
    , m_mixer(new VoiceOutputMixer)
{
    m_mixer->moveToThread(audioThread);
    connect(m_mixer, &VoiceOutputMixer::failed, this, &VoiceRoomOutput::failed);
    // The audio thread's work is small and bounded, but late by more than the
    // sink's buffer it is heard as a gap: real-time scheduling where the
    // system allows it (it does not for most users: then nothing changes).
    QMetaObject::invokeMethod(m_mixer, [] {
        sched_param parameters{};
        parameters.sched_priority = sched_get_priority_min(SCHED_RR);
        pthread_setschedparam(pthread_self(), SCHED_RR, &parameters);
    });
}

VoiceRoomOutput::~VoiceRoomOutput()
{
    // After the members' own last requests, on the audio thread.
    m_mixer->deleteLater();
}

bool VoiceRoomOutput::prepare(QString* deviceDescription)
{
    const QAudioDevice device = chooseOutputDevice(m_speakerDeviceId);
    QString failure;
    const QAudioFormat format = VoiceOutputMixer::formatFor(device, &failure);
    if (!format.isValid()) {
        emit failed(failure);
        return false;
    }
    VoiceOutputMixer* mixer = m_mixer;
    QMetaObject::invokeMethod(mixer, [mixer, device, format] { mixer->setOutput(device, format); });
    if (deviceDescription)
        *deviceDescription = device.description();
    return true;
}

void VoiceRoomOutput::attach(VoiceRemoteMember* member)
{
    if (!m_members.contains(member)) {
        m_members.append(member);
        connect(member, &QObject::destroyed, this, [this, member] { m_members.removeOne(member); });
    }
    member->setMuted(isMuted(member->username()));
    member->setVolume(volume(member->username()));
    QString device;
    if (!prepare(&device))
        return;
    member->startOutput(m_mixer);
    qCDebug(lcVoice) << "Riproduzione audio preparata per:" << member->sid() << "-" << device;
}

void VoiceRoomOutput::restart()
{
    QString device;
    const bool ready = prepare(&device);
    for (VoiceRemoteMember* member : std::as_const(m_members)) {
        if (!ready) {
            member->stopOutput();
            continue;
        }
        member->startOutput(m_mixer);
        qCDebug(lcVoice) << "Riproduzione audio preparata per:" << member->sid() << "-" << device;
    }
    qCDebug(lcVoice) << "Uscite audio remote riavviate:" << m_members.size();
}

bool VoiceRoomOutput::toggleMute(const QString& username)
{
    const bool muted = !m_mutedUsernames.remove(username);
    if (muted)
        m_mutedUsernames.insert(username);
    bool applied = false;
    for (VoiceRemoteMember* member : std::as_const(m_members)) {
        if (member->username() != username)
            continue;
        member->setMuted(muted);
        applied = applied || member->hasOutput();
    }
    qCDebug(lcVoice) << "Mute individuale:" << username << (muted ? "attivato" : "disattivato")
                     << "- connessione trovata:" << (applied ? "true" : "false");
    return muted;
}

void VoiceRoomOutput::setVolume(const QString& username, int percent)
{
    percent = std::clamp(percent, 0, 200);
    if (percent == 100)
        m_volumes.remove(username);
    else
        m_volumes.insert(username, percent);
    for (VoiceRemoteMember* member : std::as_const(m_members)) {
        if (member->username() == username)
            member->setVolume(percent);
    }
}

void VoiceRoomOutput::playTestTone()
{
    if (!prepare(nullptr))
        return;
    VoiceOutputMixer* mixer = m_mixer;
    QMetaObject::invokeMethod(mixer, [mixer] { mixer->playTone(); });
}

void VoiceRoomOutput::setPlayedAudioTap(std::function<void(const qint16*, int, int)> tap)
{
    VoiceOutputMixer* mixer = m_mixer;
    QMetaObject::invokeMethod(mixer, [mixer, tap = std::move(tap)] { mixer->setPlayedAudioTap(tap); });
}
