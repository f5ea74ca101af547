// Icons: creation, drawing with the mask and the image or by alpha, copies of their bitmaps,
// the shared application icon, and handles that are not GDI objects.
#include "GdiTestSupport.h"

#include <cstring>
#include <vector>

using namespace gdi;

namespace {

constexpr COLORREF kGround = RGB(10, 200, 30);

// A memory context on a screen-compatible bitmap filled with one colour.
class TCell {
public:
    TCell(int width, int height, COLORREF fill) {
        HDC screen = GetDC(nullptr);
        FDc = CreateCompatibleDC(screen);
        FBitmap = CreateCompatibleBitmap(screen, width, height);
        ReleaseDC(nullptr, screen);
        FOld = SelectObject(FDc, FBitmap);
        HBRUSH brush = CreateSolidBrush(fill);
        RECT all{0, 0, width, height};
        FillRect(FDc, &all, brush);
        DeleteObject(brush);
    }
    ~TCell() {
        SelectObject(FDc, FOld);
        DeleteObject(FBitmap);
        DeleteDC(FDc);
    }
    TCell(const TCell&) = delete;
    TCell& operator=(const TCell&) = delete;
    HDC Dc() const { return FDc; }
    COLORREF At(int x, int y) const { return GetPixel(FDc, x, y); }

private:
    HDC FDc;
    HBITMAP FBitmap;
    HGDIOBJ FOld;
};

// Word-padded rows of a 32-bit image from 0xAARRGGBB values, as CreateIcon takes them.
std::vector<BYTE> Bits32(const std::vector<DWORD>& pixels) {
    std::vector<BYTE> bytes(pixels.size() * 4);
    std::memcpy(bytes.data(), pixels.data(), bytes.size());
    return bytes;
}

// A 1-bit image of width ≤ 16 from rows of '0' and '1', padded to 16 bits a row.
std::vector<BYTE> Bits1(const std::vector<const char*>& rows) {
    std::vector<BYTE> bytes(rows.size() * 2, 0);
    for (std::size_t y = 0; y < rows.size(); ++y)
        for (std::size_t x = 0; rows[y][x] != '\0'; ++x)
            if (rows[y][x] == '1')
                bytes[y * 2 + x / 8] |= BYTE(0x80u >> (x % 8));
    return bytes;
}

class IconTest : public TGdiTest {};

// The four combinations of mask and image bit: AND keeps or clears, XOR then paints or inverts.
TEST_F(IconTest, NormalDrawingAndsTheMaskThenXorsTheImage) {
    const auto mask = Bits1({"01", "01"});
    const auto image = Bits32({0x00FF0000, 0x00000000, 0x00000000, 0x00FFFFFF});
    HICON icon = CreateIcon(nullptr, 2, 2, 1, 32, mask.data(), image.data());
    ASSERT_NE(icon, nullptr);
    TCell cell(4, 4, kGround);
    EXPECT_TRUE(DrawIconEx(cell.Dc(), 1, 1, icon, 0, 0, 0, nullptr, DI_NORMAL));
    EXPECT_EQ(cell.At(1, 1), RGB(255, 0, 0));  // mask 0: the image
    EXPECT_EQ(cell.At(2, 1), kGround);         // mask 1, image black: transparent
    EXPECT_EQ(cell.At(1, 2), RGB(0, 0, 0));    // mask 0, image black
    EXPECT_EQ(cell.At(2, 2), RGB(245, 55, 225));  // mask 1, image white: inverted
    EXPECT_EQ(cell.At(0, 0), kGround);
    EXPECT_EQ(cell.At(3, 3), kGround);
    EXPECT_TRUE(DestroyIcon(icon));
}

TEST_F(IconTest, MonochromeIconKeepsItsImageBelowTheMaskAndDrawsInBlackAndWhite) {
    const auto mask = Bits1({"01", "01"});
    const auto image = Bits1({"10", "01"});
    HICON icon = CreateIcon(nullptr, 2, 2, 1, 1, mask.data(), image.data());
    ASSERT_NE(icon, nullptr);
    TCell cell(2, 2, kGround);
    // The context's own colours must not colour the monochrome bits.
    SetTextColor(cell.Dc(), RGB(0, 0, 255));
    SetBkColor(cell.Dc(), RGB(255, 0, 0));
    EXPECT_TRUE(DrawIconEx(cell.Dc(), 0, 0, icon, 0, 0, 0, nullptr, DI_NORMAL));
    EXPECT_EQ(cell.At(0, 0), RGB(255, 255, 255));
    EXPECT_EQ(cell.At(1, 0), kGround);
    EXPECT_EQ(cell.At(0, 1), RGB(0, 0, 0));
    EXPECT_EQ(cell.At(1, 1), RGB(245, 55, 225));
    EXPECT_EQ(GetTextColor(cell.Dc()), RGB(0, 0, 255));
    EXPECT_EQ(GetBkColor(cell.Dc()), RGB(255, 0, 0));

    ICONINFO info{};
    ASSERT_TRUE(GetIconInfo(icon, &info));
    EXPECT_EQ(info.hbmColor, nullptr);
    BITMAP bm{};
    ASSERT_EQ(GetObject(info.hbmMask, sizeof bm, &bm), int(sizeof bm));
    EXPECT_EQ(bm.bmWidth, 2);
    EXPECT_EQ(bm.bmHeight, 4);
    EXPECT_EQ(bm.bmBitsPixel, 1);
    DeleteObject(info.hbmMask);
    DestroyIcon(icon);
}

TEST_F(IconTest, AlphaImageIsBlendedAndItsMaskIgnored) {
    // The mask says opaque everywhere; only the alpha decides.
    const auto mask = Bits1({"000", "000"});
    const auto image = Bits32({0x00FF0000, 0xFF0000FF, 0x80FFFFFF, 0x01000000, 0x80000000, 0xFF00FF00});
    HICON icon = CreateIcon(nullptr, 3, 2, 1, 32, mask.data(), image.data());
    ASSERT_NE(icon, nullptr);
    TCell cell(3, 2, kGround);
    EXPECT_TRUE(DrawIconEx(cell.Dc(), 0, 0, icon, 0, 0, 0, nullptr, DI_NORMAL));
    EXPECT_EQ(cell.At(0, 0), kGround);  // alpha 0 leaves the ground although the mask is 0
    EXPECT_EQ(cell.At(1, 0), RGB(0, 0, 255));
    // 128/255 of white over the ground, rounded.
    EXPECT_EQ(cell.At(2, 0), RGB(133, 228, 143));
    EXPECT_EQ(cell.At(0, 1), RGB(10, 199, 30));
    EXPECT_EQ(cell.At(1, 1), RGB(5, 100, 15));
    EXPECT_EQ(cell.At(2, 1), RGB(0, 255, 0));
    DestroyIcon(icon);
}

TEST_F(IconTest, ImageWithoutAlphaOnADeeperScreenUsesTheMask) {
    UseScreenDepth(16);
    const auto mask = Bits1({"01"});
    const auto image = Bits32({0x000000FF, 0x00000000});
    HICON icon = CreateIcon(nullptr, 2, 1, 1, 32, mask.data(), image.data());
    ASSERT_NE(icon, nullptr);
    TCell cell(2, 1, RGB(255, 255, 255));
    EXPECT_TRUE(DrawIconEx(cell.Dc(), 0, 0, icon, 0, 0, 0, nullptr, DI_NORMAL));
    EXPECT_EQ(cell.At(0, 0), RGB(0, 0, 255));
    EXPECT_EQ(cell.At(1, 0), RGB(255, 255, 255));
    DestroyIcon(icon);
}

struct TFlagCase {
    const char* Name;
    UINT Flags;
    COLORREF Left, Right;
};

class IconFlagTest : public IconTest, public ::testing::WithParamInterface<TFlagCase> {};

TEST_P(IconFlagTest, OneBitmapAloneIsCopied) {
    const auto mask = Bits1({"01"});
    const auto image = Bits32({0x00FF0000, 0x00000000});
    HICON icon = CreateIcon(nullptr, 2, 1, 1, 32, mask.data(), image.data());
    ASSERT_NE(icon, nullptr);
    TCell cell(2, 1, kGround);
    EXPECT_TRUE(DrawIconEx(cell.Dc(), 0, 0, icon, 0, 0, 0, nullptr, GetParam().Flags));
    EXPECT_EQ(cell.At(0, 0), GetParam().Left);
    EXPECT_EQ(cell.At(1, 0), GetParam().Right);
    DestroyIcon(icon);
}

INSTANTIATE_TEST_SUITE_P(Flags, IconFlagTest,
                         ::testing::Values(TFlagCase{"MaskOnly", DI_MASK, RGB(0, 0, 0), RGB(255, 255, 255)},
                                           TFlagCase{"ImageOnly", DI_IMAGE, RGB(255, 0, 0), RGB(0, 0, 0)},
                                           TFlagCase{"Normal", DI_NORMAL, RGB(255, 0, 0), kGround}),
                         [](const auto& info) { return std::string(info.param.Name); });

TEST_F(IconTest, SizeComesFromTheIconTheDefaultMetricOrTheCaller) {
    std::vector<BYTE> mask(2 * 2, 0x00);  // 2 × 2, all opaque
    const auto image = Bits32({0x00FF0000, 0x00FF0000, 0x00FF0000, 0x00FF0000});
    HICON icon = CreateIcon(nullptr, 2, 2, 1, 32, mask.data(), image.data());
    ASSERT_NE(icon, nullptr);
    {
        TCell cell(40, 40, kGround);
        DrawIconEx(cell.Dc(), 0, 0, icon, 0, 0, 0, nullptr, DI_NORMAL);
        EXPECT_EQ(cell.At(1, 1), RGB(255, 0, 0));
        EXPECT_EQ(cell.At(2, 2), kGround);
    }
    {
        TCell cell(40, 40, kGround);
        DrawIconEx(cell.Dc(), 0, 0, icon, 0, 0, 0, nullptr, DI_NORMAL | DI_DEFAULTSIZE);
        EXPECT_EQ(cell.At(31, 31), RGB(255, 0, 0));
        EXPECT_EQ(cell.At(32, 32), kGround);
    }
    {
        TCell cell(40, 40, kGround);
        DrawIconEx(cell.Dc(), 5, 5, icon, 7, 3, 0, nullptr, DI_NORMAL);
        EXPECT_EQ(cell.At(11, 7), RGB(255, 0, 0));
        EXPECT_EQ(cell.At(12, 7), kGround);
        EXPECT_EQ(cell.At(11, 8), kGround);
    }
    DestroyIcon(icon);
}

TEST_F(IconTest, FlickerFreeBrushPaintsBehindTheIcon) {
    const auto mask = Bits1({"01"});
    const auto image = Bits32({0x00FF0000, 0x00000000});
    HICON icon = CreateIcon(nullptr, 2, 1, 1, 32, mask.data(), image.data());
    HBRUSH brush = CreateSolidBrush(RGB(0, 0, 255));
    TCell cell(3, 1, kGround);
    EXPECT_TRUE(DrawIconEx(cell.Dc(), 0, 0, icon, 0, 0, 0, brush, DI_NORMAL));
    EXPECT_EQ(cell.At(0, 0), RGB(255, 0, 0));
    EXPECT_EQ(cell.At(1, 0), RGB(0, 0, 255));
    EXPECT_EQ(cell.At(2, 0), kGround);
    DeleteObject(brush);
    DestroyIcon(icon);
}

TEST_F(IconTest, DrawingPartlyOutsideTheBitmapDrawsTheVisiblePart) {
    const auto image = Bits32({0x00FF0000, 0x0000FF00, 0x000000FF, 0x00FFFFFF});
    std::vector<BYTE> mask(4, 0x00);
    HICON icon = CreateIcon(nullptr, 2, 2, 1, 32, mask.data(), image.data());
    TCell cell(2, 2, kGround);
    EXPECT_TRUE(DrawIconEx(cell.Dc(), -1, 1, icon, 0, 0, 0, nullptr, DI_NORMAL));
    EXPECT_EQ(cell.At(0, 1), RGB(0, 255, 0));
    EXPECT_EQ(cell.At(1, 1), kGround);
    EXPECT_TRUE(DrawIconEx(cell.Dc(), 1000, -1000, icon, 0, 0, 0, nullptr, DI_NORMAL));
    DestroyIcon(icon);
}

TEST_F(IconTest, IconInfoHandsOutCopiesTheCallerDeletes) {
    const auto mask = Bits1({"01", "10"});
    const auto image = Bits32({0x00FF0000, 0x00000000, 0x00000000, 0x000000FF});
    HICON icon = CreateIcon(nullptr, 2, 2, 1, 32, mask.data(), image.data());
    ICONINFO info{};
    ASSERT_TRUE(GetIconInfo(icon, &info));
    EXPECT_TRUE(info.fIcon);
    EXPECT_EQ(info.xHotspot, 1u);
    EXPECT_EQ(info.yHotspot, 1u);
    BITMAP bm{};
    ASSERT_EQ(GetObject(info.hbmColor, sizeof bm, &bm), int(sizeof bm));
    EXPECT_EQ(bm.bmWidth, 2);
    EXPECT_EQ(bm.bmHeight, 2);
    EXPECT_EQ(bm.bmBitsPixel, 32);
    DWORD colors[4] = {};
    EXPECT_EQ(GetBitmapBits(info.hbmColor, sizeof colors, colors), LONG(sizeof colors));
    EXPECT_EQ(colors[0] & 0xFFFFFF, 0xFF0000u);
    EXPECT_EQ(colors[3] & 0xFFFFFF, 0x0000FFu);
    BYTE maskBits[4] = {};
    EXPECT_EQ(GetBitmapBits(info.hbmMask, sizeof maskBits, maskBits), 4);
    EXPECT_EQ(maskBits[0], 0x40);
    EXPECT_EQ(maskBits[2], 0x80);
    // Changing a copy leaves the icon as it was.
    DWORD black[4] = {};
    SetBitmapBits(info.hbmColor, sizeof black, black);
    EXPECT_TRUE(DeleteObject(info.hbmColor));
    EXPECT_TRUE(DeleteObject(info.hbmMask));
    TCell cell(2, 2, kGround);
    DrawIconEx(cell.Dc(), 0, 0, icon, 0, 0, 0, nullptr, DI_NORMAL);
    EXPECT_EQ(cell.At(0, 0), RGB(255, 0, 0));
    DestroyIcon(icon);
}

TEST_F(IconTest, IconsAreNotGdiObjectsAndStaleHandlesFail) {
    std::vector<BYTE> mask(2, 0), image(4, 0);
    HICON icon = CreateIcon(nullptr, 1, 1, 1, 32, mask.data(), image.data());
    ASSERT_NE(icon, nullptr);
    TCell cell(1, 1, kGround);
    EXPECT_FALSE(DeleteObject(icon));
    EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);
    EXPECT_EQ(SelectObject(cell.Dc(), icon), nullptr);
    EXPECT_EQ(GetObjectType(icon), 0u);
    BITMAP bm{};
    EXPECT_EQ(GetObject(icon, sizeof bm, &bm), 0);
    EXPECT_TRUE(DestroyIcon(icon));
    EXPECT_FALSE(DestroyIcon(icon));
    EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);
    EXPECT_FALSE(DrawIconEx(cell.Dc(), 0, 0, icon, 0, 0, 0, nullptr, DI_NORMAL));
    ICONINFO info{};
    EXPECT_FALSE(GetIconInfo(icon, &info));
    // A bitmap handle is not an icon either.
    HBITMAP bitmap = CreateBitmap(1, 1, 1, 1, nullptr);
    EXPECT_FALSE(DestroyIcon(reinterpret_cast<HICON>(bitmap)));
    EXPECT_TRUE(DeleteObject(bitmap));
}

