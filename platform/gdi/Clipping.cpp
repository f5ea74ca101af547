// The context's clip: the clip region a program selects, the meta region beneath it, and their
// intersection, which every drawing call honours through the clip stage (Transfer.h). All three
// are kept in device coordinates.
#include "platform/gdi/Transfer.h"

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

int ClipRect(HDC handle, int left, int top, int right, int bottom, int mode) {
    TLock lock(LayerMutex());
    auto* dc = Lookup<TDCObj>(handle);
    if (dc == nullptr)
        return ERROR;
    const TRegion rect = TRegion::FromRect(std::min(left, right), std::min(top, bottom), std::max(left, right),
                                           std::max(top, bottom));
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
    if (dc == nullptr)
        return ERROR;
    if (!dc->ClipRgn)
        return SIMPLEREGION;
    TRegion moved = *dc->ClipRgn;
    if (!moved.Offset(x, y))
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
    *rect = visible.Bounds();
    return visible.Type();
}

int GetClipRgn(HDC dc, HRGN region) { return CopyOut(dc, region, &TDCObj::ClipRgn); }

int SetMetaRgn(HDC handle) {
    TLock lock(LayerMutex());
    auto* dc = Lookup<TDCObj>(handle);
    if (dc == nullptr)
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
    return TClipper(*dc, *surface).Contains(x, y) ? TRUE : FALSE;
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
    const TClip box{std::min<long long>(rect->left, rect->right), std::max<long long>(rect->left, rect->right),
                    std::min<long long>(rect->top, rect->bottom), std::max<long long>(rect->top, rect->bottom)};
    bool any = false;
    TClipper(*dc, *surface).ForEachRect(box, [&](const TClip&) { any = true; });
    return any ? TRUE : FALSE;
}

}  // namespace gdi
