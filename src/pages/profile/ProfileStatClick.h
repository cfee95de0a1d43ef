#pragma once

#include <QObject>
#include <QPointer>
#include <QWidget>

#include <functional>

// Click detection on one statistics card of the own profile (messages, ideas,
// Nebulite best): a left press on the card arms it, a left release inside the
// card runs the card's action, which opens the matching page with the member's
// own items highlighted. Both presses and releases stop at the card.
class ProfileStatClick : public QObject
{
    Q_OBJECT

public:
    ProfileStatClick(QWidget* card, std::function<void()> action);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QPointer<QWidget> m_card;
    std::function<void()> m_action;
    bool m_pressed = false;
};
