// Helpers of the writing tests: saving into bytes, taking written files apart, and reading them
// with libpng as the independent judge of what we write.
#pragma once

#include "PngTestSupport.h"

#include <cstdint>
#include <string>
#include <vector>

/// Saves the object into memory.
TBytes SavePng(png::TPNGObject& png);

/// The data lengths of every chunk of the type, in file order.
std::vector<std::uint32_t> ChunkLengths(const TBytes& bytes, const std::string& type);
/// The data bytes of the n-th chunk of the type.
TBytes ChunkData(const TBytes& bytes, const std::string& type, int nth = 0);
/// The image data of all "IDAT" chunks, joined and inflated.
TBytes InflateImageData(const TBytes& bytes);
TBytes Inflate(const TBytes& compressed);

/// libpng's reading of a file with every sample as 8-bit RGBA (16-bit samples keep their high
/// byte) and without gamma; Warnings counts what libpng complained about.
struct TLibpngImage {
    bool Ok = false;
    std::string Error;
    int Warnings = 0;
    std::uint32_t Width = 0, Height = 0;
    int BitDepth = 0, ColorType = 0, Interlace = 0;
    std::vector<std::uint8_t> Rgba;
    /// The 16-bit samples as stored (only for 16-bit files; RGBA, 4 × 2 bytes per pixel).
    std::vector<std::uint16_t> Rgba16;
};
TLibpngImage ReadWithLibpng(const TBytes& bytes);
