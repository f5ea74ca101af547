// The palette, transparency and gamma chunks: their reading, what they change in the image, the
// transparency mode and the transparent colour.
#include "PngTestSupport.h"

#include <cstring>

using namespace png;
using ::testing::ElementsAre;

namespace {

TBytes PaletteImage(const TBytes& plte, const TBytes& trns = {}, bool withTrns = false) {
    TPngBuilder b;
    b.Header(2, 1, 8, kColorPalette).Plte(plte);
    if (withTrns)
        b.Trns(trns);
    return b.Idat({0, 0, 1}).End().Bytes();
}

}  // namespace

struct TPaletteLength {
    std::size_t Bytes;
    bool Accepted;
};

class PngPaletteLength : public TPngTest, public ::testing::WithParamInterface<TPaletteLength> {};

TEST_P(PngPaletteLength, IsAWholeNumberOfAtMost256Entries) {
    const TBytes bytes = TPngBuilder()
                             .Header(1, 1, 8, kColorPalette)
                             .Plte(TBytes(GetParam().Bytes, 7))
                             .Idat({0, 0})
                             .End()
                             .Bytes();
    TPNGObject png;
    if (GetParam().Accepted) {
        LoadPng(png, bytes);
        EXPECT_EQ(png.ChunkList.FindByClass<TChunkPLTE>()->EntryCount, int(GetParam().Bytes / 3));
    } else {
        EXPECT_PNG_ERROR(LoadPng(png, bytes), EPNGInvalidPalette, res::SPngInvalidPalette);
        EXPECT_THAT(ChunkTypes(png), ElementsAre("IHDR", "PLTE"));
    }
}

INSTANTIATE_TEST_SUITE_P(Lengths, PngPaletteLength,
                         ::testing::Values(TPaletteLength{0, true}, TPaletteLength{3, true}, TPaletteLength{768, true},
                                           TPaletteLength{771, false}, TPaletteLength{10, false}));

TEST_F(TPngTest, APaletteFillsTheFrontOfTheColourTable) {
    TPNGObject png;
    LoadPng(png, TPngBuilder()
                     .Header(2, 1, 8, kColorPalette)
                     .Plte({10, 20, 30, 40, 50, 60, 70, 80, 90, 1, 2, 3})
                     .Idat({0, 3, 1})
                     .End()
                     .Bytes());
    const TChunkIHDR& h = png.RequireHeader();
    EXPECT_EQ(h.BitmapInfo().bmiHeader.biClrUsed, 4u);
    const gdi::RGBQUAD& entry = h.BitmapInfo().bmiColors[1];
    EXPECT_THAT((std::vector<int>{entry.rgbRed, entry.rgbGreen, entry.rgbBlue}), ElementsAre(40, 50, 60));
    const TChunkPLTE& palette = *png.ChunkList.FindByClass<TChunkPLTE>();
    EXPECT_EQ(palette.PaletteEntryColor(3), 0x00010203u);
    EXPECT_PNG_ERROR(palette.PaletteEntryColor(4), EPngError, res::SPngNoSuchPaletteEntry);
    // The palette handle is the image's and holds the same colours.
    gdi::PALETTEENTRY entries[4];
    ASSERT_EQ(gdi::GetPaletteEntries(png.GetPalette(), 0, 4, entries), 4u);
    EXPECT_EQ(entries[2].peRed, 70);
}

TEST_F(TPngTest, GammaChangesPaletteColoursOnlyWhenReadBeforeThePalette) {
    TPNGObject png;
    LoadPng(png, TPngBuilder().Header(1, 1, 8, kColorPalette).Gama(100000).Plte({128, 128, 128}).Idat({0, 0}).End().Bytes());
    EXPECT_EQ(png.RequireHeader().BitmapInfo().bmiColors[0].rgbRed, 186);
    LoadPng(png, TPngBuilder().Header(1, 1, 8, kColorPalette).Plte({128, 128, 128}).Gama(100000).Idat({0, 0}).End().Bytes());
    EXPECT_EQ(png.RequireHeader().BitmapInfo().bmiColors[0].rgbRed, 128);
}

