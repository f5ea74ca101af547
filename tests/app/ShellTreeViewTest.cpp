#include "app/ShellTreeView.h"

#include "platform/base/Messages.h"
#include "platform/shell/Collation.h"
#include "platform/shell/FileOperations.h"

#include "tests/platform/shell/ShellTestSupport.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <filesystem>

using namespace app;
using shelltest::Exists;
using shelltest::TScopedEnv;
using shelltest::TTempFolder;
using ::testing::ElementsAre;
using ::testing::StrEq;
using ::testing::ThrowsMessage;

namespace {

// A home of the test's own with a documents folder, a trash under a data home of its own, and
// a clipboard and program launcher that the test controls.
class ShellTreeViewTest : public ::testing::Test {
protected:
    void SetUp() override {
        FTemp.File("home/.config/user-dirs.dirs", "XDG_DOCUMENTS_DIR=\"$HOME/Documents\"\n");
        shell::SetCollationLocale("C");
        FPreviousReader = shell::SetClipboardReader([this] { return FClipboard; });
        FPreviousLauncher = shell::SetLauncher([this](const std::vector<std::string>& argv, const std::string& folder) {
            FLaunched = argv;
            FLaunchFolder = folder;
            return FLaunchResult;
        });
        FTree.OnClick = [this] { ++FClicks; };
    }
    void TearDown() override {
        shell::SetClipboardReader(FPreviousReader);
        shell::SetLauncher(FPreviousLauncher);
        shell::SetCollationLocale("");
    }

    TShellTreeNode& Top() { return FTree.Item(0); }
    static std::vector<std::string> Names(const TShellTreeNode& node) {
        std::vector<std::string> names;
        for (std::size_t i = 0; i < node.Count(); ++i)
            names.push_back(node.Item(i).Text());
        return names;
    }
    static TShellTreeNode& Child(const TShellTreeNode& node, const std::string& name) {
        for (std::size_t i = 0; i < node.Count(); ++i)
            if (node.Item(i).Text() == name)
                return node.Item(i);
        throw std::runtime_error("no child " + name);
    }
    TShellTreeNode& Node(const std::string& relative) {
        TShellTreeNode* node = FTree.SelectPath(FDocs + "/" + relative);
        if (node == nullptr)
            throw std::runtime_error("no node " + relative);
        return *node;
    }

    TTempFolder FTemp;
    std::string FHome = FTemp.Folder("home");
    std::string FDocs = FTemp.Folder("home/Documents");
    TScopedEnv FHomeVariable{"HOME", FHome};
    TScopedEnv FConfig{"XDG_CONFIG_HOME", std::nullopt};
    TScopedEnv FDocuments{"XDG_DOCUMENTS_DIR", std::nullopt};
    TScopedEnv FData{"XDG_DATA_HOME", FTemp / "data"};
    std::string FClipboard;
    std::vector<std::string> FLaunched;
    std::string FLaunchFolder;
    shell::HRESULT FLaunchResult = shell::S_OK;
    shell::TClipboardReader FPreviousReader;
    shell::TLauncher FPreviousLauncher;
    TShellTreeView FTree;
    int FClicks = 0;
};

}  // namespace

TEST_F(ShellTreeViewTest, RootIsThePersonalFolderExpandedOneLevelAndSelected) {
    FTemp.Folder("home/Documents/Pictures/2024");
    FTemp.Folder("home/Documents/Music");
    EXPECT_EQ(FTree.Count(), 0u);  // Nothing happens while the layout loads.
    FTree.Loaded();
    ASSERT_EQ(FTree.Count(), 1u);
    EXPECT_EQ(Top().Text(), "Documents");
    EXPECT_EQ(FTree.SelectedPath(), FDocs);
    EXPECT_EQ(FTree.Selected(), &Top());
    EXPECT_TRUE(Top().Expanded());
    EXPECT_THAT(Names(Top()), ElementsAre("Music", "Pictures"));
    // Children are read one level deep only.
    EXPECT_TRUE(Child(Top(), "Pictures").HasChildren());
    EXPECT_EQ(Child(Top(), "Pictures").Count(), 0u);
    EXPECT_FALSE(Child(Top(), "Music").HasChildren());
    EXPECT_EQ(FClicks, 0);
}

