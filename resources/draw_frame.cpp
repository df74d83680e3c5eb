// zaro-draw-frame FILE: the card's frame as the preview draws it, with this machine's fonts and
// libraries, for the preview to lay rather than draw while they stay the same. A machine that cannot
// draw it gets an empty file, which the preview passes over.
#include <cstdio>
#include <exception>
#include <string_view>
#include <vector>

#include <fcntl.h>

#include "base/posix_file.hpp"
#include "render/preview_card.hpp"

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: zaro-draw-frame FILE\n");
        return 2;
    }
    std::vector<unsigned char> frame;
    try {
        frame = zaro::ZaroSessionPreviewCard::frameAhead();
    } catch (const std::exception& error) {
        std::fprintf(stderr, "zaro-draw-frame: no frame drawn ahead, the preview will draw it: %s\n", error.what());
    }
    try {
        const zaro::posix::FileDescriptor file(::open(argv[1], O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644));
        if (!file) zaro::posix::throwSystemError();
        zaro::posix::writeAll(file.get(), frame);
    } catch (const std::exception& error) {
        std::fprintf(stderr, "zaro-draw-frame: %s: %s\n", argv[1], error.what());
        return 1;
    }
    return 0;
}
