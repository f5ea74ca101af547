// Curves and rounded shapes: Ellipse, RoundRect, Arc, ArcTo, AngleArc, Pie, Chord with the arc
// direction, and Bézier curves (PolyBezier, PolyBezierTo, PolyDraw).
//
// Without a turning world transform a shape is worked in device pixels: its pixels are the rows
// of TRoundRows (the sampler elliptic regions use), its outline is the chain of those rows'
// boundary pixels handed to the stroker as a figure of neighbouring points, so a cosmetic pen
// lights exactly the boundary and a wide pen strokes the polyline through it, as the platform
// does. A turning transform takes the logical curve instead, flattened and carried through the
// transforms point by point. Either way
// pieces that lie wholly outside the clip are skipped in one step, so a curve far larger than the
// surface costs what the surface shows.
#include "platform/gdi/Recorder.h"
#include "platform/gdi/Stroke.h"

#include <algorithm>
#include <climits>
#include <cmath>

namespace gdi {

using namespace detail;

namespace {

/// Point arrays beyond this are refused before any point is read.
constexpr long long kMaxCurveInputPoints = 1LL << 24;
/// The points one call may flatten its curves into; beyond it the call fails (not enough memory).
constexpr std::size_t kMaxCurvePoints = std::size_t(1) << 24;
/// How far (pixels) a flattened arc may stray from the curve.
constexpr double kFlatness = 0.25;
constexpr double kPi = 3.14159265358979323846;

BOOL Refuse(DWORD error) {
    SetLastError(error);
    return FALSE;
}

// logical → device as one affine map in double precision: x' = A·x + C·y + E, y' = B·x + D·y + F.
struct TAffine {
    double A = 1, B = 0, C = 0, D = 1, E = 0, F = 0;
    double X(double x, double y) const { return A * x + C * y + E; }
    double Y(double x, double y) const { return B * x + D * y + F; }
    double Det() const { return A * D - B * C; }
};

TAffine DeviceAffine(const TDCObj& dc) {
    double m11 = 1, m12 = 0, m21 = 0, m22 = 1, mdx = 0, mdy = 0;
    if (dc.GraphicsMode == GM_ADVANCED) {
        m11 = dc.World.eM11, m12 = dc.World.eM12, m21 = dc.World.eM21, m22 = dc.World.eM22;
        mdx = dc.World.eDx, mdy = dc.World.eDy;
    }
    const double sx = double(dc.ViewportExt.cx) / dc.WindowExt.cx;
    const double sy = double(dc.ViewportExt.cy) / dc.WindowExt.cy;
    TAffine t;
    t.A = m11 * sx, t.C = m21 * sx, t.E = (mdx - dc.WindowOrg.x) * sx + dc.ViewportOrg.x;
    t.B = m12 * sy, t.D = m22 * sy, t.F = (mdy - dc.WindowOrg.y) * sy + dc.ViewportOrg.y;
    if (dc.Layout & LAYOUT_RTL) {
        t.A = -t.A, t.C = -t.C;
        t.E = double(LayoutWidth(dc)) - 1.0 - t.E;
    }
    return t;
}

long long RoundDevice(double v) {
    if (!(v > -double(kDeviceLimit)))
        return -kDeviceLimit;
    if (!(v < double(kDeviceLimit)))
        return kDeviceLimit;
    return (long long)std::floor(v + 0.5);
}

bool Misses(const TClip& guard, double x0, double y0, double x1, double y1) {
    return guard.Empty() || std::max(x0, x1) < double(guard.X0) || std::min(x0, x1) >= double(guard.X1) ||
           std::max(y0, y1) < double(guard.Y0) || std::min(y0, y1) >= double(guard.Y1);
}

// Collects device points, dropping repeats, up to kMaxCurvePoints.
class TPointSink {
public:
    explicit TPointSink(std::vector<TScanPoint>& out) : FOut(out) {}
    void Add(long long x, long long y) {
        if (!FOut.empty() && FOut.back().X == x && FOut.back().Y == y)
            return;
        if (FOut.size() >= kMaxCurvePoints) {
            FFull = true;
            return;
        }
        FOut.push_back(TScanPoint{x, y});
    }
    void Add(double x, double y) { Add(RoundDevice(x), RoundDevice(y)); }
    bool Full() const { return FFull; }
    std::size_t Size() const { return FOut.size(); }

private:
    std::vector<TScanPoint>& FOut;
    bool FFull = false;
};

// The clip's box widened by two pixels: what lies outside it cannot reach a pixel the clip lets
// through, whatever a neighbouring segment does.
TClip Guard(const TDCObj& dc, const TBitmapObj& surface) {
    TClipper clipper(dc, surface);
    TClip box = clipper.Bounds();
    if (box.Empty())
        return box;
    return TClip{box.X0 - 2, box.X1 + 2, box.Y0 - 2, box.Y1 + 2};
}

// ---- the boundary chain of a shape in device pixels --------------------------------------------

long long RightOf(const TSpan& s) { return s.Left < s.Right ? s.Right : LLONG_MIN; }
long long LeftOf(const TSpan& s) { return s.Left < s.Right ? s.Left : LLONG_MAX; }

// The boundary run of row y of a TRoundRows shape on one side of the column mid (the right side
// takes mid itself), as [Left, Right] inclusive; Left > Right when the side has none. Its pixels
// are those whose neighbour across the row's end, or above or below, is outside.
TSpan OutlineRun(const TRoundRows& rows, long long mid, long long y, bool right) {
    const TSpan row = rows.Row(y), up = rows.Row(y - 1), down = rows.Row(y + 1);
    if (row.Left >= row.Right)
        return TSpan{1, 0};
    if (right) {
        const long long b = row.Right - 1;
        if (b < mid)
            return TSpan{1, 0};
        return TSpan{std::min(b, std::max(mid, std::min(RightOf(up), RightOf(down)))), b};
    }
    const long long a = row.Left;
    if (mid - 1 < a)
        return TSpan{1, 0};
    const long long inner = std::max(LeftOf(up), LeftOf(down));
    return TSpan{a, std::max(a, std::min(mid - 1, inner == LLONG_MAX ? LLONG_MAX : inner - 1))};
}

// Walks the boundary pixels of a TRoundRows shape counter-clockwise as seen on the surface: up
// the right side from the bottom row, across the top, down the left side. On each row a side's
// boundary is one run (the pixels whose right or left neighbour, or the pixel above or below,
// is outside), so the chain is a list of runs joined by single steps. A widest middle row that
// both its neighbours leave by its inner end is walked out and back.
class TChain {
public:
    TChain(const TRoundRows& rows, const TClip& guard, std::vector<TScanPoint>& out)
        : FRows(rows), FGuard(guard), FSink(out) {
        FMid = rows.Left() + (rows.Right() - rows.Left()) / 2;
        const long long h = rows.Bottom() - rows.Top();
        FUpperEnd = rows.Top() + h / 2;
        FLowerStart = rows.Top() + (h + 1) / 2;
    }

    /// A pixel of the chain that must become a point of its own (an arc's end); its index in
    /// the output is Target(k) after Build.
    void AddTarget(const TScanPoint& p, bool right) { FTargets.push_back(TTarget{p, right, SIZE_MAX}); }
    std::size_t Target(std::size_t k) const { return FTargets[k].Index; }

    /// The boundary pixel an arc from the centre through (x, y) (device, edges as coordinates)
    /// meets; right tells the side whose run holds it.
    TScanPoint Meet(double x, double y, bool& right) const {
        const double cx = (double(FRows.Left()) + double(FRows.Right())) / 2;
        const double cy = (double(FRows.Top()) + double(FRows.Bottom())) / 2;
        const double a = (double(FRows.Right()) - double(FRows.Left())) / 2;
        const double b = (double(FRows.Bottom()) - double(FRows.Top())) / 2;
        double dx = x - cx, dy = y - cy;
        if (dx == 0 && dy == 0)
            dx = 1;
        const double t = 1 / std::sqrt((dx / a) * (dx / a) + (dy / b) * (dy / b));
        const double px = cx + t * dx, py = cy + t * dy;
        const long long row = std::clamp((long long)std::floor(py), FRows.Top(), FRows.Bottom() - 1);
        right = px >= cx;
        TSpan run = Run(row, right);
        if (run.Left > run.Right) {
            right = !right;
            run = Run(row, right);
        }
        return TScanPoint{std::clamp((long long)std::floor(px), run.Left, run.Right), row};
    }

    bool Build() {
        const long long top = FRows.Top(), bottom = FRows.Bottom();
        if (FLowerStart < bottom)
            Walk(true, bottom - 1, FLowerStart, true);
        if (FUpperEnd < FLowerStart)
            Row(true, FUpperEnd, TPlace::Middle);
        if (top < FUpperEnd)
            Walk(true, FUpperEnd - 1, top, false);
        if (top < FUpperEnd)
            Walk(false, top, FUpperEnd - 1, false);
        if (FUpperEnd < FLowerStart)
            Row(false, FUpperEnd, TPlace::Middle);
        if (FLowerStart < bottom)
            Walk(false, FLowerStart, bottom - 1, true);
        return !FSink.Full();
    }

private:
    enum class TPlace { Upper, Middle, Lower };
    struct TTarget {
        TScanPoint Point;
        bool Right;
        std::size_t Index;
    };

