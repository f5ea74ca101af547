// Loads arbitrary bytes as a BMP file and draws the result into a thumbnail cell, as the
// thumbnail builder does with every file of a folder.
#include "fuzz/FuzzCell.h"
#include "graphics/Bitmap.h"
#include "platform/gdi/Screen.h"

#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const bool initialised = [] {
        // A small cap keeps hostile sizes from spending the fuzzer's time on huge images: a
        // monochrome picture shrunk with the default AND mode reads every one of its pixels.
        gdi::SetBitmapStorageCap(4u << 20);
        graphics::InitializeGraphics();
        return true;
    }();
    (void)initialised;
    try {
        TBytesStream stream(data, size);
        graphics::TBitmap bitmap;
        bitmap.LoadFromStream(stream);
        fuzz::DrawIntoCell(bitmap);
        // Saving must never fail on an image that loaded.
        TMemoryStream saved;
        bitmap.SaveToStream(saved);
    } catch (const Exception&) {
        // Refusing a damaged file is the expected outcome; only crashes and leaks are failures.
    }
    graphics::ReleaseIdleBitmapContexts();
    return 0;
}
