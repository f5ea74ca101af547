// vistel-render, run as a person runs it.
#include "graphics/Bitmap.h"
#include "png/PngImage.h"
#include "png/PngModule.h"

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

TRun Render(const std::string& arguments) {
    TRun run;
    const std::string command = std::string(VISTEL_RENDER) + " " + arguments + " 2>&1";
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

// Corner (0, 0) of basn6a08 is fully transparent; basn2c08 is opaque.
const std::string kAlphaPicture = "../shared/corpus/pngsuite/basn6a08.png";
const std::string kOpaquePicture = "../shared/corpus/pngsuite/basn2c08.png";

class VistelRender : public ::testing::Test {
protected:
    void SetUp() override {
        graphics::InitializeGraphics();
        png::InitializePng();
        FFolder = fs::temp_directory_path() / ("vistel-render-" + std::to_string(::getpid()));
        fs::remove_all(FFolder);
        fs::create_directories(FFolder);
    }
    void TearDown() override {
        fs::remove_all(FFolder);
        png::FinalizePng();
        graphics::FinalizeGraphics();
    }
    // The picture a run wrote, as 24-bit rows.
    static void Load(const fs::path& file, graphics::TBitmap& bitmap) {
        if (file.extension() == ".png") {
            png::TPNGObject image;
            image.LoadFromFile(file.string());
            bitmap.Assign(&image);
        } else {
            bitmap.LoadFromFile(file.string());
        }
        bitmap.SetPixelFormat(graphics::px24Bit);
    }
    static std::array<int, 3> Rgb(graphics::TBitmap& bitmap, int x, int y) {
        const auto* row = static_cast<const std::uint8_t*>(bitmap.ScanLine(y));
        return {row[3 * x + 2], row[3 * x + 1], row[3 * x]};
    }
    fs::path FFolder;
};

}  // namespace

TEST_F(VistelRender, DrawsAtThePicturesOwnSizeOverTheBackground) {
    const fs::path white = FFolder / "white.png", red = FFolder / "red.bmp";
    ASSERT_EQ(Render(kAlphaPicture + " " + white.string()).Status, 0);
    ASSERT_EQ(Render(kAlphaPicture + " " + red.string() + " --background FF0000").Status, 0);
    graphics::TBitmap a, b;
    Load(white, a);
    Load(red, b);
    EXPECT_EQ(a.Width(), 32);
    EXPECT_EQ(a.Height(), 32);
    EXPECT_EQ(b.Width(), 32);
    // Transparent pixels show the background; opaque ones the picture, whatever lies beneath.
    EXPECT_EQ(Rgb(a, 0, 0), (std::array<int, 3>{255, 255, 255}));
    EXPECT_EQ(Rgb(b, 0, 0), (std::array<int, 3>{255, 0, 0}));

    ASSERT_EQ(Render(kOpaquePicture + " " + white.string()).Status, 0);
    ASSERT_EQ(Render(kOpaquePicture + " " + red.string() + " --background FF0000").Status, 0);
    Load(white, a);
    Load(red, b);
    for (int y = 0; y < 32; y += 5)
        for (int x = 0; x < 32; x += 3)
            EXPECT_EQ(Rgb(a, x, y), Rgb(b, x, y)) << x << "," << y;
}

TEST_F(VistelRender, StretchesOverTheGivenSize) {
    const fs::path out = FFolder / "wide.png";
    ASSERT_EQ(Render(kOpaquePicture + " " + out.string() + " --size 96x16").Status, 0);
    graphics::TBitmap wide, own;
    Load(out, wide);
    EXPECT_EQ(wide.Width(), 96);
    EXPECT_EQ(wide.Height(), 16);
    // Each source column is repeated three times across, every other row is dropped.
    ASSERT_EQ(Render(kOpaquePicture + " " + (FFolder / "own.bmp").string()).Status, 0);
    Load(FFolder / "own.bmp", own);
    for (int x = 0; x < 96; x += 7)
        EXPECT_EQ(Rgb(wide, x, 5), Rgb(own, x / 3, 11)) << x;
}

TEST_F(VistelRender, FailuresSayWhyAndExitWithOne) {
    std::ofstream(FFolder / "notes.txt") << "not a picture";
    TRun unknown = Render((FFolder / "notes.txt").string() + " " + (FFolder / "out.png").string());
    EXPECT_EQ(unknown.Status, 1);
    EXPECT_EQ(unknown.Output, "拡張子 .txt の画像形式は処理できません\n");
    EXPECT_FALSE(fs::exists(FFolder / "out.png"));

    std::ofstream(FFolder / "broken.png") << "\x89PNG\r\n\x1a\n but nothing more";
    TRun broken = Render((FFolder / "broken.png").string() + " " + (FFolder / "out.png").string());
    EXPECT_EQ(broken.Status, 1);
    EXPECT_FALSE(broken.Output.empty());

    TRun badOutput = Render(kAlphaPicture + " " + (FFolder / "out.xyz").string());
    EXPECT_EQ(badOutput.Status, 1);
    EXPECT_EQ(badOutput.Output, "拡張子 .xyz の画像形式は処理できません\n");
}

TEST_F(VistelRender, RefusesWhatItDoesNotUnderstand) {
    const std::string out = (FFolder / "out.png").string();
    for (const std::string& arguments : {std::string(""), kAlphaPicture, kAlphaPicture + " " + out + " --size 0x10",
                                        kAlphaPicture + " " + out + " --size 10",
                                        kAlphaPicture + " " + out + " --size 65536x1",
                                        kAlphaPicture + " " + out + " --background 12345",
                                        kAlphaPicture + " " + out + " --background GG0000",
                                        kAlphaPicture + " " + out + " --frobnicate"})
        EXPECT_EQ(Render(arguments).Status, 2) << arguments;
    TRun help = Render("--help");
    EXPECT_EQ(help.Status, 0);
    EXPECT_NE(help.Output.find("--background RRGGBB"), std::string::npos);
}