    TSpan Run(long long y, bool right) const { return OutlineRun(FRows, FMid, y, right); }

    // Runs of the lower half are walked left to right on both sides, those of the upper half
    // right to left; the last pixel walked joins the next row.
    TScanPoint Exit(bool right, long long y, bool lower) const {
        const TSpan run = Run(y, right);
        return TScanPoint{lower ? run.Right : run.Left, y};
    }

    bool HasTarget(bool right, long long y0, long long y1) const {
        for (const TTarget& t : FTargets)
            if (t.Right == right && t.Point.Y >= std::min(y0, y1) && t.Point.Y <= std::max(y0, y1))
                return true;
        return false;
    }

    void Emit(const TScanPoint& p) {
        FSink.Add(p.X, p.Y);
        FHasLast = true;
        FLast = p;
    }

    // Emits the pixels between a and b of one row (a and b included), with any target there.
    void Leg(bool right, long long y, long long a, long long b) {
        Emit(TScanPoint{a, y});
        // Targets go out in walking order: an arc whose two ends share a run (a nearly whole
        // turn, or a sliver) must find its end after its start.
        std::vector<TTarget*> here;
        for (TTarget& t : FTargets)
            if (t.Right == right && t.Point.Y == y && t.Index == SIZE_MAX && t.Point.X >= std::min(a, b) &&
                t.Point.X <= std::max(a, b))
                here.push_back(&t);
        std::sort(here.begin(), here.end(), [a](const TTarget* p, const TTarget* q) {
            return std::llabs(p->Point.X - a) < std::llabs(q->Point.X - a);
        });
        for (TTarget* t : here) {
            Emit(t->Point);
            t->Index = FSink.Size() - 1;
        }
        Emit(TScanPoint{b, y});
    }

    void Row(bool right, long long y, TPlace place) {
        const TSpan run = Run(y, right);
        if (run.Left > run.Right)
            return;
        switch (place) {
        case TPlace::Lower: Leg(right, y, run.Left, run.Right); break;
        case TPlace::Upper: Leg(right, y, run.Right, run.Left); break;
        case TPlace::Middle:
            if (right) {
                Leg(right, y, run.Left, run.Right);
                Emit(TScanPoint{run.Left, y});
            } else {
                Leg(right, y, run.Right, run.Left);
                Emit(TScanPoint{run.Right, y});
            }
            break;
        }
    }

    // Rows from y0 to y1 (either way) of one side within one half.
    void Walk(bool right, long long y0, long long y1, bool lower) {
        const TPlace place = lower ? TPlace::Lower : TPlace::Upper;
        const TScanPoint exit = Exit(right, y1, lower);
        // A chain whose boxes keep meeting the guard, or whose side has no pixels to start from
        // (a shape thinner than a pixel over millions of rows), is followed only so far: past
        // the budget its runs are joined straight, far more walks than any clip needs.
        if (++FWalks > kMaxWalks) {
            if (FHasLast)
                Emit(exit);
            return;
        }
        if (FHasLast && !HasTarget(right, y0, y1) &&
            Misses(FGuard, double(FLast.X), double(FLast.Y), double(exit.X), double(exit.Y))) {
            // The rows' runs lie between the last pixel and this exit, all outside the guard.
            Emit(exit);
            return;
        }
        if (y0 == y1) {
            Row(right, y0, place);
            return;
        }
        const long long step = y1 > y0 ? 1 : -1;
        const long long half = (y1 - y0) / 2;
        Walk(right, y0, y0 + half, lower);
        if (FSink.Full())
            return;
        Walk(right, y0 + half + step, y1, lower);
    }

    const TRoundRows& FRows;
    TClip FGuard;
    TPointSink FSink;
    long long FMid = 0, FUpperEnd = 0, FLowerStart = 0;
    bool FHasLast = false;
    TScanPoint FLast{0, 0};
    std::vector<TTarget> FTargets;
    static constexpr long long kMaxWalks = 1LL << 14;
    long long FWalks = 0;
};

// ---- the platform's arc ends ----------------------------------------------------------------------

// The platform lists an ellipse's outline pixels quadrant by quadrant, each pixel as a vector
// from the centre of its own quadrant (the box's middle column or the nearer of the two middle
// columns, likewise for rows), counter-clockwise from the upper right quadrant's pixel on the
// right of the middle row. An arc takes the pixels from the first at or past the start radial to
// the first at or past the end radial, drawn as a polyline whose last point is left out. A
// radial runs from the pixel (left + w / 2, top + h / 2) to its point rounded to a pixel; a
// pixel exactly on it counts as past it when the radial points into the upper half (its own
// row included, for a counter-clockwise arc) and as before it otherwise. A clockwise arc takes
// the same pixels from the end radial to the start radial and leaves out the one at the end
// radial instead. Measured: all 1,152 arcs of four boxes at 144 angles, in both directions.
class TArcEnds {
public:
    explicit TArcEnds(const TRoundRows& rows) : FRows(rows) {
        const long long w = rows.Right() - rows.Left(), h = rows.Bottom() - rows.Top();
        FRightX = rows.Left() + w / 2;
        FLeftX = rows.Left() + (w - 1) - w / 2;
        FLowerY = rows.Top() + h / 2;
        FUpperY = rows.Top() + (h - 1) - h / 2;
    }

    /// Sizes whose outline is listed whole; larger shapes keep the crossing rule.
    static bool Fits(const TRoundRows& rows) {
        return !rows.Square() && rows.Right() - rows.Left() <= kMaxSide && rows.Bottom() - rows.Top() <= kMaxSide;
    }

    /// The first and last pixels of the arc between radials through (sx, sy) and (ex, ey)
    /// (device), the last left out; false when it draws no pixel, and then both are the pixel
    /// a pie's or chord's lines meet.
    bool Find(double sx, double sy, double ex, double ey, bool ccw, TScanPoint& first, TScanPoint& last) {
        List();
        const long long n = FCount;
        if (n == 0) {
            first = last = TScanPoint{FRows.Left(), FRows.Top()};  // no outline to take them from
            return false;
        }
        const TDir from = Radial(ccw ? sx : ex, ccw ? sy : ey), to = Radial(ccw ? ex : sx, ccw ? ey : sy);
        const long long i = Seek(from, ccw);
        // The end in the turn after the start's radial; the same radial twice is a whole turn.
        const long long lap = Compare(to, from) > 0 ? 0 : n;
        long long j = std::max(i, lap + Seek(to, ccw));
        if (j == i)
            j += n;  // both radials take the same pixel: the whole outline, as for equal radials
        // Counter-clockwise: [i, j − 1); clockwise: (i, j), drawn from its far end. With no pixel
        // between, both ends are the one pixel the radials share the turn at.
        const long long lo = ccw ? i : i + 1, hi = std::max(lo, ccw ? j - 1 : j);
        first = At(ccw ? lo : hi - 1);
        last = At(ccw ? hi : lo - 1);
        return hi > lo;
    }

private:
    // Listing costs a pass over the rows; beyond this the crossing rule, a pixel off at most at
    // the ends, keeps a huge arc as cheap as the pixels it paints.
    static constexpr long long kMaxSide = 1024;

    // A direction as its quadrant counter-clockwise from +x (screen y grows downwards) and its
    // vector; Quadrant 4 is a pixel on +x below the middle, which comes last in a turn.
    struct TDir {
        int Quadrant;
        long long X, Y;
    };
    // A row's outline pixels in order: from From by Step, Count of them, Start of the first in
    // the turn.
    struct TRun {
        long long Y, From, Step, Count, Start;
    };

    static int QuadrantOf(long long x, long long y) {
        const long long u = x, v = -y;
        if (u > 0 && v >= 0)
            return 0;
        if (u <= 0 && v > 0)
            return 1;
        if (u < 0 && v <= 0)
            return 2;
        return 3;
    }

    // Sign of the angle of a less that of b, both within one turn.
    static int Compare(const TDir& a, const TDir& b) {
        if (a.Quadrant != b.Quadrant)
            return a.Quadrant < b.Quadrant ? -1 : 1;
        // b counter-clockwise of a when u_a·v_b − v_a·u_b > 0, with v = −y.
        const long long cross = a.X * -b.Y - -a.Y * b.X;
        return cross > 0 ? -1 : cross < 0 ? 1 : 0;
    }

    long long RelX(long long x) const { return x >= FRightX ? x - FRightX : x <= FLeftX ? x - FLeftX : 0; }
    long long RelY(long long y) const { return y >= FLowerY ? y - FLowerY : y <= FUpperY ? y - FUpperY : 0; }

    TDir PixelDir(long long x, long long y) const {
        const long long X = RelX(x), Y = RelY(y);
        if (Y == 0 && X > 0 && y > FUpperY)
            return TDir{4, X, Y};
        return TDir{QuadrantOf(X, Y), X, Y};
    }

