#pragma once

#include <QPixmap>
#include <QWidget>

#include <functional>

class QTimer;

// The large round avatar of the profile pages (195 x 195): a violet glow, a dark
// disc, the picture (or a placeholder) clipped to a circle and a ring. Hovering
// zooms it gently to 1.05; a left click inside the central 150 px square calls
// the click callback.
class CircularProfileAvatar : public QWidget
{
    Q_OBJECT

public:
    explicit CircularProfileAvatar(QWidget* parent = nullptr);

    // The shown picture; an empty pixmap shows the placeholder.
    void setPixmap(const QPixmap& pixmap);
    QPixmap pixmap() const { return m_pixmap; }

    void setClickCallback(std::function<void()> callback);

    qreal zoom() const { return m_zoom; }
    bool isHovered() const { return m_hovered; }
    bool isZoomAnimating() const;

    // The square in which presses and releases count as a click.
    static QRectF clickArea();

protected:
    void enterEvent(QEnterEvent* event) override;
    void leaveEvent(QEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void paintEvent(QPaintEvent* event) override;

private:
    void tick();

    QPixmap m_pixmap;
    QPixmap m_scaled; // m_pixmap scaled to cover the 144 px picture circle
    std::function<void()> m_clickCallback;
    QTimer* m_timer;
    qreal m_zoom = 1.0;
    bool m_hovered = false;
};
