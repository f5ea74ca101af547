// Saving a PNG image: the signature and every chunk in list order, the header with its stored
// bit depth and the object's interlace mode, and the image data encoded row by row (sequential
// or Adam7), filtered, deflated (whole by libdeflate when small enough, else streamed through
// zlib) and cut into image data chunks of IdatSizeLimit bytes.
#include "png/PngImage.h"
#include "png/PngWrite.h"
#include "png/RowFilters.h"
#include "png/Zlib.h"

#include "platform/gdi/Gdi.h"
#include "platform/gdi/Storage.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <new>
#include <optional>
#include <vector>

namespace png {
namespace {

constexpr std::uint8_t kSignature[8] = {137, 80, 78, 71, 13, 10, 26, 10};

// PNG 8.2: the seven Adam7 passes.
constexpr std::uint32_t kPassFirstRow[7] = {0, 0, 4, 0, 2, 0, 1};
constexpr std::uint32_t kPassFirstColumn[7] = {0, 4, 0, 2, 0, 1, 0};
constexpr std::uint32_t kPassRowStep[7] = {8, 8, 8, 4, 4, 2, 2};
constexpr std::uint32_t kPassColumnStep[7] = {8, 8, 4, 4, 2, 2, 1};

/// Hands every write to the target whole or raises EWriteError, so that no chunk, whoever
/// writes it, can leave a cut file behind a save that looks successful.
class TWholeWriteStream final : public TStream {
public:
    explicit TWholeWriteStream(TStream& target) : FTarget(target) {}
    std::int64_t Read(void* buffer, std::int64_t count) override { return FTarget.Read(buffer, count); }
    std::int64_t Write(const void* buffer, std::int64_t count) override {
        FTarget.WriteBuffer(buffer, count);
        return count;
    }
    std::int64_t Seek(std::int64_t offset, TSeekOrigin origin) override { return FTarget.Seek(offset, origin); }
    std::int64_t Size() override { return FTarget.Size(); }
    void SetSize(std::int64_t size) override { FTarget.SetSize(size); }

private:
    TStream& FTarget;
};

// ---- row writers: stored pixels to PNG samples ------------------------------------------------

/// Writes count pixels of one image row, taking column first + k × step for pixel k. color and
/// alpha are the row's starts in the colour and alpha planes; inverse is the inverse gamma table.
using TRowWriter = void (*)(const std::uint8_t* color, const std::uint8_t* alpha, std::uint32_t first,
                            std::uint32_t step, std::uint32_t count, std::uint8_t* out, const std::uint8_t* inverse);

template <unsigned Depth>
void WritePacked(const std::uint8_t* color, const std::uint8_t*, std::uint32_t first, std::uint32_t step,
                 std::uint32_t count, std::uint8_t* out, const std::uint8_t*) {
    const std::size_t bytes = (std::size_t(count) * Depth + 7) / 8;
    if (first == 0 && step == 1) {
        std::memcpy(out, color, bytes);
        return;
    }
    if constexpr (Depth == 8) {
        for (std::uint32_t k = 0, x = first; k < count; ++k, x += step)
            out[k] = color[x];
    } else {
        constexpr unsigned kMask = (1u << Depth) - 1;
        std::memset(out, 0, bytes);
        for (std::uint32_t k = 0, x = first; k < count; ++k, x += step) {
            const std::uint32_t from = x * Depth;
            const unsigned sample = (color[from >> 3] >> (8 - Depth - (from & 7))) & kMask;
            const std::uint32_t to = k * Depth;
            out[to >> 3] |= std::uint8_t(sample << (8 - Depth - (to & 7)));
        }
    }
}

void WriteGray16(const std::uint8_t* color, const std::uint8_t*, std::uint32_t first, std::uint32_t step,
                 std::uint32_t count, std::uint8_t* out, const std::uint8_t*) {
    for (std::uint32_t k = 0, x = first; k < count; ++k, x += step, out += 2) {
        out[0] = color[x];
        out[1] = 0;
    }
}

void WriteGrayAlpha8(const std::uint8_t* color, const std::uint8_t* alpha, std::uint32_t first, std::uint32_t step,
                     std::uint32_t count, std::uint8_t* out, const std::uint8_t*) {
    for (std::uint32_t k = 0, x = first; k < count; ++k, x += step, out += 2) {
        out[0] = color[x];
        out[1] = alpha[x];
    }
}

void WriteGrayAlpha16(const std::uint8_t* color, const std::uint8_t* alpha, std::uint32_t first, std::uint32_t step,
                      std::uint32_t count, std::uint8_t* out, const std::uint8_t*) {
    for (std::uint32_t k = 0, x = first; k < count; ++k, x += step, out += 4) {
        out[0] = color[x];
        out[1] = 0;
        out[2] = alpha[x];
        out[3] = 0;
    }
}

void WriteRgb8(const std::uint8_t* color, const std::uint8_t*, std::uint32_t first, std::uint32_t step,
               std::uint32_t count, std::uint8_t* out, const std::uint8_t* inverse) {
    const std::uint8_t* in = color + std::size_t(first) * 3;
    const std::size_t advance = std::size_t(step) * 3;
    for (std::uint32_t k = 0; k < count; ++k, in += advance, out += 3) {
        out[0] = inverse[in[2]];
        out[1] = inverse[in[1]];
        out[2] = inverse[in[0]];
    }
}

void WriteRgb16(const std::uint8_t* color, const std::uint8_t*, std::uint32_t first, std::uint32_t step,
                std::uint32_t count, std::uint8_t* out, const std::uint8_t* inverse) {
    const std::uint8_t* in = color + std::size_t(first) * 3;
    const std::size_t advance = std::size_t(step) * 3;
    for (std::uint32_t k = 0; k < count; ++k, in += advance, out += 6) {
        out[0] = inverse[in[2]];
        out[1] = 0;
        out[2] = inverse[in[1]];
        out[3] = 0;
        out[4] = inverse[in[0]];
        out[5] = 0;
    }
}

void WriteRgbAlpha8(const std::uint8_t* color, const std::uint8_t* alpha, std::uint32_t first, std::uint32_t step,
                    std::uint32_t count, std::uint8_t* out, const std::uint8_t* inverse) {
    const std::uint8_t* in = color + std::size_t(first) * 3;
    const std::uint8_t* a = alpha + first;
    const std::size_t advance = std::size_t(step) * 3;
    for (std::uint32_t k = 0; k < count; ++k, in += advance, a += step, out += 4) {
        out[0] = inverse[in[2]];
        out[1] = inverse[in[1]];
        out[2] = inverse[in[0]];
        out[3] = *a;
    }
}

void WriteRgbAlpha16(const std::uint8_t* color, const std::uint8_t* alpha, std::uint32_t first, std::uint32_t step,
                     std::uint32_t count, std::uint8_t* out, const std::uint8_t* inverse) {
    const std::uint8_t* in = color + std::size_t(first) * 3;
    const std::uint8_t* a = alpha + first;
    const std::size_t advance = std::size_t(step) * 3;
    for (std::uint32_t k = 0; k < count; ++k, in += advance, a += step, out += 8) {
        out[0] = inverse[in[2]];
        out[1] = 0;
        out[2] = inverse[in[1]];
        out[3] = 0;
        out[4] = inverse[in[0]];
        out[5] = 0;
        out[6] = *a;
        out[7] = 0;
    }
}

TRowWriter ChooseRowWriter(std::uint8_t colorType, std::uint8_t bitDepth) {
    switch (colorType) {
    case kColorGray:
    case kColorPalette:
        switch (bitDepth) {
        case 1: return WritePacked<1>;
        case 4: return WritePacked<4>;
        case 8: return WritePacked<8>;
        case 16: return colorType == kColorGray ? WriteGray16 : nullptr;
        default: return nullptr;
        }
    case kColorRgb:
        return bitDepth == 8 ? WriteRgb8 : bitDepth == 16 ? WriteRgb16 : nullptr;
    case kColorGrayAlpha:
        return bitDepth == 8 ? WriteGrayAlpha8 : bitDepth == 16 ? WriteGrayAlpha16 : nullptr;
    case kColorRgbAlpha:
        return bitDepth == 8 ? WriteRgbAlpha8 : bitDepth == 16 ? WriteRgbAlpha16 : nullptr;
    default:
        return nullptr;
    }
}

/// The bits per colour-plane pixel that the storage of a writable pair has.
unsigned StoredBitCount(std::uint8_t colorType, std::uint8_t bitDepth) {
    if (colorType == kColorRgb || colorType == kColorRgbAlpha)
        return 24;
    return bitDepth == 16 ? 8 : bitDepth;
}

/// The bit depth the header is written with: 2-bit images are stored, and so written, at 4 bits.
std::uint8_t WrittenBitDepth(const TChunkIHDR& header) { return header.BitDepth() == 2 ? 4 : header.BitDepth(); }

/// Refuses, before a byte of image data is written, what would give an unreadable file or read
/// outside the image's storage: a pair without a row writer, an interlace mode the format does
/// not know, or a header whose values no longer describe the storage it owns.
void CheckWritable(const TPNGObject& owner, const TChunkIHDR& header) {
    const std::uint8_t depth = WrittenBitDepth(header);
    if (!HasRowWriter(header.ColorType(), depth))
        TPNGObject::RaisePngError<EPngInvalidIHDR>(res::SPngInvalidIHDR);
    if (owner.InterlaceMode > 1)
        TPNGObject::RaisePngError<EPNGUnknownInterlace>(res::SPngUnknownInterlace);
    const gdi::BITMAPINFOHEADER& info = header.BitmapInfo().bmiHeader;
    const bool hasAlpha = header.ColorType() == kColorGrayAlpha || header.ColorType() == kColorRgbAlpha;
    if (header.ColorPlane() == nullptr || header.Width() == 0 || header.Height() == 0 ||
        std::uint32_t(info.biWidth) != header.Width() || std::uint32_t(info.biHeight) != header.Height() ||
        info.biBitCount != StoredBitCount(header.ColorType(), depth) || (hasAlpha && header.AlphaPlane() == nullptr))
        TPNGObject::RaisePngError<EPngInvalidIHDR>(res::SPngInvalidIHDR);
}

// ---- filters ----------------------------------------------------------------------------------

/// The row filtered each allowed way; each output keeps its filter type in byte 0 and the row
/// from byte 1, so that one deflate call takes a whole filtered row.
class TRowFilters {
public:
    TRowFilters(TPngFilters filters, std::size_t capacity) : FFilters(TPngFilters(filters & 0x1F)) {
        for (int t = pfSub; t <= pfPaeth; ++t) {
            if (FFilters & (1u << t)) {
                FBuffers[t].assign(capacity + 1, 0);
                FBuffers[t][0] = std::uint8_t(t);
            }
        }
    }

