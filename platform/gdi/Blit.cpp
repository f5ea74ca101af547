// The transfer calls and the single-pixel calls: they check handles and parameters, find the
// bitmaps the contexts draw on, turn logical coordinates into device pixels and hand the rest to
// the transfer engine.
#include "platform/base/CheckedMath.h"
#include "platform/gdi/BlitCalls.h"
#include "platform/gdi/Coordinates.h"
#include "platform/gdi/Recorder.h"

#include <algorithm>
#include <climits>
#include <cstdlib>

namespace gdi {

using namespace detail;

namespace detail {

BOOL RefuseCall(DWORD error) {
    SetLastError(error);
    return FALSE;
}

const TBrushObj* SelectedBrush(const TDCObj& dc) {
    TObject* object = Find(dc.Brush);
    if (object == nullptr || object->Kind != TKind::Brush)
        return nullptr;
    auto* brush = static_cast<TBrushObj*>(object);
    return brush->Log.lbStyle == BS_NULL ? nullptr : brush;
}

bool BeginTransfer(HDC dc, TTransfer& transfer) {
    transfer.DestDC = Lookup<TDCObj>(dc);
    if (transfer.DestDC == nullptr)
        return false;
    transfer.Dest = SurfaceOf(*transfer.DestDC);
    return transfer.Dest != nullptr;
}

bool AttachSource(HDC source, TTransfer& transfer) {
    auto* dc = Lookup<TDCObj>(source);
    if (dc == nullptr)
        return false;
    if (Recording(*dc)) {
        // A metafile keeps records, not pixels a transfer could read.
        SetLastError(ERROR_INVALID_PARAMETER);
        return false;
    }
    transfer.Source = SurfaceOf(*dc);
    transfer.SourceDC = dc;
    return transfer.Source != nullptr;
}

namespace {

// A blit counts a negative extent from the pixel at its start: the rectangle covers
// start + extent + 1 … start, as measured on the platform, one pixel further on than the edge
// rule of fills. The sign that counts is the one before a layout's mirror, which maps pixels and
// moves the start the other way.
void CountFromStart(TDeviceRect& rect) {
    const bool mirrored = rect.Mirrored;
    if ((mirrored ? -rect.Width : rect.Width) < 0)
        rect.X += mirrored ? -1 : 1;
    if (rect.Height < 0)
        rect.Y += 1;
}

// A corner (an edge point, not a pixel) in device coordinates: a layout mirrors edges e → width − e.
void DeviceCorner(const TDCObj& dc, long long x, long long y, long long& dx, long long& dy) {
    ToDevice(dc, x, y, dx, dy);
    if (dc.Layout & LAYOUT_RTL)
        dx = LayoutWidth(dc) - dx;
    dx = std::clamp(dx, -kDeviceLimit, kDeviceLimit);
    dy = std::clamp(dy, -kDeviceLimit, kDeviceLimit);
}

}  // namespace

void PlaceDestination(TTransfer& transfer, long long x, long long y, long long width, long long height, bool image) {
    TDeviceRect rect = DeviceRect(*transfer.DestDC, x, y, width, height);
    if (image)
        CountFromStart(rect);
    if (image && (transfer.DestDC->Layout & LAYOUT_BITMAPORIENTATIONPRESERVED))
        KeepOrientation(rect);
    transfer.X = rect.X;
    transfer.Y = rect.Y;
    transfer.Width = rect.Width;
    transfer.Height = rect.Height;
}

bool PlaceSource(TTransfer& transfer, long long x, long long y, long long width, long long height, bool& empty) {
    const TDCObj& source = *transfer.SourceDC;
    if (WorldRotates(source)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return false;
    }
    TDeviceRect rect = DeviceRect(source, x, y, width, height);
    CountFromStart(rect);
    transfer.SX = rect.X;
    transfer.SY = rect.Y;
    transfer.SWidth = rect.Width;
    transfer.SHeight = rect.Height;
    empty = rect.Width == 0 || rect.Height == 0;
    return true;
}

bool RunTurnedTransfer(const TTransfer& transfer, long long x, long long y, long long width, long long height) {
    const TDCObj& dc = *transfer.DestDC;
    long long x0, y0, x1, y1, x2, y2;
    DeviceCorner(dc, x, y, x0, y0);
    DeviceCorner(dc, x + width, y, x1, y1);
    DeviceCorner(dc, x, y + height, x2, y2);
    return RunParallelogram(transfer, TParallelogram{x0, y0, x1 - x0, y1 - y0, x2 - x0, y2 - y0});
}

}  // namespace detail

namespace {

BOOL Refuse(DWORD error) { return RefuseCall(error); }

BOOL StretchTransfer(HDC dest, int x, int y, int width, int height, HDC source, int sx, int sy, int sourceWidth,
                     int sourceHeight, DWORD rop, bool stretch) {
    TTransfer transfer;
    if (!BeginTransfer(dest, transfer))
        return FALSE;
    if (Recording(*transfer.DestDC) && !RecordBlt(*transfer.DestDC, x, y, width, height, source, sx, sy, sourceWidth,
                                                  sourceHeight, rop, stretch))
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
    if (WorldRotates(*transfer.DestDC))
        return RunTurnedTransfer(transfer, x, y, width, height) ? TRUE : FALSE;
    return RunTransfer(transfer) ? TRUE : FALSE;
}

}  // namespace

BOOL BitBlt(HDC dest, int x, int y, int width, int height, HDC source, int sx, int sy, DWORD rop) {
    TLock lock(LayerMutex());
    return StretchTransfer(dest, x, y, width, height, source, sx, sy, width, height, rop, false);
}

BOOL StretchBlt(HDC dest, int x, int y, int width, int height, HDC source, int sx, int sy, int sourceWidth,
                int sourceHeight, DWORD rop) {
    TLock lock(LayerMutex());
    return StretchTransfer(dest, x, y, width, height, source, sx, sy, sourceWidth, sourceHeight, rop, true);
}

BOOL PatBlt(HDC dc, int x, int y, int width, int height, DWORD rop) {
    TLock lock(LayerMutex());
    TTransfer transfer;
    if (!BeginTransfer(dc, transfer))
        return FALSE;
    transfer.Fore = transfer.Back = RopIndex(rop);
    if (RopUsesSource(transfer.Fore))
        return Refuse(ERROR_INVALID_PARAMETER);
    if (Recording(*transfer.DestDC) && !RecordBlt(*transfer.DestDC, x, y, width, height, nullptr, 0, 0, 0, 0, rop, false))
        return FALSE;
    PlaceDestination(transfer, x, y, width, height, false);
    if (RopUsesPattern(transfer.Fore))
        transfer.Brush = SelectedBrush(*transfer.DestDC);
    if (WorldRotates(*transfer.DestDC))
        return RunTurnedTransfer(transfer, x, y, width, height) ? TRUE : FALSE;
    return RunTransfer(transfer) ? TRUE : FALSE;
}

BOOL MaskBlt(HDC dest, int x, int y, int width, int height, HDC source, int sx, int sy, HBITMAP mask, int mx,
             int my, DWORD rop) {
    TLock lock(LayerMutex());
    if (mask == nullptr)
        return StretchTransfer(dest, x, y, width, height, source, sx, sy, width, height, rop, false);
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
    if (Recording(*transfer.DestDC) &&
        !RecordMaskBlt(*transfer.DestDC, x, y, width, height, source, sx, sy, *maskBitmap, mx, my, rop))
        return FALSE;
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
    if (WorldRotates(*transfer.DestDC)) {
        // Turned, the mask lies over the source rectangle from the corner the caller named.
        transfer.MX = maskColumns.Start;
        transfer.MY = maskRows.Start;
        if (!usesSource) {
            transfer.SX = 0, transfer.SY = 0, transfer.SWidth = width, transfer.SHeight = height;
        }
        return RunTurnedTransfer(transfer, x, y, width, height) ? TRUE : FALSE;
    }
    return RunTransfer(transfer) ? TRUE : FALSE;
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
    if (Recording(*transfer.DestDC) && fill != &systemBrush) {
        // Recorded as the platform's own FillRect makes it: the brush selected for a PATCOPY.
        TDCObj& dc = *transfer.DestDC;
        TObject* previous = Find(dc.Brush);
        if (previous == nullptr || !RecordSelect(dc, brush, *const_cast<TBrushObj*>(fill)) ||
            !RecordBlt(dc, rect->left, rect->top, rect->right - rect->left, rect->bottom - rect->top, nullptr, 0, 0, 0,
                       0, PATCOPY, false) ||
            !RecordSelect(dc, dc.Brush, *previous))
            return 0;
    }
    // Both corners are mapped; the engine normalises a rectangle the transforms turned over.
    const long long width = (long long)rect->right - rect->left, height = (long long)rect->bottom - rect->top;
    PlaceDestination(transfer, rect->left, rect->top, width, height, false);
    transfer.Fore = transfer.Back = RopIndex(PATCOPY);
    transfer.Brush = fill;
    if (WorldRotates(*transfer.DestDC))
        return RunTurnedTransfer(transfer, rect->left, rect->top, width, height) ? 1 : 0;
    return RunTransfer(transfer) ? 1 : 0;
}

COLORREF GetPixel(HDC dc, int x, int y) {
    TLock lock(LayerMutex());
    TTransfer transfer;
    if (!BeginTransfer(dc, transfer))
        return CLR_INVALID;
    if (Recording(*transfer.DestDC)) {
        // A metafile keeps records, not pixels.
        SetLastError(ERROR_INVALID_PARAMETER);
        return CLR_INVALID;
    }
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
    // A recording context has no pixel to read back: the colour asked for is the answer.
    if (Recording(*transfer.DestDC))
        return RecordPixel(*transfer.DestDC, x, y, color) ? color : CLR_INVALID;
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

BOOL SetPixelV(HDC dc, int x, int y, COLORREF color) { return SetPixel(dc, x, y, color) != CLR_INVALID ? TRUE : FALSE; }

COLORREF GetNearestColor(HDC dc, COLORREF color) {
    TLock lock(LayerMutex());
    TTransfer transfer;
    if (!BeginTransfer(dc, transfer))
        return CLR_INVALID;
    TFormat format(*transfer.Dest);
    return format.Decode(format.Encode(ResolveColor(*transfer.DestDC, color)));
}

BOOL PlgBlt(HDC dest, const POINT* points, HDC source, int sx, int sy, int width, int height, HBITMAP mask, int mx,
            int my) {
    TLock lock(LayerMutex());
    TTransfer transfer;
    if (!BeginTransfer(dest, transfer) || !AttachSource(source, transfer))
        return FALSE;
    if (points == nullptr)
        return Refuse(ERROR_INVALID_PARAMETER);
    if (mask != nullptr) {
        transfer.Mask = Lookup<TBitmapObj>(mask);
        if (transfer.Mask == nullptr)
            return FALSE;
        if (transfer.Mask->BitsPixel != 1)
            return Refuse(ERROR_INVALID_PARAMETER);
        transfer.MX = mx;
        transfer.MY = my;
    }
    if (Recording(*transfer.DestDC) &&
        !RecordPlgBlt(*transfer.DestDC, points, source, sx, sy, width, height, transfer.Mask, mx, my))
        return FALSE;
    if (width == 0 || height == 0)
        return TRUE;
    // The source's transforms place its rectangle as for any blit; the three points go through
    // the destination's, rotation included, which is what the call is for.
    bool empty = false;
    if (!PlaceSource(transfer, sx, sy, width, height, empty))
        return FALSE;
    if (empty)
        return TRUE;
    const TDCObj& dc = *transfer.DestDC;
    long long corner[3][2];
    for (int i = 0; i < 3; ++i) {
        ToDevice(dc, points[i].x, points[i].y, corner[i][0], corner[i][1]);
        if (dc.Layout & LAYOUT_RTL)
            corner[i][0] = LayoutWidth(dc) - corner[i][0];
        corner[i][0] = std::clamp(corner[i][0], -kDeviceLimit, kDeviceLimit);
        corner[i][1] = std::clamp(corner[i][1], -kDeviceLimit, kDeviceLimit);
    }
    transfer.Fore = RopIndex(SRCCOPY);
    transfer.Back = 0xAA;  // where the mask is 0 the destination stays
    const TParallelogram shape{corner[0][0], corner[0][1], corner[1][0] - corner[0][0], corner[1][1] - corner[0][1],
                               corner[2][0] - corner[0][0], corner[2][1] - corner[0][1]};
    return RunParallelogram(transfer, shape) ? TRUE : FALSE;
}

}  // namespace gdi
