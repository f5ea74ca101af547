// Bitmap creation, DIB sections, raw bitmap bits and the colour tables of selected DIB sections.
#include "platform/gdi/Dib.h"

#include <algorithm>
#include <cstdint>

namespace gdi::detail {
namespace {

// Device-dependent bitmaps exchange their rows 16-bit aligned, as the platform's first bitmaps
// did; in memory they are kept 32-bit aligned like every other bitmap here.
std::size_t WordAlignedStride(LONG width, int bitsPixel) {
    return (std::size_t(width) * std::size_t(bitsPixel) + 15) / 16 * 2;
}

std::unique_ptr<TBitmapObj> NewMonochrome(LONG width, LONG height) {
    auto bitmap = NewBitmap(width, height, 1);
    if (bitmap)
        bitmap->Mono = true;
    return bitmap;
}

// A bitmap of another's pixel format: depth, masks, monochrome flag, and for a DIB section its
// row order, colour table and header.
std::unique_ptr<TBitmapObj> NewLike(const TBitmapObj& model, LONG width, LONG height) {
    auto bitmap = NewBitmap(width, height, model.BitsPixel);
    if (!bitmap)
        return nullptr;
    bitmap->Mono = model.Mono;
    bitmap->Compression = model.Compression;
    bitmap->Masks = model.Masks;
    if (model.IsDib) {
        bitmap->IsDib = true;
        bitmap->TopDown = model.TopDown;
        bitmap->ColorTable = model.ColorTable;
        bitmap->Header = model.Header;
        bitmap->Header.biWidth = width;
        bitmap->Header.biHeight = model.TopDown ? -height : height;
        bitmap->Header.biSizeImage = DWORD(std::min<std::size_t>(bitmap->StorageSize(), 0xFFFFFFFFu));
    }
    return bitmap;
}

}  // namespace

std::unique_ptr<TBitmapObj> NewBitmapFromWords(LONG width, LONG height, int bitsPixel, const void* bits) {
    auto bitmap = NewBitmap(width, height, bitsPixel);
    if (!bitmap)
        return nullptr;
    bitmap->Mono = bitsPixel == 1;
    if (bits != nullptr) {
        const std::size_t rowBytes = WordAlignedStride(width, bitsPixel);
        const BYTE* source = static_cast<const BYTE*>(bits);
        for (LONG y = 0; y < height; ++y)
            std::memcpy(bitmap->Row(y), source + std::size_t(y) * rowBytes, rowBytes);
    }
    return bitmap;
}

std::unique_ptr<TBitmapObj> NewCompatibleBitmap(const TDCObj& dc, LONG width, LONG height, bool keepSections) {
    if (!dc.IsMemory)
        return NewScreenBitmap(width, height);
    auto* selected = Lookup<TBitmapObj>(dc.Bitmap);
    if (selected == nullptr)
        return nullptr;
    if (selected->IsDib && !keepSections)
        return NewScreenBitmap(width, height);
    return NewLike(*selected, width, height);
}

HBITMAP PublishBitmap(std::unique_ptr<TBitmapObj> bitmap) {
    if (!bitmap)
        return nullptr;
    return static_cast<HBITMAP>(Register(std::move(bitmap)));
}

int GetBitmapObject(const TBitmapObj& bitmap, int size, void* buffer) {
    BITMAP record{};
    record.bmType = 0;
    record.bmWidth = bitmap.Width;
    record.bmHeight = bitmap.Height;
    record.bmWidthBytes = bitmap.IsDib ? bitmap.Stride : LONG(WordAlignedStride(bitmap.Width, bitmap.BitsPixel));
    record.bmPlanes = 1;
    record.bmBitsPixel = bitmap.BitsPixel;
    // Only a DIB section's memory belongs to the caller; a device-dependent bitmap's does not.
    record.bmBits = bitmap.IsDib ? bitmap.Bits : nullptr;
    if (buffer == nullptr)
        return bitmap.IsDib ? int(sizeof(DIBSECTION)) : int(sizeof(BITMAP));
    if (bitmap.IsDib && size >= int(sizeof(DIBSECTION))) {
        DIBSECTION section{};
        section.dsBm = record;
        section.dsBmih = bitmap.Header;
        if (bitmap.Compression == BI_BITFIELDS)
            std::copy(bitmap.Masks.begin(), bitmap.Masks.end(), section.dsBitfields);
        std::memcpy(buffer, &section, sizeof section);
        return int(sizeof section);
    }
    if (size >= int(sizeof(BITMAP))) {
        std::memcpy(buffer, &record, sizeof record);
        return int(sizeof record);
    }
    SetLastError(ERROR_INVALID_PARAMETER);
    return 0;
}

}  // namespace gdi::detail

