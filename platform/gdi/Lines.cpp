// Lines with the selected pen: the current position, LineTo and the polyline calls, and the
// stroker they share with the outlines of filled shapes.
#include "platform/gdi/Recorder.h"
#include "platform/gdi/Stroke.h"

namespace gdi {

using namespace detail;

namespace detail {

namespace {

using TWide = __int128;

// ceil(a / b) for b > 0.
long long CeilDiv(TWide a, TWide b) {
    TWide q = a / b;
    if (a % b != 0 && a > 0)
        ++q;
    return (long long)q;
}

// The platform's cosmetic styles count in units of three pixels.
constexpr long long kStyleUnit = 3;

// The smallest i in [lo, hi) for which the monotone predicate holds; hi when none does.
template <typename TPredicate>
long long FirstWhere(long long lo, long long hi, TPredicate&& holds) {
    while (lo < hi) {
        const long long mid = lo + (hi - lo) / 2;
        if (holds(mid))
            hi = mid;
        else
            lo = mid + 1;
    }
    return lo;
}

}  // namespace

std::vector<long long> PenDashes(const TPenObj& pen) {
    const UINT style = pen.Log.lopnStyle & PS_STYLE_MASK;
    // A wide pen of CreatePen draws its dashed styles solid, as documented for widths above 1.
    if (!pen.Extended && pen.Log.lopnWidth.x > 1)
        return {};
    std::vector<long long> dashes;
    if (pen.Extended && (pen.ExtStyle & PS_TYPE_MASK) == PS_GEOMETRIC && style != PS_USERSTYLE) {
        // A geometric pen drawn one pixel wide counts its styles in pen widths, that is pixels.
        switch (style) {
        case PS_DASH: return {3, 1};
        case PS_DOT: return {1, 1};
        case PS_DASHDOT: return {3, 1, 1, 1};
        case PS_DASHDOTDOT: return {3, 1, 1, 1, 1, 1};
        default: return {};
        }
    }
    switch (style) {
    case PS_DASH: dashes = {6, 2}; break;
    case PS_DOT: dashes = {1, 1}; break;
    case PS_DASHDOT: dashes = {3, 2, 1, 2}; break;
    case PS_DASHDOTDOT: dashes = {3, 1, 1, 1, 1, 1}; break;
    case PS_ALTERNATE: return {1, 1};  // single pixels, not style units
    case PS_USERSTYLE: {
        long long total = 0;
        for (DWORD entry : pen.UserStyle) {
            dashes.push_back((long long)entry);
            total += (long long)entry;
        }
        if (total == 0)
            return {};
        // An odd count swaps drawn and gap on every pass, which is the array twice over.
        if (dashes.size() % 2 != 0)
            dashes.insert(dashes.end(), dashes.begin(), dashes.end());
        break;
    }
    default: return {};
    }
    // A geometric pen's own style entries are logical lengths, here pixels.
    if (pen.Extended && (pen.ExtStyle & PS_TYPE_MASK) == PS_GEOMETRIC)
        return dashes;
    for (long long& d : dashes)
        d *= kStyleUnit;
    return dashes;
}

TStroker::TStroker(const TDCObj& dc, TBitmapObj& surface) {
    TObject* object = Find(dc.Pen);
    if (object == nullptr || object->Kind != TKind::Pen)
        return;
    const auto& pen = *static_cast<const TPenObj*>(object);
    if ((pen.Log.lopnStyle & PS_STYLE_MASK) == PS_NULL)
        return;
    FVisible = true;
    FDashes = PenDashes(pen);
    for (long long d : FDashes)
        FPeriod += d;
    const unsigned rop = Rop2ToRop3(dc.Rop2);
    FPenBrush.Log = LOGBRUSH{BS_SOLID, pen.Log.lopnColor, 0};
    // A geometric pen paints with its brush, however thin it comes out.
    const TBrushObj* brush = pen.Fill != nullptr ? pen.Fill.get() : &FPenBrush;
    if (brush->Log.lbStyle == BS_NULL) {
        FVisible = false;
        return;
    }
    FPen.emplace(dc, surface, brush, rop);
    FBounds = FPen->Clipper().Bounds();
    // The alternate style sets every other pixel and leaves the others alone in either mode.
    if (!FDashes.empty() && dc.BkMode == OPAQUE && (pen.Log.lopnStyle & PS_STYLE_MASK) != PS_ALTERNATE) {
        FGapBrush.Log = LOGBRUSH{BS_SOLID, dc.BkColor, 0};
        FGap.emplace(dc, surface, &FGapBrush, rop);
    }
}

void TStroker::Segment(const TDevicePoint& a, const TDevicePoint& b) {
    const long long dx = b.X - a.X, dy = b.Y - a.Y;
    const long long adx = dx < 0 ? -dx : dx, ady = dy < 0 ? -dy : dy;
    const bool xMajor = adx >= ady;
    const long long n = xMajor ? adx : ady;
    if (n == 0 || !FVisible)
        return;
    // Pixel i (0 ≤ i < n) steps once along the longer axis; across it the line is rounded to
    // the nearest pixel, a tie going up (x-major) or left (y-major), as the platform's diamond
    // rule does. Neither depends on the direction of the line.
    const long long majorStart = xMajor ? a.X : a.Y, minorStart = xMajor ? a.Y : a.X;
    const long long majorStep = (xMajor ? dx : dy) < 0 ? -1 : 1;
    const long long minorDelta = xMajor ? dy : dx;
    const auto minor = [&](long long i) { return minorStart + CeilDiv(TWide(2) * i * minorDelta - n, TWide(2) * n); };

    // The pixels inside the clip's box form one range of i: the longer axis bounds it directly,
    // and the other axis is monotone in i, so its bounds are found by bisection. The line may
    // reach far beyond the surface; only the range inside is walked.
    const long long major0 = xMajor ? FBounds.X0 : FBounds.Y0, major1 = xMajor ? FBounds.X1 : FBounds.Y1;
    const long long minor0 = xMajor ? FBounds.Y0 : FBounds.X0, minor1 = xMajor ? FBounds.Y1 : FBounds.X1;
    long long lo, hi;
    if (majorStep > 0) {
        lo = std::max(0LL, major0 - majorStart);
        hi = std::min(n, major1 - majorStart);
    } else {
        lo = std::max(0LL, majorStart - (major1 - 1));
        hi = std::min(n, majorStart - major0 + 1);
    }
    if (lo < hi) {
        if (minorDelta >= 0) {
            const long long first = FirstWhere(lo, hi, [&](long long i) { return minor(i) >= minor0; });
            hi = FirstWhere(first, hi, [&](long long i) { return minor(i) >= minor1; });
            lo = first;
        } else {
            const long long first = FirstWhere(lo, hi, [&](long long i) { return minor(i) < minor1; });
            hi = FirstWhere(first, hi, [&](long long i) { return minor(i) < minor0; });
            lo = first;
        }
    }
    // The dash pattern at pixel lo: its place within the period, then the dash that holds it.
    std::size_t dash = 0;
    long long left = 0;  // pixels still to go in the current dash
    if (FPeriod > 0 && lo < hi) {
        long long place = (FPhase + lo % FPeriod) % FPeriod;
        while (place >= FDashes[dash]) {
            place -= FDashes[dash];
            dash = (dash + 1) % FDashes.size();
        }
        left = FDashes[dash] - place;
    }
    for (long long i = lo; i < hi; ++i) {
        TInk ink = TInk::Pen;
        if (FPeriod > 0) {
            while (left == 0) {
                dash = (dash + 1) % FDashes.size();
                left = FDashes[dash];
            }
            ink = dash % 2 == 0 ? TInk::Pen : TInk::Gap;
            --left;
        }
        const long long major = majorStart + majorStep * i, across = minor(i);
        if (ink == TInk::Pen || FGap)
            Plot(xMajor ? major : across, xMajor ? across : major, ink);
    }
    if (FPeriod > 0)
        FPhase = (FPhase + n % FPeriod) % FPeriod;
}

void TStroker::Plot(long long x, long long y, TInk ink) {
    if (FHasRun && ink == FRunInk && y == FRunY) {
        if (x == FRunX1) {
            ++FRunX1;
            return;
        }
        if (x == FRunX0 - 1) {
            --FRunX0;
            return;
        }
    }
    Flush();
    FHasRun = true;
    FRunInk = ink;
    FRunY = y;
    FRunX0 = x;
    FRunX1 = x + 1;
}

void TStroker::Flush() {
    if (!FHasRun)
        return;
    FHasRun = false;
    (FRunInk == TInk::Pen ? *FPen : *FGap).Span(FRunY, FRunX0, FRunX1);
}

void StrokeFigures(const TDCObj& dc, TBitmapObj& surface, const std::vector<TScanPoint>& points,
                   const std::vector<TFigure>& figures) {
    if (StrokeWide(dc, surface, points, figures))
        return;
    TStroker stroker(dc, surface);
    if (!stroker.Visible())
        return;
    for (const TFigure& figure : figures) {
        // The dash pattern runs on across a figure's corners and starts again with each figure.
        stroker.Restart();
        const std::size_t segments = figure.Closed ? figure.Count : figure.Count - 1;
        for (std::size_t k = 0; figure.Count > 1 && k < segments; ++k) {
            const TScanPoint& a = points[figure.First + k];
            const TScanPoint& b = points[figure.First + (k + 1) % figure.Count];
            stroker.Segment(TDevicePoint{a.X, a.Y}, TDevicePoint{b.X, b.Y});
        }
    }
}

std::vector<TScanPoint> DevicePoints(const TDCObj& dc, const POINT* points, std::size_t count) {
    std::vector<TScanPoint> out(count);
    for (std::size_t i = 0; i < count; ++i) {
        const TDevicePoint d = DevicePoint(dc, points[i].x, points[i].y);
        out[i] = TScanPoint{d.X, d.Y};
    }
    return out;
}

}  // namespace detail

namespace {

/// Point arrays beyond this are refused before any point is read.
constexpr long long kMaxLinePoints = 1LL << 24;

BOOL Refuse(DWORD error) {
    SetLastError(error);
    return FALSE;
}

}  // namespace

BOOL LineTo(HDC handle, int x, int y) {
    TLock lock(LayerMutex());
    auto* dc = Lookup<TDCObj>(handle);
    if (dc == nullptr)
        return FALSE;
    TBitmapObj* surface = SurfaceOf(*dc);
    if (surface == nullptr || (Recording(*dc) && !RecordLineTo(*dc, x, y)))
        return FALSE;
    const POINT ends[] = {dc->CurrentPosition, POINT{x, y}};
    if (dc->Path.Open()) {
        if (!PathLines(*dc, DevicePoints(*dc, ends, 2)))
            return FALSE;
    } else {
        StrokeFigures(*dc, *surface, DevicePoints(*dc, ends, 2), {TFigure{0, 2, false}});
    }
    dc->CurrentPosition = POINT{x, y};
    return TRUE;
}

BOOL Polyline(HDC handle, const POINT* points, int count) {
    TLock lock(LayerMutex());
    auto* dc = Lookup<TDCObj>(handle);
    if (dc == nullptr)
        return FALSE;
    if (points == nullptr || count < 2 || count > kMaxLinePoints)
        return Refuse(ERROR_INVALID_PARAMETER);
    TBitmapObj* surface = SurfaceOf(*dc);
    if (surface == nullptr || (Recording(*dc) && !RecordPoly(*dc, EMR_POLYLINE, points, DWORD(count))))
        return FALSE;
    if (dc->Path.Open())
        return PathFigure(*dc, DevicePoints(*dc, points, std::size_t(count)), false) ? TRUE : FALSE;
    StrokeFigures(*dc, *surface, DevicePoints(*dc, points, std::size_t(count)),
                  {TFigure{0, std::size_t(count), false}});
    return TRUE;
}

BOOL PolylineTo(HDC handle, const POINT* points, DWORD count) {
    TLock lock(LayerMutex());
    auto* dc = Lookup<TDCObj>(handle);
    if (dc == nullptr)
        return FALSE;
    if (points == nullptr || count < 1 || count > kMaxLinePoints)
        return Refuse(ERROR_INVALID_PARAMETER);
    TBitmapObj* surface = SurfaceOf(*dc);
    if (surface == nullptr || (Recording(*dc) && !RecordPoly(*dc, EMR_POLYLINETO, points, count)))
        return FALSE;
    std::vector<TScanPoint> device(std::size_t(count) + 1);
    const TDevicePoint start = DevicePoint(*dc, dc->CurrentPosition.x, dc->CurrentPosition.y);
    device[0] = TScanPoint{start.X, start.Y};
    for (DWORD k = 0; k < count; ++k) {
        const TDevicePoint d = DevicePoint(*dc, points[k].x, points[k].y);
        device[k + 1] = TScanPoint{d.X, d.Y};
    }
    if (dc->Path.Open()) {
        if (!PathLines(*dc, device))
            return FALSE;
    } else {
        StrokeFigures(*dc, *surface, device, {TFigure{0, device.size(), false}});
    }
    dc->CurrentPosition = points[count - 1];
    return TRUE;
}

BOOL PolyPolyline(HDC handle, const POINT* points, const DWORD* counts, DWORD polylines) {
    TLock lock(LayerMutex());
    auto* dc = Lookup<TDCObj>(handle);
    if (dc == nullptr)
        return FALSE;
    if (points == nullptr || counts == nullptr || polylines < 1 || polylines > kMaxLinePoints)
        return Refuse(ERROR_INVALID_PARAMETER);
    // Every count is checked before anything is drawn, so a bad one leaves the surface alone.
    long long total = 0;
    for (DWORD i = 0; i < polylines; ++i) {
        if (counts[i] < 2 || counts[i] > kMaxLinePoints)
            return Refuse(ERROR_INVALID_PARAMETER);
        total += counts[i];
        if (total > kMaxLinePoints)
            return Refuse(ERROR_INVALID_PARAMETER);
    }
    TBitmapObj* surface = SurfaceOf(*dc);
    if (surface == nullptr || (Recording(*dc) && !RecordPolyPoly(*dc, EMR_POLYPOLYLINE, points, counts, polylines)))
        return FALSE;
    std::vector<TFigure> figures;
    figures.reserve(polylines);
    std::size_t first = 0;
    for (DWORD i = 0; i < polylines; ++i) {
        figures.push_back(TFigure{first, counts[i], false});
        first += counts[i];
    }
    const std::vector<TScanPoint> device = DevicePoints(*dc, points, first);
    if (dc->Path.Open()) {
        for (const TFigure& figure : figures)
            if (!PathFigure(*dc, std::vector<TScanPoint>(device.begin() + std::ptrdiff_t(figure.First),
                                                         device.begin() + std::ptrdiff_t(figure.First + figure.Count)),
                            false))
                return FALSE;
        return TRUE;
    }
    StrokeFigures(*dc, *surface, device, figures);
    return TRUE;
}

}  // namespace gdi
