#pragma once

#include "widgets/backdrops/AnchoredArcadeArt.h"

class QTimer;

// A little violet arcade couch sitting on the top edge of the chat card. It
// follows the card (card position + (25, -78)) and stays above its siblings; its
// glow breathes with a phase that a 50 ms timer advances by 0.05 a tick.
class ChatArcadeCouch : public AnchoredArcadeArt
{
    Q_OBJECT

public:
    static constexpr int kFrameIntervalMs = 50;
    static constexpr double kPhaseStep = 0.05;
    static constexpr int kWidth = 168;
    static constexpr int kHeight = 84;
    static constexpr QPoint kOffset{25, -78};

    // The couch becomes a sibling of the card (a child of the card's parent).
    explicit ChatArcadeCouch(QWidget* card);

    double phase() const { return m_phase; }
    QTimer* frameTimer() const { return m_timer; }

protected:
    QPixmap renderPicture(qreal ratio) const override;
    void paintEvent(QPaintEvent* event) override;

private:
    void tick();
    const QPixmap& glow();

    QTimer* m_timer = nullptr;
    double m_phase = 0.0;
    QPixmap m_glow;
};
