#include "pages/profile/ProfilePage.h"

#include "app/LogCategories.h"
#include "online/StatusColor.h"
#include "pages/profile/ProfileActionsGlow.h"
#include "pages/profile/ProfileCardWidget.h"
#include "pages/profile/ProfileEditDialog.h"
#include "pages/profile/ProfileStatHover.h"
#include "widgets/PressReleaseClick.h"
#include "pages/profile/ResponsiveProfileView.h"
#include "session/AvatarSource.h"
#include "session/ServerApi.h"
#include "session/ServerEndpoints.h"
#include "widgets/DisplayText.h"
#include "widgets/GlowProfileUsernameLabel.h"
#include "widgets/avatar/CircularAvatar.h"
#include "widgets/avatar/CircularProfileAvatar.h"
#include "widgets/effects/ButtonLiftHover.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>
#include <QPointer>
#include <QPushButton>
#include <QRadialGradient>
#include <QTimer>
#include <QVBoxLayout>
#include <QtDebug>

namespace {

constexpr int kLargeAvatarSize = 145;
constexpr int kShownEmailLength = 64;
const QString kMemberSincePrefix = QStringLiteral("📅   MEMBER SINCE\n     ");
const QString kEmailPrefix = QStringLiteral("📧   EMAIL\n     ");

// One statistics card; `numberLabel` receives the label that shows the number.
QFrame* buildProfileStatCard(const QString& icon, const QString& number, const QString& title, QLabel*& numberLabel)
{
    auto* card = new QFrame;
    card->setObjectName(QStringLiteral("profileStatCard"));
    card->setMinimumHeight(160);
    card->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    auto* layout = new QVBoxLayout(card);
    layout->setContentsMargins(18, 18, 18, 18);
    layout->setSpacing(6);

    auto* iconLabel = DisplayText::plainLabel(icon, QStringLiteral("profileStatIcon"), card);
    iconLabel->setAlignment(Qt::AlignCenter);
    iconLabel->setFixedHeight(40);
    QFont emoji(QStringLiteral("Segoe UI Emoji"));
    emoji.setPixelSize(24);
    iconLabel->setFont(emoji);

    numberLabel = DisplayText::plainLabel(number, QStringLiteral("profileStatNumber"), card);
    numberLabel->setAlignment(Qt::AlignCenter);
    numberLabel->setMinimumHeight(32);

    auto* titleLabel = DisplayText::plainLabel(title, QStringLiteral("profileStatTitle"), card);
    titleLabel->setAlignment(Qt::AlignCenter);
    titleLabel->setWordWrap(true);
    titleLabel->setMinimumHeight(28);

    layout->addWidget(iconLabel);
    layout->addWidget(numberLabel);
    layout->addWidget(titleLabel);
    return card;
}

// A 20 x 20 status light: a soft glow of the colour under a small solid dot.
QPixmap statusGlowDot(const QColor& colour)
{
    QPixmap pixmap(20, 20);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(Qt::NoPen);

    QRadialGradient glow(QPointF(10, 10), 10);
    QColor strong = colour;
    strong.setAlpha(150);
    QColor clear = colour;
    clear.setAlpha(0);
    glow.setColorAt(0.0, strong);
    glow.setColorAt(0.5, strong);
    glow.setColorAt(1.0, clear);
    painter.setBrush(glow);
    painter.drawEllipse(QRectF(0, 0, 20, 20));

    painter.setBrush(colour);
    painter.drawEllipse(QPointF(10, 10), 4.5, 4.5);
    return pixmap;
}

// The card lives in a graphics scene, outside the window's widget tree, so it
// carries its own style sheet.
const char kProfileCardStyle[] = R"(
QWidget { font-family: "Times New Roman"; color: #ffffff; }
#profileCard QLabel { background: transparent; border: none; }
#profileMemberSinceLabel, #profileDetailLabel { color: #a99bc4; font-size: 13px; font-weight: bold; }
#profileUsernameLabel { font-size: 34px; font-weight: bold; min-height: 48px; }
#profileStatusBadge { background: #21162f; border: 1px solid #493461; border-radius: 15px; }
#profileStatusLabel { font-size: 14px; font-weight: bold; }
#profileDescriptionLabel { color: #d9cff0; font-size: 16px; font-style: italic; }
QFrame#profileStatCard { background-color: #171123; border: 1px solid #3e3157; border-radius: 16px; }
#profileStatNumber { color: #ffffff; font-size: 26px; font-weight: bold; }
#profileStatTitle { color: #a78bfa; font-size: 12px; font-weight: bold; letter-spacing: 2px; }
QPushButton#editProfileButton, QPushButton#logoutButton {
    border-radius: 14px; font-size: 16px; font-weight: bold; color: #ffffff;
}
QPushButton#editProfileButton { background-color: #2b174f; border: 1px solid #a78bfa; }
QPushButton#logoutButton { background-color: #3a1424; border: 1px solid #ff505f; }
QPushButton#editProfileButton:disabled, QPushButton#logoutButton:disabled { color: #81798d; }
)";

