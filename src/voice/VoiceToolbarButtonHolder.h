#pragma once

#include <QColor>
#include <QWidget>

class QGraphicsDropShadowEffect;
class QPushButton;
class QVariantAnimation;

// A 32 x 34 holder for one voice toolbar button that gives the button a hover
// glow: a drop shadow of blur radius 20 in the holder's colour, fading in on
// enter and out on leave over 200 ms (OutCubic).
class VoiceToolbarButtonHolder : public QWidget
{
    Q_OBJECT

public:
    VoiceToolbarButtonHolder(QPushButton* button, const QColor& glowColor, QWidget* parent = nullptr);

    QPushButton* button() const { return m_button; }
    // 0 (no glow) to 1 (full glow).
    qreal glowProgress() const { return m_progress; }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void animateTo(qreal target);
    void applyProgress(qreal progress);

    QPushButton* m_button;
    QColor m_glowColor;
    QGraphicsDropShadowEffect* m_glow;
    QVariantAnimation* m_animation;
    qreal m_progress = 0.0;
};
