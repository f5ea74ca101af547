// Saving PNG images: the file's chunks and their order, the header as written, the rows, filter
// choice, image data cuts and inverse gamma, refusals instead of broken files, and round trips of
// the PngSuite images judged by our own reader and by libpng.
#include "PngWriteSupport.h"
#include "png/PngWrite.h"

#include <filesystem>
#include <random>

using namespace png;
namespace fs = std::filesystem;

namespace {

/// An image of the format whose header and storage are made directly, as callers building
/// images do.
TChunkIHDR& MakeImage(TPNGObject& png, std::uint32_t width, std::uint32_t height, std::uint8_t depth,
                      std::uint8_t colorType) {
    png.ClearChunks();
    auto header = std::make_unique<TChunkIHDR>(png);
    TChunkIHDR& h = *header;
    png.ChunkList.Append(header.release());
    h.SetWidth(width);
    h.SetHeight(height);
    h.SetBitDepth(depth);
    h.SetColorType(colorType);
    h.PrepareImage();
    png.ChunkList.Append(std::make_unique<TChunkIDAT>(png).release());
    png.ChunkList.Append(std::make_unique<TChunkIEND>(png).release());
    return h;
}

void FillNoise(TChunkIHDR& h, unsigned seed) {
    std::mt19937 random(seed);
    for (std::uint32_t y = 0; y < h.Height(); ++y) {
        std::uint8_t* row = h.ColorRow(y);
        for (std::int32_t i = 0; i < h.RowStride(); ++i)
            row[i] = std::uint8_t(random());
    }
    if (h.AlphaPlane() != nullptr) {
        for (std::size_t i = 0; i < std::size_t(h.Width()) * h.Height(); ++i)
            h.AlphaPlane()[i] = std::uint8_t(random());
    }
}

/// A stream that takes at most a given number of bytes, as a full disk does.
class TShortStream final : public TMemoryStream {
public:
    explicit TShortStream(std::int64_t capacity) : FCapacity(capacity) {}
    std::int64_t Write(const void* buffer, std::int64_t count) override {
        const std::int64_t room = std::max<std::int64_t>(0, FCapacity - Size());
        return TMemoryStream::Write(buffer, std::min(count, room));
    }

private:
    std::int64_t FCapacity;
};

class PngWrite : public TPngTest {};

}  // namespace

TEST_F(PngWrite, AnObjectWithoutChunksWritesOnlyTheSignature) {
    TPNGObject png;
    EXPECT_EQ(SavePng(png), (TBytes{137, 80, 78, 71, 13, 10, 26, 10}));
}

TEST_F(PngWrite, TenByTenRgbWithTheDefaultsGivesOneImageDataChunkOfSubRows) {
    TPNGObject png;
    TChunkIHDR& h = MakeImage(png, 10, 10, 8, kColorRgb);
    FillNoise(h, 1);
    const TBytes file = SavePng(png);
    EXPECT_EQ(ChunkLengths(file, "IHDR"), (std::vector<std::uint32_t>{13}));
    EXPECT_EQ(ChunkLengths(file, "IDAT").size(), 1u);
    EXPECT_EQ(ChunkOffset(file, "IHDR"), 8u);
    EXPECT_LT(ChunkOffset(file, "IDAT"), ChunkOffset(file, "IEND"));
    const TBytes rows = InflateImageData(file);
    ASSERT_EQ(rows.size(), 10u * 31);
    for (std::uint32_t y = 0; y < 10; ++y) {
        EXPECT_EQ(rows[y * 31], 1) << "row " << y;
        // Sub leaves the first pixel and stores every later byte minus the one three before.
        const std::uint8_t* stored = h.ColorRow(y);
        EXPECT_EQ(rows[y * 31 + 1], stored[2]);
        EXPECT_EQ(std::uint8_t(rows[y * 31 + 4]), std::uint8_t(stored[5] - stored[2]));
    }
    const TLibpngImage image = ReadWithLibpng(file);
    ASSERT_TRUE(image.Ok) << image.Error;
    EXPECT_EQ(image.Warnings, 0);
    for (std::uint32_t y = 0; y < 10; ++y)
        for (std::uint32_t x = 0; x < 10; ++x)
            ASSERT_EQ(image.Rgba[(y * 10 + x) * 4], h.ColorRow(y)[x * 3 + 2]) << x << "," << y;
}

