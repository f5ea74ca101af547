// Drawing PNG images into a 64 × 64 thumbnail cell the way the thumbnail builder does: the cell
// is filled with its brush colour, then the picture is drawn centred at its own size or
// stretched over the cell. Transparent parts must show the fill colour.
#include "PngTestSupport.h"

#include "platform/gdi/Screen.h"

using namespace png;
using graphics::Rect;
using graphics::TBitmap;
using ::testing::ElementsAre;
using ::testing::ElementsAreArray;

namespace {

constexpr TColor kFill = TColor(gdi::RGB(0x20, 0x40, 0x60));
constexpr std::uint32_t kFillRgb = 0x204060;

class TCell {
public:
    explicit TCell(int width = 64, int height = 64) {
        FBitmap.SetWidth(width);
        FBitmap.SetHeight(height);
        FBitmap.Canvas().Brush().SetColor(kFill);
        FBitmap.Canvas().FillRect(Rect(0, 0, width, height));
    }
    /// As the thumbnail builder: centred when it fits, else stretched over the cell.
    void DrawThumbnail(TPNGObject& png) {
        if (png.Width() <= FBitmap.Width() && png.Height() <= FBitmap.Height()) {
            const int y = int(double(FBitmap.Height() - png.Height()) / 2 + 0.5);
            const int x = int(double(FBitmap.Width() - png.Width()) / 2 + 0.5);
            FBitmap.Canvas().Draw(x, y, &png);
        } else {
            FBitmap.Canvas().StretchDraw(Rect(0, 0, FBitmap.Width(), FBitmap.Height()), &png);
        }
    }
    void Stretch(TPNGObject& png, const graphics::TRect& rect) { png.Draw(FBitmap.Canvas(), rect); }
    std::uint32_t At(int x, int y) { return PixelAt(FBitmap, x, y); }
    std::vector<std::uint32_t> All() { return ReadPixels(FBitmap); }
    TBitmap& Bitmap() { return FBitmap; }

private:
    TBitmap FBitmap;
};

std::uint32_t Rgb(int r, int g, int b) { return std::uint32_t((r << 16) | (g << 8) | b); }

}  // namespace

TEST_F(TPngTest, AnEmptyImageDrawsNothing) {
    TCell cell;
    const auto before = cell.All();
    const std::size_t live = gdi::LiveObjectCount();
    TPNGObject png;
    cell.Stretch(png, Rect(0, 0, 64, 64));
    EXPECT_EQ(gdi::LiveObjectCount(), live);
    EXPECT_EQ(cell.All(), before);
}

TEST_F(TPngTest, AnOpaqueImageIsDrawnCentredAtItsOwnSize) {
    TPNGObject png;
    LoadPng(png, TPngBuilder().Header(2, 2, 8, kColorRgb).Idat({0, 255, 0, 0, 0, 255, 0, 0, 0, 0, 255, 9, 9, 9}).End().Bytes());
    TCell cell;
    cell.DrawThumbnail(png);
    EXPECT_EQ(cell.At(31, 31), Rgb(255, 0, 0));
    EXPECT_EQ(cell.At(32, 31), Rgb(0, 255, 0));
    EXPECT_EQ(cell.At(31, 32), Rgb(0, 0, 255));
    EXPECT_EQ(cell.At(32, 32), Rgb(9, 9, 9));
    EXPECT_EQ(cell.At(30, 31), kFillRgb);
    EXPECT_EQ(cell.At(33, 33), kFillRgb);
}

TEST_F(TPngTest, APaletteAndAGreyImageDrawTheirColourTables) {
    TPNGObject png;
    LoadPng(png, TPngBuilder().Header(3, 1, 4, kColorPalette).Plte({1, 2, 3, 200, 100, 50}).Idat({0, 0x10, 0x10}).End().Bytes());
    TCell cell;
    cell.Stretch(png, Rect(0, 0, 3, 1));
    EXPECT_EQ(cell.At(0, 0), Rgb(200, 100, 50));
    EXPECT_EQ(cell.At(1, 0), Rgb(1, 2, 3));
    EXPECT_EQ(cell.At(2, 0), Rgb(200, 100, 50));
    LoadPng(png, TPngBuilder().Header(4, 1, 2, kColorGray).Idat({0, 0b00011011}).End().Bytes());
    cell.Stretch(png, Rect(0, 1, 4, 2));
    EXPECT_EQ(cell.At(1, 1), Rgb(85, 85, 85));
    EXPECT_EQ(cell.At(3, 1), Rgb(255, 255, 255));
}

