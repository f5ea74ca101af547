// Coordinate spaces: mapping modes, the window and viewport, the world transform, the layout and
// the saved states, and the drawing calls going through them.
#include "BlitTestSupport.h"

#include <climits>
#include <cstring>
#include <limits>
#include <string>
#include <vector>

using namespace gdi;
using namespace blittest;

namespace {

constexpr DWORD kRed = 0xFF0000, kGreen = 0x00FF00, kBlue = 0x0000FF, kBlack = 0, kWhite = 0xFFFFFF;

using Coordinates = TGdiTest;

// A 32-bit top-down surface filled with white.
std::unique_ptr<TSurface> Paper(int width, int height) {
    auto surface = MakeDib(32, width, -height);
    surface->FillRaw(kWhite);
    return surface;
}

// A 4 × 1 source: red, green, blue, black.
std::unique_ptr<TSurface> Strip() {
    auto strip = MakeDib(32, 4, -1);
    const DWORD colours[] = {kRed, kGreen, kBlue, kBlack};
    for (int x = 0; x < 4; ++x)
        strip->SetRaw(x, 0, colours[x]);
    return strip;
}

std::vector<DWORD> Row(const TSurface& surface, int y) {
    std::vector<DWORD> row;
    for (int x = 0; x < surface.Width(); ++x)
        row.push_back(surface.Raw(x, y) & 0xFFFFFF);
    return row;
}

void Anisotropic(HDC dc, SIZE window, SIZE viewport, POINT viewportOrigin = {0, 0}) {
    ASSERT_NE(SetMapMode(dc, MM_ANISOTROPIC), 0);
    ASSERT_TRUE(SetWindowExtEx(dc, window.cx, window.cy, nullptr));
    ASSERT_TRUE(SetViewportExtEx(dc, viewport.cx, viewport.cy, nullptr));
    ASSERT_TRUE(SetViewportOrgEx(dc, viewportOrigin.x, viewportOrigin.y, nullptr));
}

POINT ToDevice(HDC dc, POINT point) {
    EXPECT_TRUE(LPtoDP(dc, &point, 1));
    return point;
}

bool operator==(const POINT& a, const POINT& b) { return a.x == b.x && a.y == b.y; }
bool operator==(const SIZE& a, const SIZE& b) { return a.cx == b.cx && a.cy == b.cy; }

SIZE WindowExt(HDC dc) {
    SIZE size{};
    EXPECT_TRUE(GetWindowExtEx(dc, &size));
    return size;
}

SIZE ViewportExt(HDC dc) {
    SIZE size{};
    EXPECT_TRUE(GetViewportExtEx(dc, &size));
    return size;
}

// ---- mapping modes ---------------------------------------------------------------------------

TEST_F(Coordinates, FreshMemoryContextMapsLogicalUnitsOntoPixels) {
    auto surface = Paper(4, 4);
    HDC dc = surface->Dc();
    EXPECT_EQ(GetMapMode(dc), MM_TEXT);
    EXPECT_EQ(GetGraphicsMode(dc), GM_COMPATIBLE);
    EXPECT_EQ(GetLayout(dc), LAYOUT_LTR);
    EXPECT_TRUE(WindowExt(dc) == (SIZE{1, 1}));
    EXPECT_TRUE(ViewportExt(dc) == (SIZE{1, 1}));
    EXPECT_TRUE(ToDevice(dc, {-7, 9}) == (POINT{-7, 9}));
    XFORM world{};
    EXPECT_TRUE(GetWorldTransform(dc, &world));
    EXPECT_EQ(world.eM11, 1.0f);
    EXPECT_EQ(world.eDx, 0.0f);
}

struct TFixedMode {
    int Mode;
    SIZE Window;   // on the modelled 1920 × 1080 screen of 508 × 286 mm
    POINT Thousand;  // where (1000, 1000) lands
};

class FixedModes : public TGdiTest, public ::testing::WithParamInterface<TFixedMode> {};

TEST_P(FixedModes, ScaleFromTheScreensMillimetresAndPixelsWithYUp) {
    const TFixedMode& mode = GetParam();
    auto surface = Paper(4, 4);
    HDC dc = surface->Dc();
    ASSERT_EQ(GetDeviceCaps(dc, HORZSIZE), 508);
    ASSERT_EQ(GetDeviceCaps(dc, VERTSIZE), 286);
    EXPECT_EQ(SetMapMode(dc, mode.Mode), MM_TEXT);
    EXPECT_EQ(GetMapMode(dc), mode.Mode);
    EXPECT_TRUE(WindowExt(dc) == mode.Window) << WindowExt(dc).cx << " x " << WindowExt(dc).cy;
    EXPECT_TRUE(ViewportExt(dc) == (SIZE{1920, -1080}));
    const POINT thousand = ToDevice(dc, {1000, 1000});
    EXPECT_TRUE(thousand == mode.Thousand) << thousand.x << ", " << thousand.y;
    // The extents are fixed: new ones are ignored, and the call still succeeds.
    SIZE previous{};
    EXPECT_TRUE(SetWindowExtEx(dc, 3, 3, &previous));
    EXPECT_TRUE(previous == mode.Window);
    EXPECT_TRUE(WindowExt(dc) == mode.Window);
    EXPECT_TRUE(ScaleViewportExtEx(dc, 2, 1, 2, 1, nullptr));
    EXPECT_TRUE(ViewportExt(dc) == (SIZE{1920, -1080}));
}

// 1000 units: LOMETRIC 100 mm = 377.95 px across, 377.62 down; HIMETRIC 10 mm; LOENGLISH 10 in
// (window 2000 × 1126); HIENGLISH 1 in (20000 × 11260); TWIPS 1000/1440 in (28800 × 16214).
INSTANTIATE_TEST_SUITE_P(Modes, FixedModes,
                         ::testing::Values(TFixedMode{MM_LOMETRIC, {5080, 2860}, {378, -378}},
                                           TFixedMode{MM_HIMETRIC, {50800, 28600}, {38, -38}},
                                           TFixedMode{MM_LOENGLISH, {2000, 1126}, {960, -959}},
                                           TFixedMode{MM_HIENGLISH, {20000, 11260}, {96, -96}},
                                           TFixedMode{MM_TWIPS, {28800, 16214}, {67, -67}}));

TEST_F(Coordinates, FixedModesFollowTheModelledScreen) {
    TScreenSettings screen;
    screen.Width = screen.Height = 1000;
    screen.LogPixelsX = screen.LogPixelsY = 254;  // 100 mm each way: a tenth of a millimetre is a pixel
    SetScreen(screen);
    auto surface = Paper(4, 4);
    SetMapMode(surface->Dc(), MM_LOMETRIC);
    EXPECT_TRUE(ToDevice(surface->Dc(), {123, 45}) == (POINT{123, -45}));
}

TEST_F(Coordinates, AnisotropicKeepsThePreviousExtentsAndIsotropicStartsMetric) {
    auto surface = Paper(4, 4);
    HDC dc = surface->Dc();
    SetMapMode(dc, MM_TWIPS);
    EXPECT_EQ(SetMapMode(dc, MM_ANISOTROPIC), MM_TWIPS);
    EXPECT_TRUE(WindowExt(dc) == (SIZE{28800, 16214}));
    SetMapMode(dc, MM_TEXT);
    SetMapMode(dc, MM_ANISOTROPIC);
    EXPECT_TRUE(WindowExt(dc) == (SIZE{1, 1}));
    EXPECT_EQ(SetMapMode(dc, MM_ISOTROPIC), MM_ANISOTROPIC);
    EXPECT_TRUE(WindowExt(dc) == (SIZE{5080, 2860}));
    EXPECT_TRUE(ViewportExt(dc) == (SIZE{1920, -1080}));
    // Origins belong to no mode.
    SetWindowOrgEx(dc, 5, 6, nullptr);
    SetMapMode(dc, MM_TEXT);
    POINT origin{};
    GetWindowOrgEx(dc, &origin);
    EXPECT_TRUE(origin == (POINT{5, 6}));
}

TEST_F(Coordinates, RefusalsReturnTheirFailureValuesAndSetTheLastError) {
    auto surface = Paper(4, 4);
    HDC dc = surface->Dc();
    for (int mode : {0, 9, -1}) {
        SetLastError(0);
        EXPECT_EQ(SetMapMode(dc, mode), 0);
        EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
    }
    SetMapMode(dc, MM_ANISOTROPIC);
    SetLastError(0);
    EXPECT_FALSE(SetWindowExtEx(dc, 0, 5, nullptr));
    EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
    EXPECT_FALSE(SetViewportExtEx(dc, 5, 0, nullptr));
    EXPECT_TRUE(WindowExt(dc) == (SIZE{1, 1}));
    SetWindowOrgEx(dc, INT_MAX - 1, 0, nullptr);
    SetLastError(0);
    EXPECT_FALSE(OffsetWindowOrgEx(dc, 2, 0, nullptr));
    EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
    POINT previous{};
    EXPECT_TRUE(OffsetWindowOrgEx(dc, -10, 3, &previous));
    EXPECT_TRUE(previous == (POINT{INT_MAX - 1, 0}));
    EXPECT_FALSE(GetViewportExtEx(dc, nullptr));
    // A handle that is not a context.
    SetLastError(0);
    EXPECT_EQ(SetMapMode(reinterpret_cast<HDC>(surface->Bitmap()), MM_TEXT), 0);
    EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);
    EXPECT_EQ(GetMapMode(nullptr), 0);
    EXPECT_EQ(GetLayout(nullptr), GDI_ERROR);
    EXPECT_FALSE(LPtoDP(nullptr, &previous, 1));
}

