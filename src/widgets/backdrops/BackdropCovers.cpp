#include "widgets/backdrops/BackdropCovers.h"

#include <utility>

void BackdropCovers::set(Provider provider, int cornerRadius)
{
    m_provider = std::move(provider);
    m_cornerRadius = qMax(0, cornerRadius);
}

QRegion BackdropCovers::exposedRegion(const QRect& area) const
{
    QRegion exposed(area);
    if (!m_provider)
        return exposed;
    const int r = m_cornerRadius;
    for (const QRect& cover : m_provider()) {
        if (cover.width() <= 2 * r || cover.height() <= 2 * r)
            continue;
        exposed -= QRegion(cover.adjusted(r, 0, -r, 0));
        exposed -= QRegion(cover.adjusted(0, r, 0, -r));
    }
    return exposed;
}
