// Saving, encoding, sharing and the stored form of the JPEG graphic.
#include "tests/jpeg/JpegTestSupport.h"

#include "jpeg/JpegCodec.h"

#include <chrono>

using namespace graphics;
using namespace jpeg;

namespace {

std::vector<std::uint8_t> SaveBytes(TGraphic& graphic) {
    TMemoryStream stream;
    graphic.SaveToStream(stream);
    return stream.Bytes();
}

// A 24-bit bitmap holding the synthetic picture.
std::unique_ptr<TBitmap> PictureBitmap(int width, int height) {
    auto bitmap = std::make_unique<TBitmap>();
    bitmap->SetPixelFormat(px24Bit);
    bitmap->SetWidth(width);
    bitmap->SetHeight(height);
    const auto picture = TestPicture(width, height);
    for (int y = 0; y < height; ++y)
        std::copy_n(&picture[std::size_t(y * width * 3)], width * 3, static_cast<std::uint8_t*>(bitmap->ScanLine(y)));
    return bitmap;
}

}  // namespace

TEST_F(TJpegTest, SavingALoadedFileWritesBackItsExactBytes) {
    const auto bytes = CorpusFile("libjpeg-turbo/testorig.jpg");
    TJPEGImage image;
    LoadBytes(image, bytes);
    EXPECT_EQ(SaveBytes(image), bytes);
    // Decoding changes nothing in what is saved.
    image.DecodedBitmap();
    EXPECT_EQ(SaveBytes(image), bytes);
}

struct TEncodeCase {
    const char* Name;
    bool Grey;
    bool Progressive;
    double MinPsnr;
};

class TJpegEncodeTest : public TJpegTest, public ::testing::WithParamInterface<TEncodeCase> {};

TEST_P(TJpegEncodeTest, AnEncodedBitmapDecodesCloseToTheOriginal) {
    const TEncodeCase& param = GetParam();
    auto source = PictureBitmap(45, 27);
    TJPEGImage image;
    image.Settings().GreyOutput = param.Grey;
    image.Settings().Progressive = param.Progressive;
    image.Assign(source.get());
    EXPECT_FALSE(image.HasCompressedData());
    EXPECT_EQ(image.Width(), 45);
    const auto bytes = SaveBytes(image);
    ASSERT_GT(bytes.size(), 100u);
    EXPECT_EQ(image.Data().FWidth, 45);
    EXPECT_EQ(image.Data().FGrayscale, param.Grey);

    TJPEGImage again;
    LoadBytes(again, bytes);
    EXPECT_EQ(again.Settings().Progressive, param.Progressive);
    const TReference reference = DecodeReference(bytes);
    ASSERT_EQ(reference.Width, 45);
    ASSERT_EQ(reference.Height, 27);
    auto picture = TestPicture(45, 27);
    if (param.Grey) {
        // The grey file holds the luminance of the picture.
        std::vector<std::uint8_t> luma;
        for (std::size_t i = 0; i < picture.size(); i += 3)
            luma.push_back(std::uint8_t(0.114 * picture[i] + 0.587 * picture[i + 1] + 0.299 * picture[i + 2] + 0.5));
        picture = luma;
    }
    EXPECT_GT(Psnr(reference.Pixels, picture), param.MinPsnr);
}

INSTANTIATE_TEST_SUITE_P(Modes, TJpegEncodeTest,
                         ::testing::Values(TEncodeCase{"Baseline", false, false, 35.0},
                                           TEncodeCase{"Progressive", false, true, 35.0},
                                           TEncodeCase{"Grey", true, false, 35.0}),
                         [](const auto& info) { return std::string(info.param.Name); });

TEST_F(TJpegTest, TheQualitySettingReachesTheEncoder) {
    auto source = PictureBitmap(64, 64);
    std::size_t sizes[2];
    int qualities[2] = {20, 95};
    for (int i = 0; i < 2; ++i) {
        TJPEGImage image;
        image.Settings().Quality = qualities[i];
        image.Assign(source.get());
        sizes[i] = SaveBytes(image).size();
    }
    EXPECT_LT(sizes[0], sizes[1]);
}

