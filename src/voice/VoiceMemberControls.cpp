#include "voice/VoiceMemberControls.h"

#include "voice/LinkQualityBars.h"
#include "voice/MemberVolumePopup.h"
#include "voice/MemberVolumeStore.h"
#include "voice/VoiceChatManager.h"
#include "voice/VoiceMemberMuteButton.h"
#include "voice/VoiceMemberRowControl.h"

#include <QGraphicsDropShadowEffect>
#include <QStyle>

namespace {

const char kChatPanelStyle[] =
    "QPushButton { color: #c4b5fd; background: transparent; border: none; font-size: 13px; }"
    "QPushButton[speaking=\"true\"] { color: white; background: rgba(34, 197, 94, 55);"
    " border: 1px solid #22c55e; border-radius: 8px; }";
const char kMemberControlStyle[] =
    "QPushButton { background: transparent; border: 1px solid transparent; border-radius: 12px; font-size: 14px; }"
    // The glow alone is too faint around the dark headphones glyph to be seen.
    "QPushButton[speaking=\"true\"] { border-color: #22c55e; }";
const char kGamesPanelStyle[] = "QPushButton { background: transparent; border: none; font-size: 14px; }";

const QString kMute = QStringLiteral("Mute");
const QString kUnmute = QStringLiteral("Unmute");

void applySpeaking(VoiceMemberMuteButton* button, bool speaking)
{
    button->setProperty("speaking", speaking);
    button->style()->unpolish(button);
    button->style()->polish(button);
    if (auto* glow = qobject_cast<QGraphicsDropShadowEffect*>(button->graphicsEffect()))
        glow->setEnabled(speaking);
    button->update();
}

}  // namespace

VoiceMemberControls::VoiceMemberControls(VoiceChatManager* voice, OwnUserName ownUserName, QObject* parent)
    : QObject(parent)
    , m_voice(voice)
    , m_ownUserName(std::move(ownUserName))
{
}

bool VoiceMemberControls::isOwn(const QString& userName) const
{
    return userName == m_ownUserName();
}

void VoiceMemberControls::showSpeaking(VoiceMemberMuteButton* button, const QString& userName, bool own) const
{
    const bool speaking = own ? m_voice->isLocalUserSpeaking()
                              : m_voice->isRemoteUserSpeaking(userName) && !m_voice->isRemoteUserMuted(userName);
    applySpeaking(button, speaking);
}

void VoiceMemberControls::showMuted(VoiceMemberMuteButton* button, const QString& userName, bool own,
                                    const QString& notMutedTip, const QString& mutedTip) const
{
    const bool muted = own ? m_voice->isMuted() : m_voice->isRemoteUserMuted(userName);
    button->setMemberMuted(muted);
    button->setToolTip(muted ? mutedTip : notMutedTip);
}

VoiceMemberRowControl* VoiceMemberControls::chatPanelControl(const QString& userName, QWidget* parent) const
{
    auto* control = new VoiceMemberRowControl(parent);
    VoiceMemberMuteButton* button = control->button();
    button->setFlat(true);
    button->setFocusPolicy(Qt::NoFocus);
    button->setProperty("username", userName);
    button->setStyleSheet(QString::fromLatin1(kChatPanelStyle));
    const bool own = isOwn(userName);
    const QString notMutedTip = own ? QStringLiteral("You are in Voice Chat") : QStringLiteral("Mute this member");
    const QString mutedTip = own ? QStringLiteral("Your microphone is muted") : QStringLiteral("Unmute this member");
    auto refresh = [this, button, userName, own, notMutedTip, mutedTip] {
        showMuted(button, userName, own, notMutedTip, mutedTip);
        showSpeaking(button, userName, own);
    };
    refresh();

    if (own) {
        button->setAttribute(Qt::WA_TransparentForMouseEvents);
        QObject::connect(m_voice, &VoiceChatManager::localUserSpeakingChanged, button,
                         [button](bool speaking) { applySpeaking(button, speaking); });
        QObject::connect(m_voice, &VoiceChatManager::muteChanged, button, refresh);
        return control;
    }
    QObject::connect(button, &QPushButton::clicked, button, [this, userName, refresh] {
        m_voice->toggleRemoteUserMute(userName);
        refresh();
    });
    QObject::connect(m_voice, &VoiceChatManager::remoteUserMuteChanged, button,
                     [userName, refresh](const QString& changed, bool) {
                         if (changed == userName)
                             refresh();
                     });
    QObject::connect(m_voice, &VoiceChatManager::remoteUserSpeakingChanged, button,
                     [this, button, userName](const QString& changed, bool speaking) {
                         if (changed == userName)
                             applySpeaking(button, speaking && !m_voice->isRemoteUserMuted(userName));
                     });
    addLinkAndVolume(control, userName);
    return control;
}

