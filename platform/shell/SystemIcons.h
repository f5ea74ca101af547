// The system's small-icon list: icon indexes for items, each standing for a name of the
// freedesktop Icon Naming Specification, which the window looks up in the icon theme.
#pragma once

#include "platform/shell/ItemIdList.h"

#include <string>

namespace shell {

constexpr int kIconFile = 0;
constexpr int kIconFolder = 1;
constexpr int kIconFolderOpen = 2;
constexpr int kIconHome = 3;
constexpr int kIconRoot = 4;
constexpr int kIconLinkOverlay = 5;
constexpr int kIconSharedOverlay = 6;

/// The small icon of the item a full item id list names, or of its opened form (only plain
/// folders have one; the others answer their usual icon).
int SystemIconIndex(const TItemIdList& item, bool open);

/// The icon theme name for an index ("folder", "user-home", ...); empty for an unknown index.
std::string SystemIconName(int index);

}  // namespace shell
