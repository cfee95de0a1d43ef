#include "pages/GamesPage.h"

GamesPage::GamesPage(QWidget* parent)
    : QWidget(parent)
{
    setObjectName(QStringLiteral("gamesPage"));
}
