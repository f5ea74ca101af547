// The transfer engine: clipping, the short paths for fills and plain copies, and the general
// span loop that combines source, pattern, mask and destination.
#include "platform/gdi/Transfer.h"

#include <algorithm>
#include <cstring>

namespace gdi::detail {
namespace {

TClip Intersect(const TInterval& x, const TInterval& y, long long width, long long height) {
    return TClip{std::max(x.Start, 0LL), std::min(x.Start + x.Length, width), std::max(y.Start, 0LL),
                 std::min(y.Start + y.Length, height)};
}

TClip BoxOf(const TInterval& x, const TInterval& y) {
    return TClip{x.Start, x.Start + x.Length, y.Start, y.Start + y.Length};
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
    TInterval Dx, Dy;
    unsigned Fore, Back;
    bool UsesPattern, UsesDest;
    TPatternSampler& Pattern;
    TSourceSampler* Sampler;  // null when the operation reads no source
    const TBitmapObj* Mask;   // a copy when the mask is the destination itself
};

// The general loop: source, pattern, mask and destination combined span by span over one
// writable piece of the destination.
void RunSpans(const TTransfer& t, const TSpanPlan& plan, const TClip& clip) {
    TBitmapObj& dest = plan.Dest;
    const bool masked = plan.Mask != nullptr;
    const int bpp = dest.BitsPixel;
    const unsigned fore = plan.Fore, back = plan.Back;
    TSourceSampler* const sampler = plan.Sampler;
    const TBitmapObj* mask = plan.Mask;
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
}

}  // namespace

// ---- the clip stage ----------------------------------------------------------------------------

TClipper::TClipper(const TDCObj& dc, const TBitmapObj& surface) : FBounds{0, surface.Width, 0, surface.Height} {
    if (!dc.Clip)
        return;
    const RECT b = dc.Clip->Bounds();
    FBounds = FBounds.Intersect(TClip{b.left, b.right, b.top, b.bottom});
    if (dc.Clip->Rects().size() > 1 && !FBounds.Empty())
        FRegion = &*dc.Clip;
}

bool TClipper::Contains(long long x, long long y) const {
    bool inside = false;
    ForEachSpan(y, x, x + 1, [&](long long, long long) { inside = true; });
    return inside;
}

TFillStage::TFillStage(const TDCObj& dc, TBitmapObj& dest, const TBrushObj* brush, unsigned rop)
    : FDest(dest),
      FClipper(dc, dest),
      FFormat(dest),
      FPattern(RopUsesPattern(rop & 0xFFu) ? brush : nullptr, dc, FFormat),
      FRop(rop & 0xFFu),
      FUsesPattern(RopUsesPattern(FRop)),
      FUsesDest(RopUsesDest(FRop)),
      FSkip(FUsesPattern && FPattern.Null()),
      FPlain(!FUsesDest && (!FUsesPattern || FPattern.Solid())),
      FValue(FPlain ? Rop3(FRop, FPattern.SolidValue(), 0, 0) : 0) {}

void TFillStage::Span(long long y, long long x0, long long x1) {
    if (FSkip)
        return;
    FClipper.ForEachSpan(y, x0, x1, [this, y](long long a, long long b) { Run(y, a, b); });
}

void TFillStage::Box(const TClip& box) {
    if (FSkip)
        return;
    FClipper.ForEachRect(box, [this](const TClip& piece) {
        if (!FUsesDest && (!FUsesPattern || FPattern.Solid())) {
            FillBlock(FDest, piece, Rop3(FRop, FPattern.SolidValue(), 0, 0));
            return;
        }
        for (long long y = piece.Y0; y < piece.Y1; ++y)
            Run(y, piece.X0, piece.X1);
    });
}

void TFillStage::Spans(long long top, long long bottom, const std::vector<TSpan>& spans) {
    if (FSkip || spans.empty())
        return;
    if (!FPlain || !FClipper.Rectangular()) {
        for (const TSpan& span : spans)
            Box(TClip{span.Left, span.Right, top, bottom});
        return;
    }
    // A solid fill under a rectangular clip: the polygon fills' common case, written row by row
    // straight into the surface.
    const TClip& bounds = FClipper.Bounds();
    const long long y0 = std::max(top, bounds.Y0), y1 = std::min(bottom, bounds.Y1);
    std::size_t first = 0, end = spans.size();
    while (first < end && spans[first].Right <= bounds.X0)
        ++first;
    while (end > first && spans[end - 1].Left >= bounds.X1)
        --end;
    if (first == end)
        return;
    const int bpp = FDest.BitsPixel;
    for (long long y = y0; y < y1; ++y) {
        BYTE* row = FDest.Row(LONG(y));
        if (bpp == 32) {
            // Mostly short spans: stored in place, without a call for each, four pixels a store;
            // the last four of a span may overlap the ones before, which takes the same value.
            const DWORD block[4] = {FValue, FValue, FValue, FValue};
            for (std::size_t k = first; k < end; ++k) {
                const long long x0 = std::max(spans[k].Left, bounds.X0), x1 = std::min(spans[k].Right, bounds.X1);
                BYTE* p = row + 4 * x0;
                const long long n = x1 - x0;
                if (n >= 4) {
                    for (long long i = 0; i + 4 <= n; i += 4, p += 16)
                        std::memcpy(p, block, 16);
                    std::memcpy(row + 4 * (x1 - 4), block, 16);
                } else {
                    for (long long i = 0; i < n; ++i, p += 4)
                        std::memcpy(p, &FValue, 4);
                }
            }
            continue;
        }
        for (std::size_t k = first; k < end; ++k) {
            const long long x0 = std::max(spans[k].Left, bounds.X0), x1 = std::min(spans[k].Right, bounds.X1);
            if (x0 < x1)
                FillSpan(row, x0, x1 - x0, bpp, FValue);
        }
    }
}

// One clipped span: pattern, destination and operation, at most kSpan pixels at a time.
void TFillStage::Run(long long y, long long x0, long long x1) {
    const int bpp = FDest.BitsPixel;
    BYTE* row = FDest.Row(LONG(y));
    if (!FUsesDest && (!FUsesPattern || FPattern.Solid())) {
        FillSpan(row, x0, x1 - x0, bpp, Rop3(FRop, FPattern.SolidValue(), 0, 0));
        return;
    }
    for (long long cx = x0; cx < x1; cx += kSpan) {
        const int n = int(std::min<long long>(kSpan, x1 - cx));
        if (FUsesPattern)
            FPattern.FetchRow(cx, y, n, FP.data(), FOk.data());
        else
            std::fill_n(FOk.begin(), n, BYTE(1));
        if (FUsesDest) {
            for (int i = 0; i < n; ++i)
                FD[std::size_t(i)] = ReadPixel(row, LONG(cx + i), bpp);
        }
        bool whole = true;
        for (int i = 0; i < n && whole; ++i)
            whole = FOk[std::size_t(i)] != 0;
        if (whole) {
            ApplyRopSpan(FRop, FP.data(), FS.data(), FD.data(), std::size_t(n));
            WriteSpan(row, cx, n, bpp, FD.data());
            continue;
        }
        for (int i = 0; i < n; ++i) {
            const std::size_t k = std::size_t(i);
            if (FOk[k])
                WritePixel(row, LONG(cx + i), bpp, Rop3(FRop, FP[k], 0, FD[k]));
        }
    }
}

// ---- transfers ---------------------------------------------------------------------------------

bool RunTransfer(const TTransfer& t) {
    TBitmapObj& dest = *t.Dest;
    const TInterval dx = Normalise(t.X, t.Width);
    const TInterval dy = Normalise(t.Y, t.Height);
    const TClipper clipper(*t.DestDC, dest);
    const TClip clip = BoxOf(dx, dy).Intersect(clipper.Bounds());
    if (clip.Empty())
        return true;
    // A rectangular clip is already in clip; any other is walked piece by piece, so that the
    // unclipped paths below stay exactly as fast as they were.
    const bool pieces = !clipper.Rectangular();
    const auto forEachPiece = [&](auto&& run) {
        if (pieces)
            clipper.ForEachRect(clip, run);
        else
            run(clip);
    };

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
        const DWORD value = Rop3(fore, pattern.SolidValue(), 0, 0);
        forEachPiece([&](const TClip& piece) { FillBlock(dest, piece, value); });
        return true;
    }
    if (!masked && usesPattern && pattern.Null())
        return true;
    // The mask is read while the destination is written: a mask that is the destination itself
    // is read from a copy.
    const TBitmapObj* mask = t.Mask;
    std::unique_ptr<TBitmapObj> maskCopy;
    if (mask == &dest) {
        maskCopy = CloneBitmap(*mask);
        if (!maskCopy)
            return false;
        mask = maskCopy.get();
    }
    if (!usesSource) {
        const TSpanPlan plan{dest, dx, dy, fore, back, usesPattern, usesDest, pattern, nullptr, mask};
        forEachPiece([&](const TClip& piece) { RunSpans(t, plan, piece); });
        return true;
    }

