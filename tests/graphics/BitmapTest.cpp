#include "GraphicsTestSupport.h"

#include "platform/base/Messages.h"

#include <gmock/gmock.h>

#include <cstring>

using namespace graphics;
using ::testing::StrEq;
using ::testing::ThrowsMessage;

namespace {

constexpr std::uint32_t kWhite = 0xFFFFFF;

// A 24-bit DIB bitmap of the given size filled with one colour (0x00RRGGBB).
void MakeDib24(TBitmap& bitmap, int width, int height, std::uint32_t rgb) {
    bitmap.SetPixelFormat(px24Bit);
    bitmap.SetWidth(width);
    bitmap.SetHeight(height);
    for (int y = 0; y < height; ++y) {
        auto* row = static_cast<std::uint8_t*>(bitmap.ScanLine(y));
        for (int x = 0; x < width; ++x) {
            row[3 * x] = std::uint8_t(rgb);
            row[3 * x + 1] = std::uint8_t(rgb >> 8);
            row[3 * x + 2] = std::uint8_t(rgb >> 16);
        }
    }
}

int Changes(TBitmap& bitmap, int& counter) {
    bitmap.OnChange = [&counter](TPersistent*) { ++counter; };
    return counter;
}

}  // namespace

using Bitmap = TGraphicsTest;

TEST_F(Bitmap, NewBitmapIsAnEmptyDeviceDependentImage) {
    TBitmap bitmap;
    EXPECT_TRUE(bitmap.Empty());
    EXPECT_EQ(bitmap.Width(), 0);
    EXPECT_EQ(bitmap.Height(), 0);
    EXPECT_EQ(bitmap.HandleType(), htDDB);
    EXPECT_EQ(bitmap.PixelFormat(), pxDevice);
    EXPECT_FALSE(bitmap.GetTransparent());
    EXPECT_STREQ(bitmap.ClassName(), "TBitmap");
    EXPECT_TRUE(TBitmap::StaticClass().InheritsFrom(TGraphic::StaticClass()));
}

TEST_F(Bitmap, ThumbnailCellIsAWhiteScreenBitmap) {
    TBitmap cell;
    int changes = 0;
    Changes(cell, changes);
    cell.SetWidth(64);
    EXPECT_TRUE(cell.Empty()) << "the height is still 0, so no bitmap yet";
    EXPECT_EQ(cell.Width(), 64);
    cell.SetHeight(64);
    EXPECT_EQ(changes, 2);
    EXPECT_FALSE(cell.Empty());
    EXPECT_EQ(cell.HandleType(), htDDB);
    EXPECT_EQ(cell.PixelFormat(), pxDevice);
    gdi::BITMAP bm{};
    ASSERT_EQ(gdi::GetObject(cell.Handle(), sizeof bm, &bm), int(sizeof bm));
    EXPECT_EQ(bm.bmBitsPixel, 32);
    EXPECT_EQ(bm.bmBits, nullptr);
    for (std::uint32_t p : ReadPixels(cell))
        ASSERT_EQ(p, kWhite);
    cell.SetWidth(64);
    EXPECT_EQ(changes, 2) << "the same width again changes nothing";

    // Freeing the unshared cell's image keeps its pixels.
    cell.Canvas().Brush().SetColor(0x0000FF);
    cell.Canvas().FillRect(Rect(0, 0, 10, 10));
    cell.FreeImage();
    EXPECT_EQ(PixelAt(cell, 5, 5), 0xFF0000u);
    EXPECT_EQ(PixelAt(cell, 20, 20), kWhite);
}

TEST_F(Bitmap, ResizingKeepsTheTopLeftAndFillsTheRest) {
    TBitmap plain;
    plain.SetWidth(4);
    plain.SetHeight(4);
    plain.Canvas().Brush().SetColor(0x00FF00);
    plain.Canvas().FillRect(Rect(0, 0, 4, 4));
    plain.Canvas().Brush().SetColor(0x0000FF);
    plain.SetWidth(6);
    // With a canvas the new area takes the canvas brush colour.
    EXPECT_EQ(PixelAt(plain, 3, 3), 0x00FF00u);
    EXPECT_EQ(PixelAt(plain, 5, 0), 0xFF0000u);

    // Without a canvas the new area is white.
    TBitmap grown;
    MakeDib24(grown, 2, 2, 0x123456);
    grown.SetHeight(3);
    grown.SetWidth(3);
    EXPECT_EQ(PixelAt(grown, 1, 1), 0x123456u);
    EXPECT_EQ(PixelAt(grown, 2, 2), kWhite);
    EXPECT_EQ(PixelAt(grown, 0, 2), kWhite);
}

