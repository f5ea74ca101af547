// Saving PNG images with the default settings (deflate level 7, the Sub filter) against libpng
// writing the same pixels with the same level and filter, in the same run. Compare
// BM_Vistel/<case> with BM_Libpng/<case>; the pixels are smooth gradients with a little noise,
// as photographs are.
#include "graphics/Graphic.h"
#include "png/PngImage.h"
#include "png/PngModule.h"

#include <benchmark/benchmark.h>
#include <png.h>
#include <zlib.h>

#include <cstdint>
#include <memory>
#include <random>
#include <vector>

namespace {

struct TImage {
    int Width;
    int Height;
    int Channels;  // 3 RGB, 4 RGBA
    std::vector<std::uint8_t> Rgba;  // Channels bytes per pixel, red first, rows top-down
};

const TImage& Image(int megapixels, int channels) {
    static std::unique_ptr<TImage> cache[2][2];
    auto& slot = cache[megapixels == 16][channels == 4];
    if (!slot) {
        const int side = megapixels == 16 ? 4096 : 2048;
        slot = std::make_unique<TImage>(TImage{side, side, channels, {}});
        slot->Rgba.resize(std::size_t(side) * side * std::size_t(channels));
        std::mt19937 random(7);
        std::size_t i = 0;
        for (int y = 0; y < side; ++y) {
            for (int x = 0; x < side; ++x) {
                const int noise = int(random() % 5);
                slot->Rgba[i++] = std::uint8_t((x / 8 + noise) & 0xFF);
                slot->Rgba[i++] = std::uint8_t((y / 8 + noise) & 0xFF);
                slot->Rgba[i++] = std::uint8_t(((x + y) / 16) & 0xFF);
                if (channels == 4)
                    slot->Rgba[i++] = std::uint8_t(255 - ((x ^ y) & 0x3F));
            }
        }
    }
    return *slot;
}

void Startup() {
    static const bool done = [] {
        graphics::InitializeGraphics();
        png::InitializePng();
        return true;
    }();
    (void)done;
}

void BM_Vistel(benchmark::State& state) {
    Startup();
    const TImage& image = Image(int(state.range(0)), int(state.range(1)));
    png::TPNGObject object;
    auto header = std::make_unique<png::TChunkIHDR>(object);
    png::TChunkIHDR& h = *header;
    object.ChunkList.Append(header.release());
    h.SetWidth(std::uint32_t(image.Width));
    h.SetHeight(std::uint32_t(image.Height));
    h.SetBitDepth(8);
    h.SetColorType(image.Channels == 4 ? png::kColorRgbAlpha : png::kColorRgb);
    h.PrepareImage();
    object.ChunkList.Append(std::make_unique<png::TChunkIDAT>(object).release());
    object.ChunkList.Append(std::make_unique<png::TChunkIEND>(object).release());
    const std::uint8_t* in = image.Rgba.data();
    for (int y = 0; y < image.Height; ++y) {
        std::uint8_t* row = h.ColorRow(std::uint32_t(y));
        std::uint8_t* alpha = h.AlphaPlane() != nullptr ? h.AlphaPlane() + std::size_t(y) * std::size_t(image.Width) : nullptr;
        for (int x = 0; x < image.Width; ++x, in += image.Channels) {
            row[3 * x] = in[2];
            row[3 * x + 1] = in[1];
            row[3 * x + 2] = in[0];
            if (alpha != nullptr)
                alpha[x] = in[3];
        }
    }
    std::int64_t bytes = 0;
    for (auto _ : state) {
        TMemoryStream out;
        object.SaveToStream(out);
        bytes = out.Size();
        benchmark::DoNotOptimize(out.Memory());
    }
    state.counters["file_bytes"] = double(bytes);
}

void AppendToVector(png_structp write, png_bytep data, png_size_t length) {
    auto* out = static_cast<std::vector<std::uint8_t>*>(png_get_io_ptr(write));
    out->insert(out->end(), data, data + length);
}

// libpng picks zlib's filtered strategy for filtered rows by default; the second peer runs it with
// zlib's default strategy, the one our writer's plain deflateInit uses, to tell the library's
// own cost from the strategy's.
void Libpng(benchmark::State& state, bool defaultStrategy) {
    const TImage& image = Image(int(state.range(0)), int(state.range(1)));
    std::vector<png_bytep> rows(std::size_t(image.Height));
    for (int y = 0; y < image.Height; ++y)
        rows[std::size_t(y)] = const_cast<png_bytep>(image.Rgba.data() + std::size_t(y) * std::size_t(image.Width) * std::size_t(image.Channels));
    std::size_t bytes = 0;
    for (auto _ : state) {
        std::vector<std::uint8_t> out;
        png_structp write = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
        png_infop info = png_create_info_struct(write);
        if (setjmp(png_jmpbuf(write))) {
            png_destroy_write_struct(&write, &info);
            state.SkipWithError("libpng failed");
            return;
        }
        png_set_write_fn(write, &out, AppendToVector, nullptr);
        png_set_IHDR(write, info, png_uint_32(image.Width), png_uint_32(image.Height), 8,
                     image.Channels == 4 ? PNG_COLOR_TYPE_RGB_ALPHA : PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE,
                     PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
        png_set_compression_level(write, 7);
        png_set_filter(write, PNG_FILTER_TYPE_BASE, PNG_FILTER_SUB);
        if (defaultStrategy)
            png_set_compression_strategy(write, Z_DEFAULT_STRATEGY);
        png_write_info(write, info);
        png_write_image(write, rows.data());
        png_write_end(write, nullptr);
        png_destroy_write_struct(&write, &info);
        bytes = out.size();
        benchmark::DoNotOptimize(out.data());
    }
    state.counters["file_bytes"] = double(bytes);
}

void BM_Libpng(benchmark::State& state) { Libpng(state, false); }
void BM_LibpngDefaultStrategy(benchmark::State& state) { Libpng(state, true); }

void Cases(benchmark::internal::Benchmark* b) {
    b->ArgNames({"MP", "channels"});
    for (const int megapixels : {4, 16})
        for (const int channels : {3, 4})
            b->Args({megapixels, channels});
    b->Unit(benchmark::kMillisecond);
}

}  // namespace

BENCHMARK(BM_Vistel)->Apply(Cases);
BENCHMARK(BM_Libpng)->Apply(Cases);
BENCHMARK(BM_LibpngDefaultStrategy)->Apply(Cases);
