#include "platform/shell/ShellApi.h"
#include "platform/shell/KnownFolders.h"

#include "tests/platform/shell/ShellTestSupport.h"

#include <gtest/gtest.h>

using shelltest::TScopedEnv;
using shelltest::TTempFolder;

namespace {

// A home folder of the test's own, with no XDG settings inherited from the machine.
class SpecialFoldersTest : public ::testing::Test {
protected:
    TTempFolder FTemp;
    std::string FHome = FTemp.Folder("home");
    TScopedEnv FHomeVariable{"HOME", FHome};
    TScopedEnv FConfig{"XDG_CONFIG_HOME", std::nullopt};
    TScopedEnv FData{"XDG_DATA_HOME", std::nullopt};
    TScopedEnv FDocuments{"XDG_DOCUMENTS_DIR", std::nullopt};
    TScopedEnv FDesktop{"XDG_DESKTOP_DIR", std::nullopt};
    TScopedEnv FTemplates{"XDG_TEMPLATES_DIR", std::nullopt};

    void UserDirs(const std::string& text) { FTemp.File("home/.config/user-dirs.dirs", text); }
};

}  // namespace

TEST_F(SpecialFoldersTest, PersonalFolderIsTheConfiguredDocumentsFolder) {
    FTemp.Folder("home/Dokumente");
    UserDirs("# written by xdg-user-dirs-update\n"
             "XDG_DESKTOP_DIR=\"$HOME/Desktop\"\n"
             "XDG_DOCUMENTS_DIR=\"$HOME/Dokumente\"\n");
    EXPECT_EQ(shell::PersonalFolder(), FHome + "/Dokumente");
    EXPECT_EQ(shell::SpecialFolderPath(shell::CSIDL_PERSONAL), FHome + "/Dokumente");
}

TEST_F(SpecialFoldersTest, PersonalFolderIsHomeWhenTheDocumentsFolderIsMissing) {
    UserDirs("XDG_DOCUMENTS_DIR=\"$HOME/Documents\"\n");
    EXPECT_EQ(shell::PersonalFolder(), FHome);
    UserDirs("");
    EXPECT_EQ(shell::PersonalFolder(), FHome);
}

TEST_F(SpecialFoldersTest, UserDirsFileIsReadAsTheShellWouldSourceIt) {
    std::string elsewhere = FTemp.Folder("other \"quoted\" docs");
    UserDirs("  # comment\nXDG_DOCUMENTS_DIR=\"$HOME/first\"\nXDG_DOCUMENTS_DIRX=\"/nowhere\"\n"
             "XDG_DOCUMENTS_DIR=\"" + FTemp.Path() + "/other \\\"quoted\\\" docs/\"\n");
    EXPECT_EQ(shell::ConfiguredUserDirectory("DOCUMENTS"), elsewhere);
    EXPECT_EQ(shell::PersonalFolder(), elsewhere);
    // Only "$HOME/..." and absolute paths are allowed; anything else is no setting.
    UserDirs("XDG_DOCUMENTS_DIR=\"relative/docs\"\nXDG_DESKTOP_DIR=$HOME/Schreibtisch\n");
    EXPECT_EQ(shell::ConfiguredUserDirectory("DOCUMENTS"), "");
    EXPECT_EQ(shell::ConfiguredUserDirectory("DESKTOP"), FHome + "/Schreibtisch");
}

TEST_F(SpecialFoldersTest, EnvironmentVariableCountsWhenTheFileDoesNotSetTheFolder) {
    std::string docs = FTemp.Folder("env-docs");
    TScopedEnv variable("XDG_DOCUMENTS_DIR", docs);
    EXPECT_EQ(shell::PersonalFolder(), docs);
    FTemp.Folder("home/FileDocs");
    UserDirs("XDG_DOCUMENTS_DIR=\"$HOME/FileDocs\"\n");
    EXPECT_EQ(shell::PersonalFolder(), FHome + "/FileDocs");
}

TEST_F(SpecialFoldersTest, ConfigHomeVariableMovesTheUserDirsFile) {
    std::string config = FTemp.Folder("config");
    FTemp.Folder("home/Docs");
    FTemp.File("config/user-dirs.dirs", "XDG_DOCUMENTS_DIR=\"$HOME/Docs\"\n");
    TScopedEnv variable("XDG_CONFIG_HOME", config);
    EXPECT_EQ(shell::PersonalFolder(), FHome + "/Docs");
    // A relative setting is not a base directory and is ignored.
    TScopedEnv relative("XDG_CONFIG_HOME", "config");
    EXPECT_EQ(shell::ConfigHome(), FHome + "/.config");
}

