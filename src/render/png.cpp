#include "png.hpp"

#include <cstdlib>
#include <cstring>
#include <memory>

#include <spng.h>

#include "render_error.hpp"

namespace zaro::png {

namespace {

struct SpngFree {
    void operator()(spng_ctx* ctx) const { spng_ctx_free(ctx); }
};
using SpngPtr = std::unique_ptr<spng_ctx, SpngFree>;

struct Free {
    void operator()(void* p) const { std::free(p); }
};

std::uint32_t argbAt(const PixelView& pixels, int x, int y)
{
    std::uint32_t word;
    std::memcpy(&word, pixels.data + static_cast<std::size_t>(y) * pixels.stride + static_cast<std::size_t>(x) * 4,
                sizeof word);
    return word;
}

bool isOpaque(const PixelView& pixels)
{
    for (int y = 0; y < pixels.height; ++y) {
        for (int x = 0; x < pixels.width; ++x) {
            if ((argbAt(pixels, x, y) >> 24) != 0xFF) return false;
        }
    }
    return true;
}

unsigned char unpremultiplied(std::uint32_t component, std::uint32_t alpha)
{
    return static_cast<unsigned char>(alpha == 0 ? 0 : (component * 255 + alpha / 2) / alpha);
}

void fillRow(const PixelView& pixels, int y, bool withAlpha, std::vector<unsigned char>& row)
{
    std::size_t i = 0;
    for (int x = 0; x < pixels.width; ++x) {
        const std::uint32_t argb = argbAt(pixels, x, y);
        const std::uint32_t a = argb >> 24;
        const std::uint32_t r = (argb >> 16) & 0xFF;
        const std::uint32_t g = (argb >> 8) & 0xFF;
        const std::uint32_t b = argb & 0xFF;
        if (withAlpha) {
            row[i++] = unpremultiplied(r, a);
            row[i++] = unpremultiplied(g, a);
            row[i++] = unpremultiplied(b, a);
            row[i++] = static_cast<unsigned char>(a);
        } else {
            row[i++] = static_cast<unsigned char>(r);
            row[i++] = static_cast<unsigned char>(g);
            row[i++] = static_cast<unsigned char>(b);
        }
    }
}

[[noreturn]] void fail() { throw RenderError(RenderError::Code::png); }

void check(int status)
{
    if (status != 0) fail();
}

}  // namespace

std::vector<unsigned char> encode(const PixelView& pixels, const EncodeOptions& options)
{
    if (!pixels.data || pixels.width <= 0 || pixels.height <= 0) fail();
    const bool withAlpha = !isOpaque(pixels);
    const std::size_t channels = withAlpha ? 4 : 3;

    SpngPtr ctx(spng_ctx_new(SPNG_CTX_ENCODER));
    if (!ctx) fail();
    check(spng_set_option(ctx.get(), SPNG_ENCODE_TO_BUFFER, 1));
    check(spng_set_option(ctx.get(), SPNG_IMG_COMPRESSION_LEVEL, options.compressionLevel));
    check(spng_set_option(ctx.get(), SPNG_FILTER_CHOICE,
                          options.adaptiveFilters ? SPNG_FILTER_CHOICE_ALL : SPNG_DISABLE_FILTERING));
    spng_ihdr ihdr{};
    ihdr.width = static_cast<std::uint32_t>(pixels.width);
    ihdr.height = static_cast<std::uint32_t>(pixels.height);
    ihdr.bit_depth = 8;
    ihdr.color_type = withAlpha ? SPNG_COLOR_TYPE_TRUECOLOR_ALPHA : SPNG_COLOR_TYPE_TRUECOLOR;
    check(spng_set_ihdr(ctx.get(), &ihdr));
    check(spng_encode_image(ctx.get(), nullptr, 0, SPNG_FMT_PNG, SPNG_ENCODE_PROGRESSIVE | SPNG_ENCODE_FINALIZE));

    std::vector<unsigned char> row(static_cast<std::size_t>(pixels.width) * channels);
    for (int y = 0; y < pixels.height; ++y) {
        fillRow(pixels, y, withAlpha, row);
        const int status = spng_encode_row(ctx.get(), row.data(), row.size());
        if (status != 0 && !(status == SPNG_EOI && y == pixels.height - 1)) fail();
    }

    std::size_t size = 0;
    int error = 0;
    std::unique_ptr<void, Free> buffer(spng_get_png_buffer(ctx.get(), &size, &error));
    if (!buffer || error != 0) fail();
    const auto* bytes = static_cast<const unsigned char*>(buffer.get());
    return std::vector<unsigned char>(bytes, bytes + size);
}

std::optional<Image> decode(std::span<const unsigned char> bytes, std::uint64_t maxPixels)
{
    SpngPtr ctx(spng_ctx_new(0));
    if (!ctx) return std::nullopt;
    if (spng_set_png_buffer(ctx.get(), bytes.data(), bytes.size()) != 0) return std::nullopt;
    spng_set_chunk_limits(ctx.get(), 1u << 24, 1u << 24);
    spng_ihdr ihdr{};
    if (spng_get_ihdr(ctx.get(), &ihdr) != 0) return std::nullopt;
    if (std::uint64_t{ihdr.width} * ihdr.height > maxPixels) return std::nullopt;
    std::size_t size = 0;
    if (spng_decoded_image_size(ctx.get(), SPNG_FMT_RGBA8, &size) != 0) return std::nullopt;
    Image image{ihdr.width, ihdr.height, std::vector<unsigned char>(size)};
    if (spng_decode_image(ctx.get(), image.rgba.data(), size, SPNG_FMT_RGBA8, SPNG_DECODE_TRNS) != 0) {
        return std::nullopt;
    }
    return image;
}

}  // namespace zaro::png
