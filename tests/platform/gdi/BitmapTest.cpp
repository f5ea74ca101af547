#include "DibBuilder.h"
#include "GdiTestSupport.h"
#include "platform/gdi/Storage.h"

#include <algorithm>
#include <array>
#include <climits>
#include <cstdint>
#include <vector>

using namespace gdi;

namespace {

constexpr COLORREF kRed = RGB(255, 0, 0);
constexpr COLORREF kGreen = RGB(0, 255, 0);
constexpr COLORREF kBlue = RGB(0, 0, 255);
constexpr COLORREF kWhite = RGB(255, 255, 255);

BITMAP ObjectOf(HGDIOBJ bitmap) {
    BITMAP result{};
    EXPECT_EQ(GetObjectA(bitmap, sizeof result, &result), int(sizeof result));
    return result;
}

}  // namespace

// ---- CreateBitmap -------------------------------------------------------------------------------

using CreateBitmapTest = TGdiTest;

class CreateBitmapDepth : public TGdiTest, public ::testing::WithParamInterface<int> {};

TEST_P(CreateBitmapDepth, InitialBitsAreWordAlignedTopDownRows) {
    const int bits = GetParam();
    const int width = 5, height = 3;
    const std::size_t rowBytes = (std::size_t(width) * bits + 15) / 16 * 2;
    std::vector<BYTE> init(rowBytes * height);
    for (std::size_t i = 0; i < init.size(); ++i)
        init[i] = BYTE(i * 7 + 1);
    HBITMAP bitmap = CreateBitmap(width, height, 1, UINT(bits), init.data());
    ASSERT_NE(bitmap, nullptr);

    BITMAP info = ObjectOf(bitmap);
    EXPECT_EQ(info.bmWidth, width);
    EXPECT_EQ(info.bmHeight, height);
    EXPECT_EQ(info.bmWidthBytes, LONG(rowBytes));
    EXPECT_EQ(info.bmBitsPixel, bits);
    EXPECT_EQ(info.bmPlanes, 1);
    EXPECT_EQ(info.bmBits, nullptr);

    std::vector<BYTE> back(init.size() + 8, 0xEE);
    EXPECT_EQ(GetBitmapBits(bitmap, LONG(back.size()), back.data()), LONG(init.size()));
    EXPECT_TRUE(std::equal(init.begin(), init.end(), back.begin()));
    EXPECT_EQ(back[init.size()], 0xEE);
    EXPECT_TRUE(DeleteObject(bitmap));
}

INSTANTIATE_TEST_SUITE_P(Depths, CreateBitmapDepth, ::testing::Values(1, 4, 8, 16, 24, 32));

TEST_F(CreateBitmapTest, OneBitIsMonochromeAndConvertsBlackAndWhite) {
    const BYTE rows[4] = {0xA0, 0x00, 0x40, 0x00};  // 3 × 2: 1 0 1 / 0 1 0
    HBITMAP bitmap = CreateBitmap(3, 2, 1, 1, rows);
    ASSERT_NE(bitmap, nullptr);
    EXPECT_EQ(ReadColors(bitmap), (std::vector<COLORREF>{kWhite, 0, kWhite, 0, kWhite, 0}));
    EXPECT_TRUE(DeleteObject(bitmap));
}

TEST_F(CreateBitmapTest, EmptySizeGivesANewOneByOneMonochromeBitmap) {
    for (auto [w, h] : {std::pair{0, 5}, std::pair{5, 0}, std::pair{0, 0}}) {
        HBITMAP bitmap = CreateBitmap(w, h, 1, 32, nullptr);
        ASSERT_NE(bitmap, nullptr);
        BITMAP info = ObjectOf(bitmap);
        EXPECT_EQ(info.bmWidth, 1);
        EXPECT_EQ(info.bmHeight, 1);
        EXPECT_EQ(info.bmBitsPixel, 1);
        EXPECT_TRUE(DeleteObject(bitmap));
    }
}

