#include "pages/profile/AvatarSelectionPage.h"

#include "pages/profile/AvatarChoiceButton.h"
#include "widgets/GlowProfileUsernameLabel.h"
#include "widgets/avatar/CircularAvatar.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

namespace {

// Drawn larger than the 100 px icon so that the hover growth to 108 px stays sharp.
constexpr int kIconSource = 216;

const char* const kFirstRow[] = {"cat.png", "frog.png", "ghost.png", "fox.png", "panda.png"};
const char* const kSecondRow[] = {"sakura.png", "bunny.png"};

const char kAvatarPageStyle[] = R"(
#avatarSelectionPage { background-color: #0f0b18; }
#avatarSelectionTitle { font-size: 32px; font-weight: bold; min-height: 48px; }
#avatarSelectionDescription { color: #b9a8d8; font-size: 15px; background: transparent; }
QPushButton#avatarChoice { background: transparent; border: none; }
QPushButton#avatarReturnButton {
    background-color: #2b174f; border: 1px solid #a78bfa; border-radius: 14px;
    color: #ffffff; font-size: 14px; font-weight: bold;
}
QPushButton#avatarReturnButton:hover { background-color: #3b2170; }
)";

}  // namespace

AvatarSelectionPage::AvatarSelectionPage(QWidget* parent)
    : QWidget(parent)
{
    setObjectName(QStringLiteral("avatarSelectionPage"));
    setAttribute(Qt::WA_StyledBackground);
    setStyleSheet(QString::fromUtf8(kAvatarPageStyle));

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(20, 30, 20, 30);
    layout->addStretch(1);

    auto* title = new GlowProfileUsernameLabel(QStringLiteral("Choose your avatar 💜"), this);
    title->setObjectName(QStringLiteral("avatarSelectionTitle"));
    title->setTextFormat(Qt::PlainText);
    title->setAlignment(Qt::AlignCenter);
    layout->addWidget(title);

    auto* description = new QLabel(QStringLiteral("Choose the character that represents you on MoonLodge."), this);
    description->setObjectName(QStringLiteral("avatarSelectionDescription"));
    description->setTextFormat(Qt::PlainText);
    description->setAlignment(Qt::AlignCenter);
    layout->addWidget(description);
    layout->addSpacing(20);

    auto addRow = [this, layout](const auto& fileNames) {
        auto* row = new QHBoxLayout;
        row->setSpacing(10);
        row->addStretch(1);
        for (const char* name : fileNames) {
            const QString fileName = QString::fromLatin1(name);
            QPixmap picture;
            if (!picture.load(QStringLiteral(":/avatar/") + fileName))
                continue;
            auto* button = new AvatarChoiceButton(QIcon(circularAvatar(picture, kIconSource)), this);
            button->setObjectName(QStringLiteral("avatarChoice"));
            button->setFileName(fileName);
            button->setIconSize(QSize(100, 100));
            button->setFixedSize(140, 140);
            button->setCursor(Qt::PointingHandCursor);
            button->setToolTip(QStringLiteral("Choose this avatar"));
            connect(button, &QPushButton::clicked, this, [this, fileName] { chooseAvatar(fileName); });
            row->addWidget(button);
        }
        row->addStretch(1);
        layout->addLayout(row);
    };
    addRow(kFirstRow);
    addRow(kSecondRow);

    layout->addSpacing(45);
    m_returnButton = new QPushButton(QStringLiteral("← Return to profile"), this);
    m_returnButton->setObjectName(QStringLiteral("avatarReturnButton"));
    m_returnButton->setFixedSize(175, 42);
    m_returnButton->setCursor(Qt::PointingHandCursor);
    connect(m_returnButton, &QPushButton::clicked, this, &AvatarSelectionPage::returnToProfileRequested);
    layout->addWidget(m_returnButton, 0, Qt::AlignHCenter);
    layout->addStretch(1);
}

void AvatarSelectionPage::chooseAvatar(const QString& fileName)
{
    QPixmap picture;
    if (!picture.load(QStringLiteral(":/avatar/") + fileName))
        return;
    emit avatarChosen(fileName, picture);
}