    TDir Radial(double x, double y) const {
        const double px = std::floor(x + 0.5), py = std::floor(y + 0.5);
        double dx = px - double(FRightX), dy = py - double(FLowerY);
        // A far point is brought within the range where the cross products stay exact, along
        // its own direction (a point that is not finite counts as the centre).
        constexpr double kFar = 1 << 24;
        const double reach = std::max(std::fabs(dx), std::fabs(dy));
        if (!(reach <= kFar)) {
            const double scale = std::isfinite(reach) ? kFar / reach : 0;
            dx = std::isfinite(dx) ? std::round(dx * scale) : 0;
            dy = std::isfinite(dy) ? std::round(dy * scale) : 0;
        }
        long long X = (long long)dx, Y = (long long)dy;
        if (X == 0 && Y == 0)
            X = 1;  // the centre itself counts as a point to the right
        return TDir{QuadrantOf(X, Y), X, Y};
    }

    TScanPoint InRun(const TRun& run, long long k) const { return TScanPoint{run.From + run.Step * k, run.Y}; }

    // The pixel at index k of the turns laid end to end.
    TScanPoint At(long long k) const {
        k %= FCount;
        const auto next = std::upper_bound(FRuns.begin(), FRuns.end(), k,
                                           [](long long v, const TRun& r) { return v < r.Start; });
        const TRun& run = *(next - 1);
        return InRun(run, k - run.Start);
    }

    // The index in the first turn of the first pixel at or past the radial (see the class
    // comment for a pixel exactly on it); FCount when there is none. The angle grows along the
    // turn, so the runs are passed by their last pixels and the run that holds it is halved.
    long long Seek(const TDir& radial, bool ccw) const {
        const bool upper = radial.Quadrant <= 1 || (ccw && radial.Quadrant == 2 && radial.Y == 0);
        const auto past = [&](const TScanPoint& p) {
            const int c = Compare(PixelDir(p.X, p.Y), radial);
            return c > 0 || (c == 0 && upper);
        };
        for (const TRun& run : FRuns) {
            if (!past(InRun(run, run.Count - 1)))
                continue;
            long long lo = 0, hi = run.Count - 1;  // the answer lies in [lo, hi]
            while (lo < hi) {
                const long long mid = lo + (hi - lo) / 2;
                if (past(InRun(run, mid)))
                    hi = mid;
                else
                    lo = mid + 1;
            }
            return run.Start + lo;
        }
        return FCount;
    }

    // The outline pixels of row y on one side, the same the chain walks.
    TSpan Side(long long y, bool right) const { return OutlineRun(FRows, FRightX, y, right); }

    void Add(long long y, const TSpan& side, bool leftwards) {
        if (side.Left > side.Right)
            return;
        const long long count = side.Right - side.Left + 1;
        FRuns.push_back(TRun{y, leftwards ? side.Right : side.Left, leftwards ? -1 : 1, count, FCount});
        FCount += count;
    }

    // The outline's rows in the platform's order, quadrant by quadrant: up the right side of the
    // upper half, each row from its outer end inwards; along the top and down the left side of
    // the upper half, each row leftwards; down the left side of the lower half and up its right
    // side, each row rightwards. The middle row of an odd height belongs to the upper half, the
    // middle column of an odd width to the right. Each quadrant's pixels come in order of angle.
    void List() {
        if (!FRuns.empty())
            return;
        const long long top = FRows.Top(), bottom = FRows.Bottom();
        for (long long y = FUpperY; y >= top; --y)
            Add(y, Side(y, true), true);
        for (long long y = top; y <= FUpperY; ++y)
            Add(y, Side(y, false), true);
        for (long long y = FUpperY + 1; y < bottom; ++y)
            Add(y, Side(y, false), false);
        for (long long y = bottom - 1; y > FUpperY; --y)
            Add(y, Side(y, true), false);
    }

    const TRoundRows& FRows;
    long long FRightX = 0, FLeftX = 0, FLowerY = 0, FUpperY = 0;
    std::vector<TRun> FRuns;
    long long FCount = 0;
};

// ---- curves in logical space, flattened through the transforms ---------------------------------

// Points of the logical ellipse arc (cx + rx·cos θ, cy + ry·sin θ) for θ from t0 to t1 (either
// way, at most one turn), the first point included, each piece halved until it strays less
// than kFlatness from the curve on the device or lies outside the guard.
class TArcFlattener {
public:
    TArcFlattener(const TAffine& m, const TClip& guard, TPointSink& sink) : FM(m), FGuard(guard), FSink(sink) {}

    void Arc(double cx, double cy, double rx, double ry, double t0, double t1, bool first) {
        FCx = cx, FCy = cy, FRx = rx, FRy = ry;
        FScale = std::max(std::hypot(FM.A * rx, FM.B * rx), std::hypot(FM.C * ry, FM.D * ry));
        double x0, y0;
        Point(t0, x0, y0);
        if (first)
            FSink.Add(x0, y0);
        // Quarter turns at most, where a chord's sagitta bounds the curve.
        const int pieces = std::max(1, int(std::ceil(std::fabs(t1 - t0) / (kPi / 2) - 1e-9)));
        for (int k = 1; k <= pieces && !FSink.Full(); ++k) {
            const double ta = t0 + (t1 - t0) * (k - 1) / pieces, tb = t0 + (t1 - t0) * k / pieces;
            double xa, ya, xb, yb;
            Point(ta, xa, ya);
            Point(tb, xb, yb);
            Piece(ta, xa, ya, tb, xb, yb, 0);
        }
    }

private:
    void Point(double t, double& x, double& y) const {
        const double lx = FCx + FRx * std::cos(t), ly = FCy + FRy * std::sin(t);
        x = FM.X(lx, ly);
        y = FM.Y(lx, ly);
    }

    void Piece(double ta, double xa, double ya, double tb, double xb, double yb, int depth) {
        const double sagitta = FScale * (1 - std::cos((tb - ta) / 2));
        if (sagitta <= kFlatness || depth >= 48 ||
            Misses(FGuard, std::min(xa, xb) - sagitta, std::min(ya, yb) - sagitta, std::max(xa, xb) + sagitta,
                   std::max(ya, yb) + sagitta)) {
            FSink.Add(xb, yb);
            return;
        }
        const double tm = (ta + tb) / 2;
        double xm, ym;
        Point(tm, xm, ym);
        Piece(ta, xa, ya, tm, xm, ym, depth + 1);
        if (!FSink.Full())
            Piece(tm, xm, ym, tb, xb, yb, depth + 1);
    }

