#include "DibBuilder.h"
#include "GdiTestSupport.h"

#include <array>

using namespace gdi;

namespace {

constexpr COLORREF kRed = RGB(255, 0, 0);
constexpr COLORREF kGreen = RGB(0, 255, 0);
constexpr COLORREF kBlue = RGB(0, 0, 255);
constexpr COLORREF kWhite = RGB(255, 255, 255);

// A 32-bit top-down section holding the given colours in one row.
HBITMAP SectionOf(const std::vector<COLORREF>& colors, LONG width, LONG height) {
    TDibInfo info(width, -height, 32);
    void* bits = nullptr;
    HBITMAP section = CreateDIBSection(nullptr, info.Get(), DIB_RGB_COLORS, &bits, nullptr, 0);
    auto* pixels = static_cast<DWORD*>(bits);
    for (std::size_t i = 0; i < colors.size(); ++i)
        pixels[i] = (DWORD(GetRValue(colors[i])) << 16) | (DWORD(GetGValue(colors[i])) << 8) | GetBValue(colors[i]);
    return section;
}

class TDibBits : public TGdiTest {
protected:
    void SetUp() override {
        TGdiTest::SetUp();
        FScreen = GetDC(nullptr);
    }
    void TearDown() override {
        ReleaseDC(nullptr, FScreen);
        TGdiTest::TearDown();
    }
    HDC FScreen = nullptr;
};

}  // namespace

// ---- GetDIBits queries --------------------------------------------------------------------------

using GetDIBitsQuery = TDibBits;

TEST_F(GetDIBitsQuery, HeaderOfA32BitBitmap) {
    HBITMAP bitmap = CreateCompatibleBitmap(FScreen, 7, 3);
    TDibInfo info(0, 0, 0);
    info.Header().biClrUsed = 99;
    EXPECT_NE(GetDIBits(FScreen, bitmap, 0, 0, nullptr, info.Get(), DIB_RGB_COLORS), 0);
    const BITMAPINFOHEADER& h = info.Header();
    EXPECT_EQ(h.biSize, 40u);
    EXPECT_EQ(h.biWidth, 7);
    EXPECT_EQ(h.biHeight, 3);
    EXPECT_EQ(h.biPlanes, 1);
    EXPECT_EQ(h.biBitCount, 32);
    EXPECT_EQ(h.biCompression, BI_RGB);
    EXPECT_EQ(h.biSizeImage, 7u * 4 * 3);
    EXPECT_EQ(h.biClrUsed, 0u);
    EXPECT_TRUE(DeleteObject(bitmap));
}

TEST_F(GetDIBitsQuery, HeaderOfA565BitmapCarriesItsMasks) {
    UseScreenDepth(16);
    HDC screen = GetDC(nullptr);
    HBITMAP bitmap = CreateCompatibleBitmap(screen, 3, 2);
    TDibInfo info(0, 0, 0);
    EXPECT_NE(GetDIBits(screen, bitmap, 0, 0, nullptr, info.Get(), DIB_RGB_COLORS), 0);
    EXPECT_EQ(info.Header().biBitCount, 16);
    EXPECT_EQ(info.Header().biCompression, BI_BITFIELDS);
    EXPECT_EQ(info.Header().biSizeImage, 16u);
    DWORD masks[3];
    std::memcpy(masks, info.Table(), sizeof masks);
    EXPECT_EQ(masks[0], 0xF800u);
    EXPECT_EQ(masks[1], 0x07E0u);
    EXPECT_EQ(masks[2], 0x001Fu);
    EXPECT_TRUE(DeleteObject(bitmap));
    ReleaseDC(nullptr, screen);
}

TEST_F(GetDIBitsQuery, HeaderIntoACoreHeader) {
    HBITMAP bitmap = CreateBitmap(300, 2, 1, 1, nullptr);
    TDibInfo info(0, 0, 0, BI_RGB, 12);
    EXPECT_NE(GetDIBits(FScreen, bitmap, 0, 0, nullptr, info.Get(), DIB_RGB_COLORS), 0);
    BITMAPCOREHEADER core;
    std::memcpy(&core, info.Bytes(), sizeof core);
    EXPECT_EQ(core.bcSize, 12u);
    EXPECT_EQ(core.bcWidth, 300);
    EXPECT_EQ(core.bcHeight, 2);
    EXPECT_EQ(core.bcBitCount, 1);
    EXPECT_TRUE(DeleteObject(bitmap));
}

