#include "platform/shell/FileOperations.h"

#include "tests/platform/shell/ShellTestSupport.h"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <thread>

using namespace shell;
using shelltest::Exists;
using shelltest::ReadFile;
using shelltest::TTempFolder;

namespace {

struct TUriCase {
    const char* Name;
    const char* Text;
    std::vector<std::string> Paths;
};

class ParseUriListCase : public ::testing::TestWithParam<TUriCase> {};

std::string LocalHostName() {
    char name[256] = {};
    gethostname(name, sizeof name - 1);
    return name;
}

}  // namespace

TEST_P(ParseUriListCase, FindsTheLocalPaths) { EXPECT_EQ(ParseUriList(GetParam().Text), GetParam().Paths); }

INSTANTIATE_TEST_SUITE_P(
    ParseUriList, ParseUriListCase,
    ::testing::Values(
        TUriCase{"CrLfLines", "file:///a/b\r\nfile:///c\r\n", {"/a/b", "/c"}},
        TUriCase{"BareNewlinesAndNoFinalNewline", "file:///a\nfile:///b", {"/a", "/b"}},
        TUriCase{"CommentsAndBlankLines", "# copied\n\nfile:///x\n", {"/x"}},
        TUriCase{"PercentEscapes", "file:///My%20Pictures/%E5%86%99%e7%9c%9f", {"/My Pictures/写真"}},
        TUriCase{"LocalHost", "file://localhost/srv/a\nFILE://LOCALHOST/srv/b", {"/srv/a", "/srv/b"}},
        TUriCase{"OtherHost", "file://server.example/share/a", {}},
        TUriCase{"OtherSchemes", "http://example.com/a.png\nsmb://host/share\n", {}},
        TUriCase{"CopyOrCutHeaderOfFileManagers", "copy\nfile:///a", {"/a"}},
        TUriCase{"QueryAndFragmentEndThePath", "file:///a/b?x=1\nfile:///c#top", {"/a/b", "/c"}},
        TUriCase{"DotSegmentsAreResolved", "file:///a/./b/../c/", {"/a/c"}},
        TUriCase{"BadEscapes", "file:///a%2\nfile:///a%zz\nfile:///ok", {"/ok"}},
        TUriCase{"EscapedNulIsRefused", "file:///a%00b", {}},
        TUriCase{"SingleSlashForm", "file:/etc/hosts", {"/etc/hosts"}},
        TUriCase{"Empty", "", {}}),
    [](const auto& info) { return std::string(info.param.Name); });

TEST(ParseUriList, AcceptsThisMachinesOwnHostName) {
    std::string host = LocalHostName();
    ASSERT_FALSE(host.empty());
    EXPECT_EQ(ParseUriList("file://" + host + "/tmp/x"), (std::vector<std::string>{"/tmp/x"}));
}

TEST(RenameNoReplace, RenamesButNeverOverwrites) {
    TTempFolder temp;
    std::string a = temp.File("a", "first"), b = temp.File("b", "second");
    EXPECT_EQ(RenameNoReplace(a, b), HRESULT_FROM_WIN32(ERROR_ALREADY_EXISTS));
    EXPECT_EQ(ReadFile(a), "first");
    EXPECT_EQ(ReadFile(b), "second");
    EXPECT_EQ(RenameNoReplace(a, temp / "c"), S_OK);
    EXPECT_EQ(ReadFile(temp / "c"), "first");
    EXPECT_EQ(RenameNoReplace(a, temp / "d"), HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND));
}

TEST(CopyIntoFolder, ClashingNamesGetTheNextFreeNumber) {
    TTempFolder temp;
    std::string target = temp.Folder("target");
    std::string source = temp.File("src/photo.jpg", "new");
    temp.File("target/photo.jpg", "old");
    temp.File("target/photo (2).jpg", "older");
    std::string created;
    ASSERT_EQ(CopyIntoFolder(source, target, &created), S_OK);
    EXPECT_EQ(created, temp / "target/photo (3).jpg");
    EXPECT_EQ(ReadFile(created), "new");
    EXPECT_EQ(ReadFile(temp / "target/photo.jpg"), "old");
    EXPECT_EQ(ReadFile(temp / "target/photo (2).jpg"), "older");
}

struct TCopyNameCase {
    const char* Source;
    bool Folder;
    const char* Expected;
};

class CopyIntoFolderNames : public ::testing::TestWithParam<TCopyNameCase> {};

TEST_P(CopyIntoFolderNames, NumberGoesBeforeTheExtensionOfFilesOnly) {
    TTempFolder temp;
    const TCopyNameCase& param = GetParam();
    std::string source = param.Folder ? temp.Folder(std::string("src/") + param.Source)
                                      : temp.File(std::string("src/") + param.Source);
    // Copying the item into its own folder always clashes with itself.
    std::string created;
    ASSERT_EQ(CopyIntoFolder(source, temp / "src", &created), S_OK);
    EXPECT_EQ(created, temp / (std::string("src/") + param.Expected));
}

INSTANTIATE_TEST_SUITE_P(CopyIntoFolder, CopyIntoFolderNames,
                         ::testing::Values(TCopyNameCase{"a.tar.gz", false, "a.tar (2).gz"},
                                           TCopyNameCase{"README", false, "README (2)"},
                                           TCopyNameCase{".bashrc", false, ".bashrc (2)"},
                                           TCopyNameCase{"my.folder", true, "my.folder (2)"}));

