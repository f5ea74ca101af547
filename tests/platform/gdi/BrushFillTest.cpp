// FillRect and the brushes as transfer patterns: solid and system colours, the six hatches with
// their background rule, pattern bitmaps, and alignment to the brush origin.
#include "BlitTestSupport.h"

#include <string>

using namespace gdi;
using namespace blittest;

namespace {

constexpr COLORREF kRed = RGB(255, 0, 0);
constexpr COLORREF kGreen = RGB(0, 255, 0);
constexpr COLORREF kBlue = RGB(0, 0, 255);
constexpr COLORREF kWhite = RGB(255, 255, 255);

using FillRectTest = TGdiTest;

TEST_F(FillRectTest, ExcludesTheRightAndBottomEdges) {
    auto dest = MakeDib(32, 4, -4);
    HBRUSH brush = CreateSolidBrush(kRed);
    const RECT rect{1, 1, 3, 3};
    EXPECT_NE(FillRect(dest->Dc(), &rect, brush), 0);
    for (int y = 0; y < 4; ++y)
        for (int x = 0; x < 4; ++x)
            EXPECT_EQ(GetPixel(dest->Dc(), x, y), x >= 1 && x < 3 && y >= 1 && y < 3 ? kRed : 0u) << x << "," << y;
    DeleteObject(brush);
}

TEST_F(FillRectTest, EmptyOrInvertedRectanglesDrawNothing) {
    auto dest = MakeDib(32, 4, -4);
    HBRUSH brush = CreateSolidBrush(kRed);
    for (const RECT& rect : {RECT{2, 0, 2, 4}, RECT{0, 3, 4, 3}, RECT{3, 0, 1, 4}, RECT{0, 3, 4, 1}}) {
        EXPECT_NE(FillRect(dest->Dc(), &rect, brush), 0);
        for (COLORREF c : dest->Colours())
            ASSERT_EQ(c, 0u) << rect.left << "," << rect.top << "," << rect.right << "," << rect.bottom;
    }
    DeleteObject(brush);
}

TEST_F(FillRectTest, ClipsToTheBitmap) {
    auto dest = MakeDib(8, 3, -3);
    HBRUSH brush = CreateSolidBrush(RGB(0, 0, 0));
    dest->FillRaw(7);
    const RECT rect{-100000, 2, 100000, 2000000000};
    EXPECT_NE(FillRect(dest->Dc(), &rect, brush), 0);
    for (int x = 0; x < 3; ++x) {
        EXPECT_EQ(dest->Raw(x, 1), 7u);
        EXPECT_EQ(dest->Raw(x, 2), 0u);
    }
    DeleteObject(brush);
}

TEST_F(FillRectTest, SystemColourIndexPlusOneFollowsTheCurrentColour) {
    auto dest = MakeDib(32, 2, -1);
    const INT element = COLOR_WINDOW;
    const COLORREF colour = RGB(12, 34, 56);
    COLORREF previous = GetSysColor(COLOR_WINDOW);
    ASSERT_TRUE(SetSysColors(1, &element, &colour));
    const RECT rect{0, 0, 1, 1};
    EXPECT_NE(FillRect(dest->Dc(), &rect, reinterpret_cast<HBRUSH>(std::uintptr_t(COLOR_WINDOW + 1))), 0);
    EXPECT_EQ(GetPixel(dest->Dc(), 0, 0), colour);
    SetSysColors(1, &element, &previous);
}

TEST_F(FillRectTest, PaletteIndexColoursResolveThroughTheContextPalette) {
    auto dest = MakeDib(32, 1, 1);
    HBRUSH brush = CreateSolidBrush(PALETTEINDEX(13));  // red among the default palette's statics
    const RECT rect{0, 0, 1, 1};
    EXPECT_NE(FillRect(dest->Dc(), &rect, brush), 0);
    EXPECT_EQ(GetPixel(dest->Dc(), 0, 0), kRed);
    DeleteObject(brush);
}

TEST_F(FillRectTest, NullBrushDrawsNothingAndBadArgumentsFail) {
    auto dest = MakeDib(32, 1, 1);
    dest->FillRaw(0x00010203);
    const RECT rect{0, 0, 1, 1};
    EXPECT_NE(FillRect(dest->Dc(), &rect, static_cast<HBRUSH>(GetStockObject(NULL_BRUSH))), 0);
    EXPECT_EQ(dest->Raw(0, 0), 0x00010203u);

    HBRUSH stale = CreateSolidBrush(kRed);
    DeleteObject(stale);
    SetLastError(0);
    EXPECT_EQ(FillRect(dest->Dc(), &rect, stale), 0);
    EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);
    SetLastError(0);
    EXPECT_EQ(FillRect(dest->Dc(), &rect, nullptr), 0);
    EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);
    SetLastError(0);
    EXPECT_EQ(FillRect(dest->Dc(), nullptr, static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH))), 0);
    EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
    // A bitmap is no brush.
    SetLastError(0);
    EXPECT_EQ(FillRect(dest->Dc(), &rect, reinterpret_cast<HBRUSH>(dest->Bitmap())), 0);
    EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);
}

