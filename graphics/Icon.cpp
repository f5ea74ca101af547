// The icon graphic. Loading keeps the file's bytes; the platform icon is made on first need from
// the image that suits the wanted size and the screen's colours best, and saving writes the bytes
// back or, for an icon made from a handle, a file with one 16-colour image.
#include "graphics/Icon.h"

#include "graphics/DeviceContexts.h"
#include "platform/base/CheckedMath.h"
#include "platform/base/Messages.h"
#include "platform/gdi/Storage.h"

#include <algorithm>
#include <array>
#include <cstdlib>
#include <cstring>
#include <utility>

namespace graphics {

using namespace gdi;

VISTEL_GRAPHIC_CLASS(TIcon, TGraphic)

namespace {

// ICO layout: a 6-byte header (reserved, type, count) and 16 bytes per directory entry
// (ICONDIRENTRY: width, height, colour count, reserved, planes, bit count, bytes, offset).
constexpr std::int64_t kHeaderSize = 6;
constexpr std::int64_t kEntrySize = 16;
constexpr std::uint16_t kTypeStock = 0;
constexpr std::uint16_t kTypeIcon = 1;
constexpr std::uint32_t kManyColors = 2147483647;
constexpr std::array<std::uint8_t, 8> kPngSignature = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};

[[noreturn]] void InvalidIcon() { throw EInvalidGraphic(base::LoadStr(res::SInvalidIcon)); }

std::uint16_t Get16(const std::uint8_t* p) { return std::uint16_t(p[0] | p[1] << 8); }
std::uint32_t Get32(const std::uint8_t* p) {
    return std::uint32_t(p[0]) | std::uint32_t(p[1]) << 8 | std::uint32_t(p[2]) << 16 | std::uint32_t(p[3]) << 24;
}
void Put16(std::vector<std::uint8_t>& out, std::uint32_t v) {
    out.push_back(std::uint8_t(v));
    out.push_back(std::uint8_t(v >> 8));
}
void Put32(std::vector<std::uint8_t>& out, std::uint32_t v) {
    Put16(out, v & 0xFFFF);
    Put16(out, v >> 16);
}

struct TIconFileHeader {
    std::uint16_t Type = 0;
    std::uint16_t Count = 0;
};

TIconFileHeader ReadHeader(TStream& stream) {
    std::uint8_t bytes[kHeaderSize];
    stream.ReadBuffer(bytes, kHeaderSize);
    return TIconFileHeader{Get16(bytes + 2), Get16(bytes + 4)};
}

[[noreturn]] void OutOfResources() { throw EOutOfResources(base::LoadStr(res::SOutOfResources)); }

// The screen context, whose absence is reported as the framework's own resource shortage.
class TIconScreenDC {
public:
    TIconScreenDC() : FDC(GetDC(nullptr)) {
        if (!FDC)
            OutOfResources();
    }
    operator HDC() const { return FDC.Get(); }

private:
    TOwnedScreenDC FDC;
};

struct TDirectoryEntry {
    TIconEntry Entry;
    bool Special = false;  // PNG-compressed, or 256 pixels in a direction
    bool Png = false;
    std::uint32_t Bytes = 0;
    std::uint32_t Offset = 0;
};

// A BITMAPINFO with room for the masks or the largest colour table.
struct TInfoBuffer {
    alignas(BITMAPINFO) std::array<std::uint8_t, sizeof(BITMAPINFOHEADER) + 256 * sizeof(RGBQUAD)> Bytes{};
    BITMAPINFO* Info() { return reinterpret_cast<BITMAPINFO*>(Bytes.data()); }
    BITMAPINFOHEADER& Header() { return Info()->bmiHeader; }
    std::uint8_t* Behind() { return Bytes.data() + sizeof(BITMAPINFOHEADER); }
};

/// A new bitmap of the given size with the whole source stretched into it: monochrome, or in
/// the screen's format.
HBITMAP ResizeToBitmap(HDC screen, HBITMAP source, SIZE size, bool monochrome) {
    BITMAP sourceBits{};
    if (GetObject(source, sizeof sourceBits, &sourceBits) < int(sizeof sourceBits))
        GDIError();
    TOwnedBitmap result(monochrome ? CreateBitmap(size.cx, size.cy, 1, 1, nullptr)
                                   : CreateCompatibleBitmap(screen, size.cx, size.cy));
    GDICheck(result.Get());
    {
        TMemoryDC sourceDC;
        TMemoryDC destDC;
        sourceDC.Select(source);
        destDC.Select(result.Get());
        StretchBlt(destDC, 0, 0, size.cx, size.cy, sourceDC, 0, 0, sourceBits.bmWidth, sourceBits.bmHeight, SRCCOPY);
    }
    return result.Release();
}

/// Turns one image of the file (a bitmap-info header twice the icon's height, its colour table,
/// the XOR pixels and the AND mask) into a colour bitmap and a mask of the given size. Every
/// offset and size is checked against the image's bytes before it is used.
void SplitIconImage(const std::uint8_t* image, std::uint32_t imageBytes, SIZE size, TOwnedBitmap& color,
                    TOwnedBitmap& mask) {
    if (imageBytes < sizeof(BITMAPINFOHEADER))
        InvalidIcon();
    BITMAPINFOHEADER stored;
    std::memcpy(&stored, image, sizeof stored);
    const int bits = stored.biBitCount;
    const bool bitFields = stored.biCompression == BI_BITFIELDS;
    if (stored.biSize < sizeof(BITMAPINFOHEADER) || stored.biSize > imageBytes || stored.biWidth <= 0 ||
        stored.biHeight < 2)
        InvalidIcon();
    if (bits != 1 && bits != 4 && bits != 8 && bits != 16 && bits != 24 && bits != 32)
        InvalidIcon();
    if (stored.biCompression != BI_RGB && !(bitFields && (bits == 16 || bits == 32)))
        InvalidIcon();
    // The stored height covers the image and the mask below it.
    const LONG width = stored.biWidth;
    const LONG height = stored.biHeight / 2;

    // A short table of biClrUsed entries is honoured, so the pixels start right behind it. The
    // masks of a bit-field image sit behind a 40-byte header, or inside a larger one at the
    // same offset.
    const std::uint32_t tableEntries =
        bits <= 8 ? (stored.biClrUsed > 0 && stored.biClrUsed < (1u << bits) ? stored.biClrUsed : 1u << bits) : 0;
    const std::uint64_t masksBytes = bitFields ? 12 : 0;
    const std::uint64_t tableOffset = stored.biSize + (stored.biSize == sizeof(BITMAPINFOHEADER) ? masksBytes : 0);
    const std::uint64_t pixelsOffset = tableOffset + std::uint64_t(tableEntries) * sizeof(RGBQUAD);
    const auto colorStride = base::DibRowStride(width, unsigned(bits));
    const auto maskStride = base::DibRowStride(width, 1);
    if (!colorStride || !maskStride)
        InvalidIcon();
    const auto colorBytes = base::CheckedMul<std::uint64_t>(*colorStride, std::uint64_t(height));
    const auto maskBytes = base::CheckedMul<std::uint64_t>(*maskStride, std::uint64_t(height));
    if (!colorBytes || !maskBytes || *colorBytes > 0xFFFFFFFFu || pixelsOffset > imageBytes ||
        *colorBytes > imageBytes - pixelsOffset)
        InvalidIcon();
    const std::uint64_t maskOffset = pixelsOffset + *colorBytes;
    // A 32-bit image draws by its alpha, so a mask cut short is taken as opaque where it is
    // missing; every other image needs its whole mask.
    std::vector<std::uint8_t> maskPixels;
    if (!gdi::ResizeStorage(maskPixels, std::size_t(*maskBytes)))
        GDIError();
    const std::uint64_t maskPresent = std::min<std::uint64_t>(*maskBytes, imageBytes - maskOffset);
    if (maskPresent < *maskBytes && bits != 32)
        InvalidIcon();
    if (maskPresent > 0)
        std::memcpy(maskPixels.data(), image + maskOffset, std::size_t(maskPresent));

    TInfoBuffer colorInfo;
    BITMAPINFOHEADER& header = colorInfo.Header();
    header = BITMAPINFOHEADER{sizeof(BITMAPINFOHEADER), width, height, 1, WORD(bits), stored.biCompression,
                              DWORD(*colorBytes), 0, 0, tableEntries, 0};
    if (bitFields)
        std::memcpy(colorInfo.Behind(), image + sizeof(BITMAPINFOHEADER), std::size_t(masksBytes));
    else
        std::memcpy(colorInfo.Behind(), image + tableOffset, std::size_t(tableEntries) * sizeof(RGBQUAD));

    TIconScreenDC screen;
    {
        TOwnedBitmap dib(CreateDIBitmap(screen, &header, CBM_INIT, image + pixelsOffset, colorInfo.Info(),
                                        DIB_RGB_COLORS));
        GDICheck(dib.Get());
        color.Reset(ResizeToBitmap(screen, dib.Get(), size, false));
    }

    TInfoBuffer maskInfo;
    maskInfo.Header() = BITMAPINFOHEADER{sizeof(BITMAPINFOHEADER), width, height, 1, 1, BI_RGB,
                                         DWORD(*maskBytes), 0, 0, 2, 2};
    const RGBQUAD blackAndWhite[2] = {{0, 0, 0, 0}, {255, 255, 255, 0}};
    std::memcpy(maskInfo.Behind(), blackAndWhite, sizeof blackAndWhite);
    TOwnedBitmap dib(CreateDIBitmap(screen, &maskInfo.Header(), CBM_INIT, maskPixels.data(), maskInfo.Info(),
                                    DIB_RGB_COLORS));
    GDICheck(dib.Get());
    mask.Reset(ResizeToBitmap(screen, dib.Get(), size, true));
}

// Bytes of a bitmap as GetBitmapBits hands them out; false when the size cannot be had.
bool BitmapBits(HBITMAP bitmap, BITMAP& properties, std::vector<std::uint8_t>& bytes) {
    if (GetObject(bitmap, sizeof properties, &properties) < int(sizeof properties))
        return false;
    auto size = base::CheckedMul<std::size_t>(std::size_t(properties.bmWidthBytes), std::size_t(properties.bmHeight));
    if (!size || !(size = base::CheckedMul<std::size_t>(*size, properties.bmPlanes)) || *size > 0x7FFFFFFF)
        return false;
    bytes.assign(*size, 0);
    return GetBitmapBits(bitmap, LONG(*size), bytes.data()) > 0;
}

// Pictures inside icon files are small; anything beyond this is a damaged or hostile entry.
constexpr int kLargestPngIcon = 1024;

// A PNG-compressed image, decoded by whatever graphic the picture registry holds for "png" (the
// PNG codec registers its own at start-up), so the framework needs no knowledge of the codec. The
// picture is drawn once on black and once on white: the two renderings give back its colours and
// its transparency, whichever kind of transparency the file uses, as a 32-bit image with alpha.
HICON PngIconImage(const std::uint8_t* bytes, std::uint32_t count, SIZE& size) {
    const TGraphicClass* pngClass = GetFileFormats().FindExt("png");
    if (pngClass == nullptr)
        InvalidIcon();
    std::unique_ptr<TGraphic> picture = pngClass->NewInstance();
    try {
        TBytesStream stream(bytes, count);
        picture->LoadFromStream(stream);
    } catch (const Exception&) {
        InvalidIcon();
    }
    const int width = picture->Width(), height = picture->Height();
    if (width <= 0 || height <= 0 || width > kLargestPngIcon || height > kLargestPngIcon)
        InvalidIcon();

    TBitmap onBlack, onWhite;
    for (auto [bitmap, background] : {std::pair{&onBlack, clBlack}, std::pair{&onWhite, clWhite}}) {
        bitmap->SetPixelFormat(px32Bit);
        bitmap->SetWidth(width);
        bitmap->SetHeight(height);
        bitmap->Canvas().Brush().SetColor(background);
        bitmap->Canvas().FillRect(Rect(0, 0, width, height));
        bitmap->Canvas().Draw(0, 0, picture.get());
    }

    // The mask keeps the destination only where the picture is wholly transparent, so a picture
    // without a single alpha value above 0 still draws as nothing.
    const std::size_t maskStride = std::size_t((width + 15) / 16) * 2;
    std::vector<std::uint8_t> maskBits(maskStride * std::size_t(height), 0);
    std::vector<std::uint8_t> colorBits(std::size_t(width) * 4 * std::size_t(height));
    for (int y = 0; y < height; ++y) {
        const auto* black = static_cast<const std::uint8_t*>(onBlack.ScanLine(y));
        const auto* white = static_cast<const std::uint8_t*>(onWhite.ScanLine(y));
        std::uint8_t* out = colorBits.data() + std::size_t(y) * std::size_t(width) * 4;
        for (int x = 0; x < width; ++x, black += 4, white += 4, out += 4) {
            // Over black a channel shows c·a, over white c·a + (1 − a); their difference is 1 − a.
            int spread = 0;
            for (int c = 0; c < 3; ++c)
                spread += std::clamp(int(white[c]) - int(black[c]), 0, 255);
            const int alpha = 255 - (spread + 1) / 3;
            for (int c = 0; c < 3; ++c)
                out[c] = alpha == 0 ? 0 : std::uint8_t(std::min(255, (int(black[c]) * 255 + alpha / 2) / alpha));
            out[3] = std::uint8_t(alpha);
            if (alpha == 0)
                maskBits[std::size_t(y) * maskStride + std::size_t(x) / 8] |= std::uint8_t(0x80u >> (x % 8));
        }
    }
    size = SIZE{width, height};
    return GDICheck(CreateIcon(nullptr, width, height, 1, 32, maskBits.data(), colorBits.data()));
}

HICON ChooseIconImage(TMemoryStream& file, std::uint16_t count, int requestedWidth, int requestedHeight,
                      SIZE& size) {
    const std::uint8_t* bytes = file.Memory();
    const std::int64_t total = file.Size();
    if (count == 0 || kHeaderSize + count * kEntrySize > total)
        InvalidIcon();

    std::vector<TDirectoryEntry> directory(count);
    for (std::size_t i = 0; i < count; ++i) {
        const std::uint8_t* p = bytes + kHeaderSize + std::int64_t(i) * kEntrySize;
        TDirectoryEntry& entry = directory[i];
        // A size byte of 0 stands for 256 pixels.
        entry.Entry.Width = p[0] == 0 ? 256 : p[0];
        entry.Entry.Height = p[1] == 0 ? 256 : p[1];
        entry.Entry.Colors = Get16(p + 2) == 0 ? kManyColors : Get16(p + 2);
        entry.Bytes = Get32(p + 8);
        entry.Offset = Get32(p + 12);
        entry.Png = std::int64_t(entry.Offset) + std::int64_t(kPngSignature.size()) <= total &&
                    std::memcmp(bytes + entry.Offset, kPngSignature.data(), kPngSignature.size()) == 0;
        entry.Special = entry.Png || p[0] == 0 || p[1] == 0;
    }

    int wantedWidth = requestedWidth, wantedHeight = requestedHeight;
    if (wantedWidth == 0 && wantedHeight == 0) {
        wantedWidth = GetSystemMetrics(SM_CXICON);
        wantedHeight = GetSystemMetrics(SM_CYICON);
    }
    std::uint32_t colorLimit;
    {
        TIconScreenDC screen;
        const int bits = GetDeviceCaps(screen, PLANES) * GetDeviceCaps(screen, BITSPIXEL);
        colorLimit = bits <= 8 ? 1u << bits : kManyColors;
    }

    // Entries the platform cannot decode from a bitmap stay out of the choice while any other
    // entry is there.
    std::vector<std::size_t> indices;
    for (std::size_t i = 0; i < count; ++i)
        if (!directory[i].Special)
            indices.push_back(i);
    if (indices.empty())
        for (std::size_t i = 0; i < count; ++i)
            indices.push_back(i);
    std::vector<TIconEntry> candidates;
    for (std::size_t i : indices)
        candidates.push_back(directory[i].Entry);
    const TDirectoryEntry& chosen = directory[indices[ChooseIconEntry(candidates, wantedWidth, wantedHeight, colorLimit)]];
    if (std::uint64_t(chosen.Offset) + chosen.Bytes > std::uint64_t(total))
        InvalidIcon();
    if (chosen.Png)
        return PngIconImage(bytes + chosen.Offset, chosen.Bytes, size);

    size = SIZE{chosen.Entry.Width, chosen.Entry.Height};
    TOwnedBitmap color, mask;
    SplitIconImage(bytes + chosen.Offset, chosen.Bytes, size, color, mask);
    BITMAP colorProperties{}, maskProperties{};
    std::vector<std::uint8_t> colorBits, maskBits;
    if (!BitmapBits(mask.Get(), maskProperties, maskBits) || !BitmapBits(color.Get(), colorProperties, colorBits))
        GDIError();
    color.Reset(nullptr);
    mask.Reset(nullptr);
    return GDICheck(CreateIcon(nullptr, size.cx, size.cy, BYTE(colorProperties.bmPlanes),
                               BYTE(colorProperties.bmBitsPixel), maskBits.data(), colorBits.data()));
}

// The size of a platform icon, from its bitmaps; (0, 0) when it cannot be read.
SIZE IconSize(HICON icon) {
    ICONINFO info{};
    if (!GetIconInfo(icon, &info))
        return SIZE{0, 0};
    TOwnedBitmap mask(info.hbmMask), color(info.hbmColor);
    BITMAP properties{};
    if (GetObject(mask.Get(), sizeof properties, &properties) < int(sizeof properties))
        return SIZE{0, 0};
    // A monochrome icon's mask holds the image below the mask.
    return SIZE{properties.bmWidth, color.Get() != nullptr ? properties.bmHeight : properties.bmHeight / 2};
}

// Device-independent pixels of a bitmap at the given depth, with the colour table GetDIBits
// fills in.
std::vector<std::uint8_t> DibPixels(HDC dc, HBITMAP bitmap, LONG width, LONG height, int bits, TInfoBuffer& info) {
    const auto stride = base::DibRowStride(width, unsigned(bits));
    const auto bytes = stride ? base::CheckedMul<std::size_t>(*stride, std::size_t(height)) : std::nullopt;
    if (!bytes || *bytes > 0xFFFFFFFFu)
        InvalidIcon();
    const DWORD colors = 1u << bits;
    info.Header() = BITMAPINFOHEADER{sizeof(BITMAPINFOHEADER), width, height, 1, WORD(bits), BI_RGB, DWORD(*bytes),
                                     0, 0, colors, 0};
    std::vector<std::uint8_t> pixels(*bytes);
    if (GetDIBits(dc, bitmap, 0, UINT(height), pixels.data(), info.Info(), DIB_RGB_COLORS) == 0)
        GDIError();
    return pixels;
}

// One image of 16 colours: the mask and the colour bitmap as a 4-bit device-independent image.
void WriteIconFile(HICON icon, TStream& stream) {
    ICONINFO info{};
    if (!GetIconInfo(icon, &info))
        GDIError();
    TOwnedBitmap mask(info.hbmMask), color(info.hbmColor);
    BITMAP properties{};
    if (GetObject(mask.Get(), sizeof properties, &properties) < int(sizeof properties))
        GDIError();
    const LONG width = properties.bmWidth;
    LONG height = properties.bmHeight;
    TMemoryDC dc;
    if (color.Get() == nullptr) {
        // A monochrome icon: the upper half of its mask is the mask, the lower half the image.
        height /= 2;
        if (height <= 0)
            InvalidIcon();
        TOwnedBitmap upper(GDICheck(CreateBitmap(width, height, 1, 1, nullptr)));
        TOwnedBitmap lower(GDICheck(CreateBitmap(width, height, 1, 1, nullptr)));
        {
            TMemoryDC from, to;
            from.Select(mask.Get());
            to.Select(upper.Get());
            BitBlt(to, 0, 0, width, height, from, 0, 0, SRCCOPY);
            to.Select(lower.Get());
            BitBlt(to, 0, 0, width, height, from, 0, height, SRCCOPY);
        }
        mask.Reset(upper.Release());
        color.Reset(lower.Release());
    }
    TInfoBuffer maskInfo, colorInfo;
    const std::vector<std::uint8_t> maskPixels = DibPixels(dc, mask.Get(), width, height, 1, maskInfo);
    const std::vector<std::uint8_t> colorPixels = DibPixels(dc, color.Get(), width, height, 4, colorInfo);
    constexpr std::uint32_t kColorHeaderBytes = sizeof(BITMAPINFOHEADER) + 16 * sizeof(RGBQUAD);
    const std::uint32_t imageBytes = kColorHeaderBytes + std::uint32_t(colorPixels.size() + maskPixels.size());
    constexpr std::uint32_t kImageOffset = kHeaderSize + kEntrySize;

    BITMAPINFOHEADER header = colorInfo.Header();
    header.biHeight = height * 2;
    header.biClrUsed = 16;
    header.biClrImportant = 0;
    header.biSizeImage = DWORD(colorPixels.size());

    std::vector<std::uint8_t> out;
    out.reserve(kImageOffset + imageBytes);
    Put16(out, 0);
    Put16(out, kTypeIcon);
    Put16(out, 1);
    out.push_back(std::uint8_t(width));
    out.push_back(std::uint8_t(height));
    // The colours field holds planes × bits per pixel of the image; planes and bit count stay 0.
    Put16(out, std::uint32_t(header.biPlanes) * header.biBitCount);
    Put32(out, 0);
    Put32(out, imageBytes);
    Put32(out, kImageOffset);
    const auto* headerBytes = reinterpret_cast<const std::uint8_t*>(&header);
    out.insert(out.end(), headerBytes, headerBytes + sizeof header);
    out.insert(out.end(), colorInfo.Behind(), colorInfo.Behind() + 16 * sizeof(RGBQUAD));
    out.insert(out.end(), colorPixels.begin(), colorPixels.end());
    out.insert(out.end(), maskPixels.begin(), maskPixels.end());
    stream.WriteBuffer(out.data(), std::int64_t(out.size()));
}

}  // namespace

