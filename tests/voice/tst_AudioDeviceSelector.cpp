// The audio device lists and choices, with devices plugged into and out of the
// test PulseAudio that scripts/test starts.

#include "TestAudio.h"
#include "session/AppSettings.h"
#include "voice/AudioDeviceSelector.h"
#include "voice/AudioSettingsPanel.h"
#include "voice/VoiceChatManager.h"

#include <QAudioDevice>
#include <QComboBox>
#include <QMediaDevices>
#include <QProcess>
#include <QSettings>
#include <QtTest>

namespace {

QString pactl(const QStringList& arguments)
{
    QProcess process;
    process.start(QStringLiteral("pactl"), arguments);
    process.waitForFinished(5000);
    return QString::fromUtf8(process.readAllStandardOutput()).trimmed();
}

// A device plugged in for the length of a test: a null sink (speaker) or a
// source remapped from a sink's monitor (microphone).
struct PluggedDevice
{
    PluggedDevice(const QString& name, bool microphone) : name(name), microphone(microphone) { plug(); }
    ~PluggedDevice() { unplug(); }
    void plug()
    {
        module = pactl(microphone ? QStringList{"load-module", "module-remap-source", "master=vspk.monitor", "source_name=" + name}
                                  : QStringList{"load-module", "module-null-sink", "sink_name=" + name});
    }
    void unplug() { pactl({"unload-module", std::exchange(module, QString())}); }
    bool listed() const { return !(microphone ? testAudioInput(id()) : audioOutput(id())).isNull(); }
    QByteArray id() const { return name.toUtf8(); }

    QString name;
    bool microphone;
    QString module;
};

// The selector with the widgets it lives on.
struct Fixture
{
    Fixture() { selector.restoreSavedDevices(); }
    VoiceChatManager voice;
    AudioSettingsPanel panel;
    AudioDeviceSelector selector{&voice, &panel};
    QByteArray applied(bool microphone) const
    {
        return microphone ? selector.appliedMicrophoneId() : selector.appliedSpeakerId();
    }
};

}  // namespace

class TestAudioDeviceSelector : public QObject
{
    Q_OBJECT

private slots:
    void init() { QSettings(AppSettings::kOrganization, AppSettings::kApplication).clear(); }

    void devicesWithOneNameAreToldApart()
    {
        using Devices = QList<QPair<QString, QByteArray>>;
        QCOMPARE(AudioDeviceSelector::deviceLabels(Devices{{"USB Audio", "alsa_output.usb-Desk_Mic-00.analog-stereo"},
                                                           {"USB Audio", "alsa_output.usb-Cam_Mic-00.analog-stereo"},
                                                           {"Speakers", "alsa_output.pci.analog-stereo"}}),
                 QStringList({"USB Audio (Desk)", "USB Audio (Cam)", "Speakers"}));
        // Ids that differ only by one being longer: the whole id tells them apart.
        QCOMPARE(AudioDeviceSelector::deviceLabels(Devices{{"Mic", "mic"}, {"Mic", "mic2"}}),
                 QStringList({"Mic (mic)", "Mic (2)"}));
    }

    void pickedDevicesAreRememberedAndFollowedThroughHotPlug_data()
    {
        QTest::addColumn<bool>("microphone");
        QTest::newRow("speaker") << false;
        QTest::newRow("microphone") << true;
    }

    void pickedDevicesAreRememberedAndFollowedThroughHotPlug()
    {
        QFETCH(bool, microphone);
        const char* key = microphone ? AppSettings::kMicrophoneDeviceId : AppSettings::kSpeakerDeviceId;
        const auto stored = [key] { return QSettings(AppSettings::kOrganization, AppSettings::kApplication).value(key).toByteArray(); };
        PluggedDevice usb(microphone ? "moonlodge_usb_mic" : "moonlodge_usb_spk", microphone);
        QTRY_VERIFY(usb.listed());

        // A first run follows the system default, whatever is plugged in.
        Fixture fixture;
        fixture.selector.refillDeviceLists();
        QComboBox* list = microphone ? fixture.selector.microphoneList() : fixture.selector.speakerList();
        microphone ? fixture.selector.onMicrophonesChanged() : fixture.selector.onSpeakersChanged();
        QVERIFY(fixture.applied(microphone).isEmpty());
        QVERIFY(list->findData(usb.id()) >= 0);
        emit list->activated(list->findData(usb.id()));
        QCOMPARE(stored(), usb.id());
        QCOMPARE(fixture.applied(microphone), usb.id());

        // Unplugged: the default device takes over, found by the once-a-second look.
        usb.unplug();
        QTRY_VERIFY_WITH_TIMEOUT(fixture.applied(microphone) != usb.id(), 5000);
        QCOMPARE(fixture.applied(microphone),
                 (microphone ? QMediaDevices::defaultAudioInput() : QMediaDevices::defaultAudioOutput()).id());
        QCOMPARE(stored(), usb.id());

        // Plugged back: the preferred device returns.
        usb.plug();
        QTRY_COMPARE_WITH_TIMEOUT(fixture.applied(microphone), usb.id(), 5000);

        // A new window restores the remembered choice.
        Fixture nextRun;
        QCOMPARE(nextRun.applied(microphone), usb.id());
        nextRun.selector.refillDeviceLists();
        QCOMPARE((microphone ? nextRun.selector.microphoneList() : nextRun.selector.speakerList())->currentData().toByteArray(),
                 usb.id());
    }
};

QTEST_MAIN(TestAudioDeviceSelector)
#include "tst_AudioDeviceSelector.moc"
