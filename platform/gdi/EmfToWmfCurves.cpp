// GetWinMetaFileBits' curves that go on from the current position (ArcTo, AngleArc, PolyDraw),
// the shapes of paths, and clip regions and clip paths. The older format draws none of these
// curves, so they become a line to the curve's start, the curve, and a move to where the newer
// call leaves the position; clip regions and paths become clip rectangles in logical units,
// since the older format's own clip regions are in the units of whatever device plays it.
#include "platform/gdi/EmfToWmf.h"

namespace gdi::detail {

namespace {

constexpr double kPi = 3.14159265358979323846;

// Where the radial through (x, y) meets the ellipse of centre (cx, cy) and radii a, b.
void Meet(double cx, double cy, double a, double b, double x, double y, double& mx, double& my) {
    double dx = x - cx, dy = y - cy;
    if (dx == 0 && dy == 0)
        dx = 1;
    const double t = 1 / std::sqrt((dx / a) * (dx / a) + (dy / b) * (dy / b));
    mx = cx + t * dx, my = cy + t * dy;
}

// A PolyDraw type array as the call takes it: Bézier points come in threes, and only a line or
// a curve's end may close its figure.
bool ValidTypes(const std::vector<BYTE>& types) {
    for (std::size_t i = 0; i < types.size(); ++i) {
        const BYTE kind = types[i] & ~PT_CLOSEFIGURE;
        if (types[i] == PT_MOVETO || kind == PT_LINETO)
            continue;
        if (types[i] == PT_BEZIERTO && i + 2 < types.size() && types[i + 1] == PT_BEZIERTO &&
            (types[i + 2] & ~PT_CLOSEFIGURE) == PT_BEZIERTO) {
            i += 2;
            continue;
        }
        return false;
    }
    return true;
}

}  // namespace

std::vector<POINT> TEmfTranslator::ArcPoints(const TAffine& map, double cx, double cy, double rx, double ry,
                                             double t0, double sweep) const {
    // Pieces short enough that no chord strays a quarter unit from the curve.
    const double scale = std::max(std::hypot(map.M11, map.M12), std::hypot(map.M21, map.M22));
    const double radius = std::max(1.0, std::max(std::fabs(rx), std::fabs(ry)) * scale);
    const double steps = std::ceil(std::fabs(sweep) / std::sqrt(2 / radius));
    const int n = steps > 1 ? int(std::min(steps, 8192.0)) : 1;
    std::vector<POINT> points;
    points.reserve(std::size_t(n) + 1);
    for (int i = 0; i <= n; ++i) {
        const double t = t0 + sweep * i / n, x = cx + rx * std::cos(t), y = cy + ry * std::sin(t);
        const POINT p{Clamp16(x * map.M11 + y * map.M21 + map.Dx), Clamp16(x * map.M12 + y * map.M22 + map.Dy)};
        if (points.empty() || p.x != points.back().x || p.y != points.back().y)
            points.push_back(p);
    }
    return points;
}

void TEmfTranslator::PathStart(POINT at) {
    if (FPath.empty() || FPath.back().Closed || FPath.back().Ended || FPath.back().Points.size() > 1)
        FPath.push_back(TFigure{});
    FPath.back().Points.assign(1, at);
    FPosition = at;
}

void TEmfTranslator::PathExtend(const std::vector<POINT>& points) {
    if (FPath.empty() || FPath.back().Closed || FPath.back().Ended)
        FPath.push_back(TFigure{{FPosition}, false});
    FPath.back().Points.insert(FPath.back().Points.end(), points.begin(), points.end());
    if (!points.empty())
        FPosition = points.back();
}

// Shapes add figures of their own, as the layer's paths keep them: unless the transforms turn
// them, their boxes run through the last device pixels inside, so the figures are made in the
// enhanced metafile's device units. Rounded ones run counter-clockwise from the right end of
// their top edge, or clockwise from the right end of the bottom edge; arcs from the start's
// radial to the end's in the arc direction, a pie back through the centre.
bool TEmfTranslator::PathShape(const TEmfRecord& record) {
    const DWORD t = record.Type;
    RECTL box;
    SIZEL corner{};
    EMRARC arc{};
    if (t == EMR_ELLIPSE) {
        EMRBOX r;
        if (!ReadFixed(record, r))
            return false;
        box = r.rclBox;
        corner = SIZEL{box.right - box.left, box.bottom - box.top};
    } else if (t == EMR_ROUNDRECT) {
        EMRROUNDRECT r;
        if (!ReadFixed(record, r))
            return false;
        box = r.rclBox, corner = r.szlCorner;
    } else {
        if (!ReadFixed(record, arc))
            return false;
        box = arc.rclBox;
    }
    const TAffine toDevice = TAffine::From(FState.Page.World).Then(PageMap(FState.Page));
    const bool turns = FMap.M12 != 0 || FMap.M21 != 0;
    double l = box.left, tp = box.top, r = box.right, b = box.bottom, w = corner.cx, h = corner.cy;
    double xs = arc.ptlStart.x, ys = arc.ptlStart.y, xe = arc.ptlEnd.x, ye = arc.ptlEnd.y;
    TAffine map = FMap;
    bool clockwise = FState.Clockwise;
    if (!turns) {
        auto x = [&toDevice](double v) { return v * toDevice.M11 + toDevice.Dx; };
        auto y = [&toDevice](double v) { return v * toDevice.M22 + toDevice.Dy; };
        const double x0 = std::min(x(l), x(r)), x1 = std::max(x(l), x(r)) - 1;
        const double y0 = std::min(y(tp), y(b)), y1 = std::max(y(tp), y(b)) - 1;
        if (x1 < x0 || y1 < y0)
            return true;
        w *= std::fabs(toDevice.M11), h *= std::fabs(toDevice.M22);
        xs = x(xs), ys = y(ys), xe = x(xe), ye = y(ye);
        l = x0, tp = y0, r = x1, b = y1;
        map = FDevice;
        // An arc keeps its direction in logical space; a rounded figure keeps it on the device.
        if (t != EMR_ELLIPSE && t != EMR_ROUNDRECT)
            clockwise = clockwise != (toDevice.M11 * toDevice.M22 < 0);
    }
    if (l > r)
        std::swap(l, r);
    if (tp > b)
        std::swap(tp, b);
    TFigure figure;
    if (t == EMR_ELLIPSE || t == EMR_ROUNDRECT) {
        const double rx = std::min(std::fabs(w), r - l) / 2, ry = std::min(std::fabs(h), b - tp) / 2;
        const double q = kPi / 2;
        struct TCorner {
            double Cx, Cy, T0, Sweep;
        };
        const TCorner corners[4] = {
            clockwise ? TCorner{r - rx, b - ry, 0, q} : TCorner{r - rx, tp + ry, 0, -q},
            clockwise ? TCorner{l + rx, b - ry, q, q} : TCorner{l + rx, tp + ry, -q, -q},
            clockwise ? TCorner{l + rx, tp + ry, -2 * q, q} : TCorner{l + rx, b - ry, 2 * q, -q},
            clockwise ? TCorner{r - rx, tp + ry, -q, q} : TCorner{r - rx, b - ry, q, -q},
        };
        for (const TCorner& c : corners) {
            const std::vector<POINT> points = ArcPoints(map, c.Cx, c.Cy, rx, ry, c.T0, c.Sweep);
            figure.Points.insert(figure.Points.end(), points.begin(), points.end());
        }
        figure.Closed = true;
    } else {
        const double cx = (l + r) / 2, cy = (tp + b) / 2, a = (r - l) / 2, e = (b - tp) / 2;
        if (a == 0 || e == 0)
            return true;
        double sx, sy, ex, ey;
        Meet(cx, cy, a, e, xs, ys, sx, sy);
        Meet(cx, cy, a, e, xe, ye, ex, ey);
        const double ts = std::atan2((sy - cy) / e, (sx - cx) / a), te = std::atan2((ey - cy) / e, (ex - cx) / a);
        double sweep = clockwise ? te - ts : ts - te;
        while (sweep <= 1e-12)
            sweep += 2 * kPi;
        figure.Points = ArcPoints(map, cx, cy, a, e, ts, clockwise ? sweep : -sweep);
        if (t == EMR_PIE)
            figure.Points.push_back(POINT{Clamp16(cx * map.M11 + cy * map.M21 + map.Dx),
                                          Clamp16(cx * map.M12 + cy * map.M22 + map.Dy)});
        figure.Closed = t != EMR_ARC;
        figure.Ended = true;
    }
    FPath.push_back(std::move(figure));
    return true;
}

void TEmfTranslator::PathClose() {
    if (!FPath.empty() && !FPath.back().Closed) {
        FPath.back().Closed = true;
        FPosition = FPath.back().Points.front();
    }
}

bool TEmfTranslator::PutArc(WORD function, const EMRARC& r) {
    const std::vector<int> b = Box(r.rclBox);
    POINT start = Map(r.ptlStart.x, r.ptlStart.y), end = Map(r.ptlEnd.x, r.ptlEnd.y);
    // The older records always turn counter-clockwise on their own axes: a map that mirrors or a
    // clockwise direction swaps the ends.
    const bool mirrored = FMap.M11 * FMap.M22 - FMap.M12 * FMap.M21 < 0;
    if (mirrored != FState.Clockwise)
        std::swap(start, end);
    return FOut.Put(function, {end.y, end.x, start.y, start.x, b[3], b[2], b[1], b[0]});
}

bool TEmfTranslator::Curves(const TEmfRecord& record) {
    if (record.Type == EMR_POLYDRAW || record.Type == EMR_POLYDRAW16)
        return PolyDraw(record);
    // The curve as a line to its start and the arc's points, in logical units; where it leaves
    // the position.
    std::vector<POINT> figure;
    POINT end;
    bool arcRecord = false;
    EMRARC arc{};
    if (record.Type == EMR_ARCTO) {
        if (!ReadFixed(record, arc))
            return false;
        const RECTL& box = arc.rclBox;
        const double cx = (double(box.left) + box.right) / 2, cy = (double(box.top) + box.bottom) / 2;
        const double a = std::fabs(double(box.right) - box.left) / 2, b = std::fabs(double(box.bottom) - box.top) / 2;
        if (a == 0 || b == 0) {
            // No ellipse: nothing is drawn but a path's line, the position goes to the box's centre.
            const POINT centre = Map(cx, cy);
            if (FInPath) {
                PathExtend({centre});
                return true;
            }
            FPosition = centre;
            return FOut.Put(META_MOVETO, {FPosition.y, FPosition.x});
        }
        double sx, sy, ex, ey;
        Meet(cx, cy, a, b, arc.ptlStart.x, arc.ptlStart.y, sx, sy);
        Meet(cx, cy, a, b, arc.ptlEnd.x, arc.ptlEnd.y, ex, ey);
        // The direction holds in the enhanced metafile's logical space: counter-clockwise as seen
        // with y downwards is a falling angle. Ends that meet make a whole turn.
        const double ts = std::atan2((sy - cy) / b, (sx - cx) / a), te = std::atan2((ey - cy) / b, (ex - cx) / a);
        double sweep = FState.Clockwise ? te - ts : ts - te;
        while (sweep <= 1e-12)
            sweep += 2 * kPi;
        figure = ArcPoints(cx, cy, a, b, ts, FState.Clockwise ? sweep : -sweep);
        end = Map(std::floor(ex + 0.5), std::floor(ey + 0.5));
        // Outside a path the older arc record draws it exactly where the map keeps axes apart.
        arcRecord = !FInPath && FMap.M12 == 0 && FMap.M21 == 0;
    } else {
        EMRANGLEARC r;
        if (!ReadFixed(record, r))
            return false;
        // A radius or angle the call refuses draws nothing and leaves the position.
        if (r.nRadius > DWORD(INT_MAX) || !std::isfinite(r.eStartAngle) || !std::isfinite(r.eSweepAngle))
            return true;
        // Angles count counter-clockwise from the x axis as seen with y downwards; beyond a turn
        // the circle is whole and the end is where the sweep ends.
        const double radius = r.nRadius, t0 = double(r.eStartAngle) * kPi / 180;
        double sweep = double(r.eSweepAngle) * kPi / 180;
        if (std::fabs(sweep) > 2 * kPi)
            sweep = std::copysign(2 * kPi + std::fmod(std::fabs(sweep), 2 * kPi), sweep);
        const double cx = r.ptlCenter.x, cy = r.ptlCenter.y;
        if (radius == 0 || sweep == 0)
            figure = {Map(cx + radius * std::cos(t0), cy - radius * std::sin(t0))};
        else
            figure = ArcPoints(cx, cy, radius, -radius, t0, sweep);
        const double t1 = (double(r.eStartAngle) + double(r.eSweepAngle)) * kPi / 180;
        end = sweep == 0 ? figure.back()
                         : Map(std::floor(cx + radius * std::cos(t1) + 0.5), std::floor(cy - radius * std::sin(t1) + 0.5));
    }
    if (FInPath) {
        PathExtend(figure);
        FPosition = end;
        return true;
    }
    bool ok;
    if (arcRecord) {
        ok = FOut.Put(META_LINETO, {figure.front().y, figure.front().x}) && PutArc(META_ARC, arc);
    } else {
        figure.insert(figure.begin(), FPosition);
        ok = PutPoints(META_POLYLINE, figure);
    }
    FPosition = end;
    return ok && FOut.Put(META_MOVETO, {FPosition.y, FPosition.x});
}

bool TEmfTranslator::PolyDraw(const TEmfRecord& record) {
    std::vector<POINT> points;
    std::vector<BYTE> types;
    if (!ReadPolyDraw(record, record.Type == EMR_POLYDRAW16, points, types))
        return false;
    // Types the call refuses draw nothing, as the call draws nothing of them.
    if (points.empty() || !ValidTypes(types))
        return true;
    const std::vector<POINT> mapped = MapAll(points);
    auto bezier = [&mapped](POINT from, std::size_t i) {
        const std::vector<POINT> flat = FlattenBezier(from, {mapped[i], mapped[i + 1], mapped[i + 2]});
        return std::vector<POINT>(flat.begin() + 1, flat.end());
    };
    if (FInPath) {
        for (std::size_t i = 0; i < types.size(); ++i) {
            const BYTE kind = types[i] & ~PT_CLOSEFIGURE;
            if (kind == PT_MOVETO) {
                PathStart(mapped[i]);
                continue;
            }
            PathExtend(kind == PT_LINETO ? std::vector<POINT>{mapped[i]} : bezier(FPosition, i));
            if (kind == PT_BEZIERTO)
                i += 2;
            if (types[i] & PT_CLOSEFIGURE)
                PathClose();
        }
        FPosition = mapped.back();
        return true;
    }
    // Each figure a polyline of its own; a closed one goes back to its start, where the next
    // line begins.
    std::vector<POINT> figure{FPosition};
    auto flush = [this, &figure]() { return figure.size() < 2 || PutPoints(META_POLYLINE, figure); };
    for (std::size_t i = 0; i < types.size(); ++i) {
        const BYTE kind = types[i] & ~PT_CLOSEFIGURE;
        if (kind == PT_MOVETO) {
            if (!flush())
                return false;
            figure.assign(1, mapped[i]);
            continue;
        }
        if (kind == PT_LINETO) {
            figure.push_back(mapped[i]);
        } else {
            const std::vector<POINT> flat = bezier(figure.back(), i);
            figure.insert(figure.end(), flat.begin(), flat.end());
            i += 2;
        }
        if (types[i] & PT_CLOSEFIGURE) {
            const POINT start = figure.front();
            figure.push_back(start);
            if (!flush())
                return false;
            figure.assign(1, start);
        }
    }
    if (!flush())
        return false;
    FPosition = mapped.back();
    return FOut.Put(META_MOVETO, {FPosition.y, FPosition.x});
}

// Clip regions come in the enhanced metafile's device units and become clip rectangles of the
// older metafile's logical units: a region R intersected with the clip is "intersect with R's
// box, exclude each rectangle of box − R", which is exact; a difference excludes R's rectangles.
// The older records can only narrow the clip, so what would widen it is approximated:
// - a region that replaces a clip already in effect (since the last SaveDC) is intersected
//   with it, and the removal of such a clip is left out;
// - a union with a clip in effect keeps that clip, an exclusive or with one excludes the region
//   from it (without a clip, the union is the whole surface and the exclusive or the surface
//   less the region, both exact).
bool TEmfTranslator::ClipRegion(const TEmfRecord& record) {
    if (record.Type == EMR_OFFSETCLIPRGN) {
        EMRTWO r;
        if (!ReadFixed(record, r))
            return false;
        if (!FState.Clipped)
            return true;  // no region to move
        const double dx = r.X * FMap.M11 + r.Y * FMap.M21, dy = r.X * FMap.M12 + r.Y * FMap.M22;
        return FOut.Put(META_OFFSETCLIPRGN, {Clamp16(dy), Clamp16(dx)});
    }
    EMREXTSELECTCLIPRGN r;
    if (!ReadFixed(record, r))
        return false;
    if (r.iMode < RGN_MIN || r.iMode > RGN_MAX || r.cbRgnData == 0)
        return true;  // a removal (see above) or a mode the call refuses
    std::vector<BYTE> data;
    if (!ReadRegionData(record, sizeof r, r.cbRgnData, data))
        return false;
    RGNDATAHEADER header;
    std::memcpy(&header, data.data(), sizeof header);
    // The rectangles through the device mapping, corners rounded, in a region of their own.
    std::vector<BYTE> mapped(data.size());
    std::memcpy(mapped.data(), data.data(), data.size());
    for (DWORD i = 0; i < header.nCount; ++i) {
        RECT rect;
        BYTE* at = mapped.data() + sizeof header + std::size_t(i) * sizeof(RECT);
        std::memcpy(&rect, at, sizeof rect);
        const double x0 = rect.left * FDevice.M11 + FDevice.Dx, x1 = rect.right * FDevice.M11 + FDevice.Dx;
        const double y0 = rect.top * FDevice.M22 + FDevice.Dy, y1 = rect.bottom * FDevice.M22 + FDevice.Dy;
        rect = RECT{Clamp16(std::min(x0, x1)), Clamp16(std::min(y0, y1)), Clamp16(std::max(x0, x1)),
                    Clamp16(std::max(y0, y1))};
        std::memcpy(at, &rect, sizeof rect);
    }
    HRGN region = ExtCreateRegion(nullptr, DWORD(mapped.size()), reinterpret_cast<const RGNDATA*>(mapped.data()));
    return region == nullptr || ClipTo(region, int(r.iMode));
}

// A clip path: its figures, closed, filled in the polygon fill mode of the moment, as a region
// of the older metafile's logical units. The path is used up.
bool TEmfTranslator::ClipPath(const TEmfRecord& record) {
    EMRONE r;
    if (!ReadFixed(record, r))
        return false;
    std::vector<TFigure> figures;
    figures.swap(FPath);
    // A path still open is no path to clip with: the call fails and discards it.
    const bool open = FInPath;
    FInPath = false;
    if (open || r.Value < RGN_MIN || r.Value > RGN_MAX)
        return true;
    std::vector<POINT> points;
    std::vector<INT> counts;
    for (const TFigure& f : figures) {
        if (f.Points.size() < 3)
            continue;
        points.insert(points.end(), f.Points.begin(), f.Points.end());
        counts.push_back(INT(f.Points.size()));
    }
    HRGN region = counts.empty() ? CreateRectRgn(0, 0, 0, 0)
                                 : CreatePolyPolygonRgn(points.data(), counts.data(), int(counts.size()), FState.FillMode);
    return region == nullptr || ClipTo(region, int(r.Value));
}

bool TEmfTranslator::ClipTo(HRGN region, int mode) {
    auto exclude = [this](HRGN rects) {
        const DWORD size = GetRegionData(rects, 0, nullptr);
        std::vector<BYTE> bytes(size);
        if (size < sizeof(RGNDATAHEADER) || GetRegionData(rects, size, reinterpret_cast<RGNDATA*>(bytes.data())) != size)
            return true;
        RGNDATAHEADER h;
        std::memcpy(&h, bytes.data(), sizeof h);
        for (DWORD i = 0; i < h.nCount; ++i) {
            RECT rect;
            std::memcpy(&rect, bytes.data() + sizeof h + std::size_t(i) * sizeof(RECT), sizeof rect);
            if (!FOut.Put(META_EXCLUDECLIPRECT, {int(rect.bottom), int(rect.right), int(rect.top), int(rect.left)}))
                return false;
        }
        return true;
    };
    bool ok = true;
    if (mode == RGN_COPY || mode == RGN_AND) {
        RECT box{};
        GetRgnBox(region, &box);
        ok = FOut.Put(META_INTERSECTCLIPRECT, {int(box.bottom), int(box.right), int(box.top), int(box.left)});
        HRGN rest = CreateRectRgn(box.left, box.top, box.right, box.bottom);
        if (ok && rest != nullptr && CombineRgn(rest, rest, region, RGN_DIFF) != ERROR)
            ok = exclude(rest);
        if (rest != nullptr)
            DeleteObject(rest);
        FState.Clipped = true;
    } else if (mode == RGN_DIFF || mode == RGN_XOR) {
        ok = exclude(region);
        FState.Clipped = true;
    }
    DeleteObject(region);
    return ok;
}

}  // namespace gdi::detail
