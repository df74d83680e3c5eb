// The thumbnailer's drawing module: the renderer and the libraries under it, loaded by the program
// when a request needs drawing. Its one entry point hands out the drawing; nothing else of it is
// seen from outside (see zaro_program_with_drawing_module in src/host/CMakeLists.txt).
#include <cstring>

#include "thumbnail/thumbnail_drawing.hpp"

extern "C" __attribute__((visibility("default"))) const void* zaro_thumbnail_drawing(const char* version)
{
    const zaro::ThumbnailDrawing& drawing = zaro::linkedThumbnailDrawing();
    return std::strcmp(version, drawing.version) == 0 ? &drawing : nullptr;
}
