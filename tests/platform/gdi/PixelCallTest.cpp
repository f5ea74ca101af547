// The pixel calls beside the blits (SetPixelV, GetNearestColor, ExtFloodFill, GradientFill,
// AlphaBlend, TransparentBlt, SetDIBitsToDevice, PlgBlt), DIB pattern brushes, and the transfer
// rules measured on the platform: negative extents, StretchDIBits' source rows, run-length bits.
#include "BlitTestSupport.h"

#include <cstring>
#include <vector>

using namespace gdi;
using namespace blittest;

namespace {

using PixelCalls = TGdiTest;

constexpr COLORREF kWhite = RGB(255, 255, 255);

std::vector<DWORD> RawRow(const TSurface& s, int y) {
    std::vector<DWORD> out;
    for (int x = 0; x < s.Width(); ++x)
        out.push_back(s.Raw(x, y) & 0x00FFFFFFu);
    return out;
}

std::vector<DWORD> RawColumn(const TSurface& s) {
    std::vector<DWORD> out;
    for (int y = 0; y < s.Height(); ++y)
        out.push_back(s.Raw(0, y) & 0x00FFFFFFu);
    return out;
}

// ---- the measured extents and source rows --------------------------------------------------------

struct TExtentCase {
    int X, W, SX, SW;
    std::vector<DWORD> Row;
};

TEST_F(PixelCalls, NegativeBlitExtentsCountFromTheirStartPixel) {
    auto source = MakeDib(32, 8, -1);
    for (int i = 0; i < 8; ++i)
        source->SetRaw(i, 0, DWORD(i + 1));
    // Source 1 … 8 in a row; results measured on the platform.
    const TExtentCase cases[] = {
        {5, -4, 0, 4, {0, 0, 4, 3, 2, 1, 0, 0, 0, 0, 0, 0}},
        {5, 4, 3, -4, {0, 0, 0, 0, 0, 4, 3, 2, 1, 0, 0, 0}},
        {5, -4, 3, -4, {0, 0, 1, 2, 3, 4, 0, 0, 0, 0, 0, 0}},
        {6, -4, 6, -4, {0, 0, 0, 4, 5, 6, 7, 0, 0, 0, 0, 0}},
        {5, -8, 0, 4, {3, 3, 2, 2, 1, 1, 0, 0, 0, 0, 0, 0}},
        {1, 8, 3, -4, {0, 4, 4, 3, 3, 2, 2, 1, 1, 0, 0, 0}},
        {8, -8, 6, -4, {0, 4, 4, 5, 5, 6, 6, 7, 7, 0, 0, 0}},
    };
    for (const TExtentCase& c : cases) {
        auto dest = MakeDib(32, 12, -1);
        SetStretchBltMode(dest->Dc(), COLORONCOLOR);
        ASSERT_TRUE(StretchBlt(dest->Dc(), c.X, 0, c.W, 1, source->Dc(), c.SX, 0, c.SW, 1, SRCCOPY));
        EXPECT_EQ(RawRow(*dest, 0), c.Row) << c.X << " " << c.W << " " << c.SX << " " << c.SW;
    }
}

struct TSourceRowCase {
    bool TopDown;
    int Y, H, SY, SH;
    std::vector<DWORD> Column;  // destination rows 0 … 5
};

TEST_F(PixelCalls, StretchDIBitsCountsSourceRowsFromTheBottom) {
    const DWORD bits[8] = {1, 2, 3, 4, 5, 6, 7, 8};  // memory order
    const TSourceRowCase cases[] = {
        {false, 1, 2, 1, 2, {0, 3, 2, 0, 0, 0}},  {false, 1, 2, 3, -2, {0, 1, 2, 0, 0, 0}},
        {false, 4, -2, 1, 2, {0, 0, 0, 2, 3, 0}}, {false, 4, -2, 3, -2, {0, 0, 0, 2, 1, 0}},
        {true, 1, 2, 1, 2, {0, 6, 7, 0, 0, 0}},   {true, 1, 3, 0, 3, {0, 1, 2, 3, 0, 0}},
        {true, 1, 2, 3, -2, {0, 8, 7, 0, 0, 0}},  {true, 1, 3, 5, 3, {0, 1, 2, 3, 0, 0}},
        {true, 1, 3, 2, 3, {0, 4, 5, 6, 0, 0}},   {true, 4, -2, 1, 2, {0, 0, 0, 7, 6, 0}},
    };
    for (const TSourceRowCase& c : cases) {
        TDibInfo info = DibInfo(32, 1, c.TopDown ? -8 : 8);
        auto dest = MakeDib(32, 1, -6);
        EXPECT_EQ(StretchDIBits(dest->Dc(), 0, c.Y, 1, c.H, 0, c.SY, 1, c.SH, bits,
                                reinterpret_cast<BITMAPINFO*>(&info), DIB_RGB_COLORS, SRCCOPY),
                  8);
        EXPECT_EQ(RawColumn(*dest), c.Column) << c.TopDown << " " << c.Y << " " << c.H << " " << c.SY << " " << c.SH;
    }
}

// ---- run-length bits and SetDIBitsToDevice -------------------------------------------------------

struct TRleInfo {
    BITMAPINFOHEADER Header{};
    RGBQUAD Colors[256]{};
};

TRleInfo GreyRle(DWORD compression, int bpp, int width, int height, DWORD size) {
    TRleInfo info;
    info.Header = DibInfo(bpp, width, height).Header;
    info.Header.biCompression = compression;
    info.Header.biSizeImage = size;
    for (int i = 0; i < 256; ++i)
        info.Colors[i] = RGBQUAD{BYTE(i), BYTE(i), BYTE(i), 0};
    return info;
}

TEST_F(PixelCalls, RunLengthBitsDrawAndLeaveTheSkippedPixels) {
    // Bottom line: two pixels of 5, end of line; top line: skip one, one pixel of 7, end.
    const BYTE rle8[] = {2, 5, 0, 0, 0, 2, 1, 0, 1, 7, 0, 1};
    TRleInfo info = GreyRle(BI_RLE8, 8, 4, 2, sizeof rle8);
    const std::vector<DWORD> top{0xABCDEF, 0x070707, 0xABCDEF, 0xABCDEF};
    const std::vector<DWORD> bottom{0x050505, 0x050505, 0xABCDEF, 0xABCDEF};
    for (bool stretch : {true, false}) {
        auto dest = MakeDib(32, 4, -2);
        dest->FillRaw(0xABCDEF);
        const int lines = stretch ? StretchDIBits(dest->Dc(), 0, 0, 4, 2, 0, 0, 4, 2, rle8,
                                                  reinterpret_cast<BITMAPINFO*>(&info), DIB_RGB_COLORS, SRCCOPY)
                                  : SetDIBitsToDevice(dest->Dc(), 0, 0, 4, 2, 0, 0, 0, 2, rle8,
                                                      reinterpret_cast<BITMAPINFO*>(&info), DIB_RGB_COLORS);
        EXPECT_EQ(lines, 2) << stretch;
        EXPECT_EQ(RawRow(*dest, 0), top) << stretch;
        EXPECT_EQ(RawRow(*dest, 1), bottom) << stretch;
    }
    // Stretched, RLE4, and data cut short: never read past the stated size.
    const BYTE rle4[] = {4, 0x9A, 0, 1};
    TRleInfo four = GreyRle(BI_RLE4, 4, 4, 1, sizeof rle4);
    auto wide = MakeDib(32, 8, -1);
    SetStretchBltMode(wide->Dc(), COLORONCOLOR);
    ASSERT_EQ(StretchDIBits(wide->Dc(), 0, 0, 8, 1, 0, 0, 4, 1, rle4, reinterpret_cast<BITMAPINFO*>(&four),
                            DIB_RGB_COLORS, SRCCOPY),
              1);
    EXPECT_EQ(RawRow(*wide, 0), (std::vector<DWORD>{9 * 0x010101u, 9 * 0x010101u, 10 * 0x010101u, 10 * 0x010101u,
                                                    9 * 0x010101u, 9 * 0x010101u, 10 * 0x010101u, 10 * 0x010101u}));
    const std::vector<BYTE> cut(rle8, rle8 + 3);
    info.Header.biSizeImage = 3;
    auto dest = MakeDib(32, 4, -2);
    EXPECT_EQ(StretchDIBits(dest->Dc(), 0, 0, 4, 2, 0, 0, 4, 2, cut.data(), reinterpret_cast<BITMAPINFO*>(&info),
                            DIB_RGB_COLORS, SRCCOPY),
              2);
    EXPECT_EQ(dest->Raw(0, 1), 0x050505u);
}

struct TScanCase {
    bool TopDown;
    int Y, H, SY;
    UINT Start, Lines;
    int Result;
    std::vector<DWORD> Column;  // destination rows 0 … 7
};

TEST_F(PixelCalls, SetDIBitsToDeviceTakesScanBandsFromTheLowerLeftCorner) {
    const DWORD bits[6] = {1, 2, 3, 4, 5, 6};
    // Results measured on the platform; lines beyond the image are cut to those it has.
    const TScanCase cases[] = {
        {false, 0, 6, 0, 0, 6, 6, {6, 5, 4, 3, 2, 1, 0, 0}}, {false, 0, 3, 1, 0, 6, 4, {4, 3, 2, 0, 0, 0, 0, 0}},
        {false, 0, 6, 0, 2, 2, 2, {0, 0, 2, 1, 0, 0, 0, 0}}, {false, 0, 6, 0, 0, 9, 6, {6, 5, 4, 3, 2, 1, 0, 0}},
        {false, 0, 6, 0, 3, 6, 3, {3, 2, 1, 0, 0, 0, 0, 0}}, {false, 0, 2, 2, 2, 3, 2, {2, 1, 0, 0, 0, 0, 0, 0}},
        {false, 2, 6, 0, 0, 6, 6, {0, 0, 6, 5, 4, 3, 2, 1}}, {true, 0, 6, 0, 0, 6, 6, {1, 2, 3, 4, 5, 6, 0, 0}},
        {true, 0, 3, 1, 0, 6, 6, {3, 4, 5, 0, 0, 0, 0, 0}},  {true, 0, 6, 0, 2, 2, 2, {0, 0, 1, 2, 0, 0, 0, 0}},
        {true, 2, 6, 0, 0, 6, 6, {0, 0, 1, 2, 3, 4, 5, 6}},
    };
    for (const TScanCase& c : cases) {
        TDibInfo info = DibInfo(32, 1, c.TopDown ? -6 : 6);
        auto dest = MakeDib(32, 1, -8);
        EXPECT_EQ(SetDIBitsToDevice(dest->Dc(), 0, c.Y, 1, DWORD(c.H), 0, c.SY, c.Start, c.Lines, bits,
                                    reinterpret_cast<BITMAPINFO*>(&info), DIB_RGB_COLORS),
                  c.Result);
        EXPECT_EQ(RawColumn(*dest), c.Column) << c.TopDown << " " << c.Y << " " << c.H << " " << c.SY << " "
                                              << c.Start << " " << c.Lines;
    }
    // A stated image size bounds the lines read, whatever count the caller claims.
    TDibInfo sized = DibInfo(32, 1, 6);
    sized.Header.biSizeImage = 8;
    auto dest = MakeDib(32, 1, -8);
    EXPECT_EQ(SetDIBitsToDevice(dest->Dc(), 0, 0, 1, 6, 0, 0, 0, 6, bits, reinterpret_cast<BITMAPINFO*>(&sized),
                                DIB_RGB_COLORS),
              2);
    EXPECT_EQ(RawColumn(*dest), (std::vector<DWORD>{0, 0, 0, 0, 2, 1, 0, 0}));
}

// ---- single pixels and nearest colours on every depth ------------------------------------------

struct TDepthCase {
    int Bpp;
    COLORREF Asked, Nearest;
};

TEST_F(PixelCalls, NearestColoursAndSetPixelVOnEveryDepth) {
    const std::vector<RGBQUAD> mono{Quad(0), Quad(kWhite)};
    const std::vector<RGBQUAD> four{Quad(0), Quad(RGB(255, 0, 0)), Quad(RGB(0, 0, 255)), Quad(kWhite)};
    const TDepthCase cases[] = {
        {1, RGB(100, 100, 100), 0}, {1, RGB(200, 100, 100), kWhite},     {8, RGB(200, 20, 30), RGB(255, 0, 0)},
        {16, RGB(250, 3, 7), RGB(255, 0, 0)}, {24, RGB(1, 2, 3), RGB(1, 2, 3)}, {32, RGB(9, 8, 7), RGB(9, 8, 7)},
    };
    for (const TDepthCase& c : cases) {
        auto surface = MakeDib(c.Bpp, 4, 4, c.Bpp == 1 ? mono : c.Bpp == 8 ? four : std::vector<RGBQUAD>{});
        EXPECT_EQ(GetNearestColor(surface->Dc(), c.Asked), c.Nearest) << c.Bpp;
        EXPECT_TRUE(SetPixelV(surface->Dc(), 1, 1, c.Asked)) << c.Bpp;
        EXPECT_EQ(GetPixel(surface->Dc(), 1, 1), c.Nearest) << c.Bpp;
        IntersectClipRect(surface->Dc(), 0, 0, 1, 1);
        EXPECT_FALSE(SetPixelV(surface->Dc(), 2, 2, c.Asked)) << "outside the clip";
    }
    HDC fresh = CreateCompatibleDC(nullptr);
    EXPECT_EQ(GetMapMode(fresh), MM_TEXT);
    EXPECT_EQ(GetNearestColor(fresh, RGB(100, 100, 100)), 0u) << "its 1 × 1 monochrome bitmap";
    DeleteDC(fresh);
    EXPECT_EQ(GetNearestColor(fresh, 0), CLR_INVALID);
}

// ---- GradientFill ----------------------------------------------------------------------------------

TEST_F(PixelCalls, GradientsInterpolateSixteenBitChannelsAtPixelPoints) {
    auto surface = MakeDib(32, 10, -10);
    TRIVERTEX v[3] = {{0, 0, 0, 0, 0, 0}, {10, 1, 0xFF00, 0x8000, 0x0100, 0}, {0, 10, 0, 0xFF00, 0, 0}};
    const GRADIENT_RECT rect{0, 1};
    ASSERT_TRUE(GradientFill(surface->Dc(), v, 2, &rect, 1, GRADIENT_FILL_RECT_H));
    EXPECT_EQ(RawRow(*surface, 0), (std::vector<DWORD>{0, 0x190C00, 0x331900, 0x4C2600, 0x663300, 0x7F4000, 0x994C00,
                                                       0xB25900, 0xCC6600, 0xE57300}));
    // Clipped, the columns that stay keep their colours.
    surface->FillRaw(0);
    IntersectClipRect(surface->Dc(), 3, 0, 7, 10);
    ASSERT_TRUE(GradientFill(surface->Dc(), v, 2, &rect, 1, GRADIENT_FILL_RECT_H));
    EXPECT_EQ(RawRow(*surface, 0), (std::vector<DWORD>{0, 0, 0, 0x4C2600, 0x663300, 0x7F4000, 0x994C00, 0, 0, 0}));
    SelectClipRgn(surface->Dc(), nullptr);
    auto column = MakeDib(32, 1, -6);
    const TRIVERTEX down[2] = {{0, 0, 0, 0, 0, 0}, {1, 6, 0xFF00, 0xFF00, 0xFF00, 0}};
    ASSERT_TRUE(GradientFill(column->Dc(), down, 2, &rect, 1, GRADIENT_FILL_RECT_V));
    EXPECT_EQ(RawColumn(*column), (std::vector<DWORD>{0, 0x2A2A2A, 0x555555, 0x7F7F7F, 0xAAAAAA, 0xD4D4D4}));
    // Vertices the other way round: each edge keeps its vertex's colour.
    TRIVERTEX swapped[2] = {{8, 0, 0xFF00, 0, 0, 0}, {2, 1, 0, 0, 0xFF00, 0}};
    surface->FillRaw(0);
    ASSERT_TRUE(GradientFill(surface->Dc(), swapped, 2, &rect, 1, GRADIENT_FILL_RECT_H));
    EXPECT_EQ(RawRow(*surface, 0),
              (std::vector<DWORD>{0, 0, 0xFF, 0x2A00D4, 0x5500AA, 0x7F007F, 0xAA0055, 0xD4002A, 0, 0}));

    surface->FillRaw(0);
    v[1].y = 0;
    const GRADIENT_TRIANGLE triangle{0, 1, 2};
    ASSERT_TRUE(GradientFill(surface->Dc(), v, 3, &triangle, 1, GRADIENT_FILL_TRIANGLE));
    int covered = 0;
    for (int y = 0; y < 10; ++y)
        for (int x = 0; x < 10; ++x)
            covered += (surface->Raw(x, y) != 0 || (x == 0 && y == 0)) ? 1 : 0;
    EXPECT_EQ(covered, 55) << "x + y < 10, as measured";
    EXPECT_EQ(surface->Raw(1, 1) & 0xFFFFFFu, 0x192600u);
    EXPECT_EQ(surface->Raw(6, 3) & 0xFFFFFFu, 0x999900u);
    EXPECT_EQ(surface->Raw(0, 9) & 0xFFFFFFu, 0x00E500u);

    // Indexed targets take the nearest colour; refusals draw nothing.
    v[1].y = 1;
    auto indexed = MakeDib(8, 10, -1, {Quad(0), Quad(RGB(255, 0, 0))});
    ASSERT_TRUE(GradientFill(indexed->Dc(), v, 2, &rect, 1, GRADIENT_FILL_RECT_H));
    EXPECT_EQ(indexed->Raw(2, 0), 0u);
    EXPECT_EQ(indexed->Raw(9, 0), 1u);
    const GRADIENT_RECT outOfRange{0, 5};
    const GRADIENT_RECT both[2] = {rect, outOfRange};
    for (const auto& [mesh, count, mode, vertices] :
         {std::tuple{static_cast<const void*>(both), 2u, GRADIENT_FILL_RECT_H, 2u},
          std::tuple{static_cast<const void*>(&rect), 1u, 7u, 2u},
          std::tuple{static_cast<const void*>(&rect), 1u << 30, GRADIENT_FILL_RECT_H, 2u},
          std::tuple{static_cast<const void*>(&rect), 1u, GRADIENT_FILL_RECT_V, 0u}}) {
        SetLastError(0);
        indexed->FillRaw(0);
        EXPECT_FALSE(GradientFill(indexed->Dc(), v, vertices, mesh, count, mode));
        EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
        EXPECT_EQ(indexed->Raw(9, 0), 0u);
    }
}

// ---- AlphaBlend and TransparentBlt ----------------------------------------------------------------

TEST_F(PixelCalls, AlphaBlendRoundsAsMeasured) {
    auto source = MakeDib(32, 4, -1);
    const DWORD pixels[4] = {0x00C86432, 0x80402010, 0xFF102030, 0};
    for (int i = 0; i < 4; ++i)
        source->SetRaw(i, 0, pixels[i]);
    struct {
        BYTE Constant, Format;
        std::vector<DWORD> Row;
    } cases[] = {
        {128, 0, {0x2096787D, 0x6052566C, 0xA03A567C, 0x20324664}},
        {255, AC_SRC_ALPHA, {0x40FFF0FA, 0xA0726674, 0xFF102030, 0x40648CC8}},
        {100, AC_SRC_ALPHA, {0x40B2B3DC, 0x65697EA7, 0x8B43628D, 0x40648CC8}},
    };
    for (const auto& c : cases) {
        auto dest = MakeDib(32, 4, -1);
        dest->FillRaw(0x40648CC8);
        ASSERT_TRUE(AlphaBlend(dest->Dc(), 0, 0, 4, 1, source->Dc(), 0, 0, 4, 1,
                               BLENDFUNCTION{AC_SRC_OVER, 0, c.Constant, c.Format}));
        for (int i = 0; i < 4; ++i)
            EXPECT_EQ(dest->Raw(i, 0), c.Row[std::size_t(i)]) << int(c.Constant) << " " << i;
    }
    // Stretched by centre pixels onto an indexed surface.
    auto indexed = MakeDib(8, 8, -1, {Quad(0), Quad(kWhite)});
    auto white = MakeDib(32, 2, -1);
    white->FillRaw(0xFFFFFFFF);
    ASSERT_TRUE(AlphaBlend(indexed->Dc(), 0, 0, 8, 1, white->Dc(), 0, 0, 2, 1, BLENDFUNCTION{0, 0, 200, 0}));
    EXPECT_EQ(indexed->Raw(7, 0), 1u);
    // The documented refusals.
    const auto refused = [](HDC dest, int x, int w, HDC source, int sx, int sw, BLENDFUNCTION f) {
        SetLastError(0);
        EXPECT_FALSE(AlphaBlend(dest, x, 0, w, 1, source, sx, 0, sw, 1, f));
        EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
    };
    auto dest = MakeDib(32, 4, -1);
    refused(dest->Dc(), 0, 4, source->Dc(), 1, 4, BLENDFUNCTION{0, 0, 255, 0});               // beyond the source
    refused(dest->Dc(), 4, -4, source->Dc(), 0, 4, BLENDFUNCTION{0, 0, 255, 0});              // mirroring
    refused(source->Dc(), 0, 2, source->Dc(), 1, 2, BLENDFUNCTION{0, 0, 255, 0});             // overlapping
    refused(dest->Dc(), 0, 4, indexed->Dc(), 0, 4, BLENDFUNCTION{0, 0, 255, AC_SRC_ALPHA});   // not 32 bits
}

TEST_F(PixelCalls, TransparentBltSkipsTheKeyColourAndStretches) {
    auto source = MakeDib(24, 4, -1);
    const DWORD pixels[4] = {0xFF0000, 0xFF00FF, 0x00FF00, 0xFF00FF};  // red, magenta, green, magenta
    for (int i = 0; i < 4; ++i)
        source->SetRaw(i, 0, pixels[i]);
    for (int bpp : {1, 8, 32}) {
        auto dest = MakeDib(bpp, 8, -1, bpp == 1   ? std::vector<RGBQUAD>{Quad(0), Quad(kWhite)}
                                        : bpp == 8 ? std::vector<RGBQUAD>{Quad(0), Quad(RGB(255, 0, 0)),
                                                                          Quad(RGB(0, 255, 0)), Quad(kWhite)}
                                                   : std::vector<RGBQUAD>{});
        PatBlt(dest->Dc(), 0, 0, 8, 1, BLACKNESS);
        ASSERT_TRUE(TransparentBlt(dest->Dc(), 0, 0, 8, 1, source->Dc(), 0, 0, 4, 1, RGB(255, 0, 255))) << bpp;
        const COLORREF black = 0;
        EXPECT_EQ(GetPixel(dest->Dc(), 2, 0), black) << bpp;
        EXPECT_EQ(GetPixel(dest->Dc(), 7, 0), black) << bpp;
        EXPECT_EQ(GetPixel(dest->Dc(), 1, 0), GetNearestColor(dest->Dc(), RGB(255, 0, 0))) << bpp;
        EXPECT_EQ(GetPixel(dest->Dc(), 4, 0), GetNearestColor(dest->Dc(), RGB(0, 255, 0))) << bpp;
    }
    auto dest = MakeDib(32, 8, -1);
    SetLastError(0);
    EXPECT_FALSE(TransparentBlt(dest->Dc(), 6, 0, -4, 1, source->Dc(), 0, 0, 4, 1, 0));
    EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
}

// ---- ExtFloodFill ---------------------------------------------------------------------------------

TEST_F(PixelCalls, FloodFillTakesTheConnectedAreaThroughTheMixMode) {
    auto surface = MakeDib(32, 8, -8);
    surface->FillRaw(0xFFFFFF);
    // A black ring around (2,2)-(5,5) and a gap-free wall.
    for (int i = 1; i < 7; ++i) {
        surface->SetRaw(i, 1, 0), surface->SetRaw(i, 6, 0);
        surface->SetRaw(1, i, 0), surface->SetRaw(6, i, 0);
    }
    HBRUSH brush = CreateSolidBrush(RGB(0, 0, 255));
    HGDIOBJ old = SelectObject(surface->Dc(), brush);
    SetROP2(surface->Dc(), R2_XORPEN);
    EXPECT_TRUE(ExtFloodFill(surface->Dc(), 3, 3, 0, FLOODFILLBORDER));
    EXPECT_EQ(surface->Raw(2, 2), 0xFFFF00u) << "white xor blue";
    EXPECT_EQ(surface->Raw(5, 5), 0xFFFF00u);
    EXPECT_EQ(surface->Raw(0, 0), 0xFFFFFFu) << "outside the ring";
    EXPECT_EQ(surface->Raw(1, 1), 0u);
    EXPECT_FALSE(ExtFloodFill(surface->Dc(), 1, 1, 0, FLOODFILLBORDER)) << "on the border";
    SetROP2(surface->Dc(), R2_COPYPEN);
    // The surface form: the outside white area, cut by the clip.
    IntersectClipRect(surface->Dc(), 0, 0, 8, 7);
    EXPECT_FALSE(ExtFloodFill(surface->Dc(), 0, 0, RGB(1, 2, 3), FLOODFILLSURFACE));
    EXPECT_TRUE(ExtFloodFill(surface->Dc(), 0, 0, kWhite, FLOODFILLSURFACE));
    EXPECT_EQ(surface->Raw(7, 6), 0x0000FFu);
    EXPECT_EQ(surface->Raw(7, 7), 0xFFFFFFu) << "outside the clip";
    EXPECT_EQ(surface->Raw(3, 3), 0xFFFF00u) << "inside the ring";
    // Four-connected, as measured: a diagonal wall keeps the corner behind it.
    auto small = MakeDib(32, 4, -4);
    small->FillRaw(0xFFFFFF);
    small->SetRaw(1, 0, 0), small->SetRaw(0, 1, 0);
    SelectObject(small->Dc(), brush);
    EXPECT_TRUE(ExtFloodFill(small->Dc(), 3, 3, 0, FLOODFILLBORDER));
    EXPECT_EQ(small->Raw(0, 0), 0xFFFFFFu);
    EXPECT_EQ(small->Raw(1, 1), 0x0000FFu);
    SelectObject(small->Dc(), GetStockObject(WHITE_BRUSH));
    SelectObject(surface->Dc(), old);
    DeleteObject(brush);
}

// ---- PlgBlt and turned blits ----------------------------------------------------------------------

TEST_F(PixelCalls, PlgBltFillsTheParallelogramFromPixelCentres) {
    auto source = MakeDib(32, 4, -4);
    for (int y = 0; y < 4; ++y)
        for (int x = 0; x < 4; ++x)
            source->SetRaw(x, y, DWORD(4 * y + x + 1));
    auto dest = MakeDib(32, 12, -12);
    const POINT doubled[3] = {{1, 1}, {9, 1}, {1, 9}};
    ASSERT_TRUE(PlgBlt(dest->Dc(), doubled, source->Dc(), 0, 0, 4, 4, nullptr, 0, 0));
    EXPECT_EQ(RawRow(*dest, 1), (std::vector<DWORD>{0, 1, 1, 2, 2, 3, 3, 4, 4, 0, 0, 0}));
    EXPECT_EQ(RawRow(*dest, 8), (std::vector<DWORD>{0, 13, 13, 14, 14, 15, 15, 16, 16, 0, 0, 0}));
    EXPECT_EQ(dest->Raw(1, 9), 0u);
    // A quarter turn: the source's top row runs down column 4, its left column leftwards on row 1.
    dest->FillRaw(0);
    const POINT turned[3] = {{5, 1}, {5, 5}, {1, 1}};
    ASSERT_TRUE(PlgBlt(dest->Dc(), turned, source->Dc(), 0, 0, 4, 4, nullptr, 0, 0));
    EXPECT_EQ(RawColumn(*dest)[0], 0u);
    for (int i = 0; i < 4; ++i) {
        EXPECT_EQ(dest->Raw(4, 1 + i), DWORD(1 + i)) << i;
        EXPECT_EQ(dest->Raw(4 - i, 1), DWORD(1 + 4 * i)) << i;
    }
    EXPECT_EQ(dest->Raw(5, 1), 0u);
    // A mask keeps the destination where its bit is 0.
    const BYTE maskRows[8] = {0xA0, 0, 0xA0, 0, 0xA0, 0, 0xA0, 0};  // rows padded to 16 bits
    HBITMAP mask = CreateBitmap(4, 4, 1, 1, maskRows);
    dest->FillRaw(0);
    const POINT plain[3] = {{0, 0}, {4, 0}, {0, 4}};
    ASSERT_TRUE(PlgBlt(dest->Dc(), plain, source->Dc(), 0, 0, 4, 4, mask, 0, 0));
    EXPECT_EQ(RawRow(*dest, 0), (std::vector<DWORD>{1, 0, 3, 0, 0, 0, 0, 0, 0, 0, 0, 0}));
    DeleteObject(mask);
    // A rotating world transform turns a plain BitBlt the same way.
    dest->FillRaw(0);
    SetGraphicsMode(dest->Dc(), GM_ADVANCED);
    const XFORM quarter{0, 1, -1, 0, 5, 1};
    SetWorldTransform(dest->Dc(), &quarter);
    ASSERT_TRUE(BitBlt(dest->Dc(), 0, 0, 4, 4, source->Dc(), 0, 0, SRCCOPY));
    for (int i = 0; i < 4; ++i)
        EXPECT_EQ(dest->Raw(4, 1 + i), DWORD(1 + i)) << i;
}

// ---- DIB pattern brushes --------------------------------------------------------------------------

struct TPackedDib {
    BITMAPINFOHEADER Header{};
    RGBQUAD Colors[4]{};
    BYTE Bits[8][4]{};  // 8 rows of 4 pixels, bottom-up
};

TEST_F(PixelCalls, DibPatternBrushesPaintFromTheirOwnColoursAtTheBrushOrigin) {
    TPackedDib packed;
    packed.Header = DibInfo(8, 4, 8).Header;
    packed.Header.biClrUsed = 4;
    packed.Colors[1] = Quad(RGB(255, 0, 0));
    packed.Colors[2] = Quad(RGB(0, 0, 255));
    packed.Colors[3] = Quad(kWhite);
    for (int row = 0; row < 8; ++row)
        for (int x = 0; x < 4; ++x)
            packed.Bits[row][x] = BYTE((x + row) % 4);
    HBRUSH brush = CreateDIBPatternBrushPt(&packed, DIB_RGB_COLORS);
    ASSERT_NE(brush, nullptr);
    LOGBRUSH log{};
    EXPECT_EQ(GetObjectA(brush, sizeof log, &log), int(sizeof log));
    EXPECT_EQ(log.lbStyle, BS_DIBPATTERN);
    EXPECT_EQ(log.lbHatch, reinterpret_cast<std::uintptr_t>(&packed));
    for (int bpp : {1, 8, 32}) {
        auto dest = MakeDib(bpp, 8, -2, bpp == 1   ? std::vector<RGBQUAD>{Quad(0), Quad(kWhite)}
                                        : bpp == 8 ? std::vector<RGBQUAD>{Quad(0), Quad(RGB(255, 0, 0)),
                                                                          Quad(RGB(0, 0, 255)), Quad(kWhite)}
                                                   : std::vector<RGBQUAD>{});
        HGDIOBJ old = SelectObject(dest->Dc(), brush);
        ASSERT_TRUE(PatBlt(dest->Dc(), 0, 0, 8, 1, PATCOPY));
        // The top row of a bottom-up pattern is its last in memory: (x + 7) % 4.
        for (int x = 0; x < 8; ++x)
            EXPECT_EQ(GetPixel(dest->Dc(), x, 0),
                      GetNearestColor(dest->Dc(), std::vector<COLORREF>{0, RGB(255, 0, 0), RGB(0, 0, 255),
                                                                        kWhite}[std::size_t((x + 7) % 4)]))
                << bpp << " " << x;
        std::vector<COLORREF> painted;
        for (int x = 0; x < 8; ++x)
            painted.push_back(GetPixel(dest->Dc(), x, 0));
        SetBrushOrgEx(dest->Dc(), 1, 0, nullptr);
        const RECT rect{0, 0, 8, 1};
        ASSERT_TRUE(FillRect(dest->Dc(), &rect, brush));
        EXPECT_EQ(GetPixel(dest->Dc(), 1, 0), painted[0]) << "shifted by the origin";
        SetBrushOrgEx(dest->Dc(), 0, 0, nullptr);
        // Shape fills paint the same pattern.
        ASSERT_TRUE(FillRect(dest->Dc(), &rect, static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH))));
        HGDIOBJ oldPen = SelectObject(dest->Dc(), GetStockObject(NULL_PEN));
        ASSERT_TRUE(Rectangle(dest->Dc(), 0, 0, 9, 2));
        SelectObject(dest->Dc(), oldPen);
        for (int x = 0; x < 8; ++x)
            EXPECT_EQ(GetPixel(dest->Dc(), x, 0), painted[std::size_t(x)]) << bpp << " " << x;
        SelectObject(dest->Dc(), old);
    }
    DeleteObject(brush);

    // DIB_PAL_COLORS: indices into the palette of the context that paints.
    struct {
        BITMAPINFOHEADER Header;
        WORD Indices[2];
        DWORD Bits[8];
    } indexed{DibInfo(1, 8, 8).Header, {1, 0}, {}};
    indexed.Header.biClrUsed = 2;
    HBRUSH byIndex = CreateDIBPatternBrush(&indexed, DIB_PAL_COLORS);
    ASSERT_NE(byIndex, nullptr);
    struct {
        WORD Version, Count;
        PALETTEENTRY Entries[2];
    } logical{0x300, 2, {{0, 0, 0, 0}, {10, 20, 30, 0}}};
    HPALETTE palette = CreatePalette(reinterpret_cast<LOGPALETTE*>(&logical));
    auto dest = MakeDib(32, 2, -1);
    HPALETTE oldPalette = SelectPalette(dest->Dc(), palette, FALSE);
    HGDIOBJ old = SelectObject(dest->Dc(), byIndex);
    ASSERT_TRUE(PatBlt(dest->Dc(), 0, 0, 2, 1, PATCOPY));
    EXPECT_EQ(GetPixel(dest->Dc(), 0, 0), RGB(10, 20, 30)) << "bit 0 → index 1 of the palette";
    SelectObject(dest->Dc(), old);
    SelectPalette(dest->Dc(), oldPalette, FALSE);
    DeleteObject(byIndex);
    DeleteObject(palette);

    // Headers the layer cannot trust are refused before anything beyond them is read.
    TPackedDib huge = packed;
    huge.Header.biWidth = 1 << 20;
    huge.Header.biHeight = 1 << 20;
    SetLastError(0);
    EXPECT_EQ(CreateDIBPatternBrushPt(&huge, DIB_RGB_COLORS), nullptr);
    EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
    TPackedDib compressed = packed;
    compressed.Header.biCompression = BI_RLE8;
    EXPECT_EQ(CreateDIBPatternBrushPt(&compressed, DIB_RGB_COLORS), nullptr);
    EXPECT_EQ(CreateDIBPatternBrushPt(&packed, 7), nullptr);
    EXPECT_EQ(CreateDIBPatternBrushPt(nullptr, DIB_RGB_COLORS), nullptr);
}

