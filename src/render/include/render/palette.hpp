// The colours of everything the cards, the map and the thumbnails draw.
#pragma once

#include "render/drawing_context.hpp"

namespace zaro::palette {

inline constexpr Rgba canvas{0.027, 0.067, 0.118, 1.0};     // behind a card; behind a map thumbnail
inline constexpr Rgba card{0.055, 0.12, 0.2, 1.0};
inline constexpr Rgba cardOutline = Rgba::grey(1.0, 0.12);
inline constexpr Rgba accent{0.91, 0.72, 0.29, 1.0};        // the header; the start of the track
inline constexpr Rgba primary{1.0, 1.0, 1.0, 1.0};
inline constexpr Rgba muted{0.54, 0.63, 0.72, 1.0};
inline constexpr Rgba mapPanel{0.024, 0.063, 0.11, 1.0};
inline constexpr Rgba trackLine{0.91, 0.35, 0.12, 1.0};
inline constexpr Rgba endDot{0.24, 0.78, 0.79, 1.0};        // the end of the track
inline constexpr Rgba tile = Rgba::grey(1.0, 0.05);
inline constexpr Rgba rowStripe = Rgba::grey(1.0, 0.03);

}  // namespace zaro::palette
