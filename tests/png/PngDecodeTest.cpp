// Decoding the image data: the row filters against hand-worked rows, the conversions into the
// planes, Adam7, and the reading across image data chunks with its failures.
#include "PngTestSupport.h"

#include "png/ImageData.h"
#include "png/RowFilters.h"

#include <numeric>

using namespace png;
using ::testing::ElementsAre;
using ::testing::ElementsAreArray;

namespace {

TBytes Bytes(const std::uint8_t* p, std::size_t n) { return TBytes(p, p + n); }

// An 8 × 8 RGB image with every filter type in its rows.
TBytes PatternRows() {
    TBytes rows;
    for (int y = 0; y < 8; ++y) {
        rows.push_back(std::uint8_t(y % 5));
        for (int i = 0; i < 24; ++i)
            rows.push_back(std::uint8_t(y * 37 + i * 11));
    }
    return rows;
}

TBytes ColorPlane(const TPNGObject& png) {
    const TChunkIHDR& h = png.RequireHeader();
    return Bytes(h.ColorPlane(), std::size_t(h.RowStride()) * h.Height());
}

}  // namespace

// ---- filters ----------------------------------------------------------------------------------

struct TFilterCase {
    const char* Name;
    TBytes Row;  // filter byte first
    TBytes Previous;
    unsigned Distance;
    TBytes Expected;
};

class PngReconstructRow : public ::testing::TestWithParam<TFilterCase> {};

TEST_P(PngReconstructRow, UndoesTheFilterAsWorkedByHand) {
    TBytes row = GetParam().Row;
    TBytes previous = GetParam().Previous;
    previous.insert(previous.begin(), 0);
    ReconstructRow(row.data(), previous.data(), row.size() - 1, GetParam().Distance);
    EXPECT_EQ(TBytes(row.begin() + 1, row.end()), GetParam().Expected);
}

INSTANTIATE_TEST_SUITE_P(
    Golden, PngReconstructRow,
    ::testing::Values(
        TFilterCase{"None", {0, 7, 8, 9}, {1, 1, 1}, 1, {7, 8, 9}},
        TFilterCase{"SubDistance1", {1, 10, 20, 30}, {9, 9, 9}, 1, {10, 30, 60}},
        TFilterCase{"SubDistance3Wraps", {1, 200, 100, 50, 100, 200, 250}, {0, 0, 0, 0, 0, 0}, 3,
                    {200, 100, 50, 44, 44, 44}},
        TFilterCase{"SubDistance2", {1, 1, 2, 3, 4}, {0, 0, 0, 0}, 2, {1, 2, 4, 6}},
        TFilterCase{"Up", {2, 5, 250}, {10, 10}, 1, {15, 4}},
        // 150 + 255 would overflow 8 bits; the average is taken of the true sum.
        TFilterCase{"AverageDistance1", {3, 10, 20, 30}, {100, 200, 255}, 1, {60, 150, 232}},
        TFilterCase{"AverageDistance4", {3, 1, 2, 3, 4, 5}, {10, 20, 30, 40, 50}, 4, {6, 12, 18, 24, 33}},
        TFilterCase{"PaethDistance1", {4, 1, 2, 3}, {10, 20, 5}, 1, {11, 22, 8}},
        TFilterCase{"PaethDistance3", {4, 1, 1, 1, 2, 2, 2}, {50, 60, 70, 10, 10, 10}, 3, {51, 61, 71, 12, 12, 12}},
        TFilterCase{"PaethDistance6", {4, 0, 0, 0, 0, 0, 0, 1, 1, 1, 1, 1, 1},
                    {9, 9, 9, 9, 9, 9, 9, 9, 9, 9, 9, 9}, 6, {9, 9, 9, 9, 9, 9, 10, 10, 10, 10, 10, 10}},
        TFilterCase{"UndefinedTypeSeven", {7, 3, 4, 5}, {100, 100, 100}, 1, {3, 4, 5}}),
    [](const auto& info) { return std::string(info.param.Name); });

