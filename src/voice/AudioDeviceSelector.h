#pragma once

#include <QByteArray>
#include <QList>
#include <QPair>
#include <QStringList>
#include <QObject>

class AudioSettingsPanel;
class QComboBox;
class QMediaDevices;
class QTimer;
class VoiceChatManager;

// The microphone and speaker choice: fills the two lists of the audio
// settings panel, applies and remembers the choice, and follows devices as they are plugged in
// and out. The member's preferred ids live in the settings; the ids applied to
// the engine may differ while a preferred device is unplugged.
class AudioDeviceSelector : public QObject
{
    Q_OBJECT

public:
    AudioDeviceSelector(VoiceChatManager* voice, AudioSettingsPanel* settingsPanel, QObject* parent = nullptr);

    // Applies the remembered devices to the engine (at start-up).
    void restoreSavedDevices();
    // Fills both lists from the devices present now (each time the panel opens).
    void refillDeviceLists();

    // Hot-plug: the device lists changed.
    void onMicrophonesChanged();
    void onSpeakersChanged();

    QComboBox* microphoneList() const { return m_microphones; }
    // The ids given to the engine (empty: the system default).
    QByteArray appliedMicrophoneId() const { return m_appliedMicrophoneId; }
    QByteArray appliedSpeakerId() const { return m_appliedSpeakerId; }

    // The names shown for devices (description, id) in list order: a description
    // that several devices share is followed by the part of each id that differs.
    static QStringList deviceLabels(const QList<QPair<QString, QByteArray>>& devices);
    QComboBox* speakerList() const { return m_speakers; }

private:
    struct Kind;
    static const Kind kMicrophone;
    static const Kind kSpeaker;

    void fill(QComboBox* list, const Kind& kind);
    void pick(QComboBox* list, int index, const Kind& kind);
    void follow(const Kind& kind);
    void apply(const Kind& kind, const QByteArray& id);
    void pollDeviceLists();

    VoiceChatManager* m_voice;
    QByteArray m_appliedMicrophoneId;
    QByteArray m_appliedSpeakerId;
    QComboBox* m_microphones = nullptr;
    QComboBox* m_speakers = nullptr;
    QMediaDevices* m_mediaDevices = nullptr;
    QTimer* m_pollTimer = nullptr;
    QList<QByteArray> m_knownInputs;
    QList<QByteArray> m_knownOutputs;
    bool m_polledOnce = false;
};