// ---- LPtoDP and DPtoLP -------------------------------------------------------------------------

TEST_F(Coordinates, HalvesRoundUpBothWays) {
    auto surface = Paper(4, 4);
    HDC dc = surface->Dc();
    Anisotropic(dc, {2, 2}, {1, 1});
    POINT points[] = {{1, 3}, {-1, -3}, {5, -5}};
    ASSERT_TRUE(LPtoDP(dc, points, 3));
    EXPECT_TRUE(points[0] == (POINT{1, 2}));
    EXPECT_TRUE(points[1] == (POINT{0, -1}));
    EXPECT_TRUE(points[2] == (POINT{3, -2}));
    Anisotropic(dc, {3, 3}, {2, 2});
    POINT back[] = {{1, -1}, {3, 5}};
    ASSERT_TRUE(DPtoLP(dc, back, 2));
    EXPECT_TRUE(back[0] == (POINT{2, -1}));   // 1.5 and −1.5
    EXPECT_TRUE(back[1] == (POINT{5, 8}));    // 4.5 and 7.5
}

TEST_F(Coordinates, PageTransformRoundTripsThroughOriginsAndExtents) {
    auto surface = Paper(4, 4);
    HDC dc = surface->Dc();
    Anisotropic(dc, {10, -7}, {30, 21}, {100, -50});
    SetWindowOrgEx(dc, -4, 9, nullptr);
    std::vector<POINT> points;
    for (int x = -20; x <= 20; x += 3)
        for (int y = -20; y <= 20; y += 7)
            points.push_back(POINT{x, y});
    std::vector<POINT> mapped = points;
    ASSERT_TRUE(LPtoDP(dc, mapped.data(), int(mapped.size())));
    EXPECT_TRUE(mapped[0] == (POINT{100 + 3 * (-20 + 4), -50 - 3 * (-20 - 9)}));
    ASSERT_TRUE(DPtoLP(dc, mapped.data(), int(mapped.size())));
    for (std::size_t i = 0; i < points.size(); ++i)
        EXPECT_TRUE(mapped[i] == points[i]) << i;
}