struct TTableCase {
    const char* Name;
    int SourceBits;  // 0: a 32-bit bitmap; 8: an 8-bit section with its own colours
    WORD Bits;
    std::vector<std::pair<int, COLORREF>> Expected;
};

class GetDIBitsColorTable : public TDibBits, public ::testing::WithParamInterface<TTableCase> {};

TEST_P(GetDIBitsColorTable, IsTheBitmapsOwnOrTheSynthesisedOne) {
    const TTableCase& c = GetParam();
    HBITMAP bitmap;
    if (c.SourceBits == 8) {
        TDibInfo own(2, 2, 8);
        own.Colors({RGB(1, 2, 3), RGB(4, 5, 6)}).ClrUsed(2);
        bitmap = CreateDIBSection(nullptr, own.Get(), DIB_RGB_COLORS, nullptr, nullptr, 0);
    } else if (c.SourceBits == 1) {
        bitmap = CreateBitmap(2, 2, 1, 1, nullptr);
    } else {
        bitmap = CreateCompatibleBitmap(FScreen, 2, 2);
    }
    TDibInfo info(2, 2, c.Bits);
    EXPECT_NE(GetDIBits(FScreen, bitmap, 0, 2, nullptr, info.Get(), DIB_RGB_COLORS), 0);
    for (auto [index, color] : c.Expected)
        EXPECT_EQ(info.Color(std::size_t(index)), color) << "entry " << index;
    EXPECT_TRUE(DeleteObject(bitmap));
}

INSTANTIATE_TEST_SUITE_P(
    Requests, GetDIBitsColorTable,
    ::testing::Values(
        TTableCase{"OneBitIsBlackAndWhite", 0, 1, {{0, 0}, {1, kWhite}}},
        TTableCase{"MonochromeIsBlackAndWhite", 1, 1, {{0, 0}, {1, kWhite}}},
        TTableCase{"FourBitIsTheStandardSixteen", 0, 4, {{1, RGB(128, 0, 0)}, {9, kRed}, {12, kBlue}, {15, kWhite}}},
        TTableCase{"EightBitIsTheHalftonePalette", 0, 8,
                   {{0, 0}, {10, 0}, {11, RGB(0, 0, 51)}, {190, kRed}, {255, kWhite}}},
        TTableCase{"OwnTableAtTheSameDepth", 8, 8, {{0, RGB(1, 2, 3)}, {1, RGB(4, 5, 6)}, {2, 0}}},
        TTableCase{"SynthesisedAtAnotherDepth", 8, 4, {{9, kRed}}}),
    [](const auto& info) { return std::string(info.param.Name); });

// ---- GetDIBits conversions ----------------------------------------------------------------------

struct TConversionCase {
    const char* Name;
    WORD Bits;
    DWORD Compression;
    std::array<DWORD, 3> Masks;
    // The pixel values of red, green, blue, white and black in the requested format.
    std::array<DWORD, 5> Values;
};

class GetDIBitsConversion : public TDibBits, public ::testing::WithParamInterface<TConversionCase> {};

TEST_P(GetDIBitsConversion, WritesTheNearestValueOfTheRequestedFormat) {
    const TConversionCase& c = GetParam();
    HBITMAP source = SectionOf({kRed, kGreen, kBlue, kWhite, 0}, 5, 1);
    TDibInfo info(5, 1, c.Bits, c.Compression);
    if (c.Compression == BI_BITFIELDS)
        info.Masks(c.Masks[0], c.Masks[1], c.Masks[2]);
    std::array<BYTE, 32> row{};
    row.fill(0xCD);
    EXPECT_EQ(GetDIBits(FScreen, source, 0, 1, row.data(), info.Get(), DIB_RGB_COLORS), 1);
    for (LONG x = 0; x < 5; ++x) {
        DWORD value = 0;
        switch (c.Bits) {
        case 1: value = (row[0] >> (7 - x)) & 1; break;
        case 4: value = (row[std::size_t(x / 2)] >> (x % 2 ? 0 : 4)) & 0xF; break;
        case 8: value = row[std::size_t(x)]; break;
        case 16: value = DWORD(row[2 * x]) | DWORD(row[2 * x + 1]) << 8; break;
        case 24: value = DWORD(row[3 * x]) | DWORD(row[3 * x + 1]) << 8 | DWORD(row[3 * x + 2]) << 16; break;
        default: std::memcpy(&value, &row[4 * std::size_t(x)], 4); break;
        }
        EXPECT_EQ(value, c.Values[std::size_t(x)]) << "pixel " << x;
    }
    // The padding up to the row's 32-bit boundary is cleared; the caller's bytes after it are not touched.
    const std::size_t stride = DibStrideOf(5, c.Bits);
    EXPECT_EQ(row[stride - 1] & (c.Bits == 1 ? 0x07 : 0xFF), 0) << "padding";
    EXPECT_EQ(row[stride], 0xCD);
    EXPECT_EQ(info.Header().biSizeImage, DWORD(stride));
    EXPECT_TRUE(DeleteObject(source));
}

