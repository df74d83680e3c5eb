// The Adler-32 checksum that ends a zlib stream, taken in pieces and joined.
#pragma once

#include <cstdint>
#include <span>

namespace zaro::png {

/// `adler` carried on over `bytes`; a stream starts from 1.
std::uint32_t adler32(std::uint32_t adler, std::span<const unsigned char> bytes);

/// The checksum of two stretches one after the other, from each one's checksum and the second's length.
std::uint32_t adler32Joined(std::uint32_t first, std::uint32_t second, std::uint64_t secondLength);

}  // namespace zaro::png
