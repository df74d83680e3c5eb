#include "render/png.hpp"

#include <algorithm>
#include <array>
#include <atomic>
#include <condition_variable>
#include <cstring>
#include <memory>
#include <mutex>
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

// One stretch of rows, deflated raw as a piece of the image's zlib stream: the last piece
// carries the final block; a piece before another ends on a byte boundary, so the pieces join by
// concatenation and their checksums, taken here once, combine.
struct Piece {
    std::unique_ptr<unsigned char[]> bytes;
    std::size_t size = 0;
    std::uint32_t adler = 1;
    std::uint64_t rawSize = 0;
};

// What a thread reuses from one piece to the next, uninitialised but for the rows' margins, as a
// card touches a fraction of the pages: the row being written, which the next one starts from, and
// room to convert a stretch of it; the block's rows, after the end of the block before it; the
// block's tokens; and where the block's rows repeat the row above.
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
    std::vector<DeflateBlocks::Repeats> repeats;
    std::vector<std::pair<std::size_t, std::size_t>> differing;  // a row's stretch's parts that changed
};

// Every row is written without a filter, which leaves a decoder nothing to undo: what a row has as
// the row above had it (most of most rows of a card, and the whole of many) is a match a row back,
// which decoders copy fastest; the rest are runs and bytes.
constexpr unsigned char noFilter = 0;
// The fewest bytes of a stretch as they were in the row above that are written as a repeat of it
// rather than as they come: a match costs about three bytes' bits.
constexpr std::size_t leastRepeat = 8;

