// The PNG object's operations: a new object, the writing settings, copies between PNG objects and
// bitmaps, the clipboard, pixel access and resizing of every storage kind.
#include "PngWriteSupport.h"
#include "graphics/Bitmap.h"

using namespace png;
using graphics::TBitmap;

namespace {

class PngOperations : public TPngTest {};

TBytes GreyRows(std::uint32_t height, const TBytes& row) {
    TBytes rows;
    for (std::uint32_t y = 0; y < height; ++y) {
        rows.push_back(0);
        rows.insert(rows.end(), row.begin(), row.end());
    }
    return rows;
}

/// A bitmap of the depth with a distinct colour at every pixel its palette can show.
void PaintBitmap(TBitmap& bitmap, graphics::TPixelFormat format, int width, int height) {
    bitmap.SetPixelFormat(format);
    bitmap.SetWidth(width);
    bitmap.SetHeight(height);
    HDC dc = bitmap.Canvas().Handle();
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            gdi::SetPixel(dc, x, y, gdi::RGB(std::uint8_t(x * 40), std::uint8_t(y * 60), std::uint8_t((x + y) * 20)));
}

}  // namespace

TEST_F(PngOperations, ANewObjectIsEmptyWithDefaultSettings) {
    TPNGObject png;
    EXPECT_TRUE(png.GetEmpty());
    EXPECT_EQ(png.GetWidth(), 0);
    EXPECT_EQ(png.GetHeight(), 0);
    EXPECT_PNG_ERROR(png.GetTransparent(), EPNGHeaderNotPresent, res::SPngHeaderNotPresent);
    EXPECT_EQ(png.EncodeFilters, FilterBit(pfSub));
    EXPECT_EQ(png.DeflateLevel, 7);
    EXPECT_EQ(png.IdatSizeLimit(), 65535);
    TBitmap target;
    target.SetWidth(2);
    target.SetHeight(2);
    EXPECT_NO_THROW(target.Canvas().Draw(0, 0, &png));
}

TEST_F(PngOperations, TheImageDataLimitNeverGoesBelow65535AndCopiesThroughTheSetter) {
    TPNGObject png;
    png.SetIdatSizeLimit(1000);
    EXPECT_EQ(png.IdatSizeLimit(), 65535);
    png.SetIdatSizeLimit(100000);
    EXPECT_EQ(png.IdatSizeLimit(), 100000);
    png.InterlaceMode = 1;
    png.DeflateLevel = 3;
    png.EncodeFilters = 0x1F;
    TPNGObject copy;
    copy.Assign(&png);
    EXPECT_EQ(copy.IdatSizeLimit(), 100000);
    EXPECT_EQ(copy.InterlaceMode, 1);
    EXPECT_EQ(copy.DeflateLevel, 3);
    EXPECT_EQ(copy.EncodeFilters, 0x1F);
}

TEST_F(PngOperations, ACopyOfAGammaImageSavesTheSameFileAsItsSource) {
    TMemoryStream source;
    source.LoadFromFile("../shared/corpus/pngsuite/g25n2c08.png");
    TPNGObject png;
    png.LoadFromStream(source);
    TPNGObject copy;
    copy.Assign(&png);
    EXPECT_EQ(SavePng(copy), SavePng(png));
    EXPECT_EQ(copy.PixelColor(5, 7), png.PixelColor(5, 7));
}

TEST_F(PngOperations, AssigningNothingClearsAndAssigningAnUnknownGraphicRaisesTheConversionError) {
    TPNGObject png;
    LoadPng(png, TPngBuilder().Header(1, 1, 8, kColorGray).Idat({0, 0}).End().Bytes());
    png.Assign(nullptr);
    EXPECT_TRUE(png.GetEmpty());
    TPersistent other;
    EXPECT_THROW(png.Assign(&other), EConvertError);
    EXPECT_THROW(png.AssignTo(other), EConvertError);
    TBitmap bitmap;
    EXPECT_THROW(png.AssignTo(bitmap), EConvertError);  // no header to draw from
}

struct TFromBitmapCase {
    graphics::TPixelFormat Format;
    std::uint8_t ColorType;
    std::uint8_t BitDepth;
};

class PngFromBitmap : public TPngTest, public ::testing::WithParamInterface<TFromBitmapCase> {};

