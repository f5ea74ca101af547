// GetWinMetaFileBits' drawing records: lines, shapes, polygons and Bézier curves, paths painted
// as polygons, regions as region objects, bitmaps as packed DIBs, and text in the code page of
// the selected font.
#include "platform/gdi/EmfToWmf.h"
#include "platform/gdi/TextCodes.h"

namespace gdi::detail {

// ---- drawing

bool TEmfTranslator::PutPoints(WORD function, const std::vector<POINT>& points) {
    std::vector<int> words;
    // A polyline longer than a record's count goes in pieces that share their end points.
    if (function == META_POLYLINE && points.size() > kMaxWmfPoints) {
        for (std::size_t first = 0; first + 1 < points.size(); first += kMaxWmfPoints - 1) {
            const std::size_t last = std::min(points.size(), first + kMaxWmfPoints);
            if (!PutPoints(function, std::vector<POINT>(points.begin() + std::ptrdiff_t(first),
                                                        points.begin() + std::ptrdiff_t(last))))
                return false;
        }
        return true;
    }
    // FIXME: a polygon of more points than a count holds is left out; it cannot be cut.
    if (points.size() > kMaxWmfPoints)
        return true;
    words.reserve(1 + 2 * points.size());
    words.push_back(int(points.size()));
    for (const POINT& p : points)
        words.push_back(p.x), words.push_back(p.y);
    return FOut.Put(function, words);
}

// Bézier segments as straight pieces: the older format has no curves.
std::vector<POINT> FlattenBezier(const POINT& start, const std::vector<POINT>& controls) {
    std::vector<POINT> out{start};
    POINT from = start;
    for (std::size_t i = 0; i + 3 <= controls.size(); i += 3) {
        const POINT &a = controls[i], &b = controls[i + 1], &c = controls[i + 2];
        for (int step = 1; step <= kBezierSteps; ++step) {
            const double t = double(step) / kBezierSteps, u = 1 - t;
            const double x = u * u * u * from.x + 3 * u * u * t * a.x + 3 * u * t * t * b.x + t * t * t * c.x;
            const double y = u * u * u * from.y + 3 * u * u * t * a.y + 3 * u * t * t * b.y + t * t * t * c.y;
            out.push_back(POINT{Clamp16(x), Clamp16(y)});
        }
        from = c;
    }
    return out;
}

bool TEmfTranslator::Polys(const TEmfRecord& record) {
    const DWORD t = record.Type;
    const bool small = t >= EMR_POLYBEZIER16 && t <= EMR_POLYPOLYGON16;
    if (t == EMR_POLYPOLYGON || t == EMR_POLYPOLYLINE || t == EMR_POLYPOLYGON16 || t == EMR_POLYPOLYLINE16) {
        std::vector<DWORD> counts;
        std::vector<POINT> points;
        if (!ReadPolyPoly(record, small, counts, points))
            return false;
        const std::vector<POINT> mapped = MapAll(points);
        if (t == EMR_POLYPOLYGON || t == EMR_POLYPOLYGON16) {
            if (counts.size() > kMaxWmfPoints || mapped.size() > kMaxWmfPoints)
                return true;  // FIXME: too many polygons or points for one record
            std::vector<int> words{int(counts.size())};
            for (DWORD c : counts)
                words.push_back(int(c));
            for (const POINT& p : mapped)
                words.push_back(p.x), words.push_back(p.y);
            return FOut.Put(META_POLYPOLYGON, words);
        }
        std::size_t at = 0;
        for (DWORD c : counts) {
            if (!PutPoints(META_POLYLINE, std::vector<POINT>(mapped.begin() + std::ptrdiff_t(at),
                                                             mapped.begin() + std::ptrdiff_t(at + c))))
                return false;
            at += c;
        }
        return true;
    }
    std::vector<POINT> points;
    if (!ReadPoly(record, small, points))
        return false;
    std::vector<POINT> mapped = MapAll(points);
    switch (t) {
    case EMR_POLYGON:
    case EMR_POLYGON16: return PutPoints(META_POLYGON, mapped);
    case EMR_POLYLINE:
    case EMR_POLYLINE16: return PutPoints(META_POLYLINE, mapped);
    case EMR_POLYBEZIER:
    case EMR_POLYBEZIER16:
        if (mapped.empty())
            return true;
        return PutPoints(META_POLYLINE, FlattenBezier(mapped[0], std::vector<POINT>(mapped.begin() + 1, mapped.end())));
    default: {  // the "to" forms start at the current position and move it to their last point
        if (mapped.empty())
            return true;
        const bool bezier = t == EMR_POLYBEZIERTO || t == EMR_POLYBEZIERTO16;
        std::vector<POINT> figure = bezier ? FlattenBezier(FPosition, mapped) : mapped;
        if (!bezier)
            figure.insert(figure.begin(), FPosition);
        FPosition = figure.back();
        return PutPoints(META_POLYLINE, figure) && FOut.Put(META_MOVETO, {FPosition.y, FPosition.x});
    }
    }
}

bool TEmfTranslator::Drawing(const TEmfRecord& record, bool& handled) {
    switch (record.Type) {
    case EMR_MOVETOEX:
    case EMR_LINETO: {
        EMRTWO r;
        if (!ReadFixed(record, r))
            return false;
        FPosition = Map(r.X, r.Y);
        return FOut.Put(record.Type == EMR_MOVETOEX ? META_MOVETO : META_LINETO, {FPosition.y, FPosition.x});
    }
    case EMR_RECTANGLE:
    case EMR_ELLIPSE: {
        EMRBOX r;
        if (!ReadFixed(record, r))
            return false;
        const std::vector<int> b = Box(r.rclBox);
        return FOut.Put(record.Type == EMR_RECTANGLE ? META_RECTANGLE : META_ELLIPSE, {b[3], b[2], b[1], b[0]});
    }
    case EMR_ROUNDRECT: {
        EMRROUNDRECT r;
        if (!ReadFixed(record, r))
            return false;
        const std::vector<int> b = Box(r.rclBox);
        return FOut.Put(META_ROUNDRECT, {Clamp16(r.szlCorner.cy * ScaleY()), Clamp16(r.szlCorner.cx * ScaleX()), b[3],
                                         b[2], b[1], b[0]});
    }
    case EMR_ARC:
    case EMR_CHORD:
    case EMR_PIE: {
        EMRARC r;
        if (!ReadFixed(record, r))
            return false;
        return PutArc(record.Type == EMR_ARC ? META_ARC : record.Type == EMR_CHORD ? META_CHORD : META_PIE, r);
    }
    case EMR_ARCTO:
    case EMR_ANGLEARC:
    case EMR_POLYDRAW:
    case EMR_POLYDRAW16: return Curves(record);
    case EMR_GRADIENTFILL:
    case EMR_ALPHABLEND:
    case EMR_TRANSPARENTBLT:
    case EMR_MASKBLT:
    case EMR_PLGBLT: return Rasterised(record);
    case EMR_SETPIXELV: {
        EMRSETPIXELV r;
        if (!ReadFixed(record, r))
            return false;
        const POINT p = Map(r.ptlPixel.x, r.ptlPixel.y);
        std::vector<int> words;
        PushColour(words, r.crColor);
        words.push_back(p.y), words.push_back(p.x);
        return FOut.Put(META_SETPIXEL, words);
    }
    case EMR_EXTFLOODFILL: {
        EMREXTFLOODFILL r;
        if (!ReadFixed(record, r))
            return false;
        const POINT p = Map(r.ptlStart.x, r.ptlStart.y);
        std::vector<int> words{int(r.iMode)};
        PushColour(words, r.crColor);
        words.push_back(p.y), words.push_back(p.x);
        return FOut.Put(META_EXTFLOODFILL, words);
    }
    case EMR_POLYGON:
    case EMR_POLYLINE:
    case EMR_POLYBEZIER:
    case EMR_POLYBEZIERTO:
    case EMR_POLYLINETO:
    case EMR_POLYPOLYLINE:
    case EMR_POLYPOLYGON:
    case EMR_POLYGON16:
    case EMR_POLYLINE16:
    case EMR_POLYBEZIER16:
    case EMR_POLYBEZIERTO16:
    case EMR_POLYLINETO16:
    case EMR_POLYPOLYLINE16:
    case EMR_POLYPOLYGON16: return Polys(record);
    case EMR_BITBLT:
    case EMR_STRETCHBLT:
    case EMR_STRETCHDIBITS:
    case EMR_SETDIBITSTODEVICE: return Bitmaps(record);
    case EMR_EXTTEXTOUTW:
    case EMR_EXTTEXTOUTA:
    case EMR_SMALLTEXTOUT:
    case EMR_POLYTEXTOUTA:
    case EMR_POLYTEXTOUTW: return Text(record);
    case EMR_FILLRGN:
    case EMR_FRAMERGN:
    case EMR_INVERTRGN:
    case EMR_PAINTRGN: return Regions(record);
    default: handled = false; return true;
    }
}

// The region painters: the region's rectangles (logical units) through the map into a region
// object of the older format, painted, and deleted again. Its scans are one rectangle each.
bool TEmfTranslator::Regions(const TEmfRecord& record) {
    EMRFRAMERGN r{};
    const std::size_t fixed = record.Type == EMR_FILLRGN   ? sizeof(EMRFILLRGN)
                              : record.Type == EMR_FRAMERGN ? sizeof(EMRFRAMERGN)
                                                            : sizeof(EMRINVERTRGN);
    std::vector<BYTE> data;
    if (record.Size < fixed)
        return false;
    std::memcpy(&r, record.Data, fixed);
    if (!ReadRegionData(record, fixed, r.cbRgnData, data))
        return false;
    RGNDATAHEADER header;
    std::memcpy(&header, data.data(), sizeof header);
    // A region object states its size in one word: 22 bytes and 12 for each scan.
    if (header.nCount > (0xFFFF - 22) / 12)
        return true;  // FIXME: a region of more rectangles than that is left out
    std::vector<int> words{0, 6, 0, 0, 0, int(header.nCount), 1, 0, 0, 0, 0};
    RECT box{32767, 32767, -32768, -32768};
    for (DWORD i = 0; i < header.nCount; ++i) {
        RECT rect;
        std::memcpy(&rect, data.data() + sizeof header + i * sizeof(RECT), sizeof rect);
        const std::vector<int> b = Box(RECTL{rect.left, rect.top, rect.right, rect.bottom});
        const RECT m{std::min(b[0], b[2]), std::min(b[1], b[3]), std::max(b[0], b[2]), std::max(b[1], b[3])};
        words.insert(words.end(), {2, int(m.top), int(m.bottom), int(m.left), int(m.right), 2});
        box = RECT{std::min(box.left, m.left), std::min(box.top, m.top), std::max(box.right, m.right),
                   std::max(box.bottom, m.bottom)};
    }
    if (header.nCount == 0)
        box = RECT{0, 0, 0, 0};
    words[4] = int(22 + 12 * header.nCount);
    words[7] = box.left, words[8] = box.top, words[9] = box.right, words[10] = box.bottom;
    const int region = NewSlot();
    if (region < 0)
        return true;
    MarkPen(region, false);
    FCharsetOfSlot.erase(region);
    bool ok = FOut.Put(META_CREATEREGION, words);
    if (record.Type == EMR_FILLRGN || record.Type == EMR_FRAMERGN) {
        const int brush = SlotOf(r.ihBrush);
        if (brush == -2)
            return false;
        if (ok && brush >= 0) {
            ok = record.Type == EMR_FILLRGN
                     ? FOut.Put(META_FILLREGION, {region, brush})
                     : FOut.Put(META_FRAMEREGION, {region, brush, Clamp16(r.szlStroke.cy * ScaleY()),
                                                   Clamp16(r.szlStroke.cx * ScaleX())});
        }
    } else if (ok) {
        ok = FOut.Put(record.Type == EMR_INVERTRGN ? META_INVERTREGION : META_PAINTREGION, {region});
    }
    FSlotUsed[std::size_t(region)] = false;
    return ok && FOut.Put(META_DELETEOBJECT, {region});
}

bool TEmfTranslator::Bitmaps(const TEmfRecord& record) {
    // The destination's corners go through the map; the source stays in the bitmap's pixels.
    auto destination = [this](LONG x, LONG y, LONG cx, LONG cy) {
        const POINT a = Map(x, y), b = Map(double(x) + cx, double(y) + cy);
        return std::vector<int>{b.y - a.y, b.x - a.x, a.y, a.x};  // height, width, y, x
    };
    if (record.Type == EMR_STRETCHDIBITS) {
        EMRSTRETCHDIBITS r;
        if (!ReadFixed(record, r))
            return false;
        const std::vector<BYTE> dib = PackDib(record, r.offBmiSrc, r.cbBmiSrc, r.offBitsSrc, r.cbBitsSrc, r.iUsageSrc);
        if (dib.empty())
            return true;
        std::vector<int> words;
        PushColour(words, r.dwRop);
        words.insert(words.end(),
                     {int(r.iUsageSrc), Clamp16(r.cySrc), Clamp16(r.cxSrc), Clamp16(r.ySrc), Clamp16(r.xSrc)});
        for (int w : destination(r.xDest, r.yDest, r.cxDest, r.cyDest))
            words.push_back(w);
        return FOut.Put(META_STRETCHDIB, words, dib.data(), dib.size());
    }
    if (record.Type == EMR_SETDIBITSTODEVICE) {
        // Device bits are never stretched: only their corner moves.
        EMRSETDIBITSTODEVICE r;
        if (!ReadFixed(record, r))
            return false;
        const std::vector<BYTE> dib =
            PackDib(record, r.offBmiSrc, r.cbBmiSrc, r.offBitsSrc, r.cbBitsSrc, r.iUsageSrc, r.cScans);
        if (dib.empty() || r.iStartScan > 0xFFFF || r.cScans > 0xFFFF)
            return true;
        const POINT p = Map(r.xDest, r.yDest);
        return FOut.Put(META_SETDIBTODEV,
                        {int(r.iUsageSrc), int(r.cScans), int(r.iStartScan), Clamp16(r.ySrc), Clamp16(r.xSrc),
                         Clamp16(r.cySrc), Clamp16(r.cxSrc), p.y, p.x},
                        dib.data(), dib.size());
    }
    EMRSTRETCHBLT r{};
    if (record.Type == EMR_BITBLT ? !ReadFixed(record, r.blt) : !ReadFixed(record, r))
        return false;
    const EMRBITBLT& b = r.blt;
    if (record.Type == EMR_BITBLT)
        r.cxSrc = b.cxDest, r.cySrc = b.cyDest;
    std::vector<int> words;
    PushColour(words, b.dwRop);
    if (b.cbBmiSrc == 0) {
        for (int w : destination(b.xDest, b.yDest, b.cxDest, b.cyDest))
            words.push_back(w);
        return FOut.Put(META_PATBLT, words);
    }
    const std::vector<BYTE> dib = PackDib(record, b.offBmiSrc, b.cbBmiSrc, b.offBitsSrc, b.cbBitsSrc, DIB_RGB_COLORS);
    if (dib.empty())
        return true;
    words.insert(words.end(), {Clamp16(r.cySrc), Clamp16(r.cxSrc), Clamp16(b.ySrc), Clamp16(b.xSrc)});
    for (int w : destination(b.xDest, b.yDest, b.cxDest, b.cyDest))
        words.push_back(w);
    return FOut.Put(META_DIBSTRETCHBLT, words, dib.data(), dib.size());
}

bool TEmfTranslator::Text(const TEmfRecord& record) {
    TEmfText text;
    const bool wide = record.Type != EMR_EXTTEXTOUTA;
    if (record.Type == EMR_POLYTEXTOUTA || record.Type == EMR_POLYTEXTOUTW) {
        DWORD mode = 0;
        return ForEachPolyTextRun(record, mode, [this](const TEmfText& run, bool wideRun) {
            return TextRun(run, wideRun);
        });
    }
    if (record.Type == EMR_SMALLTEXTOUT) {
        EMRSMALLTEXTOUT fixed;
        if (!ReadSmallText(record, fixed, text))
            return false;
    } else {
        EMREXTTEXTOUT fixed;
        if (!ReadFixed(record, fixed) || !ReadEmrText(record, fixed.emrtext, wide, text))
            return false;
    }
    return TextRun(text, wide);
}

// Text becomes EXTTEXTOUT in the code page of the selected font's character set; advances are
// scaled and given to the first byte of each character.
bool TEmfTranslator::TextRun(const TEmfText& text, bool wide) {
    std::vector<BYTE> bytes;
    std::vector<std::size_t> bytesOfUnit;
    if (wide) {
        EncodeCodePage(text.Wide.data(), text.Wide.size(), FState.Charset, bytes, bytesOfUnit);
    } else {
        bytes = text.Ansi;
        bytesOfUnit.assign(bytes.size(), 1);
    }
    if (bytes.size() > 0x7FFF)
        bytes.resize(0x7FFF);  // FIXME: a longer run is cut: its count is one signed word
    const POINT at = Map(text.Reference.x, text.Reference.y);
    const UINT options = text.Options & (ETO_OPAQUE | ETO_CLIPPED);
    std::vector<int> words{at.y, at.x, int(bytes.size()), int(options)};
    if (options != 0) {
        const std::vector<int> box = Box(RECTL{text.Rect.left, text.Rect.top, text.Rect.right, text.Rect.bottom});
        words.insert(words.end(), box.begin(), box.end());
    }
    std::vector<BYTE> tail((bytes.size() + 1) / 2 * 2, 0);
    std::copy(bytes.begin(), bytes.end(), tail.begin());
    if (!text.Dx.empty()) {
        // Advances along the baseline, rounded where they add up so that no error accumulates.
        const std::size_t step = (text.Options & ETO_PDY) ? 2 : 1;
        double position = 0;
        int placed = 0;
        std::vector<int> dx;
        for (std::size_t unit = 0; unit < bytesOfUnit.size() && dx.size() < bytes.size(); ++unit) {
            if (unit * step < text.Dx.size())
                position += text.Dx[unit * step] * ScaleX();
            if (bytesOfUnit[unit] == 0)
                continue;
            const int next = Clamp16(position);
            dx.push_back(next - placed);
            placed = next;
            for (std::size_t extra = 1; extra < bytesOfUnit[unit]; ++extra)
                dx.push_back(0);
        }
        dx.resize(bytes.size(), 0);
        for (int d : dx)
            tail.push_back(BYTE(d)), tail.push_back(BYTE(d >> 8));
    }
    return FOut.Put(META_EXTTEXTOUT, words, tail.data(), tail.size());
}

// The figures a drawing record adds to an open path; records that add none are left out, as the
// path takes them.
bool TEmfTranslator::PathRecord(const TEmfRecord& record) {
    const DWORD t = record.Type;
    switch (t) {
    case EMR_MOVETOEX:
    case EMR_LINETO: {
        EMRTWO r;
        if (!ReadFixed(record, r))
            return false;
        if (t == EMR_MOVETOEX)
            PathStart(Map(r.X, r.Y));
        else
            PathExtend({Map(r.X, r.Y)});
        return true;
    }
    case EMR_CLOSEFIGURE: PathClose(); return true;
    case EMR_ARCTO:
    case EMR_ANGLEARC:
    case EMR_POLYDRAW:
    case EMR_POLYDRAW16: return Curves(record);
    case EMR_RECTANGLE: {
        EMRBOX r;
        if (!ReadFixed(record, r))
            return false;
        // The figure runs as the call's does: from the top right corner counter-clockwise, or
        // from the bottom right one clockwise, which a winding fill of crossing figures tells.
        // Unless the transforms turn it, its corners are the last device pixels inside the box.
        const RECTL& box = r.rclBox;
        std::vector<POINT> corners;
        if (FMap.M12 != 0 || FMap.M21 != 0) {
            corners = {Map(box.right, box.top), Map(box.left, box.top), Map(box.left, box.bottom),
                       Map(box.right, box.bottom)};
            if (FState.Clockwise)
                std::reverse(corners.begin(), corners.end());
        } else {
            const TAffine toDevice = TAffine::From(FState.Page.World).Then(PageMap(FState.Page));
            const double ax = box.left * toDevice.M11 + toDevice.Dx, cx = box.right * toDevice.M11 + toDevice.Dx;
            const double ay = box.top * toDevice.M22 + toDevice.Dy, cy = box.bottom * toDevice.M22 + toDevice.Dy;
            const double x0 = std::min(ax, cx), x1 = std::max(ax, cx) - 1;
            const double y0 = std::min(ay, cy), y1 = std::max(ay, cy) - 1;
            if (x1 < x0 || y1 < y0)
                return true;
            auto at = [this](double x, double y) {
                return POINT{Clamp16(x * FDevice.M11 + FDevice.Dx), Clamp16(y * FDevice.M22 + FDevice.Dy)};
            };
            corners = FState.Clockwise ? std::vector<POINT>{at(x1, y1), at(x0, y1), at(x0, y0), at(x1, y0)}
                                       : std::vector<POINT>{at(x1, y0), at(x0, y0), at(x0, y1), at(x1, y1)};
        }
        FPath.push_back(TFigure{corners, true});
        return true;
    }
    case EMR_POLYLINETO:
    case EMR_POLYLINETO16:
    case EMR_POLYBEZIERTO:
    case EMR_POLYBEZIERTO16:
    case EMR_POLYGON:
    case EMR_POLYGON16:
    case EMR_POLYLINE:
    case EMR_POLYLINE16:
    case EMR_POLYBEZIER:
    case EMR_POLYBEZIER16: {
        const bool small = t >= EMR_POLYBEZIER16;
        std::vector<POINT> points;
        if (!ReadPoly(record, small, points))
            return false;
        if (points.empty())
            return true;
        const std::vector<POINT> mapped = MapAll(points);
        if (t == EMR_POLYLINETO || t == EMR_POLYLINETO16) {
            PathExtend(mapped);
        } else if (t == EMR_POLYBEZIERTO || t == EMR_POLYBEZIERTO16) {
            const std::vector<POINT> flat = FlattenBezier(FPosition, mapped);
            PathExtend(std::vector<POINT>(flat.begin() + 1, flat.end()));
        } else {
            const bool bezier = t == EMR_POLYBEZIER || t == EMR_POLYBEZIER16;
            FPath.push_back(TFigure{
                bezier ? FlattenBezier(mapped[0], std::vector<POINT>(mapped.begin() + 1, mapped.end())) : mapped,
                t == EMR_POLYGON || t == EMR_POLYGON16});
            FPosition = FPath.back().Points.back();
        }
        return true;
    }
    case EMR_POLYPOLYGON:
    case EMR_POLYPOLYGON16: {
        std::vector<DWORD> counts;
        std::vector<POINT> points;
        if (!ReadPolyPoly(record, t == EMR_POLYPOLYGON16, counts, points))
            return false;
        const std::vector<POINT> mapped = MapAll(points);
        std::size_t at = 0;
        for (DWORD c : counts) {
            FPath.push_back(TFigure{std::vector<POINT>(mapped.begin() + std::ptrdiff_t(at),
                                                       mapped.begin() + std::ptrdiff_t(at + c)),
                                    true});
            at += c;
        }
        return true;
    }
    case EMR_ELLIPSE:
    case EMR_ROUNDRECT:
    case EMR_ARC:
    case EMR_CHORD:
    case EMR_PIE: return PathShape(record);
    // A path gathers lines, curves, shapes and text; bitmaps, regions and pixels draw as they
    // do outside one.
    case EMR_BITBLT:
    case EMR_STRETCHBLT:
    case EMR_STRETCHDIBITS:
    case EMR_SETDIBITSTODEVICE:
    case EMR_MASKBLT:
    case EMR_PLGBLT:
    case EMR_ALPHABLEND:
    case EMR_TRANSPARENTBLT:
    case EMR_GRADIENTFILL:
    case EMR_FILLRGN:
    case EMR_FRAMERGN:
    case EMR_INVERTRGN:
    case EMR_PAINTRGN:
    case EMR_SETPIXELV:
    case EMR_EXTFLOODFILL: {
        bool handled = true;
        return Drawing(record, handled);
    }
    default: return true;
    }
}

// A painted path: its figures as one polygon set (filled without an outline for FILLPATH) or as
// polylines (STROKEPATH). The path is used up.
bool TEmfTranslator::PaintPath(DWORD type) {
    std::vector<TFigure> figures;
    figures.swap(FPath);
    FInPath = false;
    std::vector<int> counts;
    std::vector<POINT> points;
    for (TFigure& f : figures) {
        if (f.Points.size() < 2)
            continue;
        if (type == EMR_STROKEPATH) {
            if (f.Closed)
                f.Points.push_back(f.Points.front());
            if (!PutPoints(META_POLYLINE, f.Points))
                return false;
            continue;
        }
        counts.push_back(int(f.Points.size()));
        points.insert(points.end(), f.Points.begin(), f.Points.end());
    }
    if (type == EMR_STROKEPATH || counts.empty())
        return true;
    if (counts.size() > kMaxWmfPoints || points.size() > kMaxWmfPoints)
        return true;  // FIXME: a path of more points than a record holds is left out
    const bool outline = type == EMR_STROKEANDFILLPATH;
    const int nullPen = outline ? -1 : SlotOf(kStockObjectFlag | NULL_PEN);
    if (nullPen == -2 || (nullPen >= 0 && !FOut.Put(META_SELECTOBJECT, {nullPen})))
        return false;
    std::vector<int> words{int(counts.size())};
    words.insert(words.end(), counts.begin(), counts.end());
    for (const POINT& p : points)
        words.push_back(p.x), words.push_back(p.y);
    if (!FOut.Put(META_POLYPOLYGON, words))
        return false;
    if (nullPen < 0)
        return true;
    // The pen comes back: the one the records selected, or the black pen playback starts with.
    const int pen = FState.PenSlot >= 0 ? FState.PenSlot : SlotOf(kStockObjectFlag | BLACK_PEN);
    return pen == -2 ? false : pen < 0 || FOut.Put(META_SELECTOBJECT, {pen});
}

}  // namespace gdi::detail