TEST(CopyIntoFolder, LongNamesAreShortenedOnACharacterBoundary) {
    TTempFolder temp;
    // 83 three-byte characters and ".png" make a 253-byte name, too long once " (2)" is added,
    // so the stem loses whole characters.
    std::string stem;
    for (int i = 0; i < 83; ++i)
        stem += "写";
    std::string source = temp.File("src/" + stem + ".png");
    std::string created;
    ASSERT_EQ(CopyIntoFolder(source, temp / "src", &created), S_OK);
    std::string name = std::filesystem::path(created).filename().string();
    EXPECT_LE(name.size(), kMaxItemName);
    EXPECT_EQ(name.substr(name.size() - 8), " (2).png");
    EXPECT_EQ((name.size() - 8) % 3, 0u);
}

TEST(CopyIntoFolder, FoldersAreCopiedWithEverythingInsideAndLinksStayLinks) {
    TTempFolder temp;
    temp.File("src/album/a.png", "pixels");
    temp.File("src/album/deep/b.txt", "text");
    chmod((temp / "src/album/a.png").c_str(), 0640);
    std::filesystem::create_symlink("a.png", temp / "src/album/alias");
    ASSERT_EQ(mkfifo((temp / "src/album/pipe").c_str(), 0600), 0);
    std::string target = temp.Folder("target");
    std::string created;
    ASSERT_EQ(CopyIntoFolder(temp / "src/album", target, &created), S_OK);
    EXPECT_EQ(created, temp / "target/album");
    EXPECT_EQ(ReadFile(temp / "target/album/a.png"), "pixels");
    EXPECT_EQ(ReadFile(temp / "target/album/deep/b.txt"), "text");
    EXPECT_EQ(std::filesystem::read_symlink(temp / "target/album/alias"), "a.png");
    struct stat info;
    ASSERT_EQ(stat((temp / "target/album/a.png").c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0640u);
    // A pipe inside a folder is left out rather than read, which could block for ever.
    EXPECT_FALSE(Exists(temp / "target/album/pipe"));
}

TEST(CopyIntoFolder, RefusesPipesLoopsAndMissingSources) {
    TTempFolder temp;
    std::string target = temp.Folder("target");
    ASSERT_EQ(mkfifo((temp / "pipe").c_str(), 0600), 0);
    EXPECT_EQ(CopyIntoFolder(temp / "pipe", target), HRESULT_FROM_WIN32(ERROR_NOT_SUPPORTED));
    EXPECT_FALSE(Exists(temp / "target/pipe"));

    temp.Folder("target/inner");
    EXPECT_EQ(CopyIntoFolder(target, temp / "target/inner"), E_INVALIDARG);
    EXPECT_EQ(CopyIntoFolder(target, target), E_INVALIDARG);
    std::filesystem::create_directory_symlink(target, temp / "alias");
    EXPECT_EQ(CopyIntoFolder(target, temp / "alias/inner"), E_INVALIDARG);

    EXPECT_EQ(CopyIntoFolder(temp / "missing", target), HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND));
    EXPECT_EQ(CopyIntoFolder(temp / "pipe", temp / "no-folder"), HRESULT_FROM_WIN32(ERROR_PATH_NOT_FOUND));
    EXPECT_EQ(CopyIntoFolder("/", target), E_INVALIDARG);
}

TEST(PasteUriList, CopiesWhatItCanAndReportsTheFirstFailure) {
    TTempFolder temp;
    std::string target = temp.Folder("target");
    temp.File("one.txt", "1");
    temp.File("two words.txt", "2");
    std::string list = "file://" + temp.Path() + "/one.txt\r\nfile://" + temp.Path() + "/missing\r\nfile://" +
                       temp.Path() + "/two%20words.txt\r\n";
    std::vector<std::string> created;
    EXPECT_EQ(PasteUriList(list, target, &created), HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND));
    EXPECT_EQ(created, (std::vector<std::string>{temp / "target/one.txt", temp / "target/two words.txt"}));
    EXPECT_EQ(ReadFile(temp / "target/two words.txt"), "2");
    EXPECT_EQ(PasteUriList("http://example.com/x\n", target, &created), S_FALSE);
}

TEST(LaunchDetached, StartsTheProgramInTheFolderWithoutWaitingForIt) {
    TTempFolder temp;
    std::string folder = temp.Folder("work dir");
    std::string marker = temp / "marker";
    ASSERT_EQ(LaunchDetached({"sh", "-c", "sleep 0.2; pwd > \"$0\"", marker}, folder), S_OK);
    // The call came back before the program could have written anything.
    EXPECT_FALSE(Exists(marker));
    for (int i = 0; i < 100 && ReadFile(marker).empty(); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    EXPECT_EQ(ReadFile(marker), folder + "\n");
}

TEST(LaunchDetached, FailsForAMissingProgramOrFolder) {
    TTempFolder temp;
    EXPECT_EQ(LaunchDetached({"vistel-no-such-program"}, temp.Path()), HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND));
    EXPECT_EQ(LaunchDetached({"sh"}, temp / "missing"), HRESULT_FROM_WIN32(ERROR_PATH_NOT_FOUND));
    EXPECT_EQ(LaunchDetached({}, temp.Path()), E_INVALIDARG);
}

TEST(ShellOpen, HandsThePathToXdgOpenThroughTheLauncher) {
    std::vector<std::string> argv;
    std::string folder;
    TLauncher previous = SetLauncher([&](const std::vector<std::string>& a, const std::string& f) {
        argv = a;
        folder = f;
        return S_OK;
    });
    EXPECT_EQ(ShellOpen("/srv/photos/a b", "/srv/photos"), S_OK);
    SetLauncher(previous);
    EXPECT_EQ(argv, (std::vector<std::string>{"xdg-open", "/srv/photos/a b"}));
    EXPECT_EQ(folder, "/srv/photos");
}
