#include "app/FileListBox.h"
#include "app/ThumbnailBuilder.h"
#include "graphics/Bitmap.h"
#include "platform/base/Messages.h"
#include "tests/app/CellTestSupport.h"
#include "tests/platform/gdi/EmfBuilder.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <unistd.h>

using namespace app;
using namespace graphics;
namespace fs = std::filesystem;

namespace {

constexpr std::uint32_t kWhite = 0xFFFFFF;
constexpr std::uint32_t kRed = 0xFF0000;

// A graphic that loads anything and fails when it is drawn, like a picture whose damage shows only
// when it is decoded.
class TFailingGraphic final : public TGraphic {
public:
    VISTEL_DECLARE_GRAPHIC_CLASS()
    void Draw(TCanvas&, const TRect&) override { throw EInvalidGraphic("描画できません"); }
    bool GetEmpty() override { return false; }
    int GetHeight() override { return 8; }
    int GetWidth() override { return 8; }
    void SetHeight(int) override {}
    void SetWidth(int) override {}
    void LoadFromStream(TStream&) override {}
    void SaveToStream(TStream&) override {}
    void LoadFromClipboardFormat(std::uint16_t, THandle, HPALETTE) override {}
    void SaveToClipboardFormat(std::uint16_t&, THandle&, HPALETTE&) override {}
};
VISTEL_GRAPHIC_CLASS(TFailingGraphic, TGraphic)

class TRecorder final : public TBuildObserver {
public:
    std::vector<std::string> Lines;
    bool KeepGoing = false;
    void Skipped(const std::string& name, const std::string& message) override { Lines.push_back(name + " - " + message); }
    void Added(const std::string& name, int index) override { Lines.push_back(name + " " + std::to_string(index)); }
    bool ContinueAfterFailure(const std::string& name, const std::string& message) override {
        if (KeepGoing)
            Skipped(name, message);
        return KeepGoing;
    }
};

class ThumbnailBuilder : public ::testing::Test {
protected:
    void SetUp() override {
        InitializeGraphics();
        FFolder = fs::temp_directory_path() / ("vistel-builder-" + std::to_string(::getpid()));
        fs::remove_all(FFolder);
        fs::create_directories(FFolder);
        FStartFolder = fs::current_path();
        FList.LargeImages = &FImages;
        FList.SmallImages = &FImages;
    }
    void TearDown() override {
        fs::current_path(FStartFolder);
        fs::remove_all(FFolder);
        TPicture::UnregisterGraphicClass(TFailingGraphic::StaticClass());
        FinalizeGraphics();
    }

    // A red picture of the given size saved as a BMP file.
    void WriteBmp(const std::string& name, int width, int height) {
        TBitmap bitmap;
        bitmap.SetPixelFormat(px24Bit);
        bitmap.SetWidth(width);
        bitmap.SetHeight(height);
        bitmap.Canvas().Brush().SetColor(0x0000FF);
        bitmap.Canvas().FillRect(Rect(0, 0, width, height));
        bitmap.SaveToFile((FFolder / name).string());
    }
    void WriteText(const std::string& name, const std::string& text) { std::ofstream(FFolder / name) << text; }
    // A red icon file with one opaque 32-bit image of each given size.
    void WriteIcon(const std::string& name, const std::vector<int>& sizes) {
        std::string bytes;
        const auto put = [&bytes](std::uint32_t v, int n) {
            for (int i = 0; i < n; ++i)
                bytes += char((v >> (8 * i)) & 0xFF);
        };
        put(0, 2);
        put(1, 2);
        put(std::uint32_t(sizes.size()), 2);
        std::uint32_t offset = std::uint32_t(6 + 16 * sizes.size());
        for (int size : sizes) {
            const std::uint32_t imageBytes = 40 + std::uint32_t(size * size * 4) + std::uint32_t(size * ((size + 31) / 32 * 4));
            put(std::uint32_t(size) | std::uint32_t(size) << 8, 2);
            put(0, 2);
            put(1, 2);
            put(32, 2);
            put(imageBytes, 4);
            put(offset, 4);
            offset += imageBytes;
        }
        for (int size : sizes) {
            put(40, 4);
            put(std::uint32_t(size), 4);
            put(std::uint32_t(2 * size), 4);
            put(1, 2);
            put(32, 2);
            for (int i = 0; i < 6; ++i)
                put(0, 4);
            for (int i = 0; i < size * size; ++i)
                put(kRed, 4);
            bytes += std::string(std::size_t(size * ((size + 31) / 32 * 4)), '\0');
        }
        std::ofstream(FFolder / name, std::ios::binary) << bytes;
    }

