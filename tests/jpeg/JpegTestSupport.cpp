#include "tests/jpeg/JpegTestSupport.h"

#include "jpeg/JpegModule.h"

#include <cmath>
#include <csetjmp>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <stdexcept>

#include <jpeglib.h>

void TJpegTest::TearDown() {
    jpeg::FinalizeJpeg();
    graphics::FinalizeGraphics();
    gdi::SetScreen(gdi::TScreenSettings{});
    gdi::SetBitmapStorageCap(gdi::kDefaultBitmapStorageCap);
    jpeg::JPEGDefaultSettings = jpeg::TJPEGSettings{};
}

void TJpegTest::UseScreenDepth(int bitsPerPixel) {
    jpeg::FinalizeJpeg();
    graphics::FinalizeGraphics();
    gdi::TScreenSettings settings;
    settings.BitsPerPixel = bitsPerPixel;
    gdi::SetScreen(settings);
    graphics::InitializeGraphics();
    jpeg::InitializeJpeg();
}

std::vector<std::uint8_t> CorpusFile(const std::string& name) {
    std::ifstream in("../shared/corpus/jpeg/" + name, std::ios::binary);
    if (!in)
        throw std::runtime_error("missing test image " + name);
    return std::vector<std::uint8_t>(std::istreambuf_iterator<char>(in), {});
}

std::vector<std::uint8_t> TestPicture(int width, int height) {
    std::vector<std::uint8_t> pixels(std::size_t(width) * std::size_t(height) * 3);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            std::uint8_t* p = &pixels[(std::size_t(y) * std::size_t(width) + std::size_t(x)) * 3];
            p[0] = std::uint8_t(x * 255 / std::max(1, width - 1));
            p[1] = std::uint8_t(y * 255 / std::max(1, height - 1));
            p[2] = std::uint8_t((x + y) * 255 / std::max(1, width + height - 2));
        }
    return pixels;
}

namespace {

struct TErrorJump {
    jpeg_error_mgr Manager;
    std::jmp_buf Jump;
};

void JumpOnError(j_common_ptr cinfo) { std::longjmp(reinterpret_cast<TErrorJump*>(cinfo->err)->Jump, 1); }

}  // namespace

std::vector<std::uint8_t> EncodeTestJpeg(const TEncodeOptions& options) {
    const std::vector<std::uint8_t> picture = TestPicture(options.Width, options.Height);
    std::vector<std::uint8_t> grey(std::size_t(options.Width) * std::size_t(options.Height));
    for (std::size_t i = 0; i < grey.size(); ++i)
        grey[i] = picture[i * 3 + 1];
    jpeg_compress_struct c{};
    TErrorJump error;
    c.err = jpeg_std_error(&error.Manager);
    error.Manager.error_exit = JumpOnError;
    unsigned char* out = nullptr;
    unsigned long outSize = 0;
    if (setjmp(error.Jump)) {
        jpeg_destroy_compress(&c);
        std::free(out);
        throw std::runtime_error("test encoder failed");
    }
    jpeg_create_compress(&c);
    jpeg_mem_dest(&c, &out, &outSize);
    c.image_width = JDIMENSION(options.Width);
    c.image_height = JDIMENSION(options.Height);
    c.input_components = options.Grey ? 1 : 3;
    c.in_color_space = options.Grey ? JCS_GRAYSCALE : JCS_EXT_BGR;
    jpeg_set_defaults(&c);
    jpeg_set_quality(&c, options.Quality, TRUE);
    if (options.Progressive)
        jpeg_simple_progression(&c);
    jpeg_start_compress(&c, TRUE);
    const std::size_t stride = std::size_t(options.Width) * std::size_t(c.input_components);
    while (c.next_scanline < c.image_height) {
        const std::uint8_t* source = options.Grey ? grey.data() : picture.data();
        JSAMPROW row = const_cast<JSAMPROW>(source + c.next_scanline * stride);
        jpeg_write_scanlines(&c, &row, 1);
    }
    jpeg_finish_compress(&c);
    jpeg_destroy_compress(&c);
    std::vector<std::uint8_t> bytes(out, out + outSize);
    std::free(out);
    return bytes;
}

TReference DecodeReference(const std::vector<std::uint8_t>& bytes) {
    jpeg_decompress_struct d{};
    TErrorJump error;
    d.err = jpeg_std_error(&error.Manager);
    error.Manager.error_exit = JumpOnError;
    error.Manager.emit_message = [](j_common_ptr, int) {};
    TReference reference;
    if (setjmp(error.Jump)) {
        jpeg_destroy_decompress(&d);
        throw std::runtime_error("reference decoder failed");
    }
    jpeg_create_decompress(&d);
    jpeg_mem_src(&d, bytes.data(), static_cast<unsigned long>(bytes.size()));
    jpeg_read_header(&d, TRUE);
    if (d.out_color_space == JCS_RGB)
        d.out_color_space = JCS_EXT_BGR;
    d.dct_method = JDCT_FLOAT;
    jpeg_start_decompress(&d);
    reference.Width = int(d.output_width);
    reference.Height = int(d.output_height);
    reference.Components = d.output_components;
    const std::size_t stride = std::size_t(reference.Width) * std::size_t(reference.Components);
    reference.Pixels.resize(stride * std::size_t(reference.Height));
    while (d.output_scanline < d.output_height) {
        JSAMPROW row = reference.Pixels.data() + d.output_scanline * stride;
        jpeg_read_scanlines(&d, &row, 1);
    }
    jpeg_finish_decompress(&d);
    jpeg_destroy_decompress(&d);
    return reference;
}

std::vector<std::uint8_t> BitmapRows(graphics::TBitmap& bitmap, int bytesPerPixel) {
    const std::size_t rowBytes = std::size_t(bitmap.Width()) * std::size_t(bytesPerPixel);
    std::vector<std::uint8_t> rows;
    rows.reserve(rowBytes * std::size_t(bitmap.Height()));
    for (int y = 0; y < bitmap.Height(); ++y) {
        const auto* row = static_cast<const std::uint8_t*>(bitmap.ScanLine(y));
        rows.insert(rows.end(), row, row + rowBytes);
    }
    return rows;
}

double Psnr(const std::vector<std::uint8_t>& a, const std::vector<std::uint8_t>& b) {
    if (a.size() != b.size() || a.empty())
        return 0.0;
    double sum = 0.0;
    for (std::size_t i = 0; i < a.size(); ++i) {
        const double d = double(a[i]) - double(b[i]);
        sum += d * d;
    }
    if (sum == 0.0)
        return 99.0;
    return 10.0 * std::log10(255.0 * 255.0 / (sum / double(a.size())));
}

void LoadBytes(jpeg::TJPEGImage& image, const std::vector<std::uint8_t>& bytes) {
    TBytesStream stream(bytes.data(), bytes.size());
    image.LoadFromStream(stream);
}
