// Every JPEG of the shared test images through the picture registry, and JPEG thumbnails.
#include "tests/jpeg/JpegTestSupport.h"

#include "jpeg/JpegModule.h"
#include "platform/base/Exception.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <unistd.h>

#ifdef VISTEL_HAVE_APP
#include "app/FileListBox.h"
#include "app/ThumbnailBuilder.h"
#include "tests/app/CellTestSupport.h"
#endif

using namespace graphics;
using namespace jpeg;
namespace fs = std::filesystem;

namespace {

std::vector<std::string> CorpusJpegs() {
    std::vector<std::string> files;
    const fs::path root = "../shared/corpus/jpeg";
    if (!fs::exists(root))
        return files;
    for (const auto& entry : fs::recursive_directory_iterator(root))
        if (entry.is_regular_file() && (entry.path().extension() == ".jpg" || entry.path().extension() == ".jpeg"))
            files.push_back(entry.path().lexically_relative(root).string());
    std::sort(files.begin(), files.end());
    return files;
}

}  // namespace

class TJpegCorpusTest : public TJpegTest, public ::testing::WithParamInterface<std::string> {};

// Like a thumbnail: load through the registry, then draw into a 64 × 64 cell at a point when the
// picture fits and stretched when it does not. Either it works, or it fails with one of the
// framework's exceptions; either way no platform object is left behind.
TEST_P(TJpegCorpusTest, LoadsAndDrawsOrFailsWithAFrameworkException) {
    const std::size_t objectsBefore = gdi::LiveObjectCount();
    {
        TBitmap cell;
        cell.SetWidth(64);
        cell.SetHeight(64);
        TPicture picture;
        try {
            picture.LoadFromFile("../shared/corpus/jpeg/" + GetParam());
            auto* image = dynamic_cast<TJPEGImage*>(picture.Graphic());
            ASSERT_NE(image, nullptr);
            if (picture.Width() <= 64 && picture.Height() <= 64)
                cell.Canvas().Draw((64 - picture.Width()) / 2, (64 - picture.Height()) / 2, image);
            else
                cell.Canvas().StretchDraw(Rect(0, 0, 64, 64), image);
            EXPECT_EQ(image->DecodedBitmap().Width(), image->Data().FWidth);
        } catch (const Exception& error) {
            SUCCEED() << error.Message();
        }
    }
    EXPECT_EQ(gdi::LiveObjectCount(), objectsBefore);
}

INSTANTIATE_TEST_SUITE_P(Corpus, TJpegCorpusTest, ::testing::ValuesIn(CorpusJpegs()), [](const auto& info) {
    std::string name = info.param;
    for (char& c : name)
        if (!std::isalnum(static_cast<unsigned char>(c)))
            c = '_';
    return name;
});

// A draw of a picture not yet decoded into a small rectangle decodes only the rows and columns the
// stretch samples; the cell must come out exactly as from the whole decode. Each rectangle is
// drawn into its own 64 × 64 cell of the screen's format: the thumbnail's cell, one placed inside
// a cell, and a few pixels (where the columns are cropped as well). Returns how many draws sampled.
int ExpectSampledDrawsMatchTheWholeDecode(const std::string& file) {
    static const TRect rects[] = {Rect(0, 0, 64, 64), Rect(5, 9, 45, 30), Rect(60, 1, 63, 3)};
    int sampled = 0;
    for (const TRect& rect : rects) {
        std::vector<std::uint8_t> cells[2];
        for (int whole = 0; whole < 2; ++whole) {
            TPicture picture;
            picture.LoadFromFile(file);
            auto* image = dynamic_cast<TJPEGImage*>(picture.Graphic());
            if (image == nullptr)
                return sampled;
            image->SetSampledDraws(whole == 0);
            TBitmap cell;
            cell.SetWidth(64);
            cell.SetHeight(64);
            cell.Canvas().FillRect(Rect(0, 0, 64, 64));
            cell.Canvas().StretchDraw(rect, image);
            if (whole == 0 && !image->HasBitmap()) {
                ++sampled;
                // Anything else that asks for the bitmap gets the whole picture.
                EXPECT_EQ(image->DecodedBitmap().Height(), image->Data().FHeight);
            }
            cells[whole] = BitmapRows(cell, 4);
        }
        EXPECT_TRUE(cells[0] == cells[1]) << file << " drawn into " << rect.left << "," << rect.top << " "
                                          << rect.right << "," << rect.bottom;
    }
    return sampled;
}

TEST_P(TJpegCorpusTest, ASampledDrawMatchesTheWholeDecode) {
    try {
        ExpectSampledDrawsMatchTheWholeDecode("../shared/corpus/jpeg/" + GetParam());
    } catch (const Exception& error) {
        SUCCEED() << error.Message();
    }
}

