#pragma once

#include "online/OnlinePanel.h"

#include <QJsonObject>

struct ServerReply;

// The online-member panel beside the chat ("onlineMembersPanel"), filled from the
// presence request: the server's online count in the badge and one row per member
// who is online. Its height follows the message area (OnlineMembersHeightSync).
class ChatOnlinePanel : public OnlinePanel
{
    Q_OBJECT

public:
    explicit ChatOnlinePanel(QNetworkAccessManager* network, QWidget* parent = nullptr);

private:
    static RowStyle rowStyle();
    void handlePresenceReply(const ServerReply& reply);
    void showAvatar(QLabel* avatar, const QJsonObject& member) override;
};
