// Curves and rounded shapes: measured pixel counts, arc directions, pie and chord edges, Bézier
// end points, far-reaching curves, clipping, transforms, indexed targets and refused arguments.
#include "BlitTestSupport.h"

#include <algorithm>
#include <array>
#include <climits>
#include <limits>
#include <string>
#include <vector>

namespace {

using namespace gdi;
using namespace blittest;

class TCurveTest : public TGdiTest {};

constexpr COLORREF kWhite = RGB(255, 255, 255);
constexpr COLORREF kRed = RGB(255, 0, 0);

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
    HBRUSH Get() const { return FBrush; }
    ~TRedBrush() {
        SelectObject(FDc, FOld);
        DeleteObject(FBrush);
    }

private:
    HDC FDc;
    HBRUSH FBrush;
    HGDIOBJ FOld;
};

// Resets a context's transforms for a scope, so its pixels are read and cleared in device terms.
class TDeviceTerms {
public:
    explicit TDeviceTerms(HDC dc) : FDc(dc), FSaved(SaveDC(dc)) {
        if (GetGraphicsMode(dc) == GM_ADVANCED)
            ModifyWorldTransform(dc, nullptr, MWT_IDENTITY);
        SetGraphicsMode(dc, GM_COMPATIBLE);
        SetMapMode(dc, MM_TEXT);
        SetWindowOrgEx(dc, 0, 0, nullptr);
        SetViewportOrgEx(dc, 0, 0, nullptr);
    }
    ~TDeviceTerms() { RestoreDC(FDc, FSaved); }

private:
    HDC FDc;
    int FSaved;
};

// Non-white pixels as runs "y:x0-x1" (x1 excluded), row by row: the form the platform's own
// drawings were dumped in.
std::string Runs(const TSurface& surface, int width, int height) {
    TDeviceTerms device(surface.Dc());
    std::string out;
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width;) {
            if (GetPixel(surface.Dc(), x, y) == kWhite) {
                ++x;
                continue;
            }
            const int start = x;
            while (x < width && GetPixel(surface.Dc(), x, y) != kWhite)
                ++x;
            out += " " + std::to_string(y) + ":" + std::to_string(start) + "-" + std::to_string(x);
        }
    }
    return out;
}

// Whitens the surface's device pixels whatever the context's transforms.
void Clear(HDC dc) {
    TDeviceTerms device(dc);
    PatBlt(dc, 0, 0, 40, 40, WHITENESS);
}

// Pixel counts of Ellipse(2, 2, 2 + w, 2 + h) measured on the platform: with pen and brush, with
// the brush alone (NULL_PEN), with the pen alone (NULL_BRUSH).
struct TEllipseCount {
    int W, H, Both, Fill, Line;
};
constexpr TEllipseCount kEllipseCounts[] = {
    {1, 1, 0, 0, 0},   {1, 3, 3, 0, 3},   {2, 2, 4, 1, 4},   {2, 3, 6, 2, 6},    {3, 1, 3, 0, 3},
    {3, 3, 5, 5, 4},   {4, 4, 12, 12, 8}, {5, 5, 21, 21, 12}, {6, 9, 42, 42, 18}, {10, 10, 76, 76, 24},
    {11, 11, 97, 97, 28}, {16, 16, 200, 200, 44}, {13, 7, 75, 75, 28}, {20, 9, 140, 140, 42},
};

TEST_F(TCurveTest, EllipsesCoverTheMeasuredPixels) {
    auto surface = MakeWhiteSurface(40, 40);
    HDC dc = surface->Dc();
    TRedBrush brush(dc);
    for (const TEllipseCount& c : kEllipseCounts) {
        Clear(dc);
        EXPECT_TRUE(Ellipse(dc, 2, 2, 2 + c.W, 2 + c.H));
        EXPECT_EQ(Count(*surface, kRed) + Count(*surface, 0), c.Both) << c.W << " x " << c.H;
        SelectObject(dc, GetStockObject(NULL_PEN));
        Clear(dc);
        Ellipse(dc, 2, 2, 2 + c.W, 2 + c.H);
        EXPECT_EQ(Count(*surface, kRed), c.Fill) << c.W << " x " << c.H;
        SelectObject(dc, GetStockObject(BLACK_PEN));
        SelectObject(dc, GetStockObject(NULL_BRUSH));
        Clear(dc);
        Ellipse(dc, 2 + c.W, 2 + c.H, 2, 2);
        EXPECT_EQ(Count(*surface, 0), c.Line) << c.W << " x " << c.H << ", corners swapped";
        SelectObject(dc, GetStockObject(WHITE_BRUSH));
        SelectObject(dc, brush.Get());
    }
    // The ellipse is the elliptic region one pixel larger, its outline that region's edge.
    Clear(dc);
    Ellipse(dc, 0, 0, 10, 10);
    HRGN region = CreateEllipticRgn(0, 0, 11, 11);
    for (int y = 0; y < 12; ++y)
        for (int x = 0; x < 12; ++x) {
            const bool in = PtInRegion(region, x, y) != FALSE;
            const bool edge = in && !(PtInRegion(region, x - 1, y) && PtInRegion(region, x + 1, y) &&
                                      PtInRegion(region, x, y - 1) && PtInRegion(region, x, y + 1));
            EXPECT_EQ(GetPixel(dc, x, y), edge ? 0 : in ? kRed : kWhite) << x << "," << y;
        }
    DeleteObject(region);
    // As measured: rounded corners of 8 × 6 in a 20 × 14 box; square corners fill as Rectangle.
    Clear(dc);
    EXPECT_TRUE(RoundRect(dc, 1, 1, 21, 15, 8, 6));
    EXPECT_EQ(Picture(*surface, 16, 22), "......................\n"
                                         "...################...\n"
                                         "..#rrrrrrrrrrrrrrrr#..\n"
                                         ".#rrrrrrrrrrrrrrrrrr#.\n"
                                         ".#rrrrrrrrrrrrrrrrrr#.\n"
                                         ".#rrrrrrrrrrrrrrrrrr#.\n"
                                         ".#rrrrrrrrrrrrrrrrrr#.\n"
                                         ".#rrrrrrrrrrrrrrrrrr#.\n"
                                         ".#rrrrrrrrrrrrrrrrrr#.\n"
                                         ".#rrrrrrrrrrrrrrrrrr#.\n"
                                         ".#rrrrrrrrrrrrrrrrrr#.\n"
                                         ".#rrrrrrrrrrrrrrrrrr#.\n"
                                         ".#rrrrrrrrrrrrrrrrrr#.\n"
                                         "..#rrrrrrrrrrrrrrrr#..\n"
                                         "...################...\n"
                                         "......................\n");
    SelectObject(dc, GetStockObject(NULL_PEN));
    Clear(dc);
    RoundRect(dc, 2, 2, 7, 6, 0, 1);
    EXPECT_EQ(Count(*surface, kRed), 12);
    Clear(dc);
    RoundRect(dc, 1, 1, 21, 15, 40, 40);
    EXPECT_EQ(Runs(*surface, 40, 40), [&] {
        Clear(dc);
        Ellipse(dc, 1, 1, 21, 15);
        return Runs(*surface, 40, 40);
    }()) << "corners larger than the box make the ellipse";
    SelectObject(dc, GetStockObject(BLACK_PEN));
}