TEST_F(CreateBitmapTest, RefusesBadArgumentsWithInvalidParameter) {
    struct TCase { int W, H; UINT Planes, Bits; };
    for (TCase c : {TCase{-1, 4, 1, 1}, TCase{4, -1, 1, 1}, TCase{4, 4, 2, 1}, TCase{4, 4, 0, 8}, TCase{4, 4, 1, 2},
                    TCase{4, 4, 1, 0}, TCase{4, 4, 1, 48}}) {
        EXPECT_EQ(FailureOf([&] { return CreateBitmap(c.W, c.H, c.Planes, c.Bits, nullptr); }),
                  ERROR_INVALID_PARAMETER)
            << c.W << " " << c.H << " " << c.Planes << " " << c.Bits;
    }
    EXPECT_EQ(FailureOf([&] { return CreateBitmapIndirect(nullptr); }), ERROR_INVALID_PARAMETER);
}

TEST_F(CreateBitmapTest, IndirectTakesTheFieldsOfBitmap) {
    const BYTE rows[2] = {0x12, 0x34};
    BITMAP description{0, 2, 1, 2, 1, 8, const_cast<BYTE*>(rows)};
    HBITMAP bitmap = CreateBitmapIndirect(&description);
    ASSERT_NE(bitmap, nullptr);
    BYTE back[2] = {};
    EXPECT_EQ(GetBitmapBits(bitmap, 2, back), 2);
    EXPECT_EQ(back[0], 0x12);
    EXPECT_EQ(back[1], 0x34);
    EXPECT_TRUE(DeleteObject(bitmap));
}

// ---- CreateCompatibleBitmap ---------------------------------------------------------------------

class CompatibleBitmapScreen : public TGdiTest, public ::testing::WithParamInterface<int> {};

TEST_P(CompatibleBitmapScreen, TakesTheScreenDepthAndStartsBlack) {
    UseScreenDepth(GetParam());
    HDC screen = GetDC(nullptr);
    HBITMAP bitmap = CreateCompatibleBitmap(screen, 9, 4);
    ASSERT_NE(bitmap, nullptr);
    EXPECT_EQ(ObjectOf(bitmap).bmBitsPixel, GetParam());
    std::vector<BYTE> bits(256, 0xEE);
    LONG n = GetBitmapBits(bitmap, LONG(bits.size()), bits.data());
    EXPECT_EQ(n, LONG((9 * GetParam() + 15) / 16 * 2 * 4));
    EXPECT_TRUE(std::all_of(bits.begin(), bits.begin() + n, [](BYTE b) { return b == 0; }));
    EXPECT_TRUE(DeleteObject(bitmap));
    ReleaseDC(nullptr, screen);
}

INSTANTIATE_TEST_SUITE_P(ScreenDepths, CompatibleBitmapScreen, ::testing::Values(1, 4, 8, 16, 24, 32));

using CompatibleBitmap = TGdiTest;

TEST_F(CompatibleBitmap, FreshMemoryContextGivesMonochrome) {
    HDC memory = CreateCompatibleDC(nullptr);
    HBITMAP bitmap = CreateCompatibleBitmap(memory, 8, 8);
    ASSERT_NE(bitmap, nullptr);
    EXPECT_EQ(ObjectOf(bitmap).bmBitsPixel, 1);
    EXPECT_TRUE(DeleteObject(bitmap));
    DeleteDC(memory);
}

TEST_F(CompatibleBitmap, SelectedDibSectionGivesASectionOfTheSameLayout) {
    HDC memory = CreateCompatibleDC(nullptr);
    TDibInfo info(3, -2, 4);
    info.Colors({kRed, kGreen, kBlue}).ClrUsed(3);
    HBITMAP section = CreateDIBSection(nullptr, info.Get(), DIB_RGB_COLORS, nullptr, nullptr, 0);
    ASSERT_NE(section, nullptr);
    HGDIOBJ old = SelectObject(memory, section);

    HBITMAP made = CreateCompatibleBitmap(memory, 10, 5);
    ASSERT_NE(made, nullptr);
    DIBSECTION ds{};
    ASSERT_EQ(GetObjectA(made, sizeof ds, &ds), int(sizeof ds));
    EXPECT_NE(ds.dsBm.bmBits, nullptr);
    EXPECT_EQ(ds.dsBm.bmWidthBytes, 8);
    EXPECT_EQ(ds.dsBmih.biWidth, 10);
    EXPECT_EQ(ds.dsBmih.biHeight, -5);
    EXPECT_EQ(ds.dsBmih.biBitCount, 4);
    EXPECT_EQ(ds.dsBmih.biSizeImage, 40u);

    SelectObject(memory, made);
    RGBQUAD table[16];
    EXPECT_EQ(GetDIBColorTable(memory, 0, 16, table), 16u);
    EXPECT_EQ(table[1].rgbGreen, 255);
    EXPECT_EQ(table[2].rgbBlue, 255);
    SelectObject(memory, old);
    EXPECT_TRUE(DeleteObject(made));
    EXPECT_TRUE(DeleteObject(section));
    DeleteDC(memory);
}