    const TAffine& FM;
    TClip FGuard;
    TPointSink& FSink;
    double FCx = 0, FCy = 0, FRx = 0, FRy = 0, FScale = 0;
};

// Bézier curves are flattened in sixteenths of a unit (a logical unit or a pixel, see AddBezier)
// with the platform's own rounding and flatness test, so a curve lights the pixels the
// platform's does (measured on some 400 curves, large and small, crossing the surface's edges or
// not). A finer flattening keeps closer to the true curve but strays from the platform's
// polyline by a pixel along most of its length.
constexpr int kCurveShift = 4;
constexpr long long kCurveOne = 1LL << kCurveShift;

/// A cubic Bézier curve in sixteenths of a unit; index 0 is x, 1 is y.
struct TFixedCurve {
    long long P[4][2];
};

/// The whole unit of a sixteenth, rounded half up.
long long CurveUnit(long long v) { return (v + kCurveOne / 2) >> kCurveShift; }

/// The midpoint as the platform takes it: a half added, then halved toward zero.
long long CurveMid(long long a, long long b) { return (a + b + 1) / 2; }

/// Whether a piece is drawn as its chord. Along the chord's longer axis each inner control point
/// must not lie beyond the end: one before the start may not also lie before the end, any other
/// may not lie past it. Across, it must lie within a unit of the chord's line, whose slope is
/// taken in sixteenths per whole unit and truncated. A chord under half a unit long is flat.
bool CurveFlat(const TFixedCurve& c) {
    const auto& p = c.P;
    const int along = std::llabs(p[3][1] - p[0][1]) <= std::llabs(p[3][0] - p[0][0]) ? 0 : 1, across = 1 - along;
    for (int i = 1; i <= 2; ++i) {
        if (p[i][along] < p[0][along] ? p[i][along] < p[3][along] : p[i][along] > p[3][along])
            return false;
    }
    const long long units = CurveUnit(p[3][along] - p[0][along]);
    if (units == 0)
        return true;
    // |slope| stays below 48 sixteenths a unit, as the chord runs at most as far across as along.
    const long long slope = (p[3][across] - p[0][across]) / units;
    for (int i = 1; i <= 2; ++i) {
        if (std::llabs(p[i][across] - p[0][across] - slope * CurveUnit(p[i][along] - p[0][along])) > kCurveOne)
            return false;
    }
    return true;
}

/// Halves the curve (de Casteljau) until each piece is flat, `deepest` halvings deep at most, or
/// its control points' box lies outside the guard, and adds each piece's end in whole units. The
/// start is not added.
void FlattenBezier(const TFixedCurve& c, const TClip& guard, TPointSink& sink, int depth, int deepest = 16) {
    const auto& p = c.P;
    const auto [x0, x1] = std::minmax({p[0][0], p[1][0], p[2][0], p[3][0]});
    const auto [y0, y1] = std::minmax({p[0][1], p[1][1], p[2][1], p[3][1]});
    if (depth >= deepest || CurveFlat(c) ||
        Misses(guard, double(x0) / kCurveOne, double(y0) / kCurveOne, double(x1) / kCurveOne, double(y1) / kCurveOne)) {
        sink.Add(CurveUnit(p[3][0]), CurveUnit(p[3][1]));
        return;
    }
    TFixedCurve left, right;
    for (int k = 0; k < 2; ++k) {
        const long long p01 = CurveMid(p[0][k], p[1][k]), p12 = CurveMid(p[1][k], p[2][k]);
        const long long p23 = CurveMid(p[2][k], p[3][k]);
        const long long p012 = CurveMid(p01, p12), p123 = CurveMid(p12, p23), m = CurveMid(p012, p123);
        left.P[0][k] = p[0][k], left.P[1][k] = p01, left.P[2][k] = p012, left.P[3][k] = m;
        right.P[0][k] = m, right.P[1][k] = p123, right.P[2][k] = p23, right.P[3][k] = p[3][k];
    }
    FlattenBezier(left, guard, sink, depth + 1, deepest);
    if (!sink.Full())
        FlattenBezier(right, guard, sink, depth + 1, deepest);
}

/// The curve from a through three device control points, in sixteenths.
TFixedCurve FixedCurve(const TScanPoint& a, const TScanPoint& b, const TScanPoint& c, const TScanPoint& d) {
    return TFixedCurve{{{a.X * kCurveOne, a.Y * kCurveOne},
                        {b.X * kCurveOne, b.Y * kCurveOne},
                        {c.X * kCurveOne, c.Y * kCurveOne},
                        {d.X * kCurveOne, d.Y * kCurveOne}}};
}

// ---- drawing ------------------------------------------------------------------------------------

// Whether the selected pen draws nothing at all (a missing pen is taken as one).
bool PenIsNull(const TDCObj& dc) {
    TObject* object = Find(dc.Pen);
    return object == nullptr || object->Kind != TKind::Pen ||
           (static_cast<const TPenObj*>(object)->Log.lopnStyle & PS_STYLE_MASK) == PS_NULL;
}

// Fills closed figures of device points by the winding rule over the clip's rows.
// The pen's outline that will be stroked afterwards, whose pixels a fill leaves to the pen.
struct TStrokeAfter {
    const std::vector<TScanPoint>& Points;
    std::vector<TFigure> Figures;
};

// The outline of all the points as one figure; none when there is no line to stroke.
TStrokeAfter StrokeOf(const std::vector<TScanPoint>& points, bool closed) {
    return TStrokeAfter{points, points.size() > 1 ? std::vector<TFigure>{TFigure{0, points.size(), closed}}
                                                  : std::vector<TFigure>{}};
}

bool FillFigures(TDCObj& dc, TBitmapObj& surface, const std::vector<TScanPoint>& points,
                 const std::vector<TPolygonRun>& figures, const TStrokeAfter& stroke) {
    TFillStage stage(dc, surface, SelectedBrush(dc), Rop2ToRop3(dc.Rop2));
    const TClip& bounds = stage.Clipper().Bounds();
    if (SelectedBrush(dc) == nullptr || bounds.Empty())
        return true;
    TFillBesideStroke fill(dc, stage, stroke.Points, stroke.Figures);
    return ScanPolygon(points, figures, WINDING, bounds.Y0, bounds.Y1,
                       [&fill](long long top, long long bottom, const std::vector<TSpan>& spans) {
                           fill.Spans(top, bottom, spans);
                           return true;
                       });
}

// Fills a shape's rows within the clip. A shape with square corners (a box of 2 pixels or less
// across among them) is filled as the polygon of its corners would be, without its last column
// and row, as Rectangle fills.
void FillRows(TDCObj& dc, TBitmapObj& surface, const TRoundRows& rows, const TStrokeAfter& stroke) {
    if (SelectedBrush(dc) == nullptr)
        return;
    TFillStage stage(dc, surface, SelectedBrush(dc), Rop2ToRop3(dc.Rop2));
    TFillBesideStroke fill(dc, stage, stroke.Points, stroke.Figures);
    const TClip& bounds = stage.Clipper().Bounds();
    const bool thin = rows.Square();
    const long long bottom = thin ? rows.Bottom() - 1 : rows.Bottom();
    const long long y0 = std::max(rows.Top(), bounds.Y0), y1 = std::min(bottom, bounds.Y1);
    for (long long y = y0; y < y1; ++y) {
        if (thin) {
            fill.Span(y, std::max(rows.Left(), bounds.X0), std::min(rows.Right() - 1, bounds.X1));
            continue;
        }
        if (y >= rows.WholeStart() && y < rows.WholeEnd()) {
            const long long end = std::min(rows.WholeEnd(), y1);
            fill.Box(TClip{std::max(rows.Left(), bounds.X0), std::min(rows.Right(), bounds.X1), y, end});
            y = end - 1;
            continue;
        }
        const TSpan span = rows.Row(y);
        if (span.Left < span.Right)
            fill.Span(y, std::max(span.Left, bounds.X0), std::min(span.Right, bounds.X1));
    }
}

// The context and the surface it draws on; false with the last error set.
bool BeginShape(HDC handle, TDCObj*& dc, TBitmapObj*& surface) {
    dc = Lookup<TDCObj>(handle);
    if (dc == nullptr)
        return false;
    surface = SurfaceOf(*dc);
    return surface != nullptr;
}

// A logical box in device pixels, right column and bottom row left out; false when it has none.
bool DeviceBox(const TDCObj& dc, long long left, long long top, long long right, long long bottom, TClip& box) {
    const TDeviceRect d = DeviceRect(dc, left, top, right - left, bottom - top);
    box = TClip{std::min(d.X, d.X + d.Width), std::max(d.X, d.X + d.Width), std::min(d.Y, d.Y + d.Height),
                std::max(d.Y, d.Y + d.Height)};
    return !box.Empty();
}

// A device box's rows with corners of w × h pixels; a box 2 pixels or less across has square
// corners, as the platform draws it.
TRoundRows ShapeRows(const TClip& box, long long w, long long h) {
    if (box.X1 - box.X0 <= 2 || box.Y1 - box.Y0 <= 2)
        w = h = 0;
    return TRoundRows(box.X0, box.Y0, box.X1, box.Y1, w, h);
}

// A rounded rectangle of logical corner size w × h in the logical box, as logical arcs: the
// four corners counter-clockwise on the surface from the top right one, joined by the edges.
void SmoothRoundRect(const TAffine& m, const TClip& guard, TPointSink& sink, double l, double t, double r,
                     double b, double w, double h) {
    if (l > r)
        std::swap(l, r);
    if (t > b)
        std::swap(t, b);
    const double rx = std::min(std::fabs(w), r - l) / 2, ry = std::min(std::fabs(h), b - t) / 2;
    TArcFlattener arcs(m, guard, sink);
    // Counter-clockwise as seen with y growing downwards is θ decreasing.
    arcs.Arc(r - rx, t + ry, rx, ry, 0, -kPi / 2, true);
    arcs.Arc(l + rx, t + ry, rx, ry, -kPi / 2, -kPi, true);
    arcs.Arc(l + rx, b - ry, rx, ry, kPi, kPi / 2, true);
    arcs.Arc(r - rx, b - ry, rx, ry, kPi / 2, 0, true);
}

// ---- recording into a path ---------------------------------------------------------------------

// cos and sin that give the axes' points exactly, so quarter arcs meet without a seam.
double Cos(double t) {
    const double v = std::cos(t);
    return std::fabs(v) < 1e-12 ? 0.0 : v;
}
double Sin(double t) {
    const double v = std::sin(t);
    return std::fabs(v) < 1e-12 ? 0.0 : v;
}

TScanPoint MapPoint(const TAffine& m, double x, double y) { return TScanPoint{RoundDevice(m.X(x, y)), RoundDevice(m.Y(x, y))}; }

// The Bézier control points (device) of the logical arc (cx + rx·cos θ, cy + ry·sin θ) from t0
// to t1, in pieces of at most a quarter turn, as the platform's paths keep arcs.
void ArcBeziers(const TAffine& m, double cx, double cy, double rx, double ry, double t0, double t1,
                std::vector<TScanPoint>& points, std::vector<BYTE>& types) {
    const int pieces = std::max(1, int(std::ceil(std::fabs(t1 - t0) / (kPi / 2) - 1e-9)));
    const auto add = [&](double x, double y) {
        points.push_back(MapPoint(m, cx + rx * x, cy + ry * y));
        types.push_back(PT_BEZIERTO);
    };
    for (int k = 0; k < pieces; ++k) {
        const double a = t0 + (t1 - t0) * k / pieces, b = t0 + (t1 - t0) * (k + 1) / pieces;
        const double h = 4.0 / 3.0 * std::tan((b - a) / 4);
        add(Cos(a) - h * Sin(a), Sin(a) + h * Cos(a));
        add(Cos(b) + h * Sin(b), Sin(b) - h * Cos(b));
        add(Cos(b), Sin(b));
    }
}

// Records a rounded rectangle (an ellipse when the corners are the box) as one closed figure:
// counter-clockwise from the top right corner, or clockwise from the bottom right one when the
// arc direction says so.
BOOL RecordRounded(TDCObj& dc, double l, double t, double r, double b, double w, double h) {
    TAffine m = DeviceAffine(dc);
    if (!WorldRotates(dc)) {
        // The right and bottom edges stay out here too, as Rectangle's do whatever the mode
        // while nothing turns: the figure runs through the last pixels inside. (A metafile's
        // compatible-mode curves, played under the player's advanced mode, keep their size.)
        w *= std::fabs(m.A), h *= std::fabs(m.D);
        TClip box;
        if (!DeviceBox(dc, (long long)l, (long long)t, (long long)r, (long long)b, box))
            return TRUE;
        l = double(box.X0), t = double(box.Y0), r = double(box.X1 - 1), b = double(box.Y1 - 1);
        m = TAffine{};
    }
    if (l > r)
        std::swap(l, r);
    if (t > b)
        std::swap(t, b);
    const double rx = std::min(std::fabs(w), r - l) / 2, ry = std::min(std::fabs(h), b - t) / 2;
    const bool clockwise = dc.ArcDirection == AD_CLOCKWISE;
    std::vector<TScanPoint> points{MapPoint(m, r, clockwise ? b - ry : t + ry)};
    std::vector<BYTE> types{PT_MOVETO};
    const auto corner = [&](double cx, double cy, double t0, double t1) {
        const TScanPoint start = MapPoint(m, cx + rx * Cos(t0), cy + ry * Sin(t0));
        if (start.X != points.back().X || start.Y != points.back().Y) {
            points.push_back(start);
            types.push_back(PT_LINETO);
        }
        if (rx > 0 && ry > 0)
            ArcBeziers(m, cx, cy, rx, ry, t0, t1, points, types);
    };
    if (clockwise) {
        corner(r - rx, b - ry, 0, kPi / 2);
        corner(l + rx, b - ry, kPi / 2, kPi);
        corner(l + rx, t + ry, -kPi, -kPi / 2);
        corner(r - rx, t + ry, -kPi / 2, 0);
    } else {
        corner(r - rx, t + ry, 0, -kPi / 2);
        corner(l + rx, t + ry, -kPi / 2, -kPi);
        corner(l + rx, b - ry, kPi, kPi / 2);
        corner(r - rx, b - ry, kPi / 2, 0);
    }
    types.back() |= PT_CLOSEFIGURE;
    const bool done = PathAppend(dc, points.front(), points, types);
    dc.Path.SetFigureOpen(false);
    return done ? TRUE : FALSE;
}

// A wide PS_INSIDEFRAME pen pulls a shape's box in until its stroke fits the box, by the same
// device insets as a rectangle's frame, taken back to logical units. A box narrower than the
// pen cannot hold its stroke: it keeps its middle line, a device pixel (and a logical unit) wide,
// so that the shape is still drawn there. Only boxes that stay upright on the surface are
// pulled in.
void InsideFrame(const TDCObj& dc, long long& left, long long& top, long long& right, long long& bottom) {
    long long nearX, farX, nearY, farY;
    const TAffine m = DeviceAffine(dc);
    if (m.B != 0 || m.C != 0 || !InsideFrameInsets(dc, nearX, farX, nearY, farY))
        return;
    const auto shrink = [](long long& a, long long& b, double scale, long long nearSide, long long farSide) {
        long long low = std::min(a, b), high = std::max(a, b);
        // On a surface axis turned over by the transform, the device's near side is the logical
        // far one.
        if (scale < 0)
            std::swap(nearSide, farSide);
        const double unit = std::fabs(scale);
        const long long first = low, last = high;
        const long long middle = low + (high - low) / 2;
        low = std::min(low + std::llround(double(nearSide) / unit), middle);
        high = std::max(high - std::llround(double(farSide) / unit), middle);
        // A logical unit far smaller than a pixel is held to a span a box could have.
        const double cells = std::ceil(1 / unit);
        const long long least = cells < 0x1p40 ? std::max(1LL, (long long)cells) : 1LL << 40;
        if (high - low < least) {
            high = std::min(middle + least, last);
            low = std::max(first, high - least);
        }
        a = low, b = high;
    };
    shrink(left, right, m.A, nearX, farX);
    shrink(top, bottom, m.D, nearY, farY);
}

// The guard of a pixel chain that the selected pen strokes: a wide pen reaches pixels from
// points outside the plain guard, so those must stay points of their own.
TClip PenGuard(const TDCObj& dc, const TClip& guard) {
    long long nearX, farX, nearY, farY;
    if (!PenReach(dc, nearX, farX, nearY, farY))
        return guard;
    return TClip{guard.X0 - farX, guard.X1 + nearX, guard.Y0 - farY, guard.Y1 + nearY};
}

// Ellipse and RoundRect: w and h are the corner's logical size (the box's own for an ellipse).
BOOL DrawRounded(HDC handle, long long left, long long top, long long right, long long bottom, long long w, long long h,
                 bool ellipse) {
    TLock lock(LayerMutex());
    TDCObj* dc;
    TBitmapObj* surface;
    if (!BeginShape(handle, dc, surface) ||
        (Recording(*dc) && !RecordBox(*dc, ellipse ? EMR_ELLIPSE : EMR_ROUNDRECT, int(left), int(top), int(right),
                                      int(bottom), int(w), int(h))))
        return FALSE;
    if (dc->Path.Open()) {
        if (ellipse)
            w = (long long)right - left, h = (long long)bottom - top;
        return RecordRounded(*dc, double(left), double(top), double(right), double(bottom), double(w), double(h));
    }
    const TClip guard = Guard(*dc, *surface);
    // A box without width or height draws nothing, as documented.
    if (guard.Empty() || left == right || top == bottom)
        return TRUE;
    InsideFrame(*dc, left, top, right, bottom);
    const TAffine m = DeviceAffine(*dc);
    if (WorldRotates(*dc)) {
        if (ellipse)
            w = (long long)right - left, h = (long long)bottom - top;
        std::vector<TScanPoint> smooth;
        TPointSink sink(smooth);
        SmoothRoundRect(m, guard, sink, double(left), double(top), double(right), double(bottom), double(w),
                        double(h));
        if (sink.Full())
            return Refuse(ERROR_NOT_ENOUGH_MEMORY);
        if (!FillFigures(*dc, *surface, smooth, {TPolygonRun{0, smooth.size()}}, StrokeOf(smooth, true)))
            return FALSE;
        StrokeFigures(*dc, *surface, smooth, {TFigure{0, smooth.size(), true}});
        return TRUE;
    }
    TClip box;
    if (!DeviceBox(*dc, left, top, right, bottom, box))
        return TRUE;
    long long cw = box.X1 - box.X0, ch = box.Y1 - box.Y0;
    if (!ellipse) {
        cw = std::llabs(RoundDevice(double(w) * m.A));
        ch = std::llabs(RoundDevice(double(h) * m.D));
    }
    const TRoundRows rows = ShapeRows(box, cw, ch);
    // Every pen follows the chain of pixels a thin pen lights, a wide one as a polyline through
    // them, as the platform draws it.
    std::vector<TScanPoint> chain;
    if (!PenIsNull(*dc)) {
        TChain walker(rows, PenGuard(*dc, guard), chain);
        // The platform's outline, and so its dash pattern, starts on the right side in the
        // middle row of the upper right corner's ellipse (the box's middle row for an ellipse),
        // at its outer pixel, and runs counter-clockwise.
        const long long startRow = rows.Top() + (rows.CornerHeight() - 1) / 2;
        const long long startX = rows.Row(startRow).Right - 1;
        const bool rotate = !rows.Square() && startX >= rows.Left() + (rows.Right() - rows.Left()) / 2;
        if (rotate)
            walker.AddTarget(TScanPoint{startX, startRow}, true);
        if (!walker.Build())
            return Refuse(ERROR_NOT_ENOUGH_MEMORY);
        if (rotate && walker.Target(0) != SIZE_MAX)
            std::rotate(chain.begin(), chain.begin() + std::ptrdiff_t(walker.Target(0)), chain.end());
    }
    FillRows(*dc, *surface, rows, StrokeOf(chain, true));
    if (chain.size() > 0)
        StrokeFigures(*dc, *surface, chain, {TFigure{0, chain.size(), true}});
    return TRUE;
}

enum class TArcKind { Arc, ArcTo, AngleArc, Pie, Chord };

// An arc of the ellipse in a logical box from the radial through the start point to the one
// through the end point (logical, may be fractional), then what its kind adds.
// ccw: counter-clockwise as seen on the surface in logical space; full: a whole turn when the
// ends meet (AngleArc's sweep tells, the others always).
struct TArcRequest {
    TArcKind Kind;
    long long Left, Top, Right, Bottom;
    double XStart, YStart, XEnd, YEnd;
    bool LogicalCcw;
    bool FullWhenClosed = true;
    bool WholeTurn = false;  // AngleArc beyond a turn: the whole ellipse, ending at the end point
    bool Empty = false;  // AngleArc with no sweep: the line to the start alone
};

// Where the radial through (x, y) meets the logical ellipse of the request's box.
void MeetLogical(const TArcRequest& r, double x, double y, double& mx, double& my) {
    const double cx = (double(r.Left) + double(r.Right)) / 2, cy = (double(r.Top) + double(r.Bottom)) / 2;
    const double a = std::fabs(double(r.Right) - double(r.Left)) / 2, b = std::fabs(double(r.Bottom) - double(r.Top)) / 2;
    double dx = x - cx, dy = y - cy;
    if (dx == 0 && dy == 0)
        dx = 1;
    if (a == 0 || b == 0) {
        mx = cx, my = cy;
        return;
    }
    const double t = 1 / std::sqrt((dx / a) * (dx / a) + (dy / b) * (dy / b));
    mx = cx + t * dx, my = cy + t * dy;
}

LONG ClampLong(double v) {
    const double r = std::floor(v + 0.5);
    return r < double(INT_MIN) ? INT_MIN : r > double(INT_MAX) ? INT_MAX : LONG(r);
}

// The logical curve of an arc request: its centre, radii, the start's θ and the signed sweep.
struct TLogicalArc {
    double Cx, Cy, Rx, Ry, Start, Sweep;
};

TLogicalArc LogicalArc(const TArcRequest& r) {
    TLogicalArc a{};
    a.Cx = (double(r.Left) + double(r.Right)) / 2, a.Cy = (double(r.Top) + double(r.Bottom)) / 2;
    a.Rx = std::fabs(double(r.Right) - double(r.Left)) / 2;
    a.Ry = std::fabs(double(r.Bottom) - double(r.Top)) / 2;
    if (a.Rx == 0 || a.Ry == 0)
        return a;
    double sx, sy, ex, ey;
    MeetLogical(r, r.XStart, r.YStart, sx, sy);
    MeetLogical(r, r.XEnd, r.YEnd, ex, ey);
    const double ts = std::atan2((sy - a.Cy) / a.Ry, (sx - a.Cx) / a.Rx);
    const double te = std::atan2((ey - a.Cy) / a.Ry, (ex - a.Cx) / a.Rx);
    double sweep = r.LogicalCcw ? ts - te : te - ts;
    while (sweep <= 1e-12)
        sweep += 2 * kPi;
    if (sweep > 2 * kPi - 1e-12 && !r.FullWhenClosed)
        sweep = 0;
    if (r.WholeTurn)
        sweep = 2 * kPi;
    a.Start = ts;
    a.Sweep = r.LogicalCcw ? -sweep : sweep;
    return a;
}

// Records an arc request into the open path: ArcTo and AngleArc go on from the current
// position, the others make a figure of their own.
BOOL RecordArc(TDCObj& dc, const TArcRequest& request) {
    TAffine m = DeviceAffine(dc);
    double endX, endY;
    MeetLogical(request, request.Empty ? request.XStart : request.XEnd, request.Empty ? request.YStart : request.YEnd,
                endX, endY);
    TArcRequest r = request;
    if (!WorldRotates(dc)) {
        // As for Ellipse: the curve in device pixels through the last pixels inside the box.
        TClip box;
        if (DeviceBox(dc, r.Left, r.Top, r.Right, r.Bottom, box)) {
            r.Left = box.X0, r.Top = box.Y0, r.Right = box.X1 - 1, r.Bottom = box.Y1 - 1;
            r.XStart = m.X(request.XStart, request.YStart), r.YStart = m.Y(request.XStart, request.YStart);
            r.XEnd = m.X(request.XEnd, request.YEnd), r.YEnd = m.Y(request.XEnd, request.YEnd);
            r.LogicalCcw = request.LogicalCcw != (m.Det() < 0);
            m = TAffine{};
        }
    }
    const TLogicalArc a = LogicalArc(r);
    double sx, sy;
    MeetLogical(r, r.XStart, r.YStart, sx, sy);
    const bool withLine = r.Kind == TArcKind::ArcTo || r.Kind == TArcKind::AngleArc;
    std::vector<TScanPoint> points{MapPoint(m, sx, sy)};
    std::vector<BYTE> types{withLine ? PT_LINETO : PT_MOVETO};
    if (!r.Empty && a.Rx > 0 && a.Ry > 0)
        ArcBeziers(m, a.Cx, a.Cy, a.Rx, a.Ry, a.Start, a.Start + a.Sweep, points, types);
    if (r.Kind == TArcKind::Pie) {
        points.push_back(MapPoint(m, a.Cx, a.Cy));
        types.push_back(PT_LINETO);
    }
    if (r.Kind == TArcKind::Pie || r.Kind == TArcKind::Chord)
        types.back() |= PT_CLOSEFIGURE;
    const TDevicePoint from = DevicePoint(dc, dc.CurrentPosition.x, dc.CurrentPosition.y);
    if (!PathAppend(dc, TScanPoint{from.X, from.Y}, points, types))
        return FALSE;
    if (withLine) {
        dc.CurrentPosition = POINT{ClampLong(endX), ClampLong(endY)};
    } else {
        dc.Path.SetFigureOpen(false);
    }
    return TRUE;
}

BOOL DrawArc(TDCObj& dc, TBitmapObj& surface, const TArcRequest& r) {
    if (dc.Path.Open())
        return RecordArc(dc, r);
    const TAffine m = DeviceAffine(dc);
    const bool ccwOnSurface = r.LogicalCcw != (m.Det() < 0);
    std::vector<TScanPoint> points;
    std::vector<TScanPoint> chain;
    TPointSink sink(points);
    const bool withLine = r.Kind == TArcKind::ArcTo || r.Kind == TArcKind::AngleArc;
    if (withLine) {
        const TDevicePoint from = DevicePoint(dc, dc.CurrentPosition.x, dc.CurrentPosition.y);
        sink.Add(from.X, from.Y);
    }
    const TClip guard = Guard(dc, surface);
    const bool turns = WorldRotates(dc);
    bool filled = r.Kind == TArcKind::Pie || r.Kind == TArcKind::Chord;
    TClip box;
    const bool hasBox = DeviceBox(dc, r.Left, r.Top, r.Right, r.Bottom, box);
    if (r.Empty) {
        double sx, sy;
        MeetLogical(r, r.XStart, r.YStart, sx, sy);
        sink.Add(m.X(sx, sy), m.Y(sx, sy));
    } else if (!guard.Empty() && (turns ? r.Left != r.Right && r.Top != r.Bottom : hasBox)) {
        // Without a turning transform, the pixel chain is the outline of both the fill and the
        // pen, a wide pen's as a polyline through its pixels.
        if (!turns) {
            const TRoundRows rows = ShapeRows(box, box.X1 - box.X0, box.Y1 - box.Y0);
            TChain walker(rows, PenGuard(dc, guard), chain);
            const double sx = m.X(r.XStart, r.YStart), sy = m.Y(r.XStart, r.YStart);
            const double ex = m.X(r.XEnd, r.YEnd), ey = m.Y(r.XEnd, r.YEnd);
            // Where the outline is listed whole, the ends are the platform's own (an arc that
            // leaves no pixel has equal ends); elsewhere they are where the radials cross.
            const bool listed = !r.WholeTurn && TArcEnds::Fits(rows);
            bool rightStart = true, rightEnd = true;
            TScanPoint s{0, 0}, e{0, 0};
            if (listed) {
                TArcEnds(rows).Find(sx, sy, ex, ey, ccwOnSurface, s, e);
                const long long mid = rows.Left() + (rows.Right() - rows.Left()) / 2;
                rightStart = s.X >= mid;
                rightEnd = e.X >= mid;
            } else {
                s = walker.Meet(sx, sy, rightStart);
                e = walker.Meet(ex, ey, rightEnd);
            }
            walker.AddTarget(s, rightStart);
            walker.AddTarget(e, rightEnd);
            if (!walker.Build())
                return Refuse(ERROR_NOT_ENOUGH_MEMORY);
            const std::size_t n = chain.size(), is = walker.Target(0), ie = walker.Target(1);
            TPointSink arc(points);
            if (n > 0 && is < n && ie < n) {
                // Radials that meet the same pixel make the whole outline only when the sweep
                // between them is the longer way round (the same radial twice among them):
                // two that differ by a few degrees on a small ellipse make a sliver.
                const bool whole = !listed && r.FullWhenClosed && is == ie && std::fabs(LogicalArc(r).Sweep) > kPi;
                const std::size_t steps = r.WholeTurn ? n
                                          : is == ie ? (whole ? n : 0)
                                          : ccwOnSurface ? (ie + n - is) % n
                                                         : (is + n - ie) % n;
                for (std::size_t k = 0; k <= steps; ++k) {
                    const std::size_t i = ccwOnSurface ? (is + k) % n : (is + n - k % n) % n;
                    arc.Add(chain[i].X, chain[i].Y);
                }
            }
            if (arc.Full())
                return Refuse(ERROR_NOT_ENOUGH_MEMORY);
            if (r.Kind == TArcKind::Pie)
                arc.Add((box.X0 + box.X1) >> 1, (box.Y0 + box.Y1) >> 1);
        } else {
            // The logical curve: θ of (cx + rx·cos θ, cy + ry·sin θ), decreasing for counter-clockwise.
            const TLogicalArc a = LogicalArc(r);
            TArcFlattener arcs(m, guard, sink);
            arcs.Arc(a.Cx, a.Cy, a.Rx, a.Ry, a.Start, a.Start + a.Sweep, true);
            if (r.Kind == TArcKind::Pie)
                sink.Add(m.X(a.Cx, a.Cy), m.Y(a.Cx, a.Cy));
        }
        if (sink.Full())
            return Refuse(ERROR_NOT_ENOUGH_MEMORY);
    } else {
        filled = false;
    }
    if (filled && points.size() > 2 &&
        !FillFigures(dc, surface, points, {TPolygonRun{0, points.size()}}, StrokeOf(points, filled)))
        return FALSE;
    if (points.size() > 1)
        StrokeFigures(dc, surface, points, {TFigure{0, points.size(), filled}});
    if (withLine) {
        double ex = r.XEnd, ey = r.YEnd;
        if (!r.Empty)
            MeetLogical(r, r.XEnd, r.YEnd, ex, ey);
        else
            MeetLogical(r, r.XStart, r.YStart, ex, ey);
        dc.CurrentPosition = POINT{ClampLong(ex), ClampLong(ey)};
    }
    return TRUE;
}

BOOL ArcCall(HDC handle, TArcKind kind, int left, int top, int right, int bottom, int xs, int ys, int xe, int ye) {
    TLock lock(LayerMutex());
    TDCObj* dc;
    TBitmapObj* surface;
    if (!BeginShape(handle, dc, surface))
        return FALSE;
    if (Recording(*dc)) {
        const DWORD type = kind == TArcKind::Arc     ? EMR_ARC
                           : kind == TArcKind::ArcTo ? EMR_ARCTO
                           : kind == TArcKind::Pie   ? EMR_PIE
                                                     : EMR_CHORD;
        if (!RecordArc(*dc, type, left, top, right, bottom, xs, ys, xe, ye))
            return FALSE;
    }
    const bool ccw = dc->ArcDirection == AD_COUNTERCLOCKWISE;
    // GM_COMPATIBLE keeps the direction on the device whatever the transforms turn over; in
    // GM_ADVANCED it holds in logical space.
    const bool flips = dc->GraphicsMode != GM_ADVANCED && DeviceAffine(*dc).Det() < 0;
    TArcRequest request{kind, left, top, right, bottom, double(xs), double(ys), double(xe), double(ye), ccw != flips};
    if (!dc->Path.Open())
        InsideFrame(*dc, request.Left, request.Top, request.Right, request.Bottom);
    return DrawArc(*dc, *surface, request);
}

// One figure of PolyDraw or the Bézier calls, in device points.
struct TFigures {
    std::vector<TScanPoint> Points;
    std::vector<TFigure> Figures;
    std::size_t Start = 0;  // the open figure's first point
    void Begin(const TScanPoint& p) {
        Finish(false);
        Start = Points.size();
        Points.push_back(p);
    }
    void Finish(bool closed) {
        if (Points.size() > Start + 1 || (closed && Points.size() > Start))
            Figures.push_back(TFigure{Start, Points.size() - Start, closed});
        Start = Points.size();
    }
};

TScanPoint DeviceOf(const TDCObj& dc, const POINT& p) {
    const TDevicePoint d = DevicePoint(dc, p.x, p.y);
    return TScanPoint{d.X, d.Y};
}

// The guard's box in logical coordinates: the box around its corners taken back through m, a
// pixel wider on each side. Empty when m cannot be inverted.
TClip LogicalGuard(const TAffine& m, const TClip& guard) {
    const double det = m.Det();
    if (guard.Empty() || !(std::fabs(det) > 0))
        return TClip{};
    double x0 = HUGE_VAL, y0 = HUGE_VAL, x1 = -HUGE_VAL, y1 = -HUGE_VAL;
    for (const double x : {double(guard.X0), double(guard.X1)})
        for (const double y : {double(guard.Y0), double(guard.Y1)}) {
            const double dx = x - m.E, dy = y - m.F;
            const double lx = (m.D * dx - m.C * dy) / det, ly = (m.A * dy - m.B * dx) / det;
            x0 = std::min(x0, lx), x1 = std::max(x1, lx), y0 = std::min(y0, ly), y1 = std::max(y1, ly);
        }
    const auto hold = [](double v) { return (long long)std::clamp(v, -double(1LL << 40), double(1LL << 40)); };
    return TClip{hold(std::floor(x0)) - 1, hold(std::ceil(x1)) + 2, hold(std::floor(y0)) - 1, hold(std::ceil(y1)) + 2};
}

// Appends the flattened curve from the logical point from (where the figure's last point lies)
// through three logical points. Where a logical unit is at most a pixel the curve is flattened
// on the logical grid, the finer one, and each point is taken to the device as a line end is, as
// the platform does; where the transform enlarges, it is flattened on the device, so that it
// stays smooth, from control points kept in the transform's sixteenths.
bool AddBezier(const TDCObj& dc, const TClip& guard, std::vector<TScanPoint>& points, const POINT& from,
               const POINT* control) {
    const TScanPoint d = DeviceOf(dc, control[2]);
    const TAffine m = DeviceAffine(dc);
    TPointSink sink(points);
    if (std::max(std::hypot(m.A, m.B), std::hypot(m.C, m.D)) <= 1) {
        std::vector<TScanPoint> logical;
        TPointSink pieces(logical);
        const auto at = [](const POINT& p) { return TScanPoint{p.x, p.y}; };
        // At most 256 pieces, as the platform's: a logical unit may be a tiny part of a pixel, and
        // a unit's flatness must not cost a curve tens of thousands of points.
        FlattenBezier(FixedCurve(at(from), at(control[0]), at(control[1]), at(control[2])), LogicalGuard(m, guard),
                      pieces, 0, 8);
        for (const TScanPoint& q : logical) {
            const TScanPoint p = DeviceOf(dc, POINT{LONG(q.X), LONG(q.Y)});
            sink.Add(p.X, p.Y);
        }
    } else {
        const auto sixteenths = [](double v) {
            v *= double(kCurveOne);
            const double limit = double(kDeviceLimit * kCurveOne);
            return !(v > -limit) ? -kDeviceLimit * kCurveOne
                   : !(v < limit) ? kDeviceLimit * kCurveOne
                                  : (long long)std::floor(v + 0.5);
        };
        const TScanPoint a = points.back();
        TFixedCurve curve{{{a.X * kCurveOne, a.Y * kCurveOne}}};
        for (int k = 0; k < 3; ++k) {
            curve.P[k + 1][0] = sixteenths(m.X(control[k].x, control[k].y));
            curve.P[k + 1][1] = sixteenths(m.Y(control[k].x, control[k].y));
        }
        FlattenBezier(curve, guard, sink, 0);
    }
    // The end point is exact whatever the flattening skipped, so the next piece starts there.
    if (!sink.Full() && (points.back().X != d.X || points.back().Y != d.Y))
        sink.Add(d.X, d.Y);
    return !sink.Full();
}

}  // namespace

namespace detail {

bool FlattenCurve(std::vector<TScanPoint>& points, const TScanPoint* control) {
    const TScanPoint a = points.back();
    const TClip everywhere{-(1LL << 40), 1LL << 40, -(1LL << 40), 1LL << 40};
    TPointSink sink(points);
    FlattenBezier(FixedCurve(a, control[0], control[1], control[2]), everywhere, sink, 0);
    if (sink.Full() || points.size() > kMaxPathPoints) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return false;
    }
    return true;
}

}  // namespace detail

