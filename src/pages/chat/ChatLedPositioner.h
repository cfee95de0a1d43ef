#pragma once

#include <QObject>
#include <QPointer>

class QWidget;

// Keeps the small glowing strip of the chat card centred over the title, 32 px
// above the title's top edge, on every move, resize and show of the title, and
// raises it above its siblings. The strip and the title may have different
// parents as long as the strip's parent contains the title. Owned by the title.
class ChatLedPositioner : public QObject
{
    Q_OBJECT

public:
    ChatLedPositioner(QWidget* title, QWidget* led);

    static constexpr int kGapAboveTitle = 32;

    void place();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QPointer<QWidget> m_title;
    QPointer<QWidget> m_led;
};
