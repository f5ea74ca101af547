// Wide pens: CreatePen pens that come to two pixels or more through the transforms, and the
// geometric pens of ExtCreatePen. Each figure is widened into small closed polygons, one per
// segment, join and cap, all wound the same way; they are filled together by the nonzero rule,
// so a pixel that several of them cover is painted once, whatever the raster operation.
//
// The pen is a disc of the pen's width in logical space; the transforms' linear part turns it
// into an ellipse in device space. Directions, lengths, dashes and miter limits are therefore
// measured in logical space (device vectors through the inverse), and offsets are carried back
// into device space, where each polygon corner is rounded to a whole pixel before filling.
#include "platform/gdi/Recorder.h"
#include "platform/gdi/Stroke.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <functional>
#include <numbers>

namespace gdi {

using namespace detail;

namespace detail {

namespace {

struct TVec {
    double X = 0, Y = 0;
};
TVec operator+(TVec a, TVec b) { return {a.X + b.X, a.Y + b.Y}; }
TVec operator-(TVec a, TVec b) { return {a.X - b.X, a.Y - b.Y}; }
TVec operator*(TVec a, double k) { return {a.X * k, a.Y * k}; }
double DotProduct(TVec a, TVec b) { return a.X * b.X + a.Y * b.Y; }
double Cross(TVec a, TVec b) { return a.X * b.Y - a.Y * b.X; }
TVec Perp(TVec a) { return {-a.Y, a.X}; }

/// device = (A·x + B·y, C·x + D·y) for a logical vector (x, y).
struct TLinear {
    double A = 1, B = 0, C = 0, D = 1;
    TVec Apply(TVec v) const { return {A * v.X + B * v.Y, C * v.X + D * v.Y}; }
};

/// The linear part of logical → device: the world transform (GM_ADVANCED), the page scale of
/// the window and viewport, and the layout's mirror.
TLinear PenMatrix(const TDCObj& dc) {
    const double pageX = double(dc.ViewportExt.cx) / dc.WindowExt.cx;
    const double pageY = double(dc.ViewportExt.cy) / dc.WindowExt.cy;
    XFORM m{1.0f, 0.0f, 0.0f, 1.0f, 0.0f, 0.0f};
    if (dc.GraphicsMode == GM_ADVANCED)
        m = dc.World;
    TLinear t{double(m.eM11) * pageX, double(m.eM21) * pageX, double(m.eM12) * pageY, double(m.eM22) * pageY};
    if (dc.Layout & LAYOUT_RTL) {
        t.A = -t.A;
        t.B = -t.B;
    }
    return t;
}

/// Device coordinates of outline corners are held within ±2^46: far beyond any surface, and
/// small enough that the scan converter's products of two differences stay exact.
constexpr double kCornerLimit = double(1LL << 46);
/// A pen wider than this many device pixels is drawn as if it were this wide: every pixel a
/// surface can hold then lies well inside its stroke anyway.
constexpr double kMaxDeviceRadius = double(1LL << 34);
/// Round caps and joins up to this size take the platform's elliptic pixels exactly; larger ones
/// are polygons fine enough to stay within about a quarter pixel of the ellipse.
constexpr long long kExactRound = 4096;
constexpr int kMaxRoundCorners = 4096;
/// Outline points gathered before they are filled: the nonzero rule paints a pixel once within a
/// batch, and the memory a stroke of millions of segments needs stays bounded.
constexpr std::size_t kBatchPoints = std::size_t(1) << 20;
/// The most outline points WidenFigures gives back, as many as a polygon call may take.
constexpr std::size_t kMaxOutlinePoints = std::size_t(1) << 24;
/// Corners made and dash steps taken in widening one call's figures. A real drawing needs far
/// fewer; a figure of millions of dashes whose caps are needles reaching across the surface (a pen
/// under an extreme transform) stops here instead of running for minutes.
constexpr long long kMaxWidenWork = 1LL << 21;

/// Outline corners are kept in 256ths of a pixel, so the stroke keeps its true width at every
/// angle; pixels are still sampled at their integer coordinates.
constexpr long long kFix = 256;

/// A device coordinate in fixed point, held within ±kCornerLimit pixels.
long long Corner(double v) {
    v = std::clamp(v, -kCornerLimit, kCornerLimit);
    return (long long)std::floor(v * double(kFix) + 0.5);
}

/// The whole pixel a device coordinate names, rounded half up.
long long Pixel(double v) { return (long long)std::floor(std::clamp(v, -kCornerLimit, kCornerLimit) + 0.5); }

/// The sorting and scanning the fills of one stroke may do over all its batches, counted as
/// items × log2(items) for each sort of edges or of a row's crossings; beyond it the rest of the
/// stroke is left undrawn (ERROR_NOT_ENOUGH_MEMORY), so a hostile figure cannot hold the layer's
/// lock for long.
constexpr long long kMaxFillWork = 1LL << 25;

/// The cost of sorting n items, in the units of kMaxFillWork.
long long SortWork(std::size_t n) { return (long long)n * (long long)std::bit_width(n); }

// ceil(a / b) for b > 0.
__int128 CeilDiv(__int128 a, __int128 b) {
    __int128 q = a / b;
    if (a % b != 0 && a > 0)
        ++q;
    return q;
}

/// Fills polygons of fixed-point corners by the nonzero rule, rows [firstRow, endRow): pixel
/// (x, y) is in when the point (x, y) is inside; on a left or top edge it is in, on a right or
/// bottom edge out, as for the layer's polygon fills. visit(y, spans) gets each row's spans. work
/// counts the sorting done, against kMaxFillWork.
template <typename TVisit>
bool FillFixed(const std::vector<TScanPoint>& points, const std::vector<TPolygonRun>& runs, long long firstRow,
               long long endRow, long long& work, TVisit&& visit) {
    // Corners lie within ±2^54 (256ths of ±kCornerLimit pixels): the edge walk's range at 256ths.
    struct TEdge {
        TEdgeWalk Walk;  // End is the first row left out
        long long FirstRow;
    };
    std::vector<TEdge> edges;
    for (const TPolygonRun& run : runs) {
        for (std::size_t k = 0; k < run.Count; ++k) {
            TScanPoint a = points[run.First + k], b = points[run.First + (k + 1) % run.Count];
            if (a.Y == b.Y)
                continue;
            int direction = 1;
            if (a.Y > b.Y) {
                std::swap(a, b);
                direction = -1;
            }
            // Rows whose sample height kFix·y lies in [a.Y, b.Y).
            const long long first = std::max(firstRow, (long long)CeilDiv(a.Y, kFix));
            const long long end = std::min(endRow, (long long)CeilDiv(b.Y, kFix));
            if (first < end)
                edges.push_back(TEdge{TEdgeWalk{a.X, a.Y, b.X, b.Y, direction, end}, first});
        }
    }
    work += SortWork(edges.size());
    if (work > kMaxFillWork) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return false;
    }
    std::sort(edges.begin(), edges.end(), [](const TEdge& a, const TEdge& b) { return a.FirstRow < b.FirstRow; });
    // The active edges stay ordered by their columns from row to row (see MoveEdgesTo).
    std::vector<TActiveEdge> active, added;
    std::vector<TSpan> spans;
    std::size_t next = 0;
    long long nextEnd = LLONG_MAX;
    long long y = edges.empty() ? endRow : edges[0].FirstRow;
    long long ordered = y - 1;  // the row on which the active edges are in order
    while (y < endRow && (next < edges.size() || !active.empty())) {
        if (active.empty() && edges[next].FirstRow > y)
            y = edges[next].FirstRow;
        const bool follows = active.empty() || ordered == y - 1;
        while (next < edges.size() && edges[next].FirstRow == y) {
            TEdgeWalk& walk = edges[next++].Walk;
            nextEnd = std::min(nextEnd, walk.End);
            added.push_back(TActiveEdge{0, &walk, walk.Direction});
        }
        AddEdges<kFix>(active, added, y, follows);
        work += SortWork(active.size());
        if (work > kMaxFillWork) {
            SetLastError(ERROR_NOT_ENOUGH_MEMORY);
            return false;
        }
        MoveEdgesTo<kFix>(active, y, follows);
        SpansOfRow(active, true, spans);
        if (!spans.empty())
            visit(y, spans);
        ordered = y;
        ++y;
        if (y >= nextEnd)
            nextEnd = DropEndedEdges(active, y);
    }
    return true;
}

/// Fills the same pixels as FillFixed where every polygon is crossed by each row at most twice
/// (a convex piece of a stroke is) and painting a pixel twice changes nothing: each polygon's
/// row is the span between its two crossings, so there is no ordering of crossings to keep.
/// visit(y, spans) gets each row's spans, unsorted and possibly overlapping.
/// False, with nothing drawn, when some polygon has more crossings or the work would pass
/// kMaxFillWork; the caller then fills by the general rule.
template <typename TVisit>
bool FillConvexPieces(const std::vector<TScanPoint>& points, const std::vector<TPolygonRun>& runs, long long firstRow,
                      long long endRow, long long& work, TVisit&& visit) {
    long long total = work;
    struct TPiece {
        long long Top, Bottom;                // its rows within [firstRow, endRow)
        std::uint32_t Chain[2], ChainEnd[2];  // its edges down each side, in order
    };
    std::vector<TEdgeWalk> edges;
    std::vector<TPiece> pieces;
    pieces.reserve(runs.size());
    for (const TPolygonRun& run : runs) {
        if (run.Count < 3)
            continue;
        // The corners where the outline turns from running down to running up, and back: a
        // polygon crossed at most twice by every row has one of each.
        std::size_t top = run.Count, bottom = run.Count, turns = 0;
        int last = 0;
        for (std::size_t k = 0; k < 2 * run.Count && turns <= 2; ++k) {
            const TScanPoint& a = points[run.First + k % run.Count];
            const TScanPoint& b = points[run.First + (k + 1) % run.Count];
            const int sign = (b.Y > a.Y) - (b.Y < a.Y);
            if (sign == 0)
                continue;
            if (last != 0 && sign != last && k >= run.Count) {
                ++turns;
                (sign > 0 ? top : bottom) = k % run.Count;
            }
            last = sign;
        }
        if (last == 0)
            continue;  // flat: no rows
        if (turns != 2)
            return false;
        const long long minY = points[run.First + top].Y, maxY = points[run.First + bottom].Y;
        TPiece piece{std::max(firstRow, (long long)CeilDiv(minY, kFix)), std::min(endRow, (long long)CeilDiv(maxY, kFix)),
                     {}, {}};
        if (piece.Top >= piece.Bottom)
            continue;
        // Down one side from the top corner forwards, down the other backwards.
        for (int side = 0; side < 2; ++side) {
            piece.Chain[side] = std::uint32_t(edges.size());
            std::size_t k = top;
            while (k != bottom) {
                const std::size_t next = side == 0 ? (k + 1) % run.Count : (k + run.Count - 1) % run.Count;
                const TScanPoint& a = points[run.First + k];
                const TScanPoint& b = points[run.First + next];
                const long long end = std::min(piece.Bottom, (long long)CeilDiv(b.Y, kFix));
                if (b.Y > a.Y && end > piece.Top && CeilDiv(a.Y, kFix) < end)
                    edges.emplace_back(a.X, a.Y, b.X, b.Y, 1, end);
                k = next;
            }
            piece.ChainEnd[side] = std::uint32_t(edges.size());
            if (piece.Chain[side] == piece.ChainEnd[side] || edges.size() > UINT32_MAX / 2)
                return false;
        }
        total += piece.Bottom - piece.Top + (long long)(piece.ChainEnd[1] - piece.Chain[0]);
        if (total > kMaxFillWork)
            return false;
        pieces.push_back(piece);
    }
    std::sort(pieces.begin(), pieces.end(), [](const TPiece& a, const TPiece& b) { return a.Top < b.Top; });
    // Row by row, so that the steps of many edges interleave and the pixels go down the surface
    // in order; each active piece keeps its two current edges at hand, looked up again only on
    // rows where one of them ends.
    struct TActive {
        TEdgeWalk* Edge[2];
        TPiece* Piece;
    };
    std::vector<TActive> active;
    std::vector<TSpan> spans;
    std::size_t next = 0;
    long long nextChange = LLONG_MAX;  // the next row on which some piece ends or changes an edge
    for (long long y = pieces.empty() ? endRow : pieces[0].Top; y < endRow;) {
        if (active.empty()) {
            if (next == pieces.size())
                break;
            y = std::max(y, pieces[next].Top);
        }
        for (; next < pieces.size() && pieces[next].Top == y; ++next) {
            TPiece& piece = pieces[next];
            active.push_back(TActive{{&edges[piece.Chain[0]], &edges[piece.Chain[1]]}, &piece});
            nextChange = std::min({nextChange, piece.Bottom, edges[piece.Chain[0]].End, edges[piece.Chain[1]].End});
        }
        spans.clear();
        for (TActive& a : active) {
            a.Edge[0]->template MoveTo<kFix>(y);
            a.Edge[1]->template MoveTo<kFix>(y);
            const long long x0 = a.Edge[0]->X, x1 = a.Edge[1]->X;
            if (x0 != x1)
                spans.push_back(TSpan{std::min(x0, x1), std::max(x0, x1)});
        }
        if (!spans.empty())
            visit(y, spans);
        ++y;
        if (y >= nextChange) {
            nextChange = LLONG_MAX;
            std::erase_if(active, [y](const TActive& a) { return a.Piece->Bottom <= y; });
            for (TActive& a : active) {
                for (int side = 0; side < 2; ++side) {
                    std::uint32_t& at = a.Piece->Chain[side];
                    while (at + 1 < a.Piece->ChainEnd[side] && edges[at].End <= y)
                        ++at;
                    a.Edge[side] = &edges[at];
                }
                nextChange = std::min({nextChange, a.Piece->Bottom, a.Edge[0]->End, a.Edge[1]->End});
            }
        }
    }
    work = total;
    return true;
}

/// A wide pen as it draws on one context.
struct TWideShape {
    TLinear M;
    TLinear Inverse;
    bool AxisAligned = true;
    double Radius = 0;  // logical half-width
    UINT Cap = PS_ENDCAP_ROUND;
    UINT Join = PS_JOIN_ROUND;
    double MiterLimit = 10;
    std::vector<double> Dashes;  // logical lengths, drawn then gap; empty for a solid pen
    long long RoundWidth = 0, RoundHeight = 0;  // the device box of a round cap (axis-aligned pens)
    std::vector<RECT> RoundRects;  // that cap's pixels relative to the box's corner, when exact
    bool RoundExact = false;
    double RoundDeviceRadius = 0;  // the larger device radius, for polygonal round shapes
    double Smallest = 1;  // how far M stretches at least
};

/// The predefined dash styles of a geometric pen, in pen widths.
std::vector<double> GeometricDashes(UINT kind) {
    switch (kind) {
    case PS_DASH: return {3, 1};
    case PS_DOT: return {1, 1};
    case PS_DASHDOT: return {3, 1, 1, 1};
    case PS_DASHDOTDOT: return {3, 1, 1, 1, 1, 1};
    default: return {};
    }
}

/// False for pens TStroker draws: cosmetic pens, width 0, and pens that come to less than one
/// and a half pixels across in their narrowest direction.
bool ResolveWide(const TDCObj& dc, TWideShape& shape, const TBrushObj*& brush, TBrushObj& solid) {
    TObject* object = Find(dc.Pen);
    if (object == nullptr || object->Kind != TKind::Pen)
        return false;
    const auto& pen = *static_cast<const TPenObj*>(object);
    const UINT kind = pen.Log.lopnStyle & PS_STYLE_MASK;
    if (kind == PS_NULL)
        return false;
    const bool geometric = pen.Extended && (pen.ExtStyle & PS_TYPE_MASK) == PS_GEOMETRIC;
    if (pen.Extended && !geometric)
        return false;
    const double width = double(pen.Log.lopnWidth.x);
    if (width <= 0)
        return false;
    shape.M = PenMatrix(dc);
    const TLinear& m = shape.M;
    const double det = m.A * m.D - m.B * m.C;
    if (!std::isfinite(det) || det == 0)
        return false;
    shape.Inverse = TLinear{m.D / det, -m.B / det, -m.C / det, m.A / det};
    // The singular values of M: how far the unit disc reaches at most and at least.
    const double s = m.A * m.A + m.B * m.B + m.C * m.C + m.D * m.D;
    const double root = std::sqrt(std::max(0.0, s * s - 4 * det * det));
    const double largest = std::sqrt((s + root) / 2), smallest = std::fabs(det) / largest;
    if (width * smallest < 1.5)
        return false;
    shape.Radius = std::min(width / 2, kMaxDeviceRadius / largest);
    shape.Smallest = smallest;
    shape.AxisAligned = m.B == 0 && m.C == 0;
    if (geometric) {
        shape.Cap = pen.ExtStyle & PS_ENDCAP_MASK;
        shape.Join = pen.ExtStyle & PS_JOIN_MASK;
        if (kind == PS_USERSTYLE) {
            double total = 0;
            for (DWORD entry : pen.UserStyle) {
                shape.Dashes.push_back(double(entry));
                total += double(entry);
            }
            // An odd count swaps drawn and gap on every pass, which is the array twice over.
            if (shape.Dashes.size() % 2 != 0)
                shape.Dashes.insert(shape.Dashes.end(), shape.Dashes.begin(), shape.Dashes.end());
            if (total == 0)
                shape.Dashes.clear();
        } else {
            shape.Dashes = GeometricDashes(kind);
            for (double& d : shape.Dashes)
                d *= width;
        }
        // Dashes whose whole period is shorter than two pixels cannot show: the pen draws solid,
        // which also bounds the work of a pattern far finer than the surface.
        double period = 0;
        for (double d : shape.Dashes)
            period += d;
        if (period * smallest < 2)
            shape.Dashes.clear();
        // The styles' own dashes keep their lengths with round or square caps, as the platform
        // draws them: the body is two radii shorter (a dot when the dash is no longer than
        // that), so the caps stay within the dash and never reach across the gap. A user's
        // dashes are bodies, capped beyond their lengths.
        if (shape.Cap != PS_ENDCAP_FLAT && kind != PS_USERSTYLE)
            for (std::size_t k = 0; k + 1 < shape.Dashes.size(); k += 2) {
                const double taken = std::min(shape.Dashes[k], 2 * shape.Radius);
                shape.Dashes[k] -= taken;
                shape.Dashes[k + 1] += taken;
            }
        brush = pen.Fill.get();
    } else {
        // CreatePen's wide pens are round at their ends and corners and draw every style solid.
        solid.Log = LOGBRUSH{BS_SOLID, pen.Log.lopnColor, 0};
        brush = &solid;
    }
    shape.MiterLimit = std::max(1.0, double(dc.MiterLimit));
    const double radiusX = std::hypot(m.A, m.C) * shape.Radius, radiusY = std::hypot(m.B, m.D) * shape.Radius;
    shape.RoundDeviceRadius = largest * shape.Radius;
    if (shape.AxisAligned) {
        shape.RoundWidth = (long long)std::floor(2 * radiusX + 0.5);
        shape.RoundHeight = (long long)std::floor(2 * radiusY + 0.5);
        if (shape.RoundWidth <= kExactRound && shape.RoundHeight <= kExactRound) {
            // The platform paints a round end as the ellipse it would fill in the pen's box.
            TRegion cap;
            if (EllipseRegion(0, 0, shape.RoundWidth + 1, shape.RoundHeight + 1, cap)) {
                shape.RoundRects = cap.Rects();
                shape.RoundExact = true;
            }
        }
    }
    return true;
}

/// Widens figures into polygons, appended to a point list and its runs. With a cull box, pieces
/// that cannot touch it are left out.
class TWidener {
public:
    TWidener(const TWideShape& shape, const TClip* cull, std::vector<TScanPoint>& points,
             std::vector<TPolygonRun>& runs)
        : FShape(shape), FCull(cull), FPoints(points), FRuns(runs) {
        for (double d : shape.Dashes)
            FPeriod += d;
    }

