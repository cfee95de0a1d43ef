#pragma once

#include <QList>
#include <QRect>
#include <QRegion>

#include <functional>

// The opaque cards laid over an animated backdrop. What lies under an opaque
// card never shows, so the backdrop's frames repaint only around the cards:
// repainting under them would also repaint every card, every frame.
class BackdropCovers
{
public:
    // Gives the covered rectangles in the backdrop's coordinates, asked anew
    // on every frame so that moving or resized cards are followed.
    using Provider = std::function<QList<QRect>()>;

    void set(Provider provider, int cornerRadius);

    // The part of `area` a frame repaints: everything but the covers, whose
    // rounded corners (squares of the corner radius) stay in, since the
    // backdrop shows around them.
    QRegion exposedRegion(const QRect& area) const;

private:
    Provider m_provider;
    int m_cornerRadius = 0;
};
