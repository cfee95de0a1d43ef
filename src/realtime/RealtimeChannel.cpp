#include "realtime/RealtimeChannel.h"

#include "session/ServerEndpoints.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QNetworkCookie>
#include <QNetworkCookieJar>
#include <QNetworkRequest>
#include <QWebSocket>
#include <QtDebug>

namespace {
constexpr char kReadyFlag[] = "socketIoReady";
constexpr char kPendingJoinFlag[] = "pendingVoiceJoin";
const QString kVoiceJoin = QStringLiteral("voice_join");
const QString kVoiceLeave = QStringLiteral("voice_leave");
}

RealtimeChannel::RealtimeChannel(QNetworkCookieJar* cookieJar, QObject* parent)
    : QObject(parent)
    , m_cookieJar(cookieJar)
    , m_socket(new QWebSocket(ServerEndpoints::baseUrl(), QWebSocketProtocol::Version13, this))
{
    m_socket->setObjectName(QStringLiteral("realtimeSocket"));
    setReady(false);
    setPendingVoiceJoin(false);

    connect(m_socket, &QWebSocket::connected, this, [] { qDebug() << "WebSocket MoonLodge aperto."; });
    connect(m_socket, &QWebSocket::disconnected, this,
            [this] { qDebug() << "WebSocket MoonLodge disconnesso:" << m_socket->closeReason(); });
    // Qt 6.4 names the error signal "error" (errorOccurred came later).
    connect(m_socket, QOverload<QAbstractSocket::SocketError>::of(&QWebSocket::error), this,
            [this] { qWarning() << "Errore WebSocket MoonLodge:" << m_socket->errorString(); });
}

void RealtimeChannel::openRealtimeChannel()
{
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
    return m_socket->state() == QAbstractSocket::ConnectedState && m_socket->property(kReadyFlag).toBool();
}

void RealtimeChannel::setReady(bool ready)
{
    m_socket->setProperty(kReadyFlag, ready);
}

bool RealtimeChannel::pendingVoiceJoin() const
{
    return m_socket->property(kPendingJoinFlag).toBool();
}

void RealtimeChannel::setPendingVoiceJoin(bool pending)
{
    m_socket->setProperty(kPendingJoinFlag, pending);
}

void RealtimeChannel::handleRealtimeFrame(const QString& frame)
{
    if (frame.size() > kMaxFrameSize)
        return;
    qDebug().noquote() << "Pacchetto Socket.IO ricevuto:" << frame;

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
            emit eventReceived(eventName, data);
        return;
    }
    if (frame.startsWith(QLatin1String("40"))) {
        setReady(true);
        qDebug() << "Chat Socket.IO connessa correttamente.";
        if (pendingVoiceJoin()) {
            setPendingVoiceJoin(false);
            m_socket->sendTextMessage(eventFrame(kVoiceJoin, {}));
            qDebug() << "Ingresso vocale inviato dopo la connessione.";
        }
    }
}

void RealtimeChannel::emitRealtimeEvent(const QString& eventName, const QJsonObject& data)
{
    if (eventName == kVoiceLeave)
        setPendingVoiceJoin(false);

    if (isReady()) {
        m_socket->sendTextMessage(eventFrame(eventName, data));
        qDebug().noquote() << "Evento vocale inviato:" << eventName;
        return;
    }
    if (eventName != kVoiceJoin) {
        qWarning().noquote() << "Evento vocale non inviato:" << eventName << "- Socket.IO non pronto.";
        return;
    }
    setPendingVoiceJoin(true);
    if (m_socket->state() != QAbstractSocket::UnconnectedState)
        return;  // the join goes out when the namespace is acknowledged
    setReady(false);
    openRealtimeChannel();
}

void RealtimeChannel::sendEventFrame(const QString& eventName, const QJsonObject& data)
{
    m_socket->sendTextMessage(eventFrame(eventName, data));
}

void RealtimeChannel::abort()
{
    setReady(false);
    m_socket->abort();
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
