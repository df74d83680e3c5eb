#include "render/png.hpp"

#include <algorithm>
#include <array>
#include <atomic>
#include <cstring>
#include <memory>
#include <optional>

#include <spng.h>
#include <zlib.h>

#include "base/background.hpp"
#include "base/c_handle.hpp"
#include "render/render_error.hpp"

#include "adler32.hpp"
#include "deflate_blocks.hpp"
#include "png_rows.hpp"

namespace zaro::png {

namespace {

using SpngHandle = CHandle<spng_ctx, spng_ctx_free>;

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
    appendBigEndian(out, static_cast<std::uint32_t>(crc32_z(0, out.data() + start, out.size() - start)));
}

// What every row of the image shares.
struct Layout {
    const PixelView& pixels;
    std::size_t pixelSize;  // 3 for RGB, 4 for RGBA
    std::size_t rowSize;    // samples, without the filter type

    const unsigned char* argbRow(int y) const { return pixels.data + static_cast<std::size_t>(y) * pixels.stride; }
};

// Rows are deflated in blocks of about this many bytes, each with codes of its own: small enough to
// stay in the processor's cache with its tokens, large enough that its codes' header costs little.
constexpr std::size_t blockBytes = 256 * 1024;

// One stretch of rows, filtered and deflated raw as a piece of the image's zlib stream: the last piece
// carries the final block; a piece before another ends on a byte boundary, so the pieces join by
// concatenation and their checksums, taken here once, combine.
struct Piece {
    std::unique_ptr<unsigned char[]> bytes;
    std::size_t size = 0;
    std::uint32_t adler = 1;
    std::uint64_t rawSize = 0;
};

// What a thread reuses from one piece to the next, uninitialised but for the rows' margins, as a
// card touches a fraction of the pages: the row being filtered and the one above it, in samples;
// the block's filtered rows, after the end of the block before it; the block's tokens; and where
// the block's rows are known to be zeros.
struct Scratch {
    explicit Scratch(const Layout& layout)
        : rowRoom(rowMargin + layout.rowSize + rowMargin), rows(2 * rowRoom, 0),
          block(std::make_unique_for_overwrite<unsigned char[]>(DeflateBlocks::margin + largestBlock(layout) + DeflateBlocks::margin)),
          tokens(std::make_unique_for_overwrite<std::uint16_t[]>(largestBlock(layout)))
    {
    }
    static std::size_t largestBlock(const Layout& layout) { return blockBytes + layout.rowSize + 1; }

