// The records of 16-bit Windows metafiles: their function numbers and a bounds-checked reader of
// their parameters. A record is a 32-bit size in 16-bit words (itself and the function
// included), a 16-bit function number, and the parameters, most of them 16-bit words stored in
// the reverse order of the call's arguments.
#pragma once

#include "platform/gdi/Gdi.h"

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

namespace gdi::detail {

// Function numbers: the low byte names the call, the high byte is its usual parameter count.
enum : WORD {
    META_EOF = 0x0000,
    META_SAVEDC = 0x001E,
    META_REALIZEPALETTE = 0x0035,
    META_SETPALENTRIES = 0x0037,
    META_CREATEPALETTE = 0x00F7,
    META_SETBKMODE = 0x0102,
    META_SETMAPMODE = 0x0103,
    META_SETROP2 = 0x0104,
    META_SETRELABS = 0x0105,
    META_SETPOLYFILLMODE = 0x0106,
    META_SETSTRETCHBLTMODE = 0x0107,
    META_SETTEXTCHAREXTRA = 0x0108,
    META_RESTOREDC = 0x0127,
    META_INVERTREGION = 0x012A,
    META_PAINTREGION = 0x012B,
    META_SELECTCLIPREGION = 0x012C,
    META_SELECTOBJECT = 0x012D,
    META_SETTEXTALIGN = 0x012E,
    META_RESIZEPALETTE = 0x0139,
    META_DIBCREATEPATTERNBRUSH = 0x0142,
    META_SETLAYOUT = 0x0149,
    META_DELETEOBJECT = 0x01F0,
    META_CREATEPATTERNBRUSH = 0x01F9,
    META_SETBKCOLOR = 0x0201,
    META_SETTEXTCOLOR = 0x0209,
    META_SETTEXTJUSTIFICATION = 0x020A,
    META_SETWINDOWORG = 0x020B,
    META_SETWINDOWEXT = 0x020C,
    META_SETVIEWPORTORG = 0x020D,
    META_SETVIEWPORTEXT = 0x020E,
    META_OFFSETWINDOWORG = 0x020F,
    META_OFFSETVIEWPORTORG = 0x0211,
    META_LINETO = 0x0213,
    META_MOVETO = 0x0214,
    META_OFFSETCLIPRGN = 0x0220,
    META_FILLREGION = 0x0228,
    META_SETMAPPERFLAGS = 0x0231,
    META_SELECTPALETTE = 0x0234,
    META_CREATEPENINDIRECT = 0x02FA,
    META_CREATEFONTINDIRECT = 0x02FB,
    META_CREATEBRUSHINDIRECT = 0x02FC,
    META_POLYGON = 0x0324,
    META_POLYLINE = 0x0325,
    META_SCALEWINDOWEXT = 0x0410,
    META_SCALEVIEWPORTEXT = 0x0412,
    META_EXCLUDECLIPRECT = 0x0415,
    META_INTERSECTCLIPRECT = 0x0416,
    META_ELLIPSE = 0x0418,
    META_FLOODFILL = 0x0419,
    META_RECTANGLE = 0x041B,
    META_SETPIXEL = 0x041F,
    META_FRAMEREGION = 0x0429,
    META_ANIMATEPALETTE = 0x0436,
    META_TEXTOUT = 0x0521,
    META_POLYPOLYGON = 0x0538,
    META_EXTFLOODFILL = 0x0548,
    META_ROUNDRECT = 0x061C,
    META_PATBLT = 0x061D,
    META_ESCAPE = 0x0626,
    META_CREATEREGION = 0x06FF,
    META_ARC = 0x0817,
    META_PIE = 0x081A,
    META_CHORD = 0x0830,
    META_BITBLT = 0x0922,
    META_DIBBITBLT = 0x0940,
    META_EXTTEXTOUT = 0x0A32,
    META_STRETCHBLT = 0x0B23,
    META_DIBSTRETCHBLT = 0x0B41,
    META_SETDIBTODEV = 0x0D33,
    META_STRETCHDIB = 0x0F43,
    // Obsolete creation records: they make no usable object, but they still take a table slot.
    META_CREATEBRUSH = 0x00F8,
    META_CREATEBITMAPINDIRECT = 0x02FD,
    META_CREATEBITMAP = 0x06FE,
};

/// The metafile header: 18 bytes, before the first record.
constexpr std::size_t kMetaHeaderBytes = 18;
/// The smallest record: the size and the function, no parameters.
constexpr std::size_t kMetaRecordHeaderBytes = 6;

inline WORD ReadWord(const BYTE* p) { return WORD(p[0] | (p[1] << 8)); }
inline DWORD ReadDword(const BYTE* p) { return DWORD(ReadWord(p)) | (DWORD(ReadWord(p + 2)) << 16); }

/// Whether size bytes start with a metafile header the layer reads: a memory or disk metafile of
/// the 9-word header, version 1 or 3.
bool CheckMetaHeader(const BYTE* data, std::size_t size);
/// The end of the last whole record of a checked metafile, the end record included; records
/// after the end record are not part of the picture.
std::size_t WholeRecordsEnd(const BYTE* data, std::size_t size);

/// Where the parts of a packed DIB a record carries end: the header, colour table and masks
/// (infoBytes), then the bits of `rows` scan lines (all when SIZE_MAX) or the run-length data's
/// stated size (bitsBytes). False when the header is not one the layer reads or the parts do not
/// fit in bytes.
bool PackedDibLayout(const BYTE* data, std::size_t bytes, UINT usage, std::size_t rows, std::size_t& infoBytes,
                     std::size_t& bitsBytes);

/// The parameters of one record. Every read is checked against the record's own size; a read
/// past it answers 0 and marks the record damaged, so a handler reads first and checks once.
class TMetaParams {
public:
    TMetaParams(const BYTE* data, std::size_t bytes) : FData(data), FBytes(bytes) {}

