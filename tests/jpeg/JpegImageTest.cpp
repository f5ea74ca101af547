#include "tests/jpeg/JpegTestSupport.h"

#include "platform/base/Messages.h"

#include <algorithm>
#include <cstdio>
#include <tuple>

#include <jpeglib.h>
#include <jerror.h>

using namespace graphics;
using namespace jpeg;
using gdi::LOGPALETTE;
using gdi::PALETTEENTRY;
using gdi::UINT;
using gdi::WORD;

namespace {

struct TProgressEvent {
    TProgressStage Stage;
    int Percent;
    bool Redraw;
    TRect R;
};

// Records the progress events of a graphic; optionally raises from one stage.
class TProgressLog {
public:
    explicit TProgressLog(TGraphic& graphic) {
        graphic.OnProgress = [this](TPersistent*, TProgressStage stage, std::uint8_t percent, bool redraw,
                                    const TRect& r, const std::string&) {
            Events.push_back({stage, percent, redraw, r});
            if (stage == RaiseAt && RaiseAbort)
                throw EAbort("");
            if (stage == RaiseAt && RaiseOther)
                throw EInvalidGraphic("listener failed");
        };
    }
    int Count(TProgressStage stage) const {
        int count = 0;
        for (const TProgressEvent& event : Events)
            count += event.Stage == stage;
        return count;
    }
    std::vector<TProgressEvent> Events;
    TProgressStage RaiseAt = TProgressStage::psStarting;
    bool RaiseAbort = false;
    bool RaiseOther = false;
};

// A 24-bit or 32-bit target to draw into, filled white.
std::unique_ptr<TBitmap> WhiteTarget(int width, int height) {
    auto target = std::make_unique<TBitmap>();
    target->SetPixelFormat(px24Bit);
    target->SetWidth(width);
    target->SetHeight(height);
    target->Canvas().Brush().SetColor(clWhite);
    target->Canvas().FillRect(Rect(0, 0, width, height));
    return target;
}

std::string ErrorText(int code) { return base::FmtLoadStr(res::SJPEGError, {static_cast<long long>(code)}); }

}  // namespace

// ---- loading reads the header only -------------------------------------------------------------

TEST_F(TJpegTest, LoadingReadsTheHeaderAndTheFirstDrawDecodesOnce) {
    TJPEGImage image;
    TProgressLog log(image);
    LoadBytes(image, EncodeTestJpeg({.Width = 40, .Height = 24}));
    EXPECT_EQ(image.Width(), 40);
    EXPECT_EQ(image.Height(), 24);
    EXPECT_FALSE(image.Empty());
    EXPECT_FALSE(image.HasBitmap());
    EXPECT_EQ(log.Count(TProgressStage::psStarting), 0);

    auto target = WhiteTarget(64, 64);
    target->Canvas().Draw(0, 0, &image);
    ASSERT_TRUE(image.HasBitmap());
    TBitmap* decoded = &image.DecodedBitmap();
    target->Canvas().StretchDraw(Rect(0, 0, 64, 64), &image);
    EXPECT_EQ(&image.DecodedBitmap(), decoded);
    EXPECT_EQ(log.Count(TProgressStage::psStarting), 1);
    EXPECT_EQ(log.Count(TProgressStage::psEnding), 1);
}

TEST_F(TJpegTest, DecodesTheSamePixelsAsTheLibraryInBlueGreenRedOrder) {
    const auto bytes = EncodeTestJpeg({.Width = 37, .Height = 21});
    TJPEGImage image;
    LoadBytes(image, bytes);
    TBitmap& bitmap = image.DecodedBitmap();
    EXPECT_EQ(bitmap.PixelFormat(), px24Bit);
    const TReference reference = DecodeReference(bytes);
    EXPECT_EQ(BitmapRows(bitmap, 3), reference.Pixels);
    // The synthetic picture is blue at the right edge of the top row: the order is not swapped.
    const auto* top = static_cast<const std::uint8_t*>(bitmap.ScanLine(0));
    EXPECT_GT(top[36 * 3 + 0], 200);
    EXPECT_LT(top[36 * 3 + 2], 160);
}

