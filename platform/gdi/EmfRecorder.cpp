// Recording contexts: CreateEnhMetaFileW, CloseEnhMetaFile and the records the layer's calls
// append through Recorder.h, with the object table and the bounds of what is drawn.
#include "platform/gdi/Coordinates.h"
#include "platform/gdi/EmfRecorder.h"

#include <climits>
#include <cmath>

namespace gdi {

using namespace detail;

namespace detail {

// ---- bounds ------------------------------------------------------------------------------------

namespace {

// Half the selected pen's width in device pixels: what a stroke reaches beyond its line. A
// cosmetic or null pen draws on the line itself.
long long PenReach(const TDCObj& dc) {
    const auto* pen = static_cast<const TPenObj*>(Find(dc.Pen));
    if (pen == nullptr || pen->Kind != TKind::Pen || (pen->Log.lopnStyle & PS_STYLE_MASK) == PS_NULL)
        return 0;
    if (pen->Extended && (pen->ExtStyle & PS_TYPE_MASK) != PS_GEOMETRIC)
        return 0;
    double alongX = 1, alongY = 1;
    UnitLengths(dc, alongX, alongY);
    const double width = double(pen->Log.lopnWidth.x) * std::max(alongX, alongY);
    if (!(width > 1))
        return 0;
    return (long long)std::ceil(std::min(width, double(kDeviceLimit)) / 2);
}

// Whether the pen keeps a shape's stroke inside its box.
bool InsideFramePen(const TDCObj& dc) {
    const auto* pen = static_cast<const TPenObj*>(Find(dc.Pen));
    return pen != nullptr && pen->Kind == TKind::Pen && (pen->Log.lopnStyle & PS_STYLE_MASK) == PS_INSIDEFRAME;
}

}  // namespace

// A drawing's box joins the bounds, unless a path bracket takes the drawing instead.
void Cover(TDCObj& dc, TDeviceBox box, bool stroked) {
    if (!box.Any || dc.Path.Open())
        return;
    if (stroked)
        box.Grow(PenReach(dc));
    RecorderOf(dc).Extend(box.Left, box.Top, box.Right, box.Bottom);
}

// The device box of a logical rectangle whose right and bottom edges are left out.
TDeviceBox RectBox(const TDCObj& dc, long long left, long long top, long long right, long long bottom) {
    TDeviceBox box;
    for (const auto& [x, y] : {std::pair{left, top}, {right, top}, {left, bottom}, {right, bottom}})
        box.AddLogical(dc, x, y);
    if (box.Right > box.Left)
        --box.Right;
    if (box.Bottom > box.Top)
        --box.Bottom;
    return box;
}

RECTL ToRectl(const TDeviceBox& box) {
    if (!box.Any)
        return RECTL{0, 0, -1, -1};
    const auto hold = [](long long v) { return LONG(std::clamp<long long>(v, INT_MIN, INT_MAX)); };
    return RECTL{hold(box.Left), hold(box.Top), hold(box.Right), hold(box.Bottom)};
}

// ---- what both recorders share -------------------------------------------------------------------

// The face name, UTF-8 in the layer, as the record's UTF-16.
void FaceToUtf16(const char* face, WCHAR (&out)[LF_FACESIZE]) {
    std::size_t at = 0, length = strnlen(face, LF_FACESIZE);
    std::size_t written = 0;
    const auto* bytes = reinterpret_cast<const unsigned char*>(face);
    while (at < length && written + 1 < LF_FACESIZE) {
        char32_t code = bytes[at];
        std::size_t extra = code >= 0xF0 ? 3 : code >= 0xE0 ? 2 : code >= 0xC0 ? 1 : 0;
        if (code >= 0x80 && code < 0xC0)
            code = 0xFFFD, extra = 0;
        else if (extra != 0)
            code &= 0x3Fu >> extra;
        ++at;
        for (; extra > 0 && at < length && (bytes[at] & 0xC0) == 0x80; --extra, ++at)
            code = (code << 6) | (bytes[at] & 0x3F);
        if (extra != 0)
            code = 0xFFFD;
        if (code >= 0x10000) {
            if (written + 2 >= LF_FACESIZE)
                break;
            out[written++] = WCHAR(0xD800 + ((code - 0x10000) >> 10));
            out[written++] = WCHAR(0xDC00 + ((code - 0x10000) & 0x3FF));
        } else {
            out[written++] = WCHAR(code);
        }
    }
    std::fill(out + written, out + LF_FACESIZE, WCHAR(0));
}

// RGNDATA of a region's rectangles.
std::vector<BYTE> RegionData(const TRegion& region) {
    const std::vector<RECT>& rects = region.Rects();
    std::vector<BYTE> data;
    if (!ResizeStorage(data, sizeof(RGNDATAHEADER) + rects.size() * sizeof(RECT)))
        return {};
    const RGNDATAHEADER header{sizeof(RGNDATAHEADER), RDH_RECTANGLES, DWORD(rects.size()),
                               DWORD(rects.size() * sizeof(RECT)), region.Bounds()};
    std::memcpy(data.data(), &header, sizeof header);
    if (!rects.empty())
        std::memcpy(data.data() + sizeof header, rects.data(), rects.size() * sizeof(RECT));
    return data;
}

// ---- points ------------------------------------------------------------------------------------

bool FitsShort(const POINT* points, std::size_t count) {
    return std::all_of(points, points + count, [](const POINT& p) {
        return p.x >= SHRT_MIN && p.x <= SHRT_MAX && p.y >= SHRT_MIN && p.y <= SHRT_MAX;
    });
}

// The points as the record stores them: 16-bit pairs when small, else 32-bit.
std::vector<BYTE> PointBytes(const POINT* points, std::size_t count, bool small) {
    std::vector<BYTE> bytes;
    if (!ResizeStorage(bytes, count * (small ? 4 : 8)))
        return {};
    for (std::size_t i = 0; i < count; ++i) {
        if (small) {
            const std::int16_t xy[2] = {std::int16_t(points[i].x), std::int16_t(points[i].y)};
            std::memcpy(bytes.data() + 4 * i, xy, 4);
        } else {
            std::memcpy(bytes.data() + 8 * i, &points[i], 8);
        }
    }
    return bytes;
}

namespace {

// ---- objects -----------------------------------------------------------------------------------

bool PutPen(TEmfRecorder& r, DWORD index, const TPenObj& pen) {
    if (!pen.Extended)
        return r.Out.Put(EMR_CREATEPEN, EMRCREATEPEN{{}, index, pen.Log.lopnStyle, POINT{pen.Log.lopnWidth.x, 0},
                                                     pen.Log.lopnColor});
    // A pattern brush of a geometric pen travels without its bitmap: the pen keeps its style,
    // width and colour.
    EMREXTCREATEPEN record{{},
                           index,
                           0,
                           0,
                           0,
                           0,
                           pen.ExtStyle,
                           DWORD(pen.Log.lopnWidth.x),
                           pen.Brush.lbStyle == BS_SOLID || pen.Brush.lbStyle == BS_HATCHED || pen.Brush.lbStyle == BS_NULL
                               ? pen.Brush.lbStyle
                               : UINT(BS_SOLID),
                           pen.Brush.lbColor,
                           DWORD(pen.Brush.lbHatch),
                           DWORD(pen.UserStyle.size())};
    return r.Out.Put(EMR_EXTCREATEPEN, record, pen.UserStyle.data(), pen.UserStyle.size() * sizeof(DWORD));
}

bool PutBrush(TEmfRecorder& r, DWORD index, const TBrushObj& brush) {
    const UINT style = brush.Log.lbStyle;
    if (brush.Pattern == nullptr || (style != BS_PATTERN && style != BS_DIBPATTERN && style != BS_DIBPATTERNPT))
        return r.Out.Put(EMR_CREATEBRUSHINDIRECT,
                         EMRCREATEBRUSHINDIRECT{{}, index, LOGBRUSH32{style, BrushColor(brush), DWORD(brush.Log.lbHatch)}});
    std::size_t infoBytes = 0;
    // A monochrome pattern takes the text and background colours where it is drawn.
    const bool mono = brush.Pattern->Mono;
    const std::vector<BYTE> dib = PackedDib(*brush.Pattern, RGB(0, 0, 0), RGB(255, 255, 255), infoBytes);
    if (dib.empty()) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return false;
    }
    const EMRCREATEDIBPATTERNBRUSH record{{}, index, DIB_RGB_COLORS, sizeof(EMRCREATEDIBPATTERNBRUSH), DWORD(infoBytes),
                                          DWORD(sizeof(EMRCREATEDIBPATTERNBRUSH) + infoBytes),
                                          DWORD(dib.size() - infoBytes)};
    return r.Out.Put(mono ? EMR_CREATEMONOBRUSH : EMR_CREATEDIBPATTERNBRUSHPT, record, dib.data(), dib.size());
}

bool PutFont(TEmfRecorder& r, DWORD index, const TFontObj& font) {
    const LOGFONTA& a = font.Log;
    EMREXTCREATEFONTINDIRECTW record{};
    record.ihFont = index;
    record.elfw = LOGFONTW{a.lfHeight,      a.lfWidth,        a.lfEscapement,     a.lfOrientation, a.lfWeight,
                           a.lfItalic,      a.lfUnderline,    a.lfStrikeOut,      a.lfCharSet,     a.lfOutPrecision,
                           a.lfClipPrecision, a.lfQuality,    a.lfPitchAndFamily, {}};
    FaceToUtf16(a.lfFaceName, record.elfw.lfFaceName);
    return r.Out.Put(EMR_EXTCREATEFONTINDIRECTW, record);
}

bool PutPalette(TEmfRecorder& r, DWORD index, const TPaletteObj& palette) {
    const std::size_t count = std::min<std::size_t>(palette.Entries.size(), 0xFFFF);
    return r.Out.Put(EMR_CREATEPALETTE, EMRCREATEPALETTE{{}, index, 0x300, WORD(count)}, palette.Entries.data(),
                     count * sizeof(PALETTEENTRY));
}

// The index a record names the object by: a stock object's own, or its place in the table, made
// with its creation record the first time. 0 with the last error set when it cannot be recorded.
DWORD ObjectIndex(TEmfRecorder& r, HGDIOBJ handle, const TObject& object) {
    if (object.Stock) {
        const auto& stock = State().Stock;
        for (std::size_t i = 0; i < stock.size(); ++i)
            if (stock[i] == handle)
                return kStockIndexFlag | DWORD(i);
    }
    if (const DWORD known = r.IndexOf(handle); known != 0)
        return known;
    const std::size_t size0 = r.Out.Size();
    const DWORD records0 = r.Out.Records();
    const DWORD index = r.Take(handle);
    bool kept = false;
    switch (object.Kind) {
    case TKind::Pen: kept = PutPen(r, index, static_cast<const TPenObj&>(object)); break;
    case TKind::Brush: kept = PutBrush(r, index, static_cast<const TBrushObj&>(object)); break;
    case TKind::Font: kept = PutFont(r, index, static_cast<const TFontObj&>(object)); break;
    case TKind::Palette: kept = PutPalette(r, index, static_cast<const TPaletteObj&>(object)); break;
    default: SetLastError(ERROR_INVALID_PARAMETER); break;
    }
    if (!kept) {
        r.Table[index] = nullptr;
        r.Out.Truncate(size0, records0);
        return 0;
    }
    return index;
}

// The 16-bit twin of a 32-bit poly record type.
DWORD SmallType(DWORD type) {
    switch (type) {
    case EMR_POLYBEZIER: return EMR_POLYBEZIER16;
    case EMR_POLYGON: return EMR_POLYGON16;
    case EMR_POLYLINE: return EMR_POLYLINE16;
    case EMR_POLYBEZIERTO: return EMR_POLYBEZIERTO16;
    case EMR_POLYLINETO: return EMR_POLYLINETO16;
    case EMR_POLYPOLYLINE: return EMR_POLYPOLYLINE16;
    case EMR_POLYPOLYGON: return EMR_POLYPOLYGON16;
    default: return type;
    }
}

}  // namespace

// ---- hooks -------------------------------------------------------------------------------------

bool RecordBare(TDCObj& dc, DWORD type) {
    if (RecordsWindows(dc))
        return wmf::RecordBare(dc, type);
    return RecorderOf(dc).Out.Put(type, EMR{});
}

bool RecordValue(TDCObj& dc, DWORD type, DWORD value) {
    if (RecordsWindows(dc))
        return wmf::RecordValue(dc, type, value);
    return RecorderOf(dc).Out.PutValue(type, value);
}

bool RecordPoint(TDCObj& dc, DWORD type, long long x, long long y) {
    if (RecordsWindows(dc))
        return wmf::RecordPoint(dc, type, x, y);
    const auto hold = [](long long v) { return LONG(std::clamp<long long>(v, INT_MIN, INT_MAX)); };
    return RecorderOf(dc).Out.PutPoint(type, hold(x), hold(y));
}

bool RecordScale(TDCObj& dc, DWORD type, int xNum, int xDenom, int yNum, int yDenom) {
    if (RecordsWindows(dc))
        return wmf::RecordScale(dc, type, xNum, xDenom, yNum, yDenom);
    return RecorderOf(dc).Out.Put(type, EMRSCALEEXTEX{{}, xNum, xDenom, yNum, yDenom});
}

bool RecordTransform(TDCObj& dc, DWORD type, const XFORM& transform, DWORD mode) {
    if (RecordsWindows(dc))
        return wmf::Refuse();
    if (type == EMR_SETWORLDTRANSFORM)
        return RecorderOf(dc).Out.Put(type, EMRXFORM{{}, transform});
    return RecorderOf(dc).Out.Put(type, EMRMODIFYWORLDTRANSFORM{{}, transform, mode});
}

bool RecordClipRect(TDCObj& dc, DWORD type, int left, int top, int right, int bottom) {
    if (RecordsWindows(dc))
        return wmf::RecordClipRect(dc, type, left, top, right, bottom);
    return RecorderOf(dc).Out.Put(type, EMRRECT4{{}, RECTL{left, top, right, bottom}});
}

bool RecordLineTo(TDCObj& dc, int x, int y) {
    if (RecordsWindows(dc))
        return wmf::RecordLineTo(dc, x, y);
    TDeviceBox box;
    box.AddLogical(dc, dc.CurrentPosition.x, dc.CurrentPosition.y);
    box.AddLogical(dc, x, y);
    if (!RecorderOf(dc).Out.PutPoint(EMR_LINETO, x, y))
        return false;
    Cover(dc, box, true);
    return true;
}

bool RecordBox(TDCObj& dc, DWORD type, int left, int top, int right, int bottom, int cornerW, int cornerH) {
    if (RecordsWindows(dc))
        return wmf::RecordBox(dc, type, left, top, right, bottom, cornerW, cornerH);
    const RECTL rect{left, top, right, bottom};
    const bool kept = type == EMR_ROUNDRECT
                          ? RecorderOf(dc).Out.Put(type, EMRROUNDRECT{{}, rect, SIZEL{cornerW, cornerH}})
                          : RecorderOf(dc).Out.Put(type, EMRBOX{{}, rect});
    if (kept)
        Cover(dc, RectBox(dc, std::min(left, right), std::min(top, bottom), std::max(left, right), std::max(top, bottom)),
              !InsideFramePen(dc));
    return kept;
}

bool RecordArc(TDCObj& dc, DWORD type, int left, int top, int right, int bottom, int xs, int ys, int xe, int ye) {
    if (RecordsWindows(dc))
        return wmf::RecordArc(dc, type, left, top, right, bottom, xs, ys, xe, ye);
    if (!RecorderOf(dc).Out.Put(type, EMRARC{{}, RECTL{left, top, right, bottom}, POINT{xs, ys}, POINT{xe, ye}}))
        return false;
    // The whole ellipse's box: an arc never leaves it (ArcTo's line from the position aside).
    TDeviceBox box =
        RectBox(dc, std::min(left, right), std::min(top, bottom), std::max(left, right), std::max(top, bottom));
    if (type == EMR_ARCTO)
        box.AddLogical(dc, dc.CurrentPosition.x, dc.CurrentPosition.y);
    Cover(dc, box, !InsideFramePen(dc));
    return true;
}

bool RecordAngleArc(TDCObj& dc, int x, int y, DWORD radius, FLOAT start, FLOAT sweep) {
    if (RecordsWindows(dc))
        return wmf::Refuse();
    if (!RecorderOf(dc).Out.Put(EMR_ANGLEARC, EMRANGLEARC{{}, POINT{x, y}, radius, start, sweep}))
        return false;
    const long long r = std::min<long long>(radius, kDeviceLimit);
    TDeviceBox box = RectBox(dc, x - r, y - r, x + r + 1, y + r + 1);
    box.AddLogical(dc, dc.CurrentPosition.x, dc.CurrentPosition.y);
    Cover(dc, box, true);
    return true;
}

bool RecordPoly(TDCObj& dc, DWORD type, const POINT* points, DWORD count) {
    if (RecordsWindows(dc))
        return wmf::RecordPoly(dc, type, points, count);
    TDeviceBox box;
    const bool fromPosition = type == EMR_POLYLINETO || type == EMR_POLYBEZIERTO;
    if (fromPosition)
        box.AddLogical(dc, dc.CurrentPosition.x, dc.CurrentPosition.y);
    for (DWORD i = 0; i < count; ++i)
        box.AddLogical(dc, points[i].x, points[i].y);
    const bool small = FitsShort(points, count);
    const std::vector<BYTE> bytes = PointBytes(points, count, small);
    if (bytes.empty() && count != 0)
        return false;
    if (!RecorderOf(dc).Out.Put(small ? SmallType(type) : type, EMRPOLY{{}, ToRectl(box), count}, bytes.data(),
                                bytes.size()))
        return false;
    Cover(dc, box, true);
    return true;
}

bool RecordPolyPoly(TDCObj& dc, DWORD type, const POINT* points, const DWORD* counts, DWORD figures) {
    if (RecordsWindows(dc))
        return wmf::RecordPolyPoly(dc, type, points, counts, figures);
    std::size_t total = 0;
    for (DWORD i = 0; i < figures; ++i)
        total += counts[i];
    TDeviceBox box;
    for (std::size_t i = 0; i < total; ++i)
        box.AddLogical(dc, points[i].x, points[i].y);
    const bool small = FitsShort(points, total);
    std::vector<BYTE> bytes;
    const std::vector<BYTE> pointBytes = PointBytes(points, total, small);
    if ((pointBytes.empty() && total != 0) || !ResizeStorage(bytes, figures * sizeof(DWORD) + pointBytes.size()))
        return false;
    std::memcpy(bytes.data(), counts, figures * sizeof(DWORD));
    if (!pointBytes.empty())
        std::memcpy(bytes.data() + figures * sizeof(DWORD), pointBytes.data(), pointBytes.size());
    if (!RecorderOf(dc).Out.Put(small ? SmallType(type) : type, EMRPOLYPOLY{{}, ToRectl(box), figures, DWORD(total)},
                                bytes.data(), bytes.size()))
        return false;
    Cover(dc, box, true);
    return true;
}

bool RecordPolyDraw(TDCObj& dc, const POINT* points, const BYTE* types, int count) {
    if (RecordsWindows(dc))
        return wmf::Refuse();
    TDeviceBox box;
    box.AddLogical(dc, dc.CurrentPosition.x, dc.CurrentPosition.y);
    for (int i = 0; i < count; ++i)
        box.AddLogical(dc, points[i].x, points[i].y);
    const bool small = FitsShort(points, std::size_t(count));
    std::vector<BYTE> bytes = PointBytes(points, std::size_t(count), small);
    if (bytes.size() != std::size_t(count) * (small ? 4 : 8) || !ResizeStorage(bytes, bytes.size() + std::size_t(count)))
        return false;
    std::memcpy(bytes.data() + bytes.size() - std::size_t(count), types, std::size_t(count));
    if (!RecorderOf(dc).Out.Put(small ? EMR_POLYDRAW16 : EMR_POLYDRAW, EMRPOLY{{}, ToRectl(box), DWORD(count)},
                                bytes.data(), bytes.size()))
        return false;
    Cover(dc, box, true);
    return true;
}

bool RecordPathDrawing(TDCObj& dc, DWORD type) {
    if (RecordsWindows(dc))
        return wmf::Refuse();
    TDeviceBox box;
    if (dc.Path.Ready())
        for (const TScanPoint& p : dc.Path.Data().Points)
            box.Add(p.X, p.Y);
    if (!RecorderOf(dc).Out.Put(type, EMRRECT4{{}, ToRectl(box)}))
        return false;
    Cover(dc, box, type != EMR_FILLPATH);
    return true;
}

bool RecordPixel(TDCObj& dc, int x, int y, COLORREF color) {
    if (RecordsWindows(dc))
        return wmf::RecordPixel(dc, x, y, color);
    if (!RecorderOf(dc).Out.Put(EMR_SETPIXELV, EMRSETPIXELV{{}, POINT{x, y}, color}))
        return false;
    TDeviceBox box;
    box.AddLogical(dc, x, y);
    Cover(dc, box, false);
    return true;
}

bool RecordSelect(TDCObj& dc, HGDIOBJ handle, TObject& object) {
    if (RecordsWindows(dc))
        return wmf::RecordSelect(dc, handle, object);
    if (object.Kind == TKind::Region)
        return RecordClipRegion(dc, &static_cast<TRegionObj&>(object).Region, RGN_COPY);
    if (object.Kind != TKind::Pen && object.Kind != TKind::Brush && object.Kind != TKind::Font) {
        // Bitmaps belong to memory contexts; a metafile has no surface to select them into.
        SetLastError(ERROR_INVALID_PARAMETER);
        return false;
    }
    TEmfRecorder& r = RecorderOf(dc);
    const DWORD index = ObjectIndex(r, handle, object);
    return index != 0 && r.Out.PutValue(EMR_SELECTOBJECT, index);
}

bool RecordSelectPalette(TDCObj& dc, HPALETTE palette, TPaletteObj& object) {
    if (RecordsWindows(dc))
        return wmf::RecordSelectPalette(dc, palette, object);
    TEmfRecorder& r = RecorderOf(dc);
    const DWORD index = ObjectIndex(r, palette, object);
    return index != 0 && r.Out.PutValue(EMR_SELECTPALETTE, index);
}

void RecordDelete(HGDIOBJ handle) {
    wmf::RecordDelete(handle);
    for (TEmfRecorder* r : TEmfRecorder::Live()) {
        if (const DWORD index = r->IndexOf(handle); index != 0) {
            // A refusal here leaves the index taken: the metafile then never reuses it.
            if (r->Out.PutValue(EMR_DELETEOBJECT, index))
                r->Table[index] = nullptr;
        }
    }
}

void RecordPaletteEntries(HPALETTE palette, UINT start, UINT count, const PALETTEENTRY* entries) {
    for (TEmfRecorder* r : TEmfRecorder::Live())
        if (const DWORD index = r->IndexOf(palette); index != 0)
            r->Out.Put(EMR_SETPALETTEENTRIES, EMRSETPALETTEENTRIES{{}, index, start, count}, entries,
                       std::size_t(count) * sizeof(PALETTEENTRY));
}

void RecordPaletteSize(HPALETTE palette, UINT entries) {
    for (TEmfRecorder* r : TEmfRecorder::Live())
        if (const DWORD index = r->IndexOf(palette); index != 0)
            r->Out.Put(EMR_RESIZEPALETTE, EMRRESIZEPALETTE{{}, index, entries});
}

bool RecordClipRegion(TDCObj& dc, const TRegion* region, int mode) {
    if (RecordsWindows(dc))
        return wmf::RecordClipRegion(dc, region, mode);
    if (region == nullptr)
        return RecorderOf(dc).Out.Put(EMR_EXTSELECTCLIPRGN, EMREXTSELECTCLIPRGN{{}, 0, DWORD(mode)});
    const std::vector<BYTE> data = RegionData(*region);
    return !data.empty() &&
           RecorderOf(dc).Out.Put(EMR_EXTSELECTCLIPRGN, EMREXTSELECTCLIPRGN{{}, DWORD(data.size()), DWORD(mode)},
                                  data.data(), data.size());
}

bool RecordRegionPaint(TDCObj& dc, DWORD type, const TRegion& region, HBRUSH brush, int width, int height) {
    if (RecordsWindows(dc))
        return wmf::RecordRegionPaint(dc, type, region, brush, width, height);
    TEmfRecorder& r = RecorderOf(dc);
    DWORD brushIndex = 0;
    if (type == EMR_FILLRGN || type == EMR_FRAMERGN) {
        TObject* object = Find(brush);
        if (object == nullptr || (brushIndex = ObjectIndex(r, brush, *object)) == 0)
            return false;
    }
    const std::vector<BYTE> data = RegionData(region);
    if (data.empty())
        return false;
    const RECT b = region.Bounds();
    TDeviceBox box;
    if (!region.Empty())
        box = RectBox(dc, b.left, b.top, b.right, b.bottom);
    const RECTL bounds = ToRectl(box);
    const DWORD bytes = DWORD(data.size());
    bool kept = false;
    switch (type) {
    case EMR_FILLRGN: kept = r.Out.Put(type, EMRFILLRGN{{}, bounds, bytes, brushIndex}, data.data(), data.size()); break;
    case EMR_FRAMERGN:
        kept = r.Out.Put(type, EMRFRAMERGN{{}, bounds, bytes, brushIndex, SIZEL{width, height}}, data.data(), data.size());
        break;
    default: kept = r.Out.Put(type, EMRINVERTRGN{{}, bounds, bytes}, data.data(), data.size()); break;
    }
    if (kept)
        Cover(dc, box, false);
    return kept;
}

}  // namespace detail

