// The host's canvas: where a thumbnail reply's drawing callback draws.
#pragma once

#include <vector>

#include "host/provider.hpp"

namespace zaro {

/// Makes a canvas of `width` × `height` pixels, scaled `scale` times, the calling thread's current
/// graphics context, runs the reply's drawing callback and returns the canvas as PNG bytes; throws
/// ServiceError when the callback did not draw.
std::vector<unsigned char> rasteriseOnCanvas(const ThumbnailReply& reply, int width, int height, double scale);

}  // namespace zaro
