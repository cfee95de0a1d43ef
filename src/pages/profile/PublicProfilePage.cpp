#include "pages/profile/PublicProfilePage.h"

#include "online/StatusColor.h"
#include "pages/profile/ProfileArcadeBackground.h"
#include "pages/profile/ProfileCardWidget.h"
#include "session/ServerApi.h"
#include "session/ServerEndpoints.h"
#include "widgets/DisplayText.h"
#include "widgets/GlowProfileUsernameLabel.h"
#include "widgets/avatar/CircularProfileAvatar.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QScrollBar>
#include <QVBoxLayout>

namespace {

constexpr int kAvatarTimeoutMs = 10000;
constexpr int kProfileTimeoutMs = 10000;
const QString kNoNumber = QStringLiteral("—");

const char kPublicProfileStyle[] = R"(
#publicProfilePage, #publicProfileViewport, #publicProfileContent { background: transparent; }
#publicProfileCard QLabel { background: transparent; border: none; color: #ffffff; font-family: "Times New Roman"; }
#publicProfileName { font-size: 32px; font-weight: bold; min-height: 46px; }
#publicProfileDescription { color: #d9cff0; font-size: 16px; font-style: italic; }
#publicProfileInfo { color: #b9a8d8; font-size: 13px; }
QFrame#publicProfileStatCard { background-color: #171123; border: 1px solid #3e3157; border-radius: 16px; }
#publicProfileStatIcon { font-family: "Segoe UI Emoji"; font-size: 22px; }
#publicProfileStatNumber { font-size: 24px; font-weight: bold; }
#publicProfileStatTitle { color: #a78bfa; font-size: 12px; font-weight: bold; letter-spacing: 2px; }
#publicProfileMemberSinceIcon { font-family: "Segoe UI Emoji"; font-size: 20px; }
QPushButton#publicProfileBackButton {
    background-color: #2b174f; border: 1px solid #a78bfa; border-radius: 14px;
    color: #ffffff; font-size: 15px; font-weight: bold; padding: 8px 20px;
}
QPushButton#publicProfileBackButton:hover { background-color: #3b2170; }
)";

QFrame* statCard(const QString& icon, const QString& title, QLabel*& number, QWidget* parent)
{
    auto* card = new QFrame(parent);
    card->setObjectName(QStringLiteral("publicProfileStatCard"));
    card->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    card->setMinimumHeight(130);
    auto* layout = new QVBoxLayout(card);
    layout->setContentsMargins(14, 16, 14, 16);
    layout->setSpacing(6);
    for (QLabel* label : {DisplayText::plainLabel(icon, QStringLiteral("publicProfileStatIcon"), card),
                          number = DisplayText::plainLabel(kNoNumber, QStringLiteral("publicProfileStatNumber"), card),
                          DisplayText::plainLabel(title, QStringLiteral("publicProfileStatTitle"), card)}) {
        label->setAlignment(Qt::AlignCenter);
        layout->addWidget(label);
    }
    return card;
}

}  // namespace

PublicProfilePage::PublicProfilePage(QNetworkAccessManager* network, QWidget* parent)
    : QScrollArea(parent)
    , m_network(network)
{
    setObjectName(QStringLiteral("publicProfilePage"));
    setWidgetResizable(true);
    setFrameShape(QFrame::NoFrame);
    setStyleSheet(QString::fromUtf8(kPublicProfileStyle));
    viewport()->setObjectName(QStringLiteral("publicProfileViewport"));
    viewport()->setAutoFillBackground(false);
    m_background = new ProfileArcadeBackground(this);
    m_background->setObjectName(QStringLiteral("publicProfileBackground"));
    m_background->setGeometry(rect());
    m_background->lower();

    auto* content = new QWidget;
    content->setObjectName(QStringLiteral("publicProfileContent"));
    auto* layout = new QVBoxLayout(content);
    layout->setContentsMargins(40, 40, 40, 40);
    layout->addWidget(buildCard(content), 0, Qt::AlignHCenter | Qt::AlignTop);
    layout->addStretch(1);
    setWidget(content);
}

