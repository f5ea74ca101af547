// Device contexts, selection and the objects' common calls.
#include "platform/gdi/Coordinates.h"
#include "platform/gdi/Recorder.h"

#include <cassert>
#include <cstddef>

namespace gdi {

using namespace detail;

namespace {

HDC NewContext(bool memory) {
    TState& state = State();
    auto dc = std::make_unique<TDCObj>();
    dc->IsMemory = memory;
    dc->Brush = static_cast<HBRUSH>(state.Stock[WHITE_BRUSH]);
    dc->Pen = static_cast<HPEN>(state.Stock[BLACK_PEN]);
    dc->Font = static_cast<HFONT>(state.Stock[SYSTEM_FONT]);
    dc->Palette = static_cast<HPALETTE>(state.Stock[DEFAULT_PALETTE]);
    if (memory)
        dc->Bitmap = state.DefaultBitmap;
    // Every default is a stock object, which keeps no selection count.
#ifndef NDEBUG
    for (HGDIOBJ selected : {HGDIOBJ(dc->Brush), HGDIOBJ(dc->Pen), HGDIOBJ(dc->Font), HGDIOBJ(dc->Palette),
                             HGDIOBJ(dc->Bitmap)})
        assert(selected == nullptr || Find(selected)->Stock);
#endif
    return static_cast<HDC>(Register(std::move(dc)));
}

// The object behind a handle a context had selected; none for the empty selection.
TObject* Selected(HGDIOBJ handle) { return handle != nullptr ? Find(handle) : nullptr; }

// The objects one drawing state holds, as the selection counts see them.
std::array<HGDIOBJ, 5> HeldObjects(const TDrawingState& state) {
    return {state.Brush, state.Pen, state.Font, state.Palette, state.Bitmap};
}

void CountState(const TDrawingState& state, int change) {
    for (HGDIOBJ held : HeldObjects(state))
        CountSelection(Selected(held), change);
}

// Whether a state saved on the context still names the bitmap.
bool SavedStateHolds(const TDCObj& dc, HBITMAP bitmap) {
    return std::any_of(dc.Saved.begin(), dc.Saved.end(),
                       [bitmap](const TDrawingState& state) { return state.Bitmap == bitmap; });
}

// A bitmap is taken by a context while its current or a saved state names it; once neither
// does, another context may select it.
void LetGoOfBitmap(const TDCObj& dc, HDC handle, HBITMAP bitmap) {
    if (bitmap == dc.Bitmap || SavedStateHolds(dc, bitmap))
        return;
    TObject* object = Selected(bitmap);
    if (object != nullptr && object->Kind == TKind::Bitmap) {
        auto* taken = static_cast<TBitmapObj*>(object);
        if (taken->SelectedInto == handle)
            taken->SelectedInto = nullptr;
    }
}

bool DestroyContext(HDC handle, bool memory) {
    auto* dc = Lookup<TDCObj>(handle);
    if (dc == nullptr)
        return false;
    if (dc->IsMemory != memory) {
        SetLastError(ERROR_INVALID_HANDLE);
        return false;
    }
    // Selection counts are kept so that a selected object is not deleted: the context lets go of
    // everything it and its saved states hold.
    std::vector<TDrawingState> saved = std::move(dc->Saved);
    dc->Saved.clear();
    saved.push_back(*dc);
    for (const TDrawingState& state : saved) {
        CountState(state, -1);
        TObject* object = Selected(state.Bitmap);
        if (object != nullptr && object->Kind == TKind::Bitmap && static_cast<TBitmapObj*>(object)->SelectedInto == handle)
            static_cast<TBitmapObj*>(object)->SelectedInto = nullptr;
    }
    return Unregister(handle);
}

template <typename T>
int CopyRecord(const T& record, int size, void* buffer) {
    if (buffer == nullptr)
        return int(sizeof(T));
    if (size <= 0)
        return 0;
    int n = std::min(size, int(sizeof(T)));
    std::memcpy(buffer, &record, std::size_t(n));
    return n;
}

// EXTLOGPEN with every style entry; a buffer too small for the whole record gets nothing.
int GetExtPenObject(const TPenObj& pen, int size, void* buffer) {
    const std::size_t entries = std::max<std::size_t>(pen.UserStyle.size(), 1);
    const std::size_t bytes = offsetof(EXTLOGPEN, elpStyleEntry) + entries * sizeof(DWORD);
    if (buffer == nullptr)
        return int(bytes);
    if (size < int(bytes)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    EXTLOGPEN head{pen.ExtStyle, DWORD(pen.Log.lopnWidth.x), pen.Brush.lbStyle, pen.Brush.lbColor,
                   pen.Brush.lbHatch, DWORD(pen.UserStyle.size()), {0}};
    auto* out = static_cast<BYTE*>(buffer);
    std::memcpy(out, &head, offsetof(EXTLOGPEN, elpStyleEntry));
    std::memset(out + offsetof(EXTLOGPEN, elpStyleEntry), 0, entries * sizeof(DWORD));
    if (!pen.UserStyle.empty())
        std::memcpy(out + offsetof(EXTLOGPEN, elpStyleEntry), pen.UserStyle.data(), pen.UserStyle.size() * sizeof(DWORD));
    return int(bytes);
}

}  // namespace

HDC GetDC(HWND window) {
    TLock lock(LayerMutex());
    if (window != nullptr) {
        // The layer has no windows of its own; the widget toolkit draws them.
        SetLastError(ERROR_INVALID_HANDLE);
        return nullptr;
    }
    return NewContext(false);
}

int ReleaseDC(HWND, HDC dc) {
    TLock lock(LayerMutex());
    return DestroyContext(dc, false) ? 1 : 0;
}

HDC CreateCompatibleDC(HDC dc) {
    TLock lock(LayerMutex());
    if (dc != nullptr && Lookup<TDCObj>(dc) == nullptr)
        return nullptr;
    return NewContext(true);
}

BOOL DeleteDC(HDC dc) {
    TLock lock(LayerMutex());
    auto* context = Lookup<TDCObj>(dc);
    if (context == nullptr)
        return FALSE;
    return DestroyContext(dc, context->IsMemory) ? TRUE : FALSE;
}

HGDIOBJ SelectObject(HDC handle, HGDIOBJ object) {
    TLock lock(LayerMutex());
    auto* dc = Lookup<TDCObj>(handle);
    if (dc == nullptr)
        return nullptr;
    TObject* target = Find(object);
    if (target == nullptr) {
        SetLastError(ERROR_INVALID_HANDLE);
        return nullptr;
    }
    if (Recording(*dc) && !RecordSelect(*dc, object, *target))
        return target->Kind == TKind::Region ? HGDI_ERROR : nullptr;
    HGDIOBJ previous = nullptr;
    TObject* previousObject = nullptr;
    switch (target->Kind) {
    case TKind::Bitmap: {
        auto* bitmap = static_cast<TBitmapObj*>(target);
        if (!dc->IsMemory) {
            SetLastError(ERROR_INVALID_PARAMETER);
            return nullptr;
        }
        if (object == dc->Bitmap)
            return object;
        // A bitmap lives in at most one memory context at a time; the stock bitmap is the
        // exception, since it is every new context's default.
        if (!bitmap->Stock && bitmap->SelectedInto != nullptr && bitmap->SelectedInto != handle) {
            SetLastError(ERROR_INVALID_PARAMETER);
            return nullptr;
        }
        previous = dc->Bitmap;
        previousObject = Selected(previous);
        if (!bitmap->Stock)
            bitmap->SelectedInto = handle;
        dc->Bitmap = static_cast<HBITMAP>(object);
        LetGoOfBitmap(*dc, handle, static_cast<HBITMAP>(previous));
        CountSelection(previousObject, -1);
        CountSelection(target, +1);
        return previous;
    }
    case TKind::Brush:
        previous = std::exchange(dc->Brush, static_cast<HBRUSH>(object));
        break;
    case TKind::Pen:
        previous = std::exchange(dc->Pen, static_cast<HPEN>(object));
        break;
    case TKind::Font:
        previous = std::exchange(dc->Font, static_cast<HFONT>(object));
        break;
    case TKind::Region: {
        // A region is not held by the context: a copy becomes its clip region.
        const int type = CombineClip(*dc, &static_cast<TRegionObj*>(target)->Region, RGN_COPY);
        return type == ERROR ? HGDI_ERROR : reinterpret_cast<HGDIOBJ>(std::uintptr_t(type));
    }
    default:
        // Palettes go through SelectPalette; contexts cannot be selected.
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    CountSelection(Selected(previous), -1);
    CountSelection(target, +1);
    return previous;
}

HGDIOBJ GetCurrentObject(HDC handle, UINT type) {
    TLock lock(LayerMutex());
    auto* dc = Lookup<TDCObj>(handle);
    if (dc == nullptr)
        return nullptr;
    switch (type) {
    case OBJ_BITMAP: return dc->Bitmap;
    case OBJ_BRUSH: return dc->Brush;
    case OBJ_PEN: return dc->Pen;
    case OBJ_FONT: return dc->Font;
    case OBJ_PAL: return dc->Palette;
    default: SetLastError(ERROR_INVALID_PARAMETER); return nullptr;
    }
}

BOOL DeleteObject(HGDIOBJ object) {
    // A bitmap's pixels are given back after the lock is released (locals end in reverse order):
    // unmapping a large picture takes long enough to hold up every other thread's calls.
    TPixelStorage pixels;
    TLock lock(LayerMutex());
    TObject* target = Find(object);
    // Icons and metafiles are not GDI objects: only DestroyIcon, DeleteMetaFile and
    // DeleteEnhMetaFile end them.
    if (target == nullptr || target->Kind == TKind::DC || target->Kind == TKind::Icon ||
        target->Kind == TKind::MetaFile || target->Kind == TKind::EnhMetaFile) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    if (target->Stock)
        return TRUE;
    if (target->SelectCount > 0) {
        // Deleting a selected object would leave the context drawing with a dangling handle.
        SetLastError(ERROR_BUSY);
        return FALSE;
    }
    if (target->Kind == TKind::Bitmap) {
        auto* bitmap = static_cast<TBitmapObj*>(target);
        pixels = std::move(bitmap->Storage);
        bitmap->Bits = nullptr;
    }
    RecordDelete(object);
    return Unregister(object) ? TRUE : FALSE;
}

int GetObjectA(HGDIOBJ object, int size, void* buffer) {
    TLock lock(LayerMutex());
    TObject* target = Find(object);
    if (target == nullptr) {
        SetLastError(ERROR_INVALID_HANDLE);
        return 0;
    }
    switch (target->Kind) {
    case TKind::Bitmap: return GetBitmapObject(*static_cast<TBitmapObj*>(target), size, buffer);
    case TKind::Palette: {
        WORD count = WORD(std::min<std::size_t>(static_cast<TPaletteObj*>(target)->Entries.size(), 0xFFFF));
        if (buffer != nullptr && size < int(sizeof(WORD)))
            return 0;
        return CopyRecord(count, size, buffer);
    }
    case TKind::Brush: return CopyRecord(static_cast<TBrushObj*>(target)->Log, size, buffer);
    case TKind::Pen: {
        const auto& pen = *static_cast<TPenObj*>(target);
        if (!pen.Extended)
            return CopyRecord(pen.Log, size, buffer);
        return GetExtPenObject(pen, size, buffer);
    }
    case TKind::Font: return CopyRecord(static_cast<TFontObj*>(target)->Log, size, buffer);
    default: SetLastError(ERROR_INVALID_HANDLE); return 0;
    }
}

DWORD GetObjectType(HGDIOBJ object) {
    TLock lock(LayerMutex());
    TObject* target = Find(object);
    if (target == nullptr) {
        SetLastError(ERROR_INVALID_HANDLE);
        return 0;
    }
    switch (target->Kind) {
    case TKind::DC: {
        const auto* dc = static_cast<TDCObj*>(target);
        if (Recording(*dc))
            return RecordsWindows(*dc) ? OBJ_METADC : OBJ_ENHMETADC;
        return dc->IsMemory ? OBJ_MEMDC : OBJ_DC;
    }
    case TKind::Bitmap: return OBJ_BITMAP;
    case TKind::Palette: return OBJ_PAL;
    case TKind::Brush: return OBJ_BRUSH;
    case TKind::Pen: return OBJ_PEN;
    case TKind::Font: return OBJ_FONT;
    case TKind::Region: return OBJ_REGION;
    case TKind::MetaFile: return OBJ_METAFILE;
    case TKind::EnhMetaFile: return OBJ_ENHMETAFILE;
    case TKind::Icon: break;
    }
    SetLastError(ERROR_INVALID_HANDLE);
    return 0;
}

HGDIOBJ GetStockObject(int index) {
    TLock lock(LayerMutex());
    if (index < 0 || index >= int(State().Stock.size()))
        return nullptr;
    return State().Stock[std::size_t(index)];
}

int GetDeviceCaps(HDC handle, int index) {
    TLock lock(LayerMutex());
    const auto* dc = Lookup<TDCObj>(handle);
    if (dc == nullptr)
        return 0;
    const TScreenSettings& screen = State().Screen;
    const int depth = screen.BitsPerPixel;
    int millimetresX = 0, millimetresY = 0;
    ScreenMillimetres(millimetresX, millimetresY);
    switch (index) {
    case DRIVERVERSION: return 0x4000;
    // A Windows metafile has no device; an enhanced one answers for its reference device.
    case TECHNOLOGY: return Recording(*dc) && RecordsWindows(*dc) ? DT_METAFILE : DT_RASDISPLAY;
    case HORZSIZE: return millimetresX;
    case VERTSIZE: return millimetresY;
    case HORZRES: return screen.Width;
    case VERTRES: return screen.Height;
    case BITSPIXEL: return depth;
    case PLANES: return 1;
    case NUMBRUSHES:
    case NUMPENS: return -1;
    case NUMFONTS: return 0;
    case NUMCOLORS: return depth == 8 ? 20 : depth < 8 ? (1 << depth) : -1;
    case RASTERCAPS:
        return RC_BITBLT | RC_DI_BITMAP | RC_DIBTODEV | RC_STRETCHBLT | RC_STRETCHDIB | (depth == 8 ? RC_PALETTE : 0);
    case LOGPIXELSX: return screen.LogPixelsX;
    case LOGPIXELSY: return screen.LogPixelsY;
    case SIZEPALETTE: return depth == 8 ? 256 : 0;
    case NUMRESERVED: return depth == 8 ? 20 : 0;
    case COLORRES: return depth == 8 ? 18 : 24;
    default: return 0;
    }
}

int SaveDC(HDC handle) {
    TLock lock(LayerMutex());
    auto* dc = Lookup<TDCObj>(handle);
    if (dc == nullptr)
        return 0;
    if (dc->Saved.size() >= kMaxSavedStates) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return 0;
    }
    if (Recording(*dc) && !RecordBare(*dc, EMR_SAVEDC))
        return 0;
    dc->Saved.push_back(*dc);
    CountState(dc->Saved.back(), +1);
    return int(dc->Saved.size());
}

BOOL RestoreDC(HDC handle, int savedDC) {
    TLock lock(LayerMutex());
    auto* dc = Lookup<TDCObj>(handle);
    if (dc == nullptr)
        return FALSE;
    const long long depth = (long long)dc->Saved.size();
    const long long level = savedDC < 0 ? depth + 1 + savedDC : savedDC;
    if (savedDC == 0 || level < 1 || level > depth) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    if (Recording(*dc) && !RecordValue(*dc, EMR_RESTOREDC, DWORD(savedDC)))
        return FALSE;
    // The restored state's selections pass to the context; the current state and every state
    // saved after the restored one give theirs back.
    std::vector<TDrawingState> dropped(dc->Saved.begin() + level, dc->Saved.end());
    dropped.push_back(*dc);
    static_cast<TDrawingState&>(*dc) = dc->Saved[std::size_t(level - 1)];
    dc->Saved.resize(std::size_t(level - 1));
    for (const TDrawingState& state : dropped) {
        CountState(state, -1);
        LetGoOfBitmap(*dc, handle, state.Bitmap);
    }
    return TRUE;
}

BOOL GdiFlush() {
    // Drawing is never batched here: every call has finished with the pixels when it returns.
    return TRUE;
}

COLORREF SetBkColor(HDC handle, COLORREF color) {
    TLock lock(LayerMutex());
    auto* dc = Lookup<TDCObj>(handle);
    if (dc != nullptr && Recording(*dc) && !RecordValue(*dc, EMR_SETBKCOLOR, color))
        return CLR_INVALID;
    return dc ? std::exchange(dc->BkColor, color) : CLR_INVALID;
}

COLORREF GetBkColor(HDC handle) {
    TLock lock(LayerMutex());
    auto* dc = Lookup<TDCObj>(handle);
    return dc ? dc->BkColor : CLR_INVALID;
}

COLORREF SetTextColor(HDC handle, COLORREF color) {
    TLock lock(LayerMutex());
    auto* dc = Lookup<TDCObj>(handle);
    if (dc != nullptr && Recording(*dc) && !RecordValue(*dc, EMR_SETTEXTCOLOR, color))
        return CLR_INVALID;
    return dc ? std::exchange(dc->TextColor, color) : CLR_INVALID;
}

COLORREF GetTextColor(HDC handle) {
    TLock lock(LayerMutex());
    auto* dc = Lookup<TDCObj>(handle);
    return dc ? dc->TextColor : CLR_INVALID;
}

namespace {

// The integer settings share one shape: 0 for a bad context or a value out of range, else the
// previous value.
int SetSetting(HDC handle, int TDCObj::*field, int value, int lowest, int highest, DWORD record) {
    TLock lock(LayerMutex());
    auto* dc = Lookup<TDCObj>(handle);
    if (dc == nullptr)
        return 0;
    if (value < lowest || value > highest) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    if (Recording(*dc) && !RecordValue(*dc, record, DWORD(value)))
        return 0;
    return std::exchange(dc->*field, value);
}

int GetSetting(HDC handle, int TDCObj::*field) {
    TLock lock(LayerMutex());
    auto* dc = Lookup<TDCObj>(handle);
    return dc ? dc->*field : 0;
}

BOOL SetPoint(HDC handle, POINT TDCObj::*field, int x, int y, POINT* previous, DWORD record) {
    TLock lock(LayerMutex());
    auto* dc = Lookup<TDCObj>(handle);
    if (dc == nullptr)
        return FALSE;
    if (Recording(*dc) && !RecordPoint(*dc, record, x, y))
        return FALSE;
    if (previous != nullptr)
        *previous = dc->*field;
    dc->*field = POINT{x, y};
    return TRUE;
}

BOOL GetPoint(HDC handle, POINT TDCObj::*field, POINT* point) {
    TLock lock(LayerMutex());
    auto* dc = Lookup<TDCObj>(handle);
    if (dc == nullptr)
        return FALSE;
    if (point == nullptr) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    *point = dc->*field;
    return TRUE;
}

}  // namespace

int SetBkMode(HDC dc, int mode) { return SetSetting(dc, &TDCObj::BkMode, mode, TRANSPARENT, OPAQUE, EMR_SETBKMODE); }
int GetBkMode(HDC dc) { return GetSetting(dc, &TDCObj::BkMode); }
int SetROP2(HDC dc, int mode) { return SetSetting(dc, &TDCObj::Rop2, mode, R2_BLACK, R2_WHITE, EMR_SETROP2); }
int GetROP2(HDC dc) { return GetSetting(dc, &TDCObj::Rop2); }
int SetPolyFillMode(HDC dc, int mode) { return SetSetting(dc, &TDCObj::PolyFillMode, mode, ALTERNATE, WINDING, EMR_SETPOLYFILLMODE); }
int GetPolyFillMode(HDC dc) { return GetSetting(dc, &TDCObj::PolyFillMode); }
int SetStretchBltMode(HDC dc, int mode) {
    return SetSetting(dc, &TDCObj::StretchMode, mode, BLACKONWHITE, HALFTONE, EMR_SETSTRETCHBLTMODE);
}
int GetStretchBltMode(HDC dc) { return GetSetting(dc, &TDCObj::StretchMode); }
BOOL SetBrushOrgEx(HDC dc, int x, int y, POINT* previous) {
    return SetPoint(dc, &TDCObj::BrushOrg, x, y, previous, EMR_SETBRUSHORGEX);
}
BOOL GetBrushOrgEx(HDC dc, POINT* origin) { return GetPoint(dc, &TDCObj::BrushOrg, origin); }
BOOL MoveToEx(HDC handle, int x, int y, POINT* previous) {
    {
        TLock lock(LayerMutex());
        // In a path bracket the next line starts a figure of its own, at the new position.
        if (auto* dc = Lookup<TDCObj>(handle); dc != nullptr && dc->Path.Open())
            dc->Path.SetFigureOpen(false);
    }
    return SetPoint(handle, &TDCObj::CurrentPosition, x, y, previous, EMR_MOVETOEX);
}
BOOL GetCurrentPositionEx(HDC dc, POINT* position) { return GetPoint(dc, &TDCObj::CurrentPosition, position); }

}  // namespace gdi