INSTANTIATE_TEST_SUITE_P(
    Formats, GetDIBitsConversion,
    ::testing::Values(
        TConversionCase{"OneBit", 1, BI_RGB, {}, {0, 0, 0, 1, 0}},
        TConversionCase{"FourBit", 4, BI_RGB, {}, {9, 10, 12, 15, 0}},
        TConversionCase{"EightBitHalftone", 8, BI_RGB, {}, {190, 40, 15, 225, 0}},
        TConversionCase{"Rgb555", 16, BI_RGB, {}, {0x7C00, 0x03E0, 0x001F, 0x7FFF, 0}},
        TConversionCase{"Rgb565", 16, BI_BITFIELDS, {0xF800, 0x07E0, 0x001F}, {0xF800, 0x07E0, 0x001F, 0xFFFF, 0}},
        TConversionCase{"Bgr565", 16, BI_BITFIELDS, {0x001F, 0x07E0, 0xF800}, {0x001F, 0x07E0, 0xF800, 0xFFFF, 0}},
        TConversionCase{"Rgb24", 24, BI_RGB, {}, {0xFF0000, 0x00FF00, 0x0000FF, 0xFFFFFF, 0}},
        TConversionCase{"Rgb32", 32, BI_RGB, {}, {0xFF0000, 0x00FF00, 0x0000FF, 0xFFFFFF, 0}},
        TConversionCase{"Bgr32", 32, BI_BITFIELDS, {0x0000FF, 0x00FF00, 0xFF0000},
                        {0x0000FF, 0x00FF00, 0xFF0000, 0xFFFFFF, 0}},
        TConversionCase{"Rgba32HighBytes", 32, BI_BITFIELDS, {0xFF000000, 0x00FF0000, 0x0000FF00},
                        {0xFF000000, 0x00FF0000, 0x0000FF00, 0xFFFFFF00, 0}},
        TConversionCase{"Rgb101010", 32, BI_BITFIELDS, {0x3FF00000, 0x000FFC00, 0x000003FF},
                        {0x3FF00000, 0x000FFC00, 0x000003FF, 0x3FFFFFFF, 0}}),
    [](const auto& info) { return std::string(info.param.Name); });

TEST_F(GetDIBitsConversion, ScanLineZeroIsTheBottomOfABottomUpRequest) {
    HBITMAP source = SectionOf({kRed, kGreen, kBlue, kWhite}, 1, 4);  // top to bottom
    TDibInfo up(1, 4, 32), down(1, -4, 32);
    std::array<DWORD, 4> rows{};
    EXPECT_EQ(GetDIBits(FScreen, source, 0, 4, rows.data(), up.Get(), DIB_RGB_COLORS), 4);
    EXPECT_EQ(rows, (std::array<DWORD, 4>{0xFFFFFF, 0x0000FF, 0x00FF00, 0xFF0000}));
    rows.fill(0);
    EXPECT_EQ(GetDIBits(FScreen, source, 0, 4, rows.data(), down.Get(), DIB_RGB_COLORS), 4);
    EXPECT_EQ(rows, (std::array<DWORD, 4>{0xFF0000, 0x00FF00, 0x0000FF, 0xFFFFFF}));

    // Lines 1 and 2, then a range running past the end, which is cut to the lines that exist.
    rows.fill(0xEE);
    EXPECT_EQ(GetDIBits(FScreen, source, 1, 2, rows.data(), up.Get(), DIB_RGB_COLORS), 2);
    EXPECT_EQ(rows, (std::array<DWORD, 4>{0x0000FF, 0x00FF00, 0xEE, 0xEE}));
    rows.fill(0xEE);
    EXPECT_EQ(GetDIBits(FScreen, source, 3, 100, rows.data(), up.Get(), DIB_RGB_COLORS), 1);
    EXPECT_EQ(rows[0], 0xFF0000u);
    EXPECT_EQ(rows[1], 0xEEu);
    EXPECT_EQ(GetDIBits(FScreen, source, 4, 1, rows.data(), up.Get(), DIB_RGB_COLORS), 0);
    EXPECT_TRUE(DeleteObject(source));
}

