// What drawing a thumbnail takes: the card's renderer and the libraries under it (cairo, pango,
// FreeType, HarfBuzz and some forty more). The thumbnailer program loads them from a module of its
// own only when a request needs drawing, so that a mark made ahead is served by a process that
// never maps them; programs and tests that link the renderer use it directly.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

#include "host/provider.hpp"
#include "render/drawing_context.hpp"

namespace zaro {

/// The thumbnail drawing's entry points, all of one copy of the renderer: a drawing callback finds
/// the graphics context that the same copy's `rasterise` made current.
struct ThumbnailDrawing {
    /// The project's version the drawing was built as: a module of another one is not used.
    const char* version;
    /// Loads the font the track thumbnail's badge draws with (before the process confines itself).
    void (*prepareText)();
    /// Draws the mark at `size` into the current graphics context; false without one.
    bool (*drawMark)(Size size);
    /// Draws the track of the file at `url` at `size` into the current graphics context, from the
    /// reading a read-ahead packed (formats/packed_reading.hpp), or parsing the file itself when
    /// `packed` is null; false without a context. Throws what reading throws.
    bool (*drawTrack)(const std::filesystem::path& url, const std::string* packed, Size size);
    /// Draws `reply` on a canvas of `width` × `height` pixels at `scale` and returns its PNG bytes.
    std::vector<unsigned char> (*rasterise)(const ThumbnailReply& reply, int width, int height, double scale);
};

/// The drawing: the one linked into the program, or the thumbnailer's module, loaded on the first
/// call. Throws std::runtime_error saying why when the module cannot be loaded.
const ThumbnailDrawing& thumbnailDrawing();

/// The drawing as linked from the renderer, which the module hands out.
const ThumbnailDrawing& linkedThumbnailDrawing();

/// Draws the mark at `size` into the calling thread's current graphics context; false when there
/// is no such context or it has no drawing context.
bool drawThumbnail(Size size);

/// Draws the track of the file at `url` at `size` into the current graphics context, from `packed`
/// when a read-ahead read it and else from the file; false without a drawing context. Throws what
/// reading throws, so that a file that does not parse gets no thumbnail.
bool drawTrackThumbnail(const std::filesystem::path& url, const std::string* packed, Size size);

}  // namespace zaro
