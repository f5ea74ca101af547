// Cosmetic lines: the selected pen drawn one pixel wide in device space, through the clip stage
// and the context's SetROP2 operation. The line calls and the outlines of filled shapes share it.
#pragma once

#include "platform/gdi/Coordinates.h"
#include "platform/gdi/Region.h"
#include "platform/gdi/Transfer.h"

#include <optional>
#include <vector>

namespace gdi::detail {

/// The dash pattern of a pen in pixels: lengths that alternate between drawn and gap, starting
/// with drawn; empty for a solid pen.
std::vector<long long> PenDashes(const TPenObj& pen);

class TStroker {
public:
    /// The context's selected pen on its surface; the fill stages are made once here.
    TStroker(const TDCObj& dc, TBitmapObj& surface);
    TStroker(const TStroker&) = delete;
    TStroker& operator=(const TStroker&) = delete;
    ~TStroker() { Flush(); }

    /// False for PS_NULL: nothing would be drawn.
    bool Visible() const { return FVisible; }
    /// A new figure: the dash pattern starts again at its beginning.
    void Restart() { FPhase = 0; }
    /// Draws from a to b, b itself left out, and moves the dash pattern on by the line's length
    /// in pixels (its longer axis), whether or not the pixels were inside the clip.
    void Segment(const TDevicePoint& a, const TDevicePoint& b);
    /// Writes the run of pixels still held back.
    void Flush();

private:
    enum class TInk : std::uint8_t { Pen, Gap };
    void Plot(long long x, long long y, TInk ink);

    TBrushObj FPenBrush;
    TBrushObj FGapBrush;
    std::optional<TFillStage> FPen;
    std::optional<TFillStage> FGap;  // OPAQUE mode with a dashed pen: gaps take the background
    TClip FBounds;
    bool FVisible = false;
    std::vector<long long> FDashes;
    long long FPeriod = 0;
    long long FPhase = 0;
    // A run of neighbouring pixels of one row and one ink, written as one span.
    bool FHasRun = false;
    TInk FRunInk = TInk::Pen;
    long long FRunY = 0, FRunX0 = 0, FRunX1 = 0;
};

/// One figure of a run of device points; a closed figure joins its last point to its first.
struct TFigure {
    std::size_t First;
    std::size_t Count;
    bool Closed;
};

/// Outlines figures with the context's selected pen: every line, shape outline and stroked path
/// goes through here, so each kind of pen is drawn the same way whatever made the figure.
void StrokeFigures(const TDCObj& dc, TBitmapObj& surface, const std::vector<TScanPoint>& points,
                   const std::vector<TFigure>& figures);

/// Draws figures with a wide pen (Pens.cpp): false, with nothing drawn, when the selected pen
/// is not one (a cosmetic pen, width 0, or under one and a half pixels across once transformed),
/// which TStroker then draws.
bool StrokeWide(const TDCObj& dc, TBitmapObj& surface, const std::vector<TScanPoint>& points,
                const std::vector<TFigure>& figures);

enum class TWidenResult : std::uint8_t {
    Done,
    NotWide,   // the selected pen draws one pixel wide, so there is nothing to widen
    TooLarge,  // the outline would exceed 2^24 points (a caller reports ERROR_NOT_ENOUGH_MEMORY)
};

/// The area the selected pen paints along figures of device points, as closed polygons of
/// device points: every polygon is wound the same way, so filling them together with WINDING
/// paints the stroke (pieces overlap where segments, joins and caps meet). Dashes, caps, joins
/// and the miter limit are those StrokeFigures draws with, and the corners are whole pixels.
TWidenResult WidenFigures(const TDCObj& dc, const std::vector<TScanPoint>& points, const std::vector<TFigure>& figures,
                          std::vector<TScanPoint>& outline, std::vector<TFigure>& outlineFigures);

/// How many whole pixels the selected pen's stroke reaches to each side of an upright or level
/// line: left or up (near), right or down (far); all 0 for a pen drawn one pixel wide. False for
/// the null pen and for a pen the transforms turn.
bool PenReach(const TDCObj& dc, long long& nearX, long long& farX, long long& nearY, long long& farY);

/// For a wide PS_INSIDEFRAME pen, how many device pixels a shape's figure moves in from the
/// left and top (near) and from the right and bottom (far) edges of its bounding frame so that
/// the stroke stays inside it; false (all 0) for any other pen or a turning world transform.
bool InsideFrameInsets(const TDCObj& dc, long long& nearX, long long& farX, long long& nearY, long long& farY);

/// A shape's fill when its outline is stroked afterwards with a wide pen: under a raster
/// operation that reads the surface, the pixels the stroke will cover are left out, so that no
/// pixel is painted twice (the filled region does not overlap the stroked one). Otherwise the
/// spans go to the stage as they are.
class TFillBesideStroke {
public:
    TFillBesideStroke(const TDCObj& dc, TFillStage& stage, const std::vector<TScanPoint>& points,
                      const std::vector<TFigure>& figures);
    void Spans(long long top, long long bottom, const std::vector<TSpan>& spans);
    void Span(long long y, long long x0, long long x1);
    void Box(const TClip& box);

private:
    TFillStage& FStage;
    long long FTop = 0;
    std::vector<std::vector<TSpan>> FStroke;  // per row from FTop, ordered and apart; empty: none
};

/// The device points of logical points through the context's transforms.
std::vector<TScanPoint> DevicePoints(const TDCObj& dc, const POINT* points, std::size_t count);

}  // namespace gdi::detail
