#include "platform/shell/FileSearch.h"

#include "tests/platform/shell/ShellTestSupport.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>
#include <fstream>
#include <map>
#include <ostream>
#include <string>

namespace fs = std::filesystem;
using ::testing::UnorderedElementsAre;

namespace {

// ---- The wildcard rule ----

struct TWildcardCase {
    const char* Name;
    const char* Pattern;
    bool Matches;
};

void PrintTo(const TWildcardCase& c, std::ostream* out) { *out << '"' << c.Name << "\" ~ \"" << c.Pattern << '"'; }

class MatchesWildcardTest : public ::testing::TestWithParam<TWildcardCase> {};

TEST_P(MatchesWildcardTest, FollowsThePlatformRule) {
    const TWildcardCase& c = GetParam();
    EXPECT_EQ(shell::MatchesWildcard(c.Name, c.Pattern), c.Matches) << c.Name << " ~ " << c.Pattern;
}

INSTANTIATE_TEST_SUITE_P(
    Cases, MatchesWildcardTest,
    ::testing::Values(
        // "*.*" matches every name, with or without an extension; "*." only names without one.
        TWildcardCase{"a.bmp", "*.*", true}, TWildcardCase{"README", "*.*", true},
        TWildcardCase{"archive.tar.gz", "*.*", true}, TWildcardCase{"trailing.", "*.*", true},
        TWildcardCase{"README", "*", true}, TWildcardCase{"README", "*.", true},
        TWildcardCase{"a.txt", "*.", false},
        // A star before a dot stops at the name's last dot.
        TWildcardCase{"a.bmp", "*.bmp", true}, TWildcardCase{"a.b.bmp", "*.bmp", true},
        TWildcardCase{"a.bmp.txt", "*.bmp", false}, TWildcardCase{"bmp", "*.bmp", false},
        TWildcardCase{"a.b.c", "*.b*", true}, TWildcardCase{"photo.jpeg", "*.jp*", true},
        // A dot before a wildcard may meet the end of the name.
        TWildcardCase{"a", "a.*", true}, TWildcardCase{"a.txt", "a.*", true}, TWildcardCase{"ab", "a.*", false},
        // "?" takes one character, but never a dot, and nothing at a dot or at the end.
        TWildcardCase{"ab.txt", "a?.txt", true}, TWildcardCase{"a.txt", "a?.txt", true},
        TWildcardCase{"abc.txt", "a?.txt", false}, TWildcardCase{"ab", "???", true},
        TWildcardCase{"abc", "???", true}, TWildcardCase{"abcd", "???", false}, TWildcardCase{"a.b", "a?b", false},
        // Letters match without regard to case, also beyond ASCII; "?" counts characters.
        TWildcardCase{"A.BMP", "*.bmp", true}, TWildcardCase{"\xC3\x9C" "ber.TXT", "\xC3\xBC*.txt", true},
        TWildcardCase{"\xE6\x97\xA5\xE6\x9C\xAC\xE8\xAA\x9E.png", "???.png", true},
        TWildcardCase{"\xE6\x97\xA5\xE6\x9C\xAC\xE8\xAA\x9E.png", "??.png", false},
        // Bytes that are not UTF-8 are characters that only match themselves.
        TWildcardCase{"\xFF.bmp", "?.bmp", true}, TWildcardCase{"\xFF.bmp", "\xFF.BMP", true},
        TWildcardCase{"\xFF.bmp", "\xFE.bmp", false},
        // Literal text and the empty pattern.
        TWildcardCase{"a.bmp", "a.bmp", true}, TWildcardCase{"a.bmp", "b.bmp", false},
        TWildcardCase{"a.bmp", "", false},
        // Many stars against a long name that almost matches: answered without backtracking.
        TWildcardCase{"aaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaab",
                      "*a*a*a*a*a*a*a*a*a*a*a*a*a*a*a*a*a*a*a*a*c", false}));

TEST(SameFileName, IgnoresCaseButKeepsOtherBytesApart) {
    EXPECT_TRUE(shell::SameFileName("Photo.JPG", "photo.jpg"));
    EXPECT_TRUE(shell::SameFileName("\xC3\x84pfel", "\xC3\xA4PFEL"));  // Ä and ä
    EXPECT_FALSE(shell::SameFileName("photo.jpg", "photo.jpeg"));
    EXPECT_FALSE(shell::SameFileName("\xFF", "\xFE"));
}

// ---- Searches, attributes and the current folder ----

class FileSearchTest : public ::testing::Test {
protected:
    void SetUp() override {
        FSaved = fs::current_path();
        std::string pattern = (fs::temp_directory_path() / "vistel-search-XXXXXX").string();
        ASSERT_NE(mkdtemp(pattern.data()), nullptr);
        FRoot = fs::canonical(pattern);
    }
    void TearDown() override {
        fs::current_path(FSaved);
        fs::remove_all(FRoot);
    }
    void MakeFile(const std::string& name, const std::string& bytes = "x") {
        std::ofstream(FRoot / name) << bytes;
    }
    std::string At(const std::string& name) const { return (FRoot / name).string(); }
    // A folder with one entry of each kind the attributes tell apart.
    void MakeMixedFolder() {
        MakeFile("plain.txt", "12345");
        MakeFile("locked.txt");
        fs::permissions(FRoot / "locked.txt", fs::perms::owner_read | fs::perms::group_read);
        MakeFile(".hidden.txt");
        fs::create_directory(FRoot / "folder");
        ASSERT_EQ(mkfifo(At("pipe").c_str(), 0600), 0);
        fs::create_symlink(FRoot / "plain.txt", FRoot / "link.txt");
        fs::create_symlink(FRoot / "nowhere", FRoot / "dangling");
        fs::create_directory_symlink(FRoot / "folder", FRoot / "folderlink");
    }
    // Every entry a search finds, with its attributes.
    std::map<std::string, int> Search(const std::string& path, int attr) {
        std::map<std::string, int> found;
        for (shell::TFileSearch search(path, attr); search.Found(); search.Next())
            found[search.Current().Name] = search.Current().Attr;
        return found;
    }
    std::vector<std::string> Names(const std::map<std::string, int>& found) {
        std::vector<std::string> names;
        for (const auto& [name, attr] : found)
            names.push_back(name);
        return names;
    }

