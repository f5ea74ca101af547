// The icon graphic: loading, choosing an image, drawing with masks and alpha, saving, sharing,
// and files whose directory or images do not fit their bytes.
#include "GraphicsTestSupport.h"
#include "IcoBuilder.h"

#include "graphics/Icon.h"
#include "platform/base/Messages.h"

#include <gmock/gmock.h>

using namespace graphics;
using namespace icotest;
using ::testing::StrEq;
using ::testing::ThrowsMessage;

namespace {

constexpr TColor kGround = 0x20C80A;  // RGB(10, 200, 32) as a TColor: 0x00BBGGRR
constexpr std::uint32_t kGroundRgb = 0x0AC820;
constexpr std::uint32_t kRed = 0xFF0000, kBlue = 0x0000FF, kLime = 0x00FF00;

class IconTest : public TGraphicsTest {
protected:
    void SetUp() override {
        TGraphicsTest::SetUp();
        FLive = gdi::LiveObjectCount();
    }
    void TearDown() override {
        EXPECT_EQ(gdi::LiveObjectCount(), FLive) << "the test leaked platform objects";
        TGraphicsTest::TearDown();
    }
    static void Load(TIcon& icon, const std::vector<std::uint8_t>& bytes) {
        TBytesStream stream(bytes.data(), bytes.size());
        icon.LoadFromStream(stream);
    }
    /// A 64 × 64 cell of the ground colour, as the thumbnail builder prepares it.
    static void PrepareCell(TBitmap& cell) {
        cell.SetWidth(64);
        cell.SetHeight(64);
        cell.Canvas().Brush().SetColor(kGround);
        cell.Canvas().FillRect(Rect(0, 0, 64, 64));
    }
    /// Draws the icon into a fresh cell and returns the pixel at (x, y).
    static std::uint32_t DrawnPixel(TIcon& icon, int x, int y) {
        TBitmap cell;
        PrepareCell(cell);
        cell.Canvas().Draw(0, 0, &icon);
        return PixelAt(cell, x, y);
    }
    static std::string Text(int id) { return base::LoadStr(id); }

private:
    std::size_t FLive = 0;
};

TEST_F(IconTest, LoadedIconReportsTheStandardSizeUntilItIsDrawn) {
    TIcon icon;
    EXPECT_TRUE(icon.Empty());
    EXPECT_TRUE(icon.GetTransparent());
    Load(icon, TIcoBuilder().Solid(48, 48, 0, kRed).Bytes());
    EXPECT_FALSE(icon.Empty());
    EXPECT_EQ(icon.Width(), 32);
    EXPECT_EQ(icon.Height(), 32);
    EXPECT_EQ(icon.Image().FHandle, nullptr);
    EXPECT_EQ(DrawnPixel(icon, 47, 47), kRed);
    EXPECT_EQ(icon.Width(), 48);
    EXPECT_EQ(icon.Height(), 48);
    icon.SetTransparent(false);
    EXPECT_TRUE(icon.GetTransparent());
}

// The chooser on its own: the cases that decide which image a file shows.
struct TChoiceCase {
    const char* Name;
    std::vector<TIconEntry> Entries;
    int WantedWidth, WantedHeight;
    std::uint32_t ColorLimit;
    std::size_t Expected;
};

class IconChoice : public ::testing::TestWithParam<TChoiceCase> {};

TEST_P(IconChoice, PicksTheExpectedEntry) {
    const TChoiceCase& c = GetParam();
    EXPECT_EQ(ChooseIconEntry(c.Entries, c.WantedWidth, c.WantedHeight, c.ColorLimit), c.Expected);
}

constexpr std::uint32_t kTrueColor = 2147483647;

INSTANTIATE_TEST_SUITE_P(
    Cases, IconChoice,
    ::testing::Values(
        TChoiceCase{"SmallerBeatsLargerAtTheSameDistance", {{16, 16, 16}, {48, 48, 16}}, 32, 32, kTrueColor, 0},
        TChoiceCase{"SmallerBeatsLargerInEitherOrder", {{48, 48, 16}, {16, 16, 16}}, 32, 32, kTrueColor, 1},
        TChoiceCase{"ExactSizeWins", {{16, 16, 16}, {32, 32, 16}, {48, 48, 16}}, 32, 32, kTrueColor, 1},
        TChoiceCase{"MoreColoursWinOnATrueColourScreen", {{32, 32, 16}, {32, 32, kTrueColor}}, 32, 32, kTrueColor, 1},
        TChoiceCase{"ColourLimitKeepsTheSixteenColourImage", {{32, 32, 16}, {32, 32, kTrueColor}}, 32, 32, 16, 0},
        TChoiceCase{"FirstEntryIsTakenEvenOverTheLimit", {{32, 32, kTrueColor}, {32, 32, 16}}, 32, 32, 16, 0},
        TChoiceCase{"FewerColoursNeverReplaceMore", {{32, 32, kTrueColor}, {32, 32, 16}}, 32, 32, kTrueColor, 0},
        TChoiceCase{"EqualEntriesTakeTheLater", {{32, 32, 16}, {32, 32, 16}}, 32, 32, kTrueColor, 1},
        TChoiceCase{"WantedWidthOnlyMakesTheLowestWin", {{16, 32, 16}, {16, 16, 16}, {16, 24, 16}}, 16, 0, kTrueColor, 1},
        TChoiceCase{"GreedyScanPassesOverALaterExactSizeWithFewerColours", {{48, 48, 16}, {16, 16, 256}, {32, 32, 16}},
                    32, 32, kTrueColor, 1}),
    [](const auto& info) { return std::string(info.param.Name); });

// The same choices through a drawn icon, on a true-colour and on a 16-colour screen.
struct TScreenChoiceCase {
    const char* Name;
    int Depth;
    bool TrueColourFirst;
    std::uint32_t Expected;
};

class IconScreenChoice : public IconTest, public ::testing::WithParamInterface<TScreenChoiceCase> {};

TEST_P(IconScreenChoice, DrawsTheImageTheScreenCanShow) {
    UseScreenDepth(GetParam().Depth);
    TIcoBuilder builder;
    if (GetParam().TrueColourFirst)
        builder.Solid(32, 32, 0, kRed).Solid(32, 32, 16, kBlue);
    else
        builder.Solid(32, 32, 16, kBlue).Solid(32, 32, 0, kRed);
    TIcon icon;
    Load(icon, builder.Bytes());
    EXPECT_EQ(DrawnPixel(icon, 5, 5), GetParam().Expected);
}

INSTANTIATE_TEST_SUITE_P(Screens, IconScreenChoice,
                         ::testing::Values(TScreenChoiceCase{"TrueColourScreen", 32, false, kRed},
                                           TScreenChoiceCase{"SixteenColourScreen", 4, false, kBlue},
                                           TScreenChoiceCase{"TrueColourFirstOnTrueColour", 32, true, kRed},
                                           TScreenChoiceCase{"TrueColourFirstOnSixteenColours", 4, true, kRed}),
                         [](const auto& info) { return std::string(info.param.Name); });

TEST_F(IconTest, SixteenAndFortyEightWithWantedThirtyTwoDrawsSixteen) {
    TIcon icon;
    Load(icon, TIcoBuilder().Solid(16, 16, 16, kBlue).Solid(48, 48, 16, kRed).Bytes());
    EXPECT_EQ(DrawnPixel(icon, 5, 5), kBlue);
    EXPECT_EQ(icon.Width(), 16);
}

TEST_F(IconTest, RequestedSizeChoosesBeforeTheFirstDrawAndIsFixedAfterIt) {
    const auto bytes = TIcoBuilder().Solid(16, 16, 16, kBlue).Solid(32, 32, 16, kRed).Solid(16, 32, 16, kLime).Bytes();
    TIcon both;
    Load(both, bytes);
    both.SetWidth(16);
    both.SetHeight(16);
    EXPECT_EQ(both.Width(), 32);  // the request is not the image's size
    EXPECT_EQ(DrawnPixel(both, 5, 5), kBlue);
    EXPECT_EQ(both.Width(), 16);
    EXPECT_EQ(both.Height(), 16);
    EXPECT_THAT([&] { both.SetWidth(32); }, ThrowsMessage<EInvalidGraphicOperation>(StrEq(Text(65418))));
    EXPECT_THAT([&] { both.SetHeight(32); }, ThrowsMessage<EInvalidGraphicOperation>(StrEq(Text(65418))));
    EXPECT_EQ(Text(65418), "アイコンの大きさは変更できません");

    TIcon widthOnly;
    Load(widthOnly, TIcoBuilder().Solid(16, 32, 16, kLime).Solid(16, 16, 16, kBlue).Bytes());
    widthOnly.SetWidth(16);
    DrawnPixel(widthOnly, 0, 0);
    EXPECT_EQ(widthOnly.Height(), 16);
}

TEST_F(IconTest, CursorIsRefusedAndTheIconKeepsWhatItHad) {
    TIcon icon;
    Load(icon, TIcoBuilder().Solid(16, 16, 16, kBlue).Bytes());
    EXPECT_THAT([&] { Load(icon, TIcoBuilder().Type(2).Solid(16, 16, 16, kRed).Bytes()); },
                ThrowsMessage<EInvalidGraphic>(StrEq("アイコンイメージが不正です")));
    EXPECT_EQ(DrawnPixel(icon, 5, 5), kBlue);
}

TEST_F(IconTest, StreamShorterThanTheHeaderRaisesTheReadError) {
    TIcon icon;
    const std::vector<std::uint8_t> bytes = {0, 0, 1, 0, 1};
    EXPECT_THROW(Load(icon, bytes), EReadError);
    EXPECT_TRUE(icon.Empty());
}

TEST_F(IconTest, StockTypeDrawsTheApplicationIconAndSavesSixZeroBytes) {
    TIcon icon;
    Load(icon, TIcoBuilder().Type(0).Count(0).Bytes());
    EXPECT_EQ(icon.Handle(), StockApplicationIcon());
    EXPECT_NE(StockApplicationIcon(), nullptr);
    EXPECT_EQ(icon.Width(), 32);
    EXPECT_EQ(DrawnPixel(icon, 10, 7), 0x000080u);  // the title bar
    EXPECT_EQ(DrawnPixel(icon, 0, 0), kGroundRgb);   // outside the frame
    TIcon fromHandle;
    fromHandle.SetHandle(StockApplicationIcon());
    TMemoryStream saved;
    fromHandle.SaveToStream(saved);
    EXPECT_EQ(saved.Bytes(), std::vector<std::uint8_t>(6, 0));
}

TEST_F(IconTest, StretchDrawingPlacesTheIconAtTheTopLeftAtItsOwnSize) {
    TIcon icon;
    Load(icon, TIcoBuilder().Solid(16, 16, 16, kRed).Bytes());
    TBitmap cell;
    PrepareCell(cell);
    cell.Canvas().StretchDraw(Rect(8, 4, 64, 64), &icon);
    EXPECT_EQ(PixelAt(cell, 8, 4), kRed);
    EXPECT_EQ(PixelAt(cell, 23, 19), kRed);
    EXPECT_EQ(PixelAt(cell, 24, 20), kGroundRgb);
    EXPECT_EQ(PixelAt(cell, 7, 3), kGroundRgb);
    EXPECT_EQ(PixelAt(cell, 63, 63), kGroundRgb);
}

// A 4-bit image whose mask cuts out a frame and whose white pixels under the mask invert.
TEST_F(IconTest, MaskKeepsInvertsOrPaintsTheCellOnAColouredGround) {
    const auto image = IconDib(
        8, 8, 4, [](int x, int) { return x < 4 ? 9u : 15u; },  // red left half, white right half
        [](int x, int y) { return x == 0 || y == 0 || x >= 6; });
    TIcon icon;
    Load(icon, TIcoBuilder().Entry(TIcoEntry{8, 8, 16, image, {}, {}}).Bytes());
    TBitmap cell;
    PrepareCell(cell);
    cell.Canvas().Draw(10, 10, &icon);
    EXPECT_EQ(PixelAt(cell, 10, 12), kGroundRgb ^ 0xFF0000u);  // mask 1, red: XORed into the ground
    EXPECT_EQ(PixelAt(cell, 12, 10), kGroundRgb ^ 0xFF0000u);
    EXPECT_EQ(PixelAt(cell, 12, 12), kRed);
    EXPECT_EQ(PixelAt(cell, 15, 15), 0xFFFFFFu);
    EXPECT_EQ(PixelAt(cell, 16, 12), 0xF537DFu);  // mask 1, white: the ground inverted
    EXPECT_EQ(PixelAt(cell, 9, 9), kGroundRgb);
}

TEST_F(IconTest, AlphaImageBlendsOverTheCell) {
    const auto image = IconDib(
        4, 1, 32, [](int x, int) { return std::vector<std::uint32_t>{0x00FF0000, 0xFF0000FF, 0x80FFFFFF, 0x40000000}[x]; },
        [](int, int) { return false; });
    TIcon icon;
    Load(icon, TIcoBuilder().Entry(TIcoEntry{4, 1, 0, image, {}, {}}).Bytes());
    TBitmap cell;
    PrepareCell(cell);
    cell.Canvas().Draw(0, 0, &icon);
    EXPECT_EQ(PixelAt(cell, 0, 0), kGroundRgb);  // alpha 0: untouched although the mask is opaque
    EXPECT_EQ(PixelAt(cell, 1, 0), kBlue);
    EXPECT_EQ(PixelAt(cell, 2, 0), 0x85E490u);   // half white over (10, 200, 32)
    EXPECT_EQ(PixelAt(cell, 3, 0), 0x079618u);   // a quarter of black
}

TEST_F(IconTest, SavingALoadedIconWritesBackItsBytes) {
    const auto bytes = TIcoBuilder().Solid(16, 16, 16, kBlue).Solid(48, 48, 0, kRed).Bytes();
    TIcon icon;
    Load(icon, bytes);
    TMemoryStream before;
    icon.SaveToStream(before);
    EXPECT_EQ(before.Bytes(), bytes);
    DrawnPixel(icon, 0, 0);
    TMemoryStream after;
    icon.SaveToStream(after);
    EXPECT_EQ(after.Bytes(), bytes);
}

TEST_F(IconTest, SavingAnIconMadeFromAHandleWritesOneFourBitImageThatLoadsBack) {
    // 20 × 2: red, white and transparent pixels.
    std::vector<std::uint8_t> andBits(2 * 4, 0), xorBits(20 * 2 * 4, 0);
    andBits[0] = 0x01;  // pixel 7 of the top row is transparent
    for (int i = 0; i < 40; ++i) {
        const std::uint32_t rgb = i % 20 < 7 ? kRed : (i % 20 == 7 ? 0 : 0xFFFFFF);
        for (int b = 0; b < 4; ++b)
            xorBits[std::size_t(i * 4 + b)] = std::uint8_t(rgb >> (8 * b));
    }
    gdi::HICON handle = gdi::CreateIcon(nullptr, 20, 2, 1, 32, andBits.data(), xorBits.data());
    ASSERT_NE(handle, nullptr);
    TIcon icon;
    icon.SetHandle(handle);
    EXPECT_EQ(icon.Width(), 20);
    EXPECT_EQ(icon.Height(), 2);
    TMemoryStream saved;
    icon.SaveToStream(saved);
    const auto bytes = saved.Bytes();
    ASSERT_EQ(bytes.size(), 6u + 16 + 40 + 64 + 12 * 2 + 4 * 2);
    EXPECT_EQ(std::vector<std::uint8_t>(bytes.begin(), bytes.begin() + 6), (std::vector<std::uint8_t>{0, 0, 1, 0, 1, 0}));
    EXPECT_EQ(bytes[6], 20);
    EXPECT_EQ(bytes[7], 2);
    EXPECT_EQ(bytes[8], 4);  // planes × bits in the colours field
    EXPECT_EQ(bytes[22 + 14], 4);  // biBitCount
    EXPECT_EQ(bytes[22 + 8], 4);   // biHeight: twice the image's

    TIcon reloaded;
    Load(reloaded, bytes);
    EXPECT_EQ(DrawnPixel(reloaded, 0, 0), kRed);
    EXPECT_EQ(DrawnPixel(reloaded, 7, 0), kGroundRgb);
    EXPECT_EQ(DrawnPixel(reloaded, 12, 1), 0xFFFFFFu);
    EXPECT_EQ(reloaded.Width(), 20);
}

TEST_F(IconTest, SavingAMonochromeIconSplitsItsMask) {
    std::vector<std::uint8_t> andBits = {0x80, 0x00}, xorBits = {0x40, 0x00};  // 2 × 1
    gdi::HICON handle = gdi::CreateIcon(nullptr, 2, 1, 1, 1, andBits.data(), xorBits.data());
    TIcon icon;
    icon.SetHandle(handle);
    EXPECT_EQ(icon.Height(), 1);
    TMemoryStream saved;
    icon.SaveToStream(saved);
    TIcon reloaded;
    Load(reloaded, saved.Bytes());
    EXPECT_EQ(DrawnPixel(reloaded, 0, 0), kGroundRgb);
    EXPECT_EQ(DrawnPixel(reloaded, 1, 0), 0xFFFFFFu);
}

TEST_F(IconTest, SavingAnEmptyIconRaisesTheInvalidIconError) {
    TIcon icon;
    TMemoryStream stream;
    EXPECT_THAT([&] { icon.SaveToStream(stream); }, ThrowsMessage<EInvalidGraphic>(StrEq(Text(65414))));
}

TEST_F(IconTest, AssignSharesTheImageAndNothingEmpties) {
    TIcon first, second;
    Load(first, TIcoBuilder().Solid(16, 16, 16, kBlue).Bytes());
    int changes = 0;
    second.OnChange = [&](TPersistent*) { ++changes; };
    second.Assign(&first);
    EXPECT_EQ(changes, 1);
    EXPECT_EQ(&second.Image(), &first.Image());
    EXPECT_EQ(DrawnPixel(second, 3, 3), kBlue);
    EXPECT_EQ(first.Width(), 16);  // the handle made through one is the other's too
    second.Assign(nullptr);
    EXPECT_TRUE(second.Empty());
    EXPECT_FALSE(first.Empty());
    EXPECT_EQ(changes, 2);
    TBitmap bitmap;
    EXPECT_THROW(second.Assign(&bitmap), EConvertError);
}

TEST_F(IconTest, ClipboardIsRefused) {
    TIcon icon;
    std::uint16_t format = 0;
    THandle data = 0;
    gdi::HPALETTE palette = nullptr;
    const std::string text = "クリップボードはアイコンには対応していません";
    EXPECT_THAT([&] { icon.SaveToClipboardFormat(format, data, palette); },
                ThrowsMessage<EInvalidGraphicOperation>(StrEq(text)));
    EXPECT_THAT([&] { icon.LoadFromClipboardFormat(2, 0, nullptr); },
                ThrowsMessage<EInvalidGraphicOperation>(StrEq(text)));
}

// Files whose directory or image does not fit the bytes they hold: loading succeeds (only the
// header is read) and the first draw fails with the invalid-icon error, reading nothing outside.
struct TDamageCase {
    const char* Name;
    std::function<std::vector<std::uint8_t>()> Bytes;
};

class IconDamage : public IconTest, public ::testing::WithParamInterface<TDamageCase> {};

TEST_P(IconDamage, FirstDrawRaisesTheInvalidIconError) {
    TIcon icon;
    Load(icon, GetParam().Bytes());
    TBitmap cell;
    PrepareCell(cell);
    EXPECT_THAT([&] { cell.Canvas().Draw(0, 0, &icon); }, ThrowsMessage<EInvalidGraphic>(StrEq(Text(65414))));
    EXPECT_EQ(icon.Image().FHandle, nullptr);
}

std::vector<std::uint8_t> Truncated(std::vector<std::uint8_t> bytes, std::size_t size) {
    bytes.resize(size);
    return bytes;
}

std::vector<std::uint8_t> WithByte(std::vector<std::uint8_t> bytes, std::size_t at, std::uint8_t value) {
    bytes[at] = value;
    return bytes;
}

INSTANTIATE_TEST_SUITE_P(
    Files, IconDamage,
    ::testing::Values(
        TDamageCase{"NoEntries", [] { return TIcoBuilder().Bytes(); }},
        TDamageCase{"DirectoryLongerThanTheFile", [] { return TIcoBuilder().Count(100).Solid(16, 16, 16, kRed).Bytes(); }},
        TDamageCase{"OffsetPastTheEnd",
                    [] { return TIcoBuilder().Entry(TIcoEntry{16, 16, 16, SolidDib(16, 16, kRed), {}, 0xFFFFFF00u}).Bytes(); }},
        TDamageCase{"SizePastTheEnd",
                    [] { return TIcoBuilder().Entry(TIcoEntry{16, 16, 16, SolidDib(16, 16, kRed), 0x7FFFFFFFu, {}}).Bytes(); }},
        TDamageCase{"ImageCutShort", [] { return Truncated(TIcoBuilder().Solid(16, 16, 16, kRed).Bytes(), 22 + 30); }},
        TDamageCase{"PixelsCutShort", [] { return Truncated(TIcoBuilder().Solid(16, 16, 16, kRed).Bytes(), 22 + 40 + 100); }},
        TDamageCase{"MaskCutShortBelowThirtyTwoBits",
                    [] {
                        auto image = IconDib(16, 16, 4, [](int, int) { return 1u; }, [](int, int) { return false; });
                        image.resize(image.size() - 10);
                        return TIcoBuilder().Entry(TIcoEntry{16, 16, 16, image, {}, {}}).Bytes();
                    }},
        TDamageCase{"ColourTableLargerThanTheImage",
                    [] {
                        auto image = IconDib(2, 2, 8, [](int, int) { return 1u; }, [](int, int) { return false; }, 16);
                        image[32] = 0xFF;  // biClrUsed 255: the table would run past the pixels
                        return TIcoBuilder().Entry(TIcoEntry{2, 2, 0, image, {}, {}}).Bytes();
                    }},
        TDamageCase{"BitDepthThree", [] { return WithByte(TIcoBuilder().Solid(4, 4, 16, kRed).Bytes(), 22 + 14, 3); }},
        TDamageCase{"HeaderSizeLargerThanTheImage",
                    [] { return WithByte(TIcoBuilder().Solid(4, 4, 16, kRed).Bytes(), 22 + 1, 0x40); }},
        TDamageCase{"RunLengthCompressed", [] { return WithByte(TIcoBuilder().Solid(4, 4, 16, kRed).Bytes(), 22 + 16, 1); }},
        TDamageCase{"OnlyPngImages",
                    [] {
                        return TIcoBuilder()
                            .Entry(TIcoEntry{0, 0, 0, PngLikeImage(), {}, {}})
                            .Entry(TIcoEntry{32, 32, 0, PngLikeImage(), {}, {}})
                            .Bytes();
                    }}),
    [](const auto& info) { return std::string(info.param.Name); });

TEST_F(IconTest, PngAndFullSizeEntriesGiveWayToAnyOther) {
    auto big = SolidDib(256, 256, kRed);
    TIcon icon;
    Load(icon, TIcoBuilder()
                   .Entry(TIcoEntry{32, 32, 0, PngLikeImage(), {}, {}})
                   .Entry(TIcoEntry{0, 0, 0, big, {}, {}})
                   .Solid(48, 48, 16, kBlue)
                   .Bytes());
    EXPECT_EQ(DrawnPixel(icon, 5, 5), kBlue);
    EXPECT_EQ(icon.Width(), 48);
}

TEST_F(IconTest, FullSizeBitmapEntryAloneDrawsAtTwoHundredFiftySixPixels) {
    TIcon icon;
    Load(icon, TIcoBuilder().Entry(TIcoEntry{0, 0, 0, SolidDib(256, 256, kRed), {}, {}}).Bytes());
    EXPECT_EQ(DrawnPixel(icon, 63, 63), kRed);
    EXPECT_EQ(icon.Width(), 256);
    EXPECT_EQ(icon.Height(), 256);
}

TEST_F(IconTest, ThirtyTwoBitImageWithAShortMaskDrawsByItsAlpha) {
    auto image = IconDib(4, 4, 32, [](int, int) { return 0xFF00FF00u; }, [](int, int) { return true; });
    image.resize(image.size() - 16);  // no mask at all
    TIcon icon;
    Load(icon, TIcoBuilder().Entry(TIcoEntry{4, 4, 0, image, {}, {}}).Bytes());
    EXPECT_EQ(DrawnPixel(icon, 3, 3), kLime);
}

TEST_F(IconTest, ShortColourTableMovesThePixelsUp) {
    // Two table entries for a 4-bit image: index 1 is maroon, and the pixels follow the short table.
    const auto image = IconDib(2, 2, 4, [](int, int) { return 1u; }, [](int, int) { return false; }, 2);
    TIcon icon;
    Load(icon, TIcoBuilder().Entry(TIcoEntry{2, 2, 16, image, {}, {}}).Bytes());
    EXPECT_EQ(DrawnPixel(icon, 1, 1), 0x800000u);
}

}  // namespace