// An image is first encoded as though opaque; a piece that meets a pixel that is not says so in
// `translucent` and gives up, as does the other piece when it sees that, and the image is encoded
// again with alpha. `translucent` is null for that second time.
Piece encodeRows(const Layout& layout, int first, int last, bool isLast, std::atomic<bool>* translucent, Scratch& scratch)
{
    Piece piece;
    const std::size_t rowBytes = layout.rowSize + 1;
    const auto rows = static_cast<std::size_t>(last - first);
    piece.rawSize = std::uint64_t{rowBytes} * rows;
    // Room for the worst case, left uninitialised: a card deflates to a fortieth of it, and only the
    // pages written are ever touched.
    piece.bytes = std::make_unique_for_overwrite<unsigned char[]>(DeflateBlocks::bound(piece.rawSize, rows));
    // A row wider than deflate reaches back is written without matches a row back.
    const bool rowBack = rowBytes <= DeflateBlocks::farthest;
    DeflateBlocks deflate(piece.bytes.get(), layout.pixelSize, rowBack ? rowBytes : 0, scratch.tokens.get());

    // The row as written, which starts as the row above, and room to convert a stretch of a row.
    unsigned char* const current = scratch.rows.data() + rowMargin;
    unsigned char* const converted = current + scratch.rowRoom;
    const auto width = static_cast<std::size_t>(layout.pixels.width);
    const bool withAlpha = layout.pixelSize == 4;
    if (first > 0) convertRow(layout.argbRow(first - 1), width, withAlpha, current);
    unsigned char* const block = scratch.block.get() + DeflateBlocks::margin;
    scratch.repeats.clear();  // a piece given up on may have left some
    std::size_t filled = 0;
    for (int y = first; y < last; ++y) {
        unsigned char* const written = block + filled;
        const unsigned char* const argb = layout.argbRow(y);
        // Most rows of a card are the row above but for a stretch, or wholly; only the stretch is
        // converted.
        const auto [from, to] = y > 0 ? changedPixels(argb, layout.argbRow(y - 1), width) : std::pair{std::size_t{0}, width};
        const std::size_t begin = from * layout.pixelSize;
        const std::size_t end = to * layout.pixelSize;
        if (from != to) {
            const bool opaque = convertRow(argb + from * 4, to - from, withAlpha, converted + begin);
            if (translucent && (!opaque || translucent->load(std::memory_order_relaxed))) {
                translucent->store(true, std::memory_order_relaxed);
                return {};
            }
        }
        if (y > 0 && rowBack) {
            // The row's filter type and what lies before its stretch repeat the row above, and so do
            // the stretch's own parts that are as they were (between a line's glyphs, say).
            differingStretches(converted + begin, current + begin, end - begin, leastRepeat, scratch.differing);
            std::size_t repeatFrom = filled;
            for (const auto& [differs, until] : scratch.differing) {
                scratch.repeats.push_back({repeatFrom, filled + 1 + begin + differs});
                repeatFrom = filled + 1 + begin + until;
            }
            scratch.repeats.push_back({repeatFrom, filled + rowBytes});
        }
        std::memcpy(current + begin, converted + begin, end - begin);
        written[0] = noFilter;
        std::memcpy(written + 1, current, layout.rowSize);
        piece.adler = adler32(piece.adler, {written, rowBytes});
        filled += rowBytes;
        if (filled >= blockBytes || y + 1 == last) {
            deflate.add(block, filled, isLast && y + 1 == last, scratch.repeats);
            scratch.repeats.clear();
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

struct Encoder::State {
    explicit State(const PixelView& view) : pixels(view) {}

    // A large image is cut into pieces of whole rows, which this thread and one other take in turn
    // as each finishes one, so that neither waits long for the other however the picture's detail
    // lies. Without a second thread this one takes them all; the bytes are the same either way.
    static constexpr std::size_t pixelsAPiece = 1u << 18;
    static constexpr std::size_t piecesMost = 8;

    std::size_t area() const { return static_cast<std::size_t>(pixels.width) * static_cast<std::size_t>(pixels.height); }
    int firstRow(std::size_t piece) const { return static_cast<int>(pixels.height * piece / count); }
    Layout opaqueLayout() const { return {pixels, 3, static_cast<std::size_t>(pixels.width) * 3}; }

    // The next piece whose rows are final that nobody has taken, taken; `count` when every piece is.
    // Waits for rows to become final, unless `waits` is false.
    std::size_t take(bool waits)
    {
        std::unique_lock lock(mutex);
        if (waits) ready.wait(lock, [&] { return next < final || final == count || stopped; });
        return next < final && !stopped ? next++ : count;
    }

    // Encodes pieces as their rows become final until none is left.
    void work(const Layout& layout, std::atomic<bool>* opaqueOnly, bool waits)
    {
        Scratch scratch(layout);
        for (std::size_t k; (k = take(waits)) < count;) {
            pieces[k] = encodeRows(layout, firstRow(k), firstRow(k + 1), k + 1 == count, opaqueOnly, scratch);
        }
    }

    // The pieces whose rows are above `rows` may be encoded.
    void release(std::size_t pieceCount)
    {
        {
            const std::lock_guard lock(mutex);
            final = std::max(final, pieceCount);
        }
        ready.notify_all();
    }

    const PixelView pixels;
    const std::size_t count = std::clamp<std::size_t>(area() / pixelsAPiece, 1, std::min<std::size_t>(piecesMost, pixels.height));
    std::vector<Piece> pieces = std::vector<Piece>(count);
    std::mutex mutex;
    std::condition_variable ready;
    std::size_t next = 0;   // the first piece nobody has taken
    std::size_t final = 0;  // the pieces whose rows are final
    bool stopped = false;   // the encoder is given up
    std::atomic<bool> translucent = false;
    // The other thread, started with the first final rows and joined by finish(); one that is stopped
    // before (the drawing failed) takes no more pieces.
    std::optional<Background> other;
};

Encoder::Encoder(const PixelView& pixels)
{
    if (!pixels.data || pixels.width <= 0 || pixels.height <= 0 || pixels.stride < static_cast<std::size_t>(pixels.width) * 4) {
        fail();
    }
    state_ = std::make_unique<State>(pixels);
}

Encoder::~Encoder()
{
    if (!state_->other) return;
    {
        const std::lock_guard lock(state_->mutex);
        state_->stopped = true;
    }
    state_->ready.notify_all();
}

void Encoder::rowsFinal(int rows)
{
    State& s = *state_;
    std::size_t final = 0;
    while (final < s.count && s.firstRow(final + 1) <= rows) ++final;
    if (final == 0) return;
    s.release(final);
    if (!s.other && s.count > 1) s.other.emplace([&s] { s.work(s.opaqueLayout(), &s.translucent, true); });
}

std::vector<unsigned char> Encoder::finish()
{
    State& s = *state_;
    s.release(s.count);
    if (!s.other && s.count > 1) s.other.emplace([&s] { s.work(s.opaqueLayout(), &s.translucent, true); });
    // Joined on every way out, an exception from this thread's pieces included.
    s.work(s.opaqueLayout(), &s.translucent, false);
    if (s.other) s.other->wait();
    const bool withAlpha = s.translucent.load();
    if (withAlpha) {
        // Again from the first piece, on two threads as before.
        const Layout layout{s.pixels, 4, static_cast<std::size_t>(s.pixels.width) * 4};
        s.next = 0;
        s.other.reset();
        if (s.count > 1) s.other.emplace([&s, &layout] { s.work(layout, nullptr, false); });
        s.work(layout, nullptr, false);
        if (s.other) s.other->wait();
    }
    std::size_t streamSize = 2 + 4;
    for (const Piece& piece : s.pieces) streamSize += piece.size;
    std::vector<unsigned char> png = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    png.reserve(64 + streamSize + 12 * (streamSize / IdatWriter::chunkMost + 1));
    std::vector<unsigned char> header;
    appendBigEndian(header, static_cast<std::uint32_t>(s.pixels.width));
    appendBigEndian(header, static_cast<std::uint32_t>(s.pixels.height));
    header.insert(header.end(), {8, static_cast<unsigned char>(withAlpha ? 6 : 2), 0, 0, 0});
    appendChunk(png, "IHDR", header);
    // The zlib stream: a header for deflate with a 32 KiB window, the pieces, the checksum.
    IdatWriter idat(png);
    const unsigned char zlibHeader[2] = {0x78, 0x01};
    idat.write(zlibHeader, 2);
    std::uint32_t adler = 1;
    for (const Piece& piece : s.pieces) {
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

std::vector<unsigned char> encode(const PixelView& pixels)
{
    return Encoder(pixels).finish();
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