TEST_F(TCurveTest, OutlinesAreThePlatformsWalkAndStartWhereItsDashesDo) {
    auto surface = MakeWhiteSurface(64, 48);
    HDC dc = surface->Dc();
    // n pixels from (x, y) in steps of (dx, dy): r for the pen, b for the gaps.
    const auto strip = [&](int x, int y, int dx, int dy, int n) {
        std::string out;
        for (int i = 0; i < n; ++i, x += dx, y += dy) {
            const COLORREF c = GetPixel(dc, x, y);
            out += c == kRed ? 'r' : c == RGB(0, 0, 255) ? 'b' : '.';
        }
        return out;
    };
    HPEN pen = CreatePen(PS_DASHDOT, 0, kRed);
    SelectObject(dc, pen);
    SelectObject(dc, GetStockObject(NULL_BRUSH));
    SetBkColor(dc, RGB(0, 0, 255));
    // Measured on the platform: the outline's rows, and its dashes from the right side's upper
    // middle row counter-clockwise.
    Ellipse(dc, 4, 4, 60, 44);
    EXPECT_EQ(strip(24, 4, 1, 0, 16), "..rbbbbbbrrrrr..");
    EXPECT_EQ(strip(59, 14, 0, 1, 20), "......rrrrrbbb......");
    PatBlt(dc, 0, 0, 64, 48, WHITENESS);
    RoundRect(dc, 5, 3, 58, 43, 11, 21);
    EXPECT_EQ(strip(57, 0, 0, 1, 44), ".........rrrrrbbbbrrrbbbbbbrrrrrrrrrb.......");
    // The platform's walk stops short of a tall, narrow box; here the tips reach its top and
    // bottom rows.
    SelectObject(dc, GetStockObject(BLACK_PEN));
    DeleteObject(pen);
    PatBlt(dc, 0, 0, 64, 48, WHITENESS);
    Ellipse(dc, 2, 2, 5, 42);
    EXPECT_NE(GetPixel(dc, 3, 2), kWhite);
    EXPECT_NE(GetPixel(dc, 3, 41), kWhite);
    EXPECT_EQ(GetPixel(dc, 3, 1), kWhite);
    EXPECT_EQ(GetPixel(dc, 3, 42), kWhite);
}

TEST_F(TCurveTest, AWidePenStrokesThePixelsAThinPenLights) {
    auto surface = MakeWhiteSurface(64, 48);
    HDC dc = surface->Dc();
    SelectObject(dc, GetStockObject(NULL_BRUSH));
    // Measured: a wide pen's curve is the polyline through the thin outline's pixels, so it is
    // centred on them and has their steps. Pixel counts and painted boxes of ellipses, pies, an
    // arc, a chord and a rounded rectangle.
    enum TShape { kEllipse, kPie, kArc, kChord, kRoundRect };
    const struct {
        TShape Shape;
        int Width, Count, X0, X1, Y0, Y1;
    } kCases[] = {{kEllipse, 2, 344, 5, 57, 4, 40}, {kEllipse, 3, 484, 5, 58, 4, 41}, {kEllipse, 4, 600, 4, 58, 3, 41},
                  {kEllipse, 6, 880, 3, 59, 2, 42}, {kPie, 3, 488, 5, 58, 4, 41},     {kPie, 4, 610, 4, 58, 3, 41},
                  {kArc, 5, 388, 4, 51, 3, 37},     {kChord, 5, 488, 8, 45, 6, 36},   {kRoundRect, 7, 1060, 5, 58, 3, 44}};
    for (const auto& k : kCases) {
        PatBlt(dc, 0, 0, 64, 48, WHITENESS);
        HPEN pen = CreatePen(PS_SOLID, k.Width, kRed);
        SelectObject(dc, pen);
        switch (k.Shape) {
        case kEllipse: Ellipse(dc, 6, 5, 58, 41); break;
        case kPie: Pie(dc, 6, 5, 58, 41, 58, 23, 32, 41); break;
        case kArc: Arc(dc, 6, 5, 58, 41, 58, 5, 6, 41); break;
        case kChord: Chord(dc, 10, 8, 50, 40, 50, 8, 10, 40); break;
        case kRoundRect: RoundRect(dc, 8, 6, 56, 42, 20, 14); break;
        }
        SelectObject(dc, GetStockObject(BLACK_PEN));
        DeleteObject(pen);
        int count = 0, x0 = 64, x1 = -1, y0 = 48, y1 = -1;
        for (int y = 0; y < 48; ++y)
            for (int x = 0; x < 64; ++x)
                if (GetPixel(dc, x, y) != kWhite) {
                    ++count;
                    x0 = std::min(x0, x), x1 = std::max(x1, x), y0 = std::min(y0, y), y1 = std::max(y1, y);
                }
        EXPECT_EQ((std::vector<int>{count, x0, x1, y0, y1}), (std::vector<int>{k.Count, k.X0, k.X1, k.Y0, k.Y1}))
            << k.Shape << " " << k.Width;
    }
}

