// Playing a Windows metafile: each record becomes the layer's own call on the context, with the
// record's 16-bit parameters read back into the call's argument order. Every count a record
// states is checked against the record's size before anything is read or drawn.
#include "platform/gdi/Handles.h"
#include "platform/gdi/Internal.h"
#include "platform/gdi/Storage.h"
#include "platform/gdi/TextCodes.h"
#include "platform/gdi/WmfRecords.h"

#include <climits>
#include <cstdint>

namespace gdi {

namespace detail {

bool PackedDibLayout(const BYTE* data, std::size_t bytes, UINT usage, std::size_t rows, std::size_t& infoBytes,
                     std::size_t& bitsBytes) {
    if (data == nullptr || bytes < 12)
        return false;
    const DWORD headerSize = ReadDword(data);
    std::uint64_t width, height, bitCount, tableEntries, entryBytes, masks = 0, dibBits = 0;
    DWORD compression = BI_RGB;
    if (headerSize == 12) {
        width = ReadWord(data + 4);
        height = ReadWord(data + 6);
        bitCount = ReadWord(data + 10);
        tableEntries = bitCount <= 8 ? (1u << bitCount) : 0;
        entryBytes = usage == DIB_PAL_COLORS ? 2 : 3;
    } else {
        if (headerSize < 40 || headerSize > bytes)
            return false;
        const auto signedWidth = std::int32_t(ReadDword(data + 4));
        const auto signedHeight = std::int32_t(ReadDword(data + 8));
        if (signedWidth <= 0 || signedHeight == 0 || signedHeight == INT32_MIN)
            return false;
        width = std::uint64_t(signedWidth);
        height = std::uint64_t(signedHeight < 0 ? -std::int64_t(signedHeight) : signedHeight);
        bitCount = ReadWord(data + 14);
        compression = ReadDword(data + 16);
        const DWORD used = ReadDword(data + 32);
        if (bitCount <= 8)
            tableEntries = used != 0 && used < (1u << bitCount) ? used : (1u << bitCount);
        else
            tableEntries = used;
        entryBytes = usage == DIB_PAL_COLORS ? 2 : 4;
        if (compression == BI_BITFIELDS && headerSize == 40)
            masks = 12;
        if (compression == BI_RLE8 || compression == BI_RLE4) {
            dibBits = ReadDword(data + 20);
            if (dibBits == 0)
                return false;
        }
    }
    if (bitCount != 1 && bitCount != 4 && bitCount != 8 && bitCount != 16 && bitCount != 24 && bitCount != 32)
        return false;
    if (compression != BI_RLE8 && compression != BI_RLE4)
        dibBits = (width * bitCount + 31) / 32 * 4 * std::min<std::uint64_t>(height, rows);  // < 2^63
    const std::uint64_t bitsOffset = headerSize + masks + tableEntries * entryBytes;
    if (bitsOffset > bytes || dibBits > bytes - bitsOffset)
        return false;
    infoBytes = std::size_t(bitsOffset);
    bitsBytes = std::size_t(dibBits);
    return true;
}

// A region object: a header, its bounding box, then scans of x pairs between a top and a bottom.
bool ReadMetaRegion(TMetaParams& p, std::vector<RECT>& rects) {
    const std::size_t scans = p.Word(5);
    if (p.Damaged())
        return false;
    rects.clear();
    std::size_t at = 11;
    for (std::size_t s = 0; s < scans; ++s) {
        const std::size_t count = p.Word(at);
        const int top = p.Short(at + 1), bottom = p.Short(at + 2);
        if (p.Damaged() || count % 2 != 0 || p.At(at + 3, count * 2 + 2) == nullptr)
            return p.Fail();
        for (std::size_t k = 0; k < count; k += 2)
            rects.push_back(RECT{p.Short(at + 3 + k), top, p.Short(at + 4 + k), bottom});
        at += 3 + count + 1;
    }
    return true;
}

bool ReadRegionOrNone(TMetaParams& p, std::vector<RECT>& rects) {
    TMetaParams own(p.At(0, p.Bytes()), p.Bytes());
    return ReadMetaRegion(own, rects);
}

}  // namespace detail

using namespace detail;

namespace {

// A packed device-independent bitmap (header, colour table, bits) copied out of a record into
// aligned memory, after checking that everything its header implies lies inside the record.
class TPackedDib {
public:
    /// rows: how many scan lines of the image the record carries (all when SIZE_MAX).
    bool Read(const BYTE* data, std::size_t bytes, UINT usage, std::size_t rows = SIZE_MAX);
    const BITMAPINFO* Info() const { return reinterpret_cast<const BITMAPINFO*>(FStorage.data()); }
    const void* Bits() const { return reinterpret_cast<const BYTE*>(FStorage.data()) + FBitsOffset; }

private:
    std::vector<DWORD> FStorage;
    std::size_t FBitsOffset = 0;
};

bool TPackedDib::Read(const BYTE* data, std::size_t bytes, UINT usage, std::size_t rows) {
    std::size_t infoBytes, bitsBytes;
    if (!PackedDibLayout(data, bytes, usage, rows, infoBytes, bitsBytes))
        return false;
    const std::size_t total = infoBytes + bitsBytes;
    if (!ResizeStorage(FStorage, (total + 3) / 4))
        return false;
    std::memcpy(FStorage.data(), data, total);
    FBitsOffset = infoBytes;
    return true;
}

class TMetaPlayer {
public:
    /// depth: how many states the context had saved before playback.
    TMetaPlayer(HDC dc, WORD objects, std::size_t depth)
        : FDC(dc), FDepth(depth), FTable(objects), FUsed(objects, false) {}
    TMetaPlayer(const TMetaPlayer&) = delete;
    TMetaPlayer& operator=(const TMetaPlayer&) = delete;
    ~TMetaPlayer();

