#include "shell/NavigationBar.h"

#include "online/StatusColor.h"
#include "widgets/DisplayText.h"
#include "widgets/EmojiPushButton.h"
#include "shell/HomeHoverLift.h"
#include "shell/NavbarProfileLink.h"

#include <QGraphicsDropShadowEffect>
#include <QHBoxLayout>
#include <QIcon>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

namespace {
constexpr int kNavigationLift = 3;
const QColor kReconnectingGrey(0x8b, 0x85, 0x98);
}

NavigationBar::NavigationBar(QWidget* parent)
    : QFrame(parent)
{
    setObjectName(QStringLiteral("navbar"));

    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(24, 10, 24, 10);
    layout->setSpacing(10);
    layout->addWidget(buildLogo());
    layout->addStretch(1);

    m_homeButton = addNavigationButton(QStringLiteral("Home"));
    m_chatButton = addNavigationButton(QStringLiteral("Chat"));
    m_ideasButton = addNavigationButton(QStringLiteral("Ideas"));
    m_gamesButton = addNavigationButton(QStringLiteral("Games"));
    m_membersButton = addNavigationButton(QStringLiteral("Members"));
    layout->addSpacing(12);
    layout->addWidget(buildNotificationsButton());

    m_profileButton = new QPushButton(QStringLiteral("●"), this);
    m_profileButton->setObjectName(QStringLiteral("profileButton"));
    m_profileButton->setToolTip(QStringLiteral("Open profile"));
    m_profileButton->setCursor(Qt::PointingHandCursor);
    m_profileButton->setFixedSize(48, 48);
    layout->addWidget(m_profileButton);
    layout->addWidget(buildProfileLink());

    applyUser(QJsonObject());
}

QWidget* NavigationBar::buildLogo()
{
    auto* box = new QWidget(this);
    box->setObjectName(QStringLiteral("navbarLogoBox"));
    auto* boxLayout = new QVBoxLayout(box);
    boxLayout->setContentsMargins(0, 0, 0, 0);
    boxLayout->setSpacing(3);

    auto* top = new QWidget(box);
    top->setObjectName(QStringLiteral("navbarLogoTop"));
    auto* topLayout = new QHBoxLayout(top);
    topLayout->setContentsMargins(0, 0, 0, 0);
    topLayout->setSpacing(6);
    auto* symbol = new QLabel(QStringLiteral("✦"), top);
    symbol->setObjectName(QStringLiteral("navbarLogoSymbol"));
    auto* text = new QLabel(QStringLiteral("MoonLodge"), top);
    text->setObjectName(QStringLiteral("navbarLogoText"));
    topLayout->addWidget(symbol);
    topLayout->addWidget(text);

    auto* line = new QFrame(box);
    line->setObjectName(QStringLiteral("navbarLogoLine"));
    line->setFixedHeight(2);

    boxLayout->addWidget(top);
    boxLayout->addWidget(line);
    return box;
}

QPushButton* NavigationBar::addNavigationButton(const QString& text)
{
    auto* button = new QPushButton(text, this);
    button->setObjectName(QStringLiteral("navButton"));
    button->setCursor(Qt::PointingHandCursor);
    button->setMinimumHeight(38);
    layout()->addWidget(new HomeHoverLift(button, kNavigationLift));
    return button;
}

