// The transfer engine behind BitBlt, StretchBlt, PatBlt, MaskBlt, StretchDIBits and FillRect:
// one pipeline that samples the source, realises the brush, converts both into the destination's
// pixel format and applies the raster operation span by span.
#pragma once

#include "platform/gdi/Internal.h"
#include "platform/gdi/RasterOp.h"

#include <optional>

namespace gdi::detail {

/// The engine works on spans of at most this many pixels, so its scratch memory stays fixed
/// whatever the size of the rectangles it is given.
constexpr int kSpan = 512;

/// A rectangle edge and extent as a caller gives them → its first coordinate and its length.
/// A negative extent describes the pixels between start + extent and start − 1.
struct TInterval {
    long long Start = 0;
    long long Length = 0;
};
constexpr TInterval Normalise(long long start, long long extent) {
    return extent >= 0 ? TInterval{start, extent} : TInterval{start + extent, -extent};
}

/// One axis of a stretch: destination offset d (0-based within the destination extent) → the
/// source pixels it is made from.
struct TAxisMap {
    TInterval Dest;
    TInterval Source;
    bool Mirrored = false;
    long long Limit = 0;  // the source bitmap's extent on this axis

    /// The centre pixel COLORONCOLOR takes, in source bitmap coordinates.
    long long Centre(long long d) const;
    /// The box [first, last) of source pixels, clipped to the bitmap; empty when wholly outside.
    void Box(long long d, long long& first, long long& last) const;
    bool Identity() const { return Dest.Length == Source.Length && !Mirrored; }
};

/// Turns pixel values of a source format into pixel values of the destination format, with the
/// monochrome rules of the layer.
class TConverter {
public:
    /// sourceDC is the context the source was selected into; without one (bits in caller memory,
    /// a pattern brush) colours go to a monochrome destination as the nearest of its two colours.
    TConverter(TFormat& source, TFormat& dest, const TDCObj& destDC, const TDCObj* sourceDC);
    TConverter(const TConverter&) = delete;
    TConverter& operator=(const TConverter&) = delete;

    /// True when every source value is already the destination value.
    bool Identity() const { return FMode == TMode::Identity; }
    DWORD Convert(DWORD value) {
        switch (FMode) {
        case TMode::Identity: return value;
        case TMode::Lookup: return FLookup[value & 0xFFu];
        case TMode::ToMono: return (value & FColourBits) == FMatch ? 1u : 0u;
        case TMode::Repack: return value & FColourBits;
        case TMode::Generic: break;
        }
        return FDest.Encode(FSource.Decode(value));
    }
    /// Converts n neighbouring pixels of a row (source columns from sourceX on, destination
    /// columns from destX on); the values are those Convert gives pixel by pixel, but the depths
    /// and the conversion are settled once for the row instead of once per pixel.
    void ConvertRow(const BYTE* from, long long sourceX, int sourceBpp, BYTE* to, long long destX, int destBpp,
                    long long n);
    /// Converts the pixels of a row at the given columns; a column of −1 has no source pixel and
    /// gets ok 0, every other one ok 1 and its value as Convert gives it.
    void ConvertColumns(const BYTE* row, int sourceBpp, const long long* columns, int n, DWORD* values, BYTE* ok);
    /// The colour a source value stands for once it is in the destination, before it is
    /// reduced to a destination value; HALFTONE averages these.
    COLORREF ColorOf(DWORD value) const;
    TFormat& Dest() { return FDest; }

private:
    /// Runs visit with the source depth fixed at compile time and the conversion as a function of
    /// one value; false when the mode or depth has no such form (the generic path then serves).
    template <typename TVisit>
    bool Specialise(int sourceBpp, TVisit&& visit) const;