TEST_F(TCurveTest, AFrameNarrowerThanAnInsideFramePenKeepsItsMiddleLine) {
    // The pen cannot fit inside the box, so each shape is drawn on the box's middle line, as a
    // rectangle is, rather than vanishing.
    const auto draw = [](int shape, int left, int top, int right, int bottom) {
        auto surface = MakeWhiteSurface(60, 40);
        HDC dc = surface->Dc();
        SelectObject(dc, GetStockObject(NULL_BRUSH));
        HPEN pen = CreatePen(PS_INSIDEFRAME, 7, kRed);
        SelectObject(dc, pen);
        if (shape == 0)
            Rectangle(dc, left, top, right, bottom);
        else if (shape == 1)
            Ellipse(dc, left, top, right, bottom);
        else
            RoundRect(dc, left, top, right, bottom, 6, 6);
        SelectObject(dc, GetStockObject(BLACK_PEN));
        DeleteObject(pen);
        return Count(*surface, kRed);
    };
    for (const auto& box : {std::array<int, 4>{20, 5, 22, 35}, std::array<int, 4>{10, 15, 50, 18}}) {
        const int frame = draw(0, box[0], box[1], box[2], box[3]);
        EXPECT_GT(frame, 0);
        EXPECT_EQ(draw(1, box[0], box[1], box[2], box[3]), frame) << box[0];
        EXPECT_EQ(draw(2, box[0], box[1], box[2], box[3]), frame) << box[0];
    }
}

TEST_F(TCurveTest, PiesChordsAndArcsFollowTheArcDirection) {
    auto surface = MakeWhiteSurface(40, 40);
    HDC dc = surface->Dc();
    TRedBrush brush(dc);
    EXPECT_EQ(GetArcDirection(dc), AD_COUNTERCLOCKWISE);
    // From the upper right counter-clockwise to the upper left, radials to the centre (11, 9):
    // the platform's pixels.
    EXPECT_TRUE(Pie(dc, 1, 1, 21, 17, 21, 1, 1, 1));
    EXPECT_EQ(Picture(*surface, 11, 20), "....................\n"
                                         "........######......\n"
                                         ".....###rrrrrr###...\n"
                                         "....#rrrrrrrrrrrr#..\n"
                                         ".....#rrrrrrrrrr#...\n"
                                         "......#rrrrrrrr#....\n"
                                         ".......##rrrrr#.....\n"
                                         ".........#rrr#......\n"
                                         "..........#r#.......\n"
                                         "...........#........\n"
                                         "....................\n");
    // The arc alone: its last pixel (4, 3) stays out, as a line's does.
    Clear(dc);
    EXPECT_TRUE(Arc(dc, 1, 1, 21, 17, 21, 1, 1, 1));
    EXPECT_EQ(Runs(*surface, 40, 40), " 1:8-14 2:5-8 2:14-17 3:17-18");
    // Counter-clockwise and clockwise arcs between the same radials make the outline but the
    // two pixels at the end radial, (4, 14) and (5, 15): each arc leaves out one, as measured.
    Clear(dc);
    for (int direction : {AD_COUNTERCLOCKWISE, AD_CLOCKWISE}) {
        EXPECT_NE(SetArcDirection(dc, direction), 0);
        Arc(dc, 1, 1, 21, 17, 21, 3, 3, 17);
    }
    const std::string both = Runs(*surface, 40, 40);
    SelectObject(dc, GetStockObject(NULL_BRUSH));
    Clear(dc);
    Ellipse(dc, 1, 1, 21, 17);
    std::string outline = Runs(*surface, 40, 40);
    outline.replace(outline.find(" 14:4-5"), 7, "");
    outline.replace(outline.find(" 15:5-8"), 7, " 15:6-8");
    EXPECT_EQ(both, outline);
    // Clockwise the pie takes the lower right quarter.
    SelectObject(dc, brush.Get());
    Clear(dc);
    Pie(dc, 1, 1, 21, 17, 21, 9, 11, 17);
    EXPECT_EQ(GetPixel(dc, 15, 12), kRed);
    EXPECT_EQ(GetPixel(dc, 5, 5), kWhite);
    EXPECT_EQ(GetPixel(dc, 11, 9), 0u) << "the centre is on both radials";
    // The chord closes with a straight edge; the same radials both ways cover the ellipse.
    SetArcDirection(dc, AD_COUNTERCLOCKWISE);
    Clear(dc);
    EXPECT_TRUE(Chord(dc, 1, 1, 21, 17, 21, 1, 1, 17));
    EXPECT_EQ(GetPixel(dc, 5, 5), kRed);
    EXPECT_EQ(GetPixel(dc, 16, 12), kWhite);
    SetArcDirection(dc, AD_CLOCKWISE);
    Chord(dc, 1, 1, 21, 17, 21, 1, 1, 17);
    // As measured: the two chords cover the ellipse but for the pixels along their shared edge
    // that neither outline reaches.
    EXPECT_EQ(Runs(*surface, 40, 40),
              " 1:8-14 2:5-17 3:4-18 4:3-17 4:18-19 5:2-15 5:16-20 6:2-14 6:15-20 7:1-13 7:14-21 8:1-11 8:12-21"
              " 9:1-10 9:11-21 10:1-8 10:9-21 11:2-7 11:8-20 12:2-6 12:7-20 13:3-4 13:5-19 14:4-18 15:5-17 16:8-14");

    // The direction is part of the saved state, and only the two directions are taken.
    const int saved = SaveDC(dc);
    SetArcDirection(dc, AD_COUNTERCLOCKWISE);
    RestoreDC(dc, saved);
    EXPECT_EQ(GetArcDirection(dc), AD_CLOCKWISE);
    SetLastError(0);
    EXPECT_EQ(SetArcDirection(dc, 3), 0);
    EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
    EXPECT_EQ(GetArcDirection(nullptr), 0);
    SetArcDirection(dc, AD_COUNTERCLOCKWISE);

    // GM_COMPATIBLE keeps the direction on the device when the mapping turns y over; GM_ADVANCED
    // keeps it in logical space.
    SelectObject(dc, GetStockObject(NULL_BRUSH));
    Clear(dc);
    Arc(dc, 1, 1, 21, 17, 21, 1, 1, 1);
    const std::string upper = Runs(*surface, 40, 40);
    SetMapMode(dc, MM_ANISOTROPIC);
    SetViewportExtEx(dc, 1, -1, nullptr);
    SetViewportOrgEx(dc, 0, 18, nullptr);
    Clear(dc);
    Arc(dc, 1, 17, 21, 1, 21, 17, 1, 17);  // the same device box and radials
    EXPECT_EQ(Runs(*surface, 40, 40), upper);
    SetGraphicsMode(dc, GM_ADVANCED);
    Clear(dc);
    Arc(dc, 1, 17, 21, 1, 21, 17, 1, 17);
    {
        TDeviceTerms device(dc);
        EXPECT_EQ(GetPixel(dc, 11, 1), kWhite) << "clockwise on the device: the lower half";
        EXPECT_EQ(GetPixel(dc, 11, 16), 0u);
    }
    SetGraphicsMode(dc, GM_COMPATIBLE);
    SetMapMode(dc, MM_TEXT);
    SelectObject(dc, brush.Get());
}

