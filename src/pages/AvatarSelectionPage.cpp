#include "pages/AvatarSelectionPage.h"

AvatarSelectionPage::AvatarSelectionPage(QWidget* parent)
    : QWidget(parent)
{
    setObjectName(QStringLiteral("avatarSelectionPage"));
}
