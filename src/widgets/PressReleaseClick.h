#pragma once

#include <QObject>
#include <QPointer>

#include <functional>

class QWidget;

// A click on a widget that is not a button (a card, a row): a left press arms
// it, a left release whose position lies inside the target runs the action. A
// press that leaves the target before the release runs nothing. Left presses
// and releases stop here. The target gets the pointing-hand cursor; buttons
// inside it, and whatever lies inside them, keep their own clicks.
class PressReleaseClick : public QObject
{
    Q_OBJECT

public:
    enum class Watch {
        // The target's other descendants let the mouse through to it.
        Target,
        // The filter watches every other descendant too (they keep their own
        // mouse events, hover included) and each gets the cursor.
        TargetAndDescendants,
    };

    PressReleaseClick(QWidget* target, std::function<void()> action, Watch watch = Watch::Target);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QPointer<QWidget> m_target;
    std::function<void()> m_action;
    bool m_pressed = false;
};
