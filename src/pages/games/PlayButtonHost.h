#pragma once

#include <QGraphicsDropShadowEffect>
#include <QPointer>
#include <QWidget>

class QPushButton;
class HoverProgress;

// 54 px high host of the PLAY button: the 38 px button rests 10 px down and rises
// by 3 px on hover while its violet shadow grows and brightens. Takes the
// button's place in the caller's layout.
class PlayButtonHost : public QWidget
{
    Q_OBJECT

public:
    explicit PlayButtonHost(QPushButton* button, QWidget* parent = nullptr);

    QPushButton* button() const { return m_button; }
    qreal progress() const;

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    void apply(qreal p);

    QPointer<QPushButton> m_button;
    QPointer<QGraphicsDropShadowEffect> m_shadow;
    HoverProgress* m_progress;
};