// ---- the calls ---------------------------------------------------------------------------------

namespace {

// The description as stored: the application's name and the picture's, each ended by a null,
// and the null that ends the pair (so it ends with two).
std::vector<WCHAR> DescriptionText(const WCHAR* description) {
    std::vector<WCHAR> text;
    if (description == nullptr)
        return text;
    int nulls = 0;
    for (std::size_t i = 0; nulls < 2 && i < 0x10000; ++i) {
        text.push_back(description[i]);
        nulls += description[i] == 0 ? 1 : 0;
    }
    while (nulls++ < 2)
        text.push_back(0);
    text.push_back(0);
    return text;
}

HDC NewRecordingContext(HDC reference, const RECT* frame, std::vector<WCHAR> description) {
    TLock lock(LayerMutex());
    if (reference != nullptr && Lookup<TDCObj>(reference) == nullptr)
        return nullptr;
    const std::size_t headerBytes = sizeof(ENHMETAHEADER) + (description.size() * sizeof(WCHAR) + 3) / 4 * 4;
    if (!StorageAllowed(headerBytes)) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return nullptr;
    }
    HDC dc = CreateCompatibleDC(nullptr);
    if (dc == nullptr)
        return nullptr;
    Lookup<TDCObj>(dc)->Recorder = std::make_unique<TEmfRecorder>(headerBytes, std::move(description), frame);
    return dc;
}

}  // namespace

