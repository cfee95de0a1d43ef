#pragma once

#include <QFrame>

class MicLevelMeter;
class PushToTalkKey;
class QButtonGroup;
class QComboBox;
class QLabel;
class QPushButton;
class ToggleSwitch;

// The audio settings panel ("voiceSettingsPanel") of the voice toolbar: the
// microphone and speaker lists (filled by AudioDeviceSelector), a "Test" tone
// for the speaker, the live microphone level with the speaking threshold, the
// three processing switches, and the choice between voice activity and push
// to talk with its key. Every choice is remembered in the settings store and
// announced through the signals, which the window forwards to the engine.
class AudioSettingsPanel : public QFrame
{
    Q_OBJECT

public:
    explicit AudioSettingsPanel(QWidget* parent = nullptr);

    QComboBox* microphoneList() const { return m_microphones; }
    QComboBox* speakerList() const { return m_speakers; }
    QPushButton* testButton() const { return m_test; }
    QPushButton* closeButton() const { return m_close; }
    MicLevelMeter* levelMeter() const { return m_meter; }
    ToggleSwitch* echoCancellationSwitch() const { return m_echoCancellation; }
    ToggleSwitch* noiseSuppressionSwitch() const { return m_noiseSuppression; }
    ToggleSwitch* automaticGainSwitch() const { return m_automaticGain; }
    QPushButton* voiceActivityButton() const { return m_voiceActivity; }
    QPushButton* pushToTalkButton() const { return m_pushToTalk; }
    QPushButton* keyButton() const { return m_keyButton; }
    // Says when the key is seen only while the window has focus.
    QLabel* keyNote() const { return m_keyNote; }
    // The key while push to talk is the mode, null otherwise.
    PushToTalkKey* pushToTalkKey() const { return m_key; }

    bool isPushToTalk() const;
    int speakingThreshold() const;

    // Emits every setting's signal once with its current value: how the engine
    // learns the remembered choices at start-up.
    void publishSettings();

public slots:
    void setMicrophoneLevel(int level);

signals:
    void audioProcessingChanged(bool echoCancellation, bool noiseSuppression, bool automaticGain);
    void speakingThresholdChanged(int threshold);
    void pushToTalkEnabledChanged(bool enabled);
    void pushToTalkPressedChanged(bool pressed);
    // On while the panel is open: the meter needs the microphone even out of voice.
    void microphoneMonitoringChanged(bool monitoring);
    void testToneRequested();

protected:
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;

private:
    QLayout* buildHeader();
    QComboBox* deviceList();
    QLayout* buildModeChoice();
    void restoreSettings();
    void saveProcessing();
    void saveThreshold(int threshold);
    void applyMode(bool pushToTalk);
    void startRecordingKey();
    void keyRecorded();
    void showKey();

    QPushButton* m_close = nullptr;
    QComboBox* m_microphones = nullptr;
    QComboBox* m_speakers = nullptr;
    QPushButton* m_test = nullptr;
    MicLevelMeter* m_meter = nullptr;
    ToggleSwitch* m_echoCancellation = nullptr;
    ToggleSwitch* m_noiseSuppression = nullptr;
    ToggleSwitch* m_automaticGain = nullptr;
    QButtonGroup* m_modes = nullptr;
    QPushButton* m_voiceActivity = nullptr;
    QPushButton* m_pushToTalk = nullptr;
    QPushButton* m_keyButton = nullptr;
    QLabel* m_keyNote = nullptr;
    PushToTalkKey* m_key = nullptr;
};
