#pragma once

#include <QPointer>
#include <QWidget>

class QPushButton;
class HoverProgress;

// Transparent wrapper ("homeHoverLiftContainer") that lets a button float up by
// `lift` pixels while hovered. It takes the button's place in the caller's layout
// and re-parents the button into itself: at rest the button sits lift pixels low,
// at full hover it touches the top.
class HomeHoverLift : public QWidget
{
    Q_OBJECT

public:
    HomeHoverLift(QPushButton* button, int lift, QWidget* parent = nullptr);

    QPushButton* button() const { return m_button; }
    int lift() const { return m_lift; }
    qreal progress() const;

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

protected:
    void enterEvent(QEnterEvent* event) override;
    void leaveEvent(QEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    void placeButton();

    QPointer<QPushButton> m_button;
    int m_lift;
    HoverProgress* m_progress;
};
