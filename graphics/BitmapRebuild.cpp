// Rebuilding a bitmap: a new bitmap of another size, format or palette with the old pixels
// anchored at its top-left corner.
#include "graphics/BitmapPrivate.h"
#include "graphics/DeviceContexts.h"

#include "platform/base/Messages.h"

#include <cstdlib>
#include <cstring>

namespace graphics {

using namespace gdi;

namespace {

// A BITMAPINFO with room for 256 colour entries (or three masks) behind the header.
struct TInfo256 {
    BITMAPINFOHEADER bmiHeader;
    RGBQUAD bmiColors[256];
    BITMAPINFO* Get() { return reinterpret_cast<BITMAPINFO*>(this); }
};

RGBQUAD ToQuad(COLORREF color) { return RGBQUAD{GetBValue(color), GetGValue(color), GetRValue(color), 0}; }

// Steps 3 to 8 of a rebuild: the new bitmap goes to result as soon as it exists, so that it is
// deleted if a later step fails; every context made here has let go of it by then.
void MakeRebuiltBitmap(HDC screen, HBITMAP handle, const BITMAP& old, HPALETTE oldPalette, HPALETTE newPalette,
                       TCanvas* canvas, DIBSECTION& dib, TOwnedBitmap& result) {
    BITMAPINFOHEADER& bih = dib.dsBmih;
    TMemoryDC memory(screen);
    if (bih.biSize < sizeof(BITMAPINFOHEADER)) {
        const LONG width = dib.dsBm.bmWidth;
        const LONG height = std::abs(dib.dsBm.bmHeight);
        if ((dib.dsBm.bmPlanes | dib.dsBm.bmBitsPixel) == 1)
            result.Reset(GDICheck(CreateBitmap(width, height, 1, 1, nullptr)));
        else
            result.Reset(GDICheck(CreateCompatibleBitmap(screen, width, height)));
    } else {
        TInfo256 info{};
        bih.biSize = sizeof(BITMAPINFOHEADER);
        bih.biPlanes = 1;
        if (bih.biBitCount == 0)
            bih.biBitCount = WORD(GetDeviceCaps(screen, BITSPIXEL) * GetDeviceCaps(screen, PLANES));
        info.bmiHeader = bih;
        dib.dsBm.bmWidth = bih.biWidth;
        dib.dsBm.bmHeight = bih.biHeight;
        if (bih.biBitCount <= 8) {
            if (bih.biBitCount == 1 && (handle == nullptr || old.bmBits == nullptr)) {
                info.bmiColors[0] = RGBQUAD{0, 0, 0, 0};
                info.bmiColors[1] = RGBQUAD{255, 255, 255, 0};
            } else if (newPalette != nullptr) {
                ColorTableFromPalette(newPalette, info.bmiColors, 255);
            } else if (handle != nullptr) {
                if (old.bmBits != nullptr) {
                    TMemoryDC source(screen);
                    source.Select(handle);
                    info.bmiHeader.biClrUsed = GetDIBColorTable(source, 0, 256, info.bmiColors);
                } else {
                    GetDIBits(screen, handle, 0, UINT(std::abs(old.bmHeight)), nullptr, info.Get(), DIB_RGB_COLORS);
                    info.bmiHeader = bih;
                }
            }
        } else if ((bih.biBitCount == 16 || bih.biBitCount == 32) && bih.biCompression == BI_BITFIELDS) {
            if (dib.dsBitfields[0] == 0) {
                if (bih.biBitCount == 16) {
                    dib.dsBitfields[0] = 0xF800;
                    dib.dsBitfields[1] = 0x07E0;
                    dib.dsBitfields[2] = 0x001F;
                } else {
                    dib.dsBitfields[0] = 0xFF0000;
                    dib.dsBitfields[1] = 0x00FF00;
                    dib.dsBitfields[2] = 0x0000FF;
                }
            }
            std::memcpy(info.bmiColors, dib.dsBitfields, sizeof dib.dsBitfields);
        }
        void* bits = nullptr;
        result.Reset(CreateDIBSection(screen, info.Get(), DIB_RGB_COLORS, &bits, nullptr, 0));
        if (!result || bits == nullptr)
            GDIError();
        // Same size and more than 8 bits: one conversion of the pixels instead of a blit.
        if (handle != nullptr && old.bmWidth == bih.biWidth && old.bmHeight == std::abs(bih.biHeight) &&
            bih.biBitCount > 8) {
            GetDIBits(memory, handle, 0, UINT(std::abs(bih.biHeight)), bits, info.Get(), DIB_RGB_COLORS);
            return;
        }
    }

    const LONG width = dib.dsBm.bmWidth;
    const LONG height = std::abs(dib.dsBm.bmHeight);
    memory.Select(result.Get());
    if (newPalette != nullptr)
        memory.Realize(newPalette, false);
    if (canvas != nullptr) {
        RECT all{0, 0, width, height};
        FillRect(memory, &all, canvas->Brush().Handle());
        SetTextColor(memory, ColorToRGB(canvas->Font().Color()));
        SetBkColor(memory, ColorToRGB(canvas->Brush().Color()));
        if (bih.biSize != 0 && bih.biBitCount == 1) {
            const RGBQUAD mono[2] = {ToQuad(ColorToRGB(canvas->Font().Color())), ToQuad(ColorToRGB(canvas->Brush().Color()))};
            SetDIBColorTable(memory, 0, 2, mono);
        }
    } else {
        PatBlt(memory, 0, 0, width, height, WHITENESS);
    }
    if (handle != nullptr) {
        TMemoryDC source(screen);
        source.Select(handle);
        if (oldPalette != nullptr)
            source.Realize(oldPalette, false);
        if (canvas != nullptr) {
            SetTextColor(source, ColorToRGB(canvas->Font().Color()));
            SetBkColor(source, ColorToRGB(canvas->Brush().Color()));
        }
        // The old pixels stay anchored at the top-left corner; new area keeps the background.
        BitBlt(memory, 0, 0, width, height, source, 0, 0, SRCCOPY);
    }
}

}  // namespace

HBITMAP RebuildBitmap(HBITMAP handle, HPALETTE oldPalette, HPALETTE newPalette, TCanvas* canvas, DIBSECTION& dib) {
    const BITMAPINFOHEADER& bih = dib.dsBmih;
    if ((bih.biSize != 0 && (bih.biWidth == 0 || bih.biHeight == 0)) ||
        (bih.biSize == 0 && (dib.dsBm.bmWidth == 0 || dib.dsBm.bmHeight == 0)))
        return nullptr;

    BITMAP old{};
    if (handle != nullptr) {
        ReleaseBitmapFromCanvases(handle);
        if (GetObject(handle, sizeof old, &old) < int(sizeof old))
            throw EInvalidGraphic(base::LoadStr(res::SInvalidBitmap));
    }

    TScreenDC screen;
    TOwnedBitmap result;
    MakeRebuiltBitmap(screen, handle, old, oldPalette, newPalette, canvas, dib, result);
    if (result)
        GetObject(result.Get(), sizeof dib, &dib);
    return result.Release();
}

}  // namespace graphics
