#include "voice/VoiceToolbar.h"

#include "app/LogCategories.h"
#include "voice/AudioSettingsPanel.h"
#include "voice/DesktopVoiceControlsFrame.h"
#include "voice/VoiceChatManager.h"
#include "voice/VoiceToolbarButtonHolder.h"
#include "widgets/EmojiPushButton.h"

#include <QDebug>
#include <QGraphicsDropShadowEffect>
#include <QHBoxLayout>
#include <QIcon>
#include <QLabel>
#include <QPainter>
#include <QPainterPath>
#include <QPixmap>
#include <QPushButton>
#include <QStyle>
#include <QVBoxLayout>

namespace {

const char* const DarkButtonStyle =
    "QPushButton { color: #eee7ff; background: #24192f; border: 1px solid #9570c4; border-radius: 7px;"
    " font-size: 16px; padding: 0px; }"
    "QPushButton:hover:enabled { background: #312341; border-color: #b28ce6; }"
    "QPushButton:disabled { color: #6f6278; background: #1d1526; border-color: #4a3a5c; }";

const char* const PinkButtonStyle =
    "QPushButton { color: #ff8dbb; background: #291323; border: 1px solid #a84670; border-radius: 7px;"
    " font-size: 16px; padding: 0px; }"
    "QPushButton:hover:enabled { background: #3a1a31; border-color: #d0608f; }"
    "QPushButton:disabled { color: #6f6278; background: #1d1526; border-color: #4a3a5c; }";

const char* const TransmitBadgeStyle =
    "QLabel { color: #a89bb8; background: #1d1526; border: 1px solid #4a3a5c; border-radius: 6px;"
    " font-size: 10px; font-weight: bold; padding: 1px 5px; }"
    "QLabel[transmitting=\"true\"] { color: #0f2a18; background: #7cff9a; border-color: #22c55e; }";

QString dotStyle(const char* color)
{
    return QStringLiteral("color: %1;background: transparent;border: none;font-size: 11px;").arg(QLatin1String(color));
}

// A speaker with two sound waves, 48 x 48 pixels at device pixel ratio 2.
QPixmap speakerPixmap(const QColor& color)
{
    QPixmap pixmap(48, 48);
    pixmap.setDevicePixelRatio(2.0);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing, true);
    // Logical coordinates: 24 x 24.
    QPainterPath body;
    body.moveTo(3.5, 9.5);
    body.lineTo(7.5, 9.5);
    body.lineTo(12.5, 5.0);
    body.lineTo(12.5, 19.0);
    body.lineTo(7.5, 14.5);
    body.lineTo(3.5, 14.5);
    body.closeSubpath();
    painter.setPen(Qt::NoPen);
    painter.setBrush(color);
    painter.drawPath(body);
    QPen wave(color, 1.8, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin);
    painter.setPen(wave);
    painter.setBrush(Qt::NoBrush);
    painter.drawArc(QRectF(10.5, 8.0, 8.0, 8.0), -50 * 16, 100 * 16);
    painter.drawArc(QRectF(9.0, 4.5, 14.0, 15.0), -50 * 16, 100 * 16);
    return pixmap;
}

QIcon speakerIcon()
{
    QIcon icon;
    icon.addPixmap(speakerPixmap(QColor(QStringLiteral("#ddd6fe"))), QIcon::Normal);
    icon.addPixmap(speakerPixmap(QColor(QStringLiteral("#777777"))), QIcon::Disabled);
    return icon;
}

QPushButton* toolbarButton(const QString& glyph, const QString& toolTip, const char* style)
{
    auto* button = new EmojiPushButton(glyph);
    button->setFixedSize(32, 30);
    button->setCursor(Qt::PointingHandCursor);
    button->setToolTip(toolTip);
    button->setStyleSheet(QLatin1String(style));
    return button;
}

} // namespace