TEST_F(Coordinates, DeviceCoordinatesBeyondTwentySevenBitsAreRefused) {
    auto surface = Paper(4, 4);
    HDC dc = surface->Dc();
    POINT inside[] = {{(1 << 27) - 1, -((1 << 27) - 1)}};
    EXPECT_TRUE(LPtoDP(dc, inside, 1));
    POINT points[] = {{5, 5}, {1 << 27, 0}};
    SetLastError(0);
    EXPECT_FALSE(LPtoDP(dc, points, 2));
    EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
    EXPECT_TRUE(points[0] == (POINT{5, 5})) << "nothing is written unless every point converts";
    EXPECT_FALSE(DPtoLP(dc, points, 2));
    // Logical results beyond 32 bits.
    Anisotropic(dc, {1000, 1000}, {1, 1});
    POINT wide[] = {{1 << 26, 0}};
    EXPECT_FALSE(DPtoLP(dc, wide, 1));
    // Extreme settings compute without overflow (the sanitizers watch) and refuse what is too far.
    Anisotropic(dc, {INT_MIN, 1}, {INT_MAX, INT_MAX}, {INT_MAX, INT_MIN});
    SetWindowOrgEx(dc, INT_MAX, INT_MIN, nullptr);
    POINT far[] = {{INT_MIN, INT_MAX}};
    EXPECT_FALSE(LPtoDP(dc, far, 1));
    EXPECT_FALSE(LPtoDP(dc, nullptr, 1));
    EXPECT_FALSE(LPtoDP(dc, far, -1));
    EXPECT_TRUE(LPtoDP(dc, nullptr, 0));
}

// ---- MM_ISOTROPIC --------------------------------------------------------------------------------

// The modelled screen's pixels are 508/1920 mm wide and 286/1080 mm high, so equal units need
// viewport extents in the ratio 1.000874 (x) to 1.
TEST_F(Coordinates, IsotropicShrinksTheViewportOfTheLongerUnits) {
    auto surface = Paper(4, 4);
    HDC dc = surface->Dc();
    SetMapMode(dc, MM_ISOTROPIC);
    SetWindowExtEx(dc, 1, 1, nullptr);
    SetViewportExtEx(dc, 10000, -10000, nullptr);
    EXPECT_TRUE(ViewportExt(dc) == (SIZE{10000, -9991}));
    SetViewportExtEx(dc, -20000, 10000, nullptr);
    EXPECT_TRUE(ViewportExt(dc) == (SIZE{-10009, 10000}));
    // Setting the window adjusts the viewport too.
    SetWindowExtEx(dc, 100, 100, nullptr);
    SetViewportExtEx(dc, 1000, 1000, nullptr);
    EXPECT_TRUE(ViewportExt(dc) == (SIZE{1000, 999}));
    SetWindowExtEx(dc, 200, 100, nullptr);
    EXPECT_TRUE(ViewportExt(dc) == (SIZE{1000, 500}));
    // A shrunk extent stays at least 1.
    SetWindowExtEx(dc, 1, 1000000, nullptr);
    SetViewportExtEx(dc, 5, 1, nullptr);
    EXPECT_TRUE(ViewportExt(dc) == (SIZE{1, 1}));
    // Anisotropic leaves the same settings alone.
    SetMapMode(dc, MM_ANISOTROPIC);
    SetViewportExtEx(dc, 5, 1, nullptr);
    EXPECT_TRUE(ViewportExt(dc) == (SIZE{5, 1}));
}

TEST_F(Coordinates, ScalingExtentsTruncatesAndKeepsZeroOut) {
    auto surface = Paper(4, 4);
    HDC dc = surface->Dc();
    SetMapMode(dc, MM_ANISOTROPIC);
    SetWindowExtEx(dc, 10, 10, nullptr);
    SIZE previous{};
    EXPECT_TRUE(ScaleWindowExtEx(dc, 3, 2, 1, 3, &previous));
    EXPECT_TRUE(previous == (SIZE{10, 10}));
    EXPECT_TRUE(WindowExt(dc) == (SIZE{15, 3}));
    SetViewportExtEx(dc, 7, 7, nullptr);
    EXPECT_TRUE(ScaleViewportExtEx(dc, 1, 2, -1, 2, nullptr));
    EXPECT_TRUE(ViewportExt(dc) == (SIZE{3, -3}));
    // A result of 0 changes nothing, yet succeeds; a factor of 0 or a result beyond 32 bits is refused.
    EXPECT_TRUE(ScaleViewportExtEx(dc, 1, 4, 1, 1, nullptr));
    EXPECT_TRUE(ViewportExt(dc) == (SIZE{3, -3}));
    for (auto factors : {std::vector<int>{0, 1, 1, 1}, {1, 0, 1, 1}, {1, 1, 0, 1}, {1, 1, 1, 0}, {INT_MAX, 1, 1, 1}}) {
        SetLastError(0);
        EXPECT_FALSE(ScaleViewportExtEx(dc, factors[0], factors[1], factors[2], factors[3], nullptr));
        EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
    }
    EXPECT_TRUE(ViewportExt(dc) == (SIZE{3, -3}));
    // In MM_ISOTROPIC scaling adjusts like setting.
    SetMapMode(dc, MM_ISOTROPIC);
    SetWindowExtEx(dc, 100, 100, nullptr);
    SetViewportExtEx(dc, 1000, 999, nullptr);
    EXPECT_TRUE(ScaleWindowExtEx(dc, 1, 1, 3, 1, nullptr));
    EXPECT_TRUE(ViewportExt(dc) == (SIZE{333, 999})) << ViewportExt(dc).cx;
}

