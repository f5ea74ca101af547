// Recording Windows metafiles: CreateMetaFileW, CloseMetaFile and the 16-bit records the hooks of
// Recorder.h write for a context that records one. Coordinates are the calls' own logical ones;
// the object table puts each new object in the lowest free slot, as [MS-WMF] playback does.
#include "platform/gdi/EmfToWmf.h"
#include "platform/gdi/Recorder.h"
#include "platform/gdi/TextCodes.h"

#include <climits>

namespace gdi {

using namespace detail;

namespace detail {

namespace {

class TWmfRecorder final : public TRecorder {
public:
    TWmfRecorder() { Live().push_back(this); }
    ~TWmfRecorder() override { std::erase(Live(), this); }
    bool Windows() const override { return true; }

    static std::vector<TWmfRecorder*>& Live() {
        static std::vector<TWmfRecorder*> recorders;
        return recorders;
    }

    TWmfWriter Out;
    std::vector<HGDIOBJ> Slots;  // the object table: the object each slot holds, null when free
    std::size_t Peak = 0;

    int SlotOf(HGDIOBJ handle) const {
        for (std::size_t i = 0; i < Slots.size(); ++i)
            if (Slots[i] == handle)
                return int(i);
        return -1;
    }
    /// The lowest free slot, taken; −1 when the table's 16 bits are used up.
    int Take(HGDIOBJ handle) {
        for (std::size_t i = 0; i < Slots.size(); ++i)
            if (Slots[i] == nullptr) {
                Slots[i] = handle;
                return int(i);
            }
        if (Slots.size() >= 0xFFFF)
            return -1;
        Slots.push_back(handle);
        Peak = std::max(Peak, Slots.size());
        return int(Slots.size() - 1);
    }
};

TWmfRecorder& RecorderOf(TDCObj& dc) {
    assert(dc.Recorder != nullptr && dc.Recorder->Windows());
    return static_cast<TWmfRecorder&>(*dc.Recorder);
}

// A coordinate of a 16-bit record: held within its range, never wrapped.
int Word16(long long value) { return int(std::clamp<long long>(value, SHRT_MIN, SHRT_MAX)); }

bool Put(TDCObj& dc, WORD function, const std::vector<int>& words, const BYTE* tail = nullptr,
         std::size_t tailBytes = 0) {
    return RecorderOf(dc).Out.Put(function, words, tail, tailBytes);
}

// A region as the older format's object: scans of x pairs between a top and a bottom, behind
// the 11-word header. The layer's regions are banded already, so each band is a scan.
std::vector<int> RegionWords(const TRegion& region) {
    std::vector<int> scans;
    std::size_t count = 0, longest = 0;
    const std::vector<RECT>& rects = region.Rects();
    for (std::size_t i = 0; i < rects.size();) {
        const std::size_t end = region.BandEnd(i);
        const std::size_t pairs = end - i;
        scans.push_back(int(pairs * 2));
        scans.push_back(Word16(rects[i].top));
        scans.push_back(Word16(rects[i].bottom));
        for (std::size_t k = i; k < end; ++k) {
            scans.push_back(Word16(rects[k].left));
            scans.push_back(Word16(rects[k].right));
        }
        scans.push_back(int(pairs * 2));
        longest = std::max(longest, pairs * 2);
        ++count;
        i = end;
    }
    const RECT box = region.Bounds();
    std::vector<int> words = {0, 6, 0, 0, int(std::min<std::size_t>((11 + scans.size()) * 2, 0xFFFF)),
                              int(std::min<std::size_t>(count, 0xFFFF)), int(std::min<std::size_t>(longest, 0xFFFF)),
                              Word16(box.left), Word16(box.top), Word16(box.right), Word16(box.bottom)};
    words.insert(words.end(), scans.begin(), scans.end());
    return words;
}

// Makes a region object for one record; −1 with the last error set when it cannot be made.
int PutRegion(TDCObj& dc, const TRegion& region) {
    TWmfRecorder& r = RecorderOf(dc);
    const std::vector<int> words = RegionWords(region);
    if (words.size() > 0x7FFF) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return -1;
    }
    // A slot that holds no object of the layer: it is given back when the record is done.
    const int slot = r.Take(reinterpret_cast<HGDIOBJ>(std::uintptr_t(1)));
    if (slot < 0 || !Put(dc, META_CREATEREGION, words)) {
        if (slot >= 0)
            r.Slots[std::size_t(slot)] = nullptr;
        if (slot < 0)
            SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return -1;
    }
    return slot;
}

bool DropRegion(TDCObj& dc, int slot) {
    RecorderOf(dc).Slots[std::size_t(slot)] = nullptr;
    return Put(dc, META_DELETEOBJECT, {slot});
}

// A packed DIB as record bytes.
bool PutWithDib(TDCObj& dc, WORD function, const std::vector<int>& words, const std::vector<BYTE>& packed) {
    return Put(dc, function, words, packed.data(), packed.size());
}

bool PutObject(TDCObj& dc, TObject& object) {
    switch (object.Kind) {
    case TKind::Pen: {
        const auto& pen = static_cast<const TPenObj&>(object);
        // An extended pen keeps what the older record has room for: style, width and colour.
        const UINT style = pen.Extended ? UINT(pen.ExtStyle & PS_STYLE_MASK) : pen.Log.lopnStyle;
        const COLORREF colour = pen.Extended ? pen.Brush.lbColor : pen.Log.lopnColor;
        std::vector<int> words = {int(style), Word16(pen.Log.lopnWidth.x), 0};
        PushColour(words, colour);
        return Put(dc, META_CREATEPENINDIRECT, words);
    }
    case TKind::Brush: {
        const auto& brush = static_cast<const TBrushObj&>(object);
        if (brush.Pattern != nullptr) {
            std::size_t infoBytes = 0;
            const std::vector<BYTE> packed = PackedDib(*brush.Pattern, RGB(0, 0, 0), RGB(255, 255, 255), infoBytes);
            if (packed.empty())
                return false;
            return PutWithDib(dc, META_DIBCREATEPATTERNBRUSH, {BS_DIBPATTERN, DIB_RGB_COLORS}, packed);
        }
        std::vector<int> words = {int(brush.Log.lbStyle)};
        PushColour(words, BrushColor(brush));
        words.push_back(int(brush.Log.lbHatch));
        return Put(dc, META_CREATEBRUSHINDIRECT, words);
    }
    case TKind::Font: {
        const LOGFONTA& log = static_cast<const TFontObj&>(object).Log;
        // The face name in the code page of the font's own character set, as the older
        // records keep every string.
        WCHAR face[LF_FACESIZE];
        FaceToUtf16(log.lfFaceName, face);
        std::size_t units = 0;
        while (units < LF_FACESIZE && face[units] != 0)
            ++units;
        std::vector<BYTE> bytes;
        std::vector<std::size_t> bytesOfUnit;
        EncodeCodePage(face, units, log.lfCharSet, bytes, bytesOfUnit);
        bytes.resize(std::min<std::size_t>(bytes.size(), LF_FACESIZE - 1));
        bytes.push_back(0);
        BYTE tail[8 + LF_FACESIZE] = {log.lfItalic,        log.lfUnderline,      log.lfStrikeOut, log.lfCharSet,
                                      log.lfOutPrecision,  log.lfClipPrecision,  log.lfQuality,   log.lfPitchAndFamily};
        std::memcpy(tail + 8, bytes.data(), bytes.size());
        return Put(dc, META_CREATEFONTINDIRECT,
                   {Word16(log.lfHeight), Word16(log.lfWidth), Word16(log.lfEscapement), Word16(log.lfOrientation),
                    Word16(log.lfWeight)},
                   tail, 8 + bytes.size());
    }
    case TKind::Palette: {
        const auto& palette = static_cast<const TPaletteObj&>(object);
        const std::size_t count = std::min<std::size_t>(palette.Entries.size(), 0xFFFF);
        return Put(dc, META_CREATEPALETTE, {0x300, int(count)}, reinterpret_cast<const BYTE*>(palette.Entries.data()),
                   count * sizeof(PALETTEENTRY));
    }
    default: SetLastError(ERROR_INVALID_PARAMETER); return false;
    }
}

// The slot of an object, made with its creation record the first time. The older format has no
// stock objects: a stock object is made like any other and kept to the end.
int ObjectSlot(TDCObj& dc, HGDIOBJ handle, TObject& object) {
    TWmfRecorder& r = RecorderOf(dc);
    if (const int known = r.SlotOf(handle); known >= 0)
        return known;
    const int slot = r.Take(handle);
    if (slot < 0) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return -1;
    }
    if (!PutObject(dc, object)) {
        r.Slots[std::size_t(slot)] = nullptr;
        return -1;
    }
    return slot;
}

std::vector<int> Points(const POINT* points, std::size_t count) {
    std::vector<int> words;
    words.reserve(2 * count);
    for (std::size_t i = 0; i < count; ++i) {
        words.push_back(Word16(points[i].x));
        words.push_back(Word16(points[i].y));
    }
    return words;
}

}  // namespace

