// The PNG encoder: what libspng, cairo's libpng reader and zlib make of its bytes, for pictures like
// the cards and for the pictures that are hardest on it.
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include <cairo/cairo.h>
#include <gtest/gtest.h>
#include <zlib.h>

#include "render/cairo_canvas.hpp"
#include "render/png.hpp"
#include "render/preview_card.hpp"
#include "render/render_error.hpp"
#include "support/samples.hpp"

namespace zaro {
namespace {

// Pixels as the canvas holds them: 0xAARRGGBB words, premultiplied, `stride` bytes a row.
struct Pixels {
    int width = 0;
    int height = 0;
    std::size_t stride = 0;
    std::vector<unsigned char> bytes;

    Pixels(int w, int h, std::size_t padding = 0) : width(w), height(h), stride(std::size_t(w) * 4 + padding)
    {
        bytes.assign(stride * std::size_t(h), 0xA5);  // what lies past a row's end is not the picture's
    }
    std::uint32_t at(int x, int y) const
    {
        std::uint32_t word;
        std::memcpy(&word, &bytes[std::size_t(y) * stride + std::size_t(x) * 4], 4);
        return word;
    }
    void set(int x, int y, std::uint32_t word) { std::memcpy(&bytes[std::size_t(y) * stride + std::size_t(x) * 4], &word, 4); }
    PixelView view() const { return {bytes.data(), width, height, stride}; }
};

std::uint32_t argb(unsigned a, unsigned r, unsigned g, unsigned b) { return a << 24 | r << 16 | g << 8 | b; }

// A premultiplied word as straight RGBA, rounded as the encoder must: the component times 255 over
// alpha, to the nearest.
std::vector<unsigned char> straight(std::uint32_t word)
{
    const unsigned a = word >> 24;
    const auto channel = [&](unsigned c) { return a == 0 ? 0 : (c * 255 + a / 2) / a; };
    return {static_cast<unsigned char>(channel(word >> 16 & 0xFF)), static_cast<unsigned char>(channel(word >> 8 & 0xFF)),
            static_cast<unsigned char>(channel(word & 0xFF)), static_cast<unsigned char>(a)};
}

// A random number series that is the same on every run.
struct Noise {
    std::uint64_t state = 0x9E3779B97F4A7C15u;
    std::uint32_t next()
    {
        state ^= state << 13;
        state ^= state >> 7;
        state ^= state << 17;
        return static_cast<std::uint32_t>(state >> 16);
    }
};

// The IDAT chunks' data joined and inflated by zlib (which checks the stream's checksum), or no value
// when zlib refuses the stream.
std::optional<std::vector<unsigned char>> inflated(const std::vector<unsigned char>& png)
{
    std::vector<unsigned char> stream;
    for (std::size_t at = 8; at + 12 <= png.size();) {
        const std::size_t length = std::size_t(png[at]) << 24 | std::size_t(png[at + 1]) << 16 | std::size_t(png[at + 2]) << 8 | png[at + 3];
        if (std::memcmp(&png[at + 4], "IDAT", 4) == 0) stream.insert(stream.end(), &png[at + 8], &png[at + 8] + length);
        at += 12 + length;
    }
    std::vector<unsigned char> rows;
    std::vector<unsigned char> out(1 << 16);
    z_stream z{};
    if (inflateInit(&z) != Z_OK) return std::nullopt;
    z.next_in = stream.data();
    z.avail_in = static_cast<uInt>(stream.size());
    int status = Z_OK;
    while (status == Z_OK) {
        z.next_out = out.data();
        z.avail_out = static_cast<uInt>(out.size());
        status = inflate(&z, Z_NO_FLUSH);
        rows.insert(rows.end(), out.data(), out.data() + (out.size() - z.avail_out));
    }
    inflateEnd(&z);
    if (status != Z_STREAM_END || z.avail_in != 0) return std::nullopt;
    return rows;
}

// Encodes the pixels and checks the bytes three ways: libspng gives back every pixel, straight; zlib
// inflates the stream to exactly the rows, each unfiltered; the colour type is RGB exactly when every
// pixel is opaque. Returns the bytes.
std::vector<unsigned char> expectRoundTrip(const Pixels& pixels)
{
    const std::vector<unsigned char> png = png::encode(pixels.view());
    bool opaque = true;
    for (int y = 0; y < pixels.height; ++y) {
        for (int x = 0; x < pixels.width; ++x) opaque = opaque && pixels.at(x, y) >> 24 == 255;
    }
    EXPECT_EQ(png.at(25), opaque ? 2 : 6) << pixels.width << " x " << pixels.height;
    // Every row unfiltered, so that a decoder has nothing to undo.
    const std::size_t rowBytes = std::size_t(pixels.width) * (opaque ? 3 : 4) + 1;
    const std::optional<std::vector<unsigned char>> rows = inflated(png);
    EXPECT_TRUE(rows && rows->size() == std::size_t(pixels.height) * rowBytes);
    for (std::size_t at = 0; rows && at < rows->size(); at += rowBytes) {
        if ((*rows)[at] != 0) {
            ADD_FAILURE() << "a filtered row in " << pixels.width << " x " << pixels.height;
            break;
        }
    }
    const std::optional<png::Image> image = png::decode(png);
    if (!image) {
        ADD_FAILURE() << "no image decoded from " << pixels.width << " x " << pixels.height;
        return png;
    }
    EXPECT_EQ(image->width, std::uint32_t(pixels.width));
    EXPECT_EQ(image->height, std::uint32_t(pixels.height));
    int wrong = 0;
    for (int y = 0; y < pixels.height && wrong < 5; ++y) {
        for (int x = 0; x < pixels.width && wrong < 5; ++x) {
            const unsigned char* got = &image->rgba[(std::size_t(y) * pixels.width + x) * 4];
            if (std::vector<unsigned char>(got, got + 4) != straight(pixels.at(x, y))) {
                ADD_FAILURE() << "pixel " << x << ", " << y << " of " << pixels.width << " x " << pixels.height;
                ++wrong;
            }
        }
    }
    return png;
}

// cairo's reader (libpng) gives back the same words for an opaque picture.
void expectCairoReadsTheSame(const Pixels& pixels, const std::vector<unsigned char>& png)
{
    struct Reader {
        const std::vector<unsigned char>& bytes;
        std::size_t at = 0;
    } reader{png};
    cairo_surface_t* surface = cairo_image_surface_create_from_png_stream(
        [](void* closure, unsigned char* data, unsigned int length) {
            auto& r = *static_cast<Reader*>(closure);
            if (r.bytes.size() - r.at < length) return CAIRO_STATUS_READ_ERROR;
            std::memcpy(data, r.bytes.data() + r.at, length);
            r.at += length;
            return CAIRO_STATUS_SUCCESS;
        },
        &reader);
    ASSERT_EQ(cairo_surface_status(surface), CAIRO_STATUS_SUCCESS);
    cairo_surface_flush(surface);
    const unsigned char* data = cairo_image_surface_get_data(surface);
    const auto stride = static_cast<std::size_t>(cairo_image_surface_get_stride(surface));
    bool same = cairo_image_surface_get_width(surface) == pixels.width && cairo_image_surface_get_height(surface) == pixels.height;
    for (int y = 0; y < pixels.height && same; ++y) same = std::memcmp(data + y * stride, &pixels.bytes[y * pixels.stride], std::size_t(pixels.width) * 4) == 0;
    cairo_surface_destroy(surface);
    EXPECT_TRUE(same);
}

TEST(PngEncoding, GivesBackEveryPixelOfACardAndTheSameBytesEachTime)
{
    CairoCanvas canvas(1680, 1440);
    canvas.context().scale(2, 2);
    ZaroSessionPreviewCard::draw(support::sampleSession({support::lap(1, 91.5, {30.5, 29.5}), support::lap(2, 90.25)},
                                                        {{52, 6.5}, {52.01, 6.52}, {52.005, 6.53}, {52, 6.5}}),
                                 canvas.context(), ZaroSessionPreviewCard::defaultSize, false);
    const PixelView view = canvas.pixels();
    Pixels pixels(view.width, view.height);
    for (int y = 0; y < view.height; ++y) std::memcpy(&pixels.bytes[y * pixels.stride], view.data + y * view.stride, std::size_t(view.width) * 4);
    const std::vector<unsigned char> png = expectRoundTrip(pixels);
    expectCairoReadsTheSame(pixels, png);
    EXPECT_EQ(png::encode(view), png);          // the canvas's own stride, and a second time
    EXPECT_LT(png.size(), 400'000u);            // a card is mostly flat colour: about 170 KB
}

TEST(PngEncoding, GivesBackNoiseAndEveryPartialAlphaWithinTheStoredSize)
{
    Noise noise;
    Pixels opaque(701, 523);  // more than 1 MiB stored: two IDAT chunks
    Pixels translucent(257, 300);
    for (int y = 0; y < opaque.height; ++y) {
        for (int x = 0; x < opaque.width; ++x) opaque.set(x, y, noise.next() | 0xFF000000);
    }
    // Every alpha down the rows, every component up to it across: the whole of premultiplied RGBA.
    for (int y = 0; y < translucent.height; ++y) {
        for (int x = 0; x < translucent.width; ++x) {
            const unsigned a = std::min(y, 255);
            translucent.set(x, y, y < 256 ? argb(a, std::min<unsigned>(x, a), a - std::min<unsigned>(x, a), x * 7 % (a + 1))
                                          : noise.next());
        }
    }
    for (const Pixels* pixels : {&opaque, &translucent}) {
        const std::vector<unsigned char> png = expectRoundTrip(*pixels);
        // Noise is stored rather than coded: the bytes, 5 more per 64 KiB and the chunks.
        const std::size_t raw = std::size_t(pixels->height) * (std::size_t(pixels->width) * (png.at(25) == 2 ? 3 : 4) + 1);
        EXPECT_LE(png.size(), raw + raw / 8192 + 128) << pixels->width;
    }
    expectCairoReadsTheSame(opaque, expectRoundTrip(opaque));
}

TEST(PngEncoding, GivesBackPicturesOfAnySizeIncludingOnesSplitInTwoPieces)
{
    // Sizes around the 16-byte vectors, one pixel, and images the encoder cuts in two: tall and
    // narrow, and wide with rows longer than a block.
    const std::pair<int, int> sizes[] = {{1, 1}, {1, 7}, {2, 3}, {5, 4}, {15, 3}, {16, 2}, {17, 5}, {31, 9}, {33, 33},
                                         {63, 2}, {65, 17}, {7, 40'000}, {30'000, 9}};
    Noise noise;
    for (const auto& [width, height] : sizes) {
        for (const bool alpha : {false, true}) {
            Pixels pixels(width, height, 12);
            // Flat bands with a speck here and there, a seam of noise in the middle rows.
            for (int y = 0; y < height; ++y) {
                for (int x = 0; x < width; ++x) {
                    std::uint32_t word = argb(255, 20 + y / 50 % 3 * 90, 30, 60);
                    if (noise.next() % 97 == 0 || y == height / 2) word = noise.next() | 0xFF000000;
                    if (alpha && (x + y) % 5 == 0) word = argb(128, 100, 20, 128);
                    pixels.set(x, y, word);
                }
            }
            expectRoundTrip(pixels);
        }
    }
}

TEST(PngEncoding, IsRgbaWhenAPixelIsNotOpaqueHoweverLateItComes)
{
    // A flat picture cut in pieces; one pixel half transparent in the last row, in the first row of
    // the second piece, or in a row like the one above it.
    for (const int late : {599, 300, 451}) {
        Pixels pixels(1024, 600);
        for (int y = 0; y < pixels.height; ++y) {
            for (int x = 0; x < pixels.width; ++x) pixels.set(x, y, argb(255, 40, 50, y < 450 ? 60 : 61));
        }
        pixels.set(7, late, argb(128, 20, 25, 30));
        if (late == 451) pixels.set(7, 450, argb(128, 20, 25, 30));
        expectRoundTrip(pixels);
    }
}

TEST(PngEncoding, GivesTheSameBytesWhenTheRowsAboveAreHandedOverWhileTheRestIsDrawn)
{
    Noise noise;
    for (const bool translucentLate : {false, true}) {
        Pixels pixels(1024, 600);  // cut in two pieces
        const auto draw = [&](int from, int to) {
            for (int y = from; y < to; ++y) {
                for (int x = 0; x < pixels.width; ++x) {
                    pixels.set(x, y, noise.next() % 7 == 0 ? noise.next() | 0xFF000000 : argb(255, 40, 50, y / 30));
                }
            }
        };
        draw(0, 300);
        const PixelView view{pixels.bytes.data(), pixels.width, pixels.height, pixels.stride};
        png::Encoder encoder(view);
        encoder.rowsFinal(0);
        encoder.rowsFinal(300);  // the first piece, which reads no row below it
        encoder.rowsFinal(10);
        draw(300, 600);
        if (translucentLate) pixels.set(3, 599, argb(128, 20, 25, 30));
        const std::vector<unsigned char> bytes = encoder.finish();
        EXPECT_EQ(bytes, png::encode(view)) << translucentLate;
        EXPECT_EQ(bytes.at(25), translucentLate ? 6 : 2);
    }
    // An encoder given up while its other thread waits for rows returns at once.
    Pixels pixels(1024, 600);
    const PixelView view{pixels.bytes.data(), pixels.width, pixels.height, pixels.stride};
    { png::Encoder(view).rowsFinal(300); }
}

TEST(PngEncoding, RefusesPixelsThatAreNotAPicture)
{
    const unsigned char word[4] = {0, 0, 0, 255};
    for (const PixelView view : {PixelView{nullptr, 1, 1, 4}, PixelView{word, 0, 1, 4}, PixelView{word, 1, -1, 4}, PixelView{word, 2, 1, 4}}) {
        EXPECT_THROW(png::encode(view), RenderError);
    }
}

}  // namespace
}  // namespace zaro
