#include "online/ChatOnlinePanel.h"

#include "app/LogCategories.h"
#include "online/MemberAvatar.h"
#include "session/AvatarSource.h"
#include "session/ServerApi.h"
#include "session/ServerEndpoints.h"

#include <QBoxLayout>
#include <QJsonArray>
#include <QLabel>
#include <QtDebug>

ChatOnlinePanel::ChatOnlinePanel(QNetworkAccessManager* network, QWidget* parent)
    : OnlinePanel(network, QStringLiteral("onlineMembersPanel"), rowStyle(), parent)
{
    setFixedWidth(230);
    setMinimumHeight(180);
    setMaximumHeight(500);
    setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Expanding);
    setStyleSheet(QStringLiteral(
        "QFrame#onlineMembersPanel { background: qlineargradient(x1:0, y1:0, x2:0, y2:1,"
        " stop:0 rgba(37, 22, 65, 199), stop:1 rgba(12, 8, 24, 235)); border: none; border-radius: 20px; }"));

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(16, 20, 16, 20);
    layout->setSpacing(22);
    layout->addWidget(buildHeader(QStringLiteral("onlineMembers")));
    buildRowsContainer(QStringLiteral("onlineMembersList"));
    layout->addWidget(rowsContainer(), 1);
    setRequest(ServerEndpoints::kPresence, [this](const ServerReply& reply) { handlePresenceReply(reply); });
}

OnlinePanel::RowStyle ChatOnlinePanel::rowStyle()
{
    RowStyle style;
    style.prefix = QStringLiteral("onlineMember");
    style.rowStyleSheet = QStringLiteral("QFrame { background-color: transparent; border: none;}");
    style.avatarPlaceholder = QStringLiteral("👤");
    style.avatarStyleSheet =
        QStringLiteral("QLabel { color: #ddd6fe; background: transparent; border: none; font-size: 18px;}");
    style.nameStyleSheet =
        QStringLiteral("color: #c4b5fd;font-size: 12px;font-weight: 800;background: transparent;border: none;");
    style.statusStyleSheet = QStringLiteral("color: #968da5;font-size: 10px;background: transparent;border: none;");
    style.dotSize = 7;
    style.dotStyleSheet = QStringLiteral("background-color: %1;border: none;border-radius: 3px;");
    style.dotGlows = false;
    return style;
}

void ChatOnlinePanel::handlePresenceReply(const ServerReply& reply)
{
    if (reply.hasError()) {
        qCWarning(lcRealtime).noquote() << "Errore Online Members:" << reply.errorString;
        return;
    }
    if (!reply.isJsonObject || !reply.succeeded()) {
        qCWarning(lcRealtime).noquote() << "Risposta presenza utenti non valida:" << QString::fromUtf8(reply.body);
        return;
    }

    counterLabel()->setText(QString::number(reply.json.value(QLatin1String("online_count")).toInteger(0)));
    const QJsonArray members = reply.json.value(QLatin1String("members")).toArray();
    QList<QJsonObject> online;
    for (const QJsonValue& value : members) {
        const QJsonObject member = value.toObject();
        if (member.value(QLatin1String("online")).toBool(false) && online.size() < kMaxRows)
            online.append(member);
    }
    showMembers(online);
}

void ChatOnlinePanel::showAvatar(QLabel* avatar, const QJsonObject& member)
{
    const QString fileName = member.value(QLatin1String("profile_image")).toString();
    if (fileName.isEmpty())
        return;
    AvatarSource::resolve(*m_network, fileName, AvatarSource::Lookup::DownloadOnly, avatar,
                          [avatar](const QPixmap& picture) {
                              avatar->setText(QString());
                              avatar->setPixmap(renderMemberAvatar(picture));
                          });
}