// ---- every call on every depth, through the clip ----------------------------------------------------

struct TDrawCase {
    const char* Name;
    void (*Draw)(HDC dest, HDC source);
};

void DrawFlood(HDC dc, HDC) {
    PatBlt(dc, 1, 1, 10, 1, BLACKNESS);
    PatBlt(dc, 1, 10, 10, 1, BLACKNESS);
    PatBlt(dc, 1, 1, 1, 10, BLACKNESS);
    PatBlt(dc, 10, 1, 1, 10, BLACKNESS);
    HBRUSH brush = CreateSolidBrush(RGB(255, 0, 0));
    HGDIOBJ old = SelectObject(dc, brush);
    ExtFloodFill(dc, 5, 5, 0, FLOODFILLBORDER);
    SelectObject(dc, old);
    DeleteObject(brush);
}

void DrawGradients(HDC dc, HDC) {
    TRIVERTEX v[3] = {{0, 0, 0, 0, 0xFF00, 0}, {12, 6, 0xFF00, 0xFF00, 0, 0}, {0, 12, 0xFF00, 0, 0, 0}};
    const GRADIENT_RECT rect{0, 1};
    GradientFill(dc, v, 2, &rect, 1, GRADIENT_FILL_RECT_V);
    v[1].y = 0;
    const GRADIENT_TRIANGLE triangle{0, 1, 2};
    GradientFill(dc, v, 3, &triangle, 1, GRADIENT_FILL_TRIANGLE);
}

