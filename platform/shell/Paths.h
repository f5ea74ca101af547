// Path helpers of the namespace: paths are absolute, "/"-separated byte strings.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace shell {

/// The lexically normal form of an absolute path: no empty, "." or ".." components and no
/// trailing "/" except for the root itself. Empty for a relative path or one holding NUL.
std::optional<std::string> NormalizePath(std::string_view path);

/// The components of a normal absolute path ("/" has none).
std::vector<std::string> SplitPath(std::string_view path);

/// folder + "/" + name, without doubling the separator of the root.
std::string JoinPath(std::string_view folder, std::string_view name);

/// The folder part of a normal absolute path ("/" for "/a" and for "/").
std::string ParentPath(std::string_view path);

/// The last component of a normal absolute path ("" for "/").
std::string NameOfPath(std::string_view path);

/// Whether path is inside folder or is folder itself, both normal absolute paths.
bool IsPathWithin(std::string_view path, std::string_view folder);

/// Whether the path names a folder (a directory, symbolic links followed).
bool IsFolder(const std::string& path);

}  // namespace shell