HDC CreateEnhMetaFileW(HDC reference, const WCHAR* fileName, const RECT* frame, const WCHAR* description) {
    if (fileName != nullptr) {
        // The layer writes no files: callers save the bytes GetEnhMetaFileBits gives.
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    return NewRecordingContext(reference, frame, DescriptionText(description));
}

HDC CreateEnhMetaFileA(HDC reference, const char* fileName, const RECT* frame, const char* description) {
    if (fileName != nullptr) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    std::vector<WCHAR> text;
    if (description != nullptr) {
        // Each of the two UTF-8 strings, up to its null, as UTF-16.
        const char* part = description;
        for (int i = 0; i < 2; ++i) {
            const std::size_t length = std::strlen(part);
            for (std::size_t at = 0; at < length;) {
                WCHAR face[LF_FACESIZE];
                char chunk[LF_FACESIZE];
                // Whole characters only: a chunk never ends inside a sequence.
                std::size_t take = std::min<std::size_t>(length - at, LF_FACESIZE / 2);
                while (at + take < length && take > 1 && (BYTE(part[at + take]) & 0xC0) == 0x80)
                    --take;
                std::memcpy(chunk, part + at, take);
                chunk[take] = 0;
                FaceToUtf16(chunk, face);
                for (std::size_t k = 0; k < LF_FACESIZE && face[k] != 0; ++k)
                    text.push_back(face[k]);
                at += take;
            }
            text.push_back(0);
            part += length + 1;
            if (i == 0 && *part == 0)
                break;
        }
        text.push_back(0);
    }
    return NewRecordingContext(reference, frame, std::move(text));
}

HENHMETAFILE CloseEnhMetaFile(HDC handle) {
    TLock lock(LayerMutex());
    auto* dc = Lookup<TDCObj>(handle);
    if (dc == nullptr)
        return nullptr;
    if (!Recording(*dc) || RecordsWindows(*dc)) {
        SetLastError(ERROR_INVALID_HANDLE);
        return nullptr;
    }
    std::unique_ptr<TRecorder> owned = std::move(dc->Recorder);
    DeleteDC(handle);
    auto& r = static_cast<TEmfRecorder&>(*owned);
    if (r.Out.Refused())
        return nullptr;
    const auto clamp = [](long long v) { return LONG(std::clamp<long long>(v, -(1LL << 24), 1LL << 24)); };
    const RECTL bounds = r.Bounds.Any ? RECTL{clamp(r.Bounds.Left), clamp(r.Bounds.Top), clamp(r.Bounds.Right),
                                              clamp(r.Bounds.Bottom)}
                                      : RECTL{0, 0, -1, -1};
    const TScreenSettings& screen = State().Screen;
    int millimetresX = 0, millimetresY = 0;
    ScreenMillimetres(millimetresX, millimetresY);
    // Without a frame the picture's is its bounds in hundredths of a millimetre, truncated.
    const auto hundredths = [](LONG pixels, int millimetres, int device) {
        return LONG(std::int64_t(pixels) * millimetres * 100 / device);
    };
    const RECTL frame = r.HasFrame ? r.Frame
                                   : RECTL{hundredths(bounds.left, millimetresX, screen.Width),
                                           hundredths(bounds.top, millimetresY, screen.Height),
                                           hundredths(bounds.right, millimetresX, screen.Width),
                                           hundredths(bounds.bottom, millimetresY, screen.Height)};
    std::vector<BYTE>* bytes = r.Out.Finish(bounds, frame, WORD(std::min<std::size_t>(r.Peak, 0xFFFF)));
    if (bytes == nullptr)
        return nullptr;
    ENHMETAHEADER header;
    std::memcpy(&header, bytes->data(), sizeof header);
    header.nSize = DWORD(sizeof header + (r.Description.size() * sizeof(WCHAR) + 3) / 4 * 4);
    header.nDescription = DWORD(r.Description.size());
    header.offDescription = r.Description.empty() ? 0 : DWORD(sizeof header);
    header.szlDevice = SIZEL{screen.Width, screen.Height};
    header.szlMillimeters = SIZEL{millimetresX, millimetresY};
    header.szlMicrometers = SIZEL{millimetresX * 1000, millimetresY * 1000};
    std::memcpy(bytes->data(), &header, sizeof header);
    if (!r.Description.empty())
        std::memcpy(bytes->data() + sizeof header, r.Description.data(), r.Description.size() * sizeof(WCHAR));
    return SetEnhMetaFileBits(UINT(bytes->size()), bytes->data());
}

}  // namespace gdi
