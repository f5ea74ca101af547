// The file operations behind the folder context menu: renaming that never replaces, moving to
// the freedesktop trash, pasting the clipboard's URI list, and opening with the desktop's
// default application.
#pragma once

#include "platform/shell/ShellApi.h"

#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace shell {

/// Renames from to to, failing with HRESULT_FROM_WIN32(ERROR_ALREADY_EXISTS) instead of replacing
/// whatever to names (renameat2 with RENAME_NOREPLACE; a file system without it gets a check
/// before the rename).
HRESULT RenameNoReplace(const std::string& from, const std::string& to);

/// Moves a file or folder to the freedesktop trash: the home trash under the data home when the
/// item is on the same file system, otherwise the trash at the top of the item's own file
/// system. The item is renamed into the trash, never unlinked; trashedAs receives its new path.
HRESULT MoveToTrash(const std::string& path, std::string* trashedAs = nullptr);

/// The local paths of the file URIs of a text/uri-list (RFC 2483): comment lines, other schemes,
/// other hosts and malformed escapes are left out.
std::vector<std::string> ParseUriList(std::string_view text);

/// Copies a file, a folder with everything in it, or a symbolic link (as a link) into folder.
/// Nothing is overwritten: when the name is taken the copy gets "name (2).ext", "name (3).ext",
/// ... A device, pipe or socket is not copied (ERROR_NOT_SUPPORTED; inside a copied folder it is
/// left out), nor is a folder into itself (E_INVALIDARG). created receives the new path.
HRESULT CopyIntoFolder(const std::string& source, const std::string& folder, std::string* created = nullptr);

/// Copies every local file of a URI list into folder. S_OK when all were copied, S_FALSE when
/// the list names none, else the first failure (the remaining files are still copied).
HRESULT PasteUriList(std::string_view uriList, const std::string& folder, std::vector<std::string>* created = nullptr);

/// Starts argv[0] (searched in PATH) with folder as its working folder, in a session of its own,
/// and does not wait for it. Fails when the program or the folder cannot be found.
HRESULT LaunchDetached(const std::vector<std::string>& argv, const std::string& folder);

/// Opens a file or folder with the desktop's default application (xdg-open), run in folder.
HRESULT ShellOpen(const std::string& path, const std::string& folder);

/// How ShellOpen starts programs. The default is LaunchDetached; tests record calls instead.
using TLauncher = std::function<HRESULT(const std::vector<std::string>& argv, const std::string& folder)>;
/// Installs a launcher (an empty one restores the default) and returns the one it replaces.
TLauncher SetLauncher(TLauncher launcher);

/// What reads the clipboard's URI list; the window installs one over its toolkit's clipboard.
/// Without one the clipboard is empty.
using TClipboardReader = std::function<std::string()>;
TClipboardReader SetClipboardReader(TClipboardReader reader);
std::string ReadClipboardUriList();

}  // namespace shell
