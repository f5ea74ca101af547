// Reading the image data: zlib's inflate stream over consecutive image data chunks with their
// check values, the row filters, the sequential and Adam7 row loops, and the conversion into
// the image planes.
#include "png/ImageData.h"
#include "png/PngImage.h"
#include "png/RowConvert.h"
#include "png/RowFilters.h"
#include "png/Zlib.h"

#include "platform/gdi/Storage.h"

#include <algorithm>
#include <atomic>
#include <cstring>
#include <vector>

namespace png {

PNG_CHUNK_CLASS(TChunkIDAT, TChunk)

namespace {

constexpr std::size_t kInputBufferSize = 65535;

// PNG 8.2: the seven Adam7 passes.
constexpr std::uint32_t kPassFirstRow[7] = {0, 0, 4, 0, 2, 0, 1};
constexpr std::uint32_t kPassFirstColumn[7] = {0, 4, 0, 2, 0, 1, 0};
constexpr std::uint32_t kPassRowStep[7] = {8, 8, 8, 4, 4, 2, 2};
constexpr std::uint32_t kPassColumnStep[7] = {8, 8, 4, 4, 2, 2, 1};

std::uint32_t BigEndian32(const std::uint8_t* bytes) {
    return (std::uint32_t(bytes[0]) << 24) | (std::uint32_t(bytes[1]) << 16) | (std::uint32_t(bytes[2]) << 8) |
           std::uint32_t(bytes[3]);
}

[[noreturn]] void InvalidCrc() { TPNGObject::RaisePngError<EPngInvalidCRC>(res::SPngInvalidCRC); }

/// One reading of the image data. The check value is kept the way zlib's crc32 keeps it (the
/// complement of the running value of CrcUpdate), which gives the same result.
class TIdatReader {
public:
    TIdatReader(TStream& stream, std::int32_t length) : FStream(stream), FInput(kInputBufferSize) {
        if (length < 0)
            InvalidCrc();
        FPosition = stream.Position();
        FChunkEnd = FPosition + length;
        FCrc = crc32(0, reinterpret_cast<const Bytef*>("IDAT"), 4);
    }
    TIdatReader(const TIdatReader&) = delete;
    TIdatReader& operator=(const TIdatReader&) = delete;

    /// Fills dest with count inflated bytes, moving on through the following image data chunks;
    /// returns how many it produced (fewer when the stream or the compressed data ends).
    std::size_t InflateRowData(std::uint8_t* dest, std::size_t count) {
        FInflater.SetOutput(dest, count);
        while (FInflater.OutputLeft() > 0) {
            if (FFinished)
                break;
            if (FInflater.InputLeft() == 0 && FPosition == FChunkEnd)
                NextChunk();
            if (FInflater.InputLeft() == 0) {
                const auto wanted = std::size_t(std::min<std::int64_t>(std::int64_t(kInputBufferSize), FChunkEnd - FPosition));
                const std::int64_t got = wanted == 0 ? 0 : FStream.Read(FInput.data(), std::int64_t(wanted));
                if (got <= 0) {
                    // A chunk without data moves on to the next one; a stream that ends stops.
                    if (wanted == 0)
                        continue;
                    break;
                }
                FPosition += got;
                FCrc = crc32(FCrc, FInput.data(), uInt(got));
                FInflater.SetInput(FInput.data(), std::size_t(got));
            }
            const std::size_t inputBefore = FInflater.InputLeft();
            const std::size_t outputBefore = FInflater.OutputLeft();
            // The compressed data ended: nothing more will come, whatever rows are missing.
            if (FInflater.Inflate())
                FFinished = true;
            // No progress with input and room at hand would repeat for ever; end decoding.
            if (FInflater.InputLeft() == inputBefore && FInflater.OutputLeft() == outputBefore)
                FFinished = true;
        }
        return count - FInflater.OutputLeft();
    }