TEST(PngReconstructRow, PaethMatchesThePredictorOnRandomRowsAtEveryDistance) {
    // The pixel-wide Paeth paths must agree with the predictor byte for byte, ties included;
    // small value ranges make ties frequent.
    std::uint32_t seed = 7;
    auto next = [&] { return seed = seed * 1103515245u + 12345u, std::uint8_t(seed >> 16); };
    for (unsigned distance : {1u, 2u, 3u, 4u, 6u, 8u}) {
        for (int trial = 0; trial < 200; ++trial) {
            const std::size_t n = distance * (1 + trial % 17);
            const std::uint8_t range = trial % 2 ? 255 : 3;
            TBytes row(n + 1), previous(n + 1);
            row[0] = 4;
            for (std::size_t i = 1; i <= n; ++i) {
                row[i] = std::uint8_t(next() % (range + 1));
                previous[i] = std::uint8_t(next() % (range + 1));
            }
            TBytes expected = row;
            for (std::size_t i = 1; i <= n; ++i) {
                const std::uint8_t left = i > distance ? expected[i - distance] : 0;
                const std::uint8_t upperLeft = i > distance ? previous[i - distance] : 0;
                expected[i] = std::uint8_t(expected[i] + PaethPredict(left, previous[i], upperLeft));
            }
            ReconstructRow(row.data(), previous.data(), n, distance);
            ASSERT_EQ(row, expected) << "distance " << distance << " trial " << trial;
        }
    }
}

TEST(PngPaethPredict, BreaksTiesTowardLeftThenAbove) {
    EXPECT_EQ(PaethPredict(5, 5, 5), 5);
    // |p − above| = |p − upper left| = 1 < |p − left| = 2: above.
    EXPECT_EQ(PaethPredict(5, 2, 4), 2);
    // |p − left| = |p − upper left| = 1 < |p − above| = 2: left.
    EXPECT_EQ(PaethPredict(2, 5, 4), 2);
    EXPECT_EQ(PaethPredict(10, 20, 10), 20);
    EXPECT_EQ(PaethPredict(10, 20, 20), 10);
    EXPECT_EQ(PaethPredict(0, 255, 128), 128);
}

// ---- conversions ------------------------------------------------------------------------------

TEST_F(TPngTest, TwoBitGreyBecomesFourBitLevelsInBothRowLoops) {
    TPNGObject png;
    LoadPng(png, TPngBuilder().Header(4, 1, 2, kColorGray).Idat({0, 0b00011011}).End().Bytes());
    EXPECT_THAT(Bytes(png.RequireHeader().ColorPlane(), 2), ElementsAre(0x05, 0xAF));
    // Adam7 on 4 × 1: pass 1 takes column 0, pass 4 column 2, pass 6 columns 1 and 3.
    LoadPng(png, TPngBuilder().Header(4, 1, 2, kColorGray, 1).Idat({0, 0x00, 0, 0x80, 0, 0x70}).End().Bytes());
    EXPECT_THAT(Bytes(png.RequireHeader().ColorPlane(), 2), ElementsAre(0x05, 0xAF));
    const auto& colors = png.RequireHeader().BitmapInfo().bmiColors;
    EXPECT_THAT((std::vector<int>{colors[0].rgbRed, colors[5].rgbRed, colors[10].rgbRed, colors[15].rgbRed}),
                ElementsAre(0, 85, 170, 255));
}

TEST_F(TPngTest, TwoBitPaletteIndicesKeepTheirValueAtFourBits) {
    TPNGObject png;
    LoadPng(png, TPngBuilder()
                     .Header(5, 1, 2, kColorPalette)
                     .Plte(TBytes(12, 9))
                     .Idat({0, 0b00011011, 0b10000000})
                     .End()
                     .Bytes());
    EXPECT_THAT(Bytes(png.RequireHeader().ColorPlane(), 3), ElementsAre(0x01, 0x23, 0x20));
}

