#include "preview/preview_drawing.hpp"

namespace zaro {

const PreviewDrawing& previewDrawing() { return linkedPreviewDrawing(); }

}  // namespace zaro