void PublicProfilePage::resizeEvent(QResizeEvent* event)
{
    QScrollArea::resizeEvent(event);
    m_background->setGeometry(rect());
    m_background->lower();
}

QWidget* PublicProfilePage::buildCard(QWidget* parent)
{
    auto* card = new ProfileCardWidget(parent);
    card->setObjectName(QStringLiteral("publicProfileCard"));
    card->setAttribute(Qt::WA_TranslucentBackground);
    card->setFixedWidth(640);
    auto* layout = new QVBoxLayout(card);
    layout->setContentsMargins(45, 40, 45, 40);
    layout->setSpacing(16);

    m_avatar = new CircularProfileAvatar(card);
    layout->addWidget(m_avatar, 0, Qt::AlignHCenter);

    m_nameLabel = new GlowProfileUsernameLabel(card);
    m_nameLabel->setObjectName(QStringLiteral("publicProfileName"));
    m_nameLabel->setTextFormat(Qt::PlainText);
    m_nameLabel->setAlignment(Qt::AlignCenter);
    layout->addWidget(m_nameLabel);

    // Rich text by design: the server's status is escaped before it goes in.
    m_statusLabel = new QLabel(card);
    m_statusLabel->setObjectName(QStringLiteral("publicProfileStatus"));
    m_statusLabel->setTextFormat(Qt::RichText);
    m_statusLabel->setFixedHeight(30);
    m_statusLabel->setStyleSheet(QStringLiteral(
        "QLabel { background: #21162f; border: 1px solid #493461; border-radius: 14px; padding: 0px 9px; "
        "font-family: 'Times New Roman';}"));
    layout->addWidget(m_statusLabel, 0, Qt::AlignHCenter);

    m_descriptionLabel = DisplayText::plainLabel(QString(), QStringLiteral("publicProfileDescription"), card);
    m_descriptionLabel->setWordWrap(true);
    m_descriptionLabel->setAlignment(Qt::AlignCenter);
    layout->addWidget(m_descriptionLabel);

    layout->addWidget(buildStatistics(card));

    auto* sinceRow = new QHBoxLayout;
    sinceRow->setSpacing(10);
    sinceRow->addStretch(1);
    sinceRow->addWidget(DisplayText::plainLabel(QStringLiteral("📅"), QStringLiteral("publicProfileMemberSinceIcon"), card));
    // Rich text by design: the server's date is escaped before it goes in.
    m_memberSinceLabel = new QLabel(card);
    m_memberSinceLabel->setObjectName(QStringLiteral("publicProfileMemberSince"));
    m_memberSinceLabel->setTextFormat(Qt::RichText);
    sinceRow->addWidget(m_memberSinceLabel);
    sinceRow->addStretch(1);
    layout->addLayout(sinceRow);

    m_infoLabel = DisplayText::plainLabel(QString(), QStringLiteral("publicProfileInfo"), card);
    m_infoLabel->setWordWrap(true);
    m_infoLabel->setAlignment(Qt::AlignCenter);
    layout->addWidget(m_infoLabel);

    m_backButton = new QPushButton(QStringLiteral("← Back to Members"), card);
    m_backButton->setObjectName(QStringLiteral("publicProfileBackButton"));
    m_backButton->setCursor(Qt::PointingHandCursor);
    connect(m_backButton, &QPushButton::clicked, this, &PublicProfilePage::backToMembersRequested);
    layout->addWidget(m_backButton, 0, Qt::AlignHCenter);
    return card;
}

QWidget* PublicProfilePage::buildStatistics(QWidget* parent)
{
    auto* row = new QWidget(parent);
    row->setObjectName(QStringLiteral("publicProfileStats"));
    auto* layout = new QHBoxLayout(row);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(15);
    layout->addWidget(statCard(QStringLiteral("💬"), QStringLiteral("MESSAGES"), m_messageCount, row));
    layout->addWidget(statCard(QStringLiteral("💡"), QStringLiteral("IDEAS"), m_ideaCount, row));
    layout->addWidget(statCard(QStringLiteral("🎮"), QStringLiteral("NEBULITE BEST"), m_bestScore, row));
    return row;
}