    /// Filters row c (length bytes, filter type slot at c[0]) against the previous row b and
    /// returns the output chosen, its byte 0 holding the type.
    std::uint8_t* Filter(std::uint8_t* c, const std::uint8_t* b, std::size_t length, std::size_t s) {
        const std::uint8_t* cur = c + 1;
        const std::uint8_t* above = b + 1;
        const std::size_t head = std::min(s, length);
        if (!FBuffers[pfSub].empty()) {
            std::uint8_t* out = FBuffers[pfSub].data() + 1;
            std::memcpy(out, cur, head);
            for (std::size_t i = s; i < length; ++i)
                out[i] = std::uint8_t(cur[i] - cur[i - s]);
        }
        if (!FBuffers[pfUp].empty()) {
            std::uint8_t* out = FBuffers[pfUp].data() + 1;
            for (std::size_t i = 0; i < length; ++i)
                out[i] = std::uint8_t(cur[i] - above[i]);
        }
        if (!FBuffers[pfAverage].empty()) {
            std::uint8_t* out = FBuffers[pfAverage].data() + 1;
            for (std::size_t i = 0; i < head; ++i)
                out[i] = std::uint8_t(cur[i] - (above[i] >> 1));
            for (std::size_t i = s; i < length; ++i)
                out[i] = std::uint8_t(cur[i] - ((unsigned(cur[i - s]) + above[i]) >> 1));
        }
        if (!FBuffers[pfPaeth].empty()) {
            std::uint8_t* out = FBuffers[pfPaeth].data() + 1;
            for (std::size_t i = 0; i < head; ++i)
                out[i] = std::uint8_t(cur[i] - above[i]);
            for (std::size_t i = s; i < length; ++i)
                out[i] = std::uint8_t(cur[i] - PaethPredict(cur[i - s], above[i], above[i - s]));
        }
        const std::uint8_t* outputs[5] = {cur,
                                          FBuffers[1].empty() ? nullptr : FBuffers[1].data() + 1,
                                          FBuffers[2].empty() ? nullptr : FBuffers[2].data() + 1,
                                          FBuffers[3].empty() ? nullptr : FBuffers[3].data() + 1,
                                          FBuffers[4].empty() ? nullptr : FBuffers[4].data() + 1};
        const TPngFilter chosen = ChooseFilter(FFilters, outputs, length);
        if (chosen == pfNone || FBuffers[chosen].empty()) {
            c[0] = 0;
            return c;
        }
        return FBuffers[chosen].data();
    }

private:
    TPngFilters FFilters;
    std::vector<std::uint8_t> FBuffers[5];
};

// ---- deflating into image data chunks ---------------------------------------------------------

/// Image data of at most this many filtered bytes is gathered whole and deflated by libdeflate in
/// one call, in about half the time zlib's stream takes at the same level (and a percent or so
/// smaller); larger images, and every level libdeflate does not share with zlib, stream through
/// zlib row by row.
constexpr std::uint64_t kWholeDeflateLimit = std::uint64_t(32) << 20;

class TIdatWriter {
public:
    TIdatWriter(TStream& target, int level, std::size_t limit, std::uint64_t rawBytes)
        : FTarget(target), FLevel(level), FLimit(limit), FRawBytes(rawBytes) {
        if (!GatherWhole())
            StartStream();
    }
    TIdatWriter(const TIdatWriter&) = delete;
    TIdatWriter& operator=(const TIdatWriter&) = delete;

