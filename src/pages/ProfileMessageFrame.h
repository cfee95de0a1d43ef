#pragma once

#include <QWidget>

class QVariantAnimation;

// One chat message row. In highlight mode (the member's own messages, opened from
// their profile) it widens, takes 14 px margins and draws a pulsing pink frame.
class ProfileMessageFrame : public QWidget
{
    Q_OBJECT

public:
    explicit ProfileMessageFrame(QWidget* parent = nullptr);

    // Turns the row into a highlighted one and starts the endless 3.6 s pulse.
    void enableHighlight();

    bool isHighlighted() const { return m_highlighted; }
    double glowLevel() const { return m_glowLevel; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    bool m_highlighted = false;
    double m_glowLevel = 0.0;
    QVariantAnimation* m_pulse = nullptr;
};