    /// Called whenever the points reach a batch, so that one figure of many dashes or dots is
    /// painted (or refused) piece by piece instead of being held whole; false stops the widening.
    std::function<bool()> OnBatch;

    /// Where set, round dots of exact pixels are handed over by the corner of their box instead
    /// of joining the polygons: where painting twice is harmless, a stroke along a curve's
    /// pixels, with a dot at each of its many corners, is painted far sooner so.
    std::function<void(long long left, long long top)> OnDot;

    /// Whether the widening stopped because it ran out of its work budget.
    bool OverBudget() const { return FWork > kMaxWidenWork; }

    void Figure(const std::vector<TScanPoint>& points, const TFigure& figure) {
        if (FDone)
            return;
        FFigure.clear();
        for (std::size_t k = 0; k < figure.Count; ++k) {
            const TScanPoint& p = points[figure.First + k];
            const TVec v{double(p.X), double(p.Y)};
            if (FFigure.empty() || v.X != FFigure.back().X || v.Y != FFigure.back().Y)
                FFigure.push_back(v);
        }
        bool closed = figure.Closed;
        while (closed && FFigure.size() > 1 && FFigure.back().X == FFigure.front().X &&
               FFigure.back().Y == FFigure.front().Y)
            FFigure.pop_back();
        // Without dashes, a bevelled or mitred corner that goes straight on adds nothing to its
        // two bodies, so a staircase of pixel steps, as a curve's outline is, need not keep it.
        // (A round one may: its dot reaches whole pixels further than a slanted body, or past
        // a short one.)
        if (FShape.Dashes.empty() && FShape.Join != PS_JOIN_ROUND && FFigure.size() > 3) {
            FMerged.assign(1, FFigure[0]);
            for (std::size_t k = 1; k + 1 < FFigure.size(); ++k) {
                const TVec in = FFigure[k] - FMerged.back(), out = FFigure[k + 1] - FFigure[k];
                if (Cross(in, out) != 0 || DotProduct(in, out) <= 0)
                    FMerged.push_back(FFigure[k]);
            }
            FMerged.push_back(FFigure.back());
            // A closed figure keeps three corners at least: with two it would be an open line,
            // capped instead of joined at its ends.
            if (!closed || FMerged.size() >= 3)
                FFigure.swap(FMerged);
        }
        if (FFigure.empty())
            return;
        if (FFigure.size() == 1) {
            Dot(FFigure[0]);
            return;
        }
        if (FShape.Dashes.empty())
            Run(FFigure, closed && FFigure.size() > 2);
        else
            Dashed(closed);
    }

private:
    // A figure of no length: its caps meet, so a round pen leaves a disc and a square one a
    // square; a flat one leaves nothing.
    void Dot(TVec p) {
        if (FShape.Cap == PS_ENDCAP_ROUND) {
            Round(p);
        } else if (FShape.Cap == PS_ENDCAP_SQUARE) {
            const TVec x = FShape.M.Apply({FShape.Radius, 0}), y = FShape.M.Apply({0, FShape.Radius});
            const TVec square[] = {p - x - y, p + x - y, p + x + y, p - x + y};
            Polygon(square, 4);
        }
    }

