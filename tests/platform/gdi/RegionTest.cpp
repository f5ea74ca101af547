// Regions: the combine modes against a pixel model, the canonical rectangle lists, the shapes'
// pixels, region data in and out, and refusals of bad handles, counts and coordinates.
#include "GdiTestSupport.h"

#include <algorithm>
#include <climits>
#include <cstring>
#include <random>
#include <set>
#include <utility>
#include <vector>

namespace {

using namespace gdi;
using TPixels = std::set<std::pair<int, int>>;

class TRegionTest : public TGdiTest {};

std::vector<RECT> RectsOf(HRGN region) {
    const DWORD size = GetRegionData(region, 0, nullptr);
    std::vector<BYTE> buffer(size);
    auto* data = reinterpret_cast<RGNDATA*>(buffer.data());
    EXPECT_EQ(GetRegionData(region, size, data), size);
    std::vector<RECT> rects(data->rdh.nCount);
    if (!rects.empty())
        std::memcpy(rects.data(), buffer.data() + sizeof(RGNDATAHEADER), rects.size() * sizeof(RECT));
    return rects;
}

TPixels PixelsOf(HRGN region) {
    TPixels pixels;
    for (const RECT& r : RectsOf(region))
        for (int y = r.top; y < r.bottom; ++y)
            for (int x = r.left; x < r.right; ++x)
                pixels.insert({x, y});
    return pixels;
}

// The platform's canonical form: bands sorted and disjoint, rectangles of a band of one height,
// sorted, not touching, and touching bands with equal spans merged.
bool Canonical(const std::vector<RECT>& rects) {
    for (std::size_t i = 1; i < rects.size(); ++i) {
        const RECT &p = rects[i - 1], &r = rects[i];
        if (r.top == p.top ? (r.bottom != p.bottom || r.left <= p.right) : r.top < p.bottom)
            return false;
    }
    std::vector<std::pair<std::size_t, std::size_t>> bands;
    for (std::size_t i = 0; i < rects.size();) {
        std::size_t end = i;
        while (end < rects.size() && rects[end].top == rects[i].top)
            ++end;
        bands.push_back({i, end});
        i = end;
    }
    for (std::size_t b = 1; b < bands.size(); ++b) {
        const auto [p0, p1] = bands[b - 1];
        const auto [c0, c1] = bands[b];
        if (rects[p0].bottom == rects[c0].top && p1 - p0 == c1 - c0 &&
            std::equal(rects.begin() + p0, rects.begin() + p1, rects.begin() + c0,
                       [](const RECT& a, const RECT& c) { return a.left == c.left && a.right == c.right; }))
            return false;
    }
    return true;
}

// A region of random rectangles on a 24 × 24 grid, and the same pixels as a set.
std::pair<HRGN, TPixels> RandomRegion(std::mt19937& random) {
    HRGN region = CreateRectRgn(0, 0, 0, 0);
    TPixels pixels;
    std::uniform_int_distribution<int> coordinate(0, 24);
    for (int k = 0; k < 6; ++k) {
        const int x0 = coordinate(random), x1 = coordinate(random), y0 = coordinate(random), y1 = coordinate(random);
        HRGN piece = CreateRectRgn(x0, y0, x1, y1);
        CombineRgn(region, region, piece, RGN_OR);
        DeleteObject(piece);
        for (int y = std::min(y0, y1); y < std::max(y0, y1); ++y)
            for (int x = std::min(x0, x1); x < std::max(x0, x1); ++x)
                pixels.insert({x, y});
    }
    return {region, pixels};
}

class TCombineTest : public TRegionTest, public ::testing::WithParamInterface<int> {};

TEST_P(TCombineTest, MatchesThePixelModelInCanonicalForm) {
    const int mode = GetParam();
    std::mt19937 random(1234 + mode);
    for (int round = 0; round < 40; ++round) {
        auto [a, pa] = RandomRegion(random);
        auto [b, pb] = RandomRegion(random);
        TPixels expected;
        for (int y = 0; y < 24; ++y) {
            for (int x = 0; x < 24; ++x) {
                const bool inA = pa.count({x, y}) != 0, inB = pb.count({x, y}) != 0;
                const bool keep = mode == RGN_AND ? inA && inB
                                : mode == RGN_OR  ? inA || inB
                                : mode == RGN_XOR ? inA != inB
                                : mode == RGN_DIFF ? inA && !inB
                                                   : inA;
                if (keep)
                    expected.insert({x, y});
            }
        }
        HRGN result = CreateRectRgn(0, 0, 0, 0);
        const int type = CombineRgn(result, a, b, mode);
        EXPECT_EQ(PixelsOf(result), expected);
        const std::vector<RECT> rects = RectsOf(result);
        EXPECT_TRUE(Canonical(rects));
        EXPECT_EQ(type, rects.empty() ? NULLREGION : rects.size() == 1 ? SIMPLEREGION : COMPLEXREGION);
        // The destination may be an operand: the result is the same.
        EXPECT_EQ(CombineRgn(a, a, b, mode), type);
        EXPECT_TRUE(EqualRgn(a, result));
        for (HRGN region : {a, b, result})
            DeleteObject(region);
    }
}

INSTANTIATE_TEST_SUITE_P(Modes, TCombineTest, ::testing::Values(RGN_AND, RGN_OR, RGN_XOR, RGN_DIFF, RGN_COPY));

TEST_F(TRegionTest, EqualPixelsGiveEqualRectangleLists) {
    // An L shape built from two different splits, and from a difference.
    HRGN a = CreateRectRgn(0, 0, 4, 10), a2 = CreateRectRgn(4, 6, 10, 10);
    HRGN b = CreateRectRgn(0, 0, 4, 6), b2 = CreateRectRgn(0, 6, 10, 10);
    HRGN c = CreateRectRgn(0, 0, 10, 10), c2 = CreateRectRgn(4, 0, 10, 6);
    CombineRgn(a, a, a2, RGN_OR);
    CombineRgn(b, b2, b, RGN_OR);
    CombineRgn(c, c, c2, RGN_DIFF);
    EXPECT_TRUE(EqualRgn(a, b));
    EXPECT_TRUE(EqualRgn(b, c));
    const std::vector<RECT> rects = RectsOf(a);
    ASSERT_EQ(rects.size(), 2u);
    EXPECT_EQ(rects[0].left, 0);
    EXPECT_EQ(rects[0].right, 4);
    EXPECT_EQ(rects[0].bottom, 6);
    EXPECT_EQ(rects[1].right, 10);
    // Two halves of a square make the square: one rectangle, a simple region.
    HRGN top = CreateRectRgn(0, 0, 10, 5), bottom = CreateRectRgn(0, 5, 10, 10);
    EXPECT_EQ(CombineRgn(top, top, bottom, RGN_OR), SIMPLEREGION);
    EXPECT_EQ(RectsOf(top).size(), 1u);
    HRGN other = CreateRectRgn(0, 0, 10, 11);
    EXPECT_FALSE(EqualRgn(top, other));
    for (HRGN region : {a, a2, b, b2, c, c2, top, bottom, other})
        DeleteObject(region);
}

TEST_F(TRegionTest, RegionDataSizesLayoutAndRoundTrip) {
    HRGN region = CreateRectRgn(0, 0, 10, 10), hole = CreateRectRgn(3, 3, 6, 6);
    CombineRgn(region, region, hole, RGN_DIFF);
    const DWORD size = GetRegionData(region, 0, nullptr);
    EXPECT_EQ(size, sizeof(RGNDATAHEADER) + 4 * sizeof(RECT));
    std::vector<BYTE> buffer(size + 16, 0xCD);
    auto* data = reinterpret_cast<RGNDATA*>(buffer.data());
    SetLastError(0);
    EXPECT_EQ(GetRegionData(region, size - 1, data), 0u);
    EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
    EXPECT_EQ(GetRegionData(region, DWORD(buffer.size()), data), size);
    EXPECT_EQ(data->rdh.dwSize, sizeof(RGNDATAHEADER));
    EXPECT_EQ(data->rdh.iType, RDH_RECTANGLES);
    EXPECT_EQ(data->rdh.nCount, 4u);
    EXPECT_EQ(data->rdh.nRgnSize, 4 * sizeof(RECT));
    EXPECT_EQ(data->rdh.rcBound.right, 10);
    EXPECT_EQ(buffer[size], 0xCD) << "wrote past the data";
    HRGN copy = ExtCreateRegion(nullptr, size, data);
    ASSERT_NE(copy, nullptr);
    EXPECT_TRUE(EqualRgn(copy, region));
    // The rectangles must lie within the bytes the caller gives.
    EXPECT_EQ(ExtCreateRegion(nullptr, size - 1, data), nullptr);
    data->rdh.nCount = 0x10000001;
    EXPECT_EQ(ExtCreateRegion(nullptr, size, data), nullptr);
    EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
    data->rdh.nCount = 4;
    data->rdh.iType = 2;
    EXPECT_EQ(ExtCreateRegion(nullptr, size, data), nullptr);
    for (HRGN r : {region, hole, copy})
        DeleteObject(r);
}

TEST_F(TRegionTest, ExtCreateRegionUnitesRectanglesInAnyOrderAndTransforms) {
    struct {
        RGNDATAHEADER rdh;
        RECT rects[3];
    } data{{sizeof(RGNDATAHEADER), RDH_RECTANGLES, 3, 0, {}}, {{5, 5, 15, 15}, {10, 0, 0, 10}, {0, 0, 1, 1}}};
    HRGN region = ExtCreateRegion(nullptr, sizeof data, reinterpret_cast<RGNDATA*>(&data));
    HRGN expected = CreateRectRgn(0, 0, 10, 10), second = CreateRectRgn(5, 5, 15, 15);
    CombineRgn(expected, expected, second, RGN_OR);
    EXPECT_TRUE(EqualRgn(region, expected));
    EXPECT_TRUE(Canonical(RectsOf(region)));

    // Scale and translate exactly; a mirrored scale still covers the same rectangle.
    const XFORM scale{2, 0, 0, -3, 7, 1};
    HRGN scaled = ExtCreateRegion(&scale, sizeof data, reinterpret_cast<RGNDATA*>(&data));
    HRGN check = CreateRectRgn(7, -29, 27, 1), check2 = CreateRectRgn(17, -44, 37, -14);
    CombineRgn(check, check, check2, RGN_OR);
    EXPECT_TRUE(EqualRgn(scaled, check));
    // A quarter turn of a rectangle is a rectangle again.
    const XFORM turn{0, 1, -1, 0, 0, 0};
    data.rdh.nCount = 1;
    data.rects[0] = RECT{0, 0, 4, 2};
    HRGN turned = ExtCreateRegion(&turn, sizeof data, reinterpret_cast<RGNDATA*>(&data));
    HRGN upright = CreateRectRgn(-2, 0, 0, 4);
    EXPECT_TRUE(EqualRgn(turned, upright));
    for (HRGN r : {region, expected, second, scaled, check, check2, turned, upright})
        DeleteObject(r);
}

TEST_F(TRegionTest, PolygonsCoverThePlatformsMeasuredPixels) {
    const POINT square[] = {{0, 0}, {10, 0}, {10, 10}, {0, 10}};
    const POINT triangle[] = {{0, 0}, {13, 4}, {4, 13}};
    HRGN a = CreatePolygonRgn(square, 4, ALTERNATE);
    HRGN b = CreatePolygonRgn(triangle, 3, WINDING);
    const TPixels pa = PixelsOf(a);
    EXPECT_EQ(pa.size(), 100u);
    EXPECT_TRUE(pa.count({0, 0}) && pa.count({9, 9}) && !pa.count({10, 9}));
    EXPECT_EQ(PixelsOf(b).size(), 72u);

    // A five-pointed star: its centre is inside only under WINDING.
    const POINT star[] = {{10, 0}, {16, 20}, {0, 7}, {20, 7}, {4, 20}};
    HRGN alternate = CreatePolygonRgn(star, 5, ALTERNATE), winding = CreatePolygonRgn(star, 5, WINDING);
    EXPECT_FALSE(PtInRegion(alternate, 10, 11));
    EXPECT_TRUE(PtInRegion(winding, 10, 11));
    EXPECT_TRUE(PtInRegion(alternate, 10, 2));

    // Two squares, one inside the other and both the same way round: a hole only under ALTERNATE.
    const POINT nested[] = {{0, 0}, {10, 0}, {10, 10}, {0, 10}, {3, 3}, {7, 3}, {7, 7}, {3, 7}};
    const INT counts[] = {4, 4};
    HRGN holed = CreatePolyPolygonRgn(nested, counts, 2, ALTERNATE);
    HRGN filled = CreatePolyPolygonRgn(nested, counts, 2, WINDING);
    EXPECT_EQ(PixelsOf(holed).size(), 84u);
    EXPECT_EQ(PixelsOf(filled).size(), 100u);
    for (HRGN r : {a, b, alternate, winding, holed, filled})
        DeleteObject(r);
}

TEST_F(TRegionTest, EllipsesAndRoundedRectanglesLeaveOutTheRightAndBottomEdges) {
    // 11 × 11 gives the 76 pixels the platform's Ellipse paints in a 10 × 10 box.
    HRGN ellipse = CreateEllipticRgn(0, 0, 11, 11);
    const TPixels pixels = PixelsOf(ellipse);
    EXPECT_EQ(pixels.size(), 76u);
    for (const auto& [x, y] : pixels) {
        EXPECT_TRUE(x < 10 && y < 10);
        EXPECT_TRUE(pixels.count({9 - x, y}) && pixels.count({x, 9 - y})) << "not symmetric at " << x << "," << y;
    }
    HRGN tiny = CreateEllipticRgn(0, 0, 1, 1);
    EXPECT_EQ(PixelsOf(tiny).size(), 0u);
    HRGN swapped = CreateEllipticRgn(11, 11, 0, 0);
    EXPECT_TRUE(EqualRgn(swapped, ellipse));

    // One pixel cut from each corner: rows 0 and 8 lose their ends, the rows between are whole.
    HRGN rounded = CreateRoundRectRgn(0, 0, 20, 10, 6, 4);
    const std::vector<RECT> rects = RectsOf(rounded);
    ASSERT_EQ(rects.size(), 3u);
    EXPECT_EQ(rects[0].left, 1);
    EXPECT_EQ(rects[0].right, 18);
    EXPECT_EQ(rects[1].left, 0);
    EXPECT_EQ(rects[1].top, 1);
    EXPECT_EQ(rects[1].right, 19);
    EXPECT_EQ(rects[1].bottom, 8);
    EXPECT_EQ(rects[2].bottom, 9);
    for (HRGN r : {ellipse, tiny, swapped, rounded})
        DeleteObject(r);
}

TEST_F(TRegionTest, QueriesOffsetsAndRectangles) {
    HRGN region = CreateRectRgn(10, 20, 0, 5);  // corners swapped
    RECT box{};
    EXPECT_EQ(GetRgnBox(region, &box), SIMPLEREGION);
    EXPECT_EQ(box.left, 0);
    EXPECT_EQ(box.top, 5);
    EXPECT_EQ(box.right, 10);
    EXPECT_EQ(box.bottom, 20);
    EXPECT_TRUE(PtInRegion(region, 0, 5));
    EXPECT_FALSE(PtInRegion(region, 10, 5));
    const RECT touching{10, 5, 20, 20}, overlapping{9, 19, 30, 40};
    EXPECT_FALSE(RectInRegion(region, &touching));
    EXPECT_TRUE(RectInRegion(region, &overlapping));
    EXPECT_EQ(OffsetRgn(region, -3, 4), SIMPLEREGION);
    EXPECT_TRUE(PtInRegion(region, -3, 9));
    EXPECT_TRUE(SetRectRgn(region, 5, 5, 5, 9));
    EXPECT_EQ(GetRgnBox(region, &box), NULLREGION);
    EXPECT_EQ(box.left | box.top | box.right | box.bottom, 0);
    EXPECT_EQ(GetObjectType(region), OBJ_REGION);
    EXPECT_TRUE(DeleteObject(region));
    EXPECT_EQ(GetObjectType(region), 0u);
}

TEST_F(TRegionTest, ExtremeCoordinatesNeverOverflow) {
    HRGN all = CreateRectRgn(INT_MIN, INT_MIN, INT_MAX, INT_MAX);
    RECT box{};
    EXPECT_EQ(GetRgnBox(all, &box), SIMPLEREGION);
    EXPECT_EQ(box.left, INT_MIN);
    EXPECT_EQ(box.bottom, INT_MAX);
    SetLastError(0);
    EXPECT_EQ(OffsetRgn(all, 1, 0), ERROR);
    EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
    EXPECT_EQ(GetRgnBox(all, &box), SIMPLEREGION);
    EXPECT_EQ(box.left, INT_MIN) << "a refused offset left the region as it was";

    const POINT wide[] = {{INT_MIN, 0}, {INT_MAX, 0}, {INT_MAX, 2}, {INT_MIN, 2}};
    HRGN band = CreatePolygonRgn(wide, 4, ALTERNATE);
    HRGN expected = CreateRectRgn(INT_MIN, 0, INT_MAX, 2);
    EXPECT_TRUE(EqualRgn(band, expected));
    // A sliver across the whole range has billions of rows of their own: refused, not ground through.
    const POINT sliver[] = {{0, INT_MIN}, {1, INT_MAX}, {0, INT_MAX}};
    SetLastError(0);
    EXPECT_EQ(CreatePolygonRgn(sliver, 3, ALTERNATE), nullptr);
    EXPECT_EQ(GetLastError(), ERROR_NOT_ENOUGH_MEMORY);
    EXPECT_EQ(CreateEllipticRgn(INT_MIN, INT_MIN, INT_MAX, INT_MAX), nullptr);
    HRGN flat = CreateEllipticRgn(INT_MIN, 0, INT_MAX, 3);
    ASSERT_NE(flat, nullptr);
    EXPECT_TRUE(PtInRegion(flat, 0, 1));
    for (HRGN r : {all, band, expected, flat})
        DeleteObject(r);
}

TEST_F(TRegionTest, BadCountsAndHandlesAreRefused) {
    const POINT points[4] = {{0, 0}, {4, 0}, {4, 4}, {0, 4}};
    for (int count : {0, -1, INT_MIN}) {
        SetLastError(0);
        EXPECT_EQ(CreatePolygonRgn(points, count, ALTERNATE), nullptr);
        EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
    }
    // A count far beyond the buffer is the caller's lie; it is refused before any point is read.
    EXPECT_EQ(CreatePolygonRgn(points, 0x20000001, ALTERNATE), nullptr);
    EXPECT_EQ(GetLastError(), ERROR_NOT_ENOUGH_MEMORY);
    EXPECT_EQ(CreatePolygonRgn(points, 4, 3), nullptr);
    EXPECT_EQ(CreatePolygonRgn(nullptr, 4, WINDING), nullptr);
    const INT bad[] = {4, 0};
    EXPECT_EQ(CreatePolyPolygonRgn(points, bad, 2, WINDING), nullptr);
    const INT huge[] = {INT_MAX, INT_MAX};
    EXPECT_EQ(CreatePolyPolygonRgn(points, huge, 2, WINDING), nullptr);
    EXPECT_EQ(CreatePolyPolygonRgn(points, bad, 0, WINDING), nullptr);

    HRGN region = CreateRectRgn(0, 0, 1, 1);
    HBRUSH brush = CreateSolidBrush(0);
    SetLastError(0);
    EXPECT_EQ(CombineRgn(region, region, reinterpret_cast<HRGN>(brush), RGN_OR), ERROR);
    EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);
    EXPECT_EQ(CombineRgn(region, region, region, 0), ERROR);
    EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
    EXPECT_EQ(CombineRgn(region, region, nullptr, RGN_COPY), SIMPLEREGION) << "RGN_COPY reads one source";
    EXPECT_EQ(GetRegionData(reinterpret_cast<HRGN>(brush), 0, nullptr), 0u);
    EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);
    EXPECT_EQ(OffsetRgn(nullptr, 1, 1), ERROR);
    EXPECT_EQ(ExtCreateRegion(nullptr, 8, nullptr), nullptr);
    DeleteObject(region);
    EXPECT_EQ(PtInRegion(region, 0, 0), FALSE);
    EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);
    DeleteObject(brush);
}

}  // namespace