void DrawBlends(HDC dc, HDC source) {
    AlphaBlend(dc, 0, 0, 12, 6, source, 0, 0, 6, 6, BLENDFUNCTION{AC_SRC_OVER, 0, 128, 0});
    TransparentBlt(dc, 0, 6, 12, 6, source, 0, 0, 6, 6, RGB(0, 255, 0));
}

void DrawDibBits(HDC dc, HDC) {
    DWORD bits[6 * 6];
    for (int i = 0; i < 36; ++i)
        bits[i] = i % 3 == 0 ? 0xFF0000u : i % 3 == 1 ? 0x0000FFu : 0u;
    TDibInfo info = DibInfo(32, 6, 6);
    SetDIBitsToDevice(dc, 1, 1, 6, 6, 0, 0, 0, 6, bits, reinterpret_cast<BITMAPINFO*>(&info), DIB_RGB_COLORS);
    const BYTE rle[] = {3, 1, 2, 2, 0, 0, 0, 2, 2, 1, 4, 3, 0, 1};
    TRleInfo grey = GreyRle(BI_RLE8, 8, 5, 3, sizeof rle);
    grey.Colors[1] = Quad(RGB(255, 0, 0)), grey.Colors[2] = Quad(RGB(0, 0, 255)), grey.Colors[3] = Quad(0);
    StretchDIBits(dc, 0, 7, 12, 5, 0, 0, 5, 3, rle, reinterpret_cast<BITMAPINFO*>(&grey), DIB_RGB_COLORS, SRCCOPY);
}

