#include "card_layout.hpp"

#include <algorithm>
#include <cmath>

#include "render/preview_card.hpp"

namespace zaro::ZaroSessionPreviewCard {

Rect cardRect(Size size)
{
    return {cardInset, cardInset, size.width - 2 * cardInset, size.height - 2 * cardInset};
}

Rect lapList(Rect card)
{
    return {card.x + 18, card.y + 416, card.width() - 36, card.maxY() - (card.y + 416) - 16};
}

std::size_t rowCapacity(double listHeight)
{
    const double rows = std::floor(listHeight / rowHeight);
    return rows >= 1 ? static_cast<std::size_t>(std::min(rows, 1e9)) : 1;
}

Rect sectorFrame(Rect row)
{
    return {row.x + 210, row.y + 6, row.width() - 220, 16};
}

std::size_t sectorBytes(Rect list)
{
    const Rect frame = sectorFrame({list.x, list.y, list.width(), rowHeight});
    return 3 * textBlockClusterBound(fonts::sectors.size, frame.w, frame.h);
}

ZaroSession shownPart(ZaroSession session, Size size)
{
    const Rect list = lapList(cardRect(size));
    const std::size_t capacity = rowCapacity(list.height());
    std::size_t end = 0;
    for (std::size_t listed = 0; end < session.laps.size() && listed < capacity; ++end) {
        if (session.laps[end].kind == ZaroSessionLap::Kind::lap) ++listed;
    }
    session.laps.erase(session.laps.begin() + static_cast<std::ptrdiff_t>(end), session.laps.end());
    // Every sector adds a byte at least to its row's text, which stops once it has the bytes a row shows.
    const std::size_t sectors = sectorBytes(list) + 1;
    for (ZaroSessionLap& lap : session.laps) {
        if (lap.sectors.size() <= sectors) continue;
        lap.sectors = SectorList::filled(sectors, [&](double* values) { std::copy_n(lap.sectors.begin(), sectors, values); });
    }
    return session;
}

}  // namespace zaro::ZaroSessionPreviewCard