    // Plain locals rather than optional ones: an empty std::optional of these large objects
    // would be cleared byte by byte on every call.
    const TBitmapObj* source = t.Source;
    const TInterval sx = Normalise(t.SX, t.SWidth);
    const TInterval sy = Normalise(t.SY, t.SHeight);
    const TAxisMap xMap{dx, sx, (t.Width < 0) != (t.SWidth < 0), source->Width};
    const TAxisMap yMap{dy, sy, (t.Height < 0) != (t.SHeight < 0), source->Height};
    TFormat sourceFormat(*source);
    TConverter converter(sourceFormat, destFormat, *t.DestDC, t.SourceDC);
    // The source is read while the destination is written: a source that is the destination
    // itself is read from a copy when the two rectangles meet, except where a single row copy
    // orders its reads and writes itself.
    const bool overlapping = source == &dest && Overlap(Intersect(sx, sy, source->Width, source->Height), clip);
    std::unique_ptr<TBitmapObj> sourceCopy;
    const auto copySource = [&] {
        sourceCopy = CloneBitmap(*source);
        if (sourceCopy)
            source = sourceCopy.get();
        return sourceCopy != nullptr;
    };
    if (!masked && t.Reached == nullptr && fore == 0xCC && xMap.Identity() && yMap.Identity()) {
        if (converter.Identity() && dest.BitsPixel >= 8) {
            // Pieces are copied one after another, so a later one could read what an earlier
            // one wrote.
            if (pieces && overlapping && !copySource())
                return false;
            forEachPiece([&](const TClip& piece) {
                CopyRows(*source, dest, piece, sx.Start - dx.Start, sy.Start - dy.Start);
            });
            return true;
        }
        if (source != &dest) {
            forEachPiece([&](const TClip& piece) {
                CopyConvertedRows(*source, dest, converter, piece, sx.Start - dx.Start, sy.Start - dy.Start);
            });
            return true;
        }
    }
    if (overlapping && !copySource())
        return false;
    TSourceSampler sampler(*source, converter, xMap, yMap, t.DestDC->StretchMode, t.Reached);
    const TSpanPlan plan{dest, dx, dy, fore, back, usesPattern, usesDest, pattern, &sampler, mask};
    forEachPiece([&](const TClip& piece) { RunSpans(t, plan, piece); });
    return true;
}

}  // namespace gdi::detail
