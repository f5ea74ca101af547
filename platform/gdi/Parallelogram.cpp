// Transfers onto parallelograms: PlgBlt, and every blit or fill whose destination a rotating or
// shearing world transform turns. Each row's run of pixels inside is found in exact integer
// arithmetic, then source, pattern and raster operation are applied span by span through the clip.
#include "platform/gdi/Transfer.h"

#include <algorithm>

namespace gdi::detail {
namespace {

using TWide = __int128;

TWide FloorDiv(TWide a, TWide b) {
    TWide q = a / b;
    if ((a % b != 0) && ((a < 0) != (b < 0)))
        --q;
    return q;
}

// The integers p with lo ≤ a·p + b < hi, as [first, last); empty when first ≥ last.
void Solve(TWide a, TWide b, TWide lo, TWide hi, TWide& first, TWide& last) {
    if (a == 0) {
        const bool all = lo <= b && b < hi;
        first = all ? -(TWide(1) << 100) : 1;
        last = all ? (TWide(1) << 100) : 0;
        return;
    }
    if (a > 0) {
        first = -FloorDiv(-(lo - b), a);  // ceil((lo − b) / a)
        last = -FloorDiv(-(hi - b), a);   // ceil((hi − b) / a)
        return;
    }
    const TWide n = -a;
    last = FloorDiv(b - lo, n) + 1;
    first = FloorDiv(b - hi, n) + 1;
}

}  // namespace

bool RunParallelogram(const TTransfer& t, const TParallelogram& g) {
    TBitmapObj& dest = *t.Dest;
    const TClipper clipper(*t.DestDC, dest);
    const TClip bounds = clipper.Bounds();
    TWide det = TWide(g.UX) * g.VY - TWide(g.UY) * g.VX;
    if (det == 0 || bounds.Empty())
        return true;
    // Which side of each pair of edges is in follows the polygon rule: the edge a row meets first
    // (left), or for edges that run along rows the upper one. Along a row, the u = 1 edge lies
    // right of the u = 0 edge when det / VY > 0, the v = 1 edge right of v = 0 when −det / UY > 0.
    const bool openU = g.VY != 0 ? (det > 0) != (g.VY > 0) : g.UY < 0;
    const bool openV = g.UY != 0 ? (det > 0) == (g.UY > 0) : g.VY < 0;
    // With det > 0 the conditions read 0 ≤ nu < det and 0 ≤ nv < det; a negative det flips
    // every numerator with it.
    const TWide sign = det > 0 ? 1 : -1;
    det *= sign;
    const long long ys[4] = {g.Y0, g.Y0 + g.UY, g.Y0 + g.VY, g.Y0 + g.UY + g.VY};
    const long long y0 = std::max(*std::min_element(ys, ys + 4), bounds.Y0);
    const long long y1 = std::min(*std::max_element(ys, ys + 4) + 1, bounds.Y1);

    const unsigned fore = t.Fore & 0xFFu;
    const unsigned back = t.Mask != nullptr ? (t.Back & 0xFFu) : fore;
    const bool usesSource = RopUsesSource(fore) || RopUsesSource(back);
    const bool usesPattern = RopUsesPattern(fore) || RopUsesPattern(back);
    const bool usesDest = RopUsesDest(fore) || RopUsesDest(back);
    if (usesSource && t.Source == nullptr) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return false;
    }
    TFormat destFormat(dest);
    TPatternSampler pattern(usesPattern ? t.Brush : nullptr, *t.DestDC, destFormat);
    if (t.Mask == nullptr && usesPattern && pattern.Null())
        return true;
    const TBitmapObj* source = usesSource ? t.Source : nullptr;
    std::unique_ptr<TBitmapObj> sourceCopy;
    if (source == &dest) {
        sourceCopy = CloneBitmap(*source);
        if (!sourceCopy)
            return false;
        source = sourceCopy.get();
    }
    const TBitmapObj* mask = t.Mask;
    std::unique_ptr<TBitmapObj> maskCopy;
    if (mask == &dest) {
        maskCopy = CloneBitmap(*mask);
        if (!maskCopy)
            return false;
        mask = maskCopy.get();
    }
    std::optional<TFormat> sourceFormat;
    std::optional<TConverter> converter;
    if (source != nullptr) {
        sourceFormat.emplace(*source);
        converter.emplace(*sourceFormat, destFormat, *t.DestDC, t.SourceDC);
    }
    const TInterval sx = Normalise(t.SX, t.SWidth), sy = Normalise(t.SY, t.SHeight);
    const bool needsPosition = source != nullptr || mask != nullptr;
    if (needsPosition && (sx.Length == 0 || sy.Length == 0))
        return true;

