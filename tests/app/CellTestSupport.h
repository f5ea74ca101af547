// Reading thumbnail cells back in tests: where a picture of one colour landed in a 64 × 64 cell,
// and rectangles that compare and print as a whole.
#pragma once

#include "platform/gdi/Gdi.h"

#include <algorithm>
#include <cstdint>
#include <ostream>
#include <vector>

namespace gdi {

inline bool operator==(const RECT& a, const RECT& b) {
    return a.left == b.left && a.top == b.top && a.right == b.right && a.bottom == b.bottom;
}

inline void PrintTo(const RECT& r, std::ostream* out) {
    *out << '(' << r.left << ", " << r.top << ")-(" << r.right << ", " << r.bottom << ')';
}

}  // namespace gdi

/// The bounding box of the cell's pixels (0x00RRGGBB, rows from the top) that the predicate picks;
/// (64, 64)-(-1, -1) when there are none.
template <class TPick>
gdi::RECT CellBox(const std::vector<std::uint32_t>& pixels, TPick pick) {
    gdi::RECT box{64, 64, -1, -1};
    for (int y = 0; y < 64; ++y)
        for (int x = 0; x < 64; ++x)
            if (pick(pixels[std::size_t(y * 64 + x)])) {
                box.left = std::min<gdi::LONG>(box.left, x);
                box.top = std::min<gdi::LONG>(box.top, y);
                box.right = std::max<gdi::LONG>(box.right, x + 1);
                box.bottom = std::max<gdi::LONG>(box.bottom, y + 1);
            }
    return box;
}
