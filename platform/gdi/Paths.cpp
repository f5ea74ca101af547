// Paths: BeginPath and EndPath bracket the figures the drawing calls record (Path.h), and the
// path calls flatten, read, stroke, fill and clip with them. Using a path for drawing, clipping
// or a region discards it, as documented.
#include "platform/gdi/Recorder.h"
#include "platform/gdi/Stroke.h"

#include <climits>

namespace gdi {

using namespace detail;

namespace detail {

bool PathAppend(TDCObj& dc, const TScanPoint& from, const std::vector<TScanPoint>& points,
                const std::vector<BYTE>& types) {
    const bool goesOn = !types.empty() && (types.front() & ~PT_CLOSEFIGURE) != PT_MOVETO;
    const bool startHere = goesOn && !dc.Path.FigureOpen();
    const std::size_t count = dc.Path.Data().Points.size() + points.size() + (startHere ? 1 : 0);
    if (count > kMaxPathPoints) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return false;
    }
    TPathData& path = dc.Path.Change();
    if (startHere) {
        path.Points.push_back(from);
        path.Types.push_back(PT_MOVETO);
    }
    path.Points.insert(path.Points.end(), points.begin(), points.end());
    path.Types.insert(path.Types.end(), types.begin(), types.end());
    dc.Path.SetFigureOpen(!types.empty() && (types.back() & PT_CLOSEFIGURE) == 0);
    return true;
}

bool PathFigure(TDCObj& dc, const std::vector<TScanPoint>& points, bool closed) {
    std::vector<BYTE> types(points.size(), PT_LINETO);
    if (types.empty())
        return true;
    types.front() = PT_MOVETO;
    if (closed)
        types.back() |= PT_CLOSEFIGURE;
    const bool done = PathAppend(dc, points.front(), points, types);
    dc.Path.SetFigureOpen(false);
    return done;
}

bool PathLines(TDCObj& dc, const std::vector<TScanPoint>& points) {
    if (points.size() < 2)
        return true;
    return PathAppend(dc, points.front(), std::vector<TScanPoint>(points.begin() + 1, points.end()),
                      std::vector<BYTE>(points.size() - 1, PT_LINETO));
}

bool FlattenedFigures(const TPathData& path, std::vector<TScanPoint>& points, std::vector<TFigure>& figures) {
    std::size_t start = 0;
    bool open = false;
    const auto finish = [&](bool closed) {
        if (open && points.size() - start > 1)
            figures.push_back(TFigure{start, points.size() - start, closed});
        open = false;
    };
    for (std::size_t i = 0; i < path.Points.size(); ++i) {
        const BYTE kind = path.Types[i] & ~PT_CLOSEFIGURE;
        if (kind == PT_MOVETO || !open) {
            finish(false);
            start = points.size();
            open = true;
            points.push_back(path.Points[i]);
            if (kind == PT_MOVETO)
                continue;
        }
        if (kind == PT_BEZIERTO && i + 2 < path.Points.size()) {
            if (!FlattenCurve(points, &path.Points[i]))
                return false;
            i += 2;
        } else {
            points.push_back(path.Points[i]);
        }
        if (points.size() > kMaxPathPoints) {
            SetLastError(ERROR_NOT_ENOUGH_MEMORY);
            return false;
        }
        if (path.Types[i] & PT_CLOSEFIGURE)
            finish(true);
    }
    finish(false);
    return true;
}

}  // namespace detail

