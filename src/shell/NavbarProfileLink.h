#pragma once

#include <QPushButton>

class QHBoxLayout;
class HoverProgress;

// The navigation bar's profile link: a flat button ("navbarProfileLink") hosting a
// horizontal layout for the name label, status dot and status label. On hover the
// content lifts by 2 px over a faint violet pill.
class NavbarProfileLink : public QPushButton
{
    Q_OBJECT

public:
    explicit NavbarProfileLink(QWidget* parent = nullptr);

    QHBoxLayout* contentLayout() const { return m_layout; }
    qreal progress() const;

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

protected:
    void enterEvent(QEnterEvent* event) override;
    void leaveEvent(QEvent* event) override;
    void paintEvent(QPaintEvent* event) override;

private:
    void apply(qreal p);

    QHBoxLayout* m_layout;
    HoverProgress* m_progress;
};