    enum class TMode : std::uint8_t { Identity, Lookup, ToMono, Repack, Generic };
    enum class TMeaning : std::uint8_t { Colours, MonoToColour, ColourToMono, MonoToMono };
    TFormat& FSource;
    TFormat& FDest;
    TMode FMode = TMode::Generic;
    TMeaning FMeaning = TMeaning::Colours;
    DWORD FMatch = 0;        // colour to monochrome: the source value of the background colour
    DWORD FColourBits = 0;   // the bits of a source value that carry colour
    COLORREF FText = 0;      // monochrome to colour: the colours of 0 and 1
    COLORREF FBack = 0;
    std::array<DWORD, 256> FLookup;  // cleared and filled only by the conversions that use it
};

/// Reads the source of a transfer through the stretch mode of the destination context.
class TSourceSampler {
public:
    /// reached, when given, marks the source pixels that exist (see TTransfer::Reached); a box
    /// of several pixels counts by its first one.
    TSourceSampler(const TBitmapObj& bitmap, TConverter& converter, const TAxisMap& x, const TAxisMap& y,
                   int stretchMode, const TBitmapObj* reached = nullptr);
    TSourceSampler(const TSourceSampler&) = delete;
    TSourceSampler& operator=(const TSourceSampler&) = delete;

    /// Works out the source columns of destination offsets first … first + n − 1 (n ≤ kSpan).
    void PrepareColumns(long long first, int n);
    /// Destination values for destination row offset d over the prepared columns; ok[i] tells
    /// whether the pixel has a source (0 where it falls outside the source bitmap).
    void FetchRow(long long d, DWORD* values, BYTE* ok);

private:
    DWORD Combine(long long firstRow, long long lastRow, long long firstColumn, long long lastColumn);

    const TBitmapObj& FBitmap;
    const TBitmapObj* FReached;
    TConverter& FConverter;
    TAxisMap FX;
    TAxisMap FY;
    int FMode;
    int FBpp;
    int FCount = 0;
    bool FSingleColumns = true;
    // Written by PrepareColumns for every column of the span before FetchRow reads any, so they
    // are not cleared up front; FLast is read only where FFirst holds a column.
    std::array<long long, kSpan> FFirst;  // −1 marks a column outside the source
    std::array<long long, kSpan> FLast;
    // The last combined row of the prepared columns, for destination rows that repeat it.
    bool FCachedRows = false;
    long long FCachedFirstRow = 0, FCachedLastRow = 0;
    std::array<DWORD, kSpan> FCachedValues;
    std::array<BYTE, kSpan> FCachedOk;
};

/// The brush of a transfer, realised in the destination's format.
class TPatternSampler {
public:
    /// A null brush pointer stands for the null brush, which leaves the pixels it would paint.
    TPatternSampler(const TBrushObj* brush, const TDCObj& dc, TFormat& dest);
    TPatternSampler(const TPatternSampler&) = delete;
    TPatternSampler& operator=(const TPatternSampler&) = delete;

    bool Null() const { return FKind == TKind::Null; }
    bool Solid() const { return FKind == TKind::Solid; }
    DWORD SolidValue() const { return FFore; }
    /// Pattern values for destination pixels (x … x + n − 1, y); ok[i] is 0 where the brush
    /// leaves the pixel alone (a null brush, the gaps of a transparent hatch), else 1.
    void FetchRow(long long x, long long y, int n, DWORD* values, BYTE* ok);

private:
    enum class TKind : std::uint8_t { Null, Solid, Hatch, Pattern };
    TKind FKind = TKind::Null;
    DWORD FFore = 0;
    DWORD FBack = 0;
    bool FTransparent = false;
    int FHatch = 0;
    POINT FOrigin{0, 0};
    const TBitmapObj* FPattern = nullptr;
    std::unique_ptr<TBitmapObj> FResolved;  // a DIB_PAL_COLORS pattern with the context's colours
    std::optional<TFormat> FPatternFormat;
    std::optional<TConverter> FPatternConverter;
};

// ---- the clip stage -----------------------------------------------------------------------------
//
// Every drawing call writes its pixels through one stage: the destination rectangle (or span) is
// cut to the clip first, and only then are the source, the pattern and the raster operation
// applied to what remains. TClipper is that cut; it is made once per call from the context's
// clip (the clip region ∩ the meta region, device coordinates) and the surface's rectangle.
// - No clip, or a clip of one rectangle: the clip is a rectangle (Rectangular), and a caller
//   intersects its own rectangle once and keeps its fast paths (block fills, row copies).
// - Any other clip: ForEachRect hands out the pieces of a rectangle band by band and
//   ForEachSpan those of one row, each piece already inside the surface.
// The transfers run their fills and span loops on each piece; text and the icon blend write
// row spans through ForEachSpan; fills of spans (the region painters, the line stroker and the
// polygon fills) go through TFillStage, which is clip → pattern → raster operation.

/// A box of pixels: columns [X0, X1), rows [Y0, Y1).
struct TClip {
    long long X0 = 0, X1 = 0, Y0 = 0, Y1 = 0;
    bool Empty() const { return X0 >= X1 || Y0 >= Y1; }
    TClip Intersect(const TClip& o) const {
        return TClip{std::max(X0, o.X0), std::min(X1, o.X1), std::max(Y0, o.Y0), std::min(Y1, o.Y1)};
    }
};

class TClipper {
public:
    TClipper(const TDCObj& dc, const TBitmapObj& surface);
    /// The box that holds every writable pixel; empty when nothing may be written.
    const TClip& Bounds() const { return FBounds; }
    /// Whether every pixel of Bounds may be written.
    bool Rectangular() const { return FRegion == nullptr; }
    bool Contains(long long x, long long y) const;

