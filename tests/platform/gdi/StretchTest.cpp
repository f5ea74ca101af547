// StretchBlt and StretchDIBits: the four stretch modes shrinking and growing, mirroring, clipping of
// the source, device-independent bits in caller memory and the failure paths.
#include "BlitTestSupport.h"

#include <climits>
#include <string>

#include <sys/mman.h>
#include <unistd.h>

using namespace gdi;
using namespace blittest;

namespace {

constexpr COLORREF kRed = RGB(255, 0, 0);
constexpr COLORREF kGreen = RGB(0, 255, 0);
constexpr COLORREF kBlue = RGB(0, 0, 255);
constexpr COLORREF kWhite = RGB(255, 255, 255);
constexpr COLORREF kBlack = RGB(0, 0, 0);

std::vector<RGBQUAD> GreyRamp() {
    std::vector<RGBQUAD> ramp(256);
    for (int i = 0; i < 256; ++i)
        ramp[std::size_t(i)] = RGBQUAD{BYTE(i), BYTE(i), BYTE(i), 0};
    return ramp;
}

struct TSampleCase {
    int SourceLength;
    int DestLength;
    std::vector<int> Columns;  // the source column each destination pixel shows
};

class CentreSampling : public TGdiTest, public ::testing::WithParamInterface<std::tuple<TSampleCase, bool>> {};

TEST_P(CentreSampling, ColorOnColorTakesTheCentreOfEachBox) {
    const auto& [c, vertical] = GetParam();
    // Pixel values are the source position + 1, so 0 means "left alone".
    auto source = vertical ? MakeDib(8, 1, -c.SourceLength, GreyRamp()) : MakeDib(8, c.SourceLength, -1, GreyRamp());
    auto dest = vertical ? MakeDib(8, 1, -c.DestLength, GreyRamp()) : MakeDib(8, c.DestLength, -1, GreyRamp());
    for (int i = 0; i < c.SourceLength; ++i)
        source->SetRaw(vertical ? 0 : i, vertical ? i : 0, DWORD(i + 1));
    SetStretchBltMode(dest->Dc(), COLORONCOLOR);
    const int w = vertical ? 1 : c.DestLength, h = vertical ? c.DestLength : 1;
    const int sw = vertical ? 1 : c.SourceLength, sh = vertical ? c.SourceLength : 1;
    ASSERT_TRUE(StretchBlt(dest->Dc(), 0, 0, w, h, source->Dc(), 0, 0, sw, sh, SRCCOPY));
    for (int d = 0; d < c.DestLength; ++d)
        EXPECT_EQ(dest->Raw(vertical ? 0 : d, vertical ? d : 0), DWORD(c.Columns[std::size_t(d)] + 1)) << d;
}

INSTANTIATE_TEST_SUITE_P(Ratios, CentreSampling,
                         ::testing::Combine(::testing::Values(TSampleCase{8, 3, {1, 4, 6}}, TSampleCase{5, 4, {0, 1, 3, 4}},
                                                              TSampleCase{7, 1, {3}}, TSampleCase{3, 3, {0, 1, 2}},
                                                              TSampleCase{2, 5, {0, 0, 1, 1, 1}},
                                                              TSampleCase{3, 7, {0, 0, 1, 1, 1, 2, 2}}),
                                            ::testing::Bool()),
                         [](const ::testing::TestParamInfo<std::tuple<TSampleCase, bool>>& info) {
                             const TSampleCase& c = std::get<0>(info.param);
                             return std::to_string(c.SourceLength) + "To" + std::to_string(c.DestLength) +
                                    (std::get<1>(info.param) ? "Rows" : "Columns");
                         });

using StretchMode = TGdiTest;

TEST_F(StretchMode, MonochromeAndScansKeepBlackOrScansKeepWhite) {
    // Source bits 1 1 1 0 | 0 0 0 1: each half shrinks into one pixel.
    const BYTE bits[2] = {0xE1, 0};
    TSurface source(CreateBitmap(8, 1, 1, 1, bits), nullptr);
    TSurface dest(CreateBitmap(4, 1, 1, 1, nullptr), nullptr);
    SetStretchBltMode(dest.Dc(), BLACKONWHITE);
    ASSERT_TRUE(StretchBlt(dest.Dc(), 0, 0, 2, 1, source.Dc(), 0, 0, 8, 1, SRCCOPY));
    SetStretchBltMode(dest.Dc(), WHITEONBLACK);
    ASSERT_TRUE(StretchBlt(dest.Dc(), 2, 0, 2, 1, source.Dc(), 0, 0, 8, 1, SRCCOPY));
    EXPECT_EQ(MonoRow(dest, 0), (std::vector<int>{0, 0, 1, 1}));
    // COLORONCOLOR takes pixels 2 and 6 and so keeps neither extreme.
    SetStretchBltMode(dest.Dc(), COLORONCOLOR);
    ASSERT_TRUE(StretchBlt(dest.Dc(), 0, 0, 2, 1, source.Dc(), 0, 0, 8, 1, SRCCOPY));
    EXPECT_EQ(MonoRow(dest, 0), (std::vector<int>{1, 0, 1, 1}));
}

TEST_F(StretchMode, AndOrScansCombineTwoDimensionalBoxesOnSourceValues) {
    auto source = MakeDib(32, 2, -2);
    source->SetRaw(0, 0, 0x00F0F0F0);
    source->SetRaw(1, 0, 0x003C3C3C);
    source->SetRaw(0, 1, 0x00FFFFFF);
    source->SetRaw(1, 1, 0x00FF0000);
    auto dest = MakeDib(32, 2, -1);
    SetStretchBltMode(dest->Dc(), BLACKONWHITE);
    ASSERT_TRUE(StretchBlt(dest->Dc(), 0, 0, 1, 1, source->Dc(), 0, 0, 2, 2, SRCCOPY));
    SetStretchBltMode(dest->Dc(), WHITEONBLACK);
    ASSERT_TRUE(StretchBlt(dest->Dc(), 1, 0, 1, 1, source->Dc(), 0, 0, 2, 2, SRCCOPY));
    EXPECT_EQ(dest->Raw(0, 0), 0x00300000u);
    EXPECT_EQ(dest->Raw(1, 0), 0x00FFFFFFu);
}

TEST_F(StretchMode, GrowingReplicatesInEveryMode) {
    auto source = MakeDib(8, 2, -1, GreyRamp());
    source->SetRaw(0, 0, 10);
    source->SetRaw(1, 0, 20);
    for (int mode : {BLACKONWHITE, WHITEONBLACK, HALFTONE}) {
        auto dest = MakeDib(8, 5, -1, GreyRamp());
        SetStretchBltMode(dest->Dc(), mode);
        ASSERT_TRUE(StretchBlt(dest->Dc(), 0, 0, 4, 1, source->Dc(), 0, 0, 2, 1, SRCCOPY));
        EXPECT_EQ(dest->Raw(0, 0), 10u) << mode;
        EXPECT_EQ(dest->Raw(1, 0), 10u) << mode;
        EXPECT_EQ(dest->Raw(2, 0), 20u) << mode;
        EXPECT_EQ(dest->Raw(3, 0), 20u) << mode;
        // Growing by an uneven factor, each pixel shows the start of its one-pixel box, where
        // COLORONCOLOR shows the centre pixel (0 0 1 1 1, see CentreSampling).
        ASSERT_TRUE(StretchBlt(dest->Dc(), 0, 0, 5, 1, source->Dc(), 0, 0, 2, 1, SRCCOPY));
        EXPECT_EQ(dest->Raw(2, 0), 10u) << mode;
        EXPECT_EQ(dest->Raw(3, 0), 20u) << mode;
    }
}

TEST_F(StretchMode, HalftoneAveragesTheBoxThenTakesTheNearestColour) {
    auto source = MakeDib(32, 4, -2);
    source->FillRaw(0x00FFFFFF);
    source->SetRaw(0, 0, 0);
    source->SetRaw(1, 1, 0);
    source->SetRaw(2, 0, 0x00FF0000);
    source->SetRaw(3, 0, 0x000000FF);
    source->SetRaw(2, 1, 0x00FF0000);
    source->SetRaw(3, 1, 0x000000FF);
    auto dest = MakeDib(32, 2, -1);
    SetStretchBltMode(dest->Dc(), HALFTONE);
    ASSERT_TRUE(StretchBlt(dest->Dc(), 0, 0, 2, 1, source->Dc(), 0, 0, 4, 2, SRCCOPY));
    EXPECT_EQ(GetPixel(dest->Dc(), 0, 0), RGB(128, 128, 128));  // two blacks, two whites, rounded
    EXPECT_EQ(GetPixel(dest->Dc(), 1, 0), RGB(128, 0, 128));    // red and blue

    auto indexed = MakeDib(4, 1, 1, {Quad(kBlack), Quad(kWhite), Quad(RGB(120, 120, 120)), Quad(kRed)});
    SetStretchBltMode(indexed->Dc(), HALFTONE);
    ASSERT_TRUE(StretchBlt(indexed->Dc(), 0, 0, 1, 1, source->Dc(), 0, 0, 2, 2, SRCCOPY));
    EXPECT_EQ(indexed->Raw(0, 0), 2u);
}

TEST_F(StretchMode, HalftoneOfMonochromeAveragesTheContextColours) {
    const BYTE bits[2] = {0x80, 0};  // 1 0
    TSurface mono(CreateBitmap(2, 1, 1, 1, bits), nullptr);
    auto dest = MakeDib(32, 1, 1);
    SetStretchBltMode(dest->Dc(), HALFTONE);
    SetBkColor(dest->Dc(), RGB(200, 0, 0));
    SetTextColor(dest->Dc(), RGB(0, 0, 100));
    ASSERT_TRUE(StretchBlt(dest->Dc(), 0, 0, 1, 1, mono.Dc(), 0, 0, 2, 1, SRCCOPY));
    EXPECT_EQ(GetPixel(dest->Dc(), 0, 0), RGB(100, 0, 50));
}

struct TMirrorCase {
    const char* Name;
    int DestWidth, SourceWidth, DestHeight, SourceHeight;
    bool FlipX, FlipY;
};
class Mirroring : public TGdiTest, public ::testing::WithParamInterface<TMirrorCase> {};

TEST_P(Mirroring, OppositeSignsMirrorTheImage) {
    const TMirrorCase c = GetParam();
    auto source = MakeDib(8, 3, -3, GreyRamp());
    for (int y = 0; y < 3; ++y)
        for (int x = 0; x < 3; ++x)
            source->SetRaw(x, y, DWORD(10 * y + x + 1));
    auto dest = MakeDib(8, 3, -3, GreyRamp());
    // A negative extent counts from the pixel at its start, so the rectangles stay (0, 0) – (3, 3).
    const int x = c.DestWidth < 0 ? 2 : 0, y = c.DestHeight < 0 ? 2 : 0;
    const int sx = c.SourceWidth < 0 ? 2 : 0, sy = c.SourceHeight < 0 ? 2 : 0;
    ASSERT_TRUE(StretchBlt(dest->Dc(), x, y, c.DestWidth, c.DestHeight, source->Dc(), sx, sy, c.SourceWidth,
                           c.SourceHeight, SRCCOPY));
    for (int j = 0; j < 3; ++j)
        for (int i = 0; i < 3; ++i) {
            const int u = c.FlipX ? 2 - i : i, v = c.FlipY ? 2 - j : j;
            EXPECT_EQ(dest->Raw(i, j), DWORD(10 * v + u + 1)) << i << "," << j;
        }
}

INSTANTIATE_TEST_SUITE_P(Signs, Mirroring,
                         ::testing::Values(TMirrorCase{"AllPositive", 3, 3, 3, 3, false, false},
                                           TMirrorCase{"DestWidthNegative", -3, 3, 3, 3, true, false},
                                           TMirrorCase{"SourceWidthNegative", 3, -3, 3, 3, true, false},
                                           TMirrorCase{"BothWidthsNegative", -3, -3, 3, 3, false, false},
                                           TMirrorCase{"DestHeightNegative", 3, 3, -3, 3, false, true},
                                           TMirrorCase{"SourceHeightNegative", 3, 3, 3, -3, false, true},
                                           TMirrorCase{"DestBothNegative", -3, 3, -3, 3, true, true}),
                         [](const ::testing::TestParamInfo<TMirrorCase>& info) { return std::string(info.param.Name); });

TEST_F(StretchMode, MirroredShrinkIsTheFlipOfTheUnmirroredOne) {
    auto source = MakeDib(8, 8, -1, GreyRamp());
    for (int x = 0; x < 8; ++x)
        source->SetRaw(x, 0, DWORD(x + 1));
    auto plain = MakeDib(8, 3, -1, GreyRamp());
    auto mirrored = MakeDib(8, 3, -1, GreyRamp());
    for (HDC dc : {plain->Dc(), mirrored->Dc()})
        SetStretchBltMode(dc, COLORONCOLOR);
    ASSERT_TRUE(StretchBlt(plain->Dc(), 0, 0, 3, 1, source->Dc(), 0, 0, 8, 1, SRCCOPY));
    ASSERT_TRUE(StretchBlt(mirrored->Dc(), 2, 0, -3, 1, source->Dc(), 0, 0, 8, 1, SRCCOPY));
    for (int x = 0; x < 3; ++x)
        EXPECT_EQ(mirrored->Raw(x, 0), plain->Raw(2 - x, 0)) << x;
}

TEST_F(StretchMode, SourceOutsideItsBitmapLeavesThosePixels) {
    auto source = MakeDib(8, 2, -1, GreyRamp());
    source->SetRaw(0, 0, 5);
    source->SetRaw(1, 0, 6);
    auto dest = MakeDib(8, 4, -1, GreyRamp());
    dest->FillRaw(99);
    SetStretchBltMode(dest->Dc(), COLORONCOLOR);
    // Source columns −2 … 1 grown to four destination pixels: only the last two have a source.
    ASSERT_TRUE(StretchBlt(dest->Dc(), 0, 0, 4, 1, source->Dc(), -2, 0, 4, 1, SRCCOPY));
    EXPECT_EQ(dest->Raw(0, 0), 99u);
    EXPECT_EQ(dest->Raw(1, 0), 99u);
    EXPECT_EQ(dest->Raw(2, 0), 5u);
    EXPECT_EQ(dest->Raw(3, 0), 6u);
    // A box that is partly outside combines only its pixels inside.
    SetStretchBltMode(dest->Dc(), WHITEONBLACK);
    ASSERT_TRUE(StretchBlt(dest->Dc(), 0, 0, 1, 1, source->Dc(), -1, 0, 2, 1, SRCCOPY));
    EXPECT_EQ(dest->Raw(0, 0), 5u);
}

TEST_F(StretchMode, HugeExtentsAreClippedWithoutOverflow) {
    auto source = MakeDib(8, 2, -2, GreyRamp());
    source->FillRaw(7);
    auto dest = MakeDib(8, 2, -2, GreyRamp());
    dest->FillRaw(9);
    SetStretchBltMode(dest->Dc(), COLORONCOLOR);
    EXPECT_TRUE(StretchBlt(dest->Dc(), INT_MIN, INT_MIN, INT_MAX, INT_MAX, source->Dc(), 0, 0, INT_MAX, INT_MAX,
                           SRCCOPY));
    EXPECT_TRUE(StretchBlt(dest->Dc(), 0, 0, INT_MIN, INT_MIN, source->Dc(), INT_MAX, INT_MAX, INT_MIN, INT_MIN,
                           SRCCOPY));
    EXPECT_TRUE(StretchBlt(dest->Dc(), 0, 0, 2, 2, source->Dc(), 0, 0, INT_MIN, INT_MAX, SRCCOPY));
    SetStretchBltMode(dest->Dc(), BLACKONWHITE);
    EXPECT_TRUE(StretchBlt(dest->Dc(), 0, 0, 2, 2, source->Dc(), INT_MIN, INT_MIN, INT_MAX, INT_MAX, SRCCOPY));
    // None of those rectangles has a source pixel inside the source bitmap.
    for (int y = 0; y < 2; ++y)
        for (int x = 0; x < 2; ++x)
            EXPECT_EQ(dest->Raw(x, y), 9u) << x << "," << y;
    // This one covers everything from −1 on.
    EXPECT_TRUE(PatBlt(dest->Dc(), INT_MAX, INT_MAX, INT_MIN, INT_MIN, BLACKNESS));
    EXPECT_EQ(dest->Raw(0, 0), 0u);
    EXPECT_EQ(dest->Raw(1, 1), 0u);
}

// ---- StretchDIBits ---------------------------------------------------------------------------

using StretchDIBitsTest = TGdiTest;

TEST_F(StretchDIBitsTest, BottomUpTwentyFourBitMemoryLandsUpright) {
    // Three rows of two pixels, stored bottom row first: 8 bytes a row with padding.
    const BYTE bits[] = {
        0, 0, 0xFF, 0, 0xFF, 0, 0, 0,      // bottom: red, green
        0xFF, 0, 0, 0xFF, 0xFF, 0xFF, 0, 0, // middle: blue, white
        1, 2, 3, 4, 5, 6, 0, 0,             // top
    };
    TDibInfo info = DibInfo(24, 2, 3);
    auto dest = MakeScreenBitmap(2, 3);
    EXPECT_EQ(StretchDIBits(dest->Dc(), 0, 0, 2, 3, 0, 0, 2, 3, bits, reinterpret_cast<BITMAPINFO*>(&info),
                            DIB_RGB_COLORS, SRCCOPY),
              3);
    EXPECT_EQ(dest->Colours(), (std::vector<COLORREF>{RGB(3, 2, 1), RGB(6, 5, 4), kBlue, kWhite, kRed, kGreen}));

    // Source rows count from the bottom: row 1 up is the middle row.
    auto single = MakeDib(32, 2, -1);
    // The answer is the image's scan lines, whatever part of it is drawn.
    EXPECT_EQ(StretchDIBits(single->Dc(), 0, 0, 2, 1, 0, 1, 2, 1, bits, reinterpret_cast<BITMAPINFO*>(&info),
                            DIB_RGB_COLORS, SRCCOPY),
              3);
    EXPECT_EQ(single->Colours(), (std::vector<COLORREF>{kBlue, kWhite}));
}

TEST_F(StretchDIBitsTest, TopDownAndPackedFormatsConvert) {
    const WORD pixels565[2] = {0xF800, 0x07E0};  // red, green; one row of 4 bytes
    struct {
        BITMAPINFOHEADER Header;
        DWORD Masks[3];
    } bitfields{};
    bitfields.Header = DibInfo(16, 2, -1).Header;
    bitfields.Header.biCompression = BI_BITFIELDS;
    bitfields.Masks[0] = 0xF800;
    bitfields.Masks[1] = 0x07E0;
    bitfields.Masks[2] = 0x001F;
    auto dest = MakeDib(32, 2, -1);
    EXPECT_EQ(StretchDIBits(dest->Dc(), 0, 0, 2, 1, 0, 0, 2, 1, pixels565, reinterpret_cast<BITMAPINFO*>(&bitfields),
                            DIB_RGB_COLORS, SRCCOPY),
              1);
    EXPECT_EQ(dest->Colours(), (std::vector<COLORREF>{kRed, kGreen}));

    const BYTE nibbles[8] = {0x21, 0, 0, 0, 0x12, 0, 0, 0};  // top-down: 2 1 / 1 2
    TDibInfo info = DibInfo(4, 2, -2, {Quad(kBlack), Quad(kBlue), Quad(kGreen)});
    auto square = MakeDib(32, 2, -2);
    EXPECT_EQ(StretchDIBits(square->Dc(), 0, 0, 2, 2, 0, 0, 2, 2, nibbles, reinterpret_cast<BITMAPINFO*>(&info),
                            DIB_RGB_COLORS, SRCCOPY),
              2);
    EXPECT_EQ(square->Colours(), (std::vector<COLORREF>{kGreen, kBlue, kBlue, kGreen}));
}

TEST_F(StretchDIBitsTest, OperationsWithoutSourceNeedNoBits) {
    TDibInfo info = DibInfo(32, 4, 4);
    auto dest = MakeDib(32, 2, 1);
    dest->FillRaw(0x00123456);
    EXPECT_EQ(StretchDIBits(dest->Dc(), 0, 0, 1, 1, 0, 0, 4, 4, nullptr, reinterpret_cast<BITMAPINFO*>(&info),
                            DIB_RGB_COLORS, DSTINVERT),
              4);
    EXPECT_EQ(dest->Raw(0, 0), ~0x00123456u);
    EXPECT_EQ(dest->Raw(1, 0), 0x00123456u);
}

TEST_F(StretchDIBitsTest, RefusesWhatItCannotReadSafely) {
    auto dest = MakeDib(32, 2, 2);
    const BYTE bits[64] = {};
    const auto refused = [&](const char* name, const void* data, TDibInfo info, int sw, int sh, DWORD error) {
        SetLastError(0);
        EXPECT_EQ(StretchDIBits(dest->Dc(), 0, 0, 2, 2, 0, 0, sw, sh, data, reinterpret_cast<BITMAPINFO*>(&info),
                                DIB_RGB_COLORS, SRCCOPY),
                  0)
            << name;
        EXPECT_EQ(GetLastError(), error) << name;
    };
    refused("no bits", nullptr, DibInfo(32, 2, 2), 2, 2, ERROR_INVALID_PARAMETER);
    refused("empty source", bits, DibInfo(32, 2, 2), 0, 2, ERROR_INVALID_PARAMETER);
    TDibInfo planes = DibInfo(32, 2, 2);
    planes.Header.biPlanes = 2;
    refused("two planes", bits, planes, 2, 2, ERROR_INVALID_PARAMETER);
    TDibInfo depth = DibInfo(32, 2, 2);
    depth.Header.biBitCount = 7;
    refused("odd depth", bits, depth, 2, 2, ERROR_INVALID_PARAMETER);
    TDibInfo rle = DibInfo(8, 2, -2);
    rle.Header.biCompression = BI_RLE8;
    refused("top-down run-length data", bits, rle, 2, 2, ERROR_INVALID_PARAMETER);
    TDibInfo shortImage = DibInfo(32, 2, 2);
    shortImage.Header.biSizeImage = 12;  // two rows need 16 bytes
    refused("image size shorter than the rows", bits, shortImage, 2, 2, ERROR_INVALID_PARAMETER);

    SetLastError(0);
    EXPECT_EQ(StretchDIBits(dest->Dc(), 0, 0, 2, 2, 0, 0, 2, 2, bits, nullptr, DIB_RGB_COLORS, SRCCOPY), 0);
    EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
    HDC stale = CreateCompatibleDC(nullptr);
    DeleteDC(stale);
    TDibInfo info = DibInfo(32, 2, 2);
    SetLastError(0);
    EXPECT_EQ(StretchDIBits(stale, 0, 0, 2, 2, 0, 0, 2, 2, bits, reinterpret_cast<BITMAPINFO*>(&info), DIB_RGB_COLORS,
                            SRCCOPY),
              0);
    EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);
}

