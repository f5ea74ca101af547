// The command-line tool, run as a person runs it.
#include "graphics/Bitmap.h"
#include "platform/base/Version.h"
#include "png/PngImage.h"
#include "png/PngModule.h"

#include "tests/platform/shell/ShellTestSupport.h"

#include <gtest/gtest.h>

#include <array>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sys/wait.h>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {

struct TRun {
    int Status = -1;
    std::string Output;
};

TRun RunTool(const std::string& arguments) {
    TRun run;
    const std::string command = std::string(VISTEL_THUMBS) + " " + arguments + " 2>&1";
    FILE* pipe = ::popen(command.c_str(), "r");
    if (pipe == nullptr)
        return run;
    std::array<char, 4096> buffer{};
    std::size_t n;
    while ((n = std::fread(buffer.data(), 1, buffer.size(), pipe)) > 0)
        run.Output.append(buffer.data(), n);
    const int status = ::pclose(pipe);
    run.Status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return run;
}

class VistelThumbs : public ::testing::Test {
protected:
    void SetUp() override {
        graphics::InitializeGraphics();
        FFolder = fs::temp_directory_path() / ("vistel-cli-" + std::to_string(::getpid()));
        fs::remove_all(FFolder);
        fs::create_directories(FFolder);
    }
    void TearDown() override {
        fs::remove_all(FFolder);
        graphics::FinalizeGraphics();
    }
    void WriteBmp(const std::string& name, int width, int height) {
        graphics::TBitmap bitmap;
        bitmap.SetPixelFormat(graphics::px24Bit);
        bitmap.SetWidth(width);
        bitmap.SetHeight(height);
        bitmap.SaveToFile((FFolder / name).string());
    }
    fs::path FFolder;
};

}  // namespace

TEST_F(VistelThumbs, PrintsOneLinePerFileAndWritesTheSheet) {
    for (int i = 0; i < 9; ++i)
        WriteBmp(std::string("p").append(std::to_string(i)).append(".bmp"), 10, 10);
    std::ofstream(FFolder / "q.txt") << "line";
    const fs::path sheet = FFolder / "sheet.bmp";
    TRun run = RunTool(FFolder.string() + " --sheet " + sheet.string());
    EXPECT_EQ(run.Status, 0) << run.Output;
    EXPECT_EQ(run.Output,
              "p0.bmp\t0\np1.bmp\t1\np2.bmp\t2\np3.bmp\t3\np4.bmp\t4\np5.bmp\t5\np6.bmp\t6\np7.bmp\t7\np8.bmp\t8\n"
              "q.txt\t-\t拡張子 .txt の画像形式は処理できません\n");
    graphics::TBitmap picture;
    picture.LoadFromFile(sheet.string());
    EXPECT_EQ(picture.Width(), 8 * 65 - 1);
    EXPECT_EQ(picture.Height(), 2 * 65 - 1);
    EXPECT_EQ(picture.PixelFormat(), graphics::px24Bit);
}

TEST_F(VistelThumbs, WritesThePngSheetWithTheSamePixelsAsTheBitmapSheet) {
    for (int i = 0; i < 3; ++i)
        WriteBmp(std::string("p").append(std::to_string(i)).append(".bmp"), 10 + i * 20, 12);
    const fs::path bmp = FFolder / "out" / "sheet.bmp";
    const fs::path png = FFolder / "out" / "sheet.png";
    fs::create_directory(FFolder / "out");
    ASSERT_EQ(RunTool(FFolder.string() + " --sheet " + bmp.string()).Status, 0);
    TRun run = RunTool(FFolder.string() + " --sheet " + png.string());
    ASSERT_EQ(run.Status, 0) << run.Output;
    std::ifstream file(png, std::ios::binary);
    char signature[8] = {};
    file.read(signature, 8);
    EXPECT_EQ(std::string(signature, 8), std::string("\x89PNG\r\n\x1a\n", 8));
    // The tool registered the codec in its own process; this one reads the file the same way.
    png::InitializePng();
    png::TPNGObject sheet;
    try {
        sheet.LoadFromFile(png.string());
    } catch (...) {
        png::FinalizePng();
        throw;
    }
    png::FinalizePng();
    graphics::TBitmap reference;
    reference.LoadFromFile(bmp.string());
    ASSERT_EQ(sheet.GetWidth(), reference.Width());
    ASSERT_EQ(sheet.GetHeight(), reference.Height());
    EXPECT_EQ(sheet.RequireHeader().ColorType(), png::kColorRgb);
    for (int y = 0; y < sheet.GetHeight(); y += 7)
        for (int x = 0; x < sheet.GetWidth(); x += 5)
            ASSERT_EQ(gdi::COLORREF(sheet.PixelColor(x, y)), gdi::GetPixel(reference.Canvas().Handle(), x, y))
                << x << "," << y;
}