namespace gdi {

using namespace detail;

HBITMAP CreateBitmap(int width, int height, UINT planes, UINT bitCount, const void* bits) {
    TLock lock(LayerMutex());
    if (width < 0 || height < 0 || planes != 1) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    // The platform answers an empty size with a 1 × 1 monochrome bitmap whatever the depth.
    if (width == 0 || height == 0)
        return PublishBitmap(NewMonochrome(1, 1));
    switch (bitCount) {
    case 1: case 4: case 8: case 16: case 24: case 32: break;
    default: SetLastError(ERROR_INVALID_PARAMETER); return nullptr;
    }
    return PublishBitmap(NewBitmapFromWords(width, height, int(bitCount), bits));
}

HBITMAP CreateBitmapIndirect(const BITMAP* bitmap) {
    TLock lock(LayerMutex());
    if (bitmap == nullptr) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    // bmWidthBytes is not consulted: the rows are word-aligned by definition.
    return CreateBitmap(bitmap->bmWidth, bitmap->bmHeight, bitmap->bmPlanes, bitmap->bmBitsPixel, bitmap->bmBits);
}

HBITMAP CreateCompatibleBitmap(HDC dc, int width, int height) {
    TLock lock(LayerMutex());
    auto* context = Lookup<TDCObj>(dc);
    if (context == nullptr)
        return nullptr;
    if (width < 0 || height < 0) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    if (width == 0 || height == 0)
        return PublishBitmap(NewMonochrome(1, 1));
    return PublishBitmap(NewCompatibleBitmap(*context, width, height, true));
}

HBITMAP CreateDIBSection(HDC dc, const BITMAPINFO* info, UINT usage, void** bits, HANDLE section, DWORD) {
    TLock lock(LayerMutex());
    if (bits != nullptr)
        *bits = nullptr;
    TDCObj* context = nullptr;
    if (dc != nullptr && (context = Lookup<TDCObj>(dc)) == nullptr)
        return nullptr;
    // There are no file mappings to place the pixels in.
    if (section != nullptr) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    TDibDescription dib;
    if (!DescribeDib(info, usage, context, dib))
        return nullptr;
    auto bitmap = NewBitmap(dib.Width, dib.Height, dib.BitsPixel);
    if (!bitmap)
        return nullptr;
    bitmap->IsDib = true;
    bitmap->TopDown = dib.TopDown;
    bitmap->Compression = dib.Compression;
    bitmap->Masks = dib.Masks;
    bitmap->ColorTable = std::move(dib.ColorTable);
    bitmap->Header = dib.Header;
    if (bitmap->Header.biSizeImage == 0)
        bitmap->Header.biSizeImage = DWORD(std::min<std::size_t>(bitmap->StorageSize(), 0xFFFFFFFFu));
    BYTE* pixels = bitmap->Bits;
    HBITMAP handle = PublishBitmap(std::move(bitmap));
    if (handle != nullptr && bits != nullptr)
        *bits = pixels;
    return handle;
}

LONG GetBitmapBits(HBITMAP handle, LONG size, void* bits) {
    TLock lock(LayerMutex());
    auto* bitmap = Lookup<TBitmapObj>(handle);
    if (bitmap == nullptr)
        return 0;
    const std::size_t rowBytes = WordAlignedStride(bitmap->Width, bitmap->BitsPixel);
    const std::size_t total = rowBytes * std::size_t(bitmap->Height);
    if (bits == nullptr)
        return LONG(std::min<std::size_t>(total, 0x7FFFFFFF));
    if (size <= 0) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    std::size_t wanted = std::min(total, std::size_t(size));
    BYTE* out = static_cast<BYTE*>(bits);
    for (LONG y = 0; wanted > 0; ++y) {
        std::size_t n = std::min(rowBytes, wanted);
        std::memcpy(out, bitmap->Row(y), n);
        out += n;
        wanted -= n;
    }
    return LONG(out - static_cast<BYTE*>(bits));
}

LONG SetBitmapBits(HBITMAP handle, DWORD size, const void* bits) {
    TLock lock(LayerMutex());
    auto* bitmap = Lookup<TBitmapObj>(handle);
    if (bitmap == nullptr)
        return 0;
    if (bits == nullptr) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    const std::size_t rowBytes = WordAlignedStride(bitmap->Width, bitmap->BitsPixel);
    std::size_t wanted = std::min(rowBytes * std::size_t(bitmap->Height), std::size_t(size));
    const BYTE* in = static_cast<const BYTE*>(bits);
    std::size_t copied = 0;
    for (LONG y = 0; copied < wanted; ++y) {
        std::size_t n = std::min(rowBytes, wanted - copied);
        std::memcpy(bitmap->Row(y), in + copied, n);
        copied += n;
    }
    return LONG(std::min<std::size_t>(copied, 0x7FFFFFFF));
}

namespace {

// The DIB section of eight bits or fewer selected into a memory context, if there is one.
TBitmapObj* SelectedTable(HDC dc) {
    auto* context = Lookup<TDCObj>(dc);
    if (context == nullptr || !context->IsMemory)
        return nullptr;
    TObject* object = Find(context->Bitmap);
    if (object == nullptr || object->Kind != TKind::Bitmap)
        return nullptr;
    auto* bitmap = static_cast<TBitmapObj*>(object);
    return bitmap->IsDib && bitmap->BitsPixel <= 8 ? bitmap : nullptr;
}

}  // namespace

UINT GetDIBColorTable(HDC dc, UINT start, UINT count, RGBQUAD* colors) {
    TLock lock(LayerMutex());
    TBitmapObj* bitmap = SelectedTable(dc);
    if (bitmap == nullptr || start >= bitmap->ColorTable.size())
        return 0;
    if (colors == nullptr) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    UINT n = UINT(std::min<std::size_t>(count, bitmap->ColorTable.size() - start));
    std::copy_n(bitmap->ColorTable.begin() + start, n, colors);
    return n;
}

UINT SetDIBColorTable(HDC dc, UINT start, UINT count, const RGBQUAD* colors) {
    TLock lock(LayerMutex());
    TBitmapObj* bitmap = SelectedTable(dc);
    if (bitmap == nullptr || start >= bitmap->ColorTable.size())
        return 0;
    if (colors == nullptr) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    UINT n = UINT(std::min<std::size_t>(count, bitmap->ColorTable.size() - start));
    std::copy_n(colors, n, bitmap->ColorTable.begin() + start);
    return n;
}

}  // namespace gdi
