// Two members in voice through two real windows, the dev server and the test
// PulseAudio: each sees the other speak in the member panels and mutes them
// locally. Speaking is checked on the rendered window, not only on its state.

#include "TestAudio.h"
#include "support/SignedInWindow.h"
#include "voice/VoiceChatManager.h"
#include "voice/VoiceMemberMuteButton.h"

#include <QEventLoop>
#include <QLabel>
#include <QPushButton>
#include <QScopeGuard>
#include <QThread>
#include <QtTest>

#include <atomic>

namespace {

void signIn(MainWindow& window, const QString& userName)
{
    window.resize(1000, 700);
    window.show();
    QVERIFY(shelltest::logInToChat(window, userName));
}

// The chat panel's voice control on the row of userName, if the row shows one.
VoiceMemberMuteButton* chatControl(MainWindow& window, const QString& userName)
{
    for (auto* button : window.findChild<QWidget*>("chatPage")->findChildren<VoiceMemberMuteButton*>())
        if (button->property("username").toString() == userName)
            return button;
    return nullptr;
}

// The voice control in the ideas panel row of userName.
VoiceMemberMuteButton* ideasPanelControl(MainWindow& window, const QString& userName)
{
    for (QWidget* row : window.findChild<QWidget*>("ideasOnlinePanel")->findChildren<QWidget*>("ideasMemberRow"))
        if (auto* name = row->findChild<QLabel*>("ideasMemberName"); name && name->text() == userName)
            return row->findChild<VoiceMemberMuteButton*>();
    return nullptr;
}

// Speaking as the state says and as the screen shows: the speaking property
// and, in the window's own picture, a green outline at least half a side long.
bool shownSpeaking(MainWindow& window, VoiceMemberMuteButton* control, bool speaking = true)
{
    if (!control || !control->isVisible())
        return false;
    const QImage seen = window.grab(QRect(control->mapTo(&window, QPoint()), control->size())).toImage();
    int green = 0;
    for (int y = 0; y < seen.height(); ++y)
        for (int x = 0; x < seen.width(); ++x) {
            const QColor pixel = seen.pixelColor(x, y);
            green += qAbs(pixel.red() - 0x22) < 40 && qAbs(pixel.green() - 0xc5) < 40 && qAbs(pixel.blue() - 0x5e) < 40;
        }
    return speaking ? control->property("speaking").toBool() && green >= control->height() / 2
                    : !control->property("speaking").toBool() && green == 0;
}

bool shownSpeaking(MainWindow& window, const QString& userName, bool speaking = true)
{
    return shownSpeaking(window, chatControl(window, userName), speaking);
}

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
        // The tone has a thread of its own: starting a capture waits until the
        // source delivers, so the writer must not share the GUI thread.
        m_tone.reset(QThread::create([this] {
            ToneFeeder feeder("vmic_a", 440.0, 9000);
            m_toneOpen = feeder.isOpen();
            QEventLoop().exec();
        }));
        m_tone->start();
        QTRY_VERIFY(m_toneOpen);
        QSettings settings(AppSettings::kOrganization, AppSettings::kApplication);
        settings.setValue(AppSettings::kMicrophoneDeviceId, QByteArray("vmic_a"));
        settings.setValue(AppSettings::kSpeakerDeviceId, QByteArray("vspk_a"));
        settings.sync();
        m_luna = std::make_unique<MainWindow>();
        m_orion = std::make_unique<MainWindow>();
        signIn(*m_luna, "luna");
        signIn(*m_orion, "orion");
    }

    void cleanupTestCase()
    {
        m_luna.reset();
        m_orion.reset();
        m_tone->quit();
        m_tone->wait();
    }

    void bothJoinAndSeeEachOtherSpeak()
    {
        m_luna->findChild<QPushButton*>("voiceJoinButton")->click();
        m_orion->findChild<QPushButton*>("voiceJoinButton")->click();
        QTRY_COMPARE(m_luna->findChild<QLabel*>("voiceStatusDot")->toolTip(), QString("Connected"));
        QTRY_COMPARE(m_orion->findChild<QLabel*>("voiceStatusDot")->toolTip(), QString("Connected"));
        QTRY_VERIFY_WITH_TIMEOUT(m_orion->findChild<VoiceChatManager*>()->isRemoteUserSpeaking("luna"), 15000);
        QTRY_VERIFY_WITH_TIMEOUT(shownSpeaking(*m_orion, "luna"), 5000);
        QTRY_VERIFY_WITH_TIMEOUT(shownSpeaking(*m_luna, "orion"), 5000);
    }

    // The ideas panel, refreshed by opening its page, shows her speaking too.
    void ideasPanelShowsSpeakingToo()
    {
        shelltest::navButton(*m_orion, "Ideas")->click();
        const auto backToChat = qScopeGuard([this] { shelltest::navButton(*m_orion, "Chat")->click(); });
        QTRY_VERIFY_WITH_TIMEOUT(shownSpeaking(*m_orion, ideasPanelControl(*m_orion, "luna")), 5000);
    }

    void mutingAMemberHidesTheirSpeaking()
    {
        QTest::mouseClick(chatControl(*m_orion, "luna"), Qt::LeftButton);
        QTRY_VERIFY(shownSpeaking(*m_orion, "luna", false));
        VoiceMemberMuteButton* control = chatControl(*m_orion, "luna");
        QVERIFY(control->isMemberMuted());
        QTest::mouseClick(control, Qt::LeftButton);
        QTRY_VERIFY_WITH_TIMEOUT(shownSpeaking(*m_orion, "luna"), 5000);
    }

private:
    DevServer m_server;
    std::unique_ptr<MainWindow> m_luna, m_orion;
    std::unique_ptr<QThread> m_tone;
    std::atomic<bool> m_toneOpen{false};
};

QTEST_MAIN(TestVoiceTwoWindows)
#include "tst_VoiceTwoWindows.moc"
