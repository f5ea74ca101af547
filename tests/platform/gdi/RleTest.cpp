#include "DibBuilder.h"
#include "GdiTestSupport.h"

#include "platform/gdi/Rle.h"

#include <string>

using namespace gdi;

namespace {

constexpr COLORREF kRed = RGB(255, 0, 0);
constexpr COLORREF kGreen = RGB(0, 255, 0);
constexpr COLORREF kBlue = RGB(0, 0, 255);

struct TRleCase {
    const char* Name;
    DWORD Compression;
    std::vector<BYTE> Stream;
    std::size_t Columns;
    // The decoded indices as hex digits, scan line 0 (the bottom) first, lines split by '|'.
    std::string Expected;
};

std::string Decode(const TRleCase& c) {
    const std::size_t rows = std::size_t(std::count(c.Expected.begin(), c.Expected.end(), '|')) + 1;
    // Exactly the stream's bytes on the heap, so a read past its end is caught by the sanitizer.
    std::unique_ptr<BYTE[]> stream(new BYTE[c.Stream.size() + (c.Stream.empty() ? 1 : 0)]);
    std::copy(c.Stream.begin(), c.Stream.end(), stream.get());
    std::unique_ptr<BYTE[]> out(new BYTE[c.Columns * rows]());
    detail::DecodeRle(c.Compression, stream.get(), c.Stream.size(), out.get(), c.Columns, rows);
    std::string text;
    for (std::size_t y = 0; y < rows; ++y) {
        if (y > 0)
            text += '|';
        for (std::size_t x = 0; x < c.Columns; ++x)
            text += "0123456789ABCDEF"[out[y * c.Columns + x] & 0xF];
    }
    return text;
}

}  // namespace

class RleDecode : public ::testing::TestWithParam<TRleCase> {};

TEST_P(RleDecode, GivesTheIndicesWorkedOutByHand) { EXPECT_EQ(Decode(GetParam()), GetParam().Expected); }

INSTANTIATE_TEST_SUITE_P(
    Rle8, RleDecode,
    ::testing::Values(
        TRleCase{"EncodedRunsAndEndOfLine", BI_RLE8, {3, 1, 1, 2, 0, 0, 2, 3, 0, 1}, 4, "1112|3300|0000"},
        TRleCase{"EndOfBitmapStopsDecoding", BI_RLE8, {2, 5, 0, 1, 4, 7}, 4, "5500|0000|0000"},
        TRleCase{"DeltaMovesRightAndUp", BI_RLE8, {1, 1, 0, 2, 2, 1, 1, 9, 0, 1}, 4, "1000|0009|0000"},
        TRleCase{"OddAbsoluteRunIsPaddedToAWord", BI_RLE8, {0, 3, 10, 11, 12, 0, 1, 13, 0, 1}, 4, "ABCD|0000"},
        TRleCase{"EvenAbsoluteRunHasNoPadding", BI_RLE8, {0, 4, 1, 2, 3, 4, 1, 5, 0, 1}, 5, "12345"},
        TRleCase{"EncodedRunPastTheRowEndIsDropped", BI_RLE8, {6, 5, 0, 0, 1, 6}, 4, "5555|6000|0000"},
        TRleCase{"AbsoluteRunPastTheRowEndIsDropped", BI_RLE8, {0, 6, 1, 2, 3, 4, 5, 6, 1, 7, 0, 0, 1, 8}, 4,
                 "1234|8000"},
        TRleCase{"DeltaAboveTheBitmapEndsDecoding", BI_RLE8, {1, 3, 0, 2, 255, 255, 1, 7}, 4, "3000|0000"},
        TRleCase{"DeltaRightOfTheBitmapDropsTheLinesRest", BI_RLE8, {0, 2, 10, 0, 1, 7, 0, 0, 1, 8}, 4,
                 "0000|8000"},
        TRleCase{"LinesAboveTheBitmapAreIgnored", BI_RLE8, {0, 0, 0, 0, 0, 0, 4, 5}, 2, "00|00"},
        TRleCase{"CommandCutInHalf", BI_RLE8, {2, 3, 0}, 4, "3300|0000"},
        TRleCase{"DeltaCutShort", BI_RLE8, {1, 4, 0, 2, 5}, 4, "4000"},
        TRleCase{"AbsoluteRunPastTheDataKeepsWhatIsThere", BI_RLE8, {0, 5, 1, 2}, 4, "1200|0000"},
        TRleCase{"MissingEndOfBitmap", BI_RLE8, {2, 1, 0, 0, 2, 2}, 4, "1100|2200|0000"},
        TRleCase{"EmptyStream", BI_RLE8, {}, 3, "000|000"}),
    [](const auto& info) { return std::string(info.param.Name); });

