// Device contexts that the framework's sources make for a moment: released or deleted on every
// path, with their selections undone. Private to the framework.
#pragma once

#include "graphics/GraphicsBase.h"

namespace graphics {

// Releases the screen context on every path.
class TScreenDC {
public:
    TScreenDC() : FDC(GDICheck(gdi::GetDC(nullptr))) {}
    ~TScreenDC() { gdi::ReleaseDC(nullptr, FDC); }
    TScreenDC(const TScreenDC&) = delete;
    TScreenDC& operator=(const TScreenDC&) = delete;
    operator gdi::HDC() const { return FDC; }

private:
    gdi::HDC FDC;
};

// A memory context deleted on every path, with its selections undone.
class TMemoryDC {
public:
    explicit TMemoryDC(gdi::HDC compatible = nullptr) : FDC(GDICheck(gdi::CreateCompatibleDC(compatible))) {}
    ~TMemoryDC() {
        if (FOldPalette != nullptr)
            gdi::SelectPalette(FDC, FOldPalette, gdi::TRUE);
        if (FOldBitmap != nullptr)
            gdi::SelectObject(FDC, FOldBitmap);
        gdi::DeleteDC(FDC);
    }
    TMemoryDC(const TMemoryDC&) = delete;
    TMemoryDC& operator=(const TMemoryDC&) = delete;
    operator gdi::HDC() const { return FDC; }
    void Select(gdi::HBITMAP bitmap) {
        gdi::HGDIOBJ old = gdi::SelectObject(FDC, bitmap);
        if (FOldBitmap == nullptr)
            FOldBitmap = old;
    }
    void Realize(gdi::HPALETTE palette, bool background) {
        gdi::HPALETTE old = gdi::SelectPalette(FDC, palette, background ? gdi::TRUE : gdi::FALSE);
        if (FOldPalette == nullptr)
            FOldPalette = old;
        gdi::RealizePalette(FDC);
    }

private:
    gdi::HDC FDC;
    gdi::HGDIOBJ FOldBitmap = nullptr;
    gdi::HPALETTE FOldPalette = nullptr;
};

}  // namespace graphics
