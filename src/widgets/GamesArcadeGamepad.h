#pragma once

#include <QPixmap>
#include <QPointer>
#include <QWidget>

// A neon pixel gamepad (180 x 115) perched on the games page's game card. It sits
// at the anchor's top-left corner (mapped into its own parent) plus (20, -82) and
// keeps above its siblings; it is static, translucent and lets the mouse through.
class GamesArcadeGamepad : public QWidget
{
    Q_OBJECT

public:
    static constexpr int kWidth = 180;
    static constexpr int kHeight = 115;
    static constexpr QPoint kOffset{20, -82};

    GamesArcadeGamepad(QWidget* anchor, QWidget* parent);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void paintEvent(QPaintEvent* event) override;

private:
    void follow();

    QPointer<QWidget> m_anchor;
    QPixmap m_picture;
};