TEST_F(TPngTest, AKeyedRgbImageShowsTheCellWhereTheKeyColourIs) {
    TPNGObject png;
    LoadPng(png, TPngBuilder()
                     .Header(3, 1, 8, kColorRgb)
                     .Trns({0, 10, 0, 20, 0, 30})
                     .Idat({0, 10, 20, 30, 200, 0, 0, 10, 20, 31})
                     .End()
                     .Bytes());
    TCell cell;
    cell.DrawThumbnail(png);
    EXPECT_EQ(cell.At(31, 32), kFillRgb);
    EXPECT_EQ(cell.At(32, 32), Rgb(200, 0, 0));
    EXPECT_EQ(cell.At(33, 32), Rgb(10, 20, 31));
}

TEST_F(TPngTest, AKeyedImageDrawsNothingIntoAnEmptyOrReversedRectangle) {
    TPNGObject png;
    LoadPng(png, TPngBuilder().Header(2, 1, 8, kColorRgb).Trns({0, 1, 0, 1, 0, 1}).Idat({0, 9, 9, 9, 1, 1, 1}).End().Bytes());
    TCell cell;
    const auto before = cell.All();
    cell.Stretch(png, Rect(10, 0, 0, 1));
    cell.Stretch(png, Rect(0, 10, 2, 0));
    cell.Stretch(png, Rect(3, 3, 3, 9));
    EXPECT_EQ(cell.All(), before);
}

TEST_F(TPngTest, AColourKeyComparesColoursNotPaletteIndices) {
    // Entry 0 is transparent; entry 2 is opaque but has the same colour, so it is left out too.
    TPNGObject png;
    LoadPng(png, TPngBuilder()
                     .Header(3, 1, 8, kColorPalette)
                     .Plte({9, 9, 9, 250, 250, 0, 9, 9, 9})
                     .Trns({0})
                     .Idat({0, 0, 1, 2})
                     .End()
                     .Bytes());
    ASSERT_EQ(png.TransparencyMode(), TPngTransparencyMode::ptmBit);
    TCell cell;
    cell.Stretch(png, Rect(4, 4, 7, 5));
    EXPECT_THAT((std::vector<std::uint32_t>{cell.At(4, 4), cell.At(5, 4), cell.At(6, 4)}),
                ElementsAre(kFillRgb, Rgb(250, 250, 0), kFillRgb));
}

TEST_F(TPngTest, AlphaBlendingUsesTheShiftFormula) {
    // Alpha 0, 255, 128 and 1 over a white cell.
    TPNGObject png;
    LoadPng(png, TPngBuilder()
                     .Header(4, 1, 8, kColorRgbAlpha)
                     .Idat({0, 255, 0, 0, 0, 10, 20, 30, 255, 0, 0, 0, 128, 200, 100, 50, 1})
                     .End()
                     .Bytes());
    TBitmap white;
    white.SetWidth(4);
    white.SetHeight(1);
    white.Canvas().Brush().SetColor(graphics::clWhite);
    white.Canvas().FillRect(Rect(0, 0, 4, 1));
    png.Draw(white.Canvas(), Rect(0, 0, 4, 1));
    EXPECT_EQ(PixelAt(white, 0, 0), Rgb(255, 255, 255));
    EXPECT_EQ(PixelAt(white, 1, 0), Rgb(10, 20, 30));
    // (0 × 128 + 255 × 127 + 255) >> 8 = 127.
    EXPECT_EQ(PixelAt(white, 2, 0), Rgb(127, 127, 127));
    // (200 × 1 + 255 × 254 + 255) >> 8 = 254, likewise for the others.
    EXPECT_EQ(PixelAt(white, 3, 0), Rgb(254, 254, 254));
}

TEST_F(TPngTest, AlphaImagesShowTheCellThroughTheirTransparentParts) {
    TPNGObject png;
    LoadPng(png, TPngBuilder().Header(2, 1, 8, kColorRgbAlpha).Idat({0, 255, 255, 255, 0, 1, 2, 3, 255}).End().Bytes());
    TCell cell;
    cell.DrawThumbnail(png);
    EXPECT_EQ(cell.At(31, 32), kFillRgb);
    EXPECT_EQ(cell.At(32, 32), Rgb(1, 2, 3));
    // Grey with alpha blends its grey byte into every channel, even at alpha 0.
    LoadPng(png, TPngBuilder().Header(2, 1, 8, kColorGrayAlpha).Idat({0, 200, 0, 200, 255}).End().Bytes());
    TCell grey;
    grey.DrawThumbnail(png);
    EXPECT_EQ(grey.At(31, 32), kFillRgb);
    EXPECT_EQ(grey.At(32, 32), Rgb(200, 200, 200));
}

