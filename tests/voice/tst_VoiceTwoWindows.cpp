// Two members in voice through two real windows, the dev server and the test
// PulseAudio: each sees the other speak in the chat panel, mutes them locally,
// and changes microphone and speaker during the call without dropping it.
// Speaking is checked on the rendered window, not only on the control's state.

#include "TestAudio.h"
#include "VoiceEngineProbe.h"
#include "session/AppSettings.h"
#include "online/ChatOnlinePanel.h"
#include "shell/MainWindow.h"
#include "support/DevServer.h"
#include "voice/VoiceMemberMuteButton.h"

#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScopeGuard>
#include <QSettings>
#include <QThread>
#include <QWebSocket>
#include <QtTest>

#include <atomic>

namespace {

QPushButton* navButton(MainWindow& window, const QString& text)
{
    for (QPushButton* button : window.findChildren<QPushButton*>("navButton"))
        if (button->text() == text)
            return button;
    return nullptr;
}

std::unique_ptr<MainWindow> openWindow()
{
    auto window = std::make_unique<MainWindow>();
    window->resize(1000, 700);
    window->show();
    return window;
}

void signIn(MainWindow& window, const QString& userName)
{
    window.findChild<QLineEdit*>("loginUsernameField")->setText(userName);
    window.findChild<QLineEdit*>("loginPasswordField")->setText("moonlodge");
    window.findChild<QPushButton*>("loginButton")->click();
    QTRY_VERIFY(navButton(window, "Chat") && navButton(window, "Chat")->isVisible());
    navButton(window, "Chat")->click();
    QTRY_VERIFY_WITH_TIMEOUT(window.findChild<RealtimeChannel*>()->isReady(), 10000);
}

// The chat panel's voice control on the row of userName, if the row shows one.
VoiceMemberMuteButton* chatPanelControl(MainWindow& window, const QString& userName)
{
    for (auto* button : window.findChild<QWidget*>("chatPage")->findChildren<VoiceMemberMuteButton*>())
        if (button->property("username").toString() == userName)
            return button;
    return nullptr;
}

// Pixels of the control, as the window draws it, in the green of the speaking
// outline: what the member sees, whatever covers or restyles the control.
int greenPixelsSeen(MainWindow& window, QWidget* control)
{
    const QImage seen = window.grab(QRect(control->mapTo(&window, QPoint()), control->size())).toImage();
    const QColor green(0x22, 0xc5, 0x5e);
    int count = 0;
    for (int y = 0; y < seen.height(); ++y)
        for (int x = 0; x < seen.width(); ++x) {
            const QColor pixel = seen.pixelColor(x, y);
            if (qAbs(pixel.red() - green.red()) < 40 && qAbs(pixel.green() - green.green()) < 40
                && qAbs(pixel.blue() - green.blue()) < 40)
                ++count;
        }
    return count;
}

// The voice control in the ideas panel row of userName.
VoiceMemberMuteButton* ideasPanelControl(MainWindow& window, const QString& userName)
{
    for (QWidget* row : window.findChild<QWidget*>("ideasOnlinePanel")->findChildren<QWidget*>("ideasMemberRow"))
        if (auto* name = row->findChild<QLabel*>("ideasMemberName"); name && name->text() == userName)
            return row->findChild<VoiceMemberMuteButton*>();
    return nullptr;
}

// Speaking as the state says and as the screen shows: the property and a
// visible green outline at least half a side long.
bool shownSpeaking(MainWindow& window, VoiceMemberMuteButton* control, const QString& userName)
{
    if (!control || !control->isVisible())
        return false;
    const bool property = control->property("speaking").toBool();
    const bool drawn = greenPixelsSeen(window, control) >= control->height() / 2;
    if (property != drawn)
        qWarning() << "speaking property" << property << "but drawn" << drawn << "for" << userName;
    return property && drawn;
}

bool shownSpeaking(MainWindow& window, const QString& userName)
{
    return shownSpeaking(window, chatPanelControl(window, userName), userName);
}

bool shownNotSpeaking(MainWindow& window, const QString& userName)
{
    VoiceMemberMuteButton* control = chatPanelControl(window, userName);
    return control && !control->property("speaking").toBool() && greenPixelsSeen(window, control) == 0;
}

// Picks the entry with the given device id in one of the audio settings lists,
// as a click on it would.
bool pickDevice(MainWindow& window, int row, const QByteArray& id)
{
    window.findChild<QPushButton*>("voiceSettingsButton")->click();  // refills the lists
    const QList<QComboBox*> lists = window.findChildren<QComboBox*>("voiceDeviceSelect");
    if (lists.size() != 2)
        return false;
    QComboBox* list = lists.at(row);
    const int index = list->findData(id);
    if (index < 0)
        return false;
    list->setCurrentIndex(index);
    emit list->activated(index);
    window.findChild<QPushButton*>("voiceSettingsButton")->click();  // and closes the panel
    return true;
}

// A tone into a FIFO microphone from its own thread: starting a capture waits
// until the source delivers, so the writer must not share the GUI thread.
class ToneThread : public QThread
{
public:
    ToneThread(const QString& microphone, double frequency, int amplitude)
        : m_microphone(microphone), m_frequency(frequency), m_amplitude(amplitude)
    {
        start();
    }
    ~ToneThread() override
    {
        quit();
        wait();
    }
    void setAmplitude(int amplitude) { m_amplitude = amplitude; }
    bool isOpen() const { return m_open; }

protected:
    void run() override
    {
        ToneFeeder feeder(m_microphone, m_frequency, m_amplitude);
        m_open = feeder.isOpen();
        QTimer follow;
        QObject::connect(&follow, &QTimer::timeout, &follow, [&] { feeder.setAmplitude(m_amplitude); });
        follow.start(10);
        exec();
    }

private:
    QString m_microphone;
    double m_frequency;
    std::atomic<int> m_amplitude;
    std::atomic<bool> m_open{false};
};

}  // namespace

