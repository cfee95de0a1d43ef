#pragma once

#include <QByteArray>
#include <QHash>
#include <QList>
#include <QObject>
#include <QSet>
#include <QString>

#include <functional>

class QThread;
class VoiceOutputMixer;
class VoiceRemoteMember;

// The voice engine's output, as the GUI thread drives it: the mixer that plays
// everything heard on one speaker (living on the audio thread), the members in
// that mix, the speaker choice, and the local mutes and volumes kept by user
// name (so they survive a member's reconnect and a speaker change).
class VoiceRoomOutput : public QObject
{
    Q_OBJECT

public:
    explicit VoiceRoomOutput(QThread* audioThread, QObject* parent = nullptr);
    ~VoiceRoomOutput() override;

    const QByteArray& speakerDeviceId() const { return m_speakerDeviceId; }
    void setSpeakerDeviceId(const QByteArray& id) { m_speakerDeviceId = id; }

    // Puts the member into the mix with their mute and volume (until it is destroyed).
    void attach(VoiceRemoteMember* member);
    // Moves the mix to the chosen speaker.
    void restart();
    bool hasMembers() const { return !m_members.isEmpty(); }

    // The new state; whether a member in the mix was affected goes to the log.
    bool toggleMute(const QString& username);
    bool isMuted(const QString& username) const { return m_mutedUsernames.contains(username); }
    void clearMutes() { m_mutedUsernames.clear(); }
    void setVolume(const QString& username, int percent);
    int volume(const QString& username) const { return m_volumes.value(username, 100); }

    void playTestTone();
    void setPlayedAudioTap(std::function<void(const qint16* samples, int frames, int channels)> tap);

signals:
    void failed(const QString& message);

private:
    // Points the mixer at the chosen speaker; false, with failed, when nothing can play there.
    bool prepare(QString* deviceDescription);

    VoiceOutputMixer* m_mixer = nullptr;
    QByteArray m_speakerDeviceId;
    QList<VoiceRemoteMember*> m_members;
    QSet<QString> m_mutedUsernames;
    QHash<QString, int> m_volumes; // those other than 100 %
};
