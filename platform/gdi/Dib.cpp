// Device-independent bitmaps in caller memory: parsing their headers, and converting their scan
// lines into bitmaps (SetDIBits, CreateDIBitmap) and out of them (GetDIBits).
#include "platform/gdi/Dib.h"

#include "platform/base/CheckedMath.h"
#include "platform/gdi/PixelRows.h"
#include "platform/gdi/Rle.h"

#include <algorithm>
#include <bit>
#include <climits>
#include <cstdint>
#include <cstdlib>

namespace gdi::detail {
namespace {

constexpr std::array<DWORD, 3> kMasks555 = {0x7C00, 0x03E0, 0x001F};
constexpr std::array<DWORD, 3> kMasks888 = {0xFF0000, 0x00FF00, 0x0000FF};
// The bit-field masks sit at the same offset whether they follow a 40-byte header or are part of
// a larger one.
constexpr std::size_t kMasksOffset = sizeof(BITMAPINFOHEADER);

bool Fail(DWORD code) {
    SetLastError(code);
    return false;
}

bool IsInfoHeaderSize(DWORD size) {
    switch (size) {
    case 40: case 52: case 56: case 108: case 124: return true;
    default: return false;
    }
}

bool IsDibDepth(int bits) {
    switch (bits) {
    case 1: case 4: case 8: case 16: case 24: case 32: return true;
    default: return false;
    }
}

DWORD HeaderSize(const void* info) {
    DWORD size;
    std::memcpy(&size, info, sizeof size);
    return size;
}

// Everything but the colour table.
bool ParseHeader(const BITMAPINFO* info, bool allowRle, TDibDescription& out) {
    if (info == nullptr)
        return Fail(ERROR_INVALID_PARAMETER);
    out = TDibDescription{};
    BITMAPINFOHEADER& header = out.Header;
    const DWORD size = HeaderSize(info);
    if (size == sizeof(BITMAPCOREHEADER)) {
        BITMAPCOREHEADER core;
        std::memcpy(&core, info, sizeof core);
        header.biWidth = core.bcWidth;
        header.biHeight = core.bcHeight;
        header.biPlanes = core.bcPlanes;
        header.biBitCount = core.bcBitCount;
        header.biCompression = BI_RGB;
    } else if (IsInfoHeaderSize(size)) {
        std::memcpy(&header, info, sizeof header);
    } else {
        return Fail(ERROR_INVALID_PARAMETER);
    }
    header.biSize = sizeof(BITMAPINFOHEADER);
    // INT_MIN has no positive counterpart to be the image's height.
    if (header.biPlanes != 1 || header.biWidth <= 0 || header.biHeight == 0 || header.biHeight == INT32_MIN ||
        !IsDibDepth(header.biBitCount))
        return Fail(ERROR_INVALID_PARAMETER);
    const int bits = header.biBitCount;
    switch (header.biCompression) {
    case BI_RGB:
        out.Masks = bits == 16 ? kMasks555 : kMasks888;
        break;
    case BI_BITFIELDS:
        if (bits != 16 && bits != 32)
            return Fail(ERROR_INVALID_PARAMETER);
        std::memcpy(out.Masks.data(), reinterpret_cast<const BYTE*>(info) + kMasksOffset, sizeof(DWORD) * 3);
        break;
    case BI_RLE8:
    case BI_RLE4:
        // The platform stores compressed images bottom-up only.
        if (!allowRle || bits != (header.biCompression == BI_RLE8 ? 8 : 4) || header.biHeight < 0)
            return Fail(ERROR_INVALID_PARAMETER);
        break;
    default: return Fail(ERROR_INVALID_PARAMETER);
    }
    out.Width = header.biWidth;
    out.Height = header.biHeight < 0 ? -header.biHeight : header.biHeight;
    out.TopDown = header.biHeight < 0;
    out.BitsPixel = bits;
    out.Compression = header.biCompression;
    out.SizeImage = header.biSizeImage;
    out.Stride = DibStride(out.Width, bits);
    if (out.Stride == 0)
        return Fail(ERROR_NOT_ENOUGH_MEMORY);
    return true;
}

bool ReadColorTable(const BITMAPINFO* info, UINT usage, const TDCObj* dc, TDibDescription& out) {
    if (usage != DIB_RGB_COLORS && usage != DIB_PAL_COLORS)
        return Fail(ERROR_INVALID_PARAMETER);
    if (out.BitsPixel > 8)
        return true;
    const DWORD headerSize = HeaderSize(info);
    const bool core = headerSize == sizeof(BITMAPCOREHEADER);
    const std::size_t capacity = std::size_t(1) << out.BitsPixel;
    const std::size_t count =
        core || out.Header.biClrUsed == 0 ? capacity : std::min<std::size_t>(out.Header.biClrUsed, capacity);
    // Indices past a short table read as black instead of reaching beyond it.
    out.ColorTable.assign(capacity, RGBQUAD{0, 0, 0, 0});
    const BYTE* table = reinterpret_cast<const BYTE*>(info) + headerSize;
    if (usage == DIB_RGB_COLORS) {
        for (std::size_t i = 0; i < count; ++i) {
            if (core)
                out.ColorTable[i] = RGBQUAD{table[3 * i], table[3 * i + 1], table[3 * i + 2], 0};
            else
                std::memcpy(&out.ColorTable[i], table + 4 * i, 4);
        }
        return true;
    }
    if (dc == nullptr)
        return Fail(ERROR_INVALID_PARAMETER);
    TObject* object = Find(dc->Palette);
    if (object == nullptr || object->Kind != TKind::Palette)
        return Fail(ERROR_INVALID_HANDLE);
    const auto& entries = static_cast<const TPaletteObj*>(object)->Entries;
    for (std::size_t i = 0; i < count; ++i) {
        WORD index;
        std::memcpy(&index, table + 2 * i, sizeof index);
        if (index < entries.size())
            out.ColorTable[i] = RGBQUAD{entries[index].peBlue, entries[index].peGreen, entries[index].peRed, 0};
    }
    return true;
}

bool SameTable(const TFormat& a, const TFormat& b) {
    if (a.TableSize() != b.TableSize())
        return false;
    for (int i = 0; i < a.TableSize(); ++i) {
        const RGBQUAD& p = a.Table()[i];
        const RGBQUAD& q = b.Table()[i];
        if (p.rgbRed != q.rgbRed || p.rgbGreen != q.rgbGreen || p.rgbBlue != q.rgbBlue)
            return false;
    }
    return true;
}

// Direct formats whose three channels are 8 bits wide each (24-bit, 32-bit BI_RGB, and bit fields
// in any byte order) convert with shifts alone: decoding and encoding such a channel are identity.
bool ChannelShifts(const std::array<DWORD, 3>& masks, std::array<int, 3>& shifts) {
    for (int c = 0; c < 3; ++c) {
        if (masks[c] == 0)
            return false;
        shifts[c] = std::countr_zero(masks[c]);
        if ((masks[c] >> shifts[c]) != 0xFFu)
            return false;
    }
    return true;
}

// Converts rows from one pixel format to another. Indexed sources go through a value map made
// once, so a large image costs one table look-up per pixel, or per byte when both sides have the
// same depth; rows of the same format are copied, and 8-bit channels are moved by shifting.
class TRowConverter {
public:
    TRowConverter(const TBitmapObj& from, const TBitmapObj& to)
        : FFrom(from), FTo(to), FFromBpp(from.BitsPixel), FToBpp(to.BitsPixel) {
        if (FFromBpp == FToBpp)
            FSame = FFromBpp <= 8 ? SameTable(FFrom, FTo) : FFrom.Masks() == FTo.Masks();
        if (FSame)
            return;
        if (FFromBpp > 8) {
            FShifting = FToBpp > 8 && ChannelShifts(FFrom.Masks(), FFromShift) && ChannelShifts(FTo.Masks(), FToShift);
            return;
        }
        for (int i = 0; i < (1 << FFromBpp); ++i)
            FMap[std::size_t(i)] = FTo.Encode(FFrom.Decode(DWORD(i)));
        FBytewise = FFromBpp == FToBpp;
        if (FBytewise) {
            const DWORD mask = (1u << FFromBpp) - 1u;
            for (DWORD b = 0; b < 256; ++b) {
                DWORD mapped = 0;
                for (int shift = 8 - FFromBpp; shift >= 0; shift -= FFromBpp)
                    mapped |= (FMap[(b >> shift) & mask] & mask) << shift;
                FByteMap[b] = BYTE(mapped);
            }
        }
    }

