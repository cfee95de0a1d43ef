#include "realtime/RealtimeChannel.h"

#include "app/LogCategories.h"
#include "realtime/RealtimeEvents.h"
#include "session/ServerEndpoints.h"

#include <QDateTime>
#include <QJsonArray>
#include <QJsonDocument>
#include <QNetworkCookie>
#include <QNetworkCookieJar>
#include <QNetworkRequest>
#include <QPointer>
#include <QWebSocket>
#include <QtDebug>

#include <utility>

RealtimeChannel::RealtimeChannel(QNetworkCookieJar* cookieJar, QObject* parent)
    : QObject(parent)
    , m_cookieJar(cookieJar)
    , m_socket(new QWebSocket(ServerEndpoints::baseUrl(), QWebSocketProtocol::Version13, this))
    , m_clock([] { return QDateTime::currentMSecsSinceEpoch(); })
{
    m_socket->setObjectName(QStringLiteral("realtimeSocket"));
    m_socket->setMaxAllowedIncomingFrameSize(kMaxFrameSize);
    m_socket->setMaxAllowedIncomingMessageSize(kMaxFrameSize);
    connect(m_socket, &QWebSocket::textMessageReceived, this, &RealtimeChannel::handleRealtimeFrame);

    m_retryTimer.setSingleShot(true);
    connect(&m_retryTimer, &QTimer::timeout, this, &RealtimeChannel::openIfUnconnected);
    m_handshakeTimer.setSingleShot(true);
    m_handshakeTimer.setInterval(kHandshakeTimeoutMs);
    connect(&m_handshakeTimer, &QTimer::timeout, this, [this] {
        qCWarning(lcRealtime) << "Connessione Socket.IO non completata in" << kHandshakeTimeoutMs << "ms: interrotta.";
        abort();
    });

    connect(m_socket, &QWebSocket::connected, this, [] { qCDebug(lcRealtime) << "WebSocket MoonLodge aperto."; });
    connect(m_socket, &QWebSocket::disconnected, this,
            [this] { qCDebug(lcRealtime) << "WebSocket MoonLodge disconnesso:" << m_socket->closeReason(); });
    // Qt 6.4 names the error signal "error" (errorOccurred came later).
    connect(m_socket, QOverload<QAbstractSocket::SocketError>::of(&QWebSocket::error), this,
            &RealtimeChannel::onSocketError);
    connect(m_socket, &QWebSocket::stateChanged, this, &RealtimeChannel::onSocketStateChanged);
}

void RealtimeChannel::setSessionActive(bool active)
{
    m_openAllowed = active;
    m_autoReconnect = active;
    if (active)
        return;
    m_retryTimer.stop();
    m_nextAttemptAtMs = -1;
    m_backoff.reset();
    abort();
    setState(ConnectionState::Idle);
}

void RealtimeChannel::setReconnectTiming(ReconnectBackoff backoff, std::function<qint64()> clock)
{
    m_backoff = std::move(backoff);
    m_clock = std::move(clock);
}

void RealtimeChannel::openRealtimeChannel()
{
    if (!m_openAllowed)
        return;
    m_retryTimer.stop();
    m_nextAttemptAtMs = -1;
    ++m_attempt;
    QNetworkRequest request(ServerEndpoints::realtimeUrl());
    QStringList cookies;
    for (const QNetworkCookie& cookie : m_cookieJar->cookiesForUrl(QUrl(ServerEndpoints::baseUrl())))
        cookies << QString::fromLatin1(cookie.toRawForm(QNetworkCookie::NameAndValueOnly));
    if (!cookies.isEmpty())
        request.setRawHeader("Cookie", cookies.join(QStringLiteral("; ")).toLatin1());
    m_socket->open(request);
}

void RealtimeChannel::openIfUnconnected()
{
    if (m_socket->state() == QAbstractSocket::UnconnectedState)
        openRealtimeChannel();
}

bool RealtimeChannel::isReady() const
{
    return m_socket->state() == QAbstractSocket::ConnectedState && m_ready;
}

qint64 RealtimeChannel::nextAttemptAtMs() const
{
    return m_nextAttemptAtMs;
}

void RealtimeChannel::onSocketStateChanged()
{
    switch (m_socket->state()) {
    case QAbstractSocket::UnconnectedState:
        onConnectionEnded();
        break;
    case QAbstractSocket::ConnectingState:
    case QAbstractSocket::HostLookupState:
        if (!m_handshakeTimer.isActive())
            m_handshakeTimer.start();
        if (m_state == ConnectionState::Idle)
            setState(ConnectionState::Connecting);
        else
            emit connectionStateChanged(m_state);  // the waiting is over: trying now
        break;
    default:
        break;
    }
}

void RealtimeChannel::onSocketError()
{
    qCWarning(lcRealtime) << "Errore WebSocket MoonLodge:" << m_socket->errorString();
    if (m_socket->state() == QAbstractSocket::ConnectedState || m_socket->state() == QAbstractSocket::UnconnectedState)
        return;
    // A refused upgrade (403, 502...) can leave the HTTP connection open:
    // drop it, so the socket is Unconnected again and the next trigger retries.
    const quint64 attempt = m_attempt;
    QMetaObject::invokeMethod(
        this,
        [this, attempt] {
            if (attempt == m_attempt && m_socket->state() != QAbstractSocket::ConnectedState)
                m_socket->abort();
        },
        Qt::QueuedConnection);
}