TEST_F(SpecialFoldersTest, HomeComesFromThePasswordDatabaseWithoutAnAbsoluteHomeVariable) {
    TScopedEnv relative("HOME", "not/absolute");
    std::string home = shell::HomeFolder();
    ASSERT_FALSE(home.empty());
    EXPECT_EQ(home.front(), '/');
    EXPECT_NE(home, "not/absolute");
}

TEST_F(SpecialFoldersTest, XdgFoldersStandForTheOtherSpecialFolders) {
    EXPECT_EQ(shell::SpecialFolderPath(shell::CSIDL_DESKTOPDIRECTORY), "");
    std::string desktop = FTemp.Folder("home/Desktop");
    EXPECT_EQ(shell::SpecialFolderPath(shell::CSIDL_DESKTOPDIRECTORY), desktop);

    std::string data = FTemp.Folder("home/.local/share");
    EXPECT_EQ(shell::SpecialFolderPath(shell::CSIDL_APPDATA), data);
    EXPECT_EQ(shell::SpecialFolderPath(shell::CSIDL_FONTS), "");
    EXPECT_EQ(shell::SpecialFolderPath(shell::CSIDL_BITBUCKET), "");
    std::string fonts = FTemp.Folder("home/.local/share/fonts");
    std::string trash = FTemp.Folder("home/.local/share/Trash/files");
    std::string menu = FTemp.Folder("home/.local/share/applications");
    std::string autostart = FTemp.Folder("home/.config/autostart");
    EXPECT_EQ(shell::SpecialFolderPath(shell::CSIDL_FONTS), fonts);
    EXPECT_EQ(shell::SpecialFolderPath(shell::CSIDL_BITBUCKET), trash);
    EXPECT_EQ(shell::SpecialFolderPath(shell::CSIDL_PROGRAMS), menu);
    EXPECT_EQ(shell::SpecialFolderPath(shell::CSIDL_STARTMENU), menu);
    EXPECT_EQ(shell::SpecialFolderPath(shell::CSIDL_STARTUP), autostart);

    // A user directory set to the home folder is switched off.
    UserDirs("XDG_TEMPLATES_DIR=\"$HOME/\"\n");
    EXPECT_EQ(shell::SpecialFolderPath(shell::CSIDL_TEMPLATES), "");
    std::string templates = FTemp.Folder("home/Vorlagen");
    UserDirs("XDG_TEMPLATES_DIR=\"$HOME/Vorlagen\"\n");
    EXPECT_EQ(shell::SpecialFolderPath(shell::CSIDL_TEMPLATES), templates);

    std::string system = FTemp.Folder("system/applications");
    TScopedEnv dataDirs("XDG_DATA_DIRS", "relative:" + FTemp.Path() + "/missing:" + FTemp.Path() + "/system/");
    EXPECT_EQ(shell::SpecialFolderPath(shell::CSIDL_COMMON_PROGRAMS), system);
}

TEST_F(SpecialFoldersTest, SpecialFolderLocationIsTheFolderPathTakenApart) {
    std::string documents = FTemp.Folder("home/Documents");
    UserDirs("XDG_DOCUMENTS_DIR=\"$HOME/Documents\"\n");
    shell::TItemIdList item;
    ASSERT_EQ(shell::SHGetSpecialFolderLocation(shell::CSIDL_PERSONAL, item), shell::S_OK);
    EXPECT_EQ(shell::PathFromIdList(item), documents);
    for (const shell::TItem& part : item.Items())
        EXPECT_EQ(part.Kind, shell::TItemKind::Folder);

    ASSERT_EQ(shell::SHGetSpecialFolderLocation(shell::CSIDL_DESKTOP, item), shell::S_OK);
    EXPECT_TRUE(item.Empty());
}

class SpecialFoldersWithoutCounterpart : public SpecialFoldersTest, public ::testing::WithParamInterface<int> {};

TEST_P(SpecialFoldersWithoutCounterpart, FailWithFileNotFound) {
    shell::TItemIdList item = shell::TItemIdList::FromItem(shell::TItemKind::Folder, "untouched");
    EXPECT_EQ(shell::SHGetSpecialFolderLocation(GetParam(), item),
              shell::HRESULT_FROM_WIN32(shell::ERROR_FILE_NOT_FOUND));
    EXPECT_EQ(item.Count(), 1u);
}

INSTANTIATE_TEST_SUITE_P(SpecialFolders, SpecialFoldersWithoutCounterpart,
                         ::testing::Values(shell::CSIDL_INTERNET, shell::CSIDL_CONTROLS, shell::CSIDL_PRINTERS,
                                           shell::CSIDL_FAVORITES, shell::CSIDL_RECENT, shell::CSIDL_SENDTO,
                                           shell::CSIDL_DRIVES, shell::CSIDL_NETWORK,
                                           shell::CSIDL_COMMON_DESKTOPDIRECTORY, shell::CSIDL_PRINTHOOD, 99));
