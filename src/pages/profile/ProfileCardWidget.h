#pragma once

#include <QFrame>

// The profile card: a dark rounded panel (radius 18) framed by four concentric
// violet strokes that read as a soft neon edge.
class ProfileCardWidget : public QFrame
{
    Q_OBJECT

public:
    static constexpr int kCornerRadius = 18;

    explicit ProfileCardWidget(QWidget* parent = nullptr);

protected:
    void paintEvent(QPaintEvent* event) override;
};