TEST_F(Bitmap, AssignedBitmapsShareUntilOneIsDrawnOn) {
    TBitmap first;
    MakeDib24(first, 8, 8, 0x0000FF);
    TBitmap second;
    second.Assign(&first);
    EXPECT_EQ(&first.Image(), &second.Image());
    EXPECT_EQ(first.Image().RefCount(), 2);

    second.Canvas().Brush().SetColor(0x00FF00);
    second.Canvas().FillRect(Rect(0, 0, 8, 8));
    EXPECT_NE(&first.Image(), &second.Image());
    EXPECT_EQ(PixelAt(first, 3, 3), 0x0000FFu);
    EXPECT_EQ(PixelAt(second, 3, 3), 0x00FF00u);

    // Assigning nothing empties the bitmap.
    second.Assign(nullptr);
    EXPECT_TRUE(second.Empty());
}

TEST_F(Bitmap, ScanLinesAreBoundedAndFollowTheRowOrder) {
    TBitmap bitmap;
    MakeDib24(bitmap, 3, 4, 0);
    const std::string message = base::LoadStr(res::SScanLine);
    EXPECT_THAT([&] { bitmap.ScanLine(-1); }, ThrowsMessage<EInvalidGraphicOperation>(StrEq(message)));
    EXPECT_THAT([&] { bitmap.ScanLine(4); }, ThrowsMessage<EInvalidGraphicOperation>(StrEq(message)));
    auto* row0 = static_cast<std::uint8_t*>(bitmap.ScanLine(0));
    auto* row1 = static_cast<std::uint8_t*>(bitmap.ScanLine(1));
    EXPECT_EQ(row0 - row1, 12) << "bottom-up rows: row 1 lies below row 0 in memory";
    row1[0] = 0xAA;  // blue of pixel (0, 1)
    EXPECT_EQ(PixelAt(bitmap, 0, 1), 0x0000AAu);
}

TEST_F(Bitmap, PixelFormatsConvertTheImage) {
    TBitmap bitmap;
    MakeDib24(bitmap, 4, 4, 0xFF0000);
    EXPECT_EQ(bitmap.PixelFormat(), px24Bit);
    EXPECT_EQ(bitmap.HandleType(), htDIB);
    bitmap.SetPixelFormat(px8Bit);
    EXPECT_EQ(bitmap.PixelFormat(), px8Bit);
    EXPECT_NE(bitmap.GetPalette(), nullptr);
    EXPECT_EQ(PixelAt(bitmap, 1, 1), 0xFF0000u) << "pure red is in the halftone palette";
    bitmap.SetPixelFormat(px16Bit);
    EXPECT_EQ(bitmap.PixelFormat(), px16Bit);
    EXPECT_EQ(PixelAt(bitmap, 2, 2), 0xFF0000u);
    bitmap.SetPixelFormat(px4Bit);
    EXPECT_EQ(bitmap.PixelFormat(), px4Bit);
    EXPECT_EQ(PixelAt(bitmap, 2, 2), 0xFF0000u);
    bitmap.SetPixelFormat(pxDevice);
    EXPECT_EQ(bitmap.HandleType(), htDDB);
    EXPECT_EQ(PixelAt(bitmap, 0, 0), 0xFF0000u);
    EXPECT_THAT([&] { bitmap.SetPixelFormat(pxCustom); },
                ThrowsMessage<EInvalidGraphic>(StrEq("画像フォーマットが不正です")));
    bitmap.SetHandleType(htDIB);
    EXPECT_EQ(bitmap.HandleType(), htDIB);
    EXPECT_EQ(PixelAt(bitmap, 3, 3), 0xFF0000u);
}

TEST_F(Bitmap, MonochromeBitmapsAndMasks) {
    TBitmap bitmap;
    MakeDib24(bitmap, 4, 2, 0x00FF00);
    auto* row = static_cast<std::uint8_t*>(bitmap.ScanLine(1));
    row[0] = row[1] = row[2] = 0;  // bottom-left pixel black: the automatic transparent colour
    EXPECT_EQ(std::uint32_t(bitmap.TransparentColor()), 0x02000000u);
    bitmap.Mask(0);
    EXPECT_TRUE(bitmap.Monochrome());
    EXPECT_EQ(PixelAt(bitmap, 0, 1), kWhite) << "the transparent colour becomes white";
    EXPECT_EQ(PixelAt(bitmap, 1, 1), 0u);
    EXPECT_EQ(std::uint32_t(bitmap.TransparentColor()), 0x02FFFFFFu);
}

TEST_F(Bitmap, TransparentDrawingLeavesTheKeyColourOut) {
    for (int size : {4, 8}) {  // the same size (masked blit) and a stretch
        TBitmap sprite;
        MakeDib24(sprite, 4, 4, 0x0000FF);
        auto* row = static_cast<std::uint8_t*>(sprite.ScanLine(0));
        row[0] = 0;
        row[1] = 0xFF;
        row[2] = 0;  // (0, 0) is green: the key
        sprite.SetTransparentColor(0x00FF00);
        sprite.SetTransparent(true);

        TBitmap cell;
        cell.SetWidth(8);
        cell.SetHeight(8);
        cell.Canvas().Brush().SetColor(0x808080);
        cell.Canvas().FillRect(Rect(0, 0, 8, 8));
        cell.Canvas().StretchDraw(Rect(0, 0, size, size), &sprite);
        EXPECT_EQ(PixelAt(cell, 0, 0), 0x808080u) << size;
        EXPECT_EQ(PixelAt(cell, size - 1, size - 1), 0x0000FFu) << size;
        EXPECT_EQ(PixelAt(cell, 7, 0), size == 8 ? 0x0000FFu : 0x808080u) << size;
    }
}

