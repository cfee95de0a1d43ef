#pragma once

#include <QAbstractButton>

// An on/off switch: a rounded track with a knob, violet when on, with its
// label to the right. Checkable; clicking anywhere on it toggles it.
class ToggleSwitch : public QAbstractButton
{
    Q_OBJECT

public:
    explicit ToggleSwitch(const QString& text, QWidget* parent = nullptr);

    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;
};