    // The pen's direction along a device vector, as a logical unit vector.
    TVec Direction(TVec d) const {
        const TVec v = FShape.Inverse.Apply(d);
        const double length = std::hypot(v.X, v.Y);
        return v * (1 / length);
    }

    // A polyline of device points, joined at its corners and capped at its ends when open.
    void Run(const std::vector<TVec>& given, bool closed, const std::vector<TVec>* along = nullptr) {
        const std::size_t n = given.size();
        if (n == 1) {
            Dot(given[0]);
            return;
        }
        // A square cap lengthens the line at its end by the pen's half-width in whole pixels,
        // rounded as a band's sides are (BandSides), and the line is drawn on to there as if
        // flat: its end segments take the lengthened direction, as the platform's do.
        const std::vector<TVec>* run = &given;
        if (!closed && FShape.Cap == PS_ENDCAP_SQUARE) {
            FSquared = given;
            const auto lengthen = [this](TVec to, TVec outwards) {
                const TVec out = FShape.M.Apply(Direction(outwards) * FShape.Radius);
                const auto [one, other] = BandSides(out);
                return to + (DotProduct(one, out) > 0 ? one : other);
            };
            FSquared.front() = lengthen(given[0], along != nullptr ? (*along)[1] * -1 : given[0] - given[1]);
            FSquared.back() = lengthen(given[n - 1], along != nullptr ? (*along)[n - 1] : given[n - 1] - given[n - 2]);
            run = &FSquared;
        }
        const std::vector<TVec>& points = *run;
        const std::size_t segments = closed ? n : n - 1;
        const auto heading = [&](std::size_t i) {
            return Direction(along != nullptr ? (*along)[(i + 1) % n] : points[(i + 1) % n] - points[i]);
        };
        const TVec first = heading(0);
        TVec previous = first;
        for (std::size_t i = 0; i < segments && !FDone; ++i) {
            const TVec a = points[i], b = points[(i + 1) % n];
            const TVec u = i == 0 ? first : heading(i);
            if (i > 0)
                Join(a, previous, u);
            const auto [left, right] = BandSides(FShape.M.Apply(Perp(u) * FShape.Radius));
            const TVec body[] = {a + left, b + left, b + right, a + right};
            Polygon(body, 4);
            previous = u;
        }
        if (closed) {
            Join(points[0], previous, first);
        } else if (FShape.Cap == PS_ENDCAP_ROUND) {
            Round(points[0]);
            Round(points[n - 1]);
        }
    }

