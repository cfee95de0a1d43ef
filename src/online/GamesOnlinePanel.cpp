#include "online/GamesOnlinePanel.h"

#include "session/AvatarSource.h"

#include "pages/PageListSupport.h"
#include "online/StatusColor.h"
#include "online/MemberAvatar.h"
#include "session/ServerApi.h"
#include "session/ServerEndpoints.h"

#include <QBoxLayout>
#include <QFont>
#include <QGraphicsDropShadowEffect>
#include <QJsonArray>
#include <QJsonDocument>
#include <QLabel>

GamesOnlinePanel::GamesOnlinePanel(QNetworkAccessManager* network, QWidget* parent)
    : OnlinePanel(network, QStringLiteral("gamesOnlinePanel"), parent)
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

bool GamesOnlinePanel::isPresenceEvent(const QString& eventName)
{
    return eventName == QLatin1String("online_members_changed") || eventName == QLatin1String("voice_account_status")
           || eventName == QLatin1String("voice_user_joined") || eventName == QLatin1String("voice_user_left");
}

bool GamesOnlinePanel::reloadForEvent(const QString& eventName)
{
    if (!isPresenceEvent(eventName))
        return false;
    reload();
    return true;
}

void GamesOnlinePanel::handleReply(const ServerReply& reply)
{
    const QJsonDocument document = QJsonDocument::fromJson(reply.body);
    if (reply.hasError() || !document.isArray())
        return;

    const QJsonArray members = document.array();
    counterLabel()->setText(QString::number(members.size()));
    QList<QJsonObject> rows;
    for (qsizetype i = 0; i < members.size() && i < kMaxRows; ++i)
        rows.append(members.at(i).toObject());
    showMembers(rows);
}

QWidget* GamesOnlinePanel::buildRow(const QJsonObject& member, QWidget* parent)
{
    const QString userName = member.value(QLatin1String("username")).toString();
    QString status = member.value(QLatin1String("status")).toString().trimmed();
    if (status.isEmpty())
        status = QStringLiteral("Online");
    if (member.contains(QLatin1String("online")) && !member.value(QLatin1String("online")).toBool(true))
        status = QStringLiteral("Offline");
    const QColor statusColor = moonLodgeStatusColor(status);

    auto* row = new QWidget(parent);
    row->setObjectName(QStringLiteral("gamesMemberRow"));
    row->setAttribute(Qt::WA_StyledBackground, true);
    row->setStyleSheet(QStringLiteral("QWidget#gamesMemberRow { background: transparent; border: none; }"));
    auto* rowLayout = new QHBoxLayout(row);
    rowLayout->setContentsMargins(0, 4, 0, 4);
    rowLayout->setSpacing(10);

    auto* avatar = new QLabel(QStringLiteral("👤"), row);
    avatar->setObjectName(QStringLiteral("gamesMemberAvatar"));
    avatar->setTextFormat(Qt::PlainText);
    avatar->setFixedSize(54, 54);
    avatar->setAlignment(Qt::AlignCenter);
    avatar->setStyleSheet(QStringLiteral("QLabel#gamesMemberAvatar { background: transparent; border: none; }"));
    showPicture(avatar, member.value(QLatin1String("profile_image")).toString());

    auto* textColumn = new QWidget(row);
    textColumn->setStyleSheet(QStringLiteral("background: transparent; border: none;"));
    auto* textLayout = new QVBoxLayout(textColumn);
    textLayout->setContentsMargins(0, 0, 0, 0);
    textLayout->setSpacing(2);
    textLayout->setAlignment(Qt::AlignVCenter);

    auto* name = new QLabel(pagelist::capped(userName, pagelist::kMaxNameChars), textColumn);
    name->setObjectName(QStringLiteral("gamesMemberName"));
    pagelist::setFullTextTip(name, userName);
    name->setTextFormat(Qt::PlainText);
    QFont nameFont(QStringLiteral("Times New Roman"));
    nameFont.setPixelSize(12);
    nameFont.setBold(true);
    name->setFont(nameFont);
    name->setStyleSheet(QStringLiteral("color: #c4b5fd; background: transparent; border: none;"));

    auto* statusRow = new QWidget(textColumn);
    statusRow->setObjectName(QStringLiteral("gamesMemberStatusRow"));
    auto* statusLayout = new QHBoxLayout(statusRow);
    statusLayout->setContentsMargins(0, 0, 0, 0);
    statusLayout->setSpacing(5);

    QFrame* dot = glowingStatusDot(statusRow, QStringLiteral("gamesMemberStatusDot"), statusColor);

    auto* statusText = new QLabel(pagelist::capped(status, pagelist::kMaxNameChars), statusRow);
    statusText->setObjectName(QStringLiteral("gamesMemberStatus"));
    statusText->setTextFormat(Qt::PlainText);
    QFont statusFont(QStringLiteral("Times New Roman"));
    statusFont.setPixelSize(10);
    statusText->setFont(statusFont);
    statusText->setStyleSheet(QStringLiteral("color: #ddd6fe; background: transparent; border: none;"));

    statusLayout->addWidget(dot, 0, Qt::AlignVCenter);
    statusLayout->addWidget(statusText);
    statusLayout->addStretch(1);
    if (member.value(QLatin1String("voice_active")).toBool(false))
        addVoiceControl(statusLayout, 2, userName);  // after the status text, before the stretch

    textLayout->addWidget(name);
    textLayout->addWidget(statusRow);
    rowLayout->addWidget(avatar);
    rowLayout->addWidget(textColumn, 1);

    makeRowInteractive(row, userName);
    return row;
}

void GamesOnlinePanel::showPicture(QLabel* avatar, const QString& fileName)
{
    // Download and decoding failures are silent here: the placeholder stays.
    AvatarSource::resolve(*m_network, fileName, AvatarSource::Lookup::BuiltInFirst, avatar,
                          [avatar](const QPixmap& picture) {
                              avatar->setText(QString());
                              avatar->setPixmap(renderGamesMemberAvatar(picture));
                          });
}
