// zaro-draw-thumbnails FOLDER: the mark thumbnails at the sides file managers ask for, drawn and
// encoded as the thumbnailer itself would draw them, for the thumbnailer to hand out unchanged.
// The build runs it with ZARO_SESSION_RESOURCES naming the folder of the mark.
#include <cstdio>
#include <exception>
#include <filesystem>
#include <string>
#include <vector>

#include <fcntl.h>

#include "base/posix_file.hpp"
#include "host/service.hpp"
#include "host/canvas_rasteriser.hpp"
#include "thumbnail/drawn_ahead.hpp"
#include "thumbnail/thumbnail_drawing.hpp"

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: zaro-draw-thumbnails FOLDER\n");
        return 2;
    }
    try {
        for (const int side : zaro::ZaroSessionIcon::thumbnailSidesDrawnAhead) {
            const zaro::Size size{static_cast<double>(side), static_cast<double>(side)};
            // The reply the thumbnailer makes, but for the bytes made ahead: this is what makes them.
            const zaro::ThumbnailReply reply(size, [size] { return zaro::drawThumbnail(size); });
            const std::vector<unsigned char> png = zaro::thumbnailPng(reply, 1, zaro::rasteriseOnCanvas);
            const std::filesystem::path path =
                std::filesystem::path(argv[1]) / ("zaro-thumbnail-" + std::to_string(side) + ".png");
            const zaro::posix::FileDescriptor file(::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644));
            if (!file) zaro::posix::throwSystemError();
            zaro::posix::writeAll(file.get(), png);
        }
    } catch (const std::exception& error) {
        std::fprintf(stderr, "zaro-draw-thumbnails: %s\n", error.what());
        return 1;
    }
    return 0;
}
