// Loads arbitrary bytes as a PNG stream and draws the result into a thumbnail cell, as the
// thumbnail builder does with every file of a folder.
#include "fuzz/FuzzCell.h"
#include "png/ImageData.h"
#include "png/PngImage.h"
#include "png/PngModule.h"

#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    fuzz::StartOnce(4u << 20, png::InitializePng);
    // Inputs beyond a megabyte teach nothing the small ones do not.
    if (size > (1u << 20))
        return 0;
    // Inputs of odd length take the row-by-row inflate even when the whole-data path would
    // serve them, so both paths meet every kind of input.
    png::SetWholeInflateLimit(size % 2 ? 0 : png::kDefaultWholeInflateLimit);
    fuzz::Guarded([&] {
        TBytesStream stream(data, size);
        png::TPNGObject image;
        image.LoadFromStream(stream);
        fuzz::DrawIntoCell(image);
    });
    return 0;
}
