// Conversion of reconstructed PNG rows into the image planes: the colour plane (bit depth 2 as
// 4-bit values, 24-bit pixels blue, green, red, colour samples through the gamma table), the
// alpha plane and the extra plane of 16-bit low bytes.
#pragma once

#include <cstdint>

namespace png {

/// Converts count PNG pixels of src into the rows given, placing pixel k at column
/// firstColumn + k × step. alpha and extra are the rows of those planes (nullptr when the image
/// has none); gamma is the 256-entry table for colour samples. Sub-byte samples are ORed into
/// the zero-filled colour row.
using TRowConverter = void (*)(const std::uint8_t* src, std::uint32_t count, std::uint32_t firstColumn,
                               std::uint32_t step, std::uint8_t* color, std::uint8_t* alpha, std::uint8_t* extra,
                               const std::uint8_t* gamma);

/// The converter of a valid PNG colour type and bit depth; nullptr for any other pair.
TRowConverter ChooseRowConverter(std::uint8_t colorType, std::uint8_t bitDepth);

}  // namespace png
