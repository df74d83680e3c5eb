#include "host/graphics_context.hpp"

namespace zaro {

namespace {

thread_local GraphicsContext* currentContext = nullptr;

}  // namespace

GraphicsContext* GraphicsContext::current() { return currentContext; }

void GraphicsContext::setCurrent(GraphicsContext* context) { currentContext = context; }

}  // namespace zaro
