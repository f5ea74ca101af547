// Loads arbitrary bytes as a PNG stream and draws the result into a thumbnail cell, as the
// thumbnail builder does with every file of a folder.
#include "fuzz/FuzzCell.h"
#include "graphics/Bitmap.h"
#include "platform/gdi/Screen.h"
#include "png/ImageData.h"
#include "png/PngImage.h"
#include "png/PngModule.h"

#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const bool initialised = [] {
        // A small cap keeps hostile header sizes from spending the fuzzer's time on huge,
        // mostly empty images; the refusal path is what such inputs should exercise.
        gdi::SetBitmapStorageCap(4u << 20);
        graphics::InitializeGraphics();
        png::InitializePng();
        return true;
    }();
    (void)initialised;
    // Inputs beyond a megabyte teach nothing the small ones do not.
    if (size > (1u << 20))
        return 0;
    // Inputs of odd length take the row-by-row inflate even when the whole-data path would
    // serve them, so both paths meet every kind of input.
    png::SetWholeInflateLimit(size % 2 ? 0 : png::kDefaultWholeInflateLimit);
    try {
        TBytesStream stream(data, size);
        png::TPNGObject image;
        image.LoadFromStream(stream);
        fuzz::DrawIntoCell(image);
    } catch (const Exception&) {
        // Refusing a damaged file is the expected outcome; only crashes and leaks are failures.
    }
    graphics::ReleaseIdleBitmapContexts();
    return 0;
}
