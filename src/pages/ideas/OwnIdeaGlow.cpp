#include "pages/ideas/OwnIdeaGlow.h"

#include "widgets/effects/EffectSupport.h"

#include <QPainter>
#include <QStyle>
#include <QStyleOption>
#include <QVBoxLayout>

OwnIdeaGlow::OwnIdeaGlow(QWidget* card, QWidget* parent)
    : QWidget(parent)
    , m_card(card)
{
    setObjectName(QStringLiteral("profileIdeaGlow"));
    setAttribute(Qt::WA_TranslucentBackground);
    effects::takePlaceOf(this, card);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(12, 12, 12, 12);
    layout->setSpacing(0);
    layout->addWidget(card);
}

void OwnIdeaGlow::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    // The normal widget paint first, so style sheets still apply.
    QStyleOption option;
    option.initFrom(this);
    style()->drawPrimitive(QStyle::PE_Widget, &option, &painter, this);

    if (!m_card)
        return;
    constexpr int kRings = 11;
    effects::paintGlowRings(painter, m_card->geometry(), kRings, 18.0, QColor(0xff, 0x14, 0x93),
                            [](int i) { return 100 * (kRings + 1 - i) / kRings; });
}
