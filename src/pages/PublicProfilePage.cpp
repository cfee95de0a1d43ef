#include "pages/PublicProfilePage.h"

PublicProfilePage::PublicProfilePage(QWidget* parent)
    : QWidget(parent)
{
    setObjectName(QStringLiteral("publicProfilePage"));
}