TEST_F(CompatibleBitmap, FailsForBadContextOrNegativeSize) {
    EXPECT_EQ(FailureOf([&] { return CreateCompatibleBitmap(nullptr, 4, 4); }), ERROR_INVALID_HANDLE);
    HDC screen = GetDC(nullptr);
    EXPECT_EQ(FailureOf([&] { return CreateCompatibleBitmap(screen, -4, 4); }), ERROR_INVALID_PARAMETER);
    HBITMAP empty = CreateCompatibleBitmap(screen, 0, 7);
    EXPECT_EQ(ObjectOf(empty).bmBitsPixel, 1);
    EXPECT_TRUE(DeleteObject(empty));
    ReleaseDC(nullptr, screen);
}

// ---- CreateDIBSection ---------------------------------------------------------------------------

struct TSectionCase {
    DWORD HeaderSize;
    WORD Bits;
    DWORD Compression;
};

class DibSectionLayout : public TGdiTest, public ::testing::WithParamInterface<TSectionCase> {};

TEST_P(DibSectionLayout, GivesZeroedPixelsWithTheDescribedStride) {
    const TSectionCase c = GetParam();
    const LONG width = 13, height = 3;
    TDibInfo info(width, height, c.Bits, c.Compression, c.HeaderSize);
    if (c.Compression == BI_BITFIELDS)
        info.Masks(c.Bits == 16 ? 0xF800 : 0xFF0000, c.Bits == 16 ? 0x07E0 : 0xFF00, c.Bits == 16 ? 0x1F : 0xFF);
    void* bits = reinterpret_cast<void*>(1);
    HBITMAP section = CreateDIBSection(nullptr, info.Get(), DIB_RGB_COLORS, &bits, nullptr, 0);
    ASSERT_NE(section, nullptr);
    ASSERT_NE(bits, nullptr);
    const std::size_t stride = DibStrideOf(width, c.Bits);
    const BYTE* pixels = static_cast<const BYTE*>(bits);
    EXPECT_TRUE(std::all_of(pixels, pixels + stride * height, [](BYTE b) { return b == 0; }));

    DIBSECTION ds{};
    ASSERT_EQ(GetObjectA(section, sizeof ds, &ds), int(sizeof ds));
    EXPECT_EQ(ds.dsBm.bmWidth, width);
    EXPECT_EQ(ds.dsBm.bmHeight, height);
    EXPECT_EQ(ds.dsBm.bmWidthBytes, LONG(stride));
    EXPECT_EQ(ds.dsBm.bmBitsPixel, c.Bits);
    EXPECT_EQ(ds.dsBm.bmBits, bits);
    EXPECT_EQ(ds.dsBmih.biSize, 40u);
    EXPECT_EQ(ds.dsBmih.biSizeImage, DWORD(stride * height));
    EXPECT_EQ(ds.dsBmih.biCompression, c.Compression);
    if (c.Compression == BI_BITFIELDS) {
        EXPECT_EQ(ds.dsBitfields[0], c.Bits == 16 ? 0xF800u : 0xFF0000u);
        EXPECT_EQ(ds.dsBitfields[2], c.Bits == 16 ? 0x1Fu : 0xFFu);
    } else {
        EXPECT_EQ(ds.dsBitfields[0], 0u);
    }
    EXPECT_TRUE(DeleteObject(section));
}

