#pragma once

#include <QHash>
#include <QObject>
#include <QString>

#include <functional>

class MemberVolumePopup;
class QWidget;
class VoiceChatManager;
class VoiceMemberMuteButton;
class VoiceMemberRowControl;

// Builds the voice control of a member row in its three flavours. Each control
// reads the engine's current state when made and follows its signals for as
// long as it lives, so a rebuilt row shows the right state at once. Controls of
// other members also show their link quality and open a volume pop-up on right
// click; volumes are remembered per user name.
class VoiceMemberControls : public QObject
{
    Q_OBJECT

public:
    using OwnUserName = std::function<QString()>;
    static constexpr int MaxLinkReports = 64;

    VoiceMemberControls(VoiceChatManager* voice, OwnUserName ownUserName, QObject* parent = nullptr);

    // Chat panel rows: highlights speaking; the own row is a pure indicator.
    VoiceMemberRowControl* chatPanelControl(const QString& userName, QWidget* parent) const;
    // Ideas panel rows and member cards: speaking glow; the own row toggles the microphone.
    VoiceMemberRowControl* voiceMemberControl(const QString& userName, QWidget* parent) const;
    // Games panel rows: mute state only.
    VoiceMemberRowControl* gamesPanelControl(const QString& userName, QWidget* parent) const;

    // The member's volume pop-up under `anchor`; what is chosen is remembered.
    MemberVolumePopup* openVolumePopup(const QString& userName, QWidget* anchor) const;

public slots:
    // bars 1-4, or 0 for "Connection problem"; the tool tip carries the numbers.
    void setLinkQuality(const QString& userName, int bars, const QString& toolTip);

signals:
    void memberVolumeChanged(const QString& userName, int percent) const;
    // Rows follow this; it repeats setLinkQuality.
    void linkQualityChanged(const QString& userName, int bars, const QString& toolTip) const;

private:
    struct LinkReport
    {
        int bars;
        QString toolTip;
    };

    bool isOwn(const QString& userName) const;
    void showSpeaking(VoiceMemberMuteButton* button, const QString& userName, bool own) const;
    void showMuted(VoiceMemberMuteButton* button, const QString& userName, bool own, const QString& notMutedTip,
                   const QString& mutedTip) const;
    void addLinkAndVolume(VoiceMemberRowControl* control, const QString& userName) const;

    VoiceChatManager* m_voice;
    OwnUserName m_ownUserName;
    QHash<QString, LinkReport> m_linkReports;
};
