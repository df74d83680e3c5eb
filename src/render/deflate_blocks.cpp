#include "deflate_blocks.hpp"

#include <algorithm>
#include <bit>
#include <cstring>
#include <span>

#include "base/simd.hpp"

namespace zaro::png {

namespace {

constexpr std::size_t litLenSymbols = 286;
constexpr std::size_t distanceSymbols = 30;
constexpr std::size_t lengthSymbols = 19;  // the alphabet the other two codes' lengths are sent in
constexpr unsigned endOfBlock = 256;
constexpr std::size_t longestRun = 258;
constexpr std::size_t shortestRun = 3;
constexpr std::size_t storedMost = 65535;

constexpr std::array<std::uint16_t, 29> lengthBase = {3,  4,  5,  6,  7,  8,  9,  10, 11,  13,  15,  17,  19,  23, 27,
                                                      31, 35, 43, 51, 59, 67, 83, 99, 115, 131, 163, 195, 227, 258};
constexpr std::array<std::uint8_t, 29> lengthExtraBits = {0, 0, 0, 0, 0, 0, 0, 0, 1, 1, 1, 1, 2, 2, 2,
                                                          2, 3, 3, 3, 3, 4, 4, 4, 4, 5, 5, 5, 5, 0};
constexpr std::array<std::uint8_t, lengthSymbols> lengthOrder = {16, 17, 18, 0, 8,  7, 9,  6, 10, 5,
                                                                 11, 4,  12, 3, 13, 2, 14, 1, 15};

constexpr std::array<std::uint16_t, distanceSymbols> distanceBase = {
    1,   2,   3,   4,   5,   7,    9,    13,   17,   25,   33,   49,   65,    97,    129,
    193, 257, 385, 513, 769, 1025, 1537, 2049, 3073, 4097, 6145, 8193, 12289, 16385, 24577};
constexpr std::array<std::uint8_t, distanceSymbols> distanceExtraBits = {0, 0, 0, 0, 1, 1, 2,  2,  3,  3,  4,  4,  5,  5,  6,
                                                                         6, 7, 7, 8, 8, 9, 9, 10, 10, 11, 11, 12, 12, 13, 13};

// The code of a distance from 1 to 32768.
std::size_t distanceCode(std::size_t distance)
{
    std::size_t code = 0;
    while (code + 1 < distanceSymbols && distanceBase[code + 1] <= distance) ++code;
    return code;
}

// The kinds of run, each a range of 256 tokens from 256 on: a byte back, a pixel back, a row back.
enum RunKind : unsigned { byteBack = 1, pixelBack = 2, rowBack = 3 };

// The length code (0 for symbol 257) of each run length from 3 to 258.
constexpr std::array<std::uint8_t, 256> lengthCodes = [] {
    std::array<std::uint8_t, 256> codes{};
    std::size_t code = 0;
    for (std::size_t length = 3; length <= 258; ++length) {
        while (code + 1 < lengthBase.size() && lengthBase[code + 1] <= length) ++code;
        codes[length - 3] = static_cast<std::uint8_t>(code);
    }
    return codes;
}();

void storeLittleEndian64(unsigned char* out, std::uint64_t word)
{
    if constexpr (std::endian::native == std::endian::little) {
        std::memcpy(out, &word, 8);
    } else {
        for (int i = 0; i < 8; ++i) out[i] = static_cast<unsigned char>(word >> (8 * i));
    }
}

constexpr std::array<std::uint8_t, 256> reversedBytes = [] {
    std::array<std::uint8_t, 256> table{};
    for (unsigned b = 0; b < 256; ++b) {
        unsigned r = 0;
        for (unsigned bit = 0; bit < 8; ++bit) r |= ((b >> bit) & 1) << (7 - bit);
        table[b] = static_cast<std::uint8_t>(r);
    }
    return table;
}();

// Sorts keys of a count above a 16-bit symbol, the symbols rising, by the count's bytes from the
// lowest: a sort without the branches a comparison sort mispredicts, every block. A count is below
// 2^24, a block being smaller than that.
template <std::size_t N>
void sortKeys(std::uint64_t* keys, std::size_t n)
{
    std::array<std::uint64_t, N> other;
    std::uint64_t* from = keys;
    std::uint64_t* to = other.data();
    for (unsigned shift = 16; shift < 40; shift += 8) {
        std::array<std::size_t, 257> starts{};
        for (std::size_t i = 0; i < n; ++i) ++starts[(from[i] >> shift & 0xFF) + 1];
        if (starts[1] == n) continue;  // every count has this byte zero
        for (std::size_t b = 1; b < 257; ++b) starts[b] += starts[b - 1];
        for (std::size_t i = 0; i < n; ++i) to[starts[from[i] >> shift & 0xFF]++] = from[i];
        std::swap(from, to);
    }
    if (from != keys) std::copy_n(from, n, keys);
}

// Huffman code lengths of at most `limit` bits for `counts`; a symbol never seen gets none. When the
// optimal tree is too deep, the counts are halved (a seen symbol keeps at least 1) until it fits.
template <std::size_t N>
std::array<std::uint8_t, N> codeLengths(std::array<std::uint32_t, N> counts, unsigned limit)
{
    std::array<std::uint8_t, N> lengths{};
    // The seen symbols by count, then by symbol: a key of both sorts them. Halving the counts keeps
    // that order, so they are sorted once.
    std::array<std::uint64_t, N> keys;
    std::size_t used = 0;
    for (std::size_t s = 0; s < N; ++s) {
        if (counts[s] > 0) keys[used++] = std::uint64_t{counts[s]} << 16 | s;
    }
    if (used < 2) {
        if (used == 1) lengths[keys[0] & 0xFFFF] = 1;
        return lengths;
    }
    sortKeys<N>(keys.data(), used);
    std::array<std::uint16_t, N> leaves;
    for (std::size_t i = 0; i < used; ++i) leaves[i] = static_cast<std::uint16_t>(keys[i] & 0xFFFF);
    for (;;) {
        // Leaves in order of weight, and the joined nodes, which are made in order of weight too: the
        // two lightest of the two queues' fronts are joined until one node is left. Node i < used is
        // leaf i; the rest are joined nodes, each parent made after its children.
        std::array<std::uint64_t, 2 * N> weight;
        std::array<std::uint16_t, 2 * N> parent;
        for (std::size_t i = 0; i < used; ++i) weight[i] = counts[leaves[i]];
        std::size_t nextLeaf = 0;
        std::size_t nextJoined = used;
        std::size_t made = used;
        const auto take = [&] {
            if (nextLeaf < used && (nextJoined == made || weight[nextLeaf] <= weight[nextJoined])) return nextLeaf++;
            return nextJoined++;
        };
        while (made < 2 * used - 1) {
            const std::size_t a = take();
            const std::size_t b = take();
            weight[made] = weight[a] + weight[b];
            parent[a] = parent[b] = static_cast<std::uint16_t>(made);
            ++made;
        }
        std::array<std::uint8_t, 2 * N> depth;
        depth[made - 1] = 0;
        unsigned deepest = 0;
        for (std::size_t i = made - 1; i-- > 0;) {
            depth[i] = static_cast<std::uint8_t>(depth[parent[i]] + 1);
            deepest = std::max<unsigned>(deepest, depth[i]);
        }
        if (deepest <= limit) {
            for (std::size_t i = 0; i < used; ++i) lengths[leaves[i]] = depth[i];
            return lengths;
        }
        for (std::uint32_t& count : counts) count = count == 0 ? 0 : count / 2 + 1;
    }
}

// Decoders take a code of one symbol, or of none, only grudgingly: a code gets a second symbol of
// length 1 (or two) that is never sent, which makes it complete. Only the distance and the lengths'
// codes can have fewer than two; the literal code always has its byte and the block's end.
template <std::size_t N>
void addSecondSymbol(std::array<std::uint8_t, N>& lengths)
{
    const auto used = std::count_if(lengths.begin(), lengths.end(), [](std::uint8_t l) { return l > 0; });
    for (std::size_t s = 0; used + s < 2; ++s) {
        std::size_t free = 0;
        while (lengths[free] > 0) ++free;
        lengths[free] = 1;
    }
}

// Canonical codes for `lengths`, bit-reversed because deflate sends a code's first bit lowest.
template <std::size_t N>
std::array<std::uint16_t, N> canonicalCodes(const std::array<std::uint8_t, N>& lengths)
{
    std::array<std::uint16_t, 17> perLength{};
    for (std::uint8_t l : lengths) ++perLength[l];
    perLength[0] = 0;
    std::array<std::uint16_t, 17> next{};
    unsigned code = 0;
    for (std::size_t bits = 1; bits <= 16; ++bits) {
        code = (code + perLength[bits - 1]) << 1;
        next[bits] = static_cast<std::uint16_t>(code);
    }
    std::array<std::uint16_t, N> codes{};
    for (std::size_t s = 0; s < N; ++s) {
        const unsigned l = lengths[s];
        if (l == 0) continue;
        const unsigned forward = next[l]++;
        const unsigned reversed = (unsigned{reversedBytes[forward & 0xFF]} << 8 | reversedBytes[forward >> 8]) >> (16 - l);
        codes[s] = static_cast<std::uint16_t>(reversed);
    }
    return codes;
}

// The code lengths of both codes as the length alphabet sends them: 16 repeats the previous length
// 3 to 6 times, 17 and 18 send 3 to 10 and 11 to 138 zeros.
struct LengthItem {
    std::uint8_t symbol;
    std::uint8_t extra;
};

std::size_t runLengthItems(std::span<const std::uint8_t> lengths, std::array<LengthItem, litLenSymbols + distanceSymbols>& items)
{
    std::size_t n = 0;
    for (std::size_t i = 0; i < lengths.size();) {
        const std::uint8_t l = lengths[i];
        std::size_t same = 1;
        while (i + same < lengths.size() && lengths[i + same] == l) ++same;
        i += same;
        if (l == 0) {
            while (same >= 11) {
                const std::size_t take = std::min<std::size_t>(same, 138);
                items[n++] = {18, static_cast<std::uint8_t>(take - 11)};
                same -= take;
            }
            if (same >= 3) {
                items[n++] = {17, static_cast<std::uint8_t>(same - 3)};
                same = 0;
            }
        } else {
            items[n++] = {l, 0};
            --same;
            while (same >= 3) {
                const std::size_t take = std::min<std::size_t>(same, 6);
                items[n++] = {16, static_cast<std::uint8_t>(take - 3)};
                same -= take;
            }
        }
        while (same-- > 0) items[n++] = {l, 0};
    }
    return n;
}

constexpr unsigned extraBitsOf(std::uint8_t lengthSymbol)
{
    return lengthSymbol == 16 ? 2 : lengthSymbol == 17 ? 3 : lengthSymbol == 18 ? 7 : 0;
}

}  // namespace

std::size_t DeflateBlocks::bound(std::size_t bytes, std::size_t blocks)
{
    // A block is written stored when a code would be larger: five bytes of header a stored block of
    // at most 65535 bytes, one more for the bits before it; then the empty block that aligns the end.
    return bytes + 6 * (bytes / storedMost + blocks) + 16;
}

DeflateBlocks::DeflateBlocks(unsigned char* out, std::size_t pixelSize, std::size_t rowSize, std::uint16_t* tokens)
    : begin_(out), out_(out), pixelSize_(pixelSize), rowSize_(rowSize <= farthest ? rowSize : 0), tokens_(tokens)
{
}

// All pending bits are stored after every addition, and the output moves on by their whole bytes:
// no branch, fewer than 8 bits left pending, and at most 8 bytes written past the end, which the
// output's room holds.
void DeflateBlocks::put(std::uint64_t bits, unsigned count)
{
    pending_ |= bits << pendingBits_;
    pendingBits_ += count;
    storeLittleEndian64(out_, pending_);
    out_ += pendingBits_ >> 3;
    pending_ >>= pendingBits_ & ~7u;
    pendingBits_ &= 7;
}

void DeflateBlocks::padToByte()
{
    if (pendingBits_ > 0) *out_++ = static_cast<unsigned char>(pending_);
    pending_ = 0;
    pendingBits_ = 0;
}

void DeflateBlocks::writeStored(const unsigned char* bytes, std::size_t size, bool final)
{
    do {
        const std::size_t take = std::min(size, storedMost);
        size -= take;
        put(final && size == 0 ? 1 : 0, 3);
        padToByte();
        const auto length = static_cast<std::uint16_t>(take);
        const auto complement = static_cast<std::uint16_t>(~length);
        *out_++ = static_cast<unsigned char>(length);
        *out_++ = static_cast<unsigned char>(length >> 8);
        *out_++ = static_cast<unsigned char>(complement);
        *out_++ = static_cast<unsigned char>(complement >> 8);
        if (take > 0) std::memcpy(out_, bytes, take);
        out_ += take;
        bytes += take;
    } while (size > 0);
}

void DeflateBlocks::literals(const unsigned char* bytes, std::size_t from, std::size_t to)
{
    std::uint16_t* const token = tokens_ + tokenCount_ - from;
    std::size_t i = from;
    for (; i + 4 <= to; i += 4) {
        for (std::size_t k = 0; k < 4; ++k) {
            token[i + k] = bytes[i + k];
            ++literalCounts_[k][bytes[i + k]];
        }
    }
    for (; i < to; ++i) {
        token[i] = bytes[i];
        ++literalCounts_[0][bytes[i]];
    }
    tokenCount_ += to - from;
}

void DeflateBlocks::run(std::size_t length, unsigned kind)
{
    const unsigned first = kind * 256;
    while (length > 0) {
        // A run longer than one match is cut so that no piece is shorter than a match.
        std::size_t take = std::min(length, longestRun);
        if (length > longestRun && length - longestRun < shortestRun) take = length - shortestRun;
        const auto token = static_cast<std::uint16_t>(first + take - shortestRun);
        tokens_[tokenCount_++] = token;
        ++counts_[token];
        length -= take;
    }
}

// The stretches the caller knows to repeat the row above are matches as they are; between them, the
// matches looked for are runs.
void DeflateBlocks::tokenize(const unsigned char* bytes, std::size_t size, std::span<const Repeats> repeats)
{
    // The first block's first bytes have nothing before them in the block to repeat; a row back they
    // may, as the stream goes on from the rows before.
    std::size_t i = started_ ? 0 : std::min(pixelSize_, size);
    std::size_t pendingFrom = 0;  // the literals not yet taken
    for (const Repeats& repeat : repeats) {
        if (rowSize_ == 0 || repeat.to - repeat.from < shortestRun) continue;
        scan(bytes, i, repeat.from, pendingFrom);
        literals(bytes, pendingFrom, repeat.from);
        run(repeat.to - repeat.from, rowBack);
        i = pendingFrom = repeat.to;
    }
    scan(bytes, i, size, pendingFrom);
    literals(bytes, pendingFrom, size);
}

// Runs from `position` up to `limit`: each byte equal to the one `d` back, for d of 1 and a pixel. Both are
// judged for 16 positions at once as bit masks; bit k of a mask is set when position i + k repeats.
// Leaves `position` where the search stopped and `pendingFrom` after the last run.
void DeflateBlocks::scan(const unsigned char* bytes, std::size_t& position, std::size_t limit, std::size_t& pendingFrom)
{
    const std::size_t pixel = pixelSize_;
    const std::size_t size = limit;
    std::size_t i = position;
    const auto masks = [&](std::size_t at, unsigned& byteBack, unsigned& pixelBack) {
#if ZARO_SSE2
        const __m128i here = _mm_loadu_si128(reinterpret_cast<const __m128i*>(bytes + at));
        const __m128i one = _mm_loadu_si128(reinterpret_cast<const __m128i*>(bytes + at - 1));
        const __m128i pix = _mm_loadu_si128(reinterpret_cast<const __m128i*>(bytes + at - pixel));
        byteBack = static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpeq_epi8(here, one)));
        pixelBack = static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpeq_epi8(here, pix)));
