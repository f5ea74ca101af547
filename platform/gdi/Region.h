// Regions as the layer keeps them: rectangles in y-bands, the platform's canonical form. Every
// band is a run of rows [top, bottom) holding one or more rectangles of that exact height, sorted
// left to right, none touching or overlapping; bands are sorted top to bottom and do not overlap;
// two bands that touch are merged when their x-spans are equal. Two regions that cover the same
// pixels therefore hold the same rectangle list, which makes equality and the rectangles
// GetRegionData reports independent of how a region was built.
#pragma once

#include "platform/gdi/Gdi.h"

#include <algorithm>
#include <climits>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <vector>

namespace gdi::detail {

/// More rectangles than this in one region are refused (ERROR_NOT_ENOUGH_MEMORY): a region is
/// made from caller counts and coordinates, and this bounds the memory and the work of every
/// operation on it (16 MiB of rectangles).
constexpr std::size_t kMaxRegionRects = std::size_t(1) << 20;

/// A run of pixels [Left, Right) on one row.
struct TSpan {
    long long Left;
    long long Right;
    bool operator==(const TSpan&) const = default;
};

class TRegion {
public:
    TRegion() = default;
    /// The pixels of a rectangle with its right and bottom edges excluded; empty when it has no area.
    static TRegion FromRect(long long left, long long top, long long right, long long bottom);

    const std::vector<RECT>& Rects() const { return FRects; }
    bool Empty() const { return FRects.empty(); }
    /// NULLREGION, SIMPLEREGION or COMPLEXREGION.
    int Type() const;
    /// The bounding box; (0, 0, 0, 0) for the empty region.
    RECT Bounds() const;
    bool Contains(long long x, long long y) const;
    /// Whether any pixel of [left, right) × [top, bottom) is in the region.
    bool Intersects(long long left, long long top, long long right, long long bottom) const;
    bool operator==(const TRegion&) const;

    /// Moves the region; false (unchanged) when a coordinate would leave the 32-bit range.
    bool Offset(long long dx, long long dy);

    /// The index of the first rectangle of the first band whose bottom lies below y.
    std::size_t FirstBandBelow(long long y) const;
    /// The index just past the band that starts at index i.
    std::size_t BandEnd(std::size_t i) const;

private:
    friend class TRegionBuilder;
    std::vector<RECT> FRects;
    RECT FBounds{0, 0, 0, 0};
};

/// Builds a canonical region band by band, top to bottom: merges a band into the previous one
/// when they touch and have equal spans, and stops (Failed) at kMaxRegionRects rectangles.
class TRegionBuilder {
public:
    /// Adds rows [top, bottom) holding the given spans, which must be sorted, disjoint and not
    /// touching; top must not lie above the previous band's bottom.
    void AddBand(long long top, long long bottom, const std::vector<TSpan>& spans);
    bool Failed() const { return FFailed; }
    /// The region; an empty one after a failure.
    TRegion Finish();

private:
    TRegion FRegion;
    std::size_t FLastBand = 0;  // index of the previous band's first rectangle
    bool FHasBand = false;
    bool FFailed = false;
};

/// Adds [left, right) to a sorted list of disjoint spans, merging what it touches; used by the
/// rasterisers, whose spans on one row arrive left to right.
void AppendSpan(std::vector<TSpan>& spans, long long left, long long right);

/// The combine modes of CombineRgn: RGN_AND, RGN_OR, RGN_XOR, RGN_DIFF (RGN_COPY is a copy).
/// False (result untouched) when the result would exceed kMaxRegionRects.
bool CombineRegions(const TRegion& a, const TRegion& b, int mode, TRegion& result);

/// The region made of a list of rectangles in any order, overlapping or not; empty ones are
/// skipped. False when the result would exceed kMaxRegionRects.
bool RegionFromRects(const std::vector<RECT>& rects, TRegion& result);

/// The region moved down by dy rows, cut to the 32-bit range: only for intersecting with a
/// region that lies inside that range.
TRegion ShiftedForIntersection(const TRegion& region, long long dy);

/// Pixels of the region whose neighbours up to w columns left and right and h rows up and down
/// are all in the region too: what is left once a frame of that width is taken from the edges.
bool ErodeRegion(const TRegion& region, long long w, long long h, TRegion& result);

// ---- shapes (RegionShapes.cpp) -----------------------------------------------------------------

/// One closed polygon of a poly-polygon: points [First, First + Count) of the point array.
struct TPolygonRun {
    std::size_t First;
    std::size_t Count;
};

/// A polygon's point with room for device coordinates.
struct TScanPoint {
    long long X;
    long long Y;
};

/// A polygon edge walked down its rows. Its ends are in 1/Scale pixels; on row y it gives the
/// first column whose sample point (x, y) lies at or right of it: the smallest x with
/// x·Scale·dy ≥ X0·dy + (y·Scale − Y0)·dx, where dy = Y1 − Y0 > 0 and dx = X1 − X0. From one row
/// to the next that column moves by a fixed whole step plus a carry, so a row costs an addition
/// and a comparison instead of a division; the remainder is kept as an exact integer, so every
/// row gives the same column as the division would.
///
/// Ranges: with |coordinates| ≤ L and Scale ≤ 256, the denominator Scale·dy ≤ 2·L·Scale must fit
/// 64 bits unsigned, so L ≤ 2^61 for Scale 1 and L ≤ 2^54 for Scale 256 (the wide pens' corners,
/// ±2^46 pixels in 256ths). The starting numerator is below 6·L² < 2^127, taken in 128 bits once
/// per start; the column, its step (|dx| / dy pixels at most, plus one) and the remainder
/// (below the denominator) then stay in 64 bits: remainder − step's remainder wraps below zero
/// exactly when the carry comes, and adding the denominator brings it back within [0, Den).
struct alignas(64) TEdgeWalk {
    TEdgeWalk(long long x0, long long y0, long long x1, long long y1, int direction, long long end)
        : Direction(direction), End(end), X0(x0), Y0(y0), X1(x1), Y1(y1) {}

