#include "GdiTestSupport.h"

#include <cstring>

using namespace gdi;

using HandleTable = TGdiTest;

TEST_F(HandleTable, StaleAndForeignHandlesFailWithInvalidHandle) {
    HBRUSH brush = CreateSolidBrush(RGB(1, 2, 3));
    ASSERT_NE(brush, nullptr);
    ASSERT_TRUE(DeleteObject(brush));

    SetLastError(0);
    EXPECT_FALSE(DeleteObject(brush));
    EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);

    // The slot is reused by the next object; the old handle must still be recognised as stale.
    HBRUSH reused = CreateSolidBrush(RGB(4, 5, 6));
    ASSERT_NE(reused, nullptr);
    EXPECT_NE(reused, brush);
    LOGBRUSH log{};
    SetLastError(0);
    EXPECT_EQ(GetObjectA(brush, sizeof log, &log), 0);
    EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);
    EXPECT_EQ(GetObjectA(reused, sizeof log, &log), int(sizeof log));
    EXPECT_EQ(log.lbColor, RGB(4, 5, 6));

    // A handle of the wrong kind is refused like a stale one.
    SetLastError(0);
    EXPECT_EQ(GetBkColor(reinterpret_cast<HDC>(reused)), CLR_INVALID);
    EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);
    EXPECT_EQ(GetPaletteEntries(reinterpret_cast<HPALETTE>(reused), 0, 0, nullptr), 0u);

    // Values that were never handles at all.
    for (std::uintptr_t value : {std::uintptr_t(0), std::uintptr_t(1), std::uintptr_t(0xFFFF),
                                 std::uintptr_t(0x12345678), ~std::uintptr_t(0)}) {
        SetLastError(0);
        EXPECT_EQ(GetObjectType(reinterpret_cast<HGDIOBJ>(value)), 0u);
        EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);
        EXPECT_EQ(SetBkMode(reinterpret_cast<HDC>(value), OPAQUE), 0);
    }
    EXPECT_TRUE(DeleteObject(reused));
}

TEST_F(HandleTable, ObjectTypesAndStockObjects) {
    HDC screen = GetDC(nullptr);
    HDC memory = CreateCompatibleDC(screen);
    EXPECT_EQ(GetObjectType(screen), OBJ_DC);
    EXPECT_EQ(GetObjectType(memory), OBJ_MEMDC);
    EXPECT_EQ(GetObjectType(GetStockObject(WHITE_BRUSH)), OBJ_BRUSH);
    EXPECT_EQ(GetObjectType(GetStockObject(BLACK_PEN)), OBJ_PEN);
    EXPECT_EQ(GetObjectType(GetStockObject(SYSTEM_FONT)), OBJ_FONT);
    EXPECT_EQ(GetObjectType(GetStockObject(DEFAULT_PALETTE)), OBJ_PAL);
    EXPECT_EQ(GetStockObject(-1), nullptr);
    EXPECT_EQ(GetStockObject(9), nullptr);

    // A new context starts with the stock objects and a 1 × 1 monochrome bitmap.
    EXPECT_EQ(GetCurrentObject(memory, OBJ_BRUSH), GetStockObject(WHITE_BRUSH));
    EXPECT_EQ(GetCurrentObject(memory, OBJ_PEN), GetStockObject(BLACK_PEN));
    EXPECT_EQ(GetCurrentObject(memory, OBJ_FONT), GetStockObject(SYSTEM_FONT));
    EXPECT_EQ(GetCurrentObject(memory, OBJ_PAL), GetStockObject(DEFAULT_PALETTE));
    BITMAP bm{};
    ASSERT_EQ(GetObjectA(GetCurrentObject(memory, OBJ_BITMAP), sizeof bm, &bm), int(sizeof bm));
    EXPECT_EQ(bm.bmWidth, 1);
    EXPECT_EQ(bm.bmHeight, 1);
    EXPECT_EQ(bm.bmBitsPixel, 1);

    // Deleting a stock object is harmless and leaves it usable.
    EXPECT_TRUE(DeleteObject(GetStockObject(BLACK_BRUSH)));
    LOGBRUSH log{};
    EXPECT_EQ(GetObjectA(GetStockObject(BLACK_BRUSH), sizeof log, &log), int(sizeof log));
    EXPECT_EQ(log.lbColor, RGB(0, 0, 0));
    EXPECT_EQ(GetObjectA(GetStockObject(NULL_BRUSH), sizeof log, &log), int(sizeof log));
    EXPECT_EQ(log.lbStyle, BS_NULL);

    // A context is deleted with DeleteDC or ReleaseDC, never DeleteObject.
    EXPECT_FALSE(DeleteObject(memory));
    EXPECT_EQ(ReleaseDC(nullptr, memory), 0);
    EXPECT_TRUE(DeleteDC(memory));
    EXPECT_EQ(ReleaseDC(nullptr, screen), 1);
    EXPECT_EQ(GetObjectType(screen), 0u);
}