    std::array<DWORD, kSpan> s{}, p{};
    std::array<BYTE, kSpan> sourceOk{}, patternOk{}, maskBit{};
    const int bpp = dest.BitsPixel;
    for (long long y = y0; y < y1; ++y) {
        // nu(x) = (x − X0)·VY − (y − Y0)·VX and nv(x) = (y − Y0)·UX − (x − X0)·UY, times sign.
        const TWide au = sign * TWide(g.VY), bu = sign * (-TWide(g.X0) * g.VY - TWide(y - g.Y0) * g.VX);
        const TWide av = sign * -TWide(g.UY), bv = sign * (TWide(y - g.Y0) * g.UX + TWide(g.X0) * g.UY);
        TWide f1, l1, f2, l2;
        Solve(au, bu, openU ? 1 : 0, openU ? det + 1 : det, f1, l1);
        Solve(av, bv, openV ? 1 : 0, openV ? det + 1 : det, f2, l2);
        const TWide first = std::max({f1, f2, TWide(bounds.X0)});
        const TWide last = std::min({l1, l2, TWide(bounds.X1)});
        if (first >= last)
            continue;
        BYTE* row = dest.Row(LONG(y));
        clipper.ForEachSpan(y, (long long)first, (long long)last, [&](long long a, long long b) {
            for (long long cx = a; cx < b; cx += kSpan) {
                const int n = int(std::min<long long>(kSpan, b - cx));
                std::fill_n(sourceOk.begin(), n, BYTE(1));
                if (needsPosition) {
                    for (int i = 0; i < n; ++i) {
                        const long long x = cx + i;
                        // The centre (x + ½, y + ½) mapped back, doubled to stay in integers.
                        const TWide cu = 2 * (au * x + bu) + sign * (TWide(g.VY) - g.VX);
                        const TWide cv = 2 * (av * x + bv) + sign * (TWide(g.UX) - g.UY);
                        const long long iu = (long long)std::clamp<TWide>(
                            FloorDiv(cu * sx.Length, 2 * det), 0, sx.Length - 1);
                        const long long iv = (long long)std::clamp<TWide>(
                            FloorDiv(cv * sy.Length, 2 * det), 0, sy.Length - 1);
                        const long long column = t.SWidth >= 0 ? sx.Start + iu : sx.Start + sx.Length - 1 - iu;
                        const long long line = t.SHeight >= 0 ? sy.Start + iv : sy.Start + sy.Length - 1 - iv;
                        const std::size_t k = std::size_t(i);
                        if (mask != nullptr) {
                            const long long mx = t.MX + (column - sx.Start), my = t.MY + (line - sy.Start);
                            maskBit[k] = mx >= 0 && my >= 0 && mx < mask->Width && my < mask->Height &&
                                         (ReadPixel(mask->Row(LONG(my)), LONG(mx), mask->BitsPixel) & 1u);
                        }
                        if (source != nullptr) {
                            if (column < 0 || line < 0 || column >= source->Width || line >= source->Height) {
                                sourceOk[k] = 0;
                                continue;
                            }
                            if (t.Reached != nullptr && t.Reached->Row(LONG(line))[column] == 0) {
                                sourceOk[k] = 0;
                                continue;
                            }
                            s[k] = converter->Convert(ReadPixel(source->Row(LONG(line)), LONG(column), source->BitsPixel));
                        }
                    }
                }
                if (usesPattern)
                    pattern.FetchRow(cx, y, n, p.data(), patternOk.data());
                else
                    std::fill_n(patternOk.begin(), n, BYTE(1));
                for (int i = 0; i < n; ++i) {
                    const std::size_t k = std::size_t(i);
                    const unsigned index = mask == nullptr || maskBit[k] ? fore : back;
                    if ((RopUsesSource(index) && !sourceOk[k]) || (RopUsesPattern(index) && !patternOk[k]) ||
                        index == 0xAA)
                        continue;
                    const DWORD old = usesDest ? ReadPixel(row, LONG(cx + i), bpp) : 0;
                    WritePixel(row, LONG(cx + i), bpp, Rop3(index, p[k], s[k], old));
                }
            }
        });
    }
    return true;
}

}  // namespace gdi::detail