TEST_F(TJpegTest, DrawingAtAPointFillsExactlyTheImageArea) {
    TJPEGImage image;
    LoadBytes(image, EncodeTestJpeg({.Width = 20, .Height = 10}));
    auto target = WhiteTarget(64, 64);
    target->Canvas().Draw(5, 7, &image);
    const TReference reference = DecodeReference(EncodeTestJpeg({.Width = 20, .Height = 10}));
    for (int y = 0; y < 64; ++y)
        for (int x = 0; x < 64; ++x) {
            const auto* pixel = static_cast<const std::uint8_t*>(target->ScanLine(y)) + x * 3;
            const bool inside = x >= 5 && x < 25 && y >= 7 && y < 17;
            if (inside) {
                const std::uint8_t* expected = &reference.Pixels[std::size_t(((y - 7) * 20 + (x - 5)) * 3)];
                ASSERT_EQ(pixel[0], expected[0]) << x << "," << y;
                ASSERT_EQ(pixel[2], expected[2]) << x << "," << y;
            } else {
                ASSERT_EQ(pixel[0] & pixel[1] & pixel[2], 255) << x << "," << y;
            }
        }
}

TEST_F(TJpegTest, AZeroLengthStreamLoadsAnEmptyGraphicAndSignalsAChange) {
    TJPEGImage image;
    int changes = 0;
    image.OnChange = [&](TPersistent*) { ++changes; };
    LoadBytes(image, {});
    EXPECT_EQ(changes, 1);
    EXPECT_TRUE(image.Empty());
    EXPECT_EQ(image.Width(), 0);
    auto target = WhiteTarget(8, 8);
    target->Canvas().Draw(0, 0, &image);
    EXPECT_FALSE(image.HasBitmap());
    // Asking for the pixels of nothing is the library's empty-input error.
    try {
        image.DecodedBitmap();
        FAIL() << "an empty graphic decoded";
    } catch (const EJPEG& error) {
        EXPECT_EQ(error.Message(), ErrorText(JERR_INPUT_EMPTY));
    }
}

TEST_F(TJpegTest, ANonJpegFileFailsWithTheMissingStartOfImageCode) {
    TJPEGImage image;
    const std::vector<std::uint8_t> bytes{'B', 'M', 1, 2, 3, 4, 5, 6};
    try {
        LoadBytes(image, bytes);
        FAIL() << "a BMP header loaded as JPEG";
    } catch (const EJPEG& error) {
        EXPECT_EQ(error.Message(), "JPEG エラー #" + std::to_string(JERR_NO_SOI));
    }
}

TEST_F(TJpegTest, SettingTheSizeIsRefused) {
    TJPEGImage image;
    LoadBytes(image, EncodeTestJpeg({}));
    for (int value : {0, 10, 48}) {
        EXPECT_THROW(
            {
                try {
                    image.SetWidth(value);
                } catch (const EInvalidGraphicOperation& error) {
                    EXPECT_EQ(error.Message(), "JPEG イメージのサイズは変更できません");
                    throw;
                }
            },
            EInvalidGraphicOperation);
        EXPECT_THROW(image.SetHeight(value), EInvalidGraphicOperation);
    }
    EXPECT_EQ(image.Width(), 48);
}

// ---- depth and palettes ----------------------------------------------------------------------

struct TGreyCase {
    const char* Name;
    TJPEGPixelFormat Depth;
};

class TJpegGreyTest : public TJpegTest, public ::testing::WithParamInterface<TGreyCase> {};

TEST_P(TJpegGreyTest, GreyscaleFilesDecodeToEightBitsWithAGreyPalette) {
    const auto bytes = EncodeTestJpeg({.Width = 30, .Height = 40, .Grey = true});
    TJPEGImage image;
    image.Settings().DecodeDepth = GetParam().Depth;
    LoadBytes(image, bytes);
    EXPECT_TRUE(image.Data().FGrayscale);
    TBitmap& bitmap = image.DecodedBitmap();
    ASSERT_EQ(bitmap.PixelFormat(), px8Bit);
    PALETTEENTRY entries[256];
    const UINT count = gdi::GetPaletteEntries(bitmap.GetPalette(), 0, 256, entries);
    EXPECT_GT(count, 2u);
    EXPECT_LE(count, 236u);
    for (UINT i = 0; i < count; ++i) {
        EXPECT_EQ(entries[i].peRed, entries[i].peGreen);
        EXPECT_EQ(entries[i].peGreen, entries[i].peBlue);
    }
    // Through the palette the pixels stay close to the library's own grey decode.
    const TReference reference = DecodeReference(bytes);
    std::vector<std::uint8_t> greys;
    for (std::uint8_t index : BitmapRows(bitmap, 1))
        greys.push_back(entries[index].peGreen);
    EXPECT_GT(Psnr(greys, reference.Pixels), 40.0);
}

