// The thumbnailer's drawing module: the renderer and the libraries under it, loaded by the program
// when a request needs drawing. Its one entry point hands out the drawing; nothing else of it is
// seen from outside (see drawing_module.map).
#include "thumbnail/thumbnail_drawing.hpp"

extern "C" __attribute__((visibility("default"))) const zaro::ThumbnailDrawing* zaro_thumbnail_drawing()
{
    return &zaro::linkedThumbnailDrawing();
}