void RealtimeChannel::onConnectionEnded()
{
    m_handshakeTimer.stop();
    const bool wasReady = std::exchange(m_ready, false);
    if (!m_autoReconnect) {
        setState(ConnectionState::Idle);
        return;
    }
    if (wasReady && m_clock() - m_readySinceMs >= kStableConnectionMs)
        m_backoff.reset();
    scheduleReconnect();
}

void RealtimeChannel::scheduleReconnect()
{
    const int delayMs = m_backoff.nextDelayMs();
    m_nextAttemptAtMs = m_clock() + delayMs;
    m_retryTimer.start(delayMs);
    qCDebug(lcRealtime) << "Nuovo tentativo di connessione Socket.IO tra" << delayMs << "ms.";
    m_state = ConnectionState::Reconnecting;
    emit connectionStateChanged(m_state);
}

void RealtimeChannel::setState(ConnectionState state)
{
    if (m_state == state)
        return;
    m_state = state;
    emit connectionStateChanged(state);
}

void RealtimeChannel::handleRealtimeFrame(const QString& frame)
{
    if (frame.size() > kMaxFrameSize)
        return;
    qCDebug(lcRealtime).noquote() << "Pacchetto Socket.IO ricevuto:" << frame;

    if (frame == QLatin1String("2")) {
        m_socket->sendTextMessage(QStringLiteral("3"));
        return;
    }
    if (frame.startsWith(QLatin1Char('0'))) {
        m_socket->sendTextMessage(QStringLiteral("40"));
        return;
    }
    if (frame.startsWith(QLatin1String("42"))) {
        QString eventName;
        QJsonValue data;
        if (parseEventFrame(frame, eventName, data))
            dispatchEvent(eventName, data);
        return;
    }
    if (frame.startsWith(QLatin1String("40"))) {
        acknowledge();
        return;
    }
    if (frame == QLatin1String("41")) {
        // The server ended the namespace; what is sent now would be lost.
        qCDebug(lcRealtime) << "Namespace Socket.IO chiuso dal server.";
        abort();
    }
}

void RealtimeChannel::dispatchEvent(const QString& eventName, const QJsonValue& data)
{
    using namespace RealtimeEvents;
    if (eventName == kLeaderboardChanged)
        emit leaderboardChanged();
    if (isPresenceEvent(eventName))
        emit presenceChanged();
    if (isVoiceEvent(eventName))
        emit voiceSignalReceived(eventName, data);
    if (eventName == kReceiveMessage)
        emit chatMessageReceived(data);
}

void RealtimeChannel::acknowledge()
{
    m_handshakeTimer.stop();
    m_ready = true;
    m_readySinceMs = m_clock();
    qCDebug(lcRealtime) << "Chat Socket.IO connessa correttamente.";
    setState(ConnectionState::Ready);
    if (m_pendingVoiceJoin && isReady()) {
        m_pendingVoiceJoin = false;
        m_socket->sendTextMessage(eventFrame(RealtimeEvents::kVoiceJoin, {}));
        qCDebug(lcRealtime) << "Ingresso vocale inviato dopo la connessione.";
    }
}

void RealtimeChannel::emitRealtimeEvent(const QString& eventName, const QJsonObject& data)
{
    if (eventName == RealtimeEvents::kVoiceLeave)
        m_pendingVoiceJoin = false;

    if (isReady()) {
        m_socket->sendTextMessage(eventFrame(eventName, data));
        qCDebug(lcRealtime).noquote() << "Evento vocale inviato:" << eventName;
        return;
    }
    if (eventName != RealtimeEvents::kVoiceJoin) {
        qCWarning(lcRealtime).noquote() << "Evento vocale non inviato:" << eventName << "- Socket.IO non pronto.";
        return;
    }
    m_pendingVoiceJoin = true;
    if (m_socket->state() != QAbstractSocket::UnconnectedState)
        return;  // the join goes out when the namespace is acknowledged
    openRealtimeChannel();
}

bool RealtimeChannel::sendIfReady(const QString& eventName, const QJsonObject& data)
{
    if (isReady()) {
        m_socket->sendTextMessage(eventFrame(eventName, data));
        return true;
    }
    openIfUnconnected();
    return false;
}

void RealtimeChannel::abort()
{
    m_socket->abort();  // the end of the connection still sees whether it was ready
    m_ready = false;
}

bool RealtimeChannel::parseEventFrame(const QString& frame, QString& eventName, QJsonValue& data)
{
    if (!frame.startsWith(QLatin1String("42")) || frame.size() > kMaxFrameSize)
        return false;
    const QJsonDocument document = QJsonDocument::fromJson(frame.mid(2).toUtf8());
    if (!document.isArray() || document.array().isEmpty())
        return false;
    const QJsonArray array = document.array();
    eventName = array.at(0).toString();
    data = array.size() >= 2 ? array.at(1) : QJsonValue(QJsonValue::Null);
    return true;
}

QString RealtimeChannel::eventFrame(const QString& eventName, const QJsonObject& data)
{
    QJsonArray array{eventName};
    if (!data.isEmpty())
        array.append(data);
    return QStringLiteral("42") + QString::fromUtf8(QJsonDocument(array).toJson(QJsonDocument::Compact));
}