TEST_F(GetDIBitsConversion, MonochromeGivesItsBitsOrBlackAndWhite) {
    const BYTE rows[2] = {0x60, 0x00};  // 0 1 1 0
    HBITMAP mono = CreateBitmap(4, 1, 1, 1, rows);
    TDibInfo one(4, 1, 1);
    DWORD bits = 0xFFFFFFFF;
    EXPECT_EQ(GetDIBits(FScreen, mono, 0, 1, &bits, one.Get(), DIB_RGB_COLORS), 1);
    EXPECT_EQ(bits & 0xFF, 0x60u);
    EXPECT_EQ(one.Color(0), 0u);
    EXPECT_EQ(one.Color(1), kWhite);
    EXPECT_EQ(ReadColors(mono), (std::vector<COLORREF>{0, kWhite, kWhite, 0}));
    EXPECT_TRUE(DeleteObject(mono));
}

TEST_F(GetDIBitsConversion, ShortColorTableLimitsTheWrittenEntriesAndThePixels) {
    HBITMAP source = SectionOf({kWhite, kRed}, 2, 1);
    TDibInfo info(2, 1, 8);
    info.ClrUsed(16);
    std::memset(info.Bytes() + 40 + 16 * 4, 0x5A, 8);
    DWORD row = 0;
    EXPECT_EQ(GetDIBits(FScreen, source, 0, 1, &row, info.Get(), DIB_RGB_COLORS), 1);
    EXPECT_EQ(info.Table()[16 * 4], 0x5A) << "an entry beyond biClrUsed was written";
    // Among the first 16 halftone entries the nearest to white is (192, 220, 192) at 8, and to
    // red the dark red at 1.
    EXPECT_EQ(row & 0xFFFF, 0x0108u);
    EXPECT_EQ(info.Color(8), RGB(192, 220, 192));
    EXPECT_TRUE(DeleteObject(source));
}

TEST_F(GetDIBitsConversion, RefusesBadArguments) {
    HBITMAP source = SectionOf({kRed}, 1, 1);
    DWORD pixel = 0;
    TDibInfo info(1, 1, 32), bad(1, 1, 7), rle(1, 1, 8, BI_RLE8), palette(1, 1, 8);
    auto get = [&](HBITMAP bitmap, BITMAPINFO* request, UINT usage) {
        return FailureOf([&] { return GetDIBits(FScreen, bitmap, 0, 1, &pixel, request, usage); });
    };
    EXPECT_EQ(get(source, nullptr, DIB_RGB_COLORS), ERROR_INVALID_PARAMETER);
    EXPECT_EQ(get(source, bad.Get(), DIB_RGB_COLORS), ERROR_INVALID_PARAMETER);
    EXPECT_EQ(get(source, rle.Get(), DIB_RGB_COLORS), ERROR_INVALID_PARAMETER);
    EXPECT_EQ(get(source, palette.Get(), DIB_PAL_COLORS), ERROR_INVALID_PARAMETER);
    EXPECT_EQ(get(reinterpret_cast<HBITMAP>(FScreen), info.Get(), DIB_RGB_COLORS), ERROR_INVALID_HANDLE);
    EXPECT_TRUE(DeleteObject(source));
}

// ---- SetDIBits ----------------------------------------------------------------------------------

using SetDIBitsTest = TDibBits;