    /// Reads the check value of the chunk in which decoding ended, after taking the rest of
    /// that chunk's data into the running value.
    void CheckFinalCrc() {
        while (FPosition < FChunkEnd) {
            const auto wanted = std::size_t(std::min<std::int64_t>(std::int64_t(kInputBufferSize), FChunkEnd - FPosition));
            const std::int64_t got = FStream.Read(FInput.data(), std::int64_t(wanted));
            if (got <= 0)
                break;
            FPosition += got;
            FCrc = crc32(FCrc, FInput.data(), uInt(got));
        }
        std::uint8_t stored[4] = {};
        if (FStream.Read(stored, 4) != 4 || BigEndian32(stored) != FCrc)
            InvalidCrc();
    }

private:
    void NextChunk() {
        std::uint8_t stored[4] = {};
        if (FStream.Read(stored, 4) != 4 || BigEndian32(stored) != FCrc)
            InvalidCrc();
        std::uint8_t header[8] = {};
        const std::int64_t got = FStream.Read(header, 8);
        FPosition += 4 + std::max<std::int64_t>(got, 0);
        if (got != 8 || std::memcmp(header + 4, "IDAT", 4) != 0)
            TPNGObject::RaisePngError<EPNGMissingMultipleIDAT>(res::SPngMissingMultipleIDAT);
        const auto length = std::int32_t(BigEndian32(header));
        // A length with the top bit set cannot be honoured without moving backwards.
        if (length < 0)
            InvalidCrc();
        FCrc = crc32(0, header + 4, 4);
        FChunkEnd = FPosition + length;
    }

    TStream& FStream;
    std::vector<std::uint8_t> FInput;
    TInflater FInflater;
    std::int64_t FPosition = 0;
    std::int64_t FChunkEnd = 0;
    uLong FCrc = 0;
    bool FFinished = false;
};

/// Rows inflated one at a time into two alternating buffers.
class TStreamedRows {
public:
    TStreamedRows(TIdatReader& reader, std::size_t rowLength) : FReader(reader) {
        FBuffers[0].assign(rowLength + 1, 0);
        FBuffers[1].assign(rowLength + 1, 0);
    }
    /// The next row of length bytes after its filter byte; nullptr when no byte came.
    std::uint8_t* Next(std::size_t length) {
        std::uint8_t* row = FBuffers[FCurrent].data();
        return FReader.InflateRowData(row, length + 1) == 0 ? nullptr : row;
    }
    const std::uint8_t* Previous() const { return FBuffers[1 - FCurrent].data(); }
    void Advance() { FCurrent = 1 - FCurrent; }
    /// Every pass begins with an all-zero previous row.
    void StartPass(std::size_t length) {
        std::fill(FBuffers[1 - FCurrent].begin(), FBuffers[1 - FCurrent].begin() + std::ptrdiff_t(length) + 1, 0);
    }

private:
    TIdatReader& FReader;
    std::vector<std::uint8_t> FBuffers[2];
    // The first row goes into buffer 1, with the zeroed buffer 0 as its previous row.
    int FCurrent = 1;
};

/// Rows of image data inflated as a whole, reconstructed where they stand.
class TInflatedRows {
public:
    TInflatedRows(std::uint8_t* data, std::size_t rowLength) : FData(data), FZero(rowLength + 1, 0) {}
    std::uint8_t* Next(std::size_t length) {
        FLength = length;
        return FData + FOffset;
    }
    const std::uint8_t* Previous() const { return FPassStart ? FZero.data() : FData + FOffset - (FLength + 1); }
    void Advance() {
        FOffset += FLength + 1;
        FPassStart = false;
    }
    void StartPass(std::size_t) { FPassStart = true; }

private:
    std::uint8_t* FData;
    std::vector<std::uint8_t> FZero;
    std::size_t FOffset = 0;
    std::size_t FLength = 0;
    bool FPassStart = true;
};

/// The row loops: each row's filter is undone and the row converted into the planes.
class TImageDecoder {
public:
    TImageDecoder(TPNGObject& owner, TChunkIHDR& header) : FOwner(owner), FHeader(header) {
        owner.GetRowMetrics(header.Width(), FRowLength, FDistance);
        FConvert = ChooseRowConverter(header.ColorType(), header.BitDepth());
    }

    bool CanDecode() const { return FConvert != nullptr && FRowLength > 0 && FHeader.ColorPlane() != nullptr; }
    std::size_t RowLength() const { return std::size_t(FRowLength); }
    bool Interlaced() const { return FOwner.InterlaceMode == 1; }

