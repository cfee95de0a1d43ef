#include "pages/chat/ChatMessageDelegate.h"

#include "pages/chat/ChatMessageModel.h"

#include <QAbstractItemView>
#include <QFontMetrics>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QTextLayout>

#include <cmath>

namespace {

// Spacing of the message list.
constexpr int kSideMargin = 9;
constexpr int kTopMargin = 20;
constexpr int kBottomMargin = 9;
constexpr int kRowGap = 6;
constexpr int kRowMargin = 5;
constexpr int kHighlightMargin = 14;
constexpr int kItemSpacing = 3;
constexpr int kRowMaxWidth = 320;

// The bubble: 1 px border, 12 x 16 px padding plus a small text indent, 40..280 px wide.
constexpr int kBubbleMaxWidth = 280;
constexpr int kBubbleMinWidth = 40;
constexpr int kBubbleBorder = 1;
constexpr int kBubblePaddingX = 16 + 4;
constexpr int kBubblePaddingY = 12;
constexpr int kBubbleExtraWidth = 2 * (kBubbleBorder + kBubblePaddingX);
constexpr int kBubbleExtraHeight = 2 * (kBubbleBorder + kBubblePaddingY) + 1;
constexpr qreal kBubbleRadius = 15;
constexpr qreal kBubbleTailRadius = 4;

// The "YOUR MESSAGE" badge: 1 px border, 3 x 7 px padding.
constexpr int kBadgeExtraWidth = 2 * (1 + 7);
constexpr int kBadgeExtraHeight = 2 * (1 + 3);
constexpr int kMaxSenderChars = 200;

const QColor kSenderColor(0xc4, 0xb5, 0xfd);
const QColor kSenderGlow(167, 139, 250, 40);
const QColor kTimeColor(142, 133, 155, 166);
const QColor kPink(0xff, 0x14, 0x93);
const QColor kOwnShadow(111, 66, 193, 77);

QFont chatFont(int pixelSize, int weight, qreal letterSpacing)
{
    // The page's family; emoji fall back to the colour emoji font.
    QFont font(QStringLiteral("Times New Roman"));
    font.setPixelSize(pixelSize);
    font.setWeight(QFont::Weight(weight));
    if (letterSpacing != 0)
        font.setLetterSpacing(QFont::AbsoluteSpacing, letterSpacing);
    return font;
}

// A rounded rectangle whose bottom-left or bottom-right corner is sharper.
QPainterPath bubblePath(const QRectF& rect, bool tailRight)
{
    const qreal r = kBubbleRadius;
    const qreal br = tailRight ? kBubbleTailRadius : r;
    const qreal bl = tailRight ? r : kBubbleTailRadius;
    QPainterPath path;
    path.moveTo(rect.left() + r, rect.top());
    path.arcTo(QRectF(rect.right() - 2 * r, rect.top(), 2 * r, 2 * r), 90, -90);
    path.arcTo(QRectF(rect.right() - 2 * br, rect.bottom() - 2 * br, 2 * br, 2 * br), 0, -90);
    path.arcTo(QRectF(rect.left(), rect.bottom() - 2 * bl, 2 * bl, 2 * bl), 270, -90);
    path.arcTo(QRectF(rect.left(), rect.top(), 2 * r, 2 * r), 180, -90);
    path.closeSubpath();
    return path;
}

QLinearGradient diagonal(const QColor& from, const QColor& to)
{
    QLinearGradient gradient(0, 0, 1, 1);
    gradient.setCoordinateMode(QGradient::ObjectBoundingMode);
    gradient.setColorAt(0, from);
    gradient.setColorAt(1, to);
    return gradient;
}

}  // namespace

