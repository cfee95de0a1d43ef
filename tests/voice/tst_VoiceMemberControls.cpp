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
#include <QGraphicsDropShadowEffect>
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

        // A rebuilt row shows the engine's state at once.
        VoiceMemberMuteButton* rebuilt = controls.chatPanelControl("orion", &row)->button();
        QVERIFY(rebuilt->isMemberMuted());
        orion->click();
        QTRY_VERIFY(!rebuilt->isMemberMuted());  // followed the engine's signal
    }

    void ownRowsFollowTheMicrophone()
    {
        VoiceMemberRowControl* chat = controls.chatPanelControl("luna", &row);
        QVERIFY(chat->button()->testAttribute(Qt::WA_TransparentForMouseEvents));
        QCOMPARE(chat->button()->toolTip(), QStringLiteral("You are in Voice Chat"));
        VoiceMemberMuteButton* member = controls.voiceMemberControl("luna", &row)->button();
        emit voice.localUserSpeakingChanged(true);
        QVERIFY(chat->button()->property("speaking").toBool());
        QVERIFY(member->graphicsEffect()->isEnabled());
        emit voice.localUserSpeakingChanged(false);
        QVERIFY(!member->graphicsEffect()->isEnabled());
        // No volume and no link for oneself.
        QVERIFY(!rightClick(controls.voiceMemberControl("luna", &row)));
        controls.setLinkQuality("luna", 4, "RTT 1 ms");
        QVERIFY(chat->linkBars()->isHidden());
    }

    void gamesRowsShowMutesOnly()
    {
        VoiceMemberMuteButton* kai = controls.gamesPanelControl("kai", &row)->button();
        kai->click();
        QTRY_VERIFY(kai->isMemberMuted());
        QCOMPARE(kai->toolTip(), QStringLiteral("Unmute"));
        QVERIFY(!controls.gamesPanelControl("mira", &row)->button()->isMemberMuted());
        emit voice.remoteUserSpeakingChanged("kai", true);
        QVERIFY(!kai->property("speaking").toBool());
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
        QVERIFY(!orion->button()->isMemberMuted());

        QCOMPARE(rightClick(controls.voiceMemberControl("orion", &row))->slider()->value(), 50);
        QApplication::activePopupWidget()->close();
        QCOMPARE(rightClick(controls.gamesPanelControl("mira", &row))->slider()->value(), 100);
        QApplication::activePopupWidget()->close();
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
        QVERIFY(bars->toolTip().contains("RTT 40 ms"));
        QVERIFY(bars->toolTip().contains("&lt;ok&gt;"));  // shown as plain text
        QVERIFY(mira->linkBars()->isHidden());
        bars->resize(bars->sizeHint());
        const QImage three = bars->grab().toImage();
        int green = 0;
        for (int x = 0; x < three.width(); ++x)
            green += three.pixelColor(x, three.height() - 4).green() > 200;
        QVERIFY2(green >= 6, qPrintable(QString::number(green)));

        const int barsWidth = bars->sizeHint().width();
        controls.setLinkQuality("orion", 0, "Connection problem: no packets for 1.4 s");
        QVERIFY(bars->isConnectionProblem());
        QVERIFY(bars->sizeHint().width() > 3 * barsWidth);  // the words, not the bars
        QVERIFY(bars->toolTip().contains("Connection problem"));

        // A row built later shows the last report at once.
        QVERIFY(controls.gamesPanelControl("orion", &row)->linkBars()->isConnectionProblem());
    }
};

QTEST_MAIN(TestVoiceMemberControls)
#include "tst_VoiceMemberControls.moc"
