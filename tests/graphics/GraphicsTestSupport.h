// Shared pieces of the picture framework's tests: a fixture on a fresh screen, a builder of BMP
// files in memory, and pixel reading through the raster layer.
#pragma once

#include "graphics/Bitmap.h"
#include "platform/gdi/Screen.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

class TGraphicsTest : public ::testing::Test {
protected:
    void SetUp() override { UseScreenDepth(32); }
    void TearDown() override {
        graphics::FinalizeGraphics();
        gdi::SetScreen(gdi::TScreenSettings{});
        gdi::SetBitmapStorageCap(gdi::kDefaultBitmapStorageCap);
    }
    /// Switches the screen and makes the framework's process-wide state anew for it.
    static void UseScreenDepth(int bitsPerPixel) {
        graphics::FinalizeGraphics();
        gdi::TScreenSettings settings;
        settings.BitsPerPixel = bitsPerPixel;
        gdi::SetScreen(settings);
        graphics::InitializeGraphics();
    }
};

/// Builds BMP files byte by byte, so each malformed case is one change to a valid file.
class TBmpBuilder {
public:
    TBmpBuilder(int width, int height, int bits) : FWidth(width), FHeight(height), FBits(bits) {}
    TBmpBuilder& HeaderSize(std::uint32_t size) { FHeaderSize = size; return *this; }
    TBmpBuilder& Compression(std::uint32_t value) { FCompression = value; return *this; }
    TBmpBuilder& Planes(std::uint16_t value) { FPlanes = value; return *this; }
    TBmpBuilder& ColorsUsed(std::uint32_t value) { FColorsUsed = value; return *this; }
    TBmpBuilder& ImageSize(std::uint32_t value) { FImageSize = value; return *this; }
    TBmpBuilder& Colors(std::vector<std::uint32_t> bgr) { FColors = std::move(bgr); return *this; }
    TBmpBuilder& Masks(std::uint32_t r, std::uint32_t g, std::uint32_t b) { FMasks = {r, g, b}; return *this; }
    /// Pixel bytes exactly as stored in the file (rows padded, in file order).
    TBmpBuilder& Pixels(std::vector<std::uint8_t> bytes) { FPixels = std::move(bytes); return *this; }

    std::vector<std::uint8_t> Bytes() const;
    static std::size_t Stride(int width, int bits) { return std::size_t(((width * bits + 31) & ~31) / 8); }

private:
    int FWidth, FHeight, FBits;
    std::uint32_t FHeaderSize = 40;
    std::uint32_t FCompression = 0;
    std::uint16_t FPlanes = 1;
    std::uint32_t FColorsUsed = 0;
    std::uint32_t FImageSize = 0;
    std::vector<std::uint32_t> FColors;
    std::vector<std::uint32_t> FMasks;
    std::vector<std::uint8_t> FPixels;
};

/// The pixels of a bitmap as 0x00RRGGBB values, top row first, read through a 32-bit DIB.
std::vector<std::uint32_t> ReadPixels(graphics::TBitmap& bitmap);
/// The pixels of a device context's rectangle as 0x00RRGGBB (GetPixel order converted).
std::uint32_t PixelAt(graphics::TBitmap& bitmap, int x, int y);
