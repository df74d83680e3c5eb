#include "thumbnail/thumbnail_provider.hpp"

#include "host/graphics_context.hpp"
#include "formats/session_reading.hpp"
#include "render/brand_mark.hpp"
#include "render/preview_card.hpp"
#include "render/track_thumbnail.hpp"

namespace zaro {

void ThumbnailProvider::provideThumbnail(const FileThumbnailRequest& request, const ThumbnailCompletion& handler)
{
    const Size size = request.maximumSize;
    handler(ThumbnailReply(size, [size] { return drawThumbnail(size); }, ZaroSessionIcon::thumbnailDrawnAhead), nullptr);
}

namespace {

// The drawing context of the calling thread's current graphics context, or null.
DrawingContext* currentDrawingContext()
{
    const GraphicsContext* current = GraphicsContext::current();
    return current ? current->cgContext() : nullptr;
}

}  // namespace

bool drawThumbnail(Size size)
{
    DrawingContext* context = currentDrawingContext();
    if (!context) return false;
    ZaroSessionIcon::draw(*context, size);
    return true;
}

void TrackThumbnailProvider::provideThumbnail(const FileThumbnailRequest& request, const ThumbnailCompletion& handler)
{
    const Size size = request.maximumSize;
    const std::filesystem::path url = request.fileURL;
    handler(ThumbnailReply(size, [size, url] { return drawTrackThumbnail(url, size); }), nullptr);
}

bool drawTrackThumbnail(const std::filesystem::path& url, Size size)
{
    DrawingContext* context = currentDrawingContext();
    if (!context) return false;
    drawTrackThumbnail(formats::readSessionFile(url), *context, size);
    return true;
}

Extension thumbnailExtension()
{
    Extension extension{ExtensionPoint::thumbnail, "io.zaro.session.thumbnail", "ThumbnailProvider", {}, {},
                        formats::isSessionFile, {}};
    extension.classes.registerClass<ThumbnailProvider>("ThumbnailProvider");
    extension.classes.registerClass<TrackThumbnailProvider>("TrackThumbnailProvider");
    extension.styles = {{"mark", "ThumbnailProvider"}, {"track", "TrackThumbnailProvider"}};
    // The mark has no text; the track's badge does.
    extension.prepare = [](const std::string& principalClass) {
        if (principalClass == "TrackThumbnailProvider") ZaroSessionPreviewCard::prepareText();
    };
    return extension;
}

}  // namespace zaro
