// Owners for the raster layer's handles: objects, contexts and the selections made into a
// context. Each owner gives its handle back exactly once, on every path out of its scope, so a
// caller needs no clean-up code of its own when a later step throws.
//
// Members and locals end in the reverse order of their declaration: declare an object before the
// context it is selected into and the context before the selection, and the selection is undone
// before the context or the object goes. That order matters here, since the layer refuses to
// delete an object that is still selected.
#pragma once

#include "platform/gdi/Gdi.h"

#include <utility>

namespace gdi {

/// Owns one value of type H (a handle, or a small record such as a selection) and hands it to
/// Free when the owner ends, unless it has been released. H{} stands for "nothing owned" and is
/// never passed to Free.
template <typename H, auto Free>
class TUniqueHandle {
public:
    TUniqueHandle() noexcept = default;
    explicit TUniqueHandle(H handle) noexcept : FHandle(handle) {}
    TUniqueHandle(TUniqueHandle&& other) noexcept : FHandle(other.Release()) {}
    TUniqueHandle& operator=(TUniqueHandle&& other) noexcept {
        Reset(other.Release());
        return *this;
    }
    TUniqueHandle(const TUniqueHandle&) = delete;
    TUniqueHandle& operator=(const TUniqueHandle&) = delete;
    ~TUniqueHandle() { Reset(); }

    H Get() const noexcept { return FHandle; }
    explicit operator bool() const noexcept { return static_cast<bool>(FHandle); }
    /// Gives up ownership without freeing; the caller owns the result.
    H Release() noexcept { return std::exchange(FHandle, H{}); }
    /// Frees what is owned now (if anything) and takes handle in its place.
    void Reset(H handle = H{}) noexcept {
        H old = std::exchange(FHandle, handle);
        if (static_cast<bool>(old))
            Free(old);
    }

private:
    H FHandle{};
};

/// Gives a context of GetDC(nullptr) back. The layer draws no windows of its own, so the screen
/// is the only context GetDC hands out.
inline void ReleaseScreenDC(HDC dc) noexcept { ReleaseDC(nullptr, dc); }

/// What a successful SelectObject replaced: selecting it back undoes the selection.
struct TSelected {
    HDC DC = nullptr;
    HGDIOBJ Previous = nullptr;
    explicit operator bool() const noexcept { return Previous != nullptr; }
};

/// What a successful SelectPalette replaced, and the background flag it goes back with.
struct TSelectedPalette {
    HDC DC = nullptr;
    HPALETTE Previous = nullptr;
    BOOL RestoreBackground = TRUE;
    explicit operator bool() const noexcept { return Previous != nullptr; }
};

inline void RestoreSelection(TSelected selected) noexcept { SelectObject(selected.DC, selected.Previous); }

inline void RestorePaletteSelection(TSelectedPalette selected) noexcept {
    SelectPalette(selected.DC, selected.Previous, selected.RestoreBackground);
}

// GDI objects, ended by DeleteObject. Stock objects may be owned too; deleting one is harmless.
using TOwnedBitmap = TUniqueHandle<HBITMAP, &DeleteObject>;
using TOwnedPalette = TUniqueHandle<HPALETTE, &DeleteObject>;
using TOwnedBrush = TUniqueHandle<HBRUSH, &DeleteObject>;
using TOwnedPen = TUniqueHandle<HPEN, &DeleteObject>;
using TOwnedFont = TUniqueHandle<HFONT, &DeleteObject>;
using TOwnedRegion = TUniqueHandle<HRGN, &DeleteObject>;

/// A context of CreateCompatibleDC, ended by DeleteDC.
using TOwnedDC = TUniqueHandle<HDC, &DeleteDC>;
/// The screen's context from GetDC(nullptr), ended by ReleaseDC.
using TOwnedScreenDC = TUniqueHandle<HDC, &ReleaseScreenDC>;

/// A selection of a bitmap, brush, pen or font, undone when it ends. Regions are not selections
/// in this sense: SelectObject copies a region and returns its complexity, not a handle.
using TSelection = TUniqueHandle<TSelected, &RestoreSelection>;
/// A palette selection, undone when it ends.
using TPaletteSelection = TUniqueHandle<TSelectedPalette, &RestorePaletteSelection>;

/// Selects object into dc until the result ends. A selection that fails owns nothing, so nothing
/// is selected back for it.
[[nodiscard]] inline TSelection ScopedSelectObject(HDC dc, HGDIOBJ object) noexcept {
    return TSelection(TSelected{dc, SelectObject(dc, object)});
}

/// Selects palette into dc (forceBackground as SelectPalette takes it) until the result ends,
/// when the previous palette goes back with restoreBackground. Realising is left to the caller,
/// since only some uses need the system palette changed.
[[nodiscard]] inline TPaletteSelection ScopedSelectPalette(HDC dc, HPALETTE palette, BOOL forceBackground,
                                                           BOOL restoreBackground = TRUE) noexcept {
    return TPaletteSelection(TSelectedPalette{dc, SelectPalette(dc, palette, forceBackground), restoreBackground});
}

}  // namespace gdi