QString boolText(bool value)
{
    return value ? QStringLiteral("true") : QStringLiteral("false");
}

}  // namespace

ProfilePage::ProfilePage(QNetworkAccessManager* network, QWidget* parent)
    : ProfileArcadeBackground(parent)
    , m_network(network)
{
    setObjectName(QStringLiteral("profilePage"));
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(40, 40, 40, 40);
    auto* view = new ResponsiveProfileView(buildCard(), this);
    layout->addWidget(view);
    setOpaqueCovers(
        [this, view] {
            const QRect card = view->cardRect();
            return QList<QRect>{card.translated(view->mapTo(this, QPoint(0, 0)))};
        },
        ProfileCardWidget::kCornerRadius);

    m_avatar->setClickCallback([this] { emit avatarSelectionRequested(); });
    connect(m_editButton, &QPushButton::clicked, this, &ProfilePage::openEditProfileDialog);
}

QWidget* ProfilePage::buildCard()
{
    auto* card = new ProfileCardWidget;
    card->setObjectName(QStringLiteral("profileCard"));
    card->setAttribute(Qt::WA_TranslucentBackground);
    card->setFixedWidth(700);
    card->setStyleSheet(QString::fromUtf8(kProfileCardStyle));
    auto* layout = new QVBoxLayout(card);
    layout->setContentsMargins(45, 50, 45, 50);
    layout->setSpacing(18);

    layout->addWidget(buildDetails(card));
    m_avatar = new CircularProfileAvatar(card);
    layout->addWidget(m_avatar, 0, Qt::AlignHCenter);

    m_userNameLabel = new GlowProfileUsernameLabel(QStringLiteral("Username"), card);
    m_userNameLabel->setObjectName(QStringLiteral("profileUsernameLabel"));
    m_userNameLabel->setTextFormat(Qt::PlainText);
    m_userNameLabel->setAlignment(Qt::AlignCenter);
    layout->addWidget(m_userNameLabel);
    layout->addWidget(buildStatusBadge(card), 0, Qt::AlignHCenter);

    m_descriptionLabel = DisplayText::plainLabel(QStringLiteral("No description yet..."), QStringLiteral("profileDescriptionLabel"), card);
    m_descriptionLabel->setWordWrap(true);
    m_descriptionLabel->setFixedWidth(540);
    m_descriptionLabel->setAlignment(Qt::AlignCenter);
    layout->addWidget(m_descriptionLabel, 0, Qt::AlignHCenter);

    layout->addWidget(buildStatistics(card));
    layout->addWidget(buildActions(card), 0, Qt::AlignHCenter);
    card->adjustSize();
    return card;
}

QWidget* ProfilePage::buildDetails(QWidget* parent)
{
    auto* details = new QWidget(parent);
    details->setObjectName(QStringLiteral("profileDetails"));
    auto* layout = new QHBoxLayout(details);
    layout->setContentsMargins(0, 0, 0, 0);
    m_memberSinceLabel = DisplayText::plainLabel(kMemberSincePrefix + QStringLiteral("--/--/----"),
                                    QStringLiteral("profileMemberSinceLabel"), details);
    m_emailLabel = DisplayText::plainLabel(kEmailPrefix + QStringLiteral("Loading..."), QStringLiteral("profileDetailLabel"), details);
    layout->addWidget(m_memberSinceLabel);
    layout->addStretch(1);
    layout->addWidget(m_emailLabel);
    return details;
}

