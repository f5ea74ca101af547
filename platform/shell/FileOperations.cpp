#include "platform/shell/FileOperations.h"

#include "platform/shell/Paths.h"
#include "platform/shell/Posix.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>

#include <cctype>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <mutex>
#include <optional>
#include <vector>

extern char** environ;

namespace shell {
namespace {

// How many "name (n)" candidates a paste tries before it gives up on finding a free name.
constexpr int kMaxCopyNames = 10000;
constexpr std::size_t kCopyBuffer = 64 * 1024;

struct THooks {
    std::mutex Lock;
    TLauncher Launcher;
    TClipboardReader ClipboardReader;
};

THooks& Hooks() {
    static THooks hooks;
    return hooks;
}

int HexValue(char c) {
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

bool StartsWithNoCase(std::string_view text, std::string_view prefix) {
    if (text.size() < prefix.size())
        return false;
    for (std::size_t i = 0; i < prefix.size(); ++i)
        if (std::tolower(static_cast<unsigned char>(text[i])) != prefix[i])
            return false;
    return true;
}

bool IsLocalHost(std::string_view host) {
    if (host.empty() || (host.size() == 9 && StartsWithNoCase(host, "localhost")))
        return true;
    char name[HOST_NAME_MAX + 1] = {};
    return gethostname(name, sizeof name - 1) == 0 && host == name;
}

// The path of one file URI (RFC 8089), or nothing when the line is not a local file URI.
std::optional<std::string> PathOfFileUri(std::string_view uri) {
    if (!StartsWithNoCase(uri, "file:"))
        return std::nullopt;
    uri.remove_prefix(5);
    if (uri.substr(0, 2) == "//") {
        uri.remove_prefix(2);
        std::size_t slash = uri.find('/');
        if (slash == std::string_view::npos || !IsLocalHost(uri.substr(0, slash)))
            return std::nullopt;
        uri.remove_prefix(slash);
    }
    uri = uri.substr(0, uri.find_first_of("?#"));
    std::string path;
    for (std::size_t i = 0; i < uri.size(); ++i) {
        if (uri[i] != '%') {
            path += uri[i];
            continue;
        }
        int high = i + 2 < uri.size() ? HexValue(uri[i + 1]) : -1;
        int low = i + 2 < uri.size() ? HexValue(uri[i + 2]) : -1;
        if (high < 0 || low < 0)
            return std::nullopt;
        path += char(high * 16 + low);
        i += 2;
    }
    return NormalizePath(path);
}

// The n-th name tried for a copy: the name itself, then "stem (n).ext". The stem is shortened,
// never splitting a UTF-8 sequence, when the result would be longer than a name may be.
std::string CopyName(const std::string& name, int n, bool folder) {
    if (n == 1)
        return name;
    std::size_t dot = folder ? std::string::npos : name.rfind('.');
    if (dot == 0)
        dot = std::string::npos;
    std::string stem = name.substr(0, dot);
    std::string tail = " (" + std::to_string(n) + ")" + (dot == std::string::npos ? "" : name.substr(dot));
    if (tail.size() >= kMaxItemName)
        tail.resize(kMaxItemName - 1);
    std::size_t room = kMaxItemName - tail.size();
    if (stem.size() > room) {
        // Cutting before a continuation byte would split its character: cut before its lead.
        std::size_t cut = room;
        while (cut > 0 && (static_cast<unsigned char>(stem[cut]) & 0xC0) == 0x80)
            --cut;
        stem.resize(cut);
    }
    return stem + tail;
}

HRESULT CopyFileContents(const std::string& source, const std::string& target, bool& clash) {
    TUniqueFd in(open(source.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
    if (!in)
        return ResultFromErrno(errno);
    // The entry may have changed since it was looked at; a pipe must never be read here.
    struct stat info;
    if (fstat(in.Get(), &info) != 0)
        return ResultFromErrno(errno);
    if (!S_ISREG(info.st_mode))
        return HRESULT_FROM_WIN32(ERROR_NOT_SUPPORTED);
    TUniqueFd out(open(target.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, info.st_mode & 07777));
    if (!out) {
        clash = errno == EEXIST;
        return ResultFromErrno(errno);
    }
    std::vector<char> buffer(kCopyBuffer);
    for (;;) {
        ssize_t got = read(in.Get(), buffer.data(), buffer.size());
        if (got < 0 && errno == EINTR)
            continue;
        if (got == 0)
            break;
        if (got < 0 || !WriteAll(out.Get(), std::string_view(buffer.data(), std::size_t(got)))) {
            int error = errno;
            // The half-written file is our own copy, never something that was there before.
            unlink(target.c_str());
            return ResultFromErrno(error);
        }
    }
    return S_OK;
}

HRESULT CopyEntry(const std::string& source, const std::string& target, bool nested, bool& clash);

HRESULT CopyFolder(const std::string& source, const std::string& target, mode_t mode, bool& clash) {
    if (mkdir(target.c_str(), 0700) != 0) {
        clash = errno == EEXIST;
        return ResultFromErrno(errno);
    }
    TUniqueDir dir(opendir(source.c_str()));
    HRESULT hr = dir ? S_OK : ResultFromErrno(errno);
    while (SUCCEEDED(hr)) {
        errno = 0;
        dirent* entry = NextEntry(dir.Get());
        if (entry == nullptr) {
            hr = errno == 0 ? S_OK : ResultFromErrno(errno);
            break;
        }
        bool innerClash = false;
        hr = CopyEntry(JoinPath(source, entry->d_name), JoinPath(target, entry->d_name), true, innerClash);
    }
    if (FAILED(hr)) {
        // Everything below target was made by this copy.
        std::error_code ignored;
        std::filesystem::remove_all(target, ignored);
        return hr;
    }
    chmod(target.c_str(), mode & 07777);
    return S_OK;
}

HRESULT CopyLink(const std::string& source, const std::string& target, bool& clash) {
    std::vector<char> buffer(PATH_MAX);
    ssize_t length = readlink(source.c_str(), buffer.data(), buffer.size());
    if (length < 0)
        return ResultFromErrno(errno);
    if (std::size_t(length) >= buffer.size())
        return HRESULT_FROM_WIN32(ERROR_FILENAME_EXCED_RANGE);
    if (symlink(std::string(buffer.data(), std::size_t(length)).c_str(), target.c_str()) != 0) {
        clash = errno == EEXIST;
        return ResultFromErrno(errno);
    }
    return S_OK;
}

// Copies one entry without following links; clash tells that target already existed. A device,
// pipe or socket inside a copied folder is left out (S_FALSE) rather than failing the folder.
HRESULT CopyEntry(const std::string& source, const std::string& target, bool nested, bool& clash) {
    struct stat info;
    if (lstat(source.c_str(), &info) != 0)
        return ResultFromErrno(errno);
    if (S_ISDIR(info.st_mode))
        return CopyFolder(source, target, info.st_mode, clash);
    if (S_ISLNK(info.st_mode))
        return CopyLink(source, target, clash);
    if (S_ISREG(info.st_mode))
        return CopyFileContents(source, target, clash);
    return nested ? S_FALSE : HRESULT_FROM_WIN32(ERROR_NOT_SUPPORTED);
}

std::string FindProgram(const std::string& name) {
    if (name.find('/') != std::string::npos)
        return access(name.c_str(), X_OK) == 0 ? name : std::string();
    const char* path = std::getenv("PATH");
    std::string list = path != nullptr ? path : "/usr/local/bin:/usr/bin:/bin";
    std::size_t at = 0;
    while (at <= list.size()) {
        std::size_t end = list.find(':', at);
        if (end == std::string::npos)
            end = list.size();
        std::string folder = list.substr(at, end - at);
        if (!folder.empty() && folder.front() == '/') {
            std::string candidate = JoinPath(folder, name);
            struct stat info;
            if (stat(candidate.c_str(), &info) == 0 && S_ISREG(info.st_mode) && access(candidate.c_str(), X_OK) == 0)
                return candidate;
        }
        at = end + 1;
    }
    return {};
}

}  // namespace

HRESULT RenameNoReplace(const std::string& from, const std::string& to) {
    if (renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0)
        return S_OK;
    if (errno != EINVAL && errno != ENOSYS && errno != ENOTSUP)
        return ResultFromErrno(errno);
    // A file system without the flag gets the check first; the window between check and rename
    // is the best such a file system allows.
    struct stat info;
    if (lstat(to.c_str(), &info) == 0)
        return HRESULT_FROM_WIN32(ERROR_ALREADY_EXISTS);
    if (errno != ENOENT)
        return ResultFromErrno(errno);
    return rename(from.c_str(), to.c_str()) == 0 ? S_OK : ResultFromErrno(errno);
}

std::vector<std::string> ParseUriList(std::string_view text) {
    std::vector<std::string> paths;
    std::size_t at = 0;
    while (at < text.size()) {
        std::size_t end = text.find('\n', at);
        if (end == std::string_view::npos)
            end = text.size();
        std::string_view line = text.substr(at, end - at);
        at = end + 1;
        if (!line.empty() && line.back() == '\r')
            line.remove_suffix(1);
        if (line.empty() || line.front() == '#')
            continue;
        if (auto path = PathOfFileUri(line))
            paths.push_back(std::move(*path));
    }
    return paths;
}

HRESULT CopyIntoFolder(const std::string& source, const std::string& folder, std::string* created) {
    auto from = NormalizePath(source);
    auto into = NormalizePath(folder);
    if (!from || !into || *from == "/")
        return E_INVALIDARG;
    if (!IsFolder(*into))
        return HRESULT_FROM_WIN32(ERROR_PATH_NOT_FOUND);
    struct stat info;
    if (lstat(from->c_str(), &info) != 0)
        return ResultFromErrno(errno);
    if (S_ISDIR(info.st_mode)) {
        // Compared through the real paths, so that a link to an ancestor cannot hide the loop.
        std::error_code error;
        auto realFrom = std::filesystem::canonical(*from, error);
        auto realInto = std::filesystem::canonical(*into, error);
        if (error)
            return ResultFromErrno(error.value());
        if (IsPathWithin(realInto.string(), realFrom.string()))
            return E_INVALIDARG;
    }
    std::string name = NameOfPath(*from);
    for (int n = 1; n <= kMaxCopyNames; ++n) {
        std::string target = JoinPath(*into, CopyName(name, n, S_ISDIR(info.st_mode)));
        bool clash = false;
        HRESULT hr = CopyEntry(*from, target, false, clash);
        if (clash)
            continue;
        if (SUCCEEDED(hr) && created != nullptr)
            *created = target;
        return hr;
    }
    return HRESULT_FROM_WIN32(ERROR_FILE_EXISTS);
}

HRESULT PasteUriList(std::string_view uriList, const std::string& folder, std::vector<std::string>* created) {
    std::vector<std::string> sources = ParseUriList(uriList);
    if (sources.empty())
        return S_FALSE;
    HRESULT first = S_OK;
    for (const std::string& source : sources) {
        std::string target;
        HRESULT hr = CopyIntoFolder(source, folder, &target);
        if (SUCCEEDED(hr) && created != nullptr)
            created->push_back(target);
        if (FAILED(hr) && SUCCEEDED(first))
            first = hr;
    }
    return first;
}

HRESULT LaunchDetached(const std::vector<std::string>& argv, const std::string& folder) {
    if (argv.empty())
        return E_INVALIDARG;
    std::string program = FindProgram(argv[0]);
    if (program.empty())
        return HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND);
    if (!IsFolder(folder))
        return HRESULT_FROM_WIN32(ERROR_PATH_NOT_FOUND);
    // A shell changes to the folder and leaves the program running in the background, so the
    // only child this process waits for is that shell, which ends at once. Paths travel as
    // arguments, never as script text.
    std::vector<std::string> args = {"sh", "-c",
                                     "cd -- \"$1\" || exit 1; shift; \"$@\" </dev/null >/dev/null 2>&1 &",
                                     "sh", folder, program};
    args.insert(args.end(), argv.begin() + 1, argv.end());
    std::vector<char*> pointers;
    for (std::string& arg : args)
        pointers.push_back(arg.data());
    pointers.push_back(nullptr);

    posix_spawnattr_t attributes;
    posix_spawnattr_init(&attributes);
    posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSID);
    pid_t child = 0;
    int error = posix_spawn(&child, "/bin/sh", nullptr, &attributes, pointers.data(), environ);
    posix_spawnattr_destroy(&attributes);
    if (error != 0)
        return ResultFromErrno(error);
    int status = 0;
    while (waitpid(child, &status, 0) < 0)
        if (errno != EINTR)
            return ResultFromErrno(errno);
    return WIFEXITED(status) && WEXITSTATUS(status) == 0 ? S_OK : E_FAIL;
}

HRESULT ShellOpen(const std::string& path, const std::string& folder) {
    TLauncher launcher;
    {
        std::lock_guard lock(Hooks().Lock);
        launcher = Hooks().Launcher;
    }
    std::vector<std::string> argv = {"xdg-open", path};
    return launcher ? launcher(argv, folder) : LaunchDetached(argv, folder);
}

TLauncher SetLauncher(TLauncher launcher) {
    std::lock_guard lock(Hooks().Lock);
    return std::exchange(Hooks().Launcher, std::move(launcher));
}

TClipboardReader SetClipboardReader(TClipboardReader reader) {
    std::lock_guard lock(Hooks().Lock);
    return std::exchange(Hooks().ClipboardReader, std::move(reader));
}

std::string ReadClipboardUriList() {
    TClipboardReader reader;
    {
        std::lock_guard lock(Hooks().Lock);
        reader = Hooks().ClipboardReader;
    }
    return reader ? reader() : std::string();
}

}  // namespace shell
