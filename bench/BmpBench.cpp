// Loading BMP files and drawing them into a 64 × 64 thumbnail cell, against stb_image loading the
// same bytes, in the same run. Compare BM_Vistel/<case> with BM_Stb/<case>.
#include "graphics/Bitmap.h"

#define STB_IMAGE_IMPLEMENTATION
#define STBI_ONLY_BMP
#include <stb/stb_image.h>

#include <benchmark/benchmark.h>

#include <cstdint>
#include <vector>

namespace {

void Put32(std::vector<std::uint8_t>& out, std::uint32_t v) {
    for (int i = 0; i < 4; ++i)
        out.push_back(std::uint8_t(v >> (8 * i)));
}

void Put16(std::vector<std::uint8_t>& out, std::uint16_t v) {
    out.push_back(std::uint8_t(v));
    out.push_back(std::uint8_t(v >> 8));
}

// A BMP file of the given size and depth with a pattern of stripes; rle makes an 8-bit file
// run-length compressed (runs of 16 pixels).
std::vector<std::uint8_t> MakeBmp(int width, int height, int bits, bool rle) {
    std::vector<std::uint8_t> pixels;
    const std::size_t stride = std::size_t(((width * bits + 31) & ~31) / 8);
    if (rle) {
        for (int y = 0; y < height; ++y) {
            for (int x = 0; x < width; x += 16) {
                pixels.push_back(std::uint8_t(std::min(16, width - x)));
                pixels.push_back(std::uint8_t((x / 16 + y / 8) & 0xFF));
            }
            pixels.push_back(0);
            pixels.push_back(0);
        }
        pixels.push_back(0);
        pixels.push_back(1);
    } else {
        pixels.resize(stride * std::size_t(height));
        for (std::size_t i = 0; i < pixels.size(); ++i)
            pixels[i] = std::uint8_t((i / 7) * 37);
    }
    const int colors = bits <= 8 ? (1 << bits) : 0;
    std::vector<std::uint8_t> file;
    const std::uint32_t offset = 14 + 40 + std::uint32_t(colors) * 4;
    Put16(file, 0x4D42);
    Put32(file, offset + std::uint32_t(pixels.size()));
    Put32(file, 0);
    Put32(file, offset);
    Put32(file, 40);
    Put32(file, std::uint32_t(width));
    Put32(file, std::uint32_t(height));
    Put16(file, 1);
    Put16(file, std::uint16_t(bits));
    Put32(file, rle ? 1 : 0);
    Put32(file, std::uint32_t(pixels.size()));
    Put32(file, 2835);
    Put32(file, 2835);
    Put32(file, 0);
    Put32(file, 0);
    for (int i = 0; i < colors; ++i)
        Put32(file, std::uint32_t(i * 0x010203) & 0xFFFFFF);
    file.insert(file.end(), pixels.begin(), pixels.end());
    return file;
}

struct TCase {
    const char* Name;
    int Width;
    int Height;
    int Bits;
    bool Rle;
};

constexpr TCase kCases[] = {
    {"1bit_640x480", 640, 480, 1, false},     {"4bit_640x480", 640, 480, 4, false},
    {"8bit_640x480", 640, 480, 8, false},     {"24bit_64x64", 64, 64, 24, false},
    {"24bit_640x480", 640, 480, 24, false},   {"24bit_4000x3000", 4000, 3000, 24, false},
    {"32bit_640x480", 640, 480, 32, false},   {"32bit_4000x3000", 4000, 3000, 32, false},
    {"rle8_640x480", 640, 480, 8, true},
};

void BM_Vistel(benchmark::State& state, TCase c) {
    graphics::InitializeGraphics();
    const auto bytes = MakeBmp(c.Width, c.Height, c.Bits, c.Rle);
    for (auto _ : state) {
        TBytesStream stream(bytes.data(), bytes.size());
        graphics::TBitmap bitmap;
        bitmap.LoadFromStream(stream);
        graphics::TBitmap cell;
        cell.SetWidth(64);
        cell.SetHeight(64);
        cell.Canvas().StretchDraw(graphics::Rect(0, 0, 64, 64), &bitmap);
        graphics::ReleaseIdleBitmapContexts();
    }
    state.SetBytesProcessed(std::int64_t(state.iterations()) * std::int64_t(bytes.size()));
}

void BM_Stb(benchmark::State& state, TCase c) {
    const auto bytes = MakeBmp(c.Width, c.Height, c.Bits, c.Rle);
    for (auto _ : state) {
        int w = 0, h = 0, n = 0;
        stbi_uc* pixels = stbi_load_from_memory(bytes.data(), int(bytes.size()), &w, &h, &n, 0);
        benchmark::DoNotOptimize(pixels);
        stbi_image_free(pixels);
    }
    state.SetBytesProcessed(std::int64_t(state.iterations()) * std::int64_t(bytes.size()));
}

const bool registered = [] {
    for (const TCase& c : kCases) {
        benchmark::RegisterBenchmark((std::string("BM_Vistel/") + c.Name).c_str(), BM_Vistel, c)->Unit(benchmark::kMicrosecond);
        benchmark::RegisterBenchmark((std::string("BM_Stb/") + c.Name).c_str(), BM_Stb, c)->Unit(benchmark::kMicrosecond);
    }
    return true;
}();

}  // namespace