    std::size_t Bytes() const { return FBytes; }
    std::size_t Words() const { return FBytes / 2; }
    bool Damaged() const { return FDamaged; }
    /// Marks the record damaged from outside (a count that does not fit, say); returns false.
    bool Fail() {
        FDamaged = true;
        return false;
    }

    WORD Word(std::size_t index) {
        if (index >= Words())
            return WORD(Fail());
        return ReadWord(FData + 2 * index);
    }
    /// A signed coordinate or count.
    int Short(std::size_t index) { return std::int16_t(Word(index)); }
    /// Two words, the low one first.
    DWORD Dword(std::size_t index) { return DWORD(Word(index)) | (DWORD(Word(index + 1)) << 16); }
    /// byteCount bytes from the given word on, or nullptr (damaged) when the record ends first.
    const BYTE* At(std::size_t wordIndex, std::size_t byteCount) {
        if (wordIndex > Words() || byteCount > FBytes - 2 * wordIndex) {
            Fail();
            return nullptr;
        }
        return FData + 2 * wordIndex;
    }
    /// Bytes from the given word to the end of the record (0 past it).
    std::size_t BytesFrom(std::size_t wordIndex) const { return wordIndex * 2 <= FBytes ? FBytes - 2 * wordIndex : 0; }

private:
    const BYTE* FData;
    std::size_t FBytes;
    bool FDamaged = false;
};

/// The rectangles of a region record (META_CREATEREGION): scans of x pairs between a top and a
/// bottom, behind an 11-word header. False (the record marked damaged) when they do not fit.
bool ReadMetaRegion(TMetaParams& p, std::vector<RECT>& rects);
/// As ReadMetaRegion, but a region record whose own scans do not fit leaves the record sound:
/// writers exist that put a bare rectangle there, and the platform then makes no region, keeps
/// the object slot taken and goes on with the next record.
bool ReadRegionOrNone(TMetaParams& p, std::vector<RECT>& rects);

}  // namespace gdi::detail
