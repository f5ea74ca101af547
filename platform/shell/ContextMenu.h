// The context menu of one file or folder: open, paste, delete and rename, with the captions of
// the system's own menu.
#pragma once

#include "platform/base/Messages.h"
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

// The menu's captions, registered when the namespace starts (SHGetDesktopFolder) and by every
// menu made, so a menu has its captions however its caller reached it.
namespace res {
inline constexpr base::TMessage SMenuOpen{64200, "開く(&O)"};
inline constexpr base::TMessage SMenuPaste{64201, "貼り付け(&P)"};
inline constexpr base::TMessage SMenuDelete{64202, "削除(&D)"};
inline constexpr base::TMessage SMenuRename{64203, "名前の変更(&M)"};

inline constexpr base::TMessage kShellMessages[] = {SMenuOpen, SMenuPaste, SMenuDelete, SMenuRename};
static_assert(base::HasDistinctIds(kShellMessages));
}  // namespace res