void PublicProfilePage::openProfile(const QString& userName)
{
    const int requestId = ++m_requestId;

    emit showRequested();
    verticalScrollBar()->setValue(0);
    resetPage(userName);

    RequestOptions options;
    options.acceptJson = true;
    options.timeoutMs = kProfileTimeoutMs;
    QNetworkReply* reply = ServerApi::get(*m_network, ServerEndpoints::userProfileUrl(userName), options);
    ServerApi::onFinished(reply, this,
                          [this, requestId](const ServerReply& result) { applyReply(requestId, result); });
}

void PublicProfilePage::resetPage(const QString& userName)
{
    m_avatar->setPixmap(QPixmap());
    m_avatar->update();
    DisplayText::setName(m_nameLabel, userName);
    m_descriptionLabel->clear();
    m_statusLabel->clear();
    m_memberSinceLabel->clear();
    for (QLabel* number : {m_messageCount, m_ideaCount, m_bestScore})
        number->setText(kNoNumber);
    m_infoLabel->setText(QStringLiteral("Loading profile..."));
}

void PublicProfilePage::applyReply(int requestId, const ServerReply& reply)
{
    if (requestId != currentRequestId())
        return;
    if (reply.hasError() || !reply.isJsonObject || !reply.succeeded()) {
        DisplayText::setLongText(m_infoLabel, reply.errorText(QStringLiteral("Unable to load profile.")));
        return;
    }

    const QJsonObject user = reply.json.value(QLatin1String("user")).toObject();
    DisplayText::setName(m_nameLabel, user.value(QLatin1String("username")).toString());

    const QString description = user.value(QLatin1String("description")).toString();
    DisplayText::setLongText(m_descriptionLabel,
                             description.isEmpty() ? QStringLiteral("Nessuna descrizione ancora...") : description);

    QString status = DisplayText::capped(user.value(QLatin1String("status")).toString(QStringLiteral("Online")),
                                         DisplayText::kStatusLength);
    if (user.contains(QLatin1String("online")) && !user.value(QLatin1String("online")).toBool())
        status = QStringLiteral("Offline");
    m_statusLabel->setText(QStringLiteral("<span style=\"color:%1; font-size:18px;\">●</span>&nbsp;"
                                          "<span style=\"color:%1; font-size:13px;\">%2</span>")
                               .arg(moonLodgeStatusColor(status).name(), status.toHtmlEscaped()));

    m_messageCount->setText(QString::number(user.value(QLatin1String("message_count")).toInteger()));
    m_ideaCount->setText(QString::number(user.value(QLatin1String("idea_count")).toInteger()));
    m_bestScore->setText(QString::number(user.value(QLatin1String("nebulite_best_score")).toInteger()));

    m_memberSinceLabel->setText(QStringLiteral("<span style=\"color:#81798d; font-size:14px;\">MEMBRO DAL</span><br>"
                                               "<span style=\"color:#e5ddef; font-size:12px;\">%1</span>")
                                    .arg(DisplayText::capped(user.value(QLatin1String("member_since")).toString(),
                                                             DisplayText::kNameLength)
                                             .toHtmlEscaped()));
    m_infoLabel->clear();

    applyAvatar(requestId, user.value(QLatin1String("profile_image")).toString());
}

void PublicProfilePage::applyAvatar(int requestId, const QString& fileName)
{
    if (fileName.isEmpty())
        return;
    QPixmap builtIn;
    if (builtIn.load(QStringLiteral(":/avatar/") + fileName)) {
        m_avatar->setPixmap(builtIn);
        m_avatar->update();
        return;
    }
    const QUrl url = ServerEndpoints::avatarUrl(fileName);
    if (url.isEmpty())
        return;
    RequestOptions options;
    options.timeoutMs = kAvatarTimeoutMs;
    QNetworkReply* reply = ServerApi::get(*m_network, url, options);
    ServerApi::onFinished(reply, this, [this, requestId](const ServerReply& result) {
        QPixmap picture;
        if (result.hasError() || requestId != currentRequestId() || !picture.loadFromData(result.body))
            return;
        m_avatar->setPixmap(picture);
        m_avatar->update();
    });
}