    void Feed(const std::uint8_t* bytes, std::size_t count) {
        if (!FDeflater && count <= FWhole.size() - FGathered) {
            std::memcpy(FWhole.data() + FGathered, bytes, count);
            FGathered += count;
            return;
        }
        // More rows than the image data's size foretold would not fit the gathered buffer.
        if (!FDeflater)
            StreamGathered();
        FDeflater->SetInput(bytes, count);
        while (FDeflater->InputLeft() > 0) {
            FDeflater->Deflate(Z_NO_FLUSH);
            if (FDeflater->OutputLeft() == 0)
                FlushFull();
        }
    }

    void Finish() {
        if (!FDeflater) {
            // Left uninitialised: only the pages the stream fills are ever touched.
            const std::unique_ptr<std::uint8_t[]> compressed(new (std::nothrow)
                                                                 std::uint8_t[DeflateWholeBound(FGathered)]);
            const std::size_t length =
                compressed != nullptr ? DeflateWhole(FWhole.data(), FGathered, FLevel, compressed.get()) : 0;
            if (length != 0) {
                // The same cut as the stream's: every chunk but the last exactly limit bytes.
                for (std::size_t at = 0; at < length; at += FLimit)
                    WriteIdat(compressed.get() + at, std::min(FLimit, length - at));
                return;
            }
            // libdeflate could not be had: zlib deflates what was gathered, and reports its own
            // failures.
            StreamGathered();
        }
        FDeflater->SetInput(nullptr, 0);
        while (!FDeflater->Deflate(Z_FINISH))
            FlushFull();
        const std::size_t used = FBuffer.size() - FDeflater->OutputLeft();
        if (used > 0)
            WriteIdat(FBuffer.data(), used);
    }

private:
    /// Readies the whole-image buffer when the level and the size allow it. The storage gate has
    /// the last word; its refusal is no failure here (the stream needs little memory), so the
    /// last error stays as it was.
    bool GatherWhole() {
        if (FLevel < 0 || FLevel > 9 || FRawBytes == 0 || FRawBytes > kWholeDeflateLimit)
            return false;
        const std::size_t raw = std::size_t(FRawBytes);
        const gdi::DWORD lastError = gdi::GetLastError();
        if (!gdi::StorageAllowed({raw, DeflateWholeBound(raw)}) || !gdi::ResizeStorage(FWhole, raw)) {
            gdi::SetLastError(lastError);
            return false;
        }
        return true;
    }

