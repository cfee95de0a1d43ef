#include "pages/members/MembersPage.h"

#include "online/OnlineMemberHover.h"
#include "online/StatusColor.h"
#include "widgets/PageListSupport.h"
#include "widgets/PressReleaseClick.h"
#include "session/AvatarSource.h"
#include "session/ServerApi.h"
#include "session/ServerEndpoints.h"
#include "widgets/DisplayText.h"
#include "widgets/GlowProfileUsernameLabel.h"
#include "widgets/KeyedListModel.h"
#include "widgets/WindowedRows.h"
#include "widgets/avatar/CircularAvatar.h"
#include "widgets/effects/EffectSupport.h"
#include "widgets/effects/RgbParticles.h"

#include <QAbstractButton>
#include <QGraphicsDropShadowEffect>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QJsonArray>
#include <QLabel>
#include <QLayoutItem>
#include <QPainter>
#include <QScrollArea>
#include <QVBoxLayout>

namespace {

constexpr int kColumns = 3;
constexpr int kMaxMembers = 100000;
constexpr int kMaxOnlineRows = 40;

QString memberKey(const QJsonObject& member)
{
    return member.value(QLatin1String("username")).toString();
}
constexpr int kCompactAvatar = 42;
constexpr int kFullAvatar = 54;
const QColor kRing(0xa7, 0x8b, 0xfa);

const char kMembersStyle[] = R"(
#membersPage { background-color: #0f0b18; }
QScrollArea#membersScroll { background: transparent; border: none; }
QWidget#membersViewport, QWidget#membersContent { background: transparent; }
#membersTitle { font-size: 30px; font-weight: bold; min-height: 44px; }
#membersSubtitle { color: #b9a8d8; font-size: 14px; }
#membersSectionMark { color: #f0abfc; font-size: 16px; }
#membersSectionTitle { color: #ddd6fe; font-size: 17px; font-weight: bold; }
#membersCountBadge, #membersOnlineCount {
    color: #c4b5fd; background: rgba(124, 58, 237, 46); border-radius: 11px;
    font-size: 10px; font-weight: bold; padding: 3px 9px;
}
#membersStatusLabel { color: #9f91b5; font-size: 13px; }
QFrame#membersUserCard { background-color: #171123; border: 1px solid #2b174f; border-radius: 16px; }
#membersOnlinePanel QFrame#membersUserCard { background: transparent; border: none; }
QFrame#membersOnlinePanel {
    background: qlineargradient(x1:0, y1:0, x2:0, y2:1, stop:0 rgba(37, 22, 65, 199), stop:1 rgba(12, 8, 24, 235));
    border: 1px solid #2b174f; border-radius: 20px;
}
#membersOnlineDot { background-color: #22c55e; border: none; border-radius: 4px; }
#membersOnlineTitle { color: #ddd6fe; font-size: 13px; font-weight: bold; background: transparent; }
)";

void addShadow(QWidget* widget)
{
    effects::addGlow(widget, 18, QColor(167, 139, 250, 120));
}

}  // namespace

MembersPage::MembersPage(QNetworkAccessManager* network, OpenProfile openProfile, QWidget* parent)
    : QWidget(parent)
    , m_network(network)
    , m_openProfile(std::move(openProfile))
{
    setObjectName(QStringLiteral("membersPage"));
    setAttribute(Qt::WA_StyledBackground);
    setStyleSheet(QString::fromUtf8(kMembersStyle));

    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(30, 30, 30, 30);
    layout->setSpacing(24);
    layout->addWidget(buildDirectory(), 1);
    layout->addWidget(buildOnlinePanel(), 0, Qt::AlignTop);
    new RgbParticles(this);
}

QWidget* MembersPage::buildDirectory()
{
    auto* scroll = new QScrollArea(this);
    scroll->setObjectName(QStringLiteral("membersScroll"));
    scroll->setWidgetResizable(true);
    scroll->setFrameShape(QFrame::NoFrame);
    scroll->viewport()->setObjectName(QStringLiteral("membersViewport"));
    scroll->viewport()->setAutoFillBackground(false);

    auto* content = new QWidget;
    content->setObjectName(QStringLiteral("membersContent"));
    auto* layout = new QVBoxLayout(content);
    layout->setContentsMargins(0, 0, 8, 0);
    layout->setSpacing(14);

    auto* title = new GlowProfileUsernameLabel(QStringLiteral("MoonLodge Members"), content);
    title->setObjectName(QStringLiteral("membersTitle"));
    title->setTextFormat(Qt::PlainText);
    layout->addWidget(title);
    auto* subtitle = DisplayText::plainLabel(QStringLiteral("Meet everyone in the MoonLodge community 💜"),
                                QStringLiteral("membersSubtitle"), content);
    subtitle->setAlignment(Qt::AlignCenter);
    layout->addWidget(subtitle);

    auto* section = new QHBoxLayout;
    section->setSpacing(8);
    section->addWidget(DisplayText::plainLabel(QStringLiteral("✦"), QStringLiteral("membersSectionMark"), content));
    section->addWidget(DisplayText::plainLabel(QStringLiteral("All Members"), QStringLiteral("membersSectionTitle"), content));
    m_countBadge = DisplayText::plainLabel(QStringLiteral("0 MEMBERS"), QStringLiteral("membersCountBadge"), content);
    section->addWidget(m_countBadge);
    section->addStretch(1);
    layout->addLayout(section);

    m_statusLabel = DisplayText::plainLabel(QString(), QStringLiteral("membersStatusLabel"), content);
    m_statusLabel->setWordWrap(true);
    m_statusLabel->hide();
    layout->addWidget(m_statusLabel);

    m_members = new KeyedListModel(memberKey, kMaxMembers, this);
    m_grid = new WindowedRows(
        m_members, [this](const QJsonObject& member, QWidget* parent) { return buildMemberCard(member, parent, false); },
        [this](const QJsonObject&, int) { return cardHeight(false); }, content);
    m_grid->setObjectName(QStringLiteral("membersGrid"));
    m_grid->setColumns(kColumns);
    m_grid->setSpacing(14, 14);
    layout->addWidget(m_grid);
    layout->addStretch(1);

    scroll->setWidget(content);
    return scroll;
}

