#include "png/RowConvert.h"

#include "png/PngImage.h"

#include <cstring>

namespace png {
namespace {

// Grey and palette samples of 1, 4 and 8 bits: the PNG packing and the colour plane's agree.
template <unsigned Depth>
void ConvertPacked(const std::uint8_t* src, std::uint32_t count, std::uint32_t first, std::uint32_t step,
                   std::uint8_t* color, std::uint8_t*, std::uint8_t*, const std::uint8_t*) {
    if (step == 1 && first == 0) {
        std::memcpy(color, src, (std::size_t(count) * Depth + 7) / 8);
        return;
    }
    if constexpr (Depth == 8) {
        for (std::uint32_t k = 0, x = first; k < count; ++k, x += step)
            color[x] = src[k];
    } else {
        constexpr unsigned kMask = (1u << Depth) - 1;
        for (std::uint32_t k = 0, x = first; k < count; ++k, x += step) {
            const std::uint32_t bit = k * Depth;
            const unsigned sample = (src[bit >> 3] >> (8 - Depth - (bit & 7))) & kMask;
            const std::uint32_t to = x * Depth;
            color[to >> 3] |= std::uint8_t(sample << (8 - Depth - (to & 7)));
        }
    }
}

// 2-bit samples are widened to 4 bits: palette indices keep their value, grey levels v become
// 5v so that the sixteen even grey levels of the colour table show 0, 85, 170 and 255.
template <unsigned Scale>
void ConvertTwoBit(const std::uint8_t* src, std::uint32_t count, std::uint32_t first, std::uint32_t step,
                   std::uint8_t* color, std::uint8_t*, std::uint8_t*, const std::uint8_t*) {
    if (step == 1 && first == 0) {
        std::uint32_t k = 0;
        for (; k + 4 <= count; k += 4) {
            const unsigned b = src[k >> 2];
            color[k >> 1] = std::uint8_t((((b >> 6) & 3) * Scale) << 4 | (((b >> 4) & 3) * Scale));
            color[(k >> 1) + 1] = std::uint8_t((((b >> 2) & 3) * Scale) << 4 | ((b & 3) * Scale));
        }
        for (; k < count; ++k) {
            const unsigned v = ((src[k >> 2] >> (6 - 2 * (k & 3))) & 3) * Scale;
            color[k >> 1] |= std::uint8_t((k & 1) ? v : v << 4);
        }
        return;
    }
    for (std::uint32_t k = 0, x = first; k < count; ++k, x += step) {
        const unsigned v = ((src[k >> 2] >> (6 - 2 * (k & 3))) & 3) * Scale;
        color[x >> 1] |= std::uint8_t((x & 1) ? v : v << 4);
    }
}

void ConvertGray16(const std::uint8_t* src, std::uint32_t count, std::uint32_t first, std::uint32_t step,
                   std::uint8_t* color, std::uint8_t*, std::uint8_t* extra, const std::uint8_t*) {
    for (std::uint32_t k = 0, x = first; k < count; ++k, x += step) {
        color[x] = src[2 * k];
        extra[x] = src[2 * k + 1];
    }
}

void ConvertGrayAlpha8(const std::uint8_t* src, std::uint32_t count, std::uint32_t first, std::uint32_t step,
                       std::uint8_t* color, std::uint8_t* alpha, std::uint8_t*, const std::uint8_t*) {
    for (std::uint32_t k = 0, x = first; k < count; ++k, x += step) {
        color[x] = src[2 * k];
        alpha[x] = src[2 * k + 1];
    }
}

void ConvertGrayAlpha16(const std::uint8_t* src, std::uint32_t count, std::uint32_t first, std::uint32_t step,
                        std::uint8_t* color, std::uint8_t* alpha, std::uint8_t* extra, const std::uint8_t*) {
    for (std::uint32_t k = 0, x = first; k < count; ++k, x += step) {
        color[x] = src[4 * k];
        extra[x] = src[4 * k + 1];
        alpha[x] = src[4 * k + 2];
    }
}

void ConvertRgb8(const std::uint8_t* src, std::uint32_t count, std::uint32_t first, std::uint32_t step,
                 std::uint8_t* color, std::uint8_t*, std::uint8_t*, const std::uint8_t* gamma) {
    std::uint8_t* out = color + std::size_t(first) * 3;
    const std::size_t advance = std::size_t(step) * 3;
    for (std::uint32_t k = 0; k < count; ++k, src += 3, out += advance) {
        out[0] = gamma[src[2]];
        out[1] = gamma[src[1]];
        out[2] = gamma[src[0]];
    }
}

void ConvertRgb16(const std::uint8_t* src, std::uint32_t count, std::uint32_t first, std::uint32_t step,
                  std::uint8_t* color, std::uint8_t*, std::uint8_t* extra, const std::uint8_t* gamma) {
    for (std::uint32_t k = 0, x = first; k < count; ++k, x += step, src += 6) {
        std::uint8_t* out = color + std::size_t(x) * 3;
        std::uint8_t* low = extra + std::size_t(x) * 3;
        out[0] = gamma[src[4]];
        out[1] = gamma[src[2]];
        out[2] = gamma[src[0]];
        low[0] = gamma[src[5]];
        low[1] = gamma[src[3]];
        low[2] = gamma[src[1]];
    }
}

void ConvertRgbAlpha8(const std::uint8_t* src, std::uint32_t count, std::uint32_t first, std::uint32_t step,
                      std::uint8_t* color, std::uint8_t* alpha, std::uint8_t*, const std::uint8_t* gamma) {
    std::uint8_t* out = color + std::size_t(first) * 3;
    std::uint8_t* a = alpha + first;
    const std::size_t advance = std::size_t(step) * 3;
    for (std::uint32_t k = 0; k < count; ++k, src += 4, out += advance, a += step) {
        out[0] = gamma[src[2]];
        out[1] = gamma[src[1]];
        out[2] = gamma[src[0]];
        *a = src[3];
    }
}

void ConvertRgbAlpha16(const std::uint8_t* src, std::uint32_t count, std::uint32_t first, std::uint32_t step,
                       std::uint8_t* color, std::uint8_t* alpha, std::uint8_t* extra, const std::uint8_t* gamma) {
    for (std::uint32_t k = 0, x = first; k < count; ++k, x += step, src += 8) {
        std::uint8_t* out = color + std::size_t(x) * 3;
        std::uint8_t* low = extra + std::size_t(x) * 3;
        out[0] = gamma[src[4]];
        out[1] = gamma[src[2]];
        out[2] = gamma[src[0]];
        low[0] = gamma[src[5]];
        low[1] = gamma[src[3]];
        low[2] = gamma[src[1]];
        alpha[x] = src[6];
    }
}

}  // namespace

TRowConverter ChooseRowConverter(std::uint8_t colorType, std::uint8_t bitDepth) {
    switch (colorType) {
    case kColorGray:
        switch (bitDepth) {
        case 1: return ConvertPacked<1>;
        case 2: return ConvertTwoBit<5>;
        case 4: return ConvertPacked<4>;
        case 8: return ConvertPacked<8>;
        case 16: return ConvertGray16;
        default: return nullptr;
        }
    case kColorPalette:
        switch (bitDepth) {
        case 1: return ConvertPacked<1>;
        case 2: return ConvertTwoBit<1>;
        case 4: return ConvertPacked<4>;
        case 8: return ConvertPacked<8>;
        default: return nullptr;
        }
    case kColorRgb:
        return bitDepth == 8 ? ConvertRgb8 : bitDepth == 16 ? ConvertRgb16 : nullptr;
    case kColorGrayAlpha:
        return bitDepth == 8 ? ConvertGrayAlpha8 : bitDepth == 16 ? ConvertGrayAlpha16 : nullptr;
    case kColorRgbAlpha:
        return bitDepth == 8 ? ConvertRgbAlpha8 : bitDepth == 16 ? ConvertRgbAlpha16 : nullptr;
    default:
        return nullptr;
    }
}

}  // namespace png