BOOL Ellipse(HDC dc, int left, int top, int right, int bottom) {
    return DrawRounded(dc, left, top, right, bottom, 0, 0, true);
}

BOOL RoundRect(HDC dc, int left, int top, int right, int bottom, int width, int height) {
    return DrawRounded(dc, left, top, right, bottom, width, height, false);
}

BOOL Arc(HDC dc, int left, int top, int right, int bottom, int xs, int ys, int xe, int ye) {
    return ArcCall(dc, TArcKind::Arc, left, top, right, bottom, xs, ys, xe, ye);
}

BOOL ArcTo(HDC dc, int left, int top, int right, int bottom, int xs, int ys, int xe, int ye) {
    return ArcCall(dc, TArcKind::ArcTo, left, top, right, bottom, xs, ys, xe, ye);
}

BOOL Pie(HDC dc, int left, int top, int right, int bottom, int xs, int ys, int xe, int ye) {
    return ArcCall(dc, TArcKind::Pie, left, top, right, bottom, xs, ys, xe, ye);
}

BOOL Chord(HDC dc, int left, int top, int right, int bottom, int xs, int ys, int xe, int ye) {
    return ArcCall(dc, TArcKind::Chord, left, top, right, bottom, xs, ys, xe, ye);
}

BOOL AngleArc(HDC handle, int x, int y, DWORD radius, FLOAT startAngle, FLOAT sweepAngle) {
    TLock lock(LayerMutex());
    TDCObj* dc;
    TBitmapObj* surface;
    if (Lookup<TDCObj>(handle) == nullptr)
        return FALSE;
    if (radius > DWORD(INT_MAX) || !std::isfinite(startAngle) || !std::isfinite(sweepAngle))
        return Refuse(ERROR_INVALID_PARAMETER);
    if (!BeginShape(handle, dc, surface) ||
        (Recording(*dc) && !RecordAngleArc(*dc, x, y, radius, startAngle, sweepAngle)))
        return FALSE;
    // Angles count counter-clockwise as seen on the surface from the x axis, so a point is
    // (x + r·cos a, y − r·sin a) in logical space.
    const double r = radius;
    const double a0 = double(startAngle) * kPi / 180, a1 = (double(startAngle) + double(sweepAngle)) * kPi / 180;
    TArcRequest request{TArcKind::AngleArc, (long long)x - radius, (long long)y - radius, (long long)x + radius,
                        (long long)y + radius, x + r * std::cos(a0), y - r * std::sin(a0), x + r * std::cos(a1),
                        y - r * std::sin(a1), sweepAngle > 0};
    request.FullWhenClosed = false;
    request.WholeTurn = std::fabs(double(sweepAngle)) >= 360;
    request.Empty = sweepAngle == 0 || radius == 0;
    if (radius == 0) {
        request.XStart = x, request.YStart = y;
        request.Left = request.Right = x;
    }
    return DrawArc(*dc, *surface, request);
}