    void Build(TBuildObserver* observer = nullptr) {
        const std::string path = FFolder.string();
        BuildThumbnails([path] { return path; }, FFiles, FList, FImages, observer);
    }
    std::vector<std::string> Captions() const {
        std::vector<std::string> captions;
        for (int i = 0; i < FList.Items.Count(); ++i)
            captions.push_back(FList.Items.Item(i).Caption);
        return captions;
    }
    // The bounding box of the red pixels of a thumbnail.
    TRect RedArea(int index) const {
        return CellBox(FImages.Pixels(index), [](std::uint32_t p) { return p == kRed; });
    }

    fs::path FFolder;
    fs::path FStartFolder;
    TImageList FImages{64, 64};
    TListView FList;
    TFileListBox FFiles;
};

}  // namespace

TEST_F(ThumbnailBuilder, CentresPicturesThatFitAndStretchesTheRest) {
    WriteBmp("a16.bmp", 16, 16);
    WriteBmp("b63x10.bmp", 63, 10);
    WriteBmp("c64.bmp", 64, 64);
    WriteBmp("d65x10.bmp", 65, 10);
    WriteBmp("e10x200.bmp", 10, 200);
    Build();
    ASSERT_EQ(Captions(), (std::vector<std::string>{"a16.bmp", "b63x10.bmp", "c64.bmp", "d65x10.bmp", "e10x200.bmp"}));
    for (int i = 0; i < FList.Items.Count(); ++i)
        EXPECT_EQ(FList.Items.Item(i).ImageIndex, i);
    EXPECT_EQ(RedArea(0), Rect(24, 24, 40, 40));
    EXPECT_EQ(RedArea(1), Rect(1, 27, 64, 37));
    EXPECT_EQ(RedArea(2), Rect(0, 0, 64, 64));
    EXPECT_EQ(RedArea(3), Rect(0, 0, 64, 64));
    EXPECT_EQ(RedArea(4), Rect(0, 0, 64, 64));
    // Around a centred picture the cell keeps the list's colour.
    EXPECT_EQ(FImages.Pixels(0)[0], kWhite);
}

TEST_F(ThumbnailBuilder, CentresAnIconByTheStandardSizeAndDrawsItsChosenImageUnscaled) {
    WriteIcon("a.ico", {16, 48});  // wanted 32: the 16-pixel image
    WriteIcon("b.ico", {48});
    Build();
    ASSERT_EQ(FList.Items.Count(), 2);
    const TRect small = RedArea(0), large = RedArea(1);
    EXPECT_EQ((std::vector<int>{small.left, small.top, small.right, small.bottom}), (std::vector<int>{16, 16, 32, 32}));
    EXPECT_EQ((std::vector<int>{large.left, large.top, large.right, large.bottom}), (std::vector<int>{16, 16, 64, 64}));
    EXPECT_EQ(FImages.Pixels(0)[0], kWhite);
}