    // A segment's band reaches a whole number of pixels to each side, as the platform's does
    // (measured for widths 2 to 6 at ten angles): the side toward smaller x (toward smaller y
    // for a level segment) reaches the half-width rounded to nearest, the other the half-width
    // rounded away from the line, in each coordinate. So a band of width 3 across a pixel grid
    // is as wide as the platform's, and no wider on one side than the other by chance of angle.
    static std::pair<TVec, TVec> BandSides(TVec side) {
        if (side.X > 0 || (side.X == 0 && side.Y > 0))
            side = side * -1;
        const auto nearest = [](double v) { return std::floor(v + 0.5); };
        const auto away = [](double v) { return v > 0 ? std::ceil(v) : std::floor(v); };
        return {TVec{nearest(side.X), nearest(side.Y)}, TVec{away(-side.X), away(-side.Y)}};
    }

    // The corner at p between a segment going along `in` and the next going along `out`.
    void Join(TVec p, TVec in, TVec out) {
        if (FShape.Join == PS_JOIN_ROUND) {
            Round(p);
            return;
        }
        const double turn = Cross(in, out), along = DotProduct(in, out);
        if (std::fabs(turn) < 1e-12 && along > 0)
            return;  // straight on: the two bodies meet edge to edge
        // The outer side is the one the figure turns away from. The join meets the two bodies at
        // their own corners, which lie on whole pixels (see BandSides), as the platform's do:
        // on a staircase of pixel steps that makes a visible difference.
        const double outer = turn > 0 ? -1 : 1;
        // Those corners are not opposite each other about p, so each body's end is also filled
        // out to p, where the join's own triangle begins.
        const auto corner = [&](TVec u) {
            const TVec exact = FShape.M.Apply(Perp(u) * (outer * FShape.Radius));
            const auto [one, other] = BandSides(FShape.M.Apply(Perp(u) * FShape.Radius));
            const bool first = DotProduct(one, exact) > 0;
            const TVec end[] = {p, p + one, p + other};
            Polygon(end, 3);
            return p + (first ? one : other);
        };
        const TVec a = corner(in), b = corner(out);
        // The miter reaches where the outer walls cross, 1 / cos(φ/2) pen widths out for a turn
        // of φ, within the limit.
        const TVec din = FShape.M.Apply(in), dout = FShape.M.Apply(out);
        const double across = Cross(din, dout);
        if (FShape.Join == PS_JOIN_MITER && along > -1 + 1e-12 && std::fabs(across) > 1e-12 &&
            1 / std::sqrt((1 + along) / 2) <= FShape.MiterLimit) {
            // Its tip, too, lies on a whole pixel.
            TVec tip = a + din * (Cross(b - a, dout) / across);
            tip = TVec{std::floor(tip.X + 0.5), std::floor(tip.Y + 0.5)};
            const TVec miter[] = {p, a, tip, b};
            Polygon(miter, 4);
            return;
        }
        const TVec bevel[] = {p, a, b};
        Polygon(bevel, 3);
    }