void DrawTurned(HDC dc, HDC source) {
    const POINT corners[3] = {{6, 0}, {12, 6}, {0, 6}};
    PlgBlt(dc, corners, source, 0, 0, 6, 6, nullptr, 0, 0);
    SetGraphicsMode(dc, GM_ADVANCED);
    const XFORM shear{1, 0, 0.5f, 1, 0, 6};
    SetWorldTransform(dc, &shear);
    BitBlt(dc, 0, 0, 6, 6, source, 0, 0, SRCCOPY);
    ModifyWorldTransform(dc, nullptr, MWT_IDENTITY);
    SetGraphicsMode(dc, GM_COMPATIBLE);
}

void DrawDibPattern(HDC dc, HDC) {
    TPackedDib packed;
    packed.Header = DibInfo(8, 4, 8).Header;
    packed.Header.biClrUsed = 4;
    packed.Colors[1] = Quad(RGB(255, 0, 0));
    packed.Colors[2] = Quad(RGB(0, 0, 255));
    packed.Colors[3] = Quad(kWhite);
    for (int row = 0; row < 8; ++row)
        for (int x = 0; x < 4; ++x)
            packed.Bits[row][x] = BYTE((x + 2 * row) % 4);
    HBRUSH brush = CreateDIBPatternBrushPt(&packed, DIB_RGB_COLORS);
    HGDIOBJ old = SelectObject(dc, brush);
    SetBrushOrgEx(dc, 3, 1, nullptr);
    PatBlt(dc, 0, 0, 12, 6, PATCOPY);
    const RECT rect{0, 6, 12, 12};
    FillRect(dc, &rect, brush);
    SetBrushOrgEx(dc, 0, 0, nullptr);
    SelectObject(dc, old);
    DeleteObject(brush);
}