// Metafiles measure in their reference device's pixels: a small one is played at its own size,
// centred; a larger one is squeezed into the whole cell.
TEST_F(ThumbnailBuilder, CentresSmallMetafilesAndSqueezesLargeOnes) {
    using namespace gdi;
    const auto write = [this](const std::string& name, LONG width, LONG height) {
        emftest::TEmfBuilder emf(width, height);
        emf.Brush(1, BS_SOLID, RGB(255, 0, 0)).Select(1).Select(emftest::kStock | NULL_PEN);
        emf.Record(emftest::kRectangle, {0, 0, DWORD(width + 3), DWORD(height + 3)});  // covers the whole frame
        const std::vector<BYTE> bytes = emf.Bytes();
        std::ofstream(FFolder / name, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()),
                                                              std::streamsize(bytes.size()));
    };
    write("a.emf", 20, 10);
    write("b.emf", 100, 50);
    Build();
    ASSERT_EQ(Captions(), (std::vector<std::string>{"a.emf", "b.emf"}));
    const TRect small = RedArea(0);
    EXPECT_GE(small.left, 22);
    EXPECT_GE(small.top, 27);
    EXPECT_LE(small.right, 43);
    EXPECT_LE(small.bottom, 38);
    EXPECT_GE(small.right - small.left, 18);
    EXPECT_EQ(FImages.Pixels(0)[0], kWhite);
    EXPECT_EQ(RedArea(1), Rect(0, 0, 64, 64));
}

TEST_F(ThumbnailBuilder, SkipsWhatCannotBeLoadedAndKeepsTheOrder) {
    WriteText("notes.txt", "text");
    WriteText("broken.bmp", "BMnot really");
    WriteBmp("Zeta.bmp", 8, 8);
    WriteBmp("alpha.BMP", 8, 8);
    TRecorder recorder;
    Build(&recorder);
    EXPECT_EQ(Captions(), (std::vector<std::string>{"alpha.BMP", "Zeta.bmp"}));
    ASSERT_EQ(recorder.Lines.size(), 4u);
    EXPECT_EQ(recorder.Lines[0], "alpha.BMP 0");
    EXPECT_EQ(recorder.Lines[1].rfind("broken.bmp - ", 0), 0u);
    EXPECT_EQ(recorder.Lines[2], "notes.txt - 拡張子 .txt の画像形式は処理できません");
    EXPECT_EQ(recorder.Lines[3], "Zeta.bmp 1");
}

TEST_F(ThumbnailBuilder, EmptyFolderGivesAnEmptyList) {
    WriteText("readme.txt", "x");
    Build();
    EXPECT_EQ(FList.Items.Count(), 0);
    EXPECT_EQ(FImages.Count(), 0);
}

TEST_F(ThumbnailBuilder, AFailureWhileDrawingEndsTheClickAndKeepsWhatWasAdded) {
    TPicture::RegisterFileFormat("boom", "fails when drawn", TFailingGraphic::StaticClass());
    WriteBmp("a.bmp", 8, 8);
    WriteText("b.boom", "x");
    WriteBmp("c.bmp", 8, 8);
    EXPECT_THROW(Build(), EInvalidGraphic);
    EXPECT_EQ(Captions(), (std::vector<std::string>{"a.bmp"}));

    // Going on instead, as the command-line tool's --keep-going does.
    TRecorder recorder;
    recorder.KeepGoing = true;
    Build(&recorder);
    EXPECT_EQ(Captions(), (std::vector<std::string>{"a.bmp", "c.bmp"}));
    EXPECT_EQ(recorder.Lines[1], "b.boom - 描画できません");
    EXPECT_EQ(FList.Items.Item(1).ImageIndex, 1);
}

TEST_F(ThumbnailBuilder, ANewClickReplacesTheList) {
    WriteBmp("a.bmp", 8, 8);
    WriteBmp("b.bmp", 8, 8);
    Build();
    EXPECT_EQ(FList.Items.Count(), 2);
    fs::remove(FFolder / "b.bmp");
    WriteBmp("c.bmp", 8, 8);
    // The same folder again: the earlier listing is used, so the deleted file is skipped and the
    // new one does not appear.
    Build();
    EXPECT_EQ(Captions(), (std::vector<std::string>{"a.bmp"}));
    EXPECT_EQ(FImages.Count(), 1);
}
