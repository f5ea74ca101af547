// The bitmap graphic. Image data is shared by reference count and copied only when a sharer is
// about to change it; platform handles, DIB sections, palettes, masks and memory contexts are made
// on first need and dropped again as soon as they can be rebuilt.
#include "graphics/Bitmap.h"
#include "graphics/DeviceContexts.h"
#include "graphics/Icon.h"

#include "platform/base/Messages.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace graphics {

using namespace gdi;

namespace {

struct TBitmapModule {
    int PixelsPerInch = 0;
    HPALETTE Palette16 = nullptr;
    std::recursive_mutex ImageLock;
    std::recursive_mutex CanvasListLock;
    std::vector<TBitmapCanvas*> Canvases;
};

TBitmapModule& Module() {
    static TBitmapModule module;
    return module;
}

// A BITMAPINFO with room for 256 colour entries (or three masks) behind the header.
struct TInfo256 {
    BITMAPINFOHEADER bmiHeader;
    RGBQUAD bmiColors[256];
    BITMAPINFO* Get() { return reinterpret_cast<BITMAPINFO*>(this); }
};

HPALETTE MakeStandardPalette16() {
    static constexpr PALETTEENTRY kColors[16] = {
        {0, 0, 0, 0},     {128, 0, 0, 0},   {0, 128, 0, 0},   {128, 128, 0, 0},   {0, 0, 128, 0},   {128, 0, 128, 0},
        {0, 128, 128, 0}, {128, 128, 128, 0}, {192, 192, 192, 0}, {255, 0, 0, 0},   {0, 255, 0, 0},   {255, 255, 0, 0},
        {0, 0, 255, 0},   {255, 0, 255, 0}, {0, 255, 255, 0}, {255, 255, 255, 0},
    };
    struct {
        WORD palVersion;
        WORD palNumEntries;
        PALETTEENTRY entries[16];
    } log{0x300, 16, {}};
    std::copy(std::begin(kColors), std::end(kColors), log.entries);
    HDC screen = GetDC(nullptr);
    if (screen != nullptr) {
        if (GetDeviceCaps(screen, SIZEPALETTE) >= 16) {
            // A palette display shows its own static colours; take them so no colour is remapped.
            GetSystemPaletteEntries(screen, 0, 8, &log.entries[0]);
            GetSystemPaletteEntries(screen, 248, 8, &log.entries[8]);
            const PALETTEENTRY& eighth = log.entries[7];
            if (eighth.peRed == 192 && eighth.peGreen == 192 && eighth.peBlue == 192)
                std::swap(log.entries[7], log.entries[8]);
        }
        ReleaseDC(nullptr, screen);
    }
    return CreatePalette(reinterpret_cast<LOGPALETTE*>(&log));
}

HPALETTE CopyPalette(HPALETTE palette) {
    if (palette == nullptr)
        return nullptr;
    UINT count = GetPaletteEntries(palette, 0, 0, nullptr);
    if (count == 0)
        return nullptr;
    std::vector<BYTE> storage(sizeof(LOGPALETTE) + count * sizeof(PALETTEENTRY));
    auto* log = reinterpret_cast<LOGPALETTE*>(storage.data());
    log->palVersion = 0x300;
    log->palNumEntries = WORD(count);
    GetPaletteEntries(palette, 0, count, log->palPalEntry);
    return GDICheck(CreatePalette(log));
}

void DeletePalette(HPALETTE palette) {
    if (palette != nullptr && palette != StandardPalette16())
        DeleteObject(palette);
}

RGBQUAD ToQuad(COLORREF color) { return RGBQUAD{GetBValue(color), GetGValue(color), GetRValue(color), 0}; }

}  // namespace

// ---- module state ----------------------------------------------------------------------------

int ScreenPixelsPerInch() {
    TBitmapModule& module = Module();
    if (module.PixelsPerInch == 0) {
        TScreenDC screen;
        module.PixelsPerInch = GetDeviceCaps(screen, LOGPIXELSY);
    }
    return module.PixelsPerInch;
}

HPALETTE StandardPalette16() {
    TBitmapModule& module = Module();
    if (module.Palette16 == nullptr)
        module.Palette16 = MakeStandardPalette16();
    return module.Palette16;
}

std::recursive_mutex& SharedImageLock() { return Module().ImageLock; }

void InitializeBitmaps() {
    ScreenPixelsPerInch();
    StandardPalette16();
    StockApplicationIcon();
}

void FinalizeBitmaps() {
    TBitmapModule& module = Module();
    if (module.Palette16 != nullptr)
        DeleteObject(module.Palette16);
    module.Palette16 = nullptr;
    module.PixelsPerInch = 0;
}