    // Splits the figure into dashes, each an open run of its own; the pattern starts at the
    // figure's first point and runs on across its corners.
    void Dashed(bool closed) {
        const std::vector<double>& dashes = FShape.Dashes;
        const std::size_t n = FFigure.size();
        const std::size_t segments = closed ? n : n - 1;
        // Square caps reach a radius past each end of a dash, so a gap no longer than two radii
        // is covered by its neighbours' caps: on a straight stretch the dashes and such gaps make
        // one strip. Drawing it as one keeps a pen far wider than its pattern from cutting a
        // stroke into countless overlapping pieces.
        double widestGap = 0;
        for (std::size_t k = 1; k < dashes.size(); k += 2)
            widestGap = std::max(widestGap, dashes[k]);
        const bool bridges = FShape.Cap == PS_ENDCAP_SQUARE && widestGap <= 2 * FShape.Radius;
        std::size_t dash = 0;
        double left = dashes[0];
        bool bridging = false;  // a gap is being drawn over
        std::vector<TVec> current;
        std::vector<TVec> along;  // for each point of the dash, its segment's direction
        for (std::size_t i = 0; i < segments && !FDone; ++i) {
            const TVec a = FFigure[i], b = FFigure[(i + 1) % n];
            // The platform measures each segment in whole device pixels, the fraction dropped:
            // along a staircase of pixel steps, each diagonal step counts one pixel. Its dashes
            // lie along the segment by their true distance from its start, each end cut to a
            // whole pixel toward the start.
            const TVec logical = FShape.Inverse.Apply(b - a);
            const double device = std::hypot(b.X - a.X, b.Y - a.Y);
            const double full = std::hypot(logical.X, logical.Y);
            const double length = device >= 1 ? std::floor(device) * (full / device) : 0;
            FLastStart = length > 0 ? DashPoint(a, b, length, full) : a;
            double t = 0;
            // Whole periods before the segment comes near the cull box, and after it has left it,
            // are passed over in one step each: only the dashes that may show are worked out.
            // A strip of bridged gaps runs on over them the same way.
            double enter = 0, leave = length;
            Reach(a, b, length, enter, leave);
            std::size_t onSegment = current.empty() ? 0 : 1;  // the current dash's points on this segment
            // Points within one segment lie on one line: the strip needs only its ends.
            const auto extend = [&](TVec p) {
                if (onSegment++ >= 2) {
                    current.back() = p;
                } else {
                    current.push_back(p);
                    along.push_back(b - a);
                }
            };
            while (t < length && Spend(1)) {
                if (current.empty() && (t < enter || t > leave)) {
                    const double target = t < enter ? enter : length;
                    t += std::floor((target - t) / FPeriod) * FPeriod;
                } else if (bridges && !current.empty() && length - t > 2 * FPeriod) {
                    // Every gap before the last period is drawn over: the strip runs on to there.
                    t += (std::floor((length - t) / FPeriod) - 1) * FPeriod;
                    extend(a + (b - a) * (t / full));
                }
                const double step = std::min(left, length - t);
                const bool drawn = dash % 2 == 0 || bridging;
                if (drawn && current.empty()) {
                    current.push_back(DashPoint(a, b, t, full));
                    along.push_back(b - a);
                    onSegment = 1;
                    // A dash that starts on a corner turns it, as the platform's does: the
                    // corner's join is drawn with it, and the pen's round dot there whatever
                    // the join.
                    if (t == 0 && i > 0) {
                        Join(a, Direction(a - FFigure[(i + n - 1) % n]), Direction(b - a));
                        if (FShape.Join != PS_JOIN_ROUND)
                            Round(a);
                    }
                }
                t += step;
                left -= step;
                if (drawn && step > 0)
                    extend(t >= length ? b : DashPoint(a, b, t, full));
                if (left <= 0) {
                    if (dash % 2 == 0) {
                        const double gap = dashes[(dash + 1) % dashes.size()];
                        bridging = bridges && t + gap < length;
                        if (!bridging) {
                            EmitDash(current, along);
                            current.clear();
                            along.clear();
                        }
                    } else {
                        bridging = false;
                    }
                    dash = (dash + 1) % dashes.size();
                    left = dashes[dash];
                }
            }
        }
        if (!current.empty() && !FDone)
            EmitDash(current, along);
        // A dash that begins exactly where the pattern leaves an open figure's last segment
        // runs on from that whole pixel to the figure's end, as the platform's does, caps and
        // all: a round or square pen leaves its dot there.
        else if (!closed && !FDone && current.empty() && dash % 2 == 0 && left == dashes[dash] && dashes[dash] > 0) {
            current.push_back(FLastStart);
            current.push_back(FFigure.back());
            const TVec last = FFigure.back() - FFigure[n - 2];
            along.assign(2, last);
            EmitDash(current, along);
        }
    }

    // The point t of the way along from a to b, whose length is full, cut to a whole pixel
    // toward a. Multiplied before it is divided, a whole number of pixels stays whole.
    static TVec DashPoint(TVec a, TVec b, double t, double full) {
        const double dx = (b.X - a.X) * t / full, dy = (b.Y - a.Y) * t / full;
        return TVec{a.X + std::trunc(dx), a.Y + std::trunc(dy)};
    }

    // A dash's pieces take the direction of the segment they lie on, not of their ends cut to
    // whole pixels: their bands reach to the sides as the whole segment's does.
    void EmitDash(const std::vector<TVec>& points, const std::vector<TVec>& directions) {
        // Neighbours that coincide (a dash ending on a corner) would give a segment of no length.
        FClean.clear();
        FCleanAlong.clear();
        for (std::size_t k = 0; k < points.size(); ++k)
            if (FClean.empty() || points[k].X != FClean.back().X || points[k].Y != FClean.back().Y) {
                FClean.push_back(points[k]);
                FCleanAlong.push_back(directions[k]);
            }
        Run(FClean, false, &FCleanAlong);
    }