TEST_F(IconTest, CreationRefusesWhatCannotBeAnIcon) {
    std::vector<BYTE> bits(64, 0);
    EXPECT_EQ(CreateIcon(nullptr, 0, 4, 1, 32, bits.data(), bits.data()), nullptr);
    EXPECT_EQ(CreateIcon(nullptr, 4, -1, 1, 32, bits.data(), bits.data()), nullptr);
    EXPECT_EQ(CreateIcon(nullptr, 2, 2, 1, 32, nullptr, bits.data()), nullptr);
    EXPECT_EQ(CreateIcon(nullptr, 2, 2, 1, 32, bits.data(), nullptr), nullptr);
    EXPECT_EQ(CreateIcon(nullptr, 2, 2, 1, 3, bits.data(), bits.data()), nullptr);
    EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
    SetBitmapStorageCap(1024);
    std::vector<BYTE> big(64 * 64 * 4, 0);
    EXPECT_EQ(CreateIcon(nullptr, 64, 64, 1, 32, big.data(), big.data()), nullptr);
    EXPECT_EQ(GetLastError(), ERROR_NOT_ENOUGH_MEMORY);
    TCell cell(1, 1, kGround);
    std::vector<BYTE> mask(2, 0), image(4, 0);
    HICON icon = CreateIcon(nullptr, 1, 1, 1, 32, mask.data(), image.data());
    EXPECT_FALSE(DrawIconEx(cell.Dc(), 0, 0, icon, 0, 0, 0, nullptr, 0));
    EXPECT_FALSE(DrawIconEx(cell.Dc(), 0, 0, icon, -2, 0, 0, nullptr, DI_NORMAL));
    EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
    DestroyIcon(icon);
}

