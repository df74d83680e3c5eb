// A thumbnail that shows the session itself: its track, and its best lap on a badge.
#pragma once

#include "model/zaro_session.hpp"
#include "render/drawing_context.hpp"

namespace zaro {

/// Draws the map's small drawing of the session's trace over (0, 0, size) of a context whose origin is
/// at the bottom-left (as a thumbnail's is), as it looks at 128 points
/// scaled to the size, so that the line, the dots and the margin keep their proportions at every size.
/// From 256 points up a badge in the lower right corner shows the best lap time, or the lap count when
/// there is no best lap, over whatever of the line lies beneath it.
void drawTrackThumbnail(const ZaroSession& session, DrawingContext& context, Size size);

/// Loads the one font the badge draws with, for a process that draws no other text (the cards'
/// fonts take three times as long); throws as `ZaroSessionPreviewCard::prepareText` does.
void prepareTrackThumbnailText();

}  // namespace zaro