TEST_F(ShellTreeViewTest, RootIsTheHomeFolderWithoutADocumentsFolder) {
    std::filesystem::remove(FDocs);
    FTree.Loaded();
    EXPECT_EQ(Top().Text(), "home");
    EXPECT_EQ(FTree.SelectedPath(), FHome);
}

TEST_F(ShellTreeViewTest, RootTakesSpecialNamesInAnyCaseAndPaths) {
    FTree.SetRoot("RFPERSONAL");
    FTree.Loaded();
    EXPECT_EQ(FTree.SelectedPath(), FDocs);
    FTree.SetRoot(FTemp.Path() + "/home/");
    EXPECT_EQ(FTree.SelectedPath(), FHome);
    EXPECT_EQ(Top().Text(), "home");
    FTree.SetRoot("rfDesktop");
    EXPECT_EQ(FTree.SelectedPath(), "/");
    EXPECT_EQ(Top().Text(), "/");
}

class ShellTreeViewBadRoot : public ShellTreeViewTest, public ::testing::WithParamInterface<std::string> {};

TEST_P(ShellTreeViewBadRoot, RaisesAfterRebuildingFromThePreviousRoot) {
    FTemp.Folder("home/Documents/Pictures");
    FTemp.File("home/a-file.txt");
    FTree.Loaded();
    FTree.SelectPath(FDocs + "/Pictures");
    std::string root = GetParam() == "file" ? FHome + "/a-file.txt" : GetParam();
    EXPECT_THAT([&] { FTree.SetRoot(root); },
                ThrowsMessage<EShellError>(StrEq("Error setting path: \"" + root + "\"")));
    EXPECT_EQ(FTree.Root(), "rfPersonal");
    ASSERT_EQ(FTree.Count(), 1u);
    EXPECT_EQ(FTree.SelectedPath(), FDocs);
    EXPECT_THAT(Names(Top()), ElementsAre("Pictures"));
}

INSTANTIATE_TEST_SUITE_P(ShellTreeView, ShellTreeViewBadRoot,
                         ::testing::Values("/no/such/folder", "rfNetwork", "rfControlPanel", "relative", "", "file"));

TEST_F(ShellTreeViewTest, ChildrenAreFoldersInTheShellsNameOrder) {
    for (const char* name : {"b", "A", "file10", "file2", "Zebra", "éclair", "a2", "a10", ".hidden"})
        FTemp.Folder(std::string("home/Documents/") + name);
    FTemp.File("home/Documents/aaa.txt");
    FTree.Loaded();
    EXPECT_THAT(Names(Top()), ElementsAre("A", "a2", "a10", "b", "éclair", "file2", "file10", "Zebra"));
}

using TLocaleOrder = std::pair<std::string, std::vector<std::string>>;

class ShellTreeViewLocale : public ShellTreeViewTest, public ::testing::WithParamInterface<TLocaleOrder> {};

TEST_P(ShellTreeViewLocale, DecidesWhereLettersWithMarksGo) {
    for (const char* name : {"öl", "zebra", "apa", "Oslo"})
        FTemp.Folder(std::string("home/Documents/") + name);
    shell::SetCollationLocale(GetParam().first);
    FTree.Loaded();
    EXPECT_EQ(Names(Top()), GetParam().second);
}

INSTANTIATE_TEST_SUITE_P(ShellTreeView, ShellTreeViewLocale,
                         ::testing::Values(TLocaleOrder{"sv_SE", {"apa", "Oslo", "zebra", "öl"}},
                                           TLocaleOrder{"de_DE", {"apa", "öl", "Oslo", "zebra"}}));

TEST_F(ShellTreeViewTest, ObjectTypesAddHiddenFoldersAndFiles) {
    FTemp.Folder("home/Documents/.config");
    FTemp.Folder("home/Documents/visible");
    FTemp.File("home/Documents/notes.txt");
    FTree.Loaded();
    EXPECT_THAT(Names(Top()), ElementsAre("visible"));
    FTree.SetObjectTypes(otFolders | otHidden);
    EXPECT_THAT(Names(Top()), ElementsAre(".config", "visible"));
    FTree.SetObjectTypes(otFolders | otNonFolders);
    EXPECT_THAT(Names(Top()), ElementsAre("visible", "notes.txt"));
    // Folders come first; expanding a file opens it in its folder instead.
    TShellTreeNode& file = Child(Top(), "notes.txt");
    EXPECT_FALSE(file.HasChildren());
    EXPECT_FALSE(FTree.Expand(file));
    EXPECT_THAT(FLaunched, ElementsAre("xdg-open", FDocs + "/notes.txt"));
    EXPECT_EQ(FLaunchFolder, FDocs);
}

