// The text, compressed text, time and physical-size chunks, and the whole-buffer deflate that
// the compressed text uses. Their fields are the truth: every save rebuilds the data from them.
#include "png/PngImage.h"
#include "png/PngWrite.h"
#include "png/PngZlib.h"

#include <zlib.h>

#include <algorithm>
#include <cstring>

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

bool DeflateBuffer(const std::uint8_t* input, std::size_t length, int level, std::vector<std::uint8_t>& output,
                   std::string& errorText) {
    output.clear();
    z_stream zlib;
    std::memset(&zlib, 0, sizeof(zlib));
    int result = deflateInit(&zlib, level);
    if (result != Z_OK) {
        errorText = zlib.msg != nullptr ? zlib.msg : ZlibStatusText(result);
        return false;
    }
    std::size_t remaining = length;
    const std::uint8_t* next = input;
    std::uint8_t window[4096];
    for (;;) {
        // zlib counts its input in 32 bits; longer texts are handed over in slices.
        if (zlib.avail_in == 0 && remaining > 0) {
            const std::size_t slice = std::min<std::size_t>(remaining, 1u << 30);
            zlib.next_in = const_cast<Bytef*>(next);
            zlib.avail_in = uInt(slice);
            next += slice;
            remaining -= slice;
        }
        zlib.next_out = window;
        zlib.avail_out = sizeof(window);
        result = deflate(&zlib, remaining > 0 ? Z_NO_FLUSH : Z_FINISH);
        output.insert(output.end(), window, window + (sizeof(window) - zlib.avail_out));
        if (result == Z_STREAM_END)
            break;
        if (result < 0 && result != Z_BUF_ERROR) {
            errorText = zlib.msg != nullptr ? zlib.msg : ZlibStatusText(result);
            deflateEnd(&zlib);
            output.clear();
            return false;
        }
    }
    deflateEnd(&zlib);
    return true;
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

bool TChunkzTXt::ReadChunk(TStream& stream, const TChunkType& type, std::int32_t length) {
    const bool result = TChunktEXt::ReadChunk(stream, type, length);
    if (result && DataSize() >= 4) {
        const std::size_t keyword = KeywordLength(*this);
        Keyword.assign(reinterpret_cast<const char*>(Data()), keyword);
        Text.clear();
        // The method byte follows the keyword's zero byte; data without either has no text.
        const auto size = std::size_t(DataSize());
        if (keyword + 2 <= size && Data()[keyword + 1] == 0) {
            std::vector<std::uint8_t> inflated;
            std::string error;
            if (InflateBuffer(Data() + keyword + 2, size - keyword - 2, inflated, error))
                Text.assign(inflated.begin(), inflated.end());
        }
    }
    return result;
}

bool TChunkzTXt::WriteChunk(TStream& stream) {
    if (Text.empty())
        Text.assign(1, ' ');
    std::vector<std::uint8_t> compressed;
    std::string error;
    if (!DeflateBuffer(reinterpret_cast<const std::uint8_t*>(Text.data()), Text.size(), Owner().DeflateLevel,
                       compressed, error))
        return false;
    const std::uint8_t separator[2] = {0, 0};  // the keyword's end and compression method 0
    WriteChunkFromParts(*this, stream,
                        {{Keyword.data(), Keyword.size()}, {separator, 2}, {compressed.data(), compressed.size()}});
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
