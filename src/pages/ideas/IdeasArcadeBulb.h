#pragma once

#include "widgets/backdrops/AnchoredArcadeArt.h"

// A glowing pixel light bulb hanging over the ideas page's creation card. It sits
// at the anchor's top-left corner (mapped into its own parent) plus (25, -83)
// and keeps above its siblings; it is static and lets the mouse through.
class IdeasArcadeBulb : public AnchoredArcadeArt
{
    Q_OBJECT

public:
    static constexpr int kWidth = 80;
    static constexpr int kHeight = 104;
    static constexpr QPoint kOffset{25, -83};

    IdeasArcadeBulb(QWidget* anchor, QWidget* parent);

protected:
    QPixmap renderPicture(qreal ratio) const override;
};
