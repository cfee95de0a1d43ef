#pragma once

#include <QPixmap>
#include <QPointF>
#include <QPointer>
#include <QWidget>

class QTimer;

// Violet light pools on the login page: a wide one under the card's short accent
// bar and a smaller one under the login button, brighter while the pointer is
// over the button. The layer covers its parent, stays below its siblings and
// lets the mouse through; a 33 ms timer repaints it while it is visible, when
// the lights moved or the button's hover changed since the last paint.
class LoginLightLayer : public QWidget
{
    Q_OBJECT

public:
    static constexpr int kFrameIntervalMs = 33;

    LoginLightLayer(QWidget* bar, QWidget* button, QWidget* parent);

    QTimer* frameTimer() const { return m_timer; }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void paintEvent(QPaintEvent* event) override;

private:
    // Where the two lights are and how bright the button's is.
    struct Lights
    {
        bool bar = false;
        QPointF barCentre;
        bool button = false;
        QPointF buttonCentre;
        bool hover = false;
        bool operator==(const Lights& other) const;
    };
    Lights currentLights() const;
    void coverParent();
    void tick();
    void prepare(qreal ratio);

    QPointer<QWidget> m_bar;
    QPointer<QWidget> m_button;
    QTimer* m_timer = nullptr;
    QPixmap m_barLight;
    QPixmap m_buttonLight;
    QPixmap m_buttonLightHover;
    qreal m_ratio = 0.0;
    Lights m_painted;
};
