// DIB bits in caller memory drawn onto a context: StretchDIBits and SetDIBitsToDevice, for
// uncompressed and run-length images.
#include "platform/base/CheckedMath.h"
#include "platform/gdi/BlitCalls.h"
#include "platform/gdi/Coordinates.h"
#include "platform/gdi/Dib.h"
#include "platform/gdi/Recorder.h"
#include "platform/gdi/Rle.h"
#include "platform/gdi/Storage.h"

#include <algorithm>
#include <climits>
#include <cstdlib>

namespace gdi {

using namespace detail;

namespace detail {

void ViewDibBits(TDibDescription& dib, const void* bits, LONG rows, TBitmapObj& view) {
    view.Width = dib.Width;
    view.Height = rows;
    view.BitsPixel = WORD(dib.BitsPixel);
    view.Stride = LONG(dib.Stride);
    view.TopDown = dib.TopDown;
    view.IsDib = true;
    view.Compression = dib.Compression;
    view.Masks = dib.Masks;
    view.ColorTable = std::move(dib.ColorTable);
    view.Header = dib.Header;
    view.Bits = const_cast<BYTE*>(static_cast<const BYTE*>(bits));
}

bool DecodeRleImage(TDibDescription& dib, const void* bits, long long firstRow, long long columns, TRleImage& out) {
    const long long height = dib.Height;
    const std::size_t rows = std::size_t(height - std::clamp(firstRow, 0LL, height));
    const std::size_t kept = std::size_t(std::clamp(columns, 0LL, (long long)dib.Width));
    const auto size = base::CheckedMul<std::size_t>(rows, kept);
    if (!size || !StorageAllowed({*size, *size})) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return false;
    }
    // At least one byte each, so the views always point at storage.
    out.Indices = AllocatePixels(std::max<std::size_t>(*size, 1));
    out.Reached = AllocatePixels(std::max<std::size_t>(*size, 1));
    if (!out.Indices || !out.Reached)
        return false;
    if (*size != 0)
        DecodeRle(dib.Compression, static_cast<const BYTE*>(bits), dib.SizeImage, out.Indices.get(), kept, rows,
                  out.Reached.get());
    // Bottom-up views of the rows from the bottom up to firstRow only: their top row is the
    // image's row FirstRow, and the transfer reads no column right of kept.
    out.FirstRow = height - (long long)rows;
    const auto view = [&](TBitmapObj& v, BYTE* storage) {
        v.Width = LONG(kept);
        v.Height = LONG(rows);
        v.BitsPixel = 8;
        v.Stride = LONG(kept);
        v.TopDown = false;
        v.IsDib = true;
        v.Compression = BI_RGB;
        v.Header = dib.Header;
        v.Bits = storage;
    };
    view(out.View, out.Indices.get());
    out.View.ColorTable = dib.ColorTable;
    out.View.ColorTable.resize(256, RGBQUAD{0, 0, 0, 0});
    out.ReachedView = std::make_unique<TBitmapObj>();
    view(*out.ReachedView, out.Reached.get());
    return true;
}

}  // namespace detail

namespace {

bool Compressed(const TDibDescription& dib) { return dib.Compression == BI_RLE8 || dib.Compression == BI_RLE4; }

// Rows a stated image size holds; the last row need not carry its padding.
std::uint64_t RowsInSize(const TDibDescription& dib) {
    if (dib.SizeImage == 0)
        return UINT64_MAX;
    const std::size_t lastRow = (std::size_t(dib.Width) * std::size_t(dib.BitsPixel) + 7) / 8;
    if (dib.SizeImage < lastRow)
        return 0;
    return (std::uint64_t(dib.SizeImage) - lastRow) / dib.Stride + 1;
}

}  // namespace

int StretchDIBits(HDC dc, int x, int y, int width, int height, int sx, int sy, int sourceWidth, int sourceHeight,
                  const void* bits, const BITMAPINFO* info, UINT usage, DWORD rop) {
    TLock lock(LayerMutex());
    TTransfer transfer;
    if (!BeginTransfer(dc, transfer))
        return 0;
    if (info == nullptr)
        return RefuseCall(ERROR_INVALID_PARAMETER);
    TDibDescription dib;
    if (!DescribeDibData(info, usage, transfer.DestDC, dib))
        return 0;
    if (Recording(*transfer.DestDC) && !RecordDibits(*transfer.DestDC, true, x, y, width, height, sx, sy, sourceWidth,
                                                     sourceHeight, 0, 0, bits, info, usage, rop))
        return 0;
    // The platform answers with the image's scan lines, whatever part of it is drawn.
    const int lines = int(dib.Height);
    transfer.Fore = transfer.Back = RopIndex(rop);
    const bool usesSource = RopUsesSource(transfer.Fore);

    TBitmapObj view;
    if (usesSource) {
        if (bits == nullptr)
            return RefuseCall(ERROR_INVALID_PARAMETER);
        const auto total = base::CheckedMul<std::size_t>(dib.Stride, std::size_t(dib.Height));
        if (dib.Stride > std::size_t(LONG_MAX) || !total)
            return RefuseCall(ERROR_INVALID_PARAMETER);
        if (!Compressed(dib) && RowsInSize(dib) < std::uint64_t(dib.Height))
            return RefuseCall(ERROR_INVALID_PARAMETER);
    }
    if (width == 0 || height == 0)
        return lines;
    if (usesSource && (sourceWidth == 0 || sourceHeight == 0))
        return RefuseCall(ERROR_INVALID_PARAMETER);
    PlaceDestination(transfer, x, y, width, height, usesSource);
    TRleImage rle;
    if (usesSource) {
        // Source rows count from the bottom of the image, for top-down images too, except that a
        // rectangle starting at row 0 of a top-down image starts at its top row, as measured on
        // the platform. A negative extent counts from the pixel at its start, as for every blit.
        transfer.SX = sx;
        transfer.SY = dib.TopDown && sy == 0 ? 0 : (long long)dib.Height - sy - sourceHeight;
        transfer.SWidth = sourceWidth;
        transfer.SHeight = sourceHeight;
        if (sourceWidth < 0)
            transfer.SX += 1;
        if (sourceHeight < 0)
            transfer.SY += 1;
        if (Compressed(dib)) {
            const TInterval columns = Normalise(transfer.SX, transfer.SWidth);
            const TInterval rows = Normalise(transfer.SY, transfer.SHeight);
            if (!DecodeRleImage(dib, bits, rows.Start, columns.Start + columns.Length, rle))
                return 0;
            transfer.SY -= rle.FirstRow;
            transfer.Source = &rle.View;
            transfer.Reached = rle.ReachedView.get();
        } else {
            ViewDibBits(dib, bits, dib.Height, view);
            transfer.Source = &view;
        }
    }
    if (RopUsesPattern(transfer.Fore))
        transfer.Brush = SelectedBrush(*transfer.DestDC);
    if (WorldRotates(*transfer.DestDC))
        return RunTurnedTransfer(transfer, x, y, width, height) ? lines : 0;
    return RunTransfer(transfer) ? lines : 0;
}

