// The layer's private object model: the handle table, the objects behind the handles, pixel
// formats and the process-wide screen state. Only the layer's own sources include this file.
#pragma once

#include "platform/gdi/Gdi.h"
#include "platform/gdi/Path.h"
#include "platform/gdi/Region.h"
#include "platform/gdi/Screen.h"

#include <algorithm>
#include <array>
#include <cassert>
#include <cstdint>
#include <cstring>
#include <memory>
#include <mutex>
#include <optional>
#include <utility>
#include <vector>

namespace gdi::detail {

enum class TKind : std::uint8_t { DC = 1, Bitmap, Palette, Brush, Pen, Font, Icon, Region, MetaFile, EnhMetaFile };

struct TObject {
    explicit TObject(TKind kind) : Kind(kind) {}
    virtual ~TObject() = default;
    TKind Kind;
    bool Stock = false;
    int SelectCount = 0;  // how many contexts have it selected; a selected object is not deleted
};

/// Pixel memory arrives cleared by calloc, or for large blocks as fresh pages mapped from the
/// kernel, so a new bitmap is not written twice before its first pixel is drawn.
struct TFreePixels {
    std::size_t MappedBytes = 0;  // the whole mapping of a block mapped on its own; 0 for the heap
    void operator()(BYTE* pixels) const noexcept;
};
using TPixelStorage = std::unique_ptr<BYTE[], TFreePixels>;

// A bitmap's pixels: a device-dependent bitmap (IsDib false) in the screen's format, a monochrome
// bitmap, or a DIB section laid out exactly as its header describes.
struct TBitmapObj final : TObject {
    static constexpr TKind kKind = TKind::Bitmap;
    TBitmapObj() : TObject(kKind) {}
    LONG Width = 0;
    LONG Height = 0;       // always positive; TopDown tells the row order in memory
    WORD BitsPixel = 1;    // 1, 4, 8, 16, 24 or 32
    LONG Stride = 0;       // bytes per row in memory, a multiple of 4
    bool TopDown = true;   // device-dependent bitmaps are stored top-down
    bool IsDib = false;    // a DIB section
    bool Mono = false;     // a 1-bit device-dependent bitmap: converts through text/background colours
    DWORD Compression = BI_RGB;             // BI_RGB or BI_BITFIELDS
    std::array<DWORD, 3> Masks{};           // red, green, blue of a 16 or 32-bit bitmap
    std::vector<RGBQUAD> ColorTable;        // DIB sections of 8 bits or fewer
    BITMAPINFOHEADER Header{};              // DIB sections: the header as GetObject reports it
    TPixelStorage Storage;
    BYTE* Bits = nullptr;
    HDC SelectedInto = nullptr;

