// Every module's messages, as the program's start-up puts them into the one string table.
#include "app/Codecs.h"
#include "app/FileListBox.h"
#include "app/ImageList.h"
#include "app/ShellFolder.h"
#include "app/ShellTreeView.h"
#include "graphics/GraphicsBase.h"
#include "jpeg/JpegImage.h"
#include "platform/base/Messages.h"
#include "platform/shell/ContextMenu.h"
#include "png/PngErrors.h"

#include <gtest/gtest.h>

#include <map>
#include <span>
#include <string>
#include <utility>
#include <vector>

namespace {

struct TModuleMessages {
    const char* Module;
    std::span<const base::TMessage> Messages;
};

const std::vector<TModuleMessages>& EveryModule() {
    static const std::vector<TModuleMessages> modules = {
        {"runtime", res::kRuntimeMessages},         {"picture framework", res::kGraphicsMessages},
        {"JPEG graphic", res::kJpegMessages},       {"PNG codec", res::kPngMessages},
        {"shell", res::kShellMessages},             {"folder tree", res::kShellTreeMessages},
        {"tree's folders", res::kShellFolderMessages}, {"image list", res::kImageListMessages},
        {"file list", res::kFileListMessages},
    };
    return modules;
}

// The program's start-up, in the window's order.
void StartUp() {
    graphics::InitializeGraphics();
    app::TShellFolder::Desktop();
    app::InitializeCodecs();
}

void ShutDown() {
    app::FinalizeCodecs();
    graphics::FinalizeGraphics();
}

void ExpectEveryTextInTheTable() {
    for (const TModuleMessages& module : EveryModule())
        for (const base::TMessage& message : module.Messages) {
            EXPECT_FALSE(message.Text.empty()) << module.Module << " " << message.Id;
            EXPECT_EQ(base::LoadStr(message), message.Text) << module.Module << " " << message.Id;
        }
}

}  // namespace

TEST(MessageTable, EveryNamedMessageHasItsTextAfterStartUpAndAfterStartingAgain) {
    StartUp();
    ExpectEveryTextInTheTable();
    ShutDown();
    // Registered texts outlive the shutdown, and a second start-up finds them there unchanged.
    ExpectEveryTextInTheTable();
    StartUp();
    ExpectEveryTextInTheTable();
    ShutDown();
}

TEST(MessageTable, NoTwoModulesClaimOneNumberWithDifferentTexts) {
    std::map<int, std::pair<const char*, std::string_view>> owners;
    std::size_t count = 0;
    for (const TModuleMessages& module : EveryModule())
        for (const base::TMessage& message : module.Messages) {
            ++count;
            const auto [it, added] = owners.emplace(message.Id, std::make_pair(module.Module, message.Text));
            EXPECT_TRUE(added || it->second.second == message.Text)
                << message.Id << " is claimed by the " << it->second.first << " and the " << module.Module;
        }
    // Every message of the program is accounted for: the one table it replaced held 57, and the
    // metafile graphic brought two more.
    EXPECT_EQ(count, 59u);
    EXPECT_EQ(owners.size(), 59u);
}

TEST(MessageTable, TextsKeepTheirExactBytes) {
    // The program compares its messages byte for byte, odd spellings and line breaks included.
    EXPECT_EQ(res::SPngInvalidFileHeader.Text,
              "The file being readed is not a valid \"Portable Network Graphics\" image because it contains an "
              "invalid header. This file may be corruped, try obtaining it again.");
    EXPECT_EQ(res::SPngZlibError.Text,
              "Could not decompress the image because it contains invalid compressed data.\r\n Description: ");
    EXPECT_EQ(res::SInvalidFileName.Text, "不正なファイル名 - %s");
    EXPECT_EQ(res::SErrorSettingPath.Text, "Error setting path: \"%s\"");
    EXPECT_EQ(res::SMenuRename.Text, "名前の変更(&M)");
}