ChatMessageDelegate::ChatMessageDelegate(const ChatMessageModel* model, QObject* parent)
    : QStyledItemDelegate(parent)
    , m_model(model)
    , m_senderFont(chatFont(11, 800, 1.0))
    , m_textFont(chatFont(15, 400, 0))
    , m_timeFont(chatFont(9, 400, 0.5))
    , m_badgeFont(chatFont(10, 800, 1.0))
    , m_welcomeFont(chatFont(13, 800, 0))
    , m_senderHeight(QFontMetrics(m_senderFont).height())
    , m_timeHeight(QFontMetrics(m_timeFont).height() + 1)
    , m_welcomeHeight(QFontMetrics(m_welcomeFont).height())
    , m_badgeSize(QFontMetrics(m_badgeFont).horizontalAdvance(QStringLiteral("YOUR MESSAGE")) + kBadgeExtraWidth,
                  QFontMetrics(m_badgeFont).height() + kBadgeExtraHeight)
    , m_layouts(kCachedLayouts)
{
}

ChatMessageDelegate::~ChatMessageDelegate() = default;

QString ChatMessageDelegate::shownText(const QString& text)
{
    QString shown = text.size() > kMaxShownChars ? text.left(kMaxShownChars) : text;
    if (shown.size() < text.size()) {
        if (shown.back().isHighSurrogate())
            shown.chop(1);
        shown += QChar(0x2026);
    }
    shown.replace(QLatin1String("\r\n"), QLatin1String("\n"));
    shown.replace(QLatin1Char('\n'), QChar::LineSeparator);
    return shown;
}

int ChatMessageDelegate::availableWidth(const QStyleOptionViewItem& option) const
{
    if (const auto* view = qobject_cast<const QAbstractItemView*>(option.widget))
        return view->viewport()->width() - 2 * kSideMargin;
    return option.rect.width() - 2 * kSideMargin;
}

QTextLayout* ChatMessageDelegate::textLayout(const ChatMessage& message, int innerWidth) const
{
    const quint64 key = (message.serial << 16) | quint64(qBound(0, innerWidth, 0xffff));
    if (QTextLayout* cached = m_layouts.object(key))
        return cached;
    auto* layout = new QTextLayout(shownText(message.text), m_textFont);
    QTextOption option;
    option.setWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
    layout->setTextOption(option);
    layout->setCacheEnabled(true);
    layout->beginLayout();
    qreal y = 0;
    qreal width = 0;
    const QString& text = layout->text();
    for (QTextLine line = layout->createLine(); line.isValid(); line = layout->createLine()) {
        line.setLineWidth(innerWidth);
        line.setPosition(QPointF(0, y));
        y += line.height();
        width = qMax(width, line.naturalTextWidth());
        // A line the width broke makes the bubble as wide as it may be.
        const int end = line.textStart() + line.textLength();
        if (end < text.size() && text.at(end - 1) != QChar::LineSeparator)
            width = innerWidth;
    }
    layout->endLayout();
    const QSize bubble(qBound(kBubbleMinWidth, int(std::ceil(width)) + kBubbleExtraWidth, innerWidth + kBubbleExtraWidth),
                       int(std::ceil(y)) + kBubbleExtraHeight);
    m_bubbleSizes.insert(key, bubble);
    m_layouts.insert(key, layout);
    return layout;
}

QSize ChatMessageDelegate::bubbleSize(const ChatMessage& message, int innerWidth) const
{
    const quint64 key = (message.serial << 16) | quint64(qBound(0, innerWidth, 0xffff));
    const auto found = m_bubbleSizes.constFind(key);
    if (found != m_bubbleSizes.cend())
        return *found;
    // Sizes of rows that are gone go with the rest once the cache outgrows the list.
    if (m_bubbleSizes.size() > 2 * m_model->messageCount() + 1000)
        m_bubbleSizes.clear();
    textLayout(message, innerWidth);
    return m_bubbleSizes.value(key);
}

QString ChatMessageDelegate::senderText(const ChatMessage& message, int width) const
{
    return QFontMetrics(m_senderFont).elidedText(message.sender.left(kMaxSenderChars).toUpper(), Qt::ElideRight,
                                                 width);
}

