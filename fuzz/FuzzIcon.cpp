// Loads arbitrary bytes as an icon file and draws it into a thumbnail cell, which makes the
// platform icon from the chosen image, then saves it again.
#include "fuzz/FuzzCell.h"
#include "graphics/Icon.h"

#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    fuzz::StartOnce(4u << 20);
    fuzz::Guarded([&] {
        TBytesStream stream(data, size);
        graphics::TIcon icon;
        icon.LoadFromStream(stream);
        fuzz::DrawIntoCell(icon);
        TMemoryStream saved;
        icon.SaveToStream(saved);
    });
    return 0;
}