// Both radials may meet the outline on one run of pixels (here the top row's left half): the arc
// still runs from the start's pixel the long way round, as the platform draws it.
TEST_F(TCurveTest, ArcsWhoseEndsShareARunKeepTheirDirection) {
    auto surface = MakeWhiteSurface(72, 72);
    HDC dc = surface->Dc();
    SelectObject(dc, GetStockObject(NULL_BRUSH));
    Ellipse(dc, 4, 4, 68, 68);
    const int outline = Count(*surface, 0);
    // The pixel counts as measured (the whole outline is 180).
    for (const bool top : {true, false}) {
        const int y = top ? 0 : 80;
        PatBlt(dc, 0, 0, 72, 72, WHITENESS);
        ASSERT_TRUE(Arc(dc, 4, 4, 68, 68, top ? 31 : 33, y, top ? 33 : 31, y));
        EXPECT_EQ(Count(*surface, 0), outline - (top ? 3 : 2)) << (top ? "top" : "bottom") << ": nearly the whole turn";
        PatBlt(dc, 0, 0, 72, 72, WHITENESS);
        Arc(dc, 4, 4, 68, 68, top ? 33 : 31, y, top ? 31 : 33, y);
        EXPECT_EQ(Count(*surface, 0), top ? 1 : 0) << (top ? "top" : "bottom") << ": a sliver";
    }
    // On a flat ellipse radials three degrees apart: one way round no pixel, the other the whole
    // outline but the two pixels at the end radial, as measured.
    PatBlt(dc, 0, 0, 72, 72, WHITENESS);
    Ellipse(dc, 13, 27, 55, 35);
    const int flat = Count(*surface, 0);
    PatBlt(dc, 0, 0, 72, 72, WHITENESS);
    Arc(dc, 13, 27, 55, 35, 87, 28, 89, 25);
    EXPECT_EQ(Count(*surface, 0), 0);
    PatBlt(dc, 0, 0, 72, 72, WHITENESS);
    Arc(dc, 13, 27, 55, 35, 89, 25, 87, 28);
    EXPECT_EQ(Count(*surface, 0), flat - 2);
    // With no outline pixel between the radials a pie is its two lines, which meet the outline
    // at the pixel where the radials turn, as measured.
    PatBlt(dc, 0, 0, 72, 72, WHITENESS);
    Pie(dc, 41, 14, 57, 29, 20, 30, 9, 42);
    EXPECT_EQ(Runs(*surface, 72, 72), " 21:48-50 22:46-48 23:44-46 24:42-44");
    // A radial's point far beyond the surface gives the pixels of a near point in its direction.
    PatBlt(dc, 0, 0, 72, 72, WHITENESS);
    Arc(dc, 4, 4, 68, 68, 236, 136, -64, -164);
    const std::string near = Runs(*surface, 72, 72);
    PatBlt(dc, 0, 0, 72, 72, WHITENESS);
    Arc(dc, 4, 4, 68, 68, 36 + (1 << 30), 36 + (1 << 29), 36 - (1 << 29), 36 - (1 << 30));
    EXPECT_EQ(Runs(*surface, 72, 72), near);
    // AngleArc takes its arc's pixels the same way: the line from (5, 5), then 100 degrees from
    // 30, as measured.
    PatBlt(dc, 0, 0, 72, 72, WHITENESS);
    MoveToEx(dc, 5, 5, nullptr);
    AngleArc(dc, 30, 30, 20, 30.0f, 100.0f);
    EXPECT_EQ(Runs(*surface, 72, 72),
              " 5:5-7 6:7-10 7:10-13 8:13-16 9:16-19 10:19-22 10:26-34 11:22-26 11:34-37 12:20-23 12:25-27 12:37-40 13:19-20 13:27-30"
              " 13:40-41 14:18-19 14:30-33 14:41-42 15:33-36 15:42-44 16:36-39 16:44-45 17:39-42 17:44-45 18:42-46 19:45-47");
}

