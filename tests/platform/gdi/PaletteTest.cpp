#include "GdiTestSupport.h"

#include <vector>

using namespace gdi;

namespace {

struct TPaletteMaker {
    std::vector<BYTE> Storage;
    LOGPALETTE* Log;
    explicit TPaletteMaker(std::initializer_list<PALETTEENTRY> entries)
        : Storage(sizeof(LOGPALETTE) + entries.size() * sizeof(PALETTEENTRY)),
          Log(reinterpret_cast<LOGPALETTE*>(Storage.data())) {
        Log->palVersion = 0x300;
        Log->palNumEntries = WORD(entries.size());
        std::copy(entries.begin(), entries.end(), Log->palPalEntry);
    }
};

}  // namespace

using Palettes = TGdiTest;

TEST_F(Palettes, CreateReadResizeAndWriteEntries) {
    TPaletteMaker maker({{255, 0, 0, 0}, {0, 255, 0, 0}, {0, 0, 255, 0}});
    HPALETTE palette = CreatePalette(maker.Log);
    ASSERT_NE(palette, nullptr);
    EXPECT_EQ(GetPaletteEntries(palette, 0, 0, nullptr), 3u);
    WORD count = 0;
    EXPECT_EQ(GetObjectA(palette, sizeof count, &count), 2);
    EXPECT_EQ(count, 3);

    PALETTEENTRY read[4]{};
    EXPECT_EQ(GetPaletteEntries(palette, 1, 4, read), 2u);
    EXPECT_EQ(read[0].peGreen, 255);
    EXPECT_EQ(read[1].peBlue, 255);
    EXPECT_EQ(GetPaletteEntries(palette, 3, 1, read), 0u);

    ASSERT_TRUE(ResizePalette(palette, 5));
    EXPECT_EQ(GetPaletteEntries(palette, 0, 0, nullptr), 5u);
    EXPECT_EQ(GetPaletteEntries(palette, 3, 2, read), 2u);
    EXPECT_EQ(read[0].peRed | read[0].peGreen | read[0].peBlue | read[1].peRed, 0) << "added entries are black";
    ASSERT_TRUE(ResizePalette(palette, 1));
    EXPECT_EQ(GetPaletteEntries(palette, 0, 0, nullptr), 1u);
    EXPECT_FALSE(ResizePalette(palette, 0));

    PALETTEENTRY grey{128, 128, 128, 0};
    EXPECT_EQ(SetPaletteEntries(palette, 0, 1, &grey), 1u);
    EXPECT_EQ(SetPaletteEntries(palette, 1, 1, &grey), 0u);
    EXPECT_EQ(GetPaletteEntries(palette, 0, 1, read), 1u);
    EXPECT_EQ(read[0].peRed, 128);
    EXPECT_TRUE(DeleteObject(palette));
}

TEST_F(Palettes, CreationRefusesBadRecords) {
    TPaletteMaker maker({{1, 2, 3, 0}});
    maker.Log->palVersion = 0x200;
    EXPECT_EQ(CreatePalette(maker.Log), nullptr);
    maker.Log->palVersion = 0x300;
    maker.Log->palNumEntries = 0;
    EXPECT_EQ(CreatePalette(maker.Log), nullptr);
    EXPECT_EQ(CreatePalette(nullptr), nullptr);
    EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
}

TEST_F(Palettes, NearestIndexPrefersTheFirstOfEqualDistances) {
    TPaletteMaker maker({{0, 0, 0, 0}, {255, 255, 255, 0}, {200, 0, 0, 0}, {200, 0, 0, 0}});
    HPALETTE palette = CreatePalette(maker.Log);
    EXPECT_EQ(GetNearestPaletteIndex(palette, RGB(10, 10, 10)), 0u);
    EXPECT_EQ(GetNearestPaletteIndex(palette, RGB(250, 240, 250)), 1u);
    EXPECT_EQ(GetNearestPaletteIndex(palette, RGB(190, 5, 5)), 2u);
    EXPECT_EQ(GetNearestPaletteIndex(palette, PALETTERGB(190, 5, 5)), 2u);
    DeleteObject(palette);
    EXPECT_EQ(GetNearestPaletteIndex(palette, 0), CLR_INVALID);
}

