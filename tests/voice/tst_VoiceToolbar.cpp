// The voice toolbar and its audio settings panel: the reactions to the
// engine's signals, the panel's remembered choices and push to talk.

#include "FakeVoicePeerConnection.h"
#include "VoiceEngineProbe.h"
#include "session/AppSettings.h"
#include "voice/AudioSettingsPanel.h"
#include "voice/PushToTalkKey.h"
#include "voice/VoiceToolbar.h"
#include "widgets/MicLevelMeter.h"
#include "widgets/ToggleSwitch.h"

#include <QGraphicsDropShadowEffect>
#include <QLabel>
#include <QPointer>
#include <QPushButton>
#include <QSettings>
#include <QSignalSpy>
#include <QVBoxLayout>
#include <QtTest>

class TestVoiceToolbar : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<VoiceChatManager> manager;
    std::unique_ptr<VoiceToolbar> toolbar;

    AudioSettingsPanel* panel() const { return toolbar->audioSettingsPanel(); }

    void expectState(const QString& colour, const QString& tip, bool join, bool mute, bool leave)
    {
        QVERIFY2(toolbar->statusDot()->styleSheet().contains("color: " + colour), qPrintable(toolbar->statusDot()->styleSheet()));
        QCOMPARE(toolbar->statusDot()->toolTip(), tip);
        QCOMPARE(toolbar->joinButton()->isEnabled(), join);
        QCOMPARE(toolbar->muteButton()->isEnabled(), mute);
        QCOMPARE(toolbar->leaveButton()->isEnabled(), leave);
    }

    void makeToolbar()
    {
        toolbar = std::make_unique<VoiceToolbar>(manager.get());
        toolbar->resize(400, 48);
        toolbar->show();
    }