INSTANTIATE_TEST_SUITE_P(
    HeadersAndDepths, DibSectionLayout,
    ::testing::Values(TSectionCase{12, 1, BI_RGB}, TSectionCase{12, 8, BI_RGB}, TSectionCase{12, 24, BI_RGB},
                      TSectionCase{40, 1, BI_RGB}, TSectionCase{40, 4, BI_RGB}, TSectionCase{40, 8, BI_RGB},
                      TSectionCase{40, 16, BI_RGB}, TSectionCase{40, 24, BI_RGB}, TSectionCase{40, 32, BI_RGB},
                      TSectionCase{40, 16, BI_BITFIELDS}, TSectionCase{40, 32, BI_BITFIELDS},
                      TSectionCase{52, 16, BI_BITFIELDS}, TSectionCase{56, 32, BI_BITFIELDS},
                      TSectionCase{108, 8, BI_RGB}, TSectionCase{108, 32, BI_BITFIELDS},
                      TSectionCase{124, 24, BI_RGB}, TSectionCase{124, 16, BI_BITFIELDS}));

using DibSection = TGdiTest;

TEST_F(DibSection, RowOrderFollowsTheSignOfTheHeight) {
    for (LONG sign : {1, -1}) {
        TDibInfo info(2, 2 * sign, 32);
        void* bits = nullptr;
        HBITMAP section = CreateDIBSection(nullptr, info.Get(), DIB_RGB_COLORS, &bits, nullptr, 0);
        ASSERT_NE(section, nullptr);
        // The first row in memory is the bottom of a bottom-up image and the top of a top-down one.
        auto* pixels = static_cast<DWORD*>(bits);
        pixels[0] = 0x00FF0000;
        pixels[3] = 0x000000FF;
        std::vector<COLORREF> expected = sign > 0 ? std::vector<COLORREF>{0, kBlue, kRed, 0}
                                                  : std::vector<COLORREF>{kRed, 0, 0, kBlue};
        EXPECT_EQ(ReadColors(section), expected) << "sign " << sign;
        DIBSECTION ds{};
        GetObjectA(section, sizeof ds, &ds);
        EXPECT_EQ(ds.dsBm.bmHeight, 2);
        EXPECT_EQ(ds.dsBmih.biHeight, 2 * sign);
        EXPECT_TRUE(DeleteObject(section));
    }
}

TEST_F(DibSection, ColorTableKeepsClrUsedEntriesAndZeroesTheRest) {
    TDibInfo info(4, 1, 8);
    info.Colors({kRed, kGreen, RGB(1, 2, 3)}).ClrUsed(2);
    HBITMAP section = CreateDIBSection(nullptr, info.Get(), DIB_RGB_COLORS, nullptr, nullptr, 0);
    ASSERT_NE(section, nullptr);
    DIBSECTION ds{};
    GetObjectA(section, sizeof ds, &ds);
    EXPECT_EQ(ds.dsBmih.biClrUsed, 2u);

    HDC memory = CreateCompatibleDC(nullptr);
    HGDIOBJ old = SelectObject(memory, section);
    std::array<RGBQUAD, 256> table{};
    table.fill(RGBQUAD{9, 9, 9, 9});
    ASSERT_EQ(GetDIBColorTable(memory, 0, 256, table.data()), 256u);
    EXPECT_EQ(table[0].rgbRed, 255);
    EXPECT_EQ(table[1].rgbGreen, 255);
    EXPECT_EQ(table[2].rgbRed, 0);  // the third colour was beyond biClrUsed
    EXPECT_EQ(table[255].rgbBlue, 0);
    SelectObject(memory, old);
    DeleteDC(memory);
    EXPECT_TRUE(DeleteObject(section));
}

TEST_F(DibSection, CoreHeaderReadsThreeByteColors) {
    TDibInfo info(2, 1, 1, BI_RGB, 12);
    info.Colors({kBlue, kGreen});
    void* bits = nullptr;
    HBITMAP section = CreateDIBSection(nullptr, info.Get(), DIB_RGB_COLORS, &bits, nullptr, 0);
    ASSERT_NE(section, nullptr);
    static_cast<BYTE*>(bits)[0] = 0x40;  // pixel 0 → index 0, pixel 1 → index 1
    EXPECT_EQ(ReadColors(section), (std::vector<COLORREF>{kBlue, kGreen}));
    EXPECT_TRUE(DeleteObject(section));
}

