// Filled shapes: the measured pixel counts of Polygon and Rectangle, the fill modes, the raster
// operations, clipping, transforms, far-reaching figures and refused arguments.
#include "BlitTestSupport.h"

#include <climits>
#include <random>
#include <string>
#include <vector>

namespace {

using namespace gdi;
using namespace blittest;

class TShapeTest : public TGdiTest {};

constexpr COLORREF kWhite = RGB(255, 255, 255);
constexpr COLORREF kRed = RGB(255, 0, 0);

std::unique_ptr<TSurface> WhiteSurface(int width = 24, int height = 16) { return MakeWhiteSurface(width, height); }

std::string Picture(const TSurface& surface, int rows, int columns) {
    return SurfacePicture(surface, rows, columns, kRed, 'r');
}

int Count(const TSurface& surface, COLORREF colour) {
    int n = 0;
    for (COLORREF c : surface.Colours())
        n += c == colour;
    return n;
}

class TRedBrush {
public:
    explicit TRedBrush(HDC dc) : FDc(dc), FBrush(CreateSolidBrush(kRed)), FOld(SelectObject(dc, FBrush)) {}
    ~TRedBrush() {
        SelectObject(FDc, FOld);
        DeleteObject(FBrush);
    }

private:
    HDC FDc;
    HBRUSH FBrush;
    HGDIOBJ FOld;
};

TEST_F(TShapeTest, PolygonsAndRectanglesCoverTheMeasuredPixels) {
    auto surface = WhiteSurface();
    HDC dc = surface->Dc();
    TRedBrush brush(dc);
    const POINT square[] = {{0, 0}, {10, 0}, {10, 10}, {0, 10}};
    const POINT triangle[] = {{0, 0}, {13, 4}, {4, 13}};

    // With the default black pen the outline runs through every corner.
    EXPECT_TRUE(Polygon(dc, square, 4));
    EXPECT_EQ(Count(*surface, kRed), 81);
    EXPECT_EQ(Count(*surface, 0), 40);
    EXPECT_EQ(GetPixel(dc, 10, 10), 0u);
    PatBlt(dc, 0, 0, 24, 16, WHITENESS);
    EXPECT_TRUE(Polygon(dc, triangle, 3));
    EXPECT_EQ(Count(*surface, kRed) + Count(*surface, 0), 95);
    PatBlt(dc, 0, 0, 24, 16, WHITENESS);
    EXPECT_TRUE(Rectangle(dc, 0, 0, 10, 10));
    EXPECT_EQ(Picture(*surface, 11, 11), "##########.\n"
                                         "#rrrrrrrr#.\n"
                                         "#rrrrrrrr#.\n"
                                         "#rrrrrrrr#.\n"
                                         "#rrrrrrrr#.\n"
                                         "#rrrrrrrr#.\n"
                                         "#rrrrrrrr#.\n"
                                         "#rrrrrrrr#.\n"
                                         "#rrrrrrrr#.\n"
                                         "##########.\n"
                                         "...........\n");

    // Without a pen: the fill alone.
    SelectObject(dc, GetStockObject(NULL_PEN));
    PatBlt(dc, 0, 0, 24, 16, WHITENESS);
    EXPECT_TRUE(Polygon(dc, square, 4));
    EXPECT_EQ(Count(*surface, kRed), 100);
    for (int y = 0; y < 16; ++y)
        for (int x = 0; x < 24; ++x)
            EXPECT_EQ(GetPixel(dc, x, y) == kRed, x < 10 && y < 10) << x << "," << y;
    PatBlt(dc, 0, 0, 24, 16, WHITENESS);
    EXPECT_TRUE(Polygon(dc, triangle, 3));
    EXPECT_EQ(Picture(*surface, 14, 14), "..............\n"
                                         ".rrr..........\n"
                                         ".rrrrrr.......\n"
                                         ".rrrrrrrrr....\n"
                                         "..rrrrrrrrrrr.\n"
                                         "..rrrrrrrrrr..\n"
                                         "..rrrrrrrrr...\n"
                                         "...rrrrrrr....\n"
                                         "...rrrrrr.....\n"
                                         "...rrrrr......\n"
                                         "....rrr.......\n"
                                         "....rr........\n"
                                         "....r.........\n"
                                         "..............\n");
    EXPECT_EQ(Count(*surface, kRed), 72);
    PatBlt(dc, 0, 0, 24, 16, WHITENESS);
    EXPECT_TRUE(Rectangle(dc, 10, 10, 0, 0)) << "swapped corners cover the same pixels";
    EXPECT_EQ(Count(*surface, kRed), 81);
    EXPECT_EQ(GetPixel(dc, 8, 8), kRed);
    EXPECT_EQ(GetPixel(dc, 9, 8), kWhite);
    SelectObject(dc, GetStockObject(BLACK_PEN));
}

// The fill is exactly the polygon region of the same points and mode.
TEST_F(TShapeTest, FillModesMatchPolygonRegions) {
    const POINT star[] = {{12, 0}, {19, 15}, {2, 5}, {22, 5}, {5, 15}};
    const POINT nested[] = {{0, 0}, {20, 0}, {20, 14}, {0, 14}, {4, 3}, {16, 3}, {16, 11}, {4, 11}};
    const INT counts[] = {4, 4};
    auto surface = WhiteSurface();
    HDC dc = surface->Dc();
    TRedBrush brush(dc);
    SelectObject(dc, GetStockObject(NULL_PEN));
    EXPECT_EQ(GetPolyFillMode(dc), ALTERNATE);
    SetLastError(0);
    EXPECT_EQ(SetPolyFillMode(dc, 3), 0);
    EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
    for (int mode : {ALTERNATE, WINDING}) {
        SetPolyFillMode(dc, mode);
        EXPECT_EQ(GetPolyFillMode(dc), mode);
        PatBlt(dc, 0, 0, 24, 16, WHITENESS);
        EXPECT_TRUE(Polygon(dc, star, 5));
        HRGN region = CreatePolygonRgn(star, 5, mode);
        for (int y = 0; y < 16; ++y)
            for (int x = 0; x < 24; ++x)
                EXPECT_EQ(GetPixel(dc, x, y) == kRed, PtInRegion(region, x, y) != FALSE)
                    << "star, mode " << mode << " at " << x << "," << y;
        DeleteObject(region);
        PatBlt(dc, 0, 0, 24, 16, WHITENESS);
        EXPECT_TRUE(PolyPolygon(dc, nested, counts, 2));
        EXPECT_EQ(GetPixel(dc, 10, 7) == kRed, mode == WINDING) << "the inner square runs the same way";
        EXPECT_EQ(GetPixel(dc, 1, 1), kRed);
        region = CreatePolyPolygonRgn(nested, counts, 2, mode);
        for (int y = 0; y < 16; ++y)
            for (int x = 0; x < 24; ++x)
                EXPECT_EQ(GetPixel(dc, x, y) == kRed, PtInRegion(region, x, y) != FALSE)
                    << "nested, mode " << mode << " at " << x << "," << y;
        DeleteObject(region);
    }
    // The fill mode is part of the saved state.
    const int saved = SaveDC(dc);
    SetPolyFillMode(dc, ALTERNATE);
    RestoreDC(dc, saved);
    EXPECT_EQ(GetPolyFillMode(dc), WINDING);
    SelectObject(dc, GetStockObject(BLACK_PEN));
}

// The scan rule evaluated pixel by pixel: (x, y) is in when the winding of the edges it lies at
// or right of, on rows from an edge's top up to its bottom, is odd or (WINDING) not zero.
bool InsideByRule(const std::vector<POINT>& points, int mode, long long x, long long y) {
    int winding = 0;
    for (std::size_t k = 0; k < points.size(); ++k) {
        POINT a = points[k], b = points[(k + 1) % points.size()];
        int direction = 1;
        if (a.y > b.y) {
            std::swap(a, b);
            direction = -1;
        }
        if (a.y <= y && y < b.y && (x - a.x) * (b.y - a.y) >= (y - a.y) * (long long)(b.x - a.x))
            winding += mode == WINDING ? direction : 1;
    }
    return mode == WINDING ? winding != 0 : winding % 2 != 0;
}

// Random polygons, some reaching far beyond the surface so that their edges are walked down
// hundreds of rows before it, fill exactly the pixels the rule gives, under a rectangular and a
// two-piece clip alike, and their regions hold the same pixels.
TEST_F(TShapeTest, RandomPolygonsFillWhatTheRuleGives) {
    std::mt19937 random(2024);
    auto surface = WhiteSurface();
    HDC dc = surface->Dc();
    TRedBrush brush(dc);
    SelectObject(dc, GetStockObject(NULL_PEN));
    HRGN pieces = CreateRectRgn(0, 0, 9, 16);
    HRGN right = CreateRectRgn(13, 3, 24, 12);
    CombineRgn(pieces, pieces, right, RGN_OR);
    DeleteObject(right);
    int failures = 0;
    for (int trial = 0; trial < 600 && failures < 5; ++trial) {
        const bool far = trial % 4 == 3;
        std::uniform_int_distribution<int> near(-4, 27), count(3, 9), reach(-400, 400);
        std::vector<POINT> points(std::size_t(count(random)));
        for (POINT& p : points)
            p = far && random() % 3 == 0 ? POINT{reach(random), reach(random)} : POINT{near(random), near(random)};
        const int mode = trial % 2 == 0 ? ALTERNATE : WINDING;
        const bool clipped = trial % 3 == 0;
        SetPolyFillMode(dc, mode);
        SelectClipRgn(dc, clipped ? pieces : nullptr);
        PatBlt(dc, 0, 0, 24, 16, WHITENESS);
        ASSERT_TRUE(Polygon(dc, points.data(), int(points.size())));
        HRGN region = CreatePolygonRgn(points.data(), int(points.size()), mode);
        ASSERT_NE(region, nullptr);
        for (int y = -2; y < 18; ++y)
            for (int x = -2; x < 26; ++x) {
                const bool inside = InsideByRule(points, mode, x, y);
                const bool drawable = x >= 0 && x < 24 && y >= 0 && y < 16 && (!clipped || PtInRegion(pieces, x, y));
                const bool ok = (PtInRegion(region, x, y) != FALSE) == inside &&
                                (!drawable || (GetPixel(dc, x, y) == kRed) == inside);
                if (!ok && ++failures <= 5)
                    ADD_FAILURE() << "trial " << trial << " at " << x << "," << y;
            }
        DeleteObject(region);
    }
    SelectClipRgn(dc, nullptr);
    DeleteObject(pieces);
}

TEST_F(TShapeTest, FillAndOutlineGoThroughTheRasterOperation) {
    auto surface = MakeDib(32, 24, -16);
    const DWORD dest = 0x0055AA33;
    surface->FillRaw(dest);
    HDC dc = surface->Dc();
    TRedBrush brush(dc);
    SetROP2(dc, R2_XORPEN);
    const POINT triangle[] = {{0, 0}, {13, 4}, {4, 13}};
    // Fill and outline overlap, so a pixel of both is written twice: the outline's pixels end as
    // dest ^ red ^ black-pen (0) where filled, the others dest ^ red or untouched.
    EXPECT_TRUE(Polygon(dc, triangle, 3));
    EXPECT_EQ(surface->Raw(5, 5), dest ^ 0x00FF0000u);
    EXPECT_TRUE(Polygon(dc, triangle, 3));
    for (int y = 0; y < 16; ++y)
        for (int x = 0; x < 24; ++x)
            EXPECT_EQ(surface->Raw(x, y), dest) << "drawing twice with XOR gives back the surface";
    // A rectangle's brush fills only inside its outline: every pixel is inverted once.
    SetROP2(dc, R2_NOT);
    Rectangle(dc, 2, 2, 6, 6);
    for (int y = 2; y < 6; ++y)
        for (int x = 2; x < 6; ++x)
            EXPECT_EQ(surface->Raw(x, y) & 0xFFFFFFu, ~dest & 0xFFFFFFu) << x << "," << y;
    EXPECT_EQ(surface->Raw(6, 6), dest);
    // The hollow brush and the null pen leave everything alone, even under operations that read
    // neither, as the platform measures.
    SelectObject(dc, GetStockObject(NULL_BRUSH));
    SelectObject(dc, GetStockObject(NULL_PEN));
    surface->FillRaw(dest);
    for (int rop : {R2_NOT, R2_BLACK, R2_WHITE}) {
        SetROP2(dc, rop);
        Rectangle(dc, 2, 2, 20, 14);
        Ellipse(dc, 2, 2, 20, 14);
        Polygon(dc, triangle, 3);
        BeginPath(dc);
        Rectangle(dc, 2, 2, 20, 14);
        EndPath(dc);
        FillPath(dc);
    }
    for (int y = 0; y < 16; ++y)
        for (int x = 0; x < 24; ++x)
            ASSERT_EQ(surface->Raw(x, y), dest) << x << "," << y;
}

// Rectangle(5, 5, 25, 18) under R2_NOT on white, black pixels as the platform leaves them: the
// brush fills only what the pen leaves, whatever its width, and a dashed pen's gaps show what lay
// beneath unless the background mode paints them.
TEST_F(TShapeTest, ARectanglesBrushLeavesThePensPixelsToThePen) {
    struct TCase {
        int Style, Width, BkMode, Black;
    };
    for (const TCase& c : {TCase{PS_SOLID, 0, TRANSPARENT, 260}, TCase{PS_SOLID, 2, TRANSPARENT, 294},
                           TCase{PS_SOLID, 3, TRANSPARENT, 326}, TCase{PS_SOLID, 5, TRANSPARENT, 404},
                           TCase{PS_DASH, 0, TRANSPARENT, 248}, TCase{PS_DASH, 0, OPAQUE, 260},
                           TCase{PS_INSIDEFRAME, 3, TRANSPARENT, 256}, TCase{PS_NULL, 0, TRANSPARENT, 228}}) {
        auto surface = WhiteSurface(40, 40);
        HDC dc = surface->Dc();
        SetROP2(dc, R2_NOT);
        SetBkMode(dc, c.BkMode);
        HPEN pen = CreatePen(c.Style, c.Width, 0);
        HGDIOBJ old = SelectObject(dc, pen);
        EXPECT_TRUE(Rectangle(dc, 5, 5, 25, 18));
        SelectObject(dc, old);
        DeleteObject(pen);
        EXPECT_EQ(Count(*surface, 0), c.Black) << "style " << c.Style << ", width " << c.Width << ", mode " << c.BkMode;
    }
}

// A wide pen's stroke and the fill it outlines never paint a pixel twice: under R2_NOT every pixel
// of their union is inverted once. Black pixels on white as the platform leaves them, with a pen
// 3 pixels wide: a polygon, and a path filled and stroked at once (whose documentation says the
// filled region does not overlap the stroked one, even with a wide pen).
TEST_F(TShapeTest, AWidePensStrokeAndItsFillShareNoPixel) {
    const POINT triangle[] = {{3, 3}, {30, 8}, {10, 30}};
    for (int shape = 0; shape < 3; ++shape) {
        auto surface = WhiteSurface(40, 40);
        HDC dc = surface->Dc();
        SetROP2(dc, R2_NOT);
        HPEN pen = CreatePen(PS_SOLID, 3, 0);
        HGDIOBJ old = SelectObject(dc, pen);
        if (shape == 0) {
            EXPECT_TRUE(Polygon(dc, triangle, 3));
        } else {
            BeginPath(dc);
            if (shape == 1)
                Polygon(dc, triangle, 3);
            else
                Ellipse(dc, 3, 3, 33, 30);
            EndPath(dc);
            EXPECT_TRUE(StrokeAndFillPath(dc));
        }
        SelectObject(dc, old);
        DeleteObject(pen);
        EXPECT_EQ(Count(*surface, 0), shape == 2 ? 732 : 521) << "shape " << shape;
        EXPECT_EQ(Count(*surface, 0) + Count(*surface, kWhite), 40 * 40) << "shape " << shape;
    }
}

TEST_F(TShapeTest, FiguresFarBeyondTheSurfaceScanOnlyItsRows) {
    auto surface = WhiteSurface();
    HDC dc = surface->Dc();
    TRedBrush brush(dc);
    SelectObject(dc, GetStockObject(NULL_PEN));
    const POINT huge[] = {{INT_MIN, INT_MIN}, {INT_MAX, INT_MIN}, {INT_MAX, INT_MAX}, {INT_MIN, INT_MAX}};
    EXPECT_TRUE(Polygon(dc, huge, 4));
    EXPECT_EQ(Count(*surface, kRed), 24 * 16);
    PatBlt(dc, 0, 0, 24, 16, WHITENESS);
    // A sliver a billion rows tall whose left edge crosses the surface at x = y / 2.
    const POINT sliver[] = {{-500000000, -1000000000}, {0, -1000000000}, {500000000, 1000000000}};
    EXPECT_TRUE(Polygon(dc, sliver, 3));
    for (int y = 0; y < 16; ++y)
        for (int x = 0; x < 24; ++x)
            EXPECT_EQ(GetPixel(dc, x, y) == kRed, 2 * x >= y) << x << "," << y;
    PatBlt(dc, 0, 0, 24, 16, WHITENESS);
    EXPECT_TRUE(Rectangle(dc, INT_MIN, -5, INT_MAX, 3));
    EXPECT_EQ(Count(*surface, kRed), 24 * 2);
    SelectObject(dc, GetStockObject(BLACK_PEN));
}

TEST_F(TShapeTest, ShapesGoThroughTransformsClipAndEveryDepth) {
    auto surface = WhiteSurface();
    HDC dc = surface->Dc();
    TRedBrush brush(dc);
    SelectObject(dc, GetStockObject(NULL_PEN));
    SetMapMode(dc, MM_ANISOTROPIC);
    SetWindowExtEx(dc, 1, 1, nullptr);
    SetViewportExtEx(dc, 2, 2, nullptr);
    Rectangle(dc, 0, 0, 5, 5);
    SetMapMode(dc, MM_TEXT);
    EXPECT_EQ(Count(*surface, kRed), 81);

    PatBlt(dc, 0, 0, 24, 16, WHITENESS);
    HRGN clip = CreateRectRgn(0, 0, 6, 16), right = CreateRectRgn(12, 0, 24, 16);
    CombineRgn(clip, clip, right, RGN_OR);
    SelectClipRgn(dc, clip);
    SelectObject(dc, GetStockObject(BLACK_PEN));
    Rectangle(dc, 2, 2, 20, 10);
    SelectClipRgn(dc, nullptr);
    EXPECT_EQ(Picture(*surface, 11, 22), "......................\n"
                                         "......................\n"
                                         "..####......########..\n"
                                         "..#rrr......rrrrrrr#..\n"
                                         "..#rrr......rrrrrrr#..\n"
                                         "..#rrr......rrrrrrr#..\n"
                                         "..#rrr......rrrrrrr#..\n"
                                         "..#rrr......rrrrrrr#..\n"
                                         "..#rrr......rrrrrrr#..\n"
                                         "..####......########..\n"
                                         "......................\n");
    DeleteObject(clip);
    DeleteObject(right);

    // A monochrome bitmap and an indexed DIB take the nearest colours of brush and pen.
    auto mono = MakeDdb(1, 16, 8);
    PatBlt(mono->Dc(), 0, 0, 16, 8, WHITENESS);
    HGDIOBJ old = SelectObject(mono->Dc(), GetStockObject(BLACK_BRUSH));
    HPEN white = CreatePen(PS_SOLID, 0, RGB(250, 250, 250));
    HGDIOBJ oldPen = SelectObject(mono->Dc(), white);
    Rectangle(mono->Dc(), 1, 1, 7, 7);
    EXPECT_EQ(GetPixel(mono->Dc(), 1, 1), kWhite);
    EXPECT_EQ(GetPixel(mono->Dc(), 3, 3), RGB(0, 0, 0));
    EXPECT_EQ(GetPixel(mono->Dc(), 6, 6), kWhite);
    SelectObject(mono->Dc(), old);
    SelectObject(mono->Dc(), oldPen);
    std::vector<RGBQUAD> table{Quad(RGB(0, 0, 0)), Quad(kWhite), Quad(RGB(200, 0, 0))};
    auto indexed = MakeDib(8, 16, -8, table);
    indexed->FillRaw(1);
    {
        TRedBrush red(indexed->Dc());
        old = SelectObject(indexed->Dc(), white);
        const POINT points[] = {{0, 0}, {8, 0}, {8, 8}};
        Polygon(indexed->Dc(), points, 3);
        SelectObject(indexed->Dc(), old);
    }
    EXPECT_EQ(indexed->Raw(6, 3), 2u);
    EXPECT_EQ(indexed->Raw(0, 0), 1u);
    EXPECT_EQ(indexed->Raw(1, 5), 1u);
    DeleteObject(white);
}

// A dashed outline runs on around its figure: a polygon from its first point, a rectangle
// counter-clockwise from its top right corner; the dashes' gaps take the background colour.
TEST_F(TShapeTest, DashedOutlinesRunAroundTheFigure) {
    auto surface = WhiteSurface();
    HDC dc = surface->Dc();
    HPEN dot = CreatePen(PS_DOT, 0, 0);
    HGDIOBJ oldPen = SelectObject(dc, dot), oldBrush = SelectObject(dc, GetStockObject(NULL_BRUSH));
    SetBkColor(dc, RGB(0, 0, 255));
    const auto picture = [&] {
        std::string out;
        for (int y = 0; y < 10; ++y) {
            for (int x = 0; x < 20; ++x) {
                const COLORREF c = GetPixel(dc, x, y);
                out += c == 0 ? '#' : c == RGB(0, 0, 255) ? 'b' : c == kWhite ? '.' : '?';
            }
            out += '\n';
        }
        return out;
    };
    const POINT box[] = {{0, 0}, {19, 0}, {19, 9}, {0, 9}};
    EXPECT_TRUE(Polygon(dc, box, 4));
    EXPECT_EQ(picture(), "###bbb###bbb###bbb##\n"
                         "#..................#\n"
                         "#..................b\n"
                         "b..................b\n"
                         "b..................b\n"
                         "b..................#\n"
                         "#..................#\n"
                         "#..................#\n"
                         "#..................b\n"
                         "bbb###bbb###bbb###bb\n");
    PatBlt(dc, 0, 0, 24, 16, WHITENESS);
    EXPECT_TRUE(Rectangle(dc, 0, 0, 20, 10));
    EXPECT_EQ(picture(), "##bbb###bbb###bbb###\n"
                         "#..................#\n"
                         "b..................#\n"
                         "b..................b\n"
                         "b..................b\n"
                         "#..................b\n"
                         "#..................#\n"
                         "#..................#\n"
                         "b..................#\n"
                         "bb###bbb###bbb###bbb\n");
    SelectObject(dc, oldPen);
    SelectObject(dc, oldBrush);
    DeleteObject(dot);
}

// A world transform that turns the rectangle: the polygon of the four transformed corners.
TEST_F(TShapeTest, ATurnedRectangleIsThePolygonOfItsCorners) {
    auto surface = WhiteSurface();
    HDC dc = surface->Dc();
    TRedBrush brush(dc);
    SelectObject(dc, GetStockObject(NULL_PEN));
    SetGraphicsMode(dc, GM_ADVANCED);
    const XFORM quarterTurn{0.0f, 1.0f, -1.0f, 0.0f, 12.0f, 2.0f};  // (x, y) → (12 − y, 2 + x)
    ASSERT_TRUE(SetWorldTransform(dc, &quarterTurn));
    EXPECT_TRUE(Rectangle(dc, 0, 0, 8, 4));
    ModifyWorldTransform(dc, nullptr, MWT_IDENTITY);
    SetGraphicsMode(dc, GM_COMPATIBLE);
    const POINT corners[] = {{12, 2}, {12, 10}, {8, 10}, {8, 2}};
    HRGN region = CreatePolygonRgn(corners, 4, ALTERNATE);
    for (int y = 0; y < 16; ++y)
        for (int x = 0; x < 24; ++x)
            EXPECT_EQ(GetPixel(dc, x, y) == kRed, PtInRegion(region, x, y) != FALSE) << x << "," << y;
    EXPECT_EQ(Count(*surface, kRed), 32);
    DeleteObject(region);
    SelectObject(dc, GetStockObject(BLACK_PEN));
}

TEST_F(TShapeTest, BadCountsAreRefused) {
    auto surface = WhiteSurface();
    HDC dc = surface->Dc();
    const POINT points[] = {{0, 0}, {5, 5}, {9, 0}, {3, 3}};
    const auto refused = [](BOOL result, DWORD error) { return result == FALSE && GetLastError() == error; };
    SetLastError(0);
    EXPECT_TRUE(refused(Polygon(dc, points, 1), ERROR_INVALID_PARAMETER));
    EXPECT_TRUE(refused(Polygon(dc, points, 0), ERROR_INVALID_PARAMETER));
    EXPECT_TRUE(refused(Polygon(dc, points, -1), ERROR_INVALID_PARAMETER));
    EXPECT_TRUE(refused(Polygon(dc, nullptr, 3), ERROR_INVALID_PARAMETER));
    EXPECT_TRUE(refused(Polygon(dc, points, INT_MAX), ERROR_INVALID_PARAMETER));
    const INT goodThenBad[] = {2, 1};
    EXPECT_TRUE(refused(PolyPolygon(dc, points, goodThenBad, 2), ERROR_INVALID_PARAMETER));
    EXPECT_TRUE(refused(PolyPolygon(dc, points, goodThenBad, 0), ERROR_INVALID_PARAMETER));
    EXPECT_TRUE(refused(PolyPolygon(dc, points, goodThenBad, -2), ERROR_INVALID_PARAMETER));
    const INT huge[] = {INT_MAX, INT_MAX};
    EXPECT_TRUE(refused(PolyPolygon(dc, points, huge, 2), ERROR_INVALID_PARAMETER));
    EXPECT_EQ(Count(*surface, kWhite), 24 * 16) << "a refused call draws nothing";
    EXPECT_TRUE(refused(Polygon(nullptr, points, 3), ERROR_INVALID_HANDLE));
    EXPECT_TRUE(refused(Rectangle(nullptr, 0, 0, 3, 3), ERROR_INVALID_HANDLE));
    // Two points make a figure of no area: only its outline, there and back.
    EXPECT_TRUE(Polygon(dc, points, 2));
    EXPECT_EQ(Count(*surface, 0), 6);
}

}  // namespace
