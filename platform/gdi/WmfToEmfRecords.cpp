// SetWinMetaFileBits' object and drawing records: objects into the enhanced table (regions kept
// by the translator), shapes, polygons, regions, bitmaps (old device-dependent ones made DIBs)
// and text decoded through the selected font's code page.
#include "platform/gdi/FontCache.h"
#include "platform/gdi/TextCodes.h"
#include "platform/gdi/WmfToEmf.h"

#include <cmath>

namespace gdi::detail {

namespace {

// The font a context starts with, for text before the metafile selects one.
LOGFONTA DefaultFont() {
    TObject* object = Find(State().Stock[SYSTEM_FONT]);
    return object != nullptr && object->Kind == TKind::Font ? static_cast<TFontObj*>(object)->Log : LOGFONTA{};
}

}  // namespace

// An old device-dependent bitmap (its 10-byte description at word `at`, rows padded to 16 bits
// and top row first from word bitsAt) as a packed top-down DIB, the header padded to 4 bytes as
// the records below lay it out. A monochrome bitmap takes the colours it is drawn in, 0 the
// first and 1 the second. The colours of 4- and 8-bit ones live in the device, so they take the
// table that playing the record draws them with: the same picture either way.
bool DdbAsDib(TMetaParams& p, std::size_t at, std::size_t bitsAt, COLORREF zero, COLORREF one,
              std::vector<BYTE>& packed, std::size_t& infoBytes) {
    const BYTE* header = p.At(at, 10);
    if (header == nullptr)
        return false;
    const int width = std::int16_t(ReadWord(header + 2)), height = std::int16_t(ReadWord(header + 4));
    const std::size_t widthBytes = ReadWord(header + 6);
    const BYTE planes = header[8], bits = header[9];
    if (width <= 0 || height <= 0 || planes != 1)
        return p.Fail();
    const std::size_t rowBytes = (std::size_t(width) * bits + 15) / 16 * 2;
    const BYTE* rows = p.At(bitsAt, rowBytes * std::size_t(height));
    if (widthBytes != rowBytes || rows == nullptr)
        return p.Fail();
    if (bits != 1 && bits != 4 && bits != 8 && bits != 16 && bits != 24 && bits != 32)
        return false;
    const std::size_t stride = (std::size_t(width) * bits + 31) / 32 * 4;
    const DWORD colors = bits <= 8 ? 1u << bits : 0u;
    infoBytes = sizeof(BITMAPINFOHEADER) + colors * sizeof(RGBQUAD);
    if (!ResizeStorage(packed, infoBytes + stride * std::size_t(height)))
        return false;
    const BITMAPINFOHEADER info{sizeof(BITMAPINFOHEADER), width, -height, 1, bits, BI_RGB,
                                DWORD(stride * std::size_t(height)), 0, 0, colors, 0};
    std::memcpy(packed.data(), &info, sizeof info);
    std::array<RGBQUAD, 256> table{};
    if (bits == 1) {
        table[0] = {GetBValue(zero), GetGValue(zero), GetRValue(zero), 0};
        table[1] = {GetBValue(one), GetGValue(one), GetRValue(one), 0};
    } else if (colors != 0) {
        table = DeviceColorTable(bits);
        for (RGBQUAD& entry : table)
            entry.rgbReserved = 0;
    }
    std::memcpy(packed.data() + sizeof info, table.data(), colors * sizeof(RGBQUAD));
    for (int row = 0; row < height; ++row)
        std::memcpy(packed.data() + infoBytes + std::size_t(row) * stride, rows + std::size_t(row) * rowBytes,
                    std::min(rowBytes, stride));
    return true;
}

// ---- objects

TWmfTranslator::TSlot* TWmfTranslator::NewSlot(TSlot::TKind kind, DWORD& emfIndex) {
    for (std::size_t i = 0; i < FSlots.size(); ++i) {
        if (FSlots[i].Kind == TSlot::Free) {
            FSlots[i] = TSlot{};
            FSlots[i].Kind = kind;
            emfIndex = DWORD(i + 1);  // index 0 of an enhanced metafile's table is the metafile's own
            return &FSlots[i];
        }
    }
    return nullptr;
}

bool TWmfTranslator::CreateFont(TMetaParams& p) {
    const BYTE* flags = p.At(5, 8);
    if (flags == nullptr)
        return false;
    EMREXTCREATEFONTINDIRECTW r{};
    LOGFONTW& f = r.elfw;
    f.lfHeight = p.Short(0), f.lfWidth = p.Short(1), f.lfEscapement = p.Short(2), f.lfOrientation = p.Short(3);
    f.lfWeight = p.Short(4);
    f.lfItalic = flags[0], f.lfUnderline = flags[1], f.lfStrikeOut = flags[2], f.lfCharSet = flags[3];
    f.lfOutPrecision = flags[4], f.lfClipPrecision = flags[5], f.lfQuality = flags[6];
    f.lfPitchAndFamily = flags[7];
    // The face name is in the code page of the font's own character set (a symbol font's name is
    // plain ANSI); it may be cut short by the record's end.
    const std::size_t room = std::min<std::size_t>(p.BytesFrom(9), LF_FACESIZE - 1);
    const BYTE* face = p.At(9, room);
    std::size_t length = 0;
    while (face != nullptr && length < room && face[length] != 0)
        ++length;
    std::vector<WCHAR> units;
    std::vector<std::size_t> unitOfByte;
    DecodeCodePage(face, length, f.lfCharSet == SYMBOL_CHARSET ? ANSI_CHARSET : f.lfCharSet, units, unitOfByte);
    std::copy_n(units.begin(), std::min<std::size_t>(units.size(), LF_FACESIZE - 1), f.lfFaceName);
    DWORD index;
    TSlot* slot = NewSlot(TSlot::Font, index);
    if (slot == nullptr)
        return true;
    slot->Charset = f.lfCharSet;
    slot->Height = f.lfHeight == 0 ? 12 : std::fabs(double(f.lfHeight));
    slot->Log = NarrowFont(f);
    r.ihFont = index;
    return FOut.Put(EMR_EXTCREATEFONTINDIRECTW, r);
}

bool TWmfTranslator::Objects(WORD function, TMetaParams& p, bool& handled) {
    DWORD index = 0;
    switch (function) {
    case META_CREATEPENINDIRECT: {
        EMRCREATEPEN r{{}, 0, p.Word(0), POINT{p.Short(1), 0}, p.Dword(3)};
        if (p.Damaged())
            return false;
        TSlot* slot = NewSlot(TSlot::Pen, r.ihPen);
        if (slot == nullptr)
            return true;
        // The outline's reach beyond the figure: none for the null pen, and none for an inside
        // frame, which keeps a wide pen within the shape.
        const UINT style = r.lopnStyle & 0x0F;
        slot->PenWidth = style == PS_NULL || style == PS_INSIDEFRAME ? 0 : std::fabs(double(r.lopnWidth.x));
        return FOut.Put(EMR_CREATEPEN, r);
    }
    case META_CREATEBRUSHINDIRECT: {
        EMRCREATEBRUSHINDIRECT r{{}, 0, LOGBRUSH32{p.Word(0), p.Dword(1), p.Word(3)}};
        if (p.Damaged())
            return false;
        // Pattern styles described by these fields alone have no pattern: the slot stays empty.
        if (NewSlot(r.lb.lbStyle > BS_HATCHED ? TSlot::Empty : TSlot::Object, r.ihBrush) == nullptr ||
            r.lb.lbStyle > BS_HATCHED)
            return true;
        return FOut.Put(EMR_CREATEBRUSHINDIRECT, r);
    }
    case META_DIBCREATEPATTERNBRUSH: {
        const UINT style = p.Word(0);
        const UINT usage = style == BS_PATTERN ? DIB_RGB_COLORS : p.Word(1);
        std::size_t infoBytes, bitsBytes;
        if (p.Damaged() || !PackedDibLayout(p.At(2, 0), p.BytesFrom(2), usage, SIZE_MAX, infoBytes, bitsBytes))
            return p.Fail();
        const std::size_t padded = (infoBytes + 3) / 4 * 4;
        EMRCREATEDIBPATTERNBRUSH r{{}, 0, usage, DWORD(sizeof r), DWORD(infoBytes), DWORD(sizeof r + padded),
                                   DWORD(bitsBytes)};
        if (NewSlot(TSlot::Object, r.ihBrush) == nullptr)
            return true;
        std::vector<BYTE> packed(padded + bitsBytes);
        std::memcpy(packed.data(), p.At(2, 0), infoBytes);
        std::memcpy(packed.data() + padded, p.At(2, 0) + infoBytes, bitsBytes);
        return FOut.Put(EMR_CREATEDIBPATTERNBRUSHPT, r, packed.data(), packed.size());
    }
    case META_CREATEFONTINDIRECT: return CreateFont(p);
    case META_CREATEPALETTE: {
        const std::size_t count = p.Word(1);
        const BYTE* entries = p.At(2, count * 4);
        if (entries == nullptr || p.Damaged())
            return false;
        if (NewSlot(TSlot::Palette, index) == nullptr)
            return true;
        EMRCREATEPALETTE r{{}, index, 0x300, WORD(count)};
        return FOut.Put(EMR_CREATEPALETTE, r, entries, count * 4);
    }
    case META_CREATEREGION: {
        std::vector<RECT> rects;
        if (!ReadRegionOrNone(p, rects)) {
            NewSlot(TSlot::Empty, index);
            return true;
        }
        TSlot* slot = NewSlot(TSlot::Region, index);
        if (slot == nullptr)
            return true;
        RECT box{0, 0, 0, 0};
        for (const RECT& r : rects) {
            if (r.left >= r.right || r.top >= r.bottom)
                continue;
            box = box.left >= box.right ? r
                                        : RECT{std::min(box.left, r.left), std::min(box.top, r.top),
                                               std::max(box.right, r.right), std::max(box.bottom, r.bottom)};
        }
        const RGNDATAHEADER header{sizeof(RGNDATAHEADER), RDH_RECTANGLES, DWORD(rects.size()),
                                   DWORD(rects.size() * sizeof(RECT)), box};
        if (!StorageAllowed(sizeof header + rects.size() * sizeof(RECT)))
            return false;
        slot->RegionData.resize(sizeof header + rects.size() * sizeof(RECT));
        std::memcpy(slot->RegionData.data(), &header, sizeof header);
        if (!rects.empty())
            std::memcpy(slot->RegionData.data() + sizeof header, rects.data(), rects.size() * sizeof(RECT));
        slot->RegionBox = box;
        return true;
    }
    case META_CREATEPATTERNBRUSH: {
        // A monochrome pattern paints in the text and background colours: a mono brush.
        std::vector<BYTE> packed;
        std::size_t infoBytes;
        const bool made = DdbAsDib(p, 0, 16, RGB(0, 0, 0), RGB(255, 255, 255), packed, infoBytes);
        if (p.Damaged())
            return false;
        if (!made) {
            NewSlot(TSlot::Empty, index);
            return true;
        }
        BITMAPINFOHEADER head{};
        std::memcpy(&head, packed.data(), sizeof head);
        const bool mono = head.biBitCount == 1;
        EMRCREATEDIBPATTERNBRUSH r{{}, 0, DIB_RGB_COLORS, DWORD(sizeof r), DWORD(infoBytes),
                                   DWORD(sizeof r + infoBytes), DWORD(packed.size() - infoBytes)};
        if (NewSlot(TSlot::Object, r.ihBrush) == nullptr)
            return true;
        return FOut.Put(mono ? EMR_CREATEMONOBRUSH : EMR_CREATEDIBPATTERNBRUSHPT, r, packed.data(), packed.size());
    }
    case META_CREATEBRUSH:
    case META_CREATEBITMAP:
    case META_CREATEBITMAPINDIRECT:
        // Obsolete records that make nothing usable still take their slot.
        NewSlot(TSlot::Empty, index);
        return true;
    case META_SELECTOBJECT:
    case META_SELECTPALETTE:
    case META_SELECTCLIPREGION:
    case META_DELETEOBJECT: {
        const std::size_t at = p.Word(0);
        if (p.Damaged())
            return false;
        TSlot* slot = SlotAt(at);
        const TSlot::TKind kind = slot != nullptr ? slot->Kind : TSlot::Free;
        const DWORD emfIndex = DWORD(at + 1);
        if (function == META_DELETEOBJECT) {
            if (kind == TSlot::Free)
                return true;
            *slot = TSlot{};
            if (FPalette == emfIndex)
                FPalette = 0;
            return kind == TSlot::Empty || kind == TSlot::Region || FOut.PutValue(EMR_DELETEOBJECT, emfIndex);
        }
        // A clip region selected from an empty slot removes the clip, as playback does.
        if (kind == TSlot::Region ||
            (function == META_SELECTCLIPREGION && (kind == TSlot::Free || kind == TSlot::Empty))) {
            const EMREXTSELECTCLIPRGN r{{}, DWORD(kind == TSlot::Region ? slot->RegionData.size() : 0), RGN_COPY};
            return function == META_SELECTPALETTE ||
                   FOut.Put(EMR_EXTSELECTCLIPRGN, r, kind == TSlot::Region ? slot->RegionData.data() : nullptr,
                            r.cbRgnData);
        }
        if (kind == TSlot::Palette && function != META_SELECTCLIPREGION) {
            FPalette = emfIndex;
            return FOut.PutValue(EMR_SELECTPALETTE, emfIndex);
        }
        if (function != META_SELECTOBJECT || (kind != TSlot::Object && kind != TSlot::Pen && kind != TSlot::Font))
            return true;
        if (kind == TSlot::Font)
            FState.Charset = slot->Charset, FState.FontHeight = slot->Height, FState.Font = slot->Log;
        if (kind == TSlot::Pen)
            FState.PenWidth = slot->PenWidth;
        return FOut.PutValue(EMR_SELECTOBJECT, emfIndex);
    }
    case META_REALIZEPALETTE: return FOut.Put(EMR_REALIZEPALETTE, EMR{});
    case META_SETPALENTRIES: {
        const DWORD start = p.Word(0), count = p.Word(1);
        const BYTE* entries = p.At(2, std::size_t(count) * 4);
        if (entries == nullptr || p.Damaged())
            return false;
        if (FPalette == 0)
            return true;
        return FOut.Put(EMR_SETPALETTEENTRIES, EMRSETPALETTEENTRIES{{}, FPalette, start, count}, entries, count * 4);
    }
    case META_RESIZEPALETTE: {
        const DWORD count = p.Word(0);
        if (p.Damaged())
            return false;
        return FPalette == 0 || FOut.Put(EMR_RESIZEPALETTE, EMRRESIZEPALETTE{{}, FPalette, count});
    }
    default: handled = false; return true;
    }
}

// ---- drawing

bool TWmfTranslator::Poly(WORD function, TMetaParams& p) {
    std::vector<DWORD> counts;
    std::size_t first = 1;
    if (function == META_POLYPOLYGON) {
        const std::size_t polygons = p.Word(0);
        if (p.Damaged() || p.At(1, polygons * 2) == nullptr)
            return false;
        for (std::size_t i = 0; i < polygons; ++i)
            counts.push_back(p.Word(1 + i));
        first = 1 + polygons;
    } else {
        counts.push_back(p.Word(0));
    }
    std::size_t total = 0;
    for (DWORD count : counts)
        total += count;
    const BYTE* points = p.At(first, total * 4);
    if (points == nullptr || p.Damaged())
        return false;
    for (std::size_t i = 0; i < total; ++i)
        Extend(std::int16_t(ReadWord(points + 4 * i)), std::int16_t(ReadWord(points + 4 * i + 2)), true);
    // The 16-bit poly records keep the points as they are: the same x, y pairs.
    if (function == META_POLYPOLYGON) {
        std::vector<BYTE> extra(counts.size() * 4 + total * 4);
        if (!counts.empty())
            std::memcpy(extra.data(), counts.data(), counts.size() * 4);
        if (total != 0)
            std::memcpy(extra.data() + counts.size() * 4, points, total * 4);
        return FOut.Put(EMR_POLYPOLYGON16, EMRPOLYPOLY{{}, {}, DWORD(counts.size()), DWORD(total)}, extra.data(),
                        extra.size());
    }
    return FOut.Put(function == META_POLYGON ? EMR_POLYGON16 : EMR_POLYLINE16, EMRPOLY{{}, {}, DWORD(total)},
                    points, total * 4);
}

bool TWmfTranslator::RegionPaint(WORD function, TMetaParams& p) {
    TSlot* slot = SlotAt(p.Word(0));
    // Painting and inverting name only the region; filling and framing a brush too.
    const bool withBrush = function == META_FILLREGION || function == META_FRAMEREGION;
    const DWORD brush = withBrush ? p.Word(1) + 1u : 0;
    if (p.Damaged())
        return false;
    if (slot == nullptr || slot->Kind != TSlot::Region)
        return true;
    const RECT& box = slot->RegionBox;
    if (box.left < box.right)
        ExtendBox(box.left, box.top, box.right, box.bottom);
    const RECTL bounds{box.left, box.top, box.right - 1, box.bottom - 1};
    const DWORD bytes = DWORD(slot->RegionData.size());
    switch (function) {
    case META_FILLREGION: {
        const EMRFILLRGN r{{}, bounds, bytes, brush};
        return PutRegion(EMR_FILLRGN, &r, sizeof r, *slot);
    }
    case META_FRAMEREGION: {
        const EMRFRAMERGN r{{}, bounds, bytes, brush, SIZEL{p.Short(3), p.Short(2)}};
        return PutRegion(EMR_FRAMERGN, &r, sizeof r, *slot);
    }
    default: {
        const EMRINVERTRGN r{{}, bounds, bytes};
        return PutRegion(function == META_INVERTREGION ? EMR_INVERTRGN : EMR_PAINTRGN, &r, sizeof r, *slot);
    }
    }
}

bool TWmfTranslator::PutRegion(DWORD type, const void* fixed, std::size_t fixedBytes, const TSlot& slot) {
    return FOut.Put(type, fixed, fixedBytes, slot.RegionData.data(), slot.RegionData.size());
}

bool TWmfTranslator::Drawing(WORD function, TMetaParams& p, bool& handled) {
    // The shapes' parameters, last argument first; only their records read them.
    const auto w = [&p](std::size_t i) { return p.Short(i); };
    switch (function) {
    case META_LINETO:
        Extend(FState.Position.x, FState.Position.y, true);
        Extend(w(1), w(0), true);
        FState.Position = POINT{w(1), w(0)};
        return FOut.PutPoint(EMR_LINETO, w(1), w(0));
    case META_RECTANGLE:
    case META_ELLIPSE:
        ExtendBox(w(3), w(2), w(1), w(0), true);
        return FOut.Put(function == META_RECTANGLE ? EMR_RECTANGLE : EMR_ELLIPSE,
                        EMRBOX{{}, RECTL{w(3), w(2), w(1), w(0)}});
    case META_ROUNDRECT: {
        const int left = p.Short(5), top = p.Short(4);
        if (p.Damaged())
            return false;
        ExtendBox(left, top, w(3), w(2), true);
        return FOut.Put(EMR_ROUNDRECT, EMRROUNDRECT{{}, RECTL{left, top, w(3), w(2)}, SIZEL{w(1), w(0)}});
    }
    case META_ARC:
    case META_PIE:
    case META_CHORD: {
        const EMRARC r{{}, RECTL{p.Short(7), p.Short(6), p.Short(5), p.Short(4)}, POINT{w(3), w(2)}, POINT{w(1), w(0)}};
        if (p.Damaged())
            return false;
        ExtendBox(r.rclBox.left, r.rclBox.top, r.rclBox.right, r.rclBox.bottom, true);
        return FOut.Put(function == META_ARC ? EMR_ARC : function == META_PIE ? EMR_PIE : EMR_CHORD, r);
    }
    case META_SETPIXEL:
        Extend(w(3), w(2));
        return FOut.Put(EMR_SETPIXELV, EMRSETPIXELV{{}, POINT{w(3), w(2)}, p.Dword(0)});
    case META_FLOODFILL:
        Extend(w(3), w(2));
        return FOut.Put(EMR_EXTFLOODFILL, EMREXTFLOODFILL{{}, POINT{w(3), w(2)}, p.Dword(0), FLOODFILLBORDER});
    case META_EXTFLOODFILL: {
        const EMREXTFLOODFILL r{{}, POINT{p.Short(4), w(3)}, p.Dword(1), p.Word(0)};
        if (p.Damaged())
            return false;
        Extend(r.ptlStart.x, r.ptlStart.y);
        return FOut.Put(EMR_EXTFLOODFILL, r);
    }
    case META_POLYGON:
    case META_POLYLINE:
    case META_POLYPOLYGON: return Poly(function, p);
    case META_FILLREGION:
    case META_FRAMEREGION:
    case META_INVERTREGION:
    case META_PAINTREGION: return RegionPaint(function, p);
    case META_PATBLT: {
        // A blit without a source: the enhanced record with no bitmap is a pattern operation.
        EMRBITBLT r{};
        r.xDest = p.Short(5), r.yDest = p.Short(4), r.cxDest = w(3), r.cyDest = w(2), r.dwRop = p.Dword(0);
        r.xformSrc = XFORM{1, 0, 0, 1, 0, 0};
        if (p.Damaged())
            return false;
        ExtendBox(r.xDest, r.yDest, r.xDest + r.cxDest, r.yDest + r.cyDest);
        return FOut.Put(EMR_BITBLT, r);
    }
    case META_BITBLT:
    case META_STRETCHBLT:
    case META_DIBBITBLT:
    case META_DIBSTRETCHBLT:
    case META_STRETCHDIB:
    case META_SETDIBTODEV: return Dib(function, p);
    case META_TEXTOUT:
    case META_EXTTEXTOUT: return Text(function, p);
    default: handled = false; return true;
    }
}

// The bitmap records: their packed DIB goes behind the enhanced record's fixed part, the header
// padded to 4 bytes so the bits start aligned.
bool TWmfTranslator::Dib(WORD function, TMetaParams& p) {
    const bool stretch = function == META_STRETCHBLT || function == META_DIBSTRETCHBLT;
    std::size_t at;
    UINT usage = DIB_RGB_COLORS;
    std::size_t rows = SIZE_MAX;
    LONG x, y, width, height, sx, sy, sourceWidth, sourceHeight;
    DWORD rop = SRCCOPY;
    if (function == META_STRETCHDIB) {
        rop = p.Dword(0), usage = p.Word(2);
        sourceHeight = p.Short(3), sourceWidth = p.Short(4), sy = p.Short(5), sx = p.Short(6);
        height = p.Short(7), width = p.Short(8), y = p.Short(9), x = p.Short(10);
        at = 11;
    } else if (function == META_SETDIBTODEV) {
        usage = p.Word(0), rows = p.Word(1);
        sy = p.Short(3), sx = p.Short(4), height = p.Short(5), width = p.Short(6), y = p.Short(7), x = p.Short(8);
        sourceWidth = width, sourceHeight = height;
        at = 9;
    } else {
        const std::size_t plain = stretch ? 10 : 8;
        const bool hasBitmap = p.Words() > plain + 1;
        rop = p.Dword(0);
        at = 2;
        sourceHeight = stretch ? p.Short(at++) : 0;
        sourceWidth = stretch ? p.Short(at++) : 0;
        sy = p.Short(at++), sx = p.Short(at++);
        if (!hasBitmap)
            ++at;
        height = p.Short(at++), width = p.Short(at++), y = p.Short(at++), x = p.Short(at++);
        if (!stretch)
            sourceWidth = width, sourceHeight = height;
        if (p.Damaged())
            return false;
        ExtendBox(x, y, x + width, y + height);
        if (!hasBitmap) {
            EMRBITBLT r{};
            r.xDest = x, r.yDest = y, r.cxDest = width, r.cyDest = height, r.dwRop = rop;
            r.xformSrc = XFORM{1, 0, 0, 1, 0, 0};
            return FOut.Put(EMR_BITBLT, r);
        }
    }
    std::vector<BYTE> packed;
    std::size_t infoBytes, bitsBytes, padded;
    if (function == META_BITBLT || function == META_STRETCHBLT) {
        // A monochrome source is drawn in the text and background colours of the moment.
        if (!DdbAsDib(p, at, at + 5, FState.TextColour, FState.BkColour, packed, infoBytes))
            return !p.Damaged();
        padded = infoBytes;
        bitsBytes = packed.size() - infoBytes;
    } else {
        if (p.Damaged() || !PackedDibLayout(p.At(at, 0), p.BytesFrom(at), usage, rows, infoBytes, bitsBytes))
            return p.Fail();
        padded = (infoBytes + 3) / 4 * 4;
        packed.resize(padded + bitsBytes);
        std::memcpy(packed.data(), p.At(at, 0), infoBytes);
        std::memcpy(packed.data() + padded, p.At(at, 0) + infoBytes, bitsBytes);
    }
    if (function == META_SETDIBTODEV) {
        ExtendBox(x, y, x + width, y + height);
        EMRSETDIBITSTODEVICE r{};
        r.xDest = x, r.yDest = y, r.xSrc = sx, r.ySrc = sy, r.cxSrc = width, r.cySrc = height;
        r.offBmiSrc = sizeof r, r.cbBmiSrc = DWORD(infoBytes), r.offBitsSrc = DWORD(sizeof r + padded);
        r.cbBitsSrc = DWORD(bitsBytes), r.iUsageSrc = usage, r.iStartScan = p.Word(2), r.cScans = DWORD(rows);
        return FOut.Put(EMR_SETDIBITSTODEVICE, r, packed.data(), packed.size());
    }
    if (function == META_STRETCHDIB) {
        ExtendBox(x, y, x + width, y + height);
        EMRSTRETCHDIBITS r{};
        r.xDest = x, r.yDest = y, r.xSrc = sx, r.ySrc = sy, r.cxSrc = sourceWidth, r.cySrc = sourceHeight;
        r.offBmiSrc = sizeof r, r.cbBmiSrc = DWORD(infoBytes), r.offBitsSrc = DWORD(sizeof r + padded);
        r.cbBitsSrc = DWORD(bitsBytes), r.iUsageSrc = usage, r.dwRop = rop, r.cxDest = width, r.cyDest = height;
        return FOut.Put(EMR_STRETCHDIBITS, r, packed.data(), packed.size());
    }
    EMRSTRETCHBLT r{};
    r.blt.xDest = x, r.blt.yDest = y, r.blt.cxDest = width, r.blt.cyDest = height, r.blt.dwRop = rop;
    r.blt.xSrc = sx, r.blt.ySrc = sy, r.blt.xformSrc = XFORM{1, 0, 0, 1, 0, 0}, r.blt.iUsageSrc = DIB_RGB_COLORS;
    r.blt.offBmiSrc = sizeof r, r.blt.cbBmiSrc = DWORD(infoBytes), r.blt.offBitsSrc = DWORD(sizeof r + padded);
    r.blt.cbBitsSrc = DWORD(bitsBytes), r.cxSrc = sourceWidth, r.cySrc = sourceHeight;
    return FOut.Put(EMR_STRETCHBLT, r, packed.data(), packed.size());
}

// TEXTOUT and EXTTEXTOUT become EXTTEXTOUTW: the bytes decoded through the code page of the
// selected font's character set, the advances of a double-byte character's two bytes summed.
bool TWmfTranslator::Text(WORD function, TMetaParams& p) {
    int x, y;
    std::size_t count, stringAt;
    UINT options = 0;
    RECTL rect{0, 0, -1, -1};
    if (function == META_TEXTOUT) {
        count = p.Word(0);
        stringAt = 1;
        y = p.Short(1 + (count + 1) / 2), x = p.Short(2 + (count + 1) / 2);
    } else {
        y = p.Short(0), x = p.Short(1), count = p.Word(2), options = p.Word(3);
        stringAt = 4;
        if (options & (ETO_OPAQUE | ETO_CLIPPED)) {
            rect = RECTL{p.Short(4), p.Short(5), p.Short(6), p.Short(7)};
            stringAt = 8;
        }
    }
    const BYTE* bytes = p.At(stringAt, count);
    if (bytes == nullptr || p.Damaged())
        return false;
    const std::size_t dxAt = stringAt + (count + 1) / 2;
    const bool hasDx = function == META_EXTTEXTOUT && count > 0 && p.BytesFrom(dxAt) >= count * 2;
    std::vector<WCHAR> units;
    std::vector<std::size_t> unitOfByte;
    DecodeCodePage(bytes, count, FState.Charset, units, unitOfByte);
    std::vector<INT> dx(hasDx ? units.size() : 0, 0);
    double width = 0;
    for (std::size_t i = 0; hasDx && i < count; ++i) {
        dx[unitOfByte[i]] += p.Short(dxAt + i);
        width += p.Short(dxAt + i);
    }
    if (!hasDx && !units.empty()) {
        // The platform's recorder stores advances for text that came without them: the font's own
        // at its logical height, measured in logical units along x, so the text keeps its length
        // in logical units wherever it plays.
        const TMapping& m = FState.Map;
        const double across = std::fabs(m.ViewportExtY / m.WindowExtY) / std::fabs(m.ViewportExtX / m.WindowExtX);
        dx = DesignAdvances(FState.Font ? *FState.Font : DefaultFont(), units.data(), units.size(),
                            std::isfinite(across) && across > 0 ? across : 1.0);
        // The context's spacing goes with them, as it would have been drawn: each character's,
        // and the line's extra shared among the spaces, the first ones a unit more.
        const int breakEach = FState.BreakCount > 0 ? std::abs(FState.BreakExtra) / FState.BreakCount : 0;
        int breakFirst = FState.BreakCount > 0 ? std::abs(FState.BreakExtra) % FState.BreakCount : 0;
        for (std::size_t i = 0; i < dx.size(); ++i) {
            if (units[i] >= 0xDC00 && units[i] < 0xE000)
                continue;  // the second unit of a pair: the first carries the character's advance
            dx[i] += FState.CharExtra;
            if (units[i] == u' ')
                dx[i] += breakEach + (breakFirst-- > 0 ? 1 : 0);
        }
        for (const INT advance : dx)
            width += advance;
    }
    if (dx.empty())
        width = double(units.size()) * FState.FontHeight / 2;
    // Bounds: the opaque box, and a box of the text's estimated size placed by the alignment
    // (glyph extents are not measured here).
    if (options & ETO_OPAQUE)
        ExtendBox(rect.left, rect.top, rect.right, rect.bottom);
    if (!units.empty()) {
        const TMapping& m = FState.Map;
        const double dxScale = std::fabs(m.ViewportExtX / m.WindowExtX),
                     dyScale = std::fabs(m.ViewportExtY / m.WindowExtY);
        const double ox = (x - m.WindowOrgX) * m.ViewportExtX / m.WindowExtX + m.ViewportOrgX;
        const double oy = (y - m.WindowOrgY) * m.ViewportExtY / m.WindowExtY + m.ViewportOrgY;
        const double w = std::fabs(width) * dxScale, h = FState.FontHeight * dyScale;
        const UINT align = FState.Align;
        const double left = (align & TA_CENTER) == TA_CENTER ? ox - w / 2 : (align & TA_RIGHT) ? ox - w : ox;
        const double top = (align & TA_BASELINE) == TA_BASELINE ? oy - h * 0.8 : (align & TA_BOTTOM) ? oy - h : oy;
        ExtendDevice(left, top);
        ExtendDevice(left + w - 1, top + h - 1);
    }
    const std::size_t unitBytes = (units.size() * 2 + 3) / 4 * 4;
    EMREXTTEXTOUT r{};
    r.rclBounds = RECTL{0, 0, -1, -1};
    r.iGraphicsMode = GM_COMPATIBLE;
    r.exScale = float(kRefMillimetresX * 100.0 / kRefPixelsX);
    r.eyScale = float(kRefMillimetresY * 100.0 / kRefPixelsY);
    r.emrtext =
        EMRTEXT{POINT{x, y}, DWORD(units.size()), sizeof r, options, rect, dx.empty() ? 0 : DWORD(sizeof r + unitBytes)};
    std::vector<BYTE> extra(unitBytes + dx.size() * 4);
    if (!units.empty())
        std::memcpy(extra.data(), units.data(), units.size() * 2);
    if (!dx.empty())
        std::memcpy(extra.data() + unitBytes, dx.data(), dx.size() * 4);
    return FOut.Put(EMR_EXTTEXTOUTW, r, extra.data(), extra.size());
}

}  // namespace gdi::detail
