// Reading the source of a transfer: where each destination pixel comes from, how several source
// pixels shrink into one under the stretch modes, and how values change format on the way.
#include "platform/gdi/Transfer.h"

#include <algorithm>
#include <cstdint>

namespace gdi::detail {
namespace {

// The bits of a pixel value that carry colour; the rest (the spare byte of a 32-bit pixel, the
// top bit of a 5-5-5 pixel) must not decide whether two pixels are the same colour.
DWORD ColourBits(const TFormat& format) {
    if (format.Indexed())
        return format.AllOnes();
    const auto& masks = format.Masks();
    return masks[0] | masks[1] | masks[2];
}

bool SameEncoding(const TFormat& a, const TFormat& b) {
    if (a.Bpp() != b.Bpp() || a.Mono() != b.Mono())
        return false;
    if (!a.Indexed())
        return a.Masks() == b.Masks();
    return a.TableSize() == b.TableSize() &&
           std::equal(a.Table(), a.Table() + a.TableSize(), b.Table(), [](const RGBQUAD& p, const RGBQUAD& q) {
               return p.rgbRed == q.rgbRed && p.rgbGreen == q.rgbGreen && p.rgbBlue == q.rgbBlue &&
                      p.rgbReserved == q.rgbReserved;
           });
}

}  // namespace

// Extents are at most 2^31, so (2e + 1) · source length stays below 2^63 in unsigned 64 bits.
long long TAxisMap::Centre(long long d) const {
    const std::uint64_t e = std::uint64_t(Mirrored ? Dest.Length - 1 - d : d);
    const std::uint64_t offset = ((2 * e + 1) * std::uint64_t(Source.Length)) / (2 * std::uint64_t(Dest.Length));
    return Source.Start + (long long)offset;
}

void TAxisMap::Box(long long d, long long& first, long long& last) const {
    const std::uint64_t e = std::uint64_t(Mirrored ? Dest.Length - 1 - d : d);
    const std::uint64_t sourceLength = std::uint64_t(Source.Length);
    const std::uint64_t destLength = std::uint64_t(Dest.Length);
    const std::uint64_t begin = e * sourceLength / destLength;
    const std::uint64_t end = std::max(begin + 1, (e + 1) * sourceLength / destLength);
    first = std::max(Source.Start + (long long)begin, 0LL);
    last = std::min(Source.Start + (long long)end, Limit);
}

TConverter::TConverter(TFormat& source, TFormat& dest, const TDCObj& destDC, const TDCObj* sourceDC)
    : FSource(source), FDest(dest) {
    if (source.Mono() && dest.Mono()) {
        FMode = TMode::Identity;
        FMeaning = TMeaning::MonoToMono;
        return;
    }
    if (source.Mono()) {
        FMeaning = TMeaning::MonoToColour;
        FText = ResolveColor(destDC, destDC.TextColor);
        FBack = ResolveColor(destDC, destDC.BkColor);
        FLookup[0] = dest.Encode(FText);
        FLookup[1] = dest.Encode(FBack);
        FMode = TMode::Lookup;
        return;
    }
    if (dest.Mono() && sourceDC != nullptr) {
        FMeaning = TMeaning::ColourToMono;
        FColourBits = ColourBits(source);
        FMatch = source.Encode(ResolveColor(*sourceDC, sourceDC->BkColor)) & FColourBits;
        if (source.Indexed()) {
            for (DWORD v = 0; v <= source.AllOnes(); ++v)
                FLookup[v] = v == FMatch ? 1u : 0u;
            FMode = TMode::Lookup;
        } else {
            FMode = TMode::ToMono;
        }
        return;
    }
    if (SameEncoding(source, dest)) {
        FMode = TMode::Identity;
        return;
    }
    if (!source.Indexed() && !dest.Indexed() && source.Masks() == dest.Masks()) {
        // The same channels at the same places in a wider or narrower value (24 and 32 bits):
        // only the spare bits go.
        FColourBits = ColourBits(source);
        FMode = TMode::Repack;
        return;
    }
    if (source.Indexed()) {
        for (DWORD v = 0; v <= source.AllOnes(); ++v)
            FLookup[v] = dest.Encode(source.Decode(v));
        FMode = TMode::Lookup;
        return;
    }
    FMode = TMode::Generic;
}

COLORREF TConverter::ColorOf(DWORD value) const {
    switch (FMeaning) {
    case TMeaning::MonoToMono: return FDest.Decode(value & 1u);
    case TMeaning::MonoToColour: return (value & 1u) ? FBack : FText;
    case TMeaning::ColourToMono: return FDest.Decode((value & FColourBits) == FMatch ? 1u : 0u);
    case TMeaning::Colours: break;
    }
    return FSource.Decode(value);
}

TSourceSampler::TSourceSampler(const TBitmapObj& bitmap, TConverter& converter, const TAxisMap& x,
                               const TAxisMap& y, int stretchMode)
    : FBitmap(bitmap), FConverter(converter), FX(x), FY(y), FMode(stretchMode), FBpp(bitmap.BitsPixel) {}

void TSourceSampler::PrepareColumns(long long first, int n) {
    FCount = n;
    FSingleColumns = true;
    for (int i = 0; i < n; ++i) {
        long long begin, end;
        if (FMode == COLORONCOLOR) {
            begin = FX.Centre(first + i);
            end = begin + 1;
            if (begin < 0 || begin >= FX.Limit)
                end = begin;
        } else {
            FX.Box(first + i, begin, end);
        }
        if (begin >= end) {
            FFirst[i] = -1;
            continue;
        }
        FFirst[i] = begin;
        FLast[i] = end;
        if (end - begin > 1)
            FSingleColumns = false;
    }
}

void TSourceSampler::FetchRow(long long d, DWORD* values, BYTE* ok) {
    long long firstRow, lastRow;
    if (FMode == COLORONCOLOR) {
        firstRow = FY.Centre(d);
        lastRow = firstRow < 0 || firstRow >= FY.Limit ? firstRow : firstRow + 1;
    } else {
        FY.Box(d, firstRow, lastRow);
    }
    if (firstRow >= lastRow) {
        std::fill_n(ok, FCount, BYTE(0));
        return;
    }
    if (lastRow - firstRow == 1 && FSingleColumns) {
        // One source pixel per destination pixel: the case of every plain copy and of shrinking
        // with COLORONCOLOR, which reads nothing but the sampled pixels.
        const BYTE* row = FBitmap.Row(LONG(firstRow));
        for (int i = 0; i < FCount; ++i) {
            ok[i] = FFirst[i] >= 0;
            if (ok[i])
                values[i] = FConverter.Convert(ReadPixel(row, LONG(FFirst[i]), FBpp));
        }
        return;
    }
    for (int i = 0; i < FCount; ++i) {
        ok[i] = FFirst[i] >= 0;
        if (ok[i])
            values[i] = Combine(firstRow, lastRow, FFirst[i], FLast[i]);
    }
}

DWORD TSourceSampler::Combine(long long firstRow, long long lastRow, long long firstColumn, long long lastColumn) {
    if (lastRow - firstRow == 1 && lastColumn - firstColumn == 1)
        return FConverter.Convert(ReadPixel(FBitmap.Row(LONG(firstRow)), LONG(firstColumn), FBpp));
    if (FMode == HALFTONE) {
        // A box is at most the whole bitmap (under 2^33 pixels), so the sums fit 64 bits.
        std::uint64_t red = 0, green = 0, blue = 0;
        for (long long r = firstRow; r < lastRow; ++r) {
            const BYTE* row = FBitmap.Row(LONG(r));
            for (long long c = firstColumn; c < lastColumn; ++c) {
                COLORREF colour = FConverter.ColorOf(ReadPixel(row, LONG(c), FBpp));
                red += GetRValue(colour);
                green += GetGValue(colour);
                blue += GetBValue(colour);
            }
        }
        const std::uint64_t count = std::uint64_t(lastRow - firstRow) * std::uint64_t(lastColumn - firstColumn);
        const auto average = [count](std::uint64_t sum) { return BYTE((sum + count / 2) / count); };
        return FConverter.Dest().Encode(RGB(average(red), average(green), average(blue)));
    }
    // BLACKONWHITE keeps black (zero bits) wherever any pixel of the box has them, WHITEONBLACK
    // keeps set bits; both work on the source's own values before they change format.
    const bool orScans = FMode == WHITEONBLACK;
    DWORD combined = orScans ? 0u : 0xFFFFFFFFu;
    for (long long r = firstRow; r < lastRow; ++r) {
        const BYTE* row = FBitmap.Row(LONG(r));
        for (long long c = firstColumn; c < lastColumn; ++c) {
            if (orScans)
                combined |= ReadPixel(row, LONG(c), FBpp);
            else
                combined &= ReadPixel(row, LONG(c), FBpp);
        }
    }
    return FConverter.Convert(combined);
}

}  // namespace gdi::detail