    /// False when the record's parameters run past its size.
    bool Play(WORD function, TMetaParams& p);
    /// States the records saved and have not restored.
    std::size_t SavedStates() const { return FSaved; }

private:
    // The object table: a new object takes the lowest free slot; with none free it is dropped.
    void Add(HGDIOBJ object);
    void Occupy();  // a slot taken by a record that makes nothing usable
    HGDIOBJ Slot(std::size_t index) const { return index < FTable.size() ? FTable[index] : nullptr; }
    void Delete(std::size_t index);
    void SelectSlot(std::size_t index);

    bool Points(TMetaParams& p, std::size_t first, std::size_t count, std::vector<POINT>& points);
    bool Polygon(TMetaParams& p, bool closed);
    bool PolyPolygon(TMetaParams& p);
    bool Blit(TMetaParams& p, WORD function);
    bool StretchDib(TMetaParams& p);
    bool SetDibToDevice(TMetaParams& p);
    bool CreateDibPatternBrush(TMetaParams& p);
    bool CreateRegion(TMetaParams& p);
    bool CreateFont(TMetaParams& p);
    bool Text(TMetaParams& p, WORD function);
    bool CreatePalette(TMetaParams& p);
    bool PaletteEntries(TMetaParams& p, WORD function);
    bool CreatePatternBrush(TMetaParams& p);

    void Restore(int level);

