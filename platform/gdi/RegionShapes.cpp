// Regions of shapes: polygons by scan conversion at pixel centres, ellipses and rounded
// rectangles row by row. All arithmetic is exact on integers: products of two coordinate
// differences need 66 bits, so they are taken in 128, once per edge; the rows after that are
// stepped in 64 (TEdgeWalk).
#include "platform/gdi/Internal.h"

#include <algorithm>
#include <climits>
#include <cmath>

namespace gdi::detail {
namespace {

using TWide = __int128;
using TUWide = unsigned __int128;

/// Rows × edges a scan conversion may visit before it gives up; far beyond any drawing, but it
/// keeps a hostile polygon (a sliver billions of rows tall) from holding the layer's lock.
constexpr long long kMaxScanWork = 1LL << 24;

bool RefuseTooLarge() {
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return false;
}

/// Polygon corners beyond this are refused: the edge walk's range at one sample per pixel.
constexpr long long kScanLimit = 1LL << 61;

// ceil(a / b) for b > 0.
TWide CeilDiv(TWide a, TWide b) {
    TWide q = a / b;
    if (a % b != 0 && a > 0)
        ++q;
    return q;
}

// The largest d ≥ 0 with d² ≤ q.
std::uint64_t SquareRootFloor(TUWide q) {
    auto r = std::uint64_t(std::sqrt((long double)q));
    while (r > 0 && TUWide(r) * r > q)
        --r;
    while (TUWide(r + 1) * (r + 1) <= q)
        ++r;
    return r;
}

// Ellipses are worked in eighths of a pixel: a pixel centre is at 8x + 4, and a radius is the
// half-extent of the box less an eighth of a pixel.
constexpr long long kEighths = 8;

// For an ellipse of radii rx and ry (eighths), the largest distance across from its centre of a
// pixel centre on the row whose distance down is dy; −1 when the row misses the ellipse. A centre
// (dx, dy) is inside when dx²·ry² + dy²·rx² ≤ rx²·ry², so |dx| ≤ √(rx²·(ry² − dy²) / ry²). The
// product is exact in 128 bits while rx < 2^35 and ry < 2^29; the drawing calls' ellipses reach
// 2^33 eighths, where the quotient is taken in long double (64 bits of mantissa, far finer than
// an eighth of a pixel at that size).
long long HalfWidth(long long dy, long long rx, long long ry) {
    const TUWide yy2 = TUWide(ry) * TUWide(ry);
    const TUWide dd = TUWide(dy < 0 ? -dy : dy) * TUWide(dy < 0 ? -dy : dy);
    if (dd > yy2)
        return -1;
    if (rx < (1LL << 16) && ry < (1LL << 16)) {
        // Shapes up to 8,192 pixels across, the common case: the product stays below 2^64 and
        // the quotient below 2^32, whose square root a double finds within one either way.
        const std::uint64_t q = std::uint64_t(rx) * std::uint64_t(rx) * std::uint64_t(yy2 - dd) / std::uint64_t(yy2);
        auto r = std::uint64_t(std::sqrt(double(q)));
        while (r > 0 && r * r > q)
            --r;
        while ((r + 1) * (r + 1) <= q)
            ++r;
        return (long long)r;
    }
    if (rx < (1LL << 35) && ry < (1LL << 29)) {
        const TUWide q = TUWide(rx) * TUWide(rx) * (yy2 - dd) / yy2;
        return (long long)SquareRootFloor(q);
    }
    const long double f = (long double)(yy2 - dd) / (long double)yy2;
    return (long long)std::floor((long double)rx * std::sqrt(f));
}

// Columns whose centres lie within dmax of the centre cx (both in eighths).
TSpan CentredSpan(long long cx, long long dmax) {
    const long long first = (long long)CeilDiv(cx - kEighths / 2 - dmax, kEighths);
    const long long beyond = (long long)(-CeilDiv(-(cx - kEighths / 2 + dmax), kEighths)) + 1;  // floor(…) + 1
    return TSpan{first, beyond};
}

// The distance down (eighths) from an ellipse centre cy of the centre of row y.
long long RowOffset(long long y, long long cy) { return kEighths * y + kEighths / 2 - cy; }

// The radius (eighths) of an ellipse axis whose box is extent pixels long.
long long Radius(long long extent) { return kEighths / 2 * extent - 1; }

void Normalise(long long& a, long long& b) {
    if (a > b)
        std::swap(a, b);
}

// The last column, for each row of the lower right quadrant of a w × h ellipse from its middle
// row down, that the platform's midpoint walk reaches. The walk starts at the right end of the
// middle row and steps left, down or both by the sign of the doubled error of the next
// candidates (Zingl's "plotEllipseRect", one quadrant, with the height's parity folded into the
// first error). Both sizes are at most kWalkedCorner, so every term stays below 2^54. A corner
// 2 pixels wide is its whole box.
std::vector<std::int32_t> WalkQuadrant(long long w, long long h) {
    std::vector<std::int32_t> last(std::size_t(h - h / 2), -1);
    if (w <= 2) {
        std::fill(last.begin(), last.end(), std::int32_t(w - 1));
        return last;
    }
    const long long a = w - 1, b = h - 1, odd = b % 2;
    const long long stepX = 8 * b * b, stepY = 8 * a * a;
    long long dx = 4 * b * b * (1 - a), dy = 4 * a * a * (1 + odd);
    long long err = dx + dy + a * a * odd;
    long long x = a, y = h / 2;
    while (x >= w / 2 && y < h) {
        std::int32_t& reach = last[std::size_t(y - h / 2)];
        reach = std::max(reach, std::int32_t(x));
        const long long e2 = 2 * err;
        if (e2 >= dx) {
            --x;
            dx += stepX;
            err += dx;
        }
        if (e2 <= dy) {
            ++y;
            dy += stepY;
            err += dy;
        }
    }
    // On a tall, narrow ellipse the walk reaches the middle column before the last rows; the
    // platform's ellipse stops there, rows short of its box. Zingl's own completion carries the
    // tip on in the middle column down to the box's edge, so the shape fills the box it is given.
    for (std::int32_t& reach : last)
        if (reach < 0)
            reach = std::int32_t(w / 2);
    return last;
}

}  // namespace

bool ScanPolygon(const std::vector<TScanPoint>& points, const std::vector<TPolygonRun>& polygons, int fillMode,
                 long long firstRow, long long endRow, const TBandVisitor& visit) {
    std::vector<TEdgeWalk> edges;
    for (const TPolygonRun& run : polygons) {
        for (std::size_t k = 0; k < run.Count; ++k) {
            const TScanPoint& a = points[run.First + k];
            const TScanPoint& b = points[run.First + (k + 1) % run.Count];
            // The edge walk's range; no caller comes near it (device points stop at 2^46).
            if (a.X > kScanLimit || a.X < -kScanLimit || a.Y > kScanLimit || a.Y < -kScanLimit)
                return RefuseTooLarge();
            if (a.Y == b.Y)
                continue;  // a horizontal edge crosses no pixel centre's row
            if (a.Y < b.Y)
                edges.push_back(TEdgeWalk{a.X, a.Y, b.X, b.Y, +1, b.Y});
            else
                edges.push_back(TEdgeWalk{b.X, b.Y, a.X, a.Y, -1, a.Y});
        }
    }
    std::sort(edges.begin(), edges.end(), [](const TEdgeWalk& a, const TEdgeWalk& b) { return a.Y0 < b.Y0; });
    std::vector<long long> stops;
    stops.reserve(2 * edges.size());
    for (const TEdgeWalk& e : edges) {
        stops.push_back(e.Y0);
        stops.push_back(e.Y1);
    }
    std::sort(stops.begin(), stops.end());
    stops.erase(std::unique(stops.begin(), stops.end()), stops.end());

    // The active edges stay ordered by their columns from row to row (see MoveEdgesTo).
    std::vector<TActiveEdge> active, added;
    std::vector<TSpan> spans;
    std::size_t next = 0;
    long long work = 0, nextEnd = LLONG_MAX;
    long long ordered = LLONG_MIN;  // the row on which the active edges are in order
    std::size_t slanted = 0;        // active edges that are not upright
    const bool winding = fillMode == WINDING;
    for (std::size_t s = 0; s + 1 < stops.size(); ++s) {
        // Between two stops the same edges cross every row: those spanning the whole interval.
        const long long top = stops[s], bottom = stops[s + 1];
        if (top >= nextEnd) {
            nextEnd = DropEndedEdges(active, top);
            slanted = std::size_t(std::count_if(active.begin(), active.end(),
                                                [](const TActiveEdge& a) { return a.Edge->X0 != a.Edge->X1; }));
        }
        // Only the rows of the window are worked out; the edges are still tracked above it.
        const long long first = std::max(top, firstRow), end = std::min(bottom, endRow);
        const bool follows = first < end && ordered == first - 1;
        while (next < edges.size() && edges[next].Y0 == top) {
            TEdgeWalk& e = edges[next++];
            nextEnd = std::min(nextEnd, e.End);
            slanted += e.X0 != e.X1;
            added.push_back(TActiveEdge{0, &e, e.Direction});
        }
        AddEdges<1>(active, added, first, follows);
        if (active.empty())
            continue;
        if (first >= end) {
            // Outside the window the edges still cost their upkeep, so that counts as work.
            work += (long long)active.size();
            if (work > kMaxScanWork)
                return RefuseTooLarge();
            continue;
        }
        // Upright edges cross every row at the same column: one band holds all the rows, and
        // their order holds for all of them.
        const bool upright = slanted == 0;
        const long long rows = upright ? 1 : end - first;
        work += rows * (long long)active.size();
        if (work > kMaxScanWork)
            return RefuseTooLarge();
        for (long long y = first; y < first + rows; ++y) {
            MoveEdgesTo<1>(active, y, follows || y > first);
            SpansOfRow(active, winding, spans);
            if (!visit(y, upright ? end : y + 1, spans))
                return RefuseTooLarge();
        }
        ordered = end - 1;
    }
    return true;
}

bool PolygonRegion(const POINT* points, const std::vector<TPolygonRun>& polygons, int fillMode, TRegion& result) {
    std::size_t count = 0;
    for (const TPolygonRun& run : polygons)
        count = std::max(count, run.First + run.Count);
    std::vector<TScanPoint> scan(count);
    for (std::size_t i = 0; i < count; ++i)
        scan[i] = TScanPoint{points[i].x, points[i].y};
    TRegionBuilder builder;
    const bool done = ScanPolygon(scan, polygons, fillMode, LLONG_MIN, LLONG_MAX,
                                  [&builder](long long top, long long bottom, const std::vector<TSpan>& spans) {
                                      builder.AddBand(top, bottom, spans);
                                      return !builder.Failed();
                                  });
    if (!done)
        return false;
    result = builder.Finish();
    return true;
}

TRoundRows::TRoundRows(long long left, long long top, long long right, long long bottom, long long w, long long h)
    : FLeft(left), FTop(top), FRight(right), FBottom(bottom) {
    w = std::min(w < 0 ? -w : w, right - left);
    h = std::min(h < 0 ? -h : h, bottom - top);
    FSquare = w < 2 || h < 2;
    if (FSquare)
        return;
    FCornerW = w;
    FCornerH = h;
    if (w <= kWalkedCorner && h <= kWalkedCorner)
        FWalk = WalkQuadrant(w, h);
    FRx = Radius(w);
    FRy = Radius(h);
    FLeftCx = kEighths / 2 * (2 * left + w);
    FRightCx = kEighths / 2 * (2 * right - w);
    FUpperCy = kEighths / 2 * (2 * top + h);
    FLowerCy = kEighths / 2 * (2 * bottom - h);
    // Rows whose centres lie above the upper corner ellipses' centres are cut at both ends by
    // those ellipses, likewise below the lower ones; the rows between are whole. A row centre
    // lies above top + h/2 exactly for rows before top + h/2 (integer division), and below
    // bottom − h/2 from there on.
    FUpperEnd = top + h / 2;
    FLowerStart = bottom - h / 2;
}

TSpan TRoundRows::Row(long long y) const {
    if (y < FTop || y >= FBottom || FLeft >= FRight)
        return TSpan{0, 0};
    if (FSquare || (y >= FUpperEnd && y < FLowerStart))
        return TSpan{FLeft, FRight};
    if (!FWalk.empty()) {
        // The corner's rows from its middle row outwards; a row above mirrors one below.
        const long long cornerRow = y < FUpperEnd ? FCornerH - 1 - (y - FTop) : y - (FBottom - FCornerH);
        const long long last = FWalk[std::size_t(cornerRow - FCornerH / 2)];
        return TSpan{FLeft + FCornerW - 1 - last, FRight - FCornerW + last + 1};
    }
    const long long dmax = HalfWidth(RowOffset(y, y < FUpperEnd ? FUpperCy : FLowerCy), FRx, FRy);
    if (dmax < 0)
        return TSpan{0, 0};
    return TSpan{CentredSpan(FLeftCx, dmax).Left, CentredSpan(FRightCx, dmax).Right};
}

namespace {

// The region of a shape's rows; the pixel box is already normalised and cut.
bool RowsRegion(const TRoundRows& rows, TRegion& result) {
    const long long wholeStart = rows.WholeStart(), wholeEnd = std::max(wholeStart, rows.WholeEnd());
    if ((rows.Bottom() - rows.Top()) - (wholeEnd - wholeStart) > kMaxScanWork)
        return RefuseTooLarge();
    TRegionBuilder builder;
    std::vector<TSpan> spans;
    for (long long y = rows.Top(); y < rows.Bottom() && !builder.Failed(); ++y) {
        if (y == wholeStart && wholeEnd > wholeStart) {
            builder.AddBand(wholeStart, wholeEnd, {rows.Row(y)});
            y = wholeEnd - 1;
            continue;
        }
        spans.clear();
        const TSpan span = rows.Row(y);
        if (span.Left < span.Right)
            AppendSpan(spans, span.Left, span.Right);
        builder.AddBand(y, y + 1, spans);
    }
    if (builder.Failed())
        return RefuseTooLarge();
    result = builder.Finish();
    return true;
}

}  // namespace

bool EllipseRegion(long long left, long long top, long long right, long long bottom, TRegion& result) {
    Normalise(left, right);
    Normalise(top, bottom);
    // The platform's elliptic regions leave out the right and bottom edges of the box: the
    // ellipse is inscribed in the box one pixel narrower and shorter.
    --right;
    --bottom;
    if (right <= left || bottom <= top) {
        result = TRegion();
        return true;
    }
    return RowsRegion(TRoundRows(left, top, right, bottom, right - left, bottom - top), result);
}

bool RoundRectRegion(long long left, long long top, long long right, long long bottom, long long w, long long h,
                     TRegion& result) {
    Normalise(left, right);
    Normalise(top, bottom);
    // Like elliptic regions, the right and bottom edges stay out.
    right = std::max(left, right - 1);
    bottom = std::max(top, bottom - 1);
    const TRoundRows rows(left, top, right, bottom, w, h);
    if (left == right || top == bottom || rows.Square()) {
        result = TRegion::FromRect(left, top, right, bottom);
        return true;
    }
    return RowsRegion(rows, result);
}

}  // namespace gdi::detail
