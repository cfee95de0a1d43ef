#include "pages/games/WidgetDropShadow.h"

#include <QEvent>
#include <QGraphicsBlurEffect>
#include <QGraphicsPixmapItem>
#include <QGraphicsScene>
#include <QPainter>
#include <QTimer>

#include <cmath>

WidgetDropShadow::WidgetDropShadow(QWidget* target, qreal blurRadius)
    : QWidget(target->parentWidget())
    , m_target(target)
    , m_blurRadius(blurRadius)
    , m_renderTimer(new QTimer(this))
{
    setObjectName(QStringLiteral("widgetDropShadow"));
    setAttribute(Qt::WA_TransparentForMouseEvents);
    setFocusPolicy(Qt::NoFocus);
    // The target is grabbed outside any paint event, once its layout settled.
    m_renderTimer->setSingleShot(true);
    m_renderTimer->setInterval(0);
    connect(m_renderTimer, &QTimer::timeout, this, &WidgetDropShadow::renderShadow);
    target->installEventFilter(this);
    if (parentWidget())
        stackUnder(target);
    follow();
}

int WidgetDropShadow::reach() const
{
    return int(std::ceil(m_blurRadius + std::max(std::abs(m_offset.x()), std::abs(m_offset.y()))));
}

bool WidgetDropShadow::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == m_target) {
        switch (event->type()) {
        case QEvent::Move:
        case QEvent::Resize:
        case QEvent::Show:
        case QEvent::Hide:
        case QEvent::ParentChange:
            follow();
            break;
        default:
            break;
        }
    }
    return QWidget::eventFilter(watched, event);
}

void WidgetDropShadow::follow()
{
    if (!m_target || !m_target->parentWidget()) {
        hide();
        return;
    }
    if (parentWidget() != m_target->parentWidget()) {
        setParent(m_target->parentWidget());
        stackUnder(m_target);
    }
    const int margin = reach();
    setGeometry(m_target->geometry().adjusted(-margin, -margin, margin, margin));
    setVisible(m_target->isVisibleTo(parentWidget()));
    if (m_target->size() != m_shadowTargetSize)
        m_renderTimer->start();
}

// The target's shape in the shadow colour, blurred, placed at the offset.
void WidgetDropShadow::renderShadow()
{
    if (!m_target || m_target->size().isEmpty())
        return;
    m_shadowTargetSize = m_target->size();
    // A target grown by a long list would cost hundreds of megabytes to grab and
    // blur: past the bound it goes without a shadow.
    if (qint64(m_target->width()) * m_target->height() > kMaxShadowPixels) {
        m_shadow = QPixmap();
        update();
        return;
    }
    const int margin = reach();
    const QPixmap shape = m_target->grab();
    const qreal ratio = shape.devicePixelRatio();

    QPixmap tinted(size() * ratio);
    tinted.setDevicePixelRatio(ratio);
    tinted.fill(Qt::transparent);
    {
        QPainter painter(&tinted);
        painter.drawPixmap(QPointF(margin, margin) + m_offset, shape);
        painter.setCompositionMode(QPainter::CompositionMode_SourceIn);
        painter.fillRect(rect(), m_color);
    }

    QGraphicsScene scene;
    QGraphicsPixmapItem* item = scene.addPixmap(tinted);
    auto* blur = new QGraphicsBlurEffect;
    blur->setBlurRadius(m_blurRadius);
    blur->setBlurHints(QGraphicsBlurEffect::QualityHint);
    item->setGraphicsEffect(blur);
    QPixmap blurred(tinted.size());
    blurred.setDevicePixelRatio(ratio);
    blurred.fill(Qt::transparent);
    {
        QPainter painter(&blurred);
        const QRectF area(QPointF(0, 0), tinted.deviceIndependentSize());
        scene.render(&painter, area, area);
    }
    m_shadow = blurred;
    update();
}

void WidgetDropShadow::paintEvent(QPaintEvent*)
{
    if (m_shadow.isNull())
        return;
    QPainter painter(this);
    painter.drawPixmap(0, 0, m_shadow);
}