TEST_F(TCurveTest, ArcToAngleArcAndBeziersMoveTheCurrentPosition) {
    auto surface = MakeWhiteSurface(40, 40);
    HDC dc = surface->Dc();
    POINT at{};
    MoveToEx(dc, 0, 0, nullptr);
    EXPECT_TRUE(ArcTo(dc, 1, 1, 21, 17, 21, 9, 1, 9));
    GetCurrentPositionEx(dc, &at);
    EXPECT_EQ(at.x, 1);
    EXPECT_EQ(at.y, 9);
    EXPECT_EQ(GetPixel(dc, 0, 0), 0u) << "the line from the current position";
    EXPECT_EQ(GetPixel(dc, 10, 1), 0u);
    EXPECT_EQ(GetPixel(dc, 10, 16), kWhite);
    Clear(dc);
    MoveToEx(dc, 0, 0, nullptr);
    EXPECT_TRUE(AngleArc(dc, 10, 9, 7, 0, 90));
    GetCurrentPositionEx(dc, &at);
    EXPECT_EQ(at.x, 10);
    EXPECT_EQ(at.y, 2);
    EXPECT_EQ(GetPixel(dc, 3, 9), kWhite) << "a quarter from the x axis counter-clockwise";
    EXPECT_EQ(GetPixel(dc, 15, 5), 0u);
    Clear(dc);
    EXPECT_TRUE(AngleArc(dc, 10, 9, 7, 90, -720));
    EXPECT_EQ(Count(*surface, 0), [&] {
        Clear(dc);
        SelectObject(dc, GetStockObject(NULL_BRUSH));
        Ellipse(dc, 3, 2, 17, 16);
        SelectObject(dc, GetStockObject(WHITE_BRUSH));
        return Count(*surface, 0);
    }()) << "two turns draw the whole circle";

    // Bézier curves start on their first point and leave their last pixel out; a straight one
    // is the line.
    Clear(dc);
    const POINT curve[] = {{1, 1}, {30, 1}, {1, 20}, {30, 20}};
    EXPECT_TRUE(PolyBezier(dc, curve, 4));
    EXPECT_EQ(GetPixel(dc, 1, 1), 0u);
    EXPECT_EQ(GetPixel(dc, 30, 20), kWhite);
    EXPECT_EQ(GetPixel(dc, 15, 10) == 0 || GetPixel(dc, 16, 10) == 0 || GetPixel(dc, 15, 9) == 0, true);
    const std::string bezier = Runs(*surface, 40, 40);
    Clear(dc);
    MoveToEx(dc, 1, 1, nullptr);
    EXPECT_TRUE(PolyBezierTo(dc, curve + 1, 3));
    EXPECT_EQ(Runs(*surface, 40, 40), bezier);
    GetCurrentPositionEx(dc, &at);
    EXPECT_EQ(at.x, 30);
    EXPECT_EQ(at.y, 20);
    const POINT straight[] = {{2, 3}, {8, 5}, {14, 7}, {29, 12}};
    Clear(dc);
    PolyBezier(dc, straight, 4);
    const std::string flat = Runs(*surface, 40, 40);
    Clear(dc);
    MoveToEx(dc, 2, 3, nullptr);
    LineTo(dc, 29, 12);
    EXPECT_EQ(flat, Runs(*surface, 40, 40));

    // PolyDraw: a closed figure's next line starts at the figure's start; the platform's pixels.
    const POINT points[] = {{1, 1}, {20, 1}, {1, 20}, {20, 20}};
    const BYTE types[] = {PT_MOVETO, PT_LINETO, PT_LINETO | PT_CLOSEFIGURE, PT_LINETO};
    Clear(dc);
    EXPECT_TRUE(PolyDraw(dc, points, types, 4));
    EXPECT_EQ(Runs(*surface, 40, 40),
              " 1:1-21 2:1-3 2:19-20 3:1-2 3:3-4 3:18-19 4:1-2 4:4-5 4:17-18 5:1-2 5:5-6 5:16-17 6:1-2 6:6-7 "
              "6:15-16 7:1-2 7:7-8 7:14-15 8:1-2 8:8-9 8:13-14 9:1-2 9:9-10 9:12-13 10:1-2 10:10-12 11:1-2 "
              "11:10-12 12:1-2 12:9-10 12:12-13 13:1-2 13:8-9 13:13-14 14:1-2 14:7-8 14:14-15 15:1-2 15:6-7 "
              "15:15-16 16:1-2 16:5-6 16:16-17 17:1-2 17:4-5 17:17-18 18:1-2 18:3-4 18:18-19 19:1-3 19:19-20 "
              "20:1-2");
    GetCurrentPositionEx(dc, &at);
    EXPECT_EQ(at.x, 20);
    EXPECT_EQ(at.y, 20);
    const BYTE curveTypes[] = {PT_LINETO, PT_BEZIERTO, PT_BEZIERTO, PT_BEZIERTO};
    Clear(dc);
    MoveToEx(dc, 0, 0, nullptr);
    const POINT drawn[] = {{1, 1}, {30, 1}, {1, 20}, {30, 20}};
    EXPECT_TRUE(PolyDraw(dc, drawn, curveTypes, 4));
    EXPECT_EQ(GetPixel(dc, 0, 0), 0u);
    Clear(dc);
    MoveToEx(dc, 1, 1, nullptr);
    PolyDraw(dc, drawn + 1, curveTypes + 1, 3);
    EXPECT_EQ(Runs(*surface, 40, 40), bezier) << "from the current position (1, 1)";
}

