// Palettes of bitmaps: the standard 16-colour palette, copies that the image data owns, and the
// conversions between palettes and the colour tables of DIB sections.
#include "graphics/BitmapPrivate.h"
#include "graphics/DeviceContexts.h"

#include <algorithm>
#include <vector>

namespace graphics {

using namespace gdi;

HPALETTE MakeStandardPalette16() {
    static constexpr PALETTEENTRY kColors[16] = {
        {0, 0, 0, 0},     {128, 0, 0, 0},   {0, 128, 0, 0},   {128, 128, 0, 0},   {0, 0, 128, 0},   {128, 0, 128, 0},
        {0, 128, 128, 0}, {128, 128, 128, 0}, {192, 192, 192, 0}, {255, 0, 0, 0},   {0, 255, 0, 0},   {255, 255, 0, 0},
        {0, 0, 255, 0},   {255, 0, 255, 0}, {0, 255, 255, 0}, {255, 255, 255, 0},
    };
    struct {
        WORD palVersion;
        WORD palNumEntries;
        PALETTEENTRY entries[16];
    } log{0x300, 16, {}};
    std::copy(std::begin(kColors), std::end(kColors), log.entries);
    // Without a screen context the standard colours stand as they are.
    TOwnedScreenDC screen(GetDC(nullptr));
    if (screen && GetDeviceCaps(screen.Get(), SIZEPALETTE) >= 16) {
        // A palette display shows its own static colours; take them so no colour is remapped.
        GetSystemPaletteEntries(screen.Get(), 0, 8, &log.entries[0]);
        GetSystemPaletteEntries(screen.Get(), 248, 8, &log.entries[8]);
        const PALETTEENTRY& eighth = log.entries[7];
        if (eighth.peRed == 192 && eighth.peGreen == 192 && eighth.peBlue == 192)
            std::swap(log.entries[7], log.entries[8]);
    }
    return CreatePalette(reinterpret_cast<LOGPALETTE*>(&log));
}

HPALETTE CopyPalette(HPALETTE palette) {
    if (palette == nullptr)
        return nullptr;
    UINT count = GetPaletteEntries(palette, 0, 0, nullptr);
    if (count == 0)
        return nullptr;
    std::vector<BYTE> storage(sizeof(LOGPALETTE) + count * sizeof(PALETTEENTRY));
    auto* log = reinterpret_cast<LOGPALETTE*>(storage.data());
    log->palVersion = 0x300;
    log->palNumEntries = WORD(count);
    GetPaletteEntries(palette, 0, count, log->palPalEntry);
    return GDICheck(CreatePalette(log));
}

void DeletePalette(HPALETTE palette) {
    if (palette != nullptr && palette != StandardPalette16())
        DeleteObject(palette);
}

HPALETTE PaletteFromColorTable(HBITMAP dibHandle, const RGBQUAD* colorTable, int colors) {
    RGBQUAD table[256];
    int count = 0;
    if (dibHandle != nullptr) {
        TMemoryDC dc;
        dc.Select(dibHandle);
        count = int(GetDIBColorTable(dc, 0, 256, table));
    } else if (colorTable != nullptr) {
        count = std::clamp(colors, 0, 256);
        std::copy_n(colorTable, count, table);
    }
    if (count == 0)
        return nullptr;
    struct {
        WORD palVersion;
        WORD palNumEntries;
        PALETTEENTRY entries[256];
    } log{0x300, WORD(count), {}};
    bool paletteDisplay = false;
    {
        TScreenDC screen;
        paletteDisplay = GetDeviceCaps(screen, SIZEPALETTE) >= 16;
    }
    if (count == 16 && paletteDisplay) {
        // The 16-colour table of a palette display is the standard palette's, entry for entry.
        GetPaletteEntries(StandardPalette16(), 0, 8, &log.entries[0]);
        GetPaletteEntries(StandardPalette16(), 8, 8, &log.entries[8]);
    } else {
        for (int i = 0; i < count; ++i)
            log.entries[i] = PALETTEENTRY{table[i].rgbRed, table[i].rgbGreen, table[i].rgbBlue, 0};
    }
    return CreatePalette(reinterpret_cast<LOGPALETTE*>(&log));
}

int ColorTableFromPalette(HPALETTE palette, RGBQUAD* table, int maxIndex) {
    if (palette == nullptr || table == nullptr || maxIndex < 0)
        return 0;
    PALETTEENTRY entries[256];
    int count = int(GetPaletteEntries(palette, 0, UINT(std::min(maxIndex + 1, 256)), entries));
    for (int i = 0; i < count; ++i)
        table[i] = RGBQUAD{entries[i].peBlue, entries[i].peGreen, entries[i].peRed, 0};
    return count;
}
}  // namespace graphics
