// The PNG graphic's operations besides reading, drawing and writing: the writing settings,
// copying to and from PNG objects, bitmaps, bitmap handles and the clipboard, pixel access and
// resizing.
#include "graphics/Bitmap.h"
#include "platform/base/CheckedMath.h"
#include "platform/gdi/Storage.h"
#include "png/PngImage.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <new>
#include <vector>

namespace png {

using graphics::TBitmap;

namespace {

[[noreturn]] void OutOfMemory() { TPNGObject::RaisePngError<EPNGOutMemory>(res::SPngOutMemory); }

std::unique_ptr<std::uint8_t[]> NewPlane(std::size_t bytes, std::uint8_t fill) {
    std::unique_ptr<std::uint8_t[]> plane = gdi::AllocateStorage(bytes);
    if (plane == nullptr)
        OutOfMemory();
    if (fill != 0)
        std::memset(plane.get(), fill, bytes);
    return plane;
}

/// Where pixel x of a row lies in a colour plane of bitCount bits per pixel: the byte and the
/// shift of its bits from the least significant end.
struct TPackedPosition {
    std::size_t Byte;
    unsigned Shift;
    unsigned Mask;
};

TPackedPosition PackedPosition(std::uint32_t x, unsigned bitCount) {
    const unsigned perByte = 8 / bitCount;
    return {x / perByte, 8 - bitCount - bitCount * (x % perByte), (1u << bitCount) - 1};
}

}  // namespace

// ---- settings ---------------------------------------------------------------------------------

void TPNGObject::SetIdatSizeLimit(std::int32_t value) { FIdatSizeLimit = value >= 65535 ? value : 65535; }

// ---- copying ----------------------------------------------------------------------------------

void TPNGObject::Assign(TPersistent* source) {
    if (source == nullptr) {
        ClearChunks();
        return;
    }
    if (auto* png = dynamic_cast<TPNGObject*>(source)) {
        if (png != this)
            CopyFromPng(*png);
        return;
    }
    if (auto* bitmap = dynamic_cast<TBitmap*>(source)) {
        LoadFromBitmapHandle(bitmap->Handle(), bitmap->GetTransparent(),
                             TColor(graphics::ColorToRGB(bitmap->TransparentColor())));
        return;
    }
    TGraphic::Assign(source);
}

void TPNGObject::CopyFromPng(TPNGObject& source) {
    if (&source == this)
        return;
    InterlaceMode = source.InterlaceMode;
    SetIdatSizeLimit(source.IdatSizeLimit());
    DeflateLevel = source.DeflateLevel;
    EncodeFilters = source.EncodeFilters;
    ClearChunks();
    const int count = source.ChunkList.Count();
    ChunkList.ChangeCount(count);
    for (int i = 0; i < count; ++i) {
        const TChunk* original = source.ChunkList.Chunk(i);
        try {
            std::unique_ptr<TChunk> chunk = original->ClassType().NewInstance(*this);
            TChunk* copy = chunk.get();
            ChunkList.PutItemAt(i, chunk.release());
            copy->CopyChunk(*original);
        } catch (...) {
            // Only the chunks made so far are kept; no empty slot may outlive a failed copy.
            ChunkList.ChangeCount(i + 1);
            throw;
        }
    }
    // The samples of the copy carry the source's gamma; writing the copy needs the source's
    // inverse table to give the file's values back, and reading pixels the forward one.
    GammaLookup = source.GammaLookup;
    InverseGammaLookup = source.InverseGammaLookup;
}

void TPNGObject::AssignTo(TPersistent& dest) {
    if (auto* png = dynamic_cast<TPNGObject*>(&dest)) {
        if (png != this)
            png->CopyFromPng(*this);
        return;
    }
    auto* bitmap = dynamic_cast<TBitmap*>(&dest);
    if (bitmap == nullptr || !HasHeader()) {
        TGraphic::AssignTo(dest);
        return;
    }
    const TChunkIHDR& header = RequireHeader();
    const TPngTransparencyMode mode = TransparencyMode();
    const std::uint8_t depth = header.BitDepth();
    graphics::TPixelFormat format;
    if (mode == TPngTransparencyMode::ptmPartial)
        format = graphics::px24Bit;
    else if (depth == 1)
        format = graphics::px1Bit;
    else if (depth == 2 || depth == 4)
        format = graphics::px4Bit;
    else if ((depth == 8 || depth == 16) && (header.ColorType() == kColorGray || header.ColorType() == kColorRgb))
        format = graphics::px24Bit;
    else if ((depth == 8 || depth == 16) && header.ColorType() == kColorPalette)
        format = graphics::px8Bit;
    else
        throw Exception("");
    bitmap->SetPixelFormat(format);
    bitmap->SetWidth(int(header.Width()));
    bitmap->SetHeight(int(header.Height()));
    bitmap->Canvas().Draw(0, 0, this);
    if (mode == TPngTransparencyMode::ptmBit) {
        bitmap->SetTransparentColor(TransparentColor());
        bitmap->SetTransparent(true);
    }
}

void TPNGObject::LoadFromBitmapHandle(HBITMAP handle, bool transparent, TColor color) {
    gdi::BITMAP description{};
    if (handle == nullptr) {
        ClearChunks();
        return;
    }
    if (gdi::GetObjectA(handle, sizeof(description), &description) == 0)
        throw EInvalidGraphic(base::LoadStr(res::SInvalidBitmap));
    const unsigned bitsPerPixel = description.bmBitsPixel;
    const std::uint32_t width = std::uint32_t(description.bmWidth);
    const std::uint32_t height = std::uint32_t(std::abs(description.bmHeight));
    ClearChunks();
    // An empty bitmap makes an empty image rather than a header that no storage could back.
    if (width == 0 || height == 0)
        return;
    if (bitsPerPixel != 1 && bitsPerPixel != 4 && bitsPerPixel != 8 && bitsPerPixel < 16)
        throw EInvalidGraphic(base::LoadStr(res::SInvalidBitmap));
    // A larger image would be written as a file the codec itself refuses to read.
    if (width > 65535 || height > 65535)
        RaisePngError<EPNGSizeExceeds>(res::SPngSizeExceeds);

    auto created = std::make_unique<TChunkIHDR>(*this);
    TChunkIHDR& header = *created;
    ChunkList.Append(created.release());
    header.SetWidth(width);
    header.SetHeight(height);
    header.SetBitDepth(std::uint8_t(bitsPerPixel < 16 ? bitsPerPixel : 8));
    header.SetColorType(bitsPerPixel < 16 ? kColorPalette : kColorRgb);
    header.SetCompressionMethod(0);
    header.SetFilterMethod(0);
    header.SetInterlaceMethod(0);
    InterlaceMode = 0;
    header.PrepareImage();

    HDC dc = gdi::CreateCompatibleDC(nullptr);
    if (dc == nullptr)
        OutOfMemory();
    const int lines = gdi::GetDIBits(dc, handle, 0, height, header.ColorPlane(),
                                     reinterpret_cast<gdi::BITMAPINFO*>(&header.BitmapInfo()), gdi::DIB_RGB_COLORS);
    gdi::DeleteDC(dc);
    if (lines == 0)
        throw EInvalidGraphic(base::LoadStr(res::SInvalidBitmap));

    TChunkPLTE* palette = nullptr;
    if (header.UsesColorTable()) {
        auto chunk = std::make_unique<TChunkPLTE>(*this);
        palette = chunk.get();
        ChunkList.Append(chunk.release());
    }
    TChunktRNS* transparency = nullptr;
    if (transparent) {
        auto chunk = std::make_unique<TChunktRNS>(*this);
        transparency = chunk.get();
        ChunkList.Append(chunk.release());
    }
    ChunkList.Append(std::make_unique<TChunkIDAT>(*this).release());
    ChunkList.Append(std::make_unique<TChunkIEND>(*this).release());

    if (palette != nullptr) {
        const int entries = 1 << bitsPerPixel;
        palette->EntryCount = entries;
        std::vector<std::uint8_t> storage(sizeof(gdi::LOGPALETTE) + sizeof(gdi::PALETTEENTRY) * 256);
        auto* logical = reinterpret_cast<gdi::LOGPALETTE*>(storage.data());
        logical->palVersion = 0x300;
        logical->palNumEntries = gdi::WORD(entries);
        for (int i = 0; i < entries; ++i) {
            const gdi::RGBQUAD& entry = header.BitmapInfo().bmiColors[i];
            logical->palPalEntry[i] = gdi::PALETTEENTRY{entry.rgbRed, entry.rgbGreen, entry.rgbBlue, 0};
        }
        HPALETTE adopted = gdi::CreatePalette(logical);
        if (adopted == nullptr)
            OutOfMemory();
        gdi::SelectPalette(header.FImageDC, adopted, gdi::FALSE);
        gdi::RealizePalette(header.FImageDC);
        if (header.FImagePalette != nullptr)
            gdi::DeleteObject(header.FImagePalette);
        header.FImagePalette = adopted;
        header.BitmapInfo().bmiHeader.biClrUsed = gdi::DWORD(entries);
        // The section keeps its own colour table; it follows the description the bitmap gave.
        gdi::SetDIBColorTable(header.FImageDC, 0, gdi::UINT(entries), header.BitmapInfo().bmiColors);
    }
    if (transparency != nullptr)
        transparency->MakeColorKey(color);
}

// ---- clipboard --------------------------------------------------------------------------------

void TPNGObject::SaveToClipboardFormat(std::uint16_t& format, graphics::THandle& data, HPALETTE& palette) {
    TBitmap bitmap;
    bitmap.SetWidth(GetWidth());
    bitmap.SetHeight(GetHeight());
    bitmap.Canvas().StretchDraw(graphics::Rect(0, 0, GetWidth(), GetHeight()), this);
    bitmap.SaveToClipboardFormat(format, data, palette);
}

void TPNGObject::LoadFromClipboardFormat(std::uint16_t format, graphics::THandle data, HPALETTE palette) {
    TBitmap bitmap;
    bitmap.LoadFromClipboardFormat(format, data, palette);
    LoadFromBitmapHandle(bitmap.Handle(), false, 0);
}

// ---- pixels -----------------------------------------------------------------------------------

TColor TPNGObject::PixelColor(int x, int y) {
    if (!HasHeader())
        return 0;
    const TChunkIHDR& header = RequireHeader();
    if (x < 0 || y < 0 || std::uint32_t(x) >= header.Width() || std::uint32_t(y) >= header.Height() ||
        header.ColorPlane() == nullptr)
        return 0;
    const std::uint8_t* row = header.ColorRow(std::uint32_t(y));
    switch (header.ColorType()) {
    case kColorGray:
    case kColorPalette: {
        const unsigned bitCount = header.BitmapInfo().bmiHeader.biBitCount;
        const TPackedPosition at = PackedPosition(std::uint32_t(x), bitCount);
        const unsigned sample = (row[at.Byte] >> at.Shift) & at.Mask;
        if (header.ColorType() == kColorPalette) {
            const TChunkPLTE* palette = ChunkList.FindByClass<TChunkPLTE>();
            if (palette == nullptr)
                RaisePngError<EPngError>(res::SPngNoSuchPaletteEntry);
            // The palette's colours went through the gamma table when it was read; passing them
            // through it again would report a colour the image never shows.
            const std::uint32_t bgr = palette->PaletteEntryColor(int(sample));
            return TColor(gdi::RGB(std::uint8_t(bgr >> 16), std::uint8_t(bgr >> 8), std::uint8_t(bgr)));
        }
        const unsigned level = bitCount == 1 ? sample * 255 : bitCount == 4 ? sample * 17 : sample;
        const std::uint8_t grey = GammaLookup[level & 0xFF];
        return TColor(gdi::RGB(grey, grey, grey));
    }
    case kColorGrayAlpha: {
        const std::uint8_t grey = row[x];
        return TColor(gdi::RGB(grey, grey, grey));
    }
    case kColorRgb:
    case kColorRgbAlpha: {
        const std::uint8_t* pixel = row + std::size_t(x) * 3;
        return TColor(gdi::RGB(pixel[2], pixel[1], pixel[0]));
    }
    default:
        return 0;
    }
}

void TPNGObject::SetPixelColor(int x, int y, TColor color) {
    if (!HasHeader())
        return;
    TChunkIHDR& header = RequireHeader();
    if (x < 0 || y < 0 || std::uint32_t(x) >= header.Width() || std::uint32_t(y) >= header.Height() ||
        header.ColorPlane() == nullptr)
        return;
    std::uint8_t* row = header.ColorRow(std::uint32_t(y));
    const gdi::COLORREF raw = gdi::COLORREF(color);
    switch (header.ColorType()) {
    case kColorGray:
    case kColorPalette: {
        if (header.ImagePalette() == nullptr)
            return;
        const gdi::UINT index = gdi::GetNearestPaletteIndex(header.ImagePalette(), graphics::ColorToRGB(color));
        if (index == gdi::CLR_INVALID)
            return;
        const TPackedPosition at = PackedPosition(std::uint32_t(x), header.BitmapInfo().bmiHeader.biBitCount);
        row[at.Byte] = std::uint8_t((row[at.Byte] & ~(at.Mask << at.Shift)) | ((index & at.Mask) << at.Shift));
        break;
    }
    case kColorGrayAlpha:
        row[x] = gdi::GetRValue(raw);
        break;
    case kColorRgb:
    case kColorRgbAlpha: {
        std::uint8_t* pixel = row + std::size_t(x) * 3;
        pixel[0] = gdi::GetBValue(raw);
        pixel[1] = gdi::GetGValue(raw);
        pixel[2] = gdi::GetRValue(raw);
        break;
    }
    default:
        break;
    }
}

// ---- resizing ---------------------------------------------------------------------------------

void TPNGObject::SetWidth(int value) { ResizeImage(value, GetHeight()); }

void TPNGObject::SetHeight(int value) { ResizeImage(GetWidth(), value); }

void TPNGObject::ResizeImage(int width, int height) {
    if (width < 1 || height < 1)
        RaisePngError<EPNGInvalidNewSize>(res::SPngInvalidNewSize);
    TChunkIHDR& header = RequireHeader();
    // The codec reads no larger image; a save of one could never be loaded again.
    if (width > 65535 || height > 65535)
        RaisePngError<EPNGSizeExceeds>(res::SPngSizeExceeds);
    const auto w = std::uint32_t(width);
    const auto h = std::uint32_t(height);
    if (header.FColorPlane == nullptr) {
        // A header whose storage was never made has no pixels to keep.
        header.FWidth = w;
        header.FHeight = h;
        header.PrepareImage();
        return;
    }

    TBitmapDescription description = header.FBitmapInfo;
    description.bmiHeader.biWidth = gdi::LONG(w);
    description.bmiHeader.biHeight = gdi::LONG(h);
    const std::optional<std::size_t> stride = base::DibRowStride(w, description.bmiHeader.biBitCount);
    if (!stride || !base::CheckedMul(*stride, std::size_t(h)))
        OutOfMemory();
    const std::size_t newStride = *stride;
    if (!gdi::StorageAllowed({newStride * h, header.FAlphaPlane ? std::size_t(w) * h : 0,
                              header.FExtraPlane ? newStride * h : 0}))
        OutOfMemory();
    const std::size_t oldStride = std::size_t(header.FRowStride);
    const std::uint32_t oldWidth = header.FWidth;
    const std::uint32_t oldHeight = header.FHeight;
    const std::uint32_t keptRows = std::min(h, oldHeight);

    // Everything that can fail is made before anything of the old image is let go, so a refused
    // resize leaves the image as it was.
    std::unique_ptr<std::uint8_t[]> alpha;
    if (header.FAlphaPlane)
        alpha = NewPlane(std::size_t(w) * h, 255);
    std::unique_ptr<std::uint8_t[]> extra;
    if (header.FExtraPlane)
        extra = NewPlane(newStride * h, 0);
    HDC dc = gdi::CreateCompatibleDC(header.FImageDC);
    if (dc == nullptr)
        OutOfMemory();
    void* bits = nullptr;
    HBITMAP section = gdi::CreateDIBSection(dc, description.Info(), gdi::DIB_RGB_COLORS, &bits, nullptr, 0);
    if (section == nullptr || bits == nullptr) {
        if (section != nullptr)
            gdi::DeleteObject(section);
        gdi::DeleteDC(dc);
        OutOfMemory();
    }
    auto* plane = static_cast<std::uint8_t*>(bits);
    std::memset(plane, 0, newStride * h);

    const std::size_t rowBytes = std::min(newStride, oldStride);
    for (std::uint32_t y = 0; y < keptRows; ++y) {
        const std::size_t from = std::size_t(oldHeight - 1 - y) * oldStride;
        const std::size_t to = std::size_t(h - 1 - y) * newStride;
        std::memcpy(plane + to, header.FColorPlane + from, rowBytes);
        if (extra)
            std::memcpy(extra.get() + to, header.FExtraPlane.get() + from, rowBytes);
    }
    if (alpha) {
        const std::size_t alphaBytes = std::min(w, oldWidth);
        for (std::uint32_t y = 0; y < keptRows; ++y)
            std::memcpy(alpha.get() + std::size_t(y) * w, header.FAlphaPlane.get() + std::size_t(y) * oldWidth,
                        alphaBytes);
    }

    // The old context gives its bitmap and palette back; the new one takes them over.
    HDC oldDC = header.FImageDC;
    HBITMAP oldSection = header.FImageHandle;
    gdi::SelectObject(oldDC, header.FOldBitmap);
    if (header.FImagePalette != nullptr && header.FOldPalette != nullptr)
        gdi::SelectPalette(oldDC, header.FOldPalette, gdi::FALSE);
    header.FOldBitmap = static_cast<HBITMAP>(gdi::SelectObject(dc, section));
    if (header.FImagePalette != nullptr) {
        header.FOldPalette = gdi::SelectPalette(dc, header.FImagePalette, gdi::FALSE);
        gdi::RealizePalette(dc);
    }
    ImageCanvas().SetHandle(dc);
    gdi::DeleteObject(oldSection);
    gdi::DeleteDC(oldDC);

    header.FBitmapInfo = description;
    header.FImageDC = dc;
    header.FImageHandle = section;
    header.FColorPlane = plane;
    header.FRowStride = std::int32_t(newStride);
    header.FWidth = w;
    header.FHeight = h;
    if (alpha)
        header.FAlphaPlane = std::move(alpha);
    if (extra)
        header.FExtraPlane = std::move(extra);
}

}  // namespace png