TEST_F(TPngTest, GammaTablesFollowTheFormulaAndTheInverseKeepsTheLargestSource) {
    TPNGObject png;
    LoadPng(png, TPngBuilder().Header(1, 1, 8, kColorRgb).Gama(0).Idat({0, 1, 2, 3}).End().Bytes());
    for (int i = 0; i < 256; ++i)
        ASSERT_EQ(png.GammaLookup[std::size_t(i)], i);
    // Gamma 1 / 100000: every level but the brightest falls to 0.
    LoadPng(png, TPngBuilder().Header(1, 1, 8, kColorRgb).Gama(1).Idat({0, 1, 2, 3}).End().Bytes());
    EXPECT_EQ(png.GammaLookup[254], 0);
    EXPECT_EQ(png.GammaLookup[255], 255);
    EXPECT_EQ(png.InverseGammaLookup[0], 254);
    EXPECT_EQ(png.InverseGammaLookup[255], 255);
    EXPECT_EQ(png.InverseGammaLookup[100], 100);
    LoadPng(png, TPngBuilder().Header(1, 1, 8, kColorRgb).Gama(100000).Idat({0, 1, 2, 3}).End().Bytes());
    EXPECT_EQ(png.GammaLookup[128], 186);
    EXPECT_EQ(png.GammaLookup[0], 0);
    EXPECT_EQ(png.GammaLookup[1], 21);
    EXPECT_EQ(png.InverseGammaLookup[186], 128);
    // A new reading starts again from the identity.
    LoadPng(png, TPngBuilder().Header(1, 1, 8, kColorRgb).Idat({0, 1, 2, 3}).End().Bytes());
    EXPECT_EQ(png.GammaLookup[128], 128);
}

TEST_F(TPngTest, ACopyBetweenChunksOfDifferentClassesIsRefused) {
    TPNGObject png;
    LoadPng(png, PaletteImage({1, 2, 3}));
    TChunkgAMA gamma(png);
    EXPECT_EQ(gamma.GammaValue(), 1u);
    EXPECT_PNG_ERROR(gamma.CopyChunk(*png.ChunkList.Chunk(0)), EPngError, res::SPngChunksNotCompatible);
    EXPECT_PNG_ERROR(png.ChunkList.Chunk(0)->CopyChunk(gamma), EPngError, res::SPngChunksNotCompatible);
    EXPECT_PNG_ERROR(png.ChunkList.FindByClass<TChunkPLTE>()->CopyChunk(gamma), EPngError,
                     res::SPngChunksNotCompatible);
    TChunkgAMA other(png);
    other.SetGammaValue(45455);
    gamma.CopyChunk(other);
    EXPECT_EQ(gamma.GammaValue(), 45455u);
}

TEST_F(TPngTest, ACopiedHeaderBuildsItsOwnStorageWithThePixels) {
    TPNGObject source;
    LoadPng(source, TPngBuilder().Header(3, 2, 8, kColorRgbAlpha).Idat({0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 0,
                                                                         13, 14, 15, 16, 17, 18, 19, 20, 21, 22, 23, 24})
                            .End()
                            .Bytes());
    TPNGObject target;
    TChunkIHDR copy(target);
    copy.CopyChunk(source.RequireHeader());
    EXPECT_EQ(copy.Width(), 3u);
    EXPECT_NE(copy.ColorPlane(), source.RequireHeader().ColorPlane());
    EXPECT_EQ(std::memcmp(copy.ColorPlane(), source.RequireHeader().ColorPlane(), 2 * 12), 0);
    EXPECT_EQ(std::memcmp(copy.AlphaPlane(), source.RequireHeader().AlphaPlane(), 6), 0);
}

// ---- transparency -----------------------------------------------------------------------------

struct TTransparencyCase {
    const char* Name;
    TBytes Bytes;
    TPngTransparencyMode Mode;
    TColor Color;
};

class PngTransparency : public TPngTest, public ::testing::WithParamInterface<TTransparencyCase> {};