    // The stretch [enter, leave] of a segment (in logical lengths from a) within which a piece
    // may reach the cull box, grown by how far the pen reaches; all of it without a cull box.
    void Reach(TVec a, TVec b, double length, double& enter, double& leave) const {
        enter = 0;
        leave = length;
        if (FCull == nullptr)
            return;
        // Only whole dashes inside the segment are passed over, and such a dash has no join: its
        // body and caps reach at most a side plus a square cap's length from the line, each no
        // longer than the pen's largest device radius. A miter belongs to a corner, which is an
        // end of the segment and is never passed over.
        const double reach = 2 * FShape.RoundDeviceRadius + 2;
        const double d[2] = {b.X - a.X, b.Y - a.Y};
        const double lo[2] = {double(FCull->X0) - reach - a.X, double(FCull->Y0) - reach - a.Y};
        const double hi[2] = {double(FCull->X1) + reach - a.X, double(FCull->Y1) + reach - a.Y};
        double t0 = 0, t1 = 1;  // Liang–Barsky, in parameters of the segment
        for (int k = 0; k < 2; ++k) {
            if (d[k] == 0) {
                if (lo[k] > 0 || hi[k] < 0)
                    t0 = 1, t1 = 0;
                continue;
            }
            double from = lo[k] / d[k], to = hi[k] / d[k];
            if (from > to)
                std::swap(from, to);
            t0 = std::max(t0, from);
            t1 = std::min(t1, to);
        }
        // In the pen's own logical frame a piece of a dash is the dash's stretch of the line grown
        // by the cap's radius at its ends (nothing for flat caps), and the pen's radius to each side,
        // however the transform slants it on the device: only dashes near the stretch of the line
        // across from the box may show, however wide the pen.
        if (length > 0 && t0 <= t1) {
            const TVec u = FShape.Inverse.Apply(b - a) * (1 / length);
            const double cap = FShape.Cap == PS_ENDCAP_FLAT ? 0 : FShape.Radius;
            const double margin = 2 / FShape.Smallest;
            double lowest = INFINITY, highest = -INFINITY;
            for (const double x : {double(FCull->X0) - 1, double(FCull->X1) + 1})
                for (const double y : {double(FCull->Y0) - 1, double(FCull->Y1) + 1}) {
                    const double at = DotProduct(FShape.Inverse.Apply(TVec{x - a.X, y - a.Y}), u);
                    lowest = std::min(lowest, at);
                    highest = std::max(highest, at);
                }
            t0 = std::max(t0, (lowest - cap - margin) / length);
            t1 = std::min(t1, (highest + cap + margin) / length);
        }
        if (t0 > t1) {
            enter = length;  // nothing of it shows: every whole period may be passed over
            leave = -1;
            return;
        }
        enter = t0 * length;
        leave = t1 * length;
    }

    // A round cap or join centred on p.
    void Round(TVec p) {
        if (FShape.RoundExact) {
            const long long left = Pixel(p.X) - FShape.RoundWidth / 2, top = Pixel(p.Y) - FShape.RoundHeight / 2;
            if (FCull != nullptr && (left >= FCull->X1 || left + FShape.RoundWidth <= FCull->X0 ||
                                     top >= FCull->Y1 || top + FShape.RoundHeight <= FCull->Y0))
                return;
            if (!Spend(4 * (long long)FShape.RoundRects.size()))
                return;
            if (OnDot) {
                OnDot(left, top);
                return;
            }
            // One polygon, down the rows' right ends and up their left ends: the dot is crossed
            // twice by every row, so it is one convex piece rather than a piece per row.
            FCorners.clear();
            for (const RECT& r : FShape.RoundRects) {
                FCorners.push_back(TScanPoint{(left + r.right) * kFix, (top + r.top) * kFix});
                FCorners.push_back(TScanPoint{(left + r.right) * kFix, (top + r.bottom) * kFix});
            }
            for (auto r = FShape.RoundRects.rbegin(); r != FShape.RoundRects.rend(); ++r) {
                FCorners.push_back(TScanPoint{(left + r->left) * kFix, (top + r->bottom) * kFix});
                FCorners.push_back(TScanPoint{(left + r->left) * kFix, (top + r->top) * kFix});
            }
            AddCorners(FCorners, false);
            return;
        }
        // Enough corners to keep the chords within about a quarter pixel of the curve.
        const double reach = FShape.RoundDeviceRadius;
        const double reachX = FShape.Radius * std::hypot(FShape.M.A, FShape.M.B);
        const double reachY = FShape.Radius * std::hypot(FShape.M.C, FShape.M.D);
        if (FCull != nullptr && (p.X + reachX < double(FCull->X0) - 1 || p.X - reachX > double(FCull->X1) + 1 ||
                                 p.Y + reachY < double(FCull->Y0) - 1 || p.Y - reachY > double(FCull->Y1) + 1))
            return;
        if (FRoundOffsets.empty()) {
            const int corners = (int)std::clamp(std::ceil(3.2 * std::sqrt(reach)), 16.0, double(kMaxRoundCorners));
            for (int k = 0; k < corners; ++k) {
                const double angle = 2 * std::numbers::pi * k / corners;
                FRoundOffsets.push_back(FShape.M.Apply({FShape.Radius * std::cos(angle), FShape.Radius * std::sin(angle)}));
            }
        }
        // The polygon holds the ellipse shrunk by cos(π / corners), its corners' inner radius: the
        // box lies inside when its corners do, in the pen's own logical space, with a pixel to
        // spare for the corners' rounding.
        if (FCull != nullptr) {
            const double inner = FShape.Radius * std::cos(std::numbers::pi / double(FRoundOffsets.size())) -
                                 1 / FShape.Smallest;
            bool covers = true;
            for (const double x : {double(FCull->X0), double(FCull->X1 - 1)})
                for (const double y : {double(FCull->Y0), double(FCull->Y1 - 1)}) {
                    const TVec v = FShape.Inverse.Apply(TVec{x, y} - p);
                    covers = covers && std::hypot(v.X, v.Y) < inner;
                }
            if (covers) {
                CoverAll();
                return;
            }
        }
        FRound.clear();
        for (const TVec& offset : FRoundOffsets)
            FRound.push_back(p + offset);
        Polygon(FRound.data(), FRound.size(), false);
    }

    void Polygon(const TVec* corners, std::size_t count, bool mayCover = true) {
        if (!Spend((long long)count))
            return;
        FCorners.clear();
        for (std::size_t k = 0; k < count; ++k)
            FCorners.push_back(TScanPoint{Corner(corners[k].X), Corner(corners[k].Y)});
        AddCorners(FCorners, mayCover);
    }