QWidget* ProfilePage::buildStatusBadge(QWidget* parent)
{
    auto* badge = new QFrame(parent);
    badge->setObjectName(QStringLiteral("profileStatusBadge"));
    auto* layout = new QHBoxLayout(badge);
    layout->setContentsMargins(12, 4, 14, 4);
    layout->setSpacing(6);
    m_statusDot = new QLabel(badge);
    m_statusDot->setObjectName(QStringLiteral("profileStatusDot"));
    m_statusDot->setFixedSize(20, 20);
    m_statusLabel = DisplayText::plainLabel(QStringLiteral("Online"), QStringLiteral("profileStatusLabel"), badge);
    layout->addWidget(m_statusDot);
    layout->addWidget(m_statusLabel);
    applyStatus(QStringLiteral("Online"));
    return badge;
}

QWidget* ProfilePage::buildStatistics(QWidget* parent)
{
    auto* row = new QWidget(parent);
    row->setObjectName(QStringLiteral("profileStats"));
    auto* layout = new QHBoxLayout(row);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(15);
    const struct
    {
        const char* icon;
        const char* title;
        QLabel** number;
        void (ProfilePage::*opens)();
    } cards[] = {{"💬", "MESSAGES", &m_messageCount, &ProfilePage::openOwnMessagesRequested},
                 {"💡", "IDEAS", &m_ideaCount, &ProfilePage::openOwnIdeasRequested},
                 {"🎮", "NEBULITE BEST", &m_bestScore, &ProfilePage::openOwnScoreRequested}};
    for (const auto& card : cards) {
        QFrame* frame = buildProfileStatCard(QString::fromUtf8(card.icon), QStringLiteral("0"),
                                             QString::fromUtf8(card.title), *card.number);
        new PressReleaseClick(frame, [this, opens = card.opens] { emit (this->*opens)(); });
        m_statCards.append(frame);
        layout->addWidget(new ProfileStatHover(frame, row));
    }
    return row;
}

QWidget* ProfilePage::buildActions(QWidget* parent)
{
    auto* actions = new ProfileActionsGlow(parent);
    actions->setObjectName(QStringLiteral("profileActions"));
    auto* layout = new QHBoxLayout(actions);
    layout->setContentsMargins(24, 16, 24, 16);
    layout->setSpacing(12);

    m_editButton = new QPushButton(QStringLiteral("✏️ Edit Profile"), actions);
    m_editButton->setObjectName(QStringLiteral("editProfileButton"));
    m_logoutButton = new QPushButton(QStringLiteral("🚪Logout"), actions);
    m_logoutButton->setObjectName(QStringLiteral("logoutButton"));
    for (QPushButton* button : {m_editButton, m_logoutButton}) {
        button->setCursor(Qt::PointingHandCursor);
        layout->addWidget(button);
    }
    new ButtonLiftHover(m_editButton, QSize(210, 52), QColor(0xa7, 0x8b, 0xfa), false, true);
    new ButtonLiftHover(m_logoutButton, QSize(210, 52), QColor(0xff, 0x50, 0x5f), false, true);
    actions->addGlowButton(m_editButton, 0);
    actions->addGlowButton(m_logoutButton, 1);
    return actions;
}

void ProfilePage::loadOwnProfile()
{
    DisplayText::setName(m_userNameLabel, QStringLiteral("Loading profile..."));
    m_descriptionLabel->setText(QStringLiteral("Connecting to MoonLodge..."));
    RequestOptions options;
    options.acceptJson = true;
    QNetworkReply* reply = ServerApi::get(*m_network, ServerEndpoints::url(ServerEndpoints::kProfile), options);
    ServerApi::onFinished(reply, this, [this](const ServerReply& result) { applyReply(result); });
}

void ProfilePage::applyReply(const ServerReply& reply)
{
    if (reply.hasError())
        return showFailure(QStringLiteral("Unable to load profile"), reply.errorString);
    if (!reply.isJsonObject)
        return showFailure(QStringLiteral("Invalid server response"), QStringLiteral("The profile data could not be read."));
    if (!reply.succeeded())
        return showFailure(QStringLiteral("Unable to load profile"), reply.errorText(QStringLiteral("Unknown server error.")));

    const QJsonObject user = reply.json.value(QLatin1String("user")).toObject();
    applyUser(user);
    emit profileLoaded(user);
}

