#pragma once

#include <QPointer>
#include <QWidget>

class DesktopVoiceControlsFrame;
class QFrame;
class QGraphicsDropShadowEffect;
class QLabel;
class QPushButton;
class VoiceChatManager;

// The voice toolbar under the chat: a status dot and the Join Voice, Mute,
// Audio Settings and Leave Voice buttons, wired to the voice engine and
// following its status, mute and error signals. Voice failures show only here:
// in the dot's colour and tool tip.
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
    // opens above the toolbar, in the toolbar's parent (the chat page), so
    // that it is not clipped by the toolbar's own height.
    QFrame* audioSettingsPanel() const { return m_settingsPanel; }

signals:
    // The panel is about to be shown: the moment to refill its device lists.
    void audioSettingsAboutToShow();

protected:
    void moveEvent(QMoveEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    void toggleAudioSettings();
    void placeAudioSettings();
    void applyStatusGlow(const QString& status);
    void applyStatus(const QString& status);
    void applyMute(bool muted);
    void showVoiceError(const QString& message);
    QFrame* buildAudioSettingsPanel();

    VoiceChatManager* m_voice;
    DesktopVoiceControlsFrame* m_frame = nullptr;
    QLabel* m_statusDot = nullptr;
    QGraphicsDropShadowEffect* m_statusGlow = nullptr;
    QPushButton* m_joinButton = nullptr;
    QPushButton* m_muteButton = nullptr;
    QPushButton* m_settingsButton = nullptr;
    QPushButton* m_leaveButton = nullptr;
    QPointer<QFrame> m_settingsPanel;
};
