#pragma once

#include <QFrame>

class QLabel;
class QSlider;

// The small pop-up with a member's playback volume: the name, a slider from
// 0 to 200 % and the value. Closes like a menu and deletes itself then.
class MemberVolumePopup : public QFrame
{
    Q_OBJECT

public:
    MemberVolumePopup(const QString& userName, int percent, QWidget* parent = nullptr);

    QSlider* slider() const { return m_slider; }
    QLabel* valueLabel() const { return m_value; }

    // Opens under `anchor`, kept on its screen.
    void popUpBelow(QWidget* anchor);

signals:
    // While the slider moves.
    void volumeChanged(int percent);
    // The value it was closed with: the one to remember.
    void volumeChosen(int percent);

protected:
    void hideEvent(QHideEvent* event) override;

private:
    void showValue(int percent);

    QSlider* m_slider = nullptr;
    QLabel* m_value = nullptr;
};
