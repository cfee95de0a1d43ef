#include "pages/ideas/IdeaCard.h"

#include "widgets/PageListSupport.h"
#include "widgets/DisplayText.h"
#include "widgets/effects/ButtonLiftHover.h"
#include "widgets/effects/EffectSupport.h"

#include <QHBoxLayout>
#include <QJsonObject>
#include <QLabel>
#include <QPushButton>
#include <QRegion>
#include <QStyle>
#include <QVBoxLayout>

namespace {

const QString kCardStyle = QStringLiteral(
    "QFrame#desktopIdeaCard {"
    " background: qlineargradient(x1:0, y1:0, x2:0, y2:1, stop:0 rgba(35, 22, 62, 225), stop:1 rgba(14, 9, 27, 245));"
    " border: 1px solid rgba(167, 139, 250, 64); border-radius: 18px; }"
    "QWidget#desktopIdeaAuthorRow, QWidget#desktopIdeaActions, QWidget#ideaActionSlot { background: transparent; }"
    "QLabel#desktopIdeaAuthorAvatar { background: transparent; border: none; font-size: 20px; }"
    "QLabel#desktopIdeaAuthor { color: #c4b5fd; font-size: 14px; font-weight: bold; background: transparent; }"
    "QLabel#desktopIdeaTitle { color: #f0abfc; font-size: 22px; font-weight: bold; background: transparent; }"
    "QLabel#desktopIdeaText { color: #eeeafb; font-size: 15px; background: transparent; }"
    "QFrame#desktopIdeaSeparator { background-color: rgba(167, 139, 250, 36); border: none; }"
    "QPushButton#desktopIdeaAction { color: #ddd6fe; font-size: 13px;"
    " background: qlineargradient(x1:0, y1:0, x2:0, y2:1, stop:0 #3a2466, stop:1 #241640);"
    " border: 2px solid rgba(167, 139, 250, 166); border-radius: 8px; }"
    "QPushButton#desktopIdeaAction:hover { color: #ffffff; border-color: #a78bfa; }"
    "QPushButton#desktopIdeaAction[ideaLike=\"true\"] { color: #c8a2ff; font-size: 15px; }"
    "QPushButton#desktopIdeaAction[ideaLike=\"true\"]:hover { border-color: #ff70b5; }"
    "QPushButton#desktopIdeaAction[liked=\"true\"] { color: #ff70b5; }"
    "QPushButton#desktopIdeaDelete { color: #ffd1dc; font-size: 13px;"
    " background: qlineargradient(x1:0, y1:0, x2:0, y2:1, stop:0 #70213e, stop:1 #49152c);"
    " border: 2px solid #e65081; border-radius: 8px; }");

const QString kHighlightStyle = QStringLiteral(
    "QFrame#desktopIdeaCard { border-color: #ff1493; }"
    "QLabel#profileIdeaBadge { color: #ff1493; background-color: rgba(255, 20, 147, 20);"
    " border: 1px solid #ff1493; border-radius: 4px; padding: 2px 8px; font-size: 10px; font-weight: 800; }");

QString likeText(bool liked, int count)
{
    return QStringLiteral("%1  %2").arg(liked ? QStringLiteral("♥") : QStringLiteral("♡")).arg(count);
}

}  // namespace

IdeaCard::IdeaCard(const QJsonObject& idea, bool highlighted, QWidget* parent)
    : QFrame(parent)
    , m_highlighted(highlighted)
{
    setObjectName(QStringLiteral("desktopIdeaCard"));
    setStyleSheet(kCardStyle);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(18, 16, 18, 14);
    layout->setSpacing(12);
    layout->addWidget(buildAuthorRow(idea));

    layout->addSpacing(14);
    auto* title = DisplayText::plainLabel(pagelist::capped(idea.value(QLatin1String("title")).toString(), kMaxTitleChars),
                                          QStringLiteral("desktopIdeaTitle"), this);
    title->setWordWrap(true);
    layout->addWidget(title);

    layout->addSpacing(24);
    auto* text = DisplayText::plainLabel(pagelist::capped(idea.value(QLatin1String("content")).toString(), kMaxTextChars),
                                         QStringLiteral("desktopIdeaText"), this);
    text->setWordWrap(true);
    text->setAlignment(Qt::AlignTop | Qt::AlignLeft);
    text->setContentsMargins(64, 0, 0, 0);
    layout->addWidget(text);
    layout->addStretch(1);

    auto* separator = new QFrame(this);
    separator->setObjectName(QStringLiteral("desktopIdeaSeparator"));
    separator->setFixedHeight(1);
    layout->addWidget(separator);
    layout->addWidget(buildActions(idea));
    if (highlighted)
        setStyleSheet(styleSheet() + kHighlightStyle);
}

