// The PNG row filters (PNG 9.2): undoing them on reading, and the shared Paeth predictor.
#pragma once

#include <cstddef>
#include <cstdint>

namespace png {

/// PNG 9.4: the Paeth predictor, breaking ties toward left, then above, then upper left.
std::uint8_t PaethPredict(std::uint8_t left, std::uint8_t above, std::uint8_t upperLeft);

/// Undoes the filter of row[1 … length] in place, the filter type standing in row[0] and the
/// previous row's bytes in previous[1 … length]; distance is the bytes per complete pixel.
/// Filter types above 4 leave the row as it is.
void ReconstructRow(std::uint8_t* row, const std::uint8_t* previous, std::size_t length, unsigned distance);

}  // namespace png
