#pragma once

#include "voice/AudioSettingsPanel.h"

#include <QPointer>
#include <QWidget>

class DesktopVoiceControlsFrame;
class QGraphicsDropShadowEffect;
class QLabel;
class QPushButton;
class VoiceChatManager;

// The voice toolbar under the chat: a status dot and the Join Voice, Mute,
// Audio Settings and Leave Voice buttons, wired to the voice engine and
// following its status, mute and error signals. Voice failures show only here:
// in the dot's colour and tool tip. In push-to-talk mode a badge beside the
// dot tells whether the member is transmitting; Mute wins over the key.
class VoiceToolbar : public QWidget
{
    Q_OBJECT

public:
    explicit VoiceToolbar(VoiceChatManager* voice, QWidget* parent = nullptr);
    ~VoiceToolbar() override;

    QLabel* statusDot() const { return m_statusDot; }
    QGraphicsDropShadowEffect* statusGlow() const { return m_statusGlow; }
    QPushButton* joinButton() const { return m_joinButton; }
    QPushButton* muteButton() const { return m_muteButton; }
    QPushButton* audioSettingsButton() const { return m_settingsButton; }
    QPushButton* leaveButton() const { return m_leaveButton; }
    // The audio settings panel ("voiceSettingsPanel"), hidden at start. It
    // opens above the toolbar, in the toolbar's window, so that it is not
    // clipped by the toolbar's own height nor covered by the page.
    AudioSettingsPanel* audioSettingsPanel() const { return m_settingsPanel; }
    // "PTT" badge, shown in push-to-talk mode only.
    QLabel* transmitBadge() const { return m_transmitBadge; }

public slots:
    // Whether the push-to-talk key currently lets the microphone through.
    void setTransmitting(bool transmitting);

signals:
    // The panel is about to be shown: the moment to refill its device lists.
    void audioSettingsAboutToShow();

protected:
    void hideEvent(QHideEvent* event) override;
    void moveEvent(QMoveEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    void toggleAudioSettings();
    void placeAudioSettings();
    void applyStatusGlow(const QString& status);
    void applyStatus(const QString& status);
    void applyMute(bool muted);
    void showVoiceError(const QString& message);
    void showTransmitState();

    VoiceChatManager* m_voice;
    DesktopVoiceControlsFrame* m_frame = nullptr;
    QLabel* m_statusDot = nullptr;
    QGraphicsDropShadowEffect* m_statusGlow = nullptr;
    QPushButton* m_joinButton = nullptr;
    QPushButton* m_muteButton = nullptr;
    QPushButton* m_settingsButton = nullptr;
    QPushButton* m_leaveButton = nullptr;
    QLabel* m_transmitBadge = nullptr;
    QPointer<AudioSettingsPanel> m_settingsPanel;
    bool m_transmitting = false;
    bool m_muted = false;
};