INSTANTIATE_TEST_SUITE_P(Depths, TJpegGreyTest,
                         ::testing::Values(TGreyCase{"Depth24", TJPEGPixelFormat::jf24Bit},
                                           TGreyCase{"Depth8", TJPEGPixelFormat::jf8Bit}),
                         [](const auto& info) { return std::string(info.param.Name); });

struct TScreenCase {
    int Bits;
    TJPEGPixelFormat Expected;
};

class TJpegScreenTest : public TJpegTest, public ::testing::WithParamInterface<TScreenCase> {};

TEST_P(TJpegScreenTest, TheDecodeDepthFollowsTheScreen) {
    UseScreenDepth(GetParam().Bits);
    EXPECT_EQ(JPEGDefaultSettings.DecodeDepth, GetParam().Expected);
    TJPEGImage image;
    EXPECT_EQ(image.Settings().DecodeDepth, GetParam().Expected);
    const auto bytes = EncodeTestJpeg({.Width = 32, .Height = 32});
    LoadBytes(image, bytes);
    TBitmap& bitmap = image.DecodedBitmap();
    if (GetParam().Expected == TJPEGPixelFormat::jf24Bit) {
        EXPECT_EQ(bitmap.PixelFormat(), px24Bit);
        return;
    }
    ASSERT_EQ(bitmap.PixelFormat(), px8Bit);
    PALETTEENTRY entries[256];
    const UINT count = gdi::GetPaletteEntries(bitmap.GetPalette(), 0, 256, entries);
    EXPECT_LE(count, 236u);
    EXPECT_GT(count, 100u);
    // Each index looked up in the palette, in blue, green, red order, stays near the true colour:
    // a swapped colour map would put red where blue belongs.
    std::vector<std::uint8_t> colours;
    for (std::uint8_t index : BitmapRows(bitmap, 1)) {
        colours.push_back(entries[index].peBlue);
        colours.push_back(entries[index].peGreen);
        colours.push_back(entries[index].peRed);
    }
    EXPECT_GT(Psnr(colours, DecodeReference(bytes).Pixels), 25.0);
}

INSTANTIATE_TEST_SUITE_P(Screens, TJpegScreenTest,
                         ::testing::Values(TScreenCase{4, TJPEGPixelFormat::jf8Bit},
                                           TScreenCase{8, TJPEGPixelFormat::jf8Bit},
                                           TScreenCase{16, TJPEGPixelFormat::jf24Bit},
                                           TScreenCase{32, TJPEGPixelFormat::jf24Bit}),
                         [](const auto& info) { return "Bits" + std::to_string(info.param.Bits); });

TEST_F(TJpegTest, AGivenPaletteBecomesTheColourMapOfAnEightBitDecode) {
    TJPEGImage image;
    image.Settings().DecodeDepth = TJPEGPixelFormat::jf8Bit;
    LoadBytes(image, EncodeTestJpeg({.Width = 16, .Height = 16}));
    struct {
        WORD palVersion;
        WORD palNumEntries;
        PALETTEENTRY entries[2];
    } log{0x300, 2, {{0, 0, 0, 0}, {255, 255, 255, 0}}};
    image.SetPalette(gdi::CreatePalette(reinterpret_cast<LOGPALETTE*>(&log)));
    TBitmap& bitmap = image.DecodedBitmap();
    PALETTEENTRY entries[256];
    ASSERT_EQ(gdi::GetPaletteEntries(bitmap.GetPalette(), 0, 256, entries), 2u);
    for (std::uint8_t index : BitmapRows(bitmap, 1))
        ASSERT_LT(index, 2);
    // Handing the bitmap's own palette back changes nothing and is not owned twice.
    const TBitmap* before = &image.DecodedBitmap();
    image.SetPalette(bitmap.GetPalette());
    EXPECT_EQ(&image.DecodedBitmap(), before);
}

TEST_F(TJpegTest, ANewPaletteDropsTheDecodedBitmap) {
    TJPEGImage image;
    LoadBytes(image, EncodeTestJpeg({}));
    image.DecodedBitmap();
    int changes = 0;
    image.OnChange = [&](TPersistent*) { ++changes; };
    HDC screen = gdi::GetDC(nullptr);
    image.SetPalette(gdi::CreateHalftonePalette(screen));
    gdi::ReleaseDC(nullptr, screen);
    EXPECT_FALSE(image.HasBitmap());
    EXPECT_EQ(changes, 1);
    // A 24-bit decode has no use for it and lets it go.
    EXPECT_EQ(image.DecodedBitmap().PixelFormat(), px24Bit);
}