TEST_F(TJpegTest, AnEmptyGraphicSavesNothing) {
    TJPEGImage image;
    EXPECT_TRUE(SaveBytes(image).empty());
    EXPECT_TRUE(image.Empty());
}

TEST_F(TJpegTest, StoredDataIsACountFollowedByTheBytes) {
    const auto bytes = EncodeTestJpeg({});
    TJPEGImage image;
    LoadBytes(image, bytes);
    TMemoryStream stored;
    image.WriteData(stored);
    ASSERT_EQ(stored.Size(), std::int64_t(bytes.size() + 4));
    std::int32_t count = 0;
    stored.SetPosition(0);
    stored.ReadBuffer(&count, 4);
    EXPECT_EQ(count, std::int32_t(bytes.size()));

    stored.SetPosition(0);
    TJPEGImage copy;
    copy.ReadData(stored);
    EXPECT_EQ(copy.Width(), 48);
    EXPECT_TRUE(copy.Equals(&image));
}

TEST_F(TJpegTest, StoredDataOfAGraphicMadeFromABitmapKeepsThePicture) {
    auto source = PictureBitmap(20, 12);
    TJPEGImage image;
    image.Assign(source.get());
    TMemoryStream stored;
    image.WriteData(stored);
    stored.SetPosition(0);
    TJPEGImage copy;
    copy.ReadData(stored);
    EXPECT_EQ(copy.Width(), 20);
    EXPECT_EQ(copy.Height(), 12);
    EXPECT_FALSE(copy.Empty());
}

TEST_F(TJpegTest, AStoredCountBeyondTheStreamIsAReadError) {
    TMemoryStream stored;
    const std::int32_t count = 0x7FFFFFF0;
    stored.WriteBuffer(&count, 4);
    stored.WriteBuffer("\xFF\xD8", 2);
    stored.SetPosition(0);
    TJPEGImage image;
    EXPECT_THROW(image.ReadData(stored), EReadError);
}

TEST_F(TJpegTest, AssigningSharesTheDataAndEqualityFollowsIt) {
    TJPEGImage a;
    LoadBytes(a, EncodeTestJpeg({}));
    a.DecodedBitmap();
    TJPEGImage b;
    b.Assign(&a);
    EXPECT_EQ(&b.Data(), &a.Data());
    EXPECT_TRUE(b.HasBitmap());
    EXPECT_TRUE(a.Equals(&b));
    TJPEGImage c;
    LoadBytes(c, EncodeTestJpeg({.Quality = 50}));
    EXPECT_FALSE(a.Equals(&c));
    TJPEGImage d;
    LoadBytes(d, EncodeTestJpeg({}));
    EXPECT_TRUE(a.Equals(&d));
    // Graphics without compressed data are equal only when they share it.
    auto bitmap = PictureBitmap(8, 8);
    TJPEGImage e, f;
    e.Assign(bitmap.get());
    f.Assign(bitmap.get());
    EXPECT_FALSE(e.Equals(&f));
    TJPEGImage g;
    g.Assign(&e);
    EXPECT_TRUE(g.Equals(&e));
    EXPECT_FALSE(a.Equals(bitmap.get()));
}

TEST_F(TJpegTest, AssigningToABitmapGivesTheDecodedPixels) {
    const auto bytes = EncodeTestJpeg({.Width = 12, .Height = 9});
    TJPEGImage image;
    LoadBytes(image, bytes);
    TBitmap bitmap;
    bitmap.Assign(&image);
    ASSERT_EQ(bitmap.Width(), 12);
    EXPECT_EQ(BitmapRows(bitmap, 3), DecodeReference(bytes).Pixels);
    // And a picture can be asked for a JPEG copy of a JPEG.
    TPicture picture;
    picture.SetGraphic(&image);
    ASSERT_NE(dynamic_cast<TJPEGImage*>(picture.Graphic()), nullptr);
    EXPECT_EQ(picture.Width(), 12);
}

