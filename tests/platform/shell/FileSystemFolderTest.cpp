#include "platform/shell/Collation.h"
#include "platform/shell/ShellApi.h"

#include "tests/platform/shell/ShellTestSupport.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <algorithm>
#include <filesystem>

using namespace shell;
using shelltest::Exists;
using shelltest::TTempFolder;

namespace {

class FileSystemFolderTest : public ::testing::Test {
protected:
    void SetUp() override {
        SetCollationLocale("C");
        ASSERT_EQ(SHGetDesktopFolder(FDesktop), S_OK);
        ASSERT_EQ(FDesktop->BindToObject(Parse(FTemp.Path()), FFolder), S_OK);
    }
    void TearDown() override { SetCollationLocale(""); }

    TItemIdList Parse(const std::string& path) {
        TItemIdList item;
        EXPECT_EQ(ILCreateFromPath(path, item), S_OK) << path;
        return item;
    }
    static TItemIdList Child(TItemKind kind, const std::string& name) { return TItemIdList::FromItem(kind, name); }

    std::vector<std::string> Enumerate(SHCONTF flags) {
        std::unique_ptr<IEnumIDList> items;
        EXPECT_EQ(FFolder->EnumObjects(flags, items), S_OK);
        std::vector<std::string> names;
        TItemIdList item;
        while (items && items->Next(item) == S_OK)
            names.emplace_back(item.Last().Name);
        std::sort(names.begin(), names.end());
        return names;
    }

    SFGAOF Attributes(const std::string& name, SFGAOF requested) {
        TItemIdList item = Child(TItemKind::Folder, name);
        const TItemIdList* items[] = {&item};
        EXPECT_EQ(FFolder->GetAttributesOf(items, requested), S_OK) << name;
        return requested;
    }

    std::string DisplayName(const TItemIdList& item, SHGDNF flags, IShellFolder* folder = nullptr) {
        STRRET name;
        EXPECT_EQ((folder ? folder : FFolder.get())->GetDisplayNameOf(item, flags, name), S_OK);
        std::string text;
        EXPECT_EQ(StrRetToStrA(name, item, text), S_OK);
        return text;
    }

    short Compare(const TItemIdList& a, const TItemIdList& b, LPARAM column = 0) {
        HRESULT hr = FFolder->CompareIDs(column, a, b);
        EXPECT_TRUE(SUCCEEDED(hr));
        return static_cast<short>(HRESULT_CODE(hr));
    }

    TTempFolder FTemp;
    std::shared_ptr<IShellFolder> FDesktop;
    std::shared_ptr<IShellFolder> FFolder;
};

}  // namespace

TEST_F(FileSystemFolderTest, DesktopParsesAbsolutePathsIntoOneItemPerComponent) {
    std::string file = FTemp.File("sub/photo.png");
    TItemIdList item = Parse(FTemp.Path() + "//sub/./photo.png");
    EXPECT_EQ(PathFromIdList(item), file);
    auto items = item.Items();
    ASSERT_FALSE(items.empty());
    EXPECT_EQ(items.back().Kind, TItemKind::Other);
    EXPECT_EQ(items[items.size() - 2].Kind, TItemKind::Folder);
    EXPECT_EQ(PathFromIdList(Parse("/")), "/");
    EXPECT_TRUE(Parse("/").Empty());

    TItemIdList missing;
    EXPECT_EQ(ILCreateFromPath(FTemp / "nothing", missing), HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND));
    EXPECT_EQ(ILCreateFromPath("relative/path", missing), E_INVALIDARG);
}

TEST_F(FileSystemFolderTest, FolderParsesNamesRelativeToItselfAndNeverAbove) {
    FTemp.Folder("a/b");
    TItemIdList item;
    SFGAOF attributes = SFGAO_FOLDER;
    ASSERT_EQ(FFolder->ParseDisplayName("a/b", item, &attributes), S_OK);
    EXPECT_EQ(item.Count(), 2u);
    EXPECT_EQ(attributes, SFGAO_FOLDER);
    EXPECT_EQ(FFolder->ParseDisplayName("../outside", item, nullptr), E_INVALIDARG);
    EXPECT_EQ(FFolder->ParseDisplayName("", item, nullptr), E_INVALIDARG);
}