    /// Hands what was gathered to a zlib stream, which takes everything after it too.
    void StreamGathered() {
        const std::vector<std::uint8_t> gathered = std::move(FWhole);
        FWhole.clear();
        StartStream();
        for (std::size_t at = 0; at < FGathered; at += kMaxZlibSlice)
            Feed(gathered.data() + at, std::min(kMaxZlibSlice, FGathered - at));
    }

    void StartStream() {
        FDeflater.emplace(FLevel);
        FDeflater->RequireStarted();
        // Every chunk but the last is exactly limit bytes. The whole stream never exceeds zlib's
        // bound for the input, so a smaller buffer of that bound still gives the same cut and
        // keeps a huge limit from allocating memory it never fills.
        const std::uint64_t bound = FDeflater->Bound(FRawBytes);
        FBuffer.resize(std::size_t(std::min<std::uint64_t>(FLimit, std::max<std::uint64_t>(bound, 1))));
        FDeflater->SetOutput(FBuffer.data(), FBuffer.size());
    }

    void FlushFull() {
        WriteIdat(FBuffer.data(), FBuffer.size() - FDeflater->OutputLeft());
        FDeflater->SetOutput(FBuffer.data(), FBuffer.size());
    }

    void WriteIdat(const std::uint8_t* data, std::size_t count) {
        if (count == 0)
            return;
        const std::uint8_t head[8] = {std::uint8_t(count >> 24), std::uint8_t(count >> 16), std::uint8_t(count >> 8),
                                      std::uint8_t(count), 'I', 'D', 'A', 'T'};
        // zlib's crc32 is the PNG check value with the inversions folded in, and much faster
        // than a byte-wise table over whole chunks.
        uLong crc = crc32(0, head + 4, 4);
        crc = crc32(crc, data, uInt(count));
        const std::uint8_t tail[4] = {std::uint8_t(crc >> 24), std::uint8_t(crc >> 16), std::uint8_t(crc >> 8),
                                      std::uint8_t(crc)};
        FTarget.WriteBuffer(head, 8);
        FTarget.WriteBuffer(data, std::int64_t(count));
        FTarget.WriteBuffer(tail, 4);
    }

