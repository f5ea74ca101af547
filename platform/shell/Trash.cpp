// Moving to the trash as the freedesktop.org Trash standard (version 1.0) lays it out: an
// info file "<name>.trashinfo" is claimed first, atomically, in the trash's "info" folder, then
// the item is renamed into its "files" folder under the same name.
#include "platform/shell/FileOperations.h"

#include "platform/shell/Paths.h"
#include "platform/shell/Posix.h"
#include "platform/shell/KnownFolders.h"

#include <fcntl.h>
#include <sys/stat.h>

#include <ctime>
#include <string>

namespace shell {
namespace {

constexpr std::string_view kInfoSuffix = ".trashinfo";
// How many numbered names are tried when the trash already holds items of the same name.
constexpr int kMaxTrashNames = 10000;

struct TTrash {
    std::string Folder;    // Holds "files" and "info".
    std::string PathBase;  // Info paths are written relative to this; empty: absolute.
};

// Creates a folder only the user may enter, or accepts an existing one that is a real folder
// (not a link) owned by the user, as the standard demands of trash folders.
bool EnsurePrivateFolder(const std::string& path) {
    if (mkdir(path.c_str(), 0700) != 0 && errno != EEXIST)
        return false;
    struct stat info;
    return lstat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode) && info.st_uid == geteuid();
}

bool EnsureTrash(const std::string& folder) {
    return EnsurePrivateFolder(folder) && EnsurePrivateFolder(JoinPath(folder, "files")) &&
           EnsurePrivateFolder(JoinPath(folder, "info"));
}

bool EnsureFolders(const std::string& path) {
    std::string partial;
    for (const std::string& part : SplitPath(path)) {
        partial = JoinPath(partial.empty() ? "/" : partial, part);
        if (mkdir(partial.c_str(), 0700) != 0 && errno != EEXIST)
            return false;
    }
    return IsFolder(path);
}

bool SameDevice(const std::string& path, dev_t device) {
    struct stat info;
    return stat(path.c_str(), &info) == 0 && info.st_dev == device;
}

// The highest folder above the item that is still on the item's file system.
std::string TopFolder(const std::string& folder, dev_t device) {
    std::string top = folder;
    while (top != "/") {
        std::string up = ParentPath(top);
        if (!SameDevice(up, device))
            break;
        top = up;
    }
    return top;
}

// The device of a path, or of its nearest existing ancestor when it does not exist yet.
dev_t DeviceOfNearest(std::string path) {
    struct stat info;
    while (stat(path.c_str(), &info) != 0 && path != "/")
        path = ParentPath(path);
    return info.st_dev;
}

bool FindTrash(const std::string& parent, dev_t device, TTrash& trash) {
    // Items on the home trash's file system go there and nowhere else; the trash at the top of
    // a file system is only for items that cannot be renamed into the home trash.
    std::string home = JoinPath(DataHome(), "Trash");
    if (DeviceOfNearest(home) == device) {
        if (!EnsureFolders(DataHome()) || !EnsureTrash(home))
            return false;
        trash = {home, {}};
        return true;
    }
    std::string top = TopFolder(parent, device);
    std::string uid = std::to_string(geteuid());
    // An administrator's shared ".Trash" counts only as a real folder with the sticky bit.
    std::string shared = JoinPath(top, ".Trash");
    struct stat info;
    if (lstat(shared.c_str(), &info) == 0 && S_ISDIR(info.st_mode) && (info.st_mode & S_ISVTX) != 0) {
        std::string own = JoinPath(shared, uid);
        if (EnsureTrash(own) && SameDevice(own, device)) {
            trash = {own, top};
            return true;
        }
    }
    std::string own = JoinPath(top, ".Trash-" + uid);
    if (EnsureTrash(own) && SameDevice(own, device)) {
        trash = {own, top};
        return true;
    }
    return false;
}

// RFC 2396 escaping: every byte but the unreserved characters and "/".
std::string EscapePath(std::string_view path) {
    static const char kHex[] = "0123456789ABCDEF";
    std::string escaped;
    for (char c : path) {
        auto byte = static_cast<unsigned char>(c);
        bool alphanumeric =
            (byte >= '0' && byte <= '9') || (byte >= 'A' && byte <= 'Z') || (byte >= 'a' && byte <= 'z');
        if (alphanumeric || std::string_view("-_.!~*'()/").find(c) != std::string_view::npos) {
            escaped += c;
        } else {
            escaped += '%';
            escaped += kHex[byte >> 4];
            escaped += kHex[byte & 15];
        }
    }
    return escaped;
}

std::string InfoText(const std::string& path, const TTrash& trash) {
    std::string recorded = trash.PathBase.empty() ? path
                           : trash.PathBase == "/" ? path.substr(1)
                                                   : path.substr(trash.PathBase.size() + 1);
    std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    char date[32];
    std::strftime(date, sizeof date, "%Y-%m-%dT%H:%M:%S", &local);
    return "[Trash Info]\nPath=" + EscapePath(recorded) + "\nDeletionDate=" + date + "\n";
}

// The n-th name tried in the trash. The info file adds its suffix to the name, so a long name is
// shortened (never inside a UTF-8 sequence) to leave room for it.
std::string TrashName(const std::string& name, int n) {
    std::string number = n == 1 ? std::string() : std::to_string(n).insert(0, 1, '.');
    std::size_t room = kMaxItemName - kInfoSuffix.size() - number.size();
    std::string stem = name;
    if (stem.size() > room) {
        std::size_t cut = room;
        while (cut > 0 && (static_cast<unsigned char>(stem[cut]) & 0xC0) == 0x80)
            --cut;
        stem.resize(cut);
    }
    return stem + number;
}

}  // namespace

