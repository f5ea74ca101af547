// Where the platform's special folders are on a freedesktop system: the XDG user directories
// (user-dirs.dirs) and the XDG base directories.
#pragma once

#include <string>

namespace shell {

/// The user's home folder: $HOME when it is an absolute path, else the password database's.
std::string HomeFolder();

/// The XDG base directories: the variable's value when it is an absolute path, else the default
/// below the home folder (~/.local/share, ~/.config).
std::string DataHome();
std::string ConfigHome();

/// A user directory by its XDG name ("DOCUMENTS", "DESKTOP", "TEMPLATES", ...), as
/// user-dirs.dirs in the configuration home sets it, else as the environment variable
/// XDG_<NAME>_DIR does; empty when neither does. "$HOME" at its start is the home folder.
std::string ConfiguredUserDirectory(const std::string& name);

/// The personal documents folder: the configured documents directory when it is an existing
/// folder, otherwise the home folder.
std::string PersonalFolder();

/// The existing folder that stands for a special folder (CSIDL_*), or empty when there is none:
/// the personal folder; the desktop, templates, fonts, trash, application menu and autostart
/// folders of the XDG layout; the data home for application data. The desktop itself (the
/// namespace's root) is not a folder here; SHGetSpecialFolderLocation gives it the empty list.
std::string SpecialFolderPath(int csidl);

}  // namespace shell
