#include "GraphicsTestSupport.h"

#include <algorithm>

using namespace gdi;

namespace {

void Put32(std::vector<std::uint8_t>& out, std::uint32_t v) {
    for (int i = 0; i < 4; ++i)
        out.push_back(std::uint8_t(v >> (8 * i)));
}

void Put16(std::vector<std::uint8_t>& out, std::uint16_t v) {
    out.push_back(std::uint8_t(v));
    out.push_back(std::uint8_t(v >> 8));
}

}  // namespace

std::vector<std::uint8_t> TBmpBuilder::Bytes() const {
    std::vector<std::uint8_t> info;
    const bool core = FHeaderSize == 12;
    Put32(info, FHeaderSize);
    if (core) {
        Put16(info, std::uint16_t(FWidth));
        Put16(info, std::uint16_t(FHeight));
        Put16(info, FPlanes);
        Put16(info, std::uint16_t(FBits));
    } else {
        Put32(info, std::uint32_t(FWidth));
        Put32(info, std::uint32_t(FHeight));
        Put16(info, FPlanes);
        Put16(info, std::uint16_t(FBits));
        Put32(info, FCompression);
        Put32(info, FImageSize);
        Put32(info, 2835);
        Put32(info, 2835);
        Put32(info, FColorsUsed);
        Put32(info, 0);
        // Larger headers: the masks sit right after the 40 bytes, the rest is zero.
        // A huge declared size is a damaged file: the bytes themselves stop at a real header.
        for (std::size_t i = 0; info.size() < std::min<std::uint32_t>(FHeaderSize, 124); ++i) {
            if (i < 3 && FMasks.size() == 3 && FHeaderSize >= 52)
                Put32(info, FMasks[i]);
            else
                info.push_back(0);
        }
        if (FHeaderSize == 40 && FMasks.size() == 3)
            for (std::uint32_t mask : FMasks)
                Put32(info, mask);
    }
    for (std::uint32_t color : FColors) {
        info.push_back(std::uint8_t(color));
        info.push_back(std::uint8_t(color >> 8));
        info.push_back(std::uint8_t(color >> 16));
        if (!core)
            info.push_back(0);
    }
    std::vector<std::uint8_t> file;
    Put16(file, 0x4D42);
    Put32(file, std::uint32_t(14 + info.size() + FPixels.size()));
    Put32(file, 0);
    Put32(file, std::uint32_t(14 + info.size()));
    file.insert(file.end(), info.begin(), info.end());
    file.insert(file.end(), FPixels.begin(), FPixels.end());
    return file;
}

std::vector<std::uint32_t> ReadPixels(graphics::TBitmap& bitmap) {
    const int width = bitmap.Width();
    const int height = bitmap.Height();
    std::vector<std::uint32_t> pixels(std::size_t(width) * std::size_t(height));
    if (pixels.empty())
        return pixels;
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = -height;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    HDC screen = GetDC(nullptr);
    HBITMAP handle = bitmap.Handle();
    EXPECT_EQ(GetDIBits(screen, handle, 0, UINT(height), pixels.data(), &info, DIB_RGB_COLORS), height);
    ReleaseDC(nullptr, screen);
    for (auto& p : pixels)
        p &= 0x00FFFFFF;
    return pixels;
}

std::uint32_t PixelAt(graphics::TBitmap& bitmap, int x, int y) {
    auto pixels = ReadPixels(bitmap);
    return pixels.at(std::size_t(y) * std::size_t(bitmap.Width()) + std::size_t(x));
}
