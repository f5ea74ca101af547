#include "platform/shell/FileSearch.h"

#include "platform/shell/Paths.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <unicode/uchar.h>
#include <unicode/utf8.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <vector>

namespace shell {
namespace {

// A byte that does not start a valid UTF-8 sequence becomes a value beyond Unicode of its own,
// so two names that differ in such bytes never fold to the same text.
constexpr char32_t kInvalidByteBase = 0x110000;

std::u32string FoldedCodePoints(const std::string& text) {
    std::u32string out;
    out.reserve(text.size());
    const auto* bytes = reinterpret_cast<const std::uint8_t*>(text.data());
    const auto length = std::int32_t(std::min<std::size_t>(text.size(), INT32_MAX));
    std::int32_t i = 0;
    while (i < length) {
        const std::int32_t start = i;
        UChar32 c;
        U8_NEXT(bytes, i, length, c);
        if (c < 0) {
            out += kInvalidByteBase + bytes[start];
            i = start + 1;
        } else {
            out += char32_t(u_foldCase(c, U_FOLD_CASE_DEFAULT));
        }
    }
    return out;
}

// The platform's pattern language: each pattern character becomes one of these.
enum class TToken : std::uint8_t {
    Literal,
    Star,     // any run of characters
    DosStar,  // any run that does not take in the name's last "."
    DosQm,    // one character other than ".", or nothing at a "." or at the end
    DosDot,   // a "." or the end of the name
};

struct TPatternItem {
    TToken Kind;
    char32_t Char;
};

std::vector<TPatternItem> ParsePattern(const std::u32string& pattern) {
    std::vector<TPatternItem> items;
    items.reserve(pattern.size());
    for (std::size_t i = 0; i < pattern.size(); ++i) {
        const char32_t c = pattern[i];
        const char32_t next = i + 1 < pattern.size() ? pattern[i + 1] : 0;
        const bool atEnd = i + 1 == pattern.size();
        TToken kind = TToken::Literal;
        if (c == U'*')
            kind = next == U'.' ? TToken::DosStar : TToken::Star;
        else if (c == U'?')
            kind = TToken::DosQm;
        else if (c == U'.' && (atEnd || next == U'*' || next == U'?'))
            kind = TToken::DosDot;
        items.push_back({kind, c});
    }
    return items;
}

bool ContainsNul(const std::string& path) { return path.find('\0') != std::string::npos; }

// The last component of a path, trailing separators ignored.
std::string NameOf(const std::string& path) {
    std::size_t end = path.find_last_not_of('/');
    if (end == std::string::npos)
        return std::string();
    std::size_t slash = path.rfind('/', end);
    std::size_t begin = slash == std::string::npos ? 0 : slash + 1;
    return path.substr(begin, end + 1 - begin);
}

int AttributesOf(const struct stat& status, bool followed, const std::string& name) {
    int attr = 0;
    if (!followed)
        attr |= faSysFile;  // a link that leads nowhere
    else if (S_ISDIR(status.st_mode))
        attr |= faDirectory;
    else if (!S_ISREG(status.st_mode))
        attr |= faSysFile;
    if ((status.st_mode & S_IWUSR) == 0)
        attr |= faReadOnly;
    if (!name.empty() && name.front() == '.')
        attr |= faHidden;
    return attr;
}

}  // namespace

struct TFileSearch::TFolder {
    explicit TFolder(DIR* dir) : Dir(dir) {}
    ~TFolder() { closedir(Dir); }
    DIR* Dir;
};

TFileSearch::TFileSearch(const std::string& path, int attr) {
    const std::size_t slash = path.rfind('/');
    const std::string folder = slash == std::string::npos ? "." : slash == 0 ? "/" : path.substr(0, slash);
    FPattern = slash == std::string::npos ? path : path.substr(slash + 1);
    FExclude = ~attr & faSpecial;
    if (FPattern.empty() || ContainsNul(path)) {
        FError = ENOENT;
        return;
    }
    DIR* dir = opendir(folder.c_str());
    if (dir == nullptr) {
        FError = errno;
        return;
    }
    FFolder = std::make_unique<TFolder>(dir);
    Next();
}

TFileSearch::~TFileSearch() = default;

bool TFileSearch::Next() {
    FFound = false;
    if (!FFolder) {
        if (FError == 0)
            FError = ENOENT;
        return false;
    }
    for (;;) {
        errno = 0;
        const dirent* entry = readdir(FFolder->Dir);
        if (entry == nullptr) {
            FError = errno != 0 ? errno : ENOENT;
            FFolder.reset();
            return false;
        }
        const std::string name = entry->d_name;
        if (!MatchesWildcard(name, FPattern))
            continue;
        struct stat status {};
        bool followed = fstatat(dirfd(FFolder->Dir), name.c_str(), &status, 0) == 0;
        // An entry that vanished between the listing and this look is not reported.
        if (!followed && fstatat(dirfd(FFolder->Dir), name.c_str(), &status, AT_SYMLINK_NOFOLLOW) != 0)
            continue;
        const int attr = AttributesOf(status, followed, name);
        if ((attr & FExclude) != 0)
            continue;
        FCurrent.Name = name;
        FCurrent.Attr = attr;
        FCurrent.Size = std::int64_t(status.st_size);
        FCurrent.Time = std::int64_t(status.st_mtime);
        FError = 0;
        FFound = true;
        return true;
    }
}

bool MatchesWildcard(const std::string& name, const std::string& pattern) {
    if (name.empty() || pattern.empty())
        return false;
    const std::u32string text = FoldedCodePoints(name);
    const std::vector<TPatternItem> items = ParsePattern(FoldedCodePoints(pattern));
    const std::size_t length = text.size();
    const std::size_t lastDot = text.rfind(U'.');

    // reach[i]: the items so far can match the first i characters of the name. One pass per
    // item keeps the cost at pattern × name, whatever the stars.
    std::vector<char> reach(length + 1, 0);
    std::vector<char> next(length + 1, 0);
    reach[0] = 1;
    for (const TPatternItem& item : items) {
        std::fill(next.begin(), next.end(), 0);
        bool running = false;
        for (std::size_t i = 0; i <= length; ++i) {
            const bool here = reach[i] != 0;
            switch (item.Kind) {
            case TToken::Literal:
                if (here && i < length && text[i] == item.Char)
                    next[i + 1] = 1;
                break;
            case TToken::Star:
                running = running || here;
                next[i] = running;
                break;
            case TToken::DosStar:
                running = running || here;
                next[i] = running;
                // A run that began before the last "." ends just before it.
                if (i == lastDot)
                    running = false;
                break;
            case TToken::DosQm:
                if (here)
                    next[i == length || text[i] == U'.' ? i : i + 1] = 1;
                break;
            case TToken::DosDot:
                if (here && i == length)
                    next[i] = 1;
                else if (here && text[i] == U'.')
                    next[i + 1] = 1;
                break;
            }
        }
        reach.swap(next);
    }
    return reach[length] != 0;
}

bool HasWildcards(const std::string& text) { return text.find_first_of("*?") != std::string::npos; }

int FileGetAttr(const std::string& path) {
    if (path.empty() || ContainsNul(path))
        return -1;
    struct stat status {};
    bool followed = stat(path.c_str(), &status) == 0;
    if (!followed && lstat(path.c_str(), &status) != 0)
        return -1;
    return AttributesOf(status, followed, NameOf(path));
}

bool FileExists(const std::string& path) {
    struct stat status {};
    return !path.empty() && !ContainsNul(path) && stat(path.c_str(), &status) == 0 && !S_ISDIR(status.st_mode);
}

bool DirectoryExists(const std::string& path) {
    struct stat status {};
    return !path.empty() && !ContainsNul(path) && stat(path.c_str(), &status) == 0 && S_ISDIR(status.st_mode);
}

std::string GetCurrentDir() {
    std::string buffer(256, '\0');
    for (;;) {
        if (getcwd(buffer.data(), buffer.size()) != nullptr) {
            buffer.resize(buffer.find('\0'));
            // The system marks a folder outside the process's root this way; it is no path.
            return buffer.front() == '/' ? buffer : std::string();
        }
        if (errno != ERANGE || buffer.size() >= (std::size_t(1) << 20))
            return std::string();
        buffer.resize(buffer.size() * 2);
    }
}

std::optional<std::string> ResolveFolder(const std::string& path, const std::string& base) {
    if (path.empty() || ContainsNul(path) || ContainsNul(base))
        return std::nullopt;
    const std::string joined = path.front() == '/' || base.empty() ? path : JoinPath(base, path);
    char* resolved = realpath(joined.c_str(), nullptr);
    if (resolved == nullptr)
        return std::nullopt;
    std::string folder(resolved);
    std::free(resolved);
    // Opening is what listing does first, so a folder passes exactly when a listing could start;
    // a folder that may be entered but not read fails here rather than listing as empty.
    const int descriptor = open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (descriptor < 0)
        return std::nullopt;
    close(descriptor);
    return folder;
}

bool SameFileName(const std::string& a, const std::string& b) {
    return a == b || FoldedCodePoints(a) == FoldedCodePoints(b);
}

bool SamePath(const std::string& a, const std::string& b) {
    if (a == b)
        return true;
    if (!SameFileName(a, b) || ContainsNul(a) || ContainsNul(b))
        return false;
    struct stat first {}, second {};
    if (stat(a.c_str(), &first) != 0 || stat(b.c_str(), &second) != 0)
        return true;
    return first.st_dev == second.st_dev && first.st_ino == second.st_ino;
}

}  // namespace shell