TEST_F(ShellTreeViewTest, ExpandButtonsAreCorrectedWhenAFolderIsRead) {
    FTemp.File("home/Documents/files-only/a.txt");
    FTemp.Folder("home/Documents/only-hidden/.git");
    FTemp.Folder("home/Documents/full/inner");
    FTree.Loaded();
    EXPECT_FALSE(Child(Top(), "files-only").HasChildren());
    TShellTreeNode& hidden = Child(Top(), "only-hidden");
    EXPECT_TRUE(hidden.HasChildren());
    EXPECT_FALSE(FTree.Expand(hidden));
    EXPECT_FALSE(hidden.HasChildren());
    TShellTreeNode& full = Child(Top(), "full");
    ASSERT_TRUE(FTree.Expand(full));
    EXPECT_THAT(Names(full), ElementsAre("inner"));
    // Children are read once; the tree does not watch the folder afterwards.
    FTemp.Folder("home/Documents/full/later");
    FTree.Collapse(full);
    EXPECT_TRUE(FTree.Expand(full));
    EXPECT_THAT(Names(full), ElementsAre("inner"));
}

TEST_F(ShellTreeViewTest, FolderThatCannotBeReadShowsNoChildren) {
    FTemp.Folder("home/Documents/gone/inner");
    FTree.Loaded();
    TShellTreeNode& gone = Child(Top(), "gone");
    ASSERT_TRUE(gone.HasChildren());
    std::filesystem::remove_all(FDocs + "/gone");
    EXPECT_FALSE(FTree.Expand(gone));
    EXPECT_EQ(gone.Count(), 0u);
    EXPECT_FALSE(gone.HasChildren());
    EXPECT_TRUE(FLaunched.empty());
}

TEST_F(ShellTreeViewTest, SelectPathExpandsDownToTheFolderAndSelectedPathHasNoTrailingSlash) {
    FTemp.Folder("home/Documents/Pictures/2024/Summer");
    FTemp.Folder("home/Documents/.hidden");
    FTree.Loaded();
    TShellTreeNode* node = FTree.SelectPath(FDocs + "//Pictures/./2024/");
    ASSERT_NE(node, nullptr);
    EXPECT_EQ(FTree.Selected(), node);
    EXPECT_EQ(FTree.SelectedPath(), FDocs + "/Pictures/2024");
    EXPECT_TRUE(node->Parent()->Expanded());
    EXPECT_FALSE(node->Expanded());
    // Paths outside the root, hidden or missing select nothing and keep the selection.
    EXPECT_EQ(FTree.SelectPath(FHome), nullptr);
    EXPECT_EQ(FTree.SelectPath(FDocs + "/.hidden"), nullptr);
    EXPECT_EQ(FTree.SelectPath(FDocs + "/Pictures/1999"), nullptr);
    EXPECT_EQ(FTree.SelectPath(FDocs + "-other"), nullptr);
    EXPECT_EQ(FTree.SelectedPath(), FDocs + "/Pictures/2024");
    EXPECT_EQ(FTree.SelectPath(FDocs), &Top());

    FTree.Select(nullptr);
    EXPECT_EQ(FTree.SelectedPath(), "");
}

