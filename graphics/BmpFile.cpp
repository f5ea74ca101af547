// Windows bitmap files in and out of TBitmap. Uncompressed files become DIB sections whose pixels
// are read straight into place; run-length files become device-dependent bitmaps and keep their
// whole file, so that saving writes them back byte for byte.
#include "graphics/Bitmap.h"
#include "graphics/DeviceContexts.h"

#include "platform/base/CheckedMath.h"
#include "platform/base/Messages.h"
#include "platform/gdi/Storage.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace graphics {

using namespace gdi;

namespace {

// The largest info header accepted. The platform's largest is 124 bytes; anything far beyond is
// not a header but a damaged size field, and must not decide an allocation.
constexpr DWORD kMaxHeaderSize = 1024;
constexpr std::size_t kMaxColors = 256;

[[noreturn]] void InvalidBitmap() { throw EInvalidGraphic(base::LoadStr(res::SInvalidBitmap)); }

[[noreturn]] void RaiseLastPlatformError() {
    const DWORD code = GetLastError();
    if (code == 0)
        InvalidBitmap();
    char text[256];
    if (FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, code, 0x400, text,
                       sizeof text, nullptr) == 0)
        text[0] = '\0';
    std::string message = text[0] != '\0' ? base::FmtLoadStr(res::SOSError, {static_cast<long long>(code), std::string(text)})
                                          : base::LoadStr(res::SUnknownOSError);
    throw EOSError(message, code);
}

DWORD ReadU32(TStream& stream) {
    BYTE b[4];
    stream.ReadBuffer(b, 4);
    return DWORD(b[0]) | (DWORD(b[1]) << 8) | (DWORD(b[2]) << 16) | (DWORD(b[3]) << 24);
}

void WriteU32(std::vector<BYTE>& out, DWORD v) {
    for (int i = 0; i < 4; ++i)
        out.push_back(BYTE(v >> (8 * i)));
}

void WriteU16(std::vector<BYTE>& out, WORD v) {
    out.push_back(BYTE(v));
    out.push_back(BYTE(v >> 8));
}

std::uint64_t RowStride(LONG width, int bits) {
    return ((std::uint64_t(std::uint32_t(std::abs(std::int64_t(width)))) * std::uint64_t(bits) + 31) & ~std::uint64_t(31)) / 8;
}

// What a read makes, deleted if any step fails before the image takes it over.
struct TReadObjects {
    TOwnedBitmap Bitmap;
    TOwnedPalette Palette;
};

}  // namespace

void TBitmap::LoadFromStream(TStream& stream) { ReadBmpFile(stream, stream.Size() - stream.Position()); }

void TBitmap::ReadData(TStream& stream) {
    const std::int64_t size = std::int64_t(ReadU32(stream));
    ReadBmpFile(stream, size);
}

void TBitmap::ReadBmpFile(TStream& stream, std::int64_t size) {
    FreeContext();
    if (size == 0) {
        NewImage(nullptr, nullptr, DIBSECTION{}, false);
        return;
    }
    // The 14 bytes of the file header in one read; the fields are little-endian and unaligned.
    BYTE raw[14];
    stream.ReadBuffer(raw, sizeof raw);
    const auto u16 = [&raw](int at) { return WORD(raw[at] | (raw[at + 1] << 8)); };
    const auto u32 = [&raw](int at) {
        return DWORD(raw[at]) | (DWORD(raw[at + 1]) << 8) | (DWORD(raw[at + 2]) << 16) | (DWORD(raw[at + 3]) << 24);
    };
    BITMAPFILEHEADER fileHeader{};
    fileHeader.bfType = u16(0);
    fileHeader.bfSize = u32(2);
    fileHeader.bfReserved1 = u16(6);
    fileHeader.bfReserved2 = u16(8);
    fileHeader.bfOffBits = u32(10);
    if (fileHeader.bfType != 0x4D42)
        InvalidBitmap();
    ReadBmpBody(stream, size - 14, &fileHeader);
}