void ReleaseBitmapFromCanvases(HBITMAP handle) {
    if (handle == nullptr)
        return;
    TBitmapModule& module = Module();
    std::lock_guard lock(module.CanvasListLock);
    std::vector<TBitmapCanvas*> canvases = module.Canvases;
    for (auto it = canvases.rbegin(); it != canvases.rend(); ++it) {
        TBitmapCanvas* canvas = *it;
        if (std::find(module.Canvases.begin(), module.Canvases.end(), canvas) == module.Canvases.end())
            continue;
        if (canvas->HandleAllocated() && GetCurrentObject(canvas->RawHandle(), OBJ_BITMAP) == handle)
            canvas->FreeContext();
    }
}

void ReleaseIdleBitmapContexts() {
    TBitmapModule& module = Module();
    std::lock_guard lock(module.CanvasListLock);
    std::vector<TBitmapCanvas*> canvases = module.Canvases;
    for (auto it = canvases.rbegin(); it != canvases.rend(); ++it) {
        TBitmapCanvas* canvas = *it;
        if (std::find(module.Canvases.begin(), module.Canvases.end(), canvas) == module.Canvases.end())
            continue;
        // A canvas that another thread holds keeps its context.
        if (canvas->TryLock()) {
            canvas->FreeContext();
            canvas->Unlock();
        }
    }
}

// ---- palettes and colour tables -------------------------------------------------------------

HPALETTE PaletteFromColorTable(HBITMAP dibHandle, const RGBQUAD* colorTable, int colors) {
    RGBQUAD table[256];
    int count = 0;
    if (dibHandle != nullptr) {
        TMemoryDC dc;
        dc.Select(dibHandle);
        count = int(GetDIBColorTable(dc, 0, 256, table));
    } else if (colorTable != nullptr) {
        count = std::clamp(colors, 0, 256);
        std::copy_n(colorTable, count, table);
    }
    if (count == 0)
        return nullptr;
    struct {
        WORD palVersion;
        WORD palNumEntries;
        PALETTEENTRY entries[256];
    } log{0x300, WORD(count), {}};
    bool paletteDisplay = false;
    {
        TScreenDC screen;
        paletteDisplay = GetDeviceCaps(screen, SIZEPALETTE) >= 16;
    }
    if (count == 16 && paletteDisplay) {
        // The 16-colour table of a palette display is the standard palette's, entry for entry.
        GetPaletteEntries(StandardPalette16(), 0, 8, &log.entries[0]);
        GetPaletteEntries(StandardPalette16(), 8, 8, &log.entries[8]);
    } else {
        for (int i = 0; i < count; ++i)
            log.entries[i] = PALETTEENTRY{table[i].rgbRed, table[i].rgbGreen, table[i].rgbBlue, 0};
    }
    return CreatePalette(reinterpret_cast<LOGPALETTE*>(&log));
}

int ColorTableFromPalette(HPALETTE palette, RGBQUAD* table, int maxIndex) {
    if (palette == nullptr || table == nullptr || maxIndex < 0)
        return 0;
    PALETTEENTRY entries[256];
    int count = int(GetPaletteEntries(palette, 0, UINT(std::min(maxIndex + 1, 256)), entries));
    for (int i = 0; i < count; ++i)
        table[i] = RGBQUAD{entries[i].peBlue, entries[i].peGreen, entries[i].peRed, 0};
    return count;
}

// ---- rebuilding ------------------------------------------------------------------------------