// ---- drawing through the page transform ---------------------------------------------------------

TEST_F(Coordinates, NegativeViewportExtentMirrorsBlitsFillsAndPixels) {
    auto surface = Paper(12, 5);
    auto strip = Strip();
    HDC dc = surface->Dc();
    Anisotropic(dc, {1, 1}, {-1, 1}, {8, 0});
    ASSERT_TRUE(BitBlt(dc, 0, 0, 4, 1, strip->Dc(), 0, 0, SRCCOPY));
    ASSERT_TRUE(PatBlt(dc, 0, 1, 3, 1, BLACKNESS));
    const RECT rect{0, 2, 2, 3};
    ASSERT_TRUE(FillRect(dc, &rect, static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH))));
    ASSERT_NE(SetPixel(dc, 0, 3, RGB(0, 0, 255)), CLR_INVALID);
    ASSERT_TRUE(StretchBlt(dc, 0, 4, 8, 1, strip->Dc(), 0, 0, 4, 1, SRCCOPY));
    const DWORD W = kWhite, K = kBlack;
    // A blit's negative device extent counts from the pixel at its start: columns 5 … 8.
    EXPECT_EQ(Row(*surface, 0), (std::vector<DWORD>{W, W, W, W, W, K, kBlue, kGreen, kRed, W, W, W}));
    EXPECT_EQ(Row(*surface, 1), (std::vector<DWORD>{W, W, W, W, W, K, K, K, W, W, W, W}));
    EXPECT_EQ(Row(*surface, 2), (std::vector<DWORD>{W, W, W, W, W, W, K, K, W, W, W, W}));
    EXPECT_EQ(Row(*surface, 3), (std::vector<DWORD>{W, W, W, W, W, W, W, W, kBlue, W, W, W}));
    EXPECT_EQ(Row(*surface, 4),
              (std::vector<DWORD>{W, K, K, kBlue, kBlue, kGreen, kGreen, kRed, kRed, W, W, W}));
    EXPECT_EQ(GetPixel(dc, 0, 3), RGB(0, 0, 255));
    // A negative logical width turns the rectangle back: no mirror on the device.
    ASSERT_TRUE(StretchBlt(dc, 0, 4, -4, 1, strip->Dc(), 0, 0, 4, 1, SRCCOPY));
    EXPECT_EQ(surface->Raw(8, 4), kRed);
    EXPECT_EQ(surface->Raw(11, 4), kBlack);
}

TEST_F(Coordinates, YUpModesTurnBlitsOverVertically) {
    auto surface = Paper(1, 4);
    auto column = MakeDib(32, 1, -4);
    for (int y = 0; y < 4; ++y)
        column->SetRaw(0, y, DWORD(y + 1));
    // The device rectangle runs from row 3 upwards: rows 3 … 0, counted from the pixel at its start.
    Anisotropic(surface->Dc(), {1, 1}, {1, -1}, {0, 3});
    ASSERT_TRUE(BitBlt(surface->Dc(), 0, 0, 1, 4, column->Dc(), 0, 0, SRCCOPY));
    for (int y = 0; y < 4; ++y)
        EXPECT_EQ(surface->Raw(0, y), DWORD(4 - y)) << y;
}

TEST_F(Coordinates, ScaledContextsStretchBlitsAndSetSinglePixels) {
    auto surface = Paper(10, 3);
    auto strip = Strip();
    HDC dc = surface->Dc();
    Anisotropic(dc, {1, 1}, {2, 1});
    ASSERT_TRUE(BitBlt(dc, 0, 0, 4, 1, strip->Dc(), 0, 0, SRCCOPY));
    EXPECT_EQ(Row(*surface, 0), (std::vector<DWORD>{kRed, kRed, kGreen, kGreen, kBlue, kBlue, kBlack, kBlack, kWhite,
                                                    kWhite}));
    ASSERT_NE(SetPixel(dc, 1, 1, RGB(0, 0, 0)), CLR_INVALID);
    EXPECT_EQ(Row(*surface, 1)[2], kBlack);
    EXPECT_EQ(Row(*surface, 1)[3], kWhite);
    EXPECT_EQ(GetPixel(dc, 1, 1), RGB(0, 0, 0));
    EXPECT_EQ(GetPixel(dc, 5, 0), CLR_INVALID);  // device column 10 is outside
    // The source context's own transform scales the source: here it halves the strip.
    Anisotropic(strip->Dc(), {2, 1}, {1, 1});
    ASSERT_TRUE(BitBlt(dc, 0, 2, 4, 1, strip->Dc(), 0, 0, SRCCOPY));
    SetMapMode(strip->Dc(), MM_TEXT);
    EXPECT_EQ(Row(*surface, 2),
              (std::vector<DWORD>{kRed, kRed, kRed, kRed, kGreen, kGreen, kGreen, kGreen, kWhite, kWhite}));
}

