// Paths: what the drawing calls record between BeginPath and EndPath (the platform's points and
// types), and what the path calls make of it, with the saved state and the refusals.
#include "BlitTestSupport.h"

#include <string>
#include <vector>

namespace {

using namespace gdi;
using namespace blittest;

class TPathTest : public TGdiTest {};

constexpr COLORREF kWhite = RGB(255, 255, 255);

// The finished path as "x,y/type" items.
std::string PathText(HDC dc) {
    const int n = GetPath(dc, nullptr, nullptr, 0);
    if (n < 0)
        return "none";
    std::vector<POINT> points(std::size_t(n) + 1);
    std::vector<BYTE> types(std::size_t(n) + 1);
    EXPECT_EQ(GetPath(dc, points.data(), types.data(), n), n);
    std::string out;
    for (int i = 0; i < n; ++i)
        out += (i ? " " : "") + std::to_string(points[std::size_t(i)].x) + "," + std::to_string(points[std::size_t(i)].y) +
               "/" + std::to_string(types[std::size_t(i)]);
    return out;
}

int Black(const TSurface& surface) {
    int n = 0;
    for (COLORREF c : surface.Colours())
        n += c == 0;
    return n;
}

TEST_F(TPathTest, DrawingCallsRecordThePlatformsFigures) {
    auto surface = MakeWhiteSurface(24, 24);
    HDC dc = surface->Dc();
    SelectObject(dc, GetStockObject(BLACK_BRUSH));
    EXPECT_TRUE(BeginPath(dc));
    EXPECT_TRUE(Rectangle(dc, 0, 0, 10, 10));
    SetLastError(0);
    EXPECT_EQ(GetPath(dc, nullptr, nullptr, 0), -1) << "the path is still open";
    EXPECT_EQ(GetLastError(), ERROR_CAN_NOT_COMPLETE);
    EXPECT_TRUE(LineTo(dc, 20, 20));
    EXPECT_EQ(Black(*surface), 0) << "nothing is drawn while recording";
    EXPECT_TRUE(EndPath(dc));
    // As measured: Rectangle runs counter-clockwise from the top right through the last pixels
    // inside; the line starts a figure at the current position.
    EXPECT_EQ(PathText(dc), "9,0/6 0,0/2 0,9/2 9,9/3 0,0/6 20,20/2");
    SetLastError(0);
    EXPECT_EQ(GetPath(dc, std::vector<POINT>(3).data(), std::vector<BYTE>(3).data(), 3), -1);
    EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);

    // A closed figure's next line starts a new figure where the last one ended, as measured.
    BeginPath(dc);
    MoveToEx(dc, 1, 1, nullptr);
    LineTo(dc, 10, 1);
    LineTo(dc, 10, 10);
    EXPECT_TRUE(CloseFigure(dc));
    LineTo(dc, 1, 10);
    EndPath(dc);
    EXPECT_EQ(PathText(dc), "1,1/6 10,1/2 10,10/3 10,10/6 1,10/2");

    // An ellipse is four Bézier curves from the middle of its right side, as measured.
    BeginPath(dc);
    Ellipse(dc, 0, 0, 10, 10);
    EndPath(dc);
    std::vector<POINT> points(13);
    std::vector<BYTE> types(13);
    ASSERT_EQ(GetPath(dc, points.data(), types.data(), 13), 13);
    EXPECT_EQ(points[0].x, 9);
    EXPECT_EQ(points[0].y, 5);
    EXPECT_EQ(points[3].x, 5);
    EXPECT_EQ(points[3].y, 0) << "counter-clockwise: the top comes first";
    EXPECT_EQ(types[0], PT_MOVETO);
    EXPECT_EQ(types[12], PT_BEZIERTO | PT_CLOSEFIGURE);
    EXPECT_EQ(points[12].x, 9);
    EXPECT_TRUE(FlattenPath(dc));
    const int flat = GetPath(dc, nullptr, nullptr, 0);
    EXPECT_EQ(flat, 9) << "each quarter in two pieces, as the platform flattens it";
    points.resize(std::size_t(flat));
    types.resize(std::size_t(flat));
    GetPath(dc, points.data(), types.data(), flat);
    for (int i = 1; i < flat; ++i)
        EXPECT_EQ(types[std::size_t(i)] & ~PT_CLOSEFIGURE, PT_LINETO);

