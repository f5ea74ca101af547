#include "platform/base/Messages.h"
#include "platform/shell/ContextMenu.h"
#include "platform/shell/FileOperations.h"

#include "tests/platform/shell/ShellTestSupport.h"

#include <gtest/gtest.h>

using namespace shell;
using shelltest::Exists;
using shelltest::ReadFile;
using shelltest::TScopedEnv;
using shelltest::TTempFolder;

namespace {

class ContextMenuTest : public ::testing::Test {
protected:
    void SetUp() override {
        FPreviousReader = SetClipboardReader([this] { return FClipboard; });
        FPreviousLauncher = SetLauncher([this](const std::vector<std::string>& argv, const std::string& folder) {
            FLaunched = argv;
            FLaunchFolder = folder;
            return S_OK;
        });
    }
    void TearDown() override {
        SetClipboardReader(FPreviousReader);
        SetLauncher(FPreviousLauncher);
    }

    std::vector<TMenuCommand> Query(IContextMenu& menu, UINT flags, UINT first = 1, UINT last = 0x7FFF) {
        std::vector<TMenuCommand> commands;
        EXPECT_TRUE(SUCCEEDED(menu.QueryContextMenu(commands, first, last, flags)));
        return commands;
    }
    static std::vector<std::string> Verbs(const std::vector<TMenuCommand>& commands) {
        std::vector<std::string> verbs;
        for (const TMenuCommand& command : commands)
            verbs.push_back(command.Verb);
        return verbs;
    }
    static HRESULT Invoke(IContextMenu& menu, const std::string& verb) {
        CMINVOKECOMMANDINFO info;
        info.lpVerb = verb;
        return menu.InvokeCommand(info);
    }

    TTempFolder FTemp;
    TScopedEnv FDataHome{"XDG_DATA_HOME", FTemp / "data"};
    std::string FClipboard;
    std::vector<std::string> FLaunched;
    std::string FLaunchFolder;
    TClipboardReader FPreviousReader;
    TLauncher FPreviousLauncher;
};

}  // namespace

TEST_F(ContextMenuTest, FolderMenuOffersOpenPasteDeleteAndRenameWithFixedNumbers) {
    auto menu = CreateItemContextMenu(FTemp.Folder("album"), true);
    auto commands = Query(*menu, CMF_EXPLORE | CMF_CANRENAME, 10);
    ASSERT_EQ(Verbs(commands), (std::vector<std::string>{"open", "paste", "delete", "rename"}));
    EXPECT_EQ(commands[0].Id, 10u);
    EXPECT_EQ(commands[3].Id, 13u);
    EXPECT_EQ(commands[0].Caption, base::LoadStr(res::SMenuOpen));
    EXPECT_EQ(commands[3].Caption, "名前の変更(&M)");
    // Nothing on the clipboard: paste is shown but cannot be chosen.
    EXPECT_FALSE(commands[1].Enabled);
    std::string verb;
    ASSERT_EQ(menu->GetCommandString(2, verb), S_OK);
    EXPECT_EQ(verb, "delete");
    EXPECT_EQ(menu->GetCommandString(7, verb), E_INVALIDARG);
}

TEST_F(ContextMenuTest, RenameNeedsTheFlagPasteNeedsAFolderAndNumbersStopAtTheLast) {
    auto file = CreateItemContextMenu(FTemp.File("a.txt"), false);
    EXPECT_EQ(Verbs(Query(*file, CMF_NORMAL)), (std::vector<std::string>{"open", "delete"}));
    std::string verb;
    EXPECT_EQ(file->GetCommandString(3, verb), E_INVALIDARG);
    auto folder = CreateItemContextMenu(FTemp.Folder("f"), true);
    std::vector<TMenuCommand> commands;
    EXPECT_EQ(folder->QueryContextMenu(commands, 1, 2, CMF_CANRENAME), MAKE_HRESULT(0, 0, 2));
    EXPECT_EQ(Verbs(commands), (std::vector<std::string>{"open", "paste"}));
}

TEST_F(ContextMenuTest, PasteCopiesTheClipboardIntoTheFolder) {
    std::string folder = FTemp.Folder("album");
    FTemp.File("album/photo.png", "old");
    FTemp.File("elsewhere/photo.png", "new");
    FClipboard = "file://" + FTemp.Path() + "/elsewhere/photo.png\r\n";
    auto menu = CreateItemContextMenu(folder, true);
    EXPECT_TRUE(Query(*menu, CMF_NORMAL)[1].Enabled);
    ASSERT_EQ(Invoke(*menu, "paste"), S_OK);
    EXPECT_EQ(ReadFile(folder + "/photo.png"), "old");
    EXPECT_EQ(ReadFile(folder + "/photo (2).png"), "new");
}

TEST_F(ContextMenuTest, DeleteTrashesOpenLaunchesAndRenameIsLeftToTheView) {
    std::string folder = FTemp.Folder("docs/album");
    auto menu = CreateItemContextMenu(folder, true);
    Query(*menu, CMF_CANRENAME);
    EXPECT_EQ(Invoke(*menu, "rename"), E_NOTIMPL);
    EXPECT_TRUE(Exists(folder));
    CMINVOKECOMMANDINFO open;
    open.idCmd = 0;
    ASSERT_EQ(menu->InvokeCommand(open), S_OK);
    EXPECT_EQ(FLaunched, (std::vector<std::string>{"xdg-open", folder}));
    EXPECT_EQ(FLaunchFolder, FTemp / "docs");
    ASSERT_EQ(Invoke(*menu, "delete"), S_OK);
    EXPECT_FALSE(Exists(folder));
    EXPECT_TRUE(Exists(FTemp / "data/Trash/files/album"));
    EXPECT_EQ(Invoke(*menu, "delete"), HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND));
    EXPECT_EQ(Invoke(*menu, "properties"), E_INVALIDARG);
}
