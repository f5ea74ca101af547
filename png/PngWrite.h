// Helpers of PNG writing that the text chunks and the image data share, kept apart so that their
// rules can be checked without building whole files.
#pragma once

#include "png/PngImage.h"

#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <optional>

namespace png {

/// The PNG format's largest chunk data length (2^31 − 1).
constexpr std::size_t kMaxChunkDataLength = 0x7FFFFFFF;

/// The data length of a chunk made of the parts, or nothing when their sum exceeds the format's
/// limit.
std::optional<std::int32_t> ChunkDataLength(std::initializer_list<std::size_t> parts);

/// Rebuilds a chunk's data from the parts and writes the chunk; raises EWriteError when the
/// parts do not fit in one chunk.
void WriteChunkFromParts(TChunk& chunk, TStream& stream,
                         std::initializer_list<std::pair<const void*, std::size_t>> parts);

/// The filter type that writing gives one row: the allowed filters' outputs (outputs[t], each
/// length bytes; unused for types outside the set) are compared by how many bytes repeat one of
/// their two predecessors; the lower type wins a tie and None wins when nothing repeats.
TPngFilter ChooseFilter(TPngFilters filters, const std::uint8_t* const outputs[5], std::size_t length);

/// True when writing has a row writer for the pair.
bool HasRowWriter(std::uint8_t colorType, std::uint8_t bitDepth);

}  // namespace png
