// The context's clip: the clip region a program selects, the meta region beneath it, and their
// intersection, which every drawing call honours through the clip stage (Transfer.h). All three
// are kept in device coordinates; the calls that take or give logical coordinates convert them
// at their entry (Coordinates.h).
#include "platform/gdi/Coordinates.h"
#include "platform/gdi/Recorder.h"
#include "platform/gdi/Transfer.h"

#include <algorithm>
#include <climits>

namespace gdi::detail {
namespace {

int RefuseRegion(DWORD error) {
    SetLastError(error);
    return ERROR;
}

// Installs new clip and meta regions once their intersection is known to fit.
bool Commit(TDCObj& dc, std::optional<TRegion> clip, std::optional<TRegion> meta) {
    std::optional<TRegion> both;
    if (clip && meta) {
        TRegion common;
        if (!CombineRegions(*clip, *meta, RGN_AND, common)) {
            SetLastError(ERROR_NOT_ENOUGH_MEMORY);
            return false;
        }
        both = std::move(common);
    } else if (clip) {
        both = clip;
    } else if (meta) {
        both = meta;
    }
    dc.ClipRgn = std::move(clip);
    dc.MetaRgn = std::move(meta);
    dc.Clip = std::move(both);
    return true;
}

// The type the clip calls report: that of the clip in force, or a simple region (the whole
// surface) when there is none.
int ClipType(const TDCObj& dc) { return dc.Clip ? dc.Clip->Type() : SIMPLEREGION; }

TRegion SurfaceRegion(const TBitmapObj& surface) { return TRegion::FromRect(0, 0, surface.Width, surface.Height); }

}  // namespace

int CombineClip(TDCObj& dc, const TRegion* region, int mode) {
    if (mode < RGN_MIN || mode > RGN_MAX)
        return RefuseRegion(ERROR_INVALID_PARAMETER);
    std::optional<TRegion> next;
    if (region == nullptr) {
        if (mode != RGN_COPY)
            return RefuseRegion(ERROR_INVALID_PARAMETER);
    } else if (mode == RGN_COPY || (mode == RGN_AND && !dc.ClipRgn)) {
        next = *region;
    } else {
        // Without a clip region the whole surface may be drawn on, so that is what the region
        // is combined with.
        TRegion current;
        if (dc.ClipRgn) {
            current = *dc.ClipRgn;
        } else {
            const TBitmapObj* surface = SurfaceOf(dc);
            if (surface == nullptr)
                return ERROR;
            current = SurfaceRegion(*surface);
        }
        TRegion combined;
        if (!CombineRegions(current, *region, mode, combined))
            return RefuseRegion(ERROR_NOT_ENOUGH_MEMORY);
        next = std::move(combined);
    }
    if (!Commit(dc, std::move(next), dc.MetaRgn))
        return ERROR;
    return ClipType(dc);
}

}  // namespace gdi::detail