TEST_F(PngWrite, SavingKeepsTheChunkListAsItIsWithUnknownChunksRaw) {
    const TBytes source = TPngBuilder()
                              .Header(2, 1, 8, kColorGray)
                              .Chunk("cHRM", TBytes(32, 1))
                              .Chunk("prVt", {1, 2, 3})
                              .Gama(45455)
                              .Idat({0, 7, 9})
                              .Chunk("tEXt", {'a', 0, 'b'})
                              .End()
                              .Bytes();
    TPNGObject png;
    LoadPng(png, source);
    const TBytes file = SavePng(png);
    TPNGObject again;
    LoadPng(again, file);
    EXPECT_EQ(ChunkTypes(again), (std::vector<std::string>{"IHDR", "prVt", "gAMA", "IDAT", "tEXt", "IEND"}));
    EXPECT_EQ(ChunkData(file, "prVt"), (TBytes{1, 2, 3}));
}

TEST_F(PngWrite, TheHeaderIsWrittenWithBitDepthFourForTwoBitImagesAndTheObjectsInterlaceMode) {
    const TBytes source = TPngBuilder().Header(4, 1, 2, kColorGray).Idat({0, 0x1B}).End().Bytes();
    TPNGObject png;
    LoadPng(png, source);
    png.InterlaceMode = 1;
    const TBytes file = SavePng(png);
    const TBytes header = ChunkData(file, "IHDR");
    EXPECT_EQ(header[8], 4);
    EXPECT_EQ(header[12], 1);
    EXPECT_EQ(png.RequireHeader().BitDepth(), 4);
    TPNGObject again;
    LoadPng(again, file);
    for (int x = 0; x < 4; ++x)
        EXPECT_EQ(again.PixelColor(x, 0), png.PixelColor(x, 0)) << x;
    EXPECT_EQ(again.PixelColor(1, 0), TColor(0x555555));
}

TEST_F(PngWrite, AOnePixelAdam7ImageWritesOnlyTheFirstPassesRow) {
    TPNGObject png;
    TChunkIHDR& h = MakeImage(png, 1, 1, 8, kColorRgb);
    h.ColorRow(0)[0] = 30;
    h.ColorRow(0)[1] = 20;
    h.ColorRow(0)[2] = 10;
    png.InterlaceMode = 1;
    EXPECT_EQ(InflateImageData(SavePng(png)), (TBytes{1, 10, 20, 30}));
}

TEST_F(PngWrite, EveryAdam7PassStartsItsFilteringWithAZeroPreviousRow) {
    TPNGObject png;
    TChunkIHDR& h = MakeImage(png, 3, 3, 8, kColorGray);
    for (std::uint32_t y = 0; y < 3; ++y)
        for (std::uint32_t x = 0; x < 3; ++x)
            h.ColorRow(y)[x] = std::uint8_t(10 * (y * 3 + x) + 5);
    png.InterlaceMode = 1;
    png.EncodeFilters = FilterBit(pfUp);
    // Passes 1, 4, 5, 6 (two rows) and 7; pass 2 has no column and pass 3 no row. Up against a
    // zero row leaves each pass's first row as it is; pass 6's second row is 75 − 15.
    EXPECT_EQ(InflateImageData(SavePng(png)),
              (TBytes{2, 5, 2, 25, 2, 65, 85, 2, 15, 2, 60, 2, 35, 45, 55}));
}

TEST_F(PngWrite, RowsWhereNoFilterRepeatsABytePickNoneEvenWhenNoneIsNotAllowed) {
    TPNGObject png;
    TChunkIHDR& h = MakeImage(png, 1, 4, 8, kColorGray);
    FillNoise(h, 2);
    for (const TPngFilters filters : {TPngFilters(FilterBit(pfUp) | FilterBit(pfPaeth)), TPngFilters(0x1F), TPngFilters(0),
                                      TPngFilters(FilterBit(pfNone))}) {
        png.EncodeFilters = filters;
        const TBytes rows = InflateImageData(SavePng(png));
        ASSERT_EQ(rows.size(), 8u);
        for (int y = 0; y < 4; ++y)
            EXPECT_EQ(rows[std::size_t(y) * 2], 0) << "filters " << int(filters) << " row " << y;
    }
}

