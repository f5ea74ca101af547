// Fills that are not brushes over shapes: GradientFill's shaded rectangles and triangles, and
// ExtFloodFill's fill of a connected area. Both take logical coordinates and honour the clip.
#include "platform/base/CheckedMath.h"
#include "platform/gdi/BlitCalls.h"
#include "platform/gdi/Coordinates.h"
#include "platform/gdi/Recorder.h"
#include "platform/gdi/Storage.h"

#include <algorithm>

namespace gdi {

using namespace detail;

namespace {

using TWide = __int128;

TWide FloorDiv(TWide a, TWide b) {
    TWide q = a / b;
    if ((a % b != 0) && ((a < 0) != (b < 0)))
        --q;
    return q;
}

TWide CeilDiv(TWide a, TWide b) { return -FloorDiv(-a, b); }

/// The most vertices and mesh elements one GradientFill takes, as for polygon points.
constexpr std::uint32_t kMaxGradientCount = 1u << 24;

struct TShadePoint {
    long long X = 0, Y = 0;
    std::array<long long, 3> C{};  // red, green, blue, 16 bits each
};

// A vertex in device coordinates (a corner: a layout mirrors it as an edge).
TShadePoint DeviceVertex(const TDCObj& dc, const gdi::TRIVERTEX& v) {
    TShadePoint p;
    ToDevice(dc, v.x, v.y, p.X, p.Y);
    if (dc.Layout & LAYOUT_RTL)
        p.X = LayoutWidth(dc) - p.X;
    p.X = std::clamp(p.X, -kDeviceLimit, kDeviceLimit);
    p.Y = std::clamp(p.Y, -kDeviceLimit, kDeviceLimit);
    p.C = {v.Red, v.Green, v.Blue};
    return p;
}

// floor((V + S·i) / d) for i = 0, 1, …, kept as a quotient and a remainder in [0, |d|) so that a
// step adds instead of dividing: shading walks a row this way, one division at its start.
class TFloorStep {
public:
    TFloorStep() = default;
    TFloorStep(TWide value, TWide step, TWide divisor) {
        if (divisor < 0)
            value = -value, step = -step, divisor = -divisor;
        FDivisor = divisor;
        FQuotient = FloorDiv(value, divisor);
        FRemainder = value - FQuotient * divisor;
        FStep = FloorDiv(step, divisor);
        FStepRemainder = step - FStep * divisor;
    }
    TWide Quotient() const { return FQuotient; }
    void Next() {
        FQuotient += FStep;
        FRemainder += FStepRemainder;
        if (FRemainder >= FDivisor) {
            FRemainder -= FDivisor;
            ++FQuotient;
        }
    }

private:
    TWide FDivisor = 1, FQuotient = 0, FRemainder = 0, FStep = 0, FStepRemainder = 0;
};

// Three channels of 16 bits, each base + a stepped quotient held to 0 … 0xFFFF; the colour is their
// high bytes.
struct TShadeStep {
    std::array<long long, 3> Base{};
    std::array<TFloorStep, 3> Channel;
    void Next() {
        for (TFloorStep& c : Channel)
            c.Next();
    }
    COLORREF Colour() const {
        std::array<BYTE, 3> high;
        for (int k = 0; k < 3; ++k)
            high[k] = BYTE(std::clamp<TWide>(Base[k] + Channel[k].Quotient(), 0, 0xFFFF) >> 8);
        return RGB(high[0], high[1], high[2]);
    }
};

class TShader {
public:
    TShader(const TDCObj& dc, TBitmapObj& dest) : FDest(dest), FClipper(dc, dest), FFormat(dest) {}