TEST_F(ShellTreeViewTest, RightClickCountsAsSelectionOnlyWhileTheMenuIsOpen) {
    FTemp.Folder("home/Documents/A");
    FTemp.Folder("home/Documents/B");
    FTree.Loaded();
    FTree.Click(Child(Top(), "A"));
    EXPECT_EQ(FClicks, 1);
    auto commands = FTree.PopupContextMenu(Child(Top(), "B"));
    EXPECT_FALSE(commands.empty());
    EXPECT_EQ(FTree.SelectedPath(), FDocs + "/B");
    FTree.CloseContextMenu();
    EXPECT_EQ(FTree.SelectedPath(), FDocs + "/A");
    EXPECT_EQ(FClicks, 1);

    // Opening acts on the right-clicked folder and runs in its parent folder.
    ASSERT_TRUE(FTree.RunContextCommand(Child(Top(), "B"), "open"));
    EXPECT_THAT(FLaunched, ElementsAre("xdg-open", FDocs + "/B"));
    EXPECT_EQ(FLaunchFolder, FDocs);
    EXPECT_EQ(FTree.SelectedPath(), FDocs + "/A");
    EXPECT_EQ(FClicks, 1);

    // Without RightClickSelect the menu belongs to the selected folder.
    FTree.SetRightClickSelect(false);
    FTree.PopupContextMenu(Child(Top(), "B"));
    EXPECT_EQ(FTree.SelectedPath(), FDocs + "/A");
    FTree.CloseContextMenu();
}

TEST_F(ShellTreeViewTest, FailedCommandRaisesItsMessage) {
    FTemp.Folder("home/Documents/A");
    FTree.Loaded();
    FLaunchResult = shell::E_FAIL;
    EXPECT_THAT([&] { FTree.RunContextCommand(Child(Top(), "A"), "open"); },
                ThrowsMessage<EShellError>(StrEq(FDocs + "/A を開けませんでした。")));
    EXPECT_FALSE(FTree.RunContextCommand(Child(Top(), "A"), "properties"));
}

TEST_F(ShellTreeViewTest, RenamingInPlaceMovesTheFolderAndEverythingShownBelowIt) {
    FTemp.Folder("home/Documents/Alpha/Inner/Deep");
    FTemp.Folder("home/Documents/Middle");
    FTree.Loaded();
    TShellTreeNode& deep = Node("Alpha/Inner/Deep");
    TShellTreeNode& alpha = Child(Top(), "Alpha");
    std::vector<TShellTreeChange> changes;
    FTree.OnChange = [&](TShellTreeChange change, TShellTreeNode*) { changes.push_back(change); };
    ASSERT_TRUE(FTree.BeginEdit(alpha));
    EXPECT_EQ(FTree.EditingNode(), &alpha);
    FTree.EndEdit(std::string("Zulu"));
    EXPECT_EQ(FTree.EditingNode(), nullptr);
    EXPECT_EQ(alpha.Text(), "Zulu");
    EXPECT_TRUE(Exists(FDocs + "/Zulu/Inner/Deep"));
    EXPECT_FALSE(Exists(FDocs + "/Alpha"));
    EXPECT_EQ(FTree.SelectedPath(), FDocs + "/Zulu/Inner/Deep");
    EXPECT_EQ(&Node("Zulu/Inner/Deep"), &deep);
    // The renamed folder moves to its place in the order.
    EXPECT_THAT(Names(Top()), ElementsAre("Middle", "Zulu"));
    EXPECT_THAT(changes, ::testing::Contains(TShellTreeChange::ChildrenChanged));
}

class ShellTreeViewRenameFailure : public ShellTreeViewTest, public ::testing::WithParamInterface<std::string> {};

TEST_P(ShellTreeViewRenameFailure, KeepsTheLabelAndRaisesTheMessage) {
    FTemp.File("home/Documents/Mine/photo.png", "mine");
    FTemp.File("home/Documents/Taken/photo.png", "theirs");
    FTree.Loaded();
    TShellTreeNode& mine = Child(Top(), "Mine");
    std::string name = GetParam();
    if (name == "missing") {
        std::filesystem::rename(FDocs + "/Mine", FTemp / "moved-away");
        name = "Other";
    }
    FTree.BeginEdit(mine);
    EXPECT_THAT([&] { FTree.EndEdit(name); },
                ThrowsMessage<EShellError>(StrEq(name + " に名前を変更できませんでした。")));
    EXPECT_EQ(mine.Text(), "Mine");
    EXPECT_EQ(shelltest::ReadFile(FDocs + "/Taken/photo.png"), "theirs");
}