bool IsBetterIconSize(const TIconEntry& current, const TIconEntry& candidate, int wantedWidth, int wantedHeight) {
    const long long dxOld = (long long)current.Width - wantedWidth, dxNew = (long long)candidate.Width - wantedWidth;
    const long long dyOld = (long long)current.Height - wantedHeight,
                    dyNew = (long long)candidate.Height - wantedHeight;
    return std::llabs(dxNew) <= std::llabs(dxOld) && (dxNew <= 0 || dxNew <= dxOld) &&
           std::llabs(dyNew) <= std::llabs(dyOld) && (dyNew <= 0 || dyNew <= dyOld);
}

std::size_t ChooseIconEntry(const std::vector<TIconEntry>& entries, int wantedWidth, int wantedHeight,
                            std::uint32_t colorLimit) {
    std::size_t best = 0;
    std::uint32_t bestColors = entries[0].Colors;
    for (std::size_t i = 1; i < entries.size(); ++i) {
        const TIconEntry& entry = entries[i];
        if (entry.Colors <= colorLimit && entry.Colors >= bestColors &&
            IsBetterIconSize(entries[best], entry, wantedWidth, wantedHeight)) {
            best = i;
            bestColors = entry.Colors;
        }
    }
    return best;
}

HICON StockApplicationIcon() {
    static HICON icon = nullptr;
    if (icon == nullptr)
        icon = LoadIcon(nullptr, IDI_APPLICATION);
    return icon;
}

