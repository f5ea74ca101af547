// Masks of bitmaps: the monochrome mask of a transparent colour and drawing through it.
#include "graphics/BitmapPrivate.h"
#include "graphics/DeviceContexts.h"

#include <cstdlib>
#include <utility>

namespace graphics {

using namespace gdi;

void TBitmap::EnsureMask() {
    if (FMaskValid && FImage->FMaskHandle != nullptr)
        return;
    if (FImage->FMaskHandle != nullptr) {
        ReleaseBitmapFromCanvases(FImage->FMaskHandle);
        DeleteObject(std::exchange(FImage->FMaskHandle, nullptr));
    }
    FreeContext();
    EnsureHandle();
    const TColor color = TransparentColor();
    FreeContext();
    FImage->FMaskHandle = BuildMaskBitmap(FImage->FHandle, FImage->FPalette, COLORREF(color));
    FMaskValid = true;
}

void TBitmap::Mask(TColor transparentColor) {
    FreeContext();
    EnsureHandle();
    TOwnedBitmap mask(BuildMaskBitmap(FImage->FHandle, FImage->FPalette, ColorToRGB(transparentColor)));
    DIBSECTION dib{};
    GetObject(mask.Get(), sizeof dib, &dib);
    TImagePalette palette(FImage->FPalette == StandardPalette16() ? FImage->FPalette : CopyPalette(FImage->FPalette));
    NewImage(mask.Get(), palette.Get(), dib, FImage->FOS2Format);
    mask.Release();
    palette.Release();
    Changed(this);
}

HBITMAP BuildMaskBitmap(HBITMAP handle, HPALETTE palette, COLORREF transparentColor) {
    BITMAP bm{};
    if (handle == nullptr || GetObject(handle, sizeof bm, &bm) < int(sizeof bm))
        return nullptr;
    const LONG width = bm.bmWidth;
    const LONG height = std::abs(bm.bmHeight);
    TOwnedBitmap mask(GDICheck(CreateBitmap(width, height, 1, 1, nullptr)));
    TOwnedBitmap temporary;
    {
        TMemoryDC maskDC;
        maskDC.Select(mask.Get());
        if ((transparentColor & 0x1FFFFFFFu) == COLORREF(clNone)) {
            PatBlt(maskDC, 0, 0, width, height, BLACKNESS);
        } else {
            HBITMAP source = handle;
            if (bm.bmBits != nullptr) {
                // A section is first made device-dependent, so the colour is compared in the
                // screen's own terms.
                DIBSECTION dib{};
                GetObject(handle, sizeof dib, &dib);
                dib.dsBmih.biSize = 0;
                temporary.Reset(RebuildBitmap(handle, palette, palette, nullptr, dib));
                source = temporary.Get();
            } else {
                ReleaseBitmapFromCanvases(handle);
            }
            TMemoryDC sourceDC;
            sourceDC.Select(source);
            if (palette != nullptr) {
                sourceDC.Realize(palette, false);
                maskDC.Realize(palette, false);
            }
            SetBkColor(sourceDC, transparentColor);
            BitBlt(maskDC, 0, 0, width, height, sourceDC, 0, 0, SRCCOPY);
        }
    }
    return mask.Release();
}

void MaskedStretchBlit(HDC dest, int x, int y, int w, int h, HDC source, int sx, int sy, int sw, int sh, HDC mask,
                       int mx, int my) {
    if (w == sw && h == sh) {
        // Same size: one masked blit. The mask leaves the context for the call.
        TOwnedBitmap placeholder(CreateCompatibleBitmap(source, 1, 1));
        TSelection maskOut = ScopedSelectObject(mask, placeholder.Get());
        MaskBlt(dest, x, y, w, h, source, sx, sy, static_cast<HBITMAP>(maskOut.Get().Previous), mx, my,
                MAKEROP4(0x00AA0029, SRCCOPY));
        return;
    }
    TOwnedDC memory(GDICheck(CreateCompatibleDC(nullptr)));
    TOwnedBitmap bitmap(CreateCompatibleBitmap(source, sw, sh));
    TSelection bitmapSelected = ScopedSelectObject(memory.Get(), bitmap.Get());
    // The source's current palette, learned by selecting another one in and back out.
    HPALETTE sourcePalette = SelectPalette(source, StandardPalette16(), TRUE);
    SelectPalette(source, sourcePalette, TRUE);
    TPaletteSelection paletteSelected =
        ScopedSelectPalette(memory.Get(), sourcePalette != nullptr ? sourcePalette : StandardPalette16(), TRUE);
    RealizePalette(memory.Get());
    StretchBlt(memory.Get(), 0, 0, sw, sh, mask, mx, my, sw, sh, SRCCOPY);
    StretchBlt(memory.Get(), 0, 0, sw, sh, source, sx, sy, sw, sh, SRCERASE);
    COLORREF oldText = SetTextColor(dest, 0);
    COLORREF oldBk = SetBkColor(dest, 0x00FFFFFF);
    StretchBlt(dest, x, y, w, h, mask, mx, my, sw, sh, SRCAND);
    StretchBlt(dest, x, y, w, h, memory.Get(), 0, 0, sw, sh, SRCINVERT);
    SetTextColor(dest, oldText);
    SetBkColor(dest, oldBk);
}

}  // namespace graphics