int ChatMessageDelegate::rowContentWidth(int availableWidth, bool highlighted)
{
    return highlighted ? availableWidth - 2 * kHighlightMargin : qMin(kRowMaxWidth, availableWidth);
}

int ChatMessageDelegate::textWidth(int availableWidth, bool highlighted)
{
    return qMax(1, qMin(kBubbleMaxWidth, rowContentWidth(availableWidth, highlighted)) - kBubbleExtraWidth);
}

ChatMessageDelegate::RowGeometry ChatMessageDelegate::rowGeometry(const QRect& item, const ChatMessage& message,
                                                                  bool own, bool highlighted, int availableWidth) const
{
    RowGeometry geometry;
    const int top = item.top() + kRowGap;
    const int left = item.left() + kSideMargin;
    const int right = left + availableWidth - 1;
    const int inset = highlighted ? kHighlightMargin : 0;
    const int rowWidth = rowContentWidth(availableWidth, highlighted);

    // Places a box of that size at the current height, on the row's side.
    int y = top + (highlighted ? kHighlightMargin : kRowMargin);
    auto place = [&](QSize size) {
        QRect box(QPoint(0, y), size);
        if (own)
            box.moveRight(right - inset);
        else
            box.moveLeft(left + inset);
        y += size.height() + kItemSpacing;
        return box;
    };

    geometry.sender = place(QSize(rowWidth, m_senderHeight));
    if (highlighted)
        geometry.badge = place(m_badgeSize);
    geometry.bubble = place(bubbleSize(message, textWidth(availableWidth, highlighted)));
    geometry.time = place(QSize(rowWidth, m_timeHeight));
    y += -kItemSpacing + (highlighted ? kHighlightMargin : kRowMargin);
    geometry.frame = QRect(left, top, availableWidth, y - top);
    geometry.bottom = y;
    return geometry;
}

QSize ChatMessageDelegate::sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const
{
    const int lastRowMargin = index.row() == m_model->rowCount() - 1 ? kBottomMargin : 0;
    const ChatMessage* message = m_model->message(index.row());
    if (!message)
        return QSize(1, kTopMargin + m_welcomeHeight + lastRowMargin);
    const RowGeometry geometry = rowGeometry(QRect(0, 0, 1, 1), *message, m_model->isOwn(*message),
                                             m_model->isHighlighted(index.row()), availableWidth(option));
    return QSize(1, geometry.bottom + lastRowMargin);
}

void ChatMessageDelegate::paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const
{
    painter->save();
    painter->setRenderHint(QPainter::Antialiasing, true);
    painter->setRenderHint(QPainter::TextAntialiasing, true);
    const ChatMessage* message = m_model->message(index.row());
    if (!message) {
        paintWelcome(painter, option.rect);
        painter->restore();
        return;
    }

    const bool own = m_model->isOwn(*message);
    const bool highlighted = m_model->isHighlighted(index.row());
    const int width = availableWidth(option);
    const RowGeometry geometry = rowGeometry(option.rect, *message, own, highlighted, width);
    if (highlighted) {
        paintHighlightFrame(painter, geometry.frame);
        paintBadge(painter, geometry.badge);
    }

    // Sender, with a faint glow around the letters.
    const QString sender = senderText(*message, geometry.sender.width());
    const int senderAlignment = (own ? Qt::AlignRight : Qt::AlignLeft) | Qt::AlignVCenter;
    painter->setFont(m_senderFont);
    painter->setPen(kSenderGlow);
    for (const QPoint offset : {QPoint(-1, 0), QPoint(1, 0), QPoint(0, -1), QPoint(0, 1)})
        painter->drawText(geometry.sender.translated(offset), senderAlignment, sender);
    painter->setPen(kSenderColor);
    painter->drawText(geometry.sender, senderAlignment, sender);

    paintBubble(painter, geometry.bubble, own, option.state.testFlag(QStyle::State_Selected));
    painter->setPen(Qt::white);
    textLayout(*message, textWidth(width, highlighted))
        ->draw(painter, geometry.bubble.topLeft() + QPoint(kBubbleBorder + kBubblePaddingX,
                                                           kBubbleBorder + kBubblePaddingY));

    painter->setFont(m_timeFont);
    painter->setPen(kTimeColor);
    painter->drawText(geometry.time, (own ? Qt::AlignRight : Qt::AlignLeft) | Qt::AlignVCenter,
                      index.data(ChatMessageModel::TimeRole).toString());
    painter->restore();
}

