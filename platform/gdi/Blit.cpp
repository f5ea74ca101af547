// The transfer calls and the single-pixel calls: they check handles and parameters, find the
// bitmaps the contexts draw on, turn logical coordinates into device pixels and hand the rest to
// the transfer engine.
#include "platform/base/CheckedMath.h"
#include "platform/gdi/Coordinates.h"
#include "platform/gdi/Transfer.h"

#include <algorithm>
#include <climits>
#include <cstdlib>

namespace gdi {

using namespace detail;

namespace {

BOOL Refuse(DWORD error) {
    SetLastError(error);
    return FALSE;
}

// The brush a context paints with; null for the null brush.
const TBrushObj* SelectedBrush(const TDCObj& dc) {
    TObject* object = Find(dc.Brush);
    if (object == nullptr || object->Kind != TKind::Brush)
        return nullptr;
    auto* brush = static_cast<TBrushObj*>(object);
    return brush->Log.lbStyle == BS_NULL ? nullptr : brush;
}

// The destination half of every transfer: the context and the bitmap it draws on.
bool BeginTransfer(HDC dc, TTransfer& transfer) {
    transfer.DestDC = Lookup<TDCObj>(dc);
    if (transfer.DestDC == nullptr)
        return false;
    transfer.Dest = SurfaceOf(*transfer.DestDC);
    return transfer.Dest != nullptr;
}

// The source half of a transfer whose operation reads a source context.
bool AttachSource(HDC source, TTransfer& transfer) {
    auto* dc = Lookup<TDCObj>(source);
    if (dc == nullptr)
        return false;
    transfer.Source = SurfaceOf(*dc);
    transfer.SourceDC = dc;
    return transfer.Source != nullptr;
}

// The destination rectangle in device pixels. A layout that mirrors turns a transferred image
// over, unless the context preserves bitmap orientation.
void PlaceDestination(TTransfer& transfer, long long x, long long y, long long width, long long height,
                      bool image) {
    TDeviceRect rect = DeviceRect(*transfer.DestDC, x, y, width, height);
    if (image && (transfer.DestDC->Layout & LAYOUT_BITMAPORIENTATIONPRESERVED))
        KeepOrientation(rect);
    transfer.X = rect.X;
    transfer.Y = rect.Y;
    transfer.Width = rect.Width;
    transfer.Height = rect.Height;
}

// The source rectangle in the source context's device pixels. The platform refuses a source
// whose world transform rotates or shears; other transforms make the transfer stretch. False
// with the last error set when refused; empty tells that the source covers no pixel at all.
bool PlaceSource(TTransfer& transfer, long long x, long long y, long long width, long long height, bool& empty) {
    const TDCObj& source = *transfer.SourceDC;
    if (WorldRotates(source)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return false;
    }
    const TDeviceRect rect = DeviceRect(source, x, y, width, height);
    transfer.SX = rect.X;
    transfer.SY = rect.Y;
    transfer.SWidth = rect.Width;
    transfer.SHeight = rect.Height;
    empty = rect.Width == 0 || rect.Height == 0;
    return true;
}

BOOL StretchTransfer(HDC dest, int x, int y, int width, int height, HDC source, int sx, int sy, int sourceWidth,
                     int sourceHeight, DWORD rop) {
    TTransfer transfer;
    if (!BeginTransfer(dest, transfer))
        return FALSE;
    transfer.Fore = transfer.Back = RopIndex(rop);
    const bool usesSource = RopUsesSource(transfer.Fore);
    if (usesSource && !AttachSource(source, transfer))
        return FALSE;
    if (width == 0 || height == 0)
        return TRUE;
    if (usesSource && (sourceWidth == 0 || sourceHeight == 0))
        return Refuse(ERROR_INVALID_PARAMETER);
    PlaceDestination(transfer, x, y, width, height, usesSource);
    if (usesSource) {
        bool empty = false;
        if (!PlaceSource(transfer, sx, sy, sourceWidth, sourceHeight, empty))
            return FALSE;
        if (empty)
            return TRUE;
    }
    if (RopUsesPattern(transfer.Fore))
        transfer.Brush = SelectedBrush(*transfer.DestDC);
    return RunTransfer(transfer) ? TRUE : FALSE;
}

}  // namespace

BOOL BitBlt(HDC dest, int x, int y, int width, int height, HDC source, int sx, int sy, DWORD rop) {
    TLock lock(LayerMutex());
    return StretchTransfer(dest, x, y, width, height, source, sx, sy, width, height, rop);
}

BOOL StretchBlt(HDC dest, int x, int y, int width, int height, HDC source, int sx, int sy, int sourceWidth,
                int sourceHeight, DWORD rop) {
    TLock lock(LayerMutex());
    return StretchTransfer(dest, x, y, width, height, source, sx, sy, sourceWidth, sourceHeight, rop);
}

BOOL PatBlt(HDC dc, int x, int y, int width, int height, DWORD rop) {
    TLock lock(LayerMutex());
    TTransfer transfer;
    if (!BeginTransfer(dc, transfer))
        return FALSE;
    transfer.Fore = transfer.Back = RopIndex(rop);
    if (RopUsesSource(transfer.Fore))
        return Refuse(ERROR_INVALID_PARAMETER);
    PlaceDestination(transfer, x, y, width, height, false);
    if (RopUsesPattern(transfer.Fore))
        transfer.Brush = SelectedBrush(*transfer.DestDC);
    return RunTransfer(transfer) ? TRUE : FALSE;
}

BOOL MaskBlt(HDC dest, int x, int y, int width, int height, HDC source, int sx, int sy, HBITMAP mask, int mx,
             int my, DWORD rop) {
    TLock lock(LayerMutex());
    if (mask == nullptr)
        return StretchTransfer(dest, x, y, width, height, source, sx, sy, width, height, rop);
    TTransfer transfer;
    if (!BeginTransfer(dest, transfer))
        return FALSE;
    const TBitmapObj* maskBitmap = Lookup<TBitmapObj>(mask);
    if (maskBitmap == nullptr)
        return FALSE;
    if (maskBitmap->BitsPixel != 1)
        return Refuse(ERROR_INVALID_PARAMETER);
    transfer.Fore = RopIndex(rop);
    transfer.Back = (rop >> 24) & 0xFFu;
    const bool usesSource = RopUsesSource(transfer.Fore) || RopUsesSource(transfer.Back);
    if (usesSource && !AttachSource(source, transfer))
        return FALSE;
    if (width == 0 || height == 0)
        return TRUE;
    // The mask has to cover the whole rectangle, as the platform requires.
    const TInterval maskColumns = Normalise(mx, width);
    const TInterval maskRows = Normalise(my, height);
    if (maskColumns.Start < 0 || maskColumns.Start + maskColumns.Length > maskBitmap->Width || maskRows.Start < 0 ||
        maskRows.Start + maskRows.Length > maskBitmap->Height)
        return Refuse(ERROR_INVALID_PARAMETER);
    PlaceDestination(transfer, x, y, width, height, usesSource);
    if (usesSource) {
        bool empty = false;
        if (!PlaceSource(transfer, sx, sy, width, height, empty))
            return FALSE;
        if (empty)
            return TRUE;
    } else {
        transfer.SWidth = transfer.Width;
        transfer.SHeight = transfer.Height;
    }
    // The mask is a bitmap, in its own pixels: it lies over the destination's device pixels from
    // the corner the caller named, whichever way the transforms turned the rectangle.
    transfer.Mask = maskBitmap;
    transfer.MX = maskColumns.Start - std::min<long long>(transfer.Width, 0);
    transfer.MY = maskRows.Start - std::min<long long>(transfer.Height, 0);
    if (RopUsesPattern(transfer.Fore) || RopUsesPattern(transfer.Back))
        transfer.Brush = SelectedBrush(*transfer.DestDC);
    return RunTransfer(transfer) ? TRUE : FALSE;
}

int StretchDIBits(HDC dc, int x, int y, int width, int height, int sx, int sy, int sourceWidth, int sourceHeight,
                  const void* bits, const BITMAPINFO* info, UINT usage, DWORD rop) {
    TLock lock(LayerMutex());
    TTransfer transfer;
    if (!BeginTransfer(dc, transfer))
        return 0;
    if (info == nullptr)
        return Refuse(ERROR_INVALID_PARAMETER);
    TDibDescription dib;
    if (!DescribeDib(info, usage, transfer.DestDC, dib))
        return 0;
    if (dib.Compression != BI_RGB && dib.Compression != BI_BITFIELDS)
        return Refuse(ERROR_INVALID_PARAMETER);
    const int lines = int(std::min<long long>(std::llabs((long long)sourceHeight), INT_MAX));
    transfer.Fore = transfer.Back = RopIndex(rop);
    const bool usesSource = RopUsesSource(transfer.Fore);

    // The caller's memory, seen as a bitmap that is only ever read.
    TBitmapObj view;
    if (usesSource) {
        if (bits == nullptr)
            return Refuse(ERROR_INVALID_PARAMETER);
        const std::size_t stride = DibStride(dib.Width, dib.BitsPixel);
        const auto total = base::CheckedMul<std::size_t>(stride, std::size_t(dib.Height));
        if (stride == 0 || stride > std::size_t(LONG_MAX) || !total)
            return Refuse(ERROR_INVALID_PARAMETER);
        // A stated image size is the caller's word for how much memory holds the pixels; the
        // last row need not carry its padding.
        const std::size_t lastRow = (std::size_t(dib.Width) * std::size_t(dib.BitsPixel) + 7) / 8;
        if (dib.SizeImage != 0 && dib.SizeImage < *total - stride + lastRow)
            return Refuse(ERROR_INVALID_PARAMETER);
        view.Width = dib.Width;
        view.Height = dib.Height;
        view.BitsPixel = WORD(dib.BitsPixel);
        view.Stride = LONG(stride);
        view.TopDown = dib.TopDown;
        view.IsDib = true;
        view.Compression = dib.Compression;
        view.Masks = dib.Masks;
        view.ColorTable = std::move(dib.ColorTable);
        view.Header = dib.Header;
        view.Bits = const_cast<BYTE*>(static_cast<const BYTE*>(bits));
    }
    if (width == 0 || height == 0)
        return lines;
    if (usesSource && (sourceWidth == 0 || sourceHeight == 0))
        return Refuse(ERROR_INVALID_PARAMETER);
    PlaceDestination(transfer, x, y, width, height, usesSource);
    if (usesSource) {
        transfer.Source = &view;
        transfer.SX = sx;
        // Rows of a bottom-up image count from its bottom row: the rectangle that starts sy rows
        // above the bottom starts Height − sy − sourceHeight rows below the top.
        transfer.SY = dib.TopDown ? (long long)sy : (long long)dib.Height - sy - sourceHeight;
        transfer.SWidth = sourceWidth;
        transfer.SHeight = sourceHeight;
    }
    if (RopUsesPattern(transfer.Fore))
        transfer.Brush = SelectedBrush(*transfer.DestDC);
    return RunTransfer(transfer) ? lines : 0;
}

int FillRect(HDC dc, const RECT* rect, HBRUSH brush) {
    TLock lock(LayerMutex());
    TTransfer transfer;
    if (!BeginTransfer(dc, transfer))
        return 0;
    if (rect == nullptr)
        return Refuse(ERROR_INVALID_PARAMETER);
    // Small values name a system colour (index + 1); the handle table never issues them.
    TBrushObj systemBrush;
    const TBrushObj* fill = nullptr;
    const auto value = reinterpret_cast<std::uintptr_t>(brush);
    if (value >= 1 && value <= std::uintptr_t(kSysColorCount)) {
        systemBrush.Log = LOGBRUSH{BS_SOLID, State().SysColors[value - 1], 0};
        fill = &systemBrush;
    } else {
        fill = Lookup<TBrushObj>(brush);
        if (fill == nullptr)
            return 0;
    }
    if (rect->right <= rect->left || rect->bottom <= rect->top || fill->Log.lbStyle == BS_NULL)
        return 1;
    // Both corners are mapped; the engine normalises a rectangle the transforms turned over.
    PlaceDestination(transfer, rect->left, rect->top, (long long)rect->right - rect->left,
                     (long long)rect->bottom - rect->top, false);
    transfer.Fore = transfer.Back = RopIndex(PATCOPY);
    transfer.Brush = fill;
    return RunTransfer(transfer) ? 1 : 0;
}

COLORREF GetPixel(HDC dc, int x, int y) {
    TLock lock(LayerMutex());
    TTransfer transfer;
    if (!BeginTransfer(dc, transfer))
        return CLR_INVALID;
    const TBitmapObj& bitmap = *transfer.Dest;
    // A pixel outside the clip reads as CLR_INVALID, as the platform documents.
    const TDevicePoint at = DevicePoint(*transfer.DestDC, x, y);
    if (!TClipper(*transfer.DestDC, bitmap).Contains(at.X, at.Y)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return CLR_INVALID;
    }
    const TFormat format(bitmap);
    return format.Decode(ReadPixel(bitmap.Row(LONG(at.Y)), LONG(at.X), bitmap.BitsPixel));
}

COLORREF SetPixel(HDC dc, int x, int y, COLORREF color) {
    TLock lock(LayerMutex());
    TTransfer transfer;
    if (!BeginTransfer(dc, transfer))
        return CLR_INVALID;
    TBitmapObj& bitmap = *transfer.Dest;
    const TDevicePoint at = DevicePoint(*transfer.DestDC, x, y);
    if (!TClipper(*transfer.DestDC, bitmap).Contains(at.X, at.Y)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return CLR_INVALID;
    }
    TFormat format(bitmap);
    const DWORD value = format.Encode(ResolveColor(*transfer.DestDC, color));
    WritePixel(bitmap.Row(LONG(at.Y)), LONG(at.X), bitmap.BitsPixel, value);
    return format.Decode(value);
}

}  // namespace gdi
