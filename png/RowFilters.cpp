#include "png/RowFilters.h"

#include <cstdlib>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace png {

std::uint8_t PaethPredict(std::uint8_t left, std::uint8_t above, std::uint8_t upperLeft) {
    const int p = int(left) + int(above) - int(upperLeft);
    const int pa = std::abs(p - int(left));
    const int pb = std::abs(p - int(above));
    const int pc = std::abs(p - int(upperLeft));
    if (pa <= pb && pa <= pc)
        return left;
    if (pb <= pc)
        return above;
    return upperLeft;
}

namespace {

// Each filter is compiled for the pixel distances PNG allows, so the inner loops carry a
// constant stride the compiler can keep in registers.
template <unsigned D>
void UndoSub(std::uint8_t* row, std::size_t n) {
    for (std::size_t i = D + 1; i <= n; ++i)
        row[i] = std::uint8_t(row[i] + row[i - D]);
}

void UndoUp(std::uint8_t* row, const std::uint8_t* previous, std::size_t n) {
    for (std::size_t i = 1; i <= n; ++i)
        row[i] = std::uint8_t(row[i] + previous[i]);
}

template <unsigned D>
void UndoAverage(std::uint8_t* row, const std::uint8_t* previous, std::size_t n) {
    const std::size_t head = n < D ? n : D;
    for (std::size_t i = 1; i <= head; ++i)
        row[i] = std::uint8_t(row[i] + (previous[i] >> 1));
    for (std::size_t i = D + 1; i <= n; ++i)
        row[i] = std::uint8_t(row[i] + ((unsigned(row[i - D]) + unsigned(previous[i])) >> 1));
}

template <unsigned D>
void UndoPaeth(std::uint8_t* row, const std::uint8_t* previous, std::size_t n) {
    // Left and upper left are 0 for the first pixel, which makes the predictor the byte above.
    const std::size_t head = n < D ? n : D;
    for (std::size_t i = 1; i <= head; ++i)
        row[i] = std::uint8_t(row[i] + previous[i]);
    for (std::size_t i = D + 1; i <= n; ++i) {
        const int a = row[i - D];
        const int b = previous[i];
        const int c = previous[i - D];
        // |p − a| = |b − c|, |p − b| = |a − c| and |p − c| = |a + b − 2c| for p = a + b − c.
        const int pa = std::abs(b - c);
        const int pb = std::abs(a - c);
        const int pc = std::abs(a + b - 2 * c);
        const int predicted = (pa <= pb && pa <= pc) ? a : (pb <= pc ? b : c);
        row[i] = std::uint8_t(row[i] + predicted);
    }
}

#if defined(__SSE2__)
// Paeth for whole pixels of three or four bytes, one pixel per step in 16-bit lanes: the chain
// through the left neighbour stays serial, but each pixel's channels are predicted together.
template <unsigned D>
void UndoPaethPixels(std::uint8_t* row, const std::uint8_t* previous, std::size_t n) {
    static_assert(D == 3 || D == 4);
    const __m128i zero = _mm_setzero_si128();
    auto load = [&](const std::uint8_t* p) {
        std::uint32_t v = 0;
        std::memcpy(&v, p, D);
        return _mm_unpacklo_epi8(_mm_cvtsi32_si128(int(v)), zero);
    };
    __m128i a = zero;
    __m128i c = zero;
    std::size_t i = 1;
    for (; i + D <= n + 1; i += D) {
        const __m128i b = load(previous + i);
        const __m128i x = load(row + i);
        const __m128i p = _mm_sub_epi16(b, c);
        const __m128i q = _mm_sub_epi16(a, c);
        const __m128i pa = _mm_max_epi16(p, _mm_sub_epi16(zero, p));
        const __m128i pb = _mm_max_epi16(q, _mm_sub_epi16(zero, q));
        const __m128i r = _mm_add_epi16(p, q);
        const __m128i pc = _mm_max_epi16(r, _mm_sub_epi16(zero, r));
        const __m128i smallest = _mm_min_epi16(_mm_min_epi16(pa, pb), pc);
        const __m128i takeA = _mm_cmpeq_epi16(smallest, pa);
        const __m128i takeB = _mm_andnot_si128(takeA, _mm_cmpeq_epi16(smallest, pb));
        const __m128i takeC = _mm_andnot_si128(_mm_or_si128(takeA, takeB), _mm_set1_epi16(-1));
        const __m128i predicted = _mm_or_si128(_mm_or_si128(_mm_and_si128(takeA, a), _mm_and_si128(takeB, b)),
                                               _mm_and_si128(takeC, c));
        const __m128i result = _mm_and_si128(_mm_add_epi16(x, predicted), _mm_set1_epi16(0xFF));
        const auto bytes = std::uint32_t(_mm_cvtsi128_si32(_mm_packus_epi16(result, zero)));
        std::memcpy(row + i, &bytes, D);
        a = result;
        c = b;
    }
    // A row whose length is not a whole number of pixels cannot occur; finish it bytewise anyway.
    for (; i <= n; ++i) {
        const int left = i > D ? row[i - D] : 0;
        const int upperLeft = i > D ? previous[i - D] : 0;
        row[i] = std::uint8_t(row[i] + PaethPredict(std::uint8_t(left), previous[i], std::uint8_t(upperLeft)));
    }
}
#endif

template <unsigned D>
void Reconstruct(std::uint8_t* row, const std::uint8_t* previous, std::size_t n) {
    switch (row[0]) {
    case 1: UndoSub<D>(row, n); break;
    case 2: UndoUp(row, previous, n); break;
    case 3: UndoAverage<D>(row, previous, n); break;
    case 4:
#if defined(__SSE2__)
        if constexpr (D == 3 || D == 4) {
            UndoPaethPixels<D>(row, previous, n);
            break;
        }
#endif
        UndoPaeth<D>(row, previous, n);
        break;
    default: break;  // None, and the undefined types, which are kept as they stand
    }
}

}  // namespace

void ReconstructRow(std::uint8_t* row, const std::uint8_t* previous, std::size_t length, unsigned distance) {
    switch (distance) {
    case 1: Reconstruct<1>(row, previous, length); break;
    case 2: Reconstruct<2>(row, previous, length); break;
    case 3: Reconstruct<3>(row, previous, length); break;
    case 4: Reconstruct<4>(row, previous, length); break;
    case 6: Reconstruct<6>(row, previous, length); break;
    case 8: Reconstruct<8>(row, previous, length); break;
    default: break;  // no PNG format has another distance
    }
}

}  // namespace png