TEST_F(TJpegTest, TheClipboardGoesThroughABitmap) {
    TJPEGImage image;
    LoadBytes(image, EncodeTestJpeg({.Width = 10, .Height = 6}));
    std::uint16_t format = 0;
    THandle data = 0;
    HPALETTE palette = nullptr;
    image.SaveToClipboardFormat(format, data, palette);
    EXPECT_EQ(format, 2);
    TJPEGImage pasted;
    pasted.LoadFromClipboardFormat(format, data, palette);
    EXPECT_EQ(pasted.Width(), 10);
    EXPECT_EQ(pasted.Height(), 6);
    gdi::DeleteObject(reinterpret_cast<gdi::HBITMAP>(data));
    if (palette != nullptr)
        gdi::DeleteObject(palette);
}

// ---- progress -----------------------------------------------------------------------------------

namespace {

struct TEvent {
    TProgressStage Stage;
    int Percent;
    bool Redraw;
    TRect R;
};

}  // namespace

class TJpegProgressTest : public TJpegTest {
protected:
    void SetUp() override {
        TJpegTest::SetUp();
        FImage.OnProgress = [this](TPersistent*, TProgressStage stage, std::uint8_t percent, bool redraw,
                                   const TRect& r, const std::string&) {
            FEvents.push_back({stage, percent, redraw, r});
            if (stage == FRaiseAt && FRaise)
                FRaise();
        };
    }
    TJPEGImage FImage;
    std::vector<TEvent> FEvents;
    TProgressStage FRaiseAt = TProgressStage::psStarting;
    std::function<void()> FRaise;
};

TEST_F(TJpegProgressTest, ReportsEveryHalfSecondWithPercentAndTheRowsDone) {
    TCodecContext context;
    SetupErrorManager(context);
    context.D.is_decompressor = TRUE;
    context.D.output_width = 100;
    context.D.output_height = 80;
    context.Progress.total_passes = 2;
    context.Progress.completed_passes = 1;
    context.Progress.pass_limit = 80;
    context.Progress.pass_counter = 40;
    context.D.output_scanline = 40;
    // The first call only starts the clock.
    FImage.ReportProgress(context);
    EXPECT_TRUE(FEvents.empty());
    context.LastTick -= 600;
    FImage.ReportProgress(context);
    ASSERT_EQ(FEvents.size(), 1u);
    EXPECT_EQ(FEvents[0].Stage, TProgressStage::psRunning);
    EXPECT_EQ(FEvents[0].Percent, 75);
    EXPECT_EQ(FEvents[0].R.top, 0);
    EXPECT_EQ(FEvents[0].R.bottom, 40);
    EXPECT_EQ(FEvents[0].R.right, 100);
    EXPECT_TRUE(FEvents[0].Redraw);
    // Within half a second nothing is said.
    context.Progress.pass_counter = 60;
    FImage.ReportProgress(context);
    EXPECT_EQ(FEvents.size(), 1u);
    // The same percentage is not said twice.
    context.LastTick -= 600;
    context.Progress.pass_counter = 41;
    FImage.ReportProgress(context);
    EXPECT_EQ(FEvents.size(), 1u);
    // A new output pass that starts over reaches down to the bottom; two rows are no redraw.
    context.LastTick -= 600;
    context.Progress.completed_passes = 0;
    context.Progress.pass_counter = 0;
    context.D.output_scanline = 2;
    context.LastRow = 40;
    FImage.ReportProgress(context);
    ASSERT_EQ(FEvents.size(), 2u);
    EXPECT_EQ(FEvents[1].Percent, 0);
    EXPECT_EQ(FEvents[1].R.top, 40);
    EXPECT_EQ(FEvents[1].R.bottom, 80);
    context.LastTick -= 600;
    context.Progress.pass_counter = 30;
    context.D.output_scanline = 4;
    FImage.ReportProgress(context);
    ASSERT_EQ(FEvents.size(), 3u);
    EXPECT_EQ(FEvents[2].R.top, 2);
    EXPECT_FALSE(FEvents[2].Redraw);
    // A pass without a limit says nothing rather than divide by zero.
    context.LastTick -= 600;
    context.Progress.pass_limit = 0;
    FImage.ReportProgress(context);
    EXPECT_EQ(FEvents.size(), 3u);
}