void ChatMessageDelegate::paintWelcome(QPainter* painter, const QRect& item) const
{
    const QRect line(item.left() + kSideMargin, item.top() + kTopMargin, item.width() - 2 * kSideMargin,
                     m_welcomeHeight);
    painter->setFont(m_welcomeFont);
    painter->setPen(kSenderColor);
    painter->drawText(line, Qt::AlignCenter, ChatMessageModel::welcomeText());
}

void ChatMessageDelegate::paintHighlightFrame(QPainter* painter, const QRect& frame) const
{
    painter->setBrush(Qt::NoBrush);
    const QRectF inner = QRectF(frame).adjusted(10.5, 10.5, -10.5, -10.5);
    for (int i = 9; i >= 1; --i) {
        QColor color = kPink;
        color.setAlpha(int((m_glowLevel * 35.0 + 65.0) * (10 - i) / 9.0));
        painter->setPen(QPen(color, 1, Qt::SolidLine, Qt::SquareCap, Qt::BevelJoin));
        painter->drawRect(inner.adjusted(-i, -i, i, i));
    }
    painter->setPen(QPen(kPink, 1));
    painter->drawRect(inner);
}

void ChatMessageDelegate::paintBadge(QPainter* painter, const QRect& badge) const
{
    const QRectF box = QRectF(badge).adjusted(0.5, 0.5, -0.5, -0.5);
    painter->setBrush(Qt::NoBrush);
    for (int i = 6; i >= 1; --i) {
        QColor glow = kPink;
        glow.setAlpha(70 * (7 - i) / 7 / 2);
        painter->setPen(QPen(glow, 1.5));
        painter->drawRoundedRect(box.adjusted(-i, -i, i, i), 4 + i, 4 + i);
    }
    painter->setPen(QPen(kPink, 1));
    painter->setBrush(QColor(255, 20, 147, 20));
    painter->drawRoundedRect(box, 4, 4);
    painter->setFont(m_badgeFont);
    painter->drawText(badge, Qt::AlignCenter, QStringLiteral("YOUR MESSAGE"));
}

void ChatMessageDelegate::paintBubble(QPainter* painter, const QRect& bubble, bool own, bool selected) const
{
    const QRectF box = QRectF(bubble).adjusted(0.5, 0.5, -0.5, -0.5);
    if (own) {
        // A soft violet shadow around the bubble.
        painter->setBrush(Qt::NoBrush);
        for (int i = 5; i >= 1; --i) {
            QColor shadow = kOwnShadow;
            shadow.setAlpha(kOwnShadow.alpha() * (6 - i) / 12);
            painter->setPen(QPen(shadow, 1.5));
            painter->drawPath(bubblePath(box.adjusted(-i, -i, i, i), true));
        }
    }
    const QPainterPath path = bubblePath(box, own);
    painter->setBrush(own ? diagonal(QColor(0x6f, 0x42, 0xc1), QColor(0x8b, 0x5c, 0xf6))
                          : diagonal(QColor(48, 38, 63, 242), QColor(35, 27, 48, 242)));
    const QColor border = selected ? QColor(0xff, 0x2c, 0xa8) : own ? QColor(196, 181, 253, 115)
                                                                   : QColor(167, 139, 250, 46);
    painter->setPen(QPen(border, selected ? 1.5 : 1));
    painter->drawPath(path);
}
