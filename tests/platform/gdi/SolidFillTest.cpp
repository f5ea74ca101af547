// Solid fills (PatBlt with a solid brush or without a pattern) write whole blocks at once when
// rows lie back to back in memory. These tests check that such a block covers exactly the rows
// asked for, in both row orders, and that row padding and the rows around it stay as they were.
#include "BlitTestSupport.h"

#include <string>
#include <tuple>

using namespace gdi;
using namespace blittest;

namespace {

constexpr BYTE kMarker = 0x5A;

struct TFillCase {
    const char* Name;
    int Bpp;
    int Width;  // some widths fill their rows exactly, others leave padding
};

constexpr TFillCase kFillCases[] = {
    {"Bits8Packed", 8, 4},   {"Bits8Padded", 8, 5},   {"Bits16Packed", 16, 2}, {"Bits16Padded", 16, 3},
    {"Bits24Packed", 24, 4}, {"Bits24Padded", 24, 3}, {"Bits32", 32, 3},
};

class SolidFill : public TGdiTest, public ::testing::WithParamInterface<std::tuple<TFillCase, bool>> {};

TEST_P(SolidFill, CoversTheRowsAskedForAndNothingElse) {
    const auto [c, topDown] = GetParam();
    constexpr int kHeight = 5;
    TDibInfo info = DibInfo(c.Bpp, c.Width, topDown ? -kHeight : kHeight,
                            c.Bpp == 8 ? std::vector<RGBQUAD>{Quad(RGB(0, 0, 0)), Quad(RGB(10, 20, 30))}
                                       : std::vector<RGBQUAD>{});
    void* bits = nullptr;
    HBITMAP bitmap = CreateDIBSection(nullptr, reinterpret_cast<BITMAPINFO*>(&info), DIB_RGB_COLORS, &bits, nullptr, 0);
    ASSERT_NE(bitmap, nullptr);
    auto* memory = static_cast<BYTE*>(bits);
    const std::size_t stride = std::size_t((c.Width * c.Bpp + 31) / 32 * 4);
    std::fill(memory, memory + stride * kHeight, kMarker);
    TSurface surface(bitmap, bits);

    // Image rows 1 to 3, full width; a second fill paints one row in a colour whose bytes differ.
    ASSERT_TRUE(PatBlt(surface.Dc(), 0, 1, c.Width, 3, WHITENESS));
    HBRUSH brush = CreateSolidBrush(RGB(10, 20, 30));
    HGDIOBJ old = SelectObject(surface.Dc(), brush);
    ASSERT_TRUE(PatBlt(surface.Dc(), 0, 3, c.Width, 1, PATCOPY));
    SelectObject(surface.Dc(), old);
    DeleteObject(brush);

    const std::size_t pixelBytes = std::size_t(c.Width) * std::size_t(c.Bpp / 8);
    const DWORD allOnes = c.Bpp == 32 ? 0xFFFFFFFFu : (1u << c.Bpp) - 1u;
    for (int y = 0; y < kHeight; ++y) {
        const BYTE* row = memory + std::size_t(topDown ? y : kHeight - 1 - y) * stride;
        const bool filled = y >= 1 && y <= 3;
        for (std::size_t k = filled ? pixelBytes : 0; k < stride; ++k)
            EXPECT_EQ(row[k], kMarker) << "row " << y << " byte " << k;
        if (!filled)
            continue;
        for (int x = 0; x < c.Width; ++x) {
            if (y == 3)
                EXPECT_EQ(GetPixel(surface.Dc(), x, y), c.Bpp == 16 ? RGB(8, 16, 24) : RGB(10, 20, 30)) << x;
            else
                EXPECT_EQ(surface.Raw(x, y), allOnes) << x << "," << y;
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Depths, SolidFill, ::testing::Combine(::testing::ValuesIn(kFillCases), ::testing::Bool()),
                         [](const ::testing::TestParamInfo<std::tuple<TFillCase, bool>>& info) {
                             return std::string(std::get<0>(info.param).Name) +
                                    (std::get<1>(info.param) ? "TopDown" : "BottomUp");
                         });

}  // namespace

namespace {

// Short spans of a 32-bit surface are stored four pixels at a time, the last four overlapping
// the ones before: every width still covers exactly its own pixels.
TEST(SolidFillSpans, ShortSpansCoverExactlyTheirPixels) {
    constexpr int kWidth = 24;
    for (int width = 1; width <= 13; ++width) {
        auto surface = MakeWhiteSurface(kWidth, 3);
        HDC dc = surface->Dc();
        SelectObject(dc, GetStockObject(NULL_PEN));
        SelectObject(dc, GetStockObject(BLACK_BRUSH));
        const POINT box[] = {{5, 1}, {5 + width, 1}, {5 + width, 2}, {5, 2}};
        ASSERT_TRUE(Polygon(dc, box, 4));
        const auto colours = surface->Colours();
        for (int y = 0; y < 3; ++y)
            for (int x = 0; x < kWidth; ++x)
                EXPECT_EQ(colours[std::size_t(y * kWidth + x)] == RGB(0, 0, 0), y == 1 && x >= 5 && x < 5 + width)
                    << "width " << width << " at " << x << ", " << y;
    }
}

}  // namespace
