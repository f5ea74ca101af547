// Regions as the layer keeps them: rectangles in y-bands, the platform's canonical form. Every
// band is a run of rows [top, bottom) holding one or more rectangles of that exact height, sorted
// left to right, none touching or overlapping; bands are sorted top to bottom and do not overlap;
// two bands that touch are merged when their x-spans are equal. Two regions that cover the same
// pixels therefore hold the same rectangle list, which makes equality and the rectangles
// GetRegionData reports independent of how a region was built.
#pragma once

#include "platform/gdi/Gdi.h"

#include <cstddef>
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
/// stay square), each corner sampled in eighths of a pixel: a pixel is in when its centre lies
/// inside or on the corner's ellipse with each radius an eighth of a pixel shorter. With w and h
/// the whole extent it is the platform's ellipse. Any row is worked out on its own, so a caller
/// visits only the rows it needs.
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
    /// Rows [WholeStart, WholeEnd) span the whole width (none when WholeEnd ≤ WholeStart).
    long long WholeStart() const { return FSquare ? FTop : FUpperEnd; }
    long long WholeEnd() const { return FSquare ? FBottom : FLowerStart; }

private:
    long long FLeft, FTop, FRight, FBottom;
    bool FSquare = true;
    long long FRx = 0, FRy = 0, FLeftCx = 0, FRightCx = 0, FUpperCy = 0, FLowerCy = 0;
    long long FUpperEnd = 0, FLowerStart = 0;
};

/// The platform's elliptic region of a box: its right column and bottom row stay out, and a pixel
/// is in when its centre lies inside or on the ellipse inscribed in the remaining box with each
/// radius an eighth of a pixel shorter (so a box of 11 × 11 gives the 76 pixels that the
/// platform's Ellipse paints in 10 × 10).
bool EllipseRegion(long long left, long long top, long long right, long long bottom, TRegion& result);

/// A rectangle, right column and bottom row left out, whose corners are rounded by quarters of a
/// w × h ellipse sampled as EllipseRegion does; w and h are limited to the rectangle's extent.
bool RoundRectRegion(long long left, long long top, long long right, long long bottom, long long w, long long h,
                     TRegion& result);

}  // namespace gdi::detail
