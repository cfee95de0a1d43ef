// The voice control of member rows: mutes and speaking from the engine, the
// volume pop-up remembered per member, and the link quality beside it.

#include "session/AppSettings.h"
#include "voice/LinkQualityBars.h"
#include "voice/MemberVolumePopup.h"
#include "voice/VoiceChatManager.h"
#include "voice/VoiceMemberControls.h"
#include "voice/VoiceMemberMuteButton.h"
#include "voice/VoiceMemberRowControl.h"

#include <QApplication>
#include <QLabel>
#include <QSettings>
#include <QSlider>
#include <QtTest>

namespace {

// The pop-up a right click on the control opens.
MemberVolumePopup* rightClick(VoiceMemberRowControl* control)
{
    emit control->button()->customContextMenuRequested(QPoint(4, 4));
    return qobject_cast<MemberVolumePopup*>(QApplication::activePopupWidget());
}

}  // namespace

class TestVoiceMemberControls : public QObject
{
    Q_OBJECT

private:
    VoiceChatManager voice;
    VoiceMemberControls controls{&voice, [] { return QStringLiteral("luna"); }};
    QWidget row;

private slots:
    void init() { QSettings(AppSettings::kOrganization, AppSettings::kApplication).clear(); }

    void chatPanelRowsMuteMembersLocally()
    {
        VoiceMemberMuteButton* orion = controls.chatPanelControl("orion", &row)->button();
        QCOMPARE(orion->toolTip(), QStringLiteral("Mute this member"));
        emit voice.remoteUserSpeakingChanged("orion", true);
        QVERIFY(orion->property("speaking").toBool());
        orion->click();
        QVERIFY(orion->isMemberMuted());
        QCOMPARE(orion->toolTip(), QStringLiteral("Unmute this member"));
        emit voice.remoteUserSpeakingChanged("orion", true);
        QVERIFY(!orion->property("speaking").toBool());  // a muted member never shows as speaking
        QCOMPARE(controls.gamesPanelControl("orion", &row)->button()->toolTip(), QStringLiteral("Unmute"));

        // A rebuilt row shows the engine's state at once.
        VoiceMemberMuteButton* rebuilt = controls.chatPanelControl("orion", &row)->button();
        QVERIFY(rebuilt->isMemberMuted());
        orion->click();
        QTRY_VERIFY(!rebuilt->isMemberMuted());  // followed the engine's signal
    }

    // Each member keeps their own volume in every kind of row, the mute stays
    // apart, and a row made later hands the remembered volume to the engine.
    void volumePopupRemembersPerMember()
    {
        QSignalSpy volumes(&controls, &VoiceMemberControls::memberVolumeChanged);
        VoiceMemberRowControl* orion = controls.chatPanelControl("orion", &row);
        MemberVolumePopup* popup = rightClick(orion);
        QCOMPARE(popup->slider()->value(), 100);
        QTest::keyClick(popup->slider(), Qt::Key_PageDown);
        QTest::keyClick(popup->slider(), Qt::Key_PageDown);
        QCOMPARE(volumes.last(), QVariantList({"orion", 50}));
        QCOMPARE(popup->valueLabel()->text(), QStringLiteral("50 %"));
        popup->close();
        QVERIFY(!orion->button()->isMemberMuted());  // the volume is not the mute

        QCOMPARE(rightClick(controls.voiceMemberControl("orion", &row))->slider()->value(), 50);
        QApplication::activePopupWidget()->close();
        QCOMPARE(rightClick(controls.gamesPanelControl("mira", &row))->slider()->value(), 100);
        QApplication::activePopupWidget()->close();
        QVERIFY(!rightClick(controls.voiceMemberControl("luna", &row)));  // no volume for oneself
        volumes.clear();
        controls.chatPanelControl("orion", &row);
        controls.chatPanelControl("mira", &row);
        QCOMPARE(QList<QVariantList>(volumes), QList<QVariantList>({{"orion", 50}}));
    }

    void linkBarsAndConnectionProblem()
    {
        VoiceMemberRowControl* orion = controls.voiceMemberControl("orion", &row);
        VoiceMemberRowControl* mira = controls.chatPanelControl("mira", &row);
        LinkQualityBars* bars = orion->linkBars();
        QVERIFY(bars->isHidden());  // nothing known yet

        controls.setLinkQuality("orion", 3, "RTT 40 ms, loss 1 %, jitter 5 ms <ok>");
        QVERIFY(!bars->isHidden());
        QCOMPARE(bars->bars(), 3);
        QVERIFY(bars->toolTip().contains("RTT 40 ms, loss 1 %, jitter 5 ms &lt;ok&gt;"));  // shown as plain text
        QVERIFY(mira->linkBars()->isHidden());

        const int barsWidth = bars->sizeHint().width();
        controls.setLinkQuality("orion", 0, "Connection problem: no packets for 1.4 s");
        QVERIFY(bars->isConnectionProblem());
        QVERIFY(bars->sizeHint().width() > 3 * barsWidth);  // the words, not the bars

        // A row built later shows the last report at once.
        QVERIFY(controls.gamesPanelControl("orion", &row)->linkBars()->isConnectionProblem());
    }
};

QTEST_MAIN(TestVoiceMemberControls)
#include "tst_VoiceMemberControls.moc"