int SetArcDirection(HDC handle, int direction) {
    TLock lock(LayerMutex());
    auto* dc = Lookup<TDCObj>(handle);
    if (dc == nullptr)
        return 0;
    if (direction != AD_COUNTERCLOCKWISE && direction != AD_CLOCKWISE) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    if (Recording(*dc) && !RecordValue(*dc, EMR_SETARCDIRECTION, DWORD(direction)))
        return 0;
    return std::exchange(dc->ArcDirection, direction);
}

int GetArcDirection(HDC handle) {
    TLock lock(LayerMutex());
    auto* dc = Lookup<TDCObj>(handle);
    return dc != nullptr ? dc->ArcDirection : 0;
}

BOOL PolyBezier(HDC handle, const POINT* points, DWORD count) {
    TLock lock(LayerMutex());
    TDCObj* dc;
    TBitmapObj* surface;
    if (Lookup<TDCObj>(handle) == nullptr)
        return FALSE;
    if (points == nullptr || count < 4 || count > kMaxCurveInputPoints || (count - 1) % 3 != 0)
        return Refuse(ERROR_INVALID_PARAMETER);
    if (!BeginShape(handle, dc, surface) || (Recording(*dc) && !RecordPoly(*dc, EMR_POLYBEZIER, points, count)))
        return FALSE;
    if (dc->Path.Open()) {
        std::vector<TScanPoint> device;
        std::vector<BYTE> types;
        for (DWORD k = 0; k < count; ++k) {
            device.push_back(DeviceOf(*dc, points[k]));
            types.push_back(k == 0 ? PT_MOVETO : PT_BEZIERTO);
        }
        const bool done = PathAppend(*dc, device.front(), device, types);
        dc->Path.SetFigureOpen(false);
        return done ? TRUE : FALSE;
    }
    const TClip guard = Guard(*dc, *surface);
    if (guard.Empty())
        return TRUE;
    std::vector<TScanPoint> device{DeviceOf(*dc, points[0])};
    for (DWORD k = 1; k < count; k += 3)
        if (!AddBezier(*dc, guard, device, points[k - 1], points + k))
            return Refuse(ERROR_NOT_ENOUGH_MEMORY);
    StrokeFigures(*dc, *surface, device, {TFigure{0, device.size(), false}});
    return TRUE;
}

