// Cosmetic lines: which pixels a line lights, pen styles and their gaps, the raster operations,
// the current position, transforms, clipping of far-reaching lines and refused arguments.
#include "BlitTestSupport.h"

#include <climits>
#include <cstddef>
#include <functional>
#include <string>

namespace {

using namespace gdi;
using namespace blittest;

class TLineTest : public TGdiTest {};

constexpr COLORREF kWhite = RGB(255, 255, 255);
constexpr COLORREF kBlue = RGB(0, 0, 255);

std::unique_ptr<TSurface> WhiteSurface(int width = 40, int height = 16) { return MakeWhiteSurface(width, height); }

std::string Picture(const TSurface& surface, int rows, int columns) {
    return SurfacePicture(surface, rows, columns, kBlue, 'b');
}

int CountNonWhite(const TSurface& surface) {
    int n = 0;
    for (COLORREF c : surface.Colours())
        n += c != kWhite;
    return n;
}

TEST_F(TLineTest, LineToLeavesOutItsLastPixelAndMovesTheCurrentPosition) {
    auto surface = WhiteSurface();
    HDC dc = surface->Dc();
    POINT previous{-1, -1};
    EXPECT_TRUE(MoveToEx(dc, 0, 0, &previous));
    EXPECT_EQ(previous.x, 0);
    EXPECT_TRUE(LineTo(dc, 9, 5));
    EXPECT_EQ(CountNonWhite(*surface), 9);
    EXPECT_EQ(Picture(*surface, 6, 10), "#.........\n"
                                         ".##.......\n"
                                         "...##.....\n"
                                         ".....##...\n"
                                         ".......##.\n"
                                         "..........\n");
    POINT position{};
    EXPECT_TRUE(GetCurrentPositionEx(dc, &position));
    EXPECT_EQ(position.x, 9);
    EXPECT_EQ(position.y, 5);
    // A line of no length draws nothing and still moves nowhere else.
    EXPECT_TRUE(LineTo(dc, 9, 5));
    EXPECT_EQ(CountNonWhite(*surface), 9);
}

// Where the line passes halfway between two pixels, the upper one (a flat line) or the left one
// (a steep line) is lit, whichever way the line runs; only the excluded end differs.
TEST_F(TLineTest, HalfwayCrossingsTakeTheUpperOrLeftPixelInEitherDirection) {
    auto forward = WhiteSurface(), backward = WhiteSurface();
    const POINT lines[][2] = {{{0, 0}, {8, 2}}, {{0, 4}, {4, 6}}, {{10, 0}, {12, 4}},
                              {{0, 10}, {8, 8}}, {{20, 4}, {22, 0}}};
    for (const auto& line : lines) {
        MoveToEx(forward->Dc(), line[0].x, line[0].y, nullptr);
        LineTo(forward->Dc(), line[1].x, line[1].y);
        MoveToEx(backward->Dc(), line[1].x, line[1].y, nullptr);
        LineTo(backward->Dc(), line[0].x, line[0].y);
    }
    EXPECT_EQ(Picture(*forward, 11, 24), "###.......#.............\n"
                                         "...####...#..........#..\n"
                                         ".......#...#.........#..\n"
                                         "...........#........#...\n"
                                         "##..................#...\n"
                                         "..##....................\n"
                                         "........................\n"
                                         "........................\n"
                                         "......##................\n"
                                         "..####..................\n"
                                         "##......................\n");
    EXPECT_EQ(Picture(*backward, 11, 24), ".##...................#.\n"
                                          "...####...#..........#..\n"
                                          ".......##..#.........#..\n"
                                          "...........#........#...\n"
                                          ".#..........#...........\n"
                                          "..##....................\n"
                                          "....#...................\n"
                                          "........................\n"
                                          "......###...............\n"
                                          "..####..................\n"
                                          ".#......................\n");
}

struct TStyleCase {
    const char* Name;
    std::function<HPEN()> Make;
    const char* Opaque;       // 30 pixels of a line from (0,0) to (30,0) on white, background blue
    const char* Transparent;
};

HPEN ExtCosmetic(DWORD style, std::vector<DWORD> entries = {}) {
    LOGBRUSH brush{BS_SOLID, RGB(0, 0, 0), 0};
    return ExtCreatePen(PS_COSMETIC | style, 1, &brush, DWORD(entries.size()), entries.empty() ? nullptr : entries.data());
}

const TStyleCase kStyles[] = {
    {"Solid", [] { return CreatePen(PS_SOLID, 0, 0); }, "##############################",
     "##############################"},
    {"InsideFrame", [] { return CreatePen(PS_INSIDEFRAME, 1, 0); }, "##############################",
     "##############################"},
    {"Dot", [] { return CreatePen(PS_DOT, 0, 0); }, "###bbb###bbb###bbb###bbb###bbb",
     "###...###...###...###...###..."},
    {"Dash", [] { return CreatePen(PS_DASH, 1, 0); }, "##################bbbbbb######",
     "##################......######"},
    {"DashDot", [] { return CreatePen(PS_DASHDOT, 0, 0); }, "#########bbbbbb###bbbbbb######",
     "#########......###......######"},
    {"DashDotDot", [] { return CreatePen(PS_DASHDOTDOT, 0, 0); }, "#########bbb###bbb###bbb######",
     "#########...###...###...######"},
    {"Null", [] { return CreatePen(PS_NULL, 0, 0); }, "..............................",
     ".............................."},
    {"Alternate", [] { return ExtCosmetic(PS_ALTERNATE); }, "#.#.#.#.#.#.#.#.#.#.#.#.#.#.#.",
     "#.#.#.#.#.#.#.#.#.#.#.#.#.#.#."},
    // An odd number of entries swaps drawn and gap on every pass through them.
    {"UserOdd", [] { return ExtCosmetic(PS_USERSTYLE, {2, 1, 4}); }, "######bbb############bbbbbb###",
     "######...############......###"},
    {"UserEven", [] { return ExtCosmetic(PS_USERSTYLE, {1, 0, 0, 2}); }, "###bbbbbb###bbbbbb###bbbbbb###",
     "###......###......###......###"},
    // Entries that are all 0 give no pattern at all: the line is solid.
    {"UserZero", [] { return ExtCosmetic(PS_USERSTYLE, {0, 0}); }, "##############################",
     "##############################"},
    {"ExtDash", [] { return ExtCosmetic(PS_DASH); }, "##################bbbbbb######",
     "##################......######"},
};

class TPenStyles : public TLineTest, public ::testing::WithParamInterface<TStyleCase> {};

TEST_P(TPenStyles, DrawDashesAndFillGapsOnlyInOpaqueMode) {
    const TStyleCase& style = GetParam();
    for (int mode : {OPAQUE, TRANSPARENT}) {
        auto surface = WhiteSurface();
        HDC dc = surface->Dc();
        HPEN pen = style.Make();
        ASSERT_NE(pen, nullptr);
        HGDIOBJ old = SelectObject(dc, pen);
        SetBkColor(dc, kBlue);
        SetBkMode(dc, mode);
        MoveToEx(dc, 0, 0, nullptr);
        EXPECT_TRUE(LineTo(dc, 30, 0));
        EXPECT_EQ(Picture(*surface, 1, 30), std::string(mode == OPAQUE ? style.Opaque : style.Transparent) + "\n")
            << (mode == OPAQUE ? "opaque" : "transparent");
        // The same line drawn right to left starts its pattern at its own first pixel.
        PatBlt(dc, 0, 0, 40, 16, WHITENESS);
        MoveToEx(dc, 30, 2, nullptr);
        LineTo(dc, 0, 2);
        const std::string expected = mode == OPAQUE ? style.Opaque : style.Transparent;
        for (int i = 0; i < 30; ++i) {
            const COLORREF c = GetPixel(dc, 30 - i, 2);
            EXPECT_EQ(c == 0 ? '#' : c == kBlue ? 'b' : '.', expected[std::size_t(i)]) << "reversed pixel " << i;
        }
        SelectObject(dc, old);
        DeleteObject(pen);
    }
}

INSTANTIATE_TEST_SUITE_P(Pens, TPenStyles, ::testing::ValuesIn(kStyles),
                         [](const auto& info) { return std::string(info.param.Name); });

TEST_F(TLineTest, PolylineCarriesTheStyleAcrossCornersAndLineToStartsItAgain) {
    auto surface = WhiteSurface();
    HDC dc = surface->Dc();
    HPEN dot = CreatePen(PS_DOT, 0, 0);
    HGDIOBJ old = SelectObject(dc, dot);
    SetBkColor(dc, kBlue);
    const POINT corner[] = {{0, 0}, {5, 0}, {5, 8}};
    EXPECT_TRUE(Polyline(dc, corner, 3));
    MoveToEx(dc, 10, 0, nullptr);
    LineTo(dc, 15, 0);
    LineTo(dc, 15, 5);
    EXPECT_EQ(Picture(*surface, 8, 16), "###bbb....###bb#\n"
                                        ".....#.........#\n"
                                        ".....#.........#\n"
                                        ".....#.........b\n"
                                        ".....b.........b\n"
                                        ".....b..........\n"
                                        ".....b..........\n"
                                        ".....#..........\n");
    // PolylineTo runs on from the current position as one figure and leaves it at its end.
    PatBlt(dc, 0, 0, 40, 16, WHITENESS);
    MoveToEx(dc, 0, 10, nullptr);
    const POINT onward[] = {{5, 10}, {5, 15}};
    EXPECT_TRUE(PolylineTo(dc, onward, 2));
    EXPECT_EQ(Picture(*surface, 16, 6).substr(10 * 7), "###bbb\n"
                                                       ".....#\n"
                                                       ".....#\n"
                                                       ".....#\n"
                                                       ".....b\n"
                                                       "......\n");
    POINT position{};
    GetCurrentPositionEx(dc, &position);
    EXPECT_EQ(position.y, 15);
    // Each polyline of PolyPolyline is a figure of its own.
    PatBlt(dc, 0, 0, 40, 16, WHITENESS);
    const POINT two[] = {{0, 0}, {4, 0}, {0, 2}, {4, 2}};
    const DWORD counts[] = {2, 2};
    EXPECT_TRUE(PolyPolyline(dc, two, counts, 2));
    EXPECT_EQ(Picture(*surface, 3, 5), "###b.\n.....\n###b.\n");
    SelectObject(dc, old);
    DeleteObject(dot);
}

TEST_F(TLineTest, EveryBinaryRasterOperationCombinesPenAndDestination) {
    const DWORD pen = 0x00336699, dest = 0x00A5C30F;  // raw 32-bit values: blue in the low byte
    const COLORREF penColour = RGB(0x33, 0x66, 0x99);
    struct {
        int Rop2;
        DWORD (*Expect)(DWORD p, DWORD d);
    } const cases[] = {
        {R2_BLACK, [](DWORD, DWORD) { return 0u; }},
        {R2_NOTMERGEPEN, [](DWORD p, DWORD d) { return ~(p | d); }},
        {R2_MASKNOTPEN, [](DWORD p, DWORD d) { return ~p & d; }},
        {R2_NOTCOPYPEN, [](DWORD p, DWORD) { return ~p; }},
        {R2_MASKPENNOT, [](DWORD p, DWORD d) { return p & ~d; }},
        {R2_NOT, [](DWORD, DWORD d) { return ~d; }},
        {R2_XORPEN, [](DWORD p, DWORD d) { return p ^ d; }},
        {R2_NOTMASKPEN, [](DWORD p, DWORD d) { return ~(p & d); }},
        {R2_MASKPEN, [](DWORD p, DWORD d) { return p & d; }},
        {R2_NOTXORPEN, [](DWORD p, DWORD d) { return ~(p ^ d); }},
        {R2_NOP, [](DWORD, DWORD d) { return d; }},
        {R2_MERGENOTPEN, [](DWORD p, DWORD d) { return ~p | d; }},
        {R2_COPYPEN, [](DWORD p, DWORD) { return p; }},
        {R2_MERGEPENNOT, [](DWORD p, DWORD d) { return p | ~d; }},
        {R2_MERGEPEN, [](DWORD p, DWORD d) { return p | d; }},
        {R2_WHITE, [](DWORD, DWORD) { return 0xFFFFFFFFu; }},
    };
    auto surface = MakeDib(32, 16, -4);
    HDC dc = surface->Dc();
    HPEN solid = CreatePen(PS_SOLID, 0, penColour);
    HGDIOBJ old = SelectObject(dc, solid);
    for (const auto& c : cases) {
        surface->FillRaw(dest);
        EXPECT_EQ(SetROP2(dc, c.Rop2), GetROP2(dc));
        MoveToEx(dc, 2, 1, nullptr);
        LineTo(dc, 12, 1);
        for (int x = 0; x < 16; ++x) {
            const DWORD expected = x >= 2 && x < 12 ? c.Expect(pen, dest) & 0xFFFFFFu : dest;
            EXPECT_EQ(surface->Raw(x, 1) & 0xFFFFFFu, expected) << "rop2 " << c.Rop2 << " at " << x;
            EXPECT_EQ(surface->Raw(x, 0), dest);
        }
    }
    // XOR twice gives back what was there, so no pixel of a polyline is written twice.
    surface->FillRaw(dest);
    SetROP2(dc, R2_XORPEN);
    const POINT zigzag[] = {{0, 0}, {5, 3}, {10, 0}, {15, 3}};
    Polyline(dc, zigzag, 4);
    int changed = 0;
    for (int y = 0; y < 4; ++y)
        for (int x = 0; x < 16; ++x)
            changed += surface->Raw(x, y) != dest;
    EXPECT_EQ(changed, 15);
    Polyline(dc, zigzag, 4);
    for (int y = 0; y < 4; ++y)
        for (int x = 0; x < 16; ++x)
            EXPECT_EQ(surface->Raw(x, y), dest);
    SelectObject(dc, old);
    DeleteObject(solid);
}

TEST_F(TLineTest, LinesFarBeyondTheSurfaceKeepTheirPixelsAndDashPhase) {
    auto surface = WhiteSurface(32, 16);
    HDC dc = surface->Dc();
    // A flat line through the origin with slope ½ from far outside: row y holds 2y and 2y + 1.
    MoveToEx(dc, -200000000, -100000000, nullptr);
    EXPECT_TRUE(LineTo(dc, 200000000, 100000000));
    for (int y = 0; y < 16; ++y)
        for (int x = 0; x < 32; ++x)
            EXPECT_EQ(GetPixel(dc, x, y) == 0, x / 2 == y) << x << "," << y;
    // A dotted line whose first pixel lies 999999999 columns to the left: the pattern's place
    // on the surface follows from the pixels before it.
    PatBlt(dc, 0, 0, 32, 16, WHITENESS);
    HPEN dot = CreatePen(PS_DOT, 0, 0);
    HGDIOBJ old = SelectObject(dc, dot);
    SetBkMode(dc, TRANSPARENT);
    MoveToEx(dc, -999999999, 5, nullptr);
    LineTo(dc, 999999999, 5);
    for (int x = 0; x < 32; ++x)
        EXPECT_EQ(GetPixel(dc, x, 5) == 0, (x + 999999999LL) % 6 < 3) << x;
    // The extreme ends of the coordinate range, which the transforms hold at the device limit.
    PatBlt(dc, 0, 0, 32, 16, WHITENESS);
    SelectObject(dc, old);
    MoveToEx(dc, INT_MIN, INT_MIN, nullptr);
    LineTo(dc, INT_MAX, INT_MAX);
    MoveToEx(dc, INT_MAX, 3, nullptr);
    LineTo(dc, INT_MIN, 3);
    for (int y = 0; y < 16; ++y)
        for (int x = 0; x < 32; ++x)
            EXPECT_EQ(GetPixel(dc, x, y) == 0, x == y || y == 3) << x << "," << y;
    DeleteObject(dot);
}

TEST_F(TLineTest, LinesGoThroughTheTransformsAndTheClip) {
    auto surface = WhiteSurface();
    HDC dc = surface->Dc();
    SetMapMode(dc, MM_ANISOTROPIC);
    SetWindowExtEx(dc, 1, 1, nullptr);
    SetViewportExtEx(dc, 2, 2, nullptr);
    MoveToEx(dc, 0, 0, nullptr);
    LineTo(dc, 9, 5);
    POINT position{};
    GetCurrentPositionEx(dc, &position);
    EXPECT_EQ(position.x, 9) << "the current position stays logical";
    SetMapMode(dc, MM_TEXT);
    EXPECT_EQ(CountNonWhite(*surface), 18);
    EXPECT_EQ(GetPixel(dc, 0, 0), 0u);
    EXPECT_EQ(GetPixel(dc, 17, 9), 0u) << "the last pixel before device (18,10)";

    // A clip with a hole: the line's pixels inside it are those of the unclipped line.
    PatBlt(dc, 0, 0, 40, 16, WHITENESS);
    HRGN clip = CreateRectRgn(0, 0, 40, 16), hole = CreateRectRgn(5, 0, 15, 16);
    CombineRgn(clip, clip, hole, RGN_DIFF);
    SelectClipRgn(dc, clip);
    HPEN dash = CreatePen(PS_DASH, 0, 0);
    HGDIOBJ old = SelectObject(dc, dash);
    SetBkColor(dc, kBlue);
    MoveToEx(dc, 0, 2, nullptr);
    LineTo(dc, 36, 2);
    SelectClipRgn(dc, nullptr);
    EXPECT_EQ(Picture(*surface, 3, 40), "........................................\n"
                                        "........................................\n"
                                        "#####..........###bbbbbb############....\n");
    SelectObject(dc, old);
    DeleteObject(dash);
    DeleteObject(clip);
    DeleteObject(hole);
}

TEST_F(TLineTest, MonochromeAndIndexedSurfacesTakeTheNearestColour) {
    auto mono = MakeDdb(1, 16, 4);
    PatBlt(mono->Dc(), 0, 0, 16, 4, WHITENESS);
    HPEN dark = CreatePen(PS_SOLID, 0, RGB(40, 40, 40));
    HGDIOBJ old = SelectObject(mono->Dc(), dark);
    MoveToEx(mono->Dc(), 1, 1, nullptr);
    LineTo(mono->Dc(), 9, 1);
    for (int x = 0; x < 16; ++x)
        EXPECT_EQ(GetPixel(mono->Dc(), x, 1), x >= 1 && x < 9 ? RGB(0, 0, 0) : kWhite) << x;
    SelectObject(mono->Dc(), old);

    std::vector<RGBQUAD> table;
    for (int i = 0; i < 256; ++i)
        table.push_back(RGBQUAD{BYTE(i), BYTE(i), BYTE(i), 0});
    auto grey = MakeDib(8, 16, -4, table);
    grey->FillRaw(255);
    old = SelectObject(grey->Dc(), dark);
    SetROP2(grey->Dc(), R2_XORPEN);
    const POINT steep[] = {{3, 0}, {5, 4}};
    Polyline(grey->Dc(), steep, 2);
    EXPECT_EQ(grey->Raw(3, 0), 255u ^ 40u);
    EXPECT_EQ(grey->Raw(3, 1), 255u ^ 40u) << "a tie across a steep line takes the left pixel";
    EXPECT_EQ(grey->Raw(4, 2), 255u ^ 40u);
    EXPECT_EQ(grey->Raw(4, 3), 255u ^ 40u);
    EXPECT_EQ(grey->Raw(5, 3), 255u);
    SelectObject(grey->Dc(), old);
    DeleteObject(dark);
}

TEST_F(TLineTest, BadCountsAndPensAreRefused) {
    auto surface = WhiteSurface();
    HDC dc = surface->Dc();
    const POINT points[] = {{0, 0}, {5, 5}, {9, 0}};
    const auto refused = [](BOOL result, DWORD error) {
        return result == FALSE && GetLastError() == error;
    };
    SetLastError(0);
    EXPECT_TRUE(refused(Polyline(dc, points, 1), ERROR_INVALID_PARAMETER));
    EXPECT_TRUE(refused(Polyline(dc, points, 0), ERROR_INVALID_PARAMETER));
    EXPECT_TRUE(refused(Polyline(dc, points, -3), ERROR_INVALID_PARAMETER));
    EXPECT_TRUE(refused(Polyline(dc, nullptr, 3), ERROR_INVALID_PARAMETER));
    EXPECT_TRUE(refused(Polyline(dc, points, INT_MAX), ERROR_INVALID_PARAMETER));
    EXPECT_TRUE(refused(PolylineTo(dc, points, 0), ERROR_INVALID_PARAMETER));
    EXPECT_TRUE(refused(PolylineTo(dc, points, 0xFFFFFFFFu), ERROR_INVALID_PARAMETER));
    const DWORD goodThenBad[] = {2, 1};
    EXPECT_TRUE(refused(PolyPolyline(dc, points, goodThenBad, 2), ERROR_INVALID_PARAMETER));
    EXPECT_TRUE(refused(PolyPolyline(dc, points, goodThenBad, 0), ERROR_INVALID_PARAMETER));
    const DWORD huge[] = {0x80000000u, 0x80000000u};
    EXPECT_TRUE(refused(PolyPolyline(dc, points, huge, 2), ERROR_INVALID_PARAMETER));
    EXPECT_EQ(CountNonWhite(*surface), 0) << "a refused call draws nothing";
    EXPECT_TRUE(refused(LineTo(nullptr, 1, 1), ERROR_INVALID_HANDLE));
    EXPECT_TRUE(refused(MoveToEx(reinterpret_cast<HDC>(std::uintptr_t(0x12345)), 1, 1, nullptr), ERROR_INVALID_HANDLE));

    LOGBRUSH solid{BS_SOLID, RGB(1, 2, 3), 0};
    const DWORD entries[17] = {1, 2, 3};
    SetLastError(0);
    EXPECT_EQ(ExtCreatePen(PS_COSMETIC | PS_SOLID, 2, &solid, 0, nullptr), nullptr) << "cosmetic pens are 1 wide";
    EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
    LOGBRUSH hatch{BS_HATCHED, 0, HS_CROSS};
    EXPECT_EQ(ExtCreatePen(PS_COSMETIC, 1, &hatch, 0, nullptr), nullptr);
    EXPECT_EQ(ExtCreatePen(PS_COSMETIC | PS_USERSTYLE, 1, &solid, 0, nullptr), nullptr);
    EXPECT_EQ(ExtCreatePen(PS_COSMETIC | PS_USERSTYLE, 1, &solid, 17, entries), nullptr);
    EXPECT_EQ(ExtCreatePen(PS_COSMETIC | PS_DASH, 1, &solid, 3, entries), nullptr);
    EXPECT_EQ(ExtCreatePen(PS_GEOMETRIC | PS_ALTERNATE, 3, &solid, 0, nullptr), nullptr);
    EXPECT_EQ(ExtCreatePen(PS_COSMETIC | 9, 1, &solid, 0, nullptr), nullptr);
    EXPECT_EQ(ExtCreatePen(PS_COSMETIC, 1, nullptr, 0, nullptr), nullptr);

    // GetObject answers an extended pen with EXTLOGPEN and its style entries.
    HPEN user = ExtCreatePen(PS_COSMETIC | PS_USERSTYLE, 1, &solid, 3, entries);
    ASSERT_NE(user, nullptr);
    const int size = GetObjectA(user, 0, nullptr);
    EXPECT_EQ(size, int(offsetof(EXTLOGPEN, elpStyleEntry) + 3 * sizeof(DWORD)));
    std::vector<BYTE> record(std::size_t(size), 0);
    EXPECT_EQ(GetObjectA(user, size, record.data()), size);
    EXTLOGPEN head{};
    std::memcpy(&head, record.data(), offsetof(EXTLOGPEN, elpStyleEntry));
    EXPECT_EQ(head.elpPenStyle, PS_COSMETIC | PS_USERSTYLE);
    EXPECT_EQ(head.elpWidth, 1u);
    EXPECT_EQ(head.elpColor, RGB(1, 2, 3));
    EXPECT_EQ(head.elpNumEntries, 3u);
    DWORD third = 0;
    std::memcpy(&third, record.data() + offsetof(EXTLOGPEN, elpStyleEntry) + 2 * sizeof(DWORD), sizeof third);
    EXPECT_EQ(third, 3u);
    EXPECT_EQ(GetObjectA(user, size - 1, record.data()), 0);
    DeleteObject(user);
}

}  // namespace