void TBitmap::ReadBmpBody(TStream& input, std::int64_t budget, const BITMAPFILEHEADER* fileHeader) {
    // A budget larger than what the stream still holds (a stored count that lies) is cut to the
    // stream, so no allocation below is sized by a number the input cannot back.
    budget = std::clamp<std::int64_t>(budget, 0, std::max<std::int64_t>(input.Remaining(), 0));

    const DWORD headerSize = ReadU32(input);
    const bool core = headerSize == sizeof(BITMAPCOREHEADER);
    if (!core && (headerSize < 16 || headerSize > kMaxHeaderSize || std::int64_t(headerSize) > budget))
        InvalidBitmap();
    const DWORD workingSize = core ? DWORD(sizeof(BITMAPINFOHEADER)) : headerSize;

    // The header, room for three masks and for 256 colour entries, in one zeroed buffer.
    std::vector<BYTE> buffer(std::size_t(workingSize) + 12 + kMaxColors * 4 + sizeof(BITMAPINFOHEADER), 0);
    auto* info = reinterpret_cast<BITMAPINFO*>(buffer.data());
    BITMAPINFOHEADER& bih = info->bmiHeader;

    if (core) {
        BYTE fields[8];
        input.ReadBuffer(fields, 8);
        bih.biSize = sizeof(BITMAPINFOHEADER);
        bih.biWidth = LONG(fields[0] | (fields[1] << 8));
        bih.biHeight = LONG(fields[2] | (fields[3] << 8));
        bih.biPlanes = WORD(fields[4] | (fields[5] << 8));
        bih.biBitCount = WORD(fields[6] | (fields[7] << 8));
        bih.biCompression = BI_RGB;
        budget -= 12;
    } else {
        bih.biSize = headerSize;
        input.ReadBuffer(buffer.data() + 4, std::int64_t(headerSize) - 4);
        budget -= headerSize;
    }

    TStream* stream = &input;
    std::unique_ptr<TMemoryStream> saveStream;
    const bool compressed = bih.biCompression != BI_RGB && bih.biCompression != BI_BITFIELDS;
    if (compressed) {
        // The whole file is kept, and reading goes on from that copy.
        saveStream = std::make_unique<TMemoryStream>();
        std::vector<BYTE> head;
        if (fileHeader != nullptr) {
            WriteU16(head, fileHeader->bfType);
            WriteU32(head, fileHeader->bfSize);
            WriteU16(head, fileHeader->bfReserved1);
            WriteU16(head, fileHeader->bfReserved2);
            WriteU32(head, fileHeader->bfOffBits);
        } else {
            WriteU16(head, 0x4D42);
            WriteU32(head, DWORD(budget + headerSize));
            WriteU16(head, 0);
            WriteU16(head, 0);
            WriteU32(head, 0);
        }
        WriteU32(head, headerSize);
        head.insert(head.end(), buffer.begin() + 4, buffer.begin() + headerSize);
        // The kept copy is sized by the file, like pixels are.
        if (!gdi::StorageAllowed({head.size(), std::size_t(budget)}))
            GDIError();
        saveStream->WriteBuffer(head.data(), std::int64_t(head.size()));
        if (budget > 0)
            saveStream->CopyFrom(input, budget);
        saveStream->SetPosition(saveStream->Size() - budget);
        stream = saveStream.get();
    }

    bih.biSize = workingSize;
    if (bih.biPlanes != 1)
        InvalidBitmap();

    if (workingSize == sizeof(BITMAPINFOHEADER) && (bih.biBitCount == 16 || bih.biBitCount == 32) &&
        bih.biCompression == BI_BITFIELDS) {
        // Larger headers carry their masks inside.
        stream->ReadBuffer(buffer.data() + workingSize, 12);
        budget -= 12;
    }

    std::uint64_t colors = bih.biClrUsed;
    if (colors == 0) {
        switch (bih.biBitCount) {
        case 1: colors = 2; break;
        case 4: colors = 16; break;
        case 8: colors = 256; break;
        default: colors = 0; break;
        }
        bih.biClrUsed = DWORD(colors);
    }
    const std::int64_t entrySize = core ? 3 : 4;
    // More colours than the table can hold: the first 256 are kept and the rest skipped, so the
    // pixels are still found right behind the table.
    const std::uint64_t kept = std::min<std::uint64_t>(colors, kMaxColors);
    const bool masksBehindHeader = workingSize == sizeof(BITMAPINFOHEADER) && (bih.biBitCount == 16 || bih.biBitCount == 32) &&
                                   bih.biCompression == BI_BITFIELDS;
    BYTE* table = buffer.data() + workingSize + (masksBehindHeader ? 12 : 0);
    stream->ReadBuffer(table, std::int64_t(kept) * entrySize);
    if (colors > kept) {
        const std::uint64_t skip = (colors - kept) * std::uint64_t(entrySize);
        if (skip > std::uint64_t(std::max<std::int64_t>(stream->Remaining(), 0)))
            throw EReadError(base::LoadStr(res::SReadError));
        stream->Seek(std::int64_t(skip), TSeekOrigin::Current);
        bih.biClrUsed = DWORD(kept);
    }
    budget -= std::int64_t(colors) * entrySize;

    std::uint64_t imageSize = bih.biSizeImage;
    if (imageSize == 0) {
        const std::uint64_t stride = RowStride(bih.biWidth, bih.biBitCount);
        const std::uint64_t rows = std::uint64_t(std::abs(std::int64_t(bih.biHeight)));
        auto product = base::CheckedMul<std::uint64_t>(stride, rows);
        imageSize = product && *product <= 0xFFFFFFFFu ? *product : 0xFFFFFFFFu;
        bih.biSizeImage = DWORD(imageSize);
    }
    std::uint64_t count = std::min<std::uint64_t>(std::uint64_t(std::max<std::int64_t>(budget, 0)), imageSize);

    if (core) {
        // Widen the 3-byte entries to 4 bytes in place, from the last down.
        for (int i = int(kept) - 1; i >= 1; --i) {
            BYTE* from = table + i * 3;
            BYTE* to = table + i * 4;
            to[2] = from[2];
            to[1] = from[1];
            to[0] = from[0];
            to[3] = 0;
        }
        table[3] = 0;
    }

    TReadObjects made;
    const BITMAPINFOHEADER fileInfo = bih;
    {
        TScreenDC screen;

        if (compressed) {
            std::vector<BYTE> pixels;
            if (!gdi::ResizeStorage(pixels, static_cast<std::size_t>(count)))
                GDIError();
            stream->ReadBuffer(pixels.data(), std::int64_t(count));
            DWORD error = 0;
            {
                TOwnedDC memory(GDICheck(CreateCompatibleDC(screen)));
                TOwnedBitmap one(CreateCompatibleBitmap(screen, 1, 1));
                TSelection oneSelected = ScopedSelectObject(memory.Get(), one.Get());
                TPaletteSelection paletteSelected;
                if (bih.biClrUsed != 0) {
                    made.Palette.Reset(PaletteFromColorTable(nullptr, reinterpret_cast<const RGBQUAD*>(table), int(bih.biClrUsed)));
                    if (made.Palette) {
                        paletteSelected = ScopedSelectPalette(memory.Get(), made.Palette.Get(), FALSE);
                        RealizePalette(memory.Get());
                    }
                }
                // The decoder reads no further than the bytes actually held.
                bih.biSizeImage = DWORD(count);
                SetLastError(0);
                made.Bitmap.Reset(CreateDIBitmap(memory.Get(), &bih, CBM_INIT, pixels.data(), info, DIB_RGB_COLORS));
                error = GetLastError();
                bih.biSizeImage = fileInfo.biSizeImage;
            }
            if (!made.Bitmap) {
                SetLastError(error);
                RaiseLastPlatformError();
            }
        } else {
            void* bits = nullptr;
            SetLastError(0);
            made.Bitmap.Reset(CreateDIBSection(screen, info, DIB_RGB_COLORS, &bits, nullptr, 0));
            if (!made.Bitmap || bits == nullptr)
                RaiseLastPlatformError();
            DIBSECTION section{};
            GetObject(made.Bitmap.Get(), sizeof section, &section);
            // Never more than the section holds, whatever the header's image size says.
            const std::uint64_t room = std::uint64_t(section.dsBm.bmWidthBytes) * std::uint64_t(std::abs(section.dsBm.bmHeight));
            count = std::min(count, room);
            stream->ReadBuffer(bits, std::int64_t(count));
        }
    }

    if (bih.biBitCount > 8 && bih.biClrUsed != 0 && !made.Palette)
        made.Palette.Reset(PaletteFromColorTable(nullptr, reinterpret_cast<const RGBQUAD*>(table), int(std::min<DWORD>(bih.biClrUsed, 256))));

    DIBSECTION dib{};
    GetObject(made.Bitmap.Get(), sizeof dib, &dib);
    dib.dsBmih.biXPelsPerMeter = fileInfo.biXPelsPerMeter;
    dib.dsBmih.biYPelsPerMeter = fileInfo.biYPelsPerMeter;
    dib.dsBmih.biClrUsed = fileInfo.biClrUsed;
    dib.dsBmih.biClrImportant = fileInfo.biClrImportant;

    NewImage(made.Bitmap.Get(), made.Palette.Get(), dib, core, std::move(saveStream));
    made.Bitmap.Release();
    FPaletteModified = made.Palette.Release() != nullptr;
    Changed(this);
}

