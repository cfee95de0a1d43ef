#include "voice/AudioSettingsPanel.h"

#include "session/AppSettings.h"
#include "voice/PushToTalkKey.h"
#include "widgets/MicLevelMeter.h"
#include "widgets/ToggleSwitch.h"

#include <QButtonGroup>
#include <QComboBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QSettings>
#include <QVBoxLayout>

namespace {

const char* const PanelStyle =
    "#voiceSettingsPanel { background: rgba(18, 11, 32, 242); border: 1px solid rgba(167, 139, 250, 77);"
    " border-radius: 10px; }"
    "#voiceSettingsTitle { color: #c4b5fd; font-size: 11px; font-weight: bold; letter-spacing: 1px;"
    " background: transparent; border: none; }"
    "#voiceDeviceLabel { color: #c4b5fd; font-size: 12px; background: transparent; border: none; }"
    "#voiceSettingsNote { color: #ffd166; font-size: 11px; background: transparent; border: none; }"
    "QComboBox#voiceDeviceSelect { color: #eee7ff; background: #24192f; border: 1px solid #6d4fa0;"
    " border-radius: 7px; padding: 4px 8px; font-size: 12px; }"
    "QComboBox#voiceDeviceSelect:hover { border-color: #a78bfa; }"
    "QComboBox#voiceDeviceSelect:disabled { color: #6f6278; background: #1d1526; border-color: #4a3a5c; }"
    "QComboBox#voiceDeviceSelect QAbstractItemView { color: #eee7ff; background: #1c142b;"
    " border: 1px solid #6d4fa0; selection-background-color: #7b2cff; outline: none; }"
    "QPushButton { color: #eee7ff; background: #24192f; border: 1px solid #6d4fa0; border-radius: 7px;"
    " padding: 4px 10px; font-size: 12px; }"
    "QPushButton:hover:enabled { background: #312341; border-color: #a78bfa; }"
    "QPushButton:checked { color: white; background: #5b21b6; border-color: #a78bfa; }"
    "QPushButton:disabled { color: #6f6278; background: #1d1526; border-color: #4a3a5c; }"
    "#voiceSettingsCloseButton { border-color: #9570c4; border-radius: 6px; font-size: 11px; padding: 0px; }"
    "ToggleSwitch { font-size: 12px; }";

const QString RecordKeyText = QStringLiteral("Press to record a key");

QLabel* rowLabel(const QString& text, QWidget* parent)
{
    auto* label = new QLabel(text, parent);
    label->setObjectName(QStringLiteral("voiceDeviceLabel"));
    label->setMinimumWidth(78);
    return label;
}

bool storedFlag(const QSettings& settings, const char* key)
{
    return settings.value(QLatin1String(key), true).toBool();
}

} // namespace

AudioSettingsPanel::AudioSettingsPanel(QWidget* parent)
    : QFrame(parent)
{
    setObjectName(QStringLiteral("voiceSettingsPanel"));
    setStyleSheet(QLatin1String(PanelStyle));

    m_microphones = deviceList();
    m_speakers = deviceList();
    m_test = new QPushButton(QStringLiteral("Test"), this);
    m_test->setObjectName(QStringLiteral("voiceSpeakerTest"));
    m_test->setToolTip(QStringLiteral("Play a short tone on this speaker"));
    m_test->setCursor(Qt::PointingHandCursor);
    m_meter = new MicLevelMeter(this);
    m_echoCancellation = new ToggleSwitch(QStringLiteral("Echo cancellation"), this);
    m_noiseSuppression = new ToggleSwitch(QStringLiteral("Noise suppression"), this);
    m_automaticGain = new ToggleSwitch(QStringLiteral("Automatic gain"), this);
    auto* switches = new QVBoxLayout;
    switches->setSpacing(4);
    for (ToggleSwitch* toggle : {m_echoCancellation, m_noiseSuppression, m_automaticGain})
        switches->addWidget(toggle);
    m_keyNote = new QLabel(this);
    m_keyNote->setObjectName(QStringLiteral("voiceSettingsNote"));
    m_keyNote->setWordWrap(true);

    auto* grid = new QGridLayout;
    grid->setHorizontalSpacing(10);
    grid->setVerticalSpacing(8);
    grid->addWidget(rowLabel(QStringLiteral("Microphone"), this), 0, 0);
    grid->addWidget(m_microphones, 0, 1, 1, 2);
    grid->addWidget(rowLabel(QStringLiteral("Speaker"), this), 1, 0);
    grid->addWidget(m_speakers, 1, 1);
    grid->addWidget(m_test, 1, 2);
    grid->addWidget(rowLabel(QStringLiteral("Level"), this), 2, 0);
    grid->addWidget(m_meter, 2, 1, 1, 2);
    grid->addWidget(rowLabel(QStringLiteral("Processing"), this), 3, 0, Qt::AlignTop);
    grid->addLayout(switches, 3, 1, 1, 2);
    grid->addWidget(rowLabel(QStringLiteral("Mode"), this), 4, 0);
    grid->addLayout(buildModeChoice(), 4, 1, 1, 2);
    grid->addWidget(m_keyNote, 5, 1, 1, 2);
    grid->setColumnStretch(1, 1);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(12, 10, 12, 12);
    layout->setSpacing(10);
    layout->addLayout(buildHeader());
    layout->addLayout(grid);

    restoreSettings();
    for (ToggleSwitch* toggle : {m_echoCancellation, m_noiseSuppression, m_automaticGain})
        connect(toggle, &ToggleSwitch::toggled, this, &AudioSettingsPanel::saveProcessing);
    connect(m_meter, &MicLevelMeter::thresholdChanged, this, &AudioSettingsPanel::saveThreshold);
    connect(m_pushToTalk, &QPushButton::toggled, this, &AudioSettingsPanel::applyMode);
    connect(m_keyButton, &QPushButton::clicked, this, &AudioSettingsPanel::startRecordingKey);
    connect(m_test, &QPushButton::clicked, this, &AudioSettingsPanel::testToneRequested);
    hide();
}