TEST_F(FileSystemFolderTest, EnumerationChoosesFoldersFilesAndHiddenItemsByFlags) {
    FTemp.Folder("Pictures");
    FTemp.Folder(".cache");
    FTemp.File("notes.txt");
    FTemp.File(".profile");
    std::filesystem::create_directory_symlink(FTemp / "Pictures", FTemp / "link-to-folder");
    std::filesystem::create_symlink(FTemp / "gone", FTemp / "broken-link");

    EXPECT_EQ(Enumerate(SHCONTF_FOLDERS), (std::vector<std::string>{"Pictures", "link-to-folder"}));
    EXPECT_EQ(Enumerate(SHCONTF_NONFOLDERS), (std::vector<std::string>{"broken-link", "notes.txt"}));
    EXPECT_EQ(Enumerate(SHCONTF_FOLDERS | SHCONTF_INCLUDEHIDDEN),
              (std::vector<std::string>{".cache", "Pictures", "link-to-folder"}));
    EXPECT_EQ(Enumerate(SHCONTF_FOLDERS | SHCONTF_NONFOLDERS | SHCONTF_INCLUDEHIDDEN).size(), 6u);
}

TEST_F(FileSystemFolderTest, EnumerationOfAFolderThatIsGoneFails) {
    std::shared_ptr<IShellFolder> gone;
    FTemp.Folder("gone");
    ASSERT_EQ(FFolder->BindToObject(Child(TItemKind::Folder, "gone"), gone), S_OK);
    std::filesystem::remove(FTemp / "gone");
    std::unique_ptr<IEnumIDList> items;
    EXPECT_EQ(gone->EnumObjects(SHCONTF_FOLDERS, items), HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND));
    EXPECT_FALSE(items);
}

TEST_F(FileSystemFolderTest, BindingToAFileFails) {
    FTemp.File("file");
    std::shared_ptr<IShellFolder> folder;
    EXPECT_EQ(FFolder->BindToObject(Child(TItemKind::Other, "file"), folder), HRESULT_FROM_WIN32(ERROR_DIRECTORY));
    EXPECT_EQ(FFolder->BindToObject(Child(TItemKind::Folder, "missing"), folder),
              HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND));
    EXPECT_FALSE(folder);
}

TEST_F(FileSystemFolderTest, HasSubfolderCountsHiddenFoldersButNotFiles) {
    FTemp.Folder("with/child");
    FTemp.Folder("only-hidden/.git");
    FTemp.File("only-files/a.txt");
    FTemp.Folder("empty");
    EXPECT_EQ(Attributes("with", SFGAO_HASSUBFOLDER), SFGAO_HASSUBFOLDER);
    EXPECT_EQ(Attributes("only-hidden", SFGAO_HASSUBFOLDER), SFGAO_HASSUBFOLDER);
    EXPECT_EQ(Attributes("only-files", SFGAO_HASSUBFOLDER), 0u);
    EXPECT_EQ(Attributes("empty", SFGAO_HASSUBFOLDER | SFGAO_FOLDER), SFGAO_FOLDER);
}

