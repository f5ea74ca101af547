// GetWinMetaFileBits: the Windows metafile of an enhanced one. The enhanced metafile travels
// whole in comment records, so converting back gives it unchanged; behind them, its drawing
// records are translated into the 16-bit records an older reader draws, with the enhanced
// metafile's own page and world transforms applied to their points, since the older format
// cannot express them.
#include "platform/gdi/EmfPlay.h"
#include "platform/gdi/MetaConvert.h"
#include "platform/gdi/TextCodes.h"
#include "platform/gdi/WmfRecords.h"

#include <climits>
#include <cmath>
#include <map>

namespace gdi {

using namespace detail;

namespace {

constexpr DWORD kStockFlag = 0x80000000u;
constexpr std::size_t kMaxWmfPoints = 0xFFFF;  // a record's point count is one word
constexpr int kBezierSteps = 16;               // straight pieces per curve segment

// A coordinate or size in 16 bits. Values beyond them are clamped, never wrapped: a shape that
// runs far off the picture still runs off it the same way.
int Clamp16(double value) {
    if (!(value > -32768.0))
        return -32768;
    return int(std::min(32767.0, std::floor(value + 0.5)));
}

// Appends the records of a Windows metafile behind room for its header, every byte through the
// storage gate.
class TWmfWriter {
public:
    TWmfWriter() : FBytes(kMetaHeaderBytes) {}

    bool Put(WORD function, const std::vector<int>& words, const BYTE* tail = nullptr, std::size_t tailBytes = 0) {
        const std::size_t size = kMetaRecordHeaderBytes + words.size() * 2 + (tailBytes + 1) / 2 * 2;
        if (FRefused || size / 2 > 0xFFFFFFFFu || !StorageAllowed(FBytes.size() + size)) {
            SetLastError(ERROR_NOT_ENOUGH_MEMORY);
            FRefused = true;
            return false;
        }
        const std::size_t at = FBytes.size();
        FBytes.resize(at + size);
        PutWord(at, WORD(size / 2));
        PutWord(at + 2, WORD((size / 2) >> 16));
        PutWord(at + 4, function);
        for (std::size_t i = 0; i < words.size(); ++i)
            PutWord(at + 6 + 2 * i, WORD(words[i]));
        if (tailBytes != 0)
            std::memcpy(FBytes.data() + at + 6 + 2 * words.size(), tail, tailBytes);
        FMaxRecord = std::max<std::size_t>(FMaxRecord, size / 2);
        return true;
    }
    bool Refused() const { return FRefused; }