// The benchmark's corpus (made by ../shared/bench/make-corpus.sh) when VISTEL_JPEG_PROOF_DIR names
// it: every photo of it, baseline and progressive.
TEST_F(TJpegTest, ASampledDrawMatchesTheWholeDecodeOnEveryPhotoOfAFolder) {
    const char* folder = std::getenv("VISTEL_JPEG_PROOF_DIR");
    if (folder == nullptr)
        GTEST_SKIP() << "VISTEL_JPEG_PROOF_DIR is not set";
    int files = 0, sampled = 0;
    for (const auto& entry : fs::directory_iterator(folder)) {
        std::string ext = entry.path().extension().string();
        std::transform(ext.begin(), ext.end(), ext.begin(), [](unsigned char c) { return char(std::tolower(c)); });
        if (ext != ".jpg" && ext != ".jpeg")
            continue;
        ++files;
        sampled += ExpectSampledDrawsMatchTheWholeDecode(entry.path().string());
    }
    std::printf("%d JPEG files, %d sampled draws, all compared with the whole decode\n", files, sampled);
    EXPECT_GT(sampled, 0);
}

TEST_F(TJpegTest, TheRegistryKnowsBothExtensionsInEveryLetterCase) {
    for (const char* ext : {"jpeg", "jpg", "JPG", "Jpeg"})
        EXPECT_EQ(GetFileFormats().FindExt(ext), &TJPEGImage::StaticClass()) << ext;
    // Registered after the built-in formats, "jpeg" first.
    const auto& formats = GetFileFormats().Formats();
    ASSERT_GE(formats.size(), 2u);
    const auto& jpegRecord = formats[formats.size() - 2];
    const auto& jpgRecord = formats[formats.size() - 1];
    EXPECT_EQ(jpegRecord.Extension, "jpeg");
    EXPECT_EQ(jpgRecord.Extension, "jpg");
    EXPECT_EQ(jpegRecord.Description, "JPEG イメージファイル");
    EXPECT_EQ(jpgRecord.Description, "JPEG イメージファイル");
    FinalizeJpeg();
    EXPECT_EQ(GetFileFormats().FindExt("jpg"), nullptr);
}

#ifdef VISTEL_HAVE_APP

class TJpegThumbnailTest : public TJpegTest {
protected:
    void SetUp() override {
        TJpegTest::SetUp();
        FFolder = fs::temp_directory_path() / ("vistel-jpeg-" + std::to_string(::getpid()));
        fs::remove_all(FFolder);
        fs::create_directories(FFolder);
        FList.LargeImages = &FImages;
        FList.SmallImages = &FImages;
        FStartFolder = fs::current_path();
    }
    void TearDown() override {
        // The file list makes the folder current; the other tests find the test images from here.
        fs::current_path(FStartFolder);
        fs::remove_all(FFolder);
        TJpegTest::TearDown();
    }
    // A red picture of the given size saved as a JPEG file.
    void WriteJpeg(const std::string& name, int width, int height) {
        TBitmap bitmap;
        bitmap.SetPixelFormat(px24Bit);
        bitmap.SetWidth(width);
        bitmap.SetHeight(height);
        bitmap.Canvas().Brush().SetColor(0x0000FF);
        bitmap.Canvas().FillRect(Rect(0, 0, width, height));
        TJPEGImage image;
        image.Settings().Quality = 95;
        image.Assign(&bitmap);
        image.SaveToFile((FFolder / name).string());
    }
    // The bounding box of the red pixels of a thumbnail (JPEG red is red within a few levels).
    TRect RedArea(int index) const {
        return CellBox(FImages.Pixels(index), [](std::uint32_t p) {
            return (p >> 16 & 0xFF) > 200 && (p >> 8 & 0xFF) < 60 && (p & 0xFF) < 60;
        });
    }
    std::vector<std::string> Captions() const {
        std::vector<std::string> captions;
        for (int i = 0; i < FList.Items.Count(); ++i)
            captions.push_back(FList.Items.Item(i).Caption);
        return captions;
    }

    fs::path FFolder;
    fs::path FStartFolder;
    app::TImageList FImages{64, 64};
    app::TListView FList;
    app::TFileListBox FFiles;
};

TEST_F(TJpegThumbnailTest, CentresJpegsThatFitStretchesTheRestAndSkipsBrokenOnes) {
    WriteJpeg("a16.jpg", 16, 16);
    WriteJpeg("b65x10.JPEG", 65, 10);
    std::ofstream(FFolder / "c.jpg") << "not a picture";
    WriteJpeg("d10x200.jpeg", 10, 200);
    const std::string path = FFolder.string();
    app::BuildThumbnails([path] { return path; }, FFiles, FList, FImages);
    ASSERT_EQ(Captions(), (std::vector<std::string>{"a16.jpg", "b65x10.JPEG", "d10x200.jpeg"}));
    EXPECT_EQ(RedArea(0), Rect(24, 24, 40, 40));
    EXPECT_EQ(RedArea(1), Rect(0, 0, 64, 64));
    EXPECT_EQ(RedArea(2), Rect(0, 0, 64, 64));
}

#endif
