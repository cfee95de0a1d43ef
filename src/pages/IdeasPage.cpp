#include "pages/IdeasPage.h"

IdeasPage::IdeasPage(QWidget* parent)
    : QWidget(parent)
{
    setObjectName(QStringLiteral("ideasPage"));
}