TEST_P(PngTransparency, GivesTheModeAndTheTransparentColour) {
    TPNGObject png;
    LoadPng(png, GetParam().Bytes);
    EXPECT_EQ(png.TransparencyMode(), GetParam().Mode);
    EXPECT_EQ(png.GetTransparent(), GetParam().Mode != TPngTransparencyMode::ptmNone);
    EXPECT_EQ(png.TransparentColor(), GetParam().Color);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, PngTransparency,
    ::testing::Values(
        TTransparencyCase{"PaletteOneTransparentEntry", PaletteImage({1, 2, 3, 4, 5, 6, 7, 8, 9}, {255, 0, 255}, true),
                          TPngTransparencyMode::ptmBit, TColor(gdi::RGB(4, 5, 6))},
        TTransparencyCase{"PaletteOneGradedEntry", PaletteImage({1, 2, 3, 4, 5, 6}, {255, 128}, true),
                          TPngTransparencyMode::ptmBit, 0},
        TTransparencyCase{"PaletteTwoEntries", PaletteImage({1, 2, 3, 4, 5, 6}, {0, 0}, true),
                          TPngTransparencyMode::ptmPartial, TColor(gdi::RGB(1, 2, 3))},
        TTransparencyCase{"PaletteWithoutTransparency", PaletteImage({1, 2, 3}), TPngTransparencyMode::ptmNone, 0},
        TTransparencyCase{"PaletteEntryBeyondThePalette", PaletteImage({1, 2, 3}, {255, 0}, true),
                          TPngTransparencyMode::ptmBit, 0},
        TTransparencyCase{"TransparencyWithoutPalette",
                          TPngBuilder().Header(1, 1, 8, kColorPalette).Trns({0}).Idat({0, 0}).End().Bytes(),
                          TPngTransparencyMode::ptmBit, 0},
        TTransparencyCase{"RgbKey",
                          TPngBuilder().Header(1, 1, 8, kColorRgb).Trns({0, 10, 0, 20, 0, 30}).Idat({0, 1, 2, 3}).End().Bytes(),
                          TPngTransparencyMode::ptmBit, TColor(gdi::RGB(10, 20, 30))},
        // Sixteen-bit samples are stored by their high byte, so the key is too.
        TTransparencyCase{"Rgb16Key",
                          TPngBuilder().Header(1, 1, 16, kColorRgb).Trns({10, 1, 20, 2, 30, 3}).Idat(TBytes(7, 0)).End().Bytes(),
                          TPngTransparencyMode::ptmBit, TColor(gdi::RGB(10, 20, 30))},
        TTransparencyCase{"RgbWithoutKey", TPngBuilder().Header(1, 1, 8, kColorRgb).Idat({0, 1, 2, 3}).End().Bytes(),
                          TPngTransparencyMode::ptmNone, 0},
        TTransparencyCase{"GreyKey", TPngBuilder().Header(1, 1, 8, kColorGray).Trns({0, 77}).Idat({0, 0}).End().Bytes(),
                          TPngTransparencyMode::ptmBit, TColor(gdi::RGB(77, 77, 77))},
        TTransparencyCase{"Grey16Key", TPngBuilder().Header(1, 1, 16, kColorGray).Trns({0x80, 0x01}).Idat({0, 0, 0}).End().Bytes(),
                          TPngTransparencyMode::ptmBit, TColor(gdi::RGB(128, 128, 128))},
        TTransparencyCase{"Grey2Key", TPngBuilder().Header(1, 1, 2, kColorGray).Trns({0, 2}).Idat({0, 0}).End().Bytes(),
                          TPngTransparencyMode::ptmBit, TColor(gdi::RGB(170, 170, 170))},
        TTransparencyCase{"GreyAlpha", TPngBuilder().Header(1, 1, 8, kColorGrayAlpha).Idat({0, 0, 0}).End().Bytes(),
                          TPngTransparencyMode::ptmPartial, 0},
        TTransparencyCase{"RgbAlpha", TPngBuilder().Header(1, 1, 8, kColorRgbAlpha).Idat({0, 0, 0, 0, 0}).End().Bytes(),
                          TPngTransparencyMode::ptmPartial, 0}),
    [](const auto& info) { return std::string(info.param.Name); });

TEST_F(TPngTest, ATransparencyChunkLongerThan256BytesIsRefused) {
    TPNGObject png;
    EXPECT_PNG_ERROR(LoadPng(png, PaletteImage({1, 2, 3}, TBytes(257, 0), true)), EPNGInvalidPalette,
                     res::SPngInvalidPalette);
}

TEST_F(TPngTest, AColourKeyIsBuiltForEachColourType) {
    TPNGObject png;
    LoadPng(png, TPngBuilder().Header(1, 1, 8, kColorRgb).Idat({0, 1, 2, 3}).End().Bytes());
    TChunktRNS rgb(png);
    rgb.MakeColorKey(TColor(gdi::RGB(10, 20, 30)));
    EXPECT_EQ(rgb.DataSize(), 6);
    EXPECT_THAT(TBytes(rgb.Data(), rgb.Data() + 6), ElementsAre(0, 10, 0, 20, 0, 30));
    EXPECT_TRUE(rgb.BitTransparency);

    LoadPng(png, PaletteImage({1, 2, 3, 4, 5, 6, 7, 8, 9}));
    TChunktRNS found(png);
    found.MakeColorKey(TColor(gdi::RGB(7, 8, 9)));
    EXPECT_THAT(TBytes(found.Data(), found.Data() + found.DataSize()), ElementsAre(255, 255, 0));

    // No entry of a full 256-entry table has the colour: the chunk stays within 256 bytes and
    // marks nothing transparent.
    LoadPng(png, PaletteImage(TBytes(768, 1)));
    TChunktRNS missing(png);
    missing.MakeColorKey(TColor(gdi::RGB(7, 8, 9)));
    EXPECT_EQ(missing.DataSize(), 256);
    EXPECT_FALSE(missing.BitTransparency);
    EXPECT_EQ(missing.AlphaTable[255], 255);
}
