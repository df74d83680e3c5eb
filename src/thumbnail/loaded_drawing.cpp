// The thumbnailer's drawing, loaded from its module the first time a request needs it.
#include "host/drawing_module.hpp"
#include "thumbnail/thumbnail_drawing.hpp"

namespace zaro {

const ThumbnailDrawing& thumbnailDrawing()
{
    // A failed load throws out of the initialisation, so the next call tries again.
    static const ThumbnailDrawing& drawing = *static_cast<const ThumbnailDrawing*>(
        loadDrawingModule("zaro-session-thumbnail-drawing.so", "zaro_thumbnail_drawing", "The thumbnail cannot be drawn"));
    return drawing;
}

}  // namespace zaro
