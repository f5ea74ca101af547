#include "platform/shell/FileOperations.h"

#include "tests/platform/shell/ShellTestSupport.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>

using namespace shell;
using shelltest::Exists;
using shelltest::ReadFile;
using shelltest::TScopedEnv;
using shelltest::TTempFolder;
using ::testing::MatchesRegex;

namespace {

class TrashTest : public ::testing::Test {
protected:
    TTempFolder FTemp;
    TScopedEnv FDataHome{"XDG_DATA_HOME", FTemp / "data"};
    std::string FTrash = FTemp / "data/Trash";
};

}  // namespace

TEST_F(TrashTest, MovesTheItemAndWritesItsInfoFile) {
    std::string item = FTemp.File("docs/a b%.txt", "contents");
    std::string trashedAs;
    ASSERT_EQ(MoveToTrash(item, &trashedAs), S_OK);
    EXPECT_FALSE(Exists(item));
    EXPECT_EQ(trashedAs, FTrash + "/files/a b%.txt");
    EXPECT_EQ(ReadFile(trashedAs), "contents");
    std::string info = ReadFile(FTrash + "/info/a b%.txt.trashinfo");
    std::string escapedFolder = FTemp.Path();  // Temporary folder names need no escaping.
    EXPECT_THAT(info, MatchesRegex("\\[Trash Info\\]\nPath=" + escapedFolder + "/docs/a%20b%25\\.txt\n" +
                                   "DeletionDate=[0-9]{4}-[0-9]{2}-[0-9]{2}T[0-9]{2}:[0-9]{2}:[0-9]{2}\n"));
    struct stat mode;
    ASSERT_EQ(stat(FTrash.c_str(), &mode), 0);
    EXPECT_EQ(mode.st_mode & 0777, 0700u);
}

TEST_F(TrashTest, FoldersGoWholeAndNamesAlreadyInTheTrashAreNotReplaced) {
    FTemp.File("one/album/a.png", "first");
    FTemp.File("two/album/b.png", "second");
    std::string first, second;
    ASSERT_EQ(MoveToTrash(FTemp / "one/album", &first), S_OK);
    ASSERT_EQ(MoveToTrash(FTemp / "two/album", &second), S_OK);
    EXPECT_EQ(first, FTrash + "/files/album");
    EXPECT_NE(second, first);
    EXPECT_EQ(ReadFile(first + "/a.png"), "first");
    EXPECT_EQ(ReadFile(second + "/b.png"), "second");
    std::string secondInfo = FTrash + "/info/" + std::filesystem::path(second).filename().string() + ".trashinfo";
    EXPECT_THAT(ReadFile(secondInfo), ::testing::HasSubstr("Path=" + FTemp.Path() + "/two/album\n"));

    // A stray info file without its item still blocks its name.
    FTemp.File("data/Trash/info/stray.trashinfo", "[Trash Info]\n");
    std::string third;
    ASSERT_EQ(MoveToTrash(FTemp.File("stray"), &third), S_OK);
    EXPECT_NE(third, FTrash + "/files/stray");
}

TEST_F(TrashTest, LongNamesLeaveRoomForTheInfoSuffix) {
    std::string name(kMaxItemName, 'n');
    std::string trashedAs;
    ASSERT_EQ(MoveToTrash(FTemp.File(name), &trashedAs), S_OK);
    std::string trashName = std::filesystem::path(trashedAs).filename().string();
    EXPECT_LE(trashName.size() + 10, kMaxItemName);
    EXPECT_TRUE(Exists(FTrash + "/info/" + trashName + ".trashinfo"));
}

TEST_F(TrashTest, FailuresLeaveNoInfoFileBehind) {
    EXPECT_EQ(MoveToTrash(FTemp / "missing"), HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND));
    EXPECT_EQ(MoveToTrash("/"), E_INVALIDARG);
    EXPECT_EQ(MoveToTrash("relative"), E_INVALIDARG);
    // The trash and the folders that hold it cannot go into the trash.
    MoveToTrash(FTemp.File("made-the-trash"));
    EXPECT_EQ(MoveToTrash(FTrash + "/files"), HRESULT_FROM_WIN32(ERROR_ACCESS_DENIED));
    EXPECT_EQ(MoveToTrash(FTemp / "data"), HRESULT_FROM_WIN32(ERROR_ACCESS_DENIED));
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(FTrash + "/info"), {}), 1);
}

TEST_F(TrashTest, ItemsOnAnotherFileSystemGoToTheTrashAtItsTop) {
    // /dev/shm is a file system of its own on most machines; its top folder gets a .Trash-<uid>.
    struct stat shm, data;
    std::filesystem::create_directories(FTemp / "data");
    if (stat("/dev/shm", &shm) != 0 || stat((FTemp / "data").c_str(), &data) != 0 || shm.st_dev == data.st_dev ||
        access("/dev/shm", W_OK) != 0 || Exists("/dev/shm/.Trash"))
        GTEST_SKIP() << "no second writable file system";
    std::string top = "/dev/shm/.Trash-" + std::to_string(geteuid());
    bool madeTop = !Exists(top);
    std::string item = "/dev/shm/vistel-trash-test-" + std::to_string(getpid());
    std::filesystem::create_directory(item);
    std::string trashedAs;
    HRESULT hr = MoveToTrash(item, &trashedAs);
    std::string infoPath = top + "/info/" + std::filesystem::path(trashedAs).filename().string() + ".trashinfo";
    std::string info = ReadFile(infoPath);
    std::error_code ignored;
    std::filesystem::remove_all(madeTop ? top : trashedAs, ignored);
    std::filesystem::remove(infoPath, ignored);
    std::filesystem::remove_all(item, ignored);
    ASSERT_EQ(hr, S_OK);
    EXPECT_EQ(std::filesystem::path(trashedAs).parent_path(), top + "/files");
    // Below a top folder the recorded path is relative to it.
    EXPECT_THAT(info, ::testing::HasSubstr("\nPath=vistel-trash-test-" + std::to_string(getpid()) + "\n"));
}