int SetDIBitsToDevice(HDC dc, int x, int y, DWORD width, DWORD height, int sx, int sy, UINT startScan, UINT lines,
                      const void* bits, const BITMAPINFO* info, UINT usage) {
    TLock lock(LayerMutex());
    TTransfer transfer;
    if (!BeginTransfer(dc, transfer))
        return 0;
    if (info == nullptr || bits == nullptr)
        return RefuseCall(ERROR_INVALID_PARAMETER);
    TDibDescription dib;
    if (!DescribeDibData(info, usage, transfer.DestDC, dib))
        return 0;
    if (width > DWORD(INT_MAX) || height > DWORD(INT_MAX))
        return RefuseCall(ERROR_INVALID_PARAMETER);
    const long long imageHeight = dib.Height;
    const bool compressed = Compressed(dib);
    // A compressed image is always whole; an uncompressed one holds scan lines [start, start +
    // lines), numbered from the bottom whichever way its rows run. More lines than the image has
    // from start on, or than a stated image size holds, are cut to those it has.
    const long long start = compressed ? 0 : (long long)startScan;
    long long count = compressed ? imageHeight : std::min<long long>(lines, std::max(imageHeight - start, 0LL));
    if (!compressed)
        count = (long long)std::min<std::uint64_t>(std::uint64_t(count), RowsInSize(dib));
    if (count <= 0)
        return 0;
    if (Recording(*transfer.DestDC) &&
        !RecordDibits(*transfer.DestDC, false, x, y, int(width), int(height), sx, sy, int(width), int(height),
                      UINT(start), UINT(count), bits, info, usage, SRCCOPY))
        return 0;
    // A bottom-up image reports the scans up to the top of the source rectangle, a top-down one
    // every scan it was given.
    const long long set =
        dib.TopDown ? count : std::clamp<long long>(std::min(start + count, (long long)sy + (long long)height) - start,
                                                    0, count);
    if (width == 0 || height == 0)
        return int(set);

    // The source rectangle, from the bottom-left corner (sx, sy), in the rows of the view: the
    // view's top row is scan start + count − 1.
    transfer.Fore = transfer.Back = RopIndex(SRCCOPY);
    transfer.SX = sx;
    transfer.SY = start + count - (long long)sy - (long long)height;
    transfer.SWidth = (long long)width;
    transfer.SHeight = (long long)height;
    TBitmapObj view;
    TRleImage rle;
    if (compressed) {
        const TInterval rows = Normalise(transfer.SY, transfer.SHeight);
        if (!DecodeRleImage(dib, bits, rows.Start, transfer.SX + transfer.SWidth, rle))
            return 0;
        transfer.SY -= rle.FirstRow;
        transfer.Source = &rle.View;
        transfer.Reached = rle.ReachedView.get();
    } else {
        if (dib.Stride > std::size_t(LONG_MAX))
            return RefuseCall(ERROR_INVALID_PARAMETER);
        ViewDibBits(dib, bits, LONG(count), view);
        transfer.Source = &view;
    }
    // The corner goes through the transforms; the image is never stretched.
    const TDCObj& context = *transfer.DestDC;
    const TDevicePoint corner = DevicePoint(context, x, y);
    transfer.X = corner.X;
    transfer.Y = corner.Y;
    transfer.Width = (long long)width;
    transfer.Height = (long long)height;
    if ((context.Layout & LAYOUT_RTL) && !(context.Layout & LAYOUT_BITMAPORIENTATIONPRESERVED)) {
        // The corner pixel is the rightmost one and the image turns over.
        transfer.X = corner.X + 1;
        transfer.Width = -(long long)width;
    } else if (context.Layout & LAYOUT_RTL) {
        transfer.X = corner.X + 1 - (long long)width;
    }
    if (!RunTransfer(transfer))
        return 0;
    return int(set);
}

}  // namespace gdi
