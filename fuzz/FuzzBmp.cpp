// Loads arbitrary bytes as a BMP file and draws the result into a thumbnail cell, as the
// thumbnail builder does with every file of a folder.
#include "fuzz/FuzzCell.h"

#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    // A monochrome picture shrunk with the default AND mode reads every one of its pixels, so the
    // cap stays small.
    fuzz::StartOnce(4u << 20);
    fuzz::Guarded([&] {
        TBytesStream stream(data, size);
        graphics::TBitmap bitmap;
        bitmap.LoadFromStream(stream);
        fuzz::DrawIntoCell(bitmap);
        // Saving must never fail on an image that loaded.
        TMemoryStream saved;
        bitmap.SaveToStream(saved);
    });
    return 0;
}
