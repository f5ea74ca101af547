// The palette, transparency and gamma chunks.
#include "png/PngImage.h"

#include <cmath>
#include <cstring>
#include <memory>
#include <mutex>
#include <vector>

namespace png {

PNG_CHUNK_CLASS(TChunkPLTE, TChunk)
PNG_CHUNK_CLASS(TChunktRNS, TChunk)
PNG_CHUNK_CLASS(TChunkgAMA, TChunk)

// ---- PLTE -------------------------------------------------------------------------------------

bool TChunkPLTE::ReadChunk(TStream& stream, const TChunkType& type, std::int32_t length) {
    TChunk::ReadChunk(stream, type, length);
    if (length % 3 != 0 || length / 3 > 256)
        TPNGObject::RaisePngError<EPNGInvalidPalette>(res::SPngInvalidPalette);
    EntryCount = length / 3;

    std::vector<std::uint8_t> storage(sizeof(gdi::LOGPALETTE) + sizeof(gdi::PALETTEENTRY) * 256);
    auto* palette = reinterpret_cast<gdi::LOGPALETTE*>(storage.data());
    palette->palVersion = 0x300;
    palette->palNumEntries = gdi::WORD(EntryCount);
    const auto& gamma = Owner().GammaLookup;
    const std::uint8_t* data = Data();
    for (int i = 0; i < EntryCount; ++i) {
        palette->palPalEntry[i] = gdi::PALETTEENTRY{gamma[data[3 * i]], gamma[data[3 * i + 1]],
                                                    gamma[data[3 * i + 2]], 0};
    }
    HPALETTE handle = gdi::CreatePalette(palette);
    if (handle == nullptr)
        return true;
    Owner().SetPalette(handle);
    // Images without a colour table do not adopt the palette; it would otherwise be lost.
    if (!Owner().HasHeader() || Owner().RequireHeader().ImagePalette() != handle)
        gdi::DeleteObject(handle);
    return true;
}

std::uint32_t TChunkPLTE::PaletteEntryColor(int index) const {
    if (index < 0 || index >= EntryCount || index > 255)
        TPNGObject::RaisePngError<EPngError>(res::SPngNoSuchPaletteEntry);
    const gdi::RGBQUAD& entry = HeaderChunk().BitmapInfo().bmiColors[index];
    return std::uint32_t(entry.rgbBlue) | (std::uint32_t(entry.rgbGreen) << 8) |
           (std::uint32_t(entry.rgbRed) << 16) | (std::uint32_t(entry.rgbReserved) << 24);
}

void TChunkPLTE::CopyChunk(const TChunk& source) {
    const auto* palette = dynamic_cast<const TChunkPLTE*>(&source);
    if (palette == nullptr)
        TPNGObject::RaisePngError<EPngError>(res::SPngChunksNotCompatible);
    EntryCount = palette->EntryCount;
}

bool TChunkPLTE::WriteChunk(TStream& stream) {
    TChunkIHDR& header = HeaderChunk();
    if (EntryCount == 0)
        EntryCount = std::int32_t(std::min<gdi::DWORD>(header.BitmapInfo().bmiHeader.biClrUsed, 256));
    gdi::PALETTEENTRY entries[256] = {};
    if (header.ImagePalette() != nullptr)
        gdi::GetPaletteEntries(header.ImagePalette(), 0, gdi::UINT(EntryCount), entries);
    SetDataSize(EntryCount * 3);
    const auto& inverse = Owner().InverseGammaLookup;
    std::uint8_t* data = Data();
    for (int i = 0; i < EntryCount; ++i) {
        data[3 * i] = inverse[entries[i].peRed];
        data[3 * i + 1] = inverse[entries[i].peGreen];
        data[3 * i + 2] = inverse[entries[i].peBlue];
    }
    return TChunk::WriteChunk(stream);
}

// ---- tRNS -------------------------------------------------------------------------------------

bool TChunktRNS::ReadChunk(TStream& stream, const TChunkType& type, std::int32_t length) {
    TChunk::ReadChunk(stream, type, length);
    if (length > 256)
        TPNGObject::RaisePngError<EPNGInvalidPalette>(res::SPngInvalidPalette);
    AlphaTable.fill(255);
    std::memcpy(AlphaTable.data(), Data(), std::size_t(length));
    switch (HeaderChunk().ColorType()) {
    case kColorGray:
    case kColorRgb:
        BitTransparency = true;
        break;
    case kColorPalette: {
        // One entry that is not fully opaque is drawn as a colour key; more need blending.
        int notOpaque = 0;
        for (int i = 0; i < length; ++i)
            notOpaque += AlphaTable[std::size_t(i)] != 255 ? 1 : 0;
        BitTransparency = notOpaque == 1;
        break;
    }
    default:
        break;
    }
    return true;
}

TColor TChunktRNS::TransparentColorOf() const {
    const TChunkIHDR& header = HeaderChunk();
    const auto& gamma = Owner().GammaLookup;
    switch (header.ColorType()) {
    case kColorGray: {
        // The colour plane holds a 16-bit sample's high byte and a 2-bit sample v as the 4-bit
        // value 5v, so the key's entry in the colour table is found the same way.
        std::size_t index = AlphaTable[1];
        if (header.BitDepth() == 16)
            index = AlphaTable[0];
        else if (header.BitDepth() == 2)
            index = (AlphaTable[1] & 3u) * 5;
        const std::uint8_t g = header.BitmapInfo().bmiColors[index].rgbRed;
        return TColor(gdi::RGB(g, g, g));
    }
    case kColorRgb: {
        // 16-bit samples are stored by their high byte; 8-bit ones sit in the low byte.
        const std::size_t low = header.BitDepth() == 16 ? 0 : 1;
        return TColor(gdi::RGB(gamma[AlphaTable[low]], gamma[AlphaTable[low + 2]], gamma[AlphaTable[low + 4]]));
    }
    case kColorPalette: {
        const TChunkPLTE* palette = Owner().ChunkList.FindByClass<TChunkPLTE>();
        const int length = std::min(DataSize(), 256);
        for (int i = 0; i < length; ++i) {
            if (AlphaTable[std::size_t(i)] != 0)
                continue;
            // Without a palette, or for an entry the palette does not have, there is no colour.
            if (palette == nullptr || i >= palette->EntryCount)
                return 0;
            const std::uint32_t bgr = palette->PaletteEntryColor(i);
            return TColor(gdi::RGB(std::uint8_t(bgr >> 16), std::uint8_t(bgr >> 8), std::uint8_t(bgr)));
        }
        return 0;
    }
    default:
        return 0;
    }
}

void TChunktRNS::MakeColorKey(TColor color) {
    const std::uint8_t r = gdi::GetRValue(gdi::COLORREF(color));
    const std::uint8_t g = gdi::GetGValue(gdi::COLORREF(color));
    const std::uint8_t b = gdi::GetBValue(gdi::COLORREF(color));
    AlphaTable.fill(0);
    BitTransparency = true;
    int length = DataSize();
    const TChunkIHDR& header = HeaderChunk();
    switch (header.ColorType()) {
    case kColorGray:
        length = 2;
        AlphaTable[1] = r;
        break;
    case kColorRgb:
        length = 6;
        AlphaTable[1] = r;
        AlphaTable[3] = g;
        AlphaTable[5] = b;
        break;
    case kColorPalette: {
        const int searched = int(std::min<gdi::DWORD>(header.BitmapInfo().bmiHeader.biClrUsed, 256));
        int k = 0;
        while (k < searched) {
            const gdi::RGBQUAD& entry = header.BitmapInfo().bmiColors[k];
            if (entry.rgbBlue == b && entry.rgbGreen == g && entry.rgbRed == r)
                break;
            ++k;
        }
        if (k >= 256) {
            // No entry of a full table has the colour: a 257th byte cannot be stored, so the
            // chunk keeps every entry opaque and marks no colour.
            AlphaTable.fill(255);
            BitTransparency = false;
            length = 256;
        } else {
            std::fill(AlphaTable.begin(), AlphaTable.begin() + k, std::uint8_t(255));
            length = k + 1;
        }
        break;
    }
    default:
        return;
    }
    SetDataSize(length);
    std::memcpy(Data(), AlphaTable.data(), std::size_t(length));
}

void TChunktRNS::CopyChunk(const TChunk& source) {
    if (const auto* transparency = dynamic_cast<const TChunktRNS*>(&source)) {
        AlphaTable = transparency->AlphaTable;
        BitTransparency = transparency->BitTransparency;
    }
    TChunk::CopyChunk(source);
}

bool TChunktRNS::WriteChunk(TStream& stream) {
    if (DataSize() <= 256)
        std::memcpy(Data(), AlphaTable.data(), std::size_t(DataSize()));
    return TChunk::WriteChunk(stream);
}

// ---- gAMA -------------------------------------------------------------------------------------

namespace {

std::uint32_t StoredGamma(const TChunk& chunk) {
    if (chunk.DataSize() != 4)
        return 1;
    const std::uint8_t* d = chunk.Data();
    return (std::uint32_t(d[0]) << 24) | (std::uint32_t(d[1]) << 16) | (std::uint32_t(d[2]) << 8) | d[3];
}

}  // namespace

TChunkgAMA::TChunkgAMA(TPNGObject& owner) : TChunk(owner, StaticClass()) { SetGammaValue(1); }

std::uint32_t TChunkgAMA::GammaValue() {
    if (DataSize() != 4) {
        SetDataSize(4);
        return 1;
    }
    return StoredGamma(*this);
}

void TChunkgAMA::SetGammaValue(std::uint32_t value) {
    if (DataSize() != 4)
        SetDataSize(4);
    std::uint8_t* d = Data();
    d[0] = std::uint8_t(value >> 24);
    d[1] = std::uint8_t(value >> 16);
    d[2] = std::uint8_t(value >> 8);
    d[3] = std::uint8_t(value);
}

namespace {

using TGammaTable = std::array<std::uint8_t, 256>;

TGammaTable ComputeGammaTable(std::uint32_t value) {
    TGammaTable table{};
    // The exponent and the curve are worked out in extended precision; the result is rounded
    // to the nearest level with halves going to the even one.
    const long double exponent = 1.0L / ((static_cast<long double>(value) / 100000.0L) * 2.2L);
    for (int i = 0; i < 256; ++i) {
        const long double level = i == 0 ? 0.0L : 255.0L * std::pow(static_cast<long double>(i) / 255.0L, exponent);
        table[std::size_t(i)] = std::uint8_t(std::nearbyint(level));
    }
    return table;
}

/// The tables of the last few gamma values. A folder's pictures mostly share one value, and 256
/// powers in extended precision cost more than decoding a small image. The table is handed out
/// as a copy taken under the lock, so another thread's entry cannot replace it mid-read.
TGammaTable GammaTableFor(std::uint32_t value) {
    struct TEntry {
        std::uint32_t Value;
        TGammaTable Table;
    };
    static std::mutex lock;
    static std::array<std::unique_ptr<TEntry>, 8> cache;
    static std::size_t next = 0;
    std::lock_guard<std::mutex> guard(lock);
    for (const auto& entry : cache) {
        if (entry && entry->Value == value)
            return entry->Table;
    }
    auto& slot = cache[next];
    next = (next + 1) % cache.size();
    slot = std::make_unique<TEntry>(TEntry{value, ComputeGammaTable(value)});
    return slot->Table;
}

}  // namespace

bool TChunkgAMA::ReadChunk(TStream& stream, const TChunkType& type, std::int32_t length) {
    TChunk::ReadChunk(stream, type, length);
    const std::uint32_t value = GammaValue();
    if (value == 0)
        return true;
    TPNGObject& owner = Owner();
    owner.GammaLookup = GammaTableFor(value);
    for (int i = 0; i < 256; ++i)
        owner.InverseGammaLookup[owner.GammaLookup[std::size_t(i)]] = std::uint8_t(i);
    return true;
}

void TChunkgAMA::CopyChunk(const TChunk& source) {
    if (dynamic_cast<const TChunkgAMA*>(&source) == nullptr)
        TPNGObject::RaisePngError<EPngError>(res::SPngChunksNotCompatible);
    SetGammaValue(StoredGamma(source));
}

}  // namespace png
