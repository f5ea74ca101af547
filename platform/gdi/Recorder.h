// The recorders behind CreateEnhMetaFileW and CreateMetaFileW: what the layer's calls hand them
// when they are made on a recording context. Private to the layer.
//
// A recording context is an ordinary memory context (on the stock 1 × 1 bitmap) whose state
// machinery works as usual, so positions, mapping, selections, paths and clips answer as on any
// context, and whose drawing lands on that one pixel; beside it, each call appends its record
// here. Every hook expects the context to carry a recorder and returns false when the record
// could not be kept (the storage gate refused it, ERROR_NOT_ENOUGH_MEMORY), or, for a selection,
// when the object cannot be selected into a recording context.
#pragma once

#include "platform/gdi/EmfRecords.h"

namespace gdi::detail {

/// Whether the context records (a test the hooks' callers make before anything else).
inline bool Recording(const TDCObj& dc) { return dc.Recorder != nullptr; }

/// Records of no parameters (SAVEDC, the path brackets, REALIZEPALETTE …).
bool RecordBare(TDCObj& dc, DWORD type);
/// Records of one 32-bit value: modes, colours, RESTOREDC's level, SETMITERLIMIT (the float's bits).
bool RecordValue(TDCObj& dc, DWORD type, DWORD value);
/// Records of a point or a size: origins, extents, MOVETOEX, OFFSETCLIPRGN, SETBRUSHORGEX.
bool RecordPoint(TDCObj& dc, DWORD type, long long x, long long y);
bool RecordScale(TDCObj& dc, DWORD type, int xNum, int xDenom, int yNum, int yDenom);
/// SETWORLDTRANSFORM (mode ignored) and MODIFYWORLDTRANSFORM.
bool RecordTransform(TDCObj& dc, DWORD type, const XFORM& transform, DWORD mode);
/// The clip rectangles (logical units; no bounds).
bool RecordClipRect(TDCObj& dc, DWORD type, int left, int top, int right, int bottom);

/// LINETO from the current position.
bool RecordLineTo(TDCObj& dc, int x, int y);
/// RECTANGLE and ELLIPSE (the box as the call gives it), ROUNDRECT with its corner.
bool RecordBox(TDCObj& dc, DWORD type, int left, int top, int right, int bottom, int cornerW = 0, int cornerH = 0);
/// ARC, ARCTO, CHORD and PIE.
bool RecordArc(TDCObj& dc, DWORD type, int left, int top, int right, int bottom, int xs, int ys, int xe, int ye);
bool RecordAngleArc(TDCObj& dc, int x, int y, DWORD radius, FLOAT start, FLOAT sweep);
/// The poly records by their 32-bit type (POLYLINE, POLYGON, POLYBEZIER, POLYBEZIERTO,
/// POLYLINETO): the 16-bit form is written when every coordinate fits.
bool RecordPoly(TDCObj& dc, DWORD type, const POINT* points, DWORD count);
/// POLYPOLYLINE and POLYPOLYGON, likewise.
bool RecordPolyPoly(TDCObj& dc, DWORD type, const POINT* points, const DWORD* counts, DWORD figures);
/// FILLPATH, STROKEPATH, STROKEANDFILLPATH with the bounds of the path they draw.
bool RecordPathDrawing(TDCObj& dc, DWORD type);
bool RecordPixel(TDCObj& dc, int x, int y, COLORREF color);

/// SelectObject: a pen, brush or font gets its creation record the first time the recording
/// meets it; a region becomes EXTSELECTCLIPRGN; a bitmap is refused (ERROR_INVALID_PARAMETER).
bool RecordSelect(TDCObj& dc, HGDIOBJ handle, TObject& object);
bool RecordSelectPalette(TDCObj& dc, HPALETTE palette, TPaletteObj& object);
/// DeleteObject of an object some recording made: DELETEOBJECT in each, the index freed.
void RecordDelete(HGDIOBJ handle);
/// SetPaletteEntries and ResizePalette of a palette some enhanced recording made: SETPALETTEENTRIES
/// or RESIZEPALETTE in each (a refusal of the gate fails that recording at its close).
void RecordPaletteEntries(HPALETTE palette, UINT start, UINT count, const PALETTEENTRY* entries);
void RecordPaletteSize(HPALETTE palette, UINT entries);

/// EXTSELECTCLIPRGN with a device-unit region (null: none, for RGN_COPY).
bool RecordClipRegion(TDCObj& dc, const TRegion* region, int mode);
/// FILLRGN, FRAMERGN (brush and stroke size), INVERTRGN, PAINTRGN of a logical-unit region.
bool RecordRegionPaint(TDCObj& dc, DWORD type, const TRegion& region, HBRUSH brush = nullptr, int width = 0,
                       int height = 0);

/// EXTTEXTOUTW; the run's device box follows from the drawing (RecordTextBox).
bool RecordText(TDCObj& dc, int x, int y, UINT options, const RECT* rect, const WCHAR* text, UINT count,
                const INT* dx);
/// SetTextCharacterExtra (justification false: first the spacing) and SetTextJustification (first
/// the extra, second the count). A Windows metafile keeps them as records; an enhanced one has
/// none for the spacing, so its text carries both in its advances instead (Text.cpp).
bool RecordTextSpacing(TDCObj& dc, bool justification, int first, int second);
/// The device box the last text record covers, as the text drawing placed it.
void RecordTextBox(TDCObj& dc, long long left, long long top, long long right, long long bottom);

/// BITBLT (stretch false) or STRETCHBLT; a source of null (or a raster operation without one)
/// records no bitmap. The source's pixels are carried as a DIB: 1 bit with the destination's
/// text and background colours for a monochrome bitmap, 32 bits otherwise (alpha kept).
/// type: ALPHABLEND and TRANSPARENTBLT take the stretch layout, rop their blend or colour.
bool RecordBlt(TDCObj& dc, int x, int y, int width, int height, HDC source, int sx, int sy, int sourceWidth,
               int sourceHeight, DWORD rop, bool stretch, DWORD type = 0);
/// MASKBLT: the source as RecordBlt carries it, the mask as a 1-bit DIB in its own pixels.
bool RecordMaskBlt(TDCObj& dc, int x, int y, int width, int height, HDC source, int sx, int sy,
                   const TBitmapObj& mask, int mx, int my, DWORD rop);
/// PLGBLT: the source and mask (null: none) as MASKBLT carries them, the three corners as given.
bool RecordPlgBlt(TDCObj& dc, const POINT* points, HDC source, int sx, int sy, int width, int height,
                  const TBitmapObj* mask, int mx, int my);
bool RecordPolyDraw(TDCObj& dc, const POINT* points, const BYTE* types, int count);
/// EXTFLOODFILL: what it fills depends on the pixels where it plays, so it adds no bounds.
bool RecordFloodFill(TDCObj& dc, int x, int y, COLORREF color, UINT type);
bool RecordGradient(TDCObj& dc, const gdi::TRIVERTEX* vertices, std::uint32_t vertexCount, const void* mesh,
                    std::uint32_t meshCount, std::uint32_t mode);
/// STRETCHDIBITS, and SETDIBITSTODEVICE (stretch false: the destination size is the source's).
bool RecordDibits(TDCObj& dc, bool stretch, int x, int y, int width, int height, int sx, int sy, int sourceWidth,
                  int sourceHeight, UINT startScan, UINT lines, const void* bits, const BITMAPINFO* info, UINT usage,
                  DWORD rop);

// ---- what the two recorders share (EmfRecorder.cpp, EmfRecorderBitmaps.cpp) ---------------------

/// A bitmap as a packed bottom-up DIB: 1 bit with the colours given for 0 and 1 (a monochrome
/// bitmap) or the section's own two, else 32 bits (32-bit pixels keep their fourth byte). Empty,
/// with ERROR_NOT_ENOUGH_MEMORY, when the storage gate refuses it.
std::vector<BYTE> PackedDib(const TBitmapObj& bitmap, COLORREF zero, COLORREF one, std::size_t& infoBytes);
/// A face name, UTF-8 in the layer, as UTF-16 (nulls after it).
void FaceToUtf16(const char* face, WCHAR (&out)[LF_FACESIZE]);
/// RGNDATA of a region's rectangles (empty when the gate refuses it).
std::vector<BYTE> RegionData(const TRegion& region);
/// Bytes of a BITMAPINFO as a DIB call reads it (header, masks, colour table); 0 for a header the
/// layer does not read.
std::size_t InfoBytes(const BITMAPINFO* info, UINT usage);

// ---- the Windows-metafile recorder (WmfRecorder.cpp) ---------------------------------------------

/// Whether the context records a Windows metafile. The hooks above hand such a context on to
/// their namesakes below, which write the 16-bit records the calls have and refuse, with
/// ERROR_INVALID_PARAMETER, what that format cannot express (paths, world transforms, Bézier
/// curves, blending): the call then fails, as on the platform's metafile contexts.
inline bool RecordsWindows(const TDCObj& dc) { return dc.Recorder->Windows(); }

namespace wmf {

bool RecordBare(TDCObj& dc, DWORD type);
bool RecordValue(TDCObj& dc, DWORD type, DWORD value);
bool RecordPoint(TDCObj& dc, DWORD type, long long x, long long y);
bool RecordScale(TDCObj& dc, DWORD type, int xNum, int xDenom, int yNum, int yDenom);
bool RecordClipRect(TDCObj& dc, DWORD type, int left, int top, int right, int bottom);
bool RecordLineTo(TDCObj& dc, int x, int y);
bool RecordBox(TDCObj& dc, DWORD type, int left, int top, int right, int bottom, int cornerW, int cornerH);
bool RecordArc(TDCObj& dc, DWORD type, int left, int top, int right, int bottom, int xs, int ys, int xe, int ye);
bool RecordPoly(TDCObj& dc, DWORD type, const POINT* points, DWORD count);
bool RecordPolyPoly(TDCObj& dc, DWORD type, const POINT* points, const DWORD* counts, DWORD figures);
bool RecordPixel(TDCObj& dc, int x, int y, COLORREF color);
bool RecordSelect(TDCObj& dc, HGDIOBJ handle, TObject& object);
bool RecordSelectPalette(TDCObj& dc, HPALETTE palette, TPaletteObj& object);
void RecordDelete(HGDIOBJ handle);
bool RecordClipRegion(TDCObj& dc, const TRegion* region, int mode);
bool RecordRegionPaint(TDCObj& dc, DWORD type, const TRegion& region, HBRUSH brush, int width, int height);
bool RecordText(TDCObj& dc, int x, int y, UINT options, const RECT* rect, const WCHAR* text, UINT count,
                const INT* dx);
bool RecordTextSpacing(TDCObj& dc, bool justification, int first, int second);
/// A blit with its source as packed (empty: none), the source rectangle in the DIB's pixels
/// counted from its top.
bool RecordBlt(TDCObj& dc, int x, int y, int width, int height, const std::vector<BYTE>& packed, int sx, int sy,
               int sourceWidth, int sourceHeight, DWORD rop, bool stretch);
/// A DIB call with its header and bits as packed.
bool RecordDibits(TDCObj& dc, bool stretch, int x, int y, int width, int height, int sx, int sy, int sourceWidth,
                  int sourceHeight, UINT startScan, UINT lines, const std::vector<BYTE>& packed, UINT usage, DWORD rop);
bool RecordFloodFill(TDCObj& dc, int x, int y, COLORREF color, UINT type);
/// What the format has no record for: refused.
bool Refuse();

}  // namespace wmf

}  // namespace gdi::detail