private slots:
    void init()
    {
        qputenv("MOONLODGE_STUN_URL", "");
        QSettings(AppSettings::kOrganization, AppSettings::kApplication).clear();
        manager = std::make_unique<VoiceChatManager>(std::make_shared<FakeVoicePeerConnectionFactory>());
        makeToolbar();
    }

    void cleanup()
    {
        toolbar.reset();
        manager.reset();
    }

    void statusesChangeDotAndButtons()
    {
        expectState("#a89bb8", "Disconnected", true, false, false);
        // A failed join: the engine's message is logged, the status tells the member.
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression("Errore chat vocale: .*No microphone was found."));
        emit manager->voiceError("No microphone was found.");
        QCOMPARE(toolbar->statusDot()->toolTip(), QString("No microphone was found."));
        emit manager->voiceStatusChanged("error");
        expectState("#ff5c77", "Microphone error", true, false, false);
        emit manager->voiceStatusChanged("connected");
        emit manager->muteChanged(false);
        expectState("#7cff9a", "Connected", false, true, true);
        QCOMPARE(toolbar->statusGlow()->color(), QColor("#7cff9a"));
        QCOMPARE(toolbar->muteButton()->toolTip(), QString("Mute"));
        emit manager->muteChanged(true);
        emit manager->voiceStatusChanged("muted");
        expectState("#ffd166", "Muted", false, true, true);
        QCOMPARE(toolbar->muteButton()->toolTip(), QString("Unmute"));
        // A microphone lost during a call: still in voice, so Leave stays available.
        emit manager->voiceStatusChanged("error");
        expectState("#ff5c77", "Microphone error", false, false, true);
        emit manager->voiceStatusChanged("disconnected");
        expectState("#6f6278", "Disconnected", true, false, false);
        QCOMPARE(toolbar->statusGlow()->color(), QColor("#6f6278"));
    }

    // In a page, the panel opens above the toolbar, whole and inside the page,
    // asks for the microphone for its meter while open, and goes away with the toolbar.
    void audioSettingsPanelOpensAboveTheToolbar()
    {
        QWidget page;
        page.resize(900, 600);
        auto* layout = new QVBoxLayout(&page);
        layout->addStretch(1);
        auto* pageToolbar = new VoiceToolbar(manager.get());
        layout->addWidget(pageToolbar);
        page.show();
        QVERIFY(QTest::qWaitForWindowExposed(&page));
        AudioSettingsPanel* panel = pageToolbar->audioSettingsPanel();
        QSignalSpy aboutToShow(pageToolbar, &VoiceToolbar::audioSettingsAboutToShow);
        QSignalSpy monitoring(panel, &AudioSettingsPanel::microphoneMonitoringChanged);

        pageToolbar->audioSettingsButton()->click();
        QCOMPARE(aboutToShow.size(), 1);
        QCOMPARE(monitoring.takeFirst().at(0).toBool(), true);
        QCOMPARE(panel->parentWidget(), &page);
        QVERIFY(page.rect().contains(panel->geometry()));
        QVERIFY(panel->geometry().bottom() < pageToolbar->geometry().top());
        panel->setMicrophoneLevel(3000);
        QCOMPARE(panel->levelMeter()->level(), 3000);
        pageToolbar->audioSettingsButton()->click();
        QVERIFY(!panel->isVisible());
        QCOMPARE(monitoring.takeFirst().at(0).toBool(), false);
        QCOMPARE(panel->levelMeter()->level(), 0);

        pageToolbar->audioSettingsButton()->click();
        page.resize(700, 500);
        QTRY_VERIFY(panel->geometry().bottom() < pageToolbar->geometry().top());
        panel->closeButton()->click();
        QVERIFY(!panel->isVisible());
        QPointer<QFrame> watched(panel);
        delete pageToolbar;
        QVERIFY(!watched);
    }

    // Every choice of the panel is announced, remembered, and back in the next run.
    void panelChoicesAreRememberedAndRestored()
    {
        QSignalSpy processing(panel(), &AudioSettingsPanel::audioProcessingChanged);
        QSignalSpy threshold(panel(), &AudioSettingsPanel::speakingThresholdChanged);
        QSignalSpy mode(panel(), &AudioSettingsPanel::pushToTalkEnabledChanged);
        panel()->publishSettings();  // a first run: everything on, threshold 449, voice activity
        QCOMPARE(processing.takeFirst(), QVariantList({true, true, true}));
        QCOMPARE(threshold.takeFirst().at(0).toInt(), 449);
        QCOMPARE(mode.takeFirst().at(0).toBool(), false);
        QVERIFY(!panel()->keyButton()->isEnabled());
        panel()->echoCancellationSwitch()->click();
        QCOMPARE(processing.takeFirst(), QVariantList({false, true, true}));
        panel()->automaticGainSwitch()->click();
        QCOMPARE(processing.takeFirst(), QVariantList({false, true, false}));
        panel()->levelMeter()->setThreshold(1200);
        QCOMPARE(threshold.takeFirst().at(0).toInt(), 1200);
        panel()->pushToTalkButton()->click();
        QCOMPARE(mode.takeFirst().at(0).toBool(), true);
        QVERIFY(toolbar->transmitBadge()->isVisible());
        QCOMPARE(panel()->keyButton()->text(), QString("Press to record a key"));
        panel()->keyButton()->click();
        QTest::keyClick(panel()->keyButton(), Qt::Key_F8);
        QCOMPARE(panel()->keyButton()->text(), QString("Key: F8"));
        QSignalSpy tone(panel(), &AudioSettingsPanel::testToneRequested);
        panel()->testButton()->click();
        QCOMPARE(tone.size(), 1);

        makeToolbar();
        QVERIFY(!panel()->echoCancellationSwitch()->isChecked() && !panel()->automaticGainSwitch()->isChecked());
        QCOMPARE(panel()->speakingThreshold(), 1200);
        QVERIFY(panel()->isPushToTalk());
        QVERIFY(toolbar->transmitBadge()->isVisible());
        QCOMPARE(panel()->pushToTalkKey()->key(), int(Qt::Key_F8));

        panel()->voiceActivityButton()->click();
        QVERIFY(!panel()->pushToTalkKey());
        QVERIFY(!toolbar->transmitBadge()->isVisible());
    }

    // The key drives the panel's signal; the badge shows what the engine
    // transmits, and Mute wins over the key.
    void pushToTalkShowsTransmittingAndMuteWins()
    {
        panel()->pushToTalkButton()->click();
        panel()->keyButton()->click();
        QTest::keyClick(toolbar.get(), Qt::Key_F8);
        // Without an X11 display there is no global grab, and the panel says so.
        QVERIFY(panel()->keyNote()->isVisibleTo(panel()));
        QVERIFY(panel()->keyNote()->text().contains("only while this window has focus"));
        QSignalSpy pressed(panel(), &AudioSettingsPanel::pushToTalkPressedChanged);
        QTest::keyPress(toolbar.get(), Qt::Key_F8);
        QTest::keyRelease(toolbar.get(), Qt::Key_F8);
        QCOMPARE(pressed.size(), 2);
        QVERIFY(pressed.at(0).at(0).toBool() && !pressed.at(1).at(0).toBool());

        QLabel* badge = toolbar->transmitBadge();
        for (const bool muted : {false, true})
            for (const bool transmitting : {true, false}) {
                emit manager->muteChanged(muted);
                toolbar->setTransmitting(transmitting);
                const bool onAir = transmitting && !muted;
                QCOMPARE(badge->text(), QString(onAir ? "TALK" : "PTT"));
                QVERIFY(badge->toolTip().startsWith(onAir ? "Transmitting" : muted ? "Muted" : "Not transmitting"));
            }
    }

    void buttonsDriveTheEngine()
    {
        if (qEnvironmentVariableIsEmpty("PULSE_SERVER") || !hasTestAudioDevices())
            QSKIP("needs the test PulseAudio");
        manager->setMicrophoneDeviceId("vmic");
        toolbar->joinButton()->click();
        QTRY_COMPARE(toolbar->statusDot()->toolTip(), QString("Connected"));
        expectState("#7cff9a", "Connected", false, true, true);
        toolbar->muteButton()->click();
        QVERIFY(manager->isMuted());
        toolbar->leaveButton()->click();
        expectState("#6f6278", "Disconnected", true, false, false);
    }
};

QTEST_MAIN(TestVoiceToolbar)
#include "tst_VoiceToolbar.moc"