    void Convert(const BYTE* source, BYTE* dest, LONG width) {
        LONG x = 0;
        if (FSame || FBytewise) {
            const std::size_t whole = std::size_t(width) * std::size_t(FFromBpp) / 8;
            if (FSame) {
                std::memcpy(dest, source, whole);
            } else {
                for (std::size_t i = 0; i < whole; ++i)
                    dest[i] = FByteMap[source[i]];
            }
            // A row of 1 or 4-bit pixels may end inside a byte whose other bits are not ours.
            for (x = LONG(whole * 8 / std::size_t(FFromBpp)); x < width; ++x) {
                DWORD value = ReadPixel(source, x, FFromBpp);
                WritePixel(dest, x, FToBpp, FSame ? value : FMap[value]);
            }
            return;
        }
        if (FFromBpp <= 8) {
            const auto& map = FMap;
            if (MapIndexedRow(source, 0, FFromBpp, dest, 0, FToBpp, width, [&map](DWORD value) { return map[value]; }))
                return;
            for (; x < width; ++x)
                WritePixel(dest, x, FToBpp, FMap[ReadPixel(source, x, FFromBpp)]);
            return;
        }
        if (FShifting) {
            const std::array<int, 3> from = FFromShift, to = FToShift;
            const auto shift = [from, to](DWORD value) {
                DWORD out = 0;
                for (int c = 0; c < 3; ++c)
                    out |= ((value >> from[c]) & 0xFFu) << to[c];
                return out;
            };
            if (MapDirectRow(source, 0, FFromBpp, dest, 0, FToBpp, width, shift))
                return;
            for (; x < width; ++x)
                WritePixel(dest, x, FToBpp, shift(ReadPixel(source, x, FFromBpp)));
            return;
        }
        for (; x < width; ++x)
            WritePixel(dest, x, FToBpp, FTo.Encode(FFrom.Decode(ReadPixel(source, x, FFromBpp))));
    }

private:
    TFormat FFrom;
    TFormat FTo;
    int FFromBpp;
    int FToBpp;
    bool FSame = false;
    bool FBytewise = false;
    bool FShifting = false;
    std::array<int, 3> FFromShift{};
    std::array<int, 3> FToShift{};
    std::array<DWORD, 256> FMap{};
    std::array<BYTE, 256> FByteMap{};
};

// A bitmap object that only carries a pixel format, so that caller memory in that format can be
// read and written through TFormat like any bitmap's rows.
void FormatOf(const TDibDescription& dib, TBitmapObj& shell) {
    shell.Width = dib.Width;
    shell.Height = dib.Height;
    shell.BitsPixel = WORD(dib.BitsPixel);
    shell.IsDib = true;
    shell.Compression = dib.Compression == BI_BITFIELDS ? BI_BITFIELDS : BI_RGB;
    shell.Masks = dib.Masks;
    shell.ColorTable = dib.ColorTable;
}

// The colour table GetDIBits reports for an indexed request: the bitmap's own when it already has
// that depth, otherwise the synthesised one of the platform's documentation.
std::vector<RGBQUAD> TableFor(const TBitmapObj& bitmap, int bits) {
    std::vector<RGBQUAD> table(std::size_t(1) << bits, RGBQUAD{0, 0, 0, 0});
    if (bitmap.BitsPixel == bits) {
        TFormat format(bitmap);
        for (int i = 0; i < format.TableSize() && i < int(table.size()); ++i) {
            table[std::size_t(i)] = format.Table()[i];
            table[std::size_t(i)].rgbReserved = 0;
        }
    } else if (bits == 1) {
        table[1] = RGBQUAD{255, 255, 255, 0};
    } else if (bits == 4) {
        std::copy(StandardColors16().begin(), StandardColors16().end(), table.begin());
    } else {
        const auto& halftone = HalftoneEntries();
        for (std::size_t i = 0; i < table.size(); ++i)
            table[i] = RGBQUAD{halftone[i].peBlue, halftone[i].peGreen, halftone[i].peRed, 0};
    }
    return table;
}

// Writes the colour table behind the caller's header, no more entries than it has room for.
std::size_t WriteColorTable(BITMAPINFO* info, const std::vector<RGBQUAD>& table) {
    const DWORD headerSize = HeaderSize(info);
    BYTE* out = reinterpret_cast<BYTE*>(info) + headerSize;
    if (headerSize == sizeof(BITMAPCOREHEADER)) {
        for (std::size_t i = 0; i < table.size(); ++i) {
            out[3 * i] = table[i].rgbBlue;
            out[3 * i + 1] = table[i].rgbGreen;
            out[3 * i + 2] = table[i].rgbRed;
        }
        return table.size();
    }
    const DWORD used = info->bmiHeader.biClrUsed;
    std::size_t count = used == 0 ? table.size() : std::min<std::size_t>(used, table.size());
    std::memcpy(out, table.data(), count * sizeof(RGBQUAD));
    return count;
}

int QueryHeader(const TBitmapObj& bitmap, BITMAPINFO* info) {
    const DWORD headerSize = HeaderSize(info);
    const std::size_t stride = DibStride(bitmap.Width, bitmap.BitsPixel);
    if (headerSize == sizeof(BITMAPCOREHEADER)) {
        if (bitmap.Width > 0xFFFF || bitmap.Height > 0xFFFF)
            return Fail(ERROR_INVALID_PARAMETER);
        BITMAPCOREHEADER core{headerSize, WORD(bitmap.Width), WORD(bitmap.Height), 1, bitmap.BitsPixel};
        std::memcpy(info, &core, sizeof core);
        return bitmap.Height;
    }
    BITMAPINFOHEADER& header = info->bmiHeader;
    header.biWidth = bitmap.Width;
    header.biHeight = bitmap.Height;
    header.biPlanes = 1;
    header.biBitCount = bitmap.BitsPixel;
    header.biCompression = BI_RGB;
    auto size = base::CheckedMul<std::size_t>(stride, std::size_t(bitmap.Height));
    header.biSizeImage = size && *size <= 0xFFFFFFFFu ? DWORD(*size) : 0;
    header.biXPelsPerMeter = 0;
    header.biYPelsPerMeter = 0;
    header.biClrUsed = 0;
    header.biClrImportant = 0;
    if ((bitmap.BitsPixel == 16 || bitmap.BitsPixel == 32) && bitmap.Compression == BI_BITFIELDS) {
        header.biCompression = BI_BITFIELDS;
        std::memcpy(reinterpret_cast<BYTE*>(info) + kMasksOffset, bitmap.Masks.data(), sizeof(DWORD) * 3);
    }
    return bitmap.Height;
}

}  // namespace

bool DescribeDibData(const BITMAPINFO* info, UINT usage, const TDCObj* dc, TDibDescription& out) {
    return ParseHeader(info, true, out) && ReadColorTable(info, usage, dc, out);
}

bool DescribeDib(const BITMAPINFO* info, UINT usage, const TDCObj* dc, TDibDescription& out) {
    return ParseHeader(info, false, out) && ReadColorTable(info, usage, dc, out);
}

std::unique_ptr<TBitmapObj> ReadPackedDib(const void* packed, UINT usage, std::vector<WORD>& paletteIndices) {
    paletteIndices.clear();
    if (packed == nullptr || (usage != DIB_RGB_COLORS && usage != DIB_PAL_COLORS)) {
        Fail(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    const auto* info = static_cast<const BITMAPINFO*>(packed);
    TDibDescription dib;
    if (!ParseHeader(info, false, dib))
        return nullptr;
    const auto bytes = base::CheckedMul<std::size_t>(dib.Stride, std::size_t(dib.Height));
    if (!bytes || *bytes > kMaxPackedDibBits) {
        Fail(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    const DWORD headerSize = HeaderSize(info);
    const bool core = headerSize == sizeof(BITMAPCOREHEADER);
    std::size_t offset = headerSize;
    if (dib.Compression == BI_BITFIELDS && headerSize == sizeof(BITMAPINFOHEADER))
        offset += 3 * sizeof(DWORD);
    if (dib.BitsPixel <= 8) {
        const std::size_t capacity = std::size_t(1) << dib.BitsPixel;
        const std::size_t count =
            core || dib.Header.biClrUsed == 0 ? capacity : std::min<std::size_t>(dib.Header.biClrUsed, capacity);
        if (usage == DIB_PAL_COLORS) {
            dib.ColorTable.assign(capacity, RGBQUAD{0, 0, 0, 0});
            paletteIndices.resize(count);
            std::memcpy(paletteIndices.data(), static_cast<const BYTE*>(packed) + offset, count * sizeof(WORD));
            offset += count * sizeof(WORD);
        } else {
            if (!ReadColorTable(info, DIB_RGB_COLORS, nullptr, dib))
                return nullptr;
            offset += count * (core ? 3 : 4);
        }
    } else if (dib.Header.biClrUsed != 0 && !core) {
        // A direct-colour image may carry a table for palette devices; its bits follow it.
        if (dib.Header.biClrUsed > 256) {
            Fail(ERROR_INVALID_PARAMETER);
            return nullptr;
        }
        offset += std::size_t(dib.Header.biClrUsed) * (usage == DIB_PAL_COLORS ? 2 : 4);
    }
    auto bitmap = std::make_unique<TBitmapObj>();
    bitmap->Storage = AllocatePixels(*bytes);
    if (!bitmap->Storage)
        return nullptr;
    bitmap->Bits = bitmap->Storage.get();
    std::memcpy(bitmap->Bits, static_cast<const BYTE*>(packed) + offset, *bytes);
    bitmap->Width = dib.Width;
    bitmap->Height = dib.Height;
    bitmap->BitsPixel = WORD(dib.BitsPixel);
    bitmap->Stride = LONG(dib.Stride);
    bitmap->TopDown = dib.TopDown;
    bitmap->IsDib = true;
    bitmap->Compression = dib.Compression;
    bitmap->Masks = dib.Masks;
    bitmap->ColorTable = std::move(dib.ColorTable);
    bitmap->Header = dib.Header;
    return bitmap;
}

int StoreDibLines(TBitmapObj& target, const TDibDescription& dib, const void* bits, UINT start, UINT lines) {
    const std::uint64_t limit = std::uint64_t(std::min(dib.Height, target.Height));
    if (start >= limit || lines == 0)
        return 0;
    const std::uint64_t end = std::min<std::uint64_t>(std::uint64_t(start) + lines, limit);
    const LONG columns = std::min(dib.Width, target.Width);
    TBitmapObj shell;
    FormatOf(dib, shell);
    const BYTE* source = static_cast<const BYTE*>(bits);
    std::size_t sourceStride = dib.Stride;
    TPixelStorage decoded;
    if (dib.Compression == BI_RLE8 || dib.Compression == BI_RLE4) {
        // Only the part that lands in the target is kept, so a hostile header cannot make this
        // buffer larger than the target's own pixels.
        auto size = base::CheckedMul<std::size_t>(std::size_t(columns), std::size_t(end));
        if (!size) {
            SetLastError(ERROR_NOT_ENOUGH_MEMORY);
            return -1;
        }
        decoded = AllocatePixels(*size);
        if (!decoded)
            return -1;
        DecodeRle(dib.Compression, source, dib.SizeImage, decoded.get(), std::size_t(columns), std::size_t(end));
        shell.BitsPixel = 8;
        source = decoded.get() + std::size_t(start) * std::size_t(columns);
        sourceStride = std::size_t(columns);
    }
    TRowConverter converter(shell, target);
    for (std::uint64_t line = start; line < end; ++line) {
        LONG y = dib.TopDown ? LONG(line) : LONG(target.Height - 1 - LONG(line));
        converter.Convert(source + std::size_t(line - start) * sourceStride, target.Row(y), columns);
    }
    return int(end - start);
}

}  // namespace gdi::detail

namespace gdi {

using namespace detail;

namespace {

// The context matters only for DIB_PAL_COLORS; when one is given it must be live.
bool OptionalContext(HDC dc, TDCObj*& out) {
    out = nullptr;
    if (dc == nullptr)
        return true;
    out = Lookup<TDCObj>(dc);
    return out != nullptr;
}

}  // namespace

int GetDIBits(HDC dc, HBITMAP bitmap, UINT start, UINT lines, void* bits, BITMAPINFO* info, UINT usage) {
    TLock lock(LayerMutex());
    TDCObj* context;
    if (!OptionalContext(dc, context))
        return 0;
    auto* source = Lookup<TBitmapObj>(bitmap);
    if (source == nullptr)
        return 0;
    // Indices into a logical palette cannot describe the colours of every bitmap; only literal
    // colour tables are written.
    if (info == nullptr || usage != DIB_RGB_COLORS)
        return Fail(ERROR_INVALID_PARAMETER);
    const DWORD headerSize = HeaderSize(info);
    const bool core = headerSize == sizeof(BITMAPCOREHEADER);
    if (!core && !IsInfoHeaderSize(headerSize))
        return Fail(ERROR_INVALID_PARAMETER);
    BITMAPCOREHEADER coreHeader{};
    if (core)
        std::memcpy(&coreHeader, info, sizeof coreHeader);
    const int bitCount = core ? coreHeader.bcBitCount : info->bmiHeader.biBitCount;

    if (bits == nullptr && bitCount == 0)
        return QueryHeader(*source, info);
    if (bits == nullptr) {
        if (!IsDibDepth(bitCount))
            return Fail(ERROR_INVALID_PARAMETER);
        if (bitCount <= 8)
            WriteColorTable(info, TableFor(*source, bitCount));
        return source->Height;
    }

    TDibDescription dib;
    if (!ParseHeader(info, false, dib))
        return 0;
    if (dib.BitsPixel <= 8) {
        std::vector<RGBQUAD> table = TableFor(*source, dib.BitsPixel);
        table.resize(WriteColorTable(info, table));
        // Pixels may only name entries the caller has room for.
        dib.ColorTable = std::move(table);
    }
    if (!core) {
        auto size = base::CheckedMul<std::size_t>(dib.Stride, std::size_t(dib.Height));
        info->bmiHeader.biSizeImage = size && *size <= 0xFFFFFFFFu ? DWORD(*size) : 0;
    }

    const std::uint64_t limit = std::uint64_t(std::min(dib.Height, source->Height));
    if (start >= limit || lines == 0)
        return 0;
    const std::uint64_t end = std::min<std::uint64_t>(std::uint64_t(start) + lines, limit);
    const LONG columns = std::min(dib.Width, source->Width);
    // Bytes the converted pixels touch; the rest of a row is padding, or lies right of the bitmap
    // and is left as the caller had it.
    const std::size_t used = columns == dib.Width
                                 ? dib.Stride
                                 : (std::size_t(columns) * std::size_t(dib.BitsPixel) + 7) / 8;
    TBitmapObj shell;
    FormatOf(dib, shell);
    TRowConverter converter(*source, shell);
    BYTE* out = static_cast<BYTE*>(bits);
    for (std::uint64_t line = start; line < end; ++line) {
        LONG y = dib.TopDown ? LONG(line) : LONG(source->Height - 1 - LONG(line));
        BYTE* row = out + std::size_t(line - start) * dib.Stride;
        std::memset(row, 0, used);
        converter.Convert(source->Row(y), row, columns);
    }
    return int(end - start);
}

int SetDIBits(HDC dc, HBITMAP bitmap, UINT start, UINT lines, const void* bits, const BITMAPINFO* info,
              UINT usage) {
    TLock lock(LayerMutex());
    TDCObj* context;
    if (!OptionalContext(dc, context))
        return 0;
    auto* target = Lookup<TBitmapObj>(bitmap);
    if (target == nullptr)
        return 0;
    if (bits == nullptr)
        return Fail(ERROR_INVALID_PARAMETER);
    TDibDescription dib;
    if (!DescribeDibData(info, usage, context, dib))
        return 0;
    return std::max(StoreDibLines(*target, dib, bits, start, lines), 0);
}

HBITMAP CreateDIBitmap(HDC dc, const BITMAPINFOHEADER* header, DWORD init, const void* bits,
                       const BITMAPINFO* info, UINT usage) {
    TLock lock(LayerMutex());
    auto* context = Lookup<TDCObj>(dc);
    if (context == nullptr)
        return nullptr;
    if (header == nullptr) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    LONG width, height;
    const DWORD headerSize = HeaderSize(header);
    if (headerSize == sizeof(BITMAPCOREHEADER)) {
        BITMAPCOREHEADER core;
        std::memcpy(&core, header, sizeof core);
        width = core.bcWidth;
        height = core.bcHeight;
    } else if (IsInfoHeaderSize(headerSize)) {
        width = header->biWidth;
        height = header->biHeight == INT32_MIN ? 0 : std::abs(header->biHeight);
    } else {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    if (width <= 0 || height <= 0) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    TDibDescription dib;
    if (init & CBM_INIT) {
        if (bits == nullptr) {
            SetLastError(ERROR_INVALID_PARAMETER);
            return nullptr;
        }
        if (!DescribeDibData(info, usage, context, dib))
            return nullptr;
    }
    auto result = NewCompatibleBitmap(*context, width, height, false);
    if (!result)
        return nullptr;
    if ((init & CBM_INIT) && StoreDibLines(*result, dib, bits, 0, UINT(dib.Height)) < 0)
        return nullptr;
    return PublishBitmap(std::move(result));
}

}  // namespace gdi
