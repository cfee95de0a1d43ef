#pragma once

#include "widgets/EmojiPushButton.h"

// The per-member voice button of member rows: "🎧", or "🔇" crossed by a pink
// slash while the member is muted.
class VoiceMemberMuteButton : public EmojiPushButton
{
    Q_OBJECT

public:
    explicit VoiceMemberMuteButton(QWidget* parent = nullptr);

    void setMemberMuted(bool muted);
    bool isMemberMuted() const { return m_memberMuted; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    bool m_memberMuted = false;
};
