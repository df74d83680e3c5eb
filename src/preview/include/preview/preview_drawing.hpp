// What drawing a preview takes: the card's renderer and the libraries under it (cairo, pango,
// FreeType, HarfBuzz and some forty more). The preview program loads them from a module of its own
// once it has started the child that reads the session, so that the child starts at once and its
// process copies none of them; the tests link them.
#pragma once

#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace zaro {

/// What a read-ahead packed of a session (formats/packed_reading.hpp), waited for when called; none
/// when there was no read-ahead. Throws what kept the read-ahead from its result.
using PackedSession = std::function<std::optional<std::string>()>;

/// The preview drawing's entry points, all of one copy of the renderer.
struct PreviewDrawing {
    /// The project's version the drawing was built as: a module of another one is not used.
    const char* version;
    /// Finds and loads the fonts every card needs (before the process confines itself).
    void (*prepareText)();
    /// previewPng.
    std::vector<unsigned char> (*cardPng)(const std::filesystem::path& url, const std::optional<std::string>& name,
                                          const PackedSession& packed);
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
/// name the card shows instead of the file's own ("" for none). The session comes from `packed`
/// when it gives one, which is waited for only once what every card has is drawn.
std::vector<unsigned char> previewPng(const std::filesystem::path& url,
                                      const std::optional<std::string>& name = std::nullopt,
                                      const PackedSession& packed = {});

}  // namespace zaro
