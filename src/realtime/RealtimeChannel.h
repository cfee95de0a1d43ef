#pragma once

#include <QJsonObject>
#include <QJsonValue>
#include <QObject>

class QNetworkCookieJar;
class QWebSocket;

// The real-time channel: one Socket.IO (Engine.IO 4) connection over a
// QWebSocket, spoken by hand. It answers the server's pings, connects the
// default namespace, sends events and hands incoming events on.
//
// The socket carries the flags "socketIoReady" (namespace acknowledged) and
// "pendingVoiceJoin" (a voice join waits for the acknowledgement) as dynamic
// properties. Its textMessageReceived signal is left for the owner to connect,
// so other receivers can see each frame before handleRealtimeFrame does.
class RealtimeChannel : public QObject
{
    Q_OBJECT

public:
    RealtimeChannel(QNetworkCookieJar* cookieJar, QObject* parent = nullptr);

    QWebSocket* socket() const { return m_socket; }

    // Opens the socket with the session cookies; callers first check that it is Unconnected.
    void openRealtimeChannel();
    // Connected and acknowledged: events may go out.
    bool isReady() const;
    // Opens the channel only when the socket is Unconnected.
    void openIfUnconnected();

    // Handles one incoming frame: ping, open packet, namespace acknowledgement or event.
    void handleRealtimeFrame(const QString& frame);
    // Sends an event, deferring a voice join until the channel is ready.
    void emitRealtimeEvent(const QString& eventName, const QJsonObject& data);
    // Sends one event frame on a Connected socket without consulting the ready flag.
    void sendEventFrame(const QString& eventName, const QJsonObject& data = {});

    // Reads an event frame ("42" + JSON array): false for anything else.
    // `data` is element 1, or null when the array holds only the name.
    static bool parseEventFrame(const QString& frame, QString& eventName, QJsonValue& data);
    // The frame text of an event: "42" followed by the compact array.
    static QString eventFrame(const QString& eventName, const QJsonObject& data);

    // Frames larger than any real event are dropped unread.
    static constexpr int kMaxFrameSize = 1024 * 1024;

    // Logout: forget the acknowledgement and drop the connection.
    void abort();

signals:
    // An event arrived (after the channel's own frame handling).
    void eventReceived(const QString& eventName, const QJsonValue& data);

private:
    void setReady(bool ready);
    bool pendingVoiceJoin() const;
    void setPendingVoiceJoin(bool pending);

    QNetworkCookieJar* m_cookieJar;
    QWebSocket* m_socket;
};