    std::vector<BYTE>* Finish(std::size_t objects) {
        if (!Put(META_EOF, {}))
            return nullptr;
        const std::size_t words = FBytes.size() / 2;
        const WORD header[9] = {1, 9, 0x300, WORD(words), WORD(words >> 16), WORD(std::min<std::size_t>(objects, 0xFFFF)),
                                WORD(FMaxRecord), WORD(FMaxRecord >> 16), 0};
        for (std::size_t i = 0; i < 9; ++i)
            PutWord(2 * i, header[i]);
        return &FBytes;
    }

private:
    void PutWord(std::size_t at, WORD value) {
        FBytes[at] = BYTE(value);
        FBytes[at + 1] = BYTE(value >> 8);
    }
    std::vector<BYTE> FBytes;
    std::size_t FMaxRecord = 3;
    bool FRefused = false;
};

// The colour of a record as the two words a Windows metafile stores it in.
void PushColour(std::vector<int>& words, COLORREF colour) {
    words.push_back(int(colour & 0xFFFF));
    words.push_back(int(colour >> 16));
}

// A bitmap of a record as a packed DIB: header and colour table as the older records lay them out
// (the table sized by the header), the bits right behind. Empty when the record has none or it
// does not check out.
std::vector<BYTE> PackDib(const TEmfRecord& record, DWORD offBmi, DWORD cbBmi, DWORD offBits, DWORD cbBits, UINT usage,
                          std::size_t rows = SIZE_MAX) {
    TEmfDib dib;
    if (!ReadDib(record, offBmi, cbBmi, offBits, cbBits, dib) || dib.Empty())
        return {};
    // The table the header implies, measured on a copy with room for it.
    std::vector<BYTE> probe(dib.Info.size() + std::size_t(cbBits));
    std::memcpy(probe.data(), dib.Info.data(), dib.Info.size());
    std::size_t infoBytes, bitsBytes;
    if (!PackedDibLayout(probe.data(), probe.size(), usage, rows, infoBytes, bitsBytes) || infoBytes > dib.Info.size() ||
        bitsBytes > cbBits || !StorageAllowed(infoBytes + bitsBytes))
        return {};
    std::vector<BYTE> packed(infoBytes + bitsBytes);
    std::memcpy(packed.data(), dib.Info.data(), infoBytes);
    std::memcpy(packed.data() + infoBytes, dib.Bits, bitsBytes);
    return packed;
}

// What SaveDC keeps of the state the translation follows.
struct TState {
    TEmfPage Page;
    BYTE Charset = DEFAULT_CHARSET;
    int PenSlot = -1;  // the older metafile's selected pen (−1: the context's own)
    bool Clockwise = false;
};

// A figure of a path, in the older metafile's units.
struct TFigure {
    std::vector<POINT> Points;
    bool Closed = false;
};

class TEmfTranslator {
public:
    TEmfTranslator(const std::vector<BYTE>& emf, int mapMode);
    std::vector<BYTE>* Run();

private:
    bool Translate(const TEmfRecord& record);
    bool Objects(const TEmfRecord& record, bool& handled);
    bool Drawing(const TEmfRecord& record, bool& handled);
    bool Bitmaps(const TEmfRecord& record);
    bool Text(const TEmfRecord& record);
    bool Polys(const TEmfRecord& record);
    bool PathRecord(const TEmfRecord& record);
    bool Regions(const TEmfRecord& record);
    bool PaintPath(DWORD type);
    bool PutPoints(WORD function, const std::vector<POINT>& points);

    void UpdateMap();
    POINT Map(double x, double y) const {
        const TAffine& m = FMap;
        return POINT{Clamp16(x * m.M11 + y * m.M21 + m.Dx), Clamp16(x * m.M12 + y * m.M22 + m.Dy)};
    }
    std::vector<POINT> MapAll(const std::vector<POINT>& points) const;
    double ScaleX() const { return std::hypot(FMap.M11, FMap.M12); }
    double ScaleY() const { return std::hypot(FMap.M21, FMap.M22); }
    // A pen's width is one number for both axes: it follows the axis that shrinks it most, so a
    // thin pen stays thin on both.
    double PenScale() const { return std::min(ScaleX(), ScaleY()); }
    /// A box as the older records take it: left, top, right, bottom through the map.
    std::vector<int> Box(const RECTL& box) const;

    /// The older metafile's slot for an enhanced object index, a stock object made on first use.
    int SlotOf(DWORD index);
    int NewSlot();
    void MarkPen(int slot, bool pen) {
        if (FPenSlots.size() <= std::size_t(slot))
            FPenSlots.resize(std::size_t(slot) + 1, false);
        FPenSlots[std::size_t(slot)] = pen;
    }
    bool MakeStock(int stock, int& slot);

