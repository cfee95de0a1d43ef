#include "online/IdeasOnlinePanel.h"

#include "session/AvatarSource.h"

#include "pages/PageListSupport.h"
#include "online/StatusColor.h"
#include "online/MemberAvatar.h"
#include "session/ServerApi.h"
#include "session/ServerEndpoints.h"

#include <QBoxLayout>
#include <QGraphicsDropShadowEffect>
#include <QJsonArray>
#include <QJsonDocument>
#include <QLabel>

IdeasOnlinePanel::IdeasOnlinePanel(QNetworkAccessManager* network, QWidget* parent)
    : OnlinePanel(network, QStringLiteral("ideasOnlinePanel"), parent)
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

void IdeasOnlinePanel::handleReply(const ServerReply& reply)
{
    const QJsonDocument document = QJsonDocument::fromJson(reply.body);
    if (reply.hasError() || !document.isArray()) {
        showMessage(QStringLiteral("Unavailable"), QStringLiteral("ideasOnlineUnavailable"));
        return;
    }

    const QJsonArray members = document.array();
    counterLabel()->setText(QString::number(members.size()));
    QList<QJsonObject> rows;
    for (qsizetype i = 0; i < members.size() && i < kMaxRows; ++i)
        rows.append(members.at(i).toObject());
    showMembers(rows);
}

QWidget* IdeasOnlinePanel::buildRow(const QJsonObject& member, QWidget* parent)
{
    const QString userName = member.value(QLatin1String("username")).toString();
    const QString status = member.value(QLatin1String("status")).toString(QStringLiteral("Online"));
    const QColor statusColor = moonLodgeStatusColor(status);

    auto* row = new QWidget(parent);
    row->setObjectName(QStringLiteral("ideasMemberRow"));
    row->setAttribute(Qt::WA_StyledBackground, true);
    row->setStyleSheet(QStringLiteral("background: transparent; border: none;"));
    auto* rowLayout = new QHBoxLayout(row);
    rowLayout->setContentsMargins(0, 2, 0, 2);
    rowLayout->setSpacing(11);

    auto* avatar = new QLabel(row);
    avatar->setObjectName(QStringLiteral("ideasMemberAvatar"));
    avatar->setTextFormat(Qt::PlainText);
    avatar->setFixedSize(54, 54);
    avatar->setAlignment(Qt::AlignCenter);
    avatar->setStyleSheet(QStringLiteral("QLabel { background: transparent; border: none; }"));
    avatar->setPixmap(renderMemberAvatar(AvatarSource::builtInAvatar(member.value(QLatin1String("profile_image")).toString())));

    auto* textColumn = new QWidget(row);
    textColumn->setStyleSheet(QStringLiteral("background: transparent; border: none;"));
    auto* textLayout = new QVBoxLayout(textColumn);
    textLayout->setContentsMargins(0, 0, 0, 0);
    textLayout->setSpacing(2);
    textLayout->setAlignment(Qt::AlignVCenter);

    auto* name = new QLabel(pagelist::capped(userName, pagelist::kMaxNameChars), textColumn);
    name->setObjectName(QStringLiteral("ideasMemberName"));
    pagelist::setFullTextTip(name, userName);
    name->setTextFormat(Qt::PlainText);
    name->setStyleSheet(QStringLiteral(
        "color: #c4b5fd; font-size: 12px;font-weight: bold; background: transparent;border: none;"));

    auto* statusRow = new QWidget(textColumn);
    statusRow->setObjectName(QStringLiteral("ideasMemberStatusRow"));
    auto* statusLayout = new QHBoxLayout(statusRow);
    statusLayout->setContentsMargins(0, 0, 0, 0);
    statusLayout->setSpacing(5);

    QFrame* dot = glowingStatusDot(statusRow, QStringLiteral("ideasMemberStatusDot"), statusColor);

    auto* statusText = new QLabel(pagelist::capped(status, pagelist::kMaxNameChars), statusRow);
    statusText->setObjectName(QStringLiteral("ideasMemberStatus"));
    statusText->setTextFormat(Qt::PlainText);
    statusText->setStyleSheet(QStringLiteral(
        "QLabel { color: #ddd6fe; font-size: 10px; background: transparent; border: none;}"));

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
