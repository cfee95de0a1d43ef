#pragma once

#include <QColor>
#include <QGraphicsDropShadowEffect>
#include <QObject>
#include <QPointer>
#include <QSize>

class QLayout;
class QPushButton;
class HoverProgress;

// Press-style hover for action buttons: on hover the button rises up to 4 px inside
// its slot layout (if one is given), optionally grows by 8 x 4 px and optionally
// glows through a drop shadow. A disabled button drops the effect at once.
// Owned by the button.
class ButtonLiftHover : public QObject
{
    Q_OBJECT

public:
    ButtonLiftHover(QPushButton* button, const QSize& baseSize, const QColor& glowColor,
                    bool glows, bool grows, QLayout* slotLayout = nullptr);

    qreal progress() const;
    QGraphicsDropShadowEffect* shadow() const { return m_shadow; }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void apply(qreal p);
    void resetNow();

    QPointer<QPushButton> m_button;
    QSize m_baseSize;
    QColor m_glowColor;
    bool m_glows;
    bool m_grows;
    QPointer<QLayout> m_slotLayout;
    QPointer<QGraphicsDropShadowEffect> m_shadow;
    HoverProgress* m_progress;
};