    std::size_t rowRoom;
    std::vector<unsigned char> rows;
    std::unique_ptr<unsigned char[]> block;
    std::unique_ptr<std::uint16_t[]> tokens;
    std::vector<DeflateBlocks::Zeros> zeros;  // the block's stretches of zeros after Up
};

// An image is first encoded as though opaque; a piece that meets a pixel that is not says so in
// `translucent` and gives up, as does the other piece when it sees that, and the image is encoded
// again with alpha. `translucent` is null for that second time.
Piece encodeRows(const Layout& layout, int first, int last, bool isLast, std::atomic<bool>* translucent, Scratch& scratch)
{
    Piece piece;
    const std::size_t filteredRow = layout.rowSize + 1;
    const auto rows = static_cast<std::size_t>(last - first);
    piece.rawSize = std::uint64_t{filteredRow} * rows;
    // Room for the worst case, left uninitialised: a card deflates to a fortieth of it, and only the
    // pages written are ever touched.
    piece.bytes = std::make_unique_for_overwrite<unsigned char[]>(DeflateBlocks::bound(piece.rawSize, rows));
    DeflateBlocks deflate(piece.bytes.get(), layout.pixelSize, scratch.tokens.get());

    unsigned char* above = scratch.rows.data() + rowMargin;
    unsigned char* row = above + scratch.rowRoom;
    const auto width = static_cast<std::size_t>(layout.pixels.width);
    const bool withAlpha = layout.pixelSize == 4;
    if (first > 0) {
        convertRow(layout.argbRow(first - 1), width, withAlpha, above);
    } else {
        std::fill_n(above, layout.rowSize, 0);
    }
    unsigned char* const block = scratch.block.get() + DeflateBlocks::margin;
    scratch.zeros.clear();  // a piece given up on may have left some
    std::size_t filled = 0;
    for (int y = first; y < last; ++y) {
        unsigned char* const filtered = block + filled;
        const unsigned char* const argb = layout.argbRow(y);
        // Most rows of a card are the row above but for a stretch, or wholly; the rest of such a row
        // costs nothing to filter with Up, so only the stretch is converted and judged.
        const auto [from, to] = y > 0 ? changedPixels(argb, layout.argbRow(y - 1), width) : std::pair{std::size_t{0}, width};
        if (from == to) {
            filtered[0] = up;
            std::memset(filtered + 1, 0, layout.rowSize);
            piece.adler = adler32OfZeros(adler32(piece.adler, {filtered, 1}), layout.rowSize);
            scratch.zeros.push_back({filled + 1, filled + filteredRow});
        } else {
            const std::size_t begin = from * layout.pixelSize;
            const std::size_t end = to * layout.pixelSize;
            // The pixel before the stretch, which Sub and Paeth look at, is the row above's.
            const std::size_t before = std::min(begin, layout.pixelSize);
            std::memcpy(row + begin - before, above + begin - before, before);
            const bool opaque = convertRow(argb + from * 4, to - from, withAlpha, row + begin);
            if (translucent && (!opaque || translucent->load(std::memory_order_relaxed))) {
                translucent->store(true, std::memory_order_relaxed);
                return {};
            }
            Filter filter = chooseFilter(row + begin, above + begin, end - begin, layout.pixelSize);
            if (filter == up) {
                // Zeros but for the stretch; the row above takes the stretch and becomes this row.
                filtered[0] = up;
                std::memset(filtered + 1, 0, begin);
                applyFilter(up, row + begin, above + begin, end - begin, layout.pixelSize, filtered + 1 + begin);
                std::memset(filtered + 1 + end, 0, layout.rowSize - end);
                std::memcpy(above + begin, row + begin, end - begin);
                piece.adler = adler32OfZeros(adler32(piece.adler, {filtered, 1}), begin);
                piece.adler = adler32OfZeros(adler32(piece.adler, {filtered + 1 + begin, end - begin}), layout.rowSize - end);
                scratch.zeros.push_back({filled + 1, filled + 1 + begin});
                scratch.zeros.push_back({filled + 1 + end, filled + filteredRow});
            } else {
                // Another filter is judged on the whole row, the row above's samples filling the rest.
                std::memcpy(row, above, begin);
                std::memcpy(row + end, above + end, layout.rowSize - end);
                filter = chooseFilter(row, above, layout.rowSize, layout.pixelSize);
                filtered[0] = filter;
                applyFilter(filter, row, above, layout.rowSize, layout.pixelSize, filtered + 1);
                std::swap(row, above);
                piece.adler = adler32(piece.adler, {filtered, filteredRow});
            }
        }
        filled += filteredRow;
        if (filled >= blockBytes || y + 1 == last) {
            deflate.add(block, filled, isLast && y + 1 == last, scratch.zeros);
            scratch.zeros.clear();
            std::memmove(block - DeflateBlocks::margin, block + filled - DeflateBlocks::margin, DeflateBlocks::margin);
            filled = 0;
        }
    }
    piece.size = deflate.finish();
    return piece;
}

// The zlib stream written as IDAT chunks of at most 1 MiB, which every decoder's limits allow.
class IdatWriter {
public:
    explicit IdatWriter(std::vector<unsigned char>& png) : png_(png) {}

    void write(const unsigned char* bytes, std::size_t size)
    {
        while (size > 0) {
            if (!open_) {
                chunkStart_ = png_.size();
                png_.insert(png_.end(), {0, 0, 0, 0, 'I', 'D', 'A', 'T'});
                open_ = true;
            }
            const std::size_t take = std::min(size, chunkMost - (png_.size() - chunkStart_ - 8));
            png_.insert(png_.end(), bytes, bytes + take);
            bytes += take;
            size -= take;
            if (png_.size() - chunkStart_ - 8 == chunkMost) close();
        }
    }

