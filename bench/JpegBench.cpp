// Loading a 12-megapixel JPEG and stretch-drawing it into a 64 × 64 thumbnail cell, against
// libjpeg-turbo decoding the same bytes straight into a BGR buffer, in the same run. Compare
// BM_Vistel/<case> with BM_Libjpeg/<case>. Both decode with the settings the graphic uses by
// default (floating-point DCT, block smoothing); greyscale files are quantised to 236 greys by the
// graphic, as its 8-bit grey bitmaps require, and expanded to BGR by the peer.
#include "graphics/Bitmap.h"
#include "jpeg/JpegImage.h"
#include "jpeg/JpegModule.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <csetjmp>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <stdexcept>
#include <vector>

#include <jpeglib.h>

namespace {

constexpr int kWidth = 4000;
constexpr int kHeight = 3000;

struct TErrorJump {
    jpeg_error_mgr Manager;
    std::jmp_buf Jump;
};

void JumpOnError(j_common_ptr cinfo) { std::longjmp(reinterpret_cast<TErrorJump*>(cinfo->err)->Jump, 1); }

// A photograph-like synthetic picture: gradients with a fine, irregular texture, so the entropy
// data is of a realistic size.
std::vector<std::uint8_t> MakeJpeg(bool progressive, bool grey) {
    std::vector<std::uint8_t> row(std::size_t(kWidth) * 3);
    jpeg_compress_struct c{};
    TErrorJump error;
    c.err = jpeg_std_error(&error.Manager);
    error.Manager.error_exit = JumpOnError;
    unsigned char* out = nullptr;
    unsigned long outSize = 0;
    if (setjmp(error.Jump)) {
        jpeg_destroy_compress(&c);
        std::free(out);
        throw std::runtime_error("benchmark picture could not be encoded");
    }
    jpeg_create_compress(&c);
    jpeg_mem_dest(&c, &out, &outSize);
    c.image_width = kWidth;
    c.image_height = kHeight;
    c.input_components = 3;
    c.in_color_space = JCS_EXT_BGR;
    jpeg_set_defaults(&c);
    jpeg_set_quality(&c, 90, TRUE);
    if (grey)
        jpeg_set_colorspace(&c, JCS_GRAYSCALE);
    if (progressive)
        jpeg_simple_progression(&c);
    jpeg_start_compress(&c, TRUE);
    std::uint32_t seed = 12345;
    while (c.next_scanline < c.image_height) {
        const unsigned y = c.next_scanline;
        for (unsigned x = 0; x < unsigned(kWidth); ++x) {
            seed = seed * 1664525u + 1013904223u;
            const unsigned noise = (seed >> 24) & 31;
            row[x * 3 + 0] = std::uint8_t((x * 255 / kWidth + noise) & 0xFF);
            row[x * 3 + 1] = std::uint8_t((y * 255 / kHeight + ((x / 40 + y / 30) & 1) * 40 + noise) & 0xFF);
            row[x * 3 + 2] = std::uint8_t(((x + y) / 28 * 9 + noise) & 0xFF);
        }
        JSAMPROW pointer = row.data();
        jpeg_write_scanlines(&c, &pointer, 1);
    }
    jpeg_finish_compress(&c);
    jpeg_destroy_compress(&c);
    std::vector<std::uint8_t> bytes(out, out + outSize);
    std::free(out);
    return bytes;
}

enum class TKind { Baseline, Progressive, Grey };

const std::vector<std::uint8_t>& Picture(TKind kind) {
    static const std::vector<std::uint8_t> pictures[3] = {MakeJpeg(false, false), MakeJpeg(true, false),
                                                          MakeJpeg(false, true)};
    return pictures[int(kind)];
}

void BM_Vistel(benchmark::State& state, TKind kind) {
    graphics::InitializeGraphics();
    jpeg::InitializeJpeg();
    const auto& bytes = Picture(kind);
    graphics::TBitmap cell;
    cell.SetWidth(64);
    cell.SetHeight(64);
    for (auto _ : state) {
        TBytesStream stream(bytes.data(), bytes.size());
        jpeg::TJPEGImage image;
        image.LoadFromStream(stream);
        cell.Canvas().StretchDraw(graphics::Rect(0, 0, 64, 64), &image);
        graphics::ReleaseIdleBitmapContexts();
    }
    jpeg::FinalizeJpeg();
    state.SetBytesProcessed(std::int64_t(state.iterations()) * std::int64_t(bytes.size()));
}

void BM_Libjpeg(benchmark::State& state, TKind kind) {
    const auto& bytes = Picture(kind);
    for (auto _ : state) {
        // Every decode makes a new picture, as every load of the graphic makes a new bitmap.
        std::unique_ptr<std::uint8_t[]> pixels(new std::uint8_t[std::size_t(kWidth) * kHeight * 3]);
        jpeg_decompress_struct d{};
        TErrorJump error;
        d.err = jpeg_std_error(&error.Manager);
        error.Manager.error_exit = JumpOnError;
        if (setjmp(error.Jump)) {
            jpeg_destroy_decompress(&d);
            state.SkipWithError("decode failed");
            break;
        }
        jpeg_create_decompress(&d);
        jpeg_mem_src(&d, bytes.data(), static_cast<unsigned long>(bytes.size()));
        jpeg_read_header(&d, TRUE);
        d.out_color_space = JCS_EXT_BGR;
        d.dct_method = JDCT_FLOAT;
        jpeg_start_decompress(&d);
        JSAMPROW rows[16];
        while (d.output_scanline < d.output_height) {
            const JDIMENSION count = std::min<JDIMENSION>(16, d.output_height - d.output_scanline);
            for (JDIMENSION i = 0; i < count; ++i)
                rows[i] = pixels.get() + std::size_t(d.output_scanline + i) * kWidth * 3;
            jpeg_read_scanlines(&d, rows, count);
        }
        jpeg_finish_decompress(&d);
        jpeg_destroy_decompress(&d);
        benchmark::DoNotOptimize(pixels.get());
    }
    state.SetBytesProcessed(std::int64_t(state.iterations()) * std::int64_t(bytes.size()));
}

const bool registered = [] {
    const struct {
        const char* Name;
        TKind Kind;
    } cases[] = {{"baseline_4000x3000", TKind::Baseline},
                 {"progressive_4000x3000", TKind::Progressive},
                 {"grey_4000x3000", TKind::Grey}};
    for (const auto& c : cases) {
        benchmark::RegisterBenchmark((std::string("BM_Vistel/") + c.Name).c_str(), BM_Vistel, c.Kind)
            ->Unit(benchmark::kMillisecond);
        benchmark::RegisterBenchmark((std::string("BM_Libjpeg/") + c.Name).c_str(), BM_Libjpeg, c.Kind)
            ->Unit(benchmark::kMillisecond);
    }
    return true;
}();

}  // namespace
