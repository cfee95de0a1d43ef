#pragma once

#include <QPixmap>
#include <QPointer>
#include <QWidget>

// A static piece of arcade art pinned to another widget: it sits at the
// anchor's top-left corner (mapped into its own parent) plus an offset, keeps
// above its siblings, is translucent and lets the mouse through. The anchor and
// every widget between it and this parent are watched, so the art follows
// whichever of them moves. The picture is drawn once per pixel ratio.
class AnchoredArcadeArt : public QWidget
{
    Q_OBJECT

protected:
    AnchoredArcadeArt(QWidget* anchor, QWidget* parent, const QString& objectName, const QSize& size,
                      const QPoint& offset);

    // The art at the given device pixel ratio, the widget's size in logical pixels.
    virtual QPixmap renderPicture(qreal ratio) const = 0;

public:
    // A transparent picture of `size` logical pixels at the pixel ratio, to draw art on.
    static QPixmap blankPicture(const QSize& size, qreal ratio);

protected:

    // The art for the widget's current pixel ratio, drawn again only when the ratio changes.
    const QPixmap& picture();

    bool eventFilter(QObject* watched, QEvent* event) override;
    void paintEvent(QPaintEvent* event) override;

private:
    void follow();

    QPointer<QWidget> m_anchor;
    QPoint m_offset;
    QPixmap m_picture;
};
