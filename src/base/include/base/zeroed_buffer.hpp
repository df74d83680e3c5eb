// Zeroed memory for large buffers that are filled once: on huge pages when it is large, where the
// system hands over zeroed pages a few hundred times faster than it faults in small ones.
#pragma once

#include <cstddef>
#include <utility>

namespace zaro {

class ZeroedBuffer {
public:
    ZeroedBuffer() = default;
    /// `bytes` of zeroes; empty (no data) when the memory cannot be had.
    explicit ZeroedBuffer(std::size_t bytes);
    ZeroedBuffer(ZeroedBuffer&& other) noexcept
        : data_(std::exchange(other.data_, nullptr)), mapped_(std::exchange(other.mapped_, 0))
    {
    }
    ZeroedBuffer& operator=(ZeroedBuffer&& other) noexcept
    {
        std::swap(data_, other.data_);
        std::swap(mapped_, other.mapped_);
        return *this;
    }
    ZeroedBuffer(const ZeroedBuffer&) = delete;
    ZeroedBuffer& operator=(const ZeroedBuffer&) = delete;
    ~ZeroedBuffer();

    unsigned char* get() const { return data_; }
    explicit operator bool() const { return data_ != nullptr; }

private:
    unsigned char* data_ = nullptr;
    std::size_t mapped_ = 0;  // the length of the mapping, 0 for calloc's memory
};

}  // namespace zaro