TEST_F(Bitmap, DrawChoosesTheStretchModeByTheDestinationDepth) {
    TBitmap picture;
    MakeDib24(picture, 4, 4, 0x336699);
    TBitmap cell;
    cell.SetWidth(8);
    cell.SetHeight(8);
    cell.Canvas().StretchDraw(Rect(0, 0, 8, 8), &picture);
    EXPECT_EQ(gdi::GetStretchBltMode(cell.Canvas().RawHandle()), gdi::COLORONCOLOR);

    TBitmap mono;
    mono.SetMonochrome(true);
    mono.SetWidth(2);
    mono.SetHeight(2);
    gdi::SetStretchBltMode(cell.Canvas().RawHandle(), gdi::WHITEONBLACK);
    cell.Canvas().StretchDraw(Rect(0, 0, 8, 8), &mono);
    EXPECT_EQ(gdi::GetStretchBltMode(cell.Canvas().RawHandle()), gdi::WHITEONBLACK) << "monochrome leaves the mode";
}

TEST_F(Bitmap, DrawOnAPaletteScreenUsesHalftoneAndKeepsTheBrushOrigin) {
    UseScreenDepth(8);
    TBitmap picture;
    MakeDib24(picture, 4, 4, 0x336699);
    TBitmap cell;
    cell.SetWidth(8);
    cell.SetHeight(8);
    gdi::BITMAP bm{};
    gdi::GetObject(cell.Handle(), sizeof bm, &bm);
    EXPECT_EQ(bm.bmBitsPixel, 8);
    HDC dc = cell.Canvas().Handle();
    gdi::SetBrushOrgEx(dc, 3, 5, nullptr);
    cell.Canvas().StretchDraw(Rect(0, 0, 8, 8), &picture);
    dc = cell.Canvas().RawHandle();
    EXPECT_EQ(gdi::GetStretchBltMode(dc), gdi::HALFTONE);
    gdi::POINT origin{};
    gdi::GetBrushOrgEx(dc, &origin);
    EXPECT_EQ(origin.x, 3);
    EXPECT_EQ(origin.y, 5);
}

TEST_F(Bitmap, StandardPaletteOnAPaletteScreenPutsSilverNinth) {
    UseScreenDepth(8);
    gdi::PALETTEENTRY entries[16];
    ASSERT_EQ(gdi::GetPaletteEntries(StandardPalette16(), 0, 16, entries), 16u);
    EXPECT_EQ(entries[7].peRed, 128);
    EXPECT_EQ(entries[8].peRed, 192);
    EXPECT_EQ(entries[15].peBlue, 255);
    EXPECT_EQ(ScreenPixelsPerInch(), 96);
}

TEST_F(Bitmap, IdleContextsAreReleasedUnlessLocked) {
    TBitmap a;
    a.SetWidth(2);
    a.SetHeight(2);
    TBitmap b;
    b.SetWidth(2);
    b.SetHeight(2);
    a.Canvas().FillRect(Rect(0, 0, 1, 1));
    b.Canvas().FillRect(Rect(0, 0, 1, 1));
    b.Canvas().Lock();
    ReleaseIdleBitmapContexts();
    EXPECT_FALSE(a.Canvas().HandleAllocated());
    EXPECT_TRUE(b.Canvas().HandleAllocated());
    b.Canvas().Unlock();
    ReleaseIdleBitmapContexts();
    EXPECT_FALSE(b.Canvas().HandleAllocated());
}

TEST_F(Bitmap, DormantBitmapsComeBackWhole) {
    TBitmap bitmap;
    MakeDib24(bitmap, 5, 3, 0x445566);
    bitmap.MakeDormant();
    EXPECT_FALSE(bitmap.Empty());
    EXPECT_EQ(bitmap.Width(), 5);
    // Scan-line access on a dormant image rebuilds it before it changes.
    auto* row = static_cast<std::uint8_t*>(bitmap.ScanLine(2));
    EXPECT_EQ(row[0], 0x66);
    EXPECT_EQ(PixelAt(bitmap, 4, 2), 0x445566u);
}

TEST_F(Bitmap, NothingLeaksThroughAFullCycle) {
    const std::size_t before = gdi::LiveObjectCount();
    {
        TBitmap a;
        MakeDib24(a, 16, 16, 0x102030);
        TBitmap b;
        b.Assign(&a);
        b.SetTransparent(true);
        TBitmap cell;
        cell.SetWidth(64);
        cell.SetHeight(64);
        cell.Canvas().StretchDraw(Rect(0, 0, 64, 64), &b);
        cell.Canvas().Draw(1, 1, &a);
        b.SetPixelFormat(px8Bit);
        b.MakeDormant();
        b.Handle();
    }
    ReleaseIdleBitmapContexts();
    EXPECT_EQ(gdi::LiveObjectCount(), before);
}