VoiceToolbar::VoiceToolbar(VoiceChatManager* voice, QWidget* parent)
    : QWidget(parent)
    , m_voice(voice)
{
    setObjectName(QStringLiteral("desktopVoiceToolbar"));
    setAttribute(Qt::WA_StyledBackground, true);
    setStyleSheet(QStringLiteral(
        "#desktopVoiceToolbar { background: qlineargradient(x1:0, y1:0, x2:0, y2:1, stop:0 #1c142b, stop:1 #120d1d);"
        " border: none; border-top: 1px solid #8b5cf6; border-radius: 0px; }"));

    m_statusDot = new QLabel(QStringLiteral("●"));
    m_statusDot->setObjectName(QStringLiteral("voiceStatusDot"));
    m_statusDot->setToolTip(QStringLiteral("Disconnected"));
    m_statusDot->setStyleSheet(QStringLiteral("color: #a89bb8;background: transparent;border: none;font-size: 11px;"));
    m_statusGlow = new QGraphicsDropShadowEffect(m_statusDot);
    m_statusGlow->setOffset(0, 0);
    m_statusGlow->setBlurRadius(12);
    m_statusGlow->setColor(QColor(QStringLiteral("#6f6278")));
    m_statusDot->setGraphicsEffect(m_statusGlow);
    m_transmitBadge = new QLabel(QStringLiteral("PTT"));
    m_transmitBadge->setObjectName(QStringLiteral("voiceTransmitBadge"));
    m_transmitBadge->setStyleSheet(QLatin1String(TransmitBadgeStyle));

    m_joinButton = toolbarButton(QStringLiteral("🎙"), QStringLiteral("Join Voice"), DarkButtonStyle);
    m_muteButton = toolbarButton(QStringLiteral("🔊"), QStringLiteral("Mute"), DarkButtonStyle);
    m_muteButton->setIcon(speakerIcon());
    m_muteButton->setIconSize(QSize(20, 20));
    m_settingsButton = toolbarButton(QStringLiteral("⚙️"), QStringLiteral("Audio Settings"), DarkButtonStyle);
    m_leaveButton = toolbarButton(QStringLiteral("✕"), QStringLiteral("Leave Voice"), PinkButtonStyle);
    m_joinButton->setObjectName(QStringLiteral("voiceJoinButton"));
    m_muteButton->setObjectName(QStringLiteral("voiceMuteButton"));
    m_settingsButton->setObjectName(QStringLiteral("voiceSettingsButton"));
    m_leaveButton->setObjectName(QStringLiteral("voiceLeaveButton"));

    m_frame = new DesktopVoiceControlsFrame(this);
    auto* frameLayout = new QHBoxLayout(m_frame);
    frameLayout->setContentsMargins(10, 3, 6, 3);
    frameLayout->setSpacing(4);
    frameLayout->addWidget(m_statusDot);
    frameLayout->addWidget(m_transmitBadge, 0, Qt::AlignVCenter);
    frameLayout->addSpacing(2);
    const QColor violet(QStringLiteral("#a78bfa"));
    frameLayout->addWidget(new VoiceToolbarButtonHolder(m_joinButton, violet));
    frameLayout->addWidget(new VoiceToolbarButtonHolder(m_muteButton, violet));
    frameLayout->addWidget(new VoiceToolbarButtonHolder(m_settingsButton, violet));
    frameLayout->addWidget(new VoiceToolbarButtonHolder(m_leaveButton, QColor(QStringLiteral("#ff4b91"))));

    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(10, 6, 10, 6);
    layout->setSpacing(0);
    layout->addWidget(m_frame);
    layout->addStretch(1);

    m_settingsPanel = new AudioSettingsPanel(this);
    m_transmitBadge->setVisible(m_settingsPanel->isPushToTalk());
    connect(m_settingsPanel, &AudioSettingsPanel::pushToTalkEnabledChanged, m_transmitBadge, &QWidget::setVisible);
    showTransmitState();

    m_joinButton->setEnabled(true);
    m_muteButton->setEnabled(false);
    m_leaveButton->setEnabled(false);
    connect(m_settingsButton, &QPushButton::clicked, this, &VoiceToolbar::toggleAudioSettings);

    if (!m_voice)
        return;
    connect(m_joinButton, &QPushButton::clicked, m_voice, &VoiceChatManager::joinVoice);
    connect(m_muteButton, &QPushButton::clicked, m_voice, &VoiceChatManager::toggleMute);
    connect(m_leaveButton, &QPushButton::clicked, m_voice, &VoiceChatManager::leaveVoice);
    connect(m_voice, &VoiceChatManager::voiceStatusChanged, this, &VoiceToolbar::applyStatusGlow);
    connect(m_voice, &VoiceChatManager::voiceStatusChanged, this, &VoiceToolbar::applyStatus);
    connect(m_voice, &VoiceChatManager::muteChanged, this, &VoiceToolbar::applyMute);
    connect(m_voice, &VoiceChatManager::voiceError, this, &VoiceToolbar::showVoiceError);
}

VoiceToolbar::~VoiceToolbar()
{
    // The panel may live in the parent page while open: it goes with the toolbar.
    if (m_settingsPanel && m_settingsPanel->parent() != this)
        delete m_settingsPanel;
}

