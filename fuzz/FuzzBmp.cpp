// Loads arbitrary bytes as a BMP file and draws the result into a thumbnail cell, as the
// thumbnail builder does with every file of a folder.
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
        graphics::TBitmap cell;
        cell.SetWidth(64);
        cell.SetHeight(64);
        if (bitmap.Width() <= 64 && bitmap.Height() <= 64)
            cell.Canvas().Draw(0, 0, &bitmap);
        else
            cell.Canvas().StretchDraw(graphics::Rect(0, 0, 64, 64), &bitmap);
        // Saving must never fail on an image that loaded.
        TMemoryStream saved;
        bitmap.SaveToStream(saved);
    } catch (const Exception&) {
        // Refusing a damaged file is the expected outcome; only crashes and leaks are failures.
    }
    graphics::ReleaseIdleBitmapContexts();
    return 0;
}
