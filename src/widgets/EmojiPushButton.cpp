#include "widgets/EmojiPushButton.h"

#include <QFontInfo>
#include <QPixmapCache>
#include <QRawFont>
#include <QStyleOptionButton>
#include <QStylePainter>

namespace {

const char* const EmojiFontFamily = "Noto Color Emoji";

// The emoji without its presentation selectors (U+FE0E, U+FE0F).
QString withoutVariationSelectors(const QString& text)
{
    QString bare = text;
    bare.remove(QChar(0xFE0E));
    bare.remove(QChar(0xFE0F));
    return bare;
}

}  // namespace

EmojiPushButton::EmojiPushButton(const QString& text, QWidget* parent)
    : QPushButton(text, parent)
{
}

QPixmap EmojiPushButton::emojiPixmap(const QString& text, int pixelSize, qreal devicePixelRatio)
{
    const QString bare = withoutVariationSelectors(text);
    if (bare.isEmpty() || pixelSize <= 0)
        return {};
    const QString key = QStringLiteral("emoji:%1:%2:%3").arg(bare).arg(pixelSize).arg(devicePixelRatio);
    QPixmap pixmap;
    if (QPixmapCache::find(key, &pixmap))
        return pixmap;

    QFont font(QString::fromLatin1(EmojiFontFamily));
    font.setPixelSize(qRound(pixelSize * devicePixelRatio));
    const QRawFont raw = QRawFont::fromFont(font);
    if (!raw.isValid() || raw.familyName() != QLatin1String(EmojiFontFamily))
        return {};
    const QList<quint32> glyphs = raw.glyphIndexesForString(bare);
    if (glyphs.size() != 1 || glyphs.first() == 0)
        return {};
    const QImage image = raw.alphaMapForGlyph(glyphs.first());
    if (image.isNull() || image.format() != QImage::Format_ARGB32_Premultiplied)
        return {};
    pixmap = QPixmap::fromImage(image);
    pixmap.setDevicePixelRatio(devicePixelRatio);
    QPixmapCache::insert(key, pixmap);
    return pixmap;
}

void EmojiPushButton::paintEvent(QPaintEvent* event)
{
    QStyleOptionButton option;
    initStyleOption(&option);
    const QPixmap emoji = emojiPixmap(option.text, QFontInfo(font()).pixelSize(), devicePixelRatioF());
    if (emoji.isNull()) {
        QPushButton::paintEvent(event);
        return;
    }

    // The style paints the panel; icon and emoji follow side by side, centred.
    const QIcon icon = option.icon;
    option.text.clear();
    option.icon = QIcon();
    QStylePainter painter(this);
    painter.drawControl(QStyle::CE_PushButton, option);

    const QRect area = style()->subElementRect(QStyle::SE_PushButtonContents, &option, this);
    const QSizeF emojiSize = emoji.deviceIndependentSize();
    constexpr int gap = 2;
    int iconSide = 0;
    if (!icon.isNull())
        iconSide = qMax(0, qMin(option.iconSize.width(), area.width() - int(emojiSize.width()) - gap));
    const qreal groupWidth = emojiSize.width() + (iconSide > 0 ? iconSide + gap : 0);
    QPointF origin(area.x() + (area.width() - groupWidth) / 2.0, area.center().y() + 0.5);
    if (isDown())
        origin += QPointF(style()->pixelMetric(QStyle::PM_ButtonShiftHorizontal, &option, this),
                          style()->pixelMetric(QStyle::PM_ButtonShiftVertical, &option, this));
    if (!isEnabled())
        painter.setOpacity(0.45);
    if (iconSide > 0) {
        const QIcon::Mode mode = isEnabled() ? QIcon::Normal : QIcon::Disabled;
        const QRect iconRect(qRound(origin.x()), qRound(origin.y() - iconSide / 2.0), iconSide, iconSide);
        icon.paint(&painter, iconRect, Qt::AlignCenter, mode);
        origin.rx() += iconSide + gap;
    }
    painter.drawPixmap(QPointF(origin.x(), origin.y() - emojiSize.height() / 2.0), emoji);
}