    /// The number of bytes the whole image data inflates to (filter bytes included).
    std::size_t InflatedSize() const {
        if (!Interlaced())
            return (RowLength() + 1) * FHeader.Height();
        std::size_t total = 0;
        for (int pass = 0; pass < 7; ++pass) {
            const std::size_t length = PassRowLength(pass);
            if (length == 0 || FHeader.Height() <= kPassFirstRow[pass])
                continue;
            const std::size_t rows = (FHeader.Height() - kPassFirstRow[pass] + kPassRowStep[pass] - 1) / kPassRowStep[pass];
            total += (length + 1) * rows;
        }
        return total;
    }

    template <typename TRows>
    void Decode(TRows& rows) {
        if (FOwner.InterlaceMode == 0)
            DecodeSequentialRows(rows);
        else if (FOwner.InterlaceMode == 1)
            DecodeAdam7Passes(rows);
    }

private:
    std::uint32_t PassWidth(int pass) const {
        const std::uint32_t first = kPassFirstColumn[pass];
        const std::uint32_t step = kPassColumnStep[pass];
        return FHeader.Width() > first ? (FHeader.Width() - first + step - 1) / step : 0;
    }
    std::size_t PassRowLength(int pass) const {
        std::int32_t rowLength = 0;
        std::uint32_t distance = 0;
        FOwner.GetRowMetrics(PassWidth(pass), rowLength, distance);
        return std::size_t(rowLength);
    }

    void ConvertRow(const std::uint8_t* row, std::uint32_t y, std::uint32_t count, std::uint32_t first,
                    std::uint32_t step) {
        const std::size_t offset = std::size_t(FHeader.Height() - 1 - y) * std::size_t(FHeader.RowStride());
        std::uint8_t* extra = FHeader.ExtraPlane() != nullptr ? FHeader.ExtraPlane() + offset : nullptr;
        std::uint8_t* alpha = FHeader.AlphaPlane();
        FConvert(row + 1, count, first, step, FHeader.ColorPlane() + offset,
                 alpha != nullptr ? alpha + std::size_t(y) * FHeader.Width() : nullptr, extra,
                 FOwner.GammaLookup.data());
    }

    template <typename TRows>
    void DecodeSequentialRows(TRows& rows) {
        const std::size_t length = RowLength();
        for (std::uint32_t y = 0; y < FHeader.Height(); ++y) {
            std::uint8_t* row = rows.Next(length);
            if (row == nullptr)
                return;
            ReconstructRow(row, rows.Previous(), length, FDistance);
            ConvertRow(row, y, FHeader.Width(), 0, 1);
            rows.Advance();
        }
    }

    template <typename TRows>
    void DecodeAdam7Passes(TRows& rows) {
        for (int pass = 0; pass < 7; ++pass) {
            std::int32_t rowLength = 0;
            std::uint32_t distance = 0;
            FOwner.GetRowMetrics(PassWidth(pass), rowLength, distance);
            const std::size_t length = std::size_t(rowLength);
            rows.StartPass(length);
            if (length == 0)
                continue;
            for (std::uint32_t y = kPassFirstRow[pass]; y < FHeader.Height(); y += kPassRowStep[pass]) {
                std::uint8_t* row = rows.Next(length);
                if (row == nullptr)
                    break;
                ReconstructRow(row, rows.Previous(), length, distance);
                ConvertRow(row, y, PassWidth(pass), kPassFirstColumn[pass], kPassColumnStep[pass]);
                rows.Advance();
            }
        }
    }