    // What every row reads comes first, in one cache line.
    /// The row X belongs to; far outside every edge's rows until the first MoveTo.
    long long Row = LLONG_MIN / 2;
    long long X = 0;            // the column on Row
    long long StepX = 0;        // whole columns per row
    std::uint64_t Rem = 0;      // X·Scale·dy − numerator, in [0, Den)
    std::uint64_t StepRem = 0;  // the per-row remainder of the step, in [0, Den)
    std::uint64_t Den = 1;      // Scale·dy
    int Direction;              // +1 when the polygon runs down along it, −1 when up
    long long End;              // the first row it no longer crosses (or the caller leaves out)
    long long X0, Y0, X1, Y1;   // the upper end, then the lower one

    /// Sets X to the column on row y, which must lie within the edge's rows: one step from the
    /// row before, otherwise worked out afresh.
    template <long long Scale>
    void MoveTo(long long y) {
        if (y == Row + 1) {
            // Without a branch: whether the carry comes is as good as random from row to row.
            const std::uint64_t carry = std::uint64_t(0) - std::uint64_t(Rem < StepRem);
            Rem = Rem - StepRem + (Den & carry);
            X += StepX + (long long)(carry & 1);
            Row = y;
        } else if (y != Row) {
            Start(y, Scale);
        }
    }

private:
    void Start(long long y, long long scale) {
        using TWide = __int128;
        const TWide dy = TWide(Y1) - Y0, den = dy * scale, dx = TWide(X1) - X0;
        const TWide n = TWide(X0) * dy + (TWide(y) * scale - Y0) * dx;
        const TWide step = dx * scale;
        Den = std::uint64_t(den);
        Row = y;
        if (Fits64(n) && Fits64(step) && Fits64(den)) {
            // The common case, with one 64-bit division for each quotient and remainder.
            const long long n64 = (long long)n, d64 = (long long)den, s64 = (long long)step;
            const long long r = n64 % d64;  // truncation is the ceiling below zero
            X = n64 / d64 + (r > 0);
            Rem = std::uint64_t(r > 0 ? d64 - r : -r);
            long long q = s64 / d64, m = s64 % d64;
            if (m < 0) {
                --q;
                m += d64;
            }
            StepX = q;
            StepRem = std::uint64_t(m);
            return;
        }
        TWide x = n / den;  // truncation is the ceiling below zero
        if (n % den != 0 && n > 0)
            ++x;
        TWide q = step / den, m = step % den;
        if (m < 0) {
            --q;
            m += den;
        }
        X = (long long)x;
        Rem = std::uint64_t(x * den - n);
        StepX = (long long)q;
        StepRem = std::uint64_t(m);
    }