// Each curve lights exactly the polyline through the points the platform flattens it into, as
// measured: sixteenths of a pixel, midpoints halved toward zero (the third curve reaches past the
// surface's top left), and a control point level with the start and behind the end is not flat.
TEST_F(TCurveTest, BeziersLightThePlatformsFlattenedPolyline) {
    auto surface = MakeWhiteSurface(128, 128);
    HDC dc = surface->Dc();
    const std::vector<std::vector<POINT>> flattened = {
        {{5, 5}, {21, 6}, {33, 10}, {41, 16}, {47, 23}, {51, 32}, {53, 41}, {55, 63}, {58, 84}, {62, 93},
         {67, 102}, {75, 109}, {86, 115}, {93, 117}, {101, 119}, {120, 120}},
        {{119, 111}, {117, 111}, {116, 112}, {116, 116}, {118, 118}, {119, 117}, {119, 114}},
        {{311, -135}, {268, -128}, {228, -118}, {158, -93}, {128, -77}, {100, -59}, {76, -40}, {54, -21},
         {35, 0}, {26, 11}, {18, 22}, {3, 45}, {-3, 56}, {-9, 67}, {-20, 90}, {-30, 113}, {-37, 136}}};
    const POINT curves[][4] = {{{5, 5}, {100, 5}, {5, 120}, {120, 120}},
                               {{119, 111}, {111, 108}, {119, 125}, {119, 114}},
                               {{311, -135}, {-174, -74}, {-15, 448}, {-99, 273}}};
    for (std::size_t i = 0; i < flattened.size(); ++i) {
        Clear(dc);
        EXPECT_TRUE(PolyBezier(dc, curves[i], 4));
        const std::string curve = Runs(*surface, 128, 128);
        Clear(dc);
        Polyline(dc, flattened[i].data(), int(flattened[i].size()));
        EXPECT_EQ(curve, Runs(*surface, 128, 128)) << "curve " << i;
    }

    // Drawn at half size the curve is flattened on the logical grid, as the platform does, each
    // point then rounded to the device; enlarged four times it is flattened on the device, as
    // the same curve drawn four times larger is.
    SetMapMode(dc, MM_ANISOTROPIC);
    SetWindowExtEx(dc, 2, 2, nullptr);
    SetViewportExtEx(dc, 1, 1, nullptr);
    Clear(dc);
    PolyBezier(dc, curves[0], 4);
    const std::string half = Runs(*surface, 128, 128);
    Clear(dc);
    Polyline(dc, flattened[0].data(), int(flattened[0].size()));
    EXPECT_EQ(half, Runs(*surface, 128, 128));
    SetWindowExtEx(dc, 1, 1, nullptr);
    SetViewportExtEx(dc, 4, 4, nullptr);
    const POINT small[] = {{2, 2}, {25, 1}, {1, 30}, {30, 30}};
    Clear(dc);
    PolyBezier(dc, small, 4);
    const std::string enlarged = Runs(*surface, 128, 128);
    SetMapMode(dc, MM_TEXT);
    const POINT large[] = {{8, 8}, {100, 4}, {4, 120}, {120, 120}};
    Clear(dc);
    PolyBezier(dc, large, 4);
    EXPECT_EQ(enlarged, Runs(*surface, 128, 128));
}

