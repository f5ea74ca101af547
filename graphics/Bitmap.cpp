// The bitmap graphic. Image data is shared by reference count and copied only when a sharer is
// about to change it; platform handles, DIB sections, palettes, masks and memory contexts are made
// on first need and dropped again as soon as they can be rebuilt.
#include "graphics/Bitmap.h"
#include "graphics/BitmapPrivate.h"
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
    // Out of the list first: other threads read the handle of every listed canvas under the
    // list's lock alone, so it changes only while the canvas is not listed.
    {
        TBitmapModule& module = Module();
        std::lock_guard lock(module.CanvasListLock);
        auto& list = module.Canvases;
        list.erase(std::remove(list.begin(), list.end(), this), list.end());
    }
    HDC dc = FHandle;
    if (FOldBitmap != nullptr)
        SelectObject(dc, FOldBitmap);
    if (FOldPalette != nullptr)
        SelectPalette(dc, FOldPalette, TRUE);
    FOldBitmap = nullptr;
    FOldPalette = nullptr;
    SetHandle(nullptr);
    DeleteDC(dc);
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
    TImagePalette newPalette(palette == StandardPalette16() ? palette : CopyPalette(palette));
    TOwnedBitmap newHandle(RebuildBitmap(handle, palette, newPalette.Get(), FCanvas.get(), dib));
    NewImage(newHandle.Get(), newPalette.Get(), dib, FImage->FOS2Format);
    newHandle.Release();
    newPalette.Release();
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
    TImagePalette palette;
    if (FImage->RefCount() == 1) {
        // Unshared: the palette moves to the new image instead of being copied.
        palette.Reset(std::exchange(FImage->FPalette, nullptr));
    } else {
        palette.Reset(FImage->FPalette == StandardPalette16() ? FImage->FPalette : CopyPalette(FImage->FPalette));
    }
    NewImage(value, palette.Get(), dib, false);
    palette.Release();
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
        // A shared image's palette is copied for the new one; an unshared image keeps its own.
        TImagePalette copy(shared ? CopyPalette(palette) : nullptr);
        HPALETTE newPalette = shared ? copy.Get() : palette;
        TOwnedBitmap ddb(RebuildBitmap(FImage->FDIBHandle, palette, newPalette, nullptr, dib));
        if (!shared) {
            // The device-dependent bitmap becomes the handle; the section stays beside it.
            FImage->FHandle = ddb.Release();
        } else {
            NewImage(ddb.Get(), newPalette, dib, FImage->FOS2Format);
            ddb.Release();
            copy.Release();
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
    {
        HPALETTE palette = FImage->FPalette;
        // The image gets a copy of the halftone palette, so this one goes as soon as it is copied.
        TOwnedPalette halftone;
        if (value == px4Bit) {
            palette = StandardPalette16();
        } else if (value == px8Bit) {
            TScreenDC screen;
            halftone.Reset(GDICheck(CreateHalftonePalette(screen)));
            palette = halftone.Get();
        }
        CopyImage(GetHandle(), palette, dib);
    }
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
        TOwnedBitmap handle(RebuildBitmap(FImage->FHandle, FImage->FPalette, value, nullptr, dib));
        NewImage(handle.Get(), value, dib, FImage->FOS2Format);
        handle.Release();
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

void TBitmap::Draw(TCanvas& canvas, const TRect& rect) {
    canvas.RequiredState(csAllValid);
    EnsurePalette();
    HDC dc = canvas.RawHandle();
    TPaletteSelection palette;
    if (FImage->FPalette != nullptr) {
        palette = ScopedSelectPalette(dc, FImage->FPalette, TRUE);
        RealizePalette(dc);
    }
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
    TImagePalette copy(CopyPalette(FImage->FPalette));
    HBITMAP handle = RebuildBitmap(FImage->FHandle, FImage->FPalette, copy.Get(), nullptr, dib);
    data = reinterpret_cast<THandle>(handle);
    palette = copy.Release();
}

}  // namespace graphics