INSTANTIATE_TEST_SUITE_P(ShellTreeView, ShellTreeViewRenameFailure, ::testing::Values("Taken", "missing", "a/b", ".."));

TEST_F(ShellTreeViewTest, RenameCanBeCancelledRefusedByReadOnlyOrStartedFromTheMenu) {
    FTemp.Folder("home/Documents/Folder");
    FTree.Loaded();
    TShellTreeNode& folder = Child(Top(), "Folder");
    FTree.BeginEdit(folder);
    FTree.EndEdit(std::nullopt);
    FTree.BeginEdit(folder);
    FTree.EndEdit(std::string("Folder"));
    EXPECT_TRUE(Exists(FDocs + "/Folder"));

    TShellTreeNode* requested = nullptr;
    FTree.OnChange = [&](TShellTreeChange change, TShellTreeNode* node) {
        if (change == TShellTreeChange::EditRequested)
            requested = node;
    };
    ASSERT_TRUE(FTree.RunContextCommand(folder, "rename"));
    EXPECT_EQ(requested, &folder);
    EXPECT_EQ(FTree.EditingNode(), &folder);
    FTree.EndEdit(std::string("Renamed"));
    EXPECT_TRUE(Exists(FDocs + "/Renamed"));

    FTree.SetReadOnly(true);
    EXPECT_FALSE(FTree.BeginEdit(folder));
    EXPECT_FALSE(FTree.RunContextCommand(folder, "rename"));
}

TEST_F(ShellTreeViewTest, DeleteMovesTheFolderToTheTrashAndRemovesItsNode) {
    FTemp.File("home/Documents/A/keep.txt", "kept");
    FTemp.Folder("home/Documents/B");
    FTemp.Folder("home/Documents/C");
    FTree.Loaded();
    TShellTreeNode& a = Child(Top(), "A");
    FTree.Select(&a);
    TShellTreeNode* deleting = nullptr;
    FTree.OnChange = [&](TShellTreeChange change, TShellTreeNode* node) {
        if (change == TShellTreeChange::NodeDeleting)
            deleting = node;
    };
    ASSERT_TRUE(FTree.RunContextCommand(a, "delete"));
    EXPECT_EQ(deleting, &a);
    EXPECT_FALSE(Exists(FDocs + "/A"));
    EXPECT_EQ(shelltest::ReadFile(FTemp / "data/Trash/files/A/keep.txt"), "kept");
    EXPECT_THAT(Names(Top()), ElementsAre("B", "C"));
    // The selection moves to the next folder.
    EXPECT_EQ(FTree.SelectedPath(), FDocs + "/B");
}

TEST_F(ShellTreeViewTest, PasteCopiesWithAFreeNameAndRefreshesTheFolder) {
    FTemp.File("home/Documents/Album/Old/a.png", "old");
    FTemp.Folder("home/Documents/Album/Kept/Inner");
    FTemp.File("outside/Old/a.png", "new");
    FTemp.Folder("outside/New");
    FTree.Loaded();
    TShellTreeNode* selected = FTree.SelectPath(FDocs + "/Album/Kept/Inner");
    ASSERT_NE(selected, nullptr);
    FTree.SetTopItem(&Child(Top(), "Album"));
    FClipboard = "file://" + FTemp.Path() + "/outside/Old\r\nfile://" + FTemp.Path() + "/outside/New\r\n";
    ASSERT_TRUE(FTree.RunContextCommand(Child(Top(), "Album"), "paste"));

    TShellTreeNode& album = Child(Top(), "Album");
    EXPECT_TRUE(album.Expanded());
    EXPECT_THAT(Names(album), ElementsAre("Kept", "New", "Old", "Old (2)"));
    EXPECT_EQ(shelltest::ReadFile(FDocs + "/Album/Old/a.png"), "old");
    EXPECT_EQ(shelltest::ReadFile(FDocs + "/Album/Old (2)/a.png"), "new");
    // Expanded folders, the selection and the top item come back on the new nodes.
    EXPECT_TRUE(Child(album, "Kept").Expanded());
    EXPECT_EQ(FTree.SelectedPath(), FDocs + "/Album/Kept/Inner");
    EXPECT_EQ(FTree.TopItem(), &album);
    EXPECT_EQ(Top().Count(), 1u);
}
