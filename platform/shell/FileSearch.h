// The file-system services beneath the program's file list: wildcard search with an attribute
// filter, file attributes, folders resolved for listing, and the name comparisons the platform
// applies to file names. Nothing here changes the process's current folder: it is only read,
// where a relative path leaves nothing else to go by.
//
// How the platform's attributes are provided here:
// - hidden: the name starts with "."; "." and ".." are hidden folders like any other;
// - system: the entry is neither a regular file nor a folder once links are followed (device,
//   socket, FIFO, or a link that leads nowhere);
// - read-only: the owner has no write permission;
// - folder: a directory, links followed;
// - archive and volume label: never set, as this file system keeps no such marks.
//
// The wildcard rule is the platform's, not the shell glob's: "*" matches any run of characters;
// "?" matches one character other than ".", or nothing at a "." or at the end of the name; a "."
// followed by "*" or "?", or ending the pattern, matches a "." or the end of the name; a "*"
// followed by "." never runs past the name's last "." (so "*.bmp" does not match "a.bmp.txt").
// Hence "*.*" matches every name, with or without an extension, and "*." only names without one.
// Letters match without regard to case (simple Unicode case folding of UTF-8 names; bytes that
// are not UTF-8 only match themselves).
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

namespace shell {

// The platform's file attribute bits.
constexpr int faReadOnly = 0x01;
constexpr int faHidden = 0x02;
constexpr int faSysFile = 0x04;
constexpr int faVolumeID = 0x08;
constexpr int faDirectory = 0x10;
constexpr int faArchive = 0x20;
constexpr int faAnyFile = 0x3F;
/// The kinds of entry a search leaves out unless its attribute word asks for them.
constexpr int faSpecial = faHidden | faSysFile | faVolumeID | faDirectory;

/// One entry found by a search.
struct TSearchRec {
    std::string Name;       // the name alone, without its folder
    int Attr = 0;           // fa… bits
    std::int64_t Size = 0;  // bytes
    std::int64_t Time = 0;  // last modification, seconds since 1970-01-01 UTC
};

/// A search of one folder for the entries whose names match a pattern.
///
/// The path is a folder and a name pattern ("photos/*.jpg"); without a "/" the pattern applies
/// to the current folder. Entries with any of the attributes hidden, system, volume label or
/// folder that attr does not ask for are skipped; the others come in the order the file system
/// lists them.
///
///     for (shell::TFileSearch search("*.*", 0); search.Found(); search.Next())
///         Use(search.Current());
class TFileSearch {
public:
    TFileSearch(const std::string& path, int attr);
    ~TFileSearch();
    TFileSearch(const TFileSearch&) = delete;
    TFileSearch& operator=(const TFileSearch&) = delete;

    /// Whether Current holds an entry.
    bool Found() const { return FFound; }
    const TSearchRec& Current() const { return FCurrent; }
    /// Moves to the next matching entry; false (and Found false) when there is none left.
    bool Next();
    /// Why the search stopped: 0 while an entry is found, ENOENT when nothing more matched, or
    /// the system's code when the folder could not be read.
    int Error() const { return FError; }

private:
    struct TFolder;
    std::unique_ptr<TFolder> FFolder;
    std::string FPattern;
    int FExclude = 0;
    bool FFound = false;
    int FError = 0;
    TSearchRec FCurrent;
};

/// Whether the name matches the pattern by the platform's wildcard rule (see above). An empty
/// pattern matches nothing.
bool MatchesWildcard(const std::string& name, const std::string& pattern);
/// Whether the text holds a "*" or "?".
bool HasWildcards(const std::string& text);

/// The attribute bits of the entry at the path (relative to the current folder), or -1 when
/// there is no such entry.
int FileGetAttr(const std::string& path);
/// Whether the path names an existing entry that is not a folder.
bool FileExists(const std::string& path);
/// Whether the path names an existing folder (links followed).
bool DirectoryExists(const std::string& path);

/// The process's current folder as an absolute path, or "" when the system cannot tell it (the
/// folder was removed, or lies beyond a folder the process may not read).
std::string GetCurrentDir();
/// The folder at path as an absolute path with links, "." and ".." resolved, when the process
/// can open it to list its entries; nothing when it is missing, is not a folder or may not be
/// read. A relative path is taken from base, or from the current folder when base is empty.
std::optional<std::string> ResolveFolder(const std::string& path, const std::string& base = std::string());

/// Whether two file names are equal without regard to letter case.
bool SameFileName(const std::string& a, const std::string& b);
/// Whether two paths name the same entry as the platform compares them: equal without regard to
/// letter case. On a file system that keeps case, two spellings that name different existing
/// entries are different all the same.
bool SamePath(const std::string& a, const std::string& b);

}  // namespace shell