VoiceMemberRowControl* VoiceMemberControls::voiceMemberControl(const QString& userName, QWidget* parent) const
{
    auto* control = new VoiceMemberRowControl(parent);
    VoiceMemberMuteButton* button = control->button();
    button->setFixedSize(24, 24);
    button->setCursor(Qt::PointingHandCursor);
    button->setStyleSheet(QString::fromLatin1(kMemberControlStyle));
    auto* glow = new QGraphicsDropShadowEffect(button);
    glow->setOffset(0, 0);
    glow->setBlurRadius(10);
    glow->setColor(QColor(0x22, 0xc5, 0x5e, 165));
    button->setGraphicsEffect(glow);

    const bool own = isOwn(userName);
    auto refresh = [this, button, userName, own] {
        showMuted(button, userName, own, kMute, kUnmute);
        showSpeaking(button, userName, own);
    };
    refresh();

    if (own) {
        QObject::connect(button, &QPushButton::clicked, m_voice, &VoiceChatManager::toggleMute);
        QObject::connect(m_voice, &VoiceChatManager::muteChanged, button, refresh);
        QObject::connect(m_voice, &VoiceChatManager::localUserSpeakingChanged, button,
                         [button](bool speaking) { applySpeaking(button, speaking); });
        return control;
    }
    QObject::connect(button, &QPushButton::clicked, m_voice, [this, userName] { m_voice->toggleRemoteUserMute(userName); });
    QObject::connect(m_voice, &VoiceChatManager::remoteUserMuteChanged, button,
                     [userName, refresh](const QString& changed, bool) {
                         if (changed == userName)
                             refresh();
                     });
    QObject::connect(m_voice, &VoiceChatManager::remoteUserSpeakingChanged, button,
                     [this, button, userName](const QString& changed, bool) {
                         if (changed == userName)
                             showSpeaking(button, userName, false);
                     });
    addLinkAndVolume(control, userName);
    return control;
}

VoiceMemberRowControl* VoiceMemberControls::gamesPanelControl(const QString& userName, QWidget* parent) const
{
    auto* control = new VoiceMemberRowControl(parent);
    VoiceMemberMuteButton* button = control->button();
    button->setFixedSize(24, 24);
    button->setCursor(Qt::PointingHandCursor);
    button->setStyleSheet(QString::fromLatin1(kGamesPanelStyle));

    const bool own = isOwn(userName);
    auto refresh = [this, button, userName, own] { showMuted(button, userName, own, kMute, kUnmute); };
    refresh();

    if (own) {
        QObject::connect(button, &QPushButton::clicked, m_voice, &VoiceChatManager::toggleMute);
        QObject::connect(m_voice, &VoiceChatManager::muteChanged, button, refresh);
        return control;
    }
    QObject::connect(button, &QPushButton::clicked, m_voice, [this, userName] { m_voice->toggleRemoteUserMute(userName); });
    QObject::connect(m_voice, &VoiceChatManager::remoteUserMuteChanged, button,
                     [userName, refresh](const QString& changed, bool) {
                         if (changed == userName)
                             refresh();
                     });
    addLinkAndVolume(control, userName);
    return control;
}

void VoiceMemberControls::addLinkAndVolume(VoiceMemberRowControl* control, const QString& userName) const
{
    LinkQualityBars* bars = control->linkBars();
    const auto report = m_linkReports.constFind(userName);
    if (report != m_linkReports.constEnd())
        bars->setQuality(report->bars, report->toolTip);
    connect(this, &VoiceMemberControls::linkQualityChanged, bars,
            [bars, userName](const QString& changed, int count, const QString& toolTip) {
                if (changed == userName)
                    bars->setQuality(count, toolTip);
            });

    VoiceMemberMuteButton* button = control->button();
    button->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(button, &QWidget::customContextMenuRequested, button,
            [this, button, userName] { openVolumePopup(userName, button); });

    // The engine keeps volumes by user name, so a remembered one is in place
    // before the member joins voice.
    if (const int saved = MemberVolumeStore::volume(userName); saved != MemberVolumeStore::DefaultPercent)
        emit memberVolumeChanged(userName, saved);
}

MemberVolumePopup* VoiceMemberControls::openVolumePopup(const QString& userName, QWidget* anchor) const
{
    auto* popup = new MemberVolumePopup(userName, MemberVolumeStore::volume(userName), anchor);
    connect(popup, &MemberVolumePopup::volumeChanged, this,
            [this, userName](int percent) { emit memberVolumeChanged(userName, percent); });
    connect(popup, &MemberVolumePopup::volumeChosen, this,
            [userName](int percent) { MemberVolumeStore::remember(userName, percent); });
    popup->popUpBelow(anchor);
    return popup;
}

void VoiceMemberControls::setLinkQuality(const QString& userName, int bars, const QString& toolTip)
{
    // Reports come only for members in voice, a small mesh; past the bound the
    // old ones go, and rows catch up with the next report.
    if (m_linkReports.size() >= MaxLinkReports && !m_linkReports.contains(userName))
        m_linkReports.clear();
    m_linkReports.insert(userName, {bars, toolTip});
    emit linkQualityChanged(userName, bars, toolTip);
}
