// The context menu of one file or folder: open, paste, delete and rename, with the captions of
// the system's own menu.
#pragma once

#include "platform/shell/ShellApi.h"

#include <memory>
#include <string>

namespace shell {

/// The menu for the item at path (a folder offers paste as well). Open starts the desktop's
/// default application; paste copies the clipboard's URI list into the folder; delete moves the
/// item to the trash; rename is only offered with CMF_CANRENAME and is carried out by the view
/// that edits the name in place, so invoking it fails with E_NOTIMPL.
std::unique_ptr<IContextMenu> CreateItemContextMenu(const std::string& path, bool folder);

}  // namespace shell

namespace res {
constexpr int SMenuOpen = 64200;
constexpr int SMenuPaste = 64201;
constexpr int SMenuDelete = 64202;
constexpr int SMenuRename = 64203;
}  // namespace res