    // Adds a polygon of whole-pixel corners, wound one way (so overlaps add up under the nonzero
    // rule instead of cancelling); one of no area, or wholly outside the cull box, is dropped. A
    // convex one that may cover the whole box is asked whether it does.
    void AddCorners(const std::vector<TScanPoint>& corners, bool mayCover = true) {
        __int128 area = 0;
        long long x0 = corners[0].X, x1 = x0, y0 = corners[0].Y, y1 = y0;
        for (std::size_t k = 0; k < corners.size(); ++k) {
            const TScanPoint& a = corners[k];
            const TScanPoint& b = corners[(k + 1) % corners.size()];
            area += __int128(a.X) * b.Y - __int128(b.X) * a.Y;
            x0 = std::min(x0, a.X);
            x1 = std::max(x1, a.X);
            y0 = std::min(y0, a.Y);
            y1 = std::max(y1, a.Y);
        }
        if (area == 0)
            return;
        if (FCull != nullptr && (x0 >= FCull->X1 * kFix || x1 <= FCull->X0 * kFix || y0 >= FCull->Y1 * kFix ||
                                 y1 <= FCull->Y0 * kFix))
            return;
        if (FCull != nullptr && corners.size() <= 4 && Misses(corners, area > 0 ? 1 : -1))
            return;
        if (mayCover && FCull != nullptr && x0 < FCull->X0 * kFix && x1 > (FCull->X1 - 1) * kFix &&
            y0 < FCull->Y0 * kFix && y1 > (FCull->Y1 - 1) * kFix && Covers(corners, area > 0 ? 1 : -1)) {
            CoverAll();
            return;
        }
        const std::size_t first = FPoints.size();
        if (area > 0)
            FPoints.insert(FPoints.end(), corners.begin(), corners.end());
        else
            FPoints.insert(FPoints.end(), corners.rbegin(), corners.rend());
        FRuns.push_back(TPolygonRun{first, corners.size()});
        if (OnBatch && FPoints.size() >= kBatchPoints && !OnBatch())
            FDone = true;
    }

    // One piece holds the whole cull box: the box alone stands for the stroke.
    void CoverAll() {
        const long long left = (FCull->X0 - 1) * kFix, right = FCull->X1 * kFix;
        const long long top = (FCull->Y0 - 1) * kFix, bottom = FCull->Y1 * kFix;
        FPoints.clear();
        FRuns.clear();
        FPoints.insert(FPoints.end(), {{left, top}, {left, bottom}, {right, bottom}, {right, top}});
        FRuns.push_back(TPolygonRun{0, 4});
        FDone = true;
    }

    // Counts work against the budget; false once the widening is over.
    bool Spend(long long units) {
        FWork += units;
        if (FWork > kMaxWidenWork)
            FDone = true;
        return !FDone;
    }

    // Whether a small piece wound `sign` is convex and leaves every sample point of the cull box
    // outside one of its edges: then none of them is in it. A slanting strip far wider than the
    // box has a box of its own that takes in the cull box even when it passes the box by.
    bool Misses(const std::vector<TScanPoint>& corners, int sign) const {
        const std::size_t n = corners.size();
        for (std::size_t k = 0; k < n; ++k) {
            const TScanPoint& a = corners[k];
            const TScanPoint& b = corners[(k + 1) % n];
            const TScanPoint& c = corners[(k + 2) % n];
            if (sign * (__int128(b.X - a.X) * (c.Y - b.Y) - __int128(b.Y - a.Y) * (c.X - b.X)) < 0)
                return false;  // not convex: left to the fill
        }
        const long long xs[2] = {FCull->X0 * kFix, (FCull->X1 - 1) * kFix};
        const long long ys[2] = {FCull->Y0 * kFix, (FCull->Y1 - 1) * kFix};
        for (std::size_t k = 0; k < n; ++k) {
            const TScanPoint& a = corners[k];
            const TScanPoint& b = corners[(k + 1) % n];
            bool outside = true;
            for (long long x : xs)
                for (long long y : ys)
                    outside = outside && sign * (__int128(b.X - a.X) * (y - a.Y) - __int128(b.Y - a.Y) * (x - a.X)) < 0;
            if (outside)
                return true;
        }
        return false;
    }

    // Whether a convex piece wound `sign` holds every sample point of the cull box strictly
    // inside. Every piece the widener makes is convex, so the box's four corners decide.
    bool Covers(const std::vector<TScanPoint>& corners, int sign) const {
        const long long xs[2] = {FCull->X0 * kFix, (FCull->X1 - 1) * kFix};
        const long long ys[2] = {FCull->Y0 * kFix, (FCull->Y1 - 1) * kFix};
        for (std::size_t k = 0; k < corners.size(); ++k) {
            const TScanPoint& a = corners[k];
            const TScanPoint& b = corners[(k + 1) % corners.size()];
            for (long long x : xs)
                for (long long y : ys)
                    if (sign * (__int128(b.X - a.X) * (y - a.Y) - __int128(b.Y - a.Y) * (x - a.X)) <= 0)
                        return false;
        }
        return true;
    }