HRESULT MoveToTrash(const std::string& path, std::string* trashedAs) {
    auto item = NormalizePath(path);
    if (!item || *item == "/")
        return E_INVALIDARG;
    struct stat info;
    if (lstat(item->c_str(), &info) != 0)
        return ResultFromErrno(errno);
    std::string parent = ParentPath(*item);
    struct stat parentInfo;
    if (stat(parent.c_str(), &parentInfo) != 0)
        return ResultFromErrno(errno);
    std::string home = JoinPath(DataHome(), "Trash");
    // The trash cannot hold itself, nor anything it is part of.
    if (IsPathWithin(*item, home) || IsPathWithin(home, *item))
        return HRESULT_FROM_WIN32(ERROR_ACCESS_DENIED);
    TTrash trash;
    if (!FindTrash(parent, parentInfo.st_dev, trash))
        return HRESULT_FROM_WIN32(ERROR_ACCESS_DENIED);
    if (IsPathWithin(trash.Folder, *item))
        return HRESULT_FROM_WIN32(ERROR_ACCESS_DENIED);

    std::string text = InfoText(*item, trash);
    std::string name = NameOfPath(*item);
    for (int n = 1; n <= kMaxTrashNames; ++n) {
        std::string candidate = TrashName(name, n);
        std::string infoPath = JoinPath(JoinPath(trash.Folder, "info"), candidate + std::string(kInfoSuffix));
        TUniqueFd infoFile(open(infoPath.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600));
        if (!infoFile) {
            if (errno == EEXIST)
                continue;
            return ResultFromErrno(errno);
        }
        bool written = WriteAll(infoFile.Get(), text) && fsync(infoFile.Get()) == 0;
        int writeError = errno;
        infoFile = TUniqueFd();
        std::string target = JoinPath(JoinPath(trash.Folder, "files"), candidate);
        HRESULT hr = written ? RenameNoReplace(*item, target) : ResultFromErrno(writeError);
        if (SUCCEEDED(hr)) {
            if (trashedAs != nullptr)
                *trashedAs = target;
            return S_OK;
        }
        // The info file was made by this call a moment ago and describes nothing now.
        unlink(infoPath.c_str());
        if (hr != HRESULT_FROM_WIN32(ERROR_ALREADY_EXISTS))
            return hr;
    }
    return HRESULT_FROM_WIN32(ERROR_FILE_EXISTS);
}

}  // namespace shell