namespace {

// Steps 3 to 8 of a rebuild: the new bitmap is reported through result as soon as it exists, so
// that the caller can delete it if a later step fails; every context made here is gone by then.
void MakeRebuiltBitmap(HDC screen, HBITMAP handle, const BITMAP& old, HPALETTE oldPalette, HPALETTE newPalette,
                       TCanvas* canvas, DIBSECTION& dib, HBITMAP& result) {
    BITMAPINFOHEADER& bih = dib.dsBmih;
    TMemoryDC memory(screen);
    if (bih.biSize < sizeof(BITMAPINFOHEADER)) {
        const LONG width = dib.dsBm.bmWidth;
        const LONG height = std::abs(dib.dsBm.bmHeight);
        if ((dib.dsBm.bmPlanes | dib.dsBm.bmBitsPixel) == 1)
            result = GDICheck(CreateBitmap(width, height, 1, 1, nullptr));
        else
            result = GDICheck(CreateCompatibleBitmap(screen, width, height));
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
        result = CreateDIBSection(screen, info.Get(), DIB_RGB_COLORS, &bits, nullptr, 0);
        if (result == nullptr || bits == nullptr)
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
    memory.Select(result);
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
    HBITMAP result = nullptr;
    try {
        MakeRebuiltBitmap(screen, handle, old, oldPalette, newPalette, canvas, dib, result);
    } catch (...) {
        if (result != nullptr)
            DeleteObject(result);
        throw;
    }
    if (result != nullptr)
        GetObject(result, sizeof dib, &dib);
    return result;
}

}  // namespace graphics

namespace graphics {

using namespace gdi;

// ---- shared image data -----------------------------------------------------------------------

void TSharedImage::Release() {
    if (--FRefCount > 0)
        return;
    FreeHandle();
    delete this;
}

TBitmapImage::~TBitmapImage() = default;

void TBitmapImage::FreeHandle() {
    if (FDIBHandle != nullptr) {
        ReleaseBitmapFromCanvases(FDIBHandle);
        DeleteObject(FDIBHandle);
    }
    if (FHandle != nullptr && FHandle != FDIBHandle) {
        ReleaseBitmapFromCanvases(FHandle);
        DeleteObject(FHandle);
    }
    if (FMaskHandle != nullptr) {
        ReleaseBitmapFromCanvases(FMaskHandle);
        DeleteObject(FMaskHandle);
    }
    if (FPalette != nullptr && FPalette != StandardPalette16())
        DeleteObject(FPalette);
    FHandle = FDIBHandle = FMaskHandle = nullptr;
    FPalette = nullptr;
    FSaveStream.reset();
}

// ---- the canvas of a bitmap ------------------------------------------------------------------

TBitmapCanvas::TBitmapCanvas(TBitmap& bitmap) : FBitmap(bitmap) {}

TBitmapCanvas::~TBitmapCanvas() { FreeContext(); }

void TBitmapCanvas::CreateHandle() {
    Lock();
    try {
        FBitmap.EnsureHandle();
        HBITMAP handle = FBitmap.FImage->FHandle;
        // A bitmap is selected into at most one memory context at a time.
        ReleaseBitmapFromCanvases(handle);
        FBitmap.EnsurePalette();
        HPALETTE palette = FBitmap.FImage->FPalette;
        HDC dc = GDICheck(CreateCompatibleDC(nullptr));
        FOldBitmap = handle != nullptr ? static_cast<HBITMAP>(SelectObject(dc, handle)) : nullptr;
        if (palette != nullptr) {
            FOldPalette = SelectPalette(dc, palette, TRUE);
            RealizePalette(dc);
        } else {
            FOldPalette = nullptr;
        }
        SetHandle(dc);
        TBitmapModule& module = Module();
        std::lock_guard lock(module.CanvasListLock);
        module.Canvases.push_back(this);
    } catch (...) {
        Unlock();
        throw;
    }
    Unlock();
}

void TBitmapCanvas::FreeContext() {
    if (FHandle == nullptr)
        return;
    Lock();
    HDC dc = FHandle;
    if (FOldBitmap != nullptr)
        SelectObject(dc, FOldBitmap);
    if (FOldPalette != nullptr)
        SelectPalette(dc, FOldPalette, TRUE);
    FOldBitmap = nullptr;
    FOldPalette = nullptr;
    SetHandle(nullptr);
    DeleteDC(dc);
    {
        TBitmapModule& module = Module();
        std::lock_guard lock(module.CanvasListLock);
        auto& list = module.Canvases;
        list.erase(std::remove(list.begin(), list.end(), this), list.end());
    }
    Unlock();
}

// ---- the bitmap ------------------------------------------------------------------------------

VISTEL_GRAPHIC_CLASS(TBitmap, TGraphic)

TBitmap::TBitmap() {
    FImage = new TBitmapImage;
    FImage->Reference();
}

TBitmap::~TBitmap() {
    FCanvas.reset();
    std::lock_guard lock(SharedImageLock());
    FImage->Release();
}

void TBitmap::FreeContext() {
    if (FCanvas)
        FCanvas->FreeContext();
}

void TBitmap::NewImage(HBITMAP handle, HPALETTE palette, const DIBSECTION& dib, bool os2Format,
                       std::unique_ptr<TMemoryStream> saveStream) {
    auto* image = new TBitmapImage;
    image->FHandle = handle;
    image->FPalette = palette;
    image->FDIB = dib;
    image->FOS2Format = os2Format;
    image->FSaveStream = std::move(saveStream);
    if (dib.dsBm.bmBits != nullptr)
        image->FDIBHandle = handle;
    image->Reference();
    {
        std::lock_guard lock(SharedImageLock());
        FreeContext();
        FImage->Release();
        FImage = image;
    }
    FMaskValid = false;
}

void TBitmap::CopyImage(HBITMAP handle, HPALETTE palette, DIBSECTION dib) {
    FreeContext();
    HPALETTE newPalette = nullptr;
    HBITMAP newHandle = nullptr;
    try {
        newPalette = palette == StandardPalette16() ? palette : CopyPalette(palette);
        newHandle = RebuildBitmap(handle, palette, newPalette, FCanvas.get(), dib);
        NewImage(newHandle, newPalette, dib, FImage->FOS2Format);
    } catch (...) {
        DeletePalette(newPalette);
        if (newHandle != nullptr)
            DeleteObject(newHandle);
        throw;
    }
}

void TBitmap::EnsureHandle() {
    if (FImage->FHandle == nullptr && FImage->FDIBHandle == nullptr && FImage->FSaveStream) {
        TMemoryStream* stream = FImage->FSaveStream.get();
        stream->SetPosition(0);
        // A silent reload: the pixels do not change, so nobody is told.
        TNotifyEvent saved = std::move(OnChange);
        OnChange = nullptr;
        try {
            LoadFromStream(*stream);
        } catch (...) {
            OnChange = std::move(saved);
            throw;
        }
        OnChange = std::move(saved);
    }
    if (FImage->FHandle == nullptr)
        FImage->FHandle = FImage->FDIBHandle;
}

void TBitmap::EnsureDIBSection() {
    TBitmapImage& image = *FImage;
    if (image.FHandle == nullptr || image.FDIBHandle != nullptr)
        return;
    EnsurePalette();
    if (image.FDIB.dsBmih.biSize == 0) {
        GetObject(image.FHandle, sizeof image.FDIB, &image.FDIB);
        BITMAPINFOHEADER& bih = image.FDIB.dsBmih;
        bih.biSize = sizeof(BITMAPINFOHEADER);
        bih.biWidth = image.FDIB.dsBm.bmWidth;
        bih.biHeight = image.FDIB.dsBm.bmHeight;
        bih.biPlanes = 1;
        bih.biBitCount = WORD(image.FDIB.dsBm.bmPlanes * image.FDIB.dsBm.bmBitsPixel);
    }
    image.FDIBHandle = RebuildBitmap(image.FHandle, image.FPalette, image.FPalette, nullptr, image.FDIB);
}

void TBitmap::EnsurePalette() {
    TBitmapImage& image = *FImage;
    if (FIgnorePalette || image.FPalette != nullptr || image.FDIBHandle == nullptr)
        return;
    if (image.FHandle == image.FDIBHandle)
        ReleaseBitmapFromCanvases(image.FDIBHandle);
    image.FPalette = PaletteFromColorTable(image.FDIBHandle, nullptr, 0);
    if (image.FPalette == nullptr) {
        TScreenDC screen;
        const int screenDepth = GetDeviceCaps(screen, BITSPIXEL) * GetDeviceCaps(screen, PLANES);
        image.FHalftone = image.FHalftone || screenDepth < image.FDIB.dsBm.bmBitsPixel * image.FDIB.dsBm.bmPlanes;
        if (image.FHalftone)
            image.FPalette = CreateHalftonePalette(screen);
    }
    if (image.FPalette == nullptr)
        FIgnorePalette = true;
}

void TBitmap::PrepareChange() {
    // A dormant image is rebuilt first: dropping its file below would otherwise lose it.
    if (FImage->FHandle == nullptr && FImage->FDIBHandle == nullptr && FImage->FSaveStream)
        EnsureHandle();
    FreeImage();
    FImage->FDIB.dsBmih.biClrUsed = 0;
    FImage->FDIB.dsBmih.biClrImportant = 0;
    FImage->FSaveStream.reset();
}

void TBitmap::FreeImage() {
    TBitmapImage& image = *FImage;
    if (image.RefCount() > 1) {
        EnsureHandle();
        HPALETTE palette = FImage->FHalftone ? nullptr : FImage->FPalette;
        CopyImage(FImage->FHandle, palette, FImage->FDIB);
    } else if (image.FHandle != nullptr && image.FDIBHandle != nullptr && image.FHandle != image.FDIBHandle) {
        ReleaseBitmapFromCanvases(image.FDIBHandle);
        if (!DeleteObject(image.FDIBHandle))
            GDIError();
        image.FDIBHandle = nullptr;
        image.FDIB.dsBm.bmBits = nullptr;
    }
}

void TBitmap::Changed(TPersistent* sender) {
    FMaskValid = false;
    TGraphic::Changed(sender);
}

bool TBitmap::GetEmpty() {
    return FImage->FHandle == nullptr && FImage->FDIBHandle == nullptr && !FImage->FSaveStream;
}

int TBitmap::GetWidth() { return FImage->FDIB.dsBm.bmWidth; }

int TBitmap::GetHeight() { return std::abs(FImage->FDIB.dsBm.bmHeight); }

void TBitmap::Resize(int width, int height) {
    // Each setter compares with the value as stored, so only the changed dimension counts.
    if (FImage->FDIB.dsBm.bmWidth == width && FImage->FDIB.dsBm.bmHeight == height)
        return;
    EnsureHandle();
    DIBSECTION dib = FImage->FDIB;
    // Only the changed dimension is written: a top-down header keeps its negative height.
    if (dib.dsBm.bmWidth != width)
        dib.dsBm.bmWidth = dib.dsBmih.biWidth = width;
    if (dib.dsBm.bmHeight != height)
        dib.dsBm.bmHeight = dib.dsBmih.biHeight = height;
    CopyImage(FImage->FHandle, FImage->FPalette, dib);
    Changed(this);
}

void TBitmap::SetWidth(int value) { Resize(value, FImage->FDIB.dsBm.bmHeight); }

void TBitmap::SetHeight(int value) { Resize(FImage->FDIB.dsBm.bmWidth, value); }

TCanvas& TBitmap::Canvas() {
    if (!FCanvas) {
        EnsureHandle();
        FCanvas = std::make_unique<TBitmapCanvas>(*this);
        FCanvas->OnChange = [this](TPersistent*) { Changed(this); };
        FCanvas->OnChanging = [this](TPersistent*) { PrepareChange(); };
    }
    return *FCanvas;
}

HBITMAP TBitmap::GetHandle() {
    FreeContext();
    EnsureHandle();
    PrepareChange();
    return FImage->FHandle;
}

HBITMAP TBitmap::GetMaskHandle() {
    EnsureMask();
    return FImage->FMaskHandle;
}

void TBitmap::SetHandle(HBITMAP value) {
    if (FImage->FHandle == value)
        return;
    FreeContext();
    DIBSECTION dib{};
    if (value != nullptr)
        GetObject(value, sizeof dib, &dib);
    HPALETTE palette;
    if (FImage->RefCount() == 1) {
        // Unshared: the palette moves to the new image instead of being copied.
        palette = std::exchange(FImage->FPalette, nullptr);
    } else {
        palette = FImage->FPalette == StandardPalette16() ? FImage->FPalette : CopyPalette(FImage->FPalette);
    }
    try {
        NewImage(value, palette, dib, false);
    } catch (...) {
        DeletePalette(palette);
        throw;
    }
    Changed(this);
}

TBitmapHandleType TBitmap::HandleType() {
    const TBitmapImage& image = *FImage;
    if (image.FHandle == nullptr && image.FDIBHandle == nullptr)
        return image.FDIB.dsBmih.biSize == 0 ? htDDB : htDIB;
    return image.FHandle != nullptr && image.FHandle != image.FDIBHandle ? htDDB : htDIB;
}

void TBitmap::SetHandleType(TBitmapHandleType value) {
    if (value == HandleType())
        return;
    TBitmapImage& image = *FImage;
    if (image.FHandle == nullptr && image.FDIBHandle == nullptr) {
        image.FDIB.dsBmih.biSize = value == htDDB ? 0 : sizeof(BITMAPINFOHEADER);
        return;
    }
    FreeContext();
    if (value == htDDB) {
        EnsurePalette();
        DIBSECTION dib = FImage->FDIB;
        dib.dsBmih.biSize = 0;
        const bool shared = FImage->RefCount() > 1;
        HPALETTE palette = FImage->FPalette;
        HPALETTE newPalette = shared ? CopyPalette(palette) : palette;
        HBITMAP ddb = nullptr;
        try {
            ddb = RebuildBitmap(FImage->FDIBHandle, palette, newPalette, nullptr, dib);
            if (!shared) {
                // The device-dependent bitmap becomes the handle; the section stays beside it.
                FImage->FHandle = ddb;
            } else {
                NewImage(ddb, newPalette, dib, FImage->FOS2Format);
            }
        } catch (...) {
            if (shared)
                DeletePalette(newPalette);
            if (ddb != nullptr)
                DeleteObject(ddb);
            throw;
        }
    } else {
        EnsurePalette();
        EnsureDIBSection();
        if (FImage->RefCount() == 1) {
            // Take the section and palette out of the old image before it is released.
            HBITMAP section = std::exchange(FImage->FDIBHandle, nullptr);
            HPALETTE palette = std::exchange(FImage->FPalette, nullptr);
            DIBSECTION dib = FImage->FDIB;
            NewImage(section, palette, dib, FImage->FOS2Format);
        } else {
            CopyImage(FImage->FDIBHandle, FImage->FPalette, FImage->FDIB);
        }
    }
    Changed(this);
}

TPixelFormat TBitmap::PixelFormat() {
    if (HandleType() == htDDB)
        return pxDevice;
    const BITMAPINFOHEADER& bih = FImage->FDIB.dsBmih;
    switch (bih.biBitCount) {
    case 1: return px1Bit;
    case 4: return px4Bit;
    case 8: return px8Bit;
    case 16:
        if (bih.biCompression == BI_RGB)
            return px15Bit;
        if (bih.biCompression == BI_BITFIELDS && FImage->FDIB.dsBitfields[1] == 0x07E0)
            return px16Bit;
        return pxCustom;
    case 24: return px24Bit;
    case 32: return bih.biCompression == BI_RGB ? px32Bit : pxCustom;
    default: return pxCustom;
    }
}

void TBitmap::SetPixelFormat(TPixelFormat value) {
    if (value == PixelFormat())
        return;
    if (value == pxDevice) {
        SetHandleType(htDDB);
        return;
    }
    if (value == pxCustom)
        throw EInvalidGraphic(base::LoadStr(res::SInvalidPixelFormat));
    static constexpr WORD kBits[] = {0, 1, 4, 8, 16, 16, 24, 32};
    DIBSECTION dib{};
    dib.dsBm = FImage->FDIB.dsBm;
    dib.dsBm.bmBits = nullptr;
    BITMAPINFOHEADER& bih = dib.dsBmih;
    bih.biSize = sizeof(BITMAPINFOHEADER);
    bih.biWidth = dib.dsBm.bmWidth;
    bih.biHeight = dib.dsBm.bmHeight;
    bih.biPlanes = 1;
    bih.biBitCount = kBits[static_cast<int>(value)];
    if (value == px16Bit) {
        bih.biCompression = BI_BITFIELDS;
        dib.dsBitfields[0] = 0xF800;
        dib.dsBitfields[1] = 0x07E0;
        dib.dsBitfields[2] = 0x001F;
    }
    HPALETTE palette = FImage->FPalette;
    HPALETTE halftone = nullptr;
    if (value == px4Bit) {
        palette = StandardPalette16();
    } else if (value == px8Bit) {
        TScreenDC screen;
        halftone = palette = GDICheck(CreateHalftonePalette(screen));
    }
    try {
        CopyImage(GetHandle(), palette, dib);
    } catch (...) {
        if (halftone != nullptr)
            DeleteObject(halftone);
        throw;
    }
    if (halftone != nullptr)
        DeleteObject(halftone);
    FPaletteModified = FImage->FPalette != nullptr;
    Changed(this);
}

bool TBitmap::Monochrome() {
    const BITMAP& bm = FImage->FDIB.dsBm;
    return bm.bmPlanes == 1 && bm.bmBitsPixel == 1;
}

void TBitmap::SetMonochrome(bool value) {
    if (value == Monochrome())
        return;
    EnsureHandle();
    DIBSECTION dib = FImage->FDIB;
    // A monochrome bitmap is device-dependent; leaving monochrome makes one of the screen's depth.
    dib.dsBmih.biSize = 0;
    dib.dsBm.bmPlanes = 1;
    if (value) {
        dib.dsBm.bmBitsPixel = 1;
    } else {
        TScreenDC screen;
        dib.dsBm.bmBitsPixel = WORD(GetDeviceCaps(screen, BITSPIXEL) * GetDeviceCaps(screen, PLANES));
    }
    CopyImage(FImage->FHandle, FImage->FPalette, dib);
    Changed(this);
}

void* TBitmap::ScanLine(int row) {
    PrepareChange();
    if (row < 0 || row >= GetHeight())
        throw EInvalidGraphicOperation(base::LoadStr(res::SScanLine));
    EnsureDIBSection();
    GdiFlush();
    const BITMAPINFOHEADER& bih = FImage->FDIB.dsBmih;
    auto* bits = static_cast<BYTE*>(FImage->FDIB.dsBm.bmBits);
    if (bits == nullptr)
        throw EInvalidGraphicOperation(base::LoadStr(res::SScanLine));
    const std::size_t stride = std::size_t(((std::int64_t(bih.biWidth) * bih.biBitCount + 31) & ~31) / 8);
    const std::size_t memoryRow = bih.biHeight > 0 ? std::size_t(bih.biHeight - row - 1) : std::size_t(row);
    return bits + memoryRow * stride;
}

HPALETTE TBitmap::GetPalette() {
    EnsurePalette();
    return FImage->FPalette;
}

void TBitmap::SetPalette(HPALETTE value) {
    if (FImage->FPalette == value)
        return;
    if (value == nullptr && FImage->RefCount() == 1) {
        DeletePalette(std::exchange(FImage->FPalette, nullptr));
    } else {
        FreeContext();
        EnsureHandle();
        DIBSECTION dib = FImage->FDIB;
        HBITMAP handle = RebuildBitmap(FImage->FHandle, FImage->FPalette, value, nullptr, dib);
        try {
            NewImage(handle, value, dib, FImage->FOS2Format);
        } catch (...) {
            if (handle != nullptr)
                DeleteObject(handle);
            throw;
        }
    }
    const TBitmapImage& image = *FImage;
    if (image.FDIBHandle != nullptr && image.FDIB.dsBmih.biBitCount <= 8 && image.FPalette != nullptr) {
        RGBQUAD table[256];
        int count = ColorTableFromPalette(image.FPalette, table, 255);
        TMemoryDC dc;
        ReleaseBitmapFromCanvases(image.FDIBHandle);
        dc.Select(image.FDIBHandle);
        SetDIBColorTable(dc, 0, UINT(count), table);
    }
    FPaletteModified = true;
    Changed(this);
}

TColor TBitmap::TransparentColor() {
    if (FTransparentMode == TTransparentMode::tmFixed)
        return TColor(ColorToRGB(FTransparentColor) | 0x02000000u);
    if (Monochrome())
        return TColor(0x02FFFFFF);
    TCanvas& canvas = Canvas();
    canvas.RequiredState(csHandleValid);
    HDC dc = canvas.RawHandle();
    return TColor(GetPixel(dc, 0, GetHeight() - 1) | 0x02000000u);
}

void TBitmap::SetTransparentColor(TColor value) {
    if (value == FTransparentColor)
        return;
    FTransparentMode = value == ColorDefault ? TTransparentMode::tmAuto : TTransparentMode::tmFixed;
    FTransparentColor = value;
    if (FImage->RefCount() > 1) {
        EnsureHandle();
        CopyImage(FImage->FHandle, FImage->FPalette, FImage->FDIB);
    }
    Changed(this);
}

void TBitmap::SetTransparentMode(TTransparentMode value) {
    if (value == FTransparentMode)
        return;
    if (value == TTransparentMode::tmAuto)
        SetTransparentColor(ColorDefault);
    else
        SetTransparentColor(TransparentColor());
}

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
    HBITMAP mask = BuildMaskBitmap(FImage->FHandle, FImage->FPalette, ColorToRGB(transparentColor));
    HPALETTE palette = nullptr;
    try {
        DIBSECTION dib{};
        GetObject(mask, sizeof dib, &dib);
        palette = FImage->FPalette == StandardPalette16() ? FImage->FPalette : CopyPalette(FImage->FPalette);
        NewImage(mask, palette, dib, FImage->FOS2Format);
    } catch (...) {
        DeletePalette(palette);
        DeleteObject(mask);
        throw;
    }
    Changed(this);
}

HBITMAP BuildMaskBitmap(HBITMAP handle, HPALETTE palette, COLORREF transparentColor) {
    BITMAP bm{};
    if (handle == nullptr || GetObject(handle, sizeof bm, &bm) < int(sizeof bm))
        return nullptr;
    const LONG width = bm.bmWidth;
    const LONG height = std::abs(bm.bmHeight);
    HBITMAP mask = GDICheck(CreateBitmap(width, height, 1, 1, nullptr));
    HBITMAP temporary = nullptr;
    try {
        TMemoryDC maskDC;
        maskDC.Select(mask);
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
                temporary = source = RebuildBitmap(handle, palette, palette, nullptr, dib);
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
    } catch (...) {
        if (temporary != nullptr)
            DeleteObject(temporary);
        DeleteObject(mask);
        throw;
    }
    if (temporary != nullptr)
        DeleteObject(temporary);
    return mask;
}

void MaskedStretchBlit(HDC dest, int x, int y, int w, int h, HDC source, int sx, int sy, int sw, int sh, HDC mask,
                       int mx, int my) {
    if (w == sw && h == sh) {
        // Same size: one masked blit. The mask leaves the context for the call.
        HBITMAP placeholder = CreateCompatibleBitmap(source, 1, 1);
        HGDIOBJ maskBitmap = SelectObject(mask, placeholder);
        MaskBlt(dest, x, y, w, h, source, sx, sy, static_cast<HBITMAP>(maskBitmap), mx, my, MAKEROP4(0x00AA0029, SRCCOPY));
        SelectObject(mask, maskBitmap);
        DeleteObject(placeholder);
        return;
    }
    HDC memory = GDICheck(CreateCompatibleDC(nullptr));
    HBITMAP bitmap = CreateCompatibleBitmap(source, sw, sh);
    HGDIOBJ oldBitmap = SelectObject(memory, bitmap);
    // The source's current palette, learned by selecting another one in and back out.
    HPALETTE sourcePalette = SelectPalette(source, StandardPalette16(), TRUE);
    SelectPalette(source, sourcePalette, TRUE);
    HPALETTE oldPalette = SelectPalette(memory, sourcePalette != nullptr ? sourcePalette : StandardPalette16(), TRUE);
    RealizePalette(memory);
    StretchBlt(memory, 0, 0, sw, sh, mask, mx, my, sw, sh, SRCCOPY);
    StretchBlt(memory, 0, 0, sw, sh, source, sx, sy, sw, sh, SRCERASE);
    COLORREF oldText = SetTextColor(dest, 0);
    COLORREF oldBk = SetBkColor(dest, 0x00FFFFFF);
    StretchBlt(dest, x, y, w, h, mask, mx, my, sw, sh, SRCAND);
    StretchBlt(dest, x, y, w, h, memory, 0, 0, sw, sh, SRCINVERT);
    SetTextColor(dest, oldText);
    SetBkColor(dest, oldBk);
    SelectObject(memory, oldBitmap);
    DeleteObject(bitmap);
    SelectPalette(memory, oldPalette, TRUE);
    DeleteDC(memory);
}

void TBitmap::Draw(TCanvas& canvas, const TRect& rect) {
    canvas.RequiredState(csAllValid);
    EnsurePalette();
    HDC dc = canvas.RawHandle();
    HPALETTE oldPalette = nullptr;
    const bool hasPalette = FImage->FPalette != nullptr;
    if (hasPalette) {
        oldPalette = SelectPalette(dc, FImage->FPalette, TRUE);
        RealizePalette(dc);
    }
    try {
        const int destDepth = GetDeviceCaps(dc, BITSPIXEL) * GetDeviceCaps(dc, PLANES);
        const int depth = FImage->FDIB.dsBm.bmBitsPixel * FImage->FDIB.dsBm.bmPlanes;
        if (destDepth <= 8 && depth > destDepth) {
            POINT origin{};
            GetBrushOrgEx(dc, &origin);
            SetStretchBltMode(dc, HALFTONE);
            SetBrushOrgEx(dc, origin.x, origin.y, nullptr);
        } else if (!Monochrome()) {
            SetStretchBltMode(dc, COLORONCOLOR);
        }
        if (GetTransparent())
            EnsureMask();
        TCanvas& own = Canvas();
        own.RequiredState(csAllValid);
        HDC source = own.RawHandle();
        const int w = rect.right - rect.left;
        const int h = rect.bottom - rect.top;
        if (!GetTransparent()) {
            StretchBlt(dc, rect.left, rect.top, w, h, source, 0, 0, GetWidth(), GetHeight(), canvas.CopyMode);
        } else {
            TMemoryDC maskDC;
            maskDC.Select(FImage->FMaskHandle);
            MaskedStretchBlit(dc, rect.left, rect.top, w, h, source, 0, 0, GetWidth(), GetHeight(), maskDC, 0, 0);
        }
    } catch (...) {
        if (hasPalette)
            SelectPalette(dc, oldPalette, TRUE);
        throw;
    }
    if (hasPalette)
        SelectPalette(dc, oldPalette, TRUE);
}

void TBitmap::Assign(TPersistent* source) {
    auto* bitmap = dynamic_cast<TBitmap*>(source);
    if (source != nullptr && bitmap == nullptr) {
        TGraphic::Assign(source);
        return;
    }
    if (bitmap == this)
        return;
    if (bitmap != nullptr) {
        std::lock_guard lock(SharedImageLock());
        FreeContext();
        bitmap->FImage->Reference();
        FImage->Release();
        FImage = bitmap->FImage;
        FTransparent = bitmap->FTransparent;
        FTransparentColor = bitmap->FTransparentColor;
        FTransparentMode = bitmap->FTransparentMode;
        FMaskValid = false;
        FIgnorePalette = bitmap->FIgnorePalette;
    } else {
        NewImage(nullptr, nullptr, DIBSECTION{}, false);
    }
    FPaletteModified = GetPalette() != nullptr;
    Changed(this);
}

void TBitmap::MakeDormant() {
    auto stream = std::make_unique<TMemoryStream>();
    SaveToStream(*stream);
    FCanvas.reset();
    DIBSECTION dib = FImage->FDIB;
    dib.dsBm.bmBits = nullptr;
    NewImage(nullptr, nullptr, dib, FImage->FOS2Format, std::move(stream));
}

void TBitmap::LoadFromClipboardFormat(std::uint16_t format, THandle data, HPALETTE palette) {
    constexpr std::uint16_t CF_BITMAP = 2;
    if (format != CF_BITMAP || data == 0)
        throw EInvalidGraphic(base::LoadStr(res::SUnknownClipboardFormat));
    auto handle = reinterpret_cast<HBITMAP>(data);
    DIBSECTION dib{};
    if (GetObject(handle, sizeof dib, &dib) < int(sizeof(BITMAP)))
        throw EInvalidGraphic(base::LoadStr(res::SInvalidBitmap));
    CopyImage(handle, palette, dib);
    FPaletteModified = FImage->FPalette != nullptr;
    Changed(this);
}

void TBitmap::SaveToClipboardFormat(std::uint16_t& format, THandle& data, HPALETTE& palette) {
    constexpr std::uint16_t CF_BITMAP = 2;
    format = CF_BITMAP;
    EnsureHandle();
    DIBSECTION dib = FImage->FDIB;
    HPALETTE copy = CopyPalette(FImage->FPalette);
    HBITMAP handle = nullptr;
    try {
        handle = RebuildBitmap(FImage->FHandle, FImage->FPalette, copy, nullptr, dib);
    } catch (...) {
        DeletePalette(copy);
        throw;
    }
    data = reinterpret_cast<THandle>(handle);
    palette = copy;
}

}  // namespace graphics
