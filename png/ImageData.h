// The one limit of image data decoding: up to how many inflated bytes the whole image data is
// inflated in one call (faster) rather than row by row (the general path). Both give the same
// results; tests lower the limit to 0 to run the row-by-row path on every image.
#pragma once

#include <cstddef>

namespace png {

constexpr std::size_t kDefaultWholeInflateLimit = std::size_t(64) << 20;
std::size_t WholeInflateLimit();
void SetWholeInflateLimit(std::size_t bytes);

}  // namespace png