TEST_F(TJpegProgressTest, DecodingStartsAtZeroAndEndsAtOneHundred) {
    LoadBytes(FImage, EncodeTestJpeg({.Progressive = true}));
    FImage.Settings().IncrementalDisplay = true;
    FImage.DecodedBitmap();
    ASSERT_GE(FEvents.size(), 2u);
    EXPECT_EQ(FEvents.front().Stage, TProgressStage::psStarting);
    EXPECT_EQ(FEvents.front().Percent, 0);
    EXPECT_EQ(FEvents.back().Stage, TProgressStage::psEnding);
    EXPECT_EQ(FEvents.back().Percent, 100);
    EXPECT_TRUE(FEvents.back().Redraw);  // loading marked the palette as modified
    int last = 0;
    for (std::size_t i = 1; i + 1 < FEvents.size(); ++i) {
        EXPECT_EQ(FEvents[i].Stage, TProgressStage::psRunning);
        EXPECT_GE(FEvents[i].Percent, last);
        last = FEvents[i].Percent;
    }
}

TEST_F(TJpegProgressTest, ASilentAbortWhileDecodingKeepsThePartialBitmap) {
    LoadBytes(FImage, EncodeTestJpeg({}));
    FRaise = [] { throw EAbort(""); };
    EXPECT_NO_THROW(FImage.DecodedBitmap());
    EXPECT_TRUE(FImage.HasBitmap());
    EXPECT_EQ(FEvents.back().Stage, TProgressStage::psEnding);
    EXPECT_EQ(FEvents.back().Percent, 0);
}

TEST_F(TJpegProgressTest, ASilentAbortWhileEncodingLeavesNoData) {
    auto bitmap = PictureBitmap(16, 16);
    FImage.Assign(bitmap.get());
    FRaise = [] { throw EAbort(""); };
    TMemoryStream stream;
    EXPECT_NO_THROW(FImage.SaveToStream(stream));
    EXPECT_EQ(stream.Size(), 0);
    EXPECT_FALSE(FImage.HasCompressedData());
}

// The listener is called from inside libjpeg only once half a second has passed, so a picture
// that takes longer than that is decoded: the large progressive file shown scan by scan. A
// listener's failure must leave through the library; its silent abort keeps the rows so far.
TEST_F(TJpegProgressTest, AListenerFailureInsideTheLibraryPassesOutOfIt) {
    LoadBytes(FImage, CorpusFile("generated/large_6144x4096_progressive.jpg"));
    FImage.Settings().IncrementalDisplay = true;
    FRaiseAt = TProgressStage::psRunning;
    FRaise = [] { throw EInvalidGraphic("listener failed"); };
    try {
        FImage.DecodedBitmap();
        FAIL() << "the listener's failure was lost";
    } catch (const EInvalidGraphic& error) {
        EXPECT_EQ(error.Message(), "listener failed");
    }
    EXPECT_TRUE(FImage.HasBitmap());
    EXPECT_EQ(FEvents.back().Stage, TProgressStage::psEnding);
    EXPECT_EQ(FEvents.back().Percent, 0);
}

TEST_F(TJpegProgressTest, ASilentAbortInsideTheLibraryKeepsTheRowsSoFar) {
    LoadBytes(FImage, CorpusFile("generated/large_6144x4096_progressive.jpg"));
    FImage.Settings().IncrementalDisplay = true;
    FRaiseAt = TProgressStage::psRunning;
    FRaise = [] { throw EAbort(""); };
    TBitmap* bitmap = nullptr;
    EXPECT_NO_THROW(bitmap = &FImage.DecodedBitmap());
    ASSERT_NE(bitmap, nullptr);
    EXPECT_EQ(bitmap->Width(), 6144);
    EXPECT_EQ(FEvents.back().Percent, 0);
    EXPECT_EQ(std::count_if(FEvents.begin(), FEvents.end(),
                            [](const TEvent& event) { return event.Stage == TProgressStage::psRunning; }),
              1);
}
