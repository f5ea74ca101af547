// Whole-buffer compression glue over zlib, for the compressed text chunk.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace png {

/// Inflates one complete zlib stream. On failure returns false with zlib's message in errorText.
bool InflateBuffer(const std::uint8_t* input, std::size_t length, std::vector<std::uint8_t>& output,
                   std::string& errorText);
/// Deflates the input into one complete zlib stream at the level. On failure returns false with
/// zlib's message in errorText.
bool DeflateBuffer(const std::uint8_t* input, std::size_t length, int level, std::vector<std::uint8_t>& output,
                   std::string& errorText);

}  // namespace png
