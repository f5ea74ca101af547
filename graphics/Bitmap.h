// The bitmap graphic: reference-counted image data shared copy-on-write between bitmaps, the
// canvas that draws into a bitmap, and BMP files in and out.
#pragma once

#include "graphics/Canvas.h"
#include "graphics/Graphic.h"

#include <memory>
#include <mutex>

namespace graphics {

/// Image data shared by reference count; the last release frees its platform handles.
class TSharedImage {
public:
    virtual ~TSharedImage() = default;
    void Reference() { ++FRefCount; }
    /// Drops one reference; the last one frees the handles and destroys the object.
    void Release();
    int RefCount() const { return FRefCount; }

protected:
    virtual void FreeHandle() = 0;

private:
    int FRefCount = 0;
};

class TBitmapImage final : public TSharedImage {
public:
    TBitmapImage() = default;
    ~TBitmapImage() override;
    HBITMAP FHandle = nullptr;     // the bitmap in use: a DIB section or a device-dependent one
    HBITMAP FMaskHandle = nullptr;
    HPALETTE FPalette = nullptr;
    HBITMAP FDIBHandle = nullptr;  // the DIB section; equal to FHandle when device-independent
    gdi::DIBSECTION FDIB{};
    std::unique_ptr<TMemoryStream> FSaveStream;  // the whole file of a run-length-compressed BMP
    bool FOS2Format = false;
    bool FHalftone = false;

protected:
    void FreeHandle() override;
};

enum class TBitmapHandleType { bmDIB, bmDDB };
constexpr TBitmapHandleType htDIB = TBitmapHandleType::bmDIB;
constexpr TBitmapHandleType htDDB = TBitmapHandleType::bmDDB;

enum class TPixelFormat { pfDevice, pf1bit, pf4bit, pf8bit, pf15bit, pf16bit, pf24bit, pf32bit, pfCustom };
constexpr TPixelFormat pxDevice = TPixelFormat::pfDevice;
constexpr TPixelFormat px1Bit = TPixelFormat::pf1bit;
constexpr TPixelFormat px4Bit = TPixelFormat::pf4bit;
constexpr TPixelFormat px8Bit = TPixelFormat::pf8bit;
constexpr TPixelFormat px15Bit = TPixelFormat::pf15bit;
constexpr TPixelFormat px16Bit = TPixelFormat::pf16bit;
constexpr TPixelFormat px24Bit = TPixelFormat::pf24bit;
constexpr TPixelFormat px32Bit = TPixelFormat::pf32bit;
constexpr TPixelFormat pxCustom = TPixelFormat::pfCustom;

enum class TTransparentMode { tmAuto, tmFixed };

class TBitmapCanvas;

class TBitmap : public TGraphic {
public:
    VISTEL_DECLARE_GRAPHIC_CLASS()
    TBitmap();
    ~TBitmap() override;

    void Assign(TPersistent* source) override;
    void Changed(TPersistent* sender) override;
    void Draw(TCanvas& canvas, const TRect& rect) override;
    bool GetEmpty() override;
    int GetHeight() override;
    HPALETTE GetPalette() override;
    int GetWidth() override;
    void ReadData(TStream& stream) override;
    void SetHeight(int value) override;
    void SetPalette(HPALETTE value) override;
    void SetWidth(int value) override;
    void WriteData(TStream& stream) override;
    void LoadFromStream(TStream& stream) override;
    void SaveToStream(TStream& stream) override;
    void LoadFromClipboardFormat(std::uint16_t format, THandle data, HPALETTE palette) override;
    void SaveToClipboardFormat(std::uint16_t& format, THandle& data, HPALETTE& palette) override;

    // Virtual operations added by the bitmap, in this order.
    virtual HBITMAP GetHandle();
    virtual HBITMAP GetMaskHandle();
    virtual void SetHandleType(TBitmapHandleType value);