    void close()
    {
        if (!open_) return;
        const auto length = static_cast<std::uint32_t>(png_.size() - chunkStart_ - 8);
        for (int i = 0; i < 4; ++i) png_[chunkStart_ + i] = static_cast<unsigned char>(length >> (24 - 8 * i));
        appendBigEndian(png_, static_cast<std::uint32_t>(crc32_z(0, png_.data() + chunkStart_ + 4, length + 4)));
        open_ = false;
    }

    static constexpr std::size_t chunkMost = 1u << 20;

private:
    std::vector<unsigned char>& png_;
    std::size_t chunkStart_ = 0;
    bool open_ = false;
};

}  // namespace

std::vector<unsigned char> encode(const PixelView& pixels)
{
    if (!pixels.data || pixels.width <= 0 || pixels.height <= 0 || pixels.stride < static_cast<std::size_t>(pixels.width) * 4) {
        fail();
    }
    // A large image is cut into pieces of whole rows, which this thread and one other take in turn
    // as each finishes one, so that neither waits long for the other however the picture's detail
    // lies. Without a second thread this one takes them all; the bytes are the same either way.
    constexpr std::size_t pixelsAPiece = 1u << 18;
    constexpr std::size_t piecesMost = 8;
    const std::size_t area = static_cast<std::size_t>(pixels.width) * static_cast<std::size_t>(pixels.height);
    const std::size_t count = std::clamp<std::size_t>(area / pixelsAPiece, 1, std::min<std::size_t>(piecesMost, pixels.height));
    const auto firstRow = [&](std::size_t piece) { return static_cast<int>(pixels.height * piece / count); };
    std::vector<Piece> pieces(count);
    const auto encodePieces = [&](const Layout& layout, std::atomic<bool>* translucent) {
        std::atomic<std::size_t> next = 0;
        const auto work = [&] {
            Scratch scratch(layout);
            for (std::size_t k; (k = next.fetch_add(1)) < count;) {
                pieces[k] = encodeRows(layout, firstRow(k), firstRow(k + 1), k + 1 == count, translucent, scratch);
            }
        };
        // Joined on every way out, an exception from this thread's pieces included.
        std::optional<Background> worker;
        if (count > 1) worker.emplace(work);
        work();
        if (worker) worker->wait();
    };
    const auto width = static_cast<std::size_t>(pixels.width);
    std::atomic<bool> translucent = false;
    encodePieces({pixels, 3, width * 3}, &translucent);
    const bool withAlpha = translucent.load();
    if (withAlpha) encodePieces({pixels, 4, width * 4}, nullptr);
    std::size_t streamSize = 2 + 4;
    for (const Piece& piece : pieces) streamSize += piece.size;
    std::vector<unsigned char> png = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    png.reserve(64 + streamSize + 12 * (streamSize / IdatWriter::chunkMost + 1));
    std::vector<unsigned char> header;
    appendBigEndian(header, static_cast<std::uint32_t>(pixels.width));
    appendBigEndian(header, static_cast<std::uint32_t>(pixels.height));
    header.insert(header.end(), {8, static_cast<unsigned char>(withAlpha ? 6 : 2), 0, 0, 0});
    appendChunk(png, "IHDR", header);
    // The zlib stream: a header for deflate with a 32 KiB window, the pieces, the checksum.
    IdatWriter idat(png);
    const unsigned char zlibHeader[2] = {0x78, 0x01};
    idat.write(zlibHeader, 2);
    std::uint32_t adler = 1;
    for (const Piece& piece : pieces) {
        idat.write(piece.bytes.get(), piece.size);
        adler = adler32Joined(adler, piece.adler, piece.rawSize);
    }
    const unsigned char checksum[4] = {static_cast<unsigned char>(adler >> 24), static_cast<unsigned char>(adler >> 16),
                                       static_cast<unsigned char>(adler >> 8), static_cast<unsigned char>(adler)};
    idat.write(checksum, 4);
    idat.close();
    appendChunk(png, "IEND", {});
    return png;
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
