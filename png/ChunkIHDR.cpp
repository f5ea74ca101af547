// The header chunk: its reading and validation, and the image storage it owns.
#include "png/PngImage.h"
#include "platform/base/CheckedMath.h"
#include "platform/gdi/Storage.h"

#include <cstring>
#include <new>
#include <optional>
#include <vector>

namespace png {

PNG_CHUNK_CLASS(TChunkIHDR, TChunk)

namespace {

std::uint32_t BigEndian32(const std::uint8_t* bytes) {
    return (std::uint32_t(bytes[0]) << 24) | (std::uint32_t(bytes[1]) << 16) | (std::uint32_t(bytes[2]) << 8) |
           std::uint32_t(bytes[3]);
}

// PNG 11.2.2: the bit depths each colour type allows.
bool IsValidFormat(std::uint8_t colorType, std::uint8_t bitDepth) {
    switch (colorType) {
    case kColorGray:
        return bitDepth == 1 || bitDepth == 2 || bitDepth == 4 || bitDepth == 8 || bitDepth == 16;
    case kColorPalette:
        return bitDepth == 1 || bitDepth == 2 || bitDepth == 4 || bitDepth == 8;
    case kColorRgb:
    case kColorGrayAlpha:
    case kColorRgbAlpha:
        return bitDepth == 8 || bitDepth == 16;
    default:
        return false;
    }
}

[[noreturn]] void OutOfMemory() { TPNGObject::RaisePngError<EPNGOutMemory>(res::SPngOutMemory); }

/// A zero-filled plane of the given size from the raster layer's storage gate.
std::unique_ptr<std::uint8_t[]> AllocatePlane(std::size_t bytes) {
    std::unique_ptr<std::uint8_t[]> plane = gdi::AllocateStorage(bytes);
    if (plane == nullptr)
        OutOfMemory();
    return plane;
}

}  // namespace

TChunkIHDR::~TChunkIHDR() { ReleaseImage(); }

bool TChunkIHDR::ReadChunk(TStream& stream, const TChunkType& type, std::int32_t length) {
    TChunk::ReadChunk(stream, type, length);
    if (DataSize() < 13)
        TPNGObject::RaisePngError<EPngInvalidIHDR>(res::SPngInvalidIHDR);
    const std::uint8_t* data = Data();
    FWidth = BigEndian32(data);
    FHeight = BigEndian32(data + 4);
    FBitDepth = data[8];
    FColorType = data[9];
    FCompressionMethod = data[10];
    FFilterMethod = data[11];
    FInterlaceMethod = data[12];
    if (FWidth > 65535 || FHeight > 65535)
        TPNGObject::RaisePngError<EPNGSizeExceeds>(res::SPngSizeExceeds);
    if (FCompressionMethod != 0)
        TPNGObject::RaisePngError<EPNGUnknownCompression>(res::SPngUnknownCompression);
    if (FInterlaceMethod != 0 && FInterlaceMethod != 1)
        TPNGObject::RaisePngError<EPNGUnknownInterlace>(res::SPngUnknownInterlace);
    // An empty image or a format the PNG standard does not define has no storage layout and no
    // row conversion; the header is as damaged as a short one.
    if (FWidth == 0 || FHeight == 0 || !IsValidFormat(FColorType, FBitDepth))
        TPNGObject::RaisePngError<EPngInvalidIHDR>(res::SPngInvalidIHDR);
    Owner().InterlaceMode = FInterlaceMethod;
    PrepareImage();
    return true;
}

void TChunkIHDR::PrepareImage() {
    std::memset(&FBitmapInfo, 0, sizeof(FBitmapInfo));
    ReleaseImage();

    gdi::BITMAPINFOHEADER& info = FBitmapInfo.bmiHeader;
    info.biSize = sizeof(gdi::BITMAPINFOHEADER);
    info.biWidth = gdi::LONG(FWidth);
    info.biHeight = gdi::LONG(FHeight);
    info.biPlanes = 1;
    info.biCompression = gdi::BI_RGB;
    switch (FColorType) {
    case kColorGray:
    case kColorPalette:
    case kColorGrayAlpha:
        switch (FBitDepth) {
        case 1: case 4: case 8: info.biBitCount = FBitDepth; FUsesColorTable = true; break;
        case 2: info.biBitCount = 4; FUsesColorTable = true; break;
        case 16: info.biBitCount = 8; FUsesColorTable = true; break;
        default: break;
        }
        break;
    case kColorRgb:
    case kColorRgbAlpha:
        info.biBitCount = 24;
        break;
    default:
        break;
    }

    const std::optional<std::size_t> stride = base::DibRowStride(FWidth, info.biBitCount);
    if (!stride || *stride > std::size_t(INT32_MAX))
        OutOfMemory();
    FRowStride = std::int32_t(*stride);
    const std::optional<std::size_t> planeBytes = base::CheckedMul(*stride, std::size_t(FHeight));
    if (!planeBytes)
        OutOfMemory();
    // The planes are weighed as one picture before the first is allocated: a header that asks for
    // more than the cap in all is refused without touching memory of that size.
    const bool hasAlpha = FColorType == kColorGrayAlpha || FColorType == kColorRgbAlpha;
    const std::size_t alphaBytes = hasAlpha ? std::size_t(FWidth) * FHeight : 0;
    const std::size_t extraBytes = FBitDepth == 16 ? *planeBytes : 0;
    if (!gdi::StorageAllowed({*planeBytes, alphaBytes, extraBytes}))
        OutOfMemory();

    if (hasAlpha)
        FAlphaPlane = AllocatePlane(alphaBytes);
    if (FBitDepth == 16)
        FExtraPlane = AllocatePlane(extraBytes);

    FImageDC = gdi::CreateCompatibleDC(nullptr);
    if (FImageDC == nullptr)
        OutOfMemory();
    Owner().ImageCanvas().SetHandle(FImageDC);

    if (FUsesColorTable) {
        FImagePalette = FColorType == kColorPalette ? gdi::CreateHalftonePalette(FImageDC)
                                                    : MakeGrayPalette(FBitDepth);
        const gdi::UINT entries = 1u << info.biBitCount;
        gdi::ResizePalette(FImagePalette, entries);
        info.biClrUsed = entries;
        FOldPalette = gdi::SelectPalette(FImageDC, FImagePalette, gdi::FALSE);
        gdi::RealizePalette(FImageDC);
        CopyPaletteToColorTable(FImagePalette);
    }

    void* bits = nullptr;
    FImageHandle = gdi::CreateDIBSection(FImageDC, FBitmapInfo.Info(), gdi::DIB_RGB_COLORS, &bits, nullptr, 0);
    if (FImageHandle == nullptr || bits == nullptr)
        OutOfMemory();
    FColorPlane = static_cast<std::uint8_t*>(bits);
    FOldBitmap = static_cast<HBITMAP>(gdi::SelectObject(FImageDC, FImageHandle));
    // The raster layer hands out pixel storage already cleared, so the plane starts zero-filled.
}

void TChunkIHDR::ReleaseImage() {
    if (FImageDC != nullptr) {
        // A bitmap or palette still selected into a context cannot be deleted; the context gets
        // its own objects back first.
        if (FOldBitmap != nullptr)
            gdi::SelectObject(FImageDC, FOldBitmap);
        if (FOldPalette != nullptr)
            gdi::SelectPalette(FImageDC, FOldPalette, gdi::FALSE);
        if (Owner().ImageCanvas().RawHandle() == FImageDC)
            Owner().ImageCanvas().SetHandle(nullptr);
    }
    if (FImageHandle != nullptr)
        gdi::DeleteObject(FImageHandle);
    if (FImageDC != nullptr)
        gdi::DeleteDC(FImageDC);
    FAlphaPlane.reset();
    if (FImagePalette != nullptr)
        gdi::DeleteObject(FImagePalette);
    FExtraPlane.reset();
    FImageHandle = nullptr;
    FImageDC = nullptr;
    FColorPlane = nullptr;
    FImagePalette = nullptr;
    FOldBitmap = nullptr;
    FOldPalette = nullptr;
    FUsesColorTable = false;
}

HPALETTE TChunkIHDR::MakeGrayPalette(int bitDepth) const {
    if (bitDepth == 16)
        bitDepth = 8;
    const int count = 1 << bitDepth;
    std::vector<std::uint8_t> storage(sizeof(gdi::LOGPALETTE) + sizeof(gdi::PALETTEENTRY) * std::size_t(count));
    auto* palette = reinterpret_cast<gdi::LOGPALETTE*>(storage.data());
    palette->palVersion = 0x300;
    palette->palNumEntries = gdi::WORD(count);
    const auto& gamma = Owner().GammaLookup;
    for (int i = 0; i < count; ++i) {
        const std::uint8_t level = gamma[std::size_t(gdi::MulDiv(i, 255, count - 1))];
        palette->palPalEntry[i] = gdi::PALETTEENTRY{level, level, level, 0};
    }
    return gdi::CreatePalette(palette);
}

void TChunkIHDR::CopyPaletteToColorTable(HPALETTE palette) {
    gdi::PALETTEENTRY entries[256];
    const gdi::UINT count = gdi::GetPaletteEntries(palette, 0, 256, entries);
    FBitmapInfo.bmiHeader.biClrUsed = count;
    for (gdi::UINT i = 0; i < count; ++i) {
        FBitmapInfo.bmiColors[i].rgbRed = entries[i].peRed;
        FBitmapInfo.bmiColors[i].rgbGreen = entries[i].peGreen;
        FBitmapInfo.bmiColors[i].rgbBlue = entries[i].peBlue;
    }
    // The section keeps a colour table of its own; it follows the description, so drawing
    // through the image's context shows the same colours as drawing from the description.
    if (FImageHandle != nullptr && count > 0)
        gdi::SetDIBColorTable(FImageDC, 0, count, FBitmapInfo.bmiColors);
}

void TChunkIHDR::CopyChunk(const TChunk& source) {
    const auto* header = dynamic_cast<const TChunkIHDR*>(&source);
    if (header == nullptr)
        TPNGObject::RaisePngError<EPngError>(res::SPngChunksNotCompatible);
    FWidth = header->FWidth;
    FHeight = header->FHeight;
    FBitDepth = header->FBitDepth;
    FColorType = header->FColorType;
    FCompressionMethod = header->FCompressionMethod;
    FFilterMethod = header->FFilterMethod;
    FInterlaceMethod = header->FInterlaceMethod;
    PrepareImage();
    if (FColorPlane != nullptr && header->FColorPlane != nullptr)
        std::memcpy(FColorPlane, header->FColorPlane, std::size_t(FRowStride) * FHeight);
    if (FAlphaPlane && header->FAlphaPlane)
        std::memcpy(FAlphaPlane.get(), header->FAlphaPlane.get(), std::size_t(FWidth) * FHeight);
    std::memcpy(FBitmapInfo.bmiColors, header->FBitmapInfo.bmiColors, sizeof(FBitmapInfo.bmiColors));
    if (FImagePalette != nullptr && header->FImagePalette != nullptr) {
        gdi::PALETTEENTRY entries[256];
        const gdi::UINT count = gdi::GetPaletteEntries(header->FImagePalette, 0, 256, entries);
        gdi::ResizePalette(FImagePalette, count);
        gdi::SetPaletteEntries(FImagePalette, 0, count, entries);
    }
    if (FImageHandle != nullptr && FBitmapInfo.bmiHeader.biClrUsed > 0)
        gdi::SetDIBColorTable(FImageDC, 0, FBitmapInfo.bmiHeader.biClrUsed, FBitmapInfo.bmiColors);
}

}  // namespace png