TEST_F(FileSystemFolderTest, AttributesFollowNamesModesAndLinks) {
    FTemp.Folder(".hidden");
    FTemp.File("locked");
    chmod((FTemp / "locked").c_str(), 0444);
    std::filesystem::create_directory_symlink(FTemp / ".hidden", FTemp / "link");
    SFGAOF all =
        SFGAO_FOLDER | SFGAO_HIDDEN | SFGAO_READONLY | SFGAO_LINK | SFGAO_STREAM | SFGAO_FILESYSTEM | SFGAO_CANRENAME;
    EXPECT_EQ(Attributes(".hidden", all), SFGAO_FOLDER | SFGAO_HIDDEN | SFGAO_FILESYSTEM | SFGAO_CANRENAME);
    EXPECT_EQ(Attributes("locked", all), SFGAO_READONLY | SFGAO_STREAM | SFGAO_FILESYSTEM | SFGAO_CANRENAME);
    EXPECT_EQ(Attributes("link", all), SFGAO_FOLDER | SFGAO_LINK | SFGAO_FILESYSTEM | SFGAO_CANRENAME);

    // Attributes of several items are those they all have; the root can never be renamed.
    FTemp.Folder("plain");
    TItemIdList hidden = Child(TItemKind::Folder, ".hidden"), plain = Child(TItemKind::Folder, "plain");
    const TItemIdList* both[] = {&hidden, &plain};
    SFGAOF common = SFGAO_FOLDER | SFGAO_HIDDEN;
    ASSERT_EQ(FFolder->GetAttributesOf(both, common), S_OK);
    EXPECT_EQ(common, SFGAO_FOLDER);
    SFGAOF root = SFGAO_CANRENAME | SFGAO_FOLDER;
    ASSERT_EQ(FDesktop->GetAttributesOf({}, root), S_OK);
    EXPECT_EQ(root, SFGAO_FOLDER);

    TItemIdList missing = Child(TItemKind::Folder, "missing");
    const TItemIdList* gone[] = {&missing};
    SFGAOF none = SFGAO_FOLDER;
    EXPECT_EQ(FFolder->GetAttributesOf(gone, none), HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND));
}

TEST_F(FileSystemFolderTest, DisplayNamesShowUtf8AndParsingNamesKeepTheBytes) {
    std::string raw = "caf\xE9";  // Latin-1, not UTF-8.
    FTemp.Folder(raw);
    FTemp.Folder("写真");
    TItemIdList item = Child(TItemKind::Folder, raw);
    EXPECT_EQ(DisplayName(item, SHGDN_NORMAL), "caf\xEF\xBF\xBD");
    EXPECT_EQ(DisplayName(item, SHGDN_INFOLDER), "caf\xEF\xBF\xBD");
    EXPECT_EQ(DisplayName(item, SHGDN_FORPARSING), FTemp / raw);
    EXPECT_EQ(DisplayName(item, SHGDN_FORPARSING | SHGDN_INFOLDER), raw);
    EXPECT_EQ(DisplayName(Child(TItemKind::Folder, "写真"), SHGDN_NORMAL), "写真");

    TItemIdList full = Parse(FTemp / "写真");
    EXPECT_EQ(DisplayName(full, SHGDN_NORMAL, FDesktop.get()), "写真");
    EXPECT_EQ(DisplayName(full, SHGDN_FORPARSING, FDesktop.get()), FTemp / "写真");
    EXPECT_EQ(DisplayName(TItemIdList(), SHGDN_FORPARSING, FDesktop.get()), "/");
    EXPECT_EQ(DisplayName(TItemIdList(), SHGDN_NORMAL, FDesktop.get()), "/");
}

TEST_F(FileSystemFolderTest, CompareIDsPutsFoldersFirstThenNaturalCaseInsensitiveOrder) {
    auto folder = [](const char* name) { return Child(TItemKind::Folder, name); };
    EXPECT_LT(Compare(folder("zoo"), Child(TItemKind::Other, "apple")), 0);
    EXPECT_LT(Compare(folder("img2"), folder("IMG10")), 0);
    EXPECT_LT(Compare(folder("alpha"), folder("Beta")), 0);
    EXPECT_GT(Compare(folder("Beta"), folder("alpha")), 0);
    EXPECT_EQ(Compare(folder("same"), folder("same")), 0);
    // Names equal to the collation are still different items.
    EXPECT_NE(Compare(folder("Photos"), folder("photos")), 0);
    EXPECT_EQ(Compare(folder("Photos"), folder("photos")), -Compare(folder("photos"), folder("Photos")));

    TItemIdList parent = folder("a");
    TItemIdList child = parent.Join(folder("b"));
    EXPECT_LT(Compare(parent, child), 0);
    EXPECT_GT(Compare(child, parent), 0);
    // The canonical comparison looks at bytes alone.
    EXPECT_GT(Compare(folder("img2"), folder("img10"), SHCIDS_CANONICALONLY), 0);
    EXPECT_EQ(FFolder->CompareIDs(3, parent, child), E_INVALIDARG);
}

