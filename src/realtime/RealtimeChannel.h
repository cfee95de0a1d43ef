#pragma once

#include "realtime/ReconnectBackoff.h"

#include <QJsonObject>
#include <QJsonValue>
#include <QObject>
#include <QTimer>

#include <functional>

class QNetworkCookieJar;
class QWebSocket;

// The real-time channel: one Socket.IO (Engine.IO 4) connection over a
// QWebSocket, spoken by hand. It answers the server's pings, connects the
// default namespace, sends events and reads each incoming event once, handing
// it on as a typed signal (names in RealtimeEvents.h).
//
// Readiness (namespace acknowledged) ends with the connection; a voice join
// asked for before it waits for the acknowledgement.
//
// While a session is active, a lost or failed connection comes back by
// itself after a growing wait (ReconnectBackoff); a member's action (Chat,
// Send, Join) tries at once.
class RealtimeChannel : public QObject
{
    Q_OBJECT

public:
    enum class ConnectionState {
        Idle,          // never opened in this session, or stopped
        Connecting,    // first connection of the session under way
        Ready,         // connected and acknowledged
        Reconnecting,  // lost: waiting for the next attempt or trying again
    };
    Q_ENUM(ConnectionState)

    // Connecting and acknowledging may take this long before the attempt is given up.
    static constexpr int kHandshakeTimeoutMs = 10000;
    // A connection that held this long starts the waits again from the first.
    static constexpr int kStableConnectionMs = 10000;
    // Frames and messages larger than any real event are refused by the socket.
    static constexpr int kMaxFrameSize = 1024 * 1024;

    RealtimeChannel(QNetworkCookieJar* cookieJar, QObject* parent = nullptr);

    QWebSocket* socket() const { return m_socket; }

    // Signed in: opening is allowed and losses reconnect by themselves.
    // Signed out: nothing opens, nothing waits, the connection is dropped.
    void setSessionActive(bool active);
    // Replaces the waits and the clock (milliseconds since the epoch) the schedule is read with.
    void setReconnectTiming(ReconnectBackoff backoff, std::function<qint64()> clock);

    // Opens the socket with the session cookies; callers first check that it is Unconnected.
    void openRealtimeChannel();
    // Connected and acknowledged: events may go out.
    bool isReady() const;
    // A member's action: opens the channel at once when it is Unconnected.
    void openIfUnconnected();

    ConnectionState connectionState() const { return m_state; }
    // When the next attempt starts (clock time), or -1 when none is waiting.
    qint64 nextAttemptAtMs() const;

    // Handles one incoming frame (the socket's frames come here by themselves):
    // ping, open packet, namespace acknowledgement or event.
    void handleRealtimeFrame(const QString& frame);
    // Sends an event, deferring a voice join until the channel is ready.
    void emitRealtimeEvent(const QString& eventName, const QJsonObject& data);
    // Sends an event when the channel is ready; otherwise reconnects at once and returns false.
    bool sendIfReady(const QString& eventName, const QJsonObject& data);

    // Reads an event frame ("42" + JSON array): false for anything else.
    // `data` is element 1, or null when the array holds only the name.
    static bool parseEventFrame(const QString& frame, QString& eventName, QJsonValue& data);
    // The frame text of an event: "42" followed by the compact array.
    static QString eventFrame(const QString& eventName, const QJsonObject& data);

    // Forget the acknowledgement and drop the connection.
    void abort();

signals:
    // Each event goes to the signals that fit it, in this order; other events are dropped.
    // The leaderboard changed.
    void leaderboardChanged();
    // Someone came online or went away, or entered or left the voice room.
    void presenceChanged();
    // A "voice_" event for the voice engine (after presenceChanged for the presence ones).
    void voiceSignalReceived(const QString& eventName, const QJsonValue& data);
    // A chat message arrived (its message object).
    void chatMessageReceived(const QJsonValue& message);
    // The state changed, or the next attempt was scheduled.
    void connectionStateChanged(RealtimeChannel::ConnectionState state);

private:
    void onSocketStateChanged();
    void onSocketError();
    void onConnectionEnded();
    void scheduleReconnect();
    void acknowledge();
    void setState(ConnectionState state);
    void dispatchEvent(const QString& eventName, const QJsonValue& data);

    QNetworkCookieJar* m_cookieJar;
    QWebSocket* m_socket;
    QTimer m_retryTimer;
    QTimer m_handshakeTimer;
    ReconnectBackoff m_backoff;
    std::function<qint64()> m_clock;
    ConnectionState m_state = ConnectionState::Idle;
    bool m_openAllowed = true;
    bool m_autoReconnect = false;
    bool m_ready = false;
    bool m_pendingVoiceJoin = false;
    qint64 m_readySinceMs = 0;
    qint64 m_nextAttemptAtMs = -1;
    quint64 m_attempt = 0;
};