namespace wmf {

bool Refuse() {
    SetLastError(ERROR_INVALID_PARAMETER);
    return false;
}

bool RecordBare(TDCObj& dc, DWORD type) {
    switch (type) {
    case EMR_SAVEDC: return Put(dc, META_SAVEDC, {});
    case EMR_REALIZEPALETTE: return Put(dc, META_REALIZEPALETTE, {});
    case EMR_SETMETARGN: return true;  // no record: the clip in force stays as it is
    default: return Refuse();          // the path brackets
    }
}

bool RecordValue(TDCObj& dc, DWORD type, DWORD value) {
    std::vector<int> colour;
    PushColour(colour, value);
    switch (type) {
    case EMR_SETBKCOLOR: return Put(dc, META_SETBKCOLOR, colour);
    case EMR_SETTEXTCOLOR: return Put(dc, META_SETTEXTCOLOR, colour);
    case EMR_SETBKMODE: return Put(dc, META_SETBKMODE, {int(value), 0});
    case EMR_SETMAPMODE: return Put(dc, META_SETMAPMODE, {int(value)});
    case EMR_SETROP2: return Put(dc, META_SETROP2, {int(value), 0});
    case EMR_SETPOLYFILLMODE: return Put(dc, META_SETPOLYFILLMODE, {int(value), 0});
    case EMR_SETSTRETCHBLTMODE: return Put(dc, META_SETSTRETCHBLTMODE, {int(value), 0});
    case EMR_SETTEXTALIGN: return Put(dc, META_SETTEXTALIGN, {int(value & 0xFFFF), 0});
    case EMR_RESTOREDC: return Put(dc, META_RESTOREDC, {Word16(LONG(value))});
    // The older format keeps neither: the arc direction is counter-clockwise where it plays, and
    // its pens have no miters to limit.
    case EMR_SETARCDIRECTION: return value == AD_COUNTERCLOCKWISE ? true : Refuse();
    case EMR_SETMITERLIMIT: return true;
    default: return Refuse();
    }
}

bool RecordPoint(TDCObj& dc, DWORD type, long long x, long long y) {
    const std::vector<int> words = {Word16(y), Word16(x)};
    switch (type) {
    case EMR_SETWINDOWORGEX: return Put(dc, META_SETWINDOWORG, words);
    case EMR_SETWINDOWEXTEX: return Put(dc, META_SETWINDOWEXT, words);
    case EMR_SETVIEWPORTORGEX: return Put(dc, META_SETVIEWPORTORG, words);
    case EMR_SETVIEWPORTEXTEX: return Put(dc, META_SETVIEWPORTEXT, words);
    case EMR_MOVETOEX: return Put(dc, META_MOVETO, words);
    case EMR_OFFSETCLIPRGN: return Put(dc, META_OFFSETCLIPRGN, words);
    case EMR_SETBRUSHORGEX: return true;  // no record; patterns start at the device's origin
    default: return Refuse();
    }
}

bool RecordScale(TDCObj& dc, DWORD type, int xNum, int xDenom, int yNum, int yDenom) {
    return Put(dc, type == EMR_SCALEWINDOWEXTEX ? META_SCALEWINDOWEXT : META_SCALEVIEWPORTEXT,
               {Word16(yDenom), Word16(yNum), Word16(xDenom), Word16(xNum)});
}

bool RecordClipRect(TDCObj& dc, DWORD type, int left, int top, int right, int bottom) {
    return Put(dc, type == EMR_INTERSECTCLIPRECT ? META_INTERSECTCLIPRECT : META_EXCLUDECLIPRECT,
               {Word16(bottom), Word16(right), Word16(top), Word16(left)});
}

bool RecordLineTo(TDCObj& dc, int x, int y) { return Put(dc, META_LINETO, {Word16(y), Word16(x)}); }

bool RecordBox(TDCObj& dc, DWORD type, int left, int top, int right, int bottom, int cornerW, int cornerH) {
    const std::vector<int> box = {Word16(bottom), Word16(right), Word16(top), Word16(left)};
    switch (type) {
    case EMR_RECTANGLE: return Put(dc, META_RECTANGLE, box);
    case EMR_ELLIPSE: return Put(dc, META_ELLIPSE, box);
    default: {
        std::vector<int> words = {Word16(cornerH), Word16(cornerW)};
        words.insert(words.end(), box.begin(), box.end());
        return Put(dc, META_ROUNDRECT, words);
    }
    }
}

bool RecordArc(TDCObj& dc, DWORD type, int left, int top, int right, int bottom, int xs, int ys, int xe, int ye) {
    const std::vector<int> words = {Word16(ye),     Word16(xe),    Word16(ys),  Word16(xs),
                                    Word16(bottom), Word16(right), Word16(top), Word16(left)};
    switch (type) {
    case EMR_ARC: return Put(dc, META_ARC, words);
    case EMR_PIE: return Put(dc, META_PIE, words);
    case EMR_CHORD: return Put(dc, META_CHORD, words);
    default: return Refuse();  // ArcTo moves the position, which the older records cannot
    }
}

bool RecordPoly(TDCObj& dc, DWORD type, const POINT* points, DWORD count) {
    if ((type != EMR_POLYLINE && type != EMR_POLYGON) || count > kMaxWmfPoints)
        return Refuse();
    std::vector<int> words = {int(count)};
    const std::vector<int> coordinates = Points(points, count);
    words.insert(words.end(), coordinates.begin(), coordinates.end());
    return Put(dc, type == EMR_POLYGON ? META_POLYGON : META_POLYLINE, words);
}

bool RecordPolyPoly(TDCObj& dc, DWORD type, const POINT* points, const DWORD* counts, DWORD figures) {
    std::size_t total = 0;
    for (DWORD i = 0; i < figures; ++i)
        total += counts[i];
    if (type == EMR_POLYPOLYLINE) {
        // The older format has no poly-polyline: one polyline per figure, as drawn alike.
        for (DWORD i = 0, first = 0; i < figures; first += counts[i], ++i)
            if (!wmf::RecordPoly(dc, EMR_POLYLINE, points + first, counts[i]))
                return false;
        return true;
    }
    if (figures > kMaxWmfPoints || total > kMaxWmfPoints)
        return Refuse();
    std::vector<int> words = {int(figures)};
    for (DWORD i = 0; i < figures; ++i)
        words.push_back(int(counts[i]));
    const std::vector<int> coordinates = Points(points, total);
    words.insert(words.end(), coordinates.begin(), coordinates.end());
    return Put(dc, META_POLYPOLYGON, words);
}

bool RecordPixel(TDCObj& dc, int x, int y, COLORREF color) {
    std::vector<int> words;
    PushColour(words, color);
    words.push_back(Word16(y));
    words.push_back(Word16(x));
    return Put(dc, META_SETPIXEL, words);
}

bool RecordSelect(TDCObj& dc, HGDIOBJ handle, TObject& object) {
    if (object.Kind == TKind::Region)
        return wmf::RecordClipRegion(dc, &static_cast<TRegionObj&>(object).Region, RGN_COPY);
    if (object.Kind != TKind::Pen && object.Kind != TKind::Brush && object.Kind != TKind::Font)
        return Refuse();
    const int slot = ObjectSlot(dc, handle, object);
    return slot >= 0 && Put(dc, META_SELECTOBJECT, {slot});
}

bool RecordSelectPalette(TDCObj& dc, HPALETTE palette, TPaletteObj& object) {
    const int slot = ObjectSlot(dc, palette, object);
    return slot >= 0 && Put(dc, META_SELECTPALETTE, {slot});
}

void RecordDelete(HGDIOBJ handle) {
    for (TWmfRecorder* r : TWmfRecorder::Live()) {
        if (const int slot = r->SlotOf(handle); slot >= 0 && r->Out.Put(META_DELETEOBJECT, {slot}))
            r->Slots[std::size_t(slot)] = nullptr;
    }
}

bool RecordClipRegion(TDCObj& dc, const TRegion* region, int mode) {
    if (mode != RGN_COPY)
        return Refuse();  // the older format only selects a region
    if (region == nullptr) {
        // A slot that holds nothing selects no region, which removes the clip region.
        return Put(dc, META_SELECTCLIPREGION, {0xFFFF});
    }
    const int slot = PutRegion(dc, *region);
    return slot >= 0 && Put(dc, META_SELECTCLIPREGION, {slot}) && DropRegion(dc, slot);
}

bool RecordRegionPaint(TDCObj& dc, DWORD type, const TRegion& region, HBRUSH brush, int width, int height) {
    int brushSlot = -1;
    if (type == EMR_FILLRGN || type == EMR_FRAMERGN) {
        TObject* object = Find(brush);
        if (object == nullptr || (brushSlot = ObjectSlot(dc, brush, *object)) < 0)
            return false;
    }
    const int slot = PutRegion(dc, region);
    if (slot < 0)
        return false;
    bool kept = false;
    switch (type) {
    case EMR_FILLRGN: kept = Put(dc, META_FILLREGION, {slot, brushSlot}); break;
    case EMR_FRAMERGN: kept = Put(dc, META_FRAMEREGION, {slot, brushSlot, Word16(height), Word16(width)}); break;
    case EMR_INVERTRGN: kept = Put(dc, META_INVERTREGION, {slot}); break;
    default: kept = Put(dc, META_PAINTREGION, {slot}); break;
    }
    return kept && DropRegion(dc, slot);
}

bool RecordText(TDCObj& dc, int x, int y, UINT options, const RECT* rect, const WCHAR* text, UINT count,
                const INT* dx) {
    // Text travels in the code page of the selected font's character set; each character's
    // advance goes on its first byte.
    const auto* font = static_cast<const TFontObj*>(Find(dc.Font));
    const BYTE charset = font != nullptr && font->Kind == TKind::Font ? font->Log.lfCharSet : BYTE(DEFAULT_CHARSET);
    std::vector<BYTE> bytes;
    std::vector<std::size_t> bytesOfUnit;
    EncodeCodePage(text, count, charset, bytes, bytesOfUnit);
    if (bytes.size() > 0x7FFF || (options & ETO_GLYPH_INDEX) != 0)
        return Refuse();
    std::vector<int> words = {Word16(y), Word16(x), int(bytes.size()), int(options & 0xFFFF & ~UINT(ETO_PDY))};
    if (rect != nullptr && (options & (ETO_OPAQUE | ETO_CLIPPED)) != 0)
        words.insert(words.end(), {Word16(rect->left), Word16(rect->top), Word16(rect->right), Word16(rect->bottom)});
    std::vector<BYTE> tail = bytes;
    if (tail.size() % 2 != 0)
        tail.push_back(0);
    if (dx != nullptr) {
        const bool pairs = (options & ETO_PDY) != 0;
        for (UINT i = 0; i < count; ++i) {
            for (std::size_t k = 0; k < bytesOfUnit[i]; ++k) {
                const int advance = k == 0 ? Word16(pairs ? dx[2 * std::size_t(i)] : dx[i]) : 0;
                tail.push_back(BYTE(advance & 0xFF));
                tail.push_back(BYTE((advance >> 8) & 0xFF));
            }
        }
    }
    return Put(dc, META_EXTTEXTOUT, words, tail.data(), tail.size());
}

bool RecordTextSpacing(TDCObj& dc, bool justification, int first, int second) {
    if (justification)
        return Put(dc, META_SETTEXTJUSTIFICATION, {Word16(second), Word16(first)});
    return Put(dc, META_SETTEXTCHAREXTRA, {Word16(first)});
}

bool RecordBlt(TDCObj& dc, int x, int y, int width, int height, const std::vector<BYTE>& packed, int sx, int sy,
               int sourceWidth, int sourceHeight, DWORD rop, bool stretch) {
    std::vector<int> words;
    PushColour(words, rop);
    if (packed.empty()) {
        words.insert(words.end(), {Word16(height), Word16(width), Word16(y), Word16(x)});
        return Put(dc, META_PATBLT, words);
    }
    // The DIB is bottom-up: its source rows count from its bottom.
    BITMAPINFOHEADER header;
    std::memcpy(&header, packed.data(), sizeof header);
    const long long fromBottom = (long long)header.biHeight - sy - sourceHeight;
    if (stretch)
        words.insert(words.end(), {Word16(sourceHeight), Word16(sourceWidth)});
    words.insert(words.end(), {Word16(fromBottom), Word16(sx), Word16(height), Word16(width), Word16(y), Word16(x)});
    return PutWithDib(dc, stretch ? META_DIBSTRETCHBLT : META_DIBBITBLT, words, packed);
}

bool RecordDibits(TDCObj& dc, bool stretch, int x, int y, int width, int height, int sx, int sy, int sourceWidth,
                  int sourceHeight, UINT startScan, UINT lines, const std::vector<BYTE>& packed, UINT usage, DWORD rop) {
    if (packed.empty())
        return wmf::RecordBlt(dc, x, y, width, height, {}, 0, 0, 0, 0, rop, false);
    if (stretch) {
        std::vector<int> words;
        PushColour(words, rop);
        words.insert(words.end(), {int(usage), Word16(sourceHeight), Word16(sourceWidth), Word16(sy), Word16(sx),
                                   Word16(height), Word16(width), Word16(y), Word16(x)});
        return PutWithDib(dc, META_STRETCHDIB, words, packed);
    }
    return PutWithDib(dc, META_SETDIBTODEV,
                      {int(usage), int(std::min<UINT>(lines, 0xFFFF)), int(std::min<UINT>(startScan, 0xFFFF)), Word16(sy),
                       Word16(sx), Word16(height), Word16(width), Word16(y), Word16(x)},
                      packed);
}

bool RecordFloodFill(TDCObj& dc, int x, int y, COLORREF color, UINT type) {
    std::vector<int> words = {int(type)};
    PushColour(words, color);
    words.insert(words.end(), {Word16(y), Word16(x)});
    return Put(dc, META_EXTFLOODFILL, words);
}

}  // namespace wmf

}  // namespace detail

HDC CreateMetaFileW(const WCHAR* fileName) {
    TLock lock(LayerMutex());
    if (fileName != nullptr) {
        // The layer writes no files: callers save the bytes GetMetaFileBitsEx gives.
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    HDC dc = CreateCompatibleDC(nullptr);
    if (dc != nullptr)
        Lookup<TDCObj>(dc)->Recorder = std::make_unique<TWmfRecorder>();
    return dc;
}

HMETAFILE CloseMetaFile(HDC handle) {
    TLock lock(LayerMutex());
    auto* dc = Lookup<TDCObj>(handle);
    if (dc == nullptr)
        return nullptr;
    if (!Recording(*dc) || !RecordsWindows(*dc)) {
        SetLastError(ERROR_INVALID_HANDLE);
        return nullptr;
    }
    std::unique_ptr<TRecorder> owned = std::move(dc->Recorder);
    DeleteDC(handle);
    auto& r = static_cast<TWmfRecorder&>(*owned);
    if (r.Out.Refused())
        return nullptr;
    std::vector<BYTE>* bytes = r.Out.Finish(r.Peak);
    if (bytes == nullptr)
        return nullptr;
    return SetMetaFileBitsEx(UINT(bytes->size()), bytes->data());
}

}  // namespace gdi