void VoiceToolbar::toggleAudioSettings()
{
    if (m_settingsPanel->isVisible()) {
        m_settingsPanel->hide();
        return;
    }
    emit audioSettingsAboutToShow();
    // In the window itself, above every page widget, whatever the page raises later.
    if (!isWindow() && m_settingsPanel->parentWidget() != window())
        m_settingsPanel->setParent(window());
    placeAudioSettings();
    m_settingsPanel->show();
    m_settingsPanel->raise();
}

// Above the controls, left edges aligned, kept inside the window.
void VoiceToolbar::placeAudioSettings()
{
    QWidget* host = m_settingsPanel->parentWidget();
    if (!host || host == this)
        return;
    m_settingsPanel->adjustSize();
    const QSize size = m_settingsPanel->sizeHint().expandedTo(m_settingsPanel->minimumSizeHint());
    const QPoint anchor = m_frame->mapTo(host, QPoint(0, 0));
    const int x = qBound(0, anchor.x(), qMax(0, host->width() - size.width()));
    const int y = qMax(0, mapTo(host, QPoint(0, 0)).y() - size.height() - 6);
    m_settingsPanel->setGeometry(QRect(QPoint(x, y), size));
}

void VoiceToolbar::moveEvent(QMoveEvent* event)
{
    QWidget::moveEvent(event);
    if (m_settingsPanel && m_settingsPanel->isVisible())
        placeAudioSettings();
}

void VoiceToolbar::hideEvent(QHideEvent* event)
{
    QWidget::hideEvent(event);
    // The panel lives in the window: it goes when the chat page does.
    if (m_settingsPanel && m_settingsPanel->parentWidget() != this)
        m_settingsPanel->hide();
}

void VoiceToolbar::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    if (m_settingsPanel && m_settingsPanel->isVisible())
        placeAudioSettings();
}

void VoiceToolbar::applyStatusGlow(const QString& status)
{
    const char* color = "#6f6278";
    if (status == QLatin1String("connected"))
        color = "#7cff9a";
    else if (status == QLatin1String("muted"))
        color = "#ffd166";
    else if (status == QLatin1String("error"))
        color = "#ff5c77";
    m_statusGlow->setColor(QColor(QLatin1String(color)));
    m_statusGlow->setEnabled(true);
}

void VoiceToolbar::applyStatus(const QString& status)
{
    bool inVoice = false;
    if (status == QLatin1String("connected")) {
        m_statusDot->setStyleSheet(dotStyle("#7cff9a"));
        m_statusDot->setToolTip(QStringLiteral("Connected"));
        inVoice = true;
    } else if (status == QLatin1String("muted")) {
        m_statusDot->setStyleSheet(dotStyle("#ffd166"));
        m_statusDot->setToolTip(QStringLiteral("Muted"));
        inVoice = true;
    } else if (status == QLatin1String("error")) {
        m_statusDot->setStyleSheet(dotStyle("#ff5c77"));
        m_statusDot->setToolTip(QStringLiteral("Microphone error"));
        // A failed microphone change leaves the member in voice: Leave stays
        // available; a failed join leaves them out, so Join does.
        inVoice = m_leaveButton->isEnabled();
    } else {
        m_statusDot->setStyleSheet(dotStyle("#6f6278"));
        m_statusDot->setToolTip(QStringLiteral("Disconnected"));
    }
    m_joinButton->setEnabled(!inVoice);
    m_muteButton->setEnabled(inVoice && status != QLatin1String("error"));
    m_leaveButton->setEnabled(inVoice);
}

void VoiceToolbar::applyMute(bool muted)
{
    m_muteButton->setText(QString());
    m_muteButton->setToolTip(muted ? QStringLiteral("Unmute") : QStringLiteral("Mute"));
    m_muted = muted;
    showTransmitState();
}

void VoiceToolbar::setTransmitting(bool transmitting)
{
    m_transmitting = transmitting;
    showTransmitState();
}

void VoiceToolbar::showTransmitState()
{
    const bool onAir = m_transmitting && !m_muted;
    m_transmitBadge->setProperty("transmitting", onAir);
    m_transmitBadge->setText(onAir ? QStringLiteral("TALK") : QStringLiteral("PTT"));
    m_transmitBadge->setToolTip(onAir     ? QStringLiteral("Transmitting")
                                : m_muted ? QStringLiteral("Muted: the push-to-talk key sends nothing")
                                          : QStringLiteral("Not transmitting: hold the push-to-talk key to talk"));
    m_transmitBadge->style()->unpolish(m_transmitBadge);
    m_transmitBadge->style()->polish(m_transmitBadge);
}

void VoiceToolbar::showVoiceError(const QString& message)
{
    qCWarning(lcVoice) << "Errore chat vocale:" << message;
    m_statusDot->setToolTip(message);
}
