// What bitmap creation and the DIB bit transfers share: reading a caller's DIB into a bitmap and
// making a bitmap compatible with a context.
#pragma once

#include "platform/gdi/Internal.h"

namespace gdi::detail {

/// DescribeDib, also accepting run-length compressed images (BI_RLE8 with 8 bits, BI_RLE4 with
/// 4 bits, bottom-up only). Only the readers that decode a stream may use it.
bool DescribeDibData(const BITMAPINFO* info, UINT usage, const TDCObj* dc, TDibDescription& out);

/// The most bytes of pixels a packed DIB (a pattern brush's) may describe: the caller gives no
/// size for the block, so only what its header implies can be bounded.
constexpr std::size_t kMaxPackedDibBits = std::size_t(64) << 20;

/// A packed DIB (header, colour table, bits back to back) as a pattern brush's private bitmap: an
/// uncompressed image of at most kMaxPackedDibBits bytes of pixels. With DIB_PAL_COLORS the table's
/// palette indices go to paletteIndices (the bitmap's table stays black until a context resolves
/// them). nullptr with ERROR_INVALID_PARAMETER (or ERROR_NOT_ENOUGH_MEMORY) otherwise.
std::unique_ptr<TBitmapObj> ReadPackedDib(const void* packed, UINT usage, std::vector<WORD>& paletteIndices);

/// Converts scan lines [start, start + lines) of a caller's DIB into the target bitmap. Scan line
/// j is row j from the bottom of the target for a bottom-up image and from the top for a top-down
/// one; lines and columns outside either image are dropped. An uncompressed `bits` holds `lines`
/// rows of the DIB's stride; a compressed one holds SizeImage bytes. Returns the number of lines
/// written, or -1 with the last error set.
int StoreDibLines(TBitmapObj& target, const TDibDescription& dib, const void* bits, UINT start, UINT lines);

/// A new bitmap in the format a context draws in: the screen's for a screen context, the selected
/// bitmap's for a memory context. A selected DIB section gives a DIB section of the same layout
/// and colour table when `keepSections` is set, else a bitmap in the screen's format.
std::unique_ptr<TBitmapObj> NewCompatibleBitmap(const TDCObj& dc, LONG width, LONG height, bool keepSections);

/// Enters a new bitmap in the handle table. nullptr stays nullptr (its maker set the last error),
/// and a full table gives nullptr too.
HBITMAP PublishBitmap(std::unique_ptr<TBitmapObj> bitmap);

}  // namespace gdi::detail
