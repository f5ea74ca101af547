// Reading the source of a transfer: where each destination pixel comes from, how several source
// pixels shrink into one under the stretch modes, and how values change format on the way.
#include "platform/gdi/Transfer.h"

#include "platform/gdi/PixelRows.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <type_traits>

#if defined(__x86_64__) || defined(__i386__)
#include <immintrin.h>
#endif

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

#if defined(__x86_64__) || defined(__i386__)
// 24-bit pixels to 32-bit ones with a clear spare byte, four at a time by a byte shuffle: the
// conversion of every 24-bit image drawn on a 32-bit screen. Each step reads sixteen bytes, so
// it stops while at least six pixels are left and the last read stays inside the row piece.
// Returns how many pixels it converted.
__attribute__((target("ssse3"))) long long WidenTwentyFourBits(const BYTE* from, BYTE* to, long long n) {
    const __m128i spread = _mm_setr_epi8(0, 1, 2, -128, 3, 4, 5, -128, 6, 7, 8, -128, 9, 10, 11, -128);
    long long i = 0;
    for (; i + 6 <= n; i += 4, from += 12, to += 16) {
        const __m128i pixels = _mm_loadu_si128(reinterpret_cast<const __m128i*>(from));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(to), _mm_shuffle_epi8(pixels, spread));
    }
    return i;
}

bool CanShuffleBytes() {
    static const bool supported = __builtin_cpu_supports("ssse3");
    return supported;
}
#else
long long WidenTwentyFourBits(const BYTE*, BYTE*, long long) { return 0; }
bool CanShuffleBytes() { return false; }
#endif

// Calls visit with the source depth as a compile-time constant and the per-value map: indexed
// depths (1, 4 and 8 bits) or direct-colour ones (16, 24 and 32). False for any other depth.
template <typename TMap, typename TVisit>
bool WithIndexedDepth(int bpp, const TMap& map, TVisit&& visit) {
    switch (bpp) {
    case 1: return visit(std::integral_constant<int, 1>{}, map);
    case 4: return visit(std::integral_constant<int, 4>{}, map);
    case 8: return visit(std::integral_constant<int, 8>{}, map);
    default: return false;
    }
}

template <typename TMap, typename TVisit>
bool WithDirectDepth(int bpp, const TMap& map, TVisit&& visit) {
    switch (bpp) {
    case 16: return visit(std::integral_constant<int, 16>{}, map);
    case 24: return visit(std::integral_constant<int, 24>{}, map);
    case 32: return visit(std::integral_constant<int, 32>{}, map);
    default: return false;
    }
}

// The AND (or OR) of the pixel values of a box. Rows stop being read once the result can no
// longer change: no bits left for AND, every bit a value of this depth can hold for OR.
template <int Bpp>
DWORD ScanBox(const TBitmapObj& bitmap, long long firstRow, long long lastRow, long long firstColumn,
              long long lastColumn, bool orScans) {
    constexpr DWORD kAllOnes = Bpp == 32 ? 0xFFFFFFFFu : (DWORD(1) << Bpp) - 1u;
    const DWORD settled = orScans ? kAllOnes : 0u;
    DWORD combined = orScans ? 0u : 0xFFFFFFFFu;
    for (long long r = firstRow; r < lastRow && combined != settled; ++r) {
        const BYTE* row = bitmap.Row(LONG(r));
        if (orScans) {
            for (long long c = firstColumn; c < lastColumn; ++c)
                combined |= ReadPixel(row, LONG(c), Bpp);
        } else {
            for (long long c = firstColumn; c < lastColumn; ++c)
                combined &= ReadPixel(row, LONG(c), Bpp);
        }
    }
    return combined;
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
        FLookup.fill(0);
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
            FLookup.fill(0);
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
        FLookup.fill(0);
        for (DWORD v = 0; v <= source.AllOnes(); ++v)
            FLookup[v] = dest.Encode(source.Decode(v));
        FMode = TMode::Lookup;
        return;
    }
    FMode = TMode::Generic;
}

template <typename TVisit>
bool TConverter::Specialise(int sourceBpp, TVisit&& visit) const {
    switch (FMode) {
    case TMode::Identity: {
        const auto same = [](DWORD value) { return value; };
        return sourceBpp <= 8 ? WithIndexedDepth(sourceBpp, same, visit) : WithDirectDepth(sourceBpp, same, visit);
    }
    case TMode::Lookup: {
        const auto& table = FLookup;
        return WithIndexedDepth(sourceBpp, [&table](DWORD value) { return table[value & 0xFFu]; }, visit);
    }
    case TMode::ToMono: {
        const DWORD bits = FColourBits, match = FMatch;
        return WithDirectDepth(sourceBpp, [bits, match](DWORD value) { return (value & bits) == match ? 1u : 0u; },
                               visit);
    }
    case TMode::Repack: {
        const DWORD bits = FColourBits;
        return WithDirectDepth(sourceBpp, [bits](DWORD value) { return value & bits; }, visit);
    }
    case TMode::Generic: break;
    }
    return false;
}