TEST_F(DibSection, PaletteColorsIndexTheContextsPalette) {
    struct {
        LOGPALETTE Head;
        PALETTEENTRY More[2];
    } log{{0x300, 3, {{10, 20, 30, 0}}}, {{40, 50, 60, 0}, {70, 80, 90, 0}}};
    HPALETTE palette = CreatePalette(&log.Head);
    HDC memory = CreateCompatibleDC(nullptr);
    HPALETTE old = SelectPalette(memory, palette, FALSE);
    TDibInfo info(3, 1, 8);
    info.Indices({2, 0, 7}).ClrUsed(3);
    void* bits = nullptr;
    HBITMAP section = CreateDIBSection(memory, info.Get(), DIB_PAL_COLORS, &bits, nullptr, 0);
    ASSERT_NE(section, nullptr);
    BYTE* pixels = static_cast<BYTE*>(bits);
    pixels[0] = 0, pixels[1] = 1, pixels[2] = 2;
    // Index 7 is beyond the palette and reads as black rather than past its end.
    EXPECT_EQ(ReadColors(section), (std::vector<COLORREF>{RGB(70, 80, 90), RGB(10, 20, 30), 0}));
    EXPECT_TRUE(DeleteObject(section));

    EXPECT_EQ(FailureOf([&] { return CreateDIBSection(nullptr, info.Get(), DIB_PAL_COLORS, &bits, nullptr, 0); }),
              ERROR_INVALID_PARAMETER);
    SelectPalette(memory, old, FALSE);
    DeleteDC(memory);
    DeleteObject(palette);
}

struct TBadHeader {
    const char* Name;
    LONG Width, Height;
    WORD Bits;
    DWORD Compression, HeaderSize;
    WORD Planes;
    DWORD Error;
};

class DibSectionRefuses : public TGdiTest, public ::testing::WithParamInterface<TBadHeader> {};

TEST_P(DibSectionRefuses, WithNullAndTheLastError) {
    const TBadHeader c = GetParam();
    TDibInfo info(c.Width, c.Height, c.Bits, c.Compression, c.HeaderSize);
    if (c.HeaderSize != 12)
        info.Planes(c.Planes);
    void* bits = reinterpret_cast<void*>(1);
    EXPECT_EQ(FailureOf([&] { return CreateDIBSection(nullptr, info.Get(), DIB_RGB_COLORS, &bits, nullptr, 0); }),
              c.Error);
    EXPECT_EQ(bits, nullptr);
}

INSTANTIATE_TEST_SUITE_P(
    Headers, DibSectionRefuses,
    ::testing::Values(TBadHeader{"ZeroWidth", 0, 4, 8, BI_RGB, 40, 1, ERROR_INVALID_PARAMETER},
                      TBadHeader{"NegativeWidth", -4, 4, 8, BI_RGB, 40, 1, ERROR_INVALID_PARAMETER},
                      TBadHeader{"ZeroHeight", 4, 0, 8, BI_RGB, 40, 1, ERROR_INVALID_PARAMETER},
                      TBadHeader{"MinimumHeight", 4, INT32_MIN, 8, BI_RGB, 40, 1, ERROR_INVALID_PARAMETER},
                      TBadHeader{"TwoPlanes", 4, 4, 8, BI_RGB, 40, 2, ERROR_INVALID_PARAMETER},
                      TBadHeader{"TwoBits", 4, 4, 2, BI_RGB, 40, 1, ERROR_INVALID_PARAMETER},
                      TBadHeader{"HeaderOf64", 4, 4, 8, BI_RGB, 64, 1, ERROR_INVALID_PARAMETER},
                      TBadHeader{"BitFieldsAt8", 4, 4, 8, BI_BITFIELDS, 40, 1, ERROR_INVALID_PARAMETER},
                      TBadHeader{"Rle8", 4, 4, 8, BI_RLE8, 40, 1, ERROR_INVALID_PARAMETER},
                      TBadHeader{"Rle4", 4, 4, 4, BI_RLE4, 40, 1, ERROR_INVALID_PARAMETER},
                      TBadHeader{"Jpeg", 4, 4, 24, BI_JPEG, 40, 1, ERROR_INVALID_PARAMETER},
                      TBadHeader{"WidestRow", 0x7FFFFFFF, 1, 32, BI_RGB, 40, 1, ERROR_NOT_ENOUGH_MEMORY},
                      TBadHeader{"HugeArea", 0x7FFFFFFF, 0x7FFFFFFF, 32, BI_RGB, 40, 1, ERROR_NOT_ENOUGH_MEMORY},
                      TBadHeader{"TallAndWide", 65536, -65536, 24, BI_RGB, 40, 1, ERROR_NOT_ENOUGH_MEMORY}),
    [](const auto& info) { return std::string(info.param.Name); });

