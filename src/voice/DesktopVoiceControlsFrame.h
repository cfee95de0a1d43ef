#pragma once

#include <QFrame>

// The frame around the voice toolbar's status dot and buttons: transparent,
// with a painted rounded outline in #4a3266 and a violet-to-pink gradient
// accent along its top edge.
class DesktopVoiceControlsFrame : public QFrame
{
    Q_OBJECT

public:
    explicit DesktopVoiceControlsFrame(QWidget* parent = nullptr);

protected:
    void paintEvent(QPaintEvent* event) override;
};