TEST_F(SetDIBitsTest, EightBitBottomUpRowsLandFromTheBottom) {
    HBITMAP target = CreateCompatibleBitmap(FScreen, 2, 3);
    TDibInfo info(2, 3, 8);
    info.Colors({0, kRed, kGreen, kBlue}).ClrUsed(4);
    const BYTE rows[12] = {1, 2, 0, 0, 3, 3, 0, 0, 2, 1, 0, 0};  // bottom row first
    EXPECT_EQ(SetDIBits(FScreen, target, 0, 3, rows, info.Get(), DIB_RGB_COLORS), 3);
    EXPECT_EQ(ReadColors(target), (std::vector<COLORREF>{kGreen, kRed, kBlue, kBlue, kRed, kGreen}));

    // Lines 1 and 2 only: the buffer starts with line 1, and line 0 (the bottom) keeps its pixels.
    const BYTE two[8] = {0, 0, 0, 0, 0, 3, 0, 0};
    EXPECT_EQ(SetDIBits(FScreen, target, 1, 2, two, info.Get(), DIB_RGB_COLORS), 2);
    EXPECT_EQ(ReadColors(target), (std::vector<COLORREF>{0, kBlue, 0, 0, kRed, kGreen}));
    EXPECT_TRUE(DeleteObject(target));
}

TEST_F(SetDIBitsTest, TopDownRowsLandFromTheTop) {
    HBITMAP target = CreateCompatibleBitmap(FScreen, 1, 2);
    TDibInfo info(1, -2, 24);
    const BYTE rows[8] = {0, 0, 255, 0, 255, 0, 0, 0};  // red, then blue
    EXPECT_EQ(SetDIBits(FScreen, target, 0, 2, rows, info.Get(), DIB_RGB_COLORS), 2);
    EXPECT_EQ(ReadColors(target), (std::vector<COLORREF>{kRed, kBlue}));
    EXPECT_TRUE(DeleteObject(target));
}

TEST_F(SetDIBitsTest, IndexedAndMonochromeTargetsTakeTheNearestColour) {
    TDibInfo table(4, 1, 4);
    table.Colors({0, RGB(200, 0, 0), RGB(0, 0, 200), kWhite}).ClrUsed(4);
    HBITMAP indexed = CreateDIBSection(nullptr, table.Get(), DIB_RGB_COLORS, nullptr, nullptr, 0);
    HBITMAP mono = CreateBitmap(4, 1, 1, 1, nullptr);
    TDibInfo info(4, 1, 24);
    const BYTE row[12] = {10, 10, 250, 250, 20, 20, 200, 200, 200, 40, 40, 40};  // reddish, bluish, light, dark
    EXPECT_EQ(SetDIBits(FScreen, indexed, 0, 1, row, info.Get(), DIB_RGB_COLORS), 1);
    EXPECT_EQ(ReadColors(indexed), (std::vector<COLORREF>{RGB(200, 0, 0), RGB(0, 0, 200), kWhite, 0}));
    EXPECT_EQ(SetDIBits(FScreen, mono, 0, 1, row, info.Get(), DIB_RGB_COLORS), 1);
    EXPECT_EQ(ReadColors(mono), (std::vector<COLORREF>{0, 0, kWhite, 0}));
    EXPECT_TRUE(DeleteObject(indexed));
    EXPECT_TRUE(DeleteObject(mono));
}

TEST_F(SetDIBitsTest, LargerImagesAreClippedToTheBitmap) {
    HBITMAP target = CreateCompatibleBitmap(FScreen, 2, 2);
    TDibInfo info(3, 3, 8);
    info.Colors({0, kRed, kGreen}).ClrUsed(3);
    const BYTE rows[12] = {1, 1, 2, 0, 2, 2, 1, 0, 1, 2, 2, 0};
    EXPECT_EQ(SetDIBits(FScreen, target, 0, 3, rows, info.Get(), DIB_RGB_COLORS), 2);
    EXPECT_EQ(ReadColors(target), (std::vector<COLORREF>{kGreen, kGreen, kRed, kRed}));
    EXPECT_TRUE(DeleteObject(target));
}