// ---- image data ------------------------------------------------------------------------------

TIconImage::~TIconImage() = default;

void TIconImage::FreeHandle() {
    if (FHandle != nullptr && FHandle != StockApplicationIcon())
        DestroyIcon(FHandle);
    FHandle = nullptr;
    FMemoryImage.reset();
}

// ---- the icon --------------------------------------------------------------------------------

TIcon::TIcon() {
    FImage = new TIconImage;
    FImage->Reference();
    FTransparent = true;
}

TIcon::~TIcon() { FImage->Release(); }

void TIcon::NewImage(HICON handle, std::unique_ptr<TMemoryStream> stream) {
    auto* image = new TIconImage;
    image->FHandle = handle;
    image->FMemoryImage = std::move(stream);
    image->Reference();
    std::lock_guard lock(SharedImageLock());
    FImage->Release();
    FImage = image;
}

void TIcon::Assign(TPersistent* source) {
    if (source == nullptr) {
        NewImage(nullptr, nullptr);
        Changed(this);
        return;
    }
    auto* icon = dynamic_cast<TIcon*>(source);
    if (icon == nullptr) {
        TGraphic::Assign(source);
        return;
    }
    if (icon != this) {
        std::lock_guard lock(SharedImageLock());
        icon->FImage->Reference();
        FImage->Release();
        FImage = icon->FImage;
    }
    Changed(this);
}