TEST_F(TJpegTest, ATrueColourDecodeOnAPaletteScreenOffersAHalftonePalette) {
    UseScreenDepth(8);
    TJPEGImage image;
    image.Settings().DecodeDepth = TJPEGPixelFormat::jf24Bit;
    LoadBytes(image, EncodeTestJpeg({}));
    HPALETTE palette = image.GetPalette();
    ASSERT_NE(palette, nullptr);
    EXPECT_EQ(image.GetPalette(), palette);
    EXPECT_GT(gdi::GetPaletteEntries(palette, 0, 0, nullptr), 16u);
}

// ---- damaged and unusual files ---------------------------------------------------------------

TEST_F(TJpegTest, ATruncatedFileDecodesAsFarAsItsDataGoes) {
    const auto whole = EncodeTestJpeg({.Width = 256, .Height = 256});
    const std::vector<std::uint8_t> half(whole.begin(), whole.begin() + std::ptrdiff_t(whole.size() / 2));
    TJPEGImage image;
    LoadBytes(image, half);
    EXPECT_EQ(image.Width(), 256);
    TBitmap& bitmap = image.DecodedBitmap();
    ASSERT_EQ(bitmap.Height(), 256);
    const auto rows = BitmapRows(bitmap, 3);
    const auto reference = DecodeReference(whole).Pixels;
    // The top rows come from the data that is there.
    EXPECT_TRUE(std::equal(rows.begin(), rows.begin() + 256 * 3 * 16, reference.begin()));
}

TEST_F(TJpegTest, ADecodeErrorKeepsTheRowsWrittenAndIsNotDecodedAgain) {
    const auto whole = EncodeTestJpeg({.Width = 256, .Height = 256});
    // A second frame header inside the entropy data: the rows before it decode, then the library
    // stops at the duplicate frame.
    std::vector<std::uint8_t> bytes(whole.begin(), whole.begin() + std::ptrdiff_t(whole.size() / 2));
    const std::vector<std::uint8_t> frame{0xFF, 0xC0, 0x00, 0x11, 0x08, 0x00, 0x40, 0x00, 0x40, 0x03,
                                          0x01, 0x22, 0x00, 0x02, 0x11, 0x01, 0x03, 0x11, 0x01};
    bytes.insert(bytes.end(), frame.begin(), frame.end());
    TJPEGImage image;
    TProgressLog log(image);
    LoadBytes(image, bytes);
    auto target = WhiteTarget(256, 256);
    try {
        target->Canvas().Draw(0, 0, &image);
        FAIL() << "the damaged file decoded without an error";
    } catch (const EJPEG& error) {
        EXPECT_EQ(error.Message(), ErrorText(JERR_SOF_DUPLICATE));
    }
    ASSERT_TRUE(image.HasBitmap());
    ASSERT_EQ(log.Events.back().Stage, TProgressStage::psEnding);
    EXPECT_EQ(log.Events.back().Percent, 0);
    TBitmap& bitmap = image.DecodedBitmap();
    const auto rows = BitmapRows(bitmap, 3);
    const auto reference = DecodeReference(whole).Pixels;
    EXPECT_TRUE(std::equal(rows.begin(), rows.begin() + 256 * 3 * 16, reference.begin()));
    // The next draw shows what there is, without decoding again.
    EXPECT_NO_THROW(target->Canvas().Draw(0, 0, &image));
    EXPECT_EQ(log.Count(TProgressStage::psStarting), 1);
}

struct TStripCase {
    const char* File;
    int Width;
    int Height;
};

class TJpegStripTest : public TJpegTest, public ::testing::WithParamInterface<TStripCase> {};

TEST_P(TJpegStripTest, OnePixelStripsDecodeToTheirSize) {
    const auto bytes = CorpusFile(std::string("generated/") + GetParam().File);
    TJPEGImage image;
    LoadBytes(image, bytes);
    EXPECT_EQ(image.Width(), GetParam().Width);
    EXPECT_EQ(image.Height(), GetParam().Height);
    TBitmap& bitmap = image.DecodedBitmap();
    ASSERT_EQ(bitmap.Width(), GetParam().Width);
    ASSERT_EQ(bitmap.Height(), GetParam().Height);
    const TReference reference = DecodeReference(bytes);
    if (reference.Components == 3) {
        EXPECT_EQ(BitmapRows(bitmap, 3), reference.Pixels);
    }
}

INSTANTIATE_TEST_SUITE_P(Strips, TJpegStripTest,
                         ::testing::Values(TStripCase{"strip_333x1_420_baseline.jpg", 333, 1},
                                           TStripCase{"strip_333x1_420_progressive.jpg", 333, 1},
                                           TStripCase{"strip_1x333_422_progressive.jpg", 1, 333},
                                           TStripCase{"strip_333x1_gray_baseline.jpg", 333, 1}),
                         [](const auto& info) {
                             std::string name = info.param.File;
                             return name.substr(0, name.find('.'));
                         });

