// The one owner of C library handles: std::unique_ptr with the library's own destroy function.
#pragma once

#include <memory>

namespace zaro {

/// Calls `destroy` on a handle; a stateless deleter, so a CHandle is one pointer wide.
template <auto destroy>
struct Destroy {
    template <typename T>
    void operator()(T* handle) const
    {
        destroy(handle);
    }
};

/// Owns a `T*` and gives it back with `destroy`, e.g. `CHandle<cairo_t, cairo_destroy>`.
template <typename T, auto destroy>
using CHandle = std::unique_ptr<T, Destroy<destroy>>;

}  // namespace zaro