TEST_F(SetDIBitsTest, RefusesMissingBitsAndBadHeaders) {
    HBITMAP target = CreateCompatibleBitmap(FScreen, 2, 2);
    TDibInfo info(2, 2, 32), bad(2, 2, 32);
    bad.Planes(3);
    DWORD pixels[4] = {};
    EXPECT_EQ(FailureOf([&] { return SetDIBits(FScreen, target, 0, 2, nullptr, info.Get(), DIB_RGB_COLORS); }),
              ERROR_INVALID_PARAMETER);
    EXPECT_EQ(FailureOf([&] { return SetDIBits(FScreen, target, 0, 2, pixels, bad.Get(), DIB_RGB_COLORS); }),
              ERROR_INVALID_PARAMETER);
    EXPECT_EQ(SetDIBits(FScreen, target, 5, 2, pixels, info.Get(), DIB_RGB_COLORS), 0);
    EXPECT_TRUE(DeleteObject(target));
}

TEST_F(SetDIBitsTest, SameDepthWithAnotherTableMapsEveryPixelIncludingTheRowsTail) {
    // 19 pixels: two whole bytes of 1-bit pixels and three in a third byte.
    TDibInfo inverted(19, 1, 1);
    inverted.Colors({kWhite, 0});
    const BYTE row[4] = {0xF0, 0x0F, 0xA0, 0x00};
    HBITMAP mono = CreateBitmap(19, 1, 1, 1, nullptr);
    EXPECT_EQ(SetDIBits(FScreen, mono, 0, 1, row, inverted.Get(), DIB_RGB_COLORS), 1);
    BYTE back[4] = {};
    EXPECT_EQ(GetBitmapBits(mono, 4, back), 4);
    EXPECT_EQ(back[0], 0x0F);
    EXPECT_EQ(back[1], 0xF0);
    EXPECT_EQ(back[2] & 0xE0, 0x40);

    // A 4-bit image whose table is the standard colours backwards, into a bitmap using them forwards.
    HBITMAP standard = CreateBitmap(3, 1, 1, 4, nullptr);
    TDibInfo query(3, 1, 4);
    ASSERT_NE(GetDIBits(FScreen, standard, 0, 1, nullptr, query.Get(), DIB_RGB_COLORS), 0);
    std::vector<COLORREF> reversed;
    for (std::size_t i = 16; i-- > 0;)
        reversed.push_back(query.Color(i));
    TDibInfo backwards(3, 1, 4);
    backwards.Colors(reversed);
    const BYTE nibbles[4] = {0x01, 0xF0, 0, 0};
    EXPECT_EQ(SetDIBits(FScreen, standard, 0, 1, nibbles, backwards.Get(), DIB_RGB_COLORS), 1);
    EXPECT_EQ(GetBitmapBits(standard, 2, back), 2);
    EXPECT_EQ(back[0], 0xFE);
    EXPECT_EQ(back[1] >> 4, 0x0);
    EXPECT_TRUE(DeleteObject(mono));
    EXPECT_TRUE(DeleteObject(standard));
}

// ---- round trips between depths -----------------------------------------------------------------

class DibRoundTrip : public TDibBits, public ::testing::WithParamInterface<int> {};

TEST_P(DibRoundTrip, ColoursEveryDepthHoldSurviveSetAndGet) {
    const int bits = GetParam();
    // Black, white and the pure primaries are exact in every format: the 16 standard colours,
    // the halftone palette, 5 and 8-bit channels.
    const std::vector<COLORREF> colors = {0, kWhite, kRed, kGreen, kBlue, RGB(255, 255, 0)};
    HBITMAP source = SectionOf(colors, 6, 1);
    TDibInfo info(6, 1, WORD(bits));
    std::array<BYTE, 32> row{};
    ASSERT_EQ(GetDIBits(FScreen, source, 0, 1, row.data(), info.Get(), DIB_RGB_COLORS), 1);
    HBITMAP target = CreateCompatibleBitmap(FScreen, 6, 1);
    ASSERT_EQ(SetDIBits(FScreen, target, 0, 1, row.data(), info.Get(), DIB_RGB_COLORS), 1);
    std::vector<COLORREF> expected = colors;
    if (bits == 1)
        expected = {0, kWhite, 0, 0, 0, kWhite};  // only yellow is nearer to white than to black
    EXPECT_EQ(ReadColors(target), expected);
    EXPECT_TRUE(DeleteObject(source));
    EXPECT_TRUE(DeleteObject(target));
}

INSTANTIATE_TEST_SUITE_P(Depths, DibRoundTrip, ::testing::Values(1, 4, 8, 16, 24, 32));

// ---- CreateDIBitmap -----------------------------------------------------------------------------

