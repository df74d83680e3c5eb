// The thumbnail extension: the brand mark at the size asked for, or, as a style of its own, the track.
#pragma once

#include <filesystem>

#include "host/provider.hpp"
#include "host/service.hpp"

namespace zaro {

class ThumbnailProvider final : public ThumbnailProviderBase {
public:
    /// Replies at once with the request's maximum size and a callback that draws the mark; the file
    /// is never read.
    void provideThumbnail(const FileThumbnailRequest& request, const ThumbnailCompletion& handler) override;
};

/// The thumbnail that shows the session: its track and best lap, drawn at the size asked for.
class TrackThumbnailProvider final : public ThumbnailProviderBase {
public:
    /// Replies at once with the request's maximum size and a callback that parses the file and draws it.
    void provideThumbnail(const FileThumbnailRequest& request, const ThumbnailCompletion& handler) override;
};

/// The thumbnail extension as its bundle declares it, with its classes registered: it is offered
/// only files that begin as session files do, by the parser's own rule.
Extension thumbnailExtension();

}  // namespace zaro
