// The metafile graphic: enhanced metafiles and placeable Windows metafiles read, measured,
// drawn, saved and refused, with their palettes and shared image data.
#include "GraphicsTestSupport.h"
#include "graphics/Metafile.h"
#include "tests/platform/gdi/EmfBuilder.h"

#include "platform/base/Messages.h"

#include <gmock/gmock.h>

using namespace graphics;
using namespace gdi;
using ::testing::StrEq;
using ::testing::ThrowsMessage;

namespace {

const std::string kInvalidMetafile = "メタファイルが不正です";
constexpr std::uint32_t kRed = 0xFF0000, kWhite = 0xFFFFFF;

// A picture width × height reference pixels large (10 pixels per millimetre) holding a red
// rectangle without an outline over the given box (its right and bottom edges left out).
std::vector<std::uint8_t> RedBoxEmf(LONG width, LONG height, RECT box) {
    emftest::TEmfBuilder emf(width, height);
    emf.Brush(1, BS_SOLID, RGB(255, 0, 0)).Select(1).Select(emftest::kStock | NULL_PEN);
    emf.Record(emftest::kRectangle, {DWORD(box.left), DWORD(box.top), DWORD(box.right), DWORD(box.bottom)});
    return emf.Bytes();
}

// A placeable Windows metafile of a red rectangle (100, 100)–(700, 500) in a 1440 × 720 window,
// its header stating the box and units per inch.
std::vector<std::uint8_t> PlaceableWmf(std::uint16_t inch, bool goodChecksum = true) {
    std::vector<std::uint8_t> out;
    const auto word = [&out](int v) {
        out.push_back(std::uint8_t(v));
        out.push_back(std::uint8_t(v >> 8));
    };
    TPlaceableHeader header;
    header.Key = kPlaceableKey;
    header.Right = 1440;
    header.Bottom = 720;
    header.Inch = inch;
    header.CheckSum = std::uint16_t(PlaceableChecksum(header) ^ (goodChecksum ? 0 : 1));
    word(int(header.Key & 0xFFFF)), word(int(header.Key >> 16)), word(0), word(0), word(0), word(1440), word(720);
    word(inch), word(0), word(0), word(header.CheckSum);
    const std::vector<std::vector<int>> records{
        {0x0103, MM_ANISOTROPIC}, {0x020B, 0, 0}, {0x020C, 720, 1440},       // map mode, window org, ext
        {0x02FC, BS_SOLID, 0x00FF, 0, 0}, {0x012D, 0},                       // red brush
        {0x041B, 500, 700, 100, 100},                                        // rectangle
    };
    const std::size_t start = out.size();
    word(1), word(9), word(0x300), word(0), word(0), word(1), word(0), word(0), word(0);
    for (const std::vector<int>& r : records) {
        word(int(2 + r.size())), word(0);
        for (int w : r)
            word(w);
    }
    word(3), word(0), word(0);
    const std::size_t words = (out.size() - start) / 2;
    out[start + 6] = std::uint8_t(words), out[start + 7] = std::uint8_t(words >> 8);
    return out;
}

void Load(TMetafile& metafile, const std::vector<std::uint8_t>& bytes) {
    TMemoryStream stream(bytes);
    metafile.LoadFromStream(stream);
}

std::vector<std::uint8_t> Save(TMetafile& metafile) {
    TMemoryStream stream;
    metafile.SaveToStream(stream);
    return stream.Bytes();
}

// A white bitmap of the given size with the metafile stretched over the rectangle.
std::vector<std::uint32_t> Drawn(TMetafile& metafile, int width, int height, const TRect& rect) {
    TBitmap bitmap;
    bitmap.SetWidth(width);
    bitmap.SetHeight(height);
    bitmap.Canvas().Brush().SetColor(0xFFFFFF);
    bitmap.Canvas().FillRect(Rect(0, 0, width, height));
    bitmap.Canvas().StretchDraw(rect, &metafile);
    return ReadPixels(bitmap);
}

int Count(const std::vector<std::uint32_t>& pixels, std::uint32_t colour) {
    return int(std::count(pixels.begin(), pixels.end(), colour));
}

}  // namespace

using Metafile = TGraphicsTest;

