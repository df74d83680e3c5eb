// The mark thumbnails made when the program is built, handed out as they are.
#pragma once

#include <optional>
#include <vector>

namespace zaro::ZaroSessionIcon {

/// The sides at which the whole thumbnail (the mark over black, as `draw` makes it on a surface of
/// that side, encoded by png::encode) is made when the program is built: "zaro-thumbnail-256.png".
inline constexpr int thumbnailSidesDrawnAhead[] = {128, 256, 512, 1024};

/// Whether a thumbnail of `side` × `side` pixels was made ahead and lies among the resources.
bool hasThumbnailDrawnAhead(int side);

/// The bytes of the thumbnail made ahead at `width` × `height` pixels, read from the resources
/// without being decoded; no value for another size or when it is missing.
std::optional<std::vector<unsigned char>> thumbnailDrawnAhead(int width, int height);

}  // namespace zaro::ZaroSessionIcon