TEST_F(Coordinates, HugeLogicalRectanglesSaturateWithoutOverflow) {
    auto surface = Paper(4, 2);
    auto strip = Strip();
    HDC dc = surface->Dc();
    Anisotropic(dc, {1, 1}, {INT_MAX, INT_MAX}, {INT_MIN, INT_MAX});
    EXPECT_TRUE(PatBlt(dc, INT_MIN, INT_MIN, INT_MAX, INT_MAX, BLACKNESS));
    EXPECT_TRUE(StretchBlt(dc, INT_MAX, INT_MIN, INT_MIN, INT_MAX, strip->Dc(), 0, 0, 4, 1, SRCCOPY));
    Anisotropic(dc, {1, 1}, {1 << 20, 1 << 20});
    const RECT everything{-(1 << 20), -(1 << 20), 1 << 20, 1 << 20};
    EXPECT_TRUE(FillRect(dc, &everything, static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH))));
    for (DWORD value : Row(*surface, 1))
        EXPECT_EQ(value, kBlack);
}

// ---- world transform ------------------------------------------------------------------------

TEST_F(Coordinates, WorldTransformIsRefusedInCompatibleMode) {
    auto surface = Paper(4, 4);
    HDC dc = surface->Dc();
    const XFORM half{0.5f, 0, 0, 0.5f, 0, 0};
    SetLastError(0);
    EXPECT_FALSE(SetWorldTransform(dc, &half));
    EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
    EXPECT_FALSE(ModifyWorldTransform(dc, &half, MWT_IDENTITY));
    EXPECT_EQ(SetGraphicsMode(dc, 3), 0);
    EXPECT_EQ(SetGraphicsMode(dc, GM_ADVANCED), GM_COMPATIBLE);
    ASSERT_TRUE(SetWorldTransform(dc, &half));
    // Back to compatible only once the transform is the identity again.
    SetLastError(0);
    EXPECT_EQ(SetGraphicsMode(dc, GM_COMPATIBLE), 0);
    EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
    EXPECT_TRUE(ModifyWorldTransform(dc, nullptr, MWT_IDENTITY));
    EXPECT_EQ(SetGraphicsMode(dc, GM_COMPATIBLE), GM_ADVANCED);
    // Singular, non-finite and unknown requests.
    SetGraphicsMode(dc, GM_ADVANCED);
    const XFORM singular{1, 2, 2, 4, 0, 0}, huge{1e30f, 0, 0, 1e30f, 0, 0};
    XFORM notFinite{1, 0, 0, 1, 0, 0};
    notFinite.eDx = std::numeric_limits<float>::infinity();
    for (const XFORM* bad : std::vector<const XFORM*>{&singular, &huge, &notFinite, nullptr})
        EXPECT_FALSE(SetWorldTransform(dc, bad));
    EXPECT_FALSE(ModifyWorldTransform(dc, &half, 7));
    EXPECT_FALSE(ModifyWorldTransform(dc, nullptr, MWT_LEFTMULTIPLY));
}

TEST_F(Coordinates, ModifyAndCombineMultiplyInTheDocumentedOrder) {
    const XFORM a{1, 2, 3, 4, 5, 6}, b{7, 8, 9, 10, 11, 12};
    XFORM c{};
    ASSERT_TRUE(CombineTransform(&c, &a, &b));
    EXPECT_EQ((std::vector<float>{c.eM11, c.eM12, c.eM21, c.eM22, c.eDx, c.eDy}),
              (std::vector<float>{25, 28, 57, 64, 100, 112}));
    XFORM alias = a;
    ASSERT_TRUE(CombineTransform(&alias, &alias, &b));
    EXPECT_EQ(alias.eDx, 100.0f);
    const XFORM big{1e30f, 0, 0, 1e30f, 0, 0};
    EXPECT_FALSE(CombineTransform(&c, &big, &big));
    EXPECT_FALSE(CombineTransform(nullptr, &a, &b));

    auto surface = Paper(4, 4);
    HDC dc = surface->Dc();
    SetGraphicsMode(dc, GM_ADVANCED);
    const XFORM half{0.5f, 0, 0, 0.5f, 0, 0}, shift{1, 0, 0, 1, 10, 20};
    SetWorldTransform(dc, &half);
    ASSERT_TRUE(ModifyWorldTransform(dc, &shift, MWT_LEFTMULTIPLY));  // shift first, then halve
    XFORM got{};
    GetWorldTransform(dc, &got);
    EXPECT_EQ(got.eDx, 5.0f);
    EXPECT_EQ(got.eDy, 10.0f);
    SetWorldTransform(dc, &half);
    ASSERT_TRUE(ModifyWorldTransform(dc, &shift, MWT_RIGHTMULTIPLY));  // halve first, then shift
    GetWorldTransform(dc, &got);
    EXPECT_EQ(got.eDx, 10.0f);
    EXPECT_EQ(got.eM11, 0.5f);
}

TEST_F(Coordinates, WorldComesBeforeThePageAndRoundsOnce) {
    auto surface = Paper(4, 4);
    HDC dc = surface->Dc();
    SetGraphicsMode(dc, GM_ADVANCED);
    const XFORM half{0.5f, 0, 0, 0.5f, 0, 0};
    SetWorldTransform(dc, &half);
    POINT halves[] = {{1, 3}, {-1, -3}, {5, -5}};
    ASSERT_TRUE(LPtoDP(dc, halves, 3));
    EXPECT_TRUE(halves[0] == (POINT{1, 2}));
    EXPECT_TRUE(halves[1] == (POINT{0, -1}));
    EXPECT_TRUE(halves[2] == (POINT{3, -2}));
    // A quarter turn, then the page doubles x, triples y and moves the origin.
    const XFORM turn{0, 1, -1, 0, 0, 0};
    SetWorldTransform(dc, &turn);
    Anisotropic(dc, {1, 1}, {2, 3}, {1, 1});
    EXPECT_TRUE(ToDevice(dc, {1, 0}) == (POINT{1, 4}));
    EXPECT_TRUE(ToDevice(dc, {0, 1}) == (POINT{-1, 1}));
    POINT back[] = {{1, 4}, {-1, 1}};
    ASSERT_TRUE(DPtoLP(dc, back, 2));
    EXPECT_TRUE(back[0] == (POINT{1, 0}));
    EXPECT_TRUE(back[1] == (POINT{0, 1}));
}

