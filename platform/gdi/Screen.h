// Settings of the modelled screen and of the layer's limits. They are not platform calls: the
// program sets them once at start-up and tests set them before they create any object.
#pragma once

#include <cstddef>

namespace gdi {

struct TScreenSettings {
    int BitsPerPixel = 32;  // 1, 4, 8 (a palette device), 16, 24 or 32
    int Width = 1920;
    int Height = 1080;
    int LogPixelsX = 96;
    int LogPixelsY = 96;
};

/// Replaces the screen model and resets the system palette to its 20 static colours. Objects
/// made before keep the format they were made with.
void SetScreen(const TScreenSettings& settings);
TScreenSettings GetScreen();

/// The largest pixel storage one bitmap may have; a bigger one is refused with
/// ERROR_NOT_ENOUGH_MEMORY. The default is 1 GiB.
void SetBitmapStorageCap(std::size_t bytes);
std::size_t GetBitmapStorageCap();
constexpr std::size_t kDefaultBitmapStorageCap = std::size_t(1) << 30;

/// Number of live objects of the handle table, stock objects excluded (for leak checks).
std::size_t LiveObjectCount();

}  // namespace gdi