TEST_F(Palettes, HalftonePaletteHasTheStaticColoursAtBothEnds) {
    HDC screen = GetDC(nullptr);
    HPALETTE halftone = CreateHalftonePalette(screen);
    ASSERT_NE(halftone, nullptr);
    std::vector<PALETTEENTRY> entries(256);
    ASSERT_EQ(GetPaletteEntries(halftone, 0, 256, entries.data()), 256u);
    EXPECT_EQ(entries[0].peRed, 0);
    EXPECT_EQ(entries[7].peRed, 192);
    EXPECT_EQ(entries[255].peRed, 255);
    EXPECT_EQ(entries[255].peBlue, 255);
    EXPECT_EQ(entries[248].peRed, 128) << "medium grey";
    // Pure primaries are found exactly.
    EXPECT_EQ(entries[GetNearestPaletteIndex(halftone, RGB(255, 0, 0))].peRed, 255);
    EXPECT_EQ(entries[GetNearestPaletteIndex(halftone, RGB(51, 102, 153))].peGreen, 102);
    EXPECT_EQ(CreateHalftonePalette(nullptr), nullptr);
    DeleteObject(halftone);
    ReleaseDC(nullptr, screen);
}

TEST_F(Palettes, SystemPaletteExistsOnlyOnAPaletteDevice) {
    HDC screen = GetDC(nullptr);
    PALETTEENTRY entries[256];
    EXPECT_EQ(GetSystemPaletteEntries(screen, 0, 256, entries), 0u);
    ReleaseDC(nullptr, screen);

    UseScreenDepth(8);
    screen = GetDC(nullptr);
    ASSERT_EQ(GetSystemPaletteEntries(screen, 0, 256, entries), 256u);
    // Ten static colours at each end: black and silver below, grey and white above.
    EXPECT_EQ(entries[0].peRed + entries[0].peGreen + entries[0].peBlue, 0);
    EXPECT_EQ(entries[7].peRed, 192);
    EXPECT_EQ(entries[7].peGreen, 192);
    EXPECT_EQ(entries[248].peRed, 128);
    EXPECT_EQ(entries[255].peGreen, 255);
    EXPECT_EQ(GetSystemPaletteEntries(screen, 250, 10, entries), 6u);
    ReleaseDC(nullptr, screen);
}

TEST_F(Palettes, RealisingPutsNewColoursIntoTheSystemPalette) {
    UseScreenDepth(8);
    HDC screen = GetDC(nullptr);
    // One static colour and two new ones.
    TPaletteMaker maker({{255, 255, 255, 0}, {1, 2, 3, 0}, {4, 5, 6, 0}});
    HPALETTE palette = CreatePalette(maker.Log);
    EXPECT_EQ(SelectPalette(screen, palette, FALSE), GetStockObject(DEFAULT_PALETTE));
    EXPECT_EQ(RealizePalette(screen), 2u);
    PALETTEENTRY entries[256];
    ASSERT_EQ(GetSystemPaletteEntries(screen, 0, 256, entries), 256u);
    EXPECT_EQ(entries[10].peRed, 1);
    EXPECT_EQ(entries[11].peRed, 4);
    // A second realisation in the background finds its colours already there.
    EXPECT_EQ(SelectPalette(screen, palette, TRUE), palette);
    EXPECT_EQ(RealizePalette(screen), 0u);
    EXPECT_FALSE(DeleteObject(palette)) << "a selected palette must not be deleted";
    EXPECT_TRUE(UnrealizeObject(palette));
    EXPECT_EQ(SelectPalette(screen, static_cast<HPALETTE>(GetStockObject(DEFAULT_PALETTE)), FALSE), palette);
    EXPECT_TRUE(DeleteObject(palette));
    EXPECT_FALSE(UnrealizeObject(palette));
    EXPECT_EQ(RealizePalette(nullptr), GDI_ERROR);
    ReleaseDC(nullptr, screen);
}

TEST_F(Palettes, RealisingOnATrueColourScreenMapsNothing) {
    HDC screen = GetDC(nullptr);
    TPaletteMaker maker({{1, 2, 3, 0}});
    HPALETTE palette = CreatePalette(maker.Log);
    SelectPalette(screen, palette, FALSE);
    EXPECT_EQ(RealizePalette(screen), 0u);
    SelectPalette(screen, static_cast<HPALETTE>(GetStockObject(DEFAULT_PALETTE)), FALSE);
    DeleteObject(palette);
    ReleaseDC(nullptr, screen);
}