TEST_F(Coordinates, WorldTransformMovesBlitsAndFillsAndTurnsTheirRectangles) {
    auto surface = Paper(8, 8);
    auto strip = Strip();
    HDC dc = surface->Dc();
    SetGraphicsMode(dc, GM_ADVANCED);
    const XFORM scaleShift{2, 0, 0, 2, 1, 0};
    SetWorldTransform(dc, &scaleShift);
    ASSERT_TRUE(BitBlt(dc, 0, 0, 2, 1, strip->Dc(), 0, 0, SRCCOPY));
    EXPECT_EQ(Row(*surface, 0), (std::vector<DWORD>{kWhite, kRed, kRed, kGreen, kGreen, kWhite, kWhite, kWhite}));
    EXPECT_EQ(surface->Raw(1, 1), kRed);
    // A quarter turn: (0,0)-(2,1) covers x −1 … 0 and y 0 … 2, so the turned rectangle is column 4,
    // rows 4 … 5 once shifted by (5, 4).
    const XFORM turn{0, 1, -1, 0, 5, 4};
    SetWorldTransform(dc, &turn);
    const RECT rect{0, 0, 2, 1};
    ASSERT_TRUE(FillRect(dc, &rect, static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH))));
    for (int y = 3; y < 7; ++y)
        for (int x = 3; x < 7; ++x)
            EXPECT_EQ(surface->Raw(x, y), (x == 4 && (y == 4 || y == 5)) ? kBlack : kWhite) << x << "," << y;
    // The platform refuses a source that rotates or shears.
    SetGraphicsMode(strip->Dc(), GM_ADVANCED);
    SetWorldTransform(strip->Dc(), &turn);
    SetLastError(0);
    EXPECT_FALSE(BitBlt(dc, 0, 0, 1, 1, strip->Dc(), 0, 0, SRCCOPY));
    EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
    EXPECT_TRUE(BitBlt(dc, 0, 0, 1, 1, strip->Dc(), 0, 0, BLACKNESS)) << "a source it does not read";
    ModifyWorldTransform(strip->Dc(), nullptr, MWT_IDENTITY);
}

// ---- SaveDC and RestoreDC -------------------------------------------------------------------

TEST_F(Coordinates, RestoreBringsBackTheWholeDrawingState) {
    auto surface = Paper(4, 4);
    HDC dc = surface->Dc();
    HBRUSH brush = CreateSolidBrush(RGB(1, 2, 3));
    HPEN pen = CreatePen(PS_SOLID, 1, RGB(4, 5, 6));
    ASSERT_EQ(SaveDC(dc), 1);
    SelectObject(dc, brush);
    SelectObject(dc, pen);
    SetMapMode(dc, MM_ANISOTROPIC);
    SetWindowExtEx(dc, 3, 4, nullptr);
    SetViewportOrgEx(dc, 7, 8, nullptr);
    SetGraphicsMode(dc, GM_ADVANCED);
    const XFORM shift{1, 0, 0, 1, 9, 9};
    SetWorldTransform(dc, &shift);
    SetTextColor(dc, RGB(9, 9, 9));
    SetBkColor(dc, RGB(8, 8, 8));
    SetBkMode(dc, TRANSPARENT);
    SetROP2(dc, R2_XORPEN);
    SetStretchBltMode(dc, HALFTONE);
    SetBrushOrgEx(dc, 3, 5, nullptr);
    MoveToEx(dc, 11, 12, nullptr);
    SetTextAlign(dc, TA_BASELINE | TA_CENTER);
    SetLayout(dc, LAYOUT_RTL);
    // Objects a saved state names are selected still: they cannot be deleted.
    ASSERT_EQ(SaveDC(dc), 2);
    SelectObject(dc, GetStockObject(WHITE_BRUSH));
    SelectObject(dc, GetStockObject(BLACK_PEN));
    SetLastError(0);
    EXPECT_FALSE(DeleteObject(brush));
    EXPECT_EQ(GetLastError(), ERROR_BUSY);

    ASSERT_TRUE(RestoreDC(dc, -1));
    EXPECT_EQ(GetCurrentObject(dc, OBJ_BRUSH), brush);
    EXPECT_EQ(GetMapMode(dc), MM_ANISOTROPIC);
    // World (9, 9); page 9/3 + 7 = 10 and 9/4 + 8 = 10.25; mirrored in 4 columns: 3 − 10.
    EXPECT_TRUE(ToDevice(dc, {0, 0}) == (POINT{-7, 10}));
    ASSERT_TRUE(RestoreDC(dc, 1));
    EXPECT_EQ(GetCurrentObject(dc, OBJ_BRUSH), GetStockObject(WHITE_BRUSH));
    EXPECT_EQ(GetCurrentObject(dc, OBJ_PEN), GetStockObject(BLACK_PEN));
    EXPECT_EQ(GetMapMode(dc), MM_TEXT);
    EXPECT_TRUE(WindowExt(dc) == (SIZE{1, 1}));
    EXPECT_EQ(GetGraphicsMode(dc), GM_COMPATIBLE);
    EXPECT_EQ(GetTextColor(dc), RGB(0, 0, 0));
    EXPECT_EQ(GetBkColor(dc), RGB(255, 255, 255));
    EXPECT_EQ(GetBkMode(dc), OPAQUE);
    EXPECT_EQ(GetROP2(dc), R2_COPYPEN);
    EXPECT_EQ(GetStretchBltMode(dc), BLACKONWHITE);
    POINT point{};
    GetBrushOrgEx(dc, &point);
    EXPECT_TRUE(point == (POINT{0, 0}));
    GetCurrentPositionEx(dc, &point);
    EXPECT_TRUE(point == (POINT{0, 0}));
    EXPECT_EQ(GetTextAlign(dc), TA_LEFT | TA_TOP);
    EXPECT_EQ(GetLayout(dc), LAYOUT_LTR);
    EXPECT_TRUE(ToDevice(dc, {2, 3}) == (POINT{2, 3}));
    // Nothing names them any more.
    EXPECT_TRUE(DeleteObject(brush));
    EXPECT_TRUE(DeleteObject(pen));
}

