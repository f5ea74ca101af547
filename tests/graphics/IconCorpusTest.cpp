// The public icon files: every one loads and draws into a thumbnail cell or fails with an
// exception of the framework, never crashes, and gives back every platform object it made.
#include "GraphicsTestSupport.h"

#include "graphics/Icon.h"

#include <cstdio>
#include <filesystem>
#include <map>

using namespace graphics;
namespace fs = std::filesystem;

namespace {

const fs::path kIcons = "../shared/corpus/ico";

class IconCorpus : public TGraphicsTest {
protected:
    void SetUp() override {
        TGraphicsTest::SetUp();
        if (!fs::exists(kIcons))
            GTEST_SKIP() << "the shared test images are not beside the project";
        gdi::SetBitmapStorageCap(256u << 20);
    }
};

// Loads and draws as the thumbnail builder does; the outcome's name, or the failure's message.
std::string LoadAndDraw(const fs::path& path, bool& loaded, bool& drawn) {
    loaded = drawn = false;
    try {
        TIcon icon;
        icon.LoadFromFile(path.string());
        loaded = true;
        TBitmap cell;
        cell.SetWidth(64);
        cell.SetHeight(64);
        if (icon.Width() <= 64 && icon.Height() <= 64)
            cell.Canvas().Draw((64 - icon.Width() + 1) / 2, (64 - icon.Height() + 1) / 2, &icon);
        else
            cell.Canvas().StretchDraw(Rect(0, 0, 64, 64), &icon);
        drawn = true;
        return "draws " + std::to_string(icon.Width()) + "x" + std::to_string(icon.Height());
    } catch (const Exception& e) {
        return std::string(loaded ? "draw fails: " : "load fails: ") + e.Message();
    }
}

}  // namespace

TEST_F(IconCorpus, EveryFileDrawsOrFailsWithAFrameworkError) {
    std::vector<fs::path> files;
    for (const auto& entry : fs::recursive_directory_iterator(kIcons))
        if (entry.is_regular_file() && (entry.path().extension() == ".ico" || entry.path().extension() == ".cur"))
            files.push_back(entry.path());
    std::sort(files.begin(), files.end());
    ASSERT_FALSE(files.empty());
    const std::size_t live = gdi::LiveObjectCount();
    std::map<std::string, int> outcomes;
    for (const fs::path& path : files) {
        bool loaded, drawn;
        const std::string outcome = LoadAndDraw(path, loaded, drawn);
        ++outcomes[drawn ? "draws" : loaded ? "fails when drawn" : "fails to load"];
        // The log tells how each file fares; it is read when the set of files changes.
        std::printf("%-70s %s\n", fs::relative(path, kIcons).c_str(), outcome.c_str());
        EXPECT_EQ(gdi::LiveObjectCount(), live) << path;
        // Cursors are refused when loading; icons of the public sets with bitmap images draw.
        if (path.extension() == ".cur") {
            EXPECT_FALSE(loaded) << path;
        }
    }
    for (const auto& [outcome, count] : outcomes)
        std::printf("%s: %d\n", outcome.c_str(), count);
    EXPECT_GT(outcomes["draws"], int(files.size()) / 2);
}