void DrawPixels(HDC dc, HDC) {
    for (int i = 0; i < 12; ++i)
        SetPixelV(dc, i, (i * 5) % 12, i % 2 ? RGB(255, 0, 0) : RGB(0, 0, 255));
}

TEST_F(PixelCalls, EveryCallDrawsTheNearestColoursOnEveryDepthInsideTheClip) {
    const TDrawCase draws[] = {{"flood", DrawFlood},       {"gradients", DrawGradients}, {"blends", DrawBlends},
                               {"dib bits", DrawDibBits},  {"turned", DrawTurned},       {"dib pattern", DrawDibPattern},
                               {"pixels", DrawPixels}};
    auto source = MakeDib(32, 6, -6);
    for (int y = 0; y < 6; ++y)
        for (int x = 0; x < 6; ++x)
            source->SetRaw(x, y, (x + y) % 3 == 0 ? 0xFF0000u : (x + y) % 3 == 1 ? 0x00FF00u : 0x0000FFu);
    const std::vector<RGBQUAD> blackWhite{Quad(0), Quad(kWhite)};
    std::vector<RGBQUAD> sixteen;
    for (int i = 0; i < 16; ++i)
        sixteen.push_back(Quad(RGB(BYTE(i & 1 ? 255 : i & 8 ? 128 : 0), BYTE(i & 2 ? 255 : 0), BYTE(i & 4 ? 255 : 0))));
    const auto targets = [&]() {
        std::vector<std::unique_ptr<TSurface>> out;
        out.push_back(MakeDib(1, 12, -12, blackWhite));
        out.push_back(MakeDib(4, 12, 12, sixteen));
        out.push_back(MakeDib(8, 12, -12, sixteen));
        out.push_back(MakeDib(16, 12, 12));
        out.push_back(MakeDib(24, 12, 12));
        out.push_back(MakeDdb(32, 12, 12));
        return out;
    };
    for (const TDrawCase& draw : draws) {
        auto reference = MakeWhiteSurface(12, 12);
        draw.Draw(reference->Dc(), source->Dc());
        int index = 0;
        for (auto& target : targets()) {
            ++index;
            HDC dc = target->Dc();
            const RECT all{0, 0, 12, 12};
            FillRect(dc, &all, static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH)));
            ExcludeClipRect(dc, 4, 3, 7, 5);
            draw.Draw(dc, source->Dc());
            SelectClipRgn(dc, nullptr);
            for (int y = 0; y < 12; ++y)
                for (int x = 0; x < 12; ++x) {
                    const bool clipped = x >= 4 && x < 7 && y >= 3 && y < 5;
                    const COLORREF expected = GetNearestColor(dc, clipped ? kWhite : GetPixel(reference->Dc(), x, y));
                    ASSERT_EQ(GetPixel(dc, x, y), expected) << draw.Name << " on target " << index << " at " << x << ","
                                                            << y;
                }
        }
    }
}

}  // namespace