    fs::path FSaved;
    fs::path FRoot;
};

TEST_F(FileSearchTest, PlainSearchSkipsHiddenSystemAndFolderEntries) {
    MakeMixedFolder();
    EXPECT_THAT(Names(Search(At("*.*"), 0)), UnorderedElementsAre("plain.txt", "locked.txt", "link.txt"));
}

TEST_F(FileSearchTest, AttributesDescribeEachKindOfEntry) {
    MakeMixedFolder();
    const auto found = Search(At("*"), shell::faAnyFile);
    EXPECT_EQ(found.at("plain.txt"), 0);
    EXPECT_EQ(found.at("locked.txt"), shell::faReadOnly);
    EXPECT_EQ(found.at(".hidden.txt"), shell::faHidden);
    EXPECT_EQ(found.at("folder"), shell::faDirectory);
    EXPECT_EQ(found.at("folderlink"), shell::faDirectory);
    EXPECT_EQ(found.at("pipe"), shell::faSysFile);
    EXPECT_EQ(found.at("link.txt"), 0);
    EXPECT_EQ(found.at("dangling"), shell::faSysFile);
    EXPECT_EQ(found.at("."), shell::faDirectory | shell::faHidden);
    EXPECT_EQ(found.at(".."), shell::faDirectory | shell::faHidden);
}

TEST_F(FileSearchTest, EachAskedAttributeLetsItsKindThrough) {
    MakeMixedFolder();
    EXPECT_THAT(Names(Search(At("*"), shell::faDirectory)),
                UnorderedElementsAre("plain.txt", "locked.txt", "link.txt", "folder", "folderlink"));
    EXPECT_THAT(Names(Search(At("*"), shell::faHidden)),
                UnorderedElementsAre("plain.txt", "locked.txt", "link.txt", ".hidden.txt"));
    EXPECT_THAT(Names(Search(At("*"), shell::faSysFile)),
                UnorderedElementsAre("plain.txt", "locked.txt", "link.txt", "pipe", "dangling"));
    // Read-only and archive files are never left out, so asking for them changes nothing.
    EXPECT_THAT(Names(Search(At("*"), shell::faReadOnly | shell::faArchive)),
                UnorderedElementsAre("plain.txt", "locked.txt", "link.txt"));
}

TEST_F(FileSearchTest, ReportsSizeAndModificationTime) {
    MakeFile("five.bin", "12345");
    struct stat status {};
    ASSERT_EQ(stat(At("five.bin").c_str(), &status), 0);
    shell::TFileSearch search(At("five.bin"), 0);
    ASSERT_TRUE(search.Found());
    EXPECT_EQ(search.Current().Name, "five.bin");
    EXPECT_EQ(search.Current().Size, 5);
    EXPECT_EQ(search.Current().Time, status.st_mtime);
    EXPECT_FALSE(search.Next());
    EXPECT_FALSE(search.Found());
    EXPECT_EQ(search.Error(), ENOENT);
}

TEST_F(FileSearchTest, PatternWithoutFolderSearchesTheCurrentFolder) {
    MakeFile("a.bmp");
    MakeFile("b.png");
    fs::create_directory(FRoot / "sub");
    std::ofstream(FRoot / "sub" / "c.bmp") << "x";
    fs::current_path(FRoot);
    EXPECT_THAT(Names(Search("*.bmp", 0)), UnorderedElementsAre("a.bmp"));
    EXPECT_THAT(Names(Search("sub/*.bmp", 0)), UnorderedElementsAre("c.bmp"));
}

TEST_F(FileSearchTest, NothingFoundTellsWhy) {
    MakeFile("a.bmp");
    shell::TFileSearch none(At("*.png"), 0);
    EXPECT_FALSE(none.Found());
    EXPECT_EQ(none.Error(), ENOENT);
    shell::TFileSearch missing(At("missing/*.*"), 0);
    EXPECT_FALSE(missing.Found());
    EXPECT_EQ(missing.Error(), ENOENT);
    shell::TFileSearch notFolder(At("a.bmp/*.*"), 0);
    EXPECT_FALSE(notFolder.Found());
    EXPECT_EQ(notFolder.Error(), ENOTDIR);
    shell::TFileSearch empty(At(""), 0);
    EXPECT_FALSE(empty.Found());
    // A path with a zero byte would name a different file to the system; it names none here.
    shell::TFileSearch nul(At(std::string("a.bmp\0/x", 8)), 0);
    EXPECT_FALSE(nul.Found());
}

TEST_F(FileSearchTest, ExistenceQueriesTellFilesFromFolders) {
    MakeMixedFolder();
    EXPECT_TRUE(shell::FileExists(At("plain.txt")));
    EXPECT_TRUE(shell::FileExists(At("pipe")));
    EXPECT_TRUE(shell::FileExists(At("link.txt")));
    EXPECT_FALSE(shell::FileExists(At("folder")));
    EXPECT_FALSE(shell::FileExists(At("dangling")));
    EXPECT_FALSE(shell::FileExists(At("missing")));
    EXPECT_FALSE(shell::FileExists(""));
    EXPECT_FALSE(shell::FileExists(std::string(At("plain.txt")) + std::string("\0x", 2)));
    EXPECT_TRUE(shell::DirectoryExists(At("folder")));
    EXPECT_TRUE(shell::DirectoryExists(At("folderlink")));
    EXPECT_FALSE(shell::DirectoryExists(At("plain.txt")));
    EXPECT_FALSE(shell::DirectoryExists(At("missing")));

    EXPECT_EQ(shell::FileGetAttr(At("locked.txt")), shell::faReadOnly);
    EXPECT_EQ(shell::FileGetAttr(At(".hidden.txt")), shell::faHidden);
    EXPECT_EQ(shell::FileGetAttr(At("folder/")), shell::faDirectory);
    EXPECT_EQ(shell::FileGetAttr(At("dangling")), shell::faSysFile);
    EXPECT_EQ(shell::FileGetAttr(At("missing")), -1);
}

TEST_F(FileSearchTest, ResolveFolderMakesFoldersAbsoluteWithoutEnteringThem) {
    fs::create_directories(FRoot / "sub" / "deeper");
    fs::create_directory_symlink(FRoot / "sub", FRoot / "link");
    MakeFile("file");
    fs::current_path(FRoot / "sub" / "deeper");
    EXPECT_EQ(shell::ResolveFolder(FRoot.string()), FRoot.string());
    // A relative path goes by the base when there is one, and by the current folder otherwise.
    EXPECT_EQ(shell::ResolveFolder("sub", FRoot.string()), At("sub"));
    EXPECT_EQ(shell::ResolveFolder(".."), At("sub"));
    EXPECT_EQ(shell::ResolveFolder("link/./deeper/..", FRoot.string()), At("sub"));
    EXPECT_EQ(shell::ResolveFolder(At("sub") + "/", "/elsewhere"), At("sub"));
    EXPECT_EQ(fs::current_path(), FRoot / "sub" / "deeper");

    EXPECT_EQ(shell::ResolveFolder(At("missing")), std::nullopt);
    EXPECT_EQ(shell::ResolveFolder("file", FRoot.string()), std::nullopt);
    EXPECT_EQ(shell::ResolveFolder(""), std::nullopt);
    EXPECT_EQ(shell::ResolveFolder(At("sub") + std::string("\0x", 2)), std::nullopt);
}

TEST_F(FileSearchTest, ResolveFolderRefusesAFolderItMayNotRead) {
    fs::create_directory(FRoot / "locked");
    fs::create_directory(FRoot / "open");
    MakeFile("locked/inside.txt");
    shelltest::ShareFolder(FRoot.string());
    shelltest::LockFolder(At("locked"));
    const int result = shelltest::RunUnprivileged([&] {
        if (!shelltest::CannotOpen(At("locked")))
            return 1;
        if (shell::ResolveFolder(At("locked")) || shell::ResolveFolder("locked", FRoot.string()))
            return 2;
        // Its name is still known: the folder above it lists it.
        shell::TFileSearch search(At("lock*"), shell::faDirectory);
        if (!search.Found() || search.Current().Name != "locked")
            return 3;
        return shell::ResolveFolder(At("open")) == At("open") ? 0 : 4;
    });
    shelltest::UnlockFolder(At("locked"));
    EXPECT_EQ(result, 0);
}

TEST_F(FileSearchTest, RemovedCurrentFolderHasNoPath) {
    fs::create_directory(FRoot / "gone");
    fs::current_path(FRoot / "gone");
    fs::remove(FRoot / "gone");
    EXPECT_EQ(shell::GetCurrentDir(), "");
}

TEST_F(FileSearchTest, SamePathIgnoresCaseUnlessBothSpellingsExistApart) {
    fs::create_directory(FRoot / "Pics");
    EXPECT_TRUE(shell::SamePath(At("Pics"), At("Pics")));
    EXPECT_TRUE(shell::SamePath(At("Pics"), At("PICS")));
    EXPECT_FALSE(shell::SamePath(At("Pics"), At("Pictures")));
    fs::create_directory(FRoot / "pics");
    EXPECT_FALSE(shell::SamePath(At("Pics"), At("pics")));
    fs::create_directory_symlink(FRoot / "Pics", FRoot / "PICS");
    EXPECT_TRUE(shell::SamePath(At("Pics"), At("PICS")));
}

}  // namespace
