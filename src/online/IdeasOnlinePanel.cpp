#include "online/IdeasOnlinePanel.h"

#include "session/AvatarSource.h"

#include "online/MemberAvatar.h"
#include "session/ServerApi.h"
#include "session/ServerEndpoints.h"

#include <QBoxLayout>
#include <QJsonArray>
#include <QJsonDocument>
#include <QLabel>

IdeasOnlinePanel::IdeasOnlinePanel(QNetworkAccessManager* network, QWidget* parent)
    : OnlinePanel(network, QStringLiteral("ideasOnlinePanel"), rowStyle(), parent)
{
    setMinimumWidth(230);
    setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Preferred);
    setStyleSheet(QStringLiteral(
        "QFrame#ideasOnlinePanel { background: qlineargradient(x1:0, y1:0, x2:0, y2:1,"
        " stop:0 rgba(37, 22, 65, 199), stop:1 rgba(12, 8, 24, 235)); border: 1px solid #2b174f;"
        " border-radius: 20px; }"));

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(16, 18, 16, 18);
    layout->setSpacing(16);
    layout->addWidget(buildHeader(QStringLiteral("ideasOnline")));
    buildRowsContainer(QStringLiteral("ideasOnlineList"));
    layout->addWidget(rowsContainer(), 1);
    setRequest(ServerEndpoints::kOnlineMembers, [this](const ServerReply& reply) { handleReply(reply); });
}

OnlinePanel::RowStyle IdeasOnlinePanel::rowStyle()
{
    RowStyle style;
    style.prefix = QStringLiteral("ideasMember");
    style.rowStyleSheet = QStringLiteral("background: transparent; border: none;");
    style.avatarStyleSheet = QStringLiteral("QLabel { background: transparent; border: none; }");
    style.nameStyleSheet =
        QStringLiteral("color: #c4b5fd; font-size: 12px;font-weight: bold; background: transparent;border: none;");
    style.statusStyleSheet =
        QStringLiteral("QLabel { color: #ddd6fe; font-size: 10px; background: transparent; border: none;}");
    style.dotStyleSheet = QStringLiteral("QFrame { background-color: %1; border: none; border-radius: 4px;}");
    return style;
}

void IdeasOnlinePanel::handleReply(const ServerReply& reply)
{
    const QJsonDocument document = QJsonDocument::fromJson(reply.body);
    if (reply.hasError() || !document.isArray()) {
        showMessage(QStringLiteral("Unavailable"), QStringLiteral("ideasOnlineUnavailable"));
        return;
    }

    showMemberList(document.array());
}

void IdeasOnlinePanel::showAvatar(QLabel* avatar, const QJsonObject& member)
{
    // The ring and glow are drawn even without a built-in picture.
    avatar->setPixmap(renderMemberAvatar(AvatarSource::builtInAvatar(member.value(QLatin1String("profile_image")).toString())));
}
