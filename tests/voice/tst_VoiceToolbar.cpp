// The voice toolbar and its audio settings panel: the reactions to the
// engine's signals, the panel's remembered choices and push to talk.

#include "FakeVoicePeerConnection.h"
#include "session/AppSettings.h"
#include "voice/AudioSettingsPanel.h"
#include "voice/PushToTalkKey.h"
#include "voice/VoiceChatManager.h"
#include "voice/VoiceToolbar.h"
#include "widgets/MicLevelMeter.h"
#include "widgets/ToggleSwitch.h"

#include <QApplication>
#include <QLabel>
#include <QPushButton>
#include <QSettings>
#include <QSignalSpy>
#include <QtTest>

class TestVoiceToolbar : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<VoiceChatManager> manager;
    std::unique_ptr<VoiceToolbar> toolbar;

    AudioSettingsPanel* panel() const { return toolbar->audioSettingsPanel(); }
    void makeToolbar()
    {
        toolbar = std::make_unique<VoiceToolbar>(manager.get());
        toolbar->show();
    }

private slots:
    void init()
    {
        QSettings(AppSettings::kOrganization, AppSettings::kApplication).clear();
        manager = std::make_unique<VoiceChatManager>(std::make_shared<FakeVoicePeerConnectionFactory>());
        makeToolbar();
    }
    void cleanup() { toolbar.reset(); manager.reset(); }

    // What the status dot says and which buttons work, after each status.
    void statusesChangeDotAndButtons()
    {
        const auto expect = [this](const QString& tip, bool join, bool mute, bool leave) {
            QCOMPARE(toolbar->statusDot()->toolTip(), tip);
            QCOMPARE(toolbar->joinButton()->isEnabled(), join);
            QCOMPARE(toolbar->muteButton()->isEnabled(), mute);
            QCOMPARE(toolbar->leaveButton()->isEnabled(), leave);
        };
        expect("Disconnected", true, false, false);
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression("Errore chat vocale: .*No microphone was found."));
        emit manager->voiceError("No microphone was found.");
        QCOMPARE(toolbar->statusDot()->toolTip(), QString("No microphone was found."));
        emit manager->voiceStatusChanged("error");
        expect("Microphone error", true, false, false);
        emit manager->voiceStatusChanged("connected");
        emit manager->muteChanged(false);
        expect("Connected", false, true, true);
        QCOMPARE(toolbar->muteButton()->toolTip(), QString("Mute"));
        emit manager->muteChanged(true);
        emit manager->voiceStatusChanged("muted");
        expect("Muted", false, true, true);
        QCOMPARE(toolbar->muteButton()->toolTip(), QString("Unmute"));
        // A microphone lost during a call: still in voice, so Leave stays available.
        emit manager->voiceStatusChanged("error");
        expect("Microphone error", false, false, true);
        emit manager->voiceStatusChanged("disconnected");
        expect("Disconnected", true, false, false);
    }

    // Every choice of the panel is announced, remembered, and back in the next run.
    void panelChoicesAreRememberedAndRestored()
    {
        QSignalSpy processing(panel(), &AudioSettingsPanel::audioProcessingChanged);
        QSignalSpy threshold(panel(), &AudioSettingsPanel::speakingThresholdChanged);
        QSignalSpy mode(panel(), &AudioSettingsPanel::pushToTalkEnabledChanged);
        panel()->echoCancellationSwitch()->click();
        panel()->automaticGainSwitch()->click();
        QCOMPARE(processing.last(), QVariantList({false, true, false}));
        panel()->levelMeter()->setThreshold(1200);
        QCOMPARE(threshold.takeFirst().at(0).toInt(), 1200);
        panel()->pushToTalkButton()->click();
        QCOMPARE(mode.takeFirst().at(0).toBool(), true);
        panel()->keyButton()->click();
        QTest::keyClick(panel()->keyButton(), Qt::Key_F8);
        QCOMPARE(panel()->keyButton()->text(), QString("Key: F8"));
        panel()->keyButton()->click();
        QTest::keyClick(panel()->keyButton(), Qt::Key_Escape);  // cancels, the key stays
        QCOMPARE(panel()->keyButton()->text(), QString("Key: F8"));

        makeToolbar();
        QVERIFY(!panel()->echoCancellationSwitch()->isChecked() && !panel()->automaticGainSwitch()->isChecked());
        QCOMPARE(panel()->speakingThreshold(), 1200);
        QVERIFY(panel()->isPushToTalk());
        QVERIFY(toolbar->transmitBadge()->isVisible());
        QCOMPARE(panel()->pushToTalkKey()->key(), int(Qt::Key_F8));
        panel()->voiceActivityButton()->click();
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
        QSignalSpy pressed(panel(), &AudioSettingsPanel::pushToTalkPressedChanged);
        QTest::keyPress(toolbar.get(), Qt::Key_F8);
        QTest::keyRelease(toolbar.get(), Qt::Key_F8);
        QCOMPARE(QList<QVariantList>(pressed), (QList<QVariantList>{{true}, {false}}));

        for (const bool muted : {false, true})
            for (const bool transmitting : {true, false}) {
                emit manager->muteChanged(muted);
                toolbar->setTransmitting(transmitting);
                QCOMPARE(toolbar->transmitBadge()->text(), QString(transmitting && !muted ? "TALK" : "PTT"));
            }
    }

    // The key alone, while the window has focus.
    void keyHeldAndReleased_data()
    {
        QTest::addColumn<QString>("events"); // P press, R release, p/r auto-repeated, O another key, D focus lost
        QTest::addColumn<int>("helds");
        QTest::addColumn<int>("releases");
        QTest::newRow("press and release, twice") << "PRPR" << 2 << 2;
        QTest::newRow("auto-repeat keeps it held") << "Prprp" << 1 << 0;
        QTest::newRow("a press seen twice counts once") << "PPR" << 1 << 1;
        QTest::newRow("other keys do nothing") << "O" << 0 << 0;
        QTest::newRow("leaving the window releases") << "PD" << 1 << 1;
    }
    void keyHeldAndReleased()
    {
        QFETCH(QString, events);
        QFETCH(int, helds);
        QFETCH(int, releases);
        PushToTalkKey key;
        key.setKey(Qt::Key_F8, 0);
        QSignalSpy held(&key, &PushToTalkKey::held);
        QSignalSpy released(&key, &PushToTalkKey::released);
        for (QChar event : events) {
            QKeyEvent keyEvent(event.toUpper() == 'R' ? QEvent::KeyRelease : QEvent::KeyPress,
                               event == 'O' ? Qt::Key_F9 : Qt::Key_F8, Qt::NoModifier, QString(), event.isLower());
            QEvent deactivate(QEvent::ApplicationDeactivate);
            event == 'D' ? QApplication::sendEvent(qApp, &deactivate) : QApplication::sendEvent(toolbar.get(), &keyEvent);
        }
        QCOMPARE(held.count(), helds);
        QCOMPARE(released.count(), releases);
        QCOMPARE(key.isHeld(), helds > releases);
    }
};

QTEST_MAIN(TestVoiceToolbar)
#include "tst_VoiceToolbar.moc"