TEST_F(StretchDIBitsTest, ShrinkingWithColorOnColorReadsOnlyTheSampledRows) {
    const long page = sysconf(_SC_PAGESIZE);
    if (page != 4096)
        GTEST_SKIP() << "the test lays one 1024-pixel row on each 4096-byte page";
    constexpr int kRows = 64;
    void* memory = mmap(nullptr, std::size_t(kRows) * 4096, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    ASSERT_NE(memory, MAP_FAILED);
    BYTE* bits = static_cast<BYTE*>(memory);
    // Top-down rows; 4 × 4 destination pixels take the centre rows 8, 24, 40 and 56.
    for (int row : {8, 24, 40, 56})
        for (int x = 0; x < 1024; ++x)
            std::memcpy(bits + std::size_t(row) * 4096 + 4 * std::size_t(x), &row, 1);
    for (int row = 0; row < kRows; ++row) {
        if (row != 8 && row != 24 && row != 40 && row != 56) {
            ASSERT_EQ(mprotect(bits + std::size_t(row) * 4096, 4096, PROT_NONE), 0);
        }
    }

    TDibInfo info = DibInfo(32, 1024, -kRows);
    auto dest = MakeDib(32, 4, -4);
    SetStretchBltMode(dest->Dc(), COLORONCOLOR);
    EXPECT_EQ(StretchDIBits(dest->Dc(), 0, 0, 4, 4, 0, 0, 1024, kRows, bits, reinterpret_cast<BITMAPINFO*>(&info),
                            DIB_RGB_COLORS, SRCCOPY),
              kRows);
    for (int y = 0; y < 4; ++y)
        EXPECT_EQ(dest->Raw(1, y), DWORD(8 + 16 * y));
    munmap(memory, std::size_t(kRows) * 4096);
}

}  // namespace