#else
        byteBack = 0;
        pixelBack = 0;
        for (unsigned k = 0; k < 16; ++k) {
            byteBack |= unsigned{bytes[at + k] == bytes[at + k - 1]} << k;
            pixelBack |= unsigned{bytes[at + k] == bytes[at + k - pixel]} << k;
        }
#endif
        if (size - at < 16) {
            const unsigned inside = (1u << (size - at)) - 1;
            byteBack &= inside;
            pixelBack &= inside;
        }
    };
    // How far the run at `from` goes, its first window's mask given: 64 bytes at a time while they all
    // repeat, then 16 at a time.
    const auto runLength = [&](std::size_t at, unsigned mask, std::size_t distance) {
        auto length = static_cast<std::size_t>(std::countr_one(mask));
        if (length < 16) return length;
        const unsigned char* back = bytes - distance;
#if ZARO_SSE2
        const auto same = [&](std::size_t k) {
            return _mm_cmpeq_epi8(_mm_loadu_si128(reinterpret_cast<const __m128i*>(bytes + k)),
                                  _mm_loadu_si128(reinterpret_cast<const __m128i*>(back + k)));
        };
        for (std::size_t k = at + length; k + 64 <= size; k += 64) {
            const __m128i all = _mm_and_si128(_mm_and_si128(same(k), same(k + 16)), _mm_and_si128(same(k + 32), same(k + 48)));
            if (_mm_movemask_epi8(all) != 0xFFFF) break;
            length += 64;
        }
        for (std::size_t k = at + length; k < size; k += 16) {
            unsigned repeated = static_cast<unsigned>(_mm_movemask_epi8(same(k)));
            if (size - k < 16) repeated &= (1u << (size - k)) - 1;
            const auto n = static_cast<std::size_t>(std::countr_one(repeated));
            length += n;
            if (n < 16) break;
        }
#else
        for (std::size_t k = at + length; k < size && bytes[k] == back[k]; ++k) ++length;
#endif
        return length;
    };
    while (i + shortestRun <= size) {
        unsigned byteBack = 0;
        unsigned pixelBack = 0;
        masks(i, byteBack, pixelBack);
        const bool runOfBytes = (byteBack & 7) == 7;
        if (runOfBytes || (pixelBack & 7) == 7) {
            literals(bytes, pendingFrom, i);
            const std::size_t length = runLength(i, runOfBytes ? byteBack : pixelBack, runOfBytes ? 1 : pixel);
            run(length, runOfBytes ? RunKind::byteBack : RunKind::pixelBack);
            i += length;
            pendingFrom = i;
            continue;
        }
        // The next position where three repeats in a row begin, judged among the first 14.
        const unsigned starts = ((byteBack & byteBack >> 1 & byteBack >> 2) | (pixelBack & pixelBack >> 1 & pixelBack >> 2)) & 0x3FFF;
        i += starts != 0 ? static_cast<std::size_t>(std::countr_zero(starts)) : 14;
    }
    position = i;
}