    /// Calls visit(const TClip&) for each writable piece of box, top to bottom and left to right.
    template <typename TVisit>
    void ForEachRect(const TClip& box, TVisit&& visit) const {
        const TClip b = box.Intersect(FBounds);
        if (b.Empty())
            return;
        if (FRegion == nullptr) {
            visit(b);
            return;
        }
        const std::vector<RECT>& rects = FRegion->Rects();
        for (std::size_t i = FRegion->FirstBandBelow(b.Y0); i < rects.size() && rects[i].top < b.Y1; ++i) {
            const TClip piece = b.Intersect(TClip{rects[i].left, rects[i].right, rects[i].top, rects[i].bottom});
            if (!piece.Empty())
                visit(piece);
        }
    }
    /// Calls visit(x0, x1) for each writable run of columns [x0, x1) of row y, left to right.
    template <typename TVisit>
    void ForEachSpan(long long y, long long x0, long long x1, TVisit&& visit) const {
        if (y < FBounds.Y0 || y >= FBounds.Y1)
            return;
        x0 = std::max(x0, FBounds.X0);
        x1 = std::min(x1, FBounds.X1);
        if (x0 >= x1)
            return;
        if (FRegion == nullptr) {
            visit(x0, x1);
            return;
        }
        const std::vector<RECT>& rects = FRegion->Rects();
        for (std::size_t i = FRegion->FirstBandBelow(y); i < rects.size() && rects[i].top <= y; ++i) {
            const long long a = std::max<long long>(x0, rects[i].left), b = std::min<long long>(x1, rects[i].right);
            if (a < b)
                visit(a, b);
        }
    }

private:
    TClip FBounds;
    const TRegion* FRegion = nullptr;  // the clip when it is more than one rectangle
};

/// The brush a context paints with; null for the null brush, with which the platform leaves the
/// inside of a shape untouched whatever the raster operation.
const TBrushObj* SelectedBrush(const TDCObj& dc);

/// The last stage of every fill: destination spans are cut to the clip, then the brush (aligned
/// to the context's brush origin) and a raster operation that reads no source are applied.
class TFillStage {
public:
    /// rop is a ternary operation's index; a null brush pointer paints nothing where the
    /// operation uses the pattern.
    TFillStage(const TDCObj& dc, TBitmapObj& dest, const TBrushObj* brush, unsigned rop);
    TFillStage(const TFillStage&) = delete;
    TFillStage& operator=(const TFillStage&) = delete;

