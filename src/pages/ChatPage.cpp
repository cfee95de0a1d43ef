#include "pages/ChatPage.h"

ChatPage::ChatPage(QWidget* parent)
    : QWidget(parent)
{
    setObjectName(QStringLiteral("chatPage"));
}
