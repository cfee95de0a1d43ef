#include "voice/AudioDeviceSelector.h"

#include "session/AppSettings.h"
#include "app/LogCategories.h"
#include "voice/AudioSettingsPanel.h"
#include "voice/VoiceChatManager.h"

#include <QAbstractItemView>
#include <QAudioDevice>
#include <QComboBox>
#include <QMediaDevices>
#include <QSettings>
#include <QTimer>
#include <QtDebug>

#include <algorithm>

namespace {

// What is left of `id` once the prefix and suffix that all `ids` share are cut
// ("alsa_output.usb-A.analog-stereo" among "...usb-B..." gives "A"); the whole
// id when nothing is left.
QString distinctPart(const QByteArray& id, const QList<QByteArray>& ids)
{
    qsizetype prefix = id.size();
    qsizetype suffix = id.size();
    for (const QByteArray& other : ids) {
        if (other == id)
            continue;
        qsizetype same = 0;
        while (same < prefix && same < other.size() && other.at(same) == id.at(same))
            ++same;
        prefix = same;
        same = 0;
        while (same < suffix && same < other.size() && other.at(other.size() - 1 - same) == id.at(id.size() - 1 - same))
            ++same;
        suffix = same;
    }
    const qsizetype length = id.size() - prefix - suffix;
    return QString::fromUtf8(length > 0 ? id.mid(prefix, length) : id);
}

// The open list is as wide as its longest name (up to a limit), however narrow the box.
void fitPopupToNames(QComboBox* list)
{
    int widest = 0;
    for (int i = 0; i < list->count(); ++i)
        widest = std::max(widest, list->fontMetrics().horizontalAdvance(list->itemText(i)));
    list->view()->setMinimumWidth(std::min(widest + 40, 640));
}

// Qt 6.4 does not report devices coming and going, so the lists are also
// compared once a second (ids only: a few milliseconds).
constexpr int kDevicePollIntervalMs = 1000;

QList<QByteArray> deviceIds(const QList<QAudioDevice>& devices)
{
    QList<QByteArray> ids;
    for (const QAudioDevice& device : devices)
        ids << device.id();
    return ids;
}

}  // namespace

// Everything that differs between the microphone and the speaker.
struct AudioDeviceSelector::Kind
{
    QByteArray AudioDeviceSelector::*applied;
    const char* settingsKey;
    const char* emptyText;
    QList<QAudioDevice> (*devices)();
    QAudioDevice (*defaultDevice)();
    void (VoiceChatManager::*setDevice)(const QByteArray&);
    const char* listChangedLog;
    const char* preferredBackLog;
    const char* fallbackLog;
};

const AudioDeviceSelector::Kind AudioDeviceSelector::kMicrophone = {
    &AudioDeviceSelector::m_appliedMicrophoneId,
    AppSettings::kMicrophoneDeviceId,
    "No microphone found",
    &QMediaDevices::audioInputs,
    &QMediaDevices::defaultAudioInput,
    &VoiceChatManager::setMicrophoneDeviceId,
    "Elenco dei microfoni modificato.",
    "Microfono preferito ricollegato:",
    "Microfono scollegato. Selezionato automaticamente:",
};

const AudioDeviceSelector::Kind AudioDeviceSelector::kSpeaker = {
    &AudioDeviceSelector::m_appliedSpeakerId,
    AppSettings::kSpeakerDeviceId,
    "No speaker found",
    &QMediaDevices::audioOutputs,
    &QMediaDevices::defaultAudioOutput,
    &VoiceChatManager::setSpeakerDeviceId,
    "Elenco delle uscite audio modificato.",
    "Uscita audio preferita ricollegata:",
    "Uscita audio scollegata. Selezionata automaticamente:",
};

AudioDeviceSelector::AudioDeviceSelector(VoiceChatManager* voice, AudioSettingsPanel* settingsPanel, QObject* parent)
    : QObject(parent)
    , m_voice(voice)
    , m_microphones(settingsPanel->microphoneList())
    , m_speakers(settingsPanel->speakerList())
    , m_mediaDevices(new QMediaDevices(this))
    , m_pollTimer(new QTimer(this))
{
    connect(m_microphones, &QComboBox::activated, this, [this](int index) { pick(m_microphones, index, kMicrophone); });
    connect(m_speakers, &QComboBox::activated, this, [this](int index) { pick(m_speakers, index, kSpeaker); });

    connect(m_mediaDevices, &QMediaDevices::audioInputsChanged, this, &AudioDeviceSelector::onMicrophonesChanged);
    connect(m_mediaDevices, &QMediaDevices::audioOutputsChanged, this, &AudioDeviceSelector::onSpeakersChanged);
    m_pollTimer->setInterval(kDevicePollIntervalMs);
    connect(m_pollTimer, &QTimer::timeout, this, &AudioDeviceSelector::pollDeviceLists);
    m_pollTimer->start();
}

