// The transfer engine: clipping, the short paths for fills and plain copies, and the general
// span loop that combines source, pattern, mask and destination.
#include "platform/gdi/Transfer.h"

#include <algorithm>
#include <cstring>

namespace gdi::detail {
namespace {

struct TClip {
    long long X0 = 0, X1 = 0, Y0 = 0, Y1 = 0;
    bool Empty() const { return X0 >= X1 || Y0 >= Y1; }
};

TClip Intersect(const TInterval& x, const TInterval& y, long long width, long long height) {
    return TClip{std::max(x.Start, 0LL), std::min(x.Start + x.Length, width), std::max(y.Start, 0LL),
                 std::min(y.Start + y.Length, height)};
}

bool Overlap(const TClip& a, const TClip& b) {
    return !a.Empty() && !b.Empty() && a.X0 < b.X1 && b.X0 < a.X1 && a.Y0 < b.Y1 && b.Y0 < a.Y1;
}

void FillSpan(BYTE* row, long long x, long long n, int bpp, DWORD value) {
    if (bpp < 8) {
        for (long long i = 0; i < n; ++i)
            WritePixel(row, LONG(x + i), bpp, value);
        return;
    }
    const std::size_t bytes = std::size_t(bpp / 8);
    BYTE* p = row + std::size_t(x) * bytes;
    const BYTE first = BYTE(value);
    bool uniform = true;
    for (std::size_t k = 1; k < bytes; ++k)
        uniform = uniform && BYTE(value >> (8 * k)) == first;
    if (uniform) {
        // Black, white and every grey of a direct format: all bytes of the span are the same.
        std::memset(p, first, std::size_t(n) * bytes);
        return;
    }
    BYTE* const end = p + std::size_t(n) * bytes;
    switch (bpp) {
    case 16:
        for (; p != end; p += 2)
            std::memcpy(p, &value, 2);
        return;
    case 24:
        for (; p != end; p += 3)
            std::memcpy(p, &value, 3);
        return;
    default:
        for (; p != end; p += 4)
            std::memcpy(p, &value, 4);
        return;
    }
}

template <int Bpp>
void WriteValues(BYTE* row, long long x, int n, const DWORD* values) {
    for (int i = 0; i < n; ++i)
        WritePixel(row, LONG(x + i), Bpp, values[i]);
}

// Pixel values into a row, with the depth settled once for the span.
void WriteSpan(BYTE* row, long long x, int n, int bpp, const DWORD* values) {
    switch (bpp) {
    case 1: WriteValues<1>(row, x, n, values); return;
    case 4: WriteValues<4>(row, x, n, values); return;
    case 8: WriteValues<8>(row, x, n, values); return;
    case 16: WriteValues<16>(row, x, n, values); return;
    case 24: WriteValues<24>(row, x, n, values); return;
    default: WriteValues<32>(row, x, n, values); return;
    }
}

// A solid fill of the clipped rectangle. Whole rows without padding lie back to back in memory,
// so such a block is filled as a single span.
void FillBlock(TBitmapObj& dest, const TClip& clip, DWORD value) {
    const int bpp = dest.BitsPixel;
    if (bpp >= 8 && clip.X0 == 0 && clip.X1 == dest.Width &&
        std::size_t(dest.Width) * std::size_t(bpp / 8) == std::size_t(dest.Stride)) {
        const LONG top = LONG(dest.TopDown ? clip.Y0 : clip.Y1 - 1);
        FillSpan(dest.Row(top), 0, (clip.Y1 - clip.Y0) * (long long)dest.Width, bpp, value);
        return;
    }
    for (long long y = clip.Y0; y < clip.Y1; ++y)
        FillSpan(dest.Row(LONG(y)), clip.X0, clip.X1 - clip.X0, bpp, value);
}

// A same-format copy without stretching moves whole row pieces. When source and destination are
// one bitmap, rows are taken in the order that reads every source row before it is overwritten;
// memmove settles the overlap within a row.
void CopyRows(const TBitmapObj& source, TBitmapObj& dest, const TClip& clip, long long shiftX, long long shiftY) {
    const long long x0 = std::max(clip.X0, -shiftX);
    const long long x1 = std::min(clip.X1, (long long)source.Width - shiftX);
    const long long y0 = std::max(clip.Y0, -shiftY);
    const long long y1 = std::min(clip.Y1, (long long)source.Height - shiftY);
    if (x0 >= x1 || y0 >= y1)
        return;
    const std::size_t bytesPerPixel = std::size_t(dest.BitsPixel / 8);
    const std::size_t bytes = std::size_t(x1 - x0) * bytesPerPixel;
    const auto copyRow = [&](long long y) {
        std::memmove(dest.Row(LONG(y)) + std::size_t(x0) * bytesPerPixel,
                     source.Row(LONG(y + shiftY)) + std::size_t(x0 + shiftX) * bytesPerPixel, bytes);
    };
    if (shiftY < 0) {
        for (long long y = y1 - 1; y >= y0; --y)
            copyRow(y);
    } else {
        for (long long y = y0; y < y1; ++y)
            copyRow(y);
    }
}

// A plain copy between formats without stretching: each pixel is converted on its way, with no
// operation to apply and nothing to leave out inside the overlap of the two bitmaps.
void CopyConvertedRows(const TBitmapObj& source, TBitmapObj& dest, TConverter& converter, const TClip& clip,
                       long long shiftX, long long shiftY) {
    const long long x0 = std::max(clip.X0, -shiftX);
    const long long x1 = std::min(clip.X1, (long long)source.Width - shiftX);
    const long long y0 = std::max(clip.Y0, -shiftY);
    const long long y1 = std::min(clip.Y1, (long long)source.Height - shiftY);
    if (x0 >= x1)
        return;
    for (long long y = y0; y < y1; ++y)
        converter.ConvertRow(source.Row(LONG(y + shiftY)), x0 + shiftX, source.BitsPixel, dest.Row(LONG(y)), x0,
                             dest.BitsPixel, x1 - x0);
}

// What the span loop needs besides the transfer itself; worked out once by RunTransfer.
struct TSpanPlan {
    TBitmapObj& Dest;
    TClip Clip;
    TInterval Dx, Dy;
    unsigned Fore, Back;
    bool UsesPattern, UsesDest;
    TPatternSampler& Pattern;
    TSourceSampler* Sampler;  // null when the operation reads no source
};

// The general loop: source, pattern, mask and destination combined span by span.
bool RunSpans(const TTransfer& t, const TSpanPlan& plan) {
    TBitmapObj& dest = plan.Dest;
    const TClip& clip = plan.Clip;
    const bool masked = t.Mask != nullptr;
    const int bpp = dest.BitsPixel;
    const unsigned fore = plan.Fore, back = plan.Back;
    TSourceSampler* const sampler = plan.Sampler;

    const TBitmapObj* mask = t.Mask;
    std::unique_ptr<TBitmapObj> maskCopy;
    if (mask == &dest) {
        maskCopy = CloneBitmap(*mask);
        if (!maskCopy)
            return false;
        mask = maskCopy.get();
    }
    const long long maskX = Normalise(t.MX, t.Width).Start;
    const long long maskY = Normalise(t.MY, t.Height).Start;

    std::array<DWORD, kSpan> s{}, p{}, d{};
    std::array<BYTE, kSpan> sourceOk{}, patternOk{};
    for (long long cx = clip.X0; cx < clip.X1; cx += kSpan) {
        const int n = int(std::min<long long>(kSpan, clip.X1 - cx));
        if (sampler)
            sampler->PrepareColumns(cx - plan.Dx.Start, n);
        for (long long y = clip.Y0; y < clip.Y1; ++y) {
            if (sampler)
                sampler->FetchRow(y - plan.Dy.Start, s.data(), sourceOk.data());
            else
                std::fill_n(sourceOk.begin(), n, BYTE(1));
            if (plan.UsesPattern)
                plan.Pattern.FetchRow(cx, y, n, p.data(), patternOk.data());
            else
                std::fill_n(patternOk.begin(), n, BYTE(1));
            BYTE* row = dest.Row(LONG(y));
            if (plan.UsesDest) {
                for (int i = 0; i < n; ++i)
                    d[std::size_t(i)] = ReadPixel(row, LONG(cx + i), bpp);
            }
            if (!masked) {
                bool whole = true;
                for (int i = 0; i < n && whole; ++i)
                    whole = sourceOk[std::size_t(i)] && patternOk[std::size_t(i)];
                if (whole) {
                    ApplyRopSpan(fore, p.data(), s.data(), d.data(), std::size_t(n));
                    WriteSpan(row, cx, n, bpp, d.data());
                } else {
                    for (int i = 0; i < n; ++i) {
                        const std::size_t k = std::size_t(i);
                        if (sourceOk[k] && patternOk[k])
                            WritePixel(row, LONG(cx + i), bpp, Rop3(fore, p[k], s[k], d[k]));
                    }
                }
                continue;
            }
            const long long my = maskY + (y - plan.Dy.Start);
            const BYTE* maskRow = my >= 0 && my < mask->Height ? mask->Row(LONG(my)) : nullptr;
            for (int i = 0; i < n; ++i) {
                const std::size_t k = std::size_t(i);
                const long long mx = maskX + (cx + i - plan.Dx.Start);
                const bool bit = maskRow != nullptr && mx >= 0 && mx < mask->Width &&
                                 (ReadPixel(maskRow, LONG(mx), mask->BitsPixel) & 1u);
                const unsigned index = bit ? fore : back;
                if ((RopUsesSource(index) && !sourceOk[k]) || (RopUsesPattern(index) && !patternOk[k]))
                    continue;
                WritePixel(row, LONG(cx + i), bpp, Rop3(index, p[k], s[k], d[k]));
            }
        }
    }
    return true;
}

}  // namespace

bool RunTransfer(const TTransfer& t) {
    TBitmapObj& dest = *t.Dest;
    const TInterval dx = Normalise(t.X, t.Width);
    const TInterval dy = Normalise(t.Y, t.Height);
    const TClip clip = Intersect(dx, dy, dest.Width, dest.Height);
    if (clip.Empty())
        return true;

    const bool masked = t.Mask != nullptr;
    const unsigned fore = t.Fore & 0xFFu;
    const unsigned back = masked ? (t.Back & 0xFFu) : fore;
    const bool usesSource = RopUsesSource(fore) || RopUsesSource(back);
    const bool usesPattern = RopUsesPattern(fore) || RopUsesPattern(back);
    const bool usesDest = RopUsesDest(fore) || RopUsesDest(back);
    if (usesSource && t.Source == nullptr) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return false;
    }