TEST_F(TPngTest, SixteenBitSamplesSplitIntoTheColourAndExtraPlanes) {
    TPNGObject png;
    LoadPng(png, TPngBuilder().Header(1, 1, 16, kColorRgb).Idat({0, 0x12, 0x34, 0x56, 0x78, 0x9A, 0xBC}).End().Bytes());
    const TChunkIHDR& rgb = png.RequireHeader();
    EXPECT_THAT(Bytes(rgb.ColorPlane(), 3), ElementsAre(0x9A, 0x56, 0x12));
    EXPECT_THAT(Bytes(rgb.ExtraPlane(), 3), ElementsAre(0xBC, 0x78, 0x34));

    LoadPng(png, TPngBuilder()
                     .Header(1, 1, 16, kColorRgbAlpha)
                     .Idat({0, 0x12, 0x34, 0x56, 0x78, 0x9A, 0xBC, 0xAB, 0xCD})
                     .End()
                     .Bytes());
    EXPECT_EQ(png.RequireHeader().AlphaPlane()[0], 0xAB);

    LoadPng(png, TPngBuilder().Header(2, 1, 16, kColorGrayAlpha).Idat({0, 1, 2, 3, 4, 5, 6, 7, 8}).End().Bytes());
    const TChunkIHDR& grey = png.RequireHeader();
    EXPECT_THAT(Bytes(grey.ColorPlane(), 2), ElementsAre(1, 5));
    EXPECT_THAT(Bytes(grey.ExtraPlane(), 2), ElementsAre(2, 6));
    EXPECT_THAT(Bytes(grey.AlphaPlane(), 2), ElementsAre(3, 7));
}

TEST_F(TPngTest, RowsAreStoredBottomUpAndRgbAsBlueGreenRed) {
    TPNGObject png;
    LoadPng(png, TPngBuilder().Header(1, 2, 8, kColorRgb).Idat({0, 1, 2, 3, 0, 4, 5, 6}).End().Bytes());
    EXPECT_THAT(ColorPlane(png), ElementsAre(6, 5, 4, 0, 3, 2, 1, 0));
}

// ---- Adam7 ------------------------------------------------------------------------------------

TEST_F(TPngTest, AnInterlacedOnePixelImageReadsPassOneOnly) {
    TPNGObject png;
    LoadPng(png, TPngBuilder().Header(1, 1, 8, kColorRgb, 1).Idat({0, 10, 20, 30}).End().Bytes());
    EXPECT_THAT(Bytes(png.RequireHeader().ColorPlane(), 3), ElementsAre(30, 20, 10));
}

TEST_F(TPngTest, AnInterlacedThreeByThreeImagePlacesItsNinePixels) {
    // Pass 1 row 0: (0,0); pass 4 row 0: (2,0); pass 5 row 2: (0,2), (2,2); pass 6 rows 0 and 2:
    // (1,0), (1,2); pass 7 row 1: (0,1), (1,1), (2,1). Sample = 10 × (y × 3 + x).
    const TBytes passes = {0, 0, 0, 20, 0, 60, 80, 0, 10, 0, 70, 0, 30, 40, 50};
    TPNGObject png;
    LoadPng(png, TPngBuilder().Header(3, 3, 8, kColorGray, 1).Idat(passes).End().Bytes());
    const TChunkIHDR& h = png.RequireHeader();
    for (std::uint32_t y = 0; y < 3; ++y)
        EXPECT_THAT(Bytes(h.ColorRow(y), 3), ElementsAre(30 * y, 30 * y + 10, 30 * y + 20)) << y;
}

TEST_F(TPngTest, InterlacedSubByteSamplesAreOredIntoTheirBits) {
    // A 9 × 2 one-bit image, all pixels set: each pass row has its own width.
    TBytes passes;
    auto addRow = [&](int pixels) {
        passes.push_back(0);
        for (int b = 0; b < (pixels + 7) / 8; ++b)
            passes.push_back(0xFF);
    };
    addRow(2);  // pass 1, row 0: columns 0, 8
    addRow(1);  // pass 2, row 0: column 4
    addRow(3);  // pass 4, row 0: columns 2, 6
    addRow(4);  // pass 6, row 0: columns 1, 3, 5, 7
    addRow(9);  // pass 7, row 1
    TPNGObject png;
    LoadPng(png, TPngBuilder().Header(9, 2, 1, kColorGray, 1).Idat(passes).End().Bytes());
    const TChunkIHDR& h = png.RequireHeader();
    EXPECT_THAT(Bytes(h.ColorRow(0), 2), ElementsAre(0xFF, 0x80));
    EXPECT_THAT(Bytes(h.ColorRow(1), 2), ElementsAre(0xFF, 0xFF));
}

// ---- reading across chunks ----------------------------------------------------------------------