BOOL PolyBezierTo(HDC handle, const POINT* points, DWORD count) {
    TLock lock(LayerMutex());
    TDCObj* dc;
    TBitmapObj* surface;
    if (Lookup<TDCObj>(handle) == nullptr)
        return FALSE;
    if (points == nullptr || count < 3 || count > kMaxCurveInputPoints || count % 3 != 0)
        return Refuse(ERROR_INVALID_PARAMETER);
    if (!BeginShape(handle, dc, surface) || (Recording(*dc) && !RecordPoly(*dc, EMR_POLYBEZIERTO, points, count)))
        return FALSE;
    if (dc->Path.Open()) {
        std::vector<TScanPoint> device;
        for (DWORD k = 0; k < count; ++k)
            device.push_back(DeviceOf(*dc, points[k]));
        if (!PathAppend(*dc, DeviceOf(*dc, dc->CurrentPosition), device, std::vector<BYTE>(count, PT_BEZIERTO)))
            return FALSE;
        dc->CurrentPosition = points[count - 1];
        return TRUE;
    }
    const TClip guard = Guard(*dc, *surface);
    if (!guard.Empty()) {
        std::vector<TScanPoint> device{DeviceOf(*dc, dc->CurrentPosition)};
        for (DWORD k = 0; k < count; k += 3)
            if (!AddBezier(*dc, guard, device, k == 0 ? dc->CurrentPosition : points[k - 1], points + k))
                return Refuse(ERROR_NOT_ENOUGH_MEMORY);
        StrokeFigures(*dc, *surface, device, {TFigure{0, device.size(), false}});
    }
    dc->CurrentPosition = points[count - 1];
    return TRUE;
}

