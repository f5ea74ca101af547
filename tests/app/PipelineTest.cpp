// The thumbnail builder's worker threads: a mixed folder built again and again with one worker and
// with several gives the same list, pixels and reports, and a picture that fails while it draws
// ends the run at the same file. Also run alone in a ThreadSanitizer build (test.sh).
#include "app/Codecs.h"
#include "app/FileListBox.h"
#include "app/ThumbnailBuilder.h"
#include "graphics/Bitmap.h"
#include "jpeg/JpegImage.h"
#include "png/PngImage.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <thread>
#include <vector>
#include <unistd.h>

using namespace app;
using namespace graphics;
namespace fs = std::filesystem;

namespace {

// Loads anything; drawing fails, as a picture whose damage shows only when it is decoded.
class TDrawFailure final : public TGraphic {
public:
    VISTEL_DECLARE_GRAPHIC_CLASS()
    void Draw(TCanvas&, const TRect&) override { throw EInvalidGraphic("描画できません"); }
    bool GetEmpty() override { return false; }
    int GetHeight() override { return 100; }
    int GetWidth() override { return 100; }
    void SetHeight(int) override {}
    void SetWidth(int) override {}
    void LoadFromStream(TStream&) override {}
    void SaveToStream(TStream&) override {}
    void LoadFromClipboardFormat(std::uint16_t, THandle, HPALETTE) override {}
    void SaveToClipboardFormat(std::uint16_t&, THandle&, HPALETTE&) override {}
};
VISTEL_GRAPHIC_CLASS(TDrawFailure, TGraphic)

struct TOutcome {
    std::vector<std::string> Lines;  // the observer's reports, in order
    std::vector<std::pair<std::string, int>> Items;
    std::vector<std::vector<std::uint32_t>> Pixels;
    std::string Raised;  // the message of what ended the run, if anything did
    bool operator==(const TOutcome&) const = default;
};

class TRecorder final : public TBuildObserver {
public:
    explicit TRecorder(std::vector<std::string>& lines, bool keepGoing) : FLines(lines), FKeepGoing(keepGoing) {}
    void Skipped(const std::string& name, const std::string& message) override { FLines.push_back(name + " - " + message); }
    void Added(const std::string& name, int index) override { FLines.push_back(name + " " + std::to_string(index)); }
    bool ContinueAfterFailure(const std::string& name, const std::string& message) override {
        FLines.push_back(name + " failed - " + message);
        return FKeepGoing;
    }

private:
    std::vector<std::string>& FLines;
    bool FKeepGoing;
};

class Pipeline : public ::testing::Test {
protected:
    void SetUp() override {
        InitializeGraphics();
        InitializeCodecs();
        TPicture::RegisterFileFormat("boom", "fails when drawn", TDrawFailure::StaticClass());
        std::string pattern = (fs::temp_directory_path() / "vistel-pipeline-XXXXXX").string();
        ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
        FFolder = pattern;
        FList.LargeImages = &FImages;
        FList.SmallImages = &FImages;
    }
    void TearDown() override {
        SetBuildWorkerLimit(0);
        fs::remove_all(FFolder);
        TPicture::UnregisterGraphicClass(TDrawFailure::StaticClass());
        FinalizeCodecs();
        FinalizeGraphics();
    }

    // A picture of colour bands, so that every cell shows where its rows and columns came from.
    static void Paint(TBitmap& bitmap, int width, int height, int seed) {
        bitmap.SetPixelFormat(px24Bit);
        bitmap.SetWidth(width);
        bitmap.SetHeight(height);
        for (int y = 0; y < height; ++y) {
            auto* row = static_cast<std::uint8_t*>(bitmap.ScanLine(y));
            for (int x = 0; x < width; ++x) {
                row[3 * x] = std::uint8_t(x * 7 + seed);
                row[3 * x + 1] = std::uint8_t(y * 5);
                row[3 * x + 2] = std::uint8_t((x ^ y) + seed * 3);
            }
        }
    }
    void WriteMixedFolder() {
        for (int i = 0; i < 6; ++i) {
            TBitmap bitmap;
            Paint(bitmap, 300 + 40 * i, 200 + 30 * i, i);
            const std::string stem = (FFolder / std::string("f").append(std::to_string(i))).string();
            bitmap.SaveToFile(stem + "a.bmp");
            jpeg::TJPEGImage jpeg;
            jpeg.Settings().Progressive = i % 3 == 1;
            jpeg.Assign(&bitmap);
            jpeg.SaveToFile(stem + "b.jpg");
            png::TPNGObject png;
            png.Assign(&bitmap);
            png.SaveToFile(stem + "c.png");
            TBitmap small;
            Paint(small, 20 + i, 30 - i, i);
            small.SaveToFile(stem + "d.bmp");
        }
        std::ofstream(FFolder / "g-broken.jpg") << "not a picture";
        std::ofstream(FFolder / "h-notes.txt") << "text";
        std::ofstream(FFolder / "f3e.boom") << "x";
    }

    TOutcome Build(bool keepGoing) {
        TOutcome outcome;
        TRecorder recorder(outcome.Lines, keepGoing);
        const std::string path = FFolder.string();
        try {
            BuildThumbnails([path] { return path; }, FFiles, FList, FImages, &recorder);
        } catch (const Exception& error) {
            outcome.Raised = error.Message();
        }
        for (int i = 0; i < FList.Items.Count(); ++i)
            outcome.Items.emplace_back(FList.Items.Item(i).Caption, FList.Items.Item(i).ImageIndex);
        for (int i = 0; i < FImages.Count(); ++i)
            outcome.Pixels.push_back(FImages.Pixels(i));
        return outcome;
    }

    fs::path FFolder;
    TImageList FImages{64, 64};
    TListView FList;
    TFileListBox FFiles;
};

}  // namespace

TEST_F(Pipeline, ManyWorkersBuildWhatOneBuildsAndStopAtTheSameFile) {
    WriteMixedFolder();
    for (const bool keepGoing : {true, false}) {
        SetBuildWorkerLimit(1);
        const TOutcome one = Build(keepGoing);
        if (keepGoing) {
            EXPECT_EQ(one.Items.size(), 6u * 4);
            EXPECT_EQ(one.Raised, "");
        } else {
            // f3e.boom comes after f3d.bmp: sixteen cells were added before it failed.
            EXPECT_EQ(one.Items.size(), 16u);
            EXPECT_EQ(one.Raised, "描画できません");
        }
        for (int workers : {2, 3, kMaxBuildWorkers}) {
            SetBuildWorkerLimit(workers);
            for (int round = 0; round < 4; ++round)
                EXPECT_TRUE(Build(keepGoing) == one) << workers << " workers, round " << round;
        }
    }
}

// The format registries are made by whichever picture comes first, and with several workers
// that may be many at once: they must be made once, without a race.
TEST(PipelineRegistries, PicturesMadeAtOnceShareOneRegistry) {
    ReleaseFormatRegistries();
    std::vector<std::thread> threads;
    std::vector<const TFileFormatsList*> seen(4);
    for (std::size_t i = 0; i < seen.size(); ++i)
        threads.emplace_back([&seen, i] {
            TPicture picture;
            seen[i] = &GetFileFormats();
        });
    for (std::thread& thread : threads)
        thread.join();
    for (const TFileFormatsList* registry : seen)
        EXPECT_EQ(registry, &GetFileFormats());
}
