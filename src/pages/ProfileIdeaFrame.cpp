#include "pages/ProfileIdeaFrame.h"

ProfileIdeaFrame::ProfileIdeaFrame(QWidget* parent)
    : QFrame(parent)
{
}
