// Enhanced metafiles in the raster layer: handles made from a metafile's bytes, the header and
// palette queries, copies, and playback onto a device context. The platform's names, structures
// and return values; the record layouts are those of the published enhanced-metafile format.
#pragma once

#include "platform/gdi/Gdi.h"

namespace gdi {

struct HENHMETAFILE__ {
    int unused;
};
using HENHMETAFILE = HENHMETAFILE__*;

struct RECTL {
    LONG left;
    LONG top;
    LONG right;
    LONG bottom;
};
struct SIZEL {
    LONG cx;
    LONG cy;
};

/// The header record, as the file holds it: 88 bytes in the first version, 100 with the pixel
/// format fields and 108 with the size in micrometres.
struct ENHMETAHEADER {
    DWORD iType;
    DWORD nSize;
    RECTL rclBounds;  // device units of the reference device, inclusive
    RECTL rclFrame;   // hundredths of a millimetre, inclusive
    DWORD dSignature;
    DWORD nVersion;
    DWORD nBytes;
    DWORD nRecords;
    WORD nHandles;
    WORD sReserved;
    DWORD nDescription;
    DWORD offDescription;
    DWORD nPalEntries;
    SIZEL szlDevice;
    SIZEL szlMillimeters;
    DWORD cbPixelFormat;
    DWORD offPixelFormat;
    DWORD bOpenGL;
    SIZEL szlMicrometers;
};
static_assert(sizeof(ENHMETAHEADER) == 108);

constexpr DWORD ENHMETA_SIGNATURE = 0x464D4520;  // " EMF"

// ExtTextOutW options beyond ETO_OPAQUE and ETO_CLIPPED.
constexpr UINT ETO_GLYPH_INDEX = 0x0010;
constexpr UINT ETO_RTLREADING = 0x0080;
constexpr UINT ETO_NUMERICSLOCAL = 0x0400;
constexpr UINT ETO_NUMERICSLATIN = 0x0800;
constexpr UINT ETO_IGNORELANGUAGE = 0x1000;
constexpr UINT ETO_PDY = 0x2000;

/// Makes a metafile from size bytes of a record stream, after checking the whole stream once
/// (header, every record's size, the end record). Fails with ERROR_INVALID_DATA for a damaged
/// stream and ERROR_NOT_ENOUGH_MEMORY when its size passes the storage cap, before any copy.
HENHMETAFILE SetEnhMetaFileBits(UINT size, const BYTE* data);
/// With no buffer, the metafile's size in bytes; otherwise the bytes copied (0 when size is short).
UINT GetEnhMetaFileBits(HENHMETAFILE metafile, UINT size, BYTE* data);
/// With no buffer, the header record's size; otherwise min(size, that) bytes of it, 0 when size
/// is smaller than the first version's 88 bytes.
UINT GetEnhMetaFileHeader(HENHMETAFILE metafile, UINT size, ENHMETAHEADER* header);
/// The palette the end record carries: with no buffer, its number of entries; otherwise the
/// entries copied (at most count). 0 when there is none, GDI_ERROR for a bad handle.
UINT GetEnhMetaFilePaletteEntries(HENHMETAFILE metafile, UINT count, PALETTEENTRY* entries);
/// A copy in memory; the file name must be null (the layer writes no files).
HENHMETAFILE CopyEnhMetaFile(HENHMETAFILE metafile, const char* fileName);
BOOL DeleteEnhMetaFile(HENHMETAFILE metafile);
/// Draws the metafile with its frame mapped onto the rectangle (logical coordinates of the
/// context, both corners included). The context's state, objects and clip are as before
/// afterwards; FALSE when a damaged record ended the playback early.
BOOL PlayEnhMetaFile(HDC dc, HENHMETAFILE metafile, const RECT* rect);

/// How a Windows metafile's picture is to be placed: its mapping mode and, for MM_ISOTROPIC and
/// MM_ANISOTROPIC, its extent in hundredths of a millimetre (0 or less: the whole reference
/// device). hMF is not used by the conversion.
struct METAFILEPICT {
    LONG mm;
    LONG xExt;
    LONG yExt;
    void* hMF;
};

/// An enhanced metafile made from a Windows metafile's header and records, placed on the
/// reference screen as the picture description says (null: MM_ANISOTROPIC over the whole
/// screen). A Windows metafile that carries an enhanced metafile in its comments gives that one
/// back. The reference screen is fixed (1920 × 1080 pixels, 508 × 286 mm): the reference context
/// is not read. Fails with ERROR_INVALID_DATA for bytes that do not start with a metafile header,
/// ERROR_INVALID_PARAMETER for an unknown mapping mode and ERROR_NOT_ENOUGH_MEMORY when the
/// result passes the storage cap; a damaged record ends the picture there.
HENHMETAFILE SetWinMetaFileBits(UINT size, const BYTE* data, HDC reference, const METAFILEPICT* picture);
/// The Windows metafile of an enhanced one in the given mapping mode, carrying the enhanced
/// metafile in comment records: with no buffer its size, otherwise the bytes written (0 with
/// ERROR_INSUFFICIENT_BUFFER when size is short). 0 with ERROR_INVALID_PARAMETER for an unknown
/// mapping mode, ERROR_NOT_ENOUGH_MEMORY past the storage cap. The reference context is not read.
UINT GetWinMetaFileBits(HENHMETAFILE metafile, UINT size, BYTE* data, INT mapMode, HDC reference);

/// Whether an enhanced header's stated total size may be read into memory: at least 100 bytes
/// (the header a reader takes in one piece), no more than the available bytes, and within the
/// storage cap. A reader checks this before it allocates the total size; false sets
/// ERROR_INVALID_DATA, or ERROR_NOT_ENOUGH_MEMORY for the cap.
bool EnhMetaFileSizeAcceptable(std::uint64_t totalSize, std::uint64_t available);

// ---- text for metafiles ------------------------------------------------------------------------

using WCHAR = char16_t;

/// ExtTextOutA for UTF-16 text: lpDx has one entry per UTF-16 unit (two with ETO_PDY: the advance
/// along x, then along y). With ETO_GLYPH_INDEX the units are glyph indices of the face the font
/// names; when the font resolves to another face the call draws nothing of them, succeeds, and
/// counts the run (GlyphIndexRunsSkipped).
BOOL ExtTextOutW(HDC dc, int x, int y, UINT options, const RECT* rect, const WCHAR* text, UINT count,
                 const INT* dx);
BOOL TextOutW(HDC dc, int x, int y, const WCHAR* text, int count);
// ---- recording ---------------------------------------------------------------------------------

/// A context that records what is drawn on it as an enhanced metafile. The reference device is
/// the modelled screen (every context of the layer reports it), so the header's device size and
/// millimetres and the fixed mapping modes follow the screen settings. frame: the picture's
/// rectangle in hundredths of a millimetre (inclusive); null makes it from the bounds of what is
/// drawn. description: the application's name and the picture's, each ended by a null, kept with
/// both nulls (null: none). The layer writes no files: a file name fails with
/// ERROR_INVALID_PARAMETER (save the bytes of GetEnhMetaFileBits instead).
HDC CreateEnhMetaFileW(HDC reference, const WCHAR* fileName, const RECT* frame, const WCHAR* description);
/// The same with UTF-8 names, as the layer's other A calls take text.
HDC CreateEnhMetaFileA(HDC reference, const char* fileName, const RECT* frame, const char* description);
/// Ends the recording: the context is deleted and the metafile made (null when the storage gate
/// refused a record on the way, ERROR_NOT_ENOUGH_MEMORY; ERROR_INVALID_HANDLE for a context that
/// does not record).
HENHMETAFILE CloseEnhMetaFile(HDC dc);

/// A context that records what is drawn on it as a Windows metafile: the calls' own logical
/// coordinates in 16-bit records (held within −32768 … 32767), objects in the lowest free slot
/// of the table (stock objects are made like any other, as the format has none), text in the
/// code page of the selected font's character set. Calls the format has no record for (paths,
/// world transforms, Bézier curves, ArcTo, AngleArc, PolyDraw, blending, gradients, clockwise
/// arcs, clip combinations other than a copy) fail with ERROR_INVALID_PARAMETER. A file name
/// fails with ERROR_INVALID_PARAMETER: the layer writes no files.
HDC CreateMetaFileW(const WCHAR* fileName);
/// Ends the recording: the context is deleted and the metafile made (null with
/// ERROR_NOT_ENOUGH_MEMORY when the storage gate refused a record; ERROR_INVALID_HANDLE for a
/// context that does not record a Windows metafile).
HMETAFILE CloseMetaFile(HDC dc);

/// Runs of glyph indices left out because the face they were made for is not installed, counted
/// per thread since it started.
std::size_t GlyphIndexRunsSkipped();

}  // namespace gdi
