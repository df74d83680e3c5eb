#include "thumbnail/thumbnail_provider.hpp"

#include "formats/session_reading.hpp"
#include "thumbnail/drawn_ahead.hpp"
#include "thumbnail/thumbnail_drawing.hpp"

namespace zaro {

void ThumbnailProvider::provideThumbnail(const FileThumbnailRequest& request, const ThumbnailCompletion& handler)
{
    const Size size = request.maximumSize;
    handler(ThumbnailReply(size, [size] { return thumbnailDrawing().drawMark(size); },
                           ZaroSessionIcon::thumbnailDrawnAhead),
            nullptr);
}

void TrackThumbnailProvider::provideThumbnail(const FileThumbnailRequest& request, const ThumbnailCompletion& handler)
{
    const Size size = request.maximumSize;
    const std::filesystem::path url = request.fileURL;
    handler(ThumbnailReply(size, [size, url] { return thumbnailDrawing().drawTrack(url, size); }), nullptr);
}

Extension thumbnailExtension()
{
    Extension extension{ExtensionPoint::thumbnail, "io.zaro.session.thumbnail", "ThumbnailProvider", {}, {},
                        formats::isSessionFile, {}, {}};
    extension.classes.registerClass<ThumbnailProvider>("ThumbnailProvider");
    extension.classes.registerClass<TrackThumbnailProvider>("TrackThumbnailProvider");
    extension.styles = {{"mark", "ThumbnailProvider"}, {"track", "TrackThumbnailProvider"}};
    // The drawing is loaded while the program may still read its libraries, unless the mark was
    // made ahead at this side; the mark has no text, the track's badge does.
    extension.prepare = [](const std::string& principalClass, std::optional<int> side) {
        if (principalClass == "ThumbnailProvider" && side && ZaroSessionIcon::hasThumbnailDrawnAhead(*side)) return;
        const ThumbnailDrawing& drawing = thumbnailDrawing();
        if (principalClass == "TrackThumbnailProvider") drawing.prepareText();
    };
    extension.rasterise = [](const ThumbnailReply& reply, int width, int height, double scale) {
        return thumbnailDrawing().rasterise(reply, width, height, scale);
    };
    return extension;
}

}  // namespace zaro