QWidget* MembersPage::buildOnlinePanel()
{
    auto* panel = new QFrame(this);
    panel->setObjectName(QStringLiteral("membersOnlinePanel"));
    panel->setFixedWidth(250);
    auto* layout = new QVBoxLayout(panel);
    layout->setContentsMargins(16, 20, 16, 20);
    layout->setSpacing(18);

    auto* header = new QHBoxLayout;
    header->setSpacing(8);
    auto* dot = new QFrame(panel);
    dot->setObjectName(QStringLiteral("membersOnlineDot"));
    dot->setFixedSize(9, 9);
    header->addWidget(dot);
    header->addWidget(DisplayText::plainLabel(QStringLiteral("Online Members"), QStringLiteral("membersOnlineTitle"), panel));
    header->addStretch(1);
    m_onlineCountBadge = DisplayText::plainLabel(QStringLiteral("0"), QStringLiteral("membersOnlineCount"), panel);
    m_onlineCountBadge->setAlignment(Qt::AlignCenter);
    header->addWidget(m_onlineCountBadge);
    layout->addLayout(header);

    m_noneOnline = DisplayText::plainLabel(QStringLiteral("No members online."), QStringLiteral("membersNoneOnline"), panel);
    m_noneOnline->setStyleSheet(QStringLiteral("color: #9f91b5; font-size: 12px;"));
    layout->addWidget(m_noneOnline);
    // The panel does not scroll: it lists as many online members as a tall window shows.
    m_online = new KeyedListModel(memberKey, kMaxOnlineRows, this);
    m_onlineList = new WindowedRows(
        m_online, [this](const QJsonObject& member, QWidget* parent) { return buildMemberCard(member, parent, true); },
        [this](const QJsonObject&, int) { return cardHeight(true); }, panel);
    m_onlineList->setObjectName(QStringLiteral("membersOnlineList"));
    m_onlineList->setSpacing(0, 6);
    layout->addWidget(m_onlineList);
    layout->addStretch(1);
    return panel;
}

void MembersPage::loadMembers()
{
    if (m_loading)
        return;
    m_loading = true;
    m_statusLabel->setText(QStringLiteral("Loading members..."));
    m_statusLabel->show();
    RequestOptions options;
    options.maxBodyBytes = RequestOptions::kMaxListBodyBytes;
    QNetworkReply* reply = ServerApi::get(*m_network, ServerEndpoints::url(ServerEndpoints::kMembers), options);
    ServerApi::onFinished(reply, this, [this](const ServerReply& result) { applyReply(result); });
}

void MembersPage::applyReply(const ServerReply& reply)
{
    m_loading = false;
    const QJsonValue membersValue = reply.json.value(QLatin1String("members"));
    if (reply.hasError() || !reply.isJsonObject || !reply.succeeded() || !membersValue.isArray()) {
        m_statusLabel->setText(QStringLiteral("Unable to load members. Reopen Members to retry."));
        m_statusLabel->show();
        return;
    }

    const QJsonArray members = membersValue.toArray();
    m_countBadge->setText(QStringLiteral("%1 MEMBERS").arg(members.size()));
    QList<QJsonObject> all;
    QList<QJsonObject> online;
    all.reserve(std::min<qsizetype>(members.size(), kMaxMembers));
    int onlineCount = 0;
    for (const QJsonValue& value : members) {
        const QJsonObject member = value.toObject();
        if (all.size() < kMaxMembers)
            all.append(member);
        if (member.value(QLatin1String("online")).toBool()) {
            ++onlineCount;
            if (online.size() < kMaxOnlineRows)
                online.append(member);
        }
    }
    m_members->setRows(all);
    m_online->setRows(online);
    m_onlineCountBadge->setText(QString::number(onlineCount));
    m_noneOnline->setVisible(onlineCount == 0);
    m_statusLabel->setText(QStringLiteral("No members yet."));
    m_statusLabel->setVisible(members.isEmpty());
}

