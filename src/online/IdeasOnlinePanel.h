#pragma once

#include "online/OnlinePanel.h"

#include <QJsonObject>

struct ServerReply;

// The ideas page's online-member panel ("ideasOnlinePanel" with the list
// "ideasOnlineList"), filled from /api/online-members. Any failure empties the
// list and shows "Unavailable"; the counter then keeps its value.
class IdeasOnlinePanel : public OnlinePanel
{
    Q_OBJECT

public:
    explicit IdeasOnlinePanel(QNetworkAccessManager* network, QWidget* parent = nullptr);

private:
    static RowStyle rowStyle();
    void handleReply(const ServerReply& reply);
    void showAvatar(QLabel* avatar, const QJsonObject& member) override;
};
