// The two transfers that decide pixel by pixel instead of by a raster operation: AlphaBlend,
// which mixes source and destination colours, and TransparentBlt, which copies every source
// pixel except those of one colour. Both stretch by taking the centre pixel (COLORONCOLOR),
// whatever the context's stretch mode, as the platform documents.
#include "platform/gdi/BlitCalls.h"
#include "platform/gdi/Coordinates.h"
#include "platform/gdi/Recorder.h"

#include <algorithm>

namespace gdi {

using namespace detail;

namespace {

// The byte above the colour channels of a 32-bit format, where alpha lives; false for formats
// that have none (16 and 24 bits, indexed, masks that use the top byte).
bool HasAlphaByte(const TBitmapObj& bitmap) {
    if (bitmap.BitsPixel != 32)
        return false;
    if (!bitmap.IsDib && bitmap.Compression != BI_BITFIELDS)
        return true;
    const TFormat format(bitmap);
    const auto& m = format.Masks();
    return ((m[0] | m[1] | m[2]) & 0xFF000000u) == 0;
}

// v·a / 255 rounded as the platform rounds it: (v·a + 127) / 255.
constexpr unsigned Scale(unsigned v, unsigned a) { return (v * a + 127u) / 255u; }

struct TPlacedBlit {
    TTransfer T;
    TInterval Dx, Dy;
};

// Both rectangles in device pixels with positive logical extents required: neither call
// mirrors. False with the last error set when the call is refused; empty when nothing is drawn.
bool PlaceBlit(HDC dest, int x, int y, int width, int height, HDC source, int sx, int sy, int sourceWidth,
               int sourceHeight, TPlacedBlit& out, bool& empty) {
    empty = false;
    TTransfer& t = out.T;
    if (!BeginTransfer(dest, t) || !AttachSource(source, t))
        return false;
    if (width < 0 || height < 0 || sourceWidth < 0 || sourceHeight < 0) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return false;
    }
    if (width == 0 || height == 0 || sourceWidth == 0 || sourceHeight == 0) {
        empty = true;
        return true;
    }
    PlaceDestination(t, x, y, width, height, true);
    bool none = false;
    if (!PlaceSource(t, sx, sy, sourceWidth, sourceHeight, none))
        return false;
    empty = none || t.Width == 0 || t.Height == 0;
    out.Dx = Normalise(t.X, t.Width);
    out.Dy = Normalise(t.Y, t.Height);
    return true;
}

// Calls pixel(destValue&, sourceValue) for every writable destination pixel whose centre sample
// lies inside the source bitmap; the callback returns whether to write.
template <typename TPixel>
void ForEachBlendPixel(const TPlacedBlit& placed, const TBitmapObj& source, TPixel&& pixel) {
    const TTransfer& t = placed.T;
    TBitmapObj& dest = *t.Dest;
    const TAxisMap xMap{placed.Dx, Normalise(t.SX, t.SWidth), (t.Width < 0) != (t.SWidth < 0), source.Width};
    const TAxisMap yMap{placed.Dy, Normalise(t.SY, t.SHeight), (t.Height < 0) != (t.SHeight < 0), source.Height};
    const TClipper clipper(*t.DestDC, dest);
    const TClip box{placed.Dx.Start, placed.Dx.Start + placed.Dx.Length, placed.Dy.Start,
                    placed.Dy.Start + placed.Dy.Length};
    const int bpp = dest.BitsPixel, sourceBpp = source.BitsPixel;
    clipper.ForEachRect(box, [&](const TClip& piece) {
        for (long long y = piece.Y0; y < piece.Y1; ++y) {
            const long long line = yMap.Centre(y - placed.Dy.Start);
            if (line < 0 || line >= source.Height)
                continue;
            const BYTE* from = source.Row(LONG(line));
            BYTE* row = dest.Row(LONG(y));
            for (long long x = piece.X0; x < piece.X1; ++x) {
                const long long column = xMap.Centre(x - placed.Dx.Start);
                if (column < 0 || column >= source.Width)
                    continue;
                DWORD value = ReadPixel(row, LONG(x), bpp);
                if (pixel(value, ReadPixel(from, LONG(column), sourceBpp)))
                    WritePixel(row, LONG(x), bpp, value);
            }
        }
    });
}

}  // namespace