    const TClipper& Clipper() const { return FClipper; }
    /// Fills columns [x0, x1) of row y.
    void Span(long long y, long long x0, long long x1);
    /// Fills a box of rows and columns.
    void Box(const TClip& box);
    /// Fills the same spans on rows [top, bottom); the spans are ordered and apart, or in any order
    /// and overlapping where Overpaints().
    void Spans(long long top, long long bottom, const std::vector<TSpan>& spans);
    /// Whether painting a pixel again leaves it as the first painting did (the operation does not
    /// read the destination), so that spans may overlap and come in any order.
    bool Overpaints() const { return !FUsesDest; }

private:
    void Run(long long y, long long x0, long long x1);

    TBitmapObj& FDest;
    TClipper FClipper;
    TFormat FFormat;
    TPatternSampler FPattern;
    unsigned FRop;
    bool FUsesPattern;
    bool FUsesDest;
    bool FSkip;  // the operation needs the pattern and the brush is null
    bool FPlain;  // every pixel becomes FValue, whatever was there
    DWORD FValue;
    std::array<DWORD, kSpan> FP{}, FS{}, FD{};
    std::array<BYTE, kSpan> FOk{};
};

/// The raster operation SetROP2 names, as the ternary operation that ignores the source.
constexpr unsigned Rop2ToRop3(int rop2) {
    // A binary code − 1 is the truth table over (pattern, destination); the ternary table
    // repeats it for both source values.
    const unsigned table = unsigned(rop2 - 1) & 0xFu;
    unsigned index = 0;
    for (unsigned k = 0; k < 8; ++k) {
        const unsigned bit = ((k >> 2) & 1u) << 1 | (k & 1u);
        index |= ((table >> bit) & 1u) << k;
    }
    return index;
}
static_assert(Rop2ToRop3(R2_COPYPEN) == 0xF0 && Rop2ToRop3(R2_NOT) == 0x55 && Rop2ToRop3(R2_XORPEN) == 0x5A &&
              Rop2ToRop3(R2_BLACK) == 0x00 && Rop2ToRop3(R2_WHITE) == 0xFF && Rop2ToRop3(R2_NOP) == 0xAA);

/// One transfer, with its rectangles exactly as the caller gave them.
struct TTransfer {
    TDCObj* DestDC = nullptr;
    TBitmapObj* Dest = nullptr;
    long long X = 0, Y = 0, Width = 0, Height = 0;
    unsigned Fore = 0xCC;  // the operation's index; with a mask, where the mask bit is 1
    unsigned Back = 0xCC;  // with a mask, where the mask bit is 0
    const TBitmapObj* Source = nullptr;
    const TDCObj* SourceDC = nullptr;  // null for bits in caller memory
    long long SX = 0, SY = 0, SWidth = 0, SHeight = 0;
    const TBrushObj* Brush = nullptr;  // null: the null brush
    const TBitmapObj* Mask = nullptr;
    long long MX = 0, MY = 0;
    /// A run-length source's map of reached pixels (8 bits, the source's geometry): source pixels
    /// whose byte is 0 leave the destination alone.
    const TBitmapObj* Reached = nullptr;
};

/// A destination parallelogram with integer corners in device pixels: the points Origin + u·U +
/// v·V for u and v between 0 and 1. Pixel (x, y) belongs to it when the point (x, y) does, with
/// the left (or, along rows, upper) edge of each pair in and the other out, as for polygons; its
/// source pixel is the one under the centre (x + ½, y + ½) mapped back to (u, v) and onto the
/// source rectangle, as COLORONCOLOR takes centres.
struct TParallelogram {
    long long X0 = 0, Y0 = 0, UX = 0, UY = 0, VX = 0, VY = 0;
};

/// Runs a transfer onto a parallelogram: the transfer's destination rectangle is ignored, its
/// source rectangle (any signs) spans u and v. A mask, when given, lies over the source
/// rectangle from (MX, MY): where its bit is 0 the destination keeps its pixel. False (last
/// error set) only when scratch memory cannot be had.
bool RunParallelogram(const TTransfer& transfer, const TParallelogram& shape);

/// Runs a transfer whose handles and parameters the caller has checked. False (last error set)
/// only when scratch memory cannot be had.
bool RunTransfer(const TTransfer& transfer);

}  // namespace gdi::detail
