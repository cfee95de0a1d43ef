#include "shell/HomeContent.h"

#include "shell/ResponsiveFeaturesWidget.h"
#include "widgets/DisplayText.h"
#include "shell/HomeHoverLift.h"
#include "shell/HomeNeonBackground.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

namespace {

constexpr int kFeatureCardLift = 5;
constexpr int kCardCornerRadius = 24;  // the larger of the hero and feature card radii

struct Feature
{
    const char* icon;
    const char* title;
    const char* description;
};

constexpr Feature kFeatures[] = {
    {"💬", "Chat", "Talk with your friends in real time inside your private MoonLodge chat."},
    {"💡", "Ideas", "Share ideas, plans, projects and completely random thoughts."},
    {"🎮", "Games", "Play together and discover the games available inside MoonLodge."},
    {"👥", "Members", "See the people who are part of your private MoonLodge."},
};

QLabel* centredLabel(const QString& text, const QString& objectName, QWidget* parent)
{
    auto* label = new QLabel(text, parent);
    label->setObjectName(objectName);
    label->setAlignment(Qt::AlignCenter);
    return label;
}

}  // namespace

HomeContent::HomeContent(QWidget* parent)
    : QScrollArea(parent)
{
    setObjectName(QStringLiteral("homeScrollArea"));
    setWidgetResizable(true);
    setFrameShape(QFrame::NoFrame);
    // The neon backdrop covers the scroll area behind a transparent viewport;
    // the room glows around the opaque cards.
    setStyleSheet(QStringLiteral("#homeScrollArea, #homeContent { background: transparent; }"));
    viewport()->setAutoFillBackground(false);
    m_background = new HomeNeonBackground(this);
    m_background->lower();

    auto* content = new QWidget(this);
    content->setObjectName(QStringLiteral("homeContent"));
    auto* layout = new QVBoxLayout(content);
    layout->setContentsMargins(48, 36, 48, 36);
    layout->setSpacing(34);
    layout->addWidget(buildHeroCard(content));
    layout->addWidget(buildFeaturesSection(content));
    layout->addStretch(1);
    setWidget(content);

    m_background->setOpaqueCovers(
        [this] {
            QList<QRect> covers;
            for (QWidget* card : m_cards)
                if (card->isVisible())
                    covers << QRect(m_background->mapFromGlobal(card->mapToGlobal(QPoint(0, 0))), card->size());
            return covers;
        },
        kCardCornerRadius);
}

void HomeContent::setUserName(const QString& userName)
{
    m_userName = userName;
    DisplayText::setName(m_userNameLabel, userName);
}

QString HomeContent::userName() const
{
    return m_userName;
}

QWidget* HomeContent::buildHeroCard(QWidget* parent)
{
    auto* card = new QFrame(parent);
    card->setObjectName(QStringLiteral("heroCard"));
    m_cards << card;
    auto* layout = new QVBoxLayout(card);
    layout->setContentsMargins(40, 34, 40, 34);
    layout->setSpacing(12);

    auto* titleRow = new QWidget(card);
    titleRow->setObjectName(QStringLiteral("homeTitleRow"));
    auto* titleLayout = new QHBoxLayout(titleRow);
    titleLayout->setContentsMargins(0, 0, 0, 0);
    titleLayout->setSpacing(10);
    titleLayout->addStretch(1);
    auto* welcome = new QLabel(QStringLiteral("Welcome to MoonLodge"), titleRow);
    welcome->setObjectName(QStringLiteral("homeWelcomeLabel"));
    titleLayout->addWidget(welcome);
    auto* heart = new QLabel(QStringLiteral("💜"), titleRow);
    heart->setObjectName(QStringLiteral("homeHeartLabel"));
    titleLayout->addWidget(heart);
    titleLayout->addStretch(1);

    m_userNameLabel = centredLabel(QStringLiteral("PLAYER"), QStringLiteral("homeUsernameLabel"), card);
    m_userNameLabel->setTextFormat(Qt::PlainText);
    auto* subtitle = centredLabel(
        QStringLiteral("A private little space to chat, share ideas, play games and just chill together."),
        QStringLiteral("homeSubtitle"), card);
    subtitle->setWordWrap(true);

    layout->addWidget(titleRow);
    layout->addWidget(m_userNameLabel);
    layout->addWidget(subtitle);
    return card;
}

QWidget* HomeContent::buildFeaturesSection(QWidget* parent)
{
    auto* section = new QWidget(parent);
    section->setObjectName(QStringLiteral("featuresSection"));
    auto* layout = new QVBoxLayout(section);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(22);
    layout->addWidget(
        centredLabel(QStringLiteral("Everything you need to chill together"), QStringLiteral("featuresTitle"), section));

    m_featuresGrid = new ResponsiveFeaturesWidget(section);
    m_featuresGrid->setObjectName(QStringLiteral("featuresGrid"));
    for (const Feature& feature : kFeatures) {
        QPushButton* card = buildFeatureCard(QString::fromUtf8(feature.icon), QString::fromUtf8(feature.title),
                                             QString::fromUtf8(feature.description));
        m_featuresGrid->addFeatureCard(new HomeHoverLift(card, kFeatureCardLift));
    }
    layout->addWidget(m_featuresGrid);
    return section;
}

QPushButton* HomeContent::buildFeatureCard(const QString& icon, const QString& title, const QString& description)
{
    auto* card = new QPushButton;
    card->setObjectName(QStringLiteral("featureCard"));
    m_cards << card;
    card->setCursor(Qt::PointingHandCursor);
    card->setMinimumHeight(215);
    card->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Preferred);

    auto* layout = new QVBoxLayout(card);
    layout->setContentsMargins(20, 30, 20, 30);
    layout->setSpacing(12);
    layout->addWidget(centredLabel(icon, QStringLiteral("featureIcon"), card));
    layout->addWidget(centredLabel(title, QStringLiteral("featureCardTitle"), card));
    auto* text = centredLabel(description, QStringLiteral("featureCardDescription"), card);
    text->setWordWrap(true);
    text->setMinimumHeight(70);
    layout->addWidget(text);
    for (int index = 0; index < layout->count(); ++index)
        layout->itemAt(index)->widget()->setAttribute(Qt::WA_TransparentForMouseEvents);
    return card;
}