    TPNGObject& FOwner;
    TChunkIHDR& FHeader;
    std::int32_t FRowLength = 0;
    std::uint32_t FDistance = 0;
    TRowConverter FConvert = nullptr;
};

// The whole image data inflated at once is only worth its memory up to this size; larger images
// are inflated row by row.
std::atomic<std::size_t> gWholeInflateLimit{kDefaultWholeInflateLimit};

/// Decodes the image from the consecutive image data chunks at once when all of them are
/// complete, their check values right and their compressed data inflates with libdeflate to
/// exactly the image's rows. Every other case, failures included, is left to the row-by-row
/// reading, which alone decides errors and partial images; so this changes nothing but speed.
/// On false the stream stands where it stood.
bool DecodeWhole(TStream& stream, std::int32_t length, TImageDecoder& decoder) {
    const std::size_t inflatedSize = decoder.InflatedSize();
    if (length < 0 || inflatedSize == 0 || inflatedSize > gWholeInflateLimit.load())
        return false;
    const std::int64_t start = stream.Position();
    std::int64_t remaining = stream.Size() - start;
    std::vector<std::uint8_t> compressed;
    std::int64_t chunkLength = length;
    for (;;) {
        // The chunk's data and check value, then the next chunk's length and type.
        if (chunkLength > remaining - 4 || compressed.size() + std::size_t(chunkLength) > inflatedSize + (inflatedSize >> 2) + 4096) {
            stream.SetPosition(start);
            return false;
        }
        const std::size_t at = compressed.size();
        if (!gdi::ResizeStorage(compressed, at + std::size_t(chunkLength))) {
            stream.SetPosition(start);
            return false;
        }
        std::uint8_t trailer[12] = {};
        if (stream.Read(compressed.data() + at, chunkLength) != chunkLength || stream.Read(trailer, 4) != 4) {
            stream.SetPosition(start);
            return false;
        }
        remaining -= chunkLength + 4;
        uLong crc = crc32(0, reinterpret_cast<const Bytef*>("IDAT"), 4);
        crc = crc32(crc, compressed.data() + at, uInt(chunkLength));
        if (BigEndian32(trailer) != crc) {
            stream.SetPosition(start);
            return false;
        }
        if (remaining < 8)
            break;
        const std::int64_t got = stream.Read(trailer + 4, 8);
        if (got != 8) {
            stream.Seek(-std::max<std::int64_t>(got, 0), TSeekOrigin::Current);
            break;
        }
        if (std::memcmp(trailer + 8, "IDAT", 4) != 0) {
            stream.Seek(-8, TSeekOrigin::Current);
            break;
        }
        remaining -= 8;
        chunkLength = std::int32_t(BigEndian32(trailer + 4));
        if (chunkLength < 0) {
            stream.SetPosition(start);
            return false;
        }
    }

    std::vector<std::uint8_t> inflated;
    if (!gdi::ResizeStorage(inflated, inflatedSize) ||
        !InflateWhole(compressed.data(), compressed.size(), inflated.data(), inflated.size())) {
        stream.SetPosition(start);
        return false;
    }
    TInflatedRows rows(inflated.data(), decoder.RowLength());
    decoder.Decode(rows);
    return true;
}

/// Grey images get their levels anew from the gamma table as it stands when the data begins.
void ApplyGrayPalette(TPNGObject& owner, TChunkIHDR& header) {
    if (header.ColorType() != kColorGray && header.ColorType() != kColorGrayAlpha)
        return;
    const int count = 1 << header.BitmapInfo().bmiHeader.biBitCount;
    std::vector<std::uint8_t> storage(sizeof(gdi::LOGPALETTE) + sizeof(gdi::PALETTEENTRY) * std::size_t(count));
    auto* palette = reinterpret_cast<gdi::LOGPALETTE*>(storage.data());
    palette->palVersion = 0x300;
    palette->palNumEntries = gdi::WORD(count);
    for (int i = 0; i < count; ++i) {
        const std::uint8_t level = owner.GammaLookup[std::size_t(gdi::MulDiv(i, 255, count - 1))];
        palette->palPalEntry[i] = gdi::PALETTEENTRY{level, level, level, 0};
    }
    HPALETTE handle = gdi::CreatePalette(palette);
    if (handle == nullptr)
        return;
    owner.SetPalette(handle);
    if (header.ImagePalette() != handle)
        gdi::DeleteObject(handle);
}

}  // namespace

std::size_t WholeInflateLimit() { return gWholeInflateLimit.load(); }

void SetWholeInflateLimit(std::size_t bytes) { gWholeInflateLimit.store(bytes); }

bool TChunkIDAT::ReadChunk(TStream& stream, const TChunkType&, std::int32_t length) {
    TChunkIHDR& header = HeaderChunk();
    if (header.UsesColorTable())
        ApplyGrayPalette(Owner(), header);
    TImageDecoder decoder(Owner(), header);
    if (decoder.CanDecode() && DecodeWhole(stream, length, decoder))
        return true;
    TIdatReader reader(stream, length);
    if (decoder.CanDecode()) {
        TStreamedRows rows(reader, decoder.RowLength());
        decoder.Decode(rows);
    }
    reader.CheckFinalCrc();
    return true;
}

}  // namespace png
