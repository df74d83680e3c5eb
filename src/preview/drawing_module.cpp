// The preview program's drawing module: the renderer and the libraries under it, loaded by the
// program once it has started the child that reads the session. Its one entry point hands out the
// drawing; nothing else of it is seen from outside (see zaro_program_with_drawing_module in src/host/CMakeLists.txt).
#include <cstring>

#include "preview/preview_drawing.hpp"

extern "C" __attribute__((visibility("default"))) const void* zaro_preview_drawing(const char* version)
{
    const zaro::PreviewDrawing& drawing = zaro::linkedPreviewDrawing();
    return std::strcmp(version, drawing.version) == 0 ? &drawing : nullptr;
}
