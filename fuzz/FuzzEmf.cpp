// Feeds the raster layer's enhanced-metafile reader and player untrusted bytes, as a metafile file
// reaches them: SetEnhMetaFileBits on the whole input, then PlayEnhMetaFile into a 64 × 64 cell,
// the thumbnail builder's last step, on a 32-bit and an 8-bit surface. The metafile is then
// saved as a Windows metafile (GetWinMetaFileBits), which is played too and must convert back
// to the same bytes.
#include "fuzz/EnhancedRoundTrip.h"
#include "fuzz/FontconfigLeak.h"
#include "platform/gdi/EnhMetaFile.h"
#include "platform/gdi/Screen.h"

#include <cstddef>
#include <cstdint>
#include <vector>

using namespace gdi;

namespace {

// Bitmaps a record carries are refused at the cap instead of being allocated at full size.
constexpr std::size_t kStorageCap = std::size_t(4) << 20;

HBITMAP MakeCell(int bpp) {
    std::vector<BYTE> memory(sizeof(BITMAPINFOHEADER) + 256 * sizeof(RGBQUAD));
    auto* info = reinterpret_cast<BITMAPINFO*>(memory.data());
    info->bmiHeader = BITMAPINFOHEADER{sizeof(BITMAPINFOHEADER), 64, -64, 1, WORD(bpp), BI_RGB, 0, 0, 0, 0, 0};
    for (int i = 0; i < 256; ++i)
        info->bmiColors[i] = RGBQUAD{BYTE(i * 37), BYTE(i * 91), BYTE(i * 53), 0};
    void* bits = nullptr;
    return CreateDIBSection(nullptr, info, DIB_RGB_COLORS, &bits, nullptr, 0);
}

}  // namespace

// Before the first input: fontconfig's one-time set-up keeps memory it can no longer reach,
// which must not be taken for a leak of the input that first draws text.
extern "C" int LLVMFuzzerInitialize(int*, char***) {
    SetBitmapStorageCap(kStorageCap);
    HBITMAP cell = MakeCell(32);
    HDC dc = CreateCompatibleDC(nullptr);
    HGDIOBJ old = SelectObject(dc, cell);
    const char16_t text[] = u"Aa";
    ExtTextOutW(dc, 0, 0, 0, nullptr, text, 2, nullptr);
    SelectObject(dc, old);
    DeleteDC(dc);
    DeleteObject(cell);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    // The input in a buffer of exactly its size, so that any read past it is caught.
    const std::vector<BYTE> bytes(data, data + size);
    HENHMETAFILE metafile = SetEnhMetaFileBits(UINT(bytes.size()), bytes.empty() ? nullptr : bytes.data());
    if (metafile == nullptr)
        return 0;
    for (int bpp : {32, 8}) {
        HBITMAP cell = MakeCell(bpp);
        HDC dc = CreateCompatibleDC(nullptr);
        HGDIOBJ old = SelectObject(dc, cell);
        const RECT rect{0, 0, 63, 63};
        PlayEnhMetaFile(dc, metafile, &rect);
        SelectObject(dc, old);
        DeleteDC(dc);
        DeleteObject(cell);
    }
    std::vector<BYTE> saved(GetWinMetaFileBits(metafile, 0, nullptr, MM_ANISOTROPIC, nullptr));
    if (!saved.empty() &&
        GetWinMetaFileBits(metafile, UINT(saved.size()), saved.data(), MM_ANISOTROPIC, nullptr) == saved.size()) {
        HMETAFILE windows = SetMetaFileBitsEx(UINT(saved.size()), saved.data());
        HBITMAP cell = MakeCell(32);
        HDC dc = CreateCompatibleDC(nullptr);
        HGDIOBJ old = SelectObject(dc, cell);
        SetMapMode(dc, MM_ANISOTROPIC);
        SetViewportExtEx(dc, 64, 64, nullptr);
        PlayMetaFile(dc, windows);
        SelectObject(dc, old);
        DeleteDC(dc);
        DeleteObject(cell);
        DeleteMetaFile(windows);
        fuzz::ExpectEnhancedRoundTrip(metafile, saved);
    }
    DeleteEnhMetaFile(metafile);
    return 0;
}