TEST_F(FileSystemFolderTest, SetNameOfRenamesWithoutReplacing) {
    FTemp.File("old/inside.txt", "kept");
    FTemp.File("taken/mine.txt", "mine");
    TItemIdList renamed;
    ASSERT_EQ(FFolder->SetNameOf(Child(TItemKind::Folder, "old"), "new", SHGDN_NORMAL, &renamed), S_OK);
    EXPECT_EQ(renamed, Child(TItemKind::Folder, "new"));
    EXPECT_EQ(shelltest::ReadFile(FTemp / "new/inside.txt"), "kept");
    EXPECT_FALSE(Exists(FTemp / "old"));

    EXPECT_EQ(FFolder->SetNameOf(Child(TItemKind::Folder, "new"), "taken", SHGDN_NORMAL, &renamed),
              HRESULT_FROM_WIN32(ERROR_ALREADY_EXISTS));
    EXPECT_EQ(shelltest::ReadFile(FTemp / "new/inside.txt"), "kept");
    EXPECT_EQ(shelltest::ReadFile(FTemp / "taken/mine.txt"), "mine");

    EXPECT_EQ(FFolder->SetNameOf(Child(TItemKind::Folder, "missing"), "other", SHGDN_NORMAL, &renamed),
              HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND));
    EXPECT_FALSE(Exists(FTemp / "other"));

    // Giving the name it has already is no change.
    ASSERT_EQ(FFolder->SetNameOf(Child(TItemKind::Folder, "new"), "new", SHGDN_NORMAL, &renamed), S_OK);
    EXPECT_TRUE(Exists(FTemp / "new"));
}

class FileSystemFolderInvalidName : public FileSystemFolderTest, public ::testing::WithParamInterface<std::string> {};

TEST_P(FileSystemFolderInvalidName, IsRefusedAndNothingMoves) {
    FTemp.Folder("folder");
    TItemIdList renamed;
    EXPECT_EQ(FFolder->SetNameOf(Child(TItemKind::Folder, "folder"), GetParam(), SHGDN_NORMAL, &renamed),
              HRESULT_FROM_WIN32(ERROR_INVALID_NAME));
    EXPECT_TRUE(Exists(FTemp / "folder"));
}

INSTANTIATE_TEST_SUITE_P(FileSystemFolder, FileSystemFolderInvalidName,
                         ::testing::Values("", ".", "..", "a/b", "../escape", std::string("nul\0", 4),
                                           std::string(256, 'x')));

TEST(StrRetToStrA, ConvertsEachFormOfTheNameRecord) {
    TItemIdList item = TItemIdList::FromItem(TItemKind::Folder, "ab");
    std::string text;
    STRRET name;
    name.uType = STRRET_CSTR;
    name.cStr = "plain";
    ASSERT_EQ(StrRetToStrA(name, item, text), S_OK);
    EXPECT_EQ(text, "plain");

    name.uType = STRRET_WSTR;
    name.pOleStr = u"写\U0001F600";
    ASSERT_EQ(StrRetToStrA(name, item, text), S_OK);
    EXPECT_EQ(text, "写\xF0\x9F\x98\x80");
    name.pOleStr = std::u16string(u"a") + char16_t(0xD800) + u"b";
    ASSERT_EQ(StrRetToStrA(name, item, text), S_OK);
    EXPECT_EQ(text, "a\xEF\xBF\xBD" "b");

    // The item's bytes are 5, 0, 1, 'a', 'b', 0, 0: offset 3 reaches "ab" and its terminator.
    name.uType = STRRET_OFFSET;
    name.uOffset = 3;
    ASSERT_EQ(StrRetToStrA(name, item, text), S_OK);
    EXPECT_EQ(text, "ab");
    name.uOffset = 7;
    EXPECT_EQ(StrRetToStrA(name, item, text), E_INVALIDARG);
    name.uOffset = 0xFFFFFFFF;
    EXPECT_EQ(StrRetToStrA(name, item, text), E_INVALIDARG);
    name.uType = 9;
    EXPECT_EQ(StrRetToStrA(name, item, text), E_INVALIDARG);
}