TEST_P(PngFromBitmap, KeepsThePixelsInTheChosenFormatWithTheChunksInOrder) {
    const TFromBitmapCase& c = GetParam();
    TBitmap bitmap;
    PaintBitmap(bitmap, c.Format, 7, 3);
    for (const bool transparent : {false, true}) {
        bitmap.SetTransparent(transparent);
        bitmap.SetTransparentColor(graphics::TColor(gdi::GetPixel(bitmap.Canvas().Handle(), 0, 0)));
        TPNGObject png;
        png.Assign(&bitmap);
        const TChunkIHDR& h = png.RequireHeader();
        EXPECT_EQ(h.ColorType(), c.ColorType);
        EXPECT_EQ(h.BitDepth(), c.BitDepth);
        std::vector<std::string> expected = {"IHDR"};
        if (c.ColorType == kColorPalette)
            expected.push_back("PLTE");
        if (transparent)
            expected.push_back("tRNS");
        expected.insert(expected.end(), {"IDAT", "IEND"});
        EXPECT_EQ(ChunkTypes(png), expected);
        if (c.ColorType == kColorPalette) {
            EXPECT_EQ(png.ChunkList.FindByClass<TChunkPLTE>()->EntryCount, 1 << c.BitDepth);
        }
        for (int y = 0; y < 3; ++y)
            for (int x = 0; x < 7; ++x)
                ASSERT_EQ(gdi::COLORREF(png.PixelColor(x, y)), gdi::GetPixel(bitmap.Canvas().Handle(), x, y))
                    << x << "," << y;
        EXPECT_EQ(png.GetTransparent(), transparent);
        if (transparent) {
            EXPECT_EQ(png.TransparentColor(), TColor(graphics::ColorToRGB(bitmap.TransparentColor())));
        }
        // The image saves as a file libpng reads without a word.
        const TLibpngImage image = ReadWithLibpng(SavePng(png));
        EXPECT_TRUE(image.Ok) << image.Error;
        EXPECT_EQ(image.Warnings, 0);
    }
}

INSTANTIATE_TEST_SUITE_P(Depths, PngFromBitmap,
                         ::testing::Values(TFromBitmapCase{graphics::px1Bit, kColorPalette, 1},
                                           TFromBitmapCase{graphics::px4Bit, kColorPalette, 4},
                                           TFromBitmapCase{graphics::px8Bit, kColorPalette, 8},
                                           TFromBitmapCase{graphics::px24Bit, kColorRgb, 8},
                                           TFromBitmapCase{graphics::px32Bit, kColorRgb, 8}));

struct TToBitmapCase {
    const char* File;
    graphics::TPixelFormat Format;
    bool Transparent;
};

class PngToBitmap : public TPngTest, public ::testing::WithParamInterface<TToBitmapCase> {};

TEST_P(PngToBitmap, ChoosesThePixelFormatByTransparencyAndDepthAndKeepsTheKeyColour) {
    const TToBitmapCase& c = GetParam();
    TMemoryStream source;
    source.LoadFromFile(std::string("../shared/corpus/pngsuite/") + c.File);
    TPNGObject png;
    png.LoadFromStream(source);
    TBitmap bitmap;
    bitmap.Assign(&png);
    EXPECT_EQ(bitmap.PixelFormat(), c.Format);
    EXPECT_EQ(bitmap.GetWidth(), png.GetWidth());
    EXPECT_EQ(bitmap.GetHeight(), png.GetHeight());
    EXPECT_EQ(bitmap.GetTransparent(), c.Transparent);
    if (c.Transparent) {
        EXPECT_EQ(graphics::ColorToRGB(bitmap.TransparentColor()), gdi::COLORREF(png.TransparentColor()));
    }
    if (!png.GetTransparent() && c.Format == graphics::px24Bit) {
        EXPECT_EQ(gdi::GetPixel(bitmap.Canvas().Handle(), 3, 4), gdi::COLORREF(png.PixelColor(3, 4)));
    }
}

INSTANTIATE_TEST_SUITE_P(Modes, PngToBitmap,
                         ::testing::Values(TToBitmapCase{"basn2c08.png", graphics::px24Bit, false},
                                           TToBitmapCase{"basn0g01.png", graphics::px1Bit, false},
                                           TToBitmapCase{"basn0g02.png", graphics::px4Bit, false},
                                           TToBitmapCase{"basn3p08.png", graphics::px8Bit, false},
                                           TToBitmapCase{"basn0g16.png", graphics::px24Bit, false},
                                           TToBitmapCase{"tbrn2c08.png", graphics::px24Bit, true},
                                           TToBitmapCase{"tp1n3p08.png", graphics::px8Bit, true},
                                           TToBitmapCase{"tbbn3p08.png", graphics::px8Bit, true},
                                           TToBitmapCase{"tm3n3p02.png", graphics::px24Bit, false},
                                           TToBitmapCase{"basn6a08.png", graphics::px24Bit, false}));