void TIcon::Draw(TCanvas& canvas, const TRect& rect) {
    canvas.RequiredState(csHandleValid);
    // Icons keep their own size; the rectangle only places the top-left corner.
    DrawIconEx(canvas.RawHandle(), rect.left, rect.top, Handle(), 0, 0, 0, nullptr, DI_NORMAL);
}

bool TIcon::GetEmpty() { return FImage->FHandle == nullptr && FImage->FMemoryImage == nullptr; }

int TIcon::GetHeight() { return FImage->FSize.cy != 0 ? FImage->FSize.cy : GetSystemMetrics(SM_CYICON); }

int TIcon::GetWidth() { return FImage->FSize.cx != 0 ? FImage->FSize.cx : GetSystemMetrics(SM_CXICON); }

void TIcon::SetHeight(int value) {
    if (FImage->FHandle != nullptr)
        throw EInvalidGraphicOperation(base::LoadStr(res::SChangeIconSize));
    FRequestedHeight = value;
}

void TIcon::SetWidth(int value) {
    if (FImage->FHandle != nullptr)
        throw EInvalidGraphicOperation(base::LoadStr(res::SChangeIconSize));
    FRequestedWidth = value;
}

// Icons are always drawn through their mask.
void TIcon::SetTransparent(bool) {}

