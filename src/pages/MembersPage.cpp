#include "pages/MembersPage.h"

MembersPage::MembersPage(QWidget* parent)
    : QWidget(parent)
{
    setObjectName(QStringLiteral("membersPage"));
}
