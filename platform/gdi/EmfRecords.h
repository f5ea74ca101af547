// The records of an enhanced metafile as the file holds them, and readers that check each
// record's own counts, offsets and sizes before the player draws anything of it. Private to the
// layer. Every reader takes a record the stream check has already accepted (its size a multiple
// of 4, at least 8, inside the stream) and returns false for a record whose contents do not fit.
#pragma once

#include "platform/gdi/EnhMetaFile.h"
#include "platform/gdi/Internal.h"

#include <bit>
#include <cstring>
#include <string>
#include <vector>

namespace gdi::detail {

static_assert(std::endian::native == std::endian::little, "records are read in place as little-endian values");

// Record types of the published format.
enum : DWORD {
    EMR_HEADER = 1,
    EMR_POLYBEZIER = 2,
    EMR_POLYGON = 3,
    EMR_POLYLINE = 4,
    EMR_POLYBEZIERTO = 5,
    EMR_POLYLINETO = 6,
    EMR_POLYPOLYLINE = 7,
    EMR_POLYPOLYGON = 8,
    EMR_SETWINDOWEXTEX = 9,
    EMR_SETWINDOWORGEX = 10,
    EMR_SETVIEWPORTEXTEX = 11,
    EMR_SETVIEWPORTORGEX = 12,
    EMR_SETBRUSHORGEX = 13,
    EMR_EOF = 14,
    EMR_SETPIXELV = 15,
    EMR_SETMAPPERFLAGS = 16,
    EMR_SETMAPMODE = 17,
    EMR_SETBKMODE = 18,
    EMR_SETPOLYFILLMODE = 19,
    EMR_SETROP2 = 20,
    EMR_SETSTRETCHBLTMODE = 21,
    EMR_SETTEXTALIGN = 22,
    EMR_SETCOLORADJUSTMENT = 23,
    EMR_SETTEXTCOLOR = 24,
    EMR_SETBKCOLOR = 25,
    EMR_OFFSETCLIPRGN = 26,
    EMR_MOVETOEX = 27,
    EMR_SETMETARGN = 28,
    EMR_EXCLUDECLIPRECT = 29,
    EMR_INTERSECTCLIPRECT = 30,
    EMR_SCALEVIEWPORTEXTEX = 31,
    EMR_SCALEWINDOWEXTEX = 32,
    EMR_SAVEDC = 33,
    EMR_RESTOREDC = 34,
    EMR_SETWORLDTRANSFORM = 35,
    EMR_MODIFYWORLDTRANSFORM = 36,
    EMR_SELECTOBJECT = 37,
    EMR_CREATEPEN = 38,
    EMR_CREATEBRUSHINDIRECT = 39,
    EMR_DELETEOBJECT = 40,
    EMR_ANGLEARC = 41,
    EMR_ELLIPSE = 42,
    EMR_RECTANGLE = 43,
    EMR_ROUNDRECT = 44,
    EMR_ARC = 45,
    EMR_CHORD = 46,
    EMR_PIE = 47,
    EMR_SELECTPALETTE = 48,
    EMR_CREATEPALETTE = 49,
    EMR_SETPALETTEENTRIES = 50,
    EMR_RESIZEPALETTE = 51,
    EMR_REALIZEPALETTE = 52,
    EMR_EXTFLOODFILL = 53,
    EMR_LINETO = 54,
    EMR_ARCTO = 55,
    EMR_POLYDRAW = 56,
    EMR_SETARCDIRECTION = 57,
    EMR_SETMITERLIMIT = 58,
    EMR_BEGINPATH = 59,
    EMR_ENDPATH = 60,
    EMR_CLOSEFIGURE = 61,
    EMR_FILLPATH = 62,
    EMR_STROKEANDFILLPATH = 63,
    EMR_STROKEPATH = 64,
    EMR_FLATTENPATH = 65,
    EMR_WIDENPATH = 66,
    EMR_SELECTCLIPPATH = 67,
    EMR_ABORTPATH = 68,
    EMR_COMMENT = 70,
    EMR_FILLRGN = 71,
    EMR_FRAMERGN = 72,
    EMR_INVERTRGN = 73,
    EMR_PAINTRGN = 74,
    EMR_EXTSELECTCLIPRGN = 75,
    EMR_BITBLT = 76,
    EMR_STRETCHBLT = 77,
    EMR_MASKBLT = 78,
    EMR_PLGBLT = 79,
    EMR_SETDIBITSTODEVICE = 80,
    EMR_STRETCHDIBITS = 81,
    EMR_EXTCREATEFONTINDIRECTW = 82,
    EMR_EXTTEXTOUTA = 83,
    EMR_EXTTEXTOUTW = 84,
    EMR_POLYBEZIER16 = 85,
    EMR_POLYGON16 = 86,
    EMR_POLYLINE16 = 87,
    EMR_POLYBEZIERTO16 = 88,
    EMR_POLYLINETO16 = 89,
    EMR_POLYPOLYLINE16 = 90,
    EMR_POLYPOLYGON16 = 91,
    EMR_POLYDRAW16 = 92,
    EMR_CREATEMONOBRUSH = 93,
    EMR_CREATEDIBPATTERNBRUSHPT = 94,
    EMR_EXTCREATEPEN = 95,
    EMR_POLYTEXTOUTA = 96,
    EMR_POLYTEXTOUTW = 97,
    EMR_SETICMMODE = 98,
    EMR_SMALLTEXTOUT = 108,
    EMR_ALPHABLEND = 114,
    EMR_SETLAYOUT = 115,
    EMR_TRANSPARENTBLT = 116,
    EMR_GRADIENTFILL = 118,
    EMR_SETTEXTJUSTIFICATION = 120,
};

/// The size of the first version of the header record; a stream starts with at least this.
constexpr std::size_t kMinHeaderSize = 88;
/// The smallest total size a stream may state: the header a reader takes in one piece.
constexpr std::size_t kMinStreamSize = 100;
/// The end record: type, size, palette count and offset, and the size repeated at its end.
constexpr std::size_t kEofRecordSize = 20;

/// One record of a checked stream: Size bytes from Data, Type and Size included.
struct TEmfRecord {
    DWORD Type = 0;
    const BYTE* Data = nullptr;
    std::size_t Size = 0;
};

/// Checks a whole stream: the header's type, signature, version-independent sizes and counts,
/// every record's size (a multiple of 4, at least 8, inside the stream), and an end record as
/// the last. On success the records can be walked with NextRecord without further checks.
bool CheckStream(const BYTE* data, std::size_t size, ENHMETAHEADER& header);
/// The record at offset of a checked stream.
TEmfRecord RecordAt(const BYTE* data, std::size_t offset);

/// The palette of a checked stream's end record (possibly empty).
std::vector<PALETTEENTRY> EndPalette(const BYTE* data, std::size_t size);

// ---- typed records ---------------------------------------------------------------------------

/// The fixed part of a record, copied out (records need not be aligned for every field).
template <typename T>
bool ReadFixed(const TEmfRecord& record, T& out) {
    if (record.Size < sizeof(T))
        return false;
    std::memcpy(&out, record.Data, sizeof(T));
    return true;
}

/// Whether count elements of size bytes at offset lie inside the record (64-bit arithmetic).
bool InsideRecord(const TEmfRecord& record, std::uint64_t offset, std::uint64_t count, std::uint64_t size);

struct EMR {
    DWORD iType;
    DWORD nSize;
};

struct EMRONE {  // every record of one 32-bit value: modes, colours, object indices
    EMR emr;
    DWORD Value;
};

struct EMRTWO {  // every record of a point or size
    EMR emr;
    LONG X;
    LONG Y;
};

struct EMRBOX {  // rectangle and ellipse
    EMR emr;
    RECTL rclBox;
};

struct EMRROUNDRECT {
    EMR emr;
    RECTL rclBox;
    SIZEL szlCorner;
};

struct EMRARC {  // arc, arc-to, chord and pie
    EMR emr;
    RECTL rclBox;
    POINT ptlStart;
    POINT ptlEnd;
};

struct EMRANGLEARC {
    EMR emr;
    POINT ptlCenter;
    DWORD nRadius;
    FLOAT eStartAngle;
    FLOAT eSweepAngle;
};

struct EMRSCALEEXTEX {
    EMR emr;
    LONG xNum, xDenom, yNum, yDenom;
};

struct EMRXFORM {
    EMR emr;
    XFORM xform;
};

struct EMRMODIFYWORLDTRANSFORM {
    EMR emr;
    XFORM xform;
    DWORD iMode;
};

struct EMRRECT4 {  // the clip rectangles
    EMR emr;
    RECTL rcl;
};

struct EMRSETPIXELV {
    EMR emr;
    POINT ptlPixel;
    COLORREF crColor;
};

struct EMREXTFLOODFILL {
    EMR emr;
    POINT ptlStart;
    COLORREF crColor;
    DWORD iMode;
};

struct LOGBRUSH32 {
    UINT lbStyle;
    COLORREF lbColor;
    DWORD lbHatch;
};

struct EMRCREATEBRUSHINDIRECT {
    EMR emr;
    DWORD ihBrush;
    LOGBRUSH32 lb;
};

struct EMRCREATEPEN {
    EMR emr;
    DWORD ihPen;
    UINT lopnStyle;
    POINT lopnWidth;
    COLORREF lopnColor;
};

struct EMREXTCREATEPEN {
    EMR emr;
    DWORD ihPen;
    DWORD offBmi;
    DWORD cbBmi;
    DWORD offBits;
    DWORD cbBits;
    DWORD elpPenStyle;
    DWORD elpWidth;
    UINT elpBrushStyle;
    COLORREF elpColor;
    DWORD elpHatch;
    DWORD elpNumEntries;
};

struct EMRCREATEDIBPATTERNBRUSH {  // mono brushes and DIB pattern brushes
    EMR emr;
    DWORD ihBrush;
    DWORD iUsage;
    DWORD offBmi;
    DWORD cbBmi;
    DWORD offBits;
    DWORD cbBits;
};

struct LOGFONTW {
    LONG lfHeight;
    LONG lfWidth;
    LONG lfEscapement;
    LONG lfOrientation;
    LONG lfWeight;
    BYTE lfItalic;
    BYTE lfUnderline;
    BYTE lfStrikeOut;
    BYTE lfCharSet;
    BYTE lfOutPrecision;
    BYTE lfClipPrecision;
    BYTE lfQuality;
    BYTE lfPitchAndFamily;
    WCHAR lfFaceName[LF_FACESIZE];
};
static_assert(sizeof(LOGFONTW) == 92);

struct EMREXTCREATEFONTINDIRECTW {
    EMR emr;
    DWORD ihFont;
    LOGFONTW elfw;
};

struct EMRCREATEPALETTE {
    EMR emr;
    DWORD ihPal;
    WORD palVersion;
    WORD palNumEntries;
};

struct EMRSETPALETTEENTRIES {
    EMR emr;
    DWORD ihPal;
    DWORD iStart;
    DWORD cEntries;
};

struct EMRRESIZEPALETTE {
    EMR emr;
    DWORD ihPal;
    DWORD cEntries;
};

struct EMRPOLY {  // the poly records: bounds and a point count, points behind
    EMR emr;
    RECTL rclBounds;
    DWORD cptl;
};

struct EMRPOLYPOLY {  // bounds, figure count, point count; counts and points behind
    EMR emr;
    RECTL rclBounds;
    DWORD nPolys;
    DWORD cptl;
};

struct EMRFILLRGN {
    EMR emr;
    RECTL rclBounds;
    DWORD cbRgnData;
    DWORD ihBrush;
};

struct EMRFRAMERGN {
    EMR emr;
    RECTL rclBounds;
    DWORD cbRgnData;
    DWORD ihBrush;
    SIZEL szlStroke;
};

struct EMRINVERTRGN {  // invert and paint
    EMR emr;
    RECTL rclBounds;
    DWORD cbRgnData;
};

struct EMREXTSELECTCLIPRGN {
    EMR emr;
    DWORD cbRgnData;
    DWORD iMode;
};

struct EMRBITBLT {
    EMR emr;
    RECTL rclBounds;
    LONG xDest, yDest, cxDest, cyDest;
    DWORD dwRop;
    LONG xSrc, ySrc;
    XFORM xformSrc;
    COLORREF crBkColorSrc;
    DWORD iUsageSrc;
    DWORD offBmiSrc, cbBmiSrc, offBitsSrc, cbBitsSrc;
};
static_assert(sizeof(EMRBITBLT) == 100);

struct EMRSTRETCHBLT {  // also the layout of alpha-blend and transparent-blit records
    EMRBITBLT blt;
    LONG cxSrc, cySrc;
};

struct EMRMASKBLT {
    EMRBITBLT blt;
    LONG xMask, yMask;
    DWORD iUsageMask;
    DWORD offBmiMask, cbBmiMask, offBitsMask, cbBitsMask;
};
static_assert(sizeof(EMRMASKBLT) == 128);

struct EMRPLGBLT {
    EMR emr;
    RECTL rclBounds;
    POINT aptlDest[3];
    LONG xSrc, ySrc, cxSrc, cySrc;
    XFORM xformSrc;
    COLORREF crBkColorSrc;
    DWORD iUsageSrc;
    DWORD offBmiSrc, cbBmiSrc, offBitsSrc, cbBitsSrc;
    LONG xMask, yMask;
    DWORD iUsageMask;
    DWORD offBmiMask, cbBmiMask, offBitsMask, cbBitsMask;
};
static_assert(sizeof(EMRPLGBLT) == 140);

struct EMRSETDIBITSTODEVICE {
    EMR emr;
    RECTL rclBounds;
    LONG xDest, yDest, xSrc, ySrc, cxSrc, cySrc;
    DWORD offBmiSrc, cbBmiSrc, offBitsSrc, cbBitsSrc;
    DWORD iUsageSrc, iStartScan, cScans;
};
static_assert(sizeof(EMRSETDIBITSTODEVICE) == 76);

struct EMRSTRETCHDIBITS {
    EMR emr;
    RECTL rclBounds;
    LONG xDest, yDest, xSrc, ySrc, cxSrc, cySrc;
    DWORD offBmiSrc, cbBmiSrc, offBitsSrc, cbBitsSrc;
    DWORD iUsageSrc, dwRop;
    LONG cxDest, cyDest;
};
static_assert(sizeof(EMRSTRETCHDIBITS) == 80);

struct EMRTEXT {
    POINT ptlReference;
    DWORD nChars;
    DWORD offString;
    DWORD fOptions;
    RECTL rcl;
    DWORD offDx;
};

struct EMREXTTEXTOUT {
    EMR emr;
    RECTL rclBounds;
    DWORD iGraphicsMode;
    FLOAT exScale, eyScale;
    EMRTEXT emrtext;
};
static_assert(sizeof(EMREXTTEXTOUT) == 76);

struct EMRSMALLTEXTOUT {
    EMR emr;
    LONG x, y;
    DWORD cChars;
    DWORD fuOptions;
    DWORD iGraphicsMode;
    FLOAT exScale, eyScale;
};

struct EMRGRADIENTFILL {
    EMR emr;
    RECTL rclBounds;
    DWORD nVer;
    DWORD nTri;
    DWORD ulMode;
};

struct TRIVERTEX {
    LONG x, y;
    WORD Red, Green, Blue, Alpha;
};
static_assert(sizeof(TRIVERTEX) == 16);

struct EMRCOMMENT {
    EMR emr;
    DWORD cbData;
};

struct EMREOF {
    EMR emr;
    DWORD nPalEntries;
    DWORD offPalEntries;
};

// Comment identifiers (the first four data bytes).
constexpr DWORD kCommentEmfPlus = 0x2B464D45;  // "EMF+"
constexpr DWORD kCommentEmfSpool = 0x00000000;
constexpr DWORD kCommentPublic = 0x43494447;   // "GDIC"

// ---- readers of the variable parts ---------------------------------------------------------

/// The points of a poly record (16- or 32-bit coordinates), widened to POINT.
bool ReadPoly(const TEmfRecord& record, bool small, std::vector<POINT>& points);
/// The figures of a poly-poly record: the counts, whose sum must be the point count, and points.
bool ReadPolyPoly(const TEmfRecord& record, bool small, std::vector<DWORD>& counts, std::vector<POINT>& points);
/// The points and their types of a poly-draw record.
bool ReadPolyDraw(const TEmfRecord& record, bool small, std::vector<POINT>& points, std::vector<BYTE>& types);

/// A bitmap a record carries: a copy of its header and colour table (aligned, normalised to at
/// least the 40-byte header) and its bits inside the record. Empty when the record carries none.
struct TEmfDib {
    std::vector<BYTE> Info;  // a BITMAPINFO
    const BYTE* Bits = nullptr;
    std::size_t BitsSize = 0;
    const BITMAPINFO* Header() const { return reinterpret_cast<const BITMAPINFO*>(Info.data()); }
    bool Empty() const { return Info.empty(); }
};
/// Checks that the header lies inside the record, that its size is one the layer reads, and that
/// the bits lie inside the record and hold every row it describes (or biSizeImage bytes of
/// run-length data). A zero-sized header means no bitmap.
bool ReadDib(const TEmfRecord& record, DWORD offBmi, DWORD cbBmi, DWORD offBits, DWORD cbBits, TEmfDib& dib);

/// Region data inside the record at offset, cbRgnData bytes; the rectangles' count must fit.
bool ReadRegionData(const TEmfRecord& record, std::size_t offset, DWORD cbRgnData, std::vector<BYTE>& data);

/// The text of an EMRTEXT: offset-checked characters (bytes for ANSI, UTF-16 units otherwise),
/// and the advances, one per character or two with ETO_PDY (none when offDx is 0).
struct TEmfText {
    POINT Reference{};
    UINT Options = 0;
    RECT Rect{};
    std::vector<BYTE> Ansi;
    std::vector<WCHAR> Wide;
    std::vector<INT> Dx;
};
bool ReadEmrText(const TEmfRecord& record, const EMRTEXT& text, bool wide, TEmfText& out);
bool ReadSmallText(const TEmfRecord& record, EMRSMALLTEXTOUT& fixed, TEmfText& out);
/// POLYTEXTOUTA and POLYTEXTOUTW: the graphics mode, then each run in turn to use, which returns
/// false to stop. False when a run does not check out or use stops.
template <typename TUse>
bool ForEachPolyTextRun(const TEmfRecord& record, DWORD& mode, TUse&& use) {
    // The header of EMREXTTEXTOUT without its one run, then the count and the runs.
    constexpr std::size_t kRunsAt = sizeof(EMR) + sizeof(RECTL) + 12 + 4;
    const bool wide = record.Type == EMR_POLYTEXTOUTW;
    DWORD count = 0;
    if (!InsideRecord(record, kRunsAt - 4, 1, 4))
        return false;
    std::memcpy(&count, record.Data + kRunsAt - 4, 4);
    std::memcpy(&mode, record.Data + sizeof(EMR) + sizeof(RECTL), 4);
    if (!InsideRecord(record, kRunsAt, count, sizeof(EMRTEXT)))
        return false;
    TEmfText text;
    for (DWORD i = 0; i < count; ++i) {
        EMRTEXT run;
        std::memcpy(&run, record.Data + kRunsAt + std::size_t(i) * sizeof(EMRTEXT), sizeof run);
        if (!ReadEmrText(record, run, wide, text) || !use(text, wide))
            return false;
    }
    return true;
}

/// A LOGFONTW as the layer's LOGFONTA: the face name as UTF-8, cut to the field without splitting
/// a character.
LOGFONTA NarrowFont(const LOGFONTW& wide);
/// A font record's LOGFONTW turned into the layer's LOGFONTA (the face name as UTF-8).
bool ReadFont(const TEmfRecord& record, DWORD& index, LOGFONTA& font);

/// The vertices and the triangle or rectangle indices of a gradient fill.
bool ReadGradient(const TEmfRecord& record, EMRGRADIENTFILL& fixed, std::vector<TRIVERTEX>& vertices,
                  std::vector<DWORD>& indices);

/// UTF-16 → UTF-8; unpaired surrogates become U+FFFD. byteOfUnit[i] is where unit i starts.
std::string Utf16ToUtf8(const WCHAR* text, std::size_t count, std::vector<std::size_t>* byteOfUnit = nullptr);

}  // namespace gdi::detail