void ProfilePage::showFailure(const QString& title, const QString& detail)
{
    DisplayText::setName(m_userNameLabel, title);
    DisplayText::setLongText(m_descriptionLabel, detail);
}

void ProfilePage::applyUser(const QJsonObject& user)
{
    applyAvatar(user.value(QLatin1String("profile_image")).toString());

    const QString userName = user.value(QLatin1String("username")).toString();
    DisplayText::setName(m_userNameLabel, userName);
    qCDebug(lcPages).noquote() << "USERNAME ricevuto:" << userName << "| testo della label:" << m_userNameLabel->text()
                               << "| label visibile:" << boolText(m_userNameLabel->isVisible());

    QString status = user.value(QLatin1String("status")).toString(QStringLiteral("Online")).trimmed();
    if (status.isEmpty())
        status = QStringLiteral("Online");
    if (user.contains(QLatin1String("online")) && !user.value(QLatin1String("online")).toBool())
        status = QStringLiteral("Offline");
    applyStatus(status);

    const QString description = user.value(QLatin1String("description")).toString().trimmed();
    DisplayText::setLongText(m_descriptionLabel,
                             description.isEmpty() ? QStringLiteral("No description yet...") : description);
    m_memberSinceLabel->setText(
        kMemberSincePrefix
        + DisplayText::capped(user.value(QLatin1String("member_since")).toString(QStringLiteral("--/--/----")),
                              DisplayText::kNameLength));
    m_emailLabel->setText(kEmailPrefix
                          + DisplayText::capped(user.value(QLatin1String("email")).toString(), kShownEmailLength));
    m_messageCount->setText(QString::number(user.value(QLatin1String("message_count")).toInteger()));
    m_ideaCount->setText(QString::number(user.value(QLatin1String("idea_count")).toInteger()));
    m_bestScore->setText(QString::number(user.value(QLatin1String("nebulite_best_score")).toInteger()));
}

void ProfilePage::applyAvatar(const QString& fileName)
{
    const QString resourcePath = QStringLiteral(":/avatar/") + fileName;
    const QPixmap picture = AvatarSource::builtInAvatar(fileName);
    const bool found = !picture.isNull();
    m_avatar->setPixmap(found ? circularAvatar(picture, kLargeAvatarSize) : QPixmap());
    m_avatar->update();
    qCDebug(lcPages).noquote() << "Avatar ricevuto dal server:" << fileName << "| Percorso locale:" << resourcePath
                               << "| Immagine trovata:" << boolText(found);
}

void ProfilePage::applyStatus(const QString& status)
{
    const QColor colour = moonLodgeStatusColor(status);
    m_statusLabel->setText(DisplayText::capped(status, DisplayText::kStatusLength));
    m_statusLabel->setStyleSheet(QStringLiteral("color: %1;").arg(colour.name()));
    m_statusDot->setGraphicsEffect(nullptr);
    m_statusDot->setStyleSheet(QStringLiteral(
        "QLabel#profileStatusDot { background: transparent; border: none; padding: 0px; margin: 0px;}"));
    m_statusDot->setPixmap(statusGlowDot(colour));
}

void ProfilePage::openEditProfileDialog()
{
    QPointer<ProfileEditDialog> dialog = new ProfileEditDialog(m_network, window());
    connect(dialog, &ProfileEditDialog::changeAvatarRequested, this, &ProfilePage::avatarSelectionRequested);
    connect(dialog, &ProfileEditDialog::profileSaved, this,
            [this] { QTimer::singleShot(0, this, &ProfilePage::loadOwnProfile); });
    dialog->loadProfile();
    dialog->exec();
    // Replies still in flight find the dialog gone and are dropped.
    delete dialog.data();
}

void ProfilePage::showChosenAvatar(const QPixmap& picture)
{
    m_avatar->setPixmap(circularAvatar(picture, kLargeAvatarSize));
    m_avatar->update();
}