namespace gdi {

using namespace detail;

namespace {

// A logical rectangle as the device pixels it covers, right and bottom edges excluded.
TClip DeviceBox(const TDCObj& dc, long long left, long long top, long long right, long long bottom) {
    const TDeviceRect r = DeviceRect(dc, left, top, right - left, bottom - top);
    return TClip{std::min(r.X, r.X + r.Width), std::max(r.X, r.X + r.Width), std::min(r.Y, r.Y + r.Height),
                 std::max(r.Y, r.Y + r.Height)};
}

int ClipRect(HDC handle, int left, int top, int right, int bottom, int mode) {
    TLock lock(LayerMutex());
    auto* dc = Lookup<TDCObj>(handle);
    if (dc == nullptr ||
        (Recording(*dc) &&
         !RecordClipRect(*dc, mode == RGN_AND ? EMR_INTERSECTCLIPRECT : EMR_EXCLUDECLIPRECT, left, top, right, bottom)))
        return ERROR;
    const TClip box = DeviceBox(*dc, left, top, right, bottom);
    // Device coordinates are held within ±2^30, so they fit the region's 32-bit rectangles.
    const TRegion rect = TRegion::FromRect(int(box.X0), int(box.Y0), int(box.X1), int(box.Y1));
    return CombineClip(*dc, &rect, mode);
}

// Copies a region of the context into the caller's region: 1, 0 when the context has none (the
// caller's region is left alone), −1 for bad handles.
int CopyOut(HDC handle, HRGN region, std::optional<TRegion> TDCObj::*which) {
    TLock lock(LayerMutex());
    auto* dc = Lookup<TDCObj>(handle);
    if (dc == nullptr)
        return -1;
    auto* target = Lookup<TRegionObj>(region);
    if (target == nullptr)
        return -1;
    if (!(dc->*which))
        return 0;
    target->Region = *(dc->*which);
    return 1;
}

}  // namespace

int SelectClipRgn(HDC dc, HRGN region) { return ExtSelectClipRgn(dc, region, RGN_COPY); }

int ExtSelectClipRgn(HDC handle, HRGN region, int mode) {
    TLock lock(LayerMutex());
    auto* dc = Lookup<TDCObj>(handle);
    if (dc == nullptr)
        return ERROR;
    const TRegion* source = nullptr;
    if (region != nullptr) {
        auto* object = Lookup<TRegionObj>(region);
        if (object == nullptr)
            return ERROR;
        source = &object->Region;
    }
    if (Recording(*dc) && mode >= RGN_MIN && mode <= RGN_MAX && !RecordClipRegion(*dc, source, mode))
        return ERROR;
    return CombineClip(*dc, source, mode);
}

int IntersectClipRect(HDC dc, int left, int top, int right, int bottom) {
    return ClipRect(dc, left, top, right, bottom, RGN_AND);
}

int ExcludeClipRect(HDC dc, int left, int top, int right, int bottom) {
    return ClipRect(dc, left, top, right, bottom, RGN_DIFF);
}

int OffsetClipRgn(HDC handle, int x, int y) {
    TLock lock(LayerMutex());
    auto* dc = Lookup<TDCObj>(handle);
    if (dc == nullptr || (Recording(*dc) && !RecordPoint(*dc, EMR_OFFSETCLIPRGN, x, y)))
        return ERROR;
    if (!dc->ClipRgn)
        return SIMPLEREGION;
    // The offset is logical: the device distance between the two points it separates.
    long long x0 = 0, y0 = 0, x1 = 0, y1 = 0;
    ToDevice(*dc, 0, 0, x0, y0);
    ToDevice(*dc, x, y, x1, y1);
    const long long dx = (dc->Layout & LAYOUT_RTL) ? x0 - x1 : x1 - x0, dy = y1 - y0;
    TRegion moved = *dc->ClipRgn;
    if (dx < INT_MIN || dx > INT_MAX || dy < INT_MIN || dy > INT_MAX || !moved.Offset(int(dx), int(dy)))
        return RefuseRegion(ERROR_INVALID_PARAMETER);
    return CombineClip(*dc, &moved, RGN_COPY);
}

int GetClipBox(HDC handle, RECT* rect) {
    TLock lock(LayerMutex());
    auto* dc = Lookup<TDCObj>(handle);
    if (dc == nullptr)
        return ERROR;
    if (rect == nullptr)
        return RefuseRegion(ERROR_INVALID_PARAMETER);
    const TBitmapObj* surface = SurfaceOf(*dc);
    if (surface == nullptr)
        return ERROR;
    TRegion visible = SurfaceRegion(*surface);
    if (dc->Clip && !CombineRegions(*dc->Clip, TRegion(visible), RGN_AND, visible))
        return RefuseRegion(ERROR_NOT_ENOUGH_MEMORY);
    // The box is reported in logical coordinates: the layout's mirror undone, then the transforms.
    RECT box = visible.Bounds();
    if (dc->Layout & LAYOUT_RTL) {
        const LONG width = LayoutWidth(*dc);
        box = RECT{width - box.right, box.top, width - box.left, box.bottom};
    }
    long long x0 = 0, y0 = 0, x1 = 0, y1 = 0;
    ToLogical(*dc, box.left, box.top, x0, y0);
    ToLogical(*dc, box.right, box.bottom, x1, y1);
    const auto clamp = [](long long v) { return LONG(std::clamp<long long>(v, INT_MIN, INT_MAX)); };
    *rect = RECT{clamp(std::min(x0, x1)), clamp(std::min(y0, y1)), clamp(std::max(x0, x1)), clamp(std::max(y0, y1))};
    return visible.Type();
}

int GetClipRgn(HDC dc, HRGN region) { return CopyOut(dc, region, &TDCObj::ClipRgn); }

int SetMetaRgn(HDC handle) {
    TLock lock(LayerMutex());
    auto* dc = Lookup<TDCObj>(handle);
    if (dc == nullptr || (Recording(*dc) && !RecordBare(*dc, EMR_SETMETARGN)))
        return ERROR;
    if (dc->ClipRgn) {
        // The clip in force becomes the meta region, and the clip region starts afresh.
        if (!Commit(*dc, std::nullopt, dc->Clip))
            return ERROR;
    }
    return ClipType(*dc);
}

int GetMetaRgn(HDC dc, HRGN region) {
    const int result = CopyOut(dc, region, &TDCObj::MetaRgn);
    return result < 0 ? 0 : result;
}

int GetRandomRgn(HDC handle, HRGN region, INT which) {
    TLock lock(LayerMutex());
    auto* dc = Lookup<TDCObj>(handle);
    if (dc == nullptr)
        return -1;
    auto* target = Lookup<TRegionObj>(region);
    if (target == nullptr)
        return -1;
    if (which != SYSRGN) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return -1;
    }
    // The layer has no windows: the system region of every context is its whole surface,
    // whose origin is the screen's.
    const TBitmapObj* surface = SurfaceOf(*dc);
    if (surface == nullptr)
        return -1;
    target->Region = SurfaceRegion(*surface);
    return 1;
}

BOOL PtVisible(HDC handle, int x, int y) {
    TLock lock(LayerMutex());
    auto* dc = Lookup<TDCObj>(handle);
    if (dc == nullptr)
        return -1;
    const TBitmapObj* surface = SurfaceOf(*dc);
    if (surface == nullptr)
        return -1;
    const TDevicePoint at = DevicePoint(*dc, x, y);
    return TClipper(*dc, *surface).Contains(at.X, at.Y) ? TRUE : FALSE;
}

BOOL RectVisible(HDC handle, const RECT* rect) {
    TLock lock(LayerMutex());
    auto* dc = Lookup<TDCObj>(handle);
    if (dc == nullptr)
        return FALSE;
    if (rect == nullptr) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    const TBitmapObj* surface = SurfaceOf(*dc);
    if (surface == nullptr)
        return FALSE;
    const TClip box = DeviceBox(*dc, rect->left, rect->top, rect->right, rect->bottom);
    bool any = false;
    TClipper(*dc, *surface).ForEachRect(box, [&](const TClip&) { any = true; });
    return any ? TRUE : FALSE;
}

}  // namespace gdi