void DeflateBlocks::add(const unsigned char* bytes, std::size_t size, bool final, std::span<const Repeats> repeats)
{
    tokenCount_ = 0;
    counts_.fill(0);
    for (auto& table : literalCounts_) table.fill(0);
    tokenize(bytes, size, repeats);
    for (std::size_t b = 0; b < 256; ++b) {
        counts_[b] = literalCounts_[0][b] + literalCounts_[1][b] + literalCounts_[2][b] + literalCounts_[3][b];
    }
    started_ = true;
    final_ = final;

    // The symbols' counts from the tokens'.
    std::array<std::uint32_t, litLenSymbols> litLenCounts{};
    std::array<std::uint32_t, distanceSymbols> distanceCounts{};
    std::copy_n(counts_.begin(), 256, litLenCounts.begin());
    litLenCounts[endOfBlock] = 1;
    // Each kind of run's distance: its code, and the extra bits the code needs.
    const std::size_t distances[] = {0, 1, pixelSize_, rowSize_ != 0 ? rowSize_ : 1};
    std::array<std::size_t, 4> kindCodes{};
    for (unsigned kind = byteBack; kind <= rowBack; ++kind) kindCodes[kind] = distanceCode(distances[kind]);
    for (std::size_t t = 256; t < counts_.size(); ++t) {
        if (counts_[t] == 0) continue;
        litLenCounts[257 + lengthCodes[(t & 255)]] += counts_[t];
        distanceCounts[kindCodes[t >> 8]] += counts_[t];
    }
    const std::array<std::uint8_t, litLenSymbols> litLenLengths = codeLengths(litLenCounts, 15);
    std::array<std::uint8_t, distanceSymbols> distanceLengths = codeLengths(distanceCounts, 15);
    addSecondSymbol(distanceLengths);

    std::size_t litLenSent = litLenSymbols;
    while (litLenSent > 257 && litLenLengths[litLenSent - 1] == 0) --litLenSent;
    std::size_t distanceSent = distanceSymbols;
    while (distanceSent > 1 && distanceLengths[distanceSent - 1] == 0) --distanceSent;
    std::array<std::uint8_t, litLenSymbols + distanceSymbols> allLengths{};
    std::copy_n(litLenLengths.begin(), litLenSent, allLengths.begin());
    std::copy_n(distanceLengths.begin(), distanceSent, allLengths.begin() + litLenSent);
    std::array<LengthItem, litLenSymbols + distanceSymbols> items;
    const std::size_t itemCount = runLengthItems({allLengths.data(), litLenSent + distanceSent}, items);
    std::array<std::uint32_t, lengthSymbols> itemCounts{};
    for (std::size_t k = 0; k < itemCount; ++k) ++itemCounts[items[k].symbol];
    std::array<std::uint8_t, lengthSymbols> itemLengths = codeLengths(itemCounts, 7);
    addSecondSymbol(itemLengths);
    std::size_t itemLengthsSent = lengthSymbols;
    while (itemLengthsSent > 4 && itemLengths[lengthOrder[itemLengthsSent - 1]] == 0) --itemLengthsSent;

    const std::array<std::uint16_t, litLenSymbols> litLenCodes = canonicalCodes(litLenLengths);
    const std::array<std::uint16_t, distanceSymbols> distanceCodes = canonicalCodes(distanceLengths);
    const std::array<std::uint16_t, lengthSymbols> itemCodes = canonicalCodes(itemLengths);

    // Each token's whole bits: the symbol, a length's extra bits, the distance's code and its extra
    // bits. At most 15 + 5 + 15 + 13 bits.
    struct Bits {
        std::uint64_t bits;
        std::uint32_t count;
    };
    std::array<Bits, 1024> tokenBits{};
    std::uint64_t blockBits = 3 + 5 + 5 + 4 + 3 * itemLengthsSent + litLenLengths[endOfBlock];
    for (std::size_t k = 0; k < itemCount; ++k) blockBits += itemLengths[items[k].symbol] + extraBitsOf(items[k].symbol);
    for (std::size_t t = 0; t < tokenBits.size(); ++t) {
        if (counts_[t] == 0) continue;
        if (t < 256) {
            tokenBits[t] = {litLenCodes[t], litLenLengths[t]};
        } else {
            const std::size_t length = (t & 255) + shortestRun;
            const std::size_t code = lengthCodes[t & 255];
            const std::size_t distance = distances[t >> 8];
            const std::size_t distanceSymbol = kindCodes[t >> 8];
            std::uint64_t bits = litLenCodes[257 + code];
            std::uint32_t count = litLenLengths[257 + code];
            bits |= std::uint64_t{length - lengthBase[code]} << count;
            count += lengthExtraBits[code];
            bits |= std::uint64_t{distanceCodes[distanceSymbol]} << count;
            count += distanceLengths[distanceSymbol];
            bits |= std::uint64_t{distance - distanceBase[distanceSymbol]} << count;
            count += distanceExtraBits[distanceSymbol];
            tokenBits[t] = {bits, count};
        }
        blockBits += std::uint64_t{counts_[t]} * tokenBits[t].count;
    }
    const std::uint64_t storedBits = 8 * (size + 5 * (size / storedMost + 1)) + 8;
    if (blockBits > storedBits) {
        writeStored(bytes, size, final);
        return;
    }

    put(final ? 1 : 0, 1);
    put(2, 2);
    put(litLenSent - 257, 5);
    put(distanceSent - 1, 5);
    put(itemLengthsSent - 4, 4);
    for (std::size_t k = 0; k < itemLengthsSent; ++k) put(itemLengths[lengthOrder[k]], 3);
    for (std::size_t k = 0; k < itemCount; ++k) {
        const LengthItem item = items[k];
        put(itemCodes[item.symbol], itemLengths[item.symbol]);
        put(item.extra, extraBitsOf(item.symbol));
    }
    // put() inline, on locals: a store through `out` could otherwise be this object's members changing.
    std::uint64_t pending = pending_;
    unsigned pendingBits = pendingBits_;
    unsigned char* out = out_;
    const std::uint16_t* const tokens = tokens_;
    const std::size_t tokenCount = tokenCount_;
    // A token at a time: at most 7 + 48 bits pending.
    for (std::size_t k = 0; k < tokenCount; ++k) {
        const Bits token = tokenBits[tokens[k]];
        pending |= token.bits << pendingBits;
        pendingBits += token.count;
        storeLittleEndian64(out, pending);
        out += pendingBits >> 3;
        pending >>= pendingBits & ~7u;
        pendingBits &= 7;
    }
    pending_ = pending;
    pendingBits_ = pendingBits;
    out_ = out;
    put(litLenCodes[endOfBlock], litLenLengths[endOfBlock]);
}

std::size_t DeflateBlocks::finish()
{
    if (!final_ && pendingBits_ != 0) writeStored(nullptr, 0, false);
    padToByte();
    return static_cast<std::size_t>(out_ - begin_);
}

}  // namespace zaro::png
