#pragma once

#include "realtime/OnlinePanel.h"

#include <QJsonObject>

class QLabel;
struct ServerReply;

// The games page's online-member panel ("gamesOnlinePanel"), filled from
// /api/online-members. Only one request is in flight at a time (the
// gamesOnlineLoading guard shared by the Games button and the presence events of
// the real-time channel); a failed reply leaves the rows as they were.
class GamesOnlinePanel : public OnlinePanel
{
    Q_OBJECT

public:
    explicit GamesOnlinePanel(QNetworkAccessManager* network, QWidget* parent = nullptr);

    // Does nothing while a request is in flight; otherwise sets the guard and
    // issues GET /api/online-members.
    void reload() override;
    // For the real-time refresher: reloads (guarded) when the event is one of the
    // four presence events; true when the event was one of them.
    bool reloadForEvent(const QString& eventName);

    bool isLoading() const { return m_gamesOnlineLoading; }

    static bool isPresenceEvent(const QString& eventName);

private:
    void handleReply(const ServerReply& reply);
    QWidget* buildRow(const QJsonObject& member);
    void showPicture(QLabel* avatar, const QString& fileName);

    bool m_gamesOnlineLoading = false;
};
