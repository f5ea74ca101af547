// Filled shapes: Polygon, PolyPolygon and Rectangle fill with the selected brush through the
// context's SetROP2 operation and the clip, then draw their outline with the selected pen.
#include "platform/gdi/Recorder.h"
#include "platform/gdi/Stroke.h"

namespace gdi {

using namespace detail;

namespace {

/// Point arrays beyond this are refused before any point is read, as for polygon regions.
constexpr long long kMaxShapePoints = 1LL << 24;

BOOL Refuse(DWORD error) {
    SetLastError(error);
    return FALSE;
}

// The brush a context fills with; null for the null brush.
// Fills closed figures of device points, then outlines each one. Only the rows the clip can
// reach are scanned, so a figure far larger than the surface costs no more than the surface.
// The brush fills the figures of interior when given (none when it is empty), else the outlines'
// own figures.
bool DrawFigures(TDCObj& dc, TBitmapObj& surface, const std::vector<TScanPoint>& points,
                 const std::vector<TPolygonRun>& figures, const std::vector<TScanPoint>* interior = nullptr) {
    if (dc.Path.Open()) {
        // Inside a path bracket the closed figures are recorded instead.
        for (const TPolygonRun& figure : figures)
            if (!PathFigure(dc, std::vector<TScanPoint>(points.begin() + std::ptrdiff_t(figure.First),
                                                        points.begin() + std::ptrdiff_t(figure.First + figure.Count)),
                            true))
                return false;
        return true;
    }
    std::vector<TFigure> outlines;
    outlines.reserve(figures.size());
    for (const TPolygonRun& figure : figures)
        outlines.push_back(TFigure{figure.First, figure.Count, true});
    {
        TFillStage stage(dc, surface, SelectedBrush(dc), Rop2ToRop3(dc.Rop2));
        // A given interior already stops where the pen's pixels begin.
        TFillBesideStroke fill(dc, stage, points, interior != nullptr ? std::vector<TFigure>{} : outlines);
        const TClip& bounds = stage.Clipper().Bounds();
        if (SelectedBrush(dc) != nullptr && !bounds.Empty() && (interior == nullptr || !interior->empty())) {
            const bool done = ScanPolygon(interior != nullptr ? *interior : points, figures, dc.PolyFillMode, bounds.Y0, bounds.Y1,
                                          [&fill](long long top, long long bottom, const std::vector<TSpan>& spans) {
                                              fill.Spans(top, bottom, spans);
                                              return true;
                                          });
            if (!done)
                return false;
        }
    }
    StrokeFigures(dc, surface, points, outlines);
    return true;
}

// The context and the surface it draws on; false with the last error set.
bool BeginShape(HDC handle, TDCObj*& dc, TBitmapObj*& surface) {
    dc = Lookup<TDCObj>(handle);
    if (dc == nullptr)
        return false;
    surface = SurfaceOf(*dc);
    return surface != nullptr;
}

}  // namespace

BOOL Polygon(HDC handle, const POINT* points, int count) {
    TLock lock(LayerMutex());
    TDCObj* dc;
    TBitmapObj* surface;
    if (Lookup<TDCObj>(handle) == nullptr)
        return FALSE;  // a bad context is reported before the arguments
    if (points == nullptr || count < 2 || count > kMaxShapePoints)
        return Refuse(ERROR_INVALID_PARAMETER);
    if (!BeginShape(handle, dc, surface) || (Recording(*dc) && !RecordPoly(*dc, EMR_POLYGON, points, DWORD(count))))
        return FALSE;
    return DrawFigures(*dc, *surface, DevicePoints(*dc, points, std::size_t(count)),
                       {TPolygonRun{0, std::size_t(count)}})
               ? TRUE
               : FALSE;
}

BOOL PolyPolygon(HDC handle, const POINT* points, const INT* counts, int polygons) {
    TLock lock(LayerMutex());
    TDCObj* dc;
    TBitmapObj* surface;
    if (Lookup<TDCObj>(handle) == nullptr)
        return FALSE;
    if (points == nullptr || counts == nullptr || polygons < 1 || polygons > kMaxShapePoints)
        return Refuse(ERROR_INVALID_PARAMETER);
    std::vector<TPolygonRun> figures;
    figures.reserve(std::size_t(polygons));
    long long total = 0;
    for (int i = 0; i < polygons; ++i) {
        if (counts[i] < 2)
            return Refuse(ERROR_INVALID_PARAMETER);
        figures.push_back(TPolygonRun{std::size_t(total), std::size_t(counts[i])});
        total += counts[i];
        if (total > kMaxShapePoints)
            return Refuse(ERROR_INVALID_PARAMETER);
    }
    if (!BeginShape(handle, dc, surface))
        return FALSE;
    if (Recording(*dc) &&
        !RecordPolyPoly(*dc, EMR_POLYPOLYGON, points, std::vector<DWORD>(counts, counts + polygons).data(), DWORD(polygons)))
        return FALSE;
    return DrawFigures(*dc, *surface, DevicePoints(*dc, points, std::size_t(total)), figures) ? TRUE : FALSE;
}

BOOL Rectangle(HDC handle, int left, int top, int right, int bottom) {
    TLock lock(LayerMutex());
    TDCObj* dc;
    TBitmapObj* surface;
    if (!BeginShape(handle, dc, surface) || (Recording(*dc) && !RecordBox(*dc, EMR_RECTANGLE, left, top, right, bottom)))
        return FALSE;
    // The outline starts at the top right corner and runs counter-clockwise, or at the bottom
    // right one and clockwise under that arc direction, as the platform's rectangle figure does;
    // a dash pattern and a path show it.
    const bool clockwise = dc->ArcDirection == AD_CLOCKWISE;
    std::vector<TScanPoint> corners;
    if (WorldRotates(*dc)) {
        // A turned rectangle is the polygon of its corners, filled by the same pixel rule.
        const POINT logical[] = {{right, top}, {left, top}, {left, bottom}, {right, bottom}};
        corners = DevicePoints(*dc, logical, 4);
        if (clockwise)
            corners = {corners[3], corners[2], corners[1], corners[0]};
    } else {
        // Right and bottom edges stay out: the figure's corners are the last pixels inside.
        const TDeviceRect d = DeviceRect(*dc, left, top, (long long)right - left, (long long)bottom - top);
        long long x0 = std::min(d.X, d.X + d.Width), x1 = std::max(d.X, d.X + d.Width) - 1;
        long long y0 = std::min(d.Y, d.Y + d.Height), y1 = std::max(d.Y, d.Y + d.Height) - 1;
        if (x1 < x0 || y1 < y0)
            return TRUE;
        // A wide PS_INSIDEFRAME pen pulls the figure in until its stroke fits the frame; a frame
        // narrower than the pen leaves the figure on its middle line.
        long long nearX, farX, nearY, farY;
        if (InsideFrameInsets(*dc, nearX, farX, nearY, farY)) {
            const auto shrink = [](long long& low, long long& high, long long nearSide, long long farSide) {
                const long long middle = low + (high - low) / 2;
                low = std::min(low + nearSide, middle);
                high = std::max(high - farSide, middle);
            };
            shrink(x0, x1, nearX, farX);
            shrink(y0, y1, nearY, farY);
        }
        corners = clockwise ? std::vector<TScanPoint>{{x1, y1}, {x0, y1}, {x0, y0}, {x1, y0}}
                            : std::vector<TScanPoint>{{x1, y0}, {x0, y0}, {x0, y1}, {x1, y1}};
        // The brush fills only what the pen leaves inside, so that no pixel is drawn twice: an
        // inverting or XOR operation leaves the frame as it leaves the inside, and the gaps of a
        // dashed frame show what lay under it. The null pen leaves the frame's top and left to
        // the brush.
        if (!dc->Path.Open() && PenReach(*dc, nearX, farX, nearY, farY)) {
            const long long left = x0 + farX + 1, right = x1 - nearX, top = y0 + farY + 1, bottom = y1 - nearY;
            std::vector<TScanPoint> interior;
            if (left < right && top < bottom)
                interior = {{right, top}, {left, top}, {left, bottom}, {right, bottom}};
            return DrawFigures(*dc, *surface, corners, {TPolygonRun{0, 4}}, &interior) ? TRUE : FALSE;
        }
    }
    return DrawFigures(*dc, *surface, corners, {TPolygonRun{0, 4}}) ? TRUE : FALSE;
}

}  // namespace gdi