TEST_F(Coordinates, RestoreLevelsAreAbsoluteOrRelativeAndDropNewerStates) {
    auto surface = Paper(4, 4);
    HDC dc = surface->Dc();
    EXPECT_EQ(SaveDC(dc), 1);
    SetMapMode(dc, MM_LOMETRIC);
    EXPECT_EQ(SaveDC(dc), 2);
    SetMapMode(dc, MM_HIMETRIC);
    EXPECT_EQ(SaveDC(dc), 3);
    SetMapMode(dc, MM_TWIPS);
    for (int level : {0, 4, -4, INT_MIN, INT_MAX}) {
        SetLastError(0);
        EXPECT_FALSE(RestoreDC(dc, level)) << level;
        EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
    }
    EXPECT_EQ(GetMapMode(dc), MM_TWIPS);
    ASSERT_TRUE(RestoreDC(dc, -2));  // the second state; the third goes with it
    EXPECT_EQ(GetMapMode(dc), MM_LOMETRIC);
    EXPECT_FALSE(RestoreDC(dc, 2));
    EXPECT_EQ(SaveDC(dc), 2);
    ASSERT_TRUE(RestoreDC(dc, 1));
    EXPECT_EQ(GetMapMode(dc), MM_TEXT);
    EXPECT_FALSE(RestoreDC(dc, -1));
    EXPECT_EQ(SaveDC(nullptr), 0);
}

TEST_F(Coordinates, SavedBitmapStaysWithItsContextUntilNothingNamesIt) {
    auto surface = Paper(4, 4);
    HDC dc = surface->Dc();
    HBITMAP first = surface->Bitmap();
    HBITMAP second = CreateBitmap(2, 2, 1, 32, nullptr);
    HDC other = CreateCompatibleDC(nullptr);
    ASSERT_EQ(SaveDC(dc), 1);
    HGDIOBJ previous = SelectObject(dc, second);
    ASSERT_EQ(previous, first);
    // The saved state still names the first bitmap: no other context can take it.
    SetLastError(0);
    EXPECT_EQ(SelectObject(other, first), nullptr);
    EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
    ASSERT_TRUE(RestoreDC(dc, 1));
    EXPECT_EQ(GetCurrentObject(dc, OBJ_BITMAP), first);
    // The second bitmap is free again, for another context or for deletion.
    HGDIOBJ otherDefault = SelectObject(other, second);
    ASSERT_NE(otherDefault, nullptr);
    SelectObject(other, otherDefault);
    EXPECT_TRUE(DeleteObject(second));
    DeleteDC(other);
}

TEST_F(Coordinates, DeletingAContextGivesBackWhatItsSavedStatesHeld) {
    HDC dc = CreateCompatibleDC(nullptr);
    HBRUSH brush = CreateSolidBrush(RGB(1, 2, 3));
    HBITMAP bitmap = CreateBitmap(2, 2, 1, 32, nullptr);
    SelectObject(dc, brush);
    SelectObject(dc, bitmap);
    SaveDC(dc);
    SaveDC(dc);
    SelectObject(dc, GetStockObject(WHITE_BRUSH));
    EXPECT_FALSE(DeleteObject(brush));
    ASSERT_TRUE(DeleteDC(dc));
    EXPECT_TRUE(DeleteObject(brush));
    HDC other = CreateCompatibleDC(nullptr);
    HGDIOBJ old = SelectObject(other, bitmap);
    EXPECT_NE(old, nullptr) << "the deleted context no longer holds the bitmap";
    SelectObject(other, old);
    DeleteDC(other);
    EXPECT_TRUE(DeleteObject(bitmap));
}

TEST_F(Coordinates, SaveDepthIsBounded) {
    auto surface = Paper(1, 1);
    HDC dc = surface->Dc();
    for (int i = 1; i <= 1024; ++i)
        ASSERT_EQ(SaveDC(dc), i);
    SetLastError(0);
    EXPECT_EQ(SaveDC(dc), 0);
    EXPECT_EQ(GetLastError(), ERROR_NOT_ENOUGH_MEMORY);
    EXPECT_TRUE(RestoreDC(dc, 1));
    EXPECT_EQ(SaveDC(dc), 1);
    EXPECT_TRUE(RestoreDC(dc, -1));
}

// ---- layout --------------------------------------------------------------------------------