int MembersPage::cardHeight(bool compact)
{
    // Names stay on one line, so every card of a kind is as high as a probe card.
    int& height = compact ? m_compactHeight : m_fullHeight;
    if (height == 0) {
        QFrame* probe = buildMemberCard(QJsonObject{{QStringLiteral("username"), QStringLiteral("x")}}, this, compact);
        probe->ensurePolished();
        height = std::max(probe->minimumHeight(), probe->sizeHint().height());
        delete probe;
    }
    return height;
}

QFrame* MembersPage::buildMemberCard(const QJsonObject& member, QWidget* parent, bool compact)
{
    const QString userName = member.value(QLatin1String("username")).toString();
    const QString status = member.value(QLatin1String("status")).toString(QStringLiteral("Online"));

    auto* card = new QFrame(parent);
    card->setObjectName(QStringLiteral("membersUserCard"));
    card->setMinimumHeight(84);
    card->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Preferred);
    auto* layout = new QHBoxLayout(card);
    if (compact) {
        layout->setContentsMargins(0, 0, 0, 0);
        layout->setSpacing(10);
    } else {
        layout->setContentsMargins(12, 16, 12, 16);
        layout->setSpacing(14);
    }

    const int avatarSize = compact ? kCompactAvatar : kFullAvatar;
    auto* avatar = new QLabel(QStringLiteral("👤"), card);
    avatar->setObjectName(QStringLiteral("membersUserAvatar"));
    avatar->setTextFormat(Qt::PlainText);
    avatar->setAlignment(Qt::AlignCenter);
    avatar->setFixedSize(avatarSize, avatarSize);
    avatar->setStyleSheet(
        compact ? QStringLiteral("QLabel { background: transparent; border: none; padding: 0px; font-size: 18px;}")
                : QStringLiteral("QLabel { background: #2b1b49; border: 2px solid #a78bfa; border-radius: %1px; "
                                 "font-size: 24px; padding: 0px;}")
                      .arg(avatarSize / 2));
    addShadow(avatar);
    layout->addWidget(avatar);

    auto* column = new QWidget(card);
    column->setStyleSheet(QStringLiteral("background: transparent; border: none;"));
    auto* columnLayout = new QVBoxLayout(column);
    columnLayout->setContentsMargins(0, 0, 0, 0);
    columnLayout->setSpacing(4);
    columnLayout->setAlignment(Qt::AlignVCenter);
    auto* name = DisplayText::plainLabel(pagelist::capped(userName, pagelist::kMaxNameChars), QStringLiteral("membersUserName"), column);
    pagelist::setFullTextTip(name, userName);
    name->setStyleSheet(QStringLiteral("color: #e9e1ff; font-size: 13px; font-weight: bold;"));
    columnLayout->addWidget(name);

    auto* statusRow = new QHBoxLayout;
    statusRow->setSpacing(6);
    auto* dot = new QFrame(column);
    dot->setObjectName(QStringLiteral("membersUserStatusDot"));
    dot->setFixedSize(8, 8);
    dot->setStyleSheet(QStringLiteral("background-color: %1;border: none;border-radius: 4px;")
                           .arg(moonLodgeStatusColor(status).name()));
    statusRow->addWidget(dot);
    auto* statusText = DisplayText::plainLabel(pagelist::capped(status, pagelist::kMaxNameChars), QStringLiteral("membersUserStatus"), column);
    statusText->setStyleSheet(
        QStringLiteral("color: #9f96ad;background: transparent; border: none;font-size: 11px;"));
    statusRow->addWidget(statusText);
    if (member.value(QLatin1String("voice_active")).toBool())
        addVoiceRoomIndicator(statusRow, column, userName);
    statusRow->addStretch(1);
    columnLayout->addLayout(statusRow);
    layout->addWidget(column, 1);

    loadCardAvatar(avatar, member.value(QLatin1String("profile_image")).toString());

    // Presses land on the card, except on buttons (the voice control keeps its clicks and tips).
    new PressReleaseClick(card, [open = m_openProfile, userName] {
        if (open)
            open(userName);
    });

    if (compact)
        new OnlineMemberHover(card);
    return card;
}

void MembersPage::loadCardAvatar(QLabel* avatarLabel, const QString& fileName)
{
    AvatarSource::resolve(*m_network, fileName, AvatarSource::Lookup::DownloadOnly, avatarLabel,
                          [avatarLabel](const QPixmap& picture) {
                              avatarLabel->setText(QString());
                              avatarLabel->setPixmap(ringedAvatar(picture, avatarLabel->width(), kRing, 0));
                          });
}

void MembersPage::addVoiceRoomIndicator(QHBoxLayout* statusRow, QWidget* parent, const QString& userName)
{
    // Members in the voice room get their voice button after the status text.
    if (m_voiceControlFactory)
        statusRow->addWidget(m_voiceControlFactory(userName, parent));
}