    TFormat destFormat(dest);
    TPatternSampler pattern(usesPattern ? t.Brush : nullptr, *t.DestDC, destFormat);
    if (!masked && !usesSource && !usesDest && (!usesPattern || pattern.Solid())) {
        FillBlock(dest, clip, Rop3(fore, pattern.SolidValue(), 0, 0));
        return true;
    }
    if (!masked && usesPattern && pattern.Null())
        return true;
    if (!usesSource)
        return RunSpans(t, TSpanPlan{dest, clip, dx, dy, fore, back, usesPattern, usesDest, pattern, nullptr});

    // Plain locals rather than optional ones: an empty std::optional of these large objects
    // would be cleared byte by byte on every call.
    const TBitmapObj* source = t.Source;
    const TInterval sx = Normalise(t.SX, t.SWidth);
    const TInterval sy = Normalise(t.SY, t.SHeight);
    const TAxisMap xMap{dx, sx, (t.Width < 0) != (t.SWidth < 0), source->Width};
    const TAxisMap yMap{dy, sy, (t.Height < 0) != (t.SHeight < 0), source->Height};
    TFormat sourceFormat(*source);
    TConverter converter(sourceFormat, destFormat, *t.DestDC, t.SourceDC);
    if (!masked && fore == 0xCC && xMap.Identity() && yMap.Identity()) {
        if (converter.Identity() && dest.BitsPixel >= 8) {
            CopyRows(*source, dest, clip, sx.Start - dx.Start, sy.Start - dy.Start);
            return true;
        }
        if (source != &dest) {
            CopyConvertedRows(*source, dest, converter, clip, sx.Start - dx.Start, sy.Start - dy.Start);
            return true;
        }
    }
    // The span loop reads the source while it writes: a source that is the destination itself
    // is read from a copy when the two rectangles meet.
    std::unique_ptr<TBitmapObj> sourceCopy;
    if (source == &dest && Overlap(Intersect(sx, sy, source->Width, source->Height), clip)) {
        sourceCopy = CloneBitmap(*source);
        if (!sourceCopy)
            return false;
        source = sourceCopy.get();
    }
    TSourceSampler sampler(*source, converter, xMap, yMap, t.DestDC->StretchMode);
    return RunSpans(t, TSpanPlan{dest, clip, dx, dy, fore, back, usesPattern, usesDest, pattern, &sampler});
}

}  // namespace gdi::detail