TEST_F(PngOperations, TheClipboardCarriesTheImageThroughABitmap) {
    TMemoryStream source;
    source.LoadFromFile("../shared/corpus/pngsuite/basn2c08.png");
    TPNGObject png;
    png.LoadFromStream(source);
    std::uint16_t format = 0;
    graphics::THandle data = 0;
    HPALETTE palette = nullptr;
    png.SaveToClipboardFormat(format, data, palette);
    TPNGObject pasted;
    pasted.LoadFromClipboardFormat(format, data, palette);
    EXPECT_EQ(pasted.GetWidth(), 32);
    for (int y = 0; y < 32; y += 5)
        for (int x = 0; x < 32; x += 3)
            ASSERT_EQ(pasted.PixelColor(x, y), png.PixelColor(x, y)) << x << "," << y;
}

// ---- pixels -----------------------------------------------------------------------------------

TEST_F(PngOperations, PackedGreyPixelsReadAsTheirLevels) {
    TPNGObject png;
    LoadPng(png, TPngBuilder().Header(4, 1, 2, kColorGray).Idat({0, 0x1B}).End().Bytes());
    EXPECT_EQ(png.PixelColor(0, 0), TColor(0x000000));
    EXPECT_EQ(png.PixelColor(1, 0), TColor(0x555555));
    EXPECT_EQ(png.PixelColor(2, 0), TColor(0xAAAAAA));
    EXPECT_EQ(png.PixelColor(3, 0), TColor(0xFFFFFF));
    EXPECT_EQ(png.PixelColor(4, 0), 0);
    EXPECT_EQ(png.PixelColor(-1, 0), 0);
    LoadPng(png, TPngBuilder().Header(10, 1, 1, kColorGray).Idat({0, 0x80, 0x40}).End().Bytes());
    EXPECT_EQ(png.PixelColor(0, 0), TColor(0xFFFFFF));
    EXPECT_EQ(png.PixelColor(1, 0), TColor(0));
    EXPECT_EQ(png.PixelColor(9, 0), TColor(0xFFFFFF));
}

TEST_F(PngOperations, WritingOnePixelOfAOneBitImageChangesOnlyItsBit) {
    TPNGObject png;
    LoadPng(png, TPngBuilder()
                     .Header(16, 2, 1, kColorPalette)
                     .Plte({0, 0, 0, 255, 255, 255})
                     .Idat(GreyRows(2, {0x5A, 0xC3}))
                     .End()
                     .Bytes());
    const std::uint8_t* row = png.RequireHeader().ColorRow(1);
    png.SetPixelColor(2, 1, TColor(0xFFFFFF));
    EXPECT_EQ(row[0], 0x7A);
    EXPECT_EQ(row[1], 0xC3);
    png.SetPixelColor(9, 1, TColor(0x101010));
    EXPECT_EQ(row[1], 0x83);
    EXPECT_EQ(png.RequireHeader().ColorRow(0)[0], 0x5A);
    png.SetPixelColor(16, 1, TColor(0));  // outside: nothing
    EXPECT_EQ(png.PixelColor(2, 1), TColor(0xFFFFFF));
}

TEST_F(PngOperations, PalettePixelsReadAsTheColoursTheImageShowsUnderGamma) {
    TPNGObject png;
    LoadPng(png, TPngBuilder()
                     .Header(1, 1, 8, kColorPalette)
                     .Gama(100000)
                     .Plte({128, 128, 128})
                     .Idat({0, 0})
                     .End()
                     .Bytes());
    // The palette went through the gamma table once when it was read; the pixel shows that.
    EXPECT_EQ(png.PixelColor(0, 0), TColor(0xBABABA));
    TBitmap target;
    target.SetPixelFormat(graphics::px24Bit);
    target.SetWidth(1);
    target.SetHeight(1);
    target.Canvas().Draw(0, 0, &png);
    EXPECT_EQ(gdi::GetPixel(target.Canvas().Handle(), 0, 0), gdi::COLORREF(png.PixelColor(0, 0)));
}