void TConverter::ConvertRow(const BYTE* from, long long sourceX, int sourceBpp, BYTE* to, long long destX,
                            int destBpp, long long n) {
    if (FMode == TMode::Repack && sourceBpp == 24 && destBpp == 32 && FColourBits == 0x00FFFFFFu &&
        CanShuffleBytes()) {
        const long long widened = WidenTwentyFourBits(from + std::size_t(sourceX) * 3, to + std::size_t(destX) * 4, n);
        sourceX += widened;
        destX += widened;
        n -= widened;
    }
    const bool done = Specialise(sourceBpp, [&](auto depth, const auto& map) {
        return MapToDepth<decltype(depth)::value>(from, sourceX, to, destX, destBpp, n, map);
    });
    if (done)
        return;
    for (long long i = 0; i < n; ++i)
        WritePixel(to, LONG(destX + i), destBpp, Convert(ReadPixel(from, LONG(sourceX + i), sourceBpp)));
}

void TConverter::ConvertColumns(const BYTE* row, int sourceBpp, const long long* columns, int n, DWORD* values,
                                BYTE* ok) {
    const bool done = Specialise(sourceBpp, [&](auto depth, const auto& map) {
        for (int i = 0; i < n; ++i) {
            ok[i] = columns[i] >= 0;
            if (ok[i])
                values[i] = map(ReadPixel(row, LONG(columns[i]), decltype(depth)::value));
        }
        return true;
    });
    if (done)
        return;
    for (int i = 0; i < n; ++i) {
        ok[i] = columns[i] >= 0;
        if (ok[i])
            values[i] = Convert(ReadPixel(row, LONG(columns[i]), sourceBpp));
    }
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
                               const TAxisMap& y, int stretchMode, const TBitmapObj* reached)
    : FBitmap(bitmap), FReached(reached), FConverter(converter), FX(x), FY(y), FMode(stretchMode),
      FBpp(bitmap.BitsPixel) {}

void TSourceSampler::PrepareColumns(long long first, int n) {
    FCount = n;
    FSingleColumns = true;
    FCachedRows = false;
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
        FConverter.ConvertColumns(FBitmap.Row(LONG(firstRow)), FBpp, FFirst.data(), FCount, values, ok);
    } else if (FCachedRows && firstRow == FCachedFirstRow && lastRow == FCachedLastRow) {
        // Growing vertically repeats a source row range on several destination rows; combining
        // its boxes once keeps a picture that is also shrunk across (a strip of millions of
        // columns drawn into a cell) at the cost of reading it once.
        std::copy_n(FCachedValues.begin(), FCount, values);
        std::copy_n(FCachedOk.begin(), FCount, ok);
    } else {
        for (int i = 0; i < FCount; ++i) {
            ok[i] = FFirst[i] >= 0;
            if (ok[i])
                values[i] = Combine(firstRow, lastRow, FFirst[i], FLast[i]);
        }
        std::copy_n(values, FCount, FCachedValues.begin());
        std::copy_n(ok, FCount, FCachedOk.begin());
        FCachedRows = true;
        FCachedFirstRow = firstRow;
        FCachedLastRow = lastRow;
    }
    if (FReached != nullptr) {
        const BYTE* reached = FReached->Row(LONG(firstRow));
        for (int i = 0; i < FCount; ++i)
            ok[i] = ok[i] && reached[FFirst[i]] != 0;
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
    DWORD combined = 0;
    switch (FBpp) {
    case 1: combined = ScanBox<1>(FBitmap, firstRow, lastRow, firstColumn, lastColumn, orScans); break;
    case 4: combined = ScanBox<4>(FBitmap, firstRow, lastRow, firstColumn, lastColumn, orScans); break;
    case 8: combined = ScanBox<8>(FBitmap, firstRow, lastRow, firstColumn, lastColumn, orScans); break;
    case 16: combined = ScanBox<16>(FBitmap, firstRow, lastRow, firstColumn, lastColumn, orScans); break;
    case 24: combined = ScanBox<24>(FBitmap, firstRow, lastRow, firstColumn, lastColumn, orScans); break;
    default: combined = ScanBox<32>(FBitmap, firstRow, lastRow, firstColumn, lastColumn, orScans); break;
    }
    return FConverter.Convert(combined);
}

}  // namespace gdi::detail
