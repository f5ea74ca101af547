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

/// The device points of logical points through the context's transforms.
std::vector<TScanPoint> DevicePoints(const TDCObj& dc, const POINT* points, std::size_t count);

}  // namespace gdi::detail
