#include "IcoBuilder.h"

namespace icotest {
namespace {

void Put16(std::vector<std::uint8_t>& out, std::uint32_t v) {
    out.push_back(std::uint8_t(v));
    out.push_back(std::uint8_t(v >> 8));
}

void Put32(std::vector<std::uint8_t>& out, std::uint32_t v) {
    Put16(out, v & 0xFFFF);
    Put16(out, v >> 16);
}

std::size_t Stride(int width, int bits) { return std::size_t(((width * bits + 31) & ~31) / 8); }

void SetPixel(std::vector<std::uint8_t>& row, int x, int bits, std::uint32_t v) {
    switch (bits) {
    case 1: row[std::size_t(x / 8)] |= std::uint8_t((v & 1u) << (7 - x % 8)); break;
    case 4: row[std::size_t(x / 2)] |= std::uint8_t((v & 0xFu) << (x % 2 ? 0 : 4)); break;
    case 8: row[std::size_t(x)] = std::uint8_t(v); break;
    default:
        for (int i = 0; i < bits / 8; ++i)
            row[std::size_t(x * bits / 8 + i)] = std::uint8_t(v >> (8 * i));
        break;
    }
}

}  // namespace

const std::vector<std::uint32_t>& Colors16() {
    static const std::vector<std::uint32_t> colors = {
        0x000000, 0x800000, 0x008000, 0x808000, 0x000080, 0x800080, 0x008080, 0x808080,
        0xC0C0C0, 0xFF0000, 0x00FF00, 0xFFFF00, 0x0000FF, 0xFF00FF, 0x00FFFF, 0xFFFFFF,
    };
    return colors;
}

std::vector<std::uint8_t> IconDib(int width, int height, int bits, const TPixelFn& pixel, const TMaskFn& mask,
                                  std::optional<std::uint32_t> colorsUsed) {
    const std::uint32_t tableEntries = bits <= 8 ? colorsUsed.value_or(1u << bits) : 0;
    std::vector<std::uint8_t> out;
    Put32(out, 40);
    Put32(out, std::uint32_t(width));
    Put32(out, std::uint32_t(height * 2));
    Put16(out, 1);
    Put16(out, std::uint32_t(bits));
    Put32(out, 0);
    Put32(out, 0);
    Put32(out, 0);
    Put32(out, 0);
    Put32(out, colorsUsed.value_or(0));
    Put32(out, 0);
    for (std::uint32_t i = 0; i < tableEntries; ++i)
        Put32(out, bits == 4 ? Colors16()[i % 16] : (i & 1 ? 0xFFFFFF : 0) ^ (bits == 8 ? i * 0x010101 : 0));
    for (int y = height - 1; y >= 0; --y) {
        std::vector<std::uint8_t> row(Stride(width, bits), 0);
        for (int x = 0; x < width; ++x)
            SetPixel(row, x, bits, pixel(x, y));
        out.insert(out.end(), row.begin(), row.end());
    }
    for (int y = height - 1; y >= 0; --y) {
        std::vector<std::uint8_t> row(Stride(width, 1), 0);
        for (int x = 0; x < width; ++x)
            SetPixel(row, x, 1, mask(x, y) ? 1u : 0u);
        out.insert(out.end(), row.begin(), row.end());
    }
    return out;
}

std::vector<std::uint8_t> SolidDib(int width, int height, std::uint32_t rgb) {
    return IconDib(width, height, 32, [rgb](int, int) { return rgb; }, [](int, int) { return false; });
}

TIcoBuilder& TIcoBuilder::Solid(int width, int height, std::uint16_t colors, std::uint32_t rgb) {
    return Entry(TIcoEntry{std::uint8_t(width), std::uint8_t(height), colors, SolidDib(width, height, rgb), {}, {}});
}

std::vector<std::uint8_t> TIcoBuilder::Bytes() const {
    std::vector<std::uint8_t> out;
    Put16(out, 0);
    Put16(out, FType);
    Put16(out, FCount.value_or(std::uint16_t(FEntries.size())));
    std::uint32_t offset = std::uint32_t(6 + 16 * FEntries.size());
    for (const TIcoEntry& entry : FEntries) {
        out.push_back(entry.Width);
        out.push_back(entry.Height);
        Put16(out, entry.Colors);
        Put16(out, 1);
        Put16(out, 32);
        Put32(out, entry.Size.value_or(std::uint32_t(entry.Image.size())));
        Put32(out, entry.Offset.value_or(offset));
        offset += std::uint32_t(entry.Image.size());
    }
    for (const TIcoEntry& entry : FEntries)
        out.insert(out.end(), entry.Image.begin(), entry.Image.end());
    return out;
}

std::vector<std::uint8_t> PngLikeImage() {
    std::vector<std::uint8_t> bytes = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    bytes.resize(64, 0);
    return bytes;
}

}  // namespace icotest
