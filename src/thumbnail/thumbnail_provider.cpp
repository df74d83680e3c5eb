#include "thumbnail/thumbnail_provider.hpp"

#include "host/graphics_context.hpp"
#include "parser/zaro_session_parser.hpp"
#include "render/brand_mark.hpp"

namespace zaro {

void ThumbnailProvider::provideThumbnail(const FileThumbnailRequest& request, const ThumbnailCompletion& handler)
{
    const Size size = request.maximumSize;
    handler(ThumbnailReply(size, [size] { return drawThumbnail(size); }), nullptr);
}

bool drawThumbnail(Size size)
{
    const GraphicsContext* current = GraphicsContext::current();
    if (!current) return false;
    DrawingContext* context = current->cgContext();
    if (!context) return false;
    ZaroSessionIcon::draw(*context, size);
    return true;
}

Extension thumbnailExtension()
{
    Extension extension{ExtensionPoint::thumbnail, "io.zaro.session.thumbnail", "ThumbnailProvider", {},
                        ZaroSessionParser::isSessionFile};
    extension.classes.registerClass<ThumbnailProvider>("ThumbnailProvider");
    return extension;
}

}  // namespace zaro