TEST_F(TCurveTest, BadCountsAndTypesAreRefusedBeforeAnyPointIsRead) {
    auto surface = MakeWhiteSurface(24, 16);
    HDC dc = surface->Dc();
    const POINT* none = nullptr;  // never read: each refusal comes before the points
    const POINT points[] = {{1, 1}, {20, 1}, {1, 20}, {20, 20}, {3, 3}};
    const auto refused = [&](BOOL result) {
        const DWORD error = GetLastError();
        SetLastError(0);
        return result == FALSE && error == ERROR_INVALID_PARAMETER;
    };
    SetLastError(0);
    for (DWORD count : {0u, 1u, 2u, 3u, 5u, 0x20000001u, 0xFFFFFFFFu})
        EXPECT_TRUE(refused(PolyBezier(dc, count == 5 ? points : none, count))) << count;
    for (DWORD count : {0u, 1u, 2u, 4u, 0x20000001u})
        EXPECT_TRUE(refused(PolyBezierTo(dc, count == 4 ? points : none, count))) << count;
    EXPECT_TRUE(refused(PolyBezier(dc, nullptr, 4)));
    const BYTE lonelyCurve[] = {PT_LINETO, PT_BEZIERTO, PT_BEZIERTO};
    const BYTE closedMove[] = {PT_MOVETO | PT_CLOSEFIGURE, PT_LINETO};
    const BYTE unknown[] = {PT_MOVETO, 7, PT_LINETO};
    const BYTE closedInside[] = {PT_MOVETO, PT_BEZIERTO | PT_CLOSEFIGURE, PT_BEZIERTO, PT_BEZIERTO};
    EXPECT_TRUE(refused(PolyDraw(dc, points, lonelyCurve, 3)));
    EXPECT_TRUE(refused(PolyDraw(dc, points, closedMove, 2)));
    EXPECT_TRUE(refused(PolyDraw(dc, points, unknown, 3)));
    EXPECT_TRUE(refused(PolyDraw(dc, points, closedInside, 4)));
    EXPECT_TRUE(refused(PolyDraw(dc, none, lonelyCurve, -1)));
    EXPECT_TRUE(refused(PolyDraw(dc, none, nullptr, 0x20000001)));
    EXPECT_TRUE(PolyDraw(dc, none, nullptr, 0)) << "nothing to draw";
    EXPECT_TRUE(refused(AngleArc(dc, 5, 5, 0x80000000u, 0, 90)));
    EXPECT_TRUE(refused(AngleArc(dc, 5, 5, 4, std::numeric_limits<float>::infinity(), 90)));
    EXPECT_EQ(Count(*surface, 0), 0);
    // A bad context is reported as such whatever the arguments.
    SetLastError(0);
    EXPECT_FALSE(PolyBezier(nullptr, none, 0));
    EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);
    EXPECT_FALSE(Ellipse(nullptr, 0, 0, 4, 4));
    EXPECT_FALSE(Pie(nullptr, 0, 0, 4, 4, 0, 0, 0, 0));
    // Boxes without area draw nothing and succeed.
    EXPECT_TRUE(Ellipse(dc, 5, 5, 5, 20));
    EXPECT_TRUE(Pie(dc, 5, 5, 5, 20, 0, 0, 1, 1));
    EXPECT_TRUE(Chord(dc, 5, 5, 30, 5, 0, 0, 1, 1));
    EXPECT_EQ(Count(*surface, 0), 0);
}

// Curves of any size cost what the clip shows: an ellipse of radius 2^30 crossing the surface,
// one covering it, Béziers and arcs reaching the ends of the 32-bit range.
TEST_F(TCurveTest, HugeCurvesDrawOnlyWhatTheSurfaceShows) {
    auto surface = MakeWhiteSurface(24, 16);
    HDC dc = surface->Dc();
    TRedBrush brush(dc);
    EXPECT_TRUE(Ellipse(dc, INT_MIN, INT_MIN, INT_MAX, INT_MAX));
    EXPECT_EQ(Count(*surface, kRed), 24 * 16);
    // The left end of a circle of radius 2^30 whose leftmost column is 4.
    const int r = 1 << 30;
    PatBlt(dc, 0, 0, 24, 16, WHITENESS);
    SelectObject(dc, GetStockObject(NULL_PEN));
    EXPECT_TRUE(Ellipse(dc, 4, 8 - r, 4 + 2 * (r - 4), 8 + r));
    std::vector<COLORREF> fill = surface->Colours();
    SelectObject(dc, GetStockObject(BLACK_PEN));
    SelectObject(dc, GetStockObject(NULL_BRUSH));
    PatBlt(dc, 0, 0, 24, 16, WHITENESS);
    EXPECT_TRUE(Ellipse(dc, 4, 8 - r, 4 + 2 * (r - 4), 8 + r));
    const std::vector<COLORREF> line = surface->Colours();
    for (int y = 0; y < 16; ++y) {
        // Each row's fill starts at the outline's pixel, which is the leftmost inside.
        int first = -1;
        for (int x = 0; x < 24; ++x)
            if (fill[std::size_t(y * 24 + x)] == kRed && first < 0)
                first = x;
        ASSERT_GE(first, 4) << y;
        EXPECT_EQ(line[std::size_t(y * 24 + first)], 0u) << y;
        EXPECT_LE(first, 5) << "a radius of 2^30 is straight over 16 rows";
    }
    EXPECT_TRUE(Arc(dc, INT_MIN, INT_MIN, INT_MAX, INT_MAX, 0, 0, 1, 1));
    EXPECT_TRUE(Pie(dc, INT_MIN, 0, INT_MAX, 10, INT_MAX, 0, INT_MIN, 10));
    const POINT far[] = {{INT_MIN, INT_MIN}, {INT_MAX, INT_MIN}, {INT_MIN, INT_MAX}, {INT_MAX, INT_MAX}};
    EXPECT_TRUE(PolyBezier(dc, far, 4));
    // Shrunk a hundred million times, a curve's logical units are far below a pixel; a thousand
    // such curves still fit the points a call may make.
    SetMapMode(dc, MM_ANISOTROPIC);
    SetWindowExtEx(dc, 100000000, 100000000, nullptr);
    std::vector<POINT> many(3001);
    for (std::size_t k = 0; k < many.size(); ++k)
        many[k] = k % 3 == 0 ? POINT{0, 0} : k % 3 == 1 ? POINT{INT_MAX, -r} : POINT{-r, INT_MAX};
    EXPECT_TRUE(PolyBezier(dc, many.data(), DWORD(many.size())));
    SetMapMode(dc, MM_TEXT);
    MoveToEx(dc, 0, 0, nullptr);
    EXPECT_TRUE(AngleArc(dc, INT_MAX, INT_MIN, 0x7FFFFFFF, 0, 3600));
    SetGraphicsMode(dc, GM_ADVANCED);
    const XFORM turn{0.6f, 0.8f, -0.8f, 0.6f, 0, 0};
    SetWorldTransform(dc, &turn);
    EXPECT_TRUE(Ellipse(dc, INT_MIN, INT_MIN, INT_MAX, INT_MAX));
    EXPECT_TRUE(RoundRect(dc, -r, -r, r, r, r, r));
    ModifyWorldTransform(dc, nullptr, MWT_IDENTITY);
    SetGraphicsMode(dc, GM_COMPATIBLE);
    SelectObject(dc, brush.Get());
}

