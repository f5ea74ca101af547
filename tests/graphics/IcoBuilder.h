// Builds icon files byte by byte, so each malformed case is one change to a valid file.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <vector>

namespace icotest {

/// A pixel of a test image: for 1, 4 and 8 bits a colour-table index, for 32 bits 0xAARRGGBB.
using TPixelFn = std::function<std::uint32_t(int x, int y)>;
/// A mask bit: true where the icon is transparent.
using TMaskFn = std::function<bool(int x, int y)>;

/// The 16 colours of the 4-bit test images (blue, green, red, as an ICO colour table holds them).
const std::vector<std::uint32_t>& Colors16();

/// One image of an icon file: a 40-byte header twice the image's height, the colour table, the
/// XOR pixels and the AND mask, rows bottom-up and padded to 32 bits.
std::vector<std::uint8_t> IconDib(int width, int height, int bits, const TPixelFn& pixel, const TMaskFn& mask,
                                  std::optional<std::uint32_t> colorsUsed = std::nullopt);
/// A one-colour 32-bit image (alpha 0) with an opaque mask.
std::vector<std::uint8_t> SolidDib(int width, int height, std::uint32_t rgb);

struct TIcoEntry {
    std::uint8_t Width = 0;
    std::uint8_t Height = 0;
    std::uint16_t Colors = 0;  // the colour-count byte and the reserved byte as one value
    std::vector<std::uint8_t> Image;
    std::optional<std::uint32_t> Size;    // overrides the image's length in the directory
    std::optional<std::uint32_t> Offset;  // overrides where the directory says the image is
};

class TIcoBuilder {
public:
    TIcoBuilder& Type(std::uint16_t type) { FType = type; return *this; }
    TIcoBuilder& Count(std::uint16_t count) { FCount = count; return *this; }
    TIcoBuilder& Entry(TIcoEntry entry) { FEntries.push_back(std::move(entry)); return *this; }
    /// A one-colour entry of the given size and colours field.
    TIcoBuilder& Solid(int width, int height, std::uint16_t colors, std::uint32_t rgb);
    std::vector<std::uint8_t> Bytes() const;

private:
    std::uint16_t FType = 1;
    std::optional<std::uint16_t> FCount;
    std::vector<TIcoEntry> FEntries;
};

/// The bytes of a PNG file's signature followed by filler, standing for a PNG-compressed image.
std::vector<std::uint8_t> PngLikeImage();

}  // namespace icotest
