#pragma once

#include "widgets/backdrops/AnchoredArcadeArt.h"

// A neon pixel gamepad (180 x 115) perched on the games page's game card. It sits
// at the anchor's top-left corner (mapped into its own parent) plus (20, -82) and
// keeps above its siblings; it is static, translucent and lets the mouse through.
class GamesArcadeGamepad : public AnchoredArcadeArt
{
    Q_OBJECT

public:
    static constexpr int kWidth = 180;
    static constexpr int kHeight = 115;
    static constexpr QPoint kOffset{20, -82};

    GamesArcadeGamepad(QWidget* anchor, QWidget* parent);

protected:
    QPixmap renderPicture(qreal ratio) const override;
};
