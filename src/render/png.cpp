#include "render/png.hpp"

#include <cstdlib>
#include <cstring>
#include <memory>
#include <optional>

#include <spng.h>
#include <zlib.h>

#include "base/background.hpp"
#include "base/c_handle.hpp"
#include "render/render_error.hpp"

namespace zaro::png {

namespace {

using SpngHandle = CHandle<spng_ctx, spng_ctx_free>;

std::uint32_t argbAt(const PixelView& pixels, int x, int y)
{
    std::uint32_t word;
    std::memcpy(&word, pixels.data + static_cast<std::size_t>(y) * pixels.stride + static_cast<std::size_t>(x) * 4,
                sizeof word);
    return word;
}

// A row at a time, the alpha bytes ANDed together without a branch, which the compiler vectorises.
bool isOpaque(const PixelView& pixels)
{
    const auto width = static_cast<std::size_t>(pixels.width);
    for (int y = 0; y < pixels.height; ++y) {
        const unsigned char* row = pixels.data + static_cast<std::size_t>(y) * pixels.stride;
        std::uint32_t all = 0xFF000000;
        for (std::size_t x = 0; x < width; ++x) {
            std::uint32_t word;
            std::memcpy(&word, row + x * 4, sizeof word);
            all &= word;
        }
        if ((all >> 24) != 0xFF) return false;
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

void appendBigEndian(std::vector<unsigned char>& out, std::uint32_t value)
{
    for (int shift = 24; shift >= 0; shift -= 8) out.push_back(static_cast<unsigned char>(value >> shift));
}

void appendChunk(std::vector<unsigned char>& out, const char (&type)[5], std::span<const unsigned char> data)
{
    appendBigEndian(out, static_cast<std::uint32_t>(data.size()));
    const std::size_t start = out.size();
    out.insert(out.end(), type, type + 4);
    out.insert(out.end(), data.begin(), data.end());
    appendBigEndian(out, static_cast<std::uint32_t>(crc32(0, out.data() + start, static_cast<uInt>(out.size() - start))));
}

// One stretch of rows, deflated raw as a piece of the image's zlib stream: the last piece carries the
// final block; a piece before another ends on a byte boundary, so the pieces join by concatenation
// and their checksums, taken here once, combine.
struct Piece {
    std::vector<unsigned char> bytes;
    uLong adler = 1;
    std::size_t rawSize = 0;
    bool ok = false;
};

// A raw deflate stream, ended on every way out. A stream that hands on to the next piece never
// finishes, so zlib calls its end premature; that is expected here.
class Deflater {
public:
    explicit Deflater(int level) { ok_ = deflateInit2(&stream_, level, Z_DEFLATED, -15, 8, Z_DEFAULT_STRATEGY) == Z_OK; }
    Deflater(const Deflater&) = delete;
    Deflater& operator=(const Deflater&) = delete;
    ~Deflater()
    {
        if (ok_) deflateEnd(&stream_);
    }

    explicit operator bool() const { return ok_; }
    z_stream& operator*() { return stream_; }

private:
    z_stream stream_{};
    bool ok_ = false;
};

Piece deflateRows(const PixelView& pixels, int first, int last, bool withAlpha, int level, bool isLast)
{
    Piece piece;
    Deflater deflater(level);
    if (!deflater) return piece;
    z_stream& z = *deflater;
    const std::size_t rowBytes = static_cast<std::size_t>(pixels.width) * (withAlpha ? 4 : 3) + 1;
    piece.rawSize = rowBytes * static_cast<std::size_t>(last - first);
    // Room for the worst case, left uninitialised: a card deflates to a twentieth of it, and only the
    // pages written are ever touched.
    const std::size_t room = deflateBound(&z, static_cast<uLong>(piece.rawSize)) + 64;
    const std::unique_ptr<unsigned char[]> out(new unsigned char[room]);
    z.next_out = out.get();
    z.avail_out = static_cast<uInt>(room);
    std::vector<unsigned char> row(rowBytes, 0);  // filter type 0 leads every row
    std::vector<unsigned char> samples(rowBytes - 1);
    bool ok = true;
    for (int y = first; y < last && ok; ++y) {
        fillRow(pixels, y, withAlpha, samples);
        std::memcpy(row.data() + 1, samples.data(), samples.size());
        piece.adler = adler32(piece.adler, row.data(), static_cast<uInt>(row.size()));
        z.next_in = row.data();
        z.avail_in = static_cast<uInt>(row.size());
        const int flush = y + 1 < last ? Z_NO_FLUSH : (isLast ? Z_FINISH : Z_FULL_FLUSH);
        const int status = deflate(&z, flush);
        ok = z.avail_in == 0 && (status == Z_OK || status == Z_STREAM_END) && z.avail_out > 0;
    }
    piece.bytes.assign(out.get(), out.get() + (room - z.avail_out));
    piece.ok = ok;
    return piece;
}

// Without row filters the rows of an image compress independently enough to split the work: the
// top and bottom halves are deflated on two threads and joined.
std::vector<unsigned char> encodeUnfiltered(const PixelView& pixels, bool withAlpha, int level)
{
    constexpr std::size_t splitAbovePixels = 1u << 20;
    const bool split = static_cast<std::size_t>(pixels.width) * static_cast<std::size_t>(pixels.height) > splitAbovePixels;
    const int middle = split ? pixels.height / 2 : pixels.height;
    Piece bottom;
    // Joined on every way out, an exception from the top half included; without a thread to be had,
    // the halves are deflated one after the other.
    std::optional<Background> worker;
    if (split) worker.emplace([&] { bottom = deflateRows(pixels, middle, pixels.height, withAlpha, level, true); });
    Piece top = deflateRows(pixels, 0, middle, withAlpha, level, !split);
    if (worker) worker->wait();
    if (!top.ok || (split && !bottom.ok)) fail();

    // The zlib header: deflate with a 32 KiB window, the level's class, and the check bits that make
    // the pair a multiple of 31.
    const unsigned levelClass = level <= 1 ? 0 : level <= 5 ? 1 : level == 6 || level < 0 ? 2 : 3;
    const unsigned flags = levelClass << 6;
    std::vector<unsigned char> stream = {0x78, static_cast<unsigned char>(flags + (31 - (0x7800 + flags) % 31) % 31)};
    stream.reserve(2 + top.bytes.size() + bottom.bytes.size() + 4);
    stream.insert(stream.end(), top.bytes.begin(), top.bytes.end());
    uLong adler = top.adler;
    if (split) {
        stream.insert(stream.end(), bottom.bytes.begin(), bottom.bytes.end());
        adler = adler32_combine(top.adler, bottom.adler, static_cast<z_off_t>(bottom.rawSize));
    }
    appendBigEndian(stream, static_cast<std::uint32_t>(adler));
    std::vector<unsigned char> png = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    png.reserve(stream.size() + 64);
    std::vector<unsigned char> header;
    appendBigEndian(header, static_cast<std::uint32_t>(pixels.width));
    appendBigEndian(header, static_cast<std::uint32_t>(pixels.height));
    header.insert(header.end(), {8, static_cast<unsigned char>(withAlpha ? 6 : 2), 0, 0, 0});
    appendChunk(png, "IHDR", header);
    appendChunk(png, "IDAT", stream);
    appendChunk(png, "IEND", {});
    return png;
}

}  // namespace

std::vector<unsigned char> encode(const PixelView& pixels, int compressionLevel)
{
    if (!pixels.data || pixels.width <= 0 || pixels.height <= 0) fail();
    return encodeUnfiltered(pixels, !isOpaque(pixels), compressionLevel);
}

std::optional<Image> decode(std::span<const unsigned char> bytes, std::uint64_t maxPixels)
{
    const SpngHandle ctx(spng_ctx_new(0));
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
