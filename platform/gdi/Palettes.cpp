// Logical palettes and the system palette of an 8-bit screen. Realising a palette puts its
// colours into the free middle entries of the system palette (the 20 static colours never move),
// which is what 8-bit device-dependent bitmaps then index.
#include "platform/gdi/Internal.h"
#include "platform/gdi/Recorder.h"

namespace gdi {

using namespace detail;

namespace {

// The platform's limit for one logical palette.
constexpr std::size_t kMaxPaletteEntries = 1024;

long Distance(const PALETTEENTRY& e, COLORREF color) {
    long dr = long(e.peRed) - GetRValue(color);
    long dg = long(e.peGreen) - GetGValue(color);
    long db = long(e.peBlue) - GetBValue(color);
    return dr * dr + dg * dg + db * db;
}

UINT Realize(const std::vector<PALETTEENTRY>& entries, bool background) {
    TState& state = State();
    if (!background) {
        // The foreground palette takes the whole middle of the system palette.
        for (int i = 10; i < 246; ++i)
            state.SystemPaletteUsed[std::size_t(i)] = false;
    }
    UINT added = 0;
    for (const PALETTEENTRY& e : entries) {
        if (e.peFlags & PC_EXPLICIT)
            continue;
        COLORREF color = RGB(e.peRed, e.peGreen, e.peBlue);
        bool present = false;
        if (!(e.peFlags & (PC_RESERVED | PC_NOCOLLAPSE))) {
            for (int i = 0; i < 256 && !present; ++i)
                present = state.SystemPaletteUsed[std::size_t(i)] && Distance(state.SystemPalette[std::size_t(i)], color) == 0;
        }
        if (present)
            continue;
        for (int i = 10; i < 246; ++i) {
            if (!state.SystemPaletteUsed[std::size_t(i)]) {
                state.SystemPalette[std::size_t(i)] = PALETTEENTRY{e.peRed, e.peGreen, e.peBlue, 0};
                state.SystemPaletteUsed[std::size_t(i)] = true;
                ++added;
                break;
            }
        }
    }
    return added;
}

}  // namespace

HPALETTE CreatePalette(const LOGPALETTE* log) {
    TLock lock(LayerMutex());
    if (log == nullptr || log->palVersion != 0x300 || log->palNumEntries == 0 ||
        log->palNumEntries > kMaxPaletteEntries) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    auto palette = std::make_unique<TPaletteObj>();
    palette->Entries.assign(log->palPalEntry, log->palPalEntry + log->palNumEntries);
    return static_cast<HPALETTE>(Register(std::move(palette)));
}

HPALETTE CreateHalftonePalette(HDC dc) {
    TLock lock(LayerMutex());
    if (Lookup<TDCObj>(dc) == nullptr)
        return nullptr;
    auto palette = std::make_unique<TPaletteObj>();
    palette->Entries.assign(HalftoneEntries().begin(), HalftoneEntries().end());
    return static_cast<HPALETTE>(Register(std::move(palette)));
}

BOOL ResizePalette(HPALETTE handle, UINT entries) {
    TLock lock(LayerMutex());
    auto* palette = Lookup<TPaletteObj>(handle);
    if (palette == nullptr)
        return FALSE;
    if (entries == 0 || entries > kMaxPaletteEntries || palette->Stock) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    palette->Entries.resize(entries, PALETTEENTRY{0, 0, 0, 0});
    RecordPaletteSize(handle, entries);
    return TRUE;
}

UINT GetPaletteEntries(HPALETTE handle, UINT start, UINT count, PALETTEENTRY* entries) {
    TLock lock(LayerMutex());
    auto* palette = Lookup<TPaletteObj>(handle);
    if (palette == nullptr)
        return 0;
    const std::size_t size = palette->Entries.size();
    if (entries == nullptr)
        return UINT(size);
    if (start >= size)
        return 0;
    UINT n = UINT(std::min<std::size_t>(count, size - start));
    std::copy_n(palette->Entries.begin() + start, n, entries);
    return n;
}

UINT SetPaletteEntries(HPALETTE handle, UINT start, UINT count, const PALETTEENTRY* entries) {
    TLock lock(LayerMutex());
    auto* palette = Lookup<TPaletteObj>(handle);
    if (palette == nullptr)
        return 0;
    if (entries == nullptr || palette->Stock) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    const std::size_t size = palette->Entries.size();
    if (start >= size)
        return 0;
    UINT n = UINT(std::min<std::size_t>(count, size - start));
    std::copy_n(entries, n, palette->Entries.begin() + start);
    RecordPaletteEntries(handle, start, n, entries);
    return n;
}

UINT GetNearestPaletteIndex(HPALETTE handle, COLORREF color) {
    TLock lock(LayerMutex());
    auto* palette = Lookup<TPaletteObj>(handle);
    if (palette == nullptr)
        return CLR_INVALID;
    color &= 0x00FFFFFF;
    UINT best = 0;
    long bestDistance = -1;
    for (std::size_t i = 0; i < palette->Entries.size(); ++i) {
        long distance = Distance(palette->Entries[i], color);
        if (bestDistance < 0 || distance < bestDistance) {
            bestDistance = distance;
            best = UINT(i);
        }
    }
    return best;
}

UINT GetSystemPaletteEntries(HDC dc, UINT start, UINT count, PALETTEENTRY* entries) {
    TLock lock(LayerMutex());
    if (Lookup<TDCObj>(dc) == nullptr)
        return 0;
    // Only a palette device has a system palette to report.
    if (!IsPaletteDevice())
        return 0;
    if (entries == nullptr)
        return 256;
    if (start >= 256)
        return 0;
    UINT n = std::min<UINT>(count, 256 - start);
    std::copy_n(State().SystemPalette.begin() + start, n, entries);
    return n;
}

HPALETTE SelectPalette(HDC handle, HPALETTE palette, BOOL forceBackground) {
    TLock lock(LayerMutex());
    auto* dc = Lookup<TDCObj>(handle);
    if (dc == nullptr)
        return nullptr;
    auto* object = Lookup<TPaletteObj>(palette);
    if (object == nullptr || (Recording(*dc) && !RecordSelectPalette(*dc, palette, *object)))
        return nullptr;
    HPALETTE previous = std::exchange(dc->Palette, palette);
    if (previous != nullptr)
        CountSelection(Find(previous), -1);
    CountSelection(object, +1);
    dc->PaletteBackground = forceBackground != FALSE;
    return previous;
}

UINT RealizePalette(HDC handle) {
    TLock lock(LayerMutex());
    auto* dc = Lookup<TDCObj>(handle);
    if (dc == nullptr || (Recording(*dc) && !RecordBare(*dc, EMR_REALIZEPALETTE)))
        return GDI_ERROR;
    auto* palette = Lookup<TPaletteObj>(dc->Palette);
    if (palette == nullptr)
        return GDI_ERROR;
    // Without a palette device every colour is shown as it is; nothing needs mapping.
    if (!IsPaletteDevice() || palette->Stock)
        return 0;
    return Realize(palette->Entries, dc->PaletteBackground);
}

BOOL UnrealizeObject(HGDIOBJ object) {
    TLock lock(LayerMutex());
    TObject* target = Find(object);
    // Brushes are aligned to the brush origin at every use and palettes are mapped afresh at
    // every realisation, so there is nothing to reset; the call still checks its handle.
    if (target == nullptr || (target->Kind != TKind::Palette && target->Kind != TKind::Brush)) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    return TRUE;
}

}  // namespace gdi
