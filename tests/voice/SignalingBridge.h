#pragma once

// A minimal Socket.IO client for the voice tests: joins the dev server's
// real-time channel with a session cookie and carries one engine's "voice_*"
// events both ways.

#include "voice/VoiceChatManager.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QNetworkRequest>
#include <QUrl>
#include <QWebSocket>

class SignalingBridge
{
public:
    SignalingBridge(VoiceChatManager* manager, const QUrl& server, const QByteArray& cookie)
        : m_manager(manager)
    {
        QUrl url = server;
        url.setScheme(QStringLiteral("ws"));
        url.setPath(QStringLiteral("/socket.io/"));
        url.setQuery(QStringLiteral("EIO=4&transport=websocket"));
        QNetworkRequest request(url);
        request.setRawHeader("Cookie", cookie);
        request.setRawHeader("Origin", server.toString(QUrl::RemovePath).toUtf8());

        QObject::connect(&socket, &QWebSocket::textMessageReceived, &m_context, [this](const QString& frame) { receive(frame); });
        QObject::connect(manager, &VoiceChatManager::signalingEventRequested, &m_context,
                         [this](const QString& name, const QJsonObject& data) {
                             const QJsonArray array = data.isEmpty() ? QJsonArray{name} : QJsonArray{name, data};
                             socket.sendTextMessage(QStringLiteral("42") + QString::fromUtf8(QJsonDocument(array).toJson(QJsonDocument::Compact)));
                         });
        socket.open(request);
    }

    bool ready = false;
    QString sid;
    QStringList received;
    QWebSocket socket;

private:
    void receive(const QString& frame)
    {
        const QJsonDocument json = QJsonDocument::fromJson(frame.mid(2).toUtf8());
        if (frame.startsWith(QLatin1String("0{")) || frame == QLatin1String("2")) {
            socket.sendTextMessage(frame == QLatin1String("2") ? QStringLiteral("3") : QStringLiteral("40"));
        } else if (frame.startsWith(QLatin1String("40"))) {
            sid = json.object().value("sid").toString();
            ready = true;
        } else if (frame.startsWith(QLatin1String("42")) && !json.array().isEmpty()) {
            const QString name = json.array().at(0).toString();
            received << name;
            if (name.startsWith(QLatin1String("voice_")))
                m_manager->handleSignalingEvent(name, json.array().at(1));
        }
    }

    VoiceChatManager* m_manager;
    QObject m_context;
};