TEST_F(Metafile, AnEnhancedMetafileMeasuresThroughItsReferenceDevice) {
    TMetafile metafile;
    EXPECT_FALSE(metafile.GetEmpty());
    EXPECT_EQ(metafile.GetWidth(), 0) << "blank";
    Load(metafile, RedBoxEmf(500, 250, RECT{0, 0, 500, 250}));
    EXPECT_TRUE(metafile.Enhanced());
    EXPECT_EQ(metafile.MMWidth(), 5000);
    EXPECT_EQ(metafile.MMHeight(), 2500);
    EXPECT_EQ(metafile.GetWidth(), 500) << "10 pixels per millimetre on its reference device";
    EXPECT_EQ(metafile.GetHeight(), 250);
    metafile.SetWidth(100);
    EXPECT_EQ(metafile.MMWidth(), 1000);

    // A reference device of absurd millimetres (a fuzzing find) measures as next to nothing.
    std::vector<std::uint8_t> absurd = RedBoxEmf(500, 250, RECT{0, 0, 500, 250});
    for (std::size_t at = 80; at < 88; ++at)
        absurd[at] = at % 4 == 3 ? 0x7F : 0xFF;
    Load(metafile, absurd);
    EXPECT_EQ(metafile.GetWidth(), 0);
    EXPECT_EQ(metafile.GetHeight(), 0);
}

TEST_F(Metafile, DrawingFillsTheRectangleWhateverTheAspect) {
    TMetafile metafile;
    Load(metafile, RedBoxEmf(100, 50, RECT{-5, -5, 105, 55}));
    // 100 × 50 squeezed into the whole 64 × 64 cell: the red covers it all.
    EXPECT_EQ(Count(Drawn(metafile, 64, 64, Rect(0, 0, 64, 64)), kRed), 64 * 64);
    // Drawing at a point plays into the inclusive rectangle of its own size: the frame's corners
    // land on its corners.
    emftest::TEmfBuilder corners(10, 6);
    corners.Record(emftest::kSetPixelV, {0, 0, RGB(255, 0, 0)}).Record(emftest::kSetPixelV, {10, 6, RGB(255, 0, 0)});
    TMetafile small;
    Load(small, corners.Bytes());
    EXPECT_EQ(small.GetWidth(), 10);
    TBitmap bitmap;
    bitmap.SetWidth(20);
    bitmap.SetHeight(20);
    bitmap.Canvas().Brush().SetColor(0xFFFFFF);
    bitmap.Canvas().FillRect(Rect(0, 0, 20, 20));
    bitmap.Canvas().Draw(3, 4, &small);
    EXPECT_EQ(PixelAt(bitmap, 3, 4), kRed);
    EXPECT_EQ(PixelAt(bitmap, 12, 9), kRed);
    EXPECT_EQ(Count(ReadPixels(bitmap), kRed), 2);
}

TEST_F(Metafile, RefusesWhatIsNoMetafileAndKeepsNothingOfThePreviousPicture) {
    TMetafile metafile;
    Load(metafile, RedBoxEmf(10, 10, RECT{0, 0, 10, 10}));
    std::vector<std::uint8_t> bytes = RedBoxEmf(10, 10, RECT{0, 0, 10, 10});
    bytes[40] ^= 1;  // the signature
    EXPECT_THAT([&] { Load(metafile, bytes); }, ThrowsMessage<EInvalidGraphic>(StrEq(kInvalidMetafile)));
    EXPECT_EQ(metafile.Handle(), nullptr);
    // A stated total size below the header or beyond the stream is refused before allocating.
    for (std::uint32_t total : {std::uint32_t(60), std::uint32_t(0x7FFFFFF0)}) {
        bytes = RedBoxEmf(10, 10, RECT{0, 0, 10, 10});
        std::memcpy(bytes.data() + 48, &total, 4);
        EXPECT_THAT([&] { Load(metafile, bytes); }, ThrowsMessage<EInvalidGraphic>(StrEq(kInvalidMetafile)));
    }
    // A Windows metafile without the placeable header, and one with a wrong checksum bit.
    std::vector<std::uint8_t> wmf = PlaceableWmf(1440);
    EXPECT_THAT([&] { Load(metafile, std::vector<std::uint8_t>(wmf.begin() + 22, wmf.end())); },
                ThrowsMessage<EInvalidGraphic>(StrEq(kInvalidMetafile)));
    EXPECT_THAT([&] { Load(metafile, PlaceableWmf(1440, false)); },
                ThrowsMessage<EInvalidGraphic>(StrEq(kInvalidMetafile)));
}