BOOL AlphaBlend(HDC dest, int x, int y, int width, int height, HDC source, int sx, int sy, int sourceWidth,
                int sourceHeight, BLENDFUNCTION blend) {
    TLock lock(LayerMutex());
    TPlacedBlit placed;
    bool empty = false;
    if (!PlaceBlit(dest, x, y, width, height, source, sx, sy, sourceWidth, sourceHeight, placed, empty))
        return FALSE;
    if (Recording(*placed.T.DestDC) && !RecordBlt(*placed.T.DestDC, x, y, width, height, source, sx, sy, sourceWidth,
                                                  sourceHeight, std::bit_cast<DWORD>(blend), true, EMR_ALPHABLEND))
        return FALSE;
    TTransfer& t = placed.T;
    const bool perPixel = (blend.AlphaFormat & AC_SRC_ALPHA) != 0;
    // Per-pixel alpha needs a 32-bit source; the source rectangle must lie inside its surface; a
    // surface cannot blend onto an overlapping part of itself.
    if (perPixel && t.Source->BitsPixel != 32)
        return RefuseCall(ERROR_INVALID_PARAMETER);
    if (empty)
        return TRUE;
    const TInterval sxs = Normalise(t.SX, t.SWidth), sys = Normalise(t.SY, t.SHeight);
    if (sxs.Start < 0 || sys.Start < 0 || sxs.Start + sxs.Length > t.Source->Width ||
        sys.Start + sys.Length > t.Source->Height)
        return RefuseCall(ERROR_INVALID_PARAMETER);
    if (t.Source == t.Dest) {
        const TClip a{sxs.Start, sxs.Start + sxs.Length, sys.Start, sys.Start + sys.Length};
        const TClip b{placed.Dx.Start, placed.Dx.Start + placed.Dx.Length, placed.Dy.Start,
                      placed.Dy.Start + placed.Dy.Length};
        if (!a.Intersect(b).Empty())
            return RefuseCall(ERROR_INVALID_PARAMETER);
    }
    const TBitmapObj& from = *t.Source;
    TFormat sourceFormat(from);
    TFormat destFormat(*t.Dest);
    TConverter converter(sourceFormat, destFormat, *t.DestDC, t.SourceDC);
    const bool sourceAlpha = HasAlphaByte(from), destAlpha = HasAlphaByte(*t.Dest);
    const unsigned constant = blend.SourceConstantAlpha;
    ForEachBlendPixel(placed, from, [&](DWORD& value, DWORD sourceValue) {
        const COLORREF s = converter.ColorOf(sourceValue);
        const COLORREF d = destFormat.Decode(value);
        const unsigned sa = sourceAlpha ? (sourceValue >> 24) & 0xFFu : 0u;
        const unsigned da = destAlpha ? (value >> 24) & 0xFFu : 0u;
        const unsigned sc[4] = {GetRValue(s), GetGValue(s), GetBValue(s), sa};
        const unsigned dc[4] = {GetRValue(d), GetGValue(d), GetBValue(d), da};
        unsigned out[4];
        if (perPixel) {
            // Premultiplied: the source, scaled by the constant, over the destination that its
            // alpha leaves; channels that were not premultiplied saturate instead of wrapping.
            const unsigned alpha = Scale(sa, constant);
            for (int c = 0; c < 4; ++c)
                out[c] = std::min(255u, Scale(sc[c], constant) + Scale(dc[c], 255u - alpha));
        } else {
            for (int c = 0; c < 4; ++c)
                out[c] = (sc[c] * constant + dc[c] * (255u - constant) + 127u) / 255u;
        }
        value = destFormat.Encode(RGB(BYTE(out[0]), BYTE(out[1]), BYTE(out[2])));
        if (destAlpha)
            value = (value & 0x00FFFFFFu) | (DWORD(out[3]) << 24);
        return true;
    });
    return TRUE;
}

BOOL TransparentBlt(HDC dest, int x, int y, int width, int height, HDC source, int sx, int sy, int sourceWidth,
                    int sourceHeight, UINT transparent) {
    TLock lock(LayerMutex());
    TPlacedBlit placed;
    bool empty = false;
    if (!PlaceBlit(dest, x, y, width, height, source, sx, sy, sourceWidth, sourceHeight, placed, empty))
        return FALSE;
    if (Recording(*placed.T.DestDC) && !RecordBlt(*placed.T.DestDC, x, y, width, height, source, sx, sy, sourceWidth,
                                                  sourceHeight, transparent, true, EMR_TRANSPARENTBLT))
        return FALSE;
    if (empty)
        return TRUE;
    TTransfer& t = placed.T;
    std::unique_ptr<TBitmapObj> copy;
    const TBitmapObj* from = t.Source;
    if (from == t.Dest) {
        copy = CloneBitmap(*from);
        if (!copy)
            return FALSE;
        from = copy.get();
    }
    TFormat sourceFormat(*from);
    TFormat destFormat(*t.Dest);
    TConverter converter(sourceFormat, destFormat, *t.DestDC, t.SourceDC);
    // The key is a colour of the source: its nearest source value, compared on the colour bits
    // (a 32-bit source's alpha byte is copied, never compared).
    const DWORD colourBits = sourceFormat.Indexed() ? sourceFormat.AllOnes()
                                                    : (sourceFormat.Masks()[0] | sourceFormat.Masks()[1] |
                                                       sourceFormat.Masks()[2]);
    const DWORD key = sourceFormat.Encode(transparent & 0x00FFFFFFu) & colourBits;
    ForEachBlendPixel(placed, *from, [&](DWORD& value, DWORD sourceValue) {
        if ((sourceValue & colourBits) == key)
            return false;
        value = converter.Convert(sourceValue);
        return true;
    });
    return TRUE;
}

}  // namespace gdi