    // Arcs, pies, Béziers and PolyDraw record their curves as curves.
    BeginPath(dc);
    MoveToEx(dc, 0, 0, nullptr);
    ArcTo(dc, 0, 0, 21, 21, 20, 10, 0, 10);
    const POINT curve[] = {{1, 1}, {5, 1}, {9, 5}, {9, 9}};
    PolyBezier(dc, curve, 4);
    Pie(dc, 0, 0, 21, 21, 20, 10, 10, 0);
    EndPath(dc);
    EXPECT_EQ(PathText(dc), "0,0/6 20,10/2 20,4/4 16,0/4 10,0/4 4,0/4 0,4/4 0,10/4 "
                            "1,1/6 5,1/4 9,5/4 9,9/4 "
                            "20,10/6 20,4/4 16,0/4 10,0/4 10,10/3");
    AbortPath(dc);
    EXPECT_EQ(PathText(dc), "none");

    // Clockwise, the rectangle starts at the bottom right, a rounded one at the bottom of its
    // right side, as measured.
    SetArcDirection(dc, AD_CLOCKWISE);
    BeginPath(dc);
    Rectangle(dc, 1, 2, 10, 20);
    RoundRect(dc, 0, 0, 20, 16, 6, 4);
    EndPath(dc);
    const std::string clockwise = PathText(dc);
    EXPECT_EQ(clockwise.substr(0, clockwise.find(" 19,13")), "9,19/6 1,19/2 1,2/2 9,2/3");
    EXPECT_NE(clockwise.find(" 19,13/6 19,14/4"), std::string::npos) << clockwise;
    SetArcDirection(dc, AD_COUNTERCLOCKWISE);
    SelectObject(dc, GetStockObject(WHITE_BRUSH));
}

TEST_F(TPathTest, PathCallsDrawClipAndUseThePathUp) {
    auto surface = MakeWhiteSurface(24, 24);
    HDC dc = surface->Dc();
    SelectObject(dc, GetStockObject(BLACK_BRUSH));
    SelectObject(dc, GetStockObject(NULL_PEN));
    const POINT star[] = {{12, 0}, {19, 15}, {2, 5}, {22, 5}, {5, 15}};
    for (int mode : {ALTERNATE, WINDING}) {
        SetPolyFillMode(dc, mode);
        PatBlt(dc, 0, 0, 24, 24, WHITENESS);
        Polygon(dc, star, 5);
        const std::vector<COLORREF> drawn = surface->Colours();
        PatBlt(dc, 0, 0, 24, 24, WHITENESS);
        BeginPath(dc);
        Polyline(dc, star, 5);  // FillPath closes the open figure
        EndPath(dc);
        EXPECT_TRUE(FillPath(dc));
        EXPECT_EQ(surface->Colours(), drawn) << mode;
        EXPECT_EQ(PathText(dc), "none") << "filling uses the path up";
    }
    SelectObject(dc, GetStockObject(BLACK_PEN));
    PatBlt(dc, 0, 0, 24, 24, WHITENESS);
    Polyline(dc, star, 5);
    const std::vector<COLORREF> stroked = surface->Colours();
    PatBlt(dc, 0, 0, 24, 24, WHITENESS);
    BeginPath(dc);
    Polyline(dc, star, 5);
    EndPath(dc);
    EXPECT_TRUE(StrokePath(dc));
    EXPECT_EQ(surface->Colours(), stroked) << "an open figure stays open";
    PatBlt(dc, 0, 0, 24, 24, WHITENESS);
    BeginPath(dc);
    Rectangle(dc, 0, 0, 10, 10);
    EndPath(dc);
    EXPECT_TRUE(StrokeAndFillPath(dc));
    EXPECT_EQ(Black(*surface), 100);

    // The path is part of the saved state.
    BeginPath(dc);
    Rectangle(dc, 2, 2, 12, 12);
    EndPath(dc);
    const int saved = SaveDC(dc);
    AbortPath(dc);
    RestoreDC(dc, saved);
    EXPECT_EQ(PathText(dc), "11,2/6 2,2/2 2,11/2 11,11/3");
    // A region of the path, by the polygon fills' rule.
    HRGN region = PathToRegion(dc);
    ASSERT_NE(region, nullptr);
    RECT box{};
    EXPECT_EQ(GetRgnBox(region, &box), SIMPLEREGION);
    EXPECT_EQ(box.left, 2);
    EXPECT_EQ(box.top, 2);
    EXPECT_EQ(box.right, 11);
    EXPECT_EQ(box.bottom, 11);
    DeleteObject(region);
    EXPECT_EQ(PathText(dc), "none");
    // The clip of a path: only its inside is drawn on.
    BeginPath(dc);
    Ellipse(dc, 0, 0, 20, 20);
    EndPath(dc);
    PatBlt(dc, 0, 0, 24, 24, WHITENESS);
    EXPECT_TRUE(SelectClipPath(dc, RGN_COPY));
    PatBlt(dc, 0, 0, 24, 24, BLACKNESS);
    EXPECT_EQ(GetPixel(dc, 10, 10), 0u);
    EXPECT_EQ(GetPixel(dc, 0, 0), CLR_INVALID);
    EXPECT_EQ(GetPixel(dc, 1, 10), 0u);
    SelectClipRgn(dc, nullptr);
    EXPECT_EQ(GetPixel(dc, 0, 0), kWhite);

    // Without a finished path the path calls fail.
    for (BOOL (*call)(HDC) : {EndPath, CloseFigure, FillPath, StrokePath, StrokeAndFillPath, FlattenPath}) {
        SetLastError(0);
        EXPECT_FALSE(call(dc));
        EXPECT_EQ(GetLastError(), ERROR_CAN_NOT_COMPLETE);
    }
    EXPECT_FALSE(SelectClipPath(dc, RGN_AND));
    EXPECT_EQ(PathToRegion(dc), nullptr);
    BeginPath(dc);
    EXPECT_FALSE(FillPath(dc)) << "still open";
    AbortPath(dc);
    SetLastError(0);
    EXPECT_FALSE(BeginPath(nullptr));
    EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);
    SelectObject(dc, GetStockObject(WHITE_BRUSH));
}

}  // namespace