struct TFilterChoiceCase {
    TPngFilters Filters;
    TBytes None, Sub, Up, Average, Paeth;
    TPngFilter Expected;
};

class PngFilterChoice : public ::testing::TestWithParam<TFilterChoiceCase> {};

TEST_P(PngFilterChoice, PicksTheOutputWithTheMostRepeatsAndTheLowerTypeOnATie) {
    const TFilterChoiceCase& c = GetParam();
    const std::uint8_t* outputs[5] = {c.None.data(), c.Sub.data(), c.Up.data(), c.Average.data(), c.Paeth.data()};
    EXPECT_EQ(ChooseFilter(c.Filters, outputs, c.None.size()), c.Expected);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, PngFilterChoice,
    ::testing::Values(
        // Counts 0, 1, 3, 2, 2: Up has the most.
        TFilterChoiceCase{0x1F, {1, 2, 3, 4, 5}, {1, 2, 2, 4, 5}, {1, 2, 2, 2, 2}, {1, 2, 3, 2, 3}, {9, 8, 8, 8, 7}, pfUp},
        // The same outputs with Up left out: Average and Paeth tie and the lower type wins.
        TFilterChoiceCase{0x1B, {1, 2, 3, 4, 5}, {1, 2, 2, 4, 5}, {1, 2, 2, 2, 2}, {1, 2, 3, 2, 3}, {9, 8, 8, 8, 7}, pfAverage},
        // A byte two places back counts too, and the count starts at the third byte.
        TFilterChoiceCase{0x06, {0, 0, 0, 0, 0}, {5, 5, 1, 2, 1}, {5, 5, 1, 2, 3}, {}, {}, pfSub},
        // A single allowed filter is taken without counting, even with no repeats.
        TFilterChoiceCase{FilterBit(pfAverage), {1, 1, 1, 1}, {}, {}, {1, 2, 3, 4}, {}, pfAverage},
        // No repeats anywhere: None, though it is not in the set.
        TFilterChoiceCase{0x14, {1, 1, 1, 1}, {}, {1, 2, 3, 4}, {}, {4, 3, 2, 1}, pfNone},
        // Bits above the five types are no filters: {Sub} with them is still exactly {Sub}.
        TFilterChoiceCase{TPngFilters(0xE2), {1, 1, 1, 1}, {1, 2, 3, 4}, {}, {}, {}, pfSub}));

TEST_F(PngWrite, ImageDataIsCutIntoChunksOfExactlyTheLimitButTheLast) {
    TPNGObject png;
    TChunkIHDR& h = MakeImage(png, 224, 224, 8, kColorRgb);
    FillNoise(h, 3);
    for (const std::int32_t limit : {65535, 100000}) {
        png.SetIdatSizeLimit(limit);
        const TBytes file = SavePng(png);
        const std::vector<std::uint32_t> lengths = ChunkLengths(file, "IDAT");
        ASSERT_GE(lengths.size(), 2u);
        std::uint64_t total = 0;
        for (std::size_t i = 0; i + 1 < lengths.size(); ++i)
            EXPECT_EQ(lengths[i], std::uint32_t(limit));
        for (const std::uint32_t length : lengths)
            total += length;
        EXPECT_GT(lengths.back(), 0u);
        EXPECT_LE(lengths.back(), std::uint32_t(limit));
        EXPECT_EQ(total - std::uint64_t(limit) * (lengths.size() - 1), lengths.back());
        EXPECT_EQ(InflateImageData(file).size(), 224u * (224 * 3 + 1));
        EXPECT_EQ(ReadWithLibpng(file).Warnings, 0);
    }
}

