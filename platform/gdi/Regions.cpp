// Region objects: their creation from rectangles, shapes and rectangle lists, their queries and
// combinations, and the painters that fill, frame and invert them through the clip stage.
#include "platform/gdi/Coordinates.h"
#include "platform/gdi/Recorder.h"
#include "platform/gdi/Transfer.h"

#include <climits>
#include <cmath>

namespace gdi {

using namespace detail;

namespace {

/// Work and memory of a scan conversion grow with its points; a count beyond this is refused
/// before any point is read.
constexpr long long kMaxPolygonPoints = 1LL << 24;

std::nullptr_t RefuseHandle(DWORD error) {
    SetLastError(error);
    return nullptr;
}

int RefuseRegion(DWORD error) {
    SetLastError(error);
    return ERROR;
}

BOOL Refuse(DWORD error) {
    SetLastError(error);
    return FALSE;
}

HRGN NewRegion(TRegion region) {
    auto object = std::make_unique<TRegionObj>();
    object->Region = std::move(region);
    return static_cast<HRGN>(Register(std::move(object)));
}

TRegion NormalisedRect(long long left, long long top, long long right, long long bottom) {
    return TRegion::FromRect(std::min(left, right), std::min(top, bottom), std::max(left, right),
                             std::max(top, bottom));
}

HRGN PolygonRegionHandle(const POINT* points, const std::vector<TPolygonRun>& runs, int fillMode) {
    TRegion region;
    if (!PolygonRegion(points, runs, fillMode, region))
        return nullptr;
    return NewRegion(std::move(region));
}

// A coordinate a transform produced, rounded to the nearest integer (halves away from zero);
// false when it does not fit 32 bits.
bool RoundCoordinate(double value, LONG& out) {
    if (!std::isfinite(value))
        return false;
    const double rounded = std::round(value);
    if (rounded < INT32_MIN || rounded > INT32_MAX)
        return false;
    out = LONG(rounded);
    return true;
}

// The rectangles of RGNDATA through a transform: scaling and translation move rectangles to
// rectangles; rotation and shear turn each into a quadrilateral, and the region is their union.
bool TransformRects(const XFORM& x, const std::vector<RECT>& rects, TRegion& result) {
    const auto map = [&x](LONG px, LONG py, POINT& out) {
        return RoundCoordinate(double(px) * x.eM11 + double(py) * x.eM21 + x.eDx, out.x) &&
               RoundCoordinate(double(px) * x.eM12 + double(py) * x.eM22 + x.eDy, out.y);
    };
    if (x.eM12 == 0 && x.eM21 == 0) {
        std::vector<RECT> moved;
        moved.reserve(rects.size());
        for (const RECT& r : rects) {
            POINT a, b;
            if (!map(r.left, r.top, a) || !map(r.right, r.bottom, b)) {
                SetLastError(ERROR_INVALID_PARAMETER);
                return false;
            }
            moved.push_back(RECT{std::min(a.x, b.x), std::min(a.y, b.y), std::max(a.x, b.x), std::max(a.y, b.y)});
        }
        if (!RegionFromRects(moved, result)) {
            SetLastError(ERROR_NOT_ENOUGH_MEMORY);
            return false;
        }
        return true;
    }
    // One transform turns every rectangle the same way round, so their quadrilaterals never
    // cancel under WINDING, and rectangles that do not overlap never count twice.
    std::vector<POINT> corners;
    std::vector<TPolygonRun> runs;
    corners.reserve(4 * rects.size());
    for (const RECT& r : rects) {
        POINT p[4];
        if (!map(r.left, r.top, p[0]) || !map(r.right, r.top, p[1]) || !map(r.right, r.bottom, p[2]) ||
            !map(r.left, r.bottom, p[3])) {
            SetLastError(ERROR_INVALID_PARAMETER);
            return false;
        }
        runs.push_back(TPolygonRun{corners.size(), 4});
        corners.insert(corners.end(), p, p + 4);
    }
    return PolygonRegion(corners.data(), runs, WINDING, result);
}


// Paints every rectangle of a region (device coordinates) through the fill stage.
bool PaintRegion(TDCObj& dc, const TRegion& region, const TBrushObj* brush, unsigned rop) {
    TBitmapObj* surface = SurfaceOf(dc);
    if (surface == nullptr)
        return false;
    TFillStage stage(dc, *surface, brush, rop);
    // The painters take the region in logical coordinates: each rectangle is mapped as a
    // rectangle is (a rotating transform covers its bounding box).
    for (const RECT& r : region.Rects()) {
        const TDeviceRect d = DeviceRect(dc, r.left, r.top, (long long)r.right - r.left, (long long)r.bottom - r.top);
        stage.Box(TClip{std::min(d.X, d.X + d.Width), std::max(d.X, d.X + d.Width), std::min(d.Y, d.Y + d.Height),
                        std::max(d.Y, d.Y + d.Height)});
    }
    return true;
}

// The context and region of a painter; false with the last error set.
bool PainterArguments(HDC handle, HRGN region, TDCObj*& dc, TRegionObj*& target) {
    dc = Lookup<TDCObj>(handle);
    if (dc == nullptr)
        return false;
    target = Lookup<TRegionObj>(region);
    return target != nullptr;
}

// The same with the brush of FillRgn and FrameRgn: null for the null brush, which paints nothing.
bool PainterArguments(HDC handle, HRGN region, HBRUSH brush, TDCObj*& dc, TRegionObj*& target,
                      const TBrushObj*& fill) {
    if (!PainterArguments(handle, region, dc, target))
        return false;
    auto* object = Lookup<TBrushObj>(brush);
    if (object == nullptr)
        return false;
    fill = object->Log.lbStyle == BS_NULL ? nullptr : object;
    return true;
}

}  // namespace

HRGN CreateRectRgn(int left, int top, int right, int bottom) {
    TLock lock(LayerMutex());
    return NewRegion(NormalisedRect(left, top, right, bottom));
}

HRGN CreateRectRgnIndirect(const RECT* rect) {
    TLock lock(LayerMutex());
    if (rect == nullptr)
        return RefuseHandle(ERROR_INVALID_PARAMETER);
    return NewRegion(NormalisedRect(rect->left, rect->top, rect->right, rect->bottom));
}

HRGN CreateRoundRectRgn(int left, int top, int right, int bottom, int width, int height) {
    TLock lock(LayerMutex());
    TRegion region;
    if (!RoundRectRegion(left, top, right, bottom, width, height, region))
        return nullptr;
    return NewRegion(std::move(region));
}

HRGN CreateEllipticRgn(int left, int top, int right, int bottom) {
    TLock lock(LayerMutex());
    TRegion region;
    if (!EllipseRegion(left, top, right, bottom, region))
        return nullptr;
    return NewRegion(std::move(region));
}

HRGN CreateEllipticRgnIndirect(const RECT* rect) {
    if (rect == nullptr) {
        TLock lock(LayerMutex());
        return RefuseHandle(ERROR_INVALID_PARAMETER);
    }
    return CreateEllipticRgn(rect->left, rect->top, rect->right, rect->bottom);
}

HRGN CreatePolygonRgn(const POINT* points, int count, int fillMode) {
    TLock lock(LayerMutex());
    if (points == nullptr || count <= 0 || (fillMode != ALTERNATE && fillMode != WINDING))
        return RefuseHandle(ERROR_INVALID_PARAMETER);
    if (count > kMaxPolygonPoints)
        return RefuseHandle(ERROR_NOT_ENOUGH_MEMORY);
    return PolygonRegionHandle(points, {TPolygonRun{0, std::size_t(count)}}, fillMode);
}

HRGN CreatePolyPolygonRgn(const POINT* points, const INT* counts, int polygons, int fillMode) {
    TLock lock(LayerMutex());
    if (points == nullptr || counts == nullptr || polygons <= 0 || (fillMode != ALTERNATE && fillMode != WINDING))
        return RefuseHandle(ERROR_INVALID_PARAMETER);
    if (polygons > kMaxPolygonPoints)
        return RefuseHandle(ERROR_NOT_ENOUGH_MEMORY);
    std::vector<TPolygonRun> runs;
    runs.reserve(std::size_t(polygons));
    long long total = 0;
    for (int i = 0; i < polygons; ++i) {
        if (counts[i] <= 0)
            return RefuseHandle(ERROR_INVALID_PARAMETER);
        runs.push_back(TPolygonRun{std::size_t(total), std::size_t(counts[i])});
        total += counts[i];
        if (total > kMaxPolygonPoints)
            return RefuseHandle(ERROR_NOT_ENOUGH_MEMORY);
    }
    return PolygonRegionHandle(points, runs, fillMode);
}

HRGN ExtCreateRegion(const XFORM* transform, DWORD count, const RGNDATA* data) {
    TLock lock(LayerMutex());
    if (data == nullptr || count < sizeof(RGNDATAHEADER))
        return RefuseHandle(ERROR_INVALID_PARAMETER);
    const RGNDATAHEADER& header = data->rdh;
    if (header.dwSize < sizeof(RGNDATAHEADER) || header.dwSize > count || header.iType != RDH_RECTANGLES)
        return RefuseHandle(ERROR_INVALID_PARAMETER);
    // The rectangles follow the header and must lie within the count bytes the caller gave.
    const std::uint64_t needed = std::uint64_t(header.dwSize) + std::uint64_t(header.nCount) * sizeof(RECT);
    if (needed > count)
        return RefuseHandle(ERROR_INVALID_PARAMETER);
    if (header.nCount > kMaxRegionRects)
        return RefuseHandle(ERROR_NOT_ENOUGH_MEMORY);
    std::vector<RECT> rects(header.nCount);
    if (!rects.empty())
        std::memcpy(rects.data(), reinterpret_cast<const BYTE*>(data) + header.dwSize, rects.size() * sizeof(RECT));
    for (RECT& r : rects) {
        // A rectangle given with its corners swapped covers the same pixels.
        if (r.left > r.right)
            std::swap(r.left, r.right);
        if (r.top > r.bottom)
            std::swap(r.top, r.bottom);
    }
    TRegion region;
    const bool identity = transform == nullptr ||
                          (transform->eM11 == 1 && transform->eM12 == 0 && transform->eM21 == 0 &&
                           transform->eM22 == 1 && transform->eDx == 0 && transform->eDy == 0);
    if (identity) {
        if (!RegionFromRects(rects, region))
            return RefuseHandle(ERROR_NOT_ENOUGH_MEMORY);
    } else if (!TransformRects(*transform, rects, region)) {
        return nullptr;
    }
    return NewRegion(std::move(region));
}

DWORD GetRegionData(HRGN handle, DWORD count, RGNDATA* data) {
    TLock lock(LayerMutex());
    auto* target = Lookup<TRegionObj>(handle);
    if (target == nullptr)
        return 0;
    const std::vector<RECT>& rects = target->Region.Rects();
    // At most kMaxRegionRects rectangles, so the size fits 32 bits.
    const DWORD bytes = DWORD(sizeof(RGNDATAHEADER) + rects.size() * sizeof(RECT));
    if (data == nullptr)
        return bytes;
    if (count < bytes) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    data->rdh = RGNDATAHEADER{sizeof(RGNDATAHEADER), RDH_RECTANGLES, DWORD(rects.size()),
                              DWORD(rects.size() * sizeof(RECT)), target->Region.Bounds()};
    if (!rects.empty())
        std::memcpy(reinterpret_cast<BYTE*>(data) + sizeof(RGNDATAHEADER), rects.data(), rects.size() * sizeof(RECT));
    return bytes;
}

int CombineRgn(HRGN dest, HRGN source1, HRGN source2, int mode) {
    TLock lock(LayerMutex());
    auto* target = Lookup<TRegionObj>(dest);
    auto* a = target != nullptr ? Lookup<TRegionObj>(source1) : nullptr;
    if (a == nullptr)
        return ERROR;
    if (mode < RGN_MIN || mode > RGN_MAX)
        return RefuseRegion(ERROR_INVALID_PARAMETER);
    if (mode == RGN_COPY) {
        target->Region = a->Region;
        return target->Region.Type();
    }
    auto* b = Lookup<TRegionObj>(source2);
    if (b == nullptr)
        return ERROR;
    // The result is built apart from the operands, so the destination may be either of them.
    TRegion result;
    if (!CombineRegions(a->Region, b->Region, mode, result))
        return RefuseRegion(ERROR_NOT_ENOUGH_MEMORY);
    target->Region = std::move(result);
    return target->Region.Type();
}

BOOL EqualRgn(HRGN first, HRGN second) {
    TLock lock(LayerMutex());
    auto* a = Lookup<TRegionObj>(first);
    auto* b = a != nullptr ? Lookup<TRegionObj>(second) : nullptr;
    if (b == nullptr)
        return ERROR;
    return a->Region == b->Region ? TRUE : FALSE;
}

int OffsetRgn(HRGN handle, int x, int y) {
    TLock lock(LayerMutex());
    auto* target = Lookup<TRegionObj>(handle);
    if (target == nullptr)
        return ERROR;
    if (!target->Region.Offset(x, y))
        return RefuseRegion(ERROR_INVALID_PARAMETER);
    return target->Region.Type();
}

BOOL SetRectRgn(HRGN handle, int left, int top, int right, int bottom) {
    TLock lock(LayerMutex());
    auto* target = Lookup<TRegionObj>(handle);
    if (target == nullptr)
        return FALSE;
    target->Region = NormalisedRect(left, top, right, bottom);
    return TRUE;
}

BOOL PtInRegion(HRGN handle, int x, int y) {
    TLock lock(LayerMutex());
    auto* target = Lookup<TRegionObj>(handle);
    return target != nullptr && target->Region.Contains(x, y) ? TRUE : FALSE;
}

BOOL RectInRegion(HRGN handle, const RECT* rect) {
    TLock lock(LayerMutex());
    auto* target = Lookup<TRegionObj>(handle);
    if (target == nullptr)
        return FALSE;
    if (rect == nullptr)
        return Refuse(ERROR_INVALID_PARAMETER);
    return target->Region.Intersects(std::min(rect->left, rect->right), std::min(rect->top, rect->bottom),
                                     std::max(rect->left, rect->right), std::max(rect->top, rect->bottom))
               ? TRUE
               : FALSE;
}

int GetRgnBox(HRGN handle, RECT* rect) {
    TLock lock(LayerMutex());
    auto* target = Lookup<TRegionObj>(handle);
    if (target == nullptr)
        return ERROR;
    if (rect == nullptr)
        return RefuseRegion(ERROR_INVALID_PARAMETER);
    *rect = target->Region.Bounds();
    return target->Region.Type();
}

BOOL FillRgn(HDC handle, HRGN region, HBRUSH brush) {
    TLock lock(LayerMutex());
    TDCObj* dc;
    TRegionObj* target;
    const TBrushObj* fill;
    if (!PainterArguments(handle, region, brush, dc, target, fill) ||
        (Recording(*dc) && !RecordRegionPaint(*dc, EMR_FILLRGN, target->Region, brush)))
        return FALSE;
    return PaintRegion(*dc, target->Region, fill, RopIndex(PATCOPY)) ? TRUE : FALSE;
}

BOOL FrameRgn(HDC handle, HRGN region, HBRUSH brush, int width, int height) {
    TLock lock(LayerMutex());
    TDCObj* dc;
    TRegionObj* target;
    const TBrushObj* fill;
    if (!PainterArguments(handle, region, brush, dc, target, fill))
        return FALSE;
    if (width < 0 || height < 0)
        return Refuse(ERROR_INVALID_PARAMETER);
    if (Recording(*dc) && !RecordRegionPaint(*dc, EMR_FRAMERGN, target->Region, brush, width, height))
        return FALSE;
    // The frame is what the region loses when every pixel needs width pixels of the region
    // left and right of it and height pixels above and below.
    TRegion inner, frame;
    if (!ErodeRegion(target->Region, width, height, inner) ||
        !CombineRegions(target->Region, inner, RGN_DIFF, frame))
        return Refuse(ERROR_NOT_ENOUGH_MEMORY);
    return PaintRegion(*dc, frame, fill, RopIndex(PATCOPY)) ? TRUE : FALSE;
}

BOOL InvertRgn(HDC handle, HRGN region) {
    TLock lock(LayerMutex());
    TDCObj* dc;
    TRegionObj* target;
    if (!PainterArguments(handle, region, dc, target) ||
        (Recording(*dc) && !RecordRegionPaint(*dc, EMR_INVERTRGN, target->Region)))
        return FALSE;
    return PaintRegion(*dc, target->Region, nullptr, RopIndex(DSTINVERT)) ? TRUE : FALSE;
}

BOOL PaintRgn(HDC handle, HRGN region) {
    TLock lock(LayerMutex());
    TDCObj* dc;
    TRegionObj* target;
    if (!PainterArguments(handle, region, dc, target) ||
        (Recording(*dc) && !RecordRegionPaint(*dc, EMR_PAINTRGN, target->Region)))
        return FALSE;
    return PaintRegion(*dc, target->Region, SelectedBrush(*dc), Rop2ToRop3(dc->Rop2)) ? TRUE : FALSE;
}

}  // namespace gdi