    /// Row y counted from the top of the image.
    BYTE* Row(LONG y) const { return Bits + std::size_t(TopDown ? y : Height - 1 - y) * std::size_t(Stride); }
    std::size_t StorageSize() const { return std::size_t(Stride) * std::size_t(Height); }
};

struct TPaletteObj final : TObject {
    static constexpr TKind kKind = TKind::Palette;
    TPaletteObj() : TObject(kKind) {}
    std::vector<PALETTEENTRY> Entries;
};

struct TBrushObj final : TObject {
    static constexpr TKind kKind = TKind::Brush;
    TBrushObj() : TObject(kKind) {}
    LOGBRUSH Log{};
    int SysColorIndex = -1;          // a system-colour brush follows the colour table
    std::unique_ptr<TBitmapObj> Pattern;  // BS_PATTERN, BS_DIBPATTERN: a private copy of the bitmap
    std::vector<WORD> PaletteIndices;     // a DIB pattern's DIB_PAL_COLORS table, resolved per context
};

struct TPenObj final : TObject {
    static constexpr TKind kKind = TKind::Pen;
    TPenObj() : TObject(kKind) {}
    LOGPEN Log{};
    // ExtCreatePen's pens answer GetObject with EXTLOGPEN: the whole style word (type, style, end
    // cap, join), the brush and the user style's entries.
    bool Extended = false;
    DWORD ExtStyle = 0;
    LOGBRUSH Brush{};
    std::vector<DWORD> UserStyle;
    // A geometric pen paints its stroke with this brush, made from Brush when the pen is made (a
    // pattern brush keeps its own copy of the bitmap, as brushes do); null for other pens.
    std::unique_ptr<TBrushObj> Fill;
};

class TRealizedFont;

struct TFontObj final : TObject {
    static constexpr TKind kKind = TKind::Font;
    TFontObj() : TObject(kKind) {}
    LOGFONTA Log{};
    /// The face and size the record resolved to, made when text first needs it (FontCache.cpp);
    /// shared by the fonts of equal settings.
    std::shared_ptr<TRealizedFont> Realized;
};

// An icon owns private bitmaps that no handle names: a monochrome AND mask and a colour image,
// or for a monochrome icon one mask twice as high with the XOR image below the AND mask.
struct TIconObj final : TObject {
    static constexpr TKind kKind = TKind::Icon;
    TIconObj() : TObject(kKind) {}
    LONG Width = 0;
    LONG Height = 0;
    std::unique_ptr<TBitmapObj> Mask;
    std::unique_ptr<TBitmapObj> Color;  // null for a monochrome icon
};

// An enhanced metafile: its bytes, checked once when the handle was made, and its header. Like
// icons, metafiles are not GDI objects: only DeleteEnhMetaFile ends them.
struct TEnhMetaFileObj final : TObject {
    static constexpr TKind kKind = TKind::EnhMetaFile;
    TEnhMetaFileObj() : TObject(kKind) {}
    std::vector<BYTE> Bytes;
};

struct TRegionObj final : TObject {
    static constexpr TKind kKind = TKind::Region;
    TRegionObj() : TObject(kKind) {}
    TRegion Region;
};

// A Windows metafile: its bytes as given, and how many of them hold whole records.
struct TMetaFileObj final : TObject {
    static constexpr TKind kKind = TKind::MetaFile;
    TMetaFileObj() : TObject(kKind) {}
    std::vector<BYTE> Bytes;
    std::size_t RecordsEnd = 0;  // the end of the last whole record (the end record included)
    WORD Objects = 0;            // the header's object table size
};

// Everything SaveDC keeps and RestoreDC brings back, as one value: a saved state is a plain copy.
// Selected objects are held by handle; each copy that names an object counts as a selection of
// it (DeviceContext.cpp), so nothing a saved state names can be deleted under it.
struct TDrawingState {
    HBITMAP Bitmap = nullptr;     // memory contexts: the selected bitmap (the stock 1 × 1 by default)
    HBRUSH Brush = nullptr;
    HPEN Pen = nullptr;
    HFONT Font = nullptr;
    HPALETTE Palette = nullptr;
    bool PaletteBackground = false;
    COLORREF BkColor = 0x00FFFFFF;
    COLORREF TextColor = 0;
    int BkMode = OPAQUE;
    int Rop2 = R2_COPYPEN;
    int PolyFillMode = ALTERNATE;
    int ArcDirection = AD_COUNTERCLOCKWISE;
    TPath Path;  // device pixels, so later changes of the transforms leave it alone
    FLOAT MiterLimit = 10.0f;     // SetMiterLimit: longest miter of a join, in pen widths
    int StretchMode = BLACKONWHITE;
    POINT BrushOrg{0, 0};         // device units
    POINT CurrentPosition{0, 0};  // logical units
    UINT TextAlign = TA_LEFT | TA_TOP | TA_NOUPDATECP;
    // Spacing added to text written without advances: each character's (SetTextCharacterExtra)
    // and, shared among the break characters, the line's (SetTextJustification); logical units.
    int CharExtra = 0;
    int BreakExtra = 0;
    int BreakCount = 0;
    // The clip, in device coordinates: the region the program selected, the meta region, and
    // their intersection, which drawing honours. Each is absent when the context has none.
    std::optional<TRegion> ClipRgn;
    std::optional<TRegion> MetaRgn;
    std::optional<TRegion> Clip;
    // Coordinate spaces (Coordinates.cpp): world → page (GM_ADVANCED only), page → device by the
    // window and viewport, then the layout's mirror.
    int MapMode = MM_TEXT;
    POINT WindowOrg{0, 0};
    SIZE WindowExt{1, 1};
    POINT ViewportOrg{0, 0};
    SIZE ViewportExt{1, 1};
    int GraphicsMode = GM_COMPATIBLE;
    XFORM World{1.0f, 0.0f, 0.0f, 1.0f, 0.0f, 0.0f};
    DWORD Layout = 0;
};

// What a recording context (CreateEnhMetaFileW, CreateMetaFileW) keeps beside its state: Recorder.h.
struct TRecorder {
    virtual ~TRecorder() = default;
    /// A Windows metafile's recorder (CreateMetaFileW) rather than an enhanced one's.
    virtual bool Windows() const { return false; }
};

struct TDCObj final : TObject, TDrawingState {
    static constexpr TKind kKind = TKind::DC;
    TDCObj() : TObject(kKind) {}
    bool IsMemory = false;  // false: a screen context from GetDC
    std::vector<TDrawingState> Saved;  // SaveDC's stack, oldest first
    std::unique_ptr<TRecorder> Recorder;  // a recording context's metafile in the making
    // Set by enhanced-metafile playback around a text record made in GM_COMPATIBLE, whose glyphs
    // keep their designed proportions although playback draws in GM_ADVANCED.
    bool CompatibleText = false;
};

/// The deepest SaveDC nesting a context accepts.
constexpr std::size_t kMaxSavedStates = 1024;

// Drawing and the clip: no call writes a pixel except through the clip stage of Transfer.h.
// A drawing call makes one TClipper from the context (Clip above) and its surface, and then
// - writes rectangles through TClipper::ForEachRect, or keeps its own fast path unchanged when
//   the clipper is Rectangular (no clip, or a one-rectangle clip, already cut into its box);
// - writes rows of pixels through TClipper::ForEachSpan (text, blended icons);
// - fills spans with a brush through TFillStage::Span/Box: clip → pattern → raster operation.
// The rasterisers of polygons and lines (and of paths later) produce spans in device
// coordinates and hand them to TFillStage; the coordinate spaces (Coordinates.h) convert
// logical coordinates before that point, so the clip stays in device space.

/// Combines a region into the context's clip region as ExtSelectClipRgn does (a null region
/// with RGN_COPY removes it). Returns the new clip's type, or ERROR with the last error set and
/// the clip unchanged.
int CombineClip(TDCObj& dc, const TRegion* region, int mode);

// ---- handle table ----------------------------------------------------------------------------

/// The layer's one lock; every public call holds it for its whole duration.
std::recursive_mutex& LayerMutex();

/// Holds the layer lock for a scope. The handle table takes no lock of its own, since it is only
/// ever reached from inside a public call; debug builds count the holds of each thread to check it.
class TLock {
public:
    explicit TLock(std::recursive_mutex& mutex) : FMutex(mutex) {
        FMutex.lock();
#ifndef NDEBUG
        ++HoldCount();
#endif
    }
    ~TLock() {
#ifndef NDEBUG
        --HoldCount();
#endif
        FMutex.unlock();
    }
    TLock(const TLock&) = delete;
    TLock& operator=(const TLock&) = delete;

#ifndef NDEBUG
    /// Whether the calling thread holds the layer lock (debug builds only).
    static bool Held() { return HoldCount() > 0; }

private:
    static int& HoldCount() {
        thread_local int count = 0;
        return count;
    }
#endif

private:
    std::recursive_mutex& FMutex;
};

// The handle table: every call expects the caller to hold the layer lock. A handle holds its
// slot's index + 1 in the high bits and the slot's generation in the low 16.

struct THandleSlot {
    std::unique_ptr<TObject> Object;
    std::uint16_t Generation = 1;
};

struct THandleTable {
    std::vector<THandleSlot> Slots;
    std::vector<std::size_t> Free;
    std::size_t Live = 0;
};

/// The one table. Find is inline because every call of the layer looks up its handles.
inline THandleTable& Handles() {
    static THandleTable table;
    return table;
}

/// Takes ownership and returns the new handle, or nullptr (last error set) when the table is full.
HGDIOBJ Register(std::unique_ptr<TObject> object);
/// The slot of a live handle; nullptr for a bad or stale one.
inline THandleSlot* FindSlot(HGDIOBJ handle) {
    assert(TLock::Held());
    const auto value = reinterpret_cast<std::uintptr_t>(handle);
    const std::uintptr_t index = value >> 16;
    THandleTable& table = Handles();
    if (index == 0 || index - 1 >= table.Slots.size())
        return nullptr;
    THandleSlot& slot = table.Slots[index - 1];
    if (!slot.Object || slot.Generation != std::uint16_t(value & 0xFFFF))
        return nullptr;
    return &slot;
}
/// The live object behind a handle, of any kind; nullptr for a bad handle (no error set).
inline TObject* Find(HGDIOBJ handle) {
    THandleSlot* slot = FindSlot(handle);
    return slot != nullptr ? slot->Object.get() : nullptr;
}
/// The live object of the given kind; nullptr with ERROR_INVALID_HANDLE otherwise.
template <typename T>
T* Lookup(HGDIOBJ handle) {
    TObject* object = Find(handle);
    if (object == nullptr || object->Kind != T::kKind) {
        SetLastError(ERROR_INVALID_HANDLE);
        return nullptr;
    }
    return static_cast<T*>(object);
}
/// Removes and destroys the object; false for a bad handle.
bool Unregister(HGDIOBJ handle);

/// Records that a context took (+1) or gave back (-1) an object. Stock objects are never deleted,
/// so they keep no count, and a new context's defaults need no look-up at all.
inline void CountSelection(TObject* object, int change) {
    if (object != nullptr && !object->Stock)
        object->SelectCount += change;
}

// ---- screen and process-wide state -----------------------------------------------------------

struct TState {
    TScreenSettings Screen;
    std::array<PALETTEENTRY, 256> SystemPalette{};
    std::array<bool, 256> SystemPaletteUsed{};
    std::array<COLORREF, kSysColorCount> SysColors{};
    std::array<HGDIOBJ, 20> Stock{};
    HBITMAP DefaultBitmap = nullptr;  // the 1 × 1 monochrome bitmap of a new memory context
    HBITMAP ScreenSurface = nullptr;  // pixels of the screen, made when something draws on it
};

/// The state, with the stock objects made on first use. Call with the layer lock held.
TState& State();
bool IsPaletteDevice();
/// The 20 static colours of a palette screen: ten at the start, ten at the end of the palette.
const std::array<PALETTEENTRY, 20>& StaticColors();
/// The 16 colours of a 4-bit device and of synthesised 4-bit colour tables.
const std::array<RGBQUAD, 16>& StandardColors16();
/// The 256 entries of CreateHalftonePalette.
const std::array<PALETTEENTRY, 256>& HalftoneEntries();
/// The colours behind the pixel values of a device-dependent 4- or 8-bit bitmap: the standard 16
/// colours, or the system palette as it stands. Unused system-palette entries come back with
/// rgbReserved == 1.
std::array<RGBQUAD, 256> DeviceColorTable(int bitsPixel);

/// Pixel storage under the cap, zero-filled; nullptr with ERROR_NOT_ENOUGH_MEMORY otherwise.
TPixelStorage AllocatePixels(std::size_t bytes);
/// A device-dependent bitmap of the given depth with zeroed pixels: fills width, height, depth and
/// stride after checking the size arithmetic and the cap. nullptr with the last error set on failure.
std::unique_ptr<TBitmapObj> NewBitmap(LONG width, LONG height, int bitsPixel);
/// A device-dependent bitmap of the given depth filled from rows padded to 16 bits, as
/// CreateBitmap and CreateIcon take them; monochrome at 1 bit. nullptr with the last error set.
std::unique_ptr<TBitmapObj> NewBitmapFromWords(LONG width, LONG height, int bitsPixel, const void* bits);
/// A device-dependent bitmap in the screen's format (monochrome on a 1-bit screen).
std::unique_ptr<TBitmapObj> NewScreenBitmap(LONG width, LONG height);
/// Bytes per row of a device-independent bitmap; 0 when it would overflow.
std::size_t DibStride(LONG width, int bitsPixel);

/// The bitmap a context draws on: the selected bitmap of a memory context, the screen surface of
/// a screen context (made on demand). nullptr with the last error set on failure.
TBitmapObj* SurfaceOf(TDCObj& dc);

// ---- pixel formats ---------------------------------------------------------------------------

/// How a bitmap's pixel values map to colours, resolved once per operation. Encoding looks up
/// the nearest colour-table entry through a small cache.
class TFormat {
public:
    explicit TFormat(const TBitmapObj& bitmap);
    TFormat(const TFormat&) = delete;
    TFormat& operator=(const TFormat&) = delete;
    int Bpp() const { return FBpp; }
    bool Mono() const { return FMono; }
    bool Indexed() const { return FBpp <= 8; }
    int TableSize() const { return FTableSize; }
    const RGBQUAD* Table() const { return FTable.data(); }
    /// Red, green and blue masks of a direct-colour format (zero for indexed formats).
    const std::array<DWORD, 3>& Masks() const { return FMasks; }
    /// A pixel value of this format → RGB as a COLORREF (red in the low byte).
    COLORREF Decode(DWORD value) const;
    /// An RGB colour (flags already stripped) → the nearest pixel value of this format.
    DWORD Encode(COLORREF rgb);
    DWORD AllOnes() const { return FBpp == 32 ? 0xFFFFFFFFu : ((1u << FBpp) - 1u); }

private:
    int FBpp;
    bool FMono;
    bool FSystemPalette = false;  // entries marked rgbReserved == 1 are free system-palette slots
    int FTableSize = 0;
    // The table and the cache serve indexed formats only, and only those clear them: a transfer
    // makes a format for each bitmap it touches, and direct-colour formats never read either.
    std::array<RGBQUAD, 256> FTable;
    std::array<DWORD, 3> FMasks{};
    std::array<int, 3> FShift{};
    std::array<int, 3> FBits{};
    std::array<std::uint64_t, 1024> FCache;  // (rgb + 1) << 32 | value; 0 means empty
};

inline DWORD ReadPixel(const BYTE* row, LONG x, int bpp) {
    switch (bpp) {
    case 1: return (row[x >> 3] >> (7 - (x & 7))) & 1u;
    case 4: return (row[x >> 1] >> ((x & 1) ? 0 : 4)) & 0xFu;
    case 8: return row[x];
    case 16: return DWORD(row[2 * x]) | (DWORD(row[2 * x + 1]) << 8);
    case 24: return DWORD(row[3 * x]) | (DWORD(row[3 * x + 1]) << 8) | (DWORD(row[3 * x + 2]) << 16);
    default: {
        DWORD v;
        std::memcpy(&v, row + 4 * std::size_t(x), 4);
        return v;
    }
    }
}

inline void WritePixel(BYTE* row, LONG x, int bpp, DWORD v) {
    switch (bpp) {
    case 1: {
        BYTE bit = BYTE(0x80u >> (x & 7));
        row[x >> 3] = (v & 1u) ? BYTE(row[x >> 3] | bit) : BYTE(row[x >> 3] & ~bit);
        break;
    }
    case 4:
        if (x & 1)
            row[x >> 1] = BYTE((row[x >> 1] & 0xF0u) | (v & 0xFu));
        else
            row[x >> 1] = BYTE((row[x >> 1] & 0x0Fu) | ((v & 0xFu) << 4));
        break;
    case 8: row[x] = BYTE(v); break;
    case 16:
        row[2 * x] = BYTE(v);
        row[2 * x + 1] = BYTE(v >> 8);
        break;
    case 24:
        row[3 * x] = BYTE(v);
        row[3 * x + 1] = BYTE(v >> 8);
        row[3 * x + 2] = BYTE(v >> 16);
        break;
    default: std::memcpy(row + 4 * std::size_t(x), &v, 4); break;
    }
}

/// A COLORREF as set on a context → plain RGB: PALETTEINDEX looks up the context's palette,
/// PALETTERGB drops its flag, and the top byte is ignored otherwise.
COLORREF ResolveColor(const TDCObj& dc, COLORREF color);

/// Copies the colour table a header describes (at most 2^bits entries, biClrUsed when non-zero)
/// and the masks of a 16 or 32-bit image. Returns false (ERROR_INVALID_PARAMETER) for a header
/// the layer does not accept. Accepts the 12-byte core header as well.
struct TDibDescription {
    LONG Width = 0;
    LONG Height = 0;       // positive
    bool TopDown = false;
    int BitsPixel = 0;
    DWORD Compression = BI_RGB;
    DWORD SizeImage = 0;   // as given in the header
    std::array<DWORD, 3> Masks{};
    std::vector<RGBQUAD> ColorTable;
    std::size_t Stride = 0;
    BITMAPINFOHEADER Header{};  // normalised to 40 bytes
};
bool DescribeDib(const BITMAPINFO* info, UINT usage, const TDCObj* dc, TDibDescription& out);

/// GetObject for a bitmap: BITMAP, or DIBSECTION for a DIB section when the buffer has room;
/// with no buffer, the size that would be written.
int GetBitmapObject(const TBitmapObj& bitmap, int size, void* buffer);
/// A private copy of a bitmap (pattern brushes keep one); nullptr with the last error set.
std::unique_ptr<TBitmapObj> CloneBitmap(const TBitmapObj& bitmap);
/// A brush's colour for a context: a system-colour brush reads the current system colour.
COLORREF BrushColor(const TBrushObj& brush);

}  // namespace gdi::detail