    const std::vector<BYTE>& FEmf;
    ENHMETAHEADER FHeader{};
    int FMapMode;
    TAffine FDevice;  // the enhanced metafile's device units → the older metafile's logical units
    TAffine FMap;     // its logical units → the older metafile's, for the present state
    LONG FWindow[4]{};  // origin and extent of the older metafile's window
    TState FState;
    std::vector<TState> FSaved;
    TWmfWriter FOut;
    std::vector<int> FSlotOfIndex;           // −1: no object
    std::vector<BYTE> FCharsetOfIndex;       // the character set of a font index
    std::vector<bool> FSlotUsed;
    std::map<int, int> FStockSlots;
    std::map<int, BYTE> FCharsetOfSlot;
    std::vector<bool> FPenSlots;  // which slots hold pens
    POINT FPosition{0, 0};  // the current position in the older metafile's units
    bool FInPath = false;
    std::vector<TFigure> FPath;
};

TEmfTranslator::TEmfTranslator(const std::vector<BYTE>& emf, int mapMode) : FEmf(emf), FMapMode(mapMode) {
    std::memcpy(&FHeader, emf.data(), std::min<std::size_t>(sizeof FHeader, RecordAt(emf.data(), 0).Size));
    FSlotOfIndex.assign(FHeader.nHandles, -1);
    FCharsetOfIndex.assign(FHeader.nHandles, DEFAULT_CHARSET);
    // The enhanced metafile's device units in hundredths of a millimetre, then in the reference
    // screen's pixels; the frame says where the picture starts.
    const double hundredthsX = FHeader.szlMillimeters.cx * 100.0 / FHeader.szlDevice.cx;
    const double hundredthsY = FHeader.szlMillimeters.cy * 100.0 / FHeader.szlDevice.cy;
    const RECTL& f = FHeader.rclFrame;
    const double pixelsX = double(kRefPixelsX) / (kRefMillimetresX * 100.0);
    const double pixelsY = double(kRefPixelsY) / (kRefMillimetresY * 100.0);
    if (mapMode == MM_ISOTROPIC || mapMode == MM_ANISOTROPIC) {
        // The window is the frame in reference pixels, in units of as many pixels as keep its
        // extent within 16 bits.
        const double left = std::round(f.left * pixelsX), top = std::round(f.top * pixelsY);
        const double width = std::round((double(f.right) - f.left) * pixelsX);
        const double height = std::round((double(f.bottom) - f.top) * pixelsY);
        const double unit = std::max(1.0, std::ceil(std::max({std::fabs(width), std::fabs(height), std::fabs(left),
                                                             std::fabs(top)}) / 32767.0));
        FWindow[0] = Clamp16(left / unit), FWindow[1] = Clamp16(top / unit);
        FWindow[2] = std::max(1, Clamp16(width / unit)), FWindow[3] = std::max(1, Clamp16(height / unit));
        FDevice = TAffine{hundredthsX * pixelsX / unit, 0, 0, hundredthsY * pixelsY / unit, 0, 0};
    } else {
        // The fixed modes: their own units per hundredth of a millimetre, y upwards but in
        // MM_TEXT, the frame's corner at the origin.
        static constexpr double kPerHundredth[] = {0.1, 1, 100 / 2540.0, 1000 / 2540.0, 1440 / 2540.0};
        const double per = mapMode == MM_TEXT ? pixelsX : kPerHundredth[mapMode - MM_LOMETRIC];
        const double perY = mapMode == MM_TEXT ? pixelsY : -per;
        FDevice = TAffine{hundredthsX * per, 0, 0, hundredthsY * perY, -f.left * per, -f.top * perY};
    }
    UpdateMap();
}

void TEmfTranslator::UpdateMap() {
    FMap = TAffine::From(FState.Page.World).Then(PageMap(FState.Page)).Then(FDevice);
}

std::vector<POINT> TEmfTranslator::MapAll(const std::vector<POINT>& points) const {
    std::vector<POINT> out(points.size());
    for (std::size_t i = 0; i < points.size(); ++i)
        out[i] = Map(points[i].x, points[i].y);
    return out;
}

std::vector<int> TEmfTranslator::Box(const RECTL& box) const {
    const POINT a = Map(box.left, box.top), b = Map(box.right, box.bottom);
    return {a.x, a.y, b.x, b.y};
}

// ---- objects

int TEmfTranslator::NewSlot() {
    for (std::size_t i = 0; i < FSlotUsed.size(); ++i) {
        if (!FSlotUsed[i]) {
            FSlotUsed[i] = true;
            return int(i);
        }
    }
    if (FSlotUsed.size() >= 0xFFFF)
        return -1;
    FSlotUsed.push_back(true);
    return int(FSlotUsed.size() - 1);
}

// The older format has no stock objects: one is made the first time a record selects it, from
// what the layer's stock object holds, and kept to the end.
bool TEmfTranslator::MakeStock(int stock, int& slot) {
    HGDIOBJ object = GetStockObject(stock);
    slot = -1;
    if (object == nullptr)
        return true;
    std::vector<int> words;
    WORD function;
    switch (GetObjectType(object)) {
    case OBJ_BRUSH: {
        LOGBRUSH brush{};
        GetObjectA(object, sizeof brush, &brush);
        function = META_CREATEBRUSHINDIRECT;
        words = {int(brush.lbStyle)};
        PushColour(words, brush.lbColor);
        words.push_back(int(brush.lbHatch));
        break;
    }
    case OBJ_PEN: {
        LOGPEN pen{};
        GetObjectA(object, sizeof pen, &pen);
        function = META_CREATEPENINDIRECT;
        words = {int(pen.lopnStyle), int(pen.lopnWidth.x), 0};
        PushColour(words, pen.lopnColor);
        break;
    }
    case OBJ_FONT: {
        LOGFONTA font{};
        GetObjectA(object, sizeof font, &font);
        function = META_CREATEFONTINDIRECT;
        words = {font.lfHeight, font.lfWidth, font.lfEscapement, font.lfOrientation, font.lfWeight,
                 font.lfItalic | font.lfUnderline << 8, font.lfStrikeOut | font.lfCharSet << 8,
                 font.lfOutPrecision | font.lfClipPrecision << 8, font.lfQuality | font.lfPitchAndFamily << 8};
        char face[LF_FACESIZE]{};
        std::strncpy(face, font.lfFaceName, LF_FACESIZE - 1);
        for (std::size_t i = 0; i < LF_FACESIZE; i += 2)
            words.push_back(BYTE(face[i]) | BYTE(face[i + 1]) << 8);
        break;
    }
    default: return true;  // the default palette is every context's already
    }
    slot = NewSlot();
    if (slot < 0)
        return true;
    if (GetObjectType(object) == OBJ_FONT) {
        LOGFONTA font{};
        GetObjectA(object, sizeof font, &font);
        FCharsetOfSlot[slot] = font.lfCharSet;
    }
    FStockSlots[stock] = slot;
    MarkPen(slot, function == META_CREATEPENINDIRECT);
    return FOut.Put(function, words);
}

int TEmfTranslator::SlotOf(DWORD index) {
    if (index & kStockFlag) {
        const int stock = int(index & ~kStockFlag);
        const auto found = FStockSlots.find(stock);
        if (found != FStockSlots.end())
            return found->second;
        int slot;
        return MakeStock(stock, slot) ? slot : -2;
    }
    return index < FSlotOfIndex.size() ? FSlotOfIndex[index] : -1;
}

bool TEmfTranslator::Objects(const TEmfRecord& record, bool& handled) {
    std::vector<int> words;
    DWORD index = 0;
    WORD function = 0;
    std::vector<BYTE> tail;
    BYTE charset = DEFAULT_CHARSET;
    switch (record.Type) {
    case EMR_CREATEPEN: {
        EMRCREATEPEN r;
        if (!ReadFixed(record, r))
            return false;
        index = r.ihPen, function = META_CREATEPENINDIRECT;
        words = {int(r.lopnStyle), r.lopnWidth.x == 0 ? 0 : std::max(1, Clamp16(r.lopnWidth.x * PenScale())), 0};
        PushColour(words, r.lopnColor);
        break;
    }
    case EMR_EXTCREATEPEN: {
        // The older pen has a style, a width and a colour: a pattern brush's pen keeps its colour.
        EMREXTCREATEPEN r;
        if (!ReadFixed(record, r))
            return false;
        const bool geometric = (r.elpPenStyle & PS_GEOMETRIC) != 0;
        const int style = r.elpBrushStyle == BS_NULL ? PS_NULL : int(r.elpPenStyle & 0xFFFF);
        index = r.ihPen, function = META_CREATEPENINDIRECT;
        words = {style, geometric ? std::max(1, Clamp16(r.elpWidth * PenScale())) : 0, 0};
        PushColour(words, r.elpColor);
        break;
    }
    case EMR_CREATEBRUSHINDIRECT: {
        EMRCREATEBRUSHINDIRECT r;
        if (!ReadFixed(record, r))
            return false;
        index = r.ihBrush, function = META_CREATEBRUSHINDIRECT;
        words = {int(r.lb.lbStyle > BS_HATCHED ? BS_SOLID : r.lb.lbStyle)};
        PushColour(words, r.lb.lbColor);
        words.push_back(int(r.lb.lbHatch));
        break;
    }
    case EMR_CREATEDIBPATTERNBRUSHPT:
    case EMR_CREATEMONOBRUSH: {
        EMRCREATEDIBPATTERNBRUSH r;
        if (!ReadFixed(record, r))
            return false;
        const bool mono = record.Type == EMR_CREATEMONOBRUSH;
        const UINT usage = mono ? DIB_RGB_COLORS : r.iUsage;
        index = r.ihBrush, function = META_DIBCREATEPATTERNBRUSH;
        tail = PackDib(record, r.offBmi, r.cbBmi, r.offBits, r.cbBits, usage);
        if (tail.empty())
            return true;
        words = {int(mono ? BS_PATTERN : BS_DIBPATTERN), int(usage)};
        break;
    }
    case EMR_EXTCREATEFONTINDIRECTW: {
        EMREXTCREATEFONTINDIRECTW r;
        if (!ReadFixed(record, r))
            return false;
        const LOGFONTW& f = r.elfw;
        index = r.ihFont, function = META_CREATEFONTINDIRECT, charset = f.lfCharSet;
        words = {Clamp16(f.lfHeight * ScaleY()), Clamp16(f.lfWidth * ScaleX()), Clamp16(f.lfEscapement),
                 Clamp16(f.lfOrientation), Clamp16(f.lfWeight), f.lfItalic | f.lfUnderline << 8,
                 f.lfStrikeOut | f.lfCharSet << 8, f.lfOutPrecision | f.lfClipPrecision << 8,
                 f.lfQuality | f.lfPitchAndFamily << 8};
        std::size_t length = 0;
        while (length < LF_FACESIZE && f.lfFaceName[length] != 0)
            ++length;
        std::vector<std::size_t> bytesOfUnit;
        EncodeCodePage(f.lfFaceName, length, charset == SYMBOL_CHARSET ? ANSI_CHARSET : charset, tail, bytesOfUnit);
        tail.resize(LF_FACESIZE, 0);
        tail.back() = 0;
        break;
    }
    case EMR_CREATEPALETTE: {
        EMRCREATEPALETTE r;
        if (!ReadFixed(record, r) || !InsideRecord(record, sizeof r, r.palNumEntries, 4))
            return false;
        index = r.ihPal, function = META_CREATEPALETTE;
        words = {0x300, r.palNumEntries};
        tail.assign(record.Data + sizeof r, record.Data + sizeof r + 4 * std::size_t(r.palNumEntries));
        break;
    }
    case EMR_SELECTOBJECT:
    case EMR_DELETEOBJECT:
    case EMR_SELECTPALETTE: {
        EMRONE r;
        if (!ReadFixed(record, r))
            return false;
        const int slot = SlotOf(r.Value);
        if (slot == -2)
            return false;
        if (slot < 0)
            return true;
        if (record.Type == EMR_DELETEOBJECT) {
            if (r.Value & kStockFlag)
                return true;
            FSlotOfIndex[r.Value] = -1;
            FSlotUsed[std::size_t(slot)] = false;
            return FOut.Put(META_DELETEOBJECT, {slot});
        }
        if (FCharsetOfSlot.count(slot) != 0)
            FState.Charset = FCharsetOfSlot[slot];
        if (std::size_t(slot) < FPenSlots.size() && FPenSlots[std::size_t(slot)])
            FState.PenSlot = slot;
        return FOut.Put(record.Type == EMR_SELECTPALETTE ? META_SELECTPALETTE : META_SELECTOBJECT, {slot});
    }
    case EMR_REALIZEPALETTE: return FOut.Put(META_REALIZEPALETTE, {});
    default: handled = false; return true;
    }
    // A new object: an index of the table (never 0, the metafile's own) takes the lowest free slot;
    // one already there is deleted first, as playback replaces it.
    if (index == 0 || index >= FSlotOfIndex.size())
        return true;
    if (FSlotOfIndex[index] >= 0) {
        const int old = FSlotOfIndex[index];
        FSlotUsed[std::size_t(old)] = false;
        FSlotOfIndex[index] = -1;
        if (!FOut.Put(META_DELETEOBJECT, {old}))
            return false;
    }
    const int slot = NewSlot();
    if (slot < 0)
        return true;
    FSlotOfIndex[index] = slot;
    FCharsetOfSlot.erase(slot);
    MarkPen(slot, function == META_CREATEPENINDIRECT);
    if (function == META_CREATEFONTINDIRECT)
        FCharsetOfSlot[slot] = charset;
    return FOut.Put(function, words, tail.data(), tail.size());
}

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
std::vector<POINT> Flatten(const POINT& start, const std::vector<POINT>& controls) {
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
        return PutPoints(META_POLYLINE, Flatten(mapped[0], std::vector<POINT>(mapped.begin() + 1, mapped.end())));
    default: {  // the "to" forms start at the current position and move it to their last point
        if (mapped.empty())
            return true;
        const bool bezier = t == EMR_POLYBEZIERTO || t == EMR_POLYBEZIERTO16;
        std::vector<POINT> figure = bezier ? Flatten(FPosition, mapped) : mapped;
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
        const std::vector<int> b = Box(r.rclBox);
        POINT start = Map(r.ptlStart.x, r.ptlStart.y), end = Map(r.ptlEnd.x, r.ptlEnd.y);
        // The older records always turn counter-clockwise on their own axes: a map that mirrors
        // or a clockwise direction swaps the ends.
        const bool mirrored = FMap.M11 * FMap.M22 - FMap.M12 * FMap.M21 < 0;
        if (mirrored != FState.Clockwise)
            std::swap(start, end);
        const WORD function = record.Type == EMR_ARC ? META_ARC : record.Type == EMR_CHORD ? META_CHORD : META_PIE;
        return FOut.Put(function, {end.y, end.x, start.y, start.x, b[3], b[2], b[1], b[0]});
    }
    case EMR_SETARCDIRECTION: {
        EMRONE r;
        if (!ReadFixed(record, r))
            return false;
        FState.Clockwise = r.Value == AD_CLOCKWISE;
        return true;
    }
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
    case EMR_SMALLTEXTOUT: return Text(record);
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
        words.insert(words.end(), {int(r.iUsageSrc), Clamp16(r.cySrc), Clamp16(r.cxSrc), Clamp16(r.ySrc), Clamp16(r.xSrc)});
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

// Text becomes EXTTEXTOUT in the code page of the selected font's character set; advances are
// scaled and given to the first byte of each character.
bool TEmfTranslator::Text(const TEmfRecord& record) {
    TEmfText text;
    bool wide = record.Type != EMR_EXTTEXTOUTA;
    if (record.Type == EMR_SMALLTEXTOUT) {
        EMRSMALLTEXTOUT fixed;
        if (!ReadSmallText(record, fixed, text))
            return false;
    } else {
        EMREXTTEXTOUT fixed;
        if (!ReadFixed(record, fixed) || !ReadEmrText(record, fixed.emrtext, wide, text))
            return false;
    }
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
    auto start = [this](POINT at) {
        if (FPath.empty() || FPath.back().Closed || FPath.back().Points.size() > 1)
            FPath.push_back(TFigure{});
        FPath.back().Points.assign(1, at);
    };
    auto extend = [this](const std::vector<POINT>& points) {
        if (FPath.empty() || FPath.back().Closed)
            FPath.push_back(TFigure{{FPosition}, false});
        FPath.back().Points.insert(FPath.back().Points.end(), points.begin(), points.end());
        if (!points.empty())
            FPosition = points.back();
    };
    switch (t) {
    case EMR_MOVETOEX:
    case EMR_LINETO: {
        EMRTWO r;
        if (!ReadFixed(record, r))
            return false;
        if (t == EMR_MOVETOEX)
            start(FPosition = Map(r.X, r.Y));
        else
            extend({Map(r.X, r.Y)});
        return true;
    }
    case EMR_CLOSEFIGURE:
        if (!FPath.empty() && !FPath.back().Closed) {
            FPath.back().Closed = true;
            FPosition = FPath.back().Points.front();
        }
        return true;
    case EMR_RECTANGLE: {
        EMRBOX r;
        if (!ReadFixed(record, r))
            return false;
        const std::vector<int> b = Box(r.rclBox);
        FPath.push_back(TFigure{{{b[0], b[1]}, {b[2], b[1]}, {b[2], b[3]}, {b[0], b[3]}}, true});
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
            extend(mapped);
        } else if (t == EMR_POLYBEZIERTO || t == EMR_POLYBEZIERTO16) {
            const std::vector<POINT> flat = Flatten(FPosition, mapped);
            extend(std::vector<POINT>(flat.begin() + 1, flat.end()));
        } else {
            const bool bezier = t == EMR_POLYBEZIER || t == EMR_POLYBEZIER16;
            FPath.push_back(TFigure{bezier ? Flatten(mapped[0], std::vector<POINT>(mapped.begin() + 1, mapped.end()))
                                           : mapped,
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
    default: return true;  // FIXME: curves other than Bézier splines are not added to paths
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
    const int nullPen = outline ? -1 : SlotOf(kStockFlag | NULL_PEN);
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
    const int pen = FState.PenSlot >= 0 ? FState.PenSlot : SlotOf(kStockFlag | BLACK_PEN);
    return pen == -2 ? false : pen < 0 || FOut.Put(META_SELECTOBJECT, {pen});
}

bool TEmfTranslator::Translate(const TEmfRecord& record) {
    EMRONE one{};
    const bool value = ReadFixed(record, one);
    auto put = [&](WORD function) { return value ? FOut.Put(function, {int(one.Value & 0xFFFF)}) : false; };
    auto putDword = [&](WORD function) {
        return value ? FOut.Put(function, {int(one.Value & 0xFFFF), int(one.Value >> 16)}) : false;
    };
    switch (record.Type) {
    case EMR_SETBKMODE: return put(META_SETBKMODE);
    case EMR_SETROP2: return put(META_SETROP2);
    case EMR_SETPOLYFILLMODE: return put(META_SETPOLYFILLMODE);
    case EMR_SETSTRETCHBLTMODE: return put(META_SETSTRETCHBLTMODE);
    case EMR_SETTEXTALIGN: return put(META_SETTEXTALIGN);
    case EMR_SETBKCOLOR: return putDword(META_SETBKCOLOR);
    case EMR_SETTEXTCOLOR: return putDword(META_SETTEXTCOLOR);
    case EMR_SETMAPPERFLAGS: return putDword(META_SETMAPPERFLAGS);
    case EMR_SETLAYOUT: return putDword(META_SETLAYOUT);
    case EMR_SAVEDC:
        FSaved.push_back(FState);
        return FOut.Put(META_SAVEDC, {});
    case EMR_RESTOREDC: {
        if (!value)
            return false;
        const LONG relative = LONG(one.Value);
        if (relative >= 0 || std::size_t(-std::int64_t(relative)) > FSaved.size())
            return true;
        const std::size_t keep = FSaved.size() - std::size_t(-std::int64_t(relative));
        FState = FSaved[keep];
        FSaved.resize(keep);
        UpdateMap();
        return FOut.Put(META_RESTOREDC, {Clamp16(relative)});
    }
    case EMR_INTERSECTCLIPRECT:
    case EMR_EXCLUDECLIPRECT: {
        EMRRECT4 r;
        if (!ReadFixed(record, r))
            return false;
        const std::vector<int> b = Box(r.rcl);
        return FOut.Put(record.Type == EMR_INTERSECTCLIPRECT ? META_INTERSECTCLIPRECT : META_EXCLUDECLIPRECT,
                        {std::max(b[1], b[3]), std::max(b[0], b[2]), std::min(b[1], b[3]), std::min(b[0], b[2])});
    }
    case EMR_SETMAPMODE:
    case EMR_SETWINDOWEXTEX:
    case EMR_SETWINDOWORGEX:
    case EMR_SETVIEWPORTEXTEX:
    case EMR_SETVIEWPORTORGEX:
    case EMR_SCALEVIEWPORTEXTEX:
    case EMR_SCALEWINDOWEXTEX:
    case EMR_SETWORLDTRANSFORM:
    case EMR_MODIFYWORLDTRANSFORM:
        if (!UpdatePage(FState.Page, FHeader, record))
            return false;
        UpdateMap();
        return true;
    // Paths are gathered as figures and drawn as polygons and polylines when they are painted.
    case EMR_BEGINPATH:
        FInPath = true;
        FPath.clear();
        return true;
    case EMR_ENDPATH: FInPath = false; return true;
    case EMR_ABORTPATH:
    case EMR_SELECTCLIPPATH:  // FIXME: a clip path is not carried over: nothing is clipped by it
        FInPath = false;
        FPath.clear();
        return true;
    case EMR_FILLPATH:
    case EMR_STROKEANDFILLPATH:
    case EMR_STROKEPATH: return PaintPath(record.Type);
    default: break;
    }
    bool handled = true;
    const bool ok = Objects(record, handled);
    if (handled)
        return ok;
    handled = true;
    if (FInPath)
        return PathRecord(record);
    // Everything else (comments, clip regions, the newer transfers) has no counterpart and is
    // left out.
    // FIXME: EXTSELECTCLIPRGN is not carried over: the older clip region is in the units of
    // whatever device plays it, which a conversion cannot know.
    return Drawing(record, handled);
}

std::vector<BYTE>* TEmfTranslator::Run() {
    // The enhanced metafile itself, in comment records of at most 8 KiB each.
    const std::size_t total = FEmf.size();
    const std::size_t chunks = (total + kEnhancedChunkBytes - 1) / kEnhancedChunkBytes;
    const WORD checksum = MetafileChecksum(FEmf.data(), total);
    for (std::size_t i = 0; i < chunks; ++i) {
        const std::size_t at = i * kEnhancedChunkBytes, current = std::min(kEnhancedChunkBytes, total - at);
        std::vector<int> words{kEscapeMfComment, int(kEnhancedChunkHeader + current)};
        for (DWORD d : {kWmfCommentIdentifier, kWmfCommentEnhanced, kWmfCommentVersion})
            words.push_back(int(d & 0xFFFF)), words.push_back(int(d >> 16));
        words.push_back(checksum);
        for (std::size_t d : {std::size_t(0), chunks, current, total - at - current, total})
            words.push_back(int(d & 0xFFFF)), words.push_back(int((d >> 16) & 0xFFFF));
        if (!FOut.Put(META_ESCAPE, words, FEmf.data() + at, current))
            return nullptr;
    }
    if (!FOut.Put(META_SETMAPMODE, {FMapMode}))
        return nullptr;
    if ((FMapMode == MM_ISOTROPIC || FMapMode == MM_ANISOTROPIC) &&
        (!FOut.Put(META_SETWINDOWORG, {FWindow[1], FWindow[0]}) || !FOut.Put(META_SETWINDOWEXT, {FWindow[3], FWindow[2]})))
        return nullptr;
    for (std::size_t at = FHeader.nSize; at + 8 <= FEmf.size();) {
        const TEmfRecord record = RecordAt(FEmf.data(), at);
        if (record.Type == EMR_EOF)
            break;
        // A damaged record ends the picture there, as it ends playback.
        if (!Translate(record)) {
            if (FOut.Refused())
                return nullptr;
            break;
        }
        at += record.Size;
    }
    return FOut.Finish(std::max<std::size_t>(FSlotUsed.size(), 1));
}

}  // namespace

UINT GetWinMetaFileBits(HENHMETAFILE handle, UINT size, BYTE* data, INT mapMode, HDC) {
    TLock lock(LayerMutex());
    auto* metafile = Lookup<TEnhMetaFileObj>(handle);
    if (metafile == nullptr)
        return 0;
    if (mapMode < MM_TEXT || mapMode > MM_ANISOTROPIC) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    TEmfTranslator translator(metafile->Bytes, mapMode);
    const std::vector<BYTE>* bytes = translator.Run();
    if (bytes == nullptr)
        return 0;
    if (bytes->size() > UINT_MAX) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return 0;
    }
    if (data == nullptr)
        return UINT(bytes->size());
    if (size < bytes->size()) {
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return 0;
    }
    std::memcpy(data, bytes->data(), bytes->size());
    return UINT(bytes->size());
}

}  // namespace gdi
