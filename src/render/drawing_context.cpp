#include "render/drawing_context.hpp"

namespace zaro {

std::unique_ptr<DrawingContext> DrawingContext::regionContext(Rect) { return nullptr; }

}  // namespace zaro
