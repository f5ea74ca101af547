// Windows metafiles from untrusted bytes: made into a handle, then played into a 64 × 64 cell at 8
// and 32 bits, as a thumbnail would draw them. A placeable header in front is taken off first.
#include "platform/gdi/Gdi.h"
#include "platform/gdi/Handles.h"
#include "platform/gdi/Screen.h"

#include <cstddef>
#include <cstdint>
#include <vector>

using namespace gdi;

namespace {

void PlayInto(HMETAFILE metafile, int bits) {
    std::vector<std::uint32_t> info(sizeof(BITMAPINFOHEADER) / 4 + 256, 0);
    auto* header = reinterpret_cast<BITMAPINFOHEADER*>(info.data());
    header->biSize = sizeof(BITMAPINFOHEADER);
    header->biWidth = 64;
    header->biHeight = -64;
    header->biPlanes = 1;
    header->biBitCount = WORD(bits);
    void* pixels = nullptr;
    TOwnedBitmap cell(CreateDIBSection(nullptr, reinterpret_cast<BITMAPINFO*>(info.data()), DIB_RGB_COLORS, &pixels,
                                       nullptr, 0));
    TOwnedDC dc(CreateCompatibleDC(nullptr));
    if (!cell || !dc)
        return;
    auto selection = ScopedSelectObject(dc.Get(), cell.Get());
    const int depth = SaveDC(dc.Get());
    PlayMetaFile(dc.Get(), metafile);
    RestoreDC(dc.Get(), depth);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const bool started = [] {
        SetBitmapStorageCap(16u << 20);  // hostile sizes are refused at once
        return true;
    }();
    (void)started;
    if (size >= 22 && data[0] == 0xD7 && data[1] == 0xCD && data[2] == 0xC6 && data[3] == 0x9A) {
        data += 22;
        size -= 22;
    }
    HMETAFILE metafile = SetMetaFileBitsEx(UINT(size), data);
    if (metafile == nullptr)
        return 0;
    PlayInto(metafile, 8);
    PlayInto(metafile, 32);
    DeleteMetaFile(metafile);
    return 0;
}