namespace {

BOOL Refuse(DWORD error) {
    SetLastError(error);
    return FALSE;
}

// The context of a path call that needs a finished path; null with the last error otherwise.
TDCObj* ReadyPath(HDC handle) {
    auto* dc = Lookup<TDCObj>(handle);
    if (dc == nullptr)
        return nullptr;
    if (!dc->Path.Ready()) {
        SetLastError(ERROR_CAN_NOT_COMPLETE);
        return nullptr;
    }
    return dc;
}

// The path's figures for drawing or a region: flattened, every figure closed when asked.
bool Figures(const TDCObj& dc, std::vector<TScanPoint>& points, std::vector<TFigure>& figures, bool closeAll) {
    if (!FlattenedFigures(dc.Path.Data(), points, figures))
        return false;
    if (closeAll)
        for (TFigure& figure : figures)
            figure.Closed = true;
    return true;
}

std::vector<TPolygonRun> Runs(const std::vector<TFigure>& figures) {
    std::vector<TPolygonRun> runs;
    runs.reserve(figures.size());
    for (const TFigure& figure : figures)
        runs.push_back(TPolygonRun{figure.First, figure.Count});
    return runs;
}

// FillPath, StrokePath and StrokeAndFillPath: the path is used up either way.
BOOL DrawPath(HDC handle, bool fill, bool stroke) {
    TLock lock(LayerMutex());
    TDCObj* dc = ReadyPath(handle);
    if (dc == nullptr)
        return FALSE;
    TBitmapObj* surface = SurfaceOf(*dc);
    if (surface == nullptr ||
        (Recording(*dc) &&
         !RecordPathDrawing(*dc, !fill ? EMR_STROKEPATH : stroke ? EMR_STROKEANDFILLPATH : EMR_FILLPATH)))
        return FALSE;
    std::vector<TScanPoint> points;
    std::vector<TFigure> figures;
    const bool made = Figures(*dc, points, figures, fill);
    dc->Path.Discard();
    if (!made)
        return FALSE;
    const TBrushObj* brush = SelectedBrush(*dc);
    if (fill && !figures.empty() && brush != nullptr) {
        TFillStage stage(*dc, *surface, brush, Rop2ToRop3(dc->Rop2));
        // The filled region does not overlap the stroked one, even with a wide pen.
        TFillBesideStroke fill(*dc, stage, points, stroke ? figures : std::vector<TFigure>{});
        const TClip& bounds = stage.Clipper().Bounds();
        if (!bounds.Empty() &&
            !ScanPolygon(points, Runs(figures), dc->PolyFillMode, bounds.Y0, bounds.Y1,
                         [&fill](long long top, long long bottom, const std::vector<TSpan>& spans) {
                             fill.Spans(top, bottom, spans);
                             return true;
                         }))
            return FALSE;
    }
    if (stroke)
        StrokeFigures(*dc, *surface, points, figures);
    return TRUE;
}

// The region of the path's figures, all closed, by the context's fill mode.
bool PathRegion(const TDCObj& dc, TRegion& region) {
    std::vector<TScanPoint> points;
    std::vector<TFigure> figures;
    if (!Figures(dc, points, figures, true))
        return false;
    std::vector<POINT> logical(points.size());
    for (std::size_t i = 0; i < points.size(); ++i)
        logical[i] = POINT{LONG(points[i].X), LONG(points[i].Y)};  // device points stay within 2^30
    if (figures.empty()) {
        region = TRegion();
        return true;
    }
    return PolygonRegion(logical.data(), Runs(figures), dc.PolyFillMode, region);
}

}  // namespace

BOOL BeginPath(HDC handle) {
    TLock lock(LayerMutex());
    auto* dc = Lookup<TDCObj>(handle);
    if (dc == nullptr || (Recording(*dc) && !RecordBare(*dc, EMR_BEGINPATH)))
        return FALSE;
    dc->Path.Begin();
    return TRUE;
}

BOOL EndPath(HDC handle) {
    TLock lock(LayerMutex());
    auto* dc = Lookup<TDCObj>(handle);
    if (dc == nullptr)
        return FALSE;
    if (!dc->Path.Open())
        return Refuse(ERROR_CAN_NOT_COMPLETE);
    if (Recording(*dc) && !RecordBare(*dc, EMR_ENDPATH))
        return FALSE;
    dc->Path.End();
    return TRUE;
}

BOOL AbortPath(HDC handle) {
    TLock lock(LayerMutex());
    auto* dc = Lookup<TDCObj>(handle);
    if (dc == nullptr || (Recording(*dc) && !RecordBare(*dc, EMR_ABORTPATH)))
        return FALSE;
    dc->Path.Discard();
    return TRUE;
}

BOOL CloseFigure(HDC handle) {
    TLock lock(LayerMutex());
    auto* dc = Lookup<TDCObj>(handle);
    if (dc == nullptr)
        return FALSE;
    if (!dc->Path.Open())
        return Refuse(ERROR_CAN_NOT_COMPLETE);
    if (Recording(*dc) && !RecordBare(*dc, EMR_CLOSEFIGURE))
        return FALSE;
    // Only a figure still going on can be closed; closing twice changes nothing.
    if (dc->Path.FigureOpen()) {
        dc->Path.Change().Types.back() |= PT_CLOSEFIGURE;
        dc->Path.SetFigureOpen(false);
    }
    return TRUE;
}

