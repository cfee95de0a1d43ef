#pragma once

#include <QPointer>
#include <QWidget>

class QVBoxLayout;
class HoverProgress;

// Wrapper of one leaderboard row. The plain variant only spaces the row (margins
// 12, 0, 12, 0). The glowing variant (the member's own row) surrounds the row with
// pink rings and, on hover, slides it up to 4 px to the right while the rings
// brighten. Takes the row's place in the caller's layout.
class LeaderboardRowGlow : public QWidget
{
    Q_OBJECT

public:
    LeaderboardRowGlow(QWidget* row, bool glowing, QWidget* parent = nullptr);

    QWidget* row() const { return m_row; }
    bool isGlowing() const { return m_glowing; }
    qreal progress() const;

protected:
    void enterEvent(QEnterEvent* event) override;
    void leaveEvent(QEvent* event) override;
    void paintEvent(QPaintEvent* event) override;

private:
    void apply(qreal p);

    QPointer<QWidget> m_row;
    QVBoxLayout* m_layout;
    bool m_glowing;
    HoverProgress* m_progress = nullptr;
};
