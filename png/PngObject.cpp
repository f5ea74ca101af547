// The PNG graphic: construction, the chunk stream reading, the header queries, the palette and
// the transparency of the image.
#include "png/PngImage.h"

#include <cstring>

namespace png {

using graphics::TGraphic;

VISTEL_GRAPHIC_CLASS(TPNGObject, TGraphic)

namespace {

constexpr std::uint8_t kSignature[8] = {0x89, 0x50, 0x4E, 0x47, 0x0D, 0x0A, 0x1A, 0x0A};

bool IsType(const TChunkType& type, const char* name) { return std::memcmp(type.data(), name, 4) == 0; }

}  // namespace

TPNGObject::TPNGObject() : FImageCanvas(std::make_unique<graphics::TCanvas>()) {
    for (int i = 0; i < 256; ++i) {
        GammaLookup[std::size_t(i)] = std::uint8_t(i);
        InverseGammaLookup[std::size_t(i)] = std::uint8_t(i);
    }
}

TPNGObject::~TPNGObject() { ClearChunks(); }

void TPNGObject::ClearChunks() {
    for (int i = 0; i < 256; ++i) {
        GammaLookup[std::size_t(i)] = std::uint8_t(i);
        InverseGammaLookup[std::size_t(i)] = std::uint8_t(i);
    }
    // The list owns its chunks; taking each back into an owner destroys it, in list order.
    for (int i = 0; i < ChunkList.Count(); ++i)
        std::unique_ptr<TChunk> chunk(ChunkList.Chunk(i));
    ChunkList.ChangeCount(0);
}

void TPNGObject::LoadFromStream(TStream& stream) {
    ClearChunks();
    FTextInflated = 0;

    std::uint8_t signature[8] = {};
    if (stream.Read(signature, 8) != 8 || std::memcmp(signature, kSignature, 8) != 0)
        RaisePngError<EPNGInvalidFileHeader>(res::SPngInvalidFileHeader);

    bool imageDataSeen = false;
    int counter = 0;
    for (;;) {
        ++counter;
        std::uint8_t lengthBytes[4] = {};
        if (stream.Read(lengthBytes, 4) == 0)
            RaisePngError<EPngUnexpectedEnd>(res::SPngUnexpectedEnd);
        std::uint32_t rawLength;
        std::memcpy(&rawLength, lengthBytes, 4);
        const auto length = std::int32_t(SwapBytes32(rawLength));

        TChunkType type{};
        stream.Read(type.data(), 4);

        if (counter == 1 && !IsType(type, "IHDR"))
            RaisePngError<EPNGIHDRNotFirst>(res::SPngIHDRNotFirst);

        if (IsType(type, "cHRM") || (IsType(type, "IDAT") && imageDataSeen)) {
            // Skipped chunks are not verified, but a length with the top bit set would move the
            // stream backwards and loop; such a chunk cannot carry a valid check value.
            if (length < 0)
                RaisePngError<EPngInvalidCRC>(res::SPngInvalidCRC);
            --counter;
            stream.Seek(std::int64_t(length) + 4, TSeekOrigin::Current);
            continue;
        }
        if (IsType(type, "IDAT"))
            imageDataSeen = true;

        std::unique_ptr<TChunk> created = CreateChunkForType(*this, type);
        TChunk* chunk = created.get();
        ChunkList.Append(created.release());

        if (&chunk->ClassType() == &TChunk::StaticClass() && type[0] != 0 && (type[0] & 0x20) == 0)
            RaisePngError<EPNGUnknownCriticalChunk>(res::SPngUnknownCriticalChunk);

        if (!chunk->ReadChunk(stream, type, length))
            break;
        if (IsType(type, "IEND"))
            break;
    }

    if (!imageDataSeen)
        RaisePngError<EPNGNoImageData>(res::SPngNoImageData);
}

// ---- header queries ---------------------------------------------------------------------------

bool TPNGObject::HasHeader() const {
    return ChunkList.Count() > 0 && dynamic_cast<TChunkIHDR*>(ChunkList.Chunk(0)) != nullptr;
}

TChunkIHDR& TPNGObject::RequireHeader() const {
    if (!HasHeader())
        RaisePngError<EPNGHeaderNotPresent>(res::SPngHeaderNotPresent);
    return *static_cast<TChunkIHDR*>(ChunkList.Chunk(0));
}

int TPNGObject::GetWidth() { return HasHeader() ? int(RequireHeader().Width()) : 0; }

int TPNGObject::GetHeight() { return HasHeader() ? int(RequireHeader().Height()) : 0; }

void TPNGObject::GetRowMetrics(std::uint32_t pixelCount, std::int32_t& rowLength,
                               std::uint32_t& filterDistance) const {
    rowLength = 0;
    filterDistance = 0;
    if (!HasHeader())
        return;
    const TChunkIHDR& header = RequireHeader();
    // Widths are at most 65535 and depths at most 16, so every product fits in 64 bits and the
    // results in 32.
    const std::uint64_t n = pixelCount;
    const std::uint64_t depth = header.BitDepth();
    switch (header.ColorType()) {
    case kColorGray:
        rowLength = std::int32_t((n * depth + 7) / 8);
        filterDistance = depth == 16 ? 2 : 1;
        break;
    case kColorPalette:
        rowLength = std::int32_t((n * depth + 7) / 8);
        filterDistance = 1;
        break;
    case kColorRgb:
        rowLength = std::int32_t(n * depth * 3 / 8);
        filterDistance = std::uint32_t(depth * 3 / 8);
        break;
    case kColorGrayAlpha:
        rowLength = std::int32_t(n * depth * 2 / 8);
        filterDistance = std::uint32_t(depth / 4);
        break;
    case kColorRgbAlpha:
        rowLength = std::int32_t(n * depth * 4 / 8);
        filterDistance = std::uint32_t(depth / 2);
        break;
    default:
        break;
    }
}

// ---- palette ----------------------------------------------------------------------------------

HPALETTE TPNGObject::GetPalette() {
    TChunkIHDR& header = RequireHeader();
    return header.UsesColorTable() ? header.ImagePalette() : nullptr;
}

void TPNGObject::SetPalette(HPALETTE value) {
    if (!HasHeader())
        return;
    TChunkIHDR& header = RequireHeader();
    if (!header.UsesColorTable())
        return;
    header.CopyPaletteToColorTable(value);
    gdi::SelectPalette(header.FImageDC, value, gdi::FALSE);
    gdi::RealizePalette(header.FImageDC);
    if (header.FImagePalette != nullptr && header.FImagePalette != value)
        gdi::DeleteObject(header.FImagePalette);
    header.FImagePalette = value;
}

// ---- transparency -----------------------------------------------------------------------------

TPngTransparencyMode TPNGObject::TransparencyMode() const {
    const TChunkIHDR& header = RequireHeader();
    const TChunktRNS* transparency = ChunkList.FindByClass<TChunktRNS>();
    switch (header.ColorType()) {
    case kColorGray:
    case kColorRgb:
        return transparency != nullptr ? TPngTransparencyMode::ptmBit : TPngTransparencyMode::ptmNone;
    case kColorPalette:
        if (transparency == nullptr)
            return TPngTransparencyMode::ptmNone;
        return transparency->BitTransparency ? TPngTransparencyMode::ptmBit : TPngTransparencyMode::ptmPartial;
    case kColorGrayAlpha:
    case kColorRgbAlpha:
        return TPngTransparencyMode::ptmPartial;
    default:
        return TPngTransparencyMode::ptmNone;
    }
}

bool TPNGObject::GetTransparent() { return TransparencyMode() != TPngTransparencyMode::ptmNone; }

TColor TPNGObject::TransparentColor() const {
    const TChunktRNS* transparency = ChunkList.FindByClass<TChunktRNS>();
    return transparency != nullptr ? transparency->TransparentColorOf() : 0;
}

}  // namespace png
