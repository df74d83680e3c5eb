// What drawing a preview takes: the card's renderer and the libraries under it (cairo, pango,
// FreeType, HarfBuzz and some forty more). The preview program loads them from a module of its own
// once it has started the child that reads the session, so that the child starts at once and its
// process copies none of them; the tests link them.
#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace zaro {

/// The preview drawing's entry points, all of one copy of the renderer.
struct PreviewDrawing {
    /// The project's version the drawing was built as: a module of another one is not used.
    const char* version;
    /// Finds and loads the fonts every card needs (before the process confines itself).
    void (*prepareText)();
    /// The PNG of the card of the session a read-ahead packed (formats/packed_reading.hpp), or of the
    /// file at `url` when `packed` is null; the error card when it cannot be read. `name` as previewPng.
    std::vector<unsigned char> (*cardPng)(const std::filesystem::path& url, const std::optional<std::string>& name,
                                          const std::string* packed);
    /// The PNG of the error card for `message`, which is logged as the preview's failure.
    std::vector<unsigned char> (*failurePng)(std::string_view message);
};

/// The drawing: the one linked into the program, or the preview program's module, loaded on the
/// first call. Throws std::runtime_error saying why when the module cannot be loaded.
const PreviewDrawing& previewDrawing();

/// The drawing as linked from the renderer, which the module hands out.
const PreviewDrawing& linkedPreviewDrawing();

/// The PNG of the summary card of the file at `url`, or of the error card with the failure's
/// message; throws only when even the error card cannot be rendered. `name`, when given, is the file's
/// name the card shows instead of the file's own ("" for none). The session comes from `packed`,
/// what a read-ahead packed, when given.
std::vector<unsigned char> previewPng(const std::filesystem::path& url,
                                      const std::optional<std::string>& name = std::nullopt,
                                      const std::string* packed = nullptr);

}  // namespace zaro
