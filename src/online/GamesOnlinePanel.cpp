#include "online/GamesOnlinePanel.h"

#include "session/AvatarSource.h"

#include "online/MemberAvatar.h"
#include "session/ServerApi.h"
#include "session/ServerEndpoints.h"

#include <QBoxLayout>
#include <QJsonArray>
#include <QJsonDocument>
#include <QLabel>

GamesOnlinePanel::GamesOnlinePanel(QNetworkAccessManager* network, QWidget* parent)
    : OnlinePanel(network, QStringLiteral("gamesOnlinePanel"), rowStyle(), parent)
{
    setMinimumWidth(230);
    setStyleSheet(QStringLiteral(
        "QFrame#gamesOnlinePanel { background: qlineargradient(x1:0, y1:0, x2:0, y2:1,"
        " stop:0 rgba(37, 22, 65, 199), stop:1 rgba(12, 8, 24, 235)); border: 1px solid #2b174f;"
        " border-radius: 20px; }"));

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(16, 18, 16, 18);
    layout->setSpacing(16);
    layout->addWidget(buildHeader(QStringLiteral("gamesOnline")));
    buildRowsContainer(QStringLiteral("gamesOnlineList"));
    layout->addWidget(rowsContainer(), 1);
    setRequest(ServerEndpoints::kOnlineMembers, [this](const ServerReply& reply) { handleReply(reply); });
}

OnlinePanel::RowStyle GamesOnlinePanel::rowStyle()
{
    RowStyle style;
    style.prefix = QStringLiteral("gamesMember");
    style.rowStyleSheet = QStringLiteral("QWidget#gamesMemberRow { background: transparent; border: none; }");
    style.verticalMargin = 4;
    style.spacing = 10;
    style.avatarPlaceholder = QStringLiteral("👤");
    style.avatarStyleSheet = QStringLiteral("QLabel#gamesMemberAvatar { background: transparent; border: none; }");
    style.nameStyleSheet = QStringLiteral("color: #c4b5fd; background: transparent; border: none;");
    style.statusStyleSheet = QStringLiteral("color: #ddd6fe; background: transparent; border: none;");
    style.fontFamily = QStringLiteral("Times New Roman");
    style.dotStyleSheet = QStringLiteral("QFrame { background: %1; border: none; border-radius: 4px;}");
    return style;
}

void GamesOnlinePanel::handleReply(const ServerReply& reply)
{
    const QJsonDocument document = QJsonDocument::fromJson(reply.body);
    if (reply.hasError() || !document.isArray())
        return;

    showMemberList(document.array());
}

QString GamesOnlinePanel::statusText(const QJsonObject& member) const
{
    if (member.contains(QLatin1String("online")) && !member.value(QLatin1String("online")).toBool(true))
        return QStringLiteral("Offline");
    const QString status = member.value(QLatin1String("status")).toString().trimmed();
    return status.isEmpty() ? QStringLiteral("Online") : status;
}

void GamesOnlinePanel::showAvatar(QLabel* avatar, const QJsonObject& member)
{
    // Download and decoding failures are silent here: the placeholder stays.
    const QString fileName = member.value(QLatin1String("profile_image")).toString();
    AvatarSource::resolve(*m_network, fileName, AvatarSource::Lookup::BuiltInFirst, avatar,
                          [avatar](const QPixmap& picture) {
                              avatar->setText(QString());
                              avatar->setPixmap(renderGamesMemberAvatar(picture));
                          });
}