BOOL PolyDraw(HDC handle, const POINT* points, const BYTE* types, int count) {
    TLock lock(LayerMutex());
    TDCObj* dc;
    TBitmapObj* surface;
    if (Lookup<TDCObj>(handle) == nullptr)
        return FALSE;
    if (count < 0 || count > kMaxCurveInputPoints || (count > 0 && (points == nullptr || types == nullptr)))
        return Refuse(ERROR_INVALID_PARAMETER);
    // Every type is checked before anything is drawn: a Bézier point comes in threes, and only a
    // line or a curve's end may close its figure.
    for (int i = 0; i < count; ++i) {
        const BYTE kind = types[i] & ~PT_CLOSEFIGURE;
        if (kind == PT_MOVETO && types[i] == PT_MOVETO)
            continue;
        if (kind == PT_LINETO)
            continue;
        if (kind == PT_BEZIERTO && i + 2 < count && types[i + 1] == PT_BEZIERTO &&
            (types[i + 2] & ~PT_CLOSEFIGURE) == PT_BEZIERTO && types[i] == PT_BEZIERTO) {
            i += 2;
            continue;
        }
        return Refuse(ERROR_INVALID_PARAMETER);
    }
    if (count == 0)
        return TRUE;
    if (!BeginShape(handle, dc, surface) || (Recording(*dc) && !RecordPolyDraw(*dc, points, types, count)))
        return FALSE;
    if (dc->Path.Open()) {
        // The types go into the path as they are; a line after a closed figure starts a figure
        // of its own at the closed one's start.
        std::vector<TScanPoint> device;
        std::vector<BYTE> kinds;
        TScanPoint figureStart = DeviceOf(*dc, dc->CurrentPosition);
        bool closed = false;
        for (int i = 0; i < count; ++i) {
            const TScanPoint p = DeviceOf(*dc, points[i]);
            if (types[i] == PT_MOVETO) {
                figureStart = p;
            } else if (closed) {
                device.push_back(figureStart);
                kinds.push_back(PT_MOVETO);
            }
            closed = (types[i] & PT_CLOSEFIGURE) != 0;
            device.push_back(p);
            kinds.push_back(types[i]);
        }
        if (!PathAppend(*dc, DeviceOf(*dc, dc->CurrentPosition), device, kinds))
            return FALSE;
        dc->CurrentPosition = points[count - 1];
        return TRUE;
    }
    const TClip guard = Guard(*dc, *surface);
    if (guard.Empty()) {
        dc->CurrentPosition = points[count - 1];
        return TRUE;
    }
    TFigures out;
    out.Begin(DeviceOf(*dc, dc->CurrentPosition));
    TScanPoint figureStart = out.Points.back();
    POINT last = dc->CurrentPosition, logicalStart = last;  // the same points, logical
    for (int i = 0; i < count; ++i) {
        const BYTE kind = types[i] & ~PT_CLOSEFIGURE;
        if (kind == PT_MOVETO) {
            out.Begin(DeviceOf(*dc, points[i]));
            figureStart = out.Points.back();
            last = logicalStart = points[i];
            continue;
        }
        if (kind == PT_LINETO) {
            out.Points.push_back(DeviceOf(*dc, points[i]));
            if (out.Points.size() > kMaxCurvePoints)
                return Refuse(ERROR_NOT_ENOUGH_MEMORY);
        } else {
            if (!AddBezier(*dc, guard, out.Points, last, points + i))
                return Refuse(ERROR_NOT_ENOUGH_MEMORY);
            i += 2;
        }
        last = points[i];
        if (types[i] & PT_CLOSEFIGURE) {
            // The figure closes back to its start, where the next line begins.
            out.Finish(true);
            out.Points.push_back(figureStart);
            out.Start = out.Points.size() - 1;
            last = logicalStart;
        }
    }
    out.Finish(false);
    StrokeFigures(*dc, *surface, out.Points, out.Figures);
    dc->CurrentPosition = points[count - 1];
    return TRUE;
}

}  // namespace gdi
