#include "image_scaling.hpp"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <vector>

namespace zaro {

// Cairo's image sources are native-endian 0xAARRGGBB words with premultiplied alpha. Each block of
// stepX x stepY pixels becomes one pixel, their average: the box filter that cairo applies when it
// shrinks an image, paid here once while copying instead of on the whole image.
SurfaceHandle premultipliedSurface(const ImageView& image, int stepX, int stepY)
{
    const int width = (image.width + stepX - 1) / stepX;
    const int height = (image.height + stepY - 1) / stepY;
    SurfaceHandle surface(cairo_image_surface_create(CAIRO_FORMAT_ARGB32, width, height));
    if (cairo_surface_status(surface.get()) != CAIRO_STATUS_SUCCESS) return surface;
    unsigned char* data = cairo_image_surface_get_data(surface.get());
    const auto stride = static_cast<std::size_t>(cairo_image_surface_get_stride(surface.get()));
    const auto sourceWidth = static_cast<std::size_t>(image.width);
    const auto blockWidth = static_cast<std::size_t>(stepX);
    if (stepX == 1 && stepY == 1) {
        for (std::size_t y = 0; y < static_cast<std::size_t>(height); ++y) {
            const unsigned char* in = image.rgba + y * sourceWidth * 4;
            auto* out = reinterpret_cast<std::uint32_t*>(data + y * stride);
            for (std::size_t x = 0; x < sourceWidth; ++x, in += 4) {
                const std::uint32_t a = in[3];
                const auto premultiplied = [a](std::uint32_t c) { return (c * a + 127) / 255; };
                out[x] = a << 24 | premultiplied(in[0]) << 16 | premultiplied(in[1]) << 8 | premultiplied(in[2]);
            }
        }
        cairo_surface_mark_dirty(surface.get());
        return surface;
    }
    // Per output column: the sums of red, green and blue times alpha, and of alpha.
    std::vector<std::uint64_t> sums(static_cast<std::size_t>(width) * 4);
    for (int row = 0; row < height; ++row) {
        std::fill(sums.begin(), sums.end(), 0);
        const int firstY = row * stepY;
        const int lastY = std::min(image.height, firstY + stepY);
        for (int y = firstY; y < lastY; ++y) {
            const unsigned char* in = image.rgba + static_cast<std::size_t>(y) * sourceWidth * 4;
            const unsigned char* const end = in + sourceWidth * 4;
            for (std::uint64_t* sum = sums.data(); in < end; sum += 4) {
                const unsigned char* const blockEnd = std::min(end, in + blockWidth * 4);
                std::uint32_t r = 0, g = 0, b = 0, a = 0;  // at most stepX * 65025 each
                for (; in < blockEnd; in += 4) {
                    r += in[0] * in[3];
                    g += in[1] * in[3];
                    b += in[2] * in[3];
                    a += in[3];
                }
                sum[0] += r;
                sum[1] += g;
                sum[2] += b;
                sum[3] += a;
            }
        }
        unsigned char* out = data + static_cast<std::size_t>(row) * stride;
        const auto rows = static_cast<std::uint64_t>(lastY - firstY);
        for (std::size_t column = 0; column < static_cast<std::size_t>(width); ++column, out += 4) {
            const std::uint64_t* sum = &sums[column * 4];
            const std::uint64_t columns = std::min<std::uint64_t>(blockWidth, sourceWidth - column * blockWidth);
            const std::uint64_t n = rows * columns;
            const auto channel = [n](std::uint64_t total) { return (total + 255 * n / 2) / (255 * n); };
            const auto word = static_cast<std::uint32_t>((sum[3] + n / 2) / n << 24 | channel(sum[0]) << 16
                                                         | channel(sum[1]) << 8 | channel(sum[2]));
            std::memcpy(out, &word, sizeof word);
        }
    }
    cairo_surface_mark_dirty(surface.get());
    return surface;
}

int reductionStep(double deviceX, double deviceY, int imageSide)
{
    const double pixelSize = std::hypot(deviceX, deviceY);
    if (!(pixelSize > 0) || pixelSize >= 0.5) return 1;
    return static_cast<int>(std::clamp(std::floor(1 / pixelSize), 1.0, static_cast<double>(imageSide)));
}

}  // namespace zaro
