#include "voice/VoiceMemberRowControl.h"

#include "voice/LinkQualityBars.h"
#include "voice/VoiceMemberMuteButton.h"

#include <QHBoxLayout>

VoiceMemberRowControl::VoiceMemberRowControl(QWidget* parent)
    : QWidget(parent)
    , m_button(new VoiceMemberMuteButton(this))
    , m_linkBars(new LinkQualityBars(this))
{
    setObjectName(QStringLiteral("voiceMemberControl"));
    setSizePolicy(QSizePolicy::Maximum, QSizePolicy::Fixed);
    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(3);
    layout->addWidget(m_button);
    layout->addWidget(m_linkBars, 0, Qt::AlignVCenter);
}