TEST_F(Coordinates, RightToLeftLayoutMirrorsPixelColumnsWithinTheSurface) {
    auto surface = Paper(16, 6);
    auto strip = Strip();
    HDC dc = surface->Dc();
    SetLastError(0);
    EXPECT_EQ(SetLayout(dc, LAYOUT_RTL | 0x4), GDI_ERROR);
    EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
    EXPECT_EQ(SetLayout(dc, LAYOUT_RTL), LAYOUT_LTR);
    EXPECT_EQ(GetMapMode(dc), MM_ISOTROPIC) << "as documented for a context in MM_TEXT";
    EXPECT_TRUE(ToDevice(dc, {0, 0}) == (POINT{15, 0}));
    EXPECT_TRUE(ToDevice(dc, {15, 2}) == (POINT{0, 2}));
    POINT back[] = {{15, 0}};
    ASSERT_TRUE(DPtoLP(dc, back, 1));
    EXPECT_EQ(back[0].x, 0);

    ASSERT_TRUE(PatBlt(dc, 0, 0, 3, 1, BLACKNESS));
    ASSERT_NE(SetPixel(dc, 0, 1, RGB(0, 0, 0)), CLR_INVALID);
    ASSERT_TRUE(BitBlt(dc, 0, 2, 4, 1, strip->Dc(), 0, 0, SRCCOPY));
    SetLayout(dc, LAYOUT_RTL | LAYOUT_BITMAPORIENTATIONPRESERVED);
    ASSERT_TRUE(BitBlt(dc, 0, 3, 4, 1, strip->Dc(), 0, 0, SRCCOPY));
    const RECT whole{0, 4, 16, 5};
    ASSERT_TRUE(FillRect(dc, &whole, static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH))));
    const DWORD W = kWhite, K = kBlack;
    auto tail = [&](std::vector<DWORD> last) {
        std::vector<DWORD> row(16 - last.size(), W);
        row.insert(row.end(), last.begin(), last.end());
        return row;
    };
    EXPECT_EQ(Row(*surface, 0), tail({K, K, K}));
    EXPECT_EQ(Row(*surface, 1), tail({K}));
    EXPECT_EQ(Row(*surface, 2), tail({K, kBlue, kGreen, kRed}));
    EXPECT_EQ(Row(*surface, 3), tail({kRed, kGreen, kBlue, K}));
    EXPECT_EQ(Row(*surface, 4), std::vector<DWORD>(16, K));
    EXPECT_EQ(SetLayout(dc, LAYOUT_LTR), LAYOUT_RTL | LAYOUT_BITMAPORIENTATIONPRESERVED);
    EXPECT_TRUE(ToDevice(dc, {0, 0}) == (POINT{0, 0}));
}

// ---- text ---------------------------------------------------------------------------------

TEST_F(Coordinates, TextIsSizedOnTheDeviceAndMeasuredInLogicalUnits) {
    auto surface = Paper(200, 60);
    HDC dc = surface->Dc();
    LOGFONTA log{};
    log.lfHeight = -24;
    std::strcpy(log.lfFaceName, "Liberation Sans");
    HFONT big = CreateFontIndirectA(&log);
    log.lfHeight = -12;
    HFONT small = CreateFontIndirectA(&log);
    const char* text = "Hello";
    SIZE device{};
    HGDIOBJ old = SelectObject(dc, big);
    ASSERT_TRUE(GetTextExtentPoint32A(dc, text, 5, &device));
    // A 12-unit font on a context that doubles both axes draws as the 24-pixel one.
    SelectObject(dc, small);
    Anisotropic(dc, {1, 1}, {2, 2});
    SIZE logical{};
    ASSERT_TRUE(GetTextExtentPoint32A(dc, text, 5, &logical));
    EXPECT_EQ(logical.cx, (device.cx + 1) / 2);
    EXPECT_EQ(logical.cy, (device.cy + 1) / 2);
    TEXTMETRICA metrics{};
    ASSERT_TRUE(GetTextMetricsA(dc, &metrics));
    EXPECT_EQ(metrics.tmHeight, logical.cy);

    // Drawn at logical (10, 5): ink only right of device column 20 and below row 10.
    SetBkMode(dc, TRANSPARENT);
    ASSERT_TRUE(TextOutA(dc, 10, 5, text, 5));
    int inkLeft = INT_MAX, inkTop = INT_MAX, inkRight = -1;
    for (int y = 0; y < surface->Height(); ++y)
        for (int x = 0; x < surface->Width(); ++x)
            if ((surface->Raw(x, y) & 0xFFFFFF) != kWhite) {
                inkLeft = std::min(inkLeft, x), inkTop = std::min(inkTop, y), inkRight = std::max(inkRight, x);
            }
    EXPECT_GE(inkLeft, 20);
    EXPECT_LE(inkLeft, 24);
    EXPECT_GE(inkTop, 10);
    EXPECT_LE(inkRight, 20 + device.cx);
    EXPECT_GT(inkRight, 20 + device.cx / 2) << "the glyphs are the big font's";
    // The current position advances in logical units.
    SetTextAlign(dc, TA_UPDATECP);
    MoveToEx(dc, 0, 0, nullptr);
    ASSERT_TRUE(TextOutA(dc, 0, 0, text, 5));
    POINT position{};
    GetCurrentPositionEx(dc, &position);
    EXPECT_EQ(position.x, logical.cx);
    SelectObject(dc, old);
    DeleteObject(big);
    DeleteObject(small);
}

TEST_F(Coordinates, RightToLeftTextEndsAtItsMirroredReferencePoint) {
    auto surface = Paper(120, 30);
    HDC dc = surface->Dc();
    SetBkColor(dc, RGB(255, 0, 0));
    SIZE extent{};
    ASSERT_TRUE(GetTextExtentPoint32A(dc, "Hi", 2, &extent));
    SetLayout(dc, LAYOUT_RTL);
    ASSERT_TRUE(TextOutA(dc, 0, 0, "Hi", 2));  // opaque: the cell is red
    EXPECT_EQ(surface->Raw(119, 1), kRed);
    EXPECT_EQ(surface->Raw(120 - extent.cx, 1) & 0xFFFFFF, kRed);
    EXPECT_EQ(surface->Raw(120 - extent.cx - 1, 1), kWhite);
}

}  // namespace
