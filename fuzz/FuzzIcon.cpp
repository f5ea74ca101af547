// Loads arbitrary bytes as an icon file and draws it into a thumbnail cell, which makes the
// platform icon from the chosen image, then saves it again.
#include "fuzz/FuzzCell.h"
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
        fuzz::DrawIntoCell(icon);
        TMemoryStream saved;
        icon.SaveToStream(saved);
    } catch (const Exception&) {
        // Refusing a damaged file is the expected outcome; only crashes and leaks are failures.
    }
    graphics::ReleaseIdleBitmapContexts();
    return 0;
}