    HDC FDC;
    std::size_t FDepth;
    std::size_t FSaved = 0;
    std::vector<HGDIOBJ> FTable;
    std::vector<bool> FUsed;
    // Objects the records deleted while the context still had them selected: they go when
    // playback ends, after the context has its own objects back.
    std::vector<HGDIOBJ> FDeferred;
};

TMetaPlayer::~TMetaPlayer() {
    for (HGDIOBJ object : FTable)
        if (object != nullptr)
            FDeferred.push_back(object);
    for (HGDIOBJ object : FDeferred)
        DeleteObject(object);
}

void TMetaPlayer::Add(HGDIOBJ object) {
    for (std::size_t i = 0; i < FTable.size(); ++i) {
        if (!FUsed[i]) {
            FUsed[i] = true;
            FTable[i] = object;
            return;
        }
    }
    if (object != nullptr)
        DeleteObject(object);
}

void TMetaPlayer::Occupy() { Add(nullptr); }

void TMetaPlayer::Delete(std::size_t index) {
    if (index >= FTable.size() || !FUsed[index])
        return;
    HGDIOBJ object = FTable[index];
    FTable[index] = nullptr;
    FUsed[index] = false;
    if (object != nullptr && !DeleteObject(object))
        FDeferred.push_back(object);
}

void TMetaPlayer::SelectSlot(std::size_t index) {
    HGDIOBJ object = Slot(index);
    if (object == nullptr)
        return;
    if (GetObjectType(object) == OBJ_PAL)
        SelectPalette(FDC, static_cast<HPALETTE>(object), FALSE);
    else if (GetObjectType(object) == OBJ_REGION)
        SelectClipRgn(FDC, static_cast<HRGN>(object));
    else
        SelectObject(FDC, object);
}

// The records restore only states they saved themselves, never the caller's.
void TMetaPlayer::Restore(int level) {
    std::size_t keep;  // saved states of the records that remain
    if (level < 0 && std::size_t(-(long long)level) <= FSaved)
        keep = FSaved - std::size_t(-(long long)level);
    else if (level > 0 && std::size_t(level) > FDepth && std::size_t(level) <= FDepth + FSaved)
        keep = std::size_t(level) - 1 - FDepth;
    else
        return;
    if (RestoreDC(FDC, int(FDepth + keep + 1)))
        FSaved = keep;
}

bool TMetaPlayer::Points(TMetaParams& p, std::size_t first, std::size_t count, std::vector<POINT>& points) {
    if (p.At(first, count * 4) == nullptr)
        return false;
    points.resize(count);
    for (std::size_t i = 0; i < count; ++i)
        points[i] = POINT{p.Short(first + 2 * i), p.Short(first + 2 * i + 1)};
    return true;
}

bool TMetaPlayer::Polygon(TMetaParams& p, bool closed) {
    const std::size_t count = p.Word(0);
    std::vector<POINT> points;
    if (p.Damaged() || !Points(p, 1, count, points))
        return false;
    if (closed)
        gdi::Polygon(FDC, points.data(), int(count));
    else
        Polyline(FDC, points.data(), int(count));
    return true;
}

bool TMetaPlayer::PolyPolygon(TMetaParams& p) {
    const std::size_t polygons = p.Word(0);
    if (p.Damaged() || p.At(1, polygons * 2) == nullptr)
        return false;
    std::vector<INT> counts(polygons);
    std::size_t total = 0;
    for (std::size_t i = 0; i < polygons; ++i) {
        counts[i] = p.Word(1 + i);
        total += std::size_t(counts[i]);
    }
    std::vector<POINT> points;
    if (!Points(p, 1 + polygons, total, points))
        return false;
    if (polygons > 0)
        gdi::PolyPolygon(FDC, points.data(), counts.data(), int(polygons));
    return true;
}

// BITBLT, STRETCHBLT and their DIB forms. Without a bitmap the record is a pattern operation and
// carries one reserved word where the source would start.
bool TMetaPlayer::Blit(TMetaParams& p, WORD function) {
    const bool stretch = function == META_STRETCHBLT || function == META_DIBSTRETCHBLT;
    const std::size_t plain = stretch ? 10 : 8;  // parameter words before a bitmap
    const bool hasBitmap = p.Words() > plain + 1;
    const DWORD rop = p.Dword(0);
    int sourceHeight = 0, sourceWidth = 0, sy, sx, height, width, y, x;
    std::size_t at = 2;
    if (stretch) {
        sourceHeight = p.Short(at++);
        sourceWidth = p.Short(at++);
    }
    sy = p.Short(at++);
    sx = p.Short(at++);
    if (!hasBitmap)
        ++at;  // reserved
    height = p.Short(at++);
    width = p.Short(at++);
    y = p.Short(at++);
    x = p.Short(at++);
    if (p.Damaged())
        return false;
    if (!stretch) {
        sourceWidth = width;
        sourceHeight = height;
    }
    if (!hasBitmap) {
        PatBlt(FDC, x, y, width, height, rop);
        return true;
    }
    if (function == META_DIBBITBLT || function == META_DIBSTRETCHBLT) {
        TPackedDib dib;
        if (!dib.Read(p.At(at, 0), p.BytesFrom(at), DIB_RGB_COLORS))
            return p.Fail();
        StretchDIBits(FDC, x, y, width, height, sx, sy, sourceWidth, sourceHeight, dib.Bits(), dib.Info(),
                      DIB_RGB_COLORS, rop);
        return true;
    }
    // A device-dependent bitmap of the old kind: a 10-byte header and rows padded to 16 bits.
    const BYTE* header = p.At(at, 10);
    if (header == nullptr)
        return false;
    const int bitmapWidth = std::int16_t(ReadWord(header + 2)), bitmapHeight = std::int16_t(ReadWord(header + 4));
    const std::size_t widthBytes = ReadWord(header + 6);
    const BYTE planes = header[8], bitsPixel = header[9];
    if (bitmapWidth <= 0 || bitmapHeight <= 0 || planes != 1)
        return p.Fail();
    const std::size_t rowBytes = (std::size_t(bitmapWidth) * bitsPixel + 15) / 16 * 2;
    if (widthBytes != rowBytes || p.At(at + 5, rowBytes * std::size_t(bitmapHeight)) == nullptr)
        return p.Fail();
    TOwnedBitmap bitmap(CreateBitmap(bitmapWidth, bitmapHeight, 1, bitsPixel, p.At(at + 5, 0)));
    TOwnedDC source(CreateCompatibleDC(FDC));
    if (!bitmap || !source)
        return true;
    auto selection = ScopedSelectObject(source.Get(), bitmap.Get());
    StretchBlt(FDC, x, y, width, height, source.Get(), sx, sy, sourceWidth, sourceHeight, rop);
    return true;
}

bool TMetaPlayer::StretchDib(TMetaParams& p) {
    const DWORD rop = p.Dword(0);
    const UINT usage = p.Word(2);
    const int sourceHeight = p.Short(3), sourceWidth = p.Short(4), sy = p.Short(5), sx = p.Short(6);
    const int height = p.Short(7), width = p.Short(8), y = p.Short(9), x = p.Short(10);
    if (p.Damaged())
        return false;
    TPackedDib dib;
    if (!dib.Read(p.At(11, 0), p.BytesFrom(11), usage))
        return p.Fail();
    StretchDIBits(FDC, x, y, width, height, sx, sy, sourceWidth, sourceHeight, dib.Bits(), dib.Info(), usage, rop);
    return true;
}

bool TMetaPlayer::SetDibToDevice(TMetaParams& p) {
    const UINT usage = p.Word(0), scans = p.Word(1), start = p.Word(2);
    const int sy = p.Short(3), sx = p.Short(4), height = p.Short(5), width = p.Short(6);
    const int y = p.Short(7), x = p.Short(8);
    if (p.Damaged())
        return false;
    TPackedDib dib;
    if (!dib.Read(p.At(9, 0), p.BytesFrom(9), usage, scans))
        return p.Fail();
    SetDIBitsToDevice(FDC, x, y, DWORD(std::max(width, 0)), DWORD(std::max(height, 0)), sx, sy, start, scans,
                      dib.Bits(), dib.Info(), usage);
    return true;
}

// A brush of a packed DIB; a BS_PATTERN brush's colours are always RGB.
bool TMetaPlayer::CreateDibPatternBrush(TMetaParams& p) {
    const UINT style = p.Word(0);
    const UINT usage = style == BS_PATTERN ? DIB_RGB_COLORS : p.Word(1);
    if (p.Damaged())
        return false;
    TPackedDib dib;
    if (!dib.Read(p.At(2, 0), p.BytesFrom(2), usage))
        return p.Fail();
    Add(CreateDIBPatternBrushPt(dib.Info(), usage));
    return true;
}

bool TMetaPlayer::CreateRegion(TMetaParams& p) {
    std::vector<RECT> rects;
    if (!ReadRegionOrNone(p, rects)) {
        Occupy();
        return true;
    }
    std::vector<DWORD> data;
    if (!ResizeStorage(data, (sizeof(RGNDATAHEADER) + rects.size() * sizeof(RECT)) / 4)) {
        Occupy();
        return true;
    }
    auto* region = reinterpret_cast<RGNDATA*>(data.data());
    region->rdh = RGNDATAHEADER{sizeof(RGNDATAHEADER), RDH_RECTANGLES, DWORD(rects.size()),
                                DWORD(rects.size() * sizeof(RECT)), RECT{0, 0, 0, 0}};
    if (!rects.empty())
        std::memcpy(data.data() + sizeof(RGNDATAHEADER) / 4, rects.data(), rects.size() * sizeof(RECT));
    Add(ExtCreateRegion(nullptr, DWORD(data.size() * 4), region));
    return true;
}

bool TMetaPlayer::CreateFont(TMetaParams& p) {
    LOGFONTA font{};
    font.lfHeight = p.Short(0);
    font.lfWidth = p.Short(1);
    font.lfEscapement = p.Short(2);
    font.lfOrientation = p.Short(3);
    font.lfWeight = p.Short(4);
    const BYTE* flags = p.At(5, 8);
    if (flags == nullptr || p.Damaged())
        return false;
    font.lfItalic = flags[0];
    font.lfUnderline = flags[1];
    font.lfStrikeOut = flags[2];
    font.lfCharSet = flags[3];
    font.lfOutPrecision = flags[4];
    font.lfClipPrecision = flags[5];
    font.lfQuality = flags[6];
    font.lfPitchAndFamily = flags[7];
    // The face name may be cut short by the record's end; it stops at its terminator.
    const std::size_t room = std::min<std::size_t>(p.BytesFrom(9), LF_FACESIZE - 1);
    const BYTE* face = p.At(9, room);
    for (std::size_t i = 0; face != nullptr && i < room && face[i] != 0; ++i)
        font.lfFaceName[i] = char(face[i]);
    Add(CreateFontIndirectA(&font));
    return true;
}

bool TMetaPlayer::CreatePalette(TMetaParams& p) {
    const std::size_t count = p.Word(1);
    const BYTE* entries = p.At(2, count * 4);
    if (entries == nullptr || p.Damaged())
        return false;
    std::vector<DWORD> storage((sizeof(LOGPALETTE) + count * sizeof(PALETTEENTRY)) / 4 + 1);
    auto* palette = reinterpret_cast<LOGPALETTE*>(storage.data());
    palette->palVersion = 0x300;
    palette->palNumEntries = WORD(count);
    std::memcpy(palette->palPalEntry, entries, count * sizeof(PALETTEENTRY));
    Add(gdi::CreatePalette(palette));
    return true;
}

// SETPALENTRIES and ANIMATEPALETTE change entries of the selected palette; RESIZEPALETTE its size.
bool TMetaPlayer::PaletteEntries(TMetaParams& p, WORD function) {
    auto* palette = static_cast<HPALETTE>(GetCurrentObject(FDC, OBJ_PAL));
    if (function == META_RESIZEPALETTE) {
        const UINT count = p.Word(0);
        if (p.Damaged())
            return false;
        ResizePalette(palette, count);
        return true;
    }
    const UINT start = p.Word(0), count = p.Word(1);
    const BYTE* entries = p.At(2, std::size_t(count) * 4);
    if (entries == nullptr || p.Damaged())
        return false;
    if (count == 0)
        return true;
    std::vector<PALETTEENTRY> copy(count);
    std::memcpy(copy.data(), entries, copy.size() * sizeof(PALETTEENTRY));
    SetPaletteEntries(palette, start, count, copy.data());
    return true;
}

// An old pattern brush: the bitmap's 14-byte description, 18 reserved bytes, then its rows.
bool TMetaPlayer::CreatePatternBrush(TMetaParams& p) {
    const int width = p.Short(1), height = p.Short(2);
    const std::size_t widthBytes = p.Word(3);
    const BYTE* sizes = p.At(4, 2);
    if (sizes == nullptr || p.Damaged())
        return false;
    const BYTE planes = sizes[0], bitsPixel = sizes[1];
    if (width <= 0 || height <= 0 || planes != 1) {
        Occupy();
        return true;
    }
    const std::size_t rowBytes = (std::size_t(width) * bitsPixel + 15) / 16 * 2;
    if (p.At(16, rowBytes * std::size_t(height)) == nullptr)
        return false;
    if (widthBytes != rowBytes) {
        Occupy();
        return true;
    }
    TOwnedBitmap bitmap(CreateBitmap(width, height, 1, bitsPixel, p.At(16, 0)));
    Add(bitmap ? gdi::CreatePatternBrush(bitmap.Get()) : nullptr);
    return true;
}

bool TMetaPlayer::Play(WORD function, TMetaParams& p) {
    switch (function) {
    // ---- state
    case META_SETBKCOLOR: SetBkColor(FDC, p.Dword(0)); break;
    case META_SETTEXTCOLOR: SetTextColor(FDC, p.Dword(0)); break;
    case META_SETBKMODE: SetBkMode(FDC, p.Word(0)); break;
    case META_SETMAPMODE: SetMapMode(FDC, p.Word(0)); break;
    case META_SETROP2: SetROP2(FDC, p.Word(0)); break;
    case META_SETPOLYFILLMODE: SetPolyFillMode(FDC, p.Word(0)); break;
    case META_SETSTRETCHBLTMODE: SetStretchBltMode(FDC, p.Word(0)); break;
    case META_SETTEXTALIGN: SetTextAlign(FDC, p.Word(0)); break;
    case META_SETLAYOUT: SetLayout(FDC, p.Word(0)); break;
    case META_SAVEDC:
        if (SaveDC(FDC) != 0)
            ++FSaved;
        break;
    case META_RESTOREDC: Restore(p.Short(0)); break;
    case META_SETTEXTCHAREXTRA: SetTextCharacterExtra(FDC, p.Short(0)); break;
    case META_SETTEXTJUSTIFICATION: SetTextJustification(FDC, p.Short(1), p.Word(0)); break;
    case META_SETRELABS:
    case META_SETMAPPERFLAGS:
    case META_ESCAPE: break;
    // ---- coordinate spaces: parameters are y before x
    case META_SETWINDOWORG: SetWindowOrgEx(FDC, p.Short(1), p.Short(0), nullptr); break;
    case META_SETWINDOWEXT: SetWindowExtEx(FDC, p.Short(1), p.Short(0), nullptr); break;
    case META_SETVIEWPORTORG: SetViewportOrgEx(FDC, p.Short(1), p.Short(0), nullptr); break;
    case META_SETVIEWPORTEXT: SetViewportExtEx(FDC, p.Short(1), p.Short(0), nullptr); break;
    case META_OFFSETWINDOWORG: OffsetWindowOrgEx(FDC, p.Short(1), p.Short(0), nullptr); break;
    case META_OFFSETVIEWPORTORG: OffsetViewportOrgEx(FDC, p.Short(1), p.Short(0), nullptr); break;
    case META_SCALEWINDOWEXT:
        ScaleWindowExtEx(FDC, p.Short(3), p.Short(2), p.Short(1), p.Short(0), nullptr);
        break;
    case META_SCALEVIEWPORTEXT:
        ScaleViewportExtEx(FDC, p.Short(3), p.Short(2), p.Short(1), p.Short(0), nullptr);
        break;
    // ---- clipping
    case META_EXCLUDECLIPRECT: ExcludeClipRect(FDC, p.Short(3), p.Short(2), p.Short(1), p.Short(0)); break;
    case META_INTERSECTCLIPRECT: IntersectClipRect(FDC, p.Short(3), p.Short(2), p.Short(1), p.Short(0)); break;
    case META_OFFSETCLIPRGN: OffsetClipRgn(FDC, p.Short(1), p.Short(0)); break;
    case META_SELECTCLIPREGION: {
        const std::size_t index = p.Word(0);
        if (!p.Damaged())
            SelectClipRgn(FDC, static_cast<HRGN>(Slot(index)));
        break;
    }
    // ---- lines and shapes
    case META_MOVETO: MoveToEx(FDC, p.Short(1), p.Short(0), nullptr); break;
    case META_LINETO: LineTo(FDC, p.Short(1), p.Short(0)); break;
    case META_RECTANGLE: Rectangle(FDC, p.Short(3), p.Short(2), p.Short(1), p.Short(0)); break;
    case META_POLYGON: return Polygon(p, true);
    case META_POLYLINE: return Polygon(p, false);
    case META_POLYPOLYGON: return PolyPolygon(p);
    case META_SETPIXEL: SetPixel(FDC, p.Short(3), p.Short(2), p.Dword(0)); break;
    case META_ELLIPSE: Ellipse(FDC, p.Short(3), p.Short(2), p.Short(1), p.Short(0)); break;
    case META_ROUNDRECT:
        RoundRect(FDC, p.Short(5), p.Short(4), p.Short(3), p.Short(2), p.Short(1), p.Short(0));
        break;
    case META_ARC:
    case META_PIE:
    case META_CHORD: {
        const int left = p.Short(7), top = p.Short(6), right = p.Short(5), bottom = p.Short(4);
        const int xStart = p.Short(3), yStart = p.Short(2), xEnd = p.Short(1), yEnd = p.Short(0);
        if (p.Damaged())
            return false;
        auto* draw = function == META_ARC ? &Arc : function == META_PIE ? &Pie : &Chord;
        draw(FDC, left, top, right, bottom, xStart, yStart, xEnd, yEnd);
        break;
    }
    case META_FLOODFILL: ExtFloodFill(FDC, p.Short(3), p.Short(2), p.Dword(0), FLOODFILLBORDER); break;
    case META_EXTFLOODFILL: ExtFloodFill(FDC, p.Short(4), p.Short(3), p.Dword(1), p.Word(0)); break;
    // ---- regions
    case META_FILLREGION:
        FillRgn(FDC, static_cast<HRGN>(Slot(p.Word(0))), static_cast<HBRUSH>(Slot(p.Word(1))));
        break;
    case META_FRAMEREGION:
        FrameRgn(FDC, static_cast<HRGN>(Slot(p.Word(0))), static_cast<HBRUSH>(Slot(p.Word(1))), p.Short(3),
                 p.Short(2));
        break;
    case META_INVERTREGION: InvertRgn(FDC, static_cast<HRGN>(Slot(p.Word(0)))); break;
    case META_PAINTREGION: PaintRgn(FDC, static_cast<HRGN>(Slot(p.Word(0)))); break;
    // ---- transfers
    case META_PATBLT: PatBlt(FDC, p.Short(5), p.Short(4), p.Short(3), p.Short(2), p.Dword(0)); break;
    case META_BITBLT:
    case META_STRETCHBLT:
    case META_DIBBITBLT:
    case META_DIBSTRETCHBLT: return Blit(p, function);
    case META_STRETCHDIB: return StretchDib(p);
    case META_SETDIBTODEV: return SetDibToDevice(p);
    // ---- objects
    case META_SELECTOBJECT: SelectSlot(p.Word(0)); break;
    case META_DELETEOBJECT: Delete(p.Word(0)); break;
    case META_SELECTPALETTE: {
        HGDIOBJ palette = Slot(p.Word(0));
        if (palette != nullptr && GetObjectType(palette) == OBJ_PAL)
            SelectPalette(FDC, static_cast<HPALETTE>(palette), FALSE);
        break;
    }
    case META_REALIZEPALETTE: RealizePalette(FDC); break;
    case META_SETPALENTRIES:
    case META_ANIMATEPALETTE:
    case META_RESIZEPALETTE: return PaletteEntries(p, function);
    case META_CREATEPENINDIRECT: {
        const LOGPEN pen{UINT(p.Word(0)), POINT{p.Short(1), 0}, p.Dword(3)};
        if (p.Damaged())
            return false;
        Add(CreatePenIndirect(&pen));
        break;
    }
    case META_CREATEBRUSHINDIRECT: {
        const LOGBRUSH brush{UINT(p.Word(0)), p.Dword(1), std::uintptr_t(p.Word(3))};
        if (p.Damaged())
            return false;
        // Only solid, null and hatched brushes are described by these fields alone; a pattern
        // brush here has no pattern, and takes its slot empty.
        if (brush.lbStyle > BS_HATCHED)
            Occupy();
        else
            Add(CreateBrushIndirect(&brush));
        break;
    }
    case META_TEXTOUT:
    case META_EXTTEXTOUT: return Text(p, function);
    case META_CREATEFONTINDIRECT: return CreateFont(p);
    case META_CREATEPALETTE: return CreatePalette(p);
    case META_CREATEREGION: return CreateRegion(p);
    case META_CREATEPATTERNBRUSH: return CreatePatternBrush(p);
    case META_DIBCREATEPATTERNBRUSH: return CreateDibPatternBrush(p);
    case META_CREATEBRUSH:
    case META_CREATEBITMAP:
    case META_CREATEBITMAPINDIRECT: Occupy(); break;
    default: break;  // records the layer cannot play are passed over
    }
    return !p.Damaged();
}

// The text records: bytes in the code page of the selected font's character set. TEXTOUT holds
// the length, the bytes (padded to a word) and the point; EXTTEXTOUT the point, the length, the
// options, a rectangle when they name one, the bytes and, when the record goes on, an advance
// per byte.
bool TMetaPlayer::Text(TMetaParams& p, WORD function) {
    if (function == META_TEXTOUT) {
        const std::size_t length = p.Word(0);
        const std::size_t words = (length + 1) / 2;
        const BYTE* bytes = p.At(1, length);
        const int y = p.Short(1 + words), x = p.Short(2 + words);
        if (p.Damaged())
            return false;
        TextOutInCodePage(FDC, x, y, 0, nullptr, bytes, length, nullptr);
        return true;
    }
    const int y = p.Short(0), x = p.Short(1);
    const std::size_t length = p.Word(2);
    const UINT options = p.Word(3);
    std::size_t at = 4;
    RECT rect{};
    const bool hasRect = (options & (ETO_OPAQUE | ETO_CLIPPED)) != 0;
    if (hasRect) {
        rect = RECT{p.Short(4), p.Short(5), p.Short(6), p.Short(7)};
        at = 8;
    }
    const BYTE* bytes = p.At(at, length);
    if (p.Damaged())
        return false;
    // The advances are 16-bit; a record too short for them has none.
    std::vector<INT> dx;
    const std::size_t dxAt = at + (length + 1) / 2;
    if (length > 0 && p.BytesFrom(dxAt) >= 2 * length) {
        dx.resize(length);
        for (std::size_t i = 0; i < length; ++i)
            dx[i] = p.Short(dxAt + i);
    }
    TextOutInCodePage(FDC, x, y, options & ~UINT(ETO_PDY), hasRect ? &rect : nullptr, bytes, length,
                      dx.empty() ? nullptr : dx.data());
    return true;
}

}  // namespace

BOOL PlayMetaFile(HDC dc, HMETAFILE handle) {
    std::vector<BYTE> bytes;
    std::size_t end;
    WORD objects;
    std::size_t depth;
    HGDIOBJ pen, brush, font;
    HPALETTE palette;
    bool paletteBackground;
    {
        TLock lock(LayerMutex());
        auto* context = Lookup<TDCObj>(dc);
        auto* metafile = Lookup<TMetaFileObj>(handle);
        if (context == nullptr || metafile == nullptr)
            return FALSE;
        // A copy: the records may not delete the metafile under the walk, but a caller on another
        // thread may.
        if (!ResizeStorage(bytes, metafile->RecordsEnd))
            return FALSE;
        std::memcpy(bytes.data(), metafile->Bytes.data(), metafile->RecordsEnd);
        end = metafile->RecordsEnd;
        objects = metafile->Objects;
        depth = context->Saved.size();
        pen = context->Pen;
        brush = context->Brush;
        font = context->Font;
        palette = context->Palette;
        paletteBackground = context->PaletteBackground;
    }
    bool intact = true;
    {
        TMetaPlayer player(dc, objects, depth);
        for (std::size_t at = kMetaHeaderBytes; at < end;) {
            const std::size_t size = std::size_t(ReadDword(bytes.data() + at)) * 2;
            const WORD function = ReadWord(bytes.data() + at + 4);
            if (function == META_EOF)
                break;
            TMetaParams params(bytes.data() + at + kMetaRecordHeaderBytes, size - kMetaRecordHeaderBytes);
            if (!player.Play(function, params)) {
                intact = false;
                break;
            }
            at += size;
        }
        // States the records saved and left behind would keep their objects selected.
        if (player.SavedStates() > 0)
            RestoreDC(dc, int(depth) + 1);
        SelectObject(dc, pen);
        SelectObject(dc, brush);
        SelectObject(dc, font);
        SelectPalette(dc, palette, paletteBackground ? TRUE : FALSE);
    }
    return intact ? TRUE : FALSE;
}

}  // namespace gdi