QWidget* IdeaCard::buildAuthorRow(const QJsonObject& idea)
{
    auto* authorRow = new QWidget(this);
    authorRow->setObjectName(QStringLiteral("desktopIdeaAuthorRow"));
    auto* authorLayout = new QHBoxLayout(authorRow);
    authorLayout->setContentsMargins(0, 0, 0, 0);
    authorLayout->setSpacing(10);
    m_avatar = DisplayText::plainLabel(QStringLiteral("👤"), QStringLiteral("desktopIdeaAuthorAvatar"), authorRow);
    m_avatar->setFixedSize(kAvatarSize, kAvatarSize);
    m_avatar->setAlignment(Qt::AlignCenter);
    effects::addGlow(m_avatar, 10, QColor(167, 139, 250, 85));
    authorLayout->addWidget(m_avatar);
    const QString author = idea.value(QLatin1String("author")).toString();
    auto* authorLabel = DisplayText::plainLabel(pagelist::capped(author, pagelist::kMaxNameChars),
                                                QStringLiteral("desktopIdeaAuthor"), authorRow);
    pagelist::setFullTextTip(authorLabel, author);
    authorLayout->addWidget(authorLabel);
    if (m_highlighted) {
        auto* badge = DisplayText::plainLabel(QStringLiteral("YOUR IDEA"), QStringLiteral("profileIdeaBadge"), authorRow);
        badge->setSizePolicy(QSizePolicy::Maximum, QSizePolicy::Fixed);
        QFont badgeFont = badge->font();
        badgeFont.setLetterSpacing(QFont::AbsoluteSpacing, 1.0);
        badge->setFont(badgeFont);
        effects::addGlow(badge, 18, QColor(QStringLiteral("#ff1493")));
        authorLayout->addWidget(badge, 0, Qt::AlignVCenter);
    }
    authorLayout->addStretch(1);
    return authorRow;
}

QWidget* IdeaCard::buildActions(const QJsonObject& idea)
{
    auto* actions = new QWidget(this);
    actions->setObjectName(QStringLiteral("desktopIdeaActions"));
    auto* actionsLayout = new QHBoxLayout(actions);
    actionsLayout->setContentsMargins(0, 0, 0, 0);
    actionsLayout->setSpacing(0);

    const bool liked = idea.value(QLatin1String("liked_by_me")).toBool(false);
    m_likeButton = new QPushButton(likeText(liked, idea.value(QLatin1String("like_count")).toInt(0)), actions);
    m_likeButton->setObjectName(QStringLiteral("desktopIdeaAction"));
    m_likeButton->setProperty("liked", liked);
    m_likeButton->setProperty("ideaLike", true);
    addActionButton(m_likeButton, QSize(60, 44), QColor(QStringLiteral("#ff70b5")), actionsLayout);

    auto* comment = new QPushButton(QStringLiteral("💬  Comment"), actions);
    comment->setObjectName(QStringLiteral("desktopIdeaAction"));
    addActionButton(comment, QSize(126, 44), QColor(QStringLiteral("#a78bfa")), actionsLayout);

    actionsLayout->addStretch(1);

    auto* share = new QPushButton(QStringLiteral("↗  Share"), actions);
    share->setObjectName(QStringLiteral("desktopIdeaAction"));
    addActionButton(share, QSize(92, 44), QColor(QStringLiteral("#a78bfa")), actionsLayout);

    if (idea.value(QLatin1String("can_delete")).toBool(false)) {
        auto* remove = new QPushButton(QStringLiteral("🗑  Delete"), actions);
        remove->setObjectName(QStringLiteral("desktopIdeaDelete"));
        addActionButton(remove, QSize(100, 44), QColor(QStringLiteral("#ff505f")), actionsLayout);
    }
    return actions;
}

void IdeaCard::addActionButton(QPushButton* button, const QSize& size, const QColor& glowColor, QHBoxLayout* actionsRow)
{
    auto* slot = new QWidget(actionsRow->parentWidget());
    slot->setObjectName(QStringLiteral("ideaActionSlot"));
    slot->setAttribute(Qt::WA_TranslucentBackground);
    slot->setFixedSize(size + QSize(16, 20));

    auto* base = new QFrame(slot);
    base->setObjectName(QStringLiteral("ideaActionBase"));
    base->setGeometry(8, 14, size.width(), size.height());
    base->setMask(QRegion(0, size.height() - 12, size.width(), 12));
    const bool isDelete = button->objectName() == QLatin1String("desktopIdeaDelete");
    base->setStyleSheet(QStringLiteral("QFrame#ideaActionBase { background-color: %1; border: none; border-radius: 8px;}")
                            .arg(isDelete ? QStringLiteral("#9b244c") : QStringLiteral("rgba(72, 42, 125, 217)")));
    base->setAttribute(Qt::WA_TransparentForMouseEvents);

    auto* slotLayout = new QVBoxLayout(slot);
    slotLayout->setContentsMargins(0, 0, 0, 0);
    slotLayout->setAlignment(Qt::AlignCenter);
    button->setParent(slot);
    slotLayout->addWidget(button, 0, Qt::AlignCenter);
    button->setCursor(Qt::PointingHandCursor);
    base->lower();

    new ButtonLiftHover(button, size, glowColor, true, false, slotLayout);
    actionsRow->addWidget(slot);
}

void IdeaCard::showLike(QPushButton* likeButton, bool liked, int count)
{
    likeButton->setText(likeText(liked, count));
    likeButton->setProperty("liked", liked);
    likeButton->style()->unpolish(likeButton);
    likeButton->style()->polish(likeButton);
    likeButton->update();
}
