// Plain copies between formats convert whole row pieces at once. These tests place the pieces at
// columns that do not start or end on a byte, and at the very end of a bitmap's memory, where a
// row converter that reads or writes a pixel too many would show.
#include "BlitTestSupport.h"

#include <string>
#include <tuple>

using namespace gdi;
using namespace blittest;

namespace {

enum class TFormatKind { MonoDdb, Dib1, Dib4, Dib8, Dib16, Dib24, Dib32, Ddb32 };
const char* const kFormatNames[] = {"MonoDdb", "Dib1", "Dib4", "Dib8", "Dib16", "Dib24", "Dib32", "Ddb32"};

std::unique_ptr<TSurface> MakeFormat(TFormatKind kind, int width, int height) {
    const std::vector<RGBQUAD> table = {Quad(RGB(0, 0, 0)),     Quad(RGB(255, 255, 255)), Quad(RGB(255, 0, 0)),
                                        Quad(RGB(0, 255, 0)),   Quad(RGB(0, 0, 255)),     Quad(RGB(90, 90, 90)),
                                        Quad(RGB(200, 100, 50)), Quad(RGB(10, 200, 30))};
    switch (kind) {
    case TFormatKind::MonoDdb: return MakeDdb(1, width, height);
    case TFormatKind::Dib1: return MakeDib(1, width, -height, {Quad(RGB(20, 20, 20)), Quad(RGB(200, 100, 50))});
    case TFormatKind::Dib4: return MakeDib(4, width, height, table);
    case TFormatKind::Dib8: return MakeDib(8, width, -height, table);
    case TFormatKind::Dib16: return MakeDib(16, width, height);
    case TFormatKind::Dib24: return MakeDib(24, width, height);
    case TFormatKind::Dib32: return MakeDib(32, width, -height);
    case TFormatKind::Ddb32: return MakeDdb(32, width, height);
    }
    return nullptr;
}

constexpr COLORREF kPattern[] = {RGB(0, 0, 0),     RGB(255, 255, 255), RGB(255, 0, 0),  RGB(0, 0, 255),
                                 RGB(10, 200, 30), RGB(200, 100, 50),  RGB(90, 90, 90), RGB(0, 255, 0)};

void Paint(const TSurface& surface, int shift) {
    for (int y = 0; y < surface.Height(); ++y)
        for (int x = 0; x < surface.Width(); ++x)
            SetPixel(surface.Dc(), x, y, kPattern[(x * 3 + y + shift) % 8]);
}

class RowConversion : public TGdiTest, public ::testing::WithParamInterface<std::tuple<TFormatKind, TFormatKind>> {};

// Source columns 3 to 13 land on destination columns 5 to 15 of 19: neither end is on a byte for
// the 1 and 4-bit formats. The general span loop (NOTSRCCOPY, then DSTINVERT) is the reference,
// and the destination pixels around the rectangle keep their colours.
TEST_P(RowConversion, PiecesOffTheByteGridMatchTheGeneralLoop) {
    const auto [from, to] = GetParam();
    auto source = MakeFormat(from, 17, 3);
    Paint(*source, 3);
    SetBkColor(source->Dc(), GetPixel(source->Dc(), 4, 0));
    auto plain = MakeFormat(to, 19, 4);
    auto general = MakeFormat(to, 19, 4);
    for (const TSurface* surface : {plain.get(), general.get()}) {
        Paint(*surface, 5);
        SetTextColor(surface->Dc(), RGB(0, 0, 0));
        SetBkColor(surface->Dc(), RGB(255, 255, 255));
    }
    const std::vector<COLORREF> before = plain->Colours();

    ASSERT_TRUE(BitBlt(plain->Dc(), 5, 1, 11, 3, source->Dc(), 3, 0, SRCCOPY));
    ASSERT_TRUE(BitBlt(general->Dc(), 5, 1, 11, 3, source->Dc(), 3, 0, NOTSRCCOPY));
    ASSERT_TRUE(PatBlt(general->Dc(), 5, 1, 11, 3, DSTINVERT));

    const std::vector<COLORREF> after = plain->Colours();
    EXPECT_EQ(after, general->Colours());
    int changed = 0;
    for (int y = 0; y < 4; ++y) {
        for (int x = 0; x < 19; ++x) {
            const std::size_t i = std::size_t(y * 19 + x);
            const bool inside = x >= 5 && x < 16 && y >= 1;
            if (!inside)
                EXPECT_EQ(after[i], before[i]) << "outside pixel " << x << "," << y;
            else
                changed += after[i] != before[i];
        }
    }
    EXPECT_GT(changed, 0);
}

const auto kAllFormats = ::testing::Values(TFormatKind::MonoDdb, TFormatKind::Dib1, TFormatKind::Dib4,
                                           TFormatKind::Dib8, TFormatKind::Dib16, TFormatKind::Dib24,
                                           TFormatKind::Dib32, TFormatKind::Ddb32);

INSTANTIATE_TEST_SUITE_P(Formats, RowConversion, ::testing::Combine(kAllFormats, kAllFormats),
                         [](const ::testing::TestParamInfo<std::tuple<TFormatKind, TFormatKind>>& info) {
                             return std::string(kFormatNames[int(std::get<0>(info.param))]) + "To" +
                                    kFormatNames[int(std::get<1>(info.param))];
                         });

using RowConversionEdge = TGdiTest;

// Every fourth width fills its rows without padding, so the last pixel of a top-down section is
// the last three bytes of its memory: a converter that reads past a row piece runs off the end.
// Widths up to 21 take every mix of four-pixel steps and single pixels.
TEST_F(RowConversionEdge, TwentyFourBitPixelsAtTheEndOfMemoryConvertExactly) {
    for (int width = 1; width <= 21; ++width) {
        auto source = MakeDib(24, width, -2);
        auto dest = MakeDib(32, width, -2);
        dest->FillRaw(0xFFFFFFFFu);
        for (int y = 0; y < 2; ++y)
            for (int x = 0; x < width; ++x)
                source->SetRaw(x, y, 0x010203u * DWORD(x + width * y + 1));
        ASSERT_TRUE(BitBlt(dest->Dc(), 0, 0, width, 2, source->Dc(), 0, 0, SRCCOPY));
        for (int y = 0; y < 2; ++y)
            for (int x = 0; x < width; ++x)
                ASSERT_EQ(dest->Raw(x, y), 0x010203u * DWORD(x + width * y + 1)) << width << ": " << x << "," << y;

        // A piece that starts and ends inside the rows, and back: the spare byte goes, the colour stays.
        if (width >= 3) {
            ASSERT_TRUE(BitBlt(dest->Dc(), 1, 1, width - 2, 1, source->Dc(), 0, 0, SRCCOPY));
            EXPECT_EQ(dest->Raw(0, 1), 0x010203u * DWORD(width + 1));
            EXPECT_EQ(dest->Raw(1, 1), 0x010203u);
            EXPECT_EQ(dest->Raw(width - 1, 1), 0x010203u * DWORD(2 * width));
        }
        dest->SetRaw(width - 1, 1, 0xAB112233u);
        ASSERT_TRUE(BitBlt(source->Dc(), 0, 0, width, 2, dest->Dc(), 0, 0, SRCCOPY));
        EXPECT_EQ(source->Raw(width - 1, 1), 0x112233u) << width;
    }
}

// SetDIBits converts the caller's rows the same way. Each image here is in a heap block of exactly
// its own size, so that reading past the last pixel of the last row is caught by the sanitizer.
TEST_F(RowConversionEdge, CallerRowsAreReadNoFurtherThanTheirLastPixel) {
    for (int width = 1; width <= 9; ++width) {
        const std::size_t stride = std::size_t((width * 24 + 31) / 32 * 4);
        auto bits = std::make_unique<BYTE[]>(stride * 2);
        for (std::size_t i = 0; i < stride * 2; ++i)
            bits[i] = BYTE(i * 7 + 1);
        TDibInfo info = DibInfo(24, width, -2);
        auto dest = MakeDdb(32, width, 2);
        ASSERT_EQ(SetDIBits(dest->Dc(), dest->Bitmap(), 0, 2, bits.get(), reinterpret_cast<BITMAPINFO*>(&info),
                            DIB_RGB_COLORS),
                  2)
            << width;
        for (int y = 0; y < 2; ++y) {
            for (int x = 0; x < width; ++x) {
                const BYTE* pixel = bits.get() + std::size_t(y) * stride + std::size_t(x) * 3;
                EXPECT_EQ(GetPixel(dest->Dc(), x, y), RGB(pixel[2], pixel[1], pixel[0])) << width << ": " << x << "," << y;
            }
        }
    }
}

}  // namespace
