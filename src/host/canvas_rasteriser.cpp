#include "host/canvas_rasteriser.hpp"

#include "host/graphics_context.hpp"
#include "host/service.hpp"
#include "render/cairo_canvas.hpp"
#include "render/png.hpp"

namespace zaro {

std::vector<unsigned char> rasteriseOnCanvas(const ThumbnailReply& reply, int width, int height, double scale)
{
    CairoCanvas canvas(width, height);
    canvas.context().scale(scale, scale);
    GraphicsContext graphics(&canvas.context());
    const CurrentGraphicsContext current(&graphics);
    if (!reply.draw()) throw ServiceError("The thumbnail extension did not draw.");
    return png::encode(canvas.pixels());
}

}  // namespace zaro
