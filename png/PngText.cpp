// The text, compressed text, time and physical-size chunks, and the bounds of inflating
// compressed text. Their fields are the truth: every save rebuilds the data from them, but for
// a compressed text that reading left compressed.
#include "png/PngImage.h"
#include "png/PngWrite.h"
#include "png/Zlib.h"

#include <algorithm>
#include <cstring>
#include <limits>
#include <vector>

namespace png {

PNG_CHUNK_CLASS(TChunktEXt, TChunk)
PNG_CHUNK_CLASS(TChunkzTXt, TChunktEXt)
PNG_CHUNK_CLASS(TChunktIME, TChunk)
PNG_CHUNK_CLASS(TChunkpHYs, TChunk)

namespace {

template <typename T>
const T& SameClass(const TChunk& source) {
    const auto* chunk = dynamic_cast<const T*>(&source);
    if (chunk == nullptr)
        TPNGObject::RaisePngError<EPngError>(res::SPngChunksNotCompatible);
    return *chunk;
}

std::uint32_t BigEndian32(const std::uint8_t* bytes) {
    return (std::uint32_t(bytes[0]) << 24) | (std::uint32_t(bytes[1]) << 16) | (std::uint32_t(bytes[2]) << 8) |
           std::uint32_t(bytes[3]);
}

void PutBigEndian32(std::uint8_t* bytes, std::uint32_t value) {
    bytes[0] = std::uint8_t(value >> 24);
    bytes[1] = std::uint8_t(value >> 16);
    bytes[2] = std::uint8_t(value >> 8);
    bytes[3] = std::uint8_t(value);
}

/// The length of the keyword at the front of the data: up to the first zero byte, or all of it.
std::size_t KeywordLength(const TChunk& chunk) {
    const auto* data = chunk.Data();
    const auto length = std::size_t(chunk.DataSize());
    const void* zero = std::memchr(data, 0, length);
    return zero != nullptr ? std::size_t(static_cast<const std::uint8_t*>(zero) - data) : length;
}

}  // namespace

// ---- shared writing helpers -------------------------------------------------------------------

std::optional<std::int32_t> ChunkDataLength(std::initializer_list<std::size_t> parts) {
    std::size_t total = 0;
    for (const std::size_t part : parts) {
        if (part > kMaxChunkDataLength - total)
            return std::nullopt;
        total += part;
    }
    return std::int32_t(total);
}

void WriteChunkFromParts(TChunk& chunk, TStream& stream,
                         std::initializer_list<std::pair<const void*, std::size_t>> parts) {
    std::int32_t total = 0;
    for (const auto& part : parts) {
        // A chunk longer than the format allows cannot be stored; a cut one would be a lie.
        const std::optional<std::int32_t> length = ChunkDataLength({std::size_t(total), part.second});
        if (!length)
            throw EWriteError(base::LoadStr(res::SWriteError));
        total = *length;
    }
    chunk.SetDataSize(total);
    std::uint8_t* out = chunk.Data();
    for (const auto& part : parts) {
        if (part.second != 0)
            std::memcpy(out, part.first, part.second);
        out += part.second;
    }
    chunk.TChunk::WriteChunk(stream);
}

// ---- tEXt -------------------------------------------------------------------------------------

bool TChunktEXt::ReadChunk(TStream& stream, const TChunkType& type, std::int32_t length) {
    const bool result = TChunk::ReadChunk(stream, type, length);
    if (result && DataSize() >= 3) {
        const std::size_t keyword = KeywordLength(*this);
        const auto* data = reinterpret_cast<const char*>(Data());
        Keyword.assign(data, keyword);
        if (keyword < std::size_t(DataSize()))
            Text.assign(data + keyword + 1, std::size_t(DataSize()) - keyword - 1);
        else
            Text.clear();
    }
    return result;
}

bool TChunktEXt::WriteChunk(TStream& stream) {
    const std::uint8_t zero = 0;
    WriteChunkFromParts(*this, stream, {{Keyword.data(), Keyword.size()}, {&zero, 1}, {Text.data(), Text.size()}});
    return true;
}

void TChunktEXt::CopyChunk(const TChunk& source) {
    const auto& text = SameClass<TChunktEXt>(source);
    Keyword = text.Keyword;
    Text = text.Text;
}

// ---- zTXt -------------------------------------------------------------------------------------

std::size_t TPNGObject::TextInflateAllowance() const {
    const std::size_t left = FTextInflated < TextFileInflateLimit ? TextFileInflateLimit - FTextInflated : 0;
    return std::min(TextChunkInflateLimit, left);
}

void TPNGObject::CountTextInflated(std::size_t bytes) {
    constexpr std::size_t kMost = std::numeric_limits<std::size_t>::max();
    FTextInflated = bytes < kMost - FTextInflated ? FTextInflated + bytes : kMost;
}

void TChunkzTXt::CopyChunk(const TChunk& source) {
    TChunktEXt::CopyChunk(source);
    const auto* compressed = dynamic_cast<const TChunkzTXt*>(&source);
    FKeptCompressed = compressed != nullptr && compressed->FKeptCompressed;
    // A text kept compressed lives only in the chunk's data; a copy without it would lose it.
    if (FKeptCompressed)
        TChunk::CopyChunk(source);
}

bool TChunkzTXt::ReadChunk(TStream& stream, const TChunkType& type, std::int32_t length) {
    const bool result = TChunktEXt::ReadChunk(stream, type, length);
    FKeptCompressed = false;
    if (result && DataSize() >= 4) {
        const std::size_t keyword = KeywordLength(*this);
        Keyword.assign(reinterpret_cast<const char*>(Data()), keyword);
        Text.clear();
        // The method byte follows the keyword's zero byte; data without either has no text.
        const auto size = std::size_t(DataSize());
        if (keyword + 2 <= size && Data()[keyword + 1] == 0) {
            TPNGObject& owner = Owner();
            std::vector<std::uint8_t> inflated;
            const TZlibResult text =
                InflateBuffer(Data() + keyword + 2, size - keyword - 2, owner.TextInflateAllowance(), inflated);
            owner.CountTextInflated(text.Produced);
            switch (text.Outcome) {
            case TZlibOutcome::zoComplete:
                Text.assign(inflated.begin(), inflated.end());
                break;
            case TZlibOutcome::zoOverLimit:
            case TZlibOutcome::zoStorageRefused:
                // Cutting the text would lose its end at the next save; the stream as it came
                // loses nothing.
                FKeptCompressed = true;
                break;
            case TZlibOutcome::zoFailed:
                // Damaged compressed text reads as no text; the rest of the file is unaffected.
                break;
            }
        }
    }
    return result;
}

bool TChunkzTXt::WriteChunk(TStream& stream) {
    if (FKeptCompressed && Text.empty()) {
        const std::size_t keyword = KeywordLength(*this);
        if (Keyword.size() == keyword && std::memcmp(Keyword.data(), Data(), keyword) == 0)
            return TChunk::WriteChunk(stream);
        // A new keyword goes in front of the stream as it came; the parts are rebuilt into the
        // data, so the stream is taken out of it first.
        const std::vector<std::uint8_t> kept(Data() + keyword + 2, Data() + DataSize());
        const std::uint8_t separator[2] = {0, 0};
        WriteChunkFromParts(*this, stream,
                            {{Keyword.data(), Keyword.size()}, {separator, 2}, {kept.data(), kept.size()}});
        return true;
    }
    if (Text.empty())
        Text.assign(1, ' ');
    // The compressed stream gets what the chunk has left after the keyword and its two bytes.
    const std::size_t room =
        Keyword.size() + 2 < kMaxChunkDataLength ? kMaxChunkDataLength - Keyword.size() - 2 : 0;
    std::vector<std::uint8_t> compressed;
    const TZlibResult deflated = DeflateBuffer(reinterpret_cast<const std::uint8_t*>(Text.data()), Text.size(),
                                               Owner().DeflateLevel, room, compressed);
    switch (deflated.Outcome) {
    case TZlibOutcome::zoComplete:
        break;
    case TZlibOutcome::zoOverLimit:
        // A chunk longer than the format allows cannot be stored; a cut one would be a lie.
        throw EWriteError(base::LoadStr(res::SWriteError));
    case TZlibOutcome::zoStorageRefused:
        TPNGObject::RaisePngError<EPNGOutMemory>(res::SPngOutMemory);
    case TZlibOutcome::zoFailed:
        return false;
    }
    const std::uint8_t separator[2] = {0, 0};  // the keyword's end and compression method 0
    WriteChunkFromParts(*this, stream,
                        {{Keyword.data(), Keyword.size()}, {separator, 2}, {compressed.data(), compressed.size()}});
    FKeptCompressed = false;
    return true;
}

// ---- tIME -------------------------------------------------------------------------------------

bool TChunktIME::ReadChunk(TStream& stream, const TChunkType& type, std::int32_t length) {
    const bool result = TChunk::ReadChunk(stream, type, length);
    if (result && DataSize() == 7) {
        const std::uint8_t* d = Data();
        Year = std::uint16_t(d[0] * 256 + d[1]);
        Month = d[2];
        Day = d[3];
        Hour = d[4];
        Minute = d[5];
        Second = d[6];
    }
    return result;
}

bool TChunktIME::WriteChunk(TStream& stream) {
    const std::uint8_t bytes[7] = {std::uint8_t(Year >> 8), std::uint8_t(Year), Month, Day, Hour, Minute, Second};
    WriteChunkFromParts(*this, stream, {{bytes, sizeof(bytes)}});
    return true;
}

void TChunktIME::CopyChunk(const TChunk& source) {
    const auto& time = SameClass<TChunktIME>(source);
    Year = time.Year;
    Month = time.Month;
    Day = time.Day;
    Hour = time.Hour;
    Minute = time.Minute;
    Second = time.Second;
}

// ---- pHYs -------------------------------------------------------------------------------------

bool TChunkpHYs::ReadChunk(TStream& stream, const TChunkType& type, std::int32_t length) {
    const bool result = TChunk::ReadChunk(stream, type, length);
    if (result && DataSize() == 9) {
        PPUnitX = BigEndian32(Data());
        PPUnitY = BigEndian32(Data() + 4);
        UnitType = Data()[8];
    }
    return result;
}

bool TChunkpHYs::WriteChunk(TStream& stream) {
    std::uint8_t bytes[9];
    PutBigEndian32(bytes, PPUnitX);
    PutBigEndian32(bytes + 4, PPUnitY);
    bytes[8] = UnitType;
    WriteChunkFromParts(*this, stream, {{bytes, sizeof(bytes)}});
    return true;
}

void TChunkpHYs::CopyChunk(const TChunk& source) {
    const auto& physical = SameClass<TChunkpHYs>(source);
    PPUnitX = physical.PPUnitX;
    PPUnitY = physical.PPUnitY;
    UnitType = physical.UnitType;
}

}  // namespace png