TEST_F(HandleTable, BitmapIsSelectedIntoOneContextAtATime) {
    HDC first = CreateCompatibleDC(nullptr);
    HDC second = CreateCompatibleDC(nullptr);
    HBITMAP bitmap = CreateBitmap(8, 8, 1, 1, nullptr);
    ASSERT_NE(bitmap, nullptr);

    HGDIOBJ previous = SelectObject(first, bitmap);
    ASSERT_NE(previous, nullptr);
    EXPECT_EQ(SelectObject(first, bitmap), bitmap) << "selecting it again into the same context";

    SetLastError(0);
    EXPECT_EQ(SelectObject(second, bitmap), nullptr);
    EXPECT_NE(GetLastError(), ERROR_SUCCESS);
    EXPECT_FALSE(DeleteObject(bitmap)) << "a selected bitmap must not be deleted";

    EXPECT_EQ(SelectObject(first, previous), bitmap);
    EXPECT_EQ(SelectObject(second, bitmap), previous);
    // Deleting the context releases the selection.
    EXPECT_TRUE(DeleteDC(second));
    EXPECT_TRUE(DeleteObject(bitmap));
    EXPECT_TRUE(DeleteDC(first));
}

TEST_F(HandleTable, SelectingReturnsThePreviousObjectOfEachKind) {
    HDC dc = CreateCompatibleDC(nullptr);
    HBRUSH brush = CreateHatchBrush(HS_CROSS, RGB(9, 9, 9));
    HPEN pen = CreatePen(PS_DASH, 3, RGB(1, 1, 1));
    LOGFONTA font{};
    font.lfHeight = -12;
    std::strcpy(font.lfFaceName, "IPAPGothic");
    HFONT hfont = CreateFontIndirectA(&font);

    EXPECT_EQ(SelectObject(dc, brush), GetStockObject(WHITE_BRUSH));
    EXPECT_EQ(SelectObject(dc, pen), GetStockObject(BLACK_PEN));
    EXPECT_EQ(SelectObject(dc, hfont), GetStockObject(SYSTEM_FONT));
    EXPECT_FALSE(DeleteObject(brush));
    EXPECT_FALSE(DeleteObject(pen));
    EXPECT_FALSE(DeleteObject(hfont));
    EXPECT_EQ(SelectObject(dc, nullptr), nullptr);
    HPALETTE palette = CreateHalftonePalette(dc);
    EXPECT_EQ(SelectObject(dc, palette), nullptr) << "palettes go through SelectPalette";

    LOGPEN logPen{};
    ASSERT_EQ(GetObjectA(pen, sizeof logPen, &logPen), int(sizeof logPen));
    EXPECT_EQ(logPen.lopnStyle, PS_DASH);
    EXPECT_EQ(logPen.lopnWidth.x, 3);
    LOGFONTA logFont{};
    ASSERT_EQ(GetObjectA(hfont, sizeof logFont, &logFont), int(sizeof logFont));
    EXPECT_STREQ(logFont.lfFaceName, "IPAPGothic");
    EXPECT_EQ(GetObjectA(hfont, 0, nullptr), int(sizeof(LOGFONTA)));

    EXPECT_TRUE(DeleteDC(dc));
    EXPECT_TRUE(DeleteObject(brush));
    EXPECT_TRUE(DeleteObject(pen));
    EXPECT_TRUE(DeleteObject(hfont));
    EXPECT_TRUE(DeleteObject(palette));
}

