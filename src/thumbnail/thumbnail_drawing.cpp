#include "thumbnail/thumbnail_drawing.hpp"

#include "formats/packed_reading.hpp"
#include "formats/session_reading.hpp"
#include "host/canvas_rasteriser.hpp"
#include "host/graphics_context.hpp"
#include "render/brand_mark.hpp"
#include "render/track_thumbnail.hpp"

namespace zaro {

namespace {

// The drawing context of the calling thread's current graphics context, or null.
DrawingContext* currentDrawingContext()
{
    const GraphicsContext* current = GraphicsContext::current();
    return current ? current->cgContext() : nullptr;
}

}  // namespace

bool drawThumbnail(Size size)
{
    DrawingContext* context = currentDrawingContext();
    if (!context) return false;
    ZaroSessionIcon::draw(*context, size);
    return true;
}

bool drawTrackThumbnail(const std::filesystem::path& url, const std::string* packed, Size size)
{
    DrawingContext* context = currentDrawingContext();
    if (!context) return false;
    drawTrackThumbnail(packed ? formats::unpackSessionReading(*packed) : formats::readSessionFile(url), *context, size);
    return true;
}

const ThumbnailDrawing& linkedThumbnailDrawing()
{
    static constexpr ThumbnailDrawing drawing{
        ZARO_VERSION,
        [] { prepareTrackThumbnailText(); },
        [](Size size) { return drawThumbnail(size); },
        [](const std::filesystem::path& url, const std::string* packed, Size size) {
            return drawTrackThumbnail(url, packed, size);
        },
        rasteriseOnCanvas,
    };
    return drawing;
}

}  // namespace zaro
