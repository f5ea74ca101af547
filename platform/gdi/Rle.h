// Run-length decoding of compressed device-independent bitmaps (BI_RLE8 and BI_RLE4).
#pragma once

#include "platform/gdi/Gdi.h"

#include <cstddef>

namespace gdi::detail {

/// Decodes a BI_RLE8 or BI_RLE4 stream of `size` bytes into one colour-table index per byte.
/// `indices` holds `rows` rows of `columns` bytes, scan line 0 (the bottom of the image) first,
/// and must be zero-filled by the caller: pixels the stream never reaches keep index 0. Pixels
/// that fall outside `columns` × `rows` are decoded and dropped, and nothing past data + size is
/// ever read, so a damaged stream costs at most its own length in work. reached, when given, has
/// the layout of indices (zero-filled too) and gets 1 for every pixel the stream writes: the
/// pixels it skips with end-of-line, delta and end-of-bitmap stay 0.
void DecodeRle(DWORD compression, const BYTE* data, std::size_t size, BYTE* indices, std::size_t columns,
               std::size_t rows, BYTE* reached = nullptr);

}  // namespace gdi::detail