TEST_F(VistelThumbs, RefusesWhatIsNotAFolderAndExplainsItself) {
    TRun missing = RunTool((FFolder / "nothing-here").string());
    EXPECT_EQ(missing.Status, 1);
    EXPECT_NE(missing.Output.find("不正なファイル名 - "), std::string::npos);
    TRun help = RunTool("--help");
    EXPECT_EQ(help.Status, 0);
    EXPECT_NE(help.Output.find("Usage: vistel-thumbs FOLDER"), std::string::npos);
    EXPECT_EQ(RunTool("").Status, 2);
}

// A folder the tool may not read is refused exactly as a missing one is: its own name in the
// message, and none of the names of the folder the tool was started in.
TEST_F(VistelThumbs, RefusesAFolderItMayNotReadAsAMissingOne) {
    fs::create_directories(FFolder / "here");
    fs::create_directories(FFolder / "locked");
    WriteBmp("here/a.bmp", 4, 4);
    WriteBmp("locked/b.bmp", 4, 4);
    const std::string locked = (FFolder / "locked").string();
    const std::string missing = (FFolder / "missing").string();
    EXPECT_EQ(RunTool(missing).Output, "不正なファイル名 - " + missing + "\n");
    shelltest::LockFolder(locked);
    const int result = shelltest::RunUnprivileged([&] {
        if (!shelltest::CannotOpen(locked) || ::chdir((FFolder / "here").c_str()) != 0)
            return 1;
        const TRun run = RunTool(locked);
        if (run.Status == 1 && run.Output == "不正なファイル名 - " + locked + "\n")
            return 0;
        std::fprintf(stderr, "status %d: %s", run.Status, run.Output.c_str());
        return 2;
    });
    shelltest::UnlockFolder(locked);
    EXPECT_EQ(result, 0);
}

// --version answers alone and ends the run, wherever it stands: no folder is read.
TEST_F(VistelThumbs, VersionPrintsTheReleaseAndReadsNoFolder) {
    WriteBmp("p.bmp", 4, 4);
    for (const std::string& arguments : {std::string("--version"), FFolder.string() + " --version"}) {
        TRun run = RunTool(arguments);
        EXPECT_EQ(run.Status, 0) << arguments;
        EXPECT_EQ(run.Output, "vistel-thumbs " VISTEL_VERSION "\n") << arguments;
    }
    EXPECT_NE(RunTool("--help").Output.find("--version"), std::string::npos);
}

// The tool meets the codecs through the same registry as the window: a JPEG (227 × 149, so
// stretched) and a 16 × 16 icon get cells; a JPEG that is not one is skipped with libjpeg's code.
TEST_F(VistelThumbs, ThumbnailsJpegAndIconFilesThroughTheCodecs) {
    const fs::path corpus = "../shared/corpus";
    fs::copy_file(corpus / "jpeg/libjpeg-turbo/testorig.jpg", FFolder / "a.jpg");
    fs::copy_file(corpus / "ico/dotnet-runtime-assets/16x16_one_entry_4bit.ico", FFolder / "b.ico");
    std::ofstream(FFolder / "c.jpeg") << "not a picture";
    TRun run = RunTool(FFolder.string());
    EXPECT_EQ(run.Status, 0) << run.Output;
    EXPECT_EQ(run.Output, "a.jpg\t0\nb.ico\t1\nc.jpeg\t-\tJPEG エラー #53\n");
}
