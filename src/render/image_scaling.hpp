// Image pixels made ready for cairo: premultiplied, and shrunk by whole blocks before drawing.
#pragma once

#include <cairo.h>

#include "base/c_handle.hpp"
#include "render/drawing_context.hpp"

namespace zaro {

using SurfaceHandle = CHandle<cairo_surface_t, cairo_surface_destroy>;

/// The image as a cairo surface, each block of `stepX` x `stepY` pixels averaged into one (a box
/// filter, paid once here rather than by cairo on the whole image); a surface in an error state when
/// cairo cannot make one.
SurfaceHandle premultipliedSurface(const ImageView& image, int stepX, int stepY);

/// How many image pixels may be averaged into one along an axis: as many as fall on one device pixel,
/// given the device extent (`deviceX`, `deviceY`) of one image pixel along that axis.
int reductionStep(double deviceX, double deviceY, int imageSide);

}  // namespace zaro
