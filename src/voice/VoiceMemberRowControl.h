#pragma once

#include <QWidget>

class LinkQualityBars;
class VoiceMemberMuteButton;

// What a member row shows for a member in voice: the voice button and, for
// other members, their link quality beside it.
class VoiceMemberRowControl : public QWidget
{
    Q_OBJECT

public:
    explicit VoiceMemberRowControl(QWidget* parent = nullptr);

    VoiceMemberMuteButton* button() const { return m_button; }
    LinkQualityBars* linkBars() const { return m_linkBars; }

private:
    VoiceMemberMuteButton* m_button = nullptr;
    LinkQualityBars* m_linkBars = nullptr;
};
