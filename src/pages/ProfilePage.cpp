#include "pages/ProfilePage.h"

ProfilePage::ProfilePage(QWidget* parent)
    : QWidget(parent)
{
    setObjectName(QStringLiteral("profilePage"));
}