void AudioDeviceSelector::restoreSavedDevices()
{
    QSettings settings(AppSettings::kOrganization, AppSettings::kApplication);
    for (const Kind* kind : {&kMicrophone, &kSpeaker}) {
        const QByteArray id = settings.value(kind->settingsKey).toByteArray();
        apply(*kind, id);
    }
}

void AudioDeviceSelector::refillDeviceLists()
{
    fill(m_microphones, kMicrophone);
    fill(m_speakers, kSpeaker);
}

void AudioDeviceSelector::fill(QComboBox* list, const Kind& kind)
{
    const QByteArray applied = this->*kind.applied;
    list->clear();
    const QList<QAudioDevice> devices = kind.devices();
    QList<QPair<QString, QByteArray>> named;
    for (const QAudioDevice& device : devices)
        named.append({device.description(), device.id()});
    const QStringList labels = deviceLabels(named);
    for (int i = 0; i < devices.size(); ++i) {
        list->addItem(labels.at(i), devices.at(i).id());
        list->setItemData(i, labels.at(i), Qt::ToolTipRole);
        if (devices.at(i).id() == applied || (applied.isEmpty() && devices.at(i).isDefault()))
            list->setCurrentIndex(i);
    }
    if (devices.isEmpty())
        list->addItem(QString::fromLatin1(kind.emptyText), QByteArray());
    list->setEnabled(!devices.isEmpty());
    fitPopupToNames(list);
}

QStringList AudioDeviceSelector::deviceLabels(const QList<QPair<QString, QByteArray>>& devices)
{
    QStringList labels;
    for (const auto& [description, id] : devices) {
        QList<QByteArray> namesakes;
        for (const auto& other : devices) {
            if (other.first == description)
                namesakes.append(other.second);
        }
        labels.append(namesakes.size() < 2 ? description
                                           : description + QStringLiteral(" (") + distinctPart(id, namesakes)
                                                 + QLatin1Char(')'));
    }
    return labels;
}

void AudioDeviceSelector::pick(QComboBox* list, int index, const Kind& kind)
{
    const QByteArray id = list->itemData(index).toByteArray();
    QSettings settings(AppSettings::kOrganization, AppSettings::kApplication);
    settings.setValue(kind.settingsKey, id);
    settings.sync();
    apply(kind, id);
}

void AudioDeviceSelector::apply(const Kind& kind, const QByteArray& id)
{
    this->*kind.applied = id;
    (m_voice->*kind.setDevice)(id);
}

void AudioDeviceSelector::onMicrophonesChanged()
{
    follow(kMicrophone);
}

void AudioDeviceSelector::onSpeakersChanged()
{
    follow(kSpeaker);
}

void AudioDeviceSelector::follow(const Kind& kind)
{
    qCDebug(lcVoice) << kind.listChangedLog;
    const QByteArray current = this->*kind.applied;
    if (current.isEmpty())
        return;  // the system default follows by itself

    const QList<QAudioDevice> devices = kind.devices();
    const QByteArray preferred =
        QSettings(AppSettings::kOrganization, AppSettings::kApplication).value(kind.settingsKey).toByteArray();
    if (!preferred.isEmpty() && preferred != current) {
        for (const QAudioDevice& device : devices) {
            if (device.id() == preferred) {
                apply(kind, preferred);
                qCDebug(lcVoice).noquote() << kind.preferredBackLog << device.description();
                return;
            }
        }
    }
    if (deviceIds(devices).contains(current))
        return;

    const QAudioDevice fallback = kind.defaultDevice();
    apply(kind, fallback.isNull() ? QByteArray() : fallback.id());
    qCDebug(lcVoice).noquote() << kind.fallbackLog << fallback.description();
}

void AudioDeviceSelector::pollDeviceLists()
{
    const QList<QByteArray> inputs = deviceIds(QMediaDevices::audioInputs());
    const QList<QByteArray> outputs = deviceIds(QMediaDevices::audioOutputs());
    // The first look also catches a remembered device that was already missing at start.
    const bool inputsChanged = !m_polledOnce || inputs != m_knownInputs;
    const bool outputsChanged = !m_polledOnce || outputs != m_knownOutputs;
    m_knownInputs = inputs;
    m_knownOutputs = outputs;
    m_polledOnce = true;
    if (inputsChanged)
        onMicrophonesChanged();
    if (outputsChanged)
        onSpeakersChanged();
}