TEST_F(TPngTest, SplitImageDataDecodesTheSameAtEveryCut) {
    for (std::size_t limit : {kDefaultWholeInflateLimit, std::size_t(0)}) {
    SetWholeInflateLimit(limit);
    const TBytes rows = PatternRows();
    TPNGObject whole;
    LoadPng(whole, TPngBuilder().Header(8, 8, 8, kColorRgb).Idat(rows).End().Bytes());
    const TBytes expected = ColorPlane(whole);
    const std::size_t length = TPngBuilder::Compress(rows).size();
    std::vector<std::vector<std::size_t>> cutSets = {{1, 2, 3}, {2, 2, 4}, {1, length - 1}};
    for (std::size_t cut = 1; cut < length; ++cut)
        cutSets.push_back({cut});
    for (const auto& cuts : cutSets) {
        TPNGObject png;
        LoadPng(png, TPngBuilder().Header(8, 8, 8, kColorRgb).IdatSplit(rows, cuts).End().Bytes());
        EXPECT_EQ(ColorPlane(png), expected) << "cut at " << cuts[0] << " limit " << limit;
        EXPECT_THAT(ChunkTypes(png), ElementsAre("IHDR", "IDAT", "IEND"));
    }
    }
    SetWholeInflateLimit(kDefaultWholeInflateLimit);
}

TEST_F(TPngTest, AWrongCheckValueOnAnyImageDataChunkFails) {
    const TBytes rows = PatternRows();
    for (int nth = 0; nth < 3; ++nth) {
        TBytes bytes = TPngBuilder().Header(8, 8, 8, kColorRgb).IdatSplit(rows, {10, 20}).End().Bytes();
        const std::size_t at = ChunkOffset(bytes, "IDAT", nth);
        const std::size_t length = (std::size_t(bytes[at + 2]) << 8) | bytes[at + 3];
        FlipByte(bytes, at + 8 + length + 3);
        TPNGObject png;
        EXPECT_PNG_ERROR(LoadPng(png, bytes), EPngInvalidCRC, res::SPngInvalidCRC);
        EXPECT_THAT(ChunkTypes(png), ElementsAre("IHDR", "IDAT"));
    }
}

TEST_F(TPngTest, ImageDataInterruptedByAnotherChunkFails) {
    const TBytes rows = PatternRows();
    const TBytes compressed = TPngBuilder::Compress(rows);
    const TBytes bytes = TPngBuilder()
                             .Header(8, 8, 8, kColorRgb)
                             .Chunk("IDAT", TBytes(compressed.begin(), compressed.begin() + 20))
                             .Chunk("tEXt", {'a', 0, 'b'})
                             .Chunk("IDAT", TBytes(compressed.begin() + 20, compressed.end()))
                             .End()
                             .Bytes();
    TPNGObject png;
    EXPECT_PNG_ERROR(LoadPng(png, bytes), EPNGMissingMultipleIDAT, res::SPngMissingMultipleIDAT);
}

TEST_F(TPngTest, ImageDataAfterTheLastRowIsSkippedUnchecked) {
    const TBytes rows = PatternRows();
    const TBytes compressed = TPngBuilder::Compress(rows);
    // The adler check value alone stands in the second chunk; decoding never needs it.
    TBytes bytes = TPngBuilder()
                       .Header(8, 8, 8, kColorRgb)
                       .Chunk("IDAT", TBytes(compressed.begin(), compressed.end() - 4))
                       .Chunk("tEXt", {'a', 0, 'b'})
                       .Chunk("IDAT", TBytes(compressed.end() - 4, compressed.end()))
                       .End()
                       .Bytes();
    FlipByte(bytes, DataOffset(bytes, "IDAT", 1));
    TPNGObject png;
    LoadPng(png, bytes);
    EXPECT_THAT(ChunkTypes(png), ElementsAre("IHDR", "IDAT", "tEXt", "IEND"));
}

TEST_F(TPngTest, AnEmptyImageDataChunkBetweenOthersIsPassedOver) {
    const TBytes rows = PatternRows();
    TPNGObject whole, split;
    LoadPng(whole, TPngBuilder().Header(8, 8, 8, kColorRgb).Idat(rows).End().Bytes());
    LoadPng(split, TPngBuilder().Header(8, 8, 8, kColorRgb).IdatSplit(rows, {0, 7, 7, 7}).End().Bytes());
    EXPECT_EQ(ColorPlane(split), ColorPlane(whole));
}