TEST_F(IconTest, ApplicationIconIsSharedThirtyTwoPixelsAndDrawsTransparentCorners) {
    HICON icon = LoadIcon(nullptr, IDI_APPLICATION);
    ASSERT_NE(icon, nullptr);
    EXPECT_EQ(LoadIcon(nullptr, IDI_APPLICATION), icon);
    EXPECT_EQ(GetSystemMetrics(SM_CXICON), 32);
    EXPECT_EQ(GetSystemMetrics(SM_CYICON), 32);
    // Destroying a shared icon does nothing.
    EXPECT_TRUE(DestroyIcon(icon));
    TCell cell(32, 32, kGround);
    EXPECT_TRUE(DrawIconEx(cell.Dc(), 0, 0, icon, 0, 0, 0, nullptr, DI_NORMAL));
    EXPECT_EQ(cell.At(0, 0), kGround);
    EXPECT_EQ(cell.At(31, 31), kGround);
    EXPECT_EQ(cell.At(2, 4), RGB(0, 0, 0));
    EXPECT_EQ(cell.At(10, 7), RGB(0, 0, 128));
    EXPECT_EQ(cell.At(5, 12), RGB(255, 255, 255));
    ICONINFO info{};
    ASSERT_TRUE(GetIconInfo(icon, &info));
    BITMAP bm{};
    GetObject(info.hbmColor, sizeof bm, &bm);
    EXPECT_EQ(bm.bmWidth, 32);
    EXPECT_EQ(bm.bmHeight, 32);
    DeleteObject(info.hbmColor);
    DeleteObject(info.hbmMask);

    EXPECT_EQ(LoadIcon(nullptr, MAKEINTRESOURCEA(32513)), nullptr);
    EXPECT_EQ(GetLastError(), ERROR_RESOURCE_NAME_NOT_FOUND);
    EXPECT_EQ(LoadIcon(reinterpret_cast<HINSTANCE>(std::uintptr_t(0x400000)), IDI_APPLICATION), nullptr);
}

}  // namespace