QLayout* AudioSettingsPanel::buildHeader()
{
    auto* header = new QHBoxLayout;
    auto* title = new QLabel(QStringLiteral("AUDIO SETTINGS"), this);
    title->setObjectName(QStringLiteral("voiceSettingsTitle"));
    m_close = new QPushButton(QStringLiteral("✕"), this);
    m_close->setObjectName(QStringLiteral("voiceSettingsCloseButton"));
    m_close->setFixedSize(22, 22);
    m_close->setToolTip(QStringLiteral("Close"));
    m_close->setCursor(Qt::PointingHandCursor);
    header->addWidget(title);
    header->addStretch(1);
    header->addWidget(m_close);
    connect(m_close, &QPushButton::clicked, this, &QWidget::hide);
    return header;
}

QComboBox* AudioSettingsPanel::deviceList()
{
    auto* list = new QComboBox(this);
    list->setObjectName(QStringLiteral("voiceDeviceSelect"));
    list->setMinimumWidth(300);
    list->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
    return list;
}

QLayout* AudioSettingsPanel::buildModeChoice()
{
    m_voiceActivity = new QPushButton(QStringLiteral("Voice activity"), this);
    m_pushToTalk = new QPushButton(QStringLiteral("Push to talk"), this);
    m_voiceActivity->setObjectName(QStringLiteral("voiceActivityMode"));
    m_pushToTalk->setObjectName(QStringLiteral("voicePushToTalkMode"));
    m_modes = new QButtonGroup(this);
    for (QPushButton* mode : {m_voiceActivity, m_pushToTalk}) {
        mode->setCheckable(true);
        mode->setCursor(Qt::PointingHandCursor);
        m_modes->addButton(mode);
    }
    m_voiceActivity->setChecked(true);
    // Without focus, so that the recorded key (Space, say) never presses it.
    m_keyButton = new QPushButton(RecordKeyText, this);
    m_keyButton->setObjectName(QStringLiteral("voicePushToTalkKey"));
    m_keyButton->setFocusPolicy(Qt::NoFocus);
    m_keyButton->setCursor(Qt::PointingHandCursor);
    m_keyButton->setToolTip(QStringLiteral("The key to hold while talking"));
    auto* row = new QHBoxLayout;
    row->setSpacing(6);
    row->addWidget(m_voiceActivity);
    row->addWidget(m_pushToTalk);
    row->addWidget(m_keyButton, 1);
    return row;
}

void AudioSettingsPanel::restoreSettings()
{
    const QSettings settings(AppSettings::kOrganization, AppSettings::kApplication);
    m_echoCancellation->setChecked(storedFlag(settings, AppSettings::kEchoCancellation));
    m_noiseSuppression->setChecked(storedFlag(settings, AppSettings::kNoiseSuppression));
    m_automaticGain->setChecked(storedFlag(settings, AppSettings::kAutomaticGain));
    m_meter->setThreshold(
        settings.value(QLatin1String(AppSettings::kSpeakingThreshold), MicLevelMeter::DefaultThreshold).toInt());
    const bool pushToTalk = settings.value(QLatin1String(AppSettings::kPushToTalk), false).toBool();
    m_pushToTalk->setChecked(pushToTalk);
    applyMode(pushToTalk);
}

