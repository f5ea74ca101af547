// Loads arbitrary bytes as an icon file and draws it into a thumbnail cell, which makes the
// platform icon from the chosen image, then saves it again.
#include "graphics/Icon.h"
#include "platform/gdi/Screen.h"

#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const bool initialised = [] {
        gdi::SetBitmapStorageCap(4u << 20);
        graphics::InitializeGraphics();
        return true;
    }();
    (void)initialised;
    try {
        TBytesStream stream(data, size);
        graphics::TIcon icon;
        icon.LoadFromStream(stream);
        graphics::TBitmap cell;
        cell.SetWidth(64);
        cell.SetHeight(64);
        cell.Canvas().Draw(0, 0, &icon);
        TMemoryStream saved;
        icon.SaveToStream(saved);
    } catch (const Exception&) {
        // Refusing a damaged file is the expected outcome; only crashes and leaks are failures.
    }
    graphics::ReleaseIdleBitmapContexts();
    return 0;
}
