// Folders that cannot be listed, reached the way the command-line tool and the window reach
// them, and the current folder, which neither may change.
#include "app/Codecs.h"
#include "app/FileListBox.h"
#include "app/MainForm.h"
#include "app/ThumbnailBuilder.h"
#include "graphics/Bitmap.h"
#include "platform/base/Messages.h"
#include "platform/gdi/Screen.h"

#include "tests/platform/shell/ShellTestSupport.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

using namespace app;
namespace fs = std::filesystem;

namespace {

class TRecorder final : public TBuildObserver {
public:
    std::vector<std::string> Lines;
    void Skipped(const std::string& name, const std::string& message) override { Lines.push_back(name + " - " + message); }
    void Added(const std::string& name, int index) override { Lines.push_back(name + " " + std::to_string(index)); }
    bool ContinueAfterFailure(const std::string& name, const std::string& message) override {
        Skipped(name, message);
        return true;
    }
};

// What a refused build left behind; empty when it went as it must.
std::string RefusalProblem(const std::function<void()>& build, const std::string& path, const TListView& list,
                           const TImageList& images, const TRecorder& recorder) {
    const std::string expected = base::FmtLoadStr(res::SInvalidFileName, {path});
    try {
        build();
        return "the build went through";
    } catch (const EInvalidOperation& e) {
        if (e.Message() != expected)
            return "the message was \"" + e.Message() + "\"";
    }
    if (!recorder.Lines.empty())
        return "a file was reported: " + recorder.Lines.front();
    if (list.Items.Count() != 0 || images.Count() != 0)
        return "thumbnails were left in the list";
    return std::string();
}

// A home whose documents folder holds a folder nobody but its owner may read, with a picture in
// it, and a readable folder with pictures where the process stands, whose names must never
// show up under the locked folder's path.
class FolderAccessTest : public ::testing::Test {
protected:
    void SetUp() override {
        FTemp.File("home/.config/user-dirs.dirs", "XDG_DOCUMENTS_DIR=\"$HOME/Documents\"\n");
        gdi::SetScreen(gdi::TScreenSettings{});
        graphics::InitializeGraphics();
        InitializeCodecs();
        for (const char* name : {"here/a.bmp", "here/b.bmp", "home/Documents/locked/inside.bmp",
                                        "home/Documents/pictures/p.bmp"})
            WriteBmp(FTemp / name);
        for (const char* folder : {"", "/here", "/home", "/home/Documents", "/home/Documents/pictures"})
            shelltest::ShareFolder(FTemp.Path() + folder);
        shelltest::LockFolder(Locked());
        FStartFolder = fs::current_path();
        fs::current_path(FTemp / "here");
    }
    void TearDown() override {
        fs::current_path(FStartFolder);
        shelltest::UnlockFolder(Locked());
        FinalizeCodecs();
        graphics::FinalizeGraphics();
    }
    static void WriteBmp(const std::string& path) {
        fs::create_directories(fs::path(path).parent_path());
        graphics::TBitmap bitmap;
        bitmap.SetPixelFormat(graphics::px24Bit);
        bitmap.SetWidth(4);
        bitmap.SetHeight(4);
        bitmap.SaveToFile(path);
    }
    std::string Locked() const { return FTemp / "home/Documents/locked"; }

    shelltest::TTempFolder FTemp;
    shelltest::TScopedEnv FHome{"HOME", FTemp / "home"};
    shelltest::TScopedEnv FConfig{"XDG_CONFIG_HOME", std::nullopt};
    shelltest::TScopedEnv FDocuments{"XDG_DOCUMENTS_DIR", std::nullopt};
    fs::path FStartFolder;
};

}  // namespace

// The tool's way: the builder on a folder's path, with an observer that reports every file.
TEST_F(FolderAccessTest, BuilderRefusesAFolderItMayNotReadAsAMissingOne) {
    const auto refusal = [](const std::string& path) {
        TImageList images(64, 64);
        TListView list;
        list.LargeImages = &images;
        TFileListBox files;
        TRecorder recorder;
        // A list that showed another folder first must not keep its pictures either.
        BuildThumbnails([] { return fs::current_path().string(); }, files, list, images);
        if (list.Items.Count() != 2)
            return std::string("the readable folder did not list");
        return RefusalProblem([&] { BuildThumbnails([path] { return path; }, files, list, images, &recorder); },
                              path, list, images, recorder);
    };
    EXPECT_EQ(refusal(FTemp / "home/Documents/gone"), "");
    const std::string locked = Locked();
    const int result = shelltest::RunUnprivileged([&] {
        if (!shelltest::CannotOpen(locked))
            return 1;
        const std::string problem = refusal(locked);
        if (problem.empty())
            return 0;
        std::fprintf(stderr, "%s\n", problem.c_str());
        return 2;
    });
    EXPECT_EQ(result, 0);
}

// The window's way: a click on the folder in the tree.
TEST_F(FolderAccessTest, ClickingAFolderInTheTreeThatCannotBeReadRefusesItAsAMissingOne) {
    fs::create_directory(FTemp / "home/Documents/gone");
    TF_Vistel form(ParseLayout(StoredLayoutText()));
    TShellTreeView& tree = *form.ShellTreeView1;
    const auto click = [&](const std::string& path) {
        if (tree.SelectPath(path) == nullptr || tree.SelectedPath() != path)
            return std::string("the tree did not select ") + path;
        TRecorder none;
        return RefusalProblem([&] { form.ShellTreeView1Click(nullptr); }, path, *form.V_CList, *form.ImageList1,
                              none);
    };
    // Shown in the tree, then removed, as a folder another program deletes.
    ASSERT_NE(tree.SelectPath(FTemp / "home/Documents/gone"), nullptr);
    fs::remove(FTemp / "home/Documents/gone");
    EXPECT_EQ(click(FTemp / "home/Documents/gone"), "");

    const std::string locked = Locked();
    const std::string pictures = FTemp / "home/Documents/pictures";
    const int result = shelltest::RunUnprivileged([&] {
        if (!shelltest::CannotOpen(locked))
            return 1;
        tree.SelectPath(pictures);
        form.ShellTreeView1Click(nullptr);
        if (form.V_CList->Items.Count() != 1)
            return 2;
        const std::string problem = click(locked);
        if (problem.empty())
            return 0;
        std::fprintf(stderr, "%s\n", problem.c_str());
        return 3;
    });
    EXPECT_EQ(result, 0);
}

TEST_F(FolderAccessTest, ListingAndBuildingLeaveTheCurrentFolderAlone) {
    const fs::path before = fs::current_path();
    TImageList images(64, 64);
    TListView list;
    list.LargeImages = &images;
    TFileListBox files;
    const std::string pictures = FTemp / "home/Documents/pictures";
    BuildThumbnails([&] { return pictures; }, files, list, images);
    ASSERT_EQ(list.Items.Count(), 1);
    EXPECT_EQ(list.Items.Item(0).Caption, "p.bmp");
    files.ApplyPath(pictures + "/p.bmp");
    files.SetFolderPath("..");
    files.SetMask("*.bmp");
    EXPECT_EQ(files.FolderPath(), FTemp / "home/Documents");
    EXPECT_THROW(files.ApplyPath(FTemp / "home/Documents/gone"), EInvalidOperation);
    EXPECT_EQ(fs::current_path(), before);
}