struct THatchCase {
    const char* Name;
    int Hatch;
    const char* Rows[8];
};

class HatchBrush : public TGdiTest, public ::testing::WithParamInterface<THatchCase> {
protected:
    // Fills an 8 × 8 surface with the hatch and returns it as rows of '#' (line), '.' (gap
    // painted with the background) and 'o' (gap left alone).
    std::vector<std::string> Paint(POINT origin, int mode) {
        auto dest = MakeDib(32, 8, -8);
        dest->FillRaw(0x00ABCDEF);
        HBRUSH brush = CreateHatchBrush(GetParam().Hatch, kRed);
        SetBkColor(dest->Dc(), kGreen);
        SetBkMode(dest->Dc(), mode);
        SetBrushOrgEx(dest->Dc(), origin.x, origin.y, nullptr);
        const RECT rect{0, 0, 8, 8};
        EXPECT_NE(FillRect(dest->Dc(), &rect, brush), 0);
        DeleteObject(brush);
        std::vector<std::string> rows;
        for (int y = 0; y < 8; ++y) {
            std::string row;
            for (int x = 0; x < 8; ++x) {
                const DWORD v = dest->Raw(x, y);
                row += v == 0x00FF0000u ? '#' : v == 0x0000FF00u ? '.' : v == 0x00ABCDEFu ? 'o' : '?';
            }
            rows.push_back(row);
        }
        return rows;
    }
};

TEST_P(HatchBrush, DrawsItsLinesOnTheOpaqueBackground) {
    const auto rows = Paint(POINT{0, 0}, OPAQUE);
    for (int y = 0; y < 8; ++y)
        EXPECT_EQ(rows[std::size_t(y)], GetParam().Rows[y]) << "row " << y;
}

TEST_P(HatchBrush, TransparentModeLeavesTheGaps) {
    const auto rows = Paint(POINT{0, 0}, TRANSPARENT);
    for (int y = 0; y < 8; ++y) {
        std::string expected = GetParam().Rows[y];
        for (char& c : expected)
            c = c == '.' ? 'o' : c;
        EXPECT_EQ(rows[std::size_t(y)], expected) << "row " << y;
    }
}

TEST_P(HatchBrush, AlignsToTheBrushOrigin) {
    const auto rows = Paint(POINT{3, -3}, OPAQUE);
    for (int y = 0; y < 8; ++y)
        for (int x = 0; x < 8; ++x)
            EXPECT_EQ(rows[std::size_t(y)][std::size_t(x)], GetParam().Rows[(y + 3) % 8][(x + 5) % 8]) << x << "," << y;
}

