// Loads arbitrary bytes as a PNG file, saves what loaded, and loads the saved file again: a file
// that loaded once must save into one that loads to the same size, whatever settings it carries.
#include "fuzz/FuzzCell.h"
#include "png/PngImage.h"
#include "png/PngModule.h"

#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    fuzz::StartOnce(4u << 20, png::InitializePng);
    png::TPNGObject first;
    try {
        TBytesStream stream(data, size);
        first.LoadFromStream(stream);
    } catch (const Exception&) {
        // Refusing a damaged file is the expected outcome; only crashes and leaks are failures.
        return 0;
    }
    // The last input byte picks the writing settings, so every row writer, filter and
    // interlace path is reached from the same files.
    const std::uint8_t knob = size > 0 ? data[size - 1] : 0;
    first.InterlaceMode = knob & 1;
    first.EncodeFilters = png::TPngFilters((knob >> 1) & 0x1F);
    TMemoryStream saved;
    first.SaveToStream(saved);
    saved.SetPosition(0);
    png::TPNGObject second;
    second.LoadFromStream(saved);
    if (second.GetWidth() != first.GetWidth() || second.GetHeight() != first.GetHeight())
        std::abort();
    return 0;
}