bool AudioSettingsPanel::isPushToTalk() const
{
    return m_pushToTalk->isChecked();
}

int AudioSettingsPanel::speakingThreshold() const
{
    return m_meter->threshold();
}

void AudioSettingsPanel::publishSettings()
{
    emit audioProcessingChanged(m_echoCancellation->isChecked(), m_noiseSuppression->isChecked(),
                                m_automaticGain->isChecked());
    emit speakingThresholdChanged(m_meter->threshold());
    emit pushToTalkEnabledChanged(isPushToTalk());
}

void AudioSettingsPanel::setMicrophoneLevel(int level)
{
    m_meter->setLevel(level);
}

void AudioSettingsPanel::showEvent(QShowEvent* event)
{
    QFrame::showEvent(event);
    emit microphoneMonitoringChanged(true);
}

void AudioSettingsPanel::hideEvent(QHideEvent* event)
{
    QFrame::hideEvent(event);
    m_meter->setLevel(0);
    emit microphoneMonitoringChanged(false);
}

void AudioSettingsPanel::saveProcessing()
{
    QSettings settings(AppSettings::kOrganization, AppSettings::kApplication);
    settings.setValue(QLatin1String(AppSettings::kEchoCancellation), m_echoCancellation->isChecked());
    settings.setValue(QLatin1String(AppSettings::kNoiseSuppression), m_noiseSuppression->isChecked());
    settings.setValue(QLatin1String(AppSettings::kAutomaticGain), m_automaticGain->isChecked());
    emit audioProcessingChanged(m_echoCancellation->isChecked(), m_noiseSuppression->isChecked(),
                                m_automaticGain->isChecked());
}

void AudioSettingsPanel::saveThreshold(int threshold)
{
    QSettings(AppSettings::kOrganization, AppSettings::kApplication)
        .setValue(QLatin1String(AppSettings::kSpeakingThreshold), threshold);
    emit speakingThresholdChanged(threshold);
}

// The key exists only in push-to-talk mode, so that voice activity leaves
// every key (and the X11 grab) alone.
void AudioSettingsPanel::applyMode(bool pushToTalk)
{
    QSettings settings(AppSettings::kOrganization, AppSettings::kApplication);
    settings.setValue(QLatin1String(AppSettings::kPushToTalk), pushToTalk);
    if (pushToTalk && !m_key) {
        m_key = new PushToTalkKey(this);
        m_key->setKey(settings.value(QLatin1String(AppSettings::kPushToTalkKey), 0).toInt(),
                      settings.value(QLatin1String(AppSettings::kPushToTalkScanCode), 0).toUInt());
        connect(m_key, &PushToTalkKey::held, this, [this] { emit pushToTalkPressedChanged(true); });
        connect(m_key, &PushToTalkKey::released, this, [this] { emit pushToTalkPressedChanged(false); });
        connect(m_key, &PushToTalkKey::keyRecorded, this, &AudioSettingsPanel::keyRecorded);
        connect(m_key, &PushToTalkKey::recordingCancelled, this, &AudioSettingsPanel::showKey);
    } else if (!pushToTalk && m_key) {
        if (m_key->isHeld())
            emit pushToTalkPressedChanged(false);
        delete m_key;
        m_key = nullptr;
    }
    m_keyButton->setEnabled(pushToTalk);
    showKey();
    emit pushToTalkEnabledChanged(pushToTalk);
}

void AudioSettingsPanel::startRecordingKey()
{
    m_key->recordNextKey();
    m_keyButton->setText(QStringLiteral("Press a key… (Esc cancels)"));
}

void AudioSettingsPanel::keyRecorded()
{
    QSettings settings(AppSettings::kOrganization, AppSettings::kApplication);
    settings.setValue(QLatin1String(AppSettings::kPushToTalkKey), m_key->key());
    settings.setValue(QLatin1String(AppSettings::kPushToTalkScanCode), m_key->nativeScanCode());
    showKey();
}

void AudioSettingsPanel::showKey()
{
    const QString name = m_key ? m_key->keyName() : QString();
    m_keyButton->setText(name.isEmpty() ? RecordKeyText : QStringLiteral("Key: %1").arg(name));
    QString note;
    if (m_key && !PushToTalkKey::isGlobalAvailable())
        note = QStringLiteral("Global keys are not available here (for example on Wayland): "
                              "the key works only while this window has focus.");
    else if (m_key && !name.isEmpty() && !m_key->isGlobal())
        note = QStringLiteral("Another program holds this key: it works only while this window has focus.");
    m_keyNote->setText(note);
    m_keyNote->setVisible(!note.isEmpty());
}