INSTANTIATE_TEST_SUITE_P(
    Rle4, RleDecode,
    ::testing::Values(
        TRleCase{"EncodedRunAlternatesNibbles", BI_RLE4, {5, 0x12, 0, 1}, 6, "121210"},
        TRleCase{"OddEncodedRunThenEndOfLine", BI_RLE4, {3, 0x9A, 0, 0, 4, 0xBC, 0, 1}, 4, "9A90|BCBC|0000"},
        TRleCase{"AbsoluteRunOfThreeTakesTwoBytes", BI_RLE4, {0, 3, 0xAB, 0xC0, 2, 0xDE, 0, 1}, 6, "ABCDE0"},
        TRleCase{"AbsoluteRunOfFiveIsPaddedToAWord", BI_RLE4, {0, 5, 0x12, 0x34, 0x50, 0, 1, 0xF0, 0, 1}, 6,
                 "12345F"},
        TRleCase{"DeltaThenRun", BI_RLE4, {0, 2, 1, 1, 2, 0x77, 0, 1}, 4, "0000|0770"},
        TRleCase{"EncodedRunPastTheRowEndIsDropped", BI_RLE4, {6, 0x12, 0, 0, 1, 0x30}, 4, "1212|3000"},
        TRleCase{"AbsoluteRunPastTheDataKeepsWhatIsThere", BI_RLE4, {0, 7, 0x12, 0x34}, 6, "123400"},
        TRleCase{"AbsoluteRunCutAfterAnOddNibble", BI_RLE4, {0, 3, 0x56}, 4, "5600"}),
    [](const auto& info) { return std::string(info.param.Name); });

// ---- through the calls that take compressed bits ------------------------------------------------

using RleBitmap = TGdiTest;

TEST_F(RleBitmap, CreateDIBitmapDecodesBottomUpAndLeavesTheRestAtIndexZero) {
    TDibInfo info(3, 2, 8, BI_RLE8);
    info.Colors({kBlue, kRed, kGreen}).ClrUsed(3);
    const BYTE stream[] = {2, 1, 1, 2, 0, 0, 1, 2, 0, 1};
    info.SizeImage(sizeof stream);
    HDC screen = GetDC(nullptr);
    HBITMAP bitmap = CreateDIBitmap(screen, &info.Header(), CBM_INIT, stream, info.Get(), DIB_RGB_COLORS);
    ASSERT_NE(bitmap, nullptr);
    EXPECT_EQ(ReadColors(bitmap), (std::vector<COLORREF>{kGreen, kBlue, kBlue, kRed, kRed, kGreen}));
    EXPECT_TRUE(DeleteObject(bitmap));

    // The data's size is biSizeImage; without it there is nothing to decode.
    info.SizeImage(0);
    bitmap = CreateDIBitmap(screen, &info.Header(), CBM_INIT, stream, info.Get(), DIB_RGB_COLORS);
    ASSERT_NE(bitmap, nullptr);
    EXPECT_EQ(ReadColors(bitmap), std::vector<COLORREF>(6, kBlue));
    EXPECT_TRUE(DeleteObject(bitmap));
    ReleaseDC(nullptr, screen);
}