namespace {

// WidenPath makes the path the outline a stroke would paint: filling the widened path paints
// exactly the pixels stroking the original path paints.
TEST_F(TPathTest, AWidenedPathFillsWhatTheStrokePaints) {
    auto stroked = MakeWhiteSurface(32, 32), filled = MakeWhiteSurface(32, 32);
    const LOGBRUSH black{BS_SOLID, 0, 0};
    HPEN pen = ExtCreatePen(PS_GEOMETRIC | PS_ENDCAP_FLAT | PS_JOIN_MITER, 4, &black, 0, nullptr);
    HBRUSH brush = CreateSolidBrush(0);
    const POINT corner[] = {{4, 4}, {24, 4}, {24, 26}};
    for (const auto* s : {stroked.get(), filled.get()}) {
        SelectObject(s->Dc(), pen);
        SelectObject(s->Dc(), brush);
        BeginPath(s->Dc());
        Polyline(s->Dc(), corner, 3);
        EndPath(s->Dc());
    }
    EXPECT_TRUE(StrokePath(stroked->Dc()));
    ASSERT_TRUE(WidenPath(filled->Dc()));
    SetPolyFillMode(filled->Dc(), WINDING);
    EXPECT_TRUE(FillPath(filled->Dc()));
    EXPECT_GT(Black(*stroked), 100);
    EXPECT_EQ(filled->Colours(), stroked->Colours());

    // The same with a round pen along a staircase of pixel steps, a dot at every corner: the
    // stroke paints its dots directly, the widened path holds them as polygons.
    HPEN round = CreatePen(PS_SOLID, 5, 0);
    std::vector<POINT> stairs;
    for (int k = 0; k < 9; ++k) {
        stairs.push_back(POINT{4 + 3 * k, 4 + 2 * k});
        stairs.push_back(POINT{5 + 3 * k, 5 + 2 * k});
    }
    for (const auto* s : {stroked.get(), filled.get()}) {
        PatBlt(s->Dc(), 0, 0, 32, 32, WHITENESS);
        SelectObject(s->Dc(), round);
        BeginPath(s->Dc());
        Polyline(s->Dc(), stairs.data(), int(stairs.size()));
        EndPath(s->Dc());
    }
    EXPECT_TRUE(StrokePath(stroked->Dc()));
    ASSERT_TRUE(WidenPath(filled->Dc()));
    EXPECT_TRUE(FillPath(filled->Dc()));
    EXPECT_GT(Black(*stroked), 100);
    EXPECT_EQ(filled->Colours(), stroked->Colours());
    for (const auto* s : {stroked.get(), filled.get()})
        SelectObject(s->Dc(), pen);
    DeleteObject(round);

    // A pen one pixel wide paints no area to outline.
    for (const auto* s : {stroked.get(), filled.get()})
        SelectObject(s->Dc(), GetStockObject(BLACK_PEN));
    BeginPath(filled->Dc());
    Polyline(filled->Dc(), corner, 3);
    EndPath(filled->Dc());
    EXPECT_FALSE(WidenPath(filled->Dc()));
    EXPECT_EQ(GetLastError(), ERROR_CAN_NOT_COMPLETE);
    for (const auto* s : {stroked.get(), filled.get()})
        SelectObject(s->Dc(), GetStockObject(WHITE_BRUSH));
    DeleteObject(pen);
    DeleteObject(brush);
}

}  // namespace
