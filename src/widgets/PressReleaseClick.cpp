#include "widgets/PressReleaseClick.h"

#include <QAbstractButton>
#include <QMouseEvent>
#include <QWidget>

namespace {

bool isInsideButton(const QWidget* widget, const QWidget* target)
{
    for (const QWidget* w = widget; w && w != target; w = w->parentWidget())
        if (qobject_cast<const QAbstractButton*>(w))
            return true;
    return false;
}

}  // namespace

PressReleaseClick::PressReleaseClick(QWidget* target, std::function<void()> action, Watch watch)
    : QObject(target)
    , m_target(target)
    , m_action(std::move(action))
{
    target->installEventFilter(this);
    target->setCursor(Qt::PointingHandCursor);
    const auto descendants = target->findChildren<QWidget*>();
    for (QWidget* child : descendants) {
        if (isInsideButton(child, target))
            continue;
        if (watch == Watch::Target) {
            child->setAttribute(Qt::WA_TransparentForMouseEvents);
        } else {
            child->installEventFilter(this);
            child->setCursor(Qt::PointingHandCursor);
        }
    }
}

bool PressReleaseClick::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() != QEvent::MouseButtonPress && event->type() != QEvent::MouseButtonRelease)
        return QObject::eventFilter(watched, event);
    auto* mouse = static_cast<QMouseEvent*>(event);
    if (mouse->button() != Qt::LeftButton)
        return QObject::eventFilter(watched, event);

    event->accept();
    if (event->type() == QEvent::MouseButtonPress) {
        m_pressed = true;
        return true;
    }
    auto* widget = qobject_cast<QWidget*>(watched);
    const bool wasPressed = std::exchange(m_pressed, false);
    if (!wasPressed || !widget || !m_target)
        return true;
    const QPoint position = mouse->position().toPoint();
    const QPoint inTarget = widget == m_target ? position : widget->mapTo(m_target.data(), position);
    if (m_target->rect().contains(inTarget) && m_action) {
        // A copy: the action may delete the target, and this filter with it.
        const std::function<void()> action = m_action;
        action();
    }
    return true;
}
