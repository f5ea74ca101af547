#include "PngWriteSupport.h"

#include <png.h>
#include <zlib.h>

#include <csetjmp>
#include <cstring>

TBytes SavePng(png::TPNGObject& png) {
    TMemoryStream stream;
    png.SaveToStream(stream);
    return stream.Bytes();
}

namespace {

std::uint32_t Big32(const TBytes& b, std::size_t at) {
    return (std::uint32_t(b[at]) << 24) | (std::uint32_t(b[at + 1]) << 16) | (std::uint32_t(b[at + 2]) << 8) | b[at + 3];
}

/// Calls f(offset of the length field, length) for every chunk of the type.
template <typename F>
void ForEachChunk(const TBytes& bytes, const std::string& type, F f) {
    std::size_t at = 8;
    while (at + 12 <= bytes.size()) {
        const std::uint32_t length = Big32(bytes, at);
        if (std::memcmp(bytes.data() + at + 4, type.data(), 4) == 0)
            f(at, length);
        at += 12 + std::size_t(length);
    }
}

struct TMemoryReader {
    const TBytes* Bytes;
    std::size_t At = 0;
};

void ReadFromMemory(png_structp read, png_bytep out, png_size_t count) {
    auto* source = static_cast<TMemoryReader*>(png_get_io_ptr(read));
    if (source->At + count > source->Bytes->size())
        png_error(read, "read past the end");
    std::memcpy(out, source->Bytes->data() + source->At, count);
    source->At += count;
}

void CountWarning(png_structp read, png_const_charp) {
    ++static_cast<TLibpngImage*>(png_get_error_ptr(read))->Warnings;
}

void RecordError(png_structp read, png_const_charp message) {
    static_cast<TLibpngImage*>(png_get_error_ptr(read))->Error = message;
    png_longjmp(read, 1);
}

}  // namespace

std::vector<std::uint32_t> ChunkLengths(const TBytes& bytes, const std::string& type) {
    std::vector<std::uint32_t> lengths;
    ForEachChunk(bytes, type, [&](std::size_t, std::uint32_t length) { lengths.push_back(length); });
    return lengths;
}

TBytes ChunkData(const TBytes& bytes, const std::string& type, int nth) {
    TBytes data;
    int index = 0;
    ForEachChunk(bytes, type, [&](std::size_t at, std::uint32_t length) {
        if (index++ == nth)
            data.assign(bytes.begin() + std::ptrdiff_t(at + 8), bytes.begin() + std::ptrdiff_t(at + 8 + length));
    });
    return data;
}

TBytes Inflate(const TBytes& compressed) {
    TBytes out;
    z_stream z{};
    inflateInit(&z);
    z.next_in = const_cast<Bytef*>(compressed.data());
    z.avail_in = uInt(compressed.size());
    std::uint8_t window[4096];
    int status = Z_OK;
    while (status == Z_OK) {
        z.next_out = window;
        z.avail_out = sizeof(window);
        status = inflate(&z, Z_NO_FLUSH);
        out.insert(out.end(), window, window + (sizeof(window) - z.avail_out));
    }
    inflateEnd(&z);
    EXPECT_EQ(status, Z_STREAM_END) << "the image data is not one complete zlib stream";
    return out;
}

TBytes InflateImageData(const TBytes& bytes) {
    TBytes joined;
    ForEachChunk(bytes, "IDAT", [&](std::size_t at, std::uint32_t length) {
        joined.insert(joined.end(), bytes.begin() + std::ptrdiff_t(at + 8),
                      bytes.begin() + std::ptrdiff_t(at + 8 + length));
    });
    return Inflate(joined);
}

TLibpngImage ReadWithLibpng(const TBytes& bytes) {
    TLibpngImage image;
    TMemoryReader source{&bytes};
    png_structp read = png_create_read_struct(PNG_LIBPNG_VER_STRING, &image, RecordError, CountWarning);
    png_infop info = png_create_info_struct(read);
    if (setjmp(png_jmpbuf(read))) {
        png_destroy_read_struct(&read, &info, nullptr);
        image.Ok = false;
        return image;
    }
    png_set_read_fn(read, &source, ReadFromMemory);
    png_read_info(read, info);
    image.Width = png_get_image_width(read, info);
    image.Height = png_get_image_height(read, info);
    image.BitDepth = png_get_bit_depth(read, info);
    image.ColorType = png_get_color_type(read, info);
    image.Interlace = png_get_interlace_type(read, info);
    png_set_palette_to_rgb(read);
    png_set_expand_gray_1_2_4_to_8(read);
    png_set_gray_to_rgb(read);
    if ((image.ColorType & PNG_COLOR_MASK_ALPHA) == 0)
        png_set_add_alpha(read, image.BitDepth == 16 ? 0xFFFF : 0xFF, PNG_FILLER_AFTER);
    png_set_interlace_handling(read);
    png_read_update_info(read, info);
    const std::size_t rowBytes = png_get_rowbytes(read, info);
    std::vector<std::uint8_t> pixels(rowBytes * image.Height);
    std::vector<png_bytep> rows(image.Height);
    for (std::uint32_t y = 0; y < image.Height; ++y)
        rows[y] = pixels.data() + y * rowBytes;
    png_read_image(read, rows.data());
    png_read_end(read, nullptr);
    png_destroy_read_struct(&read, &info, nullptr);
    const std::size_t count = std::size_t(image.Width) * image.Height * 4;
    image.Rgba.resize(count);
    if (image.BitDepth == 16) {
        image.Rgba16.resize(count);
        for (std::size_t i = 0; i < count; ++i) {
            image.Rgba16[i] = std::uint16_t(pixels[2 * i] << 8 | pixels[2 * i + 1]);
            image.Rgba[i] = pixels[2 * i];
        }
    } else {
        image.Rgba.assign(pixels.begin(), pixels.begin() + std::ptrdiff_t(count));
    }
    image.Ok = true;
    return image;
}
