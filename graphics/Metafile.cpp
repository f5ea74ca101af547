#include "graphics/Metafile.h"

#include "graphics/Canvas.h"
#include "platform/base/Messages.h"
#include "platform/gdi/Handles.h"
#include "platform/gdi/Storage.h"

#include <algorithm>
#include <climits>
#include <cstring>
#include <vector>

namespace graphics {

using namespace gdi;

namespace {

constexpr std::size_t kEnhancedHeaderRead = 100;  // the header bytes read before the total size
constexpr std::size_t kPlaceableBytes = 22;
constexpr std::uint16_t CF_ENHMETAFILE = 14;

[[noreturn]] void InvalidMetafile() { throw EInvalidGraphic(base::LoadStr(res::SInvalidMetafile)); }

std::uint32_t Dword(const std::uint8_t* p) { return p[0] | p[1] << 8 | p[2] << 16 | std::uint32_t(p[3]) << 24; }
std::uint16_t Word(const std::uint8_t* p) { return std::uint16_t(p[0] | p[1] << 8); }

TPlaceableHeader ParsePlaceable(const std::uint8_t* p) {
    TPlaceableHeader header;
    header.Key = Dword(p);
    header.Handle = Word(p + 4);
    header.Left = std::int16_t(Word(p + 6));
    header.Top = std::int16_t(Word(p + 8));
    header.Right = std::int16_t(Word(p + 10));
    header.Bottom = std::int16_t(Word(p + 12));
    header.Inch = Word(p + 14);
    header.Reserved = Dword(p + 16);
    header.CheckSum = Word(p + 20);
    return header;
}

void PutWord(std::uint8_t* p, std::uint16_t v) {
    p[0] = std::uint8_t(v);
    p[1] = std::uint8_t(v >> 8);
}

std::array<std::uint8_t, kPlaceableBytes> PlaceableBytes(const TPlaceableHeader& header) {
    std::array<std::uint8_t, kPlaceableBytes> out{};
    PutWord(out.data(), std::uint16_t(header.Key));
    PutWord(out.data() + 2, std::uint16_t(header.Key >> 16));
    PutWord(out.data() + 4, header.Handle);
    PutWord(out.data() + 6, std::uint16_t(header.Left));
    PutWord(out.data() + 8, std::uint16_t(header.Top));
    PutWord(out.data() + 10, std::uint16_t(header.Right));
    PutWord(out.data() + 12, std::uint16_t(header.Bottom));
    PutWord(out.data() + 14, header.Inch);
    PutWord(out.data() + 16, std::uint16_t(header.Reserved));
    PutWord(out.data() + 18, std::uint16_t(header.Reserved >> 16));
    PutWord(out.data() + 20, header.CheckSum);
    return out;
}

// A header's millimetres in hundredths, for MulDiv: a file's absurd size saturates instead of
// overflowing.
int Hundredths(LONG millimetres) {
    return int(std::clamp<long long>((long long)millimetres * 100, INT_MIN, INT_MAX));
}

ENHMETAHEADER HeaderOf(HENHMETAFILE handle) {
    ENHMETAHEADER header{};
    GetEnhMetaFileHeader(handle, sizeof header, &header);
    return header;
}

// A buffer for bytes a file states the size of: the storage gate first, so a hostile size is
// refused before memory of that size is touched.
std::vector<std::uint8_t> FileBuffer(std::int64_t size) {
    if (size < 0 || !StorageAllowed(std::size_t(size)))
        GDIError();
    return std::vector<std::uint8_t>(std::size_t(size));
}

}  // namespace

std::uint16_t PlaceableChecksum(const TPlaceableHeader& header) {
    const auto bytes = PlaceableBytes(header);
    std::uint16_t sum = 0;
    for (std::size_t i = 0; i < 20; i += 2)
        sum ^= Word(bytes.data() + i);
    return sum;
}

// ---- image data ------------------------------------------------------------------------------

TMetafileImage::~TMetafileImage() = default;

void TMetafileImage::FreeHandle() {
    if (FHandle != nullptr)
        DeleteEnhMetaFile(FHandle);
    if (FPalette != nullptr && FPalette != StandardPalette16())
        DeleteObject(FPalette);
    FHandle = nullptr;
    FPalette = nullptr;
}

// ---- the metafile ----------------------------------------------------------------------------

VISTEL_GRAPHIC_CLASS(TMetafile, TGraphic)

TMetafile::TMetafile() {
    NewImage();
    FTransparent = true;
}

TMetafile::~TMetafile() {
    if (FImage != nullptr)
        FImage->Release();
}

void TMetafile::NewImage() {
    auto* image = new TMetafileImage;
    image->Reference();
    std::lock_guard lock(SharedImageLock());
    if (FImage != nullptr)
        FImage->Release();
    FImage = image;
}

void TMetafile::MakeUnique() {
    std::lock_guard lock(SharedImageLock());
    if (FImage->RefCount() <= 1)
        return;
    auto* copy = new TMetafileImage;
    if (FImage->FHandle != nullptr) {
        copy->FHandle = CopyEnhMetaFile(FImage->FHandle, nullptr);
        if (copy->FHandle == nullptr) {
            delete copy;
            GDIError();
        }
    }
    copy->FWidth = FImage->FWidth;
    copy->FHeight = FImage->FHeight;
    copy->FInch = FImage->FInch;
    copy->FTempWidth = FImage->FTempWidth;
    copy->FTempHeight = FImage->FTempHeight;
    copy->Reference();
    FImage->Release();
    FImage = copy;
}

void TMetafile::Assign(TPersistent* source) {
    auto* metafile = dynamic_cast<TMetafile*>(source);
    if (source != nullptr && metafile == nullptr) {
        TGraphic::Assign(source);
        return;
    }
    const HPALETTE before = FImage != nullptr ? FImage->FPalette : nullptr;
    if (metafile == nullptr) {
        NewImage();
        FSaveEnhanced = true;
    } else if (metafile != this) {
        std::lock_guard lock(SharedImageLock());
        metafile->FImage->Reference();
        FImage->Release();
        FImage = metafile->FImage;
        FSaveEnhanced = metafile->FSaveEnhanced;
    }
    FPaletteModified = FImage->FPalette != before && FImage->FPalette != nullptr;
    Changed(this);
}

void TMetafile::Draw(TCanvas& canvas, const TRect& rect) {
    if (FImage->FHandle == nullptr)
        return;
    const HPALETTE palette = GetPalette();
    HDC dc = canvas.Handle();
    HPALETTE old = nullptr;
    if (palette != nullptr) {
        old = SelectPalette(dc, palette, TRUE);
        RealizePalette(dc);
    }
    // The platform maps the frame onto a rectangle whose edge points are included.
    const RECT inclusive{rect.left, rect.top, rect.right - 1, rect.bottom - 1};
    PlayEnhMetaFile(dc, FImage->FHandle, &inclusive);
    if (palette != nullptr)
        SelectPalette(dc, old, TRUE);
}

bool TMetafile::GetEmpty() { return FImage == nullptr; }

int TMetafile::GetWidth() {
    if (FImage->FInch != 0)
        return MulDiv(FImage->FWidth, ScreenPixelsPerInch(), 2540);
    if (FImage->FHandle != nullptr) {
        const ENHMETAHEADER header = HeaderOf(FImage->FHandle);
        return MulDiv(FImage->FWidth, header.szlDevice.cx, Hundredths(header.szlMillimeters.cx));
    }
    return FImage->FTempWidth;
}

int TMetafile::GetHeight() {
    if (FImage->FInch != 0)
        return MulDiv(FImage->FHeight, ScreenPixelsPerInch(), 2540);
    if (FImage->FHandle != nullptr) {
        const ENHMETAHEADER header = HeaderOf(FImage->FHandle);
        return MulDiv(FImage->FHeight, header.szlDevice.cy, Hundredths(header.szlMillimeters.cy));
    }
    return FImage->FTempHeight;
}

void TMetafile::SetWidth(int value) {
    if (FImage->FInch != 0) {
        SetMMWidth(MulDiv(value, 2540, ScreenPixelsPerInch()));
    } else if (FImage->FHandle != nullptr) {
        const ENHMETAHEADER header = HeaderOf(FImage->FHandle);
        SetMMWidth(MulDiv(value, Hundredths(header.szlMillimeters.cx), header.szlDevice.cx));
    } else {
        FImage->FTempWidth = value;
    }
}

void TMetafile::SetHeight(int value) {
    if (FImage->FInch != 0) {
        SetMMHeight(MulDiv(value, 2540, ScreenPixelsPerInch()));
    } else if (FImage->FHandle != nullptr) {
        const ENHMETAHEADER header = HeaderOf(FImage->FHandle);
        SetMMHeight(MulDiv(value, Hundredths(header.szlMillimeters.cy), header.szlDevice.cy));
    } else {
        FImage->FTempHeight = value;
    }
}

int TMetafile::MMWidth() { return FImage->FWidth; }

int TMetafile::MMHeight() { return FImage->FHeight; }

void TMetafile::SetMMWidth(int value) {
    FImage->FTempWidth = 0;
    if (FImage->FWidth == value)
        return;
    MakeUnique();
    FImage->FWidth = value;
    Changed(this);
}

void TMetafile::SetMMHeight(int value) {
    FImage->FTempHeight = 0;
    if (FImage->FHeight == value)
        return;
    MakeUnique();
    FImage->FHeight = value;
    Changed(this);
}

// Setting it changes nothing: metafiles always draw only what their records draw.
void TMetafile::SetTransparent(bool) {}

HPALETTE TMetafile::GetPalette() {
    if (FImage == nullptr || FImage->FHandle == nullptr)
        return nullptr;
    if (FImage->FPalette == nullptr) {
        UINT count = GetEnhMetaFilePaletteEntries(FImage->FHandle, 0, nullptr);
        if (count == 0 || count == GDI_ERROR)
            return nullptr;
        count = std::min<UINT>(count, 256);
        std::vector<std::uint32_t> storage((sizeof(LOGPALETTE) + count * sizeof(PALETTEENTRY)) / 4 + 1);
        auto* palette = reinterpret_cast<LOGPALETTE*>(storage.data());
        palette->palVersion = 0x300;
        palette->palNumEntries = WORD(count);
        GetEnhMetaFilePaletteEntries(FImage->FHandle, count, palette->palPalEntry);
        FImage->FPalette = CreatePalette(palette);
    }
    return FImage->FPalette;
}

// ---- reading ---------------------------------------------------------------------------------

bool TMetafile::IsEnhancedStream(TStream& stream) {
    if (stream.Remaining() <= std::int64_t(kEnhancedHeaderRead))
        return false;
    std::uint8_t header[kEnhancedHeaderRead];
    stream.ReadBuffer(header, sizeof header);
    stream.Seek(-std::int64_t(sizeof header), TSeekOrigin::Current);
    return Dword(header) == 1 && Dword(header + 40) == ENHMETA_SIGNATURE;
}

void TMetafile::ReadEnhancedStream(TStream& stream) {
    NewImage();
    std::uint8_t header[kEnhancedHeaderRead];
    stream.ReadBuffer(header, sizeof header);
    if (Dword(header + 40) != ENHMETA_SIGNATURE)
        InvalidMetafile();
    // The stated total size must cover the header read and lie within the stream and the cap,
    // before a buffer of that size exists.
    const std::uint32_t total = Dword(header + 48);
    if (!EnhMetaFileSizeAcceptable(total, std::uint64_t(std::max<std::int64_t>(stream.Remaining(), 0)) + sizeof header))
        InvalidMetafile();
    std::vector<std::uint8_t> bytes = FileBuffer(total);
    std::memcpy(bytes.data(), header, sizeof header);
    stream.ReadBuffer(bytes.data() + sizeof header, std::int64_t(total) - std::int64_t(sizeof header));
    HENHMETAFILE handle = SetEnhMetaFileBits(total, bytes.data());
    if (handle == nullptr)
        InvalidMetafile();
    FImage->FHandle = handle;
    FImage->FInch = 0;
    const auto frame = [&header](int offset) { return std::int32_t(Dword(header + offset)); };
    FImage->FWidth = frame(32) - frame(24);
    FImage->FHeight = frame(36) - frame(28);
    FSaveEnhanced = true;
}

void TMetafile::ReadPlaceableStream(TStream& stream, std::int64_t length) {
    NewImage();
    std::uint8_t bytes[kPlaceableBytes];
    stream.ReadBuffer(bytes, sizeof bytes);
    const TPlaceableHeader header = ParsePlaceable(bytes);
    if (header.Key != kPlaceableKey || header.CheckSum != PlaceableChecksum(header))
        InvalidMetafile();
    length -= std::int64_t(kPlaceableBytes);
    std::vector<std::uint8_t> records = FileBuffer(std::max<std::int64_t>(length, 0));
    stream.ReadBuffer(records.data(), std::int64_t(records.size()));
    FImage->FInch = header.Inch;
    const int inch = header.Inch != 0 ? header.Inch : 96;
    FImage->FWidth = MulDiv(header.Right - header.Left, 2540, inch);
    FImage->FHeight = MulDiv(header.Bottom - header.Top, 2540, inch);
    // Converted twice: first over the whole reference device, which gives the frame of what
    // the records draw, then again onto exactly that frame.
    METAFILEPICT picture{MM_ANISOTROPIC, 0, 0, nullptr};
    HENHMETAFILE first = SetWinMetaFileBits(UINT(records.size()), records.data(), nullptr, &picture);
    if (first == nullptr)
        InvalidMetafile();
    const ENHMETAHEADER converted = HeaderOf(first);
    DeleteEnhMetaFile(first);
    picture.xExt = converted.rclFrame.right;
    picture.yExt = converted.rclFrame.bottom;
    HENHMETAFILE second = SetWinMetaFileBits(UINT(records.size()), records.data(), nullptr, &picture);
    if (second == nullptr)
        InvalidMetafile();
    FImage->FHandle = second;
    FSaveEnhanced = false;
}

void TMetafile::LoadFrom(TStream& stream, std::int64_t length) {
    if (IsEnhancedStream(stream))
        ReadEnhancedStream(stream);
    else
        ReadPlaceableStream(stream, length);
    FPaletteModified = FImage->FPalette != nullptr;
    Changed(this);
}

void TMetafile::LoadFromStream(TStream& stream) { LoadFrom(stream, stream.Remaining()); }

void TMetafile::ReadData(TStream& stream) {
    std::uint8_t size[4];
    stream.ReadBuffer(size, sizeof size);
    const std::int64_t length = std::int32_t(Dword(size));
    if (length <= 4) {
        Assign(nullptr);
        return;
    }
    LoadFrom(stream, length - 4);
}

// ---- writing ---------------------------------------------------------------------------------

void TMetafile::WriteEnhancedStream(TStream& stream) {
    const UINT size = GetEnhMetaFileBits(FImage->FHandle, 0, nullptr);
    if (size == 0)
        return;
    std::vector<std::uint8_t> bytes(size);
    GetEnhMetaFileBits(FImage->FHandle, size, bytes.data());
    stream.WriteBuffer(bytes.data(), std::int64_t(bytes.size()));
}

void TMetafile::WritePlaceableStream(TStream& stream) {
    TPlaceableHeader header;
    header.Key = kPlaceableKey;
    header.Inch = FImage->FInch != 0 ? FImage->FInch : 96;
    header.Right = std::int16_t(MulDiv(FImage->FWidth, header.Inch, 2540));
    header.Bottom = std::int16_t(MulDiv(FImage->FHeight, header.Inch, 2540));
    header.CheckSum = PlaceableChecksum(header);
    std::vector<std::uint8_t> records;
    {
        TOwnedScreenDC screen(GetDC(nullptr));
        const UINT size = GetWinMetaFileBits(FImage->FHandle, 0, nullptr, MM_ANISOTROPIC, screen.Get());
        records.resize(size);
        if (size != 0 && GetWinMetaFileBits(FImage->FHandle, size, records.data(), MM_ANISOTROPIC, screen.Get()) < size)
            GDIError();
    }
    const auto bytes = PlaceableBytes(header);
    stream.WriteBuffer(bytes.data(), std::int64_t(bytes.size()));
    if (!records.empty())
        stream.WriteBuffer(records.data(), std::int64_t(records.size()));
}

void TMetafile::SaveToStream(TStream& stream) {
    if (FSaveEnhanced)
        WriteEnhancedStream(stream);
    else
        WritePlaceableStream(stream);
}

void TMetafile::WriteData(TStream& stream) {
    const std::int64_t start = stream.Position();
    const std::uint8_t placeholder[4] = {};
    stream.WriteBuffer(placeholder, sizeof placeholder);
    SaveToStream(stream);
    const std::int64_t end = stream.Size();
    const auto length = std::uint32_t(end - start);
    const std::uint8_t size[4] = {std::uint8_t(length), std::uint8_t(length >> 8), std::uint8_t(length >> 16),
                                  std::uint8_t(length >> 24)};
    stream.SetPosition(start);
    stream.WriteBuffer(size, sizeof size);
    stream.SetPosition(end);
}

void TMetafile::SaveToFile(const std::string& fileName) {
    std::string extension = ExtractFileExt(fileName);
    std::transform(extension.begin(), extension.end(), extension.begin(),
                   [](char c) { return c >= 'A' && c <= 'Z' ? char(c - 'A' + 'a') : c; });
    if (extension != "wmf") {
        TGraphic::SaveToFile(fileName);
        return;
    }
    // A ".wmf" file is a placeable Windows metafile, whatever the metafile would save as.
    const bool enhanced = FSaveEnhanced;
    FSaveEnhanced = false;
    try {
        TGraphic::SaveToFile(fileName);
    } catch (...) {
        FSaveEnhanced = enhanced;
        throw;
    }
    FSaveEnhanced = enhanced;
}

// ---- clipboard -------------------------------------------------------------------------------

void TMetafile::LoadFromClipboardFormat(std::uint16_t format, THandle data, HPALETTE) {
    HENHMETAFILE copy = format == CF_ENHMETAFILE && data != 0
                            ? CopyEnhMetaFile(reinterpret_cast<HENHMETAFILE>(data), nullptr)
                            : nullptr;
    if (copy == nullptr)
        throw EInvalidGraphic(base::LoadStr(res::SUnknownClipboardData));
    NewImage();
    FImage->FHandle = copy;
    const ENHMETAHEADER header = HeaderOf(copy);
    FImage->FWidth = header.rclFrame.right - header.rclFrame.left;
    FImage->FHeight = header.rclFrame.bottom - header.rclFrame.top;
    FSaveEnhanced = true;
    FPaletteModified = false;
    Changed(this);
}

void TMetafile::SaveToClipboardFormat(std::uint16_t& format, THandle& data, HPALETTE& palette) {
    format = CF_ENHMETAFILE;
    data = reinterpret_cast<THandle>(FImage->FHandle != nullptr ? CopyEnhMetaFile(FImage->FHandle, nullptr) : nullptr);
    palette = nullptr;
}

}  // namespace graphics
