// Size arithmetic for readers of untrusted input: every product and sum that becomes a buffer
// size goes through these, so an overflow is a refused input instead of a small allocation.
#pragma once

#include <cstddef>
#include <optional>

namespace base {

template <typename T>
std::optional<T> CheckedMul(T a, T b) {
    T result;
    if (__builtin_mul_overflow(a, b, &result))
        return std::nullopt;
    return result;
}

template <typename T>
std::optional<T> CheckedAdd(T a, T b) {
    T result;
    if (__builtin_add_overflow(a, b, &result))
        return std::nullopt;
    return result;
}

/// Bytes per row of a device-independent bitmap: width × bits rounded up to whole 32-bit words.
/// Empty when the width is negative or the row would not fit in a size_t.
std::optional<std::size_t> DibRowStride(long long width, unsigned bitsPerPixel);

}  // namespace base
