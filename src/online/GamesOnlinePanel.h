#pragma once

#include "online/OnlinePanel.h"

#include <QJsonObject>

class QLabel;
struct ServerReply;

// The games page's online-member panel ("gamesOnlinePanel"), filled from
// /api/online-members. Only one request is in flight at a time (the Games
// button and the presence events of the real-time channel share it; events
// meanwhile lead to one more request after it); a failed reply leaves the rows
// as they were.
class GamesOnlinePanel : public OnlinePanel
{
    Q_OBJECT

public:
    explicit GamesOnlinePanel(QNetworkAccessManager* network, QWidget* parent = nullptr);

    // gamesOnlineLoading: a request is in flight (ended by its reply or its 10 s timeout).
    bool isLoading() const { return reloadInFlight(); }

private:
    static RowStyle rowStyle();
    void handleReply(const ServerReply& reply);
    QString statusText(const QJsonObject& member) const override;
    void showAvatar(QLabel* avatar, const QJsonObject& member) override;
};
