#include "png/RowFilters.h"

#include <cstdlib>

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

template <unsigned D>
void Reconstruct(std::uint8_t* row, const std::uint8_t* previous, std::size_t n) {
    switch (row[0]) {
    case 1: UndoSub<D>(row, n); break;
    case 2: UndoUp(row, previous, n); break;
    case 3: UndoAverage<D>(row, previous, n); break;
    case 4: UndoPaeth<D>(row, previous, n); break;
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