namespace {

// A path of straight figures: each starts with a move, and a closed one ends closing.
TPathData LinePath(const std::vector<TScanPoint>& points, const std::vector<TFigure>& figures) {
    TPathData path;
    for (const TFigure& figure : figures) {
        for (std::size_t k = 0; k < figure.Count; ++k) {
            path.Points.push_back(points[figure.First + k]);
            path.Types.push_back(k == 0 ? PT_MOVETO : PT_LINETO);
        }
        if (figure.Closed && figure.Count > 0)
            path.Types.back() |= PT_CLOSEFIGURE;
    }
    return path;
}

}  // namespace

BOOL FlattenPath(HDC handle) {
    TLock lock(LayerMutex());
    TDCObj* dc = ReadyPath(handle);
    if (dc == nullptr || (Recording(*dc) && !RecordBare(*dc, EMR_FLATTENPATH)))
        return FALSE;
    std::vector<TScanPoint> points;
    std::vector<TFigure> figures;
    if (!FlattenedFigures(dc->Path.Data(), points, figures))
        return FALSE;
    dc->Path.Change() = LinePath(points, figures);
    return TRUE;
}

BOOL WidenPath(HDC handle) {
    TLock lock(LayerMutex());
    TDCObj* dc = ReadyPath(handle);
    if (dc == nullptr || (Recording(*dc) && !RecordBare(*dc, EMR_WIDENPATH)))
        return FALSE;
    std::vector<TScanPoint> points, outline;
    std::vector<TFigure> figures, outlineFigures;
    if (!FlattenedFigures(dc->Path.Data(), points, figures))
        return FALSE;
    switch (WidenFigures(*dc, points, figures, outline, outlineFigures)) {
    case TWidenResult::Done: break;
    case TWidenResult::NotWide: SetLastError(ERROR_CAN_NOT_COMPLETE); return FALSE;
    case TWidenResult::TooLarge: SetLastError(ERROR_NOT_ENOUGH_MEMORY); return FALSE;
    }
    dc->Path.Change() = LinePath(outline, outlineFigures);
    return TRUE;
}

int GetPath(HDC handle, POINT* points, BYTE* types, int count) {
    TLock lock(LayerMutex());
    TDCObj* dc = ReadyPath(handle);
    if (dc == nullptr)
        return -1;
    const TPathData& path = dc->Path.Data();
    const int size = int(path.Points.size());
    if (count == 0)
        return size;
    if (count < size || points == nullptr || types == nullptr) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return -1;
    }
    const bool mirror = (dc->Layout & LAYOUT_RTL) != 0;
    const long long width = mirror ? LayoutWidth(*dc) : 0;
    for (int i = 0; i < size; ++i) {
        const TScanPoint& p = path.Points[std::size_t(i)];
        long long x = 0, y = 0;
        ToLogical(*dc, mirror ? width - 1 - p.X : p.X, p.Y, x, y);
        points[i] = POINT{LONG(std::clamp<long long>(x, INT_MIN, INT_MAX)), LONG(std::clamp<long long>(y, INT_MIN, INT_MAX))};
        types[i] = path.Types[std::size_t(i)];
    }
    return size;
}

BOOL StrokePath(HDC dc) { return DrawPath(dc, false, true); }
BOOL FillPath(HDC dc) { return DrawPath(dc, true, false); }
BOOL StrokeAndFillPath(HDC dc) { return DrawPath(dc, true, true); }

BOOL SelectClipPath(HDC handle, int mode) {
    TLock lock(LayerMutex());
    TDCObj* dc = ReadyPath(handle);
    if (dc == nullptr)
        return FALSE;
    if (mode < RGN_MIN || mode > RGN_MAX)
        return Refuse(ERROR_INVALID_PARAMETER);
    if (Recording(*dc) && !RecordValue(*dc, EMR_SELECTCLIPPATH, DWORD(mode)))
        return FALSE;
    TRegion region;
    const bool made = PathRegion(*dc, region);
    dc->Path.Discard();
    if (!made)
        return FALSE;
    return CombineClip(*dc, &region, mode) != ERROR ? TRUE : FALSE;
}

HRGN PathToRegion(HDC handle) {
    TLock lock(LayerMutex());
    TDCObj* dc = ReadyPath(handle);
    if (dc == nullptr)
        return nullptr;
    auto object = std::make_unique<TRegionObj>();
    const bool made = PathRegion(*dc, object->Region);
    dc->Path.Discard();
    if (!made)
        return nullptr;
    return static_cast<HRGN>(Register(std::move(object)));
}

}  // namespace gdi