void TBitmap::SaveToStream(TStream& stream) { WriteStream(stream, false); }

void TBitmap::WriteData(TStream& stream) { WriteStream(stream, true); }

void TBitmap::WriteStream(TStream& stream, bool writeSize) {
    if (FImage->FSaveStream) {
        TMemoryStream& saved = *FImage->FSaveStream;
        if (writeSize) {
            std::vector<BYTE> size;
            WriteU32(size, DWORD(saved.Size()));
            stream.WriteBuffer(size.data(), 4);
        }
        saved.SaveToStream(stream);
        return;
    }
    EnsureHandle();
    EnsureDIBSection();
    const TBitmapImage& image = *FImage;
    if (image.FDIBHandle == nullptr || image.FDIB.dsBm.bmBits == nullptr) {
        // An empty bitmap: a count of 0 in stored data, nothing at all in a file.
        if (writeSize) {
            std::vector<BYTE> zero;
            WriteU32(zero, 0);
            stream.WriteBuffer(zero.data(), 4);
        }
        return;
    }
    const DIBSECTION& dib = image.FDIB;
    BITMAPINFOHEADER bih = dib.dsBmih;
    const int bits = bih.biBitCount;

    RGBQUAD table[256];
    int entries = 0;
    {
        TMemoryDC memory;
        ReleaseBitmapFromCanvases(image.FDIBHandle);
        memory.Select(image.FDIBHandle);
        entries = int(GetDIBColorTable(memory, 0, 256, table));
    }
    if (entries > 0 && bih.biClrUsed != 0 && DWORD(entries) > bih.biClrUsed)
        entries = int(bih.biClrUsed);
    if (entries == 0 && image.FPalette != nullptr && !image.FHalftone)
        entries = ColorTableFromPalette(image.FPalette, table, 255);

    // The pixels the section really holds, whatever the description says.
    const std::uint64_t imageSize = std::uint64_t(dib.dsBm.bmWidthBytes) * std::uint64_t(std::abs(dib.dsBm.bmHeight));
    std::vector<BYTE> head;
    std::uint64_t headerAndTable;
    if (image.FOS2Format) {
        // The core form holds a full table of 2^bits three-byte entries for indexed images.
        const int coreEntries = bits <= 8 ? (1 << bits) : entries;
        headerAndTable = 12 + std::uint64_t(coreEntries) * 3;
        WriteU16(head, 0x4D42);
        WriteU32(head, DWORD(14 + headerAndTable + imageSize));
        WriteU32(head, 0);
        WriteU32(head, DWORD(14 + headerAndTable));
        if (writeSize) {
            std::vector<BYTE> size;
            WriteU32(size, DWORD(14 + headerAndTable + imageSize));
            head.insert(head.begin(), size.begin(), size.end());
        }
        WriteU32(head, 12);
        WriteU16(head, WORD(bih.biWidth));
        WriteU16(head, WORD(std::abs(bih.biHeight)));
        WriteU16(head, 1);
        WriteU16(head, WORD(bits));
        for (int i = 0; i < coreEntries; ++i) {
            const RGBQUAD q = i < entries ? table[i] : RGBQUAD{0, 0, 0, 0};
            head.push_back(q.rgbBlue);
            head.push_back(q.rgbGreen);
            head.push_back(q.rgbRed);
        }
    } else {
        const bool masks = (bits == 16 || bits == 32) && bih.biCompression == BI_BITFIELDS;
        headerAndTable = sizeof(BITMAPINFOHEADER) + (masks ? 12 : 0) + std::uint64_t(entries) * 4;
        if (writeSize)
            WriteU32(head, DWORD(14 + headerAndTable + imageSize));
        WriteU16(head, 0x4D42);
        WriteU32(head, DWORD(14 + headerAndTable + imageSize));
        WriteU32(head, 0);
        WriteU32(head, DWORD(14 + headerAndTable));
        bih.biSize = sizeof(BITMAPINFOHEADER);
        bih.biSizeImage = DWORD(imageSize);
        // The count written always matches the table written, so a reader finds the pixels.
        bih.biClrUsed = DWORD(entries);
        const BYTE* raw = reinterpret_cast<const BYTE*>(&bih);
        head.insert(head.end(), raw, raw + sizeof bih);
        if (masks)
            for (DWORD mask : dib.dsBitfields)
                WriteU32(head, mask);
        for (int i = 0; i < entries; ++i) {
            head.push_back(table[i].rgbBlue);
            head.push_back(table[i].rgbGreen);
            head.push_back(table[i].rgbRed);
            head.push_back(0);
        }
    }
    stream.WriteBuffer(head.data(), std::int64_t(head.size()));
    stream.WriteBuffer(dib.dsBm.bmBits, std::int64_t(imageSize));
}

}  // namespace graphics
