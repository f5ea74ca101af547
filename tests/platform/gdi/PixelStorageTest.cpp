// Pixel memory of large bitmaps is mapped from the kernel instead of taken from the heap. A new
// bitmap must still start black, whatever the bitmap that had the memory before left in it.
#include "BlitTestSupport.h"

using namespace gdi;
using namespace blittest;

namespace {

using PixelStorage = TGdiTest;

bool AllZero(const BYTE* bytes, std::size_t size) {
    for (std::size_t i = 0; i < size; ++i)
        if (bytes[i] != 0)
            return false;
    return true;
}

// 2048 × 1536 × 32 bits is 12 MiB, well above the size that is mapped on its own; 64 × 64 comes
// from the heap. Each size is made, scribbled on and deleted twice.
TEST_F(PixelStorage, NewSectionsStartClearedAfterEarlierOnesWereScribbledOn) {
    for (const auto& [width, height] : {std::pair{2048, 1536}, std::pair{64, 64}}) {
        const std::size_t size = std::size_t(width) * std::size_t(height) * 4;
        for (int round = 0; round < 2; ++round) {
            TDibInfo info = DibInfo(32, width, -height);
            void* bits = nullptr;
            HBITMAP bitmap =
                CreateDIBSection(nullptr, reinterpret_cast<BITMAPINFO*>(&info), DIB_RGB_COLORS, &bits, nullptr, 0);
            ASSERT_NE(bitmap, nullptr);
            ASSERT_NE(bits, nullptr);
            auto* bytes = static_cast<BYTE*>(bits);
            EXPECT_TRUE(AllZero(bytes, size)) << width << " round " << round;
            // The last byte is writable: the whole image is backed.
            std::memset(bytes, 0xA5, size);
            EXPECT_EQ(bytes[size - 1], 0xA5);
            EXPECT_TRUE(DeleteObject(bitmap));
        }
    }
}

// The last pixel of a large section lies right against an inaccessible page: one byte further
// faults instead of touching whatever memory follows. 1536 rows of 6144 bytes fill whole pages,
// 1537 rows end half-way through one.
TEST_F(PixelStorage, AByteBeyondTheLastPixelOfALargeSectionFaults) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    for (const int height : {1536, 1537}) {
        TDibInfo info = DibInfo(24, 2048, -height);
        void* bits = nullptr;
        HBITMAP bitmap =
            CreateDIBSection(nullptr, reinterpret_cast<BITMAPINFO*>(&info), DIB_RGB_COLORS, &bits, nullptr, 0);
        ASSERT_NE(bitmap, nullptr);
        const std::size_t size = std::size_t(2048 * 3) * std::size_t(height);
        auto* bytes = static_cast<volatile BYTE*>(bits);
        bytes[size - 1] = 1;
        EXPECT_EQ(bytes[size - 1], 1);
        EXPECT_DEATH(bytes[size] = 1, "") << height;
        EXPECT_TRUE(DeleteObject(bitmap));
    }
}

TEST_F(PixelStorage, LargeDeviceBitmapsDrawAndReadBackLikeSmallOnes) {
    HDC screen = GetDC(nullptr);
    HBITMAP bitmap = CreateCompatibleBitmap(screen, 2048, 1536);
    ReleaseDC(nullptr, screen);
    ASSERT_NE(bitmap, nullptr);
    TSurface surface(bitmap, nullptr);
    EXPECT_EQ(GetPixel(surface.Dc(), 2047, 1535), RGB(0, 0, 0));
    ASSERT_TRUE(PatBlt(surface.Dc(), 0, 0, 2048, 1536, WHITENESS));
    EXPECT_TRUE(SetPixel(surface.Dc(), 2047, 1535, RGB(10, 20, 30)) != CLR_INVALID);
    EXPECT_EQ(GetPixel(surface.Dc(), 0, 0), RGB(255, 255, 255));
    EXPECT_EQ(GetPixel(surface.Dc(), 2047, 1535), RGB(10, 20, 30));
}

}  // namespace