// Each hatch's tile at brush origin (0, 0), as the reference platform paints it.
INSTANTIATE_TEST_SUITE_P(
    Styles, HatchBrush,
    ::testing::Values(
        THatchCase{"Horizontal", HS_HORIZONTAL,
                   {"........", "........", "........", "########", "........", "........", "........", "........"}},
        THatchCase{"Vertical", HS_VERTICAL,
                   {"....#...", "....#...", "....#...", "....#...", "....#...", "....#...", "....#...", "....#..."}},
        THatchCase{"ForwardDiagonal", HS_FDIAGONAL,
                   {"#.......", ".#......", "..#.....", "...#....", "....#...", ".....#..", "......#.", ".......#"}},
        THatchCase{"BackwardDiagonal", HS_BDIAGONAL,
                   {".......#", "......#.", ".....#..", "....#...", "...#....", "..#.....", ".#......", "#......."}},
        THatchCase{"Cross", HS_CROSS,
                   {"....#...", "....#...", "....#...", "########", "....#...", "....#...", "....#...", "....#..."}},
        THatchCase{"DiagonalCross", HS_DIAGCROSS,
                   {"#......#", ".#....#.", "..#..#..", "...##...", "...##...", "..#..#..", ".#....#.", "#......#"}}));

using PatternBrush = TGdiTest;

TEST_F(PatternBrush, MonochromePatternTakesTextAndBackgroundColours) {
    const BYTE bits[4] = {0x80, 0, 0x40, 0};  // a 2 × 2 diagonal: 1 0 / 0 1
    HBITMAP pattern = CreateBitmap(2, 2, 1, 1, bits);
    HBRUSH brush = CreatePatternBrush(pattern);
    DeleteObject(pattern);  // the brush keeps its own copy
    auto dest = MakeDib(32, 3, -2);
    SetTextColor(dest->Dc(), kBlue);
    SetBkColor(dest->Dc(), kGreen);
    SetBrushOrgEx(dest->Dc(), 1, 0, nullptr);
    const RECT rect{0, 0, 3, 2};
    EXPECT_NE(FillRect(dest->Dc(), &rect, brush), 0);
    // With the origin at column 1, column 1 shows the pattern's column 0.
    EXPECT_EQ(dest->Colours(), (std::vector<COLORREF>{kBlue, kGreen, kBlue, kGreen, kBlue, kGreen}));
    DeleteObject(brush);
}

TEST_F(PatternBrush, ColourPatternTilesThroughPatBlt) {
    auto tile = MakeDib(32, 2, -1);
    tile->SetRaw(0, 0, 0x00FF0000);
    tile->SetRaw(1, 0, 0x000000FF);
    HBRUSH brush = CreatePatternBrush(tile->Bitmap());
    auto dest = MakeDib(32, 5, -2);
    HGDIOBJ old = SelectObject(dest->Dc(), brush);
    ASSERT_TRUE(PatBlt(dest->Dc(), 0, 0, 5, 2, PATCOPY));
    for (int y = 0; y < 2; ++y)
        for (int x = 0; x < 5; ++x)
            EXPECT_EQ(GetPixel(dest->Dc(), x, y), x % 2 ? kBlue : kRed) << x << "," << y;
    SelectObject(dest->Dc(), old);
    DeleteObject(brush);
}

TEST_F(PatternBrush, SolidColoursGoToMonochromeByNearestColour) {
    TSurface mono(CreateBitmap(2, 1, 1, 1, nullptr), nullptr);
    HBRUSH light = CreateSolidBrush(RGB(200, 200, 200));
    HBRUSH dark = CreateSolidBrush(RGB(40, 40, 40));
    const RECT left{0, 0, 1, 1}, right{1, 0, 2, 1};
    EXPECT_NE(FillRect(mono.Dc(), &left, light), 0);
    EXPECT_NE(FillRect(mono.Dc(), &right, dark), 0);
    EXPECT_EQ(MonoRow(mono, 0), (std::vector<int>{1, 0}));
    EXPECT_EQ(GetPixel(mono.Dc(), 0, 0), kWhite);
    DeleteObject(light);
    DeleteObject(dark);
}

}  // namespace