    // A device rectangle [x0, x1) × [y0, y1) shaded along x (horizontal) or y from a to b. Each
    // channel is a + floor((b − a) · t / span) at distance t, divided once a row and stepped along it.
    void Rectangle(long long x0, long long x1, long long y0, long long y1, const TShadePoint& a, const TShadePoint& b,
                   bool horizontal) {
        const TClip box{x0, x1, y0, y1};
        const long long span = horizontal ? x1 - x0 : y1 - y0;
        FClipper.ForEachRect(box, [&](const TClip& piece) {
            for (long long y = piece.Y0; y < piece.Y1; ++y) {
                BYTE* row = FDest.Row(LONG(y));
                const long long t = horizontal ? piece.X0 - x0 : y - y0;
                TShadeStep ramp{a.C, {}};
                for (int k = 0; k < 3; ++k) {
                    const long long delta = b.C[k] - a.C[k];
                    ramp.Channel[k] = TFloorStep(TWide(delta) * t, delta, span);
                }
                Paint(row, piece.X0, piece.X1, ramp, horizontal);
            }
        });
    }

    // A triangle by the polygon rule (the point (x, y) inside; left and upper edges in, right
    // and lower edges out), each pixel shaded by the colours interpolated at that point.
    void Triangle(const TShadePoint& p0, const TShadePoint& p1, const TShadePoint& p2) {
        const TWide area = TWide(p1.X - p0.X) * (p2.Y - p0.Y) - TWide(p2.X - p0.X) * (p1.Y - p0.Y);
        if (area == 0)
            return;
        const TClip bounds = FClipper.Bounds();
        const long long top = std::max({std::min({p0.Y, p1.Y, p2.Y}), bounds.Y0});
        const long long bottom = std::min({std::max({p0.Y, p1.Y, p2.Y}), bounds.Y1});
        const TShadePoint* v[3] = {&p0, &p1, &p2};
        for (long long y = top; y < bottom; ++y) {
            // The two edges that span the row (upper end in, lower end out) give its columns.
            TWide left = 0, right = 0;
            int found = 0;
            for (int e = 0; e < 3; ++e) {
                const TShadePoint* a = v[e];
                const TShadePoint* b = v[(e + 1) % 3];
                if (a->Y == b->Y)
                    continue;
                if (a->Y > b->Y)
                    std::swap(a, b);
                if (y < a->Y || y >= b->Y)
                    continue;
                // First column at or right of the crossing.
                const TWide column = CeilDiv(TWide(a->X) * (b->Y - a->Y) + TWide(y - a->Y) * (b->X - a->X),
                                             TWide(b->Y - a->Y));
                if (found == 0)
                    left = right = column;
                else
                    left = std::min(left, column), right = std::max(right, column);
                ++found;
            }
            if (found < 2 || left >= right)
                continue;
            const long long x0 = (long long)std::max(left, TWide(bounds.X0));
            const long long x1 = (long long)std::min(right, TWide(bounds.X1));
            if (x0 >= x1)
                continue;
            BYTE* row = FDest.Row(LONG(y));
            FClipper.ForEachSpan(y, x0, x1, [&](long long a, long long b) {
                // Barycentric weights as signed areas, exact in 128 bits, at the span's first
                // pixel; each channel's weighted sum then moves by a fixed amount a pixel.
                const TWide w1 = TWide(a - p0.X) * (p2.Y - p0.Y) - TWide(p2.X - p0.X) * (y - p0.Y);
                const TWide w2 = TWide(p1.X - p0.X) * (y - p0.Y) - TWide(a - p0.X) * (p1.Y - p0.Y);
                TShadeStep shade;
                for (int k = 0; k < 3; ++k) {
                    const TWide d1 = p1.C[k] - p0.C[k], d2 = p2.C[k] - p0.C[k];
                    shade.Channel[k] = TFloorStep(TWide(p0.C[k]) * area + d1 * w1 + d2 * w2,
                                                  d1 * (p2.Y - p0.Y) - d2 * (p1.Y - p0.Y), area);
                }
                Paint(row, a, b, shade, true);
            });
        }
    }

private:
    // Pixels [from, to) of a row in the shade's colour, stepped a pixel at a time when it changes
    // along the row; a pixel value is looked up only where the colour changes.
    void Paint(BYTE* row, long long from, long long to, TShadeStep& shade, bool alongRow) {
        COLORREF shown = shade.Colour();
        DWORD value = FFormat.Encode(shown);
        for (long long x = from; x < to; ++x) {
            if (alongRow && x > from) {
                shade.Next();
                if (const COLORREF colour = shade.Colour(); colour != shown)
                    shown = colour, value = FFormat.Encode(colour);
            }
            WritePixel(row, LONG(x), FDest.BitsPixel, value);
        }
    }