    TStream& FTarget;
    int FLevel;
    std::size_t FLimit;
    std::uint64_t FRawBytes;
    std::optional<TDeflater> FDeflater;
    std::vector<std::uint8_t> FBuffer;
    std::vector<std::uint8_t> FWhole;
    std::size_t FGathered = 0;
};

std::uint32_t PassWidth(std::uint32_t width, int pass) {
    return (width + kPassColumnStep[pass] - kPassFirstColumn[pass] - 1) / kPassColumnStep[pass];
}

std::uint32_t PassRows(std::uint32_t height, int pass) {
    return height > kPassFirstRow[pass] ? (height - kPassFirstRow[pass] + kPassRowStep[pass] - 1) / kPassRowStep[pass]
                                        : 0;
}

}  // namespace

// ---- shared helpers ---------------------------------------------------------------------------

TPngFilter ChooseFilter(TPngFilters filters, const std::uint8_t* const outputs[5], std::size_t length) {
    // Only the five defined filter types take part; other bits of the set mean nothing.
    const unsigned set = filters & 0x1Fu;
    if (set == 0 || set == 1u)
        return pfNone;
    int best = pfNone;
    std::size_t longest = 0;
    for (int t = pfNone; t <= pfPaeth; ++t) {
        if ((set & (1u << t)) == 0)
            continue;
        if (set == (1u << t))
            return TPngFilter(t);
        const std::uint8_t* out = outputs[t];
        std::size_t count = 0;
        for (std::size_t j = 2; j < length; ++j)
            count += (out[j] == out[j - 1] || out[j] == out[j - 2]) ? 1 : 0;
        if (count > longest) {
            best = t;
            longest = count;
        }
    }
    return TPngFilter(best);
}

bool HasRowWriter(std::uint8_t colorType, std::uint8_t bitDepth) { return ChooseRowWriter(colorType, bitDepth) != nullptr; }

// ---- saving -----------------------------------------------------------------------------------

void TPNGObject::SaveToStream(TStream& stream) {
    // What cannot be written is refused before the first byte, so no half file is left behind.
    if (HasHeader() && ChunkList.FindByClass<TChunkIDAT>() != nullptr)
        CheckWritable(*this, RequireHeader());
    TWholeWriteStream out(stream);
    out.Write(kSignature, sizeof(kSignature));
    for (int i = 0; i < ChunkList.Count(); ++i)
        ChunkList.Chunk(i)->WriteChunk(out);
}

bool TChunkIHDR::WriteChunk(TStream& stream) {
    if (FBitDepth == 2)
        FBitDepth = 4;
    const std::uint8_t data[13] = {std::uint8_t(FWidth >> 24),  std::uint8_t(FWidth >> 16),  std::uint8_t(FWidth >> 8),
                                   std::uint8_t(FWidth),        std::uint8_t(FHeight >> 24), std::uint8_t(FHeight >> 16),
                                   std::uint8_t(FHeight >> 8),  std::uint8_t(FHeight),       FBitDepth,
                                   FColorType,                  FCompressionMethod,          FFilterMethod,
                                   Owner().InterlaceMode};
    WriteChunkFromParts(*this, stream, {{data, sizeof(data)}});
    return true;
}

bool TChunkIDAT::WriteChunk(TStream& stream) {
    TPNGObject& owner = Owner();
    TChunkIHDR& header = HeaderChunk();
    CheckWritable(owner, header);
    // The rows follow the header as it is written: 2-bit images go out at their stored 4 bits.
    header.SetBitDepth(WrittenBitDepth(header));
    const std::uint32_t width = header.Width();
    const std::uint32_t height = header.Height();
    const bool interlaced = owner.InterlaceMode == 1;
    const TRowWriter writeRow = ChooseRowWriter(header.ColorType(), header.BitDepth());

    std::int32_t fullLength = 0;
    std::uint32_t step = 0;
    owner.GetRowMetrics(width, fullLength, step);
    const std::size_t capacity = std::size_t(fullLength);

    std::uint64_t rawBytes = 0;
    if (interlaced) {
        for (int pass = 0; pass < 7; ++pass) {
            std::int32_t length = 0;
            std::uint32_t distance = 0;
            owner.GetRowMetrics(PassWidth(width, pass), length, distance);
            if (length > 0)
                rawBytes += std::uint64_t(PassRows(height, pass)) * (std::uint64_t(length) + 1);
        }
    } else {
        rawBytes = std::uint64_t(height) * (capacity + 1);
    }

    // One spare byte in front of each row holds its filter type.
    std::vector<std::uint8_t> rows[2] = {std::vector<std::uint8_t>(capacity + 1, 0),
                                         std::vector<std::uint8_t>(capacity + 1, 0)};
    int current = 0;
    TRowFilters filters(owner.EncodeFilters, capacity);
    TIdatWriter writer(stream, owner.DeflateLevel, std::size_t(owner.IdatSizeLimit()), rawBytes);
    const std::uint8_t* inverse = owner.InverseGammaLookup.data();
    const std::uint8_t* alphaPlane = header.AlphaPlane();

    auto encodeRow = [&](std::uint32_t y, std::uint32_t first, std::uint32_t columnStep, std::uint32_t count,
                         std::size_t length, std::size_t distance) {
        std::uint8_t* row = rows[current].data();
        writeRow(header.ColorRow(y), alphaPlane != nullptr ? alphaPlane + std::size_t(y) * width : nullptr, first,
                 columnStep, count, row + 1, inverse);
        const std::uint8_t* chosen = filters.Filter(row, rows[1 - current].data(), length, distance);
        writer.Feed(chosen, length + 1);
        current = 1 - current;
    };

    if (interlaced) {
        for (int pass = 0; pass < 7; ++pass) {
            const std::uint32_t count = PassWidth(width, pass);
            std::int32_t length = 0;
            std::uint32_t distance = 0;
            owner.GetRowMetrics(count, length, distance);
            std::fill(rows[1 - current].begin(), rows[1 - current].begin() + std::ptrdiff_t(length) + 1, 0);
            if (length == 0)
                continue;
            for (std::uint32_t y = kPassFirstRow[pass]; y < height; y += kPassRowStep[pass])
                encodeRow(y, kPassFirstColumn[pass], kPassColumnStep[pass], count, std::size_t(length), distance);
        }
    } else {
        for (std::uint32_t y = 0; y < height; ++y)
            encodeRow(y, 0, 1, width, capacity, step);
    }
    writer.Finish();
    return true;
}

}  // namespace png
