#include "PngTestSupport.h"

#include "png/PngModule.h"

#include <zlib.h>

#include <cstring>

namespace {

// The codec's start-up and shutdown, once for the whole binary, around the framework's own.
class TPngEnvironment : public ::testing::Environment {
public:
    void SetUp() override {
        graphics::InitializeGraphics();
        png::InitializePng();
    }
    void TearDown() override { png::FinalizePng(); }
};

const auto* const kEnvironment = ::testing::AddGlobalTestEnvironment(new TPngEnvironment);

void Put32(TBytes& out, std::uint32_t v) {
    for (int shift = 24; shift >= 0; shift -= 8)
        out.push_back(std::uint8_t(v >> shift));
}

}  // namespace

TPngBuilder& TPngBuilder::Header(std::uint32_t width, std::uint32_t height, std::uint8_t bitDepth,
                                 std::uint8_t colorType, std::uint8_t interlace) {
    TBytes data;
    Put32(data, width);
    Put32(data, height);
    data.insert(data.end(), {bitDepth, colorType, 0, 0, interlace});
    return Chunk("IHDR", data);
}

TPngBuilder& TPngBuilder::Chunk(const std::string& type, const TBytes& data) {
    Put32(FBytes, std::uint32_t(data.size()));
    const std::size_t typeAt = FBytes.size();
    FBytes.insert(FBytes.end(), type.begin(), type.begin() + 4);
    FBytes.insert(FBytes.end(), data.begin(), data.end());
    // The reference CRC comes from zlib, not from the code under test.
    const uLong crc = crc32(0, FBytes.data() + typeAt, uInt(4 + data.size()));
    Put32(FBytes, std::uint32_t(crc));
    return *this;
}

TPngBuilder& TPngBuilder::Idat(const TBytes& rows) { return Chunk("IDAT", Compress(rows)); }

TPngBuilder& TPngBuilder::IdatSplit(const TBytes& rows, const std::vector<std::size_t>& cuts) {
    const TBytes compressed = Compress(rows);
    std::size_t start = 0;
    for (std::size_t cut : cuts) {
        Chunk("IDAT", TBytes(compressed.begin() + std::ptrdiff_t(start), compressed.begin() + std::ptrdiff_t(cut)));
        start = cut;
    }
    return Chunk("IDAT", TBytes(compressed.begin() + std::ptrdiff_t(start), compressed.end()));
}

TPngBuilder& TPngBuilder::Gama(std::uint32_t value) {
    TBytes data;
    Put32(data, value);
    return Chunk("gAMA", data);
}

TPngBuilder& TPngBuilder::Raw(const TBytes& bytes) {
    FBytes.insert(FBytes.end(), bytes.begin(), bytes.end());
    return *this;
}

TBytes TPngBuilder::Compress(const TBytes& raw) {
    uLongf size = compressBound(uLong(raw.size()));
    TBytes out(size);
    EXPECT_EQ(compress2(out.data(), &size, raw.data(), uLong(raw.size()), 6), Z_OK);
    out.resize(size);
    return out;
}

std::size_t ChunkOffset(const TBytes& bytes, const std::string& type, int nth) {
    std::size_t at = 8;
    while (at + 8 <= bytes.size()) {
        const std::uint32_t length = (std::uint32_t(bytes[at]) << 24) | (std::uint32_t(bytes[at + 1]) << 16) |
                                     (std::uint32_t(bytes[at + 2]) << 8) | bytes[at + 3];
        if (std::memcmp(bytes.data() + at + 4, type.data(), 4) == 0 && nth-- == 0)
            return at;
        at += 12 + length;
    }
    ADD_FAILURE() << "no chunk " << type;
    return 0;
}

void FlipByte(TBytes& bytes, std::size_t offset) { bytes.at(offset) ^= 0x01; }

void LoadPng(png::TPNGObject& png, const TBytes& bytes) {
    TBytesStream stream(bytes.data(), bytes.size());
    png.LoadFromStream(stream);
}

std::vector<std::string> ChunkTypes(const png::TPNGObject& png) {
    std::vector<std::string> types;
    for (int i = 0; i < png.ChunkList.Count(); ++i)
        types.push_back(png.ChunkList.Chunk(i)->TypeName());
    return types;
}