    const TWideShape& FShape;
    const TClip* FCull;
    std::vector<TScanPoint>& FPoints;
    std::vector<TPolygonRun>& FRuns;
    std::vector<TVec> FFigure;
    std::vector<TVec> FMerged;
    std::vector<TVec> FSquared;  // an open run with its square caps' ends
    std::vector<TVec> FClean, FCleanAlong;  // a dash's points without repeats, and their directions
    TVec FLastStart{0, 0};  // where the pattern leaves the segment last dashed, to a whole pixel
    std::vector<TScanPoint> FCorners;
    std::vector<TVec> FRound;
    std::vector<TVec> FRoundOffsets;  // a polygonal round shape's corners around its centre
    double FPeriod = 0;
    // The widening has stopped: a batch was refused, or one piece covers the whole cull box, which
    // then stands alone in the points as a rectangle (every other piece would only paint its
    // pixels again).
    bool FDone = false;
    long long FWork = 0;
};

}  // namespace

bool StrokeWide(const TDCObj& dc, TBitmapObj& surface, const std::vector<TScanPoint>& points,
                const std::vector<TFigure>& figures) {
    TWideShape shape;
    TBrushObj solid;
    const TBrushObj* brush = nullptr;
    if (!ResolveWide(dc, shape, brush, solid))
        return false;
    if (brush == nullptr || brush->Log.lbStyle == BS_NULL)
        return true;  // a hollow brush strokes nothing
    TFillStage fill(dc, surface, brush, Rop2ToRop3(dc.Rop2));
    const TClip bounds = fill.Clipper().Bounds();
    if (bounds.Empty())
        return true;
    std::vector<TScanPoint> outline;
    std::vector<TPolygonRun> runs;
    TWidener widener(shape, &bounds, outline, runs);
    long long work = 0;
    const auto paint = [&] {
        const auto spans = [&fill](long long y, const std::vector<TSpan>& row) { fill.Spans(y, y + 1, row); };
        const bool painted = (fill.Overpaints() && FillConvexPieces(outline, runs, bounds.Y0, bounds.Y1, work, spans)) ||
                             FillFixed(outline, runs, bounds.Y0, bounds.Y1, work, spans);
        outline.clear();
        runs.clear();
        return painted;
    };
    widener.OnBatch = paint;
    if (fill.Overpaints() && shape.RoundExact)
        widener.OnDot = [&fill, &shape](long long left, long long top) {
            for (const RECT& r : shape.RoundRects)
                fill.Box(TClip{left + r.left, left + r.right, top + r.top, top + r.bottom});
        };
    for (const TFigure& figure : figures)
        widener.Figure(points, figure);
    if (!outline.empty())
        paint();
    if (widener.OverBudget())
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return true;
}

TWidenResult WidenFigures(const TDCObj& dc, const std::vector<TScanPoint>& points, const std::vector<TFigure>& figures,
                          std::vector<TScanPoint>& outline, std::vector<TFigure>& outlineFigures) {
    TWideShape shape;
    TBrushObj solid;
    const TBrushObj* brush = nullptr;
    outline.clear();
    outlineFigures.clear();
    if (!ResolveWide(dc, shape, brush, solid))
        return TWidenResult::NotWide;
    std::vector<TPolygonRun> runs;
    TWidener widener(shape, nullptr, outline, runs);
    bool tooLarge = false;
    widener.OnBatch = [&] {
        if (outline.size() > kMaxOutlinePoints) {
            tooLarge = true;
            outline.clear();
            runs.clear();
        }
        return !tooLarge;
    };
    for (const TFigure& figure : figures) {
        widener.Figure(points, figure);
        if (tooLarge || widener.OverBudget())
            return TWidenResult::TooLarge;
    }
    // The caller gets whole device pixels.
    for (TScanPoint& p : outline)
        p = TScanPoint{-(long long)CeilDiv(-(p.X + kFix / 2), kFix), -(long long)CeilDiv(-(p.Y + kFix / 2), kFix)};
    outlineFigures.reserve(runs.size());
    for (const TPolygonRun& run : runs)
        outlineFigures.push_back(TFigure{run.First, run.Count, true});
    return TWidenResult::Done;
}

TFillBesideStroke::TFillBesideStroke(const TDCObj& dc, TFillStage& stage, const std::vector<TScanPoint>& points,
                                     const std::vector<TFigure>& figures)
    : FStage(stage) {
    const TClip bounds = stage.Clipper().Bounds();
    TWideShape shape;
    TBrushObj solid;
    const TBrushObj* brush = nullptr;
    if (figures.empty() || stage.Overpaints() || bounds.Empty() || !ResolveWide(dc, shape, brush, solid))
        return;
    FTop = bounds.Y0;
    FStroke.resize(std::size_t(bounds.Y1 - bounds.Y0));
    std::vector<TScanPoint> outline;
    std::vector<TPolygonRun> runs;
    TWidener widener(shape, &bounds, outline, runs);
    long long work = 0;
    widener.OnBatch = [&] {
        const bool done = FillFixed(outline, runs, bounds.Y0, bounds.Y1, work,
                                    [this](long long y, const std::vector<TSpan>& row) {
                                        auto& mine = FStroke[std::size_t(y - FTop)];
                                        mine.insert(mine.end(), row.begin(), row.end());
                                    });
        outline.clear();
        runs.clear();
        return done;
    };
    for (const TFigure& figure : figures)
        widener.Figure(points, figure);
    if (!outline.empty())
        widener.OnBatch();
    // Batches overlap where segments, joins and caps meet: each row's spans are merged.
    for (std::vector<TSpan>& row : FStroke) {
        if (row.size() < 2)
            continue;
        std::sort(row.begin(), row.end(), [](const TSpan& a, const TSpan& b) { return a.Left < b.Left; });
        std::size_t kept = 0;
        for (std::size_t i = 1; i < row.size(); ++i) {
            if (row[i].Left <= row[kept].Right)
                row[kept].Right = std::max(row[kept].Right, row[i].Right);
            else
                row[++kept] = row[i];
        }
        row.resize(kept + 1);
    }
}

void TFillBesideStroke::Spans(long long top, long long bottom, const std::vector<TSpan>& spans) {
    if (FStroke.empty()) {
        FStage.Spans(top, bottom, spans);
        return;
    }
    for (long long y = top; y < bottom; ++y)
        for (const TSpan& span : spans)
            Span(y, span.Left, span.Right);
}

void TFillBesideStroke::Span(long long y, long long x0, long long x1) {
    if (FStroke.empty() || y < FTop || y >= FTop + (long long)FStroke.size()) {
        FStage.Span(y, x0, x1);
        return;
    }
    // The row's stroke spans are ordered and apart: the fill takes the gaps between them.
    for (const TSpan& cut : FStroke[std::size_t(y - FTop)]) {
        if (cut.Right <= x0)
            continue;
        if (cut.Left >= x1)
            break;
        if (cut.Left > x0)
            FStage.Span(y, x0, cut.Left);
        x0 = std::max(x0, cut.Right);
        if (x0 >= x1)
            return;
    }
    if (x0 < x1)
        FStage.Span(y, x0, x1);
}

void TFillBesideStroke::Box(const TClip& box) {
    if (FStroke.empty()) {
        FStage.Box(box);
        return;
    }
    for (long long y = box.Y0; y < box.Y1; ++y)
        Span(y, box.X0, box.X1);
}

bool PenReach(const TDCObj& dc, long long& nearX, long long& farX, long long& nearY, long long& farY) {
    nearX = farX = nearY = farY = 0;
    TObject* object = Find(dc.Pen);
    if (object == nullptr || object->Kind != TKind::Pen ||
        (static_cast<const TPenObj*>(object)->Log.lopnStyle & PS_STYLE_MASK) == PS_NULL)
        return false;
    TWideShape shape;
    TBrushObj solid;
    const TBrushObj* brush = nullptr;
    if (!ResolveWide(dc, shape, brush, solid))
        return true;  // drawn one pixel wide, on the line itself
    if (!shape.AxisAligned)
        return false;
    // The stroke of a w-pixel pen reaches w / 2 pixels up or left of its line and (w − 1) / 2
    // down or right.
    nearX = shape.RoundWidth / 2;
    farX = (shape.RoundWidth - 1) / 2;
    nearY = shape.RoundHeight / 2;
    farY = (shape.RoundHeight - 1) / 2;
    return true;
}

bool InsideFrameInsets(const TDCObj& dc, long long& nearX, long long& farX, long long& nearY, long long& farY) {
    TObject* object = Find(dc.Pen);
    if (object == nullptr || object->Kind != TKind::Pen ||
        (static_cast<const TPenObj*>(object)->Log.lopnStyle & PS_STYLE_MASK) != PS_INSIDEFRAME ||
        !PenReach(dc, nearX, farX, nearY, farY)) {
        nearX = farX = nearY = farY = 0;
        return false;
    }
    // The figure moves in by the stroke's reach, so that the stroke stays in the frame.
    return true;
}

}  // namespace detail

BOOL SetMiterLimit(HDC handle, FLOAT limit, FLOAT* previous) {
    TLock lock(LayerMutex());
    auto* dc = Lookup<TDCObj>(handle);
    if (dc == nullptr)
        return FALSE;
    if (!std::isfinite(limit) || limit < 1.0f) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    // Written as the float's bits, as the platform's recorder writes it.
    if (Recording(*dc) && !RecordValue(*dc, EMR_SETMITERLIMIT, std::bit_cast<DWORD>(limit)))
        return FALSE;
    if (previous != nullptr)
        *previous = dc->MiterLimit;
    dc->MiterLimit = limit;
    return TRUE;
}

BOOL GetMiterLimit(HDC handle, FLOAT* limit) {
    TLock lock(LayerMutex());
    auto* dc = Lookup<TDCObj>(handle);
    if (dc == nullptr)
        return FALSE;
    if (limit == nullptr) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    *limit = dc->MiterLimit;
    return TRUE;
}

}  // namespace gdi
