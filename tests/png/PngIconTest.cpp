// Icon files whose images are PNG-compressed draw through the PNG codec, which the picture
// registry offers to the icon graphic once the codec has started.
#include "PngTestSupport.h"

#include "graphics/Icon.h"
#include "platform/base/Messages.h"

#include <algorithm>
#include <cctype>
#include <fstream>
#include <iterator>

using graphics::Rect;
using graphics::TBitmap;
using graphics::TColor;

namespace {

const std::string kIcons = "../shared/corpus/ico/";

TBytes ReadFile(const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    return TBytes(std::istreambuf_iterator<char>(file), {});
}

void MakeCell(TBitmap& cell, TColor fill) {
    cell.SetWidth(64);
    cell.SetHeight(64);
    cell.Canvas().Brush().SetColor(fill);
    cell.Canvas().FillRect(Rect(0, 0, 64, 64));
}

// The icon file's one image, drawn by the PNG codec itself onto a cell of the same colour.
void DrawDirectly(TBitmap& cell, const TBytes& file, TColor fill) {
    const std::uint32_t size = file[14] | file[15] << 8 | file[16] << 16 | std::uint32_t(file[17]) << 24;
    const std::uint32_t offset = file[18] | file[19] << 8 | file[20] << 16 | std::uint32_t(file[21]) << 24;
    png::TPNGObject image;
    LoadPng(image, TBytes(file.begin() + offset, file.begin() + offset + size));
    MakeCell(cell, fill);
    cell.Canvas().Draw(0, 0, &image);
}

void ExpectClose(TBitmap& actual, TBitmap& expected, int tolerance) {
    const std::vector<std::uint32_t> a = ReadPixels(actual), e = ReadPixels(expected);
    ASSERT_EQ(a.size(), e.size());
    int worst = 0;
    for (std::size_t i = 0; i < a.size(); ++i)
        for (int shift = 0; shift < 24; shift += 8)
            worst = std::max(worst, std::abs(int((a[i] >> shift) & 0xFF) - int((e[i] >> shift) & 0xFF)));
    EXPECT_LE(worst, tolerance);
}

}  // namespace

struct TPngIconCase {
    const char* File;
    int Size;
    int Tolerance;  // opaque images come back exactly; partly transparent ones within rounding
};

class PngIcon : public TPngTest, public ::testing::WithParamInterface<TPngIconCase> {};

TEST_P(PngIcon, DrawsAsTheCodecDrawsTheImageOnTheSameBackground) {
    const TBytes file = ReadFile(kIcons + GetParam().File);
    ASSERT_FALSE(file.empty());
    for (TColor fill : {TColor(gdi::RGB(0x20, 0x40, 0x60)), TColor(gdi::RGB(0xFF, 0xFF, 0xFF))}) {
        graphics::TIcon icon;
        TBytesStream stream(file.data(), std::int64_t(file.size()));
        icon.LoadFromStream(stream);
        TBitmap cell;
        MakeCell(cell, fill);
        cell.Canvas().Draw(0, 0, &icon);
        EXPECT_EQ(icon.Width(), GetParam().Size);
        EXPECT_EQ(icon.Height(), GetParam().Size);
        TBitmap expected;
        DrawDirectly(expected, file, fill);
        ExpectClose(cell, expected, GetParam().Tolerance);
    }
}

INSTANTIATE_TEST_SUITE_P(Corpus, PngIcon,
                         ::testing::Values(TPngIconCase{"image-rs/png_rgb8.ico", 32, 0},
                                           TPngIconCase{"image-rs/png_l8.ico", 32, 0},
                                           TPngIconCase{"image-rs/png-32bpp-alpha.ico", 32, 2},
                                           TPngIconCase{"pillow/hopper_draw.ico", 16, 2}),
                         [](const ::testing::TestParamInfo<TPngIconCase>& info) {
                             std::string name = info.param.File;
                             name = name.substr(name.find('/') + 1);
                             name = name.substr(0, name.find('.'));
                             std::replace_if(name.begin(), name.end(), [](char c) { return !std::isalnum(c); }, '_');
                             return name;
                         });

TEST_F(TPngTest, ADamagedPngIconImageIsAnInvalidIcon) {
    // The directory promises more bytes than the file holds; the image cut short (its entry
    // shortened to match), and the PNG signature followed by nothing of use, fail alike when the
    // icon is first drawn.
    TBytes cut = ReadFile(kIcons + "image-rs/png-32bpp-alpha.ico");
    cut.resize(300);
    cut[14] = std::uint8_t(cut.size() - 22);
    cut[15] = 0;
    TBytes garbage = cut;
    std::fill(garbage.begin() + 22 + 8, garbage.end(), 0xAB);
    for (const TBytes& file : {ReadFile(kIcons + "image-rs/regression/oom-ff076e7064c13ec1f8e2c5bbbfb7a77a08db2361.ico"),
                               cut, garbage}) {
        graphics::TIcon icon;
        TBytesStream stream(file.data(), std::int64_t(file.size()));
        icon.LoadFromStream(stream);
        TBitmap cell;
        MakeCell(cell, graphics::clWhite);
        EXPECT_THAT([&] { cell.Canvas().Draw(0, 0, &icon); },
                    ::testing::ThrowsMessage<EInvalidGraphic>(
                        ::testing::StrEq(base::LoadStr(res::SInvalidIcon))));
    }
}