using CreateDIBitmapTest = TDibBits;

TEST_F(CreateDIBitmapTest, MakesABitmapInTheContextsFormat) {
    TDibInfo info(2, 1, 24);
    const BYTE row[8] = {0, 0, 255, 255, 0, 0, 0, 0};
    HBITMAP onScreen = CreateDIBitmap(FScreen, &info.Header(), CBM_INIT, row, info.Get(), DIB_RGB_COLORS);
    ASSERT_NE(onScreen, nullptr);
    DIBSECTION ds{};
    EXPECT_EQ(GetObjectA(onScreen, sizeof ds, &ds), int(sizeof(BITMAP)));  // not a section
    EXPECT_EQ(ds.dsBm.bmBitsPixel, 32);
    EXPECT_EQ(ReadColors(onScreen), (std::vector<COLORREF>{kRed, kBlue}));

    HDC memory = CreateCompatibleDC(FScreen);
    HBITMAP mono = CreateDIBitmap(memory, &info.Header(), CBM_INIT, row, info.Get(), DIB_RGB_COLORS);
    ds = DIBSECTION{};
    GetObjectA(mono, sizeof ds, &ds);
    EXPECT_EQ(ds.dsBm.bmBitsPixel, 1);

    // With a section selected the result is still device-dependent, in the screen's format.
    TDibInfo eight(1, 1, 8);
    HBITMAP section = CreateDIBSection(nullptr, eight.Get(), DIB_RGB_COLORS, nullptr, nullptr, 0);
    HGDIOBJ old = SelectObject(memory, section);
    HBITMAP deep = CreateDIBitmap(memory, &info.Header(), 0, nullptr, nullptr, DIB_RGB_COLORS);
    EXPECT_EQ(GetObjectA(deep, sizeof ds, &ds), int(sizeof(BITMAP)));
    EXPECT_EQ(ds.dsBm.bmBitsPixel, 32);
    EXPECT_EQ(ReadColors(deep), (std::vector<COLORREF>{0, 0}));
    SelectObject(memory, old);
    DeleteDC(memory);
    for (HBITMAP bitmap : {onScreen, mono, section, deep})
        EXPECT_TRUE(DeleteObject(bitmap));
}

TEST_F(CreateDIBitmapTest, SizeComesFromTheHeaderAndBottomUpBitsAlignToTheBottom) {
    TDibInfo header(3, 3, 24), info(1, 2, 8);
    info.Colors({0, kGreen}).ClrUsed(2);
    const BYTE rows[8] = {1, 0, 0, 0, 1, 0, 0, 0};
    HBITMAP bitmap = CreateDIBitmap(FScreen, &header.Header(), CBM_INIT, rows, info.Get(), DIB_RGB_COLORS);
    ASSERT_NE(bitmap, nullptr);
    EXPECT_EQ(ReadColors(bitmap), (std::vector<COLORREF>{0, 0, 0, kGreen, 0, 0, kGreen, 0, 0}));
    EXPECT_TRUE(DeleteObject(bitmap));
}

TEST_F(CreateDIBitmapTest, RefusesBadArguments) {
    TDibInfo info(2, 2, 32), empty(0, 2, 32);
    DWORD pixels[4] = {};
    EXPECT_EQ(FailureOf([&] { return CreateDIBitmap(nullptr, &info.Header(), 0, nullptr, nullptr, DIB_RGB_COLORS); }),
              ERROR_INVALID_HANDLE);
    EXPECT_EQ(FailureOf([&] { return CreateDIBitmap(FScreen, nullptr, CBM_INIT, pixels, info.Get(), DIB_RGB_COLORS); }),
              ERROR_INVALID_PARAMETER);
    EXPECT_EQ(FailureOf([&] { return CreateDIBitmap(FScreen, &info.Header(), CBM_INIT, nullptr, info.Get(), 0); }),
              ERROR_INVALID_PARAMETER);
    EXPECT_EQ(FailureOf([&] { return CreateDIBitmap(FScreen, &info.Header(), CBM_INIT, pixels, nullptr, 0); }),
              ERROR_INVALID_PARAMETER);
    EXPECT_EQ(FailureOf([&] { return CreateDIBitmap(FScreen, &empty.Header(), 0, nullptr, nullptr, 0); }),
              ERROR_INVALID_PARAMETER);
}
