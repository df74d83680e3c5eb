// The product's brand mark: a PNG resource drawn over black at whatever size is asked for.
#pragma once

#include <filesystem>
#include <optional>
#include <vector>

#include "render/drawing_context.hpp"
#include "render/png.hpp"

namespace zaro::ZaroSessionIcon {

/// Where the running program's "zaro-mark.png" resource is, or no value.
std::optional<std::filesystem::path> markURL();

/// The mark read and decoded afresh, or no value when it is missing or not a decodable PNG.
std::optional<png::Image> markCGImage();

/// Fills (0, 0, size) in opaque black and draws the mark stretched over the whole of it: the mark
/// itself, or one drawn ahead at 128, 256 or 512 pixels ("zaro-mark-256.png") when that is the
/// smallest at least as large as the size in the context's units.
//
// Draws in the context's current space and leaves the fill colour and interpolation quality as set.
void draw(DrawingContext& context, Size size);

}  // namespace zaro::ZaroSessionIcon
