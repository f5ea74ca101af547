// Loads arbitrary bytes as a metafile file (enhanced, or placeable Windows converted twice), draws
// it into a thumbnail cell, and saves it again both ways.
#include "fuzz/FontconfigLeak.h"
#include "fuzz/FuzzCell.h"
#include "graphics/Metafile.h"

#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    fuzz::StartOnce(4u << 20);
    fuzz::Guarded([&] {
        TBytesStream stream(data, size);
        graphics::TMetafile metafile;
        metafile.LoadFromStream(stream);
        fuzz::DrawIntoCell(metafile);
        TMemoryStream saved;
        metafile.SaveToStream(saved);
        metafile.SetEnhanced(!metafile.Enhanced());
        metafile.SaveToStream(saved);
    });
    return 0;
}
