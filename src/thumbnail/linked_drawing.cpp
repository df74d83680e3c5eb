// The thumbnail drawing of a program that links the renderer.
#include "thumbnail/thumbnail_drawing.hpp"

namespace zaro {

const ThumbnailDrawing& thumbnailDrawing() { return linkedThumbnailDrawing(); }

}  // namespace zaro
