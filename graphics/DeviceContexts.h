// Device contexts that the framework's sources make for a moment: the raster layer's owners with
// the framework's error for a context that cannot be had, and a memory context that remembers
// what its first selections replaced. Private to the framework.
#pragma once

#include "graphics/GraphicsBase.h"
#include "platform/gdi/Handles.h"

namespace graphics {

// Releases the screen context on every path.
class TScreenDC {
public:
    TScreenDC() : FDC(GDICheck(gdi::GetDC(nullptr))) {}
    operator gdi::HDC() const { return FDC.Get(); }

private:
    gdi::TOwnedScreenDC FDC;
};

// A memory context deleted on every path, with its selections undone. However often a bitmap or
// palette is selected, the context gets back what it held before the first selection that took.
class TMemoryDC {
public:
    explicit TMemoryDC(gdi::HDC compatible = nullptr) : FDC(GDICheck(gdi::CreateCompatibleDC(compatible))) {}
    operator gdi::HDC() const { return FDC.Get(); }
    void Select(gdi::HBITMAP bitmap) {
        if (FBitmap)
            gdi::SelectObject(FDC.Get(), bitmap);
        else
            FBitmap = gdi::ScopedSelectObject(FDC.Get(), bitmap);
    }
    void Realize(gdi::HPALETTE palette, bool background) {
        const gdi::BOOL force = background ? gdi::TRUE : gdi::FALSE;
        if (FPalette)
            gdi::SelectPalette(FDC.Get(), palette, force);
        else
            FPalette = gdi::ScopedSelectPalette(FDC.Get(), palette, force);
        gdi::RealizePalette(FDC.Get());
    }

private:
    // Declared in this order so the palette goes back first, then the bitmap, then the context.
    gdi::TOwnedDC FDC;
    gdi::TSelection FBitmap;
    gdi::TPaletteSelection FPalette;
};

}  // namespace graphics
