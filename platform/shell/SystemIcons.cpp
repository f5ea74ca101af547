#include "platform/shell/SystemIcons.h"

#include "platform/shell/Paths.h"
#include "platform/shell/ShellApi.h"
#include "platform/shell/KnownFolders.h"

#include <array>

namespace shell {
namespace {

constexpr std::array<const char*, 7> kIconNames = {
    "text-x-generic", "folder", "folder-open", "user-home", "drive-harddisk", "emblem-symbolic-link", "emblem-shared",
};

}  // namespace

int SystemIconIndex(const TItemIdList& item, bool open) {
    if (item.Empty())
        return kIconRoot;
    std::string path = PathFromIdList(item);
    if (path == HomeFolder())
        return kIconHome;
    if (!IsFolder(path))
        return kIconFile;
    return open ? kIconFolderOpen : kIconFolder;
}

std::string SystemIconName(int index) {
    if (index < 0 || std::size_t(index) >= kIconNames.size())
        return {};
    return kIconNames[std::size_t(index)];
}

}  // namespace shell
