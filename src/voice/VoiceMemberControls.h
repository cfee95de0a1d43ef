#pragma once

#include <QString>

#include <functional>

class QWidget;
class VoiceChatManager;
class VoiceMemberMuteButton;

// Builds the voice button of a member row in its three flavours. Each button
// reads the engine's current state when made and follows its signals for as
// long as it lives, so a rebuilt row shows the right state at once.
class VoiceMemberControls
{
public:
    using OwnUserName = std::function<QString()>;

    VoiceMemberControls(VoiceChatManager* voice, OwnUserName ownUserName);

    // Chat panel rows: highlights speaking; the own row is a pure indicator.
    VoiceMemberMuteButton* chatPanelControl(const QString& userName, QWidget* parent) const;
    // Ideas panel rows and member cards: speaking glow; the own row toggles the microphone.
    VoiceMemberMuteButton* voiceMemberControl(const QString& userName, QWidget* parent) const;
    // Games panel rows: mute state only.
    VoiceMemberMuteButton* gamesPanelControl(const QString& userName, QWidget* parent) const;

private:
    bool isOwn(const QString& userName) const;
    void showSpeaking(VoiceMemberMuteButton* button, const QString& userName, bool own) const;
    void showMuted(VoiceMemberMuteButton* button, const QString& userName, bool own, const QString& notMutedTip,
                   const QString& mutedTip) const;

    VoiceChatManager* m_voice;
    OwnUserName m_ownUserName;
};