TEST_F(Metafile, APlaceableMetafileMeasuresByItsUnitsPerInch) {
    TMetafile metafile;
    Load(metafile, PlaceableWmf(1440));
    EXPECT_FALSE(metafile.Enhanced());
    EXPECT_EQ(metafile.Inch(), 1440);
    EXPECT_EQ(metafile.MMWidth(), 2540);
    EXPECT_EQ(metafile.MMHeight(), 1270);
    EXPECT_EQ(metafile.GetWidth(), 96);
    EXPECT_EQ(metafile.GetHeight(), 48);
    // Its rectangle (100, 100)–(700, 500) of 1440 × 720 is red when the picture is played.
    const std::vector<std::uint32_t> pixels = Drawn(metafile, 96, 48, Rect(0, 0, 96, 48));
    EXPECT_EQ(pixels[std::size_t(24 * 96 + 30)], kRed);
    EXPECT_EQ(pixels[std::size_t(2 * 96 + 2)], kWhite);
    EXPECT_EQ(pixels[std::size_t(24 * 96 + 90)], kWhite);
    // Units per inch 0 count as 96 for the size; the pixels then come from the converted picture.
    TMetafile unscaled;
    Load(unscaled, PlaceableWmf(0));
    EXPECT_EQ(unscaled.Inch(), 0);
    EXPECT_EQ(unscaled.MMWidth(), MulDiv(1440, 2540, 96));
    EXPECT_GT(unscaled.GetWidth(), 0);
}

TEST_F(Metafile, SavesWhatItReadAndAWindowsMetafileWithItsBoxRecomputed) {
    TMetafile metafile;
    const std::vector<std::uint8_t> emf = RedBoxEmf(20, 10, RECT{0, 0, 20, 10});
    Load(metafile, emf);
    EXPECT_EQ(Save(metafile), emf);
    TMetafile wmf;
    Load(wmf, PlaceableWmf(1440));
    const std::vector<std::uint8_t> saved = Save(wmf);
    ASSERT_GT(saved.size(), 22u);
    TMetafile again;
    Load(again, saved);
    EXPECT_EQ(again.Inch(), 1440);
    EXPECT_EQ(again.MMWidth(), 2540) << "box (0, 0, 1440, 720) from the stored size";
    EXPECT_EQ(again.MMHeight(), 1270);
    EXPECT_EQ(Count(Drawn(again, 96, 48, Rect(0, 0, 96, 48)), kRed),
              Count(Drawn(wmf, 96, 48, Rect(0, 0, 96, 48)), kRed));
}

TEST_F(Metafile, APaletteOfMoreThan256EntriesKeepsTheFirst256) {
    emftest::TEmfBuilder emf(10, 10);
    std::vector<PALETTEENTRY> entries(300);
    for (std::size_t i = 0; i < entries.size(); ++i)
        entries[i] = PALETTEENTRY{BYTE(i), BYTE(i / 2), 7, 0};
    emf.EndPalette(entries);
    TMetafile metafile;
    Load(metafile, emf.Bytes());
    graphics::HPALETTE palette = metafile.GetPalette();
    ASSERT_NE(palette, nullptr);
    EXPECT_EQ(gdi::GetPaletteEntries(palette, 0, 0, nullptr), 256u);
    PALETTEENTRY last{};
    gdi::GetPaletteEntries(palette, 255, 1, &last);
    EXPECT_EQ(last.peRed, 255);
    EXPECT_EQ(last.peGreen, 127);
    EXPECT_EQ(metafile.GetPalette(), palette) << "made once, kept with the image data";
}

TEST_F(Metafile, SharedImageDataIsCopiedBeforeASizeChange) {
    TMetafile first, second;
    Load(first, RedBoxEmf(50, 40, RECT{0, 0, 50, 40}));
    second.Assign(&first);
    EXPECT_EQ(second.Handle(), first.Handle());
    second.SetMMWidth(1000);
    EXPECT_NE(second.Handle(), first.Handle());
    EXPECT_EQ(first.MMWidth(), 500);
    EXPECT_EQ(second.MMWidth(), 1000);
    second.Assign(nullptr);
    EXPECT_EQ(second.Handle(), nullptr);
    EXPECT_TRUE(second.Enhanced());
}
