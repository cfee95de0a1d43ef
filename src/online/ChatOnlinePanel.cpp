#include "online/ChatOnlinePanel.h"

#include "app/LogCategories.h"
#include "pages/PageListSupport.h"
#include "online/StatusColor.h"
#include "online/MemberAvatar.h"
#include "session/AvatarSource.h"
#include "session/ServerApi.h"
#include "session/ServerEndpoints.h"

#include <QBoxLayout>
#include <QJsonArray>
#include <QLabel>
#include <QPointer>
#include <QtDebug>

ChatOnlinePanel::ChatOnlinePanel(QNetworkAccessManager* network, QWidget* parent)
    : OnlinePanel(network, QStringLiteral("onlineMembersPanel"), parent)
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

QWidget* ChatOnlinePanel::buildRow(const QJsonObject& member, QWidget* parent)
{
    const QString userName = member.value(QLatin1String("username")).toString();
    const QString status = member.value(QLatin1String("status")).toString(QStringLiteral("Online"));
    const QString profileImage = member.value(QLatin1String("profile_image")).toString();

    auto* row = new QFrame(parent);
    row->setObjectName(QStringLiteral("onlineMemberRow"));
    row->setStyleSheet(QStringLiteral("QFrame { background-color: transparent; border: none;}"));
    auto* rowLayout = new QHBoxLayout(row);
    rowLayout->setContentsMargins(0, 2, 0, 2);
    rowLayout->setSpacing(11);

    auto* avatar = new QLabel(QStringLiteral("👤"), row);
    avatar->setObjectName(QStringLiteral("onlineMemberAvatar"));
    avatar->setTextFormat(Qt::PlainText);
    avatar->setFixedSize(54, 54);
    avatar->setAlignment(Qt::AlignCenter);
    avatar->setStyleSheet(
        QStringLiteral("QLabel { color: #ddd6fe; background: transparent; border: none; font-size: 18px;}"));
    if (!profileImage.isEmpty())
        loadAvatar(avatar, profileImage);

    auto* textColumn = new QWidget(row);
    textColumn->setStyleSheet(QStringLiteral("background: transparent; border: none;"));
    auto* textLayout = new QVBoxLayout(textColumn);
    textLayout->setContentsMargins(0, 0, 0, 0);
    textLayout->setSpacing(2);
    textLayout->setAlignment(Qt::AlignVCenter);

    auto* name = new QLabel(pagelist::capped(userName, pagelist::kMaxNameChars), textColumn);
    name->setObjectName(QStringLiteral("onlineMemberName"));
    pagelist::setFullTextTip(name, userName);
    name->setTextFormat(Qt::PlainText);
    name->setStyleSheet(QStringLiteral(
        "color: #c4b5fd;font-size: 12px;font-weight: 800;background: transparent;border: none;"));

    auto* statusRow = new QWidget(textColumn);
    statusRow->setObjectName(QStringLiteral("onlineMemberStatusRow"));
    statusRow->setStyleSheet(QStringLiteral("background: transparent; border: none;"));
    auto* statusLayout = new QHBoxLayout(statusRow);
    statusLayout->setContentsMargins(0, 0, 0, 0);
    statusLayout->setSpacing(5);

    auto* dot = new QFrame(statusRow);
    dot->setObjectName(QStringLiteral("onlineMemberStatusDot"));
    dot->setFixedSize(7, 7);
    dot->setStyleSheet(QStringLiteral("background-color: %1;border: none;border-radius: 3px;")
                           .arg(moonLodgeStatusColor(status).name()));

    auto* statusText = new QLabel(pagelist::capped(status, pagelist::kMaxNameChars), statusRow);
    statusText->setObjectName(QStringLiteral("onlineMemberStatus"));
    statusText->setTextFormat(Qt::PlainText);
    statusText->setStyleSheet(
        QStringLiteral("color: #968da5;font-size: 10px;background: transparent;border: none;"));

    statusLayout->addWidget(dot, 0, Qt::AlignVCenter);
    statusLayout->addWidget(statusText);
    statusLayout->addStretch(1);

    textLayout->addWidget(name);
    textLayout->addWidget(statusRow);

    rowLayout->addWidget(avatar);
    rowLayout->addWidget(textColumn, 1);

    if (member.value(QLatin1String("voice_active")).toBool(false))
        addVoiceControl(statusLayout, 2, userName);  // after the status text, before the stretch

    makeRowInteractive(row, userName);
    return row;
}

void ChatOnlinePanel::loadAvatar(QLabel* avatar, const QString& fileName)
{
    AvatarSource::resolve(*m_network, fileName, AvatarSource::Lookup::DownloadOnly, avatar,
                          [avatar](const QPixmap& picture) {
                              avatar->setText(QString());
                              avatar->setPixmap(renderMemberAvatar(picture));
                          });
}