TEST_F(DibSection, RefusesMissingInfoSectionsAndBadContexts) {
    TDibInfo info(4, 4, 32);
    EXPECT_EQ(FailureOf([&] { return CreateDIBSection(nullptr, nullptr, DIB_RGB_COLORS, nullptr, nullptr, 0); }),
              ERROR_INVALID_PARAMETER);
    int mapping = 0;
    EXPECT_EQ(FailureOf([&] { return CreateDIBSection(nullptr, info.Get(), DIB_RGB_COLORS, nullptr, &mapping, 0); }),
              ERROR_INVALID_PARAMETER);
    HDC stale = CreateCompatibleDC(nullptr);
    DeleteDC(stale);
    EXPECT_EQ(FailureOf([&] { return CreateDIBSection(stale, info.Get(), DIB_RGB_COLORS, nullptr, nullptr, 0); }),
              ERROR_INVALID_HANDLE);
    EXPECT_EQ(FailureOf([&] { return CreateDIBSection(nullptr, info.Get(), 2, nullptr, nullptr, 0); }),
              ERROR_INVALID_PARAMETER);
}

// ---- the storage cap ----------------------------------------------------------------------------

using BitmapStorageCap = TGdiTest;

TEST_F(BitmapStorageCap, EveryCreationRefusesBitmapsAboveTheCap) {
    SetBitmapStorageCap(64 * 64 * 4);
    HDC screen = GetDC(nullptr);
    TDibInfo fits(64, 64, 32), tooBig(64, 65, 32);

    HBITMAP section = CreateDIBSection(nullptr, fits.Get(), DIB_RGB_COLORS, nullptr, nullptr, 0);
    EXPECT_NE(section, nullptr);
    EXPECT_TRUE(DeleteObject(section));

    EXPECT_EQ(FailureOf([&] { return CreateDIBSection(nullptr, tooBig.Get(), DIB_RGB_COLORS, nullptr, nullptr, 0); }),
              ERROR_NOT_ENOUGH_MEMORY);
    EXPECT_EQ(FailureOf([&] { return CreateBitmap(64, 65, 1, 32, nullptr); }), ERROR_NOT_ENOUGH_MEMORY);
    EXPECT_EQ(FailureOf([&] { return CreateCompatibleBitmap(screen, 65, 64); }), ERROR_NOT_ENOUGH_MEMORY);
    EXPECT_EQ(FailureOf([&] { return CreateDIBitmap(screen, &tooBig.Header(), 0, nullptr, nullptr, DIB_RGB_COLORS); }),
              ERROR_NOT_ENOUGH_MEMORY);
    ReleaseDC(nullptr, screen);
}

// ---- GetObject ----------------------------------------------------------------------------------

using BitmapGetObject = TGdiTest;

