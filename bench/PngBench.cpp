// Decoding PNG files with our codec against libpng (its simplified png_image API, into 8-bit RGB
// or RGBA) and libspng (spng_decode_image), on the same bytes in the same run: the PngSuite
// images together, and generated RGB and RGBA images of 1, 4 and 16 megapixels written by libpng
// at its default compression. Compare BM_Vistel/<case> (and BM_VistelRowByRow/<case>, zlib only)
// with BM_Libpng/<case> and BM_Spng/<case>.
#include "png/ImageData.h"
#include "png/PngImage.h"
#include "png/PngModule.h"

#include <png.h>
#include <spng.h>

#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

namespace {

using TFile = std::vector<std::uint8_t>;

// The files of a case are made on the case's first run, so that a filtered run makes only the
// images it measures.
struct TCase {
    std::string Name;
    std::function<std::vector<TFile>()> Make;
    std::vector<TFile> Files;
    const std::vector<TFile>& Get() {
        if (Files.empty())
            Files = Make();
        return Files;
    }
};

TFile ReadWhole(const std::filesystem::path& path) {
    TMemoryStream stream;
    stream.LoadFromFile(path.string());
    return stream.Bytes();
}

std::vector<TFile> SuiteFiles() {
    std::vector<TFile> files;
    const std::filesystem::path suite = "../shared/corpus/pngsuite";
    if (!std::filesystem::exists(suite))
        return files;
    std::vector<std::filesystem::path> paths;
    for (const auto& entry : std::filesystem::directory_iterator(suite)) {
        const std::string name = entry.path().filename().string();
        if (entry.path().extension() == ".png" && name[0] != 'x')
            paths.push_back(entry.path());
    }
    std::sort(paths.begin(), paths.end());
    for (const auto& path : paths)
        files.push_back(ReadWhole(path));
    return files;
}

// A picture with smooth gradients, edges and a little noise, so the filters and the
// compressor meet something like a photograph rather than a flat field.
TFile MakeImage(std::uint32_t width, std::uint32_t height, bool alpha) {
    const unsigned channels = alpha ? 4 : 3;
    std::vector<std::uint8_t> pixels(std::size_t(width) * height * channels);
    std::uint32_t noise = 12345;
    for (std::uint32_t y = 0; y < height; ++y) {
        for (std::uint32_t x = 0; x < width; ++x) {
            noise = noise * 1103515245u + 12345u;
            std::uint8_t* p = pixels.data() + (std::size_t(y) * width + x) * channels;
            const unsigned n = (noise >> 16) & 7;
            p[0] = std::uint8_t((x * 255 / width + n) & 0xFF);
            p[1] = std::uint8_t((y * 255 / height + ((x / 64 + y / 64) % 2) * 40) & 0xFF);
            p[2] = std::uint8_t(((x + y) / 4 + n) & 0xFF);
            if (alpha)
                p[3] = std::uint8_t(((x * 7) ^ (y * 3)) & 0xFF);
        }
    }
    png_image image{};
    image.version = PNG_IMAGE_VERSION;
    image.width = width;
    image.height = height;
    image.format = alpha ? PNG_FORMAT_RGBA : PNG_FORMAT_RGB;
    png_alloc_size_t size = 0;
    png_image_write_to_memory(&image, nullptr, &size, 0, pixels.data(), 0, nullptr);
    TFile file(size);
    png_image_write_to_memory(&image, file.data(), &size, 0, pixels.data(), 0, nullptr);
    file.resize(size);
    png_image_free(&image);
    return file;
}

std::int64_t TotalBytes(TCase& c) {
    std::int64_t total = 0;
    for (const TFile& f : c.Get())
        total += std::int64_t(f.size());
    return total;
}

void BM_Vistel(benchmark::State& state, TCase* c) {
    const std::vector<TFile>& files = c->Get();
    for (auto _ : state) {
        for (const TFile& file : files) {
            TBytesStream stream(file.data(), file.size());
            png::TPNGObject image;
            image.LoadFromStream(stream);
            benchmark::DoNotOptimize(image.RequireHeader().ColorPlane());
        }
    }
    state.SetBytesProcessed(std::int64_t(state.iterations()) * TotalBytes(*c));
}

// Our row-by-row path alone (zlib's inflate), which serves images beyond the whole-data limit.
void BM_VistelRowByRow(benchmark::State& state, TCase* c) {
    png::SetWholeInflateLimit(0);
    BM_Vistel(state, c);
    png::SetWholeInflateLimit(png::kDefaultWholeInflateLimit);
}

void BM_Libpng(benchmark::State& state, TCase* c) {
    const std::vector<TFile>& files = c->Get();
    std::vector<std::uint8_t> buffer;
    for (auto _ : state) {
        for (const TFile& file : files) {
            png_image image{};
            image.version = PNG_IMAGE_VERSION;
            if (!png_image_begin_read_from_memory(&image, file.data(), file.size()))
                state.SkipWithError("libpng refused a file");
            image.format = (image.format & PNG_FORMAT_FLAG_ALPHA) ? PNG_FORMAT_RGBA : PNG_FORMAT_RGB;
            buffer.resize(PNG_IMAGE_SIZE(image));
            png_image_finish_read(&image, nullptr, buffer.data(), 0, nullptr);
            benchmark::DoNotOptimize(buffer.data());
            png_image_free(&image);
        }
    }
    state.SetBytesProcessed(std::int64_t(state.iterations()) * TotalBytes(*c));
}

void BM_Spng(benchmark::State& state, TCase* c) {
    const std::vector<TFile>& files = c->Get();
    std::vector<std::uint8_t> buffer;
    for (auto _ : state) {
        for (const TFile& file : files) {
            spng_ctx* ctx = spng_ctx_new(0);
            spng_set_png_buffer(ctx, file.data(), file.size());
            spng_ihdr ihdr{};
            spng_get_ihdr(ctx, &ihdr);
            const bool alpha = ihdr.color_type == SPNG_COLOR_TYPE_TRUECOLOR_ALPHA ||
                               ihdr.color_type == SPNG_COLOR_TYPE_GRAYSCALE_ALPHA;
            const int format = alpha ? SPNG_FMT_RGBA8 : SPNG_FMT_RGB8;
            std::size_t size = 0;
            spng_decoded_image_size(ctx, format, &size);
            buffer.resize(size);
            spng_decode_image(ctx, buffer.data(), size, format, 0);
            benchmark::DoNotOptimize(buffer.data());
            spng_ctx_free(ctx);
        }
    }
    state.SetBytesProcessed(std::int64_t(state.iterations()) * TotalBytes(*c));
}

const bool registered = [] {
    graphics::InitializeGraphics();
    png::InitializePng();
    static std::vector<TCase> cases;
    cases.push_back({"PngSuite", SuiteFiles, {}});
    for (const auto& [name, w, h] : {std::tuple{"1MP", 1000u, 1000u}, std::tuple{"4MP", 2000u, 2000u},
                                     std::tuple{"16MP", 4000u, 4000u}}) {
        const std::uint32_t width = w, height = h;
        cases.push_back({std::string("RGB_") + name, [=] { return std::vector<TFile>{MakeImage(width, height, false)}; }, {}});
        cases.push_back({std::string("RGBA_") + name, [=] { return std::vector<TFile>{MakeImage(width, height, true)}; }, {}});
    }
    for (TCase& c : cases) {
        benchmark::RegisterBenchmark(("BM_Vistel/" + c.Name).c_str(), BM_Vistel, &c)->Unit(benchmark::kMillisecond);
        benchmark::RegisterBenchmark(("BM_VistelRowByRow/" + c.Name).c_str(), BM_VistelRowByRow, &c)
            ->Unit(benchmark::kMillisecond);
        benchmark::RegisterBenchmark(("BM_Libpng/" + c.Name).c_str(), BM_Libpng, &c)->Unit(benchmark::kMillisecond);
        benchmark::RegisterBenchmark(("BM_Spng/" + c.Name).c_str(), BM_Spng, &c)->Unit(benchmark::kMillisecond);
    }
    return true;
}();

}  // namespace
