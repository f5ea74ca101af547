#include "platform/base/CheckedMath.h"

namespace base {

std::optional<std::size_t> DibRowStride(long long width, unsigned bitsPerPixel) {
    if (width < 0)
        return std::nullopt;
    auto bits = CheckedMul<std::size_t>(std::size_t(width), bitsPerPixel);
    if (!bits)
        return std::nullopt;
    auto padded = CheckedAdd<std::size_t>(*bits, 31);
    if (!padded)
        return std::nullopt;
    return (*padded & ~std::size_t(31)) / 8;
}

}  // namespace base
