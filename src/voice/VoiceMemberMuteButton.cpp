#include "voice/VoiceMemberMuteButton.h"

#include <QPainter>

VoiceMemberMuteButton::VoiceMemberMuteButton(QWidget* parent)
    : EmojiPushButton(QStringLiteral("🎧"), parent)
{
}

void VoiceMemberMuteButton::setMemberMuted(bool muted)
{
    m_memberMuted = muted;
    setText(muted ? QStringLiteral("🔇") : QStringLiteral("🎧"));
    update();
}

void VoiceMemberMuteButton::paintEvent(QPaintEvent* event)
{
    EmojiPushButton::paintEvent(event);
    if (!m_memberMuted)
        return;
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(QPen(QColor(QStringLiteral("#f472b6")), 2.2, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    const qreal w = width();
    const qreal h = height();
    painter.drawLine(QPointF(0.25 * w, 0.22 * h), QPointF(0.75 * w, 0.78 * h));
}