    TCanvas& Canvas();
    bool HasCanvas() const { return FCanvas != nullptr; }
    HBITMAP Handle() { return GetHandle(); }
    void SetHandle(HBITMAP value);
    HBITMAP MaskHandle() { return GetMaskHandle(); }
    TBitmapHandleType HandleType();
    TPixelFormat PixelFormat();
    void SetPixelFormat(TPixelFormat value);
    bool Monochrome();
    void SetMonochrome(bool value);
    /// The address of a row's first byte in the DIB section.
    void* ScanLine(int row);
    TColor TransparentColor();
    void SetTransparentColor(TColor value);
    TTransparentMode TransparentMode() const { return FTransparentMode; }
    void SetTransparentMode(TTransparentMode value);
    /// Turns the image into its monochrome mask for the colour.
    void Mask(TColor transparentColor);
    /// Gives this bitmap image data of its own when shared, or drops a spare DIB copy.
    void FreeImage();
    /// Keeps only an in-memory BMP file of the image; the next use rebuilds it.
    void MakeDormant();

    /// Runs before every change of the pixels: copy-on-write, stale counts and file dropped.
    void PrepareChange();
    bool IgnorePalette() const { return FIgnorePalette; }
    const TBitmapImage& Image() const { return *FImage; }

    // BMP files.
    void ReadBmpFile(TStream& stream, std::int64_t size);
    void ReadBmpBody(TStream& stream, std::int64_t budget, const gdi::BITMAPFILEHEADER* fileHeader);
    void WriteStream(TStream& stream, bool writeSize);

private:
    friend class TBitmapCanvas;
    void NewImage(HBITMAP handle, HPALETTE palette, const gdi::DIBSECTION& dib, bool os2Format,
                  std::unique_ptr<TMemoryStream> saveStream = nullptr);
    void CopyImage(HBITMAP handle, HPALETTE palette, gdi::DIBSECTION dib);
    void EnsureHandle();
    void EnsureDIBSection();
    void EnsurePalette();
    void EnsureMask();
    void Resize(int width, int height);
    void FreeContext();

    TBitmapImage* FImage = nullptr;
    std::unique_ptr<TBitmapCanvas> FCanvas;
    bool FIgnorePalette = false;
    bool FMaskValid = false;
    TColor FTransparentColor = ColorDefault;
    TTransparentMode FTransparentMode = TTransparentMode::tmAuto;
};

/// The canvas of a bitmap: its context is made when drawing needs one and released after each
/// handled message (ReleaseIdleBitmapContexts).
class TBitmapCanvas final : public TCanvas {
public:
    explicit TBitmapCanvas(TBitmap& bitmap);
    ~TBitmapCanvas() override;
    const char* ClassName() const override { return "TBitmapCanvas"; }
    void CreateHandle() override;
    void FreeContext();
    TBitmap& Owner() { return FBitmap; }

private:
    TBitmap& FBitmap;
    HBITMAP FOldBitmap = nullptr;
    HPALETTE FOldPalette = nullptr;
};

/// Takes a bitmap handle out of every bitmap canvas that has it selected.
void ReleaseBitmapFromCanvases(HBITMAP handle);
/// Frees the contexts of bitmap canvases whose lock is free (after every handled message).
void ReleaseIdleBitmapContexts();
/// The bitmap side of the graphics module's start-up and shutdown.
void InitializeBitmaps();
void FinalizeBitmaps();

/// Makes a bitmap from a description; see the bitmap's sizing and copying.
HBITMAP RebuildBitmap(HBITMAP handle, HPALETTE oldPalette, HPALETTE newPalette, TCanvas* canvas,
                      gdi::DIBSECTION& dib);
HPALETTE PaletteFromColorTable(HBITMAP dibHandle, const gdi::RGBQUAD* colorTable, int colors);
int ColorTableFromPalette(HPALETTE palette, gdi::RGBQUAD* table, int maxIndex);
HBITMAP BuildMaskBitmap(HBITMAP handle, HPALETTE palette, gdi::COLORREF transparentColor);
void MaskedStretchBlit(HDC dest, int x, int y, int w, int h, HDC source, int sx, int sy, int sw, int sh,
                       HDC mask, int mx, int my);

/// The screen's vertical pixels per inch, read at start-up.
int ScreenPixelsPerInch();
/// The process-wide 16-colour palette; never deleted by its users.
HPALETTE StandardPalette16();
/// The lock that guards the swap of shared image data.
std::recursive_mutex& SharedImageLock();

}  // namespace graphics