TEST_F(RleBitmap, Rle4IntoAnIndexedSectionKeepsTheIndices) {
    TDibInfo table(4, 1, 4);
    table.Colors({0, kRed, kGreen, kBlue}).ClrUsed(4);
    void* bits = nullptr;
    HBITMAP section = CreateDIBSection(nullptr, table.Get(), DIB_RGB_COLORS, &bits, nullptr, 0);
    TDibInfo info(4, 1, 4, BI_RLE4);
    info.Colors({0, kRed, kGreen, kBlue}).ClrUsed(4);
    const BYTE stream[] = {0, 3, 0x12, 0x30, 1, 0x10, 0, 1};
    info.SizeImage(sizeof stream);
    EXPECT_EQ(SetDIBits(nullptr, section, 0, 1, stream, info.Get(), DIB_RGB_COLORS), 1);
    EXPECT_EQ(static_cast<BYTE*>(bits)[0], 0x12);
    EXPECT_EQ(static_cast<BYTE*>(bits)[1], 0x31);
    EXPECT_TRUE(DeleteObject(section));
}

TEST_F(RleBitmap, HugeCompressedHeaderCostsOnlyTheTargetsSize) {
    // A 2 × 2 bitmap from an image that claims 100000 × 100000 pixels: only the part that lands
    // in the bitmap is decoded, so a small cap is enough.
    SetBitmapStorageCap(1024);
    TDibInfo header(2, 2, 32), info(100000, 100000, 8, BI_RLE8);
    info.Colors({kRed, kGreen}).ClrUsed(2);
    const BYTE stream[] = {255, 1, 255, 1, 0, 0, 1, 1, 0, 1};
    info.SizeImage(sizeof stream);
    HDC screen = GetDC(nullptr);
    HBITMAP bitmap = CreateDIBitmap(screen, &header.Header(), CBM_INIT, stream, info.Get(), DIB_RGB_COLORS);
    ASSERT_NE(bitmap, nullptr);
    EXPECT_EQ(ReadColors(bitmap), (std::vector<COLORREF>{kGreen, kRed, kGreen, kGreen}));
    EXPECT_TRUE(DeleteObject(bitmap));
    ReleaseDC(nullptr, screen);
}

struct TBadRle {
    const char* Name;
    LONG Height;
    WORD Bits;
    DWORD Compression;
};

class RleRefused : public TGdiTest, public ::testing::WithParamInterface<TBadRle> {};

TEST_P(RleRefused, ByCreateDIBitmapAndSetDIBits) {
    const TBadRle c = GetParam();
    TDibInfo info(4, c.Height, c.Bits, c.Compression);
    const BYTE stream[] = {0, 1};
    info.SizeImage(sizeof stream);
    HDC screen = GetDC(nullptr);
    EXPECT_EQ(FailureOf([&] { return CreateDIBitmap(screen, &info.Header(), CBM_INIT, stream, info.Get(), 0); }),
              ERROR_INVALID_PARAMETER);
    HBITMAP target = CreateCompatibleBitmap(screen, 4, 4);
    EXPECT_EQ(FailureOf([&] { return SetDIBits(screen, target, 0, 4, stream, info.Get(), DIB_RGB_COLORS); }),
              ERROR_INVALID_PARAMETER);
    EXPECT_TRUE(DeleteObject(target));
    ReleaseDC(nullptr, screen);
}

INSTANTIATE_TEST_SUITE_P(Headers, RleRefused,
                         ::testing::Values(TBadRle{"TopDownRle8", -4, 8, BI_RLE8},
                                           TBadRle{"TopDownRle4", -4, 4, BI_RLE4},
                                           TBadRle{"Rle8AtFourBits", 4, 4, BI_RLE8},
                                           TBadRle{"Rle4AtEightBits", 4, 8, BI_RLE4},
                                           TBadRle{"Rle8AtTwentyFourBits", 4, 24, BI_RLE8}),
                         [](const auto& info) { return std::string(info.param.Name); });
