// Raw deflate blocks for PNG rows: runs of the byte one back or one pixel back, and stretches that
// repeat the row above, as the only matches; Huffman codes made for each block from its own counts,
// or the bytes stored when that is smaller.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>

namespace zaro::png {

class DeflateBlocks {
public:
    /// Bytes to read past a block's end and, after the first block, before its start: the run
    /// search loads them whole and ignores what lies outside.
    static constexpr std::size_t margin = 16;
    /// The farthest back a match may reach.
    static constexpr std::size_t farthest = 32768;

    /// The most bytes written for `bytes` bytes in at most `blocks` blocks, alignment included.
    static std::size_t bound(std::size_t bytes, std::size_t blocks);

    /// Writes to `out`, which has room for bound(); matches reach back 1 or `pixelSize` (3 or 4)
    /// bytes, or `rowSize` bytes (at most `farthest`; 0 for none) where the caller says so; `tokens`
    /// has room for as many tokens as the largest block has bytes.
    DeflateBlocks(unsigned char* out, std::size_t pixelSize, std::size_t rowSize, std::uint16_t* tokens);

    /// Bytes from `from` to `to` in a block that repeat those a row back in the stream.
    struct Repeats {
        std::size_t from;
        std::size_t to;
    };

    /// One block of `size` bytes at `bytes`; `final` marks the stream's last block. The margin before
    /// `bytes` holds the bytes that preceded them in the stream when an earlier block was added.
    /// `repeats`, in order and apart, become matches a row back, unread.
    void add(const unsigned char* bytes, std::size_t size, bool final, std::span<const Repeats> repeats = {});

    /// Ends the output on a byte boundary: the final block's last byte padded, or before another
    /// stretch of blocks is joined on, an empty stored block when the bits fall short of one. Returns
    /// the bytes written.
    std::size_t finish();

private:
    void tokenize(const unsigned char* bytes, std::size_t size, std::span<const Repeats> repeats);
    void scan(const unsigned char* bytes, std::size_t& position, std::size_t limit, std::size_t& pendingFrom);
    void literals(const unsigned char* bytes, std::size_t from, std::size_t to);
    void run(std::size_t length, unsigned kind);
    void put(std::uint64_t bits, unsigned count);
    void padToByte();
    void writeStored(const unsigned char* bytes, std::size_t size, bool final);

    unsigned char* begin_;
    unsigned char* out_;
    std::uint64_t pending_ = 0;
    unsigned pendingBits_ = 0;
    std::size_t pixelSize_;
    std::size_t rowSize_;
    bool started_ = false;
    bool final_ = false;
    // A block's tokens: a byte below 256, then runs one back by their length - 3 + 256, runs a
    // pixel back by their length - 3 + 512, repeats of the row above by their length - 3 + 768.
    std::uint16_t* tokens_;
    std::size_t tokenCount_ = 0;
    std::array<std::uint32_t, 1024> counts_{};
    // The literals' counts in four tables taken in turn, so that a byte that repeats does not wait
    // on its own count; added to counts_ once a block.
    std::array<std::array<std::uint32_t, 256>, 4> literalCounts_{};
};

}  // namespace zaro::png
