// Shared pieces of the JPEG tests: a fixture with the framework and the JPEG module started on a
// chosen screen, and libjpeg used directly to make test files and reference pixels.
#pragma once

#include "graphics/Bitmap.h"
#include "jpeg/JpegImage.h"
#include "platform/gdi/Screen.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

class TJpegTest : public ::testing::Test {
protected:
    void SetUp() override { UseScreenDepth(32); }
    void TearDown() override;
    /// Restarts the framework and the JPEG module on a screen of the given depth.
    static void UseScreenDepth(int bitsPerPixel);
};

/// Bytes of a file of the shared test images, relative to ../shared/corpus/jpeg/.
std::vector<std::uint8_t> CorpusFile(const std::string& name);

struct TEncodeOptions {
    int Width = 48;
    int Height = 32;
    bool Grey = false;
    bool Progressive = false;
    int Quality = 90;
};
/// A JPEG of a smooth synthetic picture: blue rises to the right, green downwards, red along the
/// diagonal (greyscale files use the green ramp).
std::vector<std::uint8_t> EncodeTestJpeg(const TEncodeOptions& options);
/// The synthetic picture itself, as blue, green, red rows without padding.
std::vector<std::uint8_t> TestPicture(int width, int height);

/// libjpeg's own decode of the bytes straight into rows without padding, with the settings the
/// graphic uses for 24-bit output (floating-point DCT, block smoothing). Colour files give BGR.
struct TReference {
    int Width = 0;
    int Height = 0;
    int Components = 0;
    std::vector<std::uint8_t> Pixels;
};
TReference DecodeReference(const std::vector<std::uint8_t>& bytes);

/// The rows of a 24-bit bitmap without padding, top row first.
std::vector<std::uint8_t> BitmapRows(graphics::TBitmap& bitmap, int bytesPerPixel);
/// Peak signal-to-noise ratio of two equally long sample arrays, in decibels.
double Psnr(const std::vector<std::uint8_t>& a, const std::vector<std::uint8_t>& b);

/// Loads a graphic from bytes through its stream reader.
void LoadBytes(jpeg::TJPEGImage& image, const std::vector<std::uint8_t>& bytes);