    static bool Fits64(__int128 v) { return v >= LLONG_MIN && v <= LLONG_MAX; }
};

/// An edge crossing the rows being scanned, with its column on the current row.
struct TActiveEdge {
    long long X;
    TEdgeWalk* Edge;
    int Direction;  // the edge's, at hand for the spans
};

/// Moves the active edges to row y and orders them by column. When they were ordered on row
/// y − 1 (follows), that order is nearly right: edges of a polygon rarely pass one another from
/// row to row, so insertion sorting costs about one comparison per edge.
template <long long Scale>
void MoveEdgesTo(std::vector<TActiveEdge>& active, long long y, bool follows) {
    if (!follows) {
        for (TActiveEdge& a : active) {
            a.Edge->template MoveTo<Scale>(y);
            a.X = a.Edge->X;
        }
        std::sort(active.begin(), active.end(), [](const TActiveEdge& a, const TActiveEdge& b) { return a.X < b.X; });
        return;
    }
    // Edges that pass one another in crowds (a hostile figure of crossing slivers) would make
    // insertion quadratic: past a few moves per edge the row is sorted outright instead.
    std::size_t moves = 0;
    const std::size_t maxMoves = 8 * active.size() + 64;
    for (std::size_t i = 0; i < active.size(); ++i) {
        TEdgeWalk* const e = active[i].Edge;
        e->template MoveTo<Scale>(y);
        const long long x = e->X;
        active[i].X = x;
        if (i == 0 || active[i - 1].X <= x)
            continue;
        std::size_t j = i;
        do {
            active[j] = active[j - 1];
            --j;
            ++moves;
        } while (j > 0 && active[j - 1].X > x);
        active[j] = TActiveEdge{x, e, e->Direction};
        if (moves > maxMoves) {
            for (std::size_t k = i + 1; k < active.size(); ++k) {
                active[k].Edge->template MoveTo<Scale>(y);
                active[k].X = active[k].Edge->X;
            }
            std::sort(active.begin(), active.end(),
                      [](const TActiveEdge& a, const TActiveEdge& b) { return a.X < b.X; });
            return;
        }
    }
}

/// Adds the edges that start crossing on row y (their X left for this call to fill in). When
/// the others are ordered on row y − 1 (follows), the new ones are sorted by their columns on
/// row y and merged in, so that the next MoveEdgesTo finds the order nearly right; otherwise that
/// one sorts them all anyway. Either way the cost is linear in the edges plus a sort of the new
/// ones: a row where thousands of edges start at once (a figure of many dots) stays cheap.
template <long long Scale>
void AddEdges(std::vector<TActiveEdge>& active, std::vector<TActiveEdge>& added, long long y, bool follows) {
    if (added.empty())
        return;
    const auto byColumn = [](const TActiveEdge& a, const TActiveEdge& b) { return a.X < b.X; };
    if (follows) {
        for (TActiveEdge& a : added) {
            a.Edge->template MoveTo<Scale>(y);
            a.X = a.Edge->X;
        }
        std::stable_sort(added.begin(), added.end(), byColumn);
    }
    const std::size_t old = active.size();
    active.insert(active.end(), added.begin(), added.end());
    if (follows)
        std::inplace_merge(active.begin(), active.begin() + std::ptrdiff_t(old), active.end(), byColumn);
    added.clear();
}

/// Drops the edges whose rows end at or before y, keeping the others' order; gives the first row
/// at which another one ends.
inline long long DropEndedEdges(std::vector<TActiveEdge>& active, long long y) {
    long long nextEnd = LLONG_MAX;
    std::size_t kept = 0;
    for (std::size_t i = 0; i < active.size(); ++i) {
        const long long end = active[i].Edge->End;
        if (end <= y)
            continue;
        nextEnd = std::min(nextEnd, end);
        active[kept++] = active[i];
    }
    active.resize(kept);
    return nextEnd;
}

/// Adds the spans of a row whose edges are ordered by column: the columns from each crossing to
/// the next where the winding (WINDING) is not zero, or the count of crossings (ALTERNATE) odd.
inline void SpansOfRow(const std::vector<TActiveEdge>& active, bool winding, std::vector<TSpan>& spans) {
    spans.clear();
    int count = 0;
    for (std::size_t i = 0; i + 1 < active.size(); ++i) {
        count += winding ? active[i].Direction : 1;
        const long long left = active[i].X, right = active[i + 1].X;
        if ((winding ? count == 0 : (count & 1) == 0) || left >= right)
            continue;
        if (!spans.empty() && spans.back().Right >= left)
            spans.back().Right = std::max(spans.back().Right, right);
        else
            spans.push_back(TSpan{left, right});
    }
}

/// Receives the rows [top, bottom) that share the same spans; false stops the scan.
using TBandVisitor = std::function<bool(long long top, long long bottom, const std::vector<TSpan>& spans)>;

/// The scan conversion behind polygon regions and polygon fills, with the pixel rule of
/// PolygonRegion, visiting only rows [firstRow, endRow) top to bottom. False with the last error
/// set (ERROR_NOT_ENOUGH_MEMORY) when the work would be too large or the visitor stopped.
bool ScanPolygon(const std::vector<TScanPoint>& points, const std::vector<TPolygonRun>& polygons, int fillMode,
                 long long firstRow, long long endRow, const TBandVisitor& visit);

/// Scan-converts polygons with ALTERNATE or WINDING: pixel (x, y) is in the region when the point
/// (x, y) lies inside; a point exactly on a left edge is in, on a right edge out, and a row that
/// lies on a horizontal edge counts as below it. False with the last error set
/// when the work or the result would be too large.
bool PolygonRegion(const POINT* points, const std::vector<TPolygonRun>& polygons, int fillMode, TRegion& result);

/// The rows of a rectangle of pixels [left, right) × [top, bottom) whose corners are rounded by
/// quarters of a w × h ellipse (w and h limited to the rectangle's extent; below 2 the corners
/// stay square, and a corner 2 wide is its whole box). Each row of a corner reaches as far as the
/// platform's own ellipse outline: the pixels that the midpoint walk with exact integer error
/// terms (A. Zingl, "A Rasterizing Algorithm for Drawing Curves", 2012) visits in one quadrant,
/// mirrored into the other three. Corners over kWalkedCorner pixels across, which no picture
/// needs, are sampled instead in eighths of a pixel: a pixel is in when its centre lies inside or
/// on the ellipse with each radius an eighth of a pixel shorter; both approximate the same
/// ellipse, about a pixel apart at a row's end. With w and h the whole extent it is the platform's ellipse.
/// The walk is taken once per shape, bounded by the corner's size; any row is then worked out on
/// its own, so a caller visits only the rows it needs.
class TRoundRows {
public:
    TRoundRows(long long left, long long top, long long right, long long bottom, long long w, long long h);
    /// The pixels of row y; an empty span (Left == Right) outside the shape.
    TSpan Row(long long y) const;
    long long Left() const { return FLeft; }
    long long Top() const { return FTop; }
    long long Right() const { return FRight; }
    long long Bottom() const { return FBottom; }
    bool Square() const { return FSquare; }
    /// The corner ellipse's height in pixels, as limited to the rectangle (0 when square).
    long long CornerHeight() const { return FCornerH; }
    /// Rows [WholeStart, WholeEnd) span the whole width (none when WholeEnd ≤ WholeStart).
    long long WholeStart() const { return FSquare ? FTop : FUpperEnd; }
    long long WholeEnd() const { return FSquare ? FBottom : FLowerStart; }

private:
    long long FLeft, FTop, FRight, FBottom;
    bool FSquare = true;
    long long FRx = 0, FRy = 0, FLeftCx = 0, FRightCx = 0, FUpperCy = 0, FLowerCy = 0;
    long long FUpperEnd = 0, FLowerStart = 0;
    long long FCornerW = 0, FCornerH = 0;
    /// For each corner row from the middle outwards, the last column (from the corner box's left)
    /// of the walked quadrant; empty when the corner is sampled.
    std::vector<std::int32_t> FWalk;
};

/// Corners up to this many pixels across follow the platform's walk (see TRoundRows).
constexpr long long kWalkedCorner = 1LL << 16;

/// The platform's elliptic region of a box: its right column and bottom row stay out, and the rows
/// are those of TRoundRows for the remaining box (so a box of 11 × 11 gives the 76 pixels that
/// the platform's Ellipse paints in 10 × 10).
bool EllipseRegion(long long left, long long top, long long right, long long bottom, TRegion& result);

/// A rectangle, right column and bottom row left out, whose corners are rounded by quarters of a
/// w × h ellipse, rows as EllipseRegion's; w and h are limited to the rectangle's extent.
bool RoundRectRegion(long long left, long long top, long long right, long long bottom, long long w, long long h,
                     TRegion& result);

}  // namespace gdi::detail