TEST_F(PngOperations, RgbAndGreyAlphaPixelsWriteTheirSamples) {
    TPNGObject png;
    LoadPng(png, TPngBuilder().Header(2, 1, 8, kColorRgbAlpha).Idat({0, 1, 2, 3, 4, 5, 6, 7, 8}).End().Bytes());
    png.SetPixelColor(1, 0, TColor(0x332211));
    EXPECT_EQ(png.PixelColor(1, 0), TColor(0x332211));
    EXPECT_EQ(png.RequireHeader().AlphaPlane()[1], 8);
    LoadPng(png, TPngBuilder().Header(1, 1, 8, kColorGrayAlpha).Idat({0, 9, 9}).End().Bytes());
    png.SetPixelColor(0, 0, TColor(0x0000AB));
    EXPECT_EQ(png.PixelColor(0, 0), TColor(0xABABAB));
}

// ---- resizing ---------------------------------------------------------------------------------

TEST_F(PngOperations, ResizingToAnEmptySizeRaisesAndChangesNothing) {
    TPNGObject png;
    LoadPng(png, TPngBuilder().Header(3, 2, 8, kColorGray).Idat(GreyRows(2, {1, 2, 3})).End().Bytes());
    EXPECT_PNG_ERROR(png.ResizeImage(0, 10), EPNGInvalidNewSize, res::SPngInvalidNewSize);
    EXPECT_PNG_ERROR(png.SetHeight(-1), EPNGInvalidNewSize, res::SPngInvalidNewSize);
    EXPECT_PNG_ERROR(png.ResizeImage(65536, 1), EPNGSizeExceeds, res::SPngSizeExceeds);
    EXPECT_EQ(png.GetWidth(), 3);
    EXPECT_EQ(png.GetHeight(), 2);
    TPNGObject empty;
    EXPECT_PNG_ERROR(empty.ResizeImage(1, 1), EPNGHeaderNotPresent, res::SPngHeaderNotPresent);
}

class PngResize : public TPngTest, public ::testing::WithParamInterface<const char*> {};

TEST_P(PngResize, KeepsThePixelsAtTheTopLeftWhenGrowingAndShrinking) {
    TMemoryStream source;
    source.LoadFromFile(std::string("../shared/corpus/pngsuite/") + GetParam());
    TPNGObject png;
    png.LoadFromStream(source);
    const bool alpha = png.RequireHeader().AlphaPlane() != nullptr;
    auto pixel = [](TPNGObject& image, int x, int y) {
        const TChunkIHDR& h = image.RequireHeader();
        const std::uint32_t a = h.AlphaPlane() != nullptr ? h.AlphaPlane()[std::size_t(y) * h.Width() + std::size_t(x)] : 0;
        return std::uint64_t(std::uint32_t(image.PixelColor(x, y))) | std::uint64_t(a) << 32;
    };
    TPNGObject original;
    original.Assign(&png);

    png.ResizeImage(45, 37);
    EXPECT_EQ(png.GetWidth(), 45);
    EXPECT_EQ(png.GetHeight(), 37);
    for (int y = 0; y < 37; ++y) {
        for (int x = 0; x < 45; ++x) {
            if (x < 32 && y < 32) {
                ASSERT_EQ(pixel(png, x, y), pixel(original, x, y)) << x << "," << y;
            } else {
                const TChunkIHDR& h = png.RequireHeader();
                ASSERT_EQ(h.ColorRow(std::uint32_t(y))[x * h.BitmapInfo().bmiHeader.biBitCount / 8], 0) << x << "," << y;
                if (alpha) {
                    ASSERT_EQ(h.AlphaPlane()[std::size_t(y) * 45 + std::size_t(x)], 255);
                }
            }
        }
    }
    png.SetWidth(5);
    png.SetHeight(3);
    for (int y = 0; y < 3; ++y)
        for (int x = 0; x < 5; ++x)
            ASSERT_EQ(pixel(png, x, y), pixel(original, x, y)) << x << "," << y;
    // The new size is what a save writes, and the file reads back.
    TPNGObject again;
    LoadPng(again, SavePng(png));
    EXPECT_EQ(again.GetWidth(), 5);
    EXPECT_EQ(pixel(again, 4, 2), pixel(original, 4, 2));
}

INSTANTIATE_TEST_SUITE_P(Storage, PngResize,
                         ::testing::Values("basn0g01.png", "basn0g02.png", "basn0g04.png", "basn0g08.png",
                                           "basn0g16.png", "basn3p01.png", "basn3p04.png", "basn3p08.png",
                                           "basn2c08.png", "basn2c16.png", "basn4a08.png", "basn4a16.png",
                                           "basn6a08.png", "basn6a16.png"));
