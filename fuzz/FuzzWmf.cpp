// Windows metafiles from untrusted bytes: made into a handle, then played into a 64 × 64 cell at 8
// and 32 bits, as a thumbnail would draw them; and converted as the picture framework converts
// them (an enhanced metafile sized by a first conversion's frame, drawn into the cell, saved
// back as a Windows metafile). A placeable header in front is taken off first.
#include "fuzz/EnhancedRoundTrip.h"
#include "fuzz/FontconfigLeak.h"
#include "platform/gdi/EnhMetaFile.h"
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

// The framework's two conversions, a draw of the result, and the way back: the enhanced metafile
// must survive it byte for byte.
void Convert(const std::uint8_t* data, std::size_t size) {
    METAFILEPICT picture{MM_ANISOTROPIC, 0, 0, nullptr};
    HENHMETAFILE first = SetWinMetaFileBits(UINT(size), data, nullptr, &picture);
    if (first == nullptr)
        return;
    ENHMETAHEADER header{};
    GetEnhMetaFileHeader(first, sizeof header, &header);
    DeleteEnhMetaFile(first);
    picture = METAFILEPICT{MM_ANISOTROPIC, header.rclFrame.right, header.rclFrame.bottom, nullptr};
    HENHMETAFILE metafile = SetWinMetaFileBits(UINT(size), data, nullptr, &picture);
    if (metafile == nullptr)
        return;
    TOwnedDC dc(CreateCompatibleDC(nullptr));
    TOwnedScreenDC screen(GetDC(nullptr));
    TOwnedBitmap cell(CreateCompatibleBitmap(screen.Get(), 64, 64));
    if (dc && cell) {
        auto selection = ScopedSelectObject(dc.Get(), cell.Get());
        const RECT rect{0, 0, 63, 63};
        PlayEnhMetaFile(dc.Get(), metafile, &rect);
    }
    std::vector<BYTE> saved(GetWinMetaFileBits(metafile, 0, nullptr, MM_ANISOTROPIC, screen.Get()));
    if (!saved.empty() &&
        GetWinMetaFileBits(metafile, UINT(saved.size()), saved.data(), MM_ANISOTROPIC, screen.Get()) == saved.size()) {
        fuzz::ExpectEnhancedRoundTrip(metafile, saved);
    }
    DeleteEnhMetaFile(metafile);
}

}  // namespace


extern "C" int LLVMFuzzerInitialize(int*, char***) {
    SetBitmapStorageCap(16u << 20);  // hostile sizes are refused at once
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size >= 22 && data[0] == 0xD7 && data[1] == 0xCD && data[2] == 0xC6 && data[3] == 0x9A) {
        data += 22;
        size -= 22;
    }
    const std::vector<BYTE> bytes(data, data + size);  // exactly its size, so overreads are caught
    Convert(bytes.data(), bytes.size());
    HMETAFILE metafile = SetMetaFileBitsEx(UINT(size), data);
    if (metafile == nullptr)
        return 0;
    PlayInto(metafile, 8);
    PlayInto(metafile, 32);
    DeleteMetaFile(metafile);
    return 0;
}