// Every depth and the clip: the fill and the outline land where they would without the clip.
TEST_F(TCurveTest, CurvesHonourTheClipTransformsAndIndexedTargets) {
    auto surface = MakeWhiteSurface(40, 40);
    HDC dc = surface->Dc();
    TRedBrush brush(dc);
    Pie(dc, 1, 1, 31, 25, 31, 5, 1, 20);
    const std::vector<COLORREF> whole = surface->Colours();
    Clear(dc);
    IntersectClipRect(dc, 5, 3, 17, 30);
    Pie(dc, 1, 1, 31, 25, 31, 5, 1, 20);
    SelectClipRgn(dc, nullptr);
    const std::vector<COLORREF> clipped = surface->Colours();
    for (int y = 0; y < 40; ++y)
        for (int x = 0; x < 40; ++x) {
            const bool inside = x >= 5 && x < 17 && y >= 3 && y < 30;
            EXPECT_EQ(clipped[std::size_t(y * 40 + x)], inside ? whole[std::size_t(y * 40 + x)] : kWhite) << x << "," << y;
        }
    // A scaling map mode draws the device box the mapping gives.
    Clear(dc);
    SetMapMode(dc, MM_ANISOTROPIC);
    SetWindowExtEx(dc, 10, 10, nullptr);
    SetViewportExtEx(dc, 20, 20, nullptr);
    Ellipse(dc, 1, 1, 11, 11);
    const std::string scaled = Runs(*surface, 40, 40);
    SetMapMode(dc, MM_TEXT);
    Clear(dc);
    Ellipse(dc, 2, 2, 22, 22);
    EXPECT_EQ(scaled, Runs(*surface, 40, 40));
    // A turning transform: the shape turns with it, centred where its centre maps.
    Clear(dc);
    SetGraphicsMode(dc, GM_ADVANCED);
    const XFORM turn{0.0f, 1.0f, -1.0f, 0.0f, 30, 0};  // a quarter turn: (x, y) → (30 − y, x)
    SetWorldTransform(dc, &turn);
    Ellipse(dc, 2, 4, 26, 14);
    ModifyWorldTransform(dc, nullptr, MWT_IDENTITY);
    SetGraphicsMode(dc, GM_COMPATIBLE);
    EXPECT_EQ(GetPixel(dc, 21, 14), kRed) << "the centre (14, 9) maps to (21, 14)";
    EXPECT_EQ(GetPixel(dc, 21, 2), 0u) << "the turned ellipse is tall";
    EXPECT_EQ(GetPixel(dc, 21, 3), kRed);
    EXPECT_EQ(GetPixel(dc, 12, 14), kWhite);

    for (int bpp : {1, 8}) {
        std::vector<RGBQUAD> table(std::size_t(1) << bpp, RGBQUAD{128, 128, 128, 0});
        table.front() = RGBQUAD{0, 0, 0, 0};
        table.back() = RGBQUAD{255, 255, 255, 0};
        auto indexed = MakeDib(bpp, 24, -16, table);
        HDC idc = indexed->Dc();
        PatBlt(idc, 0, 0, 24, 16, WHITENESS);
        EXPECT_EQ(Count(*indexed, kWhite), 24 * 16);
        SelectObject(idc, GetStockObject(BLACK_BRUSH));
        EXPECT_TRUE(Ellipse(idc, 0, 0, 10, 10));
        EXPECT_EQ(Count(*indexed, 0), 76) << bpp;
        SelectObject(idc, GetStockObject(WHITE_BRUSH));
        PatBlt(idc, 0, 0, 24, 16, BLACKNESS);
        SetROP2(idc, R2_NOT);
        EXPECT_TRUE(RoundRect(idc, 0, 0, 10, 10, 4, 4));
        EXPECT_EQ(Count(*indexed, RGB(255, 255, 255)), [&] {
            int n = 0;
            for (int y = 0; y < 10; ++y)
                for (int x = 0; x < 10; ++x) {
                    HRGN rr = CreateRoundRectRgn(0, 0, 11, 11, 4, 4);
                    n += PtInRegion(rr, x, y) != FALSE;
                    DeleteObject(rr);
                }
            return n;
        }() - 32) << bpp << ": the fill inverts once, the outline twice";
    }
}

// Fill and outline overlap as the platform's do: under XOR an outline pixel is written twice.
TEST_F(TCurveTest, FillAndOutlineGoThroughTheRasterOperation) {
    auto surface = MakeDib(32, 24, -16);
    const DWORD dest = 0x0055AA33;
    surface->FillRaw(dest);
    HDC dc = surface->Dc();
    TRedBrush brush(dc);
    HPEN blue = CreatePen(PS_SOLID, 0, RGB(0, 0, 255));
    HGDIOBJ old = SelectObject(dc, blue);
    SetROP2(dc, R2_XORPEN);
    EXPECT_TRUE(Ellipse(dc, 1, 1, 12, 10));
    EXPECT_EQ(surface->Raw(6, 5), dest ^ 0x00FF0000u);
    EXPECT_EQ(surface->Raw(1, 5), dest ^ 0x00FF0000u ^ 0x000000FFu);
    EXPECT_EQ(surface->Raw(12, 5), dest);
    EXPECT_TRUE(Ellipse(dc, 1, 1, 12, 10));
    for (int y = 0; y < 16; ++y)
        for (int x = 0; x < 24; ++x)
            EXPECT_EQ(surface->Raw(x, y), dest) << "drawing twice with XOR gives back the surface";
    SelectObject(dc, old);
    DeleteObject(blue);
}

}  // namespace