class TestVoiceTwoWindows : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        REQUIRE_TEST_AUDIO_DEVICES();
        qputenv("MOONLODGE_ICE_LOOPBACK_ONLY", "1");
        QVERIFY(m_server.start());
        // The windows of one process share their settings, hence their stored
        // devices: both start on the same toned microphone, which makes each
        // of them a speaker for the other.
        m_tone = std::make_unique<ToneThread>("vmic_a", 440.0, 9000);
        m_laterTone = std::make_unique<ToneThread>("vmic_c", 520.0, 0);
        QTRY_VERIFY(m_tone->isOpen() && m_laterTone->isOpen());
        QSettings settings(AppSettings::kOrganization, AppSettings::kApplication);
        settings.setValue(AppSettings::kMicrophoneDeviceId, QByteArray("vmic_a"));
        settings.setValue(AppSettings::kSpeakerDeviceId, QByteArray("vspk_a"));
        settings.sync();
        m_luna = openWindow();
        m_orion = openWindow();
        signIn(*m_luna, "luna");
        signIn(*m_orion, "orion");
    }

    void cleanupTestCase()
    {
        m_luna.reset();
        m_orion.reset();
        m_tone.reset();
        m_laterTone.reset();
    }

    void bothJoinAndSeeEachOtherSpeak()
    {
        m_luna->findChild<QPushButton*>("voiceJoinButton")->click();
        m_orion->findChild<QPushButton*>("voiceJoinButton")->click();
        QTRY_COMPARE(m_luna->findChild<QLabel*>("voiceStatusDot")->toolTip(), QString("Connected"));
        QTRY_COMPARE(m_orion->findChild<QLabel*>("voiceStatusDot")->toolTip(), QString("Connected"));

        VoiceChatManager* orionEngine = m_orion->findChild<VoiceChatManager*>();
        QTRY_VERIFY_WITH_TIMEOUT(orionEngine->isRemoteUserSpeaking("luna"), 15000);
        QTRY_VERIFY_WITH_TIMEOUT(chatPanelControl(*m_orion, "luna"), 5000);
        QTRY_VERIFY_WITH_TIMEOUT(shownSpeaking(*m_orion, "luna"), 5000);
        QTRY_VERIFY_WITH_TIMEOUT(shownSpeaking(*m_luna, "orion"), 5000);
        QCOMPARE(chatPanelControl(*m_orion, "luna")->toolTip(), QString("Mute this member"));
    }

    // Presence refreshes while Luna talks leave her shown speaking.
    void speakingStaysShownAcrossPresenceRefreshes()
    {
        auto* panel = m_orion->findChild<ChatOnlinePanel*>("onlineMembersPanel");
        QVERIFY(panel);
        for (int refresh = 0; refresh < 3; ++refresh) {
            QSignalSpy handled(panel, &OnlinePanel::replyHandled);
            panel->reload();
            QTRY_VERIFY_WITH_TIMEOUT(!handled.isEmpty(), 5000);
            QTRY_VERIFY_WITH_TIMEOUT(shownSpeaking(*m_orion, "luna"), 2000);
        }
    }

    // The ideas panel, refreshed by opening its page, shows the same member speaking.
    void ideasPanelShowsSpeakingToo()
    {
        navButton(*m_orion, "Ideas")->click();
        const auto backToChat = qScopeGuard([this] { navButton(*m_orion, "Chat")->click(); });
        QTRY_VERIFY_WITH_TIMEOUT(shownSpeaking(*m_orion, ideasPanelControl(*m_orion, "luna"), "luna"), 5000);
    }

    void mutingAMemberHidesTheirSpeaking()
    {
        VoiceMemberMuteButton* control = chatPanelControl(*m_orion, "luna");
        QVERIFY(control);
        QTest::mouseClick(control, Qt::LeftButton);
        QTRY_VERIFY(shownNotSpeaking(*m_orion, "luna"));
        control = chatPanelControl(*m_orion, "luna");
        QVERIFY(control->isMemberMuted());
        QCOMPARE(control->text(), QString("🔇"));
        QCOMPARE(control->toolTip(), QString("Unmute this member"));

        QTest::mouseClick(control, Qt::LeftButton);
        QTRY_VERIFY_WITH_TIMEOUT(shownSpeaking(*m_orion, "luna"), 5000);
    }

    // The call goes on across device changes: the same connection, and the
    // other side still hears the new microphone.
    void devicesChangeDuringTheCall()
    {
        VoiceChatManager* lunaEngine = m_luna->findChild<VoiceChatManager*>();
        QVERIFY(lunaEngine);
        QCOMPARE(VoiceEngineProbe::memberCount(*lunaEngine), 1);
        QSignalSpy lunaSignalling(lunaEngine, &VoiceChatManager::signalingEventRequested);

        // Luna moves to a silent microphone, then it starts to carry her voice.
        QVERIFY(pickDevice(*m_luna, 0, "vmic_c"));
        QTRY_VERIFY_WITH_TIMEOUT(shownNotSpeaking(*m_orion, "luna"), 5000);
        m_laterTone->setAmplitude(9000);
        QTRY_VERIFY_WITH_TIMEOUT(shownSpeaking(*m_orion, "luna"), 5000);

        // And moves her speaker: Orion stays audible and shown speaking.
        QVERIFY(pickDevice(*m_luna, 1, "vspk_c"));
        QTRY_VERIFY_WITH_TIMEOUT(shownSpeaking(*m_luna, "orion"), 5000);

        QCOMPARE(VoiceEngineProbe::memberCount(*lunaEngine), 1);
        for (const QList<QVariant>& event : std::as_const(lunaSignalling)) // no renegotiation, no leave
            QVERIFY(!QStringList({"voice_leave", "voice_offer"}).contains(event.first().toString()));
        QCOMPARE(m_luna->findChild<QLabel*>("voiceStatusDot")->toolTip(), QString("Connected"));
        QCOMPARE(QSettings(AppSettings::kOrganization, AppSettings::kApplication)
                     .value(AppSettings::kMicrophoneDeviceId).toByteArray(),
                 QByteArray("vmic_c"));
    }

    // Closing a window in the middle of the call tells the room.
    void closingAWindowLeavesTheCall()
    {
        VoiceChatManager* orionEngine = m_orion->findChild<VoiceChatManager*>();
        QCOMPARE(VoiceEngineProbe::memberCount(*orionEngine), 1);
        m_luna.reset();
        QTRY_COMPARE_WITH_TIMEOUT(VoiceEngineProbe::memberCount(*orionEngine), 0, 5000);
        QVERIFY(!orionEngine->isRemoteUserSpeaking("luna"));
    }

private:
    DevServer m_server;
    std::unique_ptr<MainWindow> m_luna;
    std::unique_ptr<MainWindow> m_orion;
    std::unique_ptr<ToneThread> m_tone;
    std::unique_ptr<ToneThread> m_laterTone;
};

QTEST_MAIN(TestVoiceTwoWindows)
#include "tst_VoiceTwoWindows.moc"
