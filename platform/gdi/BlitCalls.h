// What the blit calls share: the destination and source halves of a transfer as the calls set
// them up from a context and logical coordinates. Private to the layer.
#pragma once

#include "platform/gdi/Transfer.h"

namespace gdi::detail {

/// Sets the last error and returns FALSE (0).
BOOL RefuseCall(DWORD error);
/// The destination half of every transfer: the context and the bitmap it draws on.
bool BeginTransfer(HDC dc, TTransfer& transfer);
/// The source half of a transfer whose operation reads a source context.
bool AttachSource(HDC source, TTransfer& transfer);
/// The destination rectangle in device pixels. With image set, the rectangle is a blit's: a
/// negative extent covers start + extent + 1 … start, and a mirroring layout turns the image
/// over unless the context preserves bitmap orientation.
void PlaceDestination(TTransfer& transfer, long long x, long long y, long long width, long long height, bool image);
/// The source rectangle in the source context's device pixels, negative extents as above. False
/// (ERROR_INVALID_PARAMETER) when the source's world transform rotates or shears; empty tells that
/// the source covers no pixel.
bool PlaceSource(TTransfer& transfer, long long x, long long y, long long width, long long height, bool& empty);

/// A caller's uncompressed DIB bits seen as a bitmap that is only ever read: rows rows of the
/// description's stride at bits.
void ViewDibBits(TDibDescription& dib, const void* bits, LONG rows, TBitmapObj& view);

/// A run-length DIB decoded into an 8-bit view with the DIB's colour table, together with the
/// map of the pixels the stream reached. Only columns [0, columns) and the rows from firstRow
/// (counted from the top) down are decoded, so a hostile header costs no more than the part drawn.
struct TRleImage {
    TPixelStorage Indices;
    TPixelStorage Reached;
    TBitmapObj View;
    std::unique_ptr<TBitmapObj> ReachedView;
    long long FirstRow = 0;  // the image row (from the top) that is the views' top row
};
/// False with the last error set when the storage gate refuses the decoded pixels.
bool DecodeRleImage(TDibDescription& dib, const void* bits, long long firstRow, long long columns, TRleImage& out);

/// Runs a transfer whose destination rectangle the world transform turns into a parallelogram
/// (GM_ADVANCED with rotation or shear): the rectangle's three logical corners go through the
/// transforms and the transfer fills the parallelogram they span.
bool RunTurnedTransfer(const TTransfer& transfer, long long x, long long y, long long width, long long height);

}  // namespace gdi::detail