QPushButton* NavigationBar::buildProfileLink()
{
    auto* link = new NavbarProfileLink(this);
    m_profileLink = link;

    m_nameLabel = new QLabel(link);
    m_nameLabel->setObjectName(QStringLiteral("navbarUsernameLabel"));
    m_nameLabel->setTextFormat(Qt::PlainText);

    m_statusDot = new QLabel(link);
    m_statusDot->setObjectName(QStringLiteral("navbarStatusDot"));
    m_statusDot->setFixedSize(8, 8);
    m_statusGlow = new QGraphicsDropShadowEffect(m_statusDot);
    m_statusGlow->setOffset(0, 0);
    m_statusGlow->setBlurRadius(12);
    m_statusDot->setGraphicsEffect(m_statusGlow);

    m_statusLabel = new QLabel(link);
    m_statusLabel->setObjectName(QStringLiteral("navbarStatusLabel"));
    m_statusLabel->setTextFormat(Qt::PlainText);

    for (QWidget* child : {static_cast<QWidget*>(m_nameLabel), static_cast<QWidget*>(m_statusDot),
                           static_cast<QWidget*>(m_statusLabel)}) {
        child->setAttribute(Qt::WA_TransparentForMouseEvents);
        link->layout()->addWidget(child);
    }
    return link;
}

QPushButton* NavigationBar::buildNotificationsButton()
{
    m_notificationsButton = new EmojiPushButton(QString(), this);
    m_notificationsButton->setObjectName(QStringLiteral("navbarNotificationsButton"));
    m_notificationsButton->setCursor(Qt::PointingHandCursor);
    m_notificationsButton->setFixedSize(38, 38);
    m_notificationsButton->setCheckable(true);
    auto showState = [button = m_notificationsButton](bool on) {
        button->setText(on ? QStringLiteral("🔔") : QStringLiteral("🔕"));
        button->setToolTip(on ? QStringLiteral("Desktop notifications are on: click to turn them off")
                              : QStringLiteral("Desktop notifications are off: click to turn them on"));
    };
    connect(m_notificationsButton, &QPushButton::toggled, m_notificationsButton, showState);
    showState(false);
    return m_notificationsButton;
}

void NavigationBar::applyUser(const QJsonObject& user)
{
    DisplayText::setName(m_nameLabel, user.value(QLatin1String("username")).toString(QStringLiteral("Profile")));

    m_memberStatus = DisplayText::capped(user.value(QLatin1String("status")).toString().trimmed(),
                                         DisplayText::kStatusLength);
    if (m_memberStatus.isEmpty())
        m_memberStatus = QStringLiteral("Online");
    if (!m_reconnecting)
        showStatus(m_memberStatus, moonLodgeStatusColor(m_memberStatus));
}

void NavigationBar::showReconnecting(bool reconnecting, const QDateTime& nextAttempt)
{
    m_reconnecting = reconnecting;
    if (!reconnecting) {
        m_statusLabel->setToolTip(QString());
        m_statusLabel->setStyleSheet(QString());
        showStatus(m_memberStatus, moonLodgeStatusColor(m_memberStatus));
        return;
    }
    m_statusLabel->setStyleSheet(QStringLiteral("color: %1;").arg(kReconnectingGrey.name()));
    m_statusLabel->setToolTip(nextAttempt.isValid()
                                  ? QStringLiteral("Next attempt at %1").arg(nextAttempt.toString(QStringLiteral("HH:mm:ss")))
                                  : QStringLiteral("Trying to reconnect now"));
    showStatus(QStringLiteral("Reconnecting…"), kReconnectingGrey);
}

void NavigationBar::showStatus(const QString& text, QColor colour)
{
    m_statusLabel->setText(text);
    m_statusDot->setStyleSheet(
        QStringLiteral("background-color: %1;border: none; border-radius: 4px;").arg(colour.name()));
    colour.setAlpha(204);
    m_statusGlow->setColor(colour);
}

void NavigationBar::setProfilePicture(const QPixmap& circularPicture, const QString& userName)
{
    if (!circularPicture.isNull()) {
        m_profileButton->setIcon(QIcon(circularPicture));
        m_profileButton->setIconSize(QSize(42, 42));
        m_profileButton->setText(QString());
        return;
    }
    m_profileButton->setIcon(QIcon());
    m_profileButton->setText(userName.left(1).toUpper());
}

QString NavigationBar::userName() const
{
    return m_nameLabel->text();
}

QString NavigationBar::statusText() const
{
    return m_statusLabel->text();
}
