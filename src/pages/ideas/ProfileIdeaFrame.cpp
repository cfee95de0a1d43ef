#include "pages/ideas/ProfileIdeaFrame.h"

ProfileIdeaFrame::ProfileIdeaFrame(QWidget* parent)
    : QFrame(parent)
{
}
