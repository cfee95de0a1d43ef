#pragma once

#include <QFrame>

// The frame of one idea card ("desktopIdeaCard"). It adds nothing but its type,
// so the glow and the style sheet can tell idea cards from other frames.
class ProfileIdeaFrame : public QFrame
{
    Q_OBJECT

public:
    explicit ProfileIdeaFrame(QWidget* parent = nullptr);
};