TEST_F(PngWrite, OneHundredAndFiftyThousandCompressedBytesAreCutIntoTwoFullChunksAndTheRest) {
    // Stored deflate blocks make the compressed size the rows' size plus a few bytes of framing
    // (zlib header, check value, five bytes per block), so an image whose rows fit that sum
    // compresses to exactly 150,000 bytes. Try the shapes whose rows add up to each likely sum.
    TPNGObject png;
    png.DeflateLevel = 0;
    std::vector<std::uint32_t> lengths;
    for (std::uint32_t framing = 6 + 5 * 3; framing <= 6 + 5 * 8 && lengths.empty(); framing += 5) {
        const std::uint32_t rowsSize = 150000 - framing;
        for (const auto& [colorType, channels] : {std::pair{kColorGray, 1u}, {kColorRgb, 3u}, {kColorRgbAlpha, 4u}}) {
            for (std::uint32_t height = 1; height <= rowsSize / 2 && lengths.empty(); ++height) {
                if (rowsSize % height != 0 || (rowsSize / height - 1) % channels != 0)
                    continue;
                const std::uint32_t width = (rowsSize / height - 1) / channels;
                if (width == 0 || width > 65535)
                    continue;
                MakeImage(png, width, height, 8, colorType);
                std::vector<std::uint32_t> candidate = ChunkLengths(SavePng(png), "IDAT");
                std::uint64_t total = 0;
                for (const std::uint32_t length : candidate)
                    total += length;
                if (total == 150000)
                    lengths = candidate;
            }
        }
    }
    ASSERT_FALSE(lengths.empty()) << "no image compressed to exactly 150,000 bytes";
    EXPECT_THAT(lengths, ::testing::ElementsAre(65535u, 65535u, 18930u));
}

TEST_F(PngWrite, AHugeLimitKeepsEverythingInOneChunk) {
    TPNGObject png;
    TChunkIHDR& h = MakeImage(png, 64, 64, 8, kColorRgbAlpha);
    FillNoise(h, 4);
    png.SetIdatSizeLimit(0x7FFFFFFF);
    EXPECT_EQ(ChunkLengths(SavePng(png), "IDAT").size(), 1u);
}

TEST_F(PngWrite, EveryLevelFromNoneToNineKeepsTheRowsAndRisesInTheStreamHeadersLevelField) {
    // The zlib header's two-bit hint runs from 0 (fastest) to 3 (slowest); a stream of level 0
    // stores the rows with a few bytes of framing.
    TPNGObject png;
    TChunkIHDR& h = MakeImage(png, 40, 30, 8, kColorRgb);
    FillNoise(h, 7);
    const TBytes rows = InflateImageData(SavePng(png));
    int previousField = 0;
    for (int level = 0; level <= 9; ++level) {
        png.DeflateLevel = std::uint8_t(level);
        const TBytes file = SavePng(png);
        EXPECT_EQ(InflateImageData(file), rows) << level;
        const TBytes stream = ChunkData(file, "IDAT");
        ASSERT_GE(stream.size(), 2u);
        const int field = stream[1] >> 6;
        EXPECT_GE(field, previousField) << level;
        previousField = field;
        if (level == 0) {
            EXPECT_EQ(field, 0);
            EXPECT_GT(stream.size(), rows.size());
            EXPECT_LT(stream.size(), rows.size() + 32);
        }
    }
    EXPECT_EQ(previousField, 3);
}

TEST_F(PngWrite, ImageDataTheStorageCapCannotHoldWholeIsStreamedAndTheLastErrorStays) {
    TPNGObject png;
    TChunkIHDR& h = MakeImage(png, 224, 224, 8, kColorRgb);
    FillNoise(h, 8);
    const TBytes whole = SavePng(png);
    // The filtered rows alone, 224 × 673 bytes, are more than the cap.
    gdi::SetBitmapStorageCap(100000);
    gdi::SetLastError(1234);
    const TBytes streamed = SavePng(png);
    EXPECT_EQ(gdi::GetLastError(), 1234u);
    EXPECT_EQ(InflateImageData(streamed), InflateImageData(whole));
    EXPECT_NE(streamed, whole) << "the same compressor made both";
    EXPECT_EQ(ReadWithLibpng(streamed).Warnings, 0);
}