HICON TIcon::Handle() {
    HandleNeeded();
    return FImage->FHandle;
}

void TIcon::SetHandle(HICON value) {
    NewImage(value, nullptr);
    // The size of an adopted icon is known at once, so width and height tell where it draws.
    if (value != nullptr)
        FImage->FSize = IconSize(value);
    Changed(this);
}

void TIcon::HandleNeeded() {
    if (FImage->FHandle != nullptr || FImage->FMemoryImage == nullptr)
        return;
    TMemoryStream& stream = *FImage->FMemoryImage;
    stream.SetPosition(0);
    const TIconFileHeader header = ReadHeader(stream);
    switch (header.Type) {
    case kTypeStock: FImage->FHandle = StockApplicationIcon(); break;
    case kTypeIcon: {
        SIZE size{0, 0};
        FImage->FHandle = ChooseIconImage(stream, header.Count, FRequestedWidth, FRequestedHeight, size);
        FImage->FSize = size;
        break;
    }
    default: InvalidIcon();
    }
}

void TIcon::ImageNeeded() {
    if (FImage->FMemoryImage != nullptr)
        return;
    if (FImage->FHandle == nullptr)
        InvalidIcon();
    auto stream = std::make_unique<TMemoryStream>();
    if (FImage->FHandle == StockApplicationIcon()) {
        const std::uint8_t zeros[kHeaderSize] = {};
        stream->WriteBuffer(zeros, kHeaderSize);
    } else {
        WriteIconFile(FImage->FHandle, *stream);
    }
    FImage->FMemoryImage = std::move(stream);
}

void TIcon::LoadFromStream(TStream& stream) {
    // The file's bytes are kept whole, so they pass the storage gate before they are read.
    if (!gdi::StorageAllowed(std::size_t(std::max<std::int64_t>(stream.Remaining(), 0))))
        GDIError();
    auto copy = std::make_unique<TMemoryStream>();
    copy->LoadFromStream(stream);
    if (ReadHeader(*copy).Type > kTypeIcon)
        InvalidIcon();
    NewImage(nullptr, std::move(copy));
    Changed(this);
}

void TIcon::SaveToStream(TStream& stream) {
    ImageNeeded();
    FImage->FMemoryImage->SaveToStream(stream);
}

void TIcon::LoadFromClipboardFormat(std::uint16_t, THandle, HPALETTE) {
    throw EInvalidGraphicOperation(base::LoadStr(res::SIconToClipboard));
}

void TIcon::SaveToClipboardFormat(std::uint16_t&, THandle&, HPALETTE&) {
    throw EInvalidGraphicOperation(base::LoadStr(res::SIconToClipboard));
}

}  // namespace graphics