    TBitmapObj& FDest;
    TClipper FClipper;
    TFormat FFormat;
};

}  // namespace

BOOL GradientFill(HDC dc, const gdi::TRIVERTEX* vertices, std::uint32_t vertexCount, const void* mesh,
                  std::uint32_t meshCount, std::uint32_t mode) {
    TLock lock(LayerMutex());
    TTransfer transfer;
    if (!BeginTransfer(dc, transfer))
        return FALSE;
    if (mode > GRADIENT_FILL_TRIANGLE || vertices == nullptr || mesh == nullptr || vertexCount == 0 ||
        vertexCount > kMaxGradientCount || meshCount > kMaxGradientCount)
        return RefuseCall(ERROR_INVALID_PARAMETER);
    const bool triangles = mode == GRADIENT_FILL_TRIANGLE;
    const auto* rects = static_cast<const GRADIENT_RECT*>(mesh);
    const auto* tris = static_cast<const GRADIENT_TRIANGLE*>(mesh);
    // Every index is checked before anything is drawn.
    for (std::uint32_t i = 0; i < meshCount; ++i) {
        const bool inside = triangles ? tris[i].Vertex1 < vertexCount && tris[i].Vertex2 < vertexCount &&
                                            tris[i].Vertex3 < vertexCount
                                      : rects[i].UpperLeft < vertexCount && rects[i].LowerRight < vertexCount;
        if (!inside)
            return RefuseCall(ERROR_INVALID_PARAMETER);
    }
    if (Recording(*transfer.DestDC) && !RecordGradient(*transfer.DestDC, vertices, vertexCount, mesh, meshCount, mode))
        return FALSE;
    const TDCObj& context = *transfer.DestDC;
    TShader shader(context, *transfer.Dest);
    const bool turned = WorldRotates(context);
    for (std::uint32_t i = 0; i < meshCount; ++i) {
        if (triangles) {
            shader.Triangle(DeviceVertex(context, vertices[tris[i].Vertex1]),
                            DeviceVertex(context, vertices[tris[i].Vertex2]),
                            DeviceVertex(context, vertices[tris[i].Vertex3]));
            continue;
        }
        const gdi::TRIVERTEX& a = vertices[rects[i].UpperLeft];
        const gdi::TRIVERTEX& b = vertices[rects[i].LowerRight];
        const bool horizontal = mode == GRADIENT_FILL_RECT_H;
        if (turned) {
            // A turned rectangle is two triangles whose colours follow the logical axis.
            // Corners in the order (a.x, a.y), (b.x, a.y), (a.x, b.y), (b.x, b.y), each with the
            // colour of the vertex whose x (horizontal) or y (vertical) it shares.
            gdi::TRIVERTEX corner[4] = {a, horizontal ? b : a, horizontal ? a : b, b};
            corner[1].x = b.x, corner[1].y = a.y;
            corner[2].x = a.x, corner[2].y = b.y;
            TShadePoint p[4];
            for (int k = 0; k < 4; ++k)
                p[k] = DeviceVertex(context, corner[k]);
            shader.Triangle(p[0], p[1], p[3]);
            shader.Triangle(p[0], p[3], p[2]);
            continue;
        }
        // The colour at each edge is that of the vertex on it, whichever way round they come.
        TShadePoint pa = DeviceVertex(context, a), pb = DeviceVertex(context, b);
        const long long x0 = std::min(pa.X, pb.X), x1 = std::max(pa.X, pb.X);
        const long long y0 = std::min(pa.Y, pb.Y), y1 = std::max(pa.Y, pb.Y);
        if (x0 == x1 || y0 == y1)
            continue;
        const bool swap = horizontal ? pa.X > pb.X : pa.Y > pb.Y;
        shader.Rectangle(x0, x1, y0, y1, swap ? pb : pa, swap ? pa : pb, horizontal);
    }
    return TRUE;
}

BOOL ExtFloodFill(HDC dc, int x, int y, COLORREF color, UINT type) {
    TLock lock(LayerMutex());
    TTransfer transfer;
    if (!BeginTransfer(dc, transfer))
        return FALSE;
    if (type != FLOODFILLBORDER && type != FLOODFILLSURFACE)
        return RefuseCall(ERROR_INVALID_PARAMETER);
    if (Recording(*transfer.DestDC))
        return RecordFloodFill(*transfer.DestDC, x, y, color, type) ? TRUE : FALSE;
    TDCObj& context = *transfer.DestDC;
    TBitmapObj& dest = *transfer.Dest;
    const TClipper clipper(context, dest);
    const TDevicePoint start = DevicePoint(context, x, y);
    if (!clipper.Contains(start.X, start.Y))
        return FALSE;
    TFormat format(dest);
    const DWORD colourBits = format.Indexed() ? format.AllOnes() : (format.Masks()[0] | format.Masks()[1] |
                                                                     format.Masks()[2]);
    const DWORD target = format.Encode(ResolveColor(context, color)) & colourBits;
    const bool surface = type == FLOODFILLSURFACE;
    const TClip box = clipper.Bounds();
    const long long width = box.X1 - box.X0, height = box.Y1 - box.Y0;
    const int bpp = dest.BitsPixel;
    // Which pixels the fill takes, one bit each over the clip's box: the area is found first and
    // painted afterwards, so the brush never changes what the search sees.
    const auto bits = base::CheckedMul<std::size_t>(std::size_t(width), std::size_t(height));
    if (!bits) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return FALSE;
    }
    auto taken = AllocateStorage((*bits + 7) / 8);
    if (!taken)
        return FALSE;
    const auto index = [&](long long px, long long py) { return std::size_t(py - box.Y0) * std::size_t(width) + std::size_t(px - box.X0); };
    const auto isTaken = [&](long long px, long long py) {
        const std::size_t i = index(px, py);
        return (taken[i >> 3] >> (i & 7)) & 1u;
    };
    const auto fillable = [&](long long px, long long py) {
        if (isTaken(px, py) || !clipper.Contains(px, py))
            return false;
        const bool same = (ReadPixel(dest.Row(LONG(py)), LONG(px), bpp) & colourBits) == target;
        return surface ? same : !same;
    };
    if (!fillable(start.X, start.Y))
        return FALSE;
    // Span filling with an explicit stack of seeds: no recursion, and the stack only grows by
    // seeds of pixels not yet taken, each through the storage gate.
    struct TSeed {
        long long X, Y;
    };
    std::vector<TSeed> stack;
    stack.push_back({start.X, start.Y});
    while (!stack.empty()) {
        const TSeed seed = stack.back();
        stack.pop_back();
        if (!fillable(seed.X, seed.Y))
            continue;
        long long left = seed.X, right = seed.X + 1;
        while (left > box.X0 && fillable(left - 1, seed.Y))
            --left;
        while (right < box.X1 && fillable(right, seed.Y))
            ++right;
        for (long long px = left; px < right; ++px) {
            const std::size_t i = index(px, seed.Y);
            taken[i >> 3] = BYTE(taken[i >> 3] | (1u << (i & 7)));
        }
        for (const long long row : {seed.Y - 1, seed.Y + 1}) {
            if (row < box.Y0 || row >= box.Y1)
                continue;
            bool inRun = false;
            for (long long px = left; px < right; ++px) {
                const bool open = fillable(px, row);
                if (open && !inRun) {
                    if (stack.size() == stack.capacity() && !StorageAllowed(stack.size() * 2 + 16, sizeof(TSeed)))
                        return FALSE;
                    stack.push_back({px, row});
                }
                inRun = open;
            }
        }
    }
    TFillStage stage(context, dest, SelectedBrush(context), Rop2ToRop3(context.Rop2));
    for (long long py = box.Y0; py < box.Y1; ++py) {
        long long px = box.X0;
        while (px < box.X1) {
            while (px < box.X1 && !isTaken(px, py))
                ++px;
            const long long runStart = px;
            while (px < box.X1 && isTaken(px, py))
                ++px;
            if (runStart < px)
                stage.Span(py, runStart, px);
        }
    }
    return TRUE;
}

}  // namespace gdi
