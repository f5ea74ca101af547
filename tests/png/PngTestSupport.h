// Shared pieces of the PNG codec's tests: the codec's start-up for the whole binary, a builder of
// PNG streams in memory (so each malformed case is one change to a valid stream), and loading.
#pragma once

#include "../graphics/GraphicsTestSupport.h"
#include "png/PngImage.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

using TBytes = std::vector<std::uint8_t>;

class TPngTest : public TGraphicsTest {};

class TPngBuilder {
public:
    TPngBuilder& Header(std::uint32_t width, std::uint32_t height, std::uint8_t bitDepth, std::uint8_t colorType,
                        std::uint8_t interlace = 0);
    TPngBuilder& Chunk(const std::string& type, const TBytes& data);
    /// One image data chunk holding the compressed rows (each row starts with its filter byte).
    TPngBuilder& Idat(const TBytes& rows);
    /// The compressed rows cut into image data chunks at the given offsets of the zlib stream.
    TPngBuilder& IdatSplit(const TBytes& rows, const std::vector<std::size_t>& cuts);
    TPngBuilder& Plte(const TBytes& rgb) { return Chunk("PLTE", rgb); }
    TPngBuilder& Trns(const TBytes& data) { return Chunk("tRNS", data); }
    TPngBuilder& Gama(std::uint32_t value);
    TPngBuilder& End() { return Chunk("IEND", {}); }
    /// Bytes appended as they are, without chunk framing.
    TPngBuilder& Raw(const TBytes& bytes);
    TBytes Bytes() const { return FBytes; }

    static TBytes Compress(const TBytes& raw);

private:
    TBytes FBytes = {0x89, 0x50, 0x4E, 0x47, 0x0D, 0x0A, 0x1A, 0x0A};
};

/// The offset of the n-th chunk of the type (its length field); fails the test when absent.
std::size_t ChunkOffset(const TBytes& bytes, const std::string& type, int nth = 0);
/// Offset of the first data byte of the n-th chunk of the type.
inline std::size_t DataOffset(const TBytes& bytes, const std::string& type, int nth = 0) {
    return ChunkOffset(bytes, type, nth) + 8;
}
void FlipByte(TBytes& bytes, std::size_t offset);

/// Loads the bytes into the object through a stream.
void LoadPng(png::TPNGObject& png, const TBytes& bytes);

/// The type names of the chunk list, in order.
std::vector<std::string> ChunkTypes(const png::TPNGObject& png);

/// Matches a call that throws exactly E with the text of the resource id.
#define EXPECT_PNG_ERROR(statement, E, id) \
    EXPECT_THAT([&] { statement; }, ::testing::ThrowsMessage<E>(::testing::StrEq(base::LoadStr(id))))
