#include "voice/VoiceChatManager.h"
#include "voice/VoiceMemberControls.h"
#include "voice/VoiceMemberMuteButton.h"

#include <QGraphicsDropShadowEffect>
#include <QtTest>

namespace {

bool hasSlashPixel(VoiceMemberMuteButton& button)
{
    const QImage image = button.grab().toImage();
    const QPoint middle(image.width() / 2, image.height() / 2);
    return image.pixelColor(middle).red() > 200 && image.pixelColor(middle).green() < 160;
}

}  // namespace

class TestVoiceMemberControls : public QObject
{
    Q_OBJECT

private slots:
    void mutedButtonIsCrossedOut()
    {
        VoiceMemberMuteButton button;
        button.setStyleSheet("QPushButton { background: black; border: none; color: black; }");
        button.resize(40, 40);
        QCOMPARE(button.text(), QStringLiteral("🎧"));
        QVERIFY(!hasSlashPixel(button));
        button.setMemberMuted(true);
        QCOMPARE(button.text(), QStringLiteral("🔇"));
        QVERIFY(hasSlashPixel(button));
    }

    void chatPanelRowsMuteMembersLocally()
    {
        VoiceChatManager voice;
        VoiceMemberControls controls(&voice, [] { return QStringLiteral("luna"); });
        QWidget row;
        VoiceMemberMuteButton* orion = controls.chatPanelControl("orion", &row);
        QCOMPARE(orion->toolTip(), QStringLiteral("Mute this member"));
        QCOMPARE(orion->property("username").toString(), QStringLiteral("orion"));

        emit voice.remoteUserSpeakingChanged("orion", true);
        QVERIFY(orion->property("speaking").toBool());
        orion->click();
        QVERIFY(orion->isMemberMuted());
        QCOMPARE(orion->toolTip(), QStringLiteral("Unmute this member"));
        emit voice.remoteUserSpeakingChanged("orion", true);
        QVERIFY(!orion->property("speaking").toBool());  // a muted member never shows as speaking

        // A rebuilt row shows the engine's state at once.
        VoiceMemberMuteButton* rebuilt = controls.chatPanelControl("orion", &row);
        QVERIFY(rebuilt->isMemberMuted());
        orion->click();
        QVERIFY(!orion->isMemberMuted());
        QTRY_VERIFY(!rebuilt->isMemberMuted());  // followed the engine's signal
    }

    void ownRowsFollowTheMicrophone()
    {
        VoiceChatManager voice;
        VoiceMemberControls controls(&voice, [] { return QStringLiteral("luna"); });
        QWidget row;
        VoiceMemberMuteButton* chat = controls.chatPanelControl("luna", &row);
        QVERIFY(chat->testAttribute(Qt::WA_TransparentForMouseEvents));
        QCOMPARE(chat->toolTip(), QStringLiteral("You are in Voice Chat"));
        VoiceMemberMuteButton* member = controls.voiceMemberControl("luna", &row);
        QCOMPARE(member->toolTip(), QStringLiteral("Mute"));

        emit voice.localUserSpeakingChanged(true);
        QVERIFY(chat->property("speaking").toBool());
        QVERIFY(member->property("speaking").toBool());
        QVERIFY(member->graphicsEffect()->isEnabled());
        emit voice.localUserSpeakingChanged(false);
        QVERIFY(!member->graphicsEffect()->isEnabled());
    }

    void gamesRowsShowMutesOnly()
    {
        VoiceChatManager voice;
        VoiceMemberControls controls(&voice, [] { return QStringLiteral("luna"); });
        QWidget row;
        VoiceMemberMuteButton* kai = controls.gamesPanelControl("kai", &row);
        VoiceMemberMuteButton* other = controls.gamesPanelControl("mira", &row);
        QCOMPARE(kai->size(), QSize(24, 24));
        kai->click();
        QTRY_VERIFY(kai->isMemberMuted());
        QCOMPARE(kai->toolTip(), QStringLiteral("Unmute"));
        QVERIFY(!other->isMemberMuted());
        emit voice.remoteUserSpeakingChanged("kai", true);
        QVERIFY(!kai->property("speaking").toBool());
    }
};

QTEST_MAIN(TestVoiceMemberControls)
#include "tst_VoiceMemberControls.moc"
