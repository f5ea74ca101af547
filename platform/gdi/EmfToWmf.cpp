// GetWinMetaFileBits: the Windows metafile of an enhanced one. The enhanced metafile travels
// whole in comment records, so converting back gives it unchanged; behind them, its drawing
// records are translated into the 16-bit records an older reader draws, with the enhanced
// metafile's own page and world transforms applied to their points, since the older format
// cannot express them. This file: the stream, the mapping, objects and state.
#include "platform/gdi/EmfToWmf.h"
#include "platform/gdi/TextCodes.h"

#include <climits>
#include <cstring>

namespace gdi {

namespace detail {

// A bitmap of a record as a packed DIB: header and colour table as the older records lay them out
// (the table sized by the header), the bits right behind. Empty when the record has none or it
// does not check out.
std::vector<BYTE> PackDib(const TEmfRecord& record, DWORD offBmi, DWORD cbBmi, DWORD offBits, DWORD cbBits, UINT usage,
                          std::size_t rows) {
    TEmfDib dib;
    if (!ReadDib(record, offBmi, cbBmi, offBits, cbBits, dib) || dib.Empty())
        return {};
    // The table the header implies, measured on a copy with room for it.
    std::vector<BYTE> probe(dib.Info.size() + std::size_t(cbBits));
    std::memcpy(probe.data(), dib.Info.data(), dib.Info.size());
    std::size_t infoBytes, bitsBytes;
    if (!PackedDibLayout(probe.data(), probe.size(), usage, rows, infoBytes, bitsBytes) ||
        infoBytes > dib.Info.size() || bitsBytes > cbBits || !StorageAllowed(infoBytes + bitsBytes))
        return {};
    std::vector<BYTE> packed(infoBytes + bitsBytes);
    std::memcpy(packed.data(), dib.Info.data(), infoBytes);
    std::memcpy(packed.data() + infoBytes, dib.Bits, bitsBytes);
    return packed;
}

TEmfTranslator::TEmfTranslator(const std::vector<BYTE>& emf, int mapMode) : FEmf(emf), FMapMode(mapMode) {
    std::memcpy(&FHeader, emf.data(), std::min<std::size_t>(sizeof FHeader, RecordAt(emf.data(), 0).Size));
    FSlotOfIndex.assign(FHeader.nHandles, -1);
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
        std::memcpy(face, font.lfFaceName, strnlen(font.lfFaceName, LF_FACESIZE - 1));
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
    if (index & kStockObjectFlag) {
        const int stock = int(index & ~kStockObjectFlag);
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
            if (r.Value & kStockObjectFlag)
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
    case EMR_SETPOLYFILLMODE:
        if (value && (one.Value == ALTERNATE || one.Value == WINDING))
            FState.FillMode = int(one.Value);
        return put(META_SETPOLYFILLMODE);
    case EMR_SETSTRETCHBLTMODE:
        if (value && one.Value >= BLACKONWHITE && one.Value <= HALFTONE)
            FState.StretchMode = int(one.Value);
        return put(META_SETSTRETCHBLTMODE);
    case EMR_SETTEXTALIGN: return put(META_SETTEXTALIGN);
    case EMR_SETBKCOLOR:
        FState.BkColour = value ? one.Value : FState.BkColour;
        return putDword(META_SETBKCOLOR);
    case EMR_SETTEXTCOLOR:
        FState.TextColour = value ? one.Value : FState.TextColour;
        return putDword(META_SETTEXTCOLOR);
    case EMR_SETMAPPERFLAGS: return putDword(META_SETMAPPERFLAGS);
    case EMR_SETLAYOUT: return putDword(META_SETLAYOUT);
    case EMR_SETTEXTJUSTIFICATION: {
        EMRTWO r;  // nBreakExtra, nBreakCount
        if (!ReadFixed(record, r))
            return false;
        return FOut.Put(META_SETTEXTJUSTIFICATION, {Clamp16(double(r.Y)), Clamp16(r.X * ScaleX())});
    }
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
        FState.Clipped = true;
        return FOut.Put(record.Type == EMR_INTERSECTCLIPRECT ? META_INTERSECTCLIPRECT : META_EXCLUDECLIPRECT,
                        {std::max(b[1], b[3]), std::max(b[0], b[2]), std::min(b[1], b[3]), std::min(b[0], b[2])});
    }
    case EMR_EXTSELECTCLIPRGN:
    case EMR_OFFSETCLIPRGN: return ClipRegion(record);
    case EMR_SETARCDIRECTION:  // inside a path too, where it turns the figures of shapes
        if (!value)
            return false;
        if (one.Value == AD_COUNTERCLOCKWISE || one.Value == AD_CLOCKWISE)
            FState.Clockwise = one.Value == AD_CLOCKWISE;
        return true;
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
    case EMR_SELECTCLIPPATH: return ClipPath(record);
    case EMR_ABORTPATH:
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
    // Everything else (comments, the metafile region, colour adjustment) has no counterpart and
    // is left out.
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
        (!FOut.Put(META_SETWINDOWORG, {FWindow[1], FWindow[0]}) ||
         !FOut.Put(META_SETWINDOWEXT, {FWindow[3], FWindow[2]})))
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

}  // namespace detail

using namespace detail;

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