TEST_F(BitmapGetObject, SizesFollowTheBufferAndTheKindOfBitmap) {
    HBITMAP ddb = CreateBitmap(3, 3, 1, 8, nullptr);
    TDibInfo info(3, 3, 8);
    void* bits = nullptr;
    HBITMAP section = CreateDIBSection(nullptr, info.Get(), DIB_RGB_COLORS, &bits, nullptr, 0);

    EXPECT_EQ(GetObjectA(ddb, 0, nullptr), int(sizeof(BITMAP)));
    EXPECT_EQ(GetObjectA(section, 0, nullptr), int(sizeof(DIBSECTION)));
    static_assert(sizeof(BITMAP) == 32);

    // A buffer with room for a BITMAP only gets the BITMAP, with the pixel pointer of a section.
    std::array<BYTE, sizeof(DIBSECTION)> buffer{};
    buffer.fill(0xAB);
    EXPECT_EQ(GetObjectA(section, sizeof(BITMAP), buffer.data()), int(sizeof(BITMAP)));
    BITMAP record;
    std::memcpy(&record, buffer.data(), sizeof record);
    EXPECT_EQ(record.bmBits, bits);
    EXPECT_EQ(record.bmWidthBytes, 4);
    EXPECT_EQ(buffer[sizeof(BITMAP)], 0xAB);

    EXPECT_EQ(GetObjectA(ddb, sizeof(DIBSECTION), buffer.data()), int(sizeof(BITMAP)));
    std::memcpy(&record, buffer.data(), sizeof record);
    EXPECT_EQ(record.bmWidthBytes, 4);  // 3 bytes rounded up to a 16-bit word
    EXPECT_EQ(record.bmBits, nullptr);

    EXPECT_EQ(FailureOf([&] { return GetObjectA(ddb, sizeof(BITMAP) - 1, buffer.data()); }), ERROR_INVALID_PARAMETER);
    EXPECT_EQ(GetObjectA(section, -5, buffer.data()), 0);
    EXPECT_TRUE(DeleteObject(ddb));
    EXPECT_TRUE(DeleteObject(section));
}

// ---- GetBitmapBits / SetBitmapBits --------------------------------------------------------------

using BitmapBits = TGdiTest;

TEST_F(BitmapBits, ExchangeTopDownWordAlignedRowsOfABottomUpSection) {
    TDibInfo info(3, 2, 8);  // stride 4 in memory, 4 as word-aligned rows
    void* bits = nullptr;
    HBITMAP section = CreateDIBSection(nullptr, info.Get(), DIB_RGB_COLORS, &bits, nullptr, 0);
    const BYTE rows[8] = {1, 2, 3, 0, 4, 5, 6, 0};
    EXPECT_EQ(SetBitmapBits(section, sizeof rows, rows), 8);
    const BYTE* memory = static_cast<const BYTE*>(bits);
    EXPECT_EQ(memory[0], 4);  // the bottom row comes first in memory
    EXPECT_EQ(memory[4], 1);

    BYTE back[8] = {};
    EXPECT_EQ(GetBitmapBits(section, 5, back), 5);
    EXPECT_EQ(back[4], 4);
    EXPECT_EQ(back[5], 0);
    EXPECT_EQ(GetBitmapBits(section, 0, nullptr), 8);
    EXPECT_TRUE(DeleteObject(section));
}

TEST_F(BitmapBits, CopiesNoMoreThanTheBitmapHolds) {
    HBITMAP bitmap = CreateBitmap(17, 2, 1, 1, nullptr);  // rows of 4 bytes
    std::vector<BYTE> data(100, 0xFF);
    EXPECT_EQ(SetBitmapBits(bitmap, DWORD(data.size()), data.data()), 8);
    EXPECT_EQ(SetBitmapBits(bitmap, 3, data.data()), 3);
    std::vector<BYTE> back(100, 0);
    EXPECT_EQ(GetBitmapBits(bitmap, LONG(back.size()), back.data()), 8);
    EXPECT_EQ(back[8], 0);
    EXPECT_EQ(FailureOf([&] { return SetBitmapBits(bitmap, 8, nullptr); }), ERROR_INVALID_PARAMETER);
    EXPECT_EQ(GetBitmapBits(bitmap, -1, back.data()), 0);
    EXPECT_TRUE(DeleteObject(bitmap));
    EXPECT_EQ(FailureOf([&] { return GetBitmapBits(bitmap, 8, back.data()); }), ERROR_INVALID_HANDLE);
}

// ---- GetDIBColorTable / SetDIBColorTable --------------------------------------------------------

using DibColorTable = TGdiTest;