TEST_F(TJpegTest, ACmykFileDecodesToTrueColour) {
    TJPEGImage image;
    LoadBytes(image, CorpusFile("generated/kodim23_cmyk_progressive.jpg"));
    TBitmap& cmyk = image.DecodedBitmap();
    ASSERT_EQ(cmyk.PixelFormat(), px24Bit);
    TJPEGImage plain;
    LoadBytes(plain, CorpusFile("generated/kodim23_444_baseline.jpg"));
    TBitmap& rgb = plain.DecodedBitmap();
    ASSERT_EQ(cmyk.Width(), rgb.Width());
    ASSERT_EQ(cmyk.Height(), rgb.Height());
    // The same photograph: its inks turned back into light land near the RGB file's pixels.
    EXPECT_GT(Psnr(BitmapRows(cmyk, 3), BitmapRows(rgb, 3)), 20.0);
}

// ---- progressive files ------------------------------------------------------------------------

struct TProgressiveCase {
    const char* Name;
    TJPEGPixelFormat Depth;
    TJPEGPerformance Speed;
    bool Grey;
};

class TJpegProgressiveTest : public TJpegTest, public ::testing::WithParamInterface<TProgressiveCase> {};

TEST_P(TJpegProgressiveTest, IncrementalDisplayEndsWithTheSamePixels) {
    const TProgressiveCase& param = GetParam();
    const auto bytes = EncodeTestJpeg({.Width = 50, .Height = 30, .Grey = param.Grey, .Progressive = true});
    std::vector<std::uint8_t> results[2];
    std::vector<PALETTEENTRY> palettes[2];
    for (int incremental = 0; incremental < 2; ++incremental) {
        TJPEGImage image;
        image.Settings().DecodeDepth = param.Depth;
        image.Settings().SpeedMode = param.Speed;
        image.Settings().IncrementalDisplay = incremental == 1;
        LoadBytes(image, bytes);
        EXPECT_TRUE(image.Settings().Progressive);
        TBitmap& bitmap = image.DecodedBitmap();
        const int bytesPerPixel = bitmap.PixelFormat() == px24Bit ? 3 : 1;
        results[incremental] = BitmapRows(bitmap, bytesPerPixel);
        if (bytesPerPixel == 1) {
            palettes[incremental].resize(256);
            palettes[incremental].resize(gdi::GetPaletteEntries(bitmap.GetPalette(), 0, 256, palettes[incremental].data()));
        }
    }
    EXPECT_EQ(results[0], results[1]);
    ASSERT_EQ(palettes[0].size(), palettes[1].size());
    for (std::size_t i = 0; i < palettes[0].size(); ++i)
        EXPECT_EQ(std::tie(palettes[0][i].peRed, palettes[0][i].peGreen, palettes[0][i].peBlue),
                  std::tie(palettes[1][i].peRed, palettes[1][i].peGreen, palettes[1][i].peBlue));
}

INSTANTIATE_TEST_SUITE_P(
    Settings, TJpegProgressiveTest,
    ::testing::Values(TProgressiveCase{"TrueColour", TJPEGPixelFormat::jf24Bit, TJPEGPerformance::jpBestQuality, false},
                      TProgressiveCase{"TrueColourFast", TJPEGPixelFormat::jf24Bit, TJPEGPerformance::jpBestSpeed, false},
                      TProgressiveCase{"Quantised", TJPEGPixelFormat::jf8Bit, TJPEGPerformance::jpBestQuality, false},
                      TProgressiveCase{"QuantisedFast", TJPEGPixelFormat::jf8Bit, TJPEGPerformance::jpBestSpeed, false},
                      TProgressiveCase{"Grey", TJPEGPixelFormat::jf24Bit, TJPEGPerformance::jpBestQuality, true}),
    [](const auto& info) { return std::string(info.param.Name); });

TEST_F(TJpegTest, IncrementalDisplayOfATruncatedProgressiveFileEnds) {
    TJPEGImage image;
    image.Settings().IncrementalDisplay = true;
    LoadBytes(image, CorpusFile("generated/truncated40_kodim23_gray_progressive.jpg"));
    TBitmap& bitmap = image.DecodedBitmap();
    EXPECT_EQ(bitmap.Width(), image.Data().FWidth);
    EXPECT_EQ(bitmap.PixelFormat(), px8Bit);
}
