// A context's path: the figures the line, shape and curve calls record between BeginPath and
// EndPath instead of drawing, kept in device pixels with the platform's point types.
#pragma once

#include "platform/gdi/Gdi.h"
#include "platform/gdi/Region.h"

#include <memory>
#include <vector>

namespace gdi::detail {

/// Paths hold at most this many points; a call that would pass it fails (not enough memory).
constexpr std::size_t kMaxPathPoints = std::size_t(1) << 24;

struct TPathData {
    std::vector<TScanPoint> Points;  // device pixels
    std::vector<BYTE> Types;         // PT_MOVETO, PT_LINETO or PT_BEZIERTO; PT_CLOSEFIGURE on a figure's last
};

/// The path of a drawing state. SaveDC copies the state, so saved copies share the points until
/// one of them changes.
class TPath {
public:
    /// Between BeginPath and EndPath: drawing calls record here.
    bool Open() const { return FData != nullptr && FOpen; }
    /// After EndPath: the path the path calls use.
    bool Ready() const { return FData != nullptr && !FOpen; }
    const TPathData& Data() const { return *FData; }
    /// The figures' points to change, unshared first.
    TPathData& Change() {
        if (FData.use_count() > 1)
            FData = std::make_shared<TPathData>(*FData);
        return *FData;
    }
    void Begin() {
        FData = std::make_shared<TPathData>();
        FOpen = true;
        FFigureOpen = false;
    }
    void End() { FOpen = false; }
    void Discard() {
        FData.reset();
        FOpen = false;
        FFigureOpen = false;
    }
    /// Whether the last point recorded belongs to a figure that goes on (no MoveTo or close since).
    bool FigureOpen() const { return FFigureOpen; }
    void SetFigureOpen(bool open) { FFigureOpen = open; }

private:
    std::shared_ptr<TPathData> FData;
    bool FOpen = false;
    bool FFigureOpen = false;
};

struct TDCObj;
struct TFigure;

/// Records points into the open path of the context: a first type other than PT_MOVETO goes on
/// from the current figure, or starts one at from. False (ERROR_NOT_ENOUGH_MEMORY, path
/// unchanged) beyond kMaxPathPoints.
bool PathAppend(TDCObj& dc, const TScanPoint& from, const std::vector<TScanPoint>& points,
                const std::vector<BYTE>& types);

/// A figure of lines from its first point (Polyline, Polygon, Rectangle), closed or not; the
/// next line starts a figure of its own.
bool PathFigure(TDCObj& dc, const std::vector<TScanPoint>& points, bool closed);
/// Lines from the current position, points[0] (LineTo, PolylineTo): they go on with the figure.
bool PathLines(TDCObj& dc, const std::vector<TScanPoint>& points);

/// Appends the flattened Bézier curve from points.back() through three device control points,
/// as the Bézier calls flatten it; false (ERROR_NOT_ENOUGH_MEMORY) beyond kMaxPathPoints.
bool FlattenCurve(std::vector<TScanPoint>& points, const TScanPoint* control);

/// The path's figures with their curves flattened as the Bézier calls flatten them: device
/// points and figures with their closed flags, as the stroker (and a widening) takes them.
/// False (ERROR_NOT_ENOUGH_MEMORY) when the points would pass kMaxPathPoints.
bool FlattenedFigures(const TPathData& path, std::vector<TScanPoint>& points, std::vector<TFigure>& figures);

}  // namespace gdi::detail
