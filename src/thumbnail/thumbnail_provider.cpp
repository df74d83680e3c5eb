#include "thumbnail/thumbnail_provider.hpp"

#include "formats/packed_reading.hpp"
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
    const ReadAheadResult readAhead = request.readAhead;
    handler(ThumbnailReply(size,
                           [size, url, readAhead] {
                               std::optional<std::string> packed;
                               if (readAhead) packed = readAhead();
                               return thumbnailDrawing().drawTrack(url, packed ? &*packed : nullptr, size);
                           }),
            nullptr);
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
    // The track's session is read by a child of its own while the drawing is loaded.
    extension.readAhead = [](const std::string& principalClass) -> ReadAhead::Work {
        if (principalClass != "TrackThumbnailProvider") return {};
        // The drawing shows the trace and the best lap or lap count: never the laps themselves, nor
        // the distance, speeds and the like.
        return [](const std::filesystem::path& input) {
            return formats::packedSessionReading(
                input,
                [](ZaroSession session) {
                    session.laps = {};
                    return session;
                },
                ZaroSessionParser::Statistics::none);
        };
    };
    extension.rasterise = [](const ThumbnailReply& reply, int width, int height, double scale) {
        return thumbnailDrawing().rasterise(reply, width, height, scale);
    };
    return extension;
}

}  // namespace zaro
