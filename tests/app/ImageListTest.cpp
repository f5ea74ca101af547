#include "app/ImageList.h"
#include "app/ListView.h"
#include "platform/base/Messages.h"
#include "platform/gdi/Screen.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

using namespace app;
using ::testing::StrEq;
using ::testing::ThrowsMessage;

namespace {

class ImageListTest : public ::testing::Test {
protected:
    void SetUp() override { graphics::InitializeGraphics(); }
    void TearDown() override { graphics::FinalizeGraphics(); }
};

void Fill(graphics::TBitmap& bitmap, int width, int height, graphics::TColor color) {
    bitmap.SetWidth(width);
    bitmap.SetHeight(height);
    bitmap.Canvas().Brush().SetColor(color);
    bitmap.Canvas().FillRect(graphics::Rect(0, 0, width, height));
}

}  // namespace

TEST_F(ImageListTest, AddCopiesTheCellAndReturnsConsecutiveIndexes) {
    TImageList images(4, 4);
    int changes = 0;
    images.OnChange = [&] { ++changes; };
    graphics::TBitmap cell;
    Fill(cell, 4, 4, 0x0000FF);
    EXPECT_EQ(images.Add(cell, nullptr), 0);
    Fill(cell, 4, 4, 0x00FF00);
    EXPECT_EQ(images.Add(cell, nullptr), 1);
    EXPECT_EQ(images.Count(), 2);
    EXPECT_EQ(changes, 2);
    // The first image kept its own copy of the pixels.
    EXPECT_EQ(images.Pixels(0)[5], 0xFF0000u);
    EXPECT_EQ(images.Pixels(1)[15], 0x00FF00u);

    // A bigger bitmap gives its top-left cell.
    graphics::TBitmap big;
    Fill(big, 8, 8, 0xFF0000);
    EXPECT_EQ(images.Add(big, nullptr), 2);
    EXPECT_EQ(images.Pixels(2)[0], 0x0000FFu);

    images.Clear();
    EXPECT_EQ(images.Count(), 0);
    EXPECT_TRUE(images.Pixels(0).empty());
}

TEST_F(ImageListTest, RefusesBitmapsSmallerThanACell) {
    TImageList images(64, 64);
    graphics::TBitmap narrow;
    Fill(narrow, 63, 64, 0);
    EXPECT_THAT([&] { images.Add(narrow, nullptr); },
                ThrowsMessage<EInvalidOperation>(StrEq("イメージサイズが正しくありません")));
    graphics::TBitmap low;
    Fill(low, 64, 10, 0);
    EXPECT_THROW(images.Add(low, nullptr), EInvalidOperation);
    EXPECT_EQ(images.Count(), 0);
}

TEST_F(ImageListTest, DrawPutsAnImageOntoACanvas) {
    TImageList images(2, 2);
    graphics::TBitmap cell;
    Fill(cell, 2, 2, 0x0000FF);
    images.Add(cell, nullptr);
    graphics::TBitmap sheet;
    Fill(sheet, 5, 5, 0xFFFFFF);
    images.Draw(sheet.Canvas(), 3, 3, 0);
    images.Draw(sheet.Canvas(), 0, 0, 7);  // no such image: nothing drawn
    EXPECT_EQ(gdi::GetPixel(sheet.Canvas().Handle(), 4, 4), gdi::RGB(255, 0, 0));
    EXPECT_EQ(gdi::GetPixel(sheet.Canvas().Handle(), 2, 2), gdi::RGB(255, 255, 255));
    EXPECT_EQ(gdi::GetPixel(sheet.Canvas().Handle(), 0, 0), gdi::RGB(255, 255, 255));
}

TEST(ListItems, KeepInsertionOrderAndTellOfChanges) {
    TListItems items;
    int changes = 0;
    items.OnChange = [&] { ++changes; };
    items.Add().Caption = "b.bmp";
    items.Add().Caption = "a.bmp";
    items.Item(1).ImageIndex = 1;
    EXPECT_EQ(items.Count(), 2);
    EXPECT_EQ(items.Item(0).Caption, "b.bmp");
    EXPECT_EQ(items.Item(0).ImageIndex, -1);
    items.Delete(0);
    items.Delete(5);
    EXPECT_EQ(items.Item(0).Caption, "a.bmp");
    items.Clear();
    EXPECT_EQ(items.Count(), 0);
    EXPECT_EQ(changes, 4);
}