struct TInverseGammaCase {
    std::uint8_t ColorType;
    std::uint8_t Depth;
    std::uint8_t Interlace;
};

class PngInverseGamma : public TPngTest, public ::testing::WithParamInterface<TInverseGammaCase> {};

TEST_P(PngInverseGamma, ColourSamplesGoThroughTheInverseTableAndAlphaDoesNot) {
    const TInverseGammaCase& c = GetParam();
    TPNGObject png;
    TChunkIHDR& h = MakeImage(png, 9, 5, c.Depth, c.ColorType);
    FillNoise(h, 5);
    for (int i = 0; i < 256; ++i)
        png.InverseGammaLookup[std::size_t(i)] = std::uint8_t(255 - i);
    png.InterlaceMode = c.Interlace;
    const TLibpngImage image = ReadWithLibpng(SavePng(png));
    ASSERT_TRUE(image.Ok) << image.Error;
    EXPECT_EQ(image.Warnings, 0);
    EXPECT_EQ(image.Interlace, c.Interlace);
    for (std::uint32_t y = 0; y < 5; ++y) {
        for (std::uint32_t x = 0; x < 9; ++x) {
            const std::uint8_t* stored = h.ColorRow(y) + x * 3;
            const std::size_t at = (y * 9 + x) * 4;
            ASSERT_EQ(image.Rgba[at], 255 - stored[2]) << x << "," << y;
            ASSERT_EQ(image.Rgba[at + 1], 255 - stored[1]);
            ASSERT_EQ(image.Rgba[at + 2], 255 - stored[0]);
            if (c.ColorType == kColorRgbAlpha) {
                ASSERT_EQ(image.Rgba[at + 3], h.AlphaPlane()[y * 9 + x]);
            }
            if (c.Depth == 16) {
                // The low bytes of 16-bit samples are not kept and come out as 0.
                ASSERT_EQ(image.Rgba16[at] & 0xFF, 0);
                ASSERT_EQ(image.Rgba16[at + 3] & 0xFF, c.ColorType == kColorRgbAlpha ? 0 : 0xFF);
            }
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Formats, PngInverseGamma,
                         ::testing::Values(TInverseGammaCase{kColorRgb, 8, 0}, TInverseGammaCase{kColorRgb, 8, 1},
                                           TInverseGammaCase{kColorRgb, 16, 0}, TInverseGammaCase{kColorRgb, 16, 1},
                                           TInverseGammaCase{kColorRgbAlpha, 8, 0}, TInverseGammaCase{kColorRgbAlpha, 8, 1},
                                           TInverseGammaCase{kColorRgbAlpha, 16, 0}, TInverseGammaCase{kColorRgbAlpha, 16, 1}));

// ---- refusals instead of broken files ---------------------------------------------------------

TEST_F(PngWrite, AStreamThatDoesNotTakeEveryByteRaisesTheWriteError) {
    TPNGObject png;
    TChunkIHDR& h = MakeImage(png, 200, 200, 8, kColorRgb);
    FillNoise(h, 6);
    const std::size_t whole = SavePng(png).size();
    for (const std::int64_t capacity : {std::int64_t(4), std::int64_t(20), std::int64_t(whole / 2), std::int64_t(whole - 1)}) {
        TShortStream stream(capacity);
        EXPECT_THROW(png.SaveToStream(stream), EWriteError) << capacity;
    }
    TShortStream roomy{std::int64_t(whole)};
    EXPECT_NO_THROW(png.SaveToStream(roomy));
}

TEST_F(PngWrite, ADeflateFailureRaisesTheZlibErrorWithItsStatusText) {
    TPNGObject png;
    MakeImage(png, 4, 4, 8, kColorRgb);
    png.DeflateLevel = 42;
    TMemoryStream stream;
    EXPECT_THAT([&] { png.SaveToStream(stream); },
                ::testing::ThrowsMessage<EPNGZLIBError>(
                    ::testing::StrEq(base::LoadStr(res::SPngZlibError) + "stream error (-2)")));
}

TEST_F(PngWrite, AFormatWithoutARowWriterIsRefusedBeforeAnythingIsWritten) {
    TPNGObject png;
    MakeImage(png, 4, 4, 4, kColorRgb);
    TMemoryStream stream;
    EXPECT_PNG_ERROR(png.SaveToStream(stream), EPngInvalidIHDR, res::SPngInvalidIHDR);
    EXPECT_EQ(stream.Size(), 0);
}

TEST_F(PngWrite, AnUnknownInterlaceModeIsRefusedBeforeAnythingIsWritten) {
    TPNGObject png;
    MakeImage(png, 4, 4, 8, kColorRgb);
    png.InterlaceMode = 2;
    TMemoryStream stream;
    EXPECT_PNG_ERROR(png.SaveToStream(stream), EPNGUnknownInterlace, res::SPngUnknownInterlace);
    EXPECT_EQ(stream.Size(), 0);
}

TEST_F(PngWrite, AHeaderThatNoLongerDescribesItsStorageIsRefused) {
    TPNGObject png;
    TChunkIHDR& h = MakeImage(png, 4, 4, 8, kColorRgb);
    h.SetWidth(4000);
    TMemoryStream stream;
    EXPECT_PNG_ERROR(png.SaveToStream(stream), EPngInvalidIHDR, res::SPngInvalidIHDR);
}

// ---- round trips ------------------------------------------------------------------------------

class PngRoundTrip : public TPngTest, public ::testing::WithParamInterface<std::string> {};

/// Pixels as our reader sees them: colour and alpha, row by row.
std::vector<std::uint32_t> Pixels(TPNGObject& png) {
    std::vector<std::uint32_t> pixels;
    const TChunkIHDR& h = png.RequireHeader();
    for (std::uint32_t y = 0; y < h.Height(); ++y) {
        for (std::uint32_t x = 0; x < h.Width(); ++x) {
            const std::uint32_t alpha = h.AlphaPlane() != nullptr ? h.AlphaPlane()[y * h.Width() + x] : 255;
            pixels.push_back(std::uint32_t(png.PixelColor(int(x), int(y))) | alpha << 24);
        }
    }
    return pixels;
}

TEST_P(PngRoundTrip, SavedImagesLoadAgainToTheSamePixelsAndLibpngAgrees) {
    TMemoryStream source;
    source.LoadFromFile((fs::path("../shared/corpus/pngsuite") / GetParam()).string());
    TPNGObject png;
    png.LoadFromStream(source);
    const std::vector<std::uint32_t> original = Pixels(png);

    TLibpngImage byMode[2];
    for (const std::uint8_t interlace : {std::uint8_t(0), std::uint8_t(1)}) {
        png.InterlaceMode = interlace;
        const TBytes file = SavePng(png);
        TPNGObject again;
        LoadPng(again, file);
        EXPECT_EQ(Pixels(again), original) << "interlace " << int(interlace);
        if (again.RequireHeader().ExtraPlane() != nullptr) {
            const TChunkIHDR& h = again.RequireHeader();
            const std::size_t bytes = std::size_t(h.RowStride()) * h.Height();
            EXPECT_EQ(std::count(h.ExtraPlane(), h.ExtraPlane() + bytes, 0), std::ptrdiff_t(bytes));
        }
        byMode[interlace] = ReadWithLibpng(file);
        ASSERT_TRUE(byMode[interlace].Ok) << byMode[interlace].Error;
        EXPECT_EQ(byMode[interlace].Warnings, 0);
    }
    EXPECT_EQ(byMode[0].Rgba, byMode[1].Rgba) << "interlaced and sequential output decode differently";
}

std::vector<std::string> ValidSuiteFiles() {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator("../shared/corpus/pngsuite")) {
        const std::string name = entry.path().filename().string();
        if (entry.path().extension() == ".png" && name[0] != 'x')
            names.push_back(name);
    }
    std::sort(names.begin(), names.end());
    return names;
}

INSTANTIATE_TEST_SUITE_P(PngSuite, PngRoundTrip, ::testing::ValuesIn(ValidSuiteFiles()),
                         [](const ::testing::TestParamInfo<std::string>& info) {
                             return info.param.substr(0, info.param.size() - 4);
                         });
