#include "widgets/backdrops/AnchoredArcadeArt.h"

#include <QEvent>
#include <QPainter>

AnchoredArcadeArt::AnchoredArcadeArt(QWidget* anchor, QWidget* parent, const QString& objectName,
                                     const QSize& size, const QPoint& offset)
    : QWidget(parent)
    , m_anchor(anchor)
    , m_offset(offset)
{
    setObjectName(objectName);
    setAttribute(Qt::WA_TransparentForMouseEvents);
    setAttribute(Qt::WA_TranslucentBackground);
    setAttribute(Qt::WA_NoSystemBackground);
    setFocusPolicy(Qt::NoFocus);
    setFixedSize(size);
    for (QWidget* watched = anchor; watched && watched != parent; watched = watched->parentWidget())
        watched->installEventFilter(this);
    follow();
}

bool AnchoredArcadeArt::eventFilter(QObject* watched, QEvent* event)
{
    switch (event->type()) {
    case QEvent::Move:
    case QEvent::Resize:
    case QEvent::Show:
        follow();
        break;
    default:
        break;
    }
    return QWidget::eventFilter(watched, event);
}

void AnchoredArcadeArt::follow()
{
    if (!m_anchor || !parentWidget())
        return;
    const QPoint corner = m_anchor->parentWidget() == parentWidget() ? m_anchor->pos()
                                                                     : m_anchor->mapTo(parentWidget(), QPoint(0, 0));
    move(corner + m_offset);
    raise();
}

const QPixmap& AnchoredArcadeArt::picture()
{
    if (m_picture.isNull() || !qFuzzyCompare(m_picture.devicePixelRatioF(), devicePixelRatioF()))
        m_picture = renderPicture(devicePixelRatioF());
    return m_picture;
}

void AnchoredArcadeArt::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.drawPixmap(0, 0, picture());
}

QPixmap AnchoredArcadeArt::blankPicture(const QSize& size, qreal ratio)
{
    QPixmap picture(size * ratio);
    picture.setDevicePixelRatio(ratio);
    picture.fill(Qt::transparent);
    return picture;
}
