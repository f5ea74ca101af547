// The region algebra: canonical bands, the four combine modes by one sweep over both regions'
// bands, regions from rectangle lists, and erosion for frames.
#include "platform/gdi/Region.h"

#include <algorithm>
#include <climits>

namespace gdi::detail {
namespace {

constexpr long long kLongMin = INT32_MIN;
constexpr long long kLongMax = INT32_MAX;

void BandSpans(const std::vector<RECT>& rects, std::size_t first, std::size_t last, std::vector<TSpan>& spans) {
    spans.clear();
    for (std::size_t i = first; i < last; ++i)
        spans.push_back(TSpan{rects[i].left, rects[i].right});
}

bool Keep(int mode, bool inA, bool inB) {
    switch (mode) {
    case RGN_AND: return inA && inB;
    case RGN_OR: return inA || inB;
    case RGN_XOR: return inA != inB;
    default: return inA && !inB;  // RGN_DIFF
    }
}

// One row's spans of both operands → the spans of the result, by walking the edges of both
// lists in x order.
void MergeSpans(const std::vector<TSpan>& a, const std::vector<TSpan>& b, int mode, std::vector<TSpan>& out) {
    out.clear();
    const auto edge = [](const std::vector<TSpan>& spans, std::size_t k) {
        if (k >= 2 * spans.size())
            return LLONG_MAX;
        return (k & 1) ? spans[k / 2].Right : spans[k / 2].Left;
    };
    std::size_t i = 0, j = 0;
    bool inA = false, inB = false, inside = false;
    long long start = 0;
    for (;;) {
        const long long x = std::min(edge(a, i), edge(b, j));
        if (x == LLONG_MAX)
            break;
        if (edge(a, i) == x)
            inA = (i++ & 1) == 0;
        if (edge(b, j) == x)
            inB = (j++ & 1) == 0;
        const bool now = Keep(mode, inA, inB);
        if (now == inside)
            continue;
        if (now)
            start = x;
        else
            AppendSpan(out, start, x);
        inside = now;
    }
}

// Whether a rectangle list is already in canonical form, as GetRegionData writes it.
bool IsCanonical(const std::vector<RECT>& rects) {
    for (std::size_t i = 0; i < rects.size(); ++i) {
        const RECT& r = rects[i];
        if (r.left >= r.right || r.top >= r.bottom)
            return false;
        if (i == 0)
            continue;
        const RECT& p = rects[i - 1];
        if (r.top == p.top) {
            if (r.bottom != p.bottom || r.left <= p.right)
                return false;
        } else if (r.top < p.bottom) {
            return false;
        }
    }
    // Touching bands with equal spans would have been merged.
    std::size_t band = 0;
    std::size_t previous = SIZE_MAX;
    while (band < rects.size()) {
        std::size_t end = band;
        while (end < rects.size() && rects[end].top == rects[band].top)
            ++end;
        if (previous != SIZE_MAX && rects[previous].bottom == rects[band].top && end - band == band - previous &&
            std::equal(rects.begin() + std::ptrdiff_t(band), rects.begin() + std::ptrdiff_t(end),
                       rects.begin() + std::ptrdiff_t(previous),
                       [](const RECT& x, const RECT& y) { return x.left == y.left && x.right == y.right; }))
            return false;
        previous = band;
        band = end;
    }
    return true;
}

}  // namespace

// ---- TRegion -----------------------------------------------------------------------------------

TRegion TRegion::FromRect(long long left, long long top, long long right, long long bottom) {
    TRegionBuilder builder;
    if (left < right && top < bottom)
        builder.AddBand(top, bottom, {TSpan{left, right}});
    return builder.Finish();
}

int TRegion::Type() const {
    return FRects.empty() ? NULLREGION : FRects.size() == 1 ? SIMPLEREGION : COMPLEXREGION;
}

RECT TRegion::Bounds() const { return FBounds; }

std::size_t TRegion::FirstBandBelow(long long y) const {
    // Bands are sorted and disjoint, so their bottoms rise with the index.
    const auto it = std::upper_bound(FRects.begin(), FRects.end(), y,
                                     [](long long value, const RECT& r) { return value < r.bottom; });
    return std::size_t(it - FRects.begin());
}

std::size_t TRegion::BandEnd(std::size_t i) const {
    const LONG top = FRects[i].top;
    while (i < FRects.size() && FRects[i].top == top)
        ++i;
    return i;
}

bool TRegion::Contains(long long x, long long y) const { return Intersects(x, y, x + 1, y + 1); }

bool TRegion::Intersects(long long left, long long top, long long right, long long bottom) const {
    if (left >= right || top >= bottom)
        return false;
    for (std::size_t i = FirstBandBelow(top); i < FRects.size() && FRects[i].top < bottom; ++i) {
        if (FRects[i].left < right && FRects[i].right > left)
            return true;
    }
    return false;
}

bool TRegion::operator==(const TRegion& other) const {
    return FRects.size() == other.FRects.size() &&
           std::equal(FRects.begin(), FRects.end(), other.FRects.begin(), [](const RECT& a, const RECT& b) {
               return a.left == b.left && a.top == b.top && a.right == b.right && a.bottom == b.bottom;
           });
}

bool TRegion::Offset(long long dx, long long dy) {
    if (FRects.empty())
        return true;
    const RECT b = FBounds;
    if (b.left + dx < kLongMin || b.right + dx > kLongMax || b.top + dy < kLongMin || b.bottom + dy > kLongMax)
        return false;
    for (RECT& r : FRects) {
        r.left = LONG(r.left + dx);
        r.right = LONG(r.right + dx);
        r.top = LONG(r.top + dy);
        r.bottom = LONG(r.bottom + dy);
    }
    FBounds = RECT{LONG(b.left + dx), LONG(b.top + dy), LONG(b.right + dx), LONG(b.bottom + dy)};
    return true;
}

// ---- building ----------------------------------------------------------------------------------

void AppendSpan(std::vector<TSpan>& spans, long long left, long long right) {
    if (left >= right)
        return;
    if (!spans.empty() && spans.back().Right >= left) {
        spans.back().Right = std::max(spans.back().Right, right);
        return;
    }
    spans.push_back(TSpan{left, right});
}

void TRegionBuilder::AddBand(long long top, long long bottom, const std::vector<TSpan>& spans) {
    if (FFailed || top >= bottom || spans.empty())
        return;
    std::vector<RECT>& rects = FRegion.FRects;
    if (FHasBand) {
        const std::size_t count = rects.size() - FLastBand;
        const auto sameSpan = [](const TSpan& s, const RECT& r) { return s.Left == r.left && s.Right == r.right; };
        const bool same = rects[FLastBand].bottom == top && count == spans.size() &&
                          std::equal(spans.begin(), spans.end(), rects.begin() + std::ptrdiff_t(FLastBand), sameSpan);
        if (same) {
            for (std::size_t i = FLastBand; i < rects.size(); ++i)
                rects[i].bottom = LONG(bottom);
            FRegion.FBounds.bottom = LONG(bottom);
            return;
        }
    }
    if (rects.size() + spans.size() > kMaxRegionRects) {
        FFailed = true;
        return;
    }
    RECT& bounds = FRegion.FBounds;
    if (!FHasBand)
        bounds = RECT{LONG(spans.front().Left), LONG(top), LONG(spans.back().Right), LONG(bottom)};
    bounds.left = std::min(bounds.left, LONG(spans.front().Left));
    bounds.right = std::max(bounds.right, LONG(spans.back().Right));
    bounds.bottom = LONG(bottom);
    FLastBand = rects.size();
    FHasBand = true;
    for (const TSpan& span : spans)
        rects.push_back(RECT{LONG(span.Left), LONG(top), LONG(span.Right), LONG(bottom)});
}

TRegion TRegionBuilder::Finish() {
    if (FFailed)
        return TRegion{};
    TRegion result = std::move(FRegion);
    FRegion = TRegion{};
    FHasBand = false;
    return result;
}

// ---- combining ---------------------------------------------------------------------------------

bool CombineRegions(const TRegion& a, const TRegion& b, int mode, TRegion& result) {
    const std::vector<RECT>& ra = a.Rects();
    const std::vector<RECT>& rb = b.Rects();
    TRegionBuilder builder;
    std::vector<TSpan> sa, sb, out;
    std::size_t ia = 0, ib = 0;
    long long y = LLONG_MIN;
    for (;;) {
        while (ia < ra.size() && ra[ia].bottom <= y)
            ia = a.BandEnd(ia);
        while (ib < rb.size() && rb[ib].bottom <= y)
            ib = b.BandEnd(ib);
        const bool hasA = ia < ra.size(), hasB = ib < rb.size();
        if (!hasA && !hasB)
            break;
        // Nothing lies between y and the nearest band top, so the sweep jumps there.
        long long start = LLONG_MAX;
        if (hasA)
            start = std::min(start, std::max<long long>(ra[ia].top, y));
        if (hasB)
            start = std::min(start, std::max<long long>(rb[ib].top, y));
        y = start;
        long long next = LLONG_MAX;
        if (hasA)
            next = std::min<long long>(next, ra[ia].top > y ? ra[ia].top : ra[ia].bottom);
        if (hasB)
            next = std::min<long long>(next, rb[ib].top > y ? rb[ib].top : rb[ib].bottom);
        const bool inA = hasA && ra[ia].top <= y, inB = hasB && rb[ib].top <= y;
        if (inA)
            BandSpans(ra, ia, a.BandEnd(ia), sa);
        else
            sa.clear();
        if (inB)
            BandSpans(rb, ib, b.BandEnd(ib), sb);
        else
            sb.clear();
        MergeSpans(sa, sb, mode, out);
        builder.AddBand(y, next, out);
        if (builder.Failed())
            return false;
        y = next;
    }
    result = builder.Finish();
    return true;
}

bool RegionFromRects(const std::vector<RECT>& rects, TRegion& result) {
    if (IsCanonical(rects)) {
        TRegionBuilder builder;
        std::vector<TSpan> spans;
        for (std::size_t i = 0; i < rects.size();) {
            std::size_t end = i;
            while (end < rects.size() && rects[end].top == rects[i].top)
                ++end;
            BandSpans(rects, i, end, spans);
            builder.AddBand(rects[i].top, rects[i].bottom, spans);
            i = end;
        }
        if (builder.Failed())
            return false;
        result = builder.Finish();
        return true;
    }
    // Pairwise unions, level by level, keep every union between regions of similar size.
    std::vector<TRegion> level;
    level.reserve(rects.size());
    for (const RECT& r : rects) {
        if (r.left < r.right && r.top < r.bottom)
            level.push_back(TRegion::FromRect(r.left, r.top, r.right, r.bottom));
    }
    while (level.size() > 1) {
        std::vector<TRegion> next;
        next.reserve(level.size() / 2 + 1);
        for (std::size_t i = 0; i + 1 < level.size(); i += 2) {
            TRegion joined;
            if (!CombineRegions(level[i], level[i + 1], RGN_OR, joined))
                return false;
            next.push_back(std::move(joined));
        }
        if (level.size() % 2 != 0)
            next.push_back(std::move(level.back()));
        level = std::move(next);
    }
    result = level.empty() ? TRegion{} : std::move(level.front());
    return true;
}

TRegion ShiftedForIntersection(const TRegion& region, long long dy) {
    TRegionBuilder builder;
    std::vector<TSpan> spans;
    const std::vector<RECT>& rects = region.Rects();
    for (std::size_t i = 0; i < rects.size();) {
        const std::size_t end = region.BandEnd(i);
        BandSpans(rects, i, end, spans);
        builder.AddBand(std::clamp(rects[i].top + dy, kLongMin, kLongMax),
                        std::clamp(rects[i].bottom + dy, kLongMin, kLongMax), spans);
        i = end;
    }
    // Moving bands never adds rectangles, so the builder cannot fail here.
    return builder.Finish();
}

bool ErodeRegion(const TRegion& region, long long w, long long h, TRegion& result) {
    // Across: every span of a band loses w pixels at each end, since spans are maximal runs.
    TRegionBuilder across;
    std::vector<TSpan> spans;
    const std::vector<RECT>& rects = region.Rects();
    for (std::size_t i = 0; i < rects.size();) {
        const std::size_t end = region.BandEnd(i);
        spans.clear();
        for (std::size_t k = i; k < end; ++k)
            AppendSpan(spans, rects[k].left + w, rects[k].right - w);
        across.AddBand(rects[i].top, rects[i].bottom, spans);
        i = end;
    }
    TRegion eroded = across.Finish();
    const RECT bounds = region.Bounds();
    if (eroded.Empty() || 2 * h + 1 > (long long)bounds.bottom - bounds.top) {
        result = TRegion{};
        return true;
    }
    // Down: D(n) holds the pixels whose n rows from there down are all in the region;
    // D(a + b) = D(a) ∩ D(b) moved up by a, so D(2h + 1) takes O(log h) intersections. Moved
    // down by h, it keeps the pixels with h rows above and below in the region.
    TRegion acc, power = eroded;
    long long accRows = 0, powerRows = 1;
    for (long long n = 2 * h + 1; n > 0; n >>= 1) {
        if (n & 1) {
            if (accRows == 0) {
                acc = power;
            } else if (!CombineRegions(acc, ShiftedForIntersection(power, -accRows), RGN_AND, acc)) {
                return false;
            }
            accRows += powerRows;
        }
        if (n > 1) {
            if (!CombineRegions(power, ShiftedForIntersection(power, -powerRows), RGN_AND, power))
                return false;
            powerRows *= 2;
        }
    }
    result = ShiftedForIntersection(acc, h);
    return true;
}

}  // namespace gdi::detail
