// The preview program's drawing, loaded from its module the first time it is needed.
#include "host/drawing_module.hpp"
#include "preview/preview_drawing.hpp"

namespace zaro {

const PreviewDrawing& previewDrawing()
{
    // A failed load throws out of the initialisation, so the next call tries again.
    static const PreviewDrawing& drawing = *static_cast<const PreviewDrawing*>(
        loadDrawingModule("zaro-session-preview-drawing.so", "zaro_preview_drawing", "The preview cannot be drawn"));
    return drawing;
}

}  // namespace zaro