TEST_F(DibColorTable, WorksOnTheSelectedIndexedSectionOnly) {
    HDC memory = CreateCompatibleDC(nullptr);
    RGBQUAD colors[4] = {{1, 2, 3, 0}, {4, 5, 6, 0}, {7, 8, 9, 0}, {10, 11, 12, 0}};
    EXPECT_EQ(GetDIBColorTable(memory, 0, 2, colors), 0u);  // the stock monochrome bitmap

    TDibInfo deep(2, 2, 24);
    HBITMAP direct = CreateDIBSection(nullptr, deep.Get(), DIB_RGB_COLORS, nullptr, nullptr, 0);
    HGDIOBJ old = SelectObject(memory, direct);
    EXPECT_EQ(SetDIBColorTable(memory, 0, 2, colors), 0u);
    SelectObject(memory, old);

    TDibInfo info(2, 1, 1);
    info.Colors({0, kWhite});
    void* bits = nullptr;
    HBITMAP section = CreateDIBSection(nullptr, info.Get(), DIB_RGB_COLORS, &bits, nullptr, 0);
    static_cast<BYTE*>(bits)[0] = 0x40;
    SelectObject(memory, section);
    EXPECT_EQ(SetDIBColorTable(memory, 1, 4, colors), 1u);  // only entry 1 exists past the start
    EXPECT_EQ(SetDIBColorTable(memory, 2, 1, colors), 0u);
    RGBQUAD back[2] = {};
    EXPECT_EQ(GetDIBColorTable(memory, 0, 2, back), 2u);
    EXPECT_EQ(back[1].rgbBlue, 1);
    EXPECT_EQ(back[1].rgbRed, 3);
    SelectObject(memory, old);
    // The new table is what the pixels mean from now on.
    EXPECT_EQ(ReadColors(section), (std::vector<COLORREF>{0, RGB(3, 2, 1)}));
    DeleteDC(memory);
    EXPECT_TRUE(DeleteObject(direct));
    EXPECT_TRUE(DeleteObject(section));
}

// ---- the storage gate that readers of files pass ------------------------------------------------

using StorageGate = TGdiTest;

TEST_F(StorageGate, RefusesWhatTheCapRefusesAndSaysWhy) {
    SetBitmapStorageCap(1000);
    SetLastError(0);
    EXPECT_TRUE(StorageAllowed(1000));
    EXPECT_EQ(GetLastError(), 0u);
    EXPECT_FALSE(StorageAllowed(1001));
    EXPECT_EQ(GetLastError(), ERROR_NOT_ENOUGH_MEMORY);

    // count × size overflowing is a refusal, never a small block.
    EXPECT_TRUE(StorageAllowed(250, 4));
    EXPECT_FALSE(StorageAllowed(251, 4));
    EXPECT_FALSE(StorageAllowed(std::size_t(1) << 62, 8));
}

TEST_F(StorageGate, ThePlanesOfOnePictureAreCheckedTogether) {
    SetBitmapStorageCap(1000);
    EXPECT_TRUE(StorageAllowed({600, 400}));
    // Each plane fits alone, but the picture does not.
    EXPECT_FALSE(StorageAllowed({600, 401}));
    EXPECT_FALSE(StorageAllowed({~std::size_t(0), 2}));
}

TEST_F(StorageGate, AllocatesZeroedBlocksAndSizesVectorsOnlyWithinTheCap) {
    SetBitmapStorageCap(4096);
    auto block = AllocateStorage(4096);
    ASSERT_NE(block, nullptr);
    EXPECT_TRUE(std::all_of(block.get(), block.get() + 4096, [](std::uint8_t b) { return b == 0; }));
    EXPECT_EQ(AllocateStorage(4097), nullptr);

    std::vector<std::uint32_t> words(3, 7);
    EXPECT_TRUE(ResizeStorage(words, 1024));
    EXPECT_EQ(words.size(), 1024u);
    EXPECT_EQ(words[1023], 0u);
    EXPECT_FALSE(ResizeStorage(words, 1025));
    EXPECT_EQ(words.size(), 1024u);
    EXPECT_EQ(words[0], 7u);
}