TEST_F(TPngTest, GradedPaletteTransparencyBlendsPackedRows) {
    for (std::uint8_t depth : {std::uint8_t(1), std::uint8_t(2), std::uint8_t(4)}) {
        // Width 3: not a whole number of pixels per byte at any of these depths.
        const std::uint8_t packed = depth == 1 ? 0b01000000 : depth == 2 ? 0b00010000 : 0x01;
        const TBytes rows = depth == 4 ? TBytes{0, packed, 0x00} : TBytes{0, packed};
        TPNGObject png;
        LoadPng(png, TPngBuilder()
                         .Header(3, 1, depth, kColorPalette)
                         .Plte({255, 255, 255, 0, 0, 0})
                         .Trns({0, 128})
                         .Idat(rows)
                         .End()
                         .Bytes());
        ASSERT_EQ(png.TransparencyMode(), TPngTransparencyMode::ptmPartial);
        TCell cell;
        cell.Stretch(png, Rect(0, 0, 3, 1));
        const std::uint32_t half = Rgb((0x20 * 127 + 255) >> 8, (0x40 * 127 + 255) >> 8, (0x60 * 127 + 255) >> 8);
        EXPECT_THAT((std::vector<std::uint32_t>{cell.At(0, 0), cell.At(1, 0), cell.At(2, 0)}),
                    ElementsAre(kFillRgb, half, kFillRgb))
            << int(depth);
        EXPECT_EQ(cell.At(3, 0), kFillRgb);
    }
}

TEST_F(TPngTest, BlendingAnIndexBeyondThePaletteFailsAndLeavesTheCell) {
    TPNGObject png;
    LoadPng(png, TPngBuilder().Header(2, 1, 8, kColorPalette).Plte({1, 2, 3}).Trns({0, 0}).Idat({0, 0, 5}).End().Bytes());
    TCell cell;
    const auto before = cell.All();
    EXPECT_PNG_ERROR(cell.Stretch(png, Rect(0, 0, 2, 1)), EPngError, res::SPngNoSuchPaletteEntry);
    EXPECT_EQ(cell.All(), before);
}

TEST_F(TPngTest, ShrinkingSamplesColumnsByTruncatingAgainstTheStoredFactor) {
    TBytes rows = {0};
    for (int x = 0; x < 100; ++x)
        rows.insert(rows.end(), {std::uint8_t(x), 0, 0, 255});
    TPNGObject png;
    LoadPng(png, TPngBuilder().Header(100, 1, 8, kColorRgbAlpha).Idat(rows).End().Bytes());
    TCell cell;
    cell.DrawThumbnail(png);
    std::vector<int> columns;
    for (int i = 0; i <= 16; ++i)
        columns.push_back(int(cell.At(i, 40) >> 16));
    EXPECT_THAT(columns, ElementsAre(0, 1, 3, 4, 6, 7, 9, 10, 12, 14, 15, 17, 18, 20, 21, 23, 24));
    EXPECT_EQ(cell.At(32, 63) >> 16, 49u);
    EXPECT_EQ(cell.At(48, 0) >> 16, 74u);
    EXPECT_EQ(cell.At(63, 0) >> 16, 98u);
}

TEST_F(TPngTest, GrowingRepeatsEverySourceColumn) {
    TBytes rows = {0};
    for (int x = 0; x < 64; ++x)
        rows.insert(rows.end(), {std::uint8_t(x), 0, 0, 255});
    TPNGObject png;
    LoadPng(png, TPngBuilder().Header(64, 1, 8, kColorRgbAlpha).Idat(rows).End().Bytes());
    TCell wide(128, 2);
    wide.Stretch(png, Rect(0, 0, 128, 2));
    for (int i = 0; i < 128; ++i)
        ASSERT_EQ(wide.At(i, 1) >> 16, std::uint32_t(i / 2)) << i;
}

TEST_F(TPngTest, AReversedRectangleBlendsUnmirroredButDrawsOpaqueMirrored) {
    TBytes alphaRows = {0}, opaqueRows = {0};
    for (int x = 0; x < 4; ++x) {
        alphaRows.insert(alphaRows.end(), {std::uint8_t(50 * x), 0, 0, 255});
        opaqueRows.insert(opaqueRows.end(), {std::uint8_t(50 * x), 0, 0});
    }
    TPNGObject blended, opaque;
    LoadPng(blended, TPngBuilder().Header(4, 1, 8, kColorRgbAlpha).Idat(alphaRows).End().Bytes());
    LoadPng(opaque, TPngBuilder().Header(4, 1, 8, kColorRgb).Idat(opaqueRows).End().Bytes());
    TCell cell;
    cell.Stretch(blended, Rect(4, 0, 0, 1));
    cell.Stretch(opaque, Rect(4, 1, 0, 2));
    // The opaque image goes through StretchDIBits, whose negative extent counts from the pixel at
    // its start, as on the platform: columns 1 … 4, mirrored.
    for (int x = 0; x < 4; ++x) {
        EXPECT_EQ(cell.At(x, 0) >> 16, std::uint32_t(50 * x)) << x;
        EXPECT_EQ(cell.At(x + 1, 1) >> 16, std::uint32_t(50 * (3 - x))) << x;
    }
    EXPECT_EQ(cell.At(0, 1), kFillRgb);
    const auto before = cell.All();
    cell.Stretch(blended, Rect(5, 5, 5, 20));
    cell.Stretch(blended, Rect(5, 5, 20, 5));
    EXPECT_EQ(cell.All(), before);
}

