#include "app/ShellFolder.h"

#include "tests/platform/shell/ShellTestSupport.h"

#include <gtest/gtest.h>

using namespace app;

namespace {

// A folder of a virtual namespace: every parsing name is a class id, as the platform gives for
// folders such as the control panel.
class TVirtualFolder final : public shell::IShellFolder {
public:
    using HRESULT = shell::HRESULT;
    using TItemIdList = shell::TItemIdList;
    using TItems = std::span<const TItemIdList* const>;

    HRESULT ParseDisplayName(const std::string&, TItemIdList&, shell::SFGAOF*) override { return shell::E_NOTIMPL; }
    HRESULT EnumObjects(shell::SHCONTF, std::unique_ptr<shell::IEnumIDList>&) override { return shell::E_NOTIMPL; }
    HRESULT BindToObject(const TItemIdList&, std::shared_ptr<IShellFolder>&) override { return shell::E_NOTIMPL; }
    HRESULT CompareIDs(shell::LPARAM, const TItemIdList&, const TItemIdList&) override { return shell::S_OK; }
    HRESULT GetAttributesOf(TItems, shell::SFGAOF& attributes) override {
        attributes &= shell::SFGAO_FOLDER;
        return shell::S_OK;
    }
    HRESULT GetUIObjectOf(TItems, std::unique_ptr<shell::IContextMenu>&) override { return shell::E_NOTIMPL; }
    HRESULT GetDisplayNameOf(const TItemIdList& item, shell::SHGDNF flags, shell::STRRET& name) override {
        ++Calls;
        name = shell::STRRET{};
        if (flags & shell::SHGDN_FORPARSING) {
            name.cStr = "::{21EC2020-3AEA-1069-A2DD-08002B30309D}";
        } else {
            // The name sits inside the item id, after the size field and the kind byte.
            name.uType = shell::STRRET_OFFSET;
            name.uOffset = item.Empty() ? 0 : 3;
        }
        return shell::S_OK;
    }
    HRESULT SetNameOf(const TItemIdList&, const std::string&, shell::SHGDNF, TItemIdList*) override {
        return shell::E_FAIL;
    }
    int Calls = 0;
};

}  // namespace

TEST(ShellFolder, VirtualParsingNamesFallBackToTheDisplayNameOnce) {
    auto desktopFolder = std::make_shared<TVirtualFolder>();
    TShellFolder desktop(nullptr, shell::TItemIdList(), desktopFolder);
    TShellFolder panel(&desktop, shell::TItemIdList::FromItem(shell::TItemKind::Folder, "Panel"), nullptr);
    desktopFolder->Calls = 0;
    EXPECT_EQ(panel.ParsingPath(), "Panel");
    EXPECT_EQ(desktopFolder->Calls, 2);
    EXPECT_EQ(panel.InFolderName(), "Panel");
    EXPECT_EQ(panel.Level(), 0);
    // An item without the can-rename attribute keeps its name without a word.
    EXPECT_FALSE(panel.Rename("New"));
}

TEST(ShellFolder, LevelCountsFromTheParentGivenAtCreation) {
    TShellFolder& desktop = TShellFolder::Desktop();
    TShellFolder top(&desktop, shell::TItemIdList::FromItem(shell::TItemKind::Folder, "a"), nullptr);
    TShellFolder child(&top, shell::TItemIdList::FromItem(shell::TItemKind::Folder, "b"), nullptr);
    TShellFolder grandchild(&child, shell::TItemIdList::FromItem(shell::TItemKind::Folder, "c"), nullptr);
    EXPECT_EQ(top.Level(), 0);
    EXPECT_EQ(child.Level(), 1);
    EXPECT_EQ(grandchild.Level(), 2);
    EXPECT_EQ(shell::PathFromIdList(grandchild.AbsoluteID()), "/a/b/c");
    EXPECT_EQ(grandchild.ParsingPath(), "/a/b/c");
}

struct TNameCase {
    const char* Raw;
    const char* Shown;
};

class ShellFolderNames : public ::testing::TestWithParam<TNameCase> {};

TEST_P(ShellFolderNames, QuestionMarksGoOnlyBeforeADigit) {
    shell::STRRET name;
    name.cStr = GetParam().Raw;
    EXPECT_EQ(NameFromStrRet(name, shell::TItemIdList()), GetParam().Shown);
}

INSTANTIATE_TEST_SUITE_P(ShellFolder, ShellFolderNames,
                         ::testing::Values(TNameCase{"?1?2?", "12"}, TNameCase{"?9", "9"}, TNameCase{"?a?1", "?a?1"},
                                           TNameCase{"?", "?"}, TNameCase{"a?1", "a?1"}, TNameCase{"", ""},
                                           TNameCase{"Photos?", "Photos?"}));