TEST_F(HandleTable, BrushCreationChecksItsArguments) {
    EXPECT_EQ(CreateHatchBrush(6, 0), nullptr);
    EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
    EXPECT_EQ(CreateBrushIndirect(nullptr), nullptr);
    LOGBRUSH log{7, 0, 0};
    EXPECT_EQ(CreateBrushIndirect(&log), nullptr);
    EXPECT_EQ(CreatePatternBrush(nullptr), nullptr);
    EXPECT_EQ(CreatePen(7, 1, 0), nullptr);
    // Cap, join and type bits beside a known style make a solid pen (Windows metafiles carry
    // them), whatever the style was.
    for (int style : {PS_SOLID | PS_ENDCAP_FLAT | PS_JOIN_MITER, PS_DASH | PS_ENDCAP_FLAT, PS_DOT | PS_GEOMETRIC}) {
        HPEN pen = CreatePen(style, 1, RGB(0, 0, 255));
        ASSERT_NE(pen, nullptr) << style;
        LOGPEN read{};
        EXPECT_EQ(GetObjectA(pen, sizeof read, &read), int(sizeof read));
        EXPECT_EQ(read.lopnStyle, UINT(PS_SOLID)) << style;
        EXPECT_EQ(read.lopnColor, RGB(0, 0, 255));
        EXPECT_TRUE(DeleteObject(pen));
    }

    // A pattern brush keeps its own copy of the bitmap.
    HBITMAP bitmap = CreateBitmap(8, 8, 1, 1, nullptr);
    HBRUSH pattern = CreatePatternBrush(bitmap);
    ASSERT_NE(pattern, nullptr);
    EXPECT_TRUE(DeleteObject(bitmap));
    LOGBRUSH read{};
    EXPECT_EQ(GetObjectA(pattern, sizeof read, &read), int(sizeof read));
    EXPECT_EQ(read.lbStyle, BS_PATTERN);
    EXPECT_TRUE(DeleteObject(pattern));
}

TEST_F(HandleTable, ContextSettingsReturnTheirPreviousValues) {
    HDC dc = CreateCompatibleDC(nullptr);
    EXPECT_EQ(SetBkColor(dc, RGB(1, 2, 3)), RGB(255, 255, 255));
    EXPECT_EQ(GetBkColor(dc), RGB(1, 2, 3));
    EXPECT_EQ(SetTextColor(dc, RGB(4, 5, 6)), RGB(0, 0, 0));
    EXPECT_EQ(GetTextColor(dc), RGB(4, 5, 6));
    EXPECT_EQ(SetBkMode(dc, TRANSPARENT), OPAQUE);
    EXPECT_EQ(SetBkMode(dc, 3), 0);
    EXPECT_EQ(GetBkMode(dc), TRANSPARENT);
    EXPECT_EQ(SetROP2(dc, R2_XORPEN), R2_COPYPEN);
    EXPECT_EQ(SetROP2(dc, 17), 0);
    EXPECT_EQ(SetStretchBltMode(dc, COLORONCOLOR), BLACKONWHITE);
    EXPECT_EQ(SetStretchBltMode(dc, 0), 0);
    EXPECT_EQ(SetStretchBltMode(dc, 5), 0);
    EXPECT_EQ(GetStretchBltMode(dc), COLORONCOLOR);

    POINT old{};
    EXPECT_TRUE(SetBrushOrgEx(dc, 3, 4, &old));
    EXPECT_EQ(old.x, 0);
    POINT origin{};
    EXPECT_TRUE(GetBrushOrgEx(dc, &origin));
    EXPECT_EQ(origin.x, 3);
    EXPECT_EQ(origin.y, 4);
    EXPECT_TRUE(MoveToEx(dc, 10, 20, nullptr));
    POINT position{};
    EXPECT_TRUE(GetCurrentPositionEx(dc, &position));
    EXPECT_EQ(position.x, 10);
    EXPECT_EQ(position.y, 20);
    EXPECT_FALSE(GetCurrentPositionEx(dc, nullptr));
    EXPECT_TRUE(DeleteDC(dc));
    EXPECT_FALSE(MoveToEx(dc, 0, 0, nullptr));
}

TEST_F(HandleTable, NoWindowContextsWithoutAWindowSystem) {
    EXPECT_EQ(GetDC(reinterpret_cast<HWND>(std::uintptr_t(0x10000))), nullptr);
    EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);
    EXPECT_EQ(CreateCompatibleDC(reinterpret_cast<HDC>(std::uintptr_t(0x20001))), nullptr);
}
