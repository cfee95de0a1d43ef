#pragma once

#include <QPixmap>
#include <QWidget>

// A pink neon tube across the games page between the game card and the
// leaderboard, from 5 % to 95 % of the width, with a small square at each end.
// Fixed height 68; static.
class GamesPinkDivider : public QWidget
{
    Q_OBJECT

public:
    static constexpr int kHeight = 68;

    explicit GamesPinkDivider(QWidget* parent = nullptr);

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QPixmap m_picture;
};
