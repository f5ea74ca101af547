// A program outside the tree, built against an installed Vistel. It draws through the raster layer,
// writes what it drew as a BMP file of its own making, reads that back through the picture
// framework, and loads the installed application icons through the PNG graphic.
//
// Usage: consumer PREFIX WORK_FOLDER
#include "app/Codecs.h"
#include "graphics/Bitmap.h"
#include "graphics/Graphic.h"
#include "graphics/GraphicsBase.h"
#include "platform/base/Version.h"
#include "platform/gdi/Gdi.h"

#include <cstdint>
#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

namespace {

int failures = 0;

void Check(bool ok, const std::string& what) {
    if (!ok) {
        std::fprintf(stderr, "consumer: %s\n", what.c_str());
        ++failures;
    }
}

void PutLE(std::vector<std::uint8_t>& bytes, std::uint32_t value, int size) {
    for (int i = 0; i < size; ++i)
        bytes.push_back(static_cast<std::uint8_t>(value >> (8 * i)));
}

// A 5 × 3 picture: red, with a blue rectangle from (1, 1) to (3, 2) exclusive.
constexpr int kWidth = 5;
constexpr int kHeight = 3;

std::vector<std::uint8_t> DrawAndEncode() {
    using namespace gdi;
    HDC dc = CreateCompatibleDC(nullptr);
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
    info.bmiHeader.biWidth = kWidth;
    info.bmiHeader.biHeight = kHeight;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 24;
    info.bmiHeader.biCompression = BI_RGB;
    void* bits = nullptr;
    HBITMAP bitmap = CreateDIBSection(dc, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    Check(dc != nullptr && bitmap != nullptr && bits != nullptr, "the raster layer made no DIB section");
    HGDIOBJ previous = SelectObject(dc, bitmap);
    HBRUSH red = CreateSolidBrush(RGB(255, 0, 0));
    HBRUSH blue = CreateSolidBrush(RGB(0, 0, 255));
    const RECT all{0, 0, kWidth, kHeight};
    const RECT inner{1, 1, 3, 2};
    FillRect(dc, &all, red);
    FillRect(dc, &inner, blue);
    Check(GetPixel(dc, 0, 0) == RGB(255, 0, 0), "the raster layer did not fill the bitmap");
    Check(GetPixel(dc, 2, 1) == RGB(0, 0, 255), "the raster layer did not fill the inner rectangle");
    GdiFlush();

    // BMP: file header, information header, then the DIB section's bottom-up rows as they are.
    const std::uint32_t stride = (kWidth * 3 + 3) & ~3u;
    const std::uint32_t imageSize = stride * kHeight;
    std::vector<std::uint8_t> file{'B', 'M'};
    PutLE(file, 14 + 40 + imageSize, 4);
    PutLE(file, 0, 4);
    PutLE(file, 14 + 40, 4);
    PutLE(file, 40, 4);
    PutLE(file, kWidth, 4);
    PutLE(file, kHeight, 4);
    PutLE(file, 1, 2);
    PutLE(file, 24, 2);
    PutLE(file, 0, 4);
    PutLE(file, imageSize, 4);
    PutLE(file, 2835, 4);
    PutLE(file, 2835, 4);
    PutLE(file, 0, 4);
    PutLE(file, 0, 4);
    const auto* rows = static_cast<const std::uint8_t*>(bits);
    file.insert(file.end(), rows, rows + imageSize);

    SelectObject(dc, previous);
    DeleteObject(red);
    DeleteObject(blue);
    DeleteObject(bitmap);
    DeleteDC(dc);
    return file;
}

void ReadBack(const std::string& path) {
    graphics::TPicture picture;
    picture.LoadFromFile(path);
    Check(picture.Width() == kWidth && picture.Height() == kHeight, "the framework read the wrong size");
    auto* bitmap = dynamic_cast<graphics::TBitmap*>(picture.Graphic());
    Check(bitmap != nullptr, "a .bmp file did not load as a bitmap");
    if (bitmap == nullptr)
        return;
    gdi::HDC dc = bitmap->Canvas().Handle();
    Check(gdi::GetPixel(dc, 0, 2) == gdi::RGB(255, 0, 0), "the loaded picture lost its red");
    Check(gdi::GetPixel(dc, 1, 1) == gdi::RGB(0, 0, 255), "the loaded picture lost its blue");
    Check(gdi::GetPixel(dc, 3, 1) == gdi::RGB(255, 0, 0), "the loaded picture's rectangle is too wide");
}

void LoadInstalledIcons(const std::string& prefix) {
    for (int size : {16, 32, 48, 64, 128, 256}) {
        const std::string name = std::to_string(size) + "x" + std::to_string(size);
        graphics::TPicture icon;
        icon.LoadFromFile(prefix + "/share/icons/hicolor/" + name + "/apps/vistel.png");
        Check(icon.Width() == size && icon.Height() == size, "the " + name + " icon has another size");
    }
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: consumer PREFIX WORK_FOLDER\n");
        return 2;
    }
    const std::string prefix = argv[1];
    const std::string picture = std::string(argv[2]) + "/drawn.bmp";
    graphics::InitializeGraphics();
    app::InitializeCodecs();
    try {
        const std::vector<std::uint8_t> bytes = DrawAndEncode();
        std::ofstream(picture, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()),
                                                       static_cast<std::streamsize>(bytes.size()));
        ReadBack(picture);
        LoadInstalledIcons(prefix);
    } catch (const std::exception& error) {
        Check(false, std::string("unexpected failure: ") + error.what());
    }
    app::FinalizeCodecs();
    graphics::FinalizeGraphics();
    if (failures == 0)
        std::printf("consumer of Vistel %s: all checks passed\n", VISTEL_VERSION);
    return failures == 0 ? 0 : 1;
}