TEST_F(TPngTest, ABlendBufferTheRasterLayerRefusesRaisesOutOfMemory) {
    TPNGObject png;
    LoadPng(png, TPngBuilder().Header(1, 1, 8, kColorRgbAlpha).Idat({0, 1, 2, 3, 4}).End().Bytes());
    TCell cell;
    // The canvas makes its drawing objects on its first use; they are not the draw's.
    cell.Stretch(png, Rect(0, 0, 1, 1));
    const auto before = cell.All();
    cell.Bitmap().Canvas().Handle();
    const std::size_t live = gdi::LiveObjectCount();
    gdi::SetBitmapStorageCap(1 << 20);
    EXPECT_PNG_ERROR(cell.Stretch(png, Rect(0, 0, 2000, 2000)), EPNGOutMemory, res::SPngOutMemory);
    EXPECT_EQ(gdi::LiveObjectCount(), live);
    EXPECT_EQ(cell.All(), before);
}

TEST_F(TPngTest, ALargeImageIsStretchedOverTheWholeCell) {
    // 128 × 128, left half red and right half blue.
    TBytes rows;
    for (int y = 0; y < 128; ++y) {
        rows.push_back(0);
        for (int x = 0; x < 128; ++x) {
            const TBytes pixel = x < 64 ? TBytes{255, 0, 0} : TBytes{0, 0, 255};
            rows.insert(rows.end(), pixel.begin(), pixel.end());
        }
    }
    TPNGObject png;
    LoadPng(png, TPngBuilder().Header(128, 128, 8, kColorRgb).Idat(rows).End().Bytes());
    TCell cell;
    cell.DrawThumbnail(png);
    EXPECT_EQ(cell.At(0, 0), Rgb(255, 0, 0));
    EXPECT_EQ(cell.At(31, 63), Rgb(255, 0, 0));
    EXPECT_EQ(cell.At(32, 0), Rgb(0, 0, 255));
    EXPECT_EQ(cell.At(63, 63), Rgb(0, 0, 255));
}

TEST_F(TPngTest, EveryDrawReleasesItsTemporaryObjects) {
    TPNGObject keyed, blended;
    LoadPng(keyed, TPngBuilder().Header(2, 2, 8, kColorRgb).Trns({0, 1, 0, 1, 0, 1}).Idat(TBytes(14, 1)).End().Bytes());
    LoadPng(blended, TPngBuilder().Header(2, 2, 8, kColorRgbAlpha).Idat(TBytes(18, 100)).End().Bytes());
    TCell cell;
    cell.Stretch(keyed, Rect(0, 0, 64, 64));
    cell.Stretch(blended, Rect(0, 0, 64, 64));
    const std::size_t live = gdi::LiveObjectCount();
    for (int i = 0; i < 5; ++i) {
        cell.Stretch(keyed, Rect(0, 0, 64, 64));
        cell.Stretch(blended, Rect(0, 0, 64, 64));
    }
    EXPECT_EQ(gdi::LiveObjectCount(), live);
}

TEST_F(TPngTest, APictureLoadsAPngFileByItsExtensionAndDrawsItsThumbnail) {
    graphics::TPicture picture;
    picture.LoadFromFile("../shared/corpus/pngsuite/tbrn2c08.png");
    auto* png = dynamic_cast<TPNGObject*>(picture.Graphic());
    ASSERT_NE(png, nullptr);
    ASSERT_EQ(png->TransparencyMode(), TPngTransparencyMode::ptmBit);
    TCell cell;
    cell.DrawThumbnail(*png);
    // 32 × 32 centred at 16, 16; the corners of the picture are its transparent colour.
    EXPECT_EQ(cell.At(16, 16), kFillRgb);
    EXPECT_EQ(cell.At(15, 15), kFillRgb);
    EXPECT_NE(cell.At(31, 31), kFillRgb);
}