TEST_F(TPngTest, CompressedDataEndingBeforeTheLastRowLeavesTheRestZero) {
    // Only the first of two rows is compressed; zlib reports the end of its stream.
    TPNGObject png;
    LoadPng(png, TPngBuilder().Header(1, 2, 8, kColorRgb).Idat({0, 1, 2, 3}).End().Bytes());
    EXPECT_THAT(ColorPlane(png), ElementsAre(0, 0, 0, 0, 3, 2, 1, 0));
}

TEST_F(TPngTest, AStreamEndingInsideTheImageDataFailsWithInvalidCrc) {
    TBytes bytes = TPngBuilder().Header(8, 8, 8, kColorRgb).Idat(PatternRows()).Bytes();
    bytes.resize(bytes.size() - 30);
    TPNGObject png;
    EXPECT_PNG_ERROR(LoadPng(png, bytes), EPngInvalidCRC, res::SPngInvalidCRC);
    // The rows decoded before the end are kept.
    EXPECT_NE(png.RequireHeader().ColorRow(0)[0], 0);
}

TEST_F(TPngTest, TheUnreadTailOfALongChunkCountsTowardItsCheckValue) {
    TBytes data = TPngBuilder::Compress(PatternRows());
    data.resize(data.size() + 70000, 0x5A);
    TBytes bytes = TPngBuilder().Header(8, 8, 8, kColorRgb).Chunk("IDAT", data).End().Bytes();
    TPNGObject png;
    LoadPng(png, bytes);
    EXPECT_THAT(ChunkTypes(png), ElementsAre("IHDR", "IDAT", "IEND"));
    FlipByte(bytes, DataOffset(bytes, "IDAT") + data.size() - 10);
    EXPECT_PNG_ERROR(LoadPng(png, bytes), EPngInvalidCRC, res::SPngInvalidCRC);
}

TEST_F(TPngTest, CorruptCompressedDataFailsWithTheZlibStatusText) {
    // A valid zlib header followed by a block of the reserved type 3.
    const TBytes bytes = TPngBuilder().Header(2, 2, 8, kColorRgb).Chunk("IDAT", {0x78, 0x9C, 0xFF, 0xFF, 0xFF}).End().Bytes();
    TPNGObject png;
    EXPECT_THAT([&] { LoadPng(png, bytes); },
                ::testing::ThrowsMessage<EPNGZLIBError>(::testing::StrEq(
                    "Could not decompress the image because it contains invalid compressed data.\r\n"
                    " Description: data error (-3)")));
}

TEST_F(TPngTest, CompressedDataAskingForADictionaryFailsInsteadOfLooping) {
    // Found by fuzzing: the header's dictionary flag made inflate answer "need dictionary" for
    // ever. PNG defines no dictionary, so the data cannot be decompressed.
    const TBytes bytes = TPngBuilder().Header(2, 2, 8, kColorRgb).Chunk("IDAT", {0x78, 0x3F, 0, 0, 0, 1, 0x12}).End().Bytes();
    TPNGObject png;
    EXPECT_THAT([&] { LoadPng(png, bytes); },
                ::testing::ThrowsMessage<EPNGZLIBError>(::testing::EndsWith(" Description: need dictionary (2)")));
}

TEST_F(TPngTest, AFilterTypeOutsideTheStandardLeavesTheRowAndGoesOn) {
    TPNGObject png;
    LoadPng(png, TPngBuilder().Header(1, 2, 8, kColorRgb).Idat({7, 10, 20, 30, 2, 1, 1, 1}).End().Bytes());
    EXPECT_THAT(ColorPlane(png), ElementsAre(31, 21, 11, 0, 30, 20, 10, 0));
}

TEST_F(TPngTest, GammaReadBeforeTheImageDataAppliesToColourSamples) {
    TPNGObject png;
    LoadPng(png, TPngBuilder().Header(1, 1, 8, kColorRgb).Gama(100000).Idat({0, 128, 0, 255}).End().Bytes());
    EXPECT_THAT(Bytes(png.RequireHeader().ColorPlane(), 3), ElementsAre(255, 0, 186));
    LoadPng(png, TPngBuilder().Header(1, 1, 8, kColorRgb).Idat({0, 128, 0, 255}).Gama(100000).End().Bytes());
    EXPECT_THAT(Bytes(png.RequireHeader().ColorPlane(), 3), ElementsAre(255, 0, 128));
}